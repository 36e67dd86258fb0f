// Picture files written by hand for the picture component's tests: BMP in its
// header versions and codings, and ICO with several images.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

#include "file_io.h"

namespace kordel::test {

struct BmpLayout {
    enum class Header { Windows, Os2v1, Os2v2, V4 };  // 40, 12, 64 and 108 bytes
    Header header = Header::Windows;
    int width = 0;
    int height = 0;
    bool topDown = false;  // negative height
    int bits = 24;
    int compression = 0;  // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    std::vector<QRgb> palette{};
    uint32_t clrUsed = 0;    // as written; the palette is written whole either way
    uint32_t masks[4] = {};  // red, green, blue, alpha (alpha: V4 only)
    // Top line first: colour indices, or the raw value of a dot (a 16-bit word,
    // 0xRRGGBB for 24 bits, the whole little-endian word for 32 bits).
    std::vector<uint32_t> dots{};
};

QByteArray writeBmp(const BmpLayout& layout);

struct IcoImage {
    int width = 0;
    int height = 0;
    int bits = 32;               // 4, 8 or 32 for a BMP image
    std::vector<QRgb> palette;   // 4 and 8 bits
    std::vector<uint32_t> dots;  // top line first: indices, or ARGB for 32 bits
    std::vector<bool> clear;     // top line first: set in the AND mask (transparent)
    QByteArray png;              // non-empty: this PNG stream is stored instead
    int directoryBits = -1;      // what the directory entry says; -1: bits
    int directoryHeight = 0;     // what the directory entry says; 0: height
};

QByteArray writeIco(const std::vector<IcoImage>& images);
// A square icon image of one colour with a transparent top-left quarter.
IcoImage solidIcon(int size, int bits, QRgb colour);

}  // namespace kordel::test
