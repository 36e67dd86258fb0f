// The PIC decoder plug-in, driven through its C entry points.
#include <dlfcn.h>

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <cstring>
#include <functional>
#include <memory>

#include "pic_encoder.h"
#include "plugin_tests.h"

using namespace kordel::test;

namespace {

uint32_t field(uint32_t v, int shift, int bits) {
    return (v >> shift) & ((1u << bits) - 1);
}

QRgb x68kColour(uint32_t w) {
    const uint32_t i = w & 1;
    return qRgb(widen(field(w, 6, 5) * 2 + i, 6), widen(field(w, 11, 5) * 2 + i, 6),
                widen(field(w, 1, 5) * 2 + i, 6));
}

QRgb codeColour(const PicLayout& s, uint32_t c) {
    if (s.depth <= 8 && (s.type == 0 || s.type == 15)) {
        const uint32_t e = c < s.palette.size() ? s.palette[c] : 0;
        const int p = s.paletteBits;
        if (s.type == 0 || p == 0)
            return x68kColour(e);
        return qRgb(widen(field(e, p, p), p), widen(field(e, 2 * p, p), p),
                    widen(field(e, 0, p), p));
    }
    if (s.type == 1) {
        if (s.depth == 8)
            return qRgb(widen(field(c, 2, 3), 3), widen(field(c, 5, 3), 3),
                        widen(field(c, 0, 2), 2));
        if (s.depth == 16)
            return qRgb(widen(field(c, 5, 5), 5), widen(field(c, 10, 6), 6),
                        widen(field(c, 0, 5), 5));
    }
    if (s.type == 3)
        return qRgb(widen(field(c, 10, 5), 5), widen(field(c, 5, 5), 5), widen(field(c, 0, 5), 5));
    switch (s.depth) {
        case 12:
            return qRgb(widen(field(c, 4, 4), 4), widen(field(c, 8, 4), 4),
                        widen(field(c, 0, 4), 4));
        case 15:
            return qRgb(widen(field(c, 5, 5), 5), widen(field(c, 10, 5), 5),
                        widen(field(c, 0, 5), 5));
        case 16:
            return x68kColour(c);
        default:
            return qRgb(int(field(c, 8, 8)), int(field(c, 16, 8)), int(field(c, 0, 8)));
    }
}

QImage expectedImage(const PicLayout& s) {
    QImage img(s.width, s.height, QImage::Format_RGB32);
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            img.setPixel(x, y, codeColour(s, s.dots[size_t(y) * size_t(s.width) + size_t(x)]));
    return img;
}

// Colour codes the stream can hold: the palette size for indexed pictures, otherwise
// a spread of `count` distinct codes of the code width.
std::vector<uint32_t> codeSet(const PicLayout& s, int count) {
    const int bits = s.depth;
    std::vector<uint32_t> codes;
    if (bits <= 8 && (s.type == 0 || s.type == 15)) {
        for (int i = 0; i < (1 << bits); ++i)
            codes.push_back(uint32_t(i));
        return codes;
    }
    const uint64_t range = uint64_t(1) << bits;
    for (int i = 0; i < count; ++i)
        codes.push_back(uint32_t((uint64_t(i) * 2654435761u + 12345) % range));
    return codes;
}

// Five vertical sections whose colour bands slant by 0, -1, +1, -2 and +2 dots a line,
// so that chains take every step; a speckled lower part brings cache misses,
// evictions and hits of older colours.
std::vector<uint32_t> pattern(const PicLayout& s, int distinct = 200) {
    const std::vector<uint32_t> codes = codeSet(s, distinct);
    const int slopes[5] = {0, -1, 1, -2, 2};
    std::vector<uint32_t> dots(size_t(s.width) * size_t(s.height));
    QRandomGenerator rng(7);
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            const int section = x * 5 / s.width;
            size_t k;
            if (y >= s.height * 2 / 3 && (x + y) % 3 != 0) {
                k = rng.bounded(uint32_t(codes.size()));
            } else {
                const int band = (x - slopes[section] * y + 64 * 4) / 4;
                k = size_t(section * 7 + band) % codes.size();
            }
            dots[size_t(y) * size_t(s.width) + size_t(x)] = codes[k];
        }
    }
    return dots;
}

std::vector<uint32_t> randomPalette(int entries, int bits) {
    QRandomGenerator rng(uint32_t(entries * 31 + bits));
    std::vector<uint32_t> p;
    for (int i = 0; i < entries; ++i)
        p.push_back(rng.bounded(1u << bits));
    return p;
}

PicLayout makeLayout(int type, int mode, int depth, int w, int h, int paletteBits = 0) {
    PicLayout s;
    s.type = type;
    s.mode = mode;
    s.depth = depth;
    s.width = w;
    s.height = h;
    s.paletteBits = paletteBits;
    if (depth <= 8 && (type == 0 || type == 15))
        s.palette =
            randomPalette(1 << depth, (type == 0 || paletteBits == 0) ? 16 : 3 * paletteBits);
    s.dots = pattern(s);
    return s;
}

}  // namespace

class TestIfpic : public QObject {
    Q_OBJECT

private:
    TestFiles files_;
    std::unique_ptr<SpiModule> spi_;

    QString write(const QByteArray& data) { return files_.write(QStringLiteral("t.pic"), data); }
    SpiModule::Result decode(const QByteArray& data) { return spi_->picture(write(data)); }
    int info(const QByteArray& data, PictureInfo& pi) { return spi_->pictureInfo(write(data), pi); }

    // Empty when the picture encodes and decodes to the expected dots.
    QString roundTrip(const PicLayout& s, PicStats* stats = nullptr) {
        const bool indexed = s.depth <= 8 && (s.type == 0 || s.type == 15);
        return decodeMismatch(
            *spi_, write(encodePic(s, stats)),
            {.image = expectedImage(s), .depth = s.depth, .bitCount = indexed ? 8 : 24});
    }

private slots:
    void initTestCase() {
        QVERIFY(files_.isValid());
        spi_ = std::make_unique<SpiModule>(QStringLiteral("ifpic.spi"));
        QVERIFY2(spi_->isLoaded(), qPrintable(spi_->error()));
    }

    void pluginInfo() {
        KORDEL_VERIFY_NO_FAILURE(pluginInfoMismatch(*spi_, "*.pic"));
        QCOMPARE(spi_->pluginInfo(-1), QByteArray());

        // A short buffer is cut and still terminated, and nothing past it is touched.
        void* h = dlopen(KORDEL_BIN_DIR "/ifpic.spi", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        QVERIFY(h);
        auto getInfo = reinterpret_cast<SpiGetPluginInfo>(dlsym(h, "GetPluginInfo"));
        dlclose(h);  // the harness keeps the module loaded
        QVERIFY(getInfo);
        char buf[8];
        std::memset(buf, 'x', sizeof buf);
        QCOMPARE(getInfo(2, buf, 4), 3);
        QCOMPARE(QByteArray(buf), QByteArray("*.p"));
        QCOMPARE(buf[4], 'x');
        QCOMPARE(getInfo(0, buf, 1), 0);
        QCOMPARE(buf[0], '\0');
        QCOMPARE(getInfo(9, buf, 8), 0);
    }

    void isSupported() {
        const PicLayout s = makeLayout(0, 0, 15, 8, 8);
        QVERIFY(spi_->isSupported(write(encodePic(s))));
        // A comment longer than the head still counts.
        PicLayout longComment = s;
        longComment.comment = QByteArray(3000, 'c');
        QVERIFY(spi_->isSupported(write(encodePic(longComment))));

        QImage png(4, 4, QImage::Format_RGB32);
        png.fill(Qt::red);
        const QString pngPath = files_.path(QStringLiteral("png.pic"));
        QVERIFY(png.save(pngPath, "PNG"));
        QVERIFY(!spi_->isSupported(pngPath));
        QByteArray random(1000, '\0');
        QRandomGenerator rng(3);
        for (auto& c : random)
            c = char(rng.bounded(256));
        QVERIFY(!spi_->isSupported(write(random)));
        // Other formats with a .pic extension: Softimage starts with a magic number.
        QVERIFY(!spi_->isSupported(write(QByteArray::fromHex("5380f634") + random)));
        // "PIC" alone, or followed by an unknown machine type.
        QVERIFY(!spi_->isSupported(write("PIC")));
        PicLayout unknownType = s;
        unknownType.type = 7;
        QVERIFY(!spi_->isSupported(write(encodePic(s).replace(0, 3, "PIX"))));
        QVERIFY(!spi_->isSupported(write(picHeader(unknownType))));
    }

    void fixtureMatchesReference() {
        const QString dir = fixturesDir();
        if (dir.isEmpty() || !QFile::exists(dir + "/retro/PIC/SAMPLE1.PIC"))
            QSKIP("fixture folder with retro/PIC/SAMPLE1.PIC is not available");
        const QString file = dir + "/retro/PIC/SAMPLE1.PIC";
        PictureInfo pi;
        QCOMPARE(spi_->pictureInfo(file, pi), SPI_OK);
        QCOMPARE(pi.width, 498);
        QCOMPARE(pi.height, 512);
        QCOMPARE(pi.colorDepth, int16_t(15));
        QCOMPARE(pi.x_density, uint16_t(3));
        QCOMPARE(pi.y_density, uint16_t(4));
        QVERIFY(spi_->isSupported(file));

        const auto r = spi_->picture(file);
        QCOMPARE(r.code, SPI_OK);
        QCOMPARE(r.bitCount, 24);
        const QImage ref(file + ".ref.png");
        QVERIFY(!ref.isNull());
        QCOMPARE(r.image.size(), ref.size());
        int differing = 0;
        for (int y = 0; y < ref.height(); ++y) {
            for (int x = 0; x < ref.width(); ++x) {
                const QRgb a = r.image.pixel(x, y);
                const QRgb b = ref.pixel(x, y);
                // The reference fills the low bits of 5-bit channels differently.
                if ((qRed(a) >> 3) != (qRed(b) >> 3) || (qGreen(a) >> 3) != (qGreen(b) >> 3) ||
                    (qBlue(a) >> 3) != (qBlue(b) >> 3))
                    ++differing;
            }
        }
        QCOMPARE(differing, 0);
    }

    // Every machine type and depth, with odd sizes and the smallest pictures.
    void roundTrips_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("paletteBits");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("X68000 4-bit") << 0 << 0 << 4 << 0 << 37 << 23;
        QTest::newRow("X68000 8-bit") << 0 << 0 << 8 << 0 << 40 << 30;
        QTest::newRow("X68000 15-bit") << 0 << 0 << 15 << 0 << 61 << 45;
        QTest::newRow("X68000 16-bit") << 0 << 0 << 16 << 0 << 50 << 40;
        QTest::newRow("PC-88VA 8-bit") << 1 << 0 << 8 << 0 << 640 << 200;
        QTest::newRow("PC-88VA 12-bit") << 1 << 1 << 12 << 0 << 320 << 200;
        QTest::newRow("PC-88VA 16-bit") << 1 << 0 << 16 << 0 << 320 << 408;
        QTest::newRow("FM-TOWNS mode 0") << 2 << 0 << 15 << 0 << 33 << 17;
        QTest::newRow("FM-TOWNS mode 5") << 2 << 5 << 15 << 0 << 33 << 17;
        QTest::newRow("Macintosh") << 3 << 0 << 15 << 0 << 45 << 30;
        QTest::newRow("generic 4-bit, 5-bit palette") << 15 << 0 << 4 << 5 << 29 << 31;
        QTest::newRow("generic 4-bit, word palette") << 15 << 0 << 4 << 0 << 29 << 31;
        QTest::newRow("generic 8-bit, 8-bit palette") << 15 << 1 << 8 << 8 << 40 << 40;
        QTest::newRow("generic 8-bit, 1-bit palette") << 15 << 0 << 8 << 1 << 17 << 9;
        QTest::newRow("generic 12-bit") << 15 << 0 << 12 << 0 << 35 << 20;
        QTest::newRow("generic 15-bit") << 15 << 15 << 15 << 0 << 35 << 20;
        QTest::newRow("generic 16-bit") << 15 << 0 << 16 << 0 << 35 << 20;
        QTest::newRow("generic 24-bit") << 15 << 0 << 24 << 0 << 64 << 48;
        QTest::newRow("1x1") << 0 << 0 << 15 << 0 << 1 << 1;
        QTest::newRow("1x1 indexed") << 15 << 0 << 4 << 4 << 1 << 1;
        QTest::newRow("1 column") << 0 << 0 << 16 << 0 << 1 << 37;
        QTest::newRow("1 line") << 15 << 0 << 24 << 0 << 53 << 1;
        QTest::newRow("7x3") << 0 << 0 << 8 << 0 << 7 << 3;
    }
    void roundTrips() {
        QFETCH(int, type);
        QFETCH(int, mode);
        QFETCH(int, depth);
        QFETCH(int, paletteBits);
        QFETCH(int, width);
        QFETCH(int, height);
        PicLayout s = makeLayout(type, mode, depth, width, height, paletteBits);
        if (mode == 15 || (type == 2 && mode == 0)) {
            s.aspectA = 1;
            s.aspectB = 1;
        }
        PicStats stats;
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s, &stats));
        if (width * height >= 600) {
            // The picture really went through the paths it is meant to.
            QVERIFY(stats.chainDots > 0);
            if (depth > 8 && type != 3) {
                QVERIFY(stats.cacheHits > 0);
                QVERIFY(stats.cacheMisses > 128);
            }
        }
    }

    void chainsInEveryDirection() {
        PicLayout s = makeLayout(0, 0, 15, 80, 60);
        PicStats stats;
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s, &stats));
        for (int i = 0; i < 5; ++i)
            QVERIFY2(stats.steps[i] > 0, qPrintable(QStringLiteral("no chain step %1").arg(i - 2)));
        // Without chains the same picture comes out the same, from a longer stream.
        PicLayout plain = s;
        plain.chains = false;
        KORDEL_VERIFY_NO_FAILURE(roundTrip(plain));
        QVERIFY(encodePic(plain).size() > encodePic(s).size());
    }

    // Single dots whose colours were worked out by hand from the code layouts.
    void knownColours_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("paletteBits");
        QTest::addColumn<uint>("code");
        QTest::addColumn<uint>("rgb");
        QTest::newRow("X68000 15 red") << 0 << 15 << 0 << 0x03e0u << 0xff0000u;
        QTest::newRow("X68000 15 green 16") << 0 << 15 << 0 << 0x4000u << 0x008400u;
        QTest::newRow("X68000 15 blue 1") << 0 << 15 << 0 << 0x0001u << 0x000008u;
        QTest::newRow("X68000 16 red, intensity") << 0 << 16 << 0 << 0x07c1u << 0xff0404u;
        QTest::newRow("X68000 4 palette blue") << 0 << 4 << 0 << 0x003eu << 0x0000fbu;
        QTest::newRow("generic 24") << 15 << 24 << 0 << 0x123456u << 0x341256u;
        QTest::newRow("generic 12") << 15 << 12 << 0 << 0x5a3u << 0xaa5533u;
        QTest::newRow("generic 3-bit palette") << 15 << 8 << 3 << 0b100111001u << 0xff9224u;
        QTest::newRow("PC-88VA 8") << 1 << 8 << 0 << 0b11100010u << 0x00ffaau;
        QTest::newRow("PC-88VA 16") << 1 << 16 << 0 << 0x0400u << 0x000400u;
        QTest::newRow("PC-88VA 12") << 1 << 12 << 0 << 0x0f0u << 0xff0000u;
        QTest::newRow("Macintosh red") << 3 << 15 << 0 << 0x7c00u << 0xff0000u;
    }
    void knownColours() {
        QFETCH(int, type);
        QFETCH(int, depth);
        QFETCH(int, paletteBits);
        QFETCH(uint, code);
        QFETCH(uint, rgb);
        PicLayout s;
        s.type = type;
        s.depth = depth;
        s.paletteBits = paletteBits;
        s.width = type == 1 ? 640 : 2;
        s.height = type == 1 ? 200 : 1;
        s.dots.assign(size_t(s.width) * size_t(s.height), 0);
        if (depth <= 8 && type != 1) {
            // The code is palette entry 1; the dot uses index 1.
            s.palette.assign(size_t(1) << depth, 0);
            s.palette[1] = code;
            code = 1;
        }
        s.dots[1] = code;
        const auto r = decode(encodePic(s));
        QCOMPARE(r.code, SPI_OK);
        QCOMPARE(r.image.pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(r.image.pixel(1, 0) & 0xffffff, rgb);
    }

    // Hand-written streams for the cache order and for chains that leave the picture.
    void handMadeStreams() {
        PicLayout s;
        s.type = 0;
        s.depth = 15;
        s.width = 6;
        s.height = 1;
        const uint32_t a = 0x1234, b = 0x4321, c = 0x7fff;
        BitWriter w;
        auto dot = [&](bool hit, uint32_t v) {
            putPicLength(w, 1);
            w.bit(hit);
            w.put(v, hit ? 7 : 15);
            w.bit(false);  // no chain
        };
        // New colours fill slots 1, 2, 3 ... in turn; slot 0 keeps colour 0 until
        // the ring comes round to it.
        dot(false, a);  // slot 1
        dot(false, b);  // slot 2
        dot(true, 1);   // a, now the newest
        dot(false, c);  // the oldest slot is 3
        dot(true, 3);   // c
        dot(true, 0);   // colour 0
        auto r = decode(picHeader(s) + w.bytes());
        QCOMPARE(r.code, SPI_OK);
        const uint32_t expected[] = {a, b, a, c, c, 0};
        for (int x = 0; x < 6; ++x)
            QCOMPARE(r.image.pixel(x, 0), codeColour(s, expected[x]));

        // 3x3: dot (0,0) gets colour a and a chain that steps left out of the picture
        // (ignored, not wrapped into the line above) and back in at (0,2).
        s.width = 3;
        s.height = 3;
        BitWriter v;
        putPicLength(v, 1);
        v.put(0, 1);
        v.put(a, 15);
        v.bit(true);
        v.put(0b01, 2);
        v.put(0b11, 2);
        v.put(0b000, 3);
        putPicLength(v, 1);  // (1,0) becomes b
        v.put(0, 1);
        v.put(b, 15);
        v.bit(false);
        putPicLength(v, 8);  // the rest: b, then a from the chain dot on
        r = decode(picHeader(s) + v.bytes());
        QCOMPARE(r.code, SPI_OK);
        const uint32_t grid[] = {a, b, b, b, b, b, a, a, a};
        for (int i = 0; i < 9; ++i)
            QCOMPARE(r.image.pixel(i % 3, i / 3), codeColour(s, grid[i]));

        // A chain that runs below the last line, then a chain bit on the very last dot.
        s.width = 2;
        s.height = 2;
        BitWriter d;
        putPicLength(d, 1);
        d.put(0, 1);
        d.put(a, 15);
        d.bit(true);
        for (int i = 0; i < 5; ++i)
            d.put(0b10, 2);
        d.put(0b000, 3);
        putPicLength(d, 3);  // (1,0) and (0,1) run on, (1,1) is a change point
        d.put(0, 1);
        d.put(b, 15);
        d.bit(true);
        d.put(0b11, 2);
        d.put(0b000, 3);
        r = decode(picHeader(s) + d.bytes());
        QCOMPARE(r.code, SPI_OK);
        QCOMPARE(r.image.pixel(0, 1), codeColour(s, a));
        QCOMPARE(r.image.pixel(1, 1), codeColour(s, b));
    }

    void damagedStreams() {
        PicLayout s = makeLayout(0, 0, 15, 16, 16);
        // A length code of 40 one-bits.
        BitWriter w;
        w.put(0xffffffff, 32);
        w.put(0xff, 8);
        w.put(0, 8);
        QCOMPARE(decode(picHeader(s) + w.bytes()).code, SPI_BROKEN_DATA);
        // Data that ends long before the picture does.
        BitWriter e;
        putPicLength(e, 3);
        e.put(0, 16);
        QCOMPARE(decode(picHeader(s) + e.bytes()).code, SPI_BROKEN_DATA);
        // No data at all.
        QCOMPARE(decode(picHeader(s)).code, SPI_BROKEN_DATA);
        // An endless chain is cut off by the end of the data.
        BitWriter c;
        putPicLength(c, 1);
        c.put(0, 16);
        c.bit(true);
        for (int i = 0; i < 200; ++i)
            c.put(0b11, 2);
        QCOMPARE(decode(picHeader(s) + c.bytes()).code, SPI_BROKEN_DATA);
    }

    void headers_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("result");
        PicLayout s = makeLayout(0, 0, 15, 8, 4);
        const QByteArray good = encodePic(s);
        QTest::newRow("good") << good << int(SPI_OK);
        PicLayout filler = s;
        filler.filler = "\x01\xff\x1a junk";
        QTest::newRow("filler before the zero") << encodePic(filler) << int(SPI_OK);
        PicLayout noComment = s;
        noComment.comment.clear();
        QTest::newRow("empty comment") << encodePic(noComment) << int(SPI_OK);

        QByteArray reserved = good;
        reserved[int(3 + s.comment.size() + 2)] = 1;
        QTest::newRow("reserved byte set") << reserved << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("not PIC") << QByteArray("GIF89a\x1a\0\0\0\0\0\0\0\0\0", 16)
                                 << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("magic only") << QByteArray("PIC") << int(SPI_BROKEN_DATA);
        QTest::newRow("no comment end")
            << QByteArray("PIC comment that never ends") << int(SPI_BROKEN_DATA);
        QTest::newRow("cut in the sizes")
            << good.left(int(3 + s.comment.size() + 6)) << int(SPI_BROKEN_DATA);

        auto variant = [&](std::function<void(PicLayout&)> change) {
            PicLayout v = s;
            change(v);
            v.dots.assign(size_t(v.width) * size_t(v.height), 0);
            return encodePic(v);
        };
        QTest::newRow("unknown machine")
            << variant([](PicLayout& v) { v.type = 5; }) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("X68000 24-bit")
            << variant([](PicLayout& v) { v.depth = 24; }) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("X68000 mode 1")
            << variant([](PicLayout& v) { v.mode = 1; }) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("PC-88VA odd size") << variant([](PicLayout& v) {
            v.type = 1;
            v.depth = 16;
        }) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("PC-88VA tiled 256") << variant([](PicLayout& v) {
            v.type = 1;
            v.mode = 2;
            v.depth = 16;
            v.width = 320;
            v.height = 200;
        }) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("generic mode 2") << variant([](PicLayout& v) {
            v.type = 15;
            v.mode = 2;
        }) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("generic 9-bit palette") << variant([](PicLayout& v) {
            v.type = 15;
            v.depth = 4;
            v.paletteBits = 9;
        }) << int(SPI_BROKEN_DATA);
        QTest::newRow("generic mode 15 without ratio") << variant([](PicLayout& v) {
            v.type = 15;
            v.mode = 15;
        }) << int(SPI_BROKEN_DATA);
        QTest::newRow("zero width")
            << variant([](PicLayout& v) { v.width = 0; }) << int(SPI_BROKEN_DATA);
        PicLayout wide = s;
        wide.width = 40000;
        wide.height = 1;
        QTest::newRow("too wide") << picHeader(wide) << int(SPI_NO_MEMORY);
        PicLayout huge = s;
        huge.width = 20000;
        huge.height = 20000;
        QTest::newRow("too many dots") << picHeader(huge) << int(SPI_NO_MEMORY);
    }
    void headers() {
        QFETCH(QByteArray, file);
        QFETCH(int, result);
        PictureInfo pi;
        QCOMPARE(info(file, pi), result);
        QCOMPARE(decode(file).code, result);
    }

    void densities_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("aspectA");
        QTest::addColumn<int>("aspectB");
        QTest::addColumn<int>("xDensity");
        QTest::addColumn<int>("yDensity");
        QTest::newRow("X68000 15-bit: 4:3 dots") << 0 << 0 << 15 << 8 << 8 << 0 << 0 << 3 << 4;
        QTest::newRow("X68000 8-bit: 4:3 dots") << 0 << 0 << 8 << 8 << 8 << 0 << 0 << 3 << 4;
        QTest::newRow("X68000 4-bit: square") << 0 << 0 << 4 << 8 << 8 << 0 << 0 << 1 << 1;
        QTest::newRow("generic 1:2 (tall dots)") << 15 << 0 << 24 << 2 << 2 << 1 << 2 << 2 << 1;
        QTest::newRow("generic 2:1 (wide dots)") << 15 << 0 << 24 << 2 << 2 << 2 << 1 << 1 << 2;
        QTest::newRow("generic 4:6 reduced") << 15 << 15 << 15 << 2 << 2 << 4 << 6 << 3 << 2;
        QTest::newRow("generic mode 1, no ratio") << 15 << 1 << 4 << 2 << 2 << 0 << 0 << 3 << 4;
        QTest::newRow("generic mode 1, ratio") << 15 << 1 << 4 << 2 << 2 << 1 << 1 << 1 << 1;
        QTest::newRow("generic mode 0, half a ratio")
            << 15 << 0 << 16 << 2 << 2 << 0 << 3 << 1 << 1;
        QTest::newRow("PC-88VA 640x200") << 1 << 0 << 16 << 640 << 200 << 0 << 0 << 2 << 1;
        QTest::newRow("PC-88VA 320x400") << 1 << 1 << 16 << 320 << 400 << 0 << 0 << 1 << 2;
        QTest::newRow("PC-88VA 320x200") << 1 << 0 << 12 << 320 << 200 << 0 << 0 << 1 << 1;
        QTest::newRow("PC-88VA 640x400") << 1 << 0 << 8 << 640 << 400 << 0 << 0 << 1 << 1;
        QTest::newRow("FM-TOWNS mode 0 1:2") << 2 << 0 << 15 << 2 << 2 << 1 << 2 << 2 << 1;
        QTest::newRow("FM-TOWNS mode 12") << 2 << 12 << 15 << 2 << 2 << 0 << 0 << 1 << 1;
        QTest::newRow("Macintosh") << 3 << 0 << 15 << 2 << 2 << 0 << 0 << 1 << 1;
    }
    void densities() {
        QFETCH(int, type);
        QFETCH(int, mode);
        QFETCH(int, depth);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, aspectA);
        QFETCH(int, aspectB);
        QFETCH(int, xDensity);
        QFETCH(int, yDensity);
        PicLayout s = makeLayout(type, mode, depth, width, height, depth <= 8 ? 4 : 0);
        s.aspectA = aspectA;
        s.aspectB = aspectB;
        PictureInfo pi;
        QCOMPARE(info(encodePic(s), pi), SPI_OK);
        QCOMPARE(int(pi.x_density), xDensity);
        QCOMPARE(int(pi.y_density), yDensity);
    }

    // Every prefix of a small file: an error, or (when only padding went missing)
    // the complete picture.
    void truncation() {
        const PicLayout s = makeLayout(0, 0, 15, 24, 16);
        const QByteArray full = encodePic(s);
        const QImage expected = expectedImage(s);
        const Cuts cuts{.name = "cut.pic",
                        .accepted = {SPI_OK, SPI_BROKEN_DATA, SPI_UNKNOWN_FORMAT}};
        KORDEL_VERIFY_NO_FAILURE(checkCuts(
            *spi_, files_, full, cuts, [&](qsizetype length, const SpiModule::Result& result) {
                if (result.code != SPI_OK)
                    return QString();
                if (length < full.size() - 1)
                    return QStringLiteral("decoded with data missing");
                return firstDifference(result.image, expected);
            }));
    }

    void randomFlips() {
        PicLayout s = makeLayout(15, 0, 8, 20, 12, 5);
        QRandomGenerator rng(20240601);
        const Damage flips{.name = "flip.pic",
                           .accepted = {SPI_OK, SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA, SPI_NO_MEMORY},
                           .rounds = 3000};
        const DamageReport report = checkDamage(*spi_, files_, {encodePic(s)}, flips, rng);
        KORDEL_VERIFY_NO_FAILURE(report.failure);
        QVERIFY(report.decoded > 0);  // flips in the dots still decode
    }

    void progressAndCancel() {
        const PicLayout s = makeLayout(0, 0, 16, 30, 100);
        const QString path = write(encodePic(s));
        KORDEL_VERIFY_NO_FAILURE(progressMismatch(*spi_, path, 100, 100 / 8));
        int calls = 0;
        const auto r = spi_->picture(path, 0, [&](int, int) { return ++calls == 4 ? 1 : 0; });
        QCOMPARE(r.code, SPI_CANCELLED);
        QCOMPARE(calls, 4);
        QVERIFY(r.image.isNull());
    }

    void dataAtAnOffset() {
        const PicLayout s = makeLayout(0, 0, 15, 9, 7);
        const QString path = write(QByteArray(128, 'M') + encodePic(s));
        PictureInfo pi;
        QCOMPARE(spi_->pictureInfo(path, pi, 0), SPI_UNKNOWN_FORMAT);
        QCOMPARE(spi_->picture(path, 0).code, SPI_UNKNOWN_FORMAT);
        QCOMPARE(spi_->pictureInfo(path, pi, 128), SPI_OK);
        const auto r = spi_->picture(path, 128);
        QCOMPARE(r.code, SPI_OK);
        QVERIFY(firstDifference(r.image, expectedImage(s)).isEmpty());
        QCOMPARE(spi_->pictureInfo(files_.path("missing.pic"), pi), SPI_READ_ERROR);
    }

    // The bundled sample: an X68000 15-bit picture, drawn a quarter narrower so that
    // the viewer's 4:3 widening gives round circles. Written to samples/ on request.
    void sample() {
        const int w = 160, h = 100;
        QImage img(w, h, QImage::Format_RGB32);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        QLinearGradient sky(0, 0, 0, h);
        sky.setColorAt(0, QColor(24, 40, 112));
        sky.setColorAt(1, QColor(232, 136, 88));
        p.fillRect(img.rect(), sky);
        p.scale(0.75, 1.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 224, 96));
        p.drawEllipse(QPointF(150, 42), 18, 18);
        p.setBrush(QColor(40, 72, 56));
        p.drawPolygon(
            QPolygonF({{0, 100}, {0, 70}, {60, 48}, {120, 76}, {170, 56}, {213, 72}, {213, 100}}));
        p.setBrush(QColor(96, 176, 224));
        p.drawRect(QRectF(0, 88, 214, 12));
        p.end();

        PicLayout s;
        s.type = 0;
        s.depth = 15;
        s.width = w;
        s.height = h;
        s.comment = "Kordel sample";
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb c = img.pixel(x, y);
                s.dots.push_back(
                    uint32_t((qGreen(c) >> 3) << 10 | (qRed(c) >> 3) << 5 | (qBlue(c) >> 3)));
            }
        const QByteArray file = encodePic(s);
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s));
        KORDEL_VERIFY_NO_FAILURE(
            sampleMismatch(*spi_, QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.pic"), file));
    }
};

QTEST_GUILESS_MAIN(TestIfpic)
#include "test_ifpic.moc"
