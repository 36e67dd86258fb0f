#include "dib.h"

#include <cstring>

#include "dib_format.h"

namespace kordel {

QImage imageFromDib(const void* bitmapInfo, const void* bits) {
    if (!bitmapInfo || !bits)
        return {};
    // The block is the plug-in interface's own: a BITMAPINFOHEADER of at least 40 bytes,
    // whatever size it claims, with the masks of bit-field pictures at byte 40.
    SpiBitmapInfoHeader h;
    std::memcpy(&h, bitmapInfo, sizeof h);
    const int width = h.biWidth;
    const bool topDown = h.biHeight < 0;
    const qint64 height = topDown ? -qint64(h.biHeight) : qint64(h.biHeight);
    // Plug-ins hold pictures to their own limits, photographs to the larger one.
    if (!dib::withinLimits(width, height, SPI_MAX_PHOTO_PIXELS))
        return {};
    const int bitCount = h.biBitCount;
    const bool bitFields = h.biCompression == dib::kBitFields;
    if (h.biCompression != dib::kRgb && !bitFields)
        return {};
    // The colour table follows the header; no header version is larger than 124 bytes.
    if (h.biSize > 124)
        return {};
    const quint32 headerSize = h.biSize >= 40 ? h.biSize : 40;
    const auto* base = static_cast<const uchar*>(bitmapInfo);
    const auto* rows = static_cast<const uchar*>(bits);
    const qsizetype stride = dib::stride(width, bitCount);
    auto srcRow = [&](int y) {
        const qint64 r = topDown ? y : (height - 1 - y);
        return rows + r * stride;
    };

    if (bitCount == 1 || bitCount == 4 || bitCount == 8) {
        const int used = dib::colourCount(bitCount, h.biClrUsed);
        QImage img(width, int(height), QImage::Format_Indexed8);
        if (img.isNull())
            return {};
        QList<QRgb> table(1 << bitCount, qRgb(0, 0, 0));
        dib::readColourTable(base, headerSize + qint64(used) * 4, headerSize, 4, used,
                             table.data());
        img.setColorTable(table);
        for (int y = 0; y < height; ++y)
            dib::unpackIndices(srcRow(y), bitCount, width, img.scanLine(y));
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
    const dib::BitField red(rMask), green(gMask), blue(bMask);
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
                const quint32 v = dib::pixelAt(s, bytes);
                d[x] = qRgb(red.scaled(v), green.scaled(v), blue.scaled(v));
            }
        }
    }
    return img;
}

}  // namespace kordel
