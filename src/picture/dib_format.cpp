#include "dib_format.h"

namespace kordel::dib {

namespace {

// Little-endian reads; the callers have checked that the bytes are there.
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace

bool parseHeader(const uint8_t* data, int64_t size, Header& h) {
    h = Header{};
    if (size < 4)
        return false;
    h.size = le32(data);
    if (h.size == 12) {
        // OS/2 1.x core header: 16-bit sizes, three-byte colour entries.
        if (size < 12)
            return false;
        h.width = le16(data + 4);
        h.height = le16(data + 6);
        h.planes = le16(data + 8);
        h.bitCount = le16(data + 10);
        h.tableOffset = 12;
        h.entrySize = 3;
        return true;
    }
    // Windows headers are 40, 52, 56, 108 or 124 bytes; OS/2 2.x ones 16 to 64.
    if (h.size < 16 || h.size > 124 || size < int64_t(h.size))
        return false;
    auto field = [&](uint32_t offset) { return offset + 4 <= h.size ? le32(data + offset) : 0; };
    h.width = int32_t(le32(data + 4));
    h.height = int32_t(le32(data + 8));
    h.planes = le16(data + 12);
    h.bitCount = le16(data + 14);
    h.compression = field(16);
    h.clrUsed = field(32);
    h.tableOffset = h.size;
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        const int count = h.compression == kAlphaBitFields ? 4 : 3;
        if (h.size >= 52) {
            for (int i = 0; i < (h.size >= 56 ? 4 : 3); ++i)
                h.masks[i] = le32(data + 40 + 4 * i);
        } else {
            if (size < h.tableOffset + 4 * count)
                return false;
            for (int i = 0; i < count; ++i)
                h.masks[i] = le32(data + h.tableOffset + 4 * i);
            h.tableOffset += 4 * count;
        }
    }
    return true;
}

bool bitCountFits(const Header& h) {
    switch (h.compression) {
        case kRgb:
            return h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 || h.bitCount == 16 ||
                   h.bitCount == 24 || h.bitCount == 32;
        case kRle8:
            return h.bitCount == 8;
        case kRle4:
            return h.bitCount == 4;
        case kBitFields:
        case kAlphaBitFields:
            return h.bitCount == 16 || h.bitCount == 32;
        default:
            return false;
    }
}

int readColourTable(const uint8_t* data,
                    int64_t size,
                    int64_t offset,
                    int entrySize,
                    int count,
                    uint32_t* table) {
    int i = 0;
    for (; i < count; ++i) {
        const int64_t at = offset + int64_t(i) * entrySize;
        if (at < 0 || at > size - entrySize)
            break;
        const uint8_t* e = data + at;
        table[i] = 0xff000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
    }
    return i;
}

BitField::BitField(uint32_t mask) : mask_(mask) {
    if (!mask)
        return;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++shift_;
    }
    while (mask & 1u) {
        mask >>= 1;
        ++bits_;
    }
    max_ = bits_ >= 32 ? 0xffffffffu : (1u << bits_) - 1u;
}

int BitField::widened(uint32_t dot) const {
    if (!bits_)
        return 0;
    const uint32_t v = raw(dot);
    if (bits_ >= 8)
        return int(v >> (bits_ - 8));
    uint32_t out = 0;
    for (int filled = 0; filled < 8; filled += bits_)
        out |= v << (8 - bits_) >> filled;
    return int(out & 0xff);
}

}  // namespace kordel::dib
