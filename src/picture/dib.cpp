#include "dib.h"

#include <cstring>

#include "spi.h"

namespace kordel {

namespace {

// Position of the lowest set bit and the width of a contiguous bit-field mask.
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

quint8 scaleField(quint32 value, quint32 mask, int shift, int bits) {
    if (bits == 0)
        return 0;
    const quint32 v = (value & mask) >> shift;
    const quint32 max = (bits >= 32) ? 0xffffffffu : ((1u << bits) - 1u);
    return quint8((quint64(v) * 255u + max / 2) / max);
}

}  // namespace

QImage imageFromDib(const void* bitmapInfo, const void* bits) {
    if (!bitmapInfo || !bits)
        return {};
    SpiBitmapInfoHeader h;
    std::memcpy(&h, bitmapInfo, sizeof h);
    const int width = h.biWidth;
    const bool topDown = h.biHeight < 0;
    const qint64 height = topDown ? -qint64(h.biHeight) : qint64(h.biHeight);
    if (width <= 0 || height <= 0 || width > SPI_MAX_DIMENSION || height > SPI_MAX_DIMENSION ||
        quint64(width) * quint64(height) > SPI_MAX_PIXELS)
        return {};
    const int bitCount = h.biBitCount;
    const bool bitFields = h.biCompression == 3;
    if (h.biCompression != 0 && !bitFields)
        return {};
    // The colour table follows the header; no header version is larger than 124 bytes.
    if (h.biSize > 124)
        return {};
    const quint32 headerSize = h.biSize >= 40 ? h.biSize : 40;
    const auto* base = static_cast<const uchar*>(bitmapInfo);
    const auto* colours = reinterpret_cast<const SpiRgbQuad*>(base + headerSize);
    const auto* rows = static_cast<const uchar*>(bits);
    const qsizetype stride = dibStride(width, bitCount);
    auto srcRow = [&](int y) {
        const qint64 r = topDown ? y : (height - 1 - y);
        return rows + r * stride;
    };

    if (bitCount == 1 || bitCount == 4 || bitCount == 8) {
        const int maxColours = 1 << bitCount;
        int used = int(h.biClrUsed);
        if (used <= 0 || used > maxColours)
            used = maxColours;
        QImage img(width, int(height), QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        QList<QRgb> table(maxColours, qRgb(0, 0, 0));
        for (int i = 0; i < used; ++i)
            table[i] = qRgb(colours[i].rgbRed, colours[i].rgbGreen, colours[i].rgbBlue);
        img.setColorTable(table);
        for (int y = 0; y < height; ++y) {
            const uchar* s = srcRow(y);
            uchar* d = img.scanLine(y);
            if (bitCount == 8) {
                std::memcpy(d, s, size_t(width));
            } else if (bitCount == 4) {
                for (int x = 0; x < width; ++x)
                    d[x] = (x & 1) ? (s[x >> 1] & 0x0f) : (s[x >> 1] >> 4);
            } else {
                for (int x = 0; x < width; ++x)
                    d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
            }
        }
        return img;
    }

    if (bitCount != 16 && bitCount != 24 && bitCount != 32)
        return {};
    quint32 rMask, gMask, bMask;
    if (bitFields) {
        // Byte 40 in every header version: right after the 40-byte header, or
        // inside a larger one.
        const uchar* m = base + 40;
        std::memcpy(&rMask, m, 4);
        std::memcpy(&gMask, m + 4, 4);
        std::memcpy(&bMask, m + 8, 4);
    } else if (bitCount == 16) {
        rMask = 0x7c00;
        gMask = 0x03e0;
        bMask = 0x001f;
    } else {
        rMask = 0x00ff0000;
        gMask = 0x0000ff00;
        bMask = 0x000000ff;
    }
    int rs, rb, gs, gb, bs, bb;
    maskShape(rMask, rs, rb);
    maskShape(gMask, gs, gb);
    maskShape(bMask, bs, bb);
    QImage img(width, int(height), QImage::Format_RGB32);
    if (img.isNull())
        return {};
    for (int y = 0; y < height; ++y) {
        const uchar* s = srcRow(y);
        auto* d = reinterpret_cast<QRgb*>(img.scanLine(y));
        if (bitCount == 24 && !bitFields) {
            for (int x = 0; x < width; ++x, s += 3)
                d[x] = qRgb(s[2], s[1], s[0]);
        } else if (bitCount == 32 && !bitFields) {
            for (int x = 0; x < width; ++x, s += 4)
                d[x] = qRgb(s[2], s[1], s[0]);
        } else {
            const int bytes = bitCount / 8;
            for (int x = 0; x < width; ++x, s += bytes) {
                quint32 v = 0;
                for (int i = 0; i < bytes; ++i)
                    v |= quint32(s[i]) << (8 * i);
                d[x] = qRgb(scaleField(v, rMask, rs, rb), scaleField(v, gMask, gs, gb),
                            scaleField(v, bMask, bs, bb));
            }
        }
    }
    return img;
}

}  // namespace kordel
