// MAG (MAKI02) decoder plug-in: 16- and 256-colour pictures, delivered as an
// 8-bit DIB with a colour table of 16 or 256 entries.
//
// The stream codes the picture in 2-byte units (4 dots at 16 colours, 2 dots at
// 256). Flag A holds one bit per flag byte and row; a set bit XORs the next flag B
// byte into that column's flag byte, whose two nibbles then say, per unit, "take
// the next 2 bytes of pixel data" (0) or "copy the unit at dx units left, dy rows
// up" (1-15). Copies reach at most 16 rows up, so only the last 17 rows are kept.
#include <algorithm>
#include <cstring>
#include <vector>

#include "spi.h"
#include "spi_common.h"

namespace {

using kordel::spi::Dib;
using kordel::spi::Progress;

constexpr const char* kPluginInfo[] = {"00IN", "MAG (MAKI02) decoder", "*.mag", "MAG picture"};

constexpr uint8_t kMagic[8] = {'M', 'A', 'K', 'I', '0', '2', ' ', ' '};
constexpr size_t kHeaderSize = 32;
constexpr int kRingRows = 17;
constexpr uint8_t kCopyDx[16] = {0, 1, 2, 4, 0, 1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0};
constexpr uint8_t kCopyDy[16] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16};

// Where the coded rows lie: the picture is widened to whole 4-byte groups.
struct Geometry {
    int bytesPerRow = 0;  // a multiple of 4
    int cropLeft = 0;     // dots dropped on the left
    uint64_t flagABytes = 0;
};

struct Header {
    bool colours256 = false;
    int width = 0, height = 0;
    size_t palette = 0;
    size_t flagA = 0, flagAEnd = 0;  // sections, clamped to the file
    size_t flagB = 0, flagBEnd = 0;
    size_t pixels = 0, pixelsEnd = 0;
    Geometry geometry;     // the one the file most likely uses
    Geometry alternative;  // the other alignment (equal to geometry when both agree)
};

// alignDots: 4 or 8 dots; the left edge is rounded down and the right edge up to it.
Geometry makeGeometry(int x0, int x1, int height, int dotsPerByte, int alignDots) {
    const int alignBytes = alignDots / dotsPerByte;
    const int left = x0 / dotsPerByte / alignBytes * alignBytes;
    const int right = x1 / dotsPerByte / alignBytes * alignBytes + alignBytes;
    Geometry g;
    g.bytesPerRow = right - left;
    g.cropLeft = x0 - left * dotsPerByte;
    g.flagABytes = (uint64_t(g.bytesPerRow / 4) * uint64_t(height) + 7) / 8;
    return g;
}

bool sameGeometry(const Geometry& a, const Geometry& b) {
    return a.bytesPerRow == b.bytesPerRow && a.cropLeft == b.cropLeft;
}

size_t clampedEnd(size_t start, uint64_t length, size_t fileSize) {
    return size_t(std::min<uint64_t>(uint64_t(start) + length, fileSize));
}

int32_t parseHeader(const std::vector<uint8_t>& d, Header& h) {
    if (d.size() < sizeof kMagic || std::memcmp(d.data(), kMagic, sizeof kMagic) != 0)
        return SPI_UNKNOWN_FORMAT;
    // The comment ends with 0x1A; the header starts at the next 0x00, which some
    // writers do not put right after it.
    const auto eof = std::find(d.begin() + 8, d.end(), uint8_t(0x1a));
    if (eof == d.end())
        return SPI_UNKNOWN_FORMAT;
    const auto start = std::find(eof + 1, d.end(), uint8_t(0));
    if (start == d.end())
        return SPI_UNKNOWN_FORMAT;
    const size_t base = size_t(start - d.begin());
    if (d.size() - base < kHeaderSize)
        return SPI_BROKEN_DATA;
    const uint8_t* p = d.data() + base;
    const uint8_t machine = p[1];
    const uint8_t machineFlags = p[2];
    // MSX YJK pictures hold colour values instead of palette indices.
    if (machine == 0x03 && (machineFlags == 0x24 || machineFlags == 0x34 || machineFlags == 0x44))
        return SPI_UNKNOWN_FORMAT;
    h.colours256 = (p[3] & 0x80) != 0;
    const int x0 = kordel::spi::le16(p + 4), y0 = kordel::spi::le16(p + 6);
    const int x1 = kordel::spi::le16(p + 8), y1 = kordel::spi::le16(p + 10);
    if (x1 < x0 || y1 < y0)
        return SPI_BROKEN_DATA;
    h.width = x1 - x0 + 1;
    h.height = y1 - y0 + 1;
    if (int32_t rc = kordel::spi::checkSize(h.width, h.height))
        return rc;
    h.palette = base + kHeaderSize;
    if (d.size() - h.palette < size_t(h.colours256 ? 768 : 48))
        return SPI_BROKEN_DATA;

    const uint32_t offA = kordel::spi::le32(p + 12), offB = kordel::spi::le32(p + 16);
    const uint32_t sizeB = kordel::spi::le32(p + 20), offP = kordel::spi::le32(p + 24);
    const uint32_t sizeP = kordel::spi::le32(p + 28);
    if (offB < offA)
        return SPI_BROKEN_DATA;
    // Some writers announce sections running a little past the end of the file.
    h.flagA = clampedEnd(base, offA, d.size());
    h.flagAEnd = clampedEnd(base, offB, d.size());
    h.flagB = h.flagAEnd;
    h.flagBEnd = clampedEnd(h.flagB, sizeB, d.size());
    h.pixels = clampedEnd(base, offP, d.size());
    h.pixelsEnd = clampedEnd(h.pixels, sizeP, d.size());

    // 256-colour rows are aligned to 4 dots by most writers and to 8 by a few: take
    // 8 only when flag A is clearly sized for it (writers pad it to even lengths).
    const int dotsPerByte = h.colours256 ? 1 : 2;
    h.geometry = makeGeometry(x0, x1, h.height, dotsPerByte, h.colours256 ? 4 : 8);
    h.alternative = makeGeometry(x0, x1, h.height, dotsPerByte, 8);
    const uint64_t sizeA = uint64_t(offB) - offA;
    if (!sameGeometry(h.geometry, h.alternative) && sizeA >= h.alternative.flagABytes &&
        h.alternative.flagABytes > (h.geometry.flagABytes + 1) / 2 * 2)
        std::swap(h.geometry, h.alternative);
    return SPI_OK;
}

// Decodes every row into the DIB. slack: bytes of flag B and pixel data left over,
// which tells a wrong alignment from the right one.
int32_t decodeRows(const std::vector<uint8_t>& d,
                   const Header& h,
                   const Geometry& g,
                   Dib& dib,
                   SpiProgress callback,
                   intptr_t user,
                   size_t& slack) {
    const int flagsPerRow = g.bytesPerRow / 4;
    std::vector<uint8_t> action(size_t(flagsPerRow), 0);
    std::vector<uint8_t> ring(size_t(kRingRows) * size_t(g.bytesPerRow));
    kordel::spi::MsbBitReader flagA(d.data() + h.flagA, h.flagAEnd - h.flagA);
    size_t b = h.flagB, px = h.pixels;
    Progress progress(callback, user, h.height);
    for (int y = 0; y < h.height; ++y) {
        uint8_t* row = ring.data() + size_t(y % kRingRows) * size_t(g.bytesPerRow);
        for (int i = 0; i < flagsPerRow; ++i) {
            // Flag A running short reads as "unchanged", as the format's own
            // writers pad it; flag B and pixel data must be there.
            if (flagA.bit() == 1) {
                if (b >= h.flagBEnd)
                    return SPI_BROKEN_DATA;
                action[size_t(i)] ^= d[b++];
            }
            for (int k = 0; k < 2; ++k) {
                const int f = k == 0 ? action[size_t(i)] >> 4 : action[size_t(i)] & 15;
                const int unit = 2 * i + k;
                uint8_t* out = row + 2 * unit;
                if (f == 0) {
                    if (h.pixelsEnd - px < 2)
                        return SPI_BROKEN_DATA;
                    out[0] = d[px];
                    out[1] = d[px + 1];
                    px += 2;
                    continue;
                }
                const int dy = kCopyDy[f], dx = kCopyDx[f];
                if (dy > y || dx > unit)
                    return SPI_BROKEN_DATA;
                const uint8_t* src = ring.data() +
                                     size_t((y - dy) % kRingRows) * size_t(g.bytesPerRow) +
                                     2 * (unit - dx);
                out[0] = src[0];
                out[1] = src[1];
            }
        }
        uint8_t* dots = dib.row(y);
        if (h.colours256) {
            std::memcpy(dots, row + g.cropLeft, size_t(h.width));
        } else {
            for (int x = 0; x < h.width; ++x) {
                const int pos = g.cropLeft + x;
                const uint8_t v = row[pos >> 1];
                dots[x] = (pos & 1) ? (v & 15) : (v >> 4);
            }
        }
        if (!progress.proceed(y + 1))
            return SPI_CANCELLED;
    }
    slack = (h.flagBEnd - b) + (h.pixelsEnd - px);
    return progress.finish() ? SPI_OK : SPI_CANCELLED;
}

int32_t readHeader(const char* name,
                   intptr_t offset,
                   uint32_t flag,
                   std::vector<uint8_t>& data,
                   Header& h) {
    if (int32_t rc = kordel::spi::readInput(name, offset, flag, data))
        return rc;
    return parseHeader(data, h);
}

int32_t getPicture(const char* name,
                   intptr_t offset,
                   uint32_t flag,
                   void** bitmapInfo,
                   void** bits,
                   SpiProgress progress,
                   intptr_t user) {
    std::vector<uint8_t> data;
    Header h;
    if (int32_t rc = readHeader(name, offset, flag, data, h))
        return rc;
    const int colours = h.colours256 ? 256 : 16;
    Dib dib;
    if (int32_t rc = dib.create(h.width, h.height, 8, colours))
        return rc;
    for (int i = 0; i < colours; ++i) {
        const uint8_t* c = data.data() + h.palette + 3 * size_t(i);  // G, R, B
        dib.setColour(i, c[1], c[0], c[2]);
    }
    size_t slack = 0;
    int32_t rc = decodeRows(data, h, h.geometry, dib, progress, user, slack);
    // A file that breaks under one alignment, or leaves more data over than a
    // writer's padding, may be written with the other.
    if (!sameGeometry(h.geometry, h.alternative) &&
        (rc == SPI_BROKEN_DATA || (rc == SPI_OK && slack > 2))) {
        size_t otherSlack = 0;
        const int32_t other = decodeRows(data, h, h.alternative, dib, progress, user, otherSlack);
        if (other == SPI_CANCELLED || (other == SPI_OK && (rc != SPI_OK || otherSlack < slack)))
            rc = other;
        else if (rc == SPI_OK)  // the first reading was the better one after all
            rc = decodeRows(data, h, h.geometry, dib, progress, user, slack);
    }
    if (rc != SPI_OK)
        return rc;
    return dib.release(bitmapInfo, bits);
}

bool isSupported(const uint8_t* head) {
    return std::memcmp(head, kMagic, sizeof kMagic) == 0;
}

int32_t pictureInfo(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info) {
    std::vector<uint8_t> data;
    Header h;
    if (int32_t rc = readHeader(name, offset, flag, data, h))
        return rc;
    kordel::spi::fillInfo(&info, h.width, h.height, h.colours256 ? 8 : 4);
    return SPI_OK;
}

}  // namespace

const kordel::spi::Decoder kordel::spi::kDecoder{kPluginInfo, int32_t(std::size(kPluginInfo)),
                                                 isSupported, pictureInfo, getPicture};
