#include "picture_files.h"

#include <gif_lib.h>
#include <tiffio.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>
#include <algorithm>
#include <initializer_list>

namespace kordel::test {

namespace {

// Little-endian byte writer.
struct Le {
    QByteArray out;
    void u8(int v) { out.append(char(v & 0xff)); }
    void u16(int v) {
        u8(v);
        u8(v >> 8);
    }
    void u32(uint32_t v) {
        u16(int(v & 0xffff));
        u16(int(v >> 16));
    }
    void i32(int32_t v) { u32(uint32_t(v)); }
    void zeros(int n) { out.append(QByteArray(n, '\0')); }
    void patch32(qsizetype at, uint32_t v) { qToLittleEndian<quint32>(v, out.data() + at); }
};

qsizetype stride(int width, int bits) {
    return ((qsizetype(width) * bits + 31) / 32) * 4;
}

// Rows of dots in DIB layout, bottom-up unless topDown.
QByteArray packRows(int width,
                    int height,
                    int bits,
                    const std::vector<uint32_t>& dots,
                    bool topDown) {
    const qsizetype s = stride(width, bits);
    QByteArray rows(s * height, '\0');
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uchar*>(rows.data()) + s * (topDown ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            const uint32_t v = i < dots.size() ? dots[i] : 0;
            switch (bits) {
                case 1:
                    row[x / 8] |= uchar((v & 1) << (7 - x % 8));
                    break;
                case 4:
                    row[x / 2] |= uchar((v & 15) << (x % 2 ? 0 : 4));
                    break;
                case 8:
                    row[x] = uchar(v);
                    break;
                case 16:
                    qToLittleEndian<quint16>(quint16(v), row + 2 * x);
                    break;
                case 24:
                    row[3 * x] = uchar(v);
                    row[3 * x + 1] = uchar(v >> 8);
                    row[3 * x + 2] = uchar(v >> 16);
                    break;
                case 32:
                    qToLittleEndian<quint32>(v, row + 4 * x);
                    break;
                default:
                    break;
            }
        }
    }
    return rows;
}

}  // namespace

QByteArray writeBmp(const BmpLayout& layout) {
    using H = BmpLayout::Header;
    const bool rle = layout.compression == 1 || layout.compression == 2;
    const QByteArray pixels =
        rle ? layout.rle
            : packRows(layout.width, layout.height, layout.bits, layout.dots, layout.topDown);
    Le b;
    b.out.append("BM");
    b.u32(0);  // file size, patched below
    b.u32(0);
    b.u32(0);  // offset of the rows, patched below
    if (layout.header == H::Os2v1) {
        b.u32(12);
        b.u16(layout.width);
        b.u16(layout.height);
        b.u16(1);
        b.u16(layout.bits);
        for (QRgb c : layout.palette) {
            b.u8(qBlue(c));
            b.u8(qGreen(c));
            b.u8(qRed(c));
        }
    } else {
        const int size = layout.header == H::Os2v2 ? 64 : layout.header == H::V4 ? 108 : 40;
        b.u32(uint32_t(size));
        b.i32(layout.width);
        b.i32(layout.topDown ? -layout.height : layout.height);
        b.u16(1);
        b.u16(layout.bits);
        b.u32(uint32_t(layout.compression));
        b.u32(uint32_t(pixels.size()));
        b.i32(2835);
        b.i32(2835);
        b.u32(layout.clrUsed);
        b.u32(0);
        if (layout.header == H::Os2v2) {
            b.zeros(24);  // units, reserved, recording, rendering, sizes, encoding, identifier
        } else if (layout.header == H::V4) {
            for (uint32_t m : layout.masks)
                b.u32(m);
            b.u32(0x73524742);  // 'sRGB'
            b.zeros(36 + 12);   // end points and gammas
        } else if (layout.compression == 3) {
            for (int i = 0; i < 3; ++i)
                b.u32(layout.masks[i]);
        }
        for (QRgb c : layout.palette) {
            b.u8(qBlue(c));
            b.u8(qGreen(c));
            b.u8(qRed(c));
            b.u8(0);
        }
    }
    b.patch32(10, uint32_t(b.out.size()));
    b.out.append(pixels);
    b.patch32(2, uint32_t(b.out.size()));
    return b.out;
}

QByteArray writeIco(const std::vector<IcoImage>& images) {
    std::vector<QByteArray> blobs;
    for (const IcoImage& im : images) {
        if (!im.png.isEmpty()) {
            blobs.push_back(im.png);
            continue;
        }
        Le b;
        b.u32(40);
        b.i32(im.width);
        b.i32(im.height * 2);  // the colour rows and the mask
        b.u16(1);
        b.u16(im.bits);
        b.u32(0);
        const qsizetype maskStride = stride(im.width, 1);
        b.u32(uint32_t(stride(im.width, im.bits) * im.height + maskStride * im.height));
        b.zeros(16);
        if (im.bits <= 8) {
            for (int i = 0; i < (1 << im.bits); ++i) {
                const QRgb c = size_t(i) < im.palette.size() ? im.palette[size_t(i)] : 0;
                b.u8(qBlue(c));
                b.u8(qGreen(c));
                b.u8(qRed(c));
                b.u8(0);
            }
        }
        b.out.append(packRows(im.width, im.height, im.bits, im.dots, false));
        QByteArray mask(maskStride * im.height, '\0');
        for (int y = 0; y < im.height; ++y)
            for (int x = 0; x < im.width; ++x) {
                const size_t i = size_t(y) * size_t(im.width) + size_t(x);
                if (i < im.clear.size() && im.clear[i])
                    mask[maskStride * (im.height - 1 - y) + x / 8] |= char(0x80 >> (x % 8));
            }
        b.out.append(mask);
        blobs.push_back(b.out);
    }
    Le f;
    f.u16(0);
    f.u16(1);
    f.u16(int(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const IcoImage& im = images[i];
        const int bits = im.directoryBits >= 0 ? im.directoryBits : im.bits;
        f.u8(im.width >= 256 ? 0 : im.width);
        f.u8(im.height >= 256 ? 0 : im.height);
        f.u8(im.bits < 8 ? 1 << im.bits : 0);
        f.u8(0);
        f.u16(1);
        f.u16(bits);
        f.u32(uint32_t(blobs[i].size()));
        f.u32(offset);
        offset += uint32_t(blobs[i].size());
    }
    for (const QByteArray& blob : blobs)
        f.out.append(blob);
    return f.out;
}

IcoImage solidIcon(int size, int bits, QRgb colour) {
    IcoImage im;
    im.width = im.height = size;
    im.bits = bits;
    const bool indexed = bits <= 8;
    if (indexed)
        im.palette = {qRgb(0, 0, 0), colour};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const bool clear = x < size / 2 && y < size / 2;
            im.clear.push_back(clear);
            if (indexed)
                im.dots.push_back(clear ? 0 : 1);
            else
                im.dots.push_back(clear ? 0u : (colour | 0xff000000u));
        }
    return im;
}

namespace {

// A colour as metafiles store it: red in the low byte.
uint32_t colorRef(QRgb c) {
    return uint32_t(qRed(c)) | uint32_t(qGreen(c)) << 8 | uint32_t(qBlue(c)) << 16;
}

// WMF records: size in 16-bit words, function, then the parameters.
struct WmfWriter {
    Le b;
    uint32_t maxRecord = 0;
    void record(int function, std::initializer_list<int> params) {
        const uint32_t words = 3 + uint32_t(params.size());
        b.u32(words);
        b.u16(function);
        for (int p : params)
            b.u16(p);
        maxRecord = std::max(maxRecord, words);
    }
    void colourRecord(int function,
                      std::initializer_list<int> before,
                      QRgb c,
                      std::initializer_list<int> after) {
        const uint32_t words = 3 + uint32_t(before.size()) + 2 + uint32_t(after.size());
        b.u32(words);
        b.u16(function);
        for (int p : before)
            b.u16(p);
        b.u32(colorRef(c));
        for (int p : after)
            b.u16(p);
        maxRecord = std::max(maxRecord, words);
    }
};

}  // namespace

QByteArray placeableWmf() {
    WmfWriter w;
    w.record(0x020B, {0, 0});      // SETWINDOWORG y, x
    w.record(0x020C, {100, 200});  // SETWINDOWEXT y, x
    // CREATEPENINDIRECT: style PS_NULL, width (0, 0), colour.
    w.colourRecord(0x02FA, {5, 0, 0}, qRgb(0, 0, 0), {});
    w.record(0x012D, {0});  // SELECTOBJECT pen
    // CREATEBRUSHINDIRECT: style BS_SOLID, colour, hatch.
    w.colourRecord(0x02FC, {0}, kShapeRed, {0});
    w.colourRecord(0x02FC, {0}, kShapeGreen, {0});
    w.colourRecord(0x02FC, {0}, kShapeBlue, {0});
    w.record(0x012D, {1});
    w.record(0x041B, {50, 90, 10, 10});  // RECTANGLE bottom, right, top, left
    w.record(0x012D, {2});
    w.record(0x0418, {90, 190, 10, 110});  // ELLIPSE bottom, right, top, left
    w.record(0x012D, {3});
    w.record(0x0324, {3, 20, 60, 90, 60, 55, 95});  // POLYGON count, points
    w.record(0x0000, {});                           // EOF

    Le m;  // META_HEADER
    m.u16(1);
    m.u16(9);
    m.u16(0x0300);
    m.u32(uint32_t(9 + w.b.out.size() / 2));
    m.u16(4);
    m.u32(w.maxRecord);
    m.u16(0);

    Le p;  // the placeable header
    p.u32(0x9AC6CDD7u);
    p.u16(0);
    p.u16(0);
    p.u16(0);
    p.u16(200);
    p.u16(100);
    p.u16(96);
    p.u32(0);
    quint16 sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= qFromLittleEndian<quint16>(p.out.constData() + 2 * i);
    p.u16(sum);
    return p.out + m.out + w.b.out;
}

QByteArray smallEmf() {
    Le r;  // the records after the header
    int records = 1;
    auto begin = [&](uint32_t type, uint32_t size) {
        r.u32(type);
        r.u32(size);
        ++records;
    };
    begin(38, 28);  // EMR_CREATEPEN: handle, style PS_NULL, width, colour
    r.u32(1);
    r.u32(5);
    r.i32(0);
    r.i32(0);
    r.u32(0);
    begin(37, 12);  // EMR_SELECTOBJECT
    r.u32(1);
    const QRgb colours[] = {kShapeRed, kShapeGreen, kShapeBlue};
    for (int i = 0; i < 3; ++i) {
        begin(39, 24);  // EMR_CREATEBRUSHINDIRECT: handle, BS_SOLID, colour, hatch
        r.u32(uint32_t(2 + i));
        r.u32(0);
        r.u32(colorRef(colours[i]));
        r.u32(0);
    }
    auto rect = [&](uint32_t type, int l, int t, int rr, int b) {
        begin(type, 24);
        r.i32(l);
        r.i32(t);
        r.i32(rr);
        r.i32(b);
    };
    begin(37, 12);
    r.u32(2);
    rect(43, 10, 10, 80, 50);  // EMR_RECTANGLE
    begin(37, 12);
    r.u32(3);
    rect(42, 100, 10, 180, 86);  // EMR_ELLIPSE
    begin(37, 12);
    r.u32(4);
    begin(3, 8 + 16 + 4 + 3 * 8);  // EMR_POLYGON: bounds, count, points
    r.i32(20);
    r.i32(60);
    r.i32(80);
    r.i32(92);
    r.u32(3);
    for (int v : {20, 60, 80, 60, 50, 92})
        r.i32(v);
    begin(14, 20);  // EMR_EOF
    r.u32(0);
    r.u32(16);
    r.u32(20);

    Le h;
    h.u32(1);   // EMR_HEADER
    h.u32(88);  // its size
    h.i32(0);   // bounds, device units
    h.i32(0);
    h.i32(191);
    h.i32(95);
    h.i32(0);  // frame, 0.01 mm
    h.i32(0);
    h.i32(5080);
    h.i32(2540);
    h.u32(0x464D4520);  // " EMF"
    h.u32(0x10000);
    h.u32(uint32_t(88 + r.out.size()));
    h.u32(uint32_t(records));
    h.u16(5);  // handles, the first one reserved
    h.u16(0);
    h.u32(0);  // no description
    h.u32(0);
    h.u32(0);     // no palette
    h.i32(1920);  // reference device: 96 pixels per inch
    h.i32(1080);
    h.i32(508);
    h.i32(286);
    return h.out + r.out;
}

QByteArray jpegFile(const QImage& image, int quality) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return data;
}

namespace {

int appendToArray(GifFileType* gif, const GifByteType* data, int length) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

}  // namespace

QByteArray gifFile(const QImage& indexed) {
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendToArray, &error);
    if (!gif)
        return {};
    std::vector<GifColorType> colours(256, GifColorType{0, 0, 0});
    const QList<QRgb> table = indexed.colorTable();
    for (int i = 0; i < table.size() && i < 256; ++i)
        colours[size_t(i)] =
            GifColorType{GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])),
                         GifByteType(qBlue(table[i]))};
    ColorMapObject* map = GifMakeMapObject(256, colours.data());
    EGifPutScreenDesc(gif, indexed.width(), indexed.height(), 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, indexed.width(), indexed.height(), false, nullptr);
    GifFreeMapObject(map);
    for (int y = 0; y < indexed.height(); ++y) {
        std::vector<GifPixelType> row(indexed.scanLine(y), indexed.scanLine(y) + indexed.width());
        EGifPutLine(gif, row.data(), indexed.width());
    }
    EGifCloseFile(gif, &error);
    return out;
}

bool writeTiff(const QString& path, const QImage& image) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(rgb.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(rgb.height()));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
    bool ok = true;
    for (int y = 0; y < rgb.height() && ok; ++y)
        ok = TIFFWriteScanline(tif, const_cast<uchar*>(rgb.constScanLine(y)), uint32_t(y)) == 1;
    TIFFClose(tif);
    return ok;
}

QImage quadrants(int width, int height) {
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            img.setPixel(x, y,
                         !bottom ? (right ? qRgb(0, 200, 0) : qRgb(220, 0, 0))
                                 : (right ? qRgb(240, 240, 0) : qRgb(0, 0, 220)));
        }
    return img;
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace kordel::test
