// Damaged and truncated files of every kind through the picture component: each
// load ends in a picture of the size reported, or in a clean failure with its
// message, never in a crash.
#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <array>

#include "all.h"
#include "mag_encoder.h"
#include "pi_encoder.h"
#include "pic2_encoder.h"
#include "pic_encoder.h"
#include "picture_files.h"
#include "q4_encoder.h"
#include "recording_host.h"
#include "spi.h"

using kordel::TAll;
using kordel::test::BmpLayout;
using kordel::test::RecordingHost;

namespace {

std::vector<uint32_t> gradientDots(int w, int h, uint32_t modulo, uint32_t scale) {
    std::vector<uint32_t> dots;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            dots.push_back((uint32_t(x / 3 + y / 2) * scale) % modulo);
    return dots;
}

std::vector<QRgb> greyPalette(int n) {
    std::vector<QRgb> p;
    for (int i = 0; i < n; ++i)
        p.push_back(
            qRgb(i * 255 / std::max(1, n - 1), (i * 77) & 255, 255 - i * 255 / std::max(1, n - 1)));
    return p;
}

QByteArray bmp(int bits, int compression, BmpLayout::Header header = BmpLayout::Header::Windows) {
    BmpLayout s;
    s.header = header;
    s.width = 19;
    s.height = 9;
    s.bits = bits;
    s.compression = compression;
    if (bits <= 8)
        s.palette = greyPalette(1 << bits);
    s.masks[0] = 0xf800;
    s.masks[1] = 0x07e0;
    s.masks[2] = 0x001f;
    s.dots = gradientDots(s.width, s.height, bits <= 8 ? 1u << bits : 0xffffffu, 0x10305);
    if (compression == 1)
        s.rle = QByteArray::fromHex(
            "0401000302030400010500000206000000020301020700"
            "01");
    if (compression == 2)
        s.rle = QByteArray::fromHex(
            "0512000334500000000202010367"
            "0001");
    return kordel::test::writeBmp(s);
}

QByteArray ico() {
    QImage png(24, 24, QImage::Format_ARGB32);
    png.fill(qRgba(10, 200, 30, 180));
    QByteArray pngData;
    QBuffer buffer(&pngData);
    buffer.open(QIODevice::WriteOnly);
    png.save(&buffer, "png");
    kordel::test::IcoImage p;
    p.width = p.height = 24;
    p.png = pngData;
    return kordel::test::writeIco({kordel::test::solidIcon(16, 4, qRgb(200, 0, 0)),
                                   kordel::test::solidIcon(16, 8, qRgb(0, 0, 200)), p,
                                   kordel::test::solidIcon(32, 32, qRgb(0, 200, 200))});
}

QByteArray pic() {
    kordel::test::PicLayout s;
    s.type = 15;
    s.depth = 15;
    s.width = 24;
    s.height = 12;
    s.aspectA = 2;
    s.aspectB = 1;
    s.dots = gradientDots(s.width, s.height, 1u << 15, 0x1234);
    return kordel::test::encodePic(s);
}

QByteArray pic2() {
    kordel::test::P2Layout s;
    s.depth = 15;
    s.width = 14;
    s.height = 9;
    kordel::test::P2Block b;
    b.id = "P2SS";
    b.width = 14;
    b.height = 9;
    b.dots = gradientDots(14, 9, 1u << 15, 0x0421);
    s.blocks.push_back(b);
    kordel::test::P2Block f = b;
    f.id = "P2SF";
    f.height = 4;
    f.dots.resize(14 * 4);
    s.blocks.push_back(f);
    return kordel::test::encodeP2(s);
}

QByteArray mag() {
    kordel::test::MagPicture m;
    m.width = 32;
    m.height = 12;
    m.palette = greyPalette(16);
    for (uint32_t v : gradientDots(32, 12, 16, 1))
        m.dots.push_back(uint8_t(v));
    return kordel::test::encodeMag(m);
}

QByteArray pi() {
    kordel::test::PiPicture p;
    p.planes = 4;
    p.width = 32;
    p.height = 12;
    p.palette = greyPalette(16);
    for (uint32_t v : gradientDots(32, 12, 16, 1))
        p.dots.push_back(uint8_t(v));
    return kordel::test::encodePi(p);
}

QByteArray q4() {
    std::array<std::array<uint8_t, 3>, 16> levels{};
    for (int i = 0; i < 16; ++i)
        levels[size_t(i)] = {uint8_t(i), uint8_t(15 - i), uint8_t((i * 5) & 15)};
    std::vector<uint8_t> dots;
    for (uint32_t v : gradientDots(640, 400, 16, 1))
        dots.push_back(uint8_t(v));
    return kordel::test::encodeQ4(dots, levels);
}

}  // namespace

class TestDamaged : public QObject {
    Q_OBJECT

private:
    QTemporaryDir temp_;
    RecordingHost host_;
    TAll all_{host_};
    int loads_ = 0;

    // One load, and what may come of it.
    void loadAndCheck(const QString& ext, const QByteArray& data, const QString& what) {
        const QString path = temp_.filePath(QStringLiteral("d%1").arg(++loads_ % 8) + ext);
        // A new file each time: overwriting one in place makes the file system flush it.
        QFile::remove(path);
        QVERIFY(kordel::test::writeFile(path, data));
        host_.clear();
        QVERIFY2(all_.setPictureName(path), qPrintable(what));
        const int error = all_.Error();
        static const QSet<QString> texts{"未知のフォーマット",     "データが壊れている",
                                         "メモリーが確保出来ない", "メモリーエラー",
                                         "ファイルリードエラー",   "その他のエラー"};
        if (error == 0) {
            QVERIFY2(!all_.isEmpty(), qPrintable(what));
            const QSize size = all_.metafile() ? all_.metafile()->size : all_.image().size();
            QVERIFY2(size == QSize(all_.OrgWidth(), all_.OrgHeight()), qPrintable(what));
            QVERIFY2(size.width() > 0 && size.height() > 0 && size.width() <= SPI_MAX_DIMENSION &&
                         size.height() <= SPI_MAX_DIMENSION,
                     qPrintable(what));
            QCOMPARE(host_.statuses.last(), QStringLiteral(" "));
            QCOMPARE(all_.PictureName(), path);
        } else {
            QVERIFY2(error != 10 && error != 20, qPrintable(what));
            QVERIFY2(all_.isEmpty(), qPrintable(what));
            QVERIFY2(all_.PictureName().isEmpty(), qPrintable(what));
            QVERIFY2(texts.contains(host_.statuses.last()), qPrintable(what));
        }
        QCOMPARE(host_.progress.last(), 0);
    }

private slots:
    void initTestCase() {
        QVERIFY(temp_.isValid());
        all_.setPluginFolders({QStringLiteral(KORDEL_BIN_DIR)});
    }

    void everyKind_data();
    void everyKind();
};

void TestDamaged::everyKind_data() {
    QTest::addColumn<QString>("ext");
    QTest::addColumn<QByteArray>("data");
    using H = BmpLayout::Header;
    QTest::newRow("bmp 1") << ".bmp" << bmp(1, 0);
    QTest::newRow("bmp 4") << ".bmp" << bmp(4, 0);
    QTest::newRow("bmp 8") << ".bmp" << bmp(8, 0);
    QTest::newRow("bmp 16 fields") << ".bmp" << bmp(16, 3);
    QTest::newRow("bmp 24") << ".bmp" << bmp(24, 0);
    QTest::newRow("bmp 32 v4") << ".bmp" << bmp(32, 3, H::V4);
    QTest::newRow("bmp rle8") << ".bmp" << bmp(8, 1);
    QTest::newRow("bmp rle4") << ".bmp" << bmp(4, 2);
    QTest::newRow("bmp os2 1.x") << ".bmp" << bmp(8, 0, H::Os2v1);
    QTest::newRow("bmp os2 2.x") << ".bmp" << bmp(4, 0, H::Os2v2);
    QTest::newRow("ico") << ".ico" << ico();
    QTest::newRow("wmf") << ".wmf" << kordel::test::placeableWmf();
    QTest::newRow("emf") << ".emf" << kordel::test::smallEmf();
    QTest::newRow("jpeg") << ".jpg" << kordel::test::jpegFile(kordel::test::quadrants(48, 32), 80);
    QTest::newRow("gif") << ".gif"
                         << kordel::test::gifFile(kordel::test::quadrants(24, 16).convertToFormat(
                                QImage::Format_Indexed8, Qt::ThresholdDither));
    const QString tiff = temp_.filePath("source.tif");
    kordel::test::writeTiff(tiff, kordel::test::quadrants(20, 12));
    QTest::newRow("tiff") << ".tif" << kordel::test::readFile(tiff);
    QTest::newRow("pic") << ".pic" << pic();
    QTest::newRow("pic2") << ".p2" << pic2();
    QTest::newRow("mag") << ".mag" << mag();
    QTest::newRow("pi") << ".pi" << pi();
    QTest::newRow("q4") << ".q4" << q4();
}

void TestDamaged::everyKind() {
    QFETCH(QString, ext);
    QFETCH(QByteArray, data);
    // The intact file loads.
    loadAndCheck(ext, data, QStringLiteral("intact"));
    QCOMPARE(all_.Error(), 0);

    const qsizetype n = data.size();
    QList<qsizetype> cuts{0, 1, 2, 3, 4, 6, 8, 13, 14, 15, 18, 22, 26, 30, 40, 54, 64, 100};
    for (int i = 1; i < 16; ++i)
        cuts << n * i / 16;
    cuts << n - 2 << n - 1;
    for (const qsizetype cut : cuts) {
        if (cut >= 0 && cut < n)
            loadAndCheck(ext, data.left(cut), QStringLiteral("cut at %1").arg(cut));
        if (QTest::currentTestFailed())
            return;
    }

    // Bytes flipped with a fixed seed, in the headers more often than elsewhere.
    QRandomGenerator random(0x5eed + quint32(n));
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = data;
        const int flips = 1 + int(random.bounded(6));
        QString what = QStringLiteral("round %1:").arg(round);
        for (int f = 0; f < flips; ++f) {
            const qsizetype limit = random.bounded(2) ? qMin<qsizetype>(n, 128) : n;
            const qsizetype at = qsizetype(random.bounded(quint32(limit)));
            const char value = char(random.bounded(4) == 0 ? 0xff : random.bounded(256));
            damaged[at] = value;
            what += QStringLiteral(" %1=%2").arg(at).arg(uchar(value));
        }
        loadAndCheck(ext, damaged, what);
        if (QTest::currentTestFailed())
            return;
    }
}

QTEST_MAIN(TestDamaged)
#include "test_damaged.moc"
