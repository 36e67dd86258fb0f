// Tests of the TIFF decoder plug-in with files written here by libtiff.
#include <tiffio.h>

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

#include "plugin_tests.h"

using namespace kordel::test;

namespace {

// What to write. sample(x, y, s) gives sample s of pixel (x, y) at the file's bit depth.
struct TiffSpec {
    int width = 50, height = 37;
    int samples = 3, bits = 8;
    uint16_t photometric = PHOTOMETRIC_RGB;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t predictor = 0;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t extra = 0xFFFF;  // kind of the one extra sample, if any
    bool tiled = false;
    int rowsPerStrip = 8;
    std::vector<uint16_t> colourMap;  // red, green, blue runs of 2^bits entries
    std::function<int(int, int, int)> sample;
};

// One row of pixels packed as libtiff stores them (samples 0..n-1 of each pixel,
// or only `plane` for separate planes).
std::vector<uint8_t> packRow(const TiffSpec& t, int y, int plane = -1) {
    const int n = plane < 0 ? t.samples : 1;
    const size_t bits = size_t(t.width) * size_t(n) * size_t(t.bits);
    std::vector<uint8_t> row((bits + 7) / 8, 0);
    size_t pos = 0;
    for (int x = 0; x < t.width; ++x) {
        for (int s = 0; s < n; ++s) {
            const int v = t.sample(x, y, plane < 0 ? s : plane);
            if (t.bits == 32) {
                const uint32_t w = uint32_t(v);
                std::memcpy(row.data() + pos / 8, &w, 4);
            } else if (t.bits == 16) {
                const uint16_t w = uint16_t(v);
                std::memcpy(row.data() + pos / 8, &w, 2);
            } else if (t.bits == 8) {
                row[pos / 8] = uint8_t(v);
            } else {
                row[pos / 8] |= uint8_t(v << (8 - t.bits - int(pos % 8)));
            }
            pos += size_t(t.bits);
        }
    }
    return row;
}

bool writeTiffPage(TIFF* tif, const TiffSpec& t) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(t.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(t.height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(t.samples));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(t.bits));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, t.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, t.planar);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, t.orientation);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, t.compression);
    if (t.predictor)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, t.predictor);
    if (t.extra != 0xFFFF) {
        const uint16_t kind = t.extra;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &kind);
    }
    if (t.photometric == PHOTOMETRIC_SEPARATED)
        TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    if (!t.colourMap.empty()) {
        const size_t n = size_t(1) << t.bits;
        TIFFSetField(tif, TIFFTAG_COLORMAP, t.colourMap.data(), t.colourMap.data() + n,
                     t.colourMap.data() + 2 * n);
    }
    if (t.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 92);
        if (t.photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (!t.tiled) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(t.rowsPerStrip));
        const int planes = t.planar == PLANARCONFIG_SEPARATE ? t.samples : 1;
        for (int p = 0; p < planes; ++p) {
            for (int y = 0; y < t.height; ++y) {
                std::vector<uint8_t> row =
                    packRow(t, y, t.planar == PLANARCONFIG_SEPARATE ? p : -1);
                if (TIFFWriteScanline(tif, row.data(), uint32_t(y), uint16_t(p)) < 0)
                    return false;
            }
        }
        return TIFFWriteDirectory(tif) != 0;
    }
    const int tw = 16, th = 16;
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(tw));
    TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(th));
    const size_t tileRow = size_t(tw) * size_t(t.samples) * size_t(t.bits) / 8;
    for (int ty = 0; ty < t.height; ty += th) {
        for (int tx = 0; tx < t.width; tx += tw) {
            std::vector<uint8_t> tile(tileRow * th, 0);
            // Pixels past the picture repeat its edge, as JPEG encoders pad.
            for (int r = 0; r < th; ++r) {
                const std::vector<uint8_t> row = packRow(t, std::min(ty + r, t.height - 1));
                uint8_t* out = tile.data() + size_t(r) * tileRow;
                if (t.bits % 8 == 0) {
                    const size_t px = size_t(t.samples) * size_t(t.bits) / 8;
                    for (int c = 0; c < tw; ++c)
                        std::memcpy(out + size_t(c) * px,
                                    row.data() + size_t(std::min(tx + c, t.width - 1)) * px, px);
                } else {
                    const size_t from = size_t(tx) * size_t(t.samples) * size_t(t.bits) / 8;
                    std::memcpy(out, row.data() + from, std::min(tileRow, row.size() - from));
                }
            }
            if (TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, uint32_t(tx), uint32_t(ty), 0, 0),
                                     tile.data(), tmsize_t(tile.size())) < 0)
                return false;
        }
    }
    return TIFFWriteDirectory(tif) != 0;
}

bool writeTiff(const QString& path, const std::vector<TiffSpec>& pages) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    bool ok = true;
    for (const TiffSpec& t : pages)
        ok = ok && writeTiffPage(tif, t);
    TIFFClose(tif);
    return ok;
}

int rgbSample(int x, int y, int s) {
    switch (s) {
        case 0:
            return x * 255 / 49;
        case 1:
            return y * 255 / 36;
        case 2:
            return (x * 4 + y * 3) & 255;
        default:
            return (x * 5 + y * 11) & 255;
    }
}

std::vector<uint16_t> colourMap(int bits, bool eightBit) {
    const int n = 1 << bits;
    std::vector<uint16_t> m(size_t(3 * n));
    for (int i = 0; i < n; ++i) {
        const int v[3] = {(i * 53) & 255, (i * 101 + 30) & 255, 255 - (i * 255) / (n - 1)};
        for (int c = 0; c < 3; ++c)
            m[size_t(c * n + i)] = uint16_t(eightBit ? v[c] : v[c] * 257);
    }
    return m;
}

void put32(QByteArray& d, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        d[at + i] = char(v >> (8 * i));
}

// The same picture laid out with its directory first and its strips after it, so
// that cutting the file loses strips rather than the directory (libtiff writes
// the directory last).
QByteArray directoryFirst(const QString& path) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    uint32_t w = 0, h = 0, rps = 0;
    uint16_t compression = 1, predictor = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rps);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &predictor);
    std::vector<QByteArray> strips;
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        QByteArray raw(int(TIFFRawStripSize(tif, s)), '\0');
        TIFFReadRawStrip(tif, s, raw.data(), raw.size());
        strips.push_back(raw);
    }
    TIFFClose(tif);

    const int n = int(strips.size());
    const int entries = 11;
    const int ifd = 8, ifdSize = 2 + entries * 12 + 4;
    const int bpsAt = ifd + ifdSize, offsetsAt = bpsAt + 6, countsAt = offsetsAt + 4 * n;
    int dataAt = countsAt + 4 * n;
    QByteArray d(dataAt, '\0');
    d[0] = 'I';
    d[1] = 'I';
    d[2] = 42;
    put32(d, 4, uint32_t(ifd));
    d[ifd] = char(entries);
    int e = ifd + 2;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        d[e] = char(tag);
        d[e + 1] = char(tag >> 8);
        d[e + 2] = char(type);
        d[e + 4] = char(count);
        d[e + 5] = char(count >> 8);
        put32(d, e + 8, value);
        e += 12;
    };
    entry(TIFFTAG_IMAGEWIDTH, TIFF_LONG, 1, w);
    entry(TIFFTAG_IMAGELENGTH, TIFF_LONG, 1, h);
    entry(TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, 3, uint32_t(bpsAt));
    entry(TIFFTAG_COMPRESSION, TIFF_SHORT, 1, compression);
    entry(TIFFTAG_PHOTOMETRIC, TIFF_SHORT, 1, PHOTOMETRIC_RGB);
    entry(TIFFTAG_STRIPOFFSETS, TIFF_LONG, uint32_t(n), uint32_t(offsetsAt));
    entry(TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, 1, 3);
    entry(TIFFTAG_ROWSPERSTRIP, TIFF_LONG, 1, rps);
    entry(TIFFTAG_STRIPBYTECOUNTS, TIFF_LONG, uint32_t(n), uint32_t(countsAt));
    entry(TIFFTAG_PLANARCONFIG, TIFF_SHORT, 1, PLANARCONFIG_CONTIG);
    entry(TIFFTAG_PREDICTOR, TIFF_SHORT, 1, predictor);
    for (int i = 0; i < 3; ++i)
        d[bpsAt + 2 * i] = 8;
    for (int s = 0; s < n; ++s) {
        put32(d, offsetsAt + 4 * s, uint32_t(dataAt));
        put32(d, countsAt + 4 * s, uint32_t(strips[size_t(s)].size()));
        d.append(strips[size_t(s)]);
        dataAt += int(strips[size_t(s)].size());
    }
    return d;
}

}  // namespace

class TestIfTiff : public QObject {
    Q_OBJECT

private:
    TestFiles files_;
    SpiModule spi_{QStringLiteral("iftiff.spi")};

    QByteArray read(const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private slots:
    void initTestCase() {
        QVERIFY(files_.isValid());
        QVERIFY2(spi_.isLoaded(), qPrintable(spi_.error()));
    }

    void pluginInfoAndSignature() {
        KORDEL_VERIFY_NO_FAILURE(pluginInfoMismatch(spi_, "*.tif;*.tiff"));
        QVERIFY(spi_.isSupported(files_.write("le.tif", QByteArray("II*\0", 4))));
        QVERIFY(spi_.isSupported(files_.write("be.tif", QByteArray("MM\0*", 4))));
        QVERIFY(spi_.isSupported(files_.write("big.tif", QByteArray("II+\0", 4))));
        QVERIFY(!spi_.isSupported(files_.write("no.tif", QByteArray("II\0*", 4))));
        QVERIFY(!spi_.isSupported(files_.write("gif.tif", "GIF89a")));
    }

    void decodesLayouts_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("depth");      // colorDepth of the info
        QTest::addColumn<int>("bitCount");   // of the DIB
        QTest::addColumn<int>("tolerance");  // largest channel difference allowed
        const char* names[] = {
            "rgb none",
            "rgb lzw predictor",
            "rgb deflate",
            "rgb packbits",
            "rgb jpeg ycbcr",
            "rgb jpeg",
            "rgb tiles lzw",
            "gray 1",
            "gray 2 tiles",
            "gray 4",
            "gray 8",
            "gray 16",
            "miniswhite 1",
            "palette 1",
            "palette 4",
            "palette 8 tiles",
            "palette 8-bit map",
            "cmyk",
            "cmyk tiles",
            "rgba unassociated",
            "rgb 16",
            "rgb planes",
            "rgb bottom-up",
            "cmyk bottom-up",
            "rgb mirrored",
            "gray 8 jpeg",
            "rgb jpeg ycbcr tiles",
        };
        const int depths[] = {24, 24, 24, 24, 24, 24, 24, 1,  2,  4,  8,  16, 1, 1,
                              4,  8,  8,  32, 32, 32, 48, 24, 24, 32, 24, 8,  24};
        const int dibBits[] = {24, 24, 24, 24, 24, 24, 24, 8,  8,  8,  8,  8, 8, 8,
                               8,  8,  8,  24, 24, 24, 24, 24, 24, 24, 24, 8, 24};
        const int tolerances[] = {0, 0, 0, 0, 16, 16, 0, 0, 0, 0, 0, 0,  0, 0,
                                  0, 0, 0, 1, 1,  2,  1, 0, 0, 1, 0, 12, 16};
        for (int i = 0; i < int(std::size(names)); ++i)
            QTest::newRow(names[i]) << i << depths[i] << dibBits[i] << tolerances[i];
    }
    void decodesLayouts() {
        QFETCH(int, kind);
        QFETCH(int, depth);
        QFETCH(int, bitCount);
        QFETCH(int, tolerance);
        const QByteArray name = QTest::currentDataTag();
        TiffSpec t;
        t.sample = rgbSample;
        // Expected colour of display pixel (x, y).
        std::function<QRgb(int, int)> expected = [](int x, int y) {
            return qRgb(rgbSample(x, y, 0), rgbSample(x, y, 1), rgbSample(x, y, 2));
        };
        switch (kind) {
            case 1:
                t.compression = COMPRESSION_LZW;
                t.predictor = PREDICTOR_HORIZONTAL;
                break;
            case 2:
                t.compression = COMPRESSION_ADOBE_DEFLATE;
                break;
            case 3:
                t.compression = COMPRESSION_PACKBITS;
                break;
            case 4:
            case 5:
            case 26:
                // Smooth content: JPEG blurs colour edges.
                t.compression = COMPRESSION_JPEG;
                t.photometric = kind == 5 ? PHOTOMETRIC_RGB : PHOTOMETRIC_YCBCR;
                t.tiled = kind == 26;
                t.rowsPerStrip = 16;
                t.sample = [](int x, int y, int s) {
                    return s == 2 ? 40 + 2 * x + 2 * y : rgbSample(x, y, s);
                };
                expected = [](int x, int y) {
                    return qRgb(rgbSample(x, y, 0), rgbSample(x, y, 1), 40 + 2 * x + 2 * y);
                };
                break;
            case 6:
                t.tiled = true;
                t.compression = COMPRESSION_LZW;
                break;
            case 7:
            case 8:
            case 9:
            case 10:
            case 11:
            case 12:
            case 25: {
                const int bits = kind == 7 || kind == 12 ? 1
                                 : kind == 8             ? 2
                                 : kind == 9             ? 4
                                 : kind == 11            ? 16
                                                         : 8;
                t.samples = 1;
                t.bits = bits;
                t.tiled = kind == 8;
                t.photometric = kind == 12 ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
                const int levels = bits == 16 ? 256 : 1 << bits;
                std::function<int(int, int)> level = [levels](int x, int y) {
                    return (x + 2 * y) % levels;
                };
                if (kind == 25) {
                    t.compression = COMPRESSION_JPEG;
                    t.rowsPerStrip = 16;
                    level = [](int x, int y) { return (x * 5 + y * 3) & 255; };
                }
                t.sample = [=](int x, int y, int) {
                    return bits == 16 ? level(x, y) * 257 : level(x, y);
                };
                const bool white = kind == 12;
                expected = [=](int x, int y) {
                    int v = level(x, y) * 255 / (levels - 1);
                    if (white)
                        v = 255 - v;
                    return qRgb(v, v, v);
                };
                break;
            }
            case 13:
            case 14:
            case 15:
            case 16: {
                const int bits = kind == 13 ? 1 : kind == 14 ? 4 : 8;
                t.samples = 1;
                t.bits = bits;
                t.tiled = kind == 15;
                t.photometric = PHOTOMETRIC_PALETTE;
                t.colourMap = colourMap(bits, kind == 16);
                const int n = 1 << bits;
                t.sample = [n](int x, int y, int) { return (x * 3 + y) % n; };
                const std::vector<uint16_t> m = colourMap(bits, true);
                expected = [=](int x, int y) {
                    const int i = (x * 3 + y) % n;
                    return qRgb(m[size_t(i)], m[size_t(n + i)], m[size_t(2 * n + i)]);
                };
                break;
            }
            case 17:
            case 18:
            case 23:
                t.samples = 4;
                t.photometric = PHOTOMETRIC_SEPARATED;
                t.tiled = kind == 18;
                t.orientation = kind == 23 ? ORIENTATION_BOTLEFT : ORIENTATION_TOPLEFT;
                expected = [](int x, int y) {
                    const int k = 255 - rgbSample(x, y, 3);
                    return qRgb(k * (255 - rgbSample(x, y, 0)) / 255,
                                k * (255 - rgbSample(x, y, 1)) / 255,
                                k * (255 - rgbSample(x, y, 2)) / 255);
                };
                break;
            case 19:
                t.samples = 4;
                t.extra = EXTRASAMPLE_UNASSALPHA;
                expected = [](int x, int y) {
                    const int a = rgbSample(x, y, 3);
                    auto over = [a](int c) { return (c * a + 127) / 255 + 255 - a; };
                    return qRgb(over(rgbSample(x, y, 0)), over(rgbSample(x, y, 1)),
                                over(rgbSample(x, y, 2)));
                };
                break;
            case 20:
                t.bits = 16;
                t.sample = [](int x, int y, int s) { return rgbSample(x, y, s) * 257; };
                break;
            case 21:
                t.planar = PLANARCONFIG_SEPARATE;
                break;
            case 22:
                t.orientation = ORIENTATION_BOTLEFT;
                break;
            case 24:
                t.orientation = ORIENTATION_TOPRIGHT;
                break;
        }
        const QString path = files_.write("layout.tif", QByteArray());
        QVERIFY(writeTiff(path, {t}));

        SpiModule::Result r;
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(
            spi_, path, {.size = QSize(50, 37), .depth = depth, .bitCount = bitCount}, &r));
        const bool flipRows = t.orientation == ORIENTATION_BOTLEFT;
        const bool flipColumns = t.orientation == ORIENTATION_TOPRIGHT;
        int worst = 0;
        QPoint at;
        for (int y = 0; y < 37; ++y) {
            for (int x = 0; x < 50; ++x) {
                const QRgb want = expected(flipColumns ? 49 - x : x, flipRows ? 36 - y : y);
                const QRgb got = r.image.pixel(x, y);
                const int e = std::max({std::abs(qRed(want) - qRed(got)),
                                        std::abs(qGreen(want) - qGreen(got)),
                                        std::abs(qBlue(want) - qBlue(got))});
                if (e > worst) {
                    worst = e;
                    at = QPoint(x, y);
                }
            }
        }
        QVERIFY2(worst <= tolerance, qPrintable(QStringLiteral("%1 off by %2 at %3,%4")
                                                    .arg(QString::fromLatin1(name))
                                                    .arg(worst)
                                                    .arg(at.x())
                                                    .arg(at.y())));
    }

    void firstPageOnly() {
        TiffSpec first;
        first.sample = rgbSample;
        TiffSpec second = first;
        second.width = 20;
        second.height = 10;
        second.sample = [](int, int, int) { return 7; };
        const QString path = files_.write("pages.tif", QByteArray());
        QVERIFY(writeTiff(path, {first, second}));
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(path, info), 0);
        QCOMPARE(QSize(info.width, info.height), QSize(50, 37));
        const SpiModule::Result r = spi_.picture(path);
        QCOMPARE(r.image.size(), QSize(50, 37));
        QCOMPARE(r.image.pixel(49, 36), qRgb(255, 255, (49 * 4 + 36 * 3) & 255));
    }

    void offsetAndOtherInput() {
        TiffSpec t;
        t.sample = rgbSample;
        t.compression = COMPRESSION_LZW;
        const QString plain = files_.write("plain.tif", QByteArray());
        QVERIFY(writeTiff(plain, {t}));
        const QString path = files_.write("offset.tif", QByteArray(128, 'z') + read(plain));
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(path, info, 0), 2);
        QCOMPARE(spi_.picture(path, 0).code, 2);
        QCOMPARE(spi_.pictureInfo(path, info, 128), 0);
        QCOMPARE(spi_.picture(path, 128).image, spi_.picture(plain).image);
        QCOMPARE(spi_.picture(files_.write("text.tif", "not a picture")).code, 2);
        QCOMPARE(spi_.pictureInfo(files_.path("missing.tif"), info), 6);
        // Float samples are sound TIFF, but not something we show.
        TiffSpec f;
        f.samples = 1;
        f.bits = 32;
        f.photometric = PHOTOMETRIC_MINISBLACK;
        f.sample = [](int, int, int) { return 0; };
        const QString floats = files_.write("float.tif", QByteArray());
        TIFF* tif = TIFFOpen(QFile::encodeName(floats).constData(), "w");
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
        QVERIFY(writeTiffPage(tif, f));
        TIFFClose(tif);
        QCOMPARE(spi_.picture(floats).code, 2);
    }

    // Strips that are cut off stay black; a file without one whole strip is broken.
    void truncatedFiles() {
        TiffSpec t;
        t.width = 120;
        t.height = 90;
        t.sample = [](int x, int y, int s) { return (x * (s + 1) * 3 + y * 7 + x * y) & 255; };
        t.compression = COMPRESSION_LZW;
        t.rowsPerStrip = 10;
        const QString source = files_.write("source.tif", QByteArray());
        QVERIFY(writeTiff(source, {t}));
        const QByteArray tiff = directoryFirst(source);
        const QImage full = spi_.picture(files_.write("whole.tif", tiff)).image;
        QCOMPARE(full.size(), QSize(120, 90));
        QCOMPARE(full.pixel(5, 3), qRgb(t.sample(5, 3, 0), t.sample(5, 3, 1), t.sample(5, 3, 2)));

        const int firstStrip = 8 + 2 + 11 * 12 + 4 + 6 + 2 * 4 * 9;
        const SpiModule::Result r =
            spi_.picture(files_.write("cut.tif", tiff.left(tiff.size() / 2)));
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.copy(0, 0, 120, 10), full.copy(0, 0, 120, 10));
        QCOMPARE(r.image.pixel(60, 89), qRgb(0, 0, 0));
        QCOMPARE(spi_.picture(files_.write("cut.tif", tiff.left(firstStrip + 10))).code, 3);

        StderrCapture capture;
        const Cuts cuts{
            .name = "cut.tif", .accepted = {0, 2, 3}, .step = 293, .size = QSize(120, 90)};
        KORDEL_VERIFY_NO_FAILURE(checkCuts(
            spi_, files_, tiff, cuts, [](qsizetype length, const SpiModule::Result& result) {
                return length < 4 ? codeOutside(result.code, {2}) : QString();
            }));
        // libtiff's own layout, directory last: every cut loses it.
        KORDEL_VERIFY_NO_FAILURE(
            checkCuts(spi_, files_, read(source),
                      {.name = "cut.tif", .accepted = {3}, .from = 4, .step = 293}));
        QCOMPARE(capture.text(), QByteArray());
    }

    void randomDamage() {
        std::vector<QByteArray> files;
        const int kinds[][3] = {{COMPRESSION_LZW, 0, 3},
                                {COMPRESSION_JPEG, 1, 3},
                                {COMPRESSION_PACKBITS, 1, 1},
                                {COMPRESSION_ADOBE_DEFLATE, 0, 4}};
        for (const auto& k : kinds) {
            TiffSpec t;
            t.sample = rgbSample;
            t.compression = uint16_t(k[0]);
            t.tiled = k[1] != 0;
            t.samples = k[2];
            t.photometric = k[2] == 1   ? PHOTOMETRIC_MINISBLACK
                            : k[2] == 4 ? PHOTOMETRIC_SEPARATED
                                        : PHOTOMETRIC_RGB;
            const QString path = files_.write("fuzzsrc.tif", QByteArray());
            QVERIFY(writeTiff(path, {t}));
            files.push_back(read(path));
        }
        QRandomGenerator rng(4242);
        const Damage damage{
            .name = "fuzz.tif", .accepted = {0, 2, 3, 4}, .rounds = 80, .set = true};
        StderrCapture capture;
        for (const QByteArray& original : files)
            KORDEL_VERIFY_NO_FAILURE(checkDamage(spi_, files_, {original}, damage, rng).failure);
        QCOMPARE(capture.text(), QByteArray());
    }

    void refusesHugePictures() {
        TiffSpec t;
        t.sample = rgbSample;
        const QString path = files_.write("huge.tif", QByteArray());
        QVERIFY(writeTiff(path, {t}));
        QByteArray data = read(path);
        // Patch the width in the directory (libtiff writes it as a LONG).
        const int ifd = int(uchar(data[4]) | uchar(data[5]) << 8 | uchar(data[6]) << 16);
        for (int e = 0; e < uchar(data[ifd]); ++e) {
            const int at = ifd + 2 + 12 * e;
            if (uchar(data[at]) == 0 && uchar(data[at + 1]) == 1)  // tag 256
                put32(data, at + 8, 40000);
        }
        const QString wide = files_.write("wide.tif", data);
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(wide, info), 0);
        QCOMPARE(info.width, 40000);
        QCOMPARE(spi_.picture(wide).code, 4);
    }

    void progressAndCancel() {
        TiffSpec t;
        t.sample = rgbSample;
        t.height = 100;
        t.compression = COMPRESSION_LZW;
        const QString path = files_.write("progress.tif", QByteArray());
        QVERIFY(writeTiff(path, {t}));
        TiffSpec c = t;
        c.samples = 4;
        c.photometric = PHOTOMETRIC_SEPARATED;
        const QString cmyk = files_.write("progress-cmyk.tif", QByteArray());
        QVERIFY(writeTiff(cmyk, {c}));
        for (const QString& p : {path, cmyk})
            KORDEL_VERIFY_NO_FAILURE(progressMismatch(spi_, p, 100, 2));
    }

    // samples/sample.tif: written again only when KORDEL_WRITE_SAMPLES is set.
    void sample() {
        const QString path = QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.tif");
        if (qEnvironmentVariableIsSet("KORDEL_WRITE_SAMPLES")) {
            QImage img(200, 150, QImage::Format_RGB32);
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            QLinearGradient back(0, 0, 200, 150);
            back.setColorAt(0, QColor(235, 240, 250));
            back.setColorAt(1, QColor(170, 190, 225));
            p.fillRect(img.rect(), back);
            p.setPen(Qt::NoPen);
            const QColor colours[] = {QColor(230, 90, 80), QColor(250, 190, 70),
                                      QColor(90, 170, 110), QColor(70, 120, 200)};
            for (int i = 0; i < 4; ++i) {
                QColor c = colours[i];
                c.setAlpha(200);
                p.setBrush(c);
                p.drawEllipse(QPointF(50 + i * 33, 75 + (i % 2 ? 18 : -18)), 34, 34);
            }
            p.setBrush(QColor(255, 255, 255, 170));
            p.drawRoundedRect(QRectF(20, 118, 160, 18), 9, 9);
            p.end();
            TiffSpec t;
            t.width = 200;
            t.height = 150;
            t.compression = COMPRESSION_ADOBE_DEFLATE;
            t.predictor = PREDICTOR_HORIZONTAL;
            t.rowsPerStrip = 16;
            t.sample = [&](int x, int y, int s) {
                const QRgb c = img.pixel(x, y);
                return s == 0 ? qRed(c) : s == 1 ? qGreen(c) : qBlue(c);
            };
            QVERIFY(writeTiff(path, {t}));
        }
        if (!QFile::exists(path))
            QSKIP("samples/sample.tif is not there");
        QVERIFY(QFileInfo(path).size() < 30 * 1024);
        const SpiModule::Result r = spi_.picture(path);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.size(), QSize(200, 150));
    }
};

QTEST_MAIN(TestIfTiff)
#include "test_iftiff.moc"
