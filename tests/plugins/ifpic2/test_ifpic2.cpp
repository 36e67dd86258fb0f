// The PIC2 decoder plug-in, driven through its C entry points.
#include <dlfcn.h>

#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <cstring>
#include <functional>
#include <memory>

#include "pic2_encoder.h"
#include "plugin_tests.h"

using namespace kordel::test;

namespace {

QRgb dotColour(int depth, uint32_t v) {
    const int c = depth / 3;
    const uint32_t m = (1u << c) - 1;
    return qRgb(widen((v >> (2 * c)) & m, c), widen((v >> c) & m, c), widen(v & m, c));
}

uint32_t packDot(int depth, int r, int g, int b) {
    const int c = depth / 3;
    return uint32_t(r) << (2 * c) | uint32_t(g) << c | uint32_t(b);
}

// The canvas as the blocks should compose it.
QImage expectedImage(const P2Layout& s) {
    int w = s.width, h = s.height;
    for (const auto& b : s.blocks) {
        if (b.dots.empty())
            continue;
        w = std::max(w, b.x + b.width);
        h = std::max(h, b.y + b.height);
    }
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::black);
    for (const auto& b : s.blocks)
        for (int y = 0; y < b.height && !b.dots.empty(); ++y)
            for (int x = 0; x < b.width; ++x) {
                const uint32_t v = b.dots[size_t(y) * size_t(b.width) + size_t(x)];
                if (!(b.transparent && v == b.transparentColour))
                    img.setPixel(b.x + x, b.y + y, dotColour(s.depth, v));
            }
    return img;
}

// Shapes with slanting edges of every steepness the chains know, smooth gradients for
// the colour prediction, and speckles that bring cache hits and misses.
std::vector<uint32_t> pattern(int depth, int w, int h, uint32_t seed = 1) {
    const int m = (1 << (depth / 3)) - 1;
    QRandomGenerator rng(seed);
    std::vector<uint32_t> palette;
    for (int i = 0; i < 40; ++i)
        palette.push_back(packDot(depth, int(rng.bounded(m + 1)), int(rng.bounded(m + 1)),
                                  int(rng.bounded(m + 1))));
    const int slopes[5] = {0, -1, 1, -2, 2};
    std::vector<uint32_t> dots(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int section = x * 5 / w;
            uint32_t v;
            if (y < h / 3) {
                v = packDot(depth, x * m / std::max(w - 1, 1), y * m / std::max(h - 1, 1),
                            (x + y) * m / std::max(w + h - 2, 1));
            } else if (y < 2 * h / 3) {
                const int band = (x - slopes[section] * y + 256) / 3;
                v = palette[size_t(section * 5 + band) % 25];
            } else {
                v = (x * 7 + y * 3) % 5 == 0 ? palette[25 + rng.bounded(15)]
                                             : palette[size_t(section + y / 4) % 40];
            }
            dots[size_t(y) * size_t(w) + size_t(x)] = v;
        }
    return dots;
}

P2Block pictureBlock(const QByteArray& id, int depth, int w, int h, int x = 0, int y = 0) {
    P2Block b;
    b.id = id;
    b.width = w;
    b.height = h;
    b.x = x;
    b.y = y;
    b.dots = pattern(depth, w, h, uint32_t(w * 131 + h));
    return b;
}

P2Layout singleBlock(const QByteArray& id, int depth, int w, int h) {
    P2Layout s;
    s.depth = depth;
    s.width = w;
    s.height = h;
    s.blocks.push_back(pictureBlock(id, depth, w, h));
    return s;
}

QByteArray be32(uint32_t v) {
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

// A file with the header of `s` (and its blocks) followed by one hand-made block.
QByteArray withBlock(const P2Layout& s, const QByteArray& block) {
    QByteArray file = encodeP2(s);
    return file.insert(file.size() - 8, block);
}

}  // namespace

class TestIfpic2 : public QObject {
    Q_OBJECT

private:
    TestFiles files_;
    std::unique_ptr<SpiModule> spi_;

    QString write(const QByteArray& data) { return files_.write(QStringLiteral("t.p2"), data); }
    SpiModule::Result decode(const QByteArray& data) { return spi_->picture(write(data)); }
    int info(const QByteArray& data, PictureInfo& pi) { return spi_->pictureInfo(write(data), pi); }

    // Empty when the picture encodes and decodes to the canvas its blocks make.
    QString roundTrip(const P2Layout& s, P2Stats* stats = nullptr) {
        return decodeMismatch(*spi_, write(encodeP2(s, stats)),
                              {.image = expectedImage(s), .depth = s.depth, .bitCount = 24});
    }

    // A small file with one arithmetic-coded and one fast-coded block.
    P2Layout twoBlocks() {
        P2Layout s;
        s.depth = 15;
        s.width = 14;
        s.height = 9;
        s.blocks.push_back(pictureBlock("P2SS", 15, 14, 5));
        s.blocks.push_back(pictureBlock("P2SF", 15, 10, 4, 2, 5));
        return s;
    }

private slots:
    void initTestCase() {
        QVERIFY(files_.isValid());
        spi_ = std::make_unique<SpiModule>(QStringLiteral("ifpic2.spi"));
        QVERIFY2(spi_->isLoaded(), qPrintable(spi_->error()));
    }

    void pluginInfo() {
        KORDEL_VERIFY_NO_FAILURE(pluginInfoMismatch(*spi_, "*.p2"));

        void* h = dlopen(KORDEL_BIN_DIR "/ifpic2.spi", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
        QVERIFY(h);
        auto getInfo = reinterpret_cast<SpiGetPluginInfo>(dlsym(h, "GetPluginInfo"));
        QVERIFY(getInfo);
        char buf[8];
        std::memset(buf, 'x', sizeof buf);
        QCOMPARE(getInfo(2, buf, 3), 2);
        QCOMPARE(QByteArray(buf), QByteArray("*."));
        QCOMPARE(buf[3], 'x');
        QCOMPARE(getInfo(1, nullptr, 0), 0);
        dlclose(h);
    }

    void isSupported() {
        QVERIFY(spi_->isSupported(write(encodeP2(singleBlock("P2BM", 24, 3, 2)))));
        QImage png(4, 4, QImage::Format_RGB32);
        png.fill(Qt::blue);
        const QString pngPath = files_.path(QStringLiteral("png.p2"));
        QVERIFY(png.save(pngPath, "PNG"));
        QVERIFY(!spi_->isSupported(pngPath));
        QByteArray random(600, '\0');
        QRandomGenerator rng(5);
        for (auto& c : random)
            c = char(rng.bounded(256));
        QVERIFY(!spi_->isSupported(write(random)));
        // The unrelated "PIC2" variant of JPEG, and palette files we do not read.
        QVERIFY(!spi_->isSupported(write("PIC2" + random)));
        P2Layout palette = singleBlock("P2BM", 9, 2, 2);
        QByteArray eightBit = encodeP2(palette);
        eightBit[111] = 8;
        QVERIFY(!spi_->isSupported(write(eightBit)));
    }

    // A stream worked out bit by bit: with every probability 0 the coder gives a 1 for
    // any non-zero code value, and a 0 only at 0, after which it takes 15 fresh bits.
    void handMadeArithmeticBlock() {
        P2Layout s;
        s.depth = 9;
        const QByteArray data = QByteArray(256, '\0') + QByteArray::fromHex("0002000200020003");
        QByteArray block = "P2SS" + be32(uint32_t(26 + data.size()));
        block += QByteArray::fromHex(
            "0000"
            "0001"
            "0001"
            "0000"
            "0000"
            "00000000"
            "00000000");
        const auto r = decode(withBlock(s, block + data));
        QCOMPARE(r.code, SPI_OK);
        QCOMPARE(r.image.size(), QSize(1, 1));
        // Change point, cache miss, green 1 (above the prediction 0), red predicted 0 + 1
        // and hit, blue predicted 1, coded 2 = one below.
        QCOMPARE(r.image.pixel(0, 0), qRgb(0x24, 0x24, 0x00));
    }

    void handMadeFastBlock() {
        P2Layout s;
        s.depth = 15;
        BitWriter w;
        auto newColour = [&](uint32_t grb) {
            w.bit(false);
            w.put(grb, 15);
            w.bit(false);  // no chain
            w.bit(false);  // next dot is a change point
        };
        auto cached = [&](uint32_t j) {
            w.bit(true);
            w.put(j, 6);
            w.bit(false);
            w.bit(false);
        };
        w.bit(false);       // the first dot is a change point
        newColour(0x7c00);  // green, stored G-R-B; cached under the key of black
        newColour(0x03e0);  // red, cached under the key of green
        cached(5);          // nothing cached under red's key yet: black
        cached(0);          // under black's key: green
        P2Block b;
        b.id = "P2SF";
        b.width = 4;
        b.height = 1;
        b.dots.assign(4, 0);
        QByteArray block = encodeP2Block(b, 15).left(26) + w.bytes();
        block.replace(4, 4, be32(uint32_t(block.size())));
        const auto r = decode(withBlock(s, block));
        QCOMPARE(r.code, SPI_OK);
        QCOMPARE(r.image.pixel(0, 0), qRgb(0, 255, 0));
        QCOMPARE(r.image.pixel(1, 0), qRgb(255, 0, 0));
        QCOMPARE(r.image.pixel(2, 0), qRgb(0, 0, 0));
        QCOMPARE(r.image.pixel(3, 0), qRgb(0, 255, 0));
    }

    // Raw dots written by hand: 15-bit words are X68000 G5 R5 B5 I colours.
    void handMadeRawBlocks() {
        auto rawFile = [&](const QByteArray& id, int depth, const QByteArray& dots, int w) {
            P2Layout s;
            s.depth = depth;
            P2Block b;
            b.id = id;
            b.width = w;
            b.height = 1;
            b.dots.assign(size_t(w), 0);
            s.blocks.push_back(b);
            QByteArray file = encodeP2(s);
            const int at = p2BlockOffsets(s)[0];
            file.replace(at + 26, dots.size(), dots);
            return decode(file);
        };
        auto r = rawFile("P2BM", 15, QByteArray::fromHex("f800003e07c1"), 3);
        QCOMPARE(r.code, SPI_OK);
        QCOMPARE(r.image.pixel(0, 0), qRgb(0, 255, 0));
        QCOMPARE(r.image.pixel(1, 0), qRgb(0, 0, 255));
        QCOMPARE(r.image.pixel(2, 0), qRgb(255, 0, 0));  // the intensity bit is dropped
        r = rawFile("P2BI", 15, QByteArray::fromHex("00f83e00"), 2);
        QCOMPARE(r.code, SPI_OK);
        QCOMPARE(r.image.pixel(0, 0), qRgb(0, 255, 0));
        QCOMPARE(r.image.pixel(1, 0), qRgb(0, 0, 255));
        r = rawFile("P2BM", 24, QByteArray::fromHex("123456"), 1);
        QCOMPARE(r.image.pixel(0, 0), qRgb(0x12, 0x34, 0x56));
        r = rawFile("P2BI", 24, QByteArray::fromHex("123456"), 1);
        QCOMPARE(r.image.pixel(0, 0), qRgb(0x12, 0x34, 0x56));
        r = rawFile("P2BM", 12, QByteArray::fromHex("0f01"), 1);
        QCOMPARE(r.image.pixel(0, 0), qRgb(0xff, 0x00, 0x11));
        r = rawFile("P2BI", 9, QByteArray::fromHex("c001"), 1);  // 0x1c0: red 7
        QCOMPARE(r.image.pixel(0, 0), qRgb(0xff, 0x00, 0x00));
    }

    void roundTrips_data() {
        QTest::addColumn<QByteArray>("id");
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        for (const char* id : {"P2SS", "P2SF", "P2BM", "P2BI"}) {
            for (int depth : {9, 12, 15, 18, 21, 24})
                QTest::addRow("%s %d-bit", id, depth) << QByteArray(id) << depth << 47 << 33;
            QTest::addRow("%s 1x1", id) << QByteArray(id) << 24 << 1 << 1;
            QTest::addRow("%s 1 column", id) << QByteArray(id) << 15 << 1 << 19;
            QTest::addRow("%s 1 line", id) << QByteArray(id) << 15 << 23 << 1;
            QTest::addRow("%s 5x3", id) << QByteArray(id) << 24 << 5 << 3;
        }
    }
    void roundTrips() {
        QFETCH(QByteArray, id);
        QFETCH(int, depth);
        QFETCH(int, width);
        QFETCH(int, height);
        const P2Layout s = singleBlock(id, depth, width, height);
        P2Stats stats;
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s, &stats));
        if (width * height > 1000 && id.startsWith("P2S")) {
            // The picture really took the coding's paths.
            for (int d = 1; d <= 5; ++d)
                QVERIFY2(stats.chainSteps[d] > 0,
                         qPrintable(QStringLiteral("direction %1").arg(d)));
            QVERIFY(stats.cacheHits > 0);
            QVERIFY(stats.cacheMisses > 0);
        }
    }

    // Probability tables away from the fitted ones, including 0 and the largest value.
    void arithmeticWithOddTables() {
        for (uint32_t seed : {1u, 2u, 3u}) {
            P2Layout s = singleBlock("P2SS", 24, 31, 17);
            QRandomGenerator rng(seed);
            auto& prob = s.blocks[0].prob;
            for (int i = 0; i < 128; ++i)
                prob.push_back(seed == 1 ? 0 : seed == 2 ? 0xffff : uint16_t(rng.bounded(65536)));
            KORDEL_VERIFY_NO_FAILURE(roundTrip(s));
        }
    }

    // Runs of 1023 dots and more, and stretches of nothing but chains.
    void fastLongRunsAndChainStretches() {
        P2Layout s;
        s.depth = 24;
        s.width = 64;
        s.height = 60;
        P2Block b;
        b.id = "P2SF";
        b.width = s.width;
        b.height = s.height;
        for (int y = 0; y < s.height; ++y)
            for (int x = 0; x < s.width; ++x) {
                uint32_t v;
                if (y < 25)
                    v = 0x204060;  // flat: one long run
                else if (y < 27)
                    v = 0x102030 * uint32_t(x % 3);
                else
                    v = (x % 2) ? 0xff8000 : 0x0080ff;  // stripes: chains only
                b.dots.push_back(v);
            }
        s.blocks.push_back(b);
        P2Stats stats;
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s, &stats));
        QVERIFY(stats.longRuns > 0);
        QVERIFY(stats.chainOnlyStretches >= 2);
        QVERIFY(stats.lastLineChains > 0);
        // The same picture without chain-only stretches: plain long runs of chains.
        s.blocks[0].chainOnly = false;
        stats = {};
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s, &stats));
        QCOMPARE(stats.chainOnlyStretches, 0);
    }

    void composition() {
        P2Layout s;
        s.depth = 24;
        s.width = 6;  // grows to hold the blocks
        s.height = 4;
        P2Block a = pictureBlock("P2BM", 24, 5, 4);
        P2Block b = pictureBlock("P2SS", 24, 4, 3, 3, 2);
        // Block b lets block a show through wherever it has its first dot's colour.
        b.transparent = true;
        b.transparentColour = b.dots[0];
        for (size_t i = 0; i < b.dots.size(); i += 3)
            b.dots[i] = b.transparentColour;
        P2Block dpi;
        dpi.id = "PDPI";
        dpi.payload = QByteArray::fromHex("0048");
        P2Block unknown;
        unknown.id = "ABCD";
        unknown.payload = QByteArray(37, 'u');
        P2Block c = pictureBlock("P2SF", 24, 2, 2, 8, 0);
        s.blocks = {dpi, a, unknown, b, c};
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s));
        PictureInfo pi;
        QCOMPARE(info(encodeP2(s), pi), SPI_OK);
        QCOMPARE(pi.width, 10);
        QCOMPARE(pi.height, 5);
        const auto r = decode(encodeP2(s));
        QCOMPARE(r.image.pixel(9, 4), qRgb(0, 0, 0));                     // covered by no block
        QCOMPARE(r.image.pixel(3, 2), dotColour(24, a.dots[2 * 5 + 3]));  // seen through b

        // No end marker: the list ends with the file.
        s.endMarker = false;
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s));
        // A little zero padding at the end is fine, other stray bytes are not.
        QCOMPARE(decode(encodeP2(s) + QByteArray(3, '\0')).code, SPI_OK);
        QCOMPARE(decode(encodeP2(s) + "xyz").code, SPI_BROKEN_DATA);
        // A palette next to direct colours is skipped.
        s.paletteBits = 5;
        s.paletteEntries = 16;
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s));
    }

    void damagedFiles_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("infoResult");  // what the picture info sees of it
        const P2Layout s = singleBlock("P2SS", 24, 6, 5);
        const QByteArray good = encodeP2(s);
        const int block = p2BlockOffsets(s)[0];
        auto patch = [&](int at, const QByteArray& bytes) {
            QByteArray f = good;
            f.replace(at, bytes.size(), bytes);
            return f;
        };
        QTest::newRow("good") << good << int(SPI_OK) << int(SPI_OK);
        QTest::newRow("not PIC2") << QByteArray("P2DX") + good.mid(4) << int(SPI_UNKNOWN_FORMAT)
                                  << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("header cut")
            << good.left(100) << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("depth 8") << patch(110, QByteArray::fromHex("0008"))
                                 << int(SPI_UNKNOWN_FORMAT) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("depth 6") << patch(110, QByteArray::fromHex("0006"))
                                 << int(SPI_UNKNOWN_FORMAT) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("depth 16") << patch(110, QByteArray::fromHex("0010"))
                                  << int(SPI_UNKNOWN_FORMAT) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("header size past the end") << patch(106, QByteArray::fromHex("00100000"))
                                                  << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("header size too small") << patch(106, QByteArray::fromHex("00000010"))
                                               << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("palette of 300 entries")
            << patch(98, QByteArray::fromHex("0001")).insert(124, QByteArray::fromHex("08012c"))
            << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("block size 0") << patch(block + 4, QByteArray(4, '\0'))
                                      << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("block size 20") << patch(block + 4, QByteArray::fromHex("00000014"))
                                       << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("block past the end") << patch(block + 4, QByteArray::fromHex("00100000"))
                                            << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("block width 0") << patch(block + 10, QByteArray::fromHex("0000"))
                                       << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("probability table cut")
            << patch(block + 4, QByteArray::fromHex("00000064")).left(block + 100)
            << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        // Found only by decoding: the picture info stays available.
        QTest::newRow("code value outside the interval")
            << patch(block + 26 + 256, QByteArray::fromHex("ffff")) << int(SPI_BROKEN_DATA)
            << int(SPI_OK);
        QTest::newRow("no blocks")
            << good.left(block) << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
        QTest::newRow("only an unknown coding")
            << patch(block, "P2XX") << int(SPI_UNKNOWN_FORMAT) << int(SPI_UNKNOWN_FORMAT);
        QTest::newRow("block offset past the limit")
            << patch(block + 14, QByteArray::fromHex("ffff")) << int(SPI_NO_MEMORY)
            << int(SPI_NO_MEMORY);
        P2Layout raw = singleBlock("P2BM", 24, 6, 5);
        QByteArray shortRaw = encodeP2(raw);
        const int rawBlock = p2BlockOffsets(raw)[0];
        shortRaw.replace(rawBlock + 12, 2, QByteArray::fromHex("0006"));  // one line more
        QTest::newRow("raw block short of data")
            << shortRaw << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);

        // Many large blocks in a tiny file: refused rather than decoded for minutes.
        P2Layout many;
        many.depth = 24;
        many.width = 8000;
        many.height = 8000;
        QByteArray manyFile = encodeP2(many).chopped(8);
        for (int i = 0; i < 3; ++i) {
            P2Block b = pictureBlock("P2SS", 24, 1, 1);
            QByteArray bytes = encodeP2Block(b, 24);
            bytes.replace(10, 4, QByteArray::fromHex("1f401f40"));  // 8000 x 8000
            manyFile += bytes;
        }
        QTest::newRow("blocks cover the canvas thrice")
            << manyFile << int(SPI_NO_MEMORY) << int(SPI_NO_MEMORY);
        QByteArray endless = encodeP2(many).chopped(8);
        for (int i = 0; i < 5000; ++i)
            endless += QByteArray("PDPI\0\0\0\x0a\0\x48", 10);
        QTest::newRow("more than 4096 blocks")
            << endless << int(SPI_BROKEN_DATA) << int(SPI_BROKEN_DATA);
    }
    void damagedFiles() {
        QFETCH(QByteArray, file);
        QFETCH(int, result);
        QFETCH(int, infoResult);
        PictureInfo pi;
        QCOMPARE(info(file, pi), infoResult);
        QCOMPARE(decode(file).code, result);
    }

    void densities_data() {
        QTest::addColumn<int>("xAspect");
        QTest::addColumn<int>("yAspect");
        QTest::addColumn<int>("xDensity");
        QTest::addColumn<int>("yDensity");
        QTest::newRow("square") << 1 << 1 << 1 << 1;
        QTest::newRow("1:2, tall dots: heighten") << 1 << 2 << 2 << 1;
        QTest::newRow("2:1, wide dots: widen") << 2 << 1 << 1 << 2;
        QTest::newRow("4:3 X68000") << 4 << 3 << 3 << 4;
        QTest::newRow("2:4 reduced") << 2 << 4 << 2 << 1;
        QTest::newRow("zero") << 0 << 3 << 1 << 1;
    }
    void densities() {
        QFETCH(int, xAspect);
        QFETCH(int, yAspect);
        QFETCH(int, xDensity);
        QFETCH(int, yDensity);
        P2Layout s = singleBlock("P2BI", 15, 2, 2);
        s.xAspect = xAspect;
        s.yAspect = yAspect;
        PictureInfo pi;
        QCOMPARE(info(encodeP2(s), pi), SPI_OK);
        QCOMPARE(int(pi.x_density), xDensity);
        QCOMPARE(int(pi.y_density), yDensity);
    }

    // Every prefix of a two-block file: an error, except where whole blocks remain.
    void truncation() {
        const P2Layout s = twoBlocks();
        const QByteArray full = encodeP2(s);
        const std::vector<int> at = p2BlockOffsets(s);
        const QImage expected = expectedImage(s);
        const Cuts cuts{.name = "cut.p2",
                        .accepted = {SPI_OK, SPI_BROKEN_DATA, SPI_UNKNOWN_FORMAT}};
        KORDEL_VERIFY_NO_FAILURE(checkCuts(
            *spi_, files_, full, cuts, [&](qsizetype length, const SpiModule::Result& result) {
                if (result.code != SPI_OK || length == at[1])
                    return QString();
                if (length < at[2])
                    return QStringLiteral("decoded with a block cut");
                return firstDifference(result.image, expected);
            }));
    }

    void randomFlips() {
        QRandomGenerator rng(777);
        const Damage flips{.name = "flip.p2",
                           .accepted = {SPI_OK, SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA, SPI_NO_MEMORY},
                           .rounds = 3000};
        const DamageReport report = checkDamage(*spi_, files_, {encodeP2(twoBlocks())}, flips, rng);
        KORDEL_VERIFY_NO_FAILURE(report.failure);
        QVERIFY(report.decoded > 0);
    }

    void progressAndCancel() {
        const P2Layout s = twoBlocks();  // 5 + 4 lines
        const QString path = write(encodeP2(s));
        KORDEL_VERIFY_NO_FAILURE(progressMismatch(*spi_, path, 9, 1));
        int calls = 0;
        const auto r = spi_->picture(path, 0, [&](int, int) { return ++calls == 7 ? 1 : 0; });
        QCOMPARE(r.code, SPI_CANCELLED);
        QCOMPARE(calls, 7);
    }

    void dataAtAnOffset() {
        const P2Layout s = singleBlock("P2SF", 24, 9, 7);
        const QString path = write(QByteArray(128, '\x1a') + encodeP2(s));
        PictureInfo pi;
        QCOMPARE(spi_->picture(path, 0).code, SPI_UNKNOWN_FORMAT);
        QCOMPARE(spi_->pictureInfo(path, pi, 128), SPI_OK);
        const auto r = spi_->picture(path, 128);
        QCOMPARE(r.code, SPI_OK);
        QVERIFY(firstDifference(r.image, expectedImage(s)).isEmpty());
    }

    // The bundled sample: a 24-bit arithmetic-coded picture. Written to samples/ on request.
    void sample() {
        const int w = 160, h = 100;
        QImage img(w, h, QImage::Format_RGB32);
        QPainter p(&img);
        QLinearGradient sea(0, 0, 0, h);
        sea.setColorAt(0, QColor(250, 214, 140));
        sea.setColorAt(0.55, QColor(226, 110, 120));
        sea.setColorAt(1, QColor(40, 52, 120));
        p.fillRect(img.rect(), sea);
        p.setPen(Qt::NoPen);
        QRadialGradient sun(QPointF(112, 46), 22);
        sun.setColorAt(0, QColor(255, 250, 220));
        sun.setColorAt(1, QColor(255, 170, 90));
        p.setBrush(sun);
        p.drawEllipse(QPointF(112, 46), 22, 22);
        p.setBrush(QColor(30, 36, 70));
        p.drawRect(0, 70, w, 30);
        for (int i = 0; i < 6; ++i) {
            p.setBrush(QColor(255, 190, 120, 160 - i * 20));
            p.drawRect(QRectF(96 - i * 3, 74 + i * 4, 32 + i * 6, 2));
        }
        // A sailing boat against the sun.
        p.setBrush(QColor(20, 24, 40));
        p.drawPolygon(QPolygonF({{12, 63}, {58, 63}, {51, 70}, {19, 70}}));
        p.drawPolygon(QPolygonF({{36, 20}, {36, 61}, {58, 61}}));
        p.drawPolygon(QPolygonF({{33, 26}, {33, 61}, {16, 61}}));
        p.end();

        P2Layout s;
        s.depth = 24;
        s.width = w;
        s.height = h;
        s.comment = "Kordel sample";
        P2Block b;
        b.width = w;
        b.height = h;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                b.dots.push_back(img.pixel(x, y) & 0xffffff);
        s.blocks.push_back(b);
        const QByteArray file = encodeP2(s);
        KORDEL_VERIFY_NO_FAILURE(roundTrip(s));
        KORDEL_VERIFY_NO_FAILURE(
            sampleMismatch(*spi_, QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.p2"), file));
    }
};

QTEST_GUILESS_MAIN(TestIfpic2)
#include "test_ifpic2.moc"
