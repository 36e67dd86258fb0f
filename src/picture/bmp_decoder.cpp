#include "bmp_decoder.h"

#include <QList>
#include <cstring>

#include "spi.h"

namespace kordel {

namespace {

constexpr qint64 kFileHeader = 14;

enum Compression : quint32 { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// Reads little-endian numbers; anything past the end reads as 0.
class Bytes {
public:
    explicit Bytes(const QByteArray& data)
        : p_(reinterpret_cast<const uchar*>(data.constData())), n_(data.size()) {}
    qint64 size() const { return n_; }
    const uchar* at(qint64 pos) const { return p_ + pos; }
    quint8 u8(qint64 pos) const { return pos >= 0 && pos < n_ ? p_[pos] : 0; }
    quint16 u16(qint64 pos) const { return quint16(u8(pos) | u8(pos + 1) << 8); }
    quint32 u32(qint64 pos) const { return quint32(u16(pos)) | quint32(u16(pos + 2)) << 16; }
    qint32 i32(qint64 pos) const { return qint32(u32(pos)); }

private:
    const uchar* p_;
    qint64 n_;
};

struct Field {
    quint32 mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Field(quint32 m = 0) : mask(m) {
        if (!m)
            return;
        while (!(m & 1u)) {
            m >>= 1;
            ++shift;
        }
        while (m & 1u) {
            m >>= 1;
            ++bits;
        }
    }
    // The field of a dot widened (or cut) to eight bits.
    int value(quint32 dot) const {
        if (!bits)
            return 0;
        const quint32 v = (dot & mask) >> shift & ((bits >= 32) ? 0xffffffffu : (1u << bits) - 1);
        if (bits >= 8)
            return int(v >> (bits - 8));
        // Replicate the bits downwards so that a full field becomes 255.
        quint32 out = 0;
        for (int filled = 0; filled < 8; filled += bits)
            out |= v << (8 - bits) >> filled;
        return int(out & 0xff);
    }
};

struct Header {
    qint64 width = 0;
    qint64 height = 0;  // always positive; topDown tells the row order
    bool topDown = false;
    int bits = 0;
    quint32 compression = kRgb;
    quint32 clrUsed = 0;
    quint32 masks[4] = {};  // red, green, blue, alpha
    qint64 tableStart = 0;  // first colour table entry
    int entrySize = 4;      // RGBQUAD, or RGBTRIPLE for the core header
};

bool readHeader(const Bytes& d, Header& h) {
    if (d.size() < kFileHeader + 12 || d.u8(0) != 'B' || d.u8(1) != 'M')
        return false;
    const quint32 size = d.u32(kFileHeader);
    if (size == 12) {
        // OS/2 1.x core header: 16-bit sizes, three-byte colour entries.
        h.width = d.u16(kFileHeader + 4);
        h.height = d.u16(kFileHeader + 6);
        h.bits = d.u16(kFileHeader + 10);
        h.tableStart = kFileHeader + 12;
        h.entrySize = 3;
        return true;
    }
    // Windows headers are 40, 52, 56, 108 or 124 bytes; OS/2 2.x ones 16 to 64, with the
    // fields a shorter one leaves out taken as 0.
    if (size < 16 || size > 124 || d.size() < kFileHeader + size)
        return false;
    const bool os2 = size <= 64 && size != 40 && size != 52 && size != 56;
    auto field = [&](qint64 offset) {
        return offset + 4 <= size ? d.u32(kFileHeader + offset) : 0;
    };
    h.width = d.i32(kFileHeader + 4);
    const qint32 height = d.i32(kFileHeader + 8);
    h.topDown = height < 0;
    h.height = h.topDown ? -qint64(height) : qint64(height);
    h.bits = d.u16(kFileHeader + 14);
    h.compression = field(16);
    h.clrUsed = field(32);
    h.tableStart = kFileHeader + size;
    if (os2 && h.compression != kRgb && h.compression != kRle8 && h.compression != kRle4)
        return false;  // Huffman 1D and RLE24 are OS/2 only and not shown
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        const int count = h.compression == kAlphaBitFields ? 4 : 3;
        if (size >= 52) {
            // Inside the header, the alpha mask too from 56 bytes on.
            for (int i = 0; i < (size >= 56 ? 4 : 3); ++i)
                h.masks[i] = d.u32(kFileHeader + 40 + 4 * i);
        } else {
            if (d.size() < h.tableStart + 4 * count)
                return false;
            for (int i = 0; i < count; ++i)
                h.masks[i] = d.u32(h.tableStart + 4 * i);
            h.tableStart += 4 * count;
        }
    }
    return true;
}

bool usable(const Header& h) {
    if (h.width <= 0 || h.height <= 0 || h.width > SPI_MAX_DIMENSION ||
        h.height > SPI_MAX_DIMENSION || quint64(h.width) * quint64(h.height) > SPI_MAX_PIXELS)
        return false;
    switch (h.compression) {
        case kRgb:
            return h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 ||
                   h.bits == 32;
        case kRle8:
            return h.bits == 8 && !h.topDown;
        case kRle4:
            return h.bits == 4 && !h.topDown;
        case kBitFields:
        case kAlphaBitFields:
            return h.bits == 16 || h.bits == 32;
        default:
            return false;
    }
}

// The colour table, always of 2^bits entries; those the file lacks are black.
QList<QRgb> colourTable(const Bytes& d, const Header& h, qint64 dataStart) {
    const int full = 1 << h.bits;
    qint64 count = (h.clrUsed > 0 && h.clrUsed < quint32(full)) ? qint64(h.clrUsed) : full;
    // The rows start where the file says; the table cannot reach into them.
    if (dataStart >= h.tableStart)
        count = qMin(count, (dataStart - h.tableStart) / h.entrySize);
    QList<QRgb> table(full, qRgb(0, 0, 0));
    for (qint64 i = 0; i < count; ++i) {
        const qint64 e = h.tableStart + i * h.entrySize;
        if (e + 3 > d.size())
            break;
        table[i] = qRgb(d.u8(e + 2), d.u8(e + 1), d.u8(e));
    }
    return table;
}

// Runs and literal dots of RLE8 and RLE4, bottom line first. Dots the codes
// skip keep colour 0; nothing is written outside the picture.
void decodeRle(const Bytes& d, qint64 pos, const Header& h, QImage& img) {
    const bool four = h.compression == kRle4;
    const qint64 w = h.width, rows = h.height;
    qint64 x = 0, y = 0;  // y counts lines from the bottom
    auto put = [&](int index) {
        if (x < w && y < rows)
            img.scanLine(int(rows - 1 - y))[x] = uchar(index);
        ++x;
    };
    while (pos + 2 <= d.size() && y < rows) {
        const int count = d.u8(pos), value = d.u8(pos + 1);
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count && x < w; ++i)
                put(four ? ((i & 1) ? (value & 15) : (value >> 4)) : value);
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
        } else if (value == 1) {  // end of the picture
            break;
        } else if (value == 2) {  // move right and up
            if (pos + 2 > d.size())
                break;
            x += d.u8(pos);
            y += d.u8(pos + 1);
            pos += 2;
        } else {  // literal dots, padded to a 16-bit boundary
            const qint64 bytes = four ? (value + 1) / 2 : value;
            for (int i = 0; i < value && pos + i / (four ? 2 : 1) < d.size(); ++i) {
                const int b = d.u8(pos + (four ? i / 2 : i));
                put(four ? ((i & 1) ? (b & 15) : (b >> 4)) : b);
            }
            pos += bytes + (bytes & 1);
        }
    }
}

}  // namespace

QImage decodeBmpData(const QByteArray& data) {
    const Bytes d(data);
    Header h;
    if (!readHeader(d, h) || !usable(h))
        return {};
    // The rows begin at the offset the file header gives, unless that points into the
    // headers or past the end: then right after the colour table.
    const qint64 tableBytes = h.bits <= 8 ? qint64(h.entrySize) * (1 << h.bits) : 0;
    qint64 start = d.u32(10);
    if (start < h.tableStart || start >= d.size()) {
        qint64 entries = tableBytes / h.entrySize;
        if (h.bits <= 8 && h.clrUsed > 0 && h.clrUsed < quint32(1 << h.bits))
            entries = h.clrUsed;
        start = h.tableStart + entries * h.entrySize;
    }
    if (start >= d.size())
        return {};  // no rows at all
    const int width = int(h.width), height = int(h.height);

    if (h.bits <= 8) {
        QImage img(width, height, QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        img.setColorTable(colourTable(d, h, start));
        img.fill(0);
        if (h.compression == kRle8 || h.compression == kRle4) {
            decodeRle(d, start, h, img);
            return img;
        }
        const qint64 stride = (h.width * h.bits + 31) / 32 * 4;
        for (int r = 0; r < height; ++r) {
            const qint64 at = start + qint64(r) * stride;
            if (at >= d.size())
                break;  // a truncated file: the remaining lines stay colour 0
            const qint64 have = qMin(stride, d.size() - at);
            const uchar* s = d.at(at);
            uchar* o = img.scanLine(h.topDown ? r : height - 1 - r);
            const qint64 dots = qMin<qint64>(width, have * 8 / h.bits);
            for (qint64 x = 0; x < dots; ++x) {
                switch (h.bits) {
                    case 1:
                        o[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
                        break;
                    case 4:
                        o[x] = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
                        break;
                    default:
                        o[x] = s[x];
                        break;
                }
            }
        }
        return img;
    }

    quint32 masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
    const bool fields = h.compression == kBitFields || h.compression == kAlphaBitFields;
    if (!fields) {
        if (h.bits == 16) {
            masks[0] = 0x7c00;
            masks[1] = 0x03e0;
            masks[2] = 0x001f;
        } else {
            masks[0] = 0x00ff0000;
            masks[1] = 0x0000ff00;
            masks[2] = 0x000000ff;
        }
        masks[3] = 0;  // the fourth byte of a plain 32-bit dot means nothing
    }
    const Field red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    QImage img(width, height, QImage::Format_ARGB32);
    if (img.isNull())
        return {};
    img.fill(qRgb(0, 0, 0));
    const qint64 stride = (h.width * h.bits + 31) / 32 * 4;
    const int bytes = h.bits / 8;
    bool anyAlpha = false;
    for (int r = 0; r < height; ++r) {
        const qint64 at = start + qint64(r) * stride;
        if (at >= d.size())
            break;
        const qint64 have = qMin(stride, d.size() - at);
        const uchar* s = d.at(at);
        auto* o = reinterpret_cast<QRgb*>(img.scanLine(h.topDown ? r : height - 1 - r));
        const qint64 dots = qMin<qint64>(width, have / bytes);
        for (qint64 x = 0; x < dots; ++x, s += bytes) {
            if (h.bits == 24) {
                o[x] = qRgb(s[2], s[1], s[0]);
                continue;
            }
            quint32 v = 0;
            for (int i = 0; i < bytes; ++i)
                v |= quint32(s[i]) << (8 * i);
            const int a = alpha.bits ? alpha.value(v) : 255;
            anyAlpha = anyAlpha || (alpha.bits && a != 0);
            o[x] = qRgba(red.value(v), green.value(v), blue.value(v), a);
        }
    }
    // A mask that no dot uses marks no transparency: such pictures are opaque.
    if (alpha.bits && anyAlpha)
        return img;
    for (int y = 0; y < height; ++y) {
        auto* o = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
            o[x] |= 0xff000000u;
    }
    img.reinterpretAsFormat(QImage::Format_RGB32);
    return img;
}

}  // namespace kordel
