#include "pic2_decoder.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "pic2_blocks.h"

namespace kordel::pic2 {

namespace {

using spi::be16;
using spi::be32;

constexpr size_t kHeaderSize = 124;
constexpr size_t kBlockHeaderSize = 26;
// More blocks than any saver writes; a damaged list stops here.
constexpr int kMaxBlocks = 4096;

constexpr uint32_t fourCc(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

bool codingOf(uint32_t id, Coding& coding) {
    switch (id) {
        case fourCc("P2SS"):
            coding = Coding::Arithmetic;
            return true;
        case fourCc("P2SF"):
            coding = Coding::Fast;
            return true;
        case fourCc("P2BM"):
            coding = Coding::RawBigEndian;
            return true;
        case fourCc("P2BI"):
            coding = Coding::RawLittleEndian;
            return true;
        default:
            return false;
    }
}

// Files with a palette store 8-bit dots in a way nobody has described; only
// three-channel depths with at least 3 bits a channel are read.
bool readableDepth(int depth) {
    return depth % 3 == 0 && depth >= 9 && depth <= 24;
}

// Data a block needs at the least: the probability table of arithmetic coding, every
// dot of raw ones.
uint64_t minimumData(const Block& b, int depth) {
    switch (b.coding) {
        case Coding::Arithmetic:
            return kProbabilityTableSize;
        case Coding::Fast:
            return 0;
        default:
            return uint64_t(b.width) * uint64_t(b.height) * uint64_t((depth + 7) / 8);
    }
}

// Channel value (c bits) to 8 bits by repeating its bits.
uint8_t expand(uint32_t v, int n) {
    uint32_t r = 0;
    int filled = 0;
    while (filled < 8) {
        r = (r << n) | v;
        filled += n;
    }
    return uint8_t(r >> (filled - 8));
}

}  // namespace

bool looksLikePic2(const uint8_t* head, size_t size) {
    return size >= kHeaderSize && std::memcmp(head, "P2DT", 4) == 0 &&
           readableDepth(be16(head + 110));
}

int32_t parse(const uint8_t* data, size_t size, Picture& pic) {
    if (size < 4 || std::memcmp(data, "P2DT", 4) != 0)
        return SPI_UNKNOWN_FORMAT;
    if (size < kHeaderSize)
        return SPI_BROKEN_DATA;
    const uint16_t flags = be16(data + 98);
    const uint32_t headerSize = be32(data + 106);
    pic.depth = be16(data + 110);
    const uint16_t xAspect = be16(data + 112);
    const uint16_t yAspect = be16(data + 114);
    if (!readableDepth(pic.depth))
        return SPI_UNKNOWN_FORMAT;
    size_t minHeader = kHeaderSize;
    if (flags & 1) {
        if (size < kHeaderSize + 3)
            return SPI_BROKEN_DATA;
        const int bits = data[kHeaderSize];
        const int entries = be16(data + kHeaderSize + 1);
        if (bits < 1 || bits > 8 || entries > 256)
            return SPI_BROKEN_DATA;
        // A palette next to direct colours is only a suggestion for palette screens.
        minHeader += 3 + 3 * size_t(entries);
    }
    if (headerSize < minHeader || headerSize > size)
        return SPI_BROKEN_DATA;

    int64_t width = be16(data + 116);
    int64_t height = be16(data + 118);
    bool unknownBlocks = false;
    uint64_t dots = 0;
    size_t pos = headerSize;
    pic.blocks.clear();
    for (int count = 0;; ++count) {
        if (size - pos < 8) {
            // The list may end with the file; a scrap of a block header may not, but
            // a little zero padding may.
            if (std::any_of(data + pos, data + size, [](uint8_t b) { return b != 0; }))
                return SPI_BROKEN_DATA;
            break;
        }
        const uint32_t id = be32(data + pos);
        if (id == 0)
            break;
        const uint32_t blockSize = be32(data + pos + 4);
        if (blockSize < 8 || blockSize > size - pos || count >= kMaxBlocks)
            return SPI_BROKEN_DATA;
        Block b;
        if (codingOf(id, b.coding)) {
            if (blockSize < kBlockHeaderSize)
                return SPI_BROKEN_DATA;
            const uint8_t* h = data + pos;
            b.transparent = be16(h + 8) & 1;
            b.width = be16(h + 10);
            b.height = be16(h + 12);
            b.x = be16(h + 14);
            b.y = be16(h + 16);
            b.transparentColour = be32(h + 18);
            b.dataOffset = pos + kBlockHeaderSize;
            b.dataSize = blockSize - kBlockHeaderSize;
            if (b.width == 0 || b.height == 0 || b.dataSize < minimumData(b, pic.depth))
                return SPI_BROKEN_DATA;
            // The canvas grows to hold every block.
            width = std::max<int64_t>(width, int64_t(b.x) + b.width);
            height = std::max<int64_t>(height, int64_t(b.y) + b.height);
            dots += uint64_t(b.width) * uint64_t(b.height);
            pic.blocks.push_back(b);
        } else if (id != fourCc("PDPI")) {
            unknownBlocks = true;
        }
        pos += blockSize;
    }
    if (pic.blocks.empty())
        return unknownBlocks ? SPI_UNKNOWN_FORMAT : SPI_BROKEN_DATA;
    if (int32_t rc = spi::checkSize(width, height))
        return rc;
    // Overlapping blocks may cover the canvas many times over; bound the work too.
    if (dots > SPI_MAX_PIXELS)
        return SPI_NO_MEMORY;
    pic.width = int32_t(width);
    pic.height = int32_t(height);
    // x_aspect : y_aspect is the dot's width : height; the densities are its inverse.
    if (xAspect != 0 && yAspect != 0) {
        const int g = std::gcd(int(xAspect), int(yAspect));
        pic.xDensity = uint16_t(yAspect / g);
        pic.yDensity = uint16_t(xAspect / g);
    } else {
        pic.xDensity = pic.yDensity = 1;
    }
    return SPI_OK;
}

int32_t decode(const uint8_t* data,
               size_t size,
               const Picture& pic,
               spi::Dib& dib,
               spi::Progress& progress) {
    if (int32_t rc = dib.create(pic.width, pic.height, 24, 0))
        return rc;
    const int c = pic.depth / 3;
    const uint32_t max = (1u << c) - 1;
    uint8_t level[256];
    for (uint32_t v = 0; v <= max; ++v)
        level[v] = expand(v, c);
    int32_t done = 0;
    for (const Block& b : pic.blocks) {
        const BlockShape shape{b.width, b.height, pic.depth};
        auto sink = [&](int32_t y, const uint32_t* row) {
            uint8_t* out = dib.row(b.y + y) + size_t(b.x) * 3;
            for (int32_t x = 0; x < b.width; ++x, out += 3) {
                const uint32_t v = row[x];
                if (b.transparent && v == b.transparentColour)
                    continue;
                out[0] = level[v & max];
                out[1] = level[(v >> c) & max];
                out[2] = level[(v >> (2 * c)) & max];
            }
            return progress.proceed(++done);
        };
        if (b.dataOffset > size || b.dataSize > size - b.dataOffset)
            return SPI_INTERNAL_ERROR;  // not the data the blocks were found in
        const uint8_t* blockData = data + b.dataOffset;
        int32_t rc;
        switch (b.coding) {
            case Coding::Arithmetic:
                rc = decodeArithmetic(blockData, b.dataSize, shape, sink);
                break;
            case Coding::Fast:
                rc = decodeFast(blockData, b.dataSize, shape, sink);
                break;
            default:
                rc = decodeRaw(blockData, b.dataSize, shape, b.coding == Coding::RawLittleEndian,
                               sink);
                break;
        }
        if (rc != SPI_OK)
            return rc;
    }
    return progress.finish() ? SPI_OK : SPI_CANCELLED;
}

}  // namespace kordel::pic2
