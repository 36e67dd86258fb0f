// The device-independent bitmap as files, metafile records and plug-ins store it: the info
// headers (the OS/2 1.x core header, OS/2 2.x headers, Windows 3.x to 5), the colour table,
// bit-field masks, RLE8 and RLE4 codes and the row layout. The BMP reader, the metafile player
// and the conversion of plug-in output all read bitmaps through this; it needs no Qt, so the
// decoder plug-ins may use it too.
#pragma once

#include <cstdint>
#include <cstring>

#include "spi.h"

namespace kordel::dib {

// biCompression: 0 to 6 in this order.
enum Compression : uint32_t { kRgb, kRle8, kRle4, kBitFields, kJpeg, kPng, kAlphaBitFields };

// Bytes per row: rows are padded to 4 bytes.
constexpr int64_t stride(int64_t width, int bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// Whether a picture of this size is within the decoder limits: both sides above 0 and at
// most SPI_MAX_DIMENSION, at most maxPixels dots in all.
constexpr bool withinLimits(int64_t width, int64_t height, uint64_t maxPixels = SPI_MAX_PIXELS) {
    return width > 0 && height > 0 && width <= SPI_MAX_DIMENSION && height <= SPI_MAX_DIMENSION &&
           uint64_t(width) * uint64_t(height) <= maxPixels;
}

// What an info header says.
struct Header {
    uint32_t size = 0;  // of the header itself: 12 for the core header, 16 to 124 otherwise
    int64_t width = 0;
    int64_t height = 0;  // as stored: below 0 for rows stored top-down
    int planes = 0;
    int bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t clrUsed = 0;
    uint32_t masks[4] = {};   // red, green, blue, alpha of bit-field pictures
    int64_t tableOffset = 0;  // the first colour-table entry, counted from the header's start
    int entrySize = 4;        // RGBQUAD, or RGBTRIPLE after the core header

    bool topDown() const { return height < 0; }
    // An OS/2 2.x header: 16 to 64 bytes and none of the sizes Windows writes.
    bool os2() const { return size >= 16 && size <= 64 && size != 40 && size != 52 && size != 56; }
    // The core header or one of the four Windows header versions.
    bool windowsSize() const {
        return size == 12 || size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
    }
};

// Reads the info header at the start of `data` (`size` bytes there). Fields a short OS/2 2.x
// header leaves out read as 0. The masks of a bit-field picture lie inside a header of 52 bytes
// or more (the alpha mask from 56 on), otherwise right after it, before the colour table.
// False for a header size of none of these kinds, or when the header or masks that follow it
// reach past `size`.
bool parseHeader(const uint8_t* data, int64_t size, Header& h);

// Whether the bit count suits the compression: 1, 4, 8, 16, 24 or 32 uncompressed, 8 for RLE8,
// 4 for RLE4, 16 or 32 for bit fields. False for JPEG, PNG and compressions not known here.
bool bitCountFits(const Header& h);

// Entries in the colour table of a 1-, 4- or 8-bit picture: clrUsed, or 2^bitCount when it
// is 0 or more than that.
constexpr int colourCount(int bitCount, uint32_t clrUsed) {
    const uint32_t full = 1u << bitCount;
    return int((clrUsed == 0 || clrUsed > full) ? full : clrUsed);
}

// Reads up to `count` colour-table entries (blue, green, red, and a fourth byte unless
// entrySize is 3) starting `offset` bytes into `data` into `table` as opaque 0xAARRGGBB.
// Stops at the first entry that does not lie wholly within `size` bytes; returns how many
// entries it read.
int readColourTable(const uint8_t* data,
                    int64_t size,
                    int64_t offset,
                    int entrySize,
                    int count,
                    uint32_t* table);

// The colour indices of the first `count` dots of a 1-, 4- or 8-bit row, one byte each.
inline void unpackIndices(const uint8_t* row, int bitCount, int64_t count, uint8_t* out) {
    if (count <= 0)
        return;
    if (bitCount == 8) {
        std::memcpy(out, row, size_t(count));
    } else if (bitCount == 4) {
        for (int64_t x = 0; x < count; ++x)
            out[x] = (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    } else {
        for (int64_t x = 0; x < count; ++x)
            out[x] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

// A dot of `bytes` bytes (2, 3 or 4), least significant byte first.
inline uint32_t pixelAt(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= uint32_t(p[i]) << (8 * i);
    return v;
}

// One channel of a bit-field dot: the lowest run of set bits in its mask. Bits of the mask
// above that run are no part of the channel.
class BitField {
public:
    explicit BitField(uint32_t mask = 0);

    int bits() const { return bits_; }
    // The channel's value, 0 to 2^bits - 1.
    uint32_t raw(uint32_t dot) const { return (dot & mask_) >> shift_ & max_; }
    // Scaled to 0..255 with rounding, so that the channel's largest value gives 255.
    int scaled(uint32_t dot) const {
        return bits_ ? int((uint64_t(raw(dot)) * 255u + max_ / 2) / max_) : 0;
    }
    // Widened to eight bits by repeating its bits downwards (a wider channel keeps its top
    // eight), so that a full channel gives 255 as well.
    int widened(uint32_t dot) const;

private:
    uint32_t mask_ = 0;
    uint32_t max_ = 0;
    int shift_ = 0;
    int bits_ = 0;
};

// Plays RLE8 codes (RLE4 with `rle4`) from `size` bytes at `src` onto a picture of
// width × height dots, bottom line first: put(x, y, index) for every dot the codes set inside
// the picture, y counted from the bottom. Dots the codes skip are not visited, nothing outside
// the picture is, and nothing past `size` bytes is read. Every step takes at least two bytes,
// so the codes always come to an end.
template <class Put>
void playRle(const uint8_t* src,
             int64_t size,
             bool rle4,
             int64_t width,
             int64_t height,
             Put&& put) {
    int64_t x = 0, y = 0, i = 0;
    auto dot = [&](int index) {
        if (x < width && y < height)
            put(x, y, index);
        ++x;
    };
    while (i + 2 <= size && y < height) {
        const int count = src[i], code = src[i + 1];
        i += 2;
        if (count > 0) {  // a run of one index, or of two alternating ones in RLE4
            for (int k = 0; k < count && x < width; ++k)
                dot(rle4 ? ((k & 1) ? (code & 15) : (code >> 4)) : code);
            continue;
        }
        if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of the picture
            break;
        } else if (code == 2) {  // move right and up
            if (i + 2 > size)
                break;
            x += src[i];
            y += src[i + 1];
            i += 2;
        } else {  // `code` literal dots, padded to a 16-bit boundary
            const int64_t bytes = rle4 ? (code + 1) / 2 : code;
            for (int k = 0; k < code; ++k) {
                const int64_t at = i + (rle4 ? k / 2 : k);
                if (at >= size)
                    break;
                dot(rle4 ? ((k & 1) ? (src[at] & 15) : (src[at] >> 4)) : src[at]);
            }
            i += bytes + (bytes & 1);
        }
    }
}

}  // namespace kordel::dib
