#include "pic_decoder.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace kordel::pic {

namespace {

using spi::be16;

// Widens an n-bit channel to 8 bits by repeating its bit pattern (c5 -> c5<<3 | c5>>2).
uint8_t expand(uint32_t v, int n) {
    uint32_t r = 0;
    int filled = 0;
    while (filled < 8) {
        r = (r << n) | v;
        filled += n;
    }
    return uint8_t(r >> (filled - 8));
}

uint32_t rgb(uint8_t r, uint8_t g, uint8_t b) {
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

// X68000 colour word: G5 R5 B5 and an intensity bit that extends every channel to 6 bits.
uint32_t x68kWord(uint32_t c) {
    const uint32_t i = c & 1;
    return rgb(expand((((c >> 6) & 31) << 1) | i, 6), expand((((c >> 11) & 31) << 1) | i, 6),
               expand((((c >> 1) & 31) << 1) | i, 6));
}

// How a direct colour code is laid out in the stream.
enum class Layout {
    Index,  // palette index
    Grb332,
    Grb444,
    Grb555,
    Grb5551,  // with intensity bit
    Grb655,
    Grb888,
    Rgb555,
};

int codeBits(Layout layout, int depth) {
    switch (layout) {
        case Layout::Index:
            return depth;
        case Layout::Grb332:
            return 8;
        case Layout::Grb444:
            return 12;
        case Layout::Grb555:
        case Layout::Rgb555:
            return 15;
        case Layout::Grb5551:
        case Layout::Grb655:
            return 16;
        case Layout::Grb888:
            return 24;
    }
    return depth;
}

uint32_t toColour(Layout layout, uint32_t c) {
    switch (layout) {
        case Layout::Index:
            return c;
        case Layout::Grb332:
            return rgb(expand((c >> 2) & 7, 3), expand((c >> 5) & 7, 3), expand(c & 3, 2));
        case Layout::Grb444:
            return rgb(expand((c >> 4) & 15, 4), expand((c >> 8) & 15, 4), expand(c & 15, 4));
        case Layout::Grb555:
            return rgb(expand((c >> 5) & 31, 5), expand((c >> 10) & 31, 5), expand(c & 31, 5));
        case Layout::Grb5551:
            return x68kWord(c);
        case Layout::Grb655:
            return rgb(expand((c >> 5) & 31, 5), expand((c >> 10) & 63, 6), expand(c & 31, 5));
        case Layout::Grb888:
            return rgb(uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c));
        case Layout::Rgb555:
            return rgb(expand((c >> 10) & 31, 5), expand((c >> 5) & 31, 5), expand(c & 31, 5));
    }
    return 0;
}

Layout layoutOf(const Header& h) {
    if (h.indexed())
        return Layout::Index;
    switch (h.type) {
        case kPc88va:
            return h.depth == 8 ? Layout::Grb332 : h.depth == 12 ? Layout::Grb444 : Layout::Grb655;
        case kMacintosh:
            return Layout::Rgb555;
        default:
            break;
    }
    switch (h.depth) {
        case 12:
            return Layout::Grb444;
        case 15:
            return Layout::Grb555;
        case 16:
            return Layout::Grb5551;
        default:
            return Layout::Grb888;
    }
}

// Depths above 8 go through the colour cache, except on the Macintosh.
bool usesCache(const Header& h) {
    return h.depth > 8 && h.type != kMacintosh;
}

// Reads bits and hands out zeros past the end, remembering that it ran out, so that a
// damaged stream cannot keep the decoder going for longer than its data lasts.
class Bits {
public:
    Bits(const uint8_t* data, size_t size) : reader_(data, size) {}

    uint32_t get(int count) {
        uint32_t v = 0;
        if (!reader_.read(count, v))
            overrun_ = true;
        return v;
    }
    int bit() {
        const int b = reader_.bit();
        if (b < 0) {
            overrun_ = true;
            return 0;
        }
        return b;
    }
    bool overrun() const { return overrun_; }

private:
    spi::MsbBitReader reader_;
    bool overrun_ = false;
};

// 128 colours in least-recently-used order, kept in a ring: the slot after the newest
// is always the oldest, which a new colour replaces.
class ColourCache {
public:
    ColourCache() {
        for (int i = 0; i < kSlots; ++i) {
            next_[i] = uint8_t((i + 1) % kSlots);
            prev_[i] = uint8_t((i + kSlots - 1) % kSlots);
        }
    }

    uint32_t use(int slot) {
        if (slot != newest_) {
            if (slot == next_[newest_]) {
                newest_ = slot;  // the oldest becomes the newest: the ring just turns
            } else {
                next_[prev_[slot]] = next_[slot];
                prev_[next_[slot]] = prev_[slot];
                const int oldest = next_[newest_];
                next_[newest_] = uint8_t(slot);
                prev_[slot] = uint8_t(newest_);
                next_[slot] = uint8_t(oldest);
                prev_[oldest] = uint8_t(slot);
                newest_ = slot;
            }
        }
        return value_[slot];
    }

    void add(uint32_t colour) {
        newest_ = next_[newest_];
        value_[newest_] = colour;
    }

private:
    static constexpr int kSlots = 128;
    uint32_t value_[kSlots] = {};
    uint8_t next_[kSlots];
    uint8_t prev_[kSlots];
    int newest_ = 0;
};

// Length codes: n one-bits, a zero, then n+1 bits v; length = 2^(n+1) - 1 + v. No
// picture within the size limits needs more than 26 one-bits.
constexpr int kMaxLengthOnes = 30;

bool readLength(Bits& bits, uint64_t& length) {
    int ones = 0;
    while (bits.bit()) {
        if (++ones > kMaxLengthOnes)
            return false;
    }
    const uint32_t v = bits.get(ones + 1);
    length = (uint64_t(1) << (ones + 1)) - 1 + v;
    return true;
}

// The picture being built: dots go straight into the DIB rows. Dots placed ahead of
// the raster position by chains are flagged so that the run passing over them picks
// up their colour.
class Canvas {
public:
    Canvas(spi::Dib& dib, bool indexed)
        : dib_(dib),
          width_(dib.width()),
          height_(dib.height()),
          indexed_(indexed),
          marks_((uint64_t(width_) * uint64_t(height_) + 63) / 64) {}

    void put(uint8_t* row, int32_t x, uint32_t v) {
        if (indexed_) {
            row[x] = uint8_t(v);
        } else {
            uint8_t* p = row + size_t(x) * 3;
            p[0] = uint8_t(v);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t(v >> 16);
        }
    }
    uint32_t get(const uint8_t* row, int32_t x) const {
        if (indexed_)
            return row[x];
        const uint8_t* p = row + size_t(x) * 3;
        return rgb(p[2], p[1], p[0]);
    }
    void mark(int32_t x, int32_t y, uint32_t v) {
        put(dib_.row(y), x, v);
        const uint64_t i = uint64_t(y) * uint64_t(width_) + uint64_t(x);
        marks_[i >> 6] |= uint64_t(1) << (i & 63);
    }
    bool marked(uint64_t i) const { return (marks_[i >> 6] >> (i & 63)) & 1; }

private:
    spi::Dib& dib_;
    int32_t width_;
    int32_t height_;
    bool indexed_;
    std::vector<uint64_t> marks_;
};

// Follows a chain from (x, y): every step goes one line down and up to two dots
// sideways. Steps that leave the picture are read but mark nothing; the bit reader's
// zeros past the end close a chain that never ends.
void followChain(Bits& bits,
                 Canvas& canvas,
                 int64_t x,
                 int64_t y,
                 int32_t width,
                 int32_t height,
                 uint32_t colour) {
    for (;;) {
        int dx;
        if (bits.bit())
            dx = bits.bit() ? 1 : 0;
        else if (bits.bit())
            dx = -1;
        else if (bits.bit())
            dx = bits.bit() ? 2 : -2;
        else
            return;
        if (bits.overrun())
            return;
        x += dx;
        ++y;
        if (y < height && x >= 0 && x < width)
            canvas.mark(int32_t(x), int32_t(y), colour);
    }
}

int32_t readPalette(Bits& bits, const Header& h, spi::Dib& dib) {
    const int count = 1 << h.depth;
    const bool words = h.type == kX68000 || h.paletteBits == 0;
    for (int i = 0; i < count; ++i) {
        uint32_t c;
        if (words) {
            c = x68kWord(bits.get(16));
        } else {
            const int p = h.paletteBits;
            const uint32_t g = bits.get(p);
            const uint32_t r = bits.get(p);
            const uint32_t b = bits.get(p);
            c = rgb(expand(r, p), expand(g, p), expand(b, p));
        }
        dib.setColour(i, uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c));
    }
    return bits.overrun() ? SPI_BROKEN_DATA : SPI_OK;
}

bool validDepth(int type, int depth) {
    switch (type) {
        case kX68000:
            return depth == 4 || depth == 8 || depth == 15 || depth == 16;
        case kPc88va:
            return depth == 8 || depth == 12 || depth == 16;
        case kFmTowns:
        case kMacintosh:
            return depth == 15;
        case kGeneric:
            return depth == 4 || depth == 8 || depth == 12 || depth == 15 || depth == 16 ||
                   depth == 24;
        default:
            return false;
    }
}

bool validVaSize(int32_t w, int32_t h) {
    if (w == 640)
        return h == 400 || h == 204 || h == 200;
    if (w == 320)
        return h == 408 || h == 400 || h == 200;
    return false;
}

void setDensity(Header& h, int dotWidth, int dotHeight) {
    // A wide dot means fewer dots per unit of width: the densities are the dot shape
    // turned round.
    const int g = std::gcd(dotWidth, dotHeight);
    h.xDensity = uint16_t(dotHeight / g);
    h.yDensity = uint16_t(dotWidth / g);
}

int32_t chooseAspect(Header& h) {
    const bool given = h.aspectA != 0 && h.aspectB != 0;
    switch (h.type) {
        case kGeneric:
            if (given)
                setDensity(h, h.aspectA, h.aspectB);
            else if (h.mode == 15)
                return SPI_BROKEN_DATA;  // this mode promises the ratio
            else if (h.mode == 1)
                setDensity(h, 4, 3);
            break;
        case kX68000:
            // 4-bit pictures come from the 768x512 screen with square dots, the others
            // from the 512x512 screens whose dots are a third wider than high.
            if (h.depth != 4)
                setDensity(h, 4, 3);
            break;
        case kFmTowns:
            if (h.mode == 0 && given)
                setDensity(h, h.aspectA, h.aspectB);
            break;
        case kPc88va:
            // Pictures fill the 640x400 screen: 320-dot lines have wide dots, 200-line
            // pictures tall ones.
            setDensity(h, h.width == 320 ? 2 : 1, h.height <= 204 ? 2 : 1);
            break;
        default:
            break;
    }
    return SPI_OK;
}

}  // namespace

bool looksLikePic(const uint8_t* head, size_t size) {
    if (size < 3 || std::memcmp(head, "PIC", 3) != 0)
        return false;
    Header h;
    const int32_t rc = parseHeader(head, size, h);
    if (rc == SPI_OK)
        return true;
    // A comment longer than the head leaves the rest of the header out of sight. Such
    // a comment is text; the zeros that fill the head of a short file are not.
    return rc == SPI_BROKEN_DATA && !std::memchr(head + 3, 0x1a, size - 3) &&
           !std::memchr(head + 3, 0, size - 3);
}

int32_t parseHeader(const uint8_t* data, size_t size, Header& h) {
    if (size < 3 || std::memcmp(data, "PIC", 3) != 0)
        return SPI_UNKNOWN_FORMAT;
    const uint8_t* end = data + size;
    const uint8_t* p = static_cast<const uint8_t*>(std::memchr(data + 3, 0x1a, size - 3));
    if (!p)
        return SPI_BROKEN_DATA;
    // Past the comment's end mark comes filler that ends with the first zero byte.
    p = static_cast<const uint8_t*>(std::memchr(p + 1, 0, size_t(end - (p + 1))));
    if (!p)
        return SPI_BROKEN_DATA;
    ++p;
    if (end - p < 8)
        return SPI_BROKEN_DATA;
    if (p[0] != 0)
        return SPI_UNKNOWN_FORMAT;
    h.type = p[1] & 15;
    h.mode = p[1] >> 4;
    h.depth = be16(p + 2);
    h.width = be16(p + 4);
    h.height = be16(p + 6);
    p += 8;
    if (!validDepth(h.type, h.depth))
        return SPI_UNKNOWN_FORMAT;
    switch (h.type) {
        case kX68000:
            if (h.mode != 0)
                return SPI_UNKNOWN_FORMAT;
            break;
        case kPc88va:
            if (!validVaSize(h.width, h.height))
                return SPI_UNKNOWN_FORMAT;
            // Bit 1 packs two 256-colour dots into every 16-bit value; too few such
            // files are known to be sure of their layout.
            if (h.mode & 2)
                return SPI_UNKNOWN_FORMAT;
            break;
        case kGeneric:
            if (h.mode != 0 && h.mode != 1 && h.mode != 15)
                return SPI_UNKNOWN_FORMAT;
            break;
        default:
            break;
    }
    if (h.type == kGeneric || (h.type == kFmTowns && h.mode == 0)) {
        const bool palette = h.depth <= 8;
        if (end - p < (palette ? 7 : 6))
            return SPI_BROKEN_DATA;
        // Bytes 0-3 are the saved screen position, which a viewer has no use for.
        h.aspectA = p[4];
        h.aspectB = p[5];
        p += 6;
        if (palette) {
            h.paletteBits = *p++;
            if (h.paletteBits > 8)
                return SPI_BROKEN_DATA;
        }
    }
    if (h.width == 0 || h.height == 0)
        return SPI_BROKEN_DATA;
    h.dataOffset = size_t(p - data);
    return chooseAspect(h);
}

int32_t decode(const uint8_t* data,
               size_t size,
               const Header& h,
               spi::Dib& dib,
               spi::Progress& progress) {
    const bool indexed = h.indexed();
    if (int32_t rc = dib.create(h.width, h.height, indexed ? 8 : 24, indexed ? 1 << h.depth : 0))
        return rc;
    Bits bits(data + h.dataOffset, size - h.dataOffset);
    if (indexed) {
        if (int32_t rc = readPalette(bits, h, dib))
            return rc;
    }
    const Layout layout = layoutOf(h);
    const int colourBits = codeBits(layout, h.depth);
    const bool cached = usesCache(h);
    ColourCache cache;
    Canvas canvas(dib, indexed);

    const int32_t width = h.width;
    const int32_t height = h.height;
    const uint64_t total = uint64_t(width) * uint64_t(height);
    // `placed` dots are done; the last of them is (x, y), in `row`.
    uint64_t placed = 0;
    int32_t x = -1;
    int32_t y = 0;
    uint8_t* row = dib.row(0);
    // Only called while dots remain, so a new line always exists.
    auto advance = [&] {
        ++placed;
        if (++x == width) {
            x = 0;
            row = dib.row(++y);
        }
    };
    auto remaining = [&] { return total - placed; };

    uint32_t colour = 0;  // dots before the first change point are colour 0
    int32_t reportedRow = -1;
    while (remaining() > 0) {
        // A stream that ran dry mid-picture is damaged; once every dot is placed, the
        // closing length code is not needed.
        if (bits.overrun())
            return SPI_BROKEN_DATA;
        if (y != reportedRow) {
            reportedRow = y;
            if (!progress.proceed(y))
                return SPI_CANCELLED;
        }
        uint64_t length;
        if (!readLength(bits, length))
            return SPI_BROKEN_DATA;
        for (uint64_t n = std::min(length - 1, remaining()); n > 0; --n) {
            advance();
            if (canvas.marked(placed - 1))
                colour = canvas.get(row, x);  // a chain dot changes the run's colour
            else
                canvas.put(row, x, colour);
        }
        if (remaining() == 0)
            break;
        advance();
        if (cached) {
            if (bits.bit()) {
                colour = cache.use(int(bits.get(7)));
            } else {
                colour = toColour(layout, bits.get(colourBits));
                cache.add(colour);
            }
        } else {
            colour = toColour(layout, bits.get(colourBits));
        }
        if (bits.overrun())
            return SPI_BROKEN_DATA;
        canvas.put(row, x, colour);
        if (bits.bit())
            followChain(bits, canvas, x, y, width, height, colour);
    }
    return progress.finish() ? SPI_OK : SPI_CANCELLED;
}

}  // namespace kordel::pic
