// The codings of the Japanese retro formats, on pictures our encoders write and
// streams written by hand: PIC machine types, colour layouts, cache and chains;
// PIC2's four block codings and their composition; MAG copy codes; Pi's neighbour
// copies; Q4's LZW and runs; the dot aspects the info tells; and real files
// compared with their references.
#include <QHash>
#include <QTest>
#include <random>

#include "mag_encoder.h"
#include "pi_encoder.h"
#include "pic2_encoder.h"
#include "pic_encoder.h"
#include "q4_encoder.h"
#include "spi_harness.h"

using namespace kordel::test;

namespace {

// Where equal codes do not show one colour, or different codes the same one: every
// colour layout of the direct-colour kinds maps codes to colours one to one.
QString partitionMismatch(const QImage& img, const std::vector<uint32_t>& dots) {
    QHash<uint32_t, QRgb> colourOf;
    QHash<QRgb, uint32_t> codeOf;
    for (int i = 0; i < int(dots.size()); ++i) {
        const QRgb c = img.pixel(i % img.width(), i / img.width());
        if (colourOf.value(dots[size_t(i)], c) != c ||
            codeOf.value(c, dots[size_t(i)]) != dots[size_t(i)])
            return QString::asprintf("dot %d of code %u shows %08x", i, dots[size_t(i)], c);
        colourOf[dots[size_t(i)]] = c;
        codeOf[c] = dots[size_t(i)];
    }
    return {};
}

// What a file of `dots` in `palette` must give: an 8-bit picture showing them.
Expected indexed(const std::vector<uint8_t>& dots,
                 const std::vector<QRgb>& palette,
                 int w,
                 int depth) {
    QImage img(w, int(dots.size()) / w, QImage::Format_RGB32);
    for (int i = 0; i < int(dots.size()); ++i)
        img.setPixel(i % w, i / w, palette[dots[size_t(i)]]);
    return {.image = img, .depth = depth, .bitCount = 8};
}

// Where the indices of an 8-bit picture differ from `dots`.
QString indexMismatch(const QImage& img, const std::vector<uint8_t>& dots) {
    for (int i = 0; i < int(dots.size()); ++i)
        if (img.pixelIndex(i % img.width(), i / img.width()) != dots[size_t(i)])
            return QStringLiteral("dot %1").arg(i);
    return {};
}

// Five sections whose bands slant by 0, -1, +1, -2 and +2 dots a line, so that
// chains take every step, over speckles for cache hits and misses.
std::vector<uint32_t> slanted(int w, int h, const std::vector<uint32_t>& codes, uint32_t seed) {
    const int slopes[5] = {0, -1, 1, -2, 2};
    std::mt19937 rng(seed);
    std::vector<uint32_t> dots;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int section = x * 5 / w;
            const bool speckle = y >= h * 2 / 3 && (x + y) % 3 != 0;
            dots.push_back(
                codes[speckle ? rng() % codes.size()
                              : size_t(section * 7 + (x - slopes[section] * y + 256) / 4) %
                                    codes.size()]);
        }
    return dots;
}

PicLayout picLayout(int type, int mode, int depth, int w, int h, int paletteBits = 0) {
    PicLayout s{.type = type, .mode = mode, .depth = depth, .width = w, .height = h};
    s.paletteBits = paletteBits;
    std::mt19937 rng(uint32_t(w * 31 + depth));
    const bool indexed = depth <= 8 && (type == 0 || type == 15);
    for (int i = 0; indexed && i < 1 << depth; ++i)
        s.palette.push_back(rng() % (1u << (type == 0 || !paletteBits ? 16 : 3 * paletteBits)));
    std::vector<uint32_t> codes;
    for (int i = 0; i < (indexed ? 1 << depth : 200); ++i)
        codes.push_back(
            indexed ? uint32_t(i)
                    : uint32_t((uint64_t(i) * 2654435761u + 12345) % (uint64_t(1) << depth)));
    s.dots = slanted(w, h, codes, 7);
    return s;
}

P2Block p2Block(const QByteArray& id, int depth, int w, int h, int x = 0, int y = 0) {
    P2Block b{.id = id, .width = w, .height = h, .x = x, .y = y};
    const uint32_t m = (1u << (depth / 3)) - 1;
    std::vector<uint32_t> codes;
    for (uint32_t i = 0; i < 40; ++i)  // a gradient for the prediction, then spread colours
        codes.push_back(i < 20 ? (i * m / 19) << (depth / 3 * 2) | (i * m / 19)
                               : (i * 2654435761u) % (m * m * m));
    b.dots = slanted(w, h, codes, uint32_t(w * 131 + h));
    return b;
}

// The canvas as the blocks compose it, black where none lies.
QImage p2Canvas(const P2Layout& s) {
    int w = s.width, h = s.height;
    for (const P2Block& b : s.blocks)
        if (!b.dots.empty())
            w = std::max(w, b.x + b.width), h = std::max(h, b.y + b.height);
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::black);
    const int c = s.depth / 3;  // bits of each of G, R, B from the top
    const uint32_t m = (1u << c) - 1;
    for (const P2Block& b : s.blocks)
        for (int i = 0; i < int(b.dots.size()); ++i)
            if (const uint32_t v = b.dots[size_t(i)]; !(b.transparent && v == b.transparentColour))
                img.setPixel(
                    b.x + i % b.width, b.y + i / b.width,
                    qRgb(widen((v >> 2 * c) & m, c), widen((v >> c) & m, c), widen(v & m, c)));
    return img;
}

// Content built from units, many repeating the unit at one of MAG's copy offsets.
MagPicture magPicture(bool colours256, int width, int height, int x0, std::mt19937& rng) {
    static constexpr int kDx[16] = {0, 1, 2, 4, 0, 1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0};
    static constexpr int kDy[16] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16};
    MagPicture pic{.colours256 = colours256, .x0 = x0, .y0 = 3, .width = width, .height = height};
    for (int i = 0; i < (colours256 ? 256 : 16); ++i)
        pic.palette.push_back(qRgb(i, 255 - i, (i * 37) & 0xff));
    pic.dots.resize(size_t(width) * height);
    const int unit = colours256 ? 2 : 4;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; x += unit) {
            const int f = 1 + int(rng() % 15);
            const bool copy = rng() % 3 != 0 && kDy[f] <= y && kDx[f] * unit <= x;
            const uint32_t colours = rng() % 2 ? 2 : colours256 ? 256 : 16;
            for (int k = x; k < std::min(width, x + unit); ++k)
                pic.dots[size_t(y) * width + k] =
                    copy ? pic.dots[size_t(y - kDy[f]) * width + k - kDx[f] * unit]
                         : uint8_t(rng() % colours);
        }
    return pic;
}

// Repeats at every Pi neighbour position, flat runs and noise.
PiPicture piPicture(int planes, int width, int height, std::mt19937& rng) {
    PiPicture pic{.planes = planes, .width = width, .height = height};
    for (int i = 0; i < 1 << planes; ++i)
        pic.palette.push_back(qRgb(i * 7 & 0xff, 255 - i, (i * 53) & 0xff));
    const size_t w = size_t(width);
    const size_t back[] = {w, 2 * w, w + 1, w - 1, 2};
    for (size_t i = 0; i < w * size_t(height); ++i) {
        const int r = int(rng() % 10);
        pic.dots.push_back(r < 7 && i >= back[std::min(r / 2 + r % 2, 4)] + 1
                               ? pic.dots[i - back[std::min(r / 2 + r % 2, 4)]]
                               : uint8_t(rng() % uint32_t(r == 9 ? 1 << planes : 4)));
    }
    return pic;
}

using Levels = std::array<std::array<uint8_t, 3>, 16>;
Levels q4Levels() {
    Levels l;
    for (int v = 0; v < 16; ++v)
        l[size_t(v)] = {uint8_t(v), uint8_t(15 - v), uint8_t((v * 7) % 16)};
    return l;
}

}  // namespace

class TestRetroFormats : public QObject {
    Q_OBJECT

private:
    TestFiles files_;
    SpiModule pic_{QStringLiteral("ifpic.spi")};
    SpiModule pic2_{QStringLiteral("ifpic2.spi")};
    SpiModule mag_{QStringLiteral("ifmag.spi")};
    SpiModule pi_{QStringLiteral("ifpi.spi")};
    SpiModule q4_{QStringLiteral("ifxld4.spi")};

    SpiModule::Result decode(SpiModule& spi, const QByteArray& file) {
        return spi.picture(files_.write("t", file));
    }
private slots:
    void initTestCase() {
        for (SpiModule* spi : {&pic_, &pic2_, &mag_, &pi_, &q4_})
            QVERIFY2(spi->isLoaded(), qPrintable(spi->error()));
    }

    // Every machine type and depth, odd sizes and the smallest pictures, and the dot
    // aspect each machine type or header ratio gives.
    void picRoundTrips_data() {
        // Type, mode, depth, palette bits, aspect a and b; width, height; densities told.
        QTest::addColumn<QList<int>>("layout");
        const auto row = [](const char* name, QList<int> layout) { QTest::newRow(name) << layout; };
        row("X68000 4-bit: square", {0, 0, 4, 0, 0, 0, 37, 23, 1, 1});
        row("X68000 8-bit: 4:3 dots", {0, 0, 8, 0, 0, 0, 40, 30, 3, 4});
        row("X68000 15-bit: 4:3 dots", {0, 0, 15, 0, 0, 0, 61, 45, 3, 4});
        row("X68000 16-bit", {0, 0, 16, 0, 0, 0, 50, 40, 3, 4});
        row("PC-88VA 8-bit 640x400", {1, 0, 8, 0, 0, 0, 640, 400, 1, 1});
        row("PC-88VA 12-bit 320x200", {1, 1, 12, 0, 0, 0, 320, 200, 1, 1});
        row("PC-88VA 16-bit 640x200", {1, 0, 16, 0, 0, 0, 640, 200, 2, 1});
        row("PC-88VA 16-bit 320x400", {1, 1, 16, 0, 0, 0, 320, 400, 1, 2});
        row("FM-TOWNS mode 0 1:2", {2, 0, 15, 0, 1, 2, 33, 17, 2, 1});
        row("FM-TOWNS mode 5", {2, 5, 15, 0, 0, 0, 33, 17, 1, 1});
        row("Macintosh", {3, 0, 15, 0, 0, 0, 45, 30, 1, 1});
        row("generic 4-bit, 5-bit palette", {15, 0, 4, 5, 0, 0, 29, 31, 1, 1});
        row("generic 8-bit, 1-bit palette", {15, 0, 8, 1, 0, 0, 17, 9, 1, 1});
        row("generic 12-bit", {15, 0, 12, 0, 0, 0, 45, 30, 1, 1});
        row("generic 24-bit 1:2 (tall dots)", {15, 0, 24, 0, 1, 2, 64, 48, 2, 1});
        row("generic 24-bit 2:1 (wide dots)", {15, 0, 24, 0, 2, 1, 2, 2, 1, 2});
        row("generic 4:6 reduced", {15, 15, 15, 0, 4, 6, 2, 2, 3, 2});
        row("generic mode 1, no ratio", {15, 1, 4, 4, 0, 0, 2, 2, 3, 4});
        row("generic mode 0, half a ratio", {15, 0, 16, 0, 0, 3, 2, 2, 1, 1});
        row("1x1", {0, 0, 15, 0, 0, 0, 1, 1, 3, 4});
        row("1 column", {0, 0, 16, 0, 0, 0, 1, 37, 3, 4});
        row("1 line", {15, 0, 24, 0, 0, 0, 53, 1, 1, 1});
    }
    void picRoundTrips() {
        QFETCH(QList<int>, layout);
        const int type = layout[0], depth = layout[2];
        const QSize size(layout[6], layout[7]), densities(layout[8], layout[9]);
        PicLayout s = picLayout(type, layout[1], depth, size.width(), size.height(), layout[3]);
        s.aspectA = layout[4], s.aspectB = layout[5];
        const bool indexed = !s.palette.empty();
        SpiModule::Result r;
        const Expected want{
            .size = size, .depth = depth, .bitCount = indexed ? 8 : 24, .densities = densities};
        KORDEL_VERIFY_NO_FAILURE(
            decodeMismatch(pic_, files_.write("t.pic", encodePic(s)), want, &r));
        KORDEL_VERIFY_NO_FAILURE(indexed ? indexMismatch(r.image, {s.dots.begin(), s.dots.end()})
                                         : partitionMismatch(r.image, s.dots));
    }

    // Single dots whose colours were worked out by hand from the code layouts.
    void picColours_data() {
        QTest::addColumn<QList<uint>>("dot");  // type, depth, palette bits, code, colour
        QTest::newRow("X68000 15 red") << QList<uint>{0, 15, 0, 0x03e0u, 0xff0000u};
        QTest::newRow("X68000 15 green 16") << QList<uint>{0, 15, 0, 0x4000u, 0x008400u};
        QTest::newRow("X68000 15 blue 1") << QList<uint>{0, 15, 0, 0x0001u, 0x000008u};
        QTest::newRow("X68000 16 red, intensity") << QList<uint>{0, 16, 0, 0x07c1u, 0xff0404u};
        QTest::newRow("X68000 4 palette blue") << QList<uint>{0, 4, 0, 0x003eu, 0x0000fbu};
        QTest::newRow("generic 24") << QList<uint>{15, 24, 0, 0x123456u, 0x341256u};
        QTest::newRow("generic 12") << QList<uint>{15, 12, 0, 0x5a3u, 0xaa5533u};
        QTest::newRow("generic 3-bit palette") << QList<uint>{15, 8, 3, 0b100111001u, 0xff9224u};
        QTest::newRow("PC-88VA 8") << QList<uint>{1, 8, 0, 0b11100010u, 0x00ffaau};
        QTest::newRow("PC-88VA 16") << QList<uint>{1, 16, 0, 0x0400u, 0x000400u};
        QTest::newRow("PC-88VA 12") << QList<uint>{1, 12, 0, 0x0f0u, 0xff0000u};
        QTest::newRow("Macintosh red") << QList<uint>{3, 15, 0, 0x7c00u, 0xff0000u};
    }
    void picColours() {
        QFETCH(QList<uint>, dot);
        const int type = int(dot[0]), depth = int(dot[1]);
        uint code = dot[3];
        PicLayout s{.type = type,
                    .depth = depth,
                    .width = type == 1 ? 640 : 2,
                    .height = type == 1 ? 200 : 1};
        s.paletteBits = int(dot[2]);
        s.dots.assign(size_t(s.width) * size_t(s.height), 0);
        if (depth <= 8 && type != 1) {  // the code is palette entry 1
            s.palette.assign(size_t(1) << depth, 0);
            s.palette[1] = std::exchange(code, 1);
        }
        s.dots[1] = code;
        const SpiModule::Result r = decode(pic_, encodePic(s));
        QCOMPARE(r.image.pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(r.image.pixel(1, 0) & 0xffffff, dot[4]);
    }

    // Every coding at every depth, odd sizes and the smallest pictures.
    void pic2RoundTrips_data() {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<int>("depth");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<int>>("aspect");  // x:y in the header, x and y densities told
        // clang-format off
        const auto row = [](const QByteArray& name, const char* id, int depth, QSize size, QList<int> aspect = {1, 1, 1, 1}) {
            QTest::newRow(name.constData()) << QByteArray(id) << depth << size << aspect;
        };
        for (const char* id : {"P2SS", "P2SF", "P2BM", "P2BI"}) {
            for (int depth : {9, 12, 15, 18, 21, 24})
                row(id + QByteArray(" ") + QByteArray::number(depth) + "-bit", id, depth, {47, 33});
            row(id + QByteArray(" 1x1"), id, 24, {1, 1});
            row(id + QByteArray(" 1 column"), id, 15, {1, 19});
            row(id + QByteArray(" 1 line"), id, 15, {23, 1});
        }
        // Dot aspects: x:y as the header gives it, densities as the info tells them.
        row("1:2, tall dots: heighten", "P2BI", 15, {2, 2}, {1, 2, 2, 1});
        row("2:1, wide dots: widen", "P2BI", 15, {2, 2}, {2, 1, 1, 2});
        row("4:3 X68000", "P2BI", 15, {2, 2}, {4, 3, 3, 4});
        row("2:4 reduced", "P2BI", 15, {2, 2}, {2, 4, 2, 1});
        row("zero", "P2BI", 15, {2, 2}, {0, 3, 1, 1});
        // clang-format on
    }

    void pic2RoundTrips() {
        QFETCH(QByteArray, id);
        QFETCH(int, depth);
        QFETCH(QSize, size);
        QFETCH(QList<int>, aspect);
        P2Layout s{.depth = depth, .width = size.width(), .height = size.height()};
        s.xAspect = aspect[0], s.yAspect = aspect[1];
        s.blocks = {p2Block(id, depth, size.width(), size.height())};
        const Expected want{.image = p2Canvas(s),
                            .depth = depth,
                            .bitCount = 24,
                            .densities = {aspect[2], aspect[3]}};
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(pic2_, files_.write("t.p2", encodeP2(s)), want));
    }

    // Blocks laid on a canvas that grows to hold them, one seen through where it is
    // transparent, among blocks that are no pictures; padding and stray bytes after.
    void pic2Composition() {
        P2Block a = p2Block("P2BM", 24, 5, 4), b = p2Block("P2SS", 24, 4, 3, 3, 2);
        b.transparent = true;
        b.transparentColour = b.dots[0];
        for (size_t i = 0; i < b.dots.size(); i += 3)
            b.dots[i] = b.transparentColour;
        P2Layout s{.depth = 24, .width = 6, .height = 4};
        s.blocks = {P2Block{.id = "PDPI", .payload = QByteArray::fromHex("0048")}, a,
                    P2Block{.id = "ABCD", .payload = QByteArray(37, 'u')}, b,
                    p2Block("P2SF", 24, 2, 2, 8, 0)};
        KORDEL_VERIFY_NO_FAILURE(
            decodeMismatch(pic2_, files_.write("t.p2", encodeP2(s)), {.image = p2Canvas(s)}));
        s.endMarker = false;  // the list ends with the file
        KORDEL_VERIFY_NO_FAILURE(
            decodeMismatch(pic2_, files_.write("t.p2", encodeP2(s)), {.image = p2Canvas(s)}));
        QCOMPARE(decode(pic2_, encodeP2(s) + QByteArray(3, '\0')).code, int(SPI_OK));
        QCOMPARE(decode(pic2_, encodeP2(s) + "xyz").code, int(SPI_BROKEN_DATA));
    }

    void magRoundTrips_data() {
        // Colours, width, height, x0, dot alignment (-1: random codes), comment length.
        QTest::addColumn<QList<int>>("options");
        QTest::newRow("16: 1 pixel") << QList<int>{16, 1, 1, 0, 0, 0};
        QTest::newRow("256: 1 pixel at x0 3") << QList<int>{256, 1, 1, 3, 0, 0};
        QTest::newRow("16: x0 13") << QList<int>{16, 50, 19, 13, 0, 0};
        QTest::newRow("16: x0 7, 1 wide") << QList<int>{16, 1, 30, 7, 0, 0};
        QTest::newRow("256: x0 4") << QList<int>{256, 29, 21, 4, 0, 0};
        QTest::newRow("256: x0 6, 8-dot writer") << QList<int>{256, 30, 40, 6, 8, 0};
        QTest::newRow("16: long comment") << QList<int>{16, 20, 20, 0, 0, 70000};
        QTest::newRow("16: every copy code") << QList<int>{16, 64, 40, 0, -1, 0};
        QTest::newRow("256: every copy code") << QList<int>{256, 64, 40, 0, -1, 0};
    }
    void magRoundTrips() {
        QFETCH(QList<int>, options);
        const bool colours256 = options[0] == 256;
        const QSize size(options[1], options[2]);
        const int x0 = options[3], align = options[4];
        std::mt19937 rng(uint32_t(size.width() * 131 + size.height()));
        MagPicture pic = magPicture(colours256, size.width(), size.height(), x0, rng);
        pic.alignDots = std::max(align, 0);
        pic.comment = QByteArray(options[5], 'c');
        const QByteArray file =
            align < 0 ? encodeMag(pic, [&](int n) { return int(rng() % uint32_t(n)); })
                      : encodeMag(pic);
        KORDEL_VERIFY_NO_FAILURE(
            decodeMismatch(mag_, files_.write("t", file),
                           indexed(pic.dots, pic.palette, size.width(), colours256 ? 8 : 4)));
    }

    void piRoundTrips_data() {
        // Planes, width, height; palette 0 omitted, 1 written, 2 written though flagged
        // omitted, -1 written with random codes.
        QTest::addColumn<QList<int>>("options");
        QTest::newRow("4: 1 pixel") << QList<int>{4, 1, 1, 1};
        QTest::newRow("4: odd size") << QList<int>{4, 37, 21, 1};
        QTest::newRow("8: odd size") << QList<int>{8, 31, 19, 1};
        QTest::newRow("4: no palette") << QList<int>{4, 20, 10, 0};
        QTest::newRow("8: no palette") << QList<int>{8, 16, 12, 0};
        QTest::newRow("4: palette flag unreliable") << QList<int>{4, 40, 30, 2};
        QTest::newRow("4: every code") << QList<int>{4, 48, 40, -1};
        QTest::newRow("8: every code") << QList<int>{8, 48, 40, -1};
    }
    void piRoundTrips() {
        QFETCH(QList<int>, options);
        const int planes = options[0], palette = options[3];
        const QSize size(options[1], options[2]);
        std::mt19937 rng(uint32_t(planes * 1000 + size.width() * 31 + size.height()));
        PiPicture pic = piPicture(planes, size.width(), size.height(), rng);
        pic.omitPalette = palette == 0;
        pic.flagOnly = palette == 2;
        pic.comment = "comment";
        pic.extension = QByteArray(300, '\x55');
        if (palette == 0) {  // the defaults: 16 colours G R B plus brightness; 256 GGGRRRBB
            for (int i = 0; i < 1 << planes; ++i) {
                const int l = i < 8 ? 0x77 : 0xff;
                pic.palette[size_t(i)] =
                    planes == 8 ? qRgb(((i >> 2) & 7) * 0x20, (i >> 5) * 0x20, (i & 3) * 0x40)
                                : qRgb(i & 2 ? l : 0, i & 4 ? l : 0, i & 1 ? l : 0);
            }
        }
        std::fill(pic.dots.begin() + std::min<qsizetype>(pic.dots.size(), 48 * 20),
                  pic.dots.begin() + std::min<qsizetype>(pic.dots.size(), 48 * 32), uint8_t(3));
        const QByteArray file = palette < 0
                                    ? encodePi(pic, [&](int n) { return int(rng() % uint32_t(n)); })
                                    : encodePi(pic);
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(
            pi_, files_.write("t", file), indexed(pic.dots, pic.palette, size.width(), planes)));
    }

    // Runs, literals, references and the entry being made; extra blocks after the
    // palette whatever the header flags announce.
    void q4RoundTrips_data() {
        QTest::addColumn<QList<int>>("options");  // header flags, blocks after the palette
        QTest::newRow("no flags, no block") << QList<int>{0x00, 0};
        QTest::newRow("0x02, one block") << QList<int>{0x02, 1};
        QTest::newRow("0x0a, two blocks") << QList<int>{0x0a, 2};
        QTest::newRow("0x02, no block") << QList<int>{0x02, 0};
    }
    void q4RoundTrips() {
        QFETCH(QList<int>, options);
        const int flags = options[0], extra = options[1];
        std::mt19937 rng(3);
        std::vector<uint8_t> dots;
        for (int i = 0; i < 640 * 400; ++i) {
            const int x = i % 640, y = i / 640;
            const int v = y % 50 < 3   ? x / 2
                          : y % 50 < 5 ? (x % 2 ? 3 : 9)
                                       : x / 37 + y / 23;  // dithered lines
            dots.push_back(uint8_t(rng() % 40 == 0 ? rng() : v) % 16);
        }
        std::vector<QByteArray> blocks{encodeQ4Palette(q4Levels())};
        blocks.insert(blocks.end(), size_t(extra), encodeQ4Block(std::vector<uint8_t>(64, 7)));
        for (size_t at = 0; at < dots.size(); at += 64000)
            blocks.push_back(encodeQ4Block(
                {dots.begin() + qsizetype(at), dots.begin() + qsizetype(at + 64000)}));
        std::vector<QRgb> palette;
        for (const auto& l : q4Levels())
            palette.push_back(qRgb(l[0] * 17, l[1] * 17, l[2] * 17));
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(q4_,
                                                files_.write("t", q4File(blocks, uint8_t(flags))),
                                                indexed(dots, palette, 640, 4)));
    }

    // Real files compared with references; PIC's reference fills the low bits of
    // 5-bit channels its own way, so only the top five count there.
    void fixtures_data() {
        QTest::addColumn<QString>("module");
        QTest::addColumn<QString>("file");         // under retro/ of the fixtures
        QTest::addColumn<QList<int>>("expected");  // depth, densities, bits per channel that agree
        // clang-format off
        QTest::newRow("PIC X68000") << "ifpic.spi" << "PIC/SAMPLE1.PIC" << QList<int>{15, 3, 4, 5};
        QTest::newRow("MAG 16") << "ifmag.spi" << "MAG/synth_pattern16.mag" << QList<int>{4, 1, 1, 8};
        QTest::newRow("MAG 256") << "ifmag.spi" << "MAG/synth_pattern256.mag" << QList<int>{8, 1, 1, 8};
        QTest::newRow("Pi") << "ifpi.spi" << "PI/e004.pi" << QList<int>{4, 1, 1, 8};
        QTest::newRow("Q4") << "ifxld4.spi" << "Q4/synth_640x400.q4" << QList<int>{4, 1, 1, 8};
        // clang-format on
    }
    void fixtures() {
        QFETCH(QString, module);
        QFETCH(QString, file);
        QFETCH(QList<int>, expected);
        const QString path = QStringLiteral(KORDEL_FIXTURES_DIR "/retro/") + file;
        if (!QFile::exists(path))
            QSKIP("fixtures folder not present (KORDEL_FIXTURES_DIR)");
        // The reference lies beside the file.
        const QImage want(QFile::exists(path + ".ref.png") ? path + ".ref.png" : path + ".png");
        SpiModule spi(module);
        SpiModule::Result r;
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(
            spi, path,
            {.size = want.size(), .depth = expected[0], .densities = {expected[1], expected[2]}},
            &r));
        const uint mask = (0xffu << (8 - expected[3])) & 0xff, rgbMask = mask * 0x010101u;
        for (int y = 0; y < want.height(); ++y)
            for (int x = 0; x < want.width(); ++x)
                if ((r.image.pixel(x, y) & rgbMask) != (want.pixel(x, y) & rgbMask))
                    QFAIL(qPrintable(QStringLiteral("(%1,%2)").arg(x).arg(y)));
    }
};

QTEST_GUILESS_MAIN(TestRetroFormats)
#include "test_retro_formats.moc"
