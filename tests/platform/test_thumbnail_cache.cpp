// The shared thumbnail cache: names other programs find, thumbnails that go stale with
// their file, and files that never get one.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "thumbnail_cache.h"

using namespace kordel;

class TestThumbnailCache : public QObject {
    Q_OBJECT
private slots:
    void naming_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::addColumn<QString>("name");
        // The cache's own worked example; the other names follow from their URIs.
        QTest::newRow("example") << "/home/jens/photos/me.png"
                                 << QByteArray("file:///home/jens/photos/me.png")
                                 << "c6ee772d9e49320e97ec29a7eb5b1697.png";
        QTest::newRow("space, hash, percent")
            << "/p/a b#1%.mag" << QByteArray("file:///p/a%20b%231%25.mag") << QString();
        QTest::newRow("Japanese") << "/p/画像.pi" << QByteArray("file:///p/%E7%94%BB%E5%83%8F.pi")
                                  << QString();
    }
    void naming() {
        QFETCH(QString, path);
        QFETCH(QByteArray, uri);
        QFETCH(QString, name);
        QCOMPARE(ThumbnailCache::uriFor(path), uri);
        if (!name.isEmpty())
            QCOMPARE(ThumbnailCache::fileNameFor(uri), name);
    }

    void validity_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("found");
        QTest::newRow("unchanged") << "" << true;
        QTest::newRow("touched") << "touch" << false;
        QTest::newRow("same time, other size") << "grow" << false;
        QTest::newRow("renamed in place of another") << "swap" << false;
        QTest::newRow("only in large") << "large" << true;
        QTest::newRow("failure recorded") << "fail" << false;
    }
    void validity() {
        QFETCH(QString, change);
        QFETCH(bool, found);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("pic.mag"));
        const QString other = dir.filePath(QStringLiteral("other.mag"));
        write(file, "picture");
        write(other, "other");
        const ThumbnailCache cache(dir.filePath(QStringLiteral("cache/thumbnails")));
        QImage picture(640, 400, QImage::Format_RGB32);
        picture.fill(Qt::red);
        if (change == u"fail")
            QVERIFY(cache.storeFailure(file));
        else
            QVERIFY(cache.store(file, picture, QSize(640, 400)));
        const QString name = ThumbnailCache::fileNameFor(ThumbnailCache::uriFor(file));
        if (change == u"touch") {
            setTime(file, QDateTime::currentDateTime().addDays(-2));
        } else if (change == u"grow") {
            const QDateTime time = QFileInfo(file).lastModified();
            write(file, "picture, longer");
            setTime(file, time);
        } else if (change == u"swap") {
            QVERIFY(cache.store(other, picture, QSize(640, 400)));
            QVERIFY(QFile::remove(cache.normalFolder() + u'/' + name));
            QVERIFY(QFile::copy(cache.normalFolder() + u'/' +
                                    ThumbnailCache::fileNameFor(ThumbnailCache::uriFor(other)),
                                cache.normalFolder() + u'/' + name));
        } else if (change == u"large") {
            QVERIFY(QDir().mkpath(cache.largeFolder()));
            QVERIFY(QFile::rename(cache.normalFolder() + u'/' + name,
                                  cache.largeFolder() + u'/' + name));
        }
        const std::optional<CachedThumbnail> hit = cache.find(file);
        QCOMPARE(hit.has_value(), found);
        QCOMPARE(cache.failed(file), change == u"fail");
        if (!found)
            return;
        QCOMPARE(hit->image.size(), QSize(128, 80));
        QCOMPARE(hit->image.pixelColor(64, 40), QColor(Qt::red));
        QCOMPARE(hit->pictureSize, QSize(640, 400));
    }

    // A stale thumbnail is replaced in place; the file is private and nothing else is left.
    void refresh() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("pic.pi"));
        write(file, "first");
        const ThumbnailCache cache(dir.filePath(QStringLiteral("thumbnails")));
        QImage picture(50, 100, QImage::Format_RGB32);
        picture.fill(Qt::blue);
        QVERIFY(cache.store(file, picture, QSize(50, 100)));
        setTime(file, QDateTime::currentDateTime().addSecs(-100));
        QVERIFY(!cache.find(file));
        picture.fill(Qt::green);
        QVERIFY(cache.store(file, picture, QSize(50, 100)));
        const std::optional<CachedThumbnail> hit = cache.find(file);
        QVERIFY(hit);
        QCOMPARE(hit->image.size(), QSize(50, 100));
        QCOMPARE(hit->image.pixelColor(0, 0), QColor(Qt::green));
        const QFileInfoList entries =
            QDir(cache.normalFolder()).entryInfoList(QDir::Files | QDir::Hidden);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().permissions() & 0x7777,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    // Archive members extracted into the private temporary folder, and the cache's own files.
    void excluded() {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("temp"))));
        const QString member = dir.filePath(QStringLiteral("temp/member.mag"));
        write(member, "member");
        const ThumbnailCache cache(dir.filePath(QStringLiteral("thumbnails")),
                                   {dir.filePath(QStringLiteral("temp"))});
        QVERIFY(!cache.store(member, QImage(4, 4, QImage::Format_RGB32), QSize(4, 4)));
        QVERIFY(!cache.storeFailure(member));
        QVERIFY(!QDir(cache.normalFolder()).exists());
        QVERIFY(!cache.eligible(QStringLiteral("relative.mag")));
    }

private:
    static void write(const QString& path, const QByteArray& data) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }
    static void setTime(const QString& path, const QDateTime& time) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(time, QFileDevice::FileModificationTime));
    }
};

QTEST_GUILESS_MAIN(TestThumbnailCache)
#include "test_thumbnail_cache.moc"
