#include "picture_files.h"

#include <QFile>
#include <QtEndian>

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

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace kordel::test
