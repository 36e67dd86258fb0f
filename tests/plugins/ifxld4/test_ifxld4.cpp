// Tests of the XLD4 (.Q4) decoder plug-in through its C entry points.
#include <QBuffer>
#include <QFile>
#include <QTest>
#include <cmath>
#include <random>

#include "plugin_tests.h"
#include "q4_encoder.h"

using namespace kordel::test;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 400;
using Levels = std::array<std::array<uint8_t, 3>, 16>;

Levels testLevels() {
    Levels l;
    for (int v = 0; v < 16; ++v)
        l[size_t(v)] = {uint8_t(v), uint8_t(15 - v), uint8_t((v * 7) % 16)};
    return l;
}

QImage expectedImage(const std::vector<uint8_t>& dots, const Levels& levels) {
    QImage img(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const auto& l = levels[dots[size_t(y) * kWidth + x]];
            img.setPixel(x, y, qRgb(l[0] * 17, l[1] * 17, l[2] * 17));
        }
    return img;
}

// Flat areas with edges, stripes, dithered lines and some noise: runs of every
// length, repeats for the dictionary (also of the entry being made), literal dots.
std::vector<uint8_t> randomPicture(std::mt19937& rng) {
    std::vector<uint8_t> dots(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t v = uint8_t((x / 37 + y / 23) % 16);
            if (y % 50 < 3)
                v = uint8_t((x / 2) % 16);
            else if (y % 50 < 5)
                v = x % 2 ? 3 : 9;  // dithered lines
            if (rng() % 40 == 0)
                v = uint8_t(rng() % 16);
            dots[size_t(y) * kWidth + x] = v;
        }
    }
    return dots;
}

}  // namespace

class TestIfxld4 : public QObject {
    Q_OBJECT

private:
    SpiModule q4_{QStringLiteral("ifxld4.spi")};
    TestFiles files_;

    // Empty when `file` decodes to `want` at 16 colours.
    QString mismatch(const QByteArray& file, const QImage& want) {
        return decodeMismatch(q4_, files_.write(QStringLiteral("t.q4"), file),
                              {.image = want, .depth = 4, .bitCount = 8});
    }

    static QByteArray flatPicture(uint8_t value) {
        return encodeQ4(std::vector<uint8_t>(size_t(kWidth) * kHeight, value), testLevels());
    }

private slots:
    void initTestCase() {
        QVERIFY2(q4_.isLoaded(), qPrintable(q4_.error()));
        QVERIFY(files_.isValid());
    }

    void pluginInfo() {
        KORDEL_VERIFY_NO_FAILURE(pluginInfoMismatch(q4_, "*.q4"));
        QVERIFY(q4_.pluginInfo(1).contains("XLD4"));
    }

    void isSupported() {
        QVERIFY(q4_.isSupported(files_.write(QStringLiteral("a.q4"), flatPicture(1))));
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::white);  // not left uninitialised, so the file is the same every run
        image.save(&png, "PNG");
        QVERIFY(!q4_.isSupported(files_.write(QStringLiteral("png.q4"), png.data())));
        std::mt19937 rng(2);
        QByteArray noise(3000, '\0');
        for (auto& c : noise)
            c = char(rng());
        QVERIFY(!q4_.isSupported(files_.write(QStringLiteral("noise.q4"), noise)));
        // The magic alone is not enough: bytes 1 to 3 must look like a header.
        QByteArray odd = flatPicture(1);
        odd[1] = 5;
        odd[2] = 0;
        QVERIFY(!q4_.isSupported(files_.write(QStringLiteral("odd.q4"), odd)));
        QCOMPARE(q4_.picture(files_.path(QStringLiteral("odd.q4"))).code, int(SPI_UNKNOWN_FORMAT));
    }

    void fixture() {
        const QString base = kordel::test::fixturesDir();
        if (base.isEmpty())
            QSKIP("fixtures folder not present (KORDEL_FIXTURES_DIR)");
        const QString path = base + QStringLiteral("/retro/Q4/synth_640x400.q4");
        const QImage want(path + QStringLiteral(".ref.png"));
        QVERIFY(!want.isNull());
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(q4_, path, {.image = want}));
    }

    // An image block coded by hand: two width bumps, literals 3 and 5, entry 19
    // ("3 5" plus the next code's first symbol), the entry being made (21), then a
    // run of three dots of colour 9 (escape, 0, 9, 0, 3).
    void handBuiltBlock() {
        const QByteArray codes("\x22\x53\xce\xb2\x12\xc4\x50\x00", 8);
        QByteArray block("\x08\x00\x0c\x00\x05\x00", 6);
        block += codes;
        std::vector<uint8_t> rest(size_t(kWidth) * kHeight - 10, 2);
        // Stored palette entries are not in dot-value order.
        std::vector<uint8_t> stored(96, 0);
        for (int i = 0; i < 16; ++i)
            stored[size_t(6 * i + 1)] = uint8_t(i);
        std::vector<QByteArray> blocks{encodeQ4Block(stored), block};
        for (size_t at = 0; at < rest.size(); at += 64000)
            blocks.push_back(encodeQ4Block(
                std::vector<uint8_t>(rest.begin() + qsizetype(at),
                                     rest.begin() + qsizetype(std::min(rest.size(), at + 64000)))));
        const auto r = q4_.picture(files_.write(QStringLiteral("hand.q4"), q4File(blocks)));
        QCOMPARE(r.code, 0);
        const int want[] = {3, 5, 3, 5, 3, 5, 3, 9, 9, 9, 2, 2};
        for (int x = 0; x < 12; ++x)
            QCOMPARE(r.image.pixelIndex(x, 0), want[x]);
        QCOMPARE(r.image.pixelIndex(639, 399), 2);
        // Stored entry 1 is the colour of dot value 4, 2 of 1, 6 of 3, 9 of 12.
        QCOMPARE(qRed(r.image.color(4)), 1 * 17);
        QCOMPARE(qRed(r.image.color(1)), 2 * 17);
        QCOMPARE(qRed(r.image.color(3)), 6 * 17);
        QCOMPARE(qRed(r.image.color(12)), 9 * 17);
    }

    void roundTrip() {
        std::mt19937 rng(3);
        const std::vector<uint8_t> dots = randomPicture(rng);
        Q4Stats stats;
        const QByteArray file = encodeQ4(dots, testLevels(), &stats);
        QVERIFY(stats.literals > 0 && stats.references > 0 && stats.selfReferences > 0);
        QVERIFY(stats.runs > 0 && stats.colourRuns > 0);
        KORDEL_VERIFY_NO_FAILURE(mismatch(file, expectedImage(dots, testLevels())));
    }

    // Header bits 0x02 and 0x08 announce extra blocks after the palette in some
    // files and not in others.
    void extraBlocks_data() {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("extra");
        QTest::newRow("0x02, one block") << 0x02 << 1;
        QTest::newRow("0x0a, two blocks") << 0x0a << 2;
        QTest::newRow("0x02, no block") << 0x02 << 0;
        QTest::newRow("no flags, no block") << 0x00 << 0;
    }

    void extraBlocks() {
        QFETCH(int, flags);
        QFETCH(int, extra);
        std::vector<uint8_t> dots(size_t(kWidth) * kHeight);
        for (size_t i = 0; i < dots.size(); ++i)
            dots[i] = uint8_t((i / 1000) % 16);
        std::vector<QByteArray> blocks{encodeQ4Palette(testLevels())};
        for (int i = 0; i < extra; ++i)
            blocks.push_back(encodeQ4Block(std::vector<uint8_t>(64, 7)));
        for (size_t at = 0; at < dots.size(); at += 64000)
            blocks.push_back(encodeQ4Block(std::vector<uint8_t>(
                dots.begin() + qsizetype(at), dots.begin() + qsizetype(at + 64000))));
        KORDEL_VERIFY_NO_FAILURE(
            mismatch(q4File(blocks, uint8_t(flags)), expectedImage(dots, testLevels())));
    }

    void damaged() {
        const QByteArray good = flatPicture(5);
        auto code = [&](const QByteArray& f) {
            return q4_.picture(files_.write(QStringLiteral("d.q4"), f)).code;
        };
        QCOMPARE(code(good.left(21)), int(SPI_UNKNOWN_FORMAT));
        QByteArray f = good;
        f[11] = 'X';
        QCOMPARE(code(f), int(SPI_UNKNOWN_FORMAT));
        // Palette block longer than the file.
        f = good;
        f[17] = char(0x7f);
        QCOMPARE(code(f), int(SPI_BROKEN_DATA));
        // Palette block announcing another length.
        f = good;
        f[20] = 47;
        QCOMPARE(code(f), int(SPI_BROKEN_DATA));
        // The picture's last lines missing.
        const std::vector<uint8_t> dots(size_t(kWidth) * 300, 1);
        QCOMPARE(code(q4File({encodeQ4Palette(testLevels()), encodeQ4Block(dots)})),
                 int(SPI_BROKEN_DATA));
        // A block announcing more dots than it holds.
        QByteArray block = encodeQ4Block(std::vector<uint8_t>(size_t(kWidth) * kHeight, 1));
        block[4] = char(block[4] + 1);
        QCOMPARE(code(q4File({encodeQ4Palette(testLevels()), block})), int(SPI_BROKEN_DATA));
        // Nothing but width codes, up to past the widest; a code past the dictionary.
        QCOMPARE(code(q4File({encodeQ4Palette(testLevels()),
                              QByteArray("\x11\x00\x10\x00\x00\x7d", 6) +
                                  QByteArray("\x22\x10\x40\x80\x80\x40\x10\x02\x00\x20\x01"
                                             "\x00\x04\x00\x08\x00\x08",
                                             17)})),
                 int(SPI_BROKEN_DATA));
        QCOMPARE(code(q4File({encodeQ4Palette(testLevels()),
                              QByteArray("\x02\x00\x10\x00\x00\x7d\x23\xf0", 8)})),
                 int(SPI_BROKEN_DATA));
    }

    void truncatedAndFlipped() {
        const QByteArray file = flatPicture(3);
        KORDEL_VERIFY_NO_FAILURE(
            checkCuts(q4_, files_, file,
                      {.name = "cut.q4", .accepted = {SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA}}));
        std::mt19937 rng(13);
        const Damage flips{.name = "flip.q4",
                           .accepted = {SPI_OK, SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA},
                           .rounds = 2000};
        KORDEL_VERIFY_NO_FAILURE(checkDamage(q4_, files_, {file}, flips, rng).failure);
    }

    void progressAndCancel() {
        const QString path = files_.write(QStringLiteral("p.q4"), flatPicture(2));
        KORDEL_VERIFY_NO_FAILURE(progressMismatch(q4_, path, kHeight, kHeight / 8));
    }

    // The picture in samples/: a night sky over a town, written again when
    // KORDEL_WRITE_SAMPLES is set.
    void sample() {
        const Levels levels = {{{0, 0, 2},
                                {1, 1, 4},
                                {2, 2, 6},
                                {3, 3, 8},
                                {4, 4, 10},
                                {15, 14, 9},
                                {15, 15, 13},
                                {3, 2, 4},
                                {5, 4, 6},
                                {8, 6, 4},
                                {14, 12, 5},
                                {1, 3, 2},
                                {2, 5, 3},
                                {10, 3, 3},
                                {12, 12, 12},
                                {15, 15, 15}}};
        std::vector<uint8_t> dots(size_t(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                uint8_t v = uint8_t(std::min(4, y / 50));  // sky bands
                const int mx = x - 480, my = y - 90;
                if (mx * mx + my * my < 40 * 40)
                    v = (mx + 12) * (mx + 12) + (my - 8) * (my - 8) < 36 * 36 ? v : 6;  // moon
                if ((x * 31 + y * 17) % 509 == 0 && y < 220)
                    v = 15;  // stars
                const int hill = 300 + int(25 * std::sin(x / 60.0));
                if (y > hill)
                    v = y > hill + 30 ? 12 : 11;
                // Houses with lit windows.
                const int house = x / 80;
                const int top = 250 + (house * 37) % 50;
                if (x % 80 > 10 && x % 80 < 70 && y > top && y < 360) {
                    v = house % 2 ? 7 : 8;
                    if ((x % 80 - 18) % 16 < 8 && (y - top - 12) % 28 < 12 && y < 340)
                        v = (house + y / 28) % 3 ? 10 : 9;
                }
                if (y >= 360)
                    v = (x / 40 + y / 10) % 2 ? 13 : 9;  // brick road
                dots[size_t(y) * kWidth + x] = v;
            }
        }
        const QByteArray file = encodeQ4(dots, levels);
        KORDEL_VERIFY_NO_FAILURE(mismatch(file, expectedImage(dots, levels)));
        KORDEL_VERIFY_NO_FAILURE(
            sampleMismatch(q4_, QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.q4"), file));
    }
};

QTEST_GUILESS_MAIN(TestIfxld4)
#include "test_ifxld4.moc"
