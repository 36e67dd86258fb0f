// The files of samples/, cut short and with bytes flipped, through the picture
// component: each load ends in a picture of the size reported or in a clean failure
// with its message, never in a crash.
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "all.h"
#include "picture_files.h"
#include "recording_host.h"
#include "spi.h"

class TestDamaged : public QObject {
    Q_OBJECT

    QTemporaryDir temp_;
    kordel::test::RecordingHost host_;
    kordel::TAll all_{host_};
    int loads_ = 0;

    // One load, and what may come of it.
    void loadAndCheck(const QString& ext, const QByteArray& data, const QString& what) {
        // A new file each time: overwriting one in place makes the file system flush it.
        const QString path = temp_.filePath(QStringLiteral("d%1.").arg(++loads_ % 8) + ext);
        QFile::remove(path);
        QVERIFY(kordel::test::writeFile(path, data));
        host_.clear();
        QVERIFY2(all_.setPictureName(path), qPrintable(what));
        if (all_.Error() == 0) {
            const QSize size = all_.metafile() ? all_.metafile()->size : all_.image().size();
            QVERIFY2(size == QSize(all_.OrgWidth(), all_.OrgHeight()), qPrintable(what));
            QVERIFY2(!size.isEmpty() && size.width() <= SPI_MAX_DIMENSION &&
                         size.height() <= SPI_MAX_DIMENSION,
                     qPrintable(what));
            QCOMPARE(host_.statuses.last(), QStringLiteral(" "));
            QCOMPARE(all_.PictureName(), path);
        } else {
            QVERIFY2(all_.Error() != 10 && all_.Error() != 20, qPrintable(what));
            QVERIFY2(all_.isEmpty() && all_.PictureName().isEmpty(), qPrintable(what));
            QVERIFY2(!host_.statuses.last().trimmed().isEmpty(), qPrintable(what));
        }
        QCOMPARE(host_.progress.last(), 0);
    }

private slots:
    void initTestCase() { all_.setPluginFolders({QStringLiteral(KORDEL_BIN_DIR)}); }
    void everyKind_data();
    void everyKind();
};

void TestDamaged::everyKind_data() {
    QTest::addColumn<QString>("file");
    const QDir samples(QStringLiteral(KORDEL_SOURCE_DIR "/samples"));
    for (const QString& file : samples.entryList({"sample.*"}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(file)) << samples.filePath(file);
}

void TestDamaged::everyKind() {
    QFETCH(QString, file);
    const QByteArray data = kordel::test::readFile(file);
    const QString ext = QFileInfo(file).suffix();
    loadAndCheck(ext, data, QStringLiteral("intact"));
    QCOMPARE(all_.Error(), 0);
    const qsizetype n = data.size();
    QList<qsizetype> cuts{0, 1, 2, 4, 8, 14, 18, 26, 30, 54, 64, 100, n - 1};
    for (int i = 1; i < 16; ++i)
        cuts << n * i / 16;
    for (const qsizetype cut : cuts)
        if (cut >= 0 && cut < n && !QTest::currentTestFailed())
            loadAndCheck(ext, data.left(cut), QStringLiteral("cut at %1").arg(cut));
    // Bytes flipped with a fixed seed, in the headers more often than elsewhere.
    QRandomGenerator random(0x5eed + quint32(n));
    for (int round = 0; round < 100 && !QTest::currentTestFailed(); ++round) {
        QByteArray damaged = data;
        QString what = QStringLiteral("round %1:").arg(round);
        for (int f = 0, flips = 1 + int(random.bounded(6)); f < flips; ++f) {
            const qsizetype at = random.bounded(random.bounded(2) ? qMin<qsizetype>(n, 128) : n);
            damaged[at] = char(random.bounded(4) == 0 ? 0xff : random.bounded(256));
            what += QStringLiteral(" %1=%2").arg(at).arg(uchar(damaged[at]));
        }
        loadAndCheck(ext, damaged, what);
    }
}

QTEST_MAIN(TestDamaged)
#include "test_damaged.moc"
