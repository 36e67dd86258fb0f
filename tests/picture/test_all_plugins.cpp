// The real decoder plug-ins through the picture component, on the files of samples/,
// with Qt's own readers as the judge of the pixels.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "all.h"
#include "recording_host.h"

using kordel::TAll;
using kordel::test::RecordingHost;

namespace {

QString sample(const QString& name) {
    return QStringLiteral(KORDEL_SOURCE_DIR "/samples/") + name;
}

// The first dot, every seventh, where the two pictures differ by more than the tolerance.
QString difference(const QImage& ours, const QImage& qt, int tolerance) {
    if (ours.size() != qt.size())
        return QStringLiteral("size %1x%2").arg(ours.width()).arg(ours.height());
    for (int y = 0; y < qt.height(); y += 7)
        for (int x = 0; x < qt.width(); x += 7) {
            const QRgb a = ours.pixel(x, y), b = qt.pixel(x, y);
            if (qAbs(qRed(a) - qRed(b)) > tolerance || qAbs(qGreen(a) - qGreen(b)) > tolerance ||
                qAbs(qBlue(a) - qBlue(b)) > tolerance)
                return QString::asprintf("(%d,%d): %08x, Qt %08x", x, y, a, b);
        }
    return {};
}

}  // namespace

class TestAllPlugins : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;
    RecordingHost host_;
    std::unique_ptr<TAll> all_;

    bool load(const QString& path) {
        host_.clear();
        return all_->setPictureName(path) && all_->Error() == 0;
    }

private slots:
    void init() {
        host_ = RecordingHost();
        all_ = std::make_unique<TAll>(host_);
        all_->setPluginFolders({QStringLiteral(KORDEL_BIN_DIR)});
    }

    void samples_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("tolerance");  // two builds of libjpeg may round apart
        QTest::newRow("jpeg") << "sample.jpg" << 24 << 8;
        QTest::newRow("gif") << "sample.gif" << 8 << 0;
        QTest::newRow("tiff") << "sample.tif" << 24 << 0;
    }

    void samples() {
        QFETCH(QString, file);
        QFETCH(int, tolerance);
        QVERIFY(load(sample(file)));
        const QImage qt(sample(file));
        QCOMPARE(QSize(all_->OrgWidth(), all_->OrgHeight()), qt.size());
        QTEST(all_->OrgColor(), "depth");
        const QString diff = difference(all_->image(), qt, tolerance);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        QCOMPARE(host_.statuses, QStringList{" "});
    }

    void decodeFailures() {
        // A picture of another kind under a plug-in's extension.
        for (const char* name : {"j.gif", "j.tif", "j.pic"}) {
            QVERIFY(QFile::copy(sample("sample.jpg"), temp_.filePath(QString::fromLatin1(name))));
            QVERIFY(!load(temp_.filePath(QString::fromLatin1(name))));
            QVERIFY(!host_.statuses.last().trimmed().isEmpty());
        }
        // A missing file reaches the plug-in, which cannot read it.
        QVERIFY(!load(temp_.filePath("absent.jpg")));
        QCOMPARE(all_->Error(), 6);
        QCOMPARE(host_.statuses.last(), QStringLiteral("ファイルリードエラー"));
    }
};

QTEST_MAIN(TestAllPlugins)
#include "test_all_plugins.moc"
