#include "bmp_decoder.h"

#include <QList>

#include "dib_format.h"

namespace kordel {

namespace {

constexpr qint64 kFileHeader = 14;

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

private:
    const uchar* p_;
    qint64 n_;
};

// The info header after the 14-byte file header, as far as this decoder shows it.
bool readHeader(const Bytes& d, dib::Header& h) {
    if (d.size() < kFileHeader + 12 || d.u8(0) != 'B' || d.u8(1) != 'M')
        return false;
    if (!dib::parseHeader(d.at(kFileHeader), d.size() - kFileHeader, h))
        return false;
    // Huffman 1D and RLE24 are OS/2 only and not shown.
    return !h.os2() || h.compression == dib::kRgb || h.compression == dib::kRle8 ||
           h.compression == dib::kRle4;
}

bool usable(const dib::Header& h) {
    const qint64 height = h.topDown() ? -h.height : h.height;
    const bool rle = h.compression == dib::kRle8 || h.compression == dib::kRle4;
    return dib::withinLimits(h.width, height) && dib::bitCountFits(h) && !(rle && h.topDown());
}

// The colour table, always of 2^bits entries; those the file lacks are black.
QList<QRgb> colourTable(const Bytes& d, const dib::Header& h, qint64 tableStart, qint64 dataStart) {
    qint64 count = dib::colourCount(h.bitCount, h.clrUsed);
    // The rows start where the file says; the table cannot reach into them.
    if (dataStart >= tableStart)
        count = qMin(count, (dataStart - tableStart) / h.entrySize);
    QList<QRgb> table(1 << h.bitCount, qRgb(0, 0, 0));
    dib::readColourTable(d.at(0), d.size(), tableStart, h.entrySize, int(count), table.data());
    return table;
}

}  // namespace

QImage decodeBmpData(const QByteArray& data) {
    const Bytes d(data);
    dib::Header h;
    if (!readHeader(d, h) || !usable(h))
        return {};
    const int bits = h.bitCount;
    // The rows begin at the offset the file header gives, unless that points into the
    // headers or past the end: then right after the colour table.
    const qint64 tableStart = kFileHeader + h.tableOffset;
    qint64 start = d.u32(10);
    if (start < tableStart || start >= d.size()) {
        const qint64 entries = bits <= 8 ? dib::colourCount(bits, h.clrUsed) : 0;
        start = tableStart + entries * h.entrySize;
    }
    if (start >= d.size())
        return {};  // no rows at all
    const int width = int(h.width), height = int(h.topDown() ? -h.height : h.height);
    const qint64 stride = dib::stride(width, bits);

    if (bits <= 8) {
        QImage img(width, height, QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        img.setColorTable(colourTable(d, h, tableStart, start));
        img.fill(0);
        if (h.compression == dib::kRle8 || h.compression == dib::kRle4) {
            // Dots the codes skip keep colour 0.
            dib::playRle(d.at(start), d.size() - start, h.compression == dib::kRle4, width, height,
                         [&](qint64 x, qint64 y, int index) {
                             img.scanLine(int(height - 1 - y))[x] = uchar(index);
                         });
            return img;
        }
        for (int r = 0; r < height; ++r) {
            const qint64 at = start + qint64(r) * stride;
            if (at >= d.size())
                break;  // a truncated file: the remaining lines stay colour 0
            const qint64 have = qMin(stride, d.size() - at);
            uchar* o = img.scanLine(h.topDown() ? r : height - 1 - r);
            dib::unpackIndices(d.at(at), bits, qMin<qint64>(width, have * 8 / bits), o);
        }
        return img;
    }

    quint32 masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
    if (h.compression != dib::kBitFields && h.compression != dib::kAlphaBitFields) {
        if (bits == 16) {
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
    const dib::BitField red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
    QImage img(width, height, QImage::Format_ARGB32);
    if (img.isNull())
        return {};
    img.fill(qRgb(0, 0, 0));
    const int bytes = bits / 8;
    bool anyAlpha = false;
    for (int r = 0; r < height; ++r) {
        const qint64 at = start + qint64(r) * stride;
        if (at >= d.size())
            break;
        const qint64 have = qMin(stride, d.size() - at);
        const uchar* s = d.at(at);
        auto* o = reinterpret_cast<QRgb*>(img.scanLine(h.topDown() ? r : height - 1 - r));
        const qint64 dots = qMin<qint64>(width, have / bytes);
        for (qint64 x = 0; x < dots; ++x, s += bytes) {
            if (bits == 24) {
                o[x] = qRgb(s[2], s[1], s[0]);
                continue;
            }
            const quint32 v = dib::pixelAt(s, bytes);
            const int a = alpha.bits() ? alpha.widened(v) : 255;
            anyAlpha = anyAlpha || (alpha.bits() && a != 0);
            o[x] = qRgba(red.widened(v), green.widened(v), blue.widened(v), a);
        }
    }
    // A mask that no dot uses marks no transparency: such pictures are opaque.
    if (alpha.bits() && anyAlpha)
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
