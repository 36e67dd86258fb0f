// Tests of the Pi decoder plug-in through its C entry points.
#include <QBuffer>
#include <QFile>
#include <QTest>
#include <cmath>
#include <random>

#include "pi_encoder.h"
#include "plugin_tests.h"

using namespace kordel::test;

namespace {

QImage expectedImage(const PiPicture& pic, const std::vector<QRgb>& palette) {
    QImage img(pic.width, pic.height, QImage::Format_RGB32);
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x)
            img.setPixel(x, y, palette[pic.dots[size_t(y) * pic.width + x]] | 0xff000000u);
    return img;
}

std::vector<QRgb> testPalette(int colours) {
    std::vector<QRgb> p;
    for (int i = 0; i < colours; ++i)
        p.push_back(qRgb(i * 7 & 0xff, 255 - i, (i * 53) & 0xff));
    return p;
}

// Content with repeats at every neighbour position, flat runs and noise.
PiPicture randomPicture(int planes, int width, int height, std::mt19937& rng) {
    PiPicture pic;
    pic.planes = planes;
    pic.width = width;
    pic.height = height;
    pic.palette = testPalette(1 << planes);
    pic.dots.resize(size_t(width) * height);
    const int colours = 1 << planes;
    for (size_t i = 0; i < pic.dots.size(); ++i) {
        const size_t w = size_t(width);
        const int r = int(rng() % 10);
        uint8_t& d = pic.dots[i];
        if (r < 2 && i >= w)
            d = pic.dots[i - w];
        else if (r < 3 && i >= 2 * w)
            d = pic.dots[i - 2 * w];
        else if (r < 4 && i >= w + 1)
            d = pic.dots[i - w - 1];
        else if (r < 5 && i >= w)
            d = pic.dots[i - w + 1];
        else if (r < 7 && i >= 2)
            d = pic.dots[i - 2];
        else
            d = uint8_t(rng() % uint32_t(r == 9 ? colours : 4));
    }
    return pic;
}

}  // namespace

class TestIfpi : public QObject {
    Q_OBJECT

private:
    SpiModule pi_{QStringLiteral("ifpi.spi")};
    TestFiles files_;

    // Empty when `file` decodes to `want` at `depth` bits a pixel.
    QString mismatch(const QByteArray& file, const QImage& want, int depth) {
        return decodeMismatch(pi_, files_.write(QStringLiteral("t.pi"), file),
                              {.image = want, .depth = depth, .bitCount = 8});
    }

    // 4 x 2 dots at 4 planes, coded by hand: colours 15 and 12, a copy of 3 pairs
    // from one line up (reaching into the area before the picture), then one
    // literal pair 12, 11.
    static QByteArray handBuilt(bool palette) {
        QByteArray f("Pi", 2);
        f.append("hand\x1a", 5).append('\0');
        f.append(char(palette ? 0x00 : 0x80)).append('\2').append('\1').append('\4');
        f.append("KRDL", 4).append("\0\0\0\4\0\2", 6);
        if (palette) {
            for (int i = 0; i < 16; ++i)
                f.append(char(i * 16)).append(char(i)).append(char(0x80 | i));
        }
        return f.append("\xcb\x5b", 2);
    }

private slots:
    void initTestCase() {
        QVERIFY2(pi_.isLoaded(), qPrintable(pi_.error()));
        QVERIFY(files_.isValid());
    }

    void pluginInfo() {
        KORDEL_VERIFY_NO_FAILURE(pluginInfoMismatch(pi_, "*.pi"));
        QVERIFY(pi_.pluginInfo(1).contains("Pi"));
    }

    void isSupported() {
        std::mt19937 rng(1);
        QVERIFY(pi_.isSupported(files_.write(QStringLiteral("a.pi"), handBuilt(true))));
        PiPicture longComment = randomPicture(4, 8, 8, rng);
        longComment.comment = QByteArray(5000, 'x');
        QVERIFY(pi_.isSupported(files_.write(QStringLiteral("b.pi"), encodePi(longComment))));
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::white);  // not left uninitialised, so the file is the same every run
        image.save(&png, "PNG");
        QVERIFY(!pi_.isSupported(files_.write(QStringLiteral("png.pi"), png.data())));
        QByteArray noise(3000, '\0');
        for (auto& c : noise)
            c = char(rng());
        noise[0] = 'X';
        QVERIFY(!pi_.isSupported(files_.write(QStringLiteral("noise.pi"), noise)));
        // "Pi" followed by a header with an impossible plane count.
        QVERIFY(!pi_.isSupported(files_.write(QStringLiteral("text.pi"), "Pi\x1a\0\0\0\0\x03")));
        QCOMPARE(pi_.picture(files_.path(QStringLiteral("png.pi"))).code, int(SPI_UNKNOWN_FORMAT));
    }

    void fixture() {
        const QString base = kordel::test::fixturesDir();
        if (base.isEmpty())
            QSKIP("fixtures folder not present (KORDEL_FIXTURES_DIR)");
        const QString path = base + QStringLiteral("/retro/PI/e004.pi");
        const QImage want(path + QStringLiteral(".png"));
        QVERIFY(!want.isNull());
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(pi_, path, {.image = want, .depth = 4}));
    }

    void handBuiltFile() {
        const QString path = files_.write(QStringLiteral("hand.pi"), handBuilt(true));
        PictureInfo info;
        QCOMPARE(pi_.pictureInfo(path, info), 0);
        QCOMPARE(info.width, 4);
        QCOMPARE(info.height, 2);
        // The aspect bytes (2:1) are not passed on: the host corrects other kinds only.
        QCOMPARE(int(info.x_density), 1);
        QCOMPARE(int(info.y_density), 1);
        auto r = pi_.picture(path);
        QCOMPARE(r.code, 0);
        const int want[2][4] = {{15, 12, 15, 12}, {15, 12, 12, 11}};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 4; ++x)
                QCOMPARE(r.image.pixelIndex(x, y), want[y][x]);
        QCOMPARE(r.image.color(11), qRgb(0xb0, 0x0b, 0x8b));

        // Without a palette: index bits G R B, the upper eight bright.
        r = pi_.picture(files_.write(QStringLiteral("hand.pi"), handBuilt(false)));
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.pixel(0, 0), qRgb(0xff, 0xff, 0xff));
        QCOMPARE(r.image.pixel(1, 0), qRgb(0, 0xff, 0));
        QCOMPARE(r.image.pixel(3, 1), qRgb(0xff, 0, 0xff));
        QCOMPARE(r.image.color(5), qRgb(0, 0x77, 0x77));
    }

    void roundTrip_data() {
        QTest::addColumn<int>("planes");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<bool>("omitPalette");
        QTest::newRow("4: 1 pixel") << 4 << 1 << 1 << false;
        QTest::newRow("8: 1 pixel") << 8 << 1 << 1 << false;
        QTest::newRow("4: 2 wide") << 4 << 2 << 9 << false;
        QTest::newRow("8: 3 x 1") << 8 << 3 << 1 << false;
        QTest::newRow("4: odd size") << 4 << 37 << 21 << false;
        QTest::newRow("8: odd size") << 8 << 31 << 19 << false;
        QTest::newRow("4: no palette") << 4 << 20 << 10 << true;
        QTest::newRow("8: no palette") << 8 << 16 << 12 << true;
    }

    void roundTrip() {
        QFETCH(int, planes);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(bool, omitPalette);
        std::mt19937 rng(uint32_t(planes * 1000 + width * 31 + height));
        PiPicture pic = randomPicture(planes, width, height, rng);
        pic.omitPalette = omitPalette;
        pic.comment = "comment";
        pic.dummy = "\x1a\x01";
        pic.extension = QByteArray(300, '\x55');
        std::vector<QRgb> palette = pic.palette;
        if (omitPalette) {
            // The default 256-colour palette is GGGRRRBB.
            if (planes == 8) {
                for (int i = 0; i < 256; ++i)
                    palette[size_t(i)] =
                        qRgb(((i >> 2) & 7) * 0x20, (i >> 5) * 0x20, (i & 3) * 0x40);
                pic.dots[0] = 0xe5;
                palette[0xe5] = qRgb(0x20, 0xe0, 0x40);
            } else {
                for (int i = 0; i < 16; ++i) {
                    const int l = i < 8 ? 0x77 : 0xff;
                    palette[size_t(i)] = qRgb(i & 2 ? l : 0, i & 4 ? l : 0, i & 1 ? l : 0);
                }
            }
        }
        KORDEL_VERIFY_NO_FAILURE(mismatch(encodePi(pic), expectedImage(pic, palette), planes));
    }

    // Random choices reach every position code, literal pairs, long copies and every
    // length class of colour code.
    void everyCode() {
        for (int planes : {4, 8}) {
            std::mt19937 rng{uint32_t(planes)};
            PiPicture pic = randomPicture(planes, 48, 40, rng);
            // A flat band for long copies.
            std::fill(pic.dots.begin() + 48 * 20, pic.dots.begin() + 48 * 32, uint8_t(3));
            PiStats stats;
            const QByteArray file = encodePi(
                pic, [&](int n) { return int(rng() % uint32_t(n)); }, &stats);
            for (int p = 0; p < 5; ++p)
                QVERIFY2(stats.positions[size_t(p)] > 0, qPrintable(QString::number(p)));
            QVERIFY(stats.literalPairs > 0);
            QVERIFY(stats.longestCopy >= 64);
            for (int c = 0; c < planes; ++c)
                QVERIFY2(stats.colourCodes[size_t(c)] > 0, qPrintable(QString::number(c)));
            KORDEL_VERIFY_NO_FAILURE(mismatch(file, expectedImage(pic, pic.palette), planes));
        }
    }

    // Mode bit 7 without a real omission: the palette that is there is used.
    void paletteFlagUnreliable() {
        std::mt19937 rng(4);
        PiPicture pic = randomPicture(4, 40, 30, rng);
        pic.flagOnly = true;
        KORDEL_VERIFY_NO_FAILURE(mismatch(encodePi(pic), expectedImage(pic, pic.palette), 4));
    }

    void damaged_data() {
        QTest::addColumn<int>("at");  // offset from the header start
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("result");
        QTest::newRow("3 planes") << 3 << QByteArray("\x03") << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("extension past the end")
            << 8 << QByteArray("\xff\xf0") << int(SPI_BROKEN_DATA);
        QTest::newRow("width 0") << 10 << QByteArray("\0\0", 2) << int(SPI_BROKEN_DATA);
        QTest::newRow("width 40000") << 10 << QByteArray("\x9c\x40") << int(SPI_NO_MEMORY);
        QTest::newRow("64 Mi dots and more")
            << 10 << QByteArray("\x7f\xff\x7f\xff") << int(SPI_NO_MEMORY);
        QTest::newRow("taller than the stream")
            << 12 << QByteArray("\x01\x00") << int(SPI_BROKEN_DATA);
    }

    void damaged() {
        QFETCH(int, at);
        QFETCH(QByteArray, bytes);
        QFETCH(int, result);
        QByteArray file = handBuilt(true);
        file.replace(8 + at, bytes.size(), bytes);
        QCOMPARE(pi_.picture(files_.write(QStringLiteral("d.pi"), file)).code, result);
        QCOMPARE(pi_.picture(files_.write(QStringLiteral("d.pi"), "Pi no end of comment")).code,
                 int(SPI_UNKNOWN_FORMAT));
    }

    void truncatedAndFlipped() {
        std::mt19937 rng(12);
        const QByteArray file = encodePi(randomPicture(8, 9, 7, rng));
        KORDEL_VERIFY_NO_FAILURE(
            checkCuts(pi_, files_, file,
                      {.name = "cut.pi", .accepted = {SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA}}));
        // The small 16-colour picture and the 256-colour one take turns.
        const QByteArray small = encodePi(randomPicture(4, 12, 10, rng));
        const Damage flips{.name = "flip.pi",
                           .accepted = {SPI_OK, SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA, SPI_NO_MEMORY},
                           .rounds = 2000};
        KORDEL_VERIFY_NO_FAILURE(checkDamage(pi_, files_, {small, file}, flips, rng).failure);
    }

    void progressAndCancel() {
        std::mt19937 rng(6);
        const QString path =
            files_.write(QStringLiteral("p.pi"), encodePi(randomPicture(4, 20, 120, rng)));
        KORDEL_VERIFY_NO_FAILURE(progressMismatch(pi_, path, 120, 120 / 8));
    }

    // The picture in samples/: a 16-colour evening scene, written again when
    // KORDEL_WRITE_SAMPLES is set.
    void sample() {
        PiPicture pic;
        pic.planes = 4;
        pic.width = 160;
        pic.height = 100;
        pic.comment = "Kordel sample";
        pic.palette = {qRgb(0x10, 0x10, 0x30), qRgb(0x20, 0x20, 0x60), qRgb(0x40, 0x30, 0x90),
                       qRgb(0x70, 0x40, 0xa0), qRgb(0xb0, 0x50, 0x90), qRgb(0xe0, 0x70, 0x70),
                       qRgb(0xf0, 0xa0, 0x60), qRgb(0xf0, 0xd0, 0x80), qRgb(0xff, 0xf0, 0xc0),
                       qRgb(0x10, 0x30, 0x20), qRgb(0x20, 0x50, 0x30), qRgb(0x30, 0x70, 0x40),
                       qRgb(0x50, 0x90, 0x50), qRgb(0x20, 0x30, 0x50), qRgb(0x40, 0x60, 0x80),
                       qRgb(0xff, 0xff, 0xff)};
        pic.dots.resize(160 * 100);
        // Ordered dithering between neighbouring sky bands.
        static constexpr int kBayer[4][4] = {
            {0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 160; ++x) {
                const int sky = y * 7 * 16 / 64;  // 0 .. 7 bands in sixteenths
                uint8_t v = uint8_t(std::min(7, sky / 16 + (sky % 16 > kBayer[y & 3][x & 3])));
                const int dx = x - 50, dy = y - 52;
                if (dx * dx + dy * dy < 16 * 16)
                    v = 8;
                const int ridge = 60 + int(10 * std::sin(x / 17.0) + 4 * std::sin(x / 5.0));
                if (y >= ridge)
                    v = uint8_t(9 + std::min(3, (y - ridge) / 8));
                if (y >= 88)  // water with reflections
                    v = ((x + y) % 11 == 0) ? 14 : 13;
                if ((x * 7 + y * 13) % 97 == 0 && y < 40)
                    v = 15;  // stars
                pic.dots[size_t(y) * 160 + x] = v;
            }
        }
        const QByteArray file = encodePi(pic);
        KORDEL_VERIFY_NO_FAILURE(mismatch(file, expectedImage(pic, pic.palette), 4));
        KORDEL_VERIFY_NO_FAILURE(
            sampleMismatch(pi_, QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.pi"), file));
    }
};

QTEST_GUILESS_MAIN(TestIfpi)
#include "test_ifpi.moc"
