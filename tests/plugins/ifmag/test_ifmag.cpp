// Tests of the MAG decoder plug-in through its C entry points.
#include <dlfcn.h>

#include <QBuffer>
#include <QFile>
#include <QTest>
#include <cmath>
#include <cstring>
#include <random>

#include "mag_encoder.h"
#include "plugin_tests.h"

using namespace kordel::test;

namespace {

QImage expectedImage(const MagPicture& pic) {
    QImage img(pic.width, pic.height, QImage::Format_RGB32);
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x)
            img.setPixel(x, y, pic.palette[pic.dots[size_t(y) * pic.width + x]] | 0xff000000u);
    return img;
}

// Palette of distinct colours; 16-colour ones use PC-98 style levels.
std::vector<QRgb> testPalette(int colours) {
    std::vector<QRgb> p;
    for (int i = 0; i < colours; ++i)
        p.push_back(colours == 16 ? qRgb((i & 3) * 0x50, (i >> 2) * 0x50, 0xf0 - i * 0x10)
                                  : qRgb(i, 255 - i, (i * 37) & 0xff));
    return p;
}

// Random content built from unit-sized tiles, many of them repeating a tile at one
// of the copy offsets, so that every copy code fits somewhere.
MagPicture randomPicture(bool colours256, int width, int height, int x0, std::mt19937& rng) {
    static constexpr int kDx[16] = {0, 1, 2, 4, 0, 1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0};
    static constexpr int kDy[16] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16};
    MagPicture pic;
    pic.colours256 = colours256;
    pic.width = width;
    pic.height = height;
    pic.x0 = x0;
    pic.y0 = 3;
    pic.palette = testPalette(colours256 ? 256 : 16);
    pic.dots.resize(size_t(width) * height);
    const int tile = colours256 ? 2 : 4;
    const int colours = colours256 ? 256 : 16;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += tile) {
            const int f = 1 + int(rng() % 15);
            const bool copy = rng() % 3 != 0 && kDy[f] <= y && kDx[f] * tile <= x;
            const bool plain = rng() % 2 == 0;
            for (int k = x; k < std::min(width, x + tile); ++k) {
                uint8_t& d = pic.dots[size_t(y) * width + k];
                if (copy)
                    d = pic.dots[size_t(y - kDy[f]) * width + k - kDx[f] * tile];
                else
                    d = uint8_t(rng() % (plain ? 2 : colours));
            }
        }
    }
    return pic;
}

}  // namespace

class TestIfmag : public QObject {
    Q_OBJECT

private:
    SpiModule mag_{QStringLiteral("ifmag.spi")};
    TestFiles files_;

    // Empty when `file` decodes to `want` at `depth` bits a pixel.
    QString mismatch(const QByteArray& file, const QImage& want, int depth) {
        return decodeMismatch(
            mag_, files_.write(QStringLiteral("t.mag"), file),
            {.image = want, .depth = depth, .bitCount = 8, .densities = QSize(1, 1)});
    }

private slots:
    void initTestCase() {
        QVERIFY2(mag_.isLoaded(), qPrintable(mag_.error()));
        QVERIFY(files_.isValid());
    }

    void pluginInfo() {
        KORDEL_VERIFY_NO_FAILURE(pluginInfoMismatch(mag_, "*.mag"));
        QVERIFY(mag_.pluginInfo(1).contains("MAG"));
        QCOMPARE(mag_.pluginInfo(-1), QByteArray());

        // Short buffers and memory input, through the raw entry points.
        void* h = dlopen(KORDEL_BIN_DIR "/ifmag.spi", RTLD_NOW | RTLD_LOCAL);
        QVERIFY(h);
        auto info = reinterpret_cast<SpiGetPluginInfo>(dlsym(h, "GetPluginInfo"));
        auto picture = reinterpret_cast<SpiGetPicture>(dlsym(h, "GetPicture"));
        char buf[8];
        std::memset(buf, 'x', sizeof buf);
        QCOMPARE(info(2, buf, 3), 2);
        QCOMPARE(QByteArray(buf, 4), QByteArray("*.\0x", 4));
        std::memset(buf, 'x', sizeof buf);
        QCOMPARE(info(0, buf, 0), 0);
        QCOMPARE(buf[0], 'x');
        QCOMPARE(info(9, buf, 8), 0);
        QCOMPARE(buf[0], '\0');
        void* bi = nullptr;
        void* bits = nullptr;
        QCOMPARE(picture("MAKI02  ", 8, 1, &bi, &bits, nullptr, 0), int(SPI_UNKNOWN_FORMAT));
        QVERIFY(!bi && !bits);
        dlclose(h);
    }

    void isSupported() {
        std::mt19937 rng(1);
        const QByteArray good = encodeMag(randomPicture(false, 16, 4, 0, rng));
        QVERIFY(mag_.isSupported(files_.write(QStringLiteral("a.mag"), good)));
        QVERIFY(mag_.isSupported(files_.write(QStringLiteral("a.bin"), good)));
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::white);  // not left uninitialised, so the file is the same every run
        image.save(&png, "PNG");
        QVERIFY(!mag_.isSupported(files_.write(QStringLiteral("png.mag"), png.data())));
        QByteArray noise(3000, '\0');
        for (auto& c : noise)
            c = char(rng());
        QVERIFY(!mag_.isSupported(files_.write(QStringLiteral("noise.mag"), noise)));
        QVERIFY(!mag_.isSupported(files_.write(QStringLiteral("empty.mag"), QByteArray())));
        // Not a MAG: unknown format, also for the host's retry 128 bytes in.
        const QString pngPath = files_.path(QStringLiteral("png.mag"));
        QCOMPARE(mag_.picture(pngPath).code, int(SPI_UNKNOWN_FORMAT));
        QCOMPARE(mag_.picture(pngPath, 128).code, int(SPI_UNKNOWN_FORMAT));
        QCOMPARE(mag_.picture(files_.path(QStringLiteral("missing.mag"))).code,
                 int(SPI_READ_ERROR));
    }

    void fixtures_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("depth");
        QTest::newRow("16 colours") << "synth_pattern16.mag" << 4;
        QTest::newRow("256 colours") << "synth_pattern256.mag" << 8;
    }

    void fixtures() {
        QFETCH(QString, file);
        QFETCH(int, depth);
        const QString base = kordel::test::fixturesDir();
        if (base.isEmpty())
            QSKIP("fixtures folder not present (KORDEL_FIXTURES_DIR)");
        const QString path = base + QStringLiteral("/retro/MAG/") + file;
        const QImage want(path + QStringLiteral(".ref.png"));
        QVERIFY(!want.isNull());
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(mag_, path, {.image = want, .depth = depth}));
    }

    // Two rows of 8 dots at 16 colours: row 0 literal, row 1 copies from above
    // (flag 4) and from the left unit (flag 1).
    void handBuiltFile() {
        auto build = [](uint8_t b) {
            QByteArray f("MAKI02  TEST");
            f.append(QByteArray(20, ' ')).append("\x1a\x7f", 2);  // tolerant search
            QByteArray h(32, '\0');
            h[8] = 7;                   // x1
            h[10] = 1;                  // y1
            h[12] = char(32 + 48);      // flag A
            h[16] = char(32 + 48 + 2);  // flag B
            h[20] = 2;                  // flag B size
            h[24] = char(32 + 48 + 4);  // pixels
            h[28] = 4;                  // pixel size
            f.append(h);
            for (int i = 0; i < 16; ++i)  // G, R, B
                f.append(char(i * 0x10)).append(char(0x20 + i)).append(char(0xf0 - i));
            return f.append(char(0xc0))
                .append('\0')
                .append('\0')
                .append(char(b))
                .append("\x01\x23\x45\x67", 4);
        };
        const QString path = files_.write(QStringLiteral("hand.mag"), build(0x41));
        const auto r = mag_.picture(path);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.size(), QSize(8, 2));
        const int want[2][8] = {{0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 0, 1, 2, 3}};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(r.image.pixelIndex(x, y), want[y][x]);
        QCOMPARE(r.image.color(5), qRgb(0x25, 0x50, 0xeb));

        // Flag 5 (one unit left, one row up) in the first column reaches outside.
        QCOMPARE(mag_.picture(files_.write(QStringLiteral("hand.mag"), build(0x51))).code,
                 int(SPI_BROKEN_DATA));
        // Flag 2 (two units left) from unit 1 in row 1, too.
        QCOMPARE(mag_.picture(files_.write(QStringLiteral("hand.mag"), build(0x42))).code,
                 int(SPI_BROKEN_DATA));
    }

    void roundTrip_data() {
        QTest::addColumn<bool>("colours256");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("x0");
        QTest::addColumn<int>("align");
        QTest::addColumn<int>("commentLength");
        QTest::newRow("16: 1 pixel") << false << 1 << 1 << 0 << 0 << 0;
        QTest::newRow("256: 1 pixel at x0 3") << true << 1 << 1 << 3 << 0 << 0;
        QTest::newRow("16: odd size") << false << 37 << 23 << 0 << 0 << 12;
        QTest::newRow("16: x0 13") << false << 50 << 19 << 13 << 0 << 0;
        QTest::newRow("16: x0 7, 1 wide") << false << 1 << 30 << 7 << 0 << 0;
        QTest::newRow("256: odd size") << true << 41 << 17 << 0 << 0 << 0;
        QTest::newRow("256: x0 4") << true << 29 << 21 << 4 << 0 << 0;
        QTest::newRow("256: x0 6, 8-dot writer") << true << 30 << 40 << 6 << 8 << 0;
        QTest::newRow("256: x0 4, 8-dot writer, 1 row") << true << 9 << 1 << 4 << 8 << 0;
        QTest::newRow("16: long comment") << false << 20 << 20 << 0 << 0 << 70000;
    }

    void roundTrip() {
        QFETCH(bool, colours256);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, x0);
        QFETCH(int, align);
        QFETCH(int, commentLength);
        std::mt19937 rng(uint32_t(width * 131 + height));
        MagPicture pic = randomPicture(colours256, width, height, x0, rng);
        pic.alignDots = align;
        pic.comment = QByteArray(commentLength, 'c');
        KORDEL_VERIFY_NO_FAILURE(mismatch(encodeMag(pic), expectedImage(pic), colours256 ? 8 : 4));
    }

    // Random choices among the fitting codes reach every one of the 16 flag values.
    void everyCopyCode() {
        for (bool colours256 : {false, true}) {
            std::mt19937 rng(colours256 ? 7 : 8);
            MagPicture pic = randomPicture(colours256, 64, 40, 0, rng);
            MagStats stats;
            const QByteArray file = encodeMag(
                pic, [&](int n) { return int(rng() % uint32_t(n)); }, &stats);
            for (int f = 0; f < 16; ++f)
                QVERIFY2(stats.codes[size_t(f)] > 0, qPrintable(QString::number(f)));
            KORDEL_VERIFY_NO_FAILURE(mismatch(file, expectedImage(pic), colours256 ? 8 : 4));
        }
    }

    void damaged_data() {
        QTest::addColumn<int>("at");  // header field offset from the header start
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("result");
        QTest::newRow("x1 < x0") << 4 << 500 << 2 << int(SPI_BROKEN_DATA);
        QTest::newRow("y1 < y0") << 6 << 500 << 2 << int(SPI_BROKEN_DATA);
        QTest::newRow("too wide") << 8 << 0xffff << 2 << int(SPI_NO_MEMORY);
        QTest::newRow("flag B before flag A") << 16 << 10 << 4 << int(SPI_BROKEN_DATA);
        QTest::newRow("pixels past the end") << 24 << 0x7fffffff << 4 << int(SPI_BROKEN_DATA);
        QTest::newRow("flag B size 0") << 20 << 0 << 4 << int(SPI_BROKEN_DATA);
        QTest::newRow("MSX YJK") << 1 << 0x2403 << 2 << int(SPI_UNKNOWN_FORMAT);
    }

    void damaged() {
        QFETCH(int, at);
        QFETCH(int, value);
        QFETCH(int, bytes);
        QFETCH(int, result);
        std::mt19937 rng(3);
        QByteArray file = encodeMag(randomPicture(false, 24, 12, 0, rng));
        const qsizetype header = file.indexOf('\x1a') + 1;
        for (int i = 0; i < bytes; ++i)
            file[header + at + i] = char((value >> (8 * i)) & 0xff);
        QCOMPARE(mag_.picture(files_.write(QStringLiteral("d.mag"), file)).code, result);
    }

    void truncatedAndFlipped() {
        std::mt19937 rng(11);
        const QByteArray file = encodeMag(randomPicture(true, 12, 6, 2, rng));
        KORDEL_VERIFY_NO_FAILURE(
            checkCuts(mag_, files_, file,
                      {.name = "cut.mag", .accepted = {SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA}}));
        const Damage flips{.name = "flip.mag",
                           .accepted = {SPI_OK, SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA, SPI_NO_MEMORY},
                           .rounds = 2000};
        KORDEL_VERIFY_NO_FAILURE(checkDamage(mag_, files_, {file}, flips, rng).failure);
    }

    void progressAndCancel() {
        std::mt19937 rng(5);
        const MagPicture pic = randomPicture(false, 30, 100, 0, rng);
        const QString path = files_.write(QStringLiteral("p.mag"), encodeMag(pic));
        KORDEL_VERIFY_NO_FAILURE(progressMismatch(mag_, path, 100, 100 / 8));
    }

    void dataAtOffset() {
        std::mt19937 rng(9);
        const MagPicture pic = randomPicture(true, 10, 5, 0, rng);
        const QString path =
            files_.write(QStringLiteral("o.mag"), QByteArray(128, 'M') + encodeMag(pic));
        QCOMPARE(mag_.picture(path).code, int(SPI_UNKNOWN_FORMAT));
        const auto r = mag_.picture(path, 128);
        QCOMPARE(r.code, 0);
        QVERIFY(firstDifference(r.image, expectedImage(pic)).isEmpty());
    }

    // The picture in samples/: a 256-colour sky, sun and hills. Written again when
    // KORDEL_WRITE_SAMPLES is set.
    void sample() {
        MagPicture pic;
        pic.colours256 = true;
        pic.width = 160;
        pic.height = 100;
        pic.comment = "Kordel sample";
        for (int i = 0; i < 256; ++i) {
            if (i < 100)  // sky, light to deep blue
                pic.palette.push_back(qRgb(200 - i * 2, 220 - i, 255 - i / 2));
            else if (i < 140)  // sun
                pic.palette.push_back(qRgb(255, 200 + (i - 100), 80 + (i - 100) * 3));
            else  // hills, light to dark green
                pic.palette.push_back(qRgb(40 + (255 - i) / 3, 170 - (i - 140), 60));
        }
        pic.dots.resize(160 * 100);
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 160; ++x) {
                const int sunDx = x - 118, sunDy = y - 30;
                const int sun = sunDx * sunDx + sunDy * sunDy;
                const int hill1 = 72 - int(14.0 * std::sin(x / 20.0));
                const int hill2 = 82 - int(9.0 * std::cos(x / 13.0 + 1.0));
                uint8_t v;
                if (y >= hill2)
                    v = uint8_t(200 + std::min(55, (y - hill2) * 3));
                else if (y >= hill1)
                    v = uint8_t(140 + std::min(50, (y - hill1) * 2));
                else if (sun < 18 * 18)
                    v = uint8_t(100 + std::min(39, sun / 9));
                else
                    v = uint8_t(99 - y);
                pic.dots[size_t(y) * 160 + x] = v;
            }
        }
        const QByteArray file = encodeMag(pic);
        KORDEL_VERIFY_NO_FAILURE(mismatch(file, expectedImage(pic), 8));
        KORDEL_VERIFY_NO_FAILURE(
            sampleMismatch(mag_, QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.mag"), file));
    }
};

QTEST_GUILESS_MAIN(TestIfmag)
#include "test_ifmag.moc"
