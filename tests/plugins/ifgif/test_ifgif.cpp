// Tests of the GIF decoder plug-in with files written here by giflib.
#include <dlfcn.h>
#include <gif_lib.h>

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "plugin_tests.h"

using namespace kordel::test;

namespace {

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<QRgb> local;  // empty: the global table applies
    int transparent = -1;
    std::vector<uint8_t> pixels;
};

struct GifSpec {
    int width = 0, height = 0;
    std::vector<QRgb> global;  // empty: no global table
    int background = 0;
    std::vector<Frame> frames;
};

int writeToArray(GifFileType* gif, const GifByteType* data, int len) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), len);
    return len;
}

// giflib wants tables of 2^n entries; the rest is black.
ColorMapObject* makeMap(const std::vector<QRgb>& colours) {
    if (colours.empty())
        return nullptr;
    int size = 2;
    while (size < int(colours.size()))
        size *= 2;
    std::vector<GifColorType> c(size_t(size), GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size(); ++i)
        c[i] = GifColorType{GifByteType(qRed(colours[i])), GifByteType(qGreen(colours[i])),
                            GifByteType(qBlue(colours[i]))};
    return GifMakeMapObject(size, c.data());
}

QByteArray encodeGif(const GifSpec& layout) {
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, writeToArray, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = makeMap(layout.global);
    EGifPutScreenDesc(gif, layout.width, layout.height, 8, layout.background, global);
    GifFreeMapObject(global);
    for (const Frame& f : layout.frames) {
        if (f.transparent >= 0) {
            GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 10, f.transparent};
            GifByteType ext[4];
            EGifGCBToExtension(&gcb, ext);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        }
        ColorMapObject* local = makeMap(f.local);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local);
        GifFreeMapObject(local);
        static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < (f.interlaced ? 4 : 1); ++pass) {
            for (int y = f.interlaced ? kStart[pass] : 0; y < f.height;
                 y += f.interlaced ? kStep[pass] : 1) {
                std::vector<GifPixelType> row(f.pixels.begin() + y * f.width,
                                              f.pixels.begin() + (y + 1) * f.width);
                EGifPutLine(gif, row.data(), f.width);
            }
        }
    }
    EGifCloseFile(gif, &error);
    return out;
}

std::vector<QRgb> palette(int n) {
    std::vector<QRgb> p;
    for (int i = 0; i < n; ++i)
        p.push_back(qRgb((i * 37) & 255, (i * 91 + 40) & 255, 255 - i * 255 / std::max(1, n - 1)));
    return p;
}

Frame patternFrame(int w, int h, int colours, int left = 0, int top = 0) {
    Frame f;
    f.left = left;
    f.top = top;
    f.width = w;
    f.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            f.pixels.push_back(uint8_t((x * 7 + y * 3 + x * y) % colours));
    return f;
}

// The header and colour table as delivered, before any conversion.
struct RawDib {
    int code = -1;
    SpiBitmapInfoHeader header{};
    std::vector<QRgb> table;
};

RawDib rawPicture(const QString& path) {
    RawDib r;
    void* module = dlopen(KORDEL_BIN_DIR "/ifgif.spi", RTLD_NOW | RTLD_LOCAL);
    auto get = reinterpret_cast<SpiGetPicture>(dlsym(module, "GetPicture"));
    void* info = nullptr;
    void* bits = nullptr;
    r.code = get(QFile::encodeName(path).constData(), 0, 0, &info, &bits, nullptr, 0);
    if (r.code == 0) {
        std::memcpy(&r.header, info, sizeof r.header);
        const auto* q = reinterpret_cast<const SpiRgbQuad*>(static_cast<char*>(info) + 40);
        for (uint32_t i = 0; i < r.header.biClrUsed; ++i)
            r.table.push_back(qRgb(q[i].rgbRed, q[i].rgbGreen, q[i].rgbBlue));
    }
    std::free(info);
    std::free(bits);
    dlclose(module);
    return r;
}

}  // namespace

class TestIfGif : public QObject {
    Q_OBJECT

private:
    TestFiles files_;
    SpiModule spi_{QStringLiteral("ifgif.spi")};

    // Every pixel of `img` inside the frame shows the frame's colour.
    static bool showsFrame(const QImage& img, const Frame& f, const std::vector<QRgb>& table) {
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) {
                const int i = f.pixels[size_t(y * f.width + x)];
                if (i == f.transparent)
                    continue;
                if (img.pixel(f.left + x, f.top + y) != table[size_t(i)])
                    return false;
            }
        return true;
    }

private slots:
    void initTestCase() {
        QVERIFY(files_.isValid());
        QVERIFY2(spi_.isLoaded(), qPrintable(spi_.error()));
    }

    void pluginInfoAndSignature() {
        KORDEL_VERIFY_NO_FAILURE(pluginInfoMismatch(spi_, "*.gif"));
        GifSpec s{8, 8, palette(4), 0, {patternFrame(8, 8, 4)}};
        QVERIFY(spi_.isSupported(files_.write("sig.gif", encodeGif(s))));
        QVERIFY(!spi_.isSupported(files_.write("sig.jpg", "\xFF\xD8\xFF\xE0")));
        QVERIFY(!spi_.isSupported(files_.write("gif90.gif", "GIF90a")));
    }

    void decodesTables_data() {
        QTest::addColumn<int>("colours");
        QTest::addColumn<bool>("interlaced");
        QTest::addColumn<int>("depth");
        QTest::newRow("2 colours") << 2 << false << 1;
        QTest::newRow("16 colours") << 16 << false << 4;
        QTest::newRow("256 colours") << 256 << false << 8;
        QTest::newRow("interlaced 256") << 256 << true << 8;
        QTest::newRow("interlaced 3 rows") << 16 << true << 4;
    }
    void decodesTables() {
        QFETCH(int, colours);
        QFETCH(bool, interlaced);
        QFETCH(int, depth);
        const int h = QByteArray(QTest::currentDataTag()).contains("3 rows") ? 3 : 37;
        Frame f = patternFrame(41, h, colours);
        f.interlaced = interlaced;
        const QString path =
            files_.write("tables.gif", encodeGif({41, h, palette(colours), 0, {f}}));
        SpiModule::Result r;
        KORDEL_VERIFY_NO_FAILURE(
            decodeMismatch(spi_, path, {.size = QSize(41, h), .depth = depth, .bitCount = 8}, &r));
        QVERIFY(showsFrame(r.image, f, palette(colours)));
        // The colour table is the file's, nothing added.
        const RawDib raw = rawPicture(path);
        QCOMPARE(int(raw.header.biClrUsed), colours);
        QCOMPARE(raw.table, palette(colours));
    }

    void localTableWins() {
        Frame f = patternFrame(20, 10, 16);
        f.local = palette(16);
        std::reverse(f.local.begin(), f.local.end());
        const QString path = files_.write("local.gif", encodeGif({20, 10, palette(4), 0, {f}}));
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(path, info), 0);
        QCOMPARE(int(info.colorDepth), 4);
        QVERIFY(showsFrame(spi_.picture(path).image, f, f.local));
    }

    void backgroundShowsThrough() {
        const std::vector<QRgb> table = palette(8);
        // Transparent pixels take the screen's background colour; the entry of the
        // transparent index is reused for it.
        Frame f = patternFrame(12, 9, 8);
        f.transparent = 2;
        QString path = files_.write("transparent.gif", encodeGif({12, 9, table, 5, {f}}));
        SpiModule::Result r = spi_.picture(path);
        QCOMPARE(r.code, 0);
        QVERIFY(showsFrame(r.image, f, table));
        QCOMPARE(r.image.pixel(6, 0), table[5]);  // pixel (6, 0) has index 2
        QCOMPARE(int(rawPicture(path).header.biClrUsed), 8);

        // A frame smaller than the screen sits at its offset on the background.
        f = patternFrame(10, 8, 8, 5, 6);
        path = files_.write("offset.gif", encodeGif({40, 30, table, 3, {f}}));
        r = spi_.picture(path);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.size(), QSize(40, 30));
        QVERIFY(showsFrame(r.image, f, table));
        QCOMPARE(r.image.pixel(0, 0), table[3]);
        QCOMPARE(r.image.pixel(39, 29), table[3]);
        QCOMPARE(r.image.pixel(15, 10), table[3]);
        QCOMPARE(int(rawPicture(path).header.biClrUsed), 9);  // background added

        // A full table without transparency: the closest colour stands in.
        std::vector<QRgb> gray;
        for (int i = 0; i < 256; ++i)
            gray.push_back(qRgb(i, i, i));
        f = patternFrame(10, 8, 256, 2, 2);
        f.local = gray;
        r = spi_.picture(files_.write("full.gif", encodeGif({20, 20, {qRgb(255, 0, 0)}, 0, {f}})));
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.pixel(0, 0), qRgb(85, 85, 85));

        // No global table: the background index names no colour; white is shown.
        f = patternFrame(10, 8, 4, 3, 3);
        f.local = palette(4);
        f.transparent = 0;
        r = spi_.picture(files_.write("noglobal.gif", encodeGif({20, 20, {}, 1, {f}})));
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.pixel(0, 0), qRgb(255, 255, 255));
        QCOMPARE(r.image.pixel(3, 3), qRgb(255, 255, 255));  // index 0: transparent
        QVERIFY(showsFrame(r.image, f, f.local));
    }

    void frameOutsideScreenWidensPicture() {
        Frame f = patternFrame(20, 10, 4);
        QString path = files_.write("zero.gif", encodeGif({0, 0, palette(4), 0, {f}}));
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(path, info), 0);
        QCOMPARE(QSize(info.width, info.height), QSize(20, 10));
        QCOMPARE(spi_.picture(path).image.size(), QSize(20, 10));

        f = patternFrame(20, 10, 4, 5, 2);
        path = files_.write("wide.gif", encodeGif({10, 10, palette(4), 0, {f}}));
        QCOMPARE(spi_.pictureInfo(path, info), 0);
        QCOMPARE(QSize(info.width, info.height), QSize(25, 12));
        const SpiModule::Result r = spi_.picture(path);
        QCOMPARE(r.image.size(), QSize(25, 12));
        QVERIFY(showsFrame(r.image, f, palette(4)));
    }

    void firstFrameOnly() {
        Frame first = patternFrame(16, 16, 4);
        Frame second = patternFrame(16, 16, 4);
        std::fill(second.pixels.begin(), second.pixels.end(), 3);
        const QString path =
            files_.write("anim.gif", encodeGif({16, 16, palette(4), 0, {first, second}}));
        const SpiModule::Result r = spi_.picture(path);
        QCOMPARE(r.code, 0);
        QVERIFY(showsFrame(r.image, first, palette(4)));
    }

    void offsetAndOtherInput() {
        const QByteArray gif = encodeGif({16, 12, palette(16), 0, {patternFrame(16, 12, 16)}});
        const QString path = files_.write("offset128.gif", QByteArray(128, '\0') + gif);
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(path, info, 0), 2);
        QCOMPARE(spi_.picture(path, 0).code, 2);
        QCOMPARE(spi_.picture(path, 128).image, spi_.picture(files_.write("plain.gif", gif)).image);
        QCOMPARE(spi_.picture(files_.write("text.gif", "not a picture at all")).code, 2);
        QCOMPARE(spi_.pictureInfo(files_.path("missing.gif"), info), 6);
        // A file with no picture in it.
        QByteArray empty = encodeGif({16, 12, palette(4), 0, {}});
        QCOMPARE(spi_.picture(files_.write("empty.gif", empty)).code, 3);
    }

    void truncatedFiles() {
        Frame f = patternFrame(120, 90, 256);
        for (size_t i = 0; i < f.pixels.size(); ++i)
            f.pixels[i] = uint8_t((f.pixels[i] * 31 + i / 7) & 255);
        const QByteArray gif = encodeGif({120, 90, palette(256), 0, {f}});
        const int dataStart = 13 + 256 * 3 + 10 + 1;  // header, table, descriptor, code size
        QVERIFY(gif.size() > 4000);
        const Cuts cuts{
            .name = "cut.gif", .accepted = {0, 2, 3}, .step = 149, .size = QSize(120, 90)};
        KORDEL_VERIFY_NO_FAILURE(checkCuts(
            spi_, files_, gif, cuts, [&](qsizetype length, const SpiModule::Result& result) {
                const QString code =
                    codeOutside(result.code, length < 6                 ? Codes{2}
                                             : length <= dataStart      ? Codes{3}
                                             : length > dataStart + 400 ? Codes{0}
                                                                        : Codes{0, 3});
                if (code.isEmpty() && result.code == 0 &&
                    result.image.pixel(5, 0) != palette(256)[f.pixels[5]])
                    return QStringLiteral("first row lost");
                return code;
            }));
        // Lost rows show the background.
        const SpiModule::Result r = spi_.picture(files_.write("cut.gif", gif.left(gif.size() / 2)));
        QCOMPARE(r.image.pixel(60, 89), palette(256)[0]);
    }

    void randomDamage() {
        Frame f = patternFrame(50, 40, 16, 3, 4);
        f.transparent = 1;
        Frame g = patternFrame(50, 40, 16);
        g.interlaced = true;
        g.local = palette(16);
        const QByteArray files[] = {encodeGif({60, 50, palette(16), 2, {f, g}}),
                                    encodeGif({50, 40, {}, 0, {g}})};
        QRandomGenerator rng(77031);
        const Damage damage{
            .name = "fuzz.gif", .accepted = {0, 2, 3, 4}, .rounds = 150, .set = true};
        for (const QByteArray& original : files)
            KORDEL_VERIFY_NO_FAILURE(checkDamage(spi_, files_, {original}, damage, rng).failure);
    }

    void refusesHugePictures() {
        PictureInfo info;
        QString path =
            files_.write("wide.gif", encodeGif({40000, 2, palette(2), 0, {patternFrame(2, 2, 2)}}));
        QCOMPARE(spi_.pictureInfo(path, info), 0);
        QCOMPARE(info.width, 40000);
        QCOMPARE(spi_.picture(path).code, 4);
        path = files_.write("big.gif",
                            encodeGif({20000, 20000, palette(2), 0, {patternFrame(2, 2, 2)}}));
        QCOMPARE(spi_.picture(path).code, 4);
    }

    void progressAndCancel() {
        const QString path = files_.write(
            "progress.gif", encodeGif({30, 100, palette(16), 0, {patternFrame(30, 100, 16)}}));
        KORDEL_VERIFY_NO_FAILURE(progressMismatch(spi_, path, 100, 100 / 8));
    }

    // samples/sample.gif: written again only when KORDEL_WRITE_SAMPLES is set.
    void sample() {
        const QString path = QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.gif");
        if (qEnvironmentVariableIsSet("KORDEL_WRITE_SAMPLES")) {
            // Bands of a sunset-coloured ramp, with rings and a few stars drawn on
            // top by index, so the file stays small without dithering noise.
            std::vector<QRgb> table;
            for (int i = 0; i < 64; ++i)
                table.push_back(qRgb(30 + i * 3, 20 + i * 2, 120 - i));
            for (int i = 0; i < 64; ++i)
                table.push_back(qRgb(20, 60 + i * 2, 90 + i * 2));
            table.push_back(qRgb(255, 245, 200));
            table.push_back(qRgb(250, 120, 80));
            Frame f;
            f.width = 200;
            f.height = 150;
            for (int y = 0; y < 150; ++y) {
                for (int x = 0; x < 200; ++x) {
                    int v = y * 63 / 149;
                    const int dx = x - 130, dy = y - 70;
                    const int d2 = dx * dx + dy * dy;
                    if (d2 < 30 * 30)
                        v = 64 + (63 - (d2 * 63) / (30 * 30));
                    if (d2 >= 34 * 34 && d2 < 37 * 37)
                        v = 129;
                    const int hill = 120 - int(18 * std::sin(x / 30.0));
                    if (y > hill)
                        v = 64 + (y - hill) * 2 % 40;
                    if ((x * 7 + y * 13) % 211 == 0 && y < hill - 10 && d2 > 40 * 40)
                        v = 128;
                    f.pixels.push_back(uint8_t(v));
                }
            }
            f.local = {};
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(encodeGif({200, 150, table, 0, {f}}));
        }
        if (!QFile::exists(path))
            QSKIP("samples/sample.gif is not there");
        QVERIFY(QFileInfo(path).size() < 30 * 1024);
        const SpiModule::Result r = spi_.picture(path);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.size(), QSize(200, 150));
    }
};

QTEST_MAIN(TestIfGif)
#include "test_ifgif.moc"
