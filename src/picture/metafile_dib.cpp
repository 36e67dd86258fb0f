// Device-independent bitmaps as metafiles carry them: every size, count and offset is checked
// against the record before anything is read or allocated.
#include <algorithm>

#include "dib.h"
#include "metafile_state.h"
#include "spi.h"

namespace kordel::mf {

namespace {

enum Compression {
    BiRgb = 0,
    BiRle8 = 1,
    BiRle4 = 2,
    BiBitfields = 3,
    BiJpeg = 4,
    BiPng = 5,
    BiAlphaBitfields = 6
};

struct DibHeader {
    qint64 headerSize = 0;
    qint64 width = 0;
    qint64 height = 0;  // signed: < 0 means top-down rows
    int bitCount = 0;
    quint32 compression = 0;
    quint32 masks[4] = {0, 0, 0, 0};
    qint64 tableOffset = 0;
    int tableEntries = 0;
    int entrySize = 4;
    qint64 infoSize = 0;
};

bool parseHeader(const Bytes& info, int usage, DibHeader& h) {
    h.headerSize = info.u32(0);
    int planes;
    quint32 clrUsed = 0;
    if (h.headerSize == 12) {
        if (!info.fits(0, 12))
            return false;
        h.width = info.u16(4);
        h.height = info.u16(6);
        planes = info.u16(8);
        h.bitCount = info.u16(10);
        h.entrySize = 3;
    } else if (h.headerSize == 40 || h.headerSize == 52 || h.headerSize == 56 ||
               h.headerSize == 108 || h.headerSize == 124) {
        if (!info.fits(0, h.headerSize))
            return false;
        h.width = info.i32(4);
        h.height = info.i32(8);
        planes = info.u16(12);
        h.bitCount = info.u16(14);
        h.compression = info.u32(16);
        clrUsed = info.u32(32);
    } else {
        return false;
    }
    if (planes != 1)
        return false;
    h.tableOffset = h.headerSize;
    if (h.compression == BiBitfields || h.compression == BiAlphaBitfields) {
        const int count = h.compression == BiAlphaBitfields ? 4 : 3;
        if (h.headerSize == 40) {
            // The masks follow the header, before any colour table.
            if (!info.fits(40, 4 * count))
                return false;
            h.tableOffset = 40 + 4 * count;
        }
        for (int i = 0; i < count; ++i)
            h.masks[i] = info.u32(40 + 4 * i);
        if (h.headerSize == 52 && count == 4)
            h.masks[3] = 0;
        if (h.headerSize >= 56 && count == 3)
            h.masks[3] = info.u32(52);
    }
    switch (h.compression) {
        case BiRgb:
            break;
        case BiRle8:
            if (h.bitCount != 8)
                return false;
            break;
        case BiRle4:
            if (h.bitCount != 4)
                return false;
            break;
        case BiBitfields:
        case BiAlphaBitfields:
            if (h.bitCount != 16 && h.bitCount != 32)
                return false;
            break;
        case BiJpeg:
        case BiPng:
            break;
        default:
            return false;
    }
    if (h.compression != BiJpeg && h.compression != BiPng && h.bitCount != 1 && h.bitCount != 4 &&
        h.bitCount != 8 && h.bitCount != 16 && h.bitCount != 24 && h.bitCount != 32)
        return false;
    if (usage == 1)
        h.entrySize = 2;
    if (h.bitCount >= 1 && h.bitCount <= 8) {
        const quint32 full = 1u << h.bitCount;
        h.tableEntries = int((clrUsed == 0 || clrUsed > full) ? full : clrUsed);
    } else {
        // An optimisation palette to skip; never trust it beyond the data.
        const qint64 room = std::max<qint64>(0, (info.size() - h.tableOffset) / h.entrySize);
        h.tableEntries = int(std::min<qint64>(clrUsed, std::min<qint64>(room, 65536)));
    }
    if (usage == 2)
        h.tableEntries = 0;  // monochrome without colour table
    h.infoSize = h.tableOffset + qint64(h.tableEntries) * h.entrySize;
    return true;
}

void maskShape(quint32 mask, int& shift, int& bits) {
    shift = 0;
    bits = 0;
    if (mask == 0)
        return;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++shift;
    }
    while (mask & 1u) {
        mask >>= 1;
        ++bits;
    }
}

struct Field {
    quint32 mask = 0;
    int shift = 0, bits = 0;
    explicit Field(quint32 m) : mask(m) { maskShape(m, shift, bits); }
    int operator()(quint32 v) const {
        if (bits == 0)
            return 0;
        const quint32 x = (v & mask) >> shift;
        const quint32 max = bits >= 32 ? 0xffffffffu : ((1u << bits) - 1u);
        return int((quint64(x) * 255u + max / 2) / max);
    }
};

void decodeRle(const Bytes& src, bool rle8, QImage& img, const QVector<QRgb>& table) {
    const int w = img.width(), h = img.height();
    img.fill(Qt::transparent);
    auto put = [&](qint64 x, qint64 y, int index) {
        if (x < 0 || x >= w || y < 0 || y >= h)
            return;
        reinterpret_cast<QRgb*>(img.scanLine(int(h - 1 - y)))[x] =
            index < table.size() ? table[index] : qRgb(0, 0, 0);
    };
    qint64 x = 0, y = 0, i = 0;
    const qint64 n = src.size();
    // Every step consumes at least two bytes, so the loop always ends.
    while (i + 1 < n && y < h) {
        const int count = src.u8(i), code = src.u8(i + 1);
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && x < w; ++k, ++x)
                put(x, y, rle8 ? code : ((k & 1) ? (code & 15) : (code >> 4)));
            if (x >= w)
                x = w;
            continue;
        }
        if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of bitmap
            break;
        } else if (code == 2) {  // delta
            if (i + 1 >= n)
                break;
            x += src.u8(i);
            y += src.u8(i + 1);
            i += 2;
        } else {  // absolute run
            const qint64 bytes = rle8 ? code : (code + 1) / 2;
            for (int k = 0; k < code; ++k, ++x) {
                const qint64 at = i + (rle8 ? k : k / 2);
                if (at >= n)
                    break;
                const int b = src.u8(at);
                if (x < w)
                    put(x, y, rle8 ? b : ((k & 1) ? (b & 15) : (b >> 4)));
            }
            i += bytes + (bytes & 1);
        }
    }
}

}  // namespace

qint64 dibInfoSize(Bytes info, int usage) {
    DibHeader h;
    if (!parseHeader(info, usage, h))
        return 0;
    return h.infoSize;
}

QImage decodeDib(Bytes info,
                 Bytes bits,
                 int usage,
                 const Palette* palette,
                 qint64 maxPixels,
                 int heightOverride,
                 bool sourceAlpha) {
    DibHeader h;
    if (!parseHeader(info, usage, h))
        return {};
    const qint64 limit = std::min<qint64>(maxPixels, qint64(SPI_MAX_PIXELS));
    if (h.compression == BiJpeg || h.compression == BiPng) {
        if (h.width <= 0 || h.width > SPI_MAX_DIMENSION || std::abs(h.height) > SPI_MAX_DIMENSION ||
            h.width * std::abs(h.height) > limit)
            return {};
        QImage img = QImage::fromData(bits.toByteArray());
        if (img.isNull() || qint64(img.width()) * img.height() > limit)
            return {};
        return img.convertToFormat(QImage::Format_ARGB32);
    }
    const bool topDown = h.height < 0;
    if (topDown && h.compression != BiRgb && h.compression != BiBitfields &&
        h.compression != BiAlphaBitfields)
        return {};
    const qint64 w = h.width;
    qint64 ht = topDown ? -h.height : h.height;
    if (heightOverride > 0)
        ht = heightOverride;
    if (w <= 0 || ht <= 0 || w > SPI_MAX_DIMENSION || ht > SPI_MAX_DIMENSION || w * ht > limit)
        return {};

    QVector<QRgb> table(h.bitCount <= 8 ? (1 << h.bitCount) : 0, qRgb(0, 0, 0));
    if (h.bitCount <= 8) {
        if (usage == 2 || (h.tableEntries == 0 && h.bitCount == 1)) {
            table[0] = qRgb(0, 0, 0);
            table[1] = qRgb(255, 255, 255);
        }
        for (int i = 0; i < h.tableEntries && i < table.size(); ++i) {
            const qint64 off = h.tableOffset + qint64(i) * h.entrySize;
            if (!info.fits(off, h.entrySize))
                break;
            if (usage == 1) {
                const int idx = info.u16(off);
                table[i] = (palette && idx < palette->size())
                               ? palette->at(idx)
                               : qRgb(idx & 0xff, idx & 0xff, idx & 0xff);
            } else {
                table[i] = qRgb(info.u8(off + 2), info.u8(off + 1), info.u8(off));
            }
        }
    }

    if (h.compression == BiRle8 || h.compression == BiRle4) {
        QImage img(int(w), int(ht), QImage::Format_ARGB32);
        if (img.isNull())
            return {};
        decodeRle(bits, h.compression == BiRle8, img, table);
        return img;
    }

    const qsizetype stride = dibStride(int(w), h.bitCount);
    const qint64 rows = std::min<qint64>(ht, bits.size() / stride);
    if (rows <= 0)
        return {};
    auto srcRow = [&](qint64 y) {  // y counts from the top of the picture
        const qint64 r = topDown ? y : (ht - 1 - y);
        return r < rows ? bits.data() + r * stride : nullptr;
    };

    if (h.bitCount <= 8) {
        QImage img(int(w), int(ht), QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        img.setColorTable(table);
        img.fill(0);
        const int bpp = h.bitCount;
        for (qint64 y = 0; y < ht; ++y) {
            const uchar* s = srcRow(y);
            if (!s)
                continue;
            uchar* d = img.scanLine(int(y));
            for (qint64 x = 0; x < w; ++x) {
                if (bpp == 8)
                    d[x] = s[x];
                else if (bpp == 4)
                    d[x] = (x & 1) ? (s[x / 2] & 15) : (s[x / 2] >> 4);
                else
                    d[x] = (s[x / 8] >> (7 - (x & 7))) & 1;
            }
        }
        if (rows < ht) {
            // Missing rows stay transparent.
            QImage argb = img.convertToFormat(QImage::Format_ARGB32);
            for (qint64 y = 0; y < ht; ++y)
                if (!srcRow(y))
                    std::fill_n(reinterpret_cast<QRgb*>(argb.scanLine(int(y))), w,
                                qRgba(0, 0, 0, 0));
            return argb;
        }
        return img;
    }

    quint32 rm = 0x7c00, gm = 0x03e0, bm = 0x001f, am = 0;
    if (h.bitCount == 32) {
        rm = 0x00ff0000;
        gm = 0x0000ff00;
        bm = 0x000000ff;
        if (sourceAlpha)
            am = 0xff000000;
    }
    if (h.compression == BiBitfields || h.compression == BiAlphaBitfields) {
        rm = h.masks[0];
        gm = h.masks[1];
        bm = h.masks[2];
        am = h.masks[3];
    }
    const Field fr(rm), fg(gm), fb(bm), fa(am);
    const bool alpha = am != 0;
    QImage img(int(w), int(ht),
               alpha && sourceAlpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32);
    if (img.isNull())
        return {};
    for (qint64 y = 0; y < ht; ++y) {
        auto* d = reinterpret_cast<QRgb*>(img.scanLine(int(y)));
        const uchar* s = srcRow(y);
        if (!s) {
            std::fill_n(d, w, qRgba(0, 0, 0, 0));
            continue;
        }
        for (qint64 x = 0; x < w; ++x) {
            if (h.bitCount == 24) {
                const uchar* p = s + x * 3;
                d[x] = qRgb(p[2], p[1], p[0]);
                continue;
            }
            quint32 v;
            if (h.bitCount == 16) {
                v = quint32(s[x * 2]) | (quint32(s[x * 2 + 1]) << 8);
            } else {
                const uchar* p = s + x * 4;
                v = quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) |
                    (quint32(p[3]) << 24);
            }
            d[x] = qRgba(fr(v), fg(v), fb(v), alpha ? fa(v) : 255);
        }
    }
    if (alpha && sourceAlpha) {
        // Premultiplied data whose colour exceeds its alpha is not premultiplied at all.
        for (qint64 y = 0; y < ht; ++y) {
            auto* d = reinterpret_cast<QRgb*>(img.scanLine(int(y)));
            for (qint64 x = 0; x < w; ++x) {
                const int a = qAlpha(d[x]);
                if (qRed(d[x]) > a || qGreen(d[x]) > a || qBlue(d[x]) > a)
                    d[x] = qRgba(std::min(qRed(d[x]), a), std::min(qGreen(d[x]), a),
                                 std::min(qBlue(d[x]), a), a);
            }
        }
    }
    return img;
}

QImage monoTile(const QImage& decoded, QRgb zero, QRgb one) {
    if (decoded.format() != QImage::Format_Indexed8 || decoded.colorCount() > 2)
        return decoded;
    QImage tile = decoded;
    tile.setColor(0, zero);
    if (tile.colorCount() > 1)
        tile.setColor(1, one);
    return tile.convertToFormat(QImage::Format_RGB32);
}

}  // namespace kordel::mf
