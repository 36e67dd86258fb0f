// The shared thumbnail cache: names other programs find, thumbnails that go stale with
// their file, and files that never get one.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "file_io.h"
#include "thumbnail_cache.h"

using namespace kordel;

class TestThumbnailCache : public QObject {
    Q_OBJECT
private slots:
    void naming_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::newRow("plain") << "/home/jens/photos/me.png"
                               << QByteArray("file:///home/jens/photos/me.png");
        QTest::newRow("space, hash, percent")
            << "/p/a b#1%.mag" << QByteArray("file:///p/a%20b%231%25.mag");
        QTest::newRow("brackets, semicolon") << "/p/[a];b" << QByteArray("file:///p/%5Ba%5D%3Bb");
        QTest::newRow("Japanese") << "/p/画像.pi" << QByteArray("file:///p/%E7%94%BB%E5%83%8F.pi");
    }
    void naming() {
        QFETCH(QString, path);
        QTEST(ThumbnailCache::uriFor(path), "uri");
        // The cache's own worked example.
        QCOMPARE(ThumbnailCache::fileNameFor("file:///home/jens/photos/me.png"),
                 "c6ee772d9e49320e97ec29a7eb5b1697.png");
    }

    void validity_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("found");
        QTest::newRow("unchanged") << "" << true;
        QTest::newRow("touched") << "touch" << false;
        QTest::newRow("same time, other size") << "grow" << false;
        QTest::newRow("another file's thumbnail") << "swap" << false;
        QTest::newRow("only in large") << "large" << true;
        QTest::newRow("failure recorded") << "fail" << false;
        QTest::newRow("in the private temporary folder") << "temp" << false;
    }
    // A stale thumbnail is ignored, and replaced when the picture is decoded again.
    void validity() {
        QFETCH(QString, change);
        QFETCH(bool, found);
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("temp"))));
        const QString file = dir.filePath(change == u"temp" ? "temp/pic.mag" : "pic.mag");
        const QString other = dir.filePath(QStringLiteral("other.mag"));
        QVERIFY(test::writeFile(file, "picture") && test::writeFile(other, "other"));
        const ThumbnailCache cache(dir.filePath(QStringLiteral("cache/thumbnails")),
                                   {dir.filePath(QStringLiteral("temp"))});
        QImage picture(640, 400, QImage::Format_RGB32);
        picture.fill(Qt::red);
        const auto thumbnail = [&](const QString& path) {
            return cache.normalFolder() + u'/' +
                   ThumbnailCache::fileNameFor(ThumbnailCache::uriFor(path));
        };
        QCOMPARE(
            change == u"fail" ? cache.storeFailure(file) : cache.store(file, picture, {640, 400}),
            change != u"temp");
        if (change == u"touch") {
            QVERIFY(test::setModified(file, QDateTime::currentDateTime().addDays(-2)));
        } else if (change == u"grow") {
            const QDateTime time = QFileInfo(file).lastModified();
            QVERIFY(test::writeFile(file, "picture, longer"));
            QVERIFY(test::setModified(file, time));
        } else if (change == u"swap") {
            QVERIFY(cache.store(other, picture, QSize(640, 400)));
            QVERIFY(QFile::remove(thumbnail(file)) &&
                    QFile::copy(thumbnail(other), thumbnail(file)));
        } else if (change == u"large") {
            QVERIFY(QDir().mkpath(cache.largeFolder()));
            QVERIFY(QFile::rename(thumbnail(file), cache.largeFolder() + u'/' +
                                                       QFileInfo(thumbnail(file)).fileName()));
        }
        QCOMPARE(cache.find(file).has_value(), found);
        QCOMPARE(cache.failed(file), change == u"fail");
        if (!found && change != u"temp") {
            picture.fill(Qt::green);
            QVERIFY(cache.store(file, picture, QSize(640, 400)));
        }
        const std::optional<CachedThumbnail> hit = cache.find(file);
        QCOMPARE(hit.has_value(), change != u"temp");
        if (!hit) {
            QVERIFY(!QDir(cache.normalFolder()).exists());
            return;
        }
        QCOMPARE(hit->image.size(), QSize(128, 80));
        QCOMPARE(hit->image.pixelColor(64, 40), QColor(found ? Qt::red : Qt::green));
        QCOMPARE(hit->pictureSize, QSize(640, 400));
        QVERIFY(hit->ownMaking());
        // Private, and no temporary file left behind.
        const QDir normal(cache.normalFolder());
        for (const QFileInfo& entry : normal.entryInfoList(QDir::Hidden | QDir::Files))
            QCOMPARE(entry.permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
        QVERIFY(normal.entryList(QDir::Hidden | QDir::Files).filter(u".kordel").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestThumbnailCache)
#include "test_thumbnail_cache.moc"
