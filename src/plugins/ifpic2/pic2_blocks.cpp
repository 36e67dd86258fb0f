#include "pic2_blocks.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "spi.h"
#include "spi_common.h"

namespace kordel::pic2 {

namespace {

// Channel layout of packed dot values.
struct Channels {
    explicit Channels(int depth) : bits(depth / 3), max((1u << (depth / 3)) - 1) {}
    uint32_t red(uint32_t v) const { return (v >> (2 * bits)) & max; }
    uint32_t green(uint32_t v) const { return (v >> bits) & max; }
    uint32_t blue(uint32_t v) const { return v & max; }
    uint32_t pack(uint32_t r, uint32_t g, uint32_t b) const {
        return (r << (2 * bits)) | (g << bits) | b;
    }
    // The raw codings keep green in the top field, as the X68000 did.
    uint32_t swapTop(uint32_t v) const { return pack(green(v), red(v), blue(v)); }

    int bits;
    uint32_t max;
};

// Zero bits past the end of the block's data.
class Bits {
public:
    Bits(const uint8_t* data, size_t size) : reader_(data, size) {}
    int bit() { return std::max(reader_.bit(), 0); }
    uint32_t get(int count) {
        uint32_t v = 0;
        if (reader_.bitsLeft() >= uint64_t(count)) {
            reader_.read(count, v);
        } else {
            for (int i = 0; i < count; ++i)
                v = (v << 1) | uint32_t(bit());
        }
        return v;
    }

private:
    spi::MsbBitReader reader_;
};

// ---- P2SS ----

// Binary arithmetic decoder: A is the width of the current interval, D the distance of
// the code value from its bottom, both scaled to 16 bits. prob[ctx] is the share of the
// interval given to 0 bits, in 1/65536.
class ArithmeticDecoder {
public:
    ArithmeticDecoder(const uint8_t* data, size_t size, const uint16_t* prob)
        : bits_(data, size), prob_(prob) {
        d_ = bits_.get(16);
    }

    // The code value must lie inside the interval. Every step keeps it there once it
    // starts there, so this is the only check the decoder needs.
    bool valid() const { return d_ < a_; }

    int bit(int ctx) {
        uint32_t p = ((a_ >> 8) * prob_[ctx]) >> 8;
        if (p == 0)
            p = 1;
        int b;
        if (d_ >= p) {
            b = 1;
            d_ -= p;
            a_ -= p;
        } else {
            b = 0;
            a_ = p;
        }
        while (a_ < 0x8000) {
            a_ <<= 1;
            d_ = (d_ << 1) | uint32_t(bits_.bit());
        }
        return b;
    }

    // 0 to 254 as a unary class i (contexts ctx .. ctx+7) followed by i bits, low bit
    // first (contexts ctx+8 ...); eight zeros mean 255.
    int number(int ctx) {
        for (int i = 0; i < 8; ++i) {
            if (bit(ctx + i)) {
                int v = (1 << i) - 1;
                for (int k = 0; k < i; ++k)
                    v += bit(ctx + 8 + k) << k;
                return v;
            }
        }
        return 255;
    }

    // A channel value coded as its distance from the prediction `bef`, alternating
    // above and below it until one side runs out of room.
    uint32_t value(int ctx, uint32_t bef, uint32_t max) {
        const int n = number(ctx);
        const int b = int(bef);
        const int m = int(max);
        int v;
        if (b > m / 2 ? n > 2 * (m - b) : n > 2 * b)
            v = b > m / 2 ? m - n : n;
        else
            v = (n & 1) ? b + n / 2 + 1 : b - n / 2;
        return uint32_t(std::clamp(v, 0, m));
    }

private:
    Bits bits_;
    const uint16_t* prob_;
    uint32_t a_ = 0xffff;
    uint32_t d_ = 0;
};

// Context numbers.
constexpr int kHitAfterHit = 15;
constexpr int kHitAfterMiss = 16;
constexpr int kCachePosition = 17;
constexpr int kGreen = 32;
constexpr int kRed = 48;
constexpr int kBlue = 64;
constexpr int kChain = 80;  // + 6 * direction of the arriving chain

constexpr int kSsKeys = 512;
constexpr int kSsDepth = 32;

class ArithmeticBlock {
public:
    ArithmeticBlock(ArithmeticDecoder& ad, const BlockShape& shape)
        : ad_(ad),
          ch_(shape.depth),
          width_(shape.width),
          height_(shape.height),
          prev_(size_t(width_)),
          cur_(size_t(width_)),
          next_(size_t(width_)),
          chainCur_(size_t(width_)),
          chainNext_(size_t(width_)),
          counters_{std::vector<uint8_t>(size_t(width_) + 3),
                    std::vector<uint8_t>(size_t(width_) + 3),
                    std::vector<uint8_t>(size_t(width_) + 3)},
          cache_(size_t(kSsKeys) * kSsDepth),
          cachePos_(kSsKeys) {}

    int32_t run(const RowSink& sink) {
        // Change-point counters for this line and the next two; entry x + 1 is dot x.
        uint8_t* c0 = counters_[0].data();
        uint8_t* c1 = counters_[1].data();
        uint8_t* c2 = counters_[2].data();
        for (int32_t y = 0; y < height_; ++y) {
            const bool chains = y < height_ - 1;
            uint32_t cc = y == 0 ? 0 : prev_[size_t(width_ - 1)];
            leftOfFirst_ = cc;
            std::fill(chainNext_.begin(), chainNext_.end(), 0);
            std::fill(c2, c2 + width_ + 3, 0);
            for (int32_t x = 0; x < width_; ++x) {
                if (const int d = chainCur_[size_t(x)]) {
                    cc = cur_[size_t(x)];
                    if (chains)
                        chain(x, kChain + 6 * d, cc);
                } else if (ad_.bit(c0[x + 1])) {
                    // Change points make their neighbours below and to the right
                    // more likely to be change points too.
                    ++c0[x + 2];
                    ++c0[x + 3];
                    ++c1[x];
                    ++c1[x + 1];
                    ++c1[x + 2];
                    ++c2[x];
                    ++c2[x + 1];
                    ++c2[x + 2];
                    cc = colour(x);
                    cur_[size_t(x)] = cc;
                    if (chains)
                        chain(x, kChain, cc);
                } else {
                    cur_[size_t(x)] = cc;
                }
            }
            if (!sink(y, cur_.data()))
                return SPI_CANCELLED;
            std::swap(prev_, cur_);
            std::swap(cur_, next_);
            std::swap(chainCur_, chainNext_);
            uint8_t* oldest = c0;
            c0 = c1;
            c1 = c2;
            c2 = oldest;
        }
        return SPI_OK;
    }

private:
    void chain(int32_t x, int base, uint32_t cc) {
        if (ad_.bit(base))
            return;  // the chain ends here
        int32_t t;
        uint8_t d;
        if (ad_.bit(base + 1)) {
            t = x;
            d = 1;
        } else if (ad_.bit(base + 2)) {
            t = x - 1;
            d = 2;
        } else if (ad_.bit(base + 3)) {
            t = x + 1;
            d = 3;
        } else if (ad_.bit(base + 4)) {
            t = x - 2;
            d = 4;
        } else {
            t = x + 2;
            d = 5;
        }
        if (t >= 0 && t < width_) {
            next_[size_t(t)] = cc;
            chainNext_[size_t(t)] = d;
        }
    }

    uint32_t colour(int32_t x) {
        const uint32_t up = prev_[size_t(x)];
        const uint32_t left = x == 0 ? leftOfFirst_ : cur_[size_t(x - 1)];
        const int s = ch_.bits - 3;
        const size_t key =
            ((ch_.red(up) >> s) << 6) | ((ch_.green(up) >> s) << 3) | (ch_.blue(up) >> s);
        uint32_t* slots = &cache_[key * kSsDepth];
        uint8_t& pos = cachePos_[key];
        uint32_t v;
        if (ad_.bit(hitContext_)) {
            // Not cached: each channel relative to the mean of the dots above and to the
            // left, red and blue also shifted by green's error.
            hitContext_ = kHitAfterMiss;
            const int r = int(ch_.red(up) + ch_.red(left)) / 2;
            const int g = int(ch_.green(up) + ch_.green(left)) / 2;
            const int b = int(ch_.blue(up) + ch_.blue(left)) / 2;
            const int m = int(ch_.max);
            const uint32_t g0 = ad_.value(kGreen, uint32_t(g), ch_.max);
            const int shift = int(g0) - g;
            const uint32_t r0 = ad_.value(kRed, uint32_t(std::clamp(r + shift, 0, m)), ch_.max);
            const uint32_t b0 = ad_.value(kBlue, uint32_t(std::clamp(b + shift, 0, m)), ch_.max);
            pos = uint8_t((pos + kSsDepth - 1) % kSsDepth);
            v = ch_.pack(r0, g0, b0);
            slots[pos] = v;
        } else {
            // Cached: the entry moves to the front, the ones it passes move back.
            hitContext_ = kHitAfterHit;
            const int j = ad_.number(kCachePosition);
            const int m = pos;
            const int i = (m + j / 2) % kSsDepth;
            const int k = (m + j) % kSsDepth;
            v = slots[k];
            slots[k] = slots[i];
            slots[i] = slots[m];
            slots[m] = v;
        }
        return v;
    }

    ArithmeticDecoder& ad_;
    Channels ch_;
    int32_t width_;
    int32_t height_;
    std::vector<uint32_t> prev_, cur_, next_;
    std::vector<uint8_t> chainCur_, chainNext_;  // 0, or the direction a chain came from
    std::vector<uint8_t> counters_[3];
    std::vector<uint32_t> cache_;
    std::vector<uint8_t> cachePos_;
    uint32_t leftOfFirst_ = 0;
    int hitContext_ = kHitAfterMiss;
};

// ---- P2SF ----

constexpr int kSfKeys = 256;
constexpr int kSfDepth = 64;
// A length of 1023 announces 1023 chain codes without runs; real runs of that length
// or more are stored one higher.
constexpr uint64_t kChainOnly = 1023;

class FastBlock {
public:
    FastBlock(const uint8_t* data, size_t size, const BlockShape& shape)
        : bits_(data, size),
          ch_(shape.depth),
          depth_(shape.depth),
          width_(shape.width),
          height_(shape.height),
          prev_(size_t(width_)),
          cur_(size_t(width_)),
          next_(size_t(width_)),
          chainCur_(size_t(width_)),
          chainNext_(size_t(width_)),
          cache_(size_t(kSfKeys) * kSfDepth),
          cachePos_(kSfKeys) {}

    int32_t run(const RowSink& sink) {
        uint32_t cc = 0;
        nextLength();
        for (int32_t y = 0; y < height_; ++y) {
            if (y > 0)
                cc = prev_[size_t(width_ - 1)];
            std::fill(chainNext_.begin(), chainNext_.end(), 0);
            for (int32_t x = 0; x < width_; ++x) {
                if (chainCur_[size_t(x)]) {
                    cc = cur_[size_t(x)];
                    chain(x, cc);
                    // In chain-only stretches the chain dots are what is counted.
                    if (chainOnly_ > 0 && --chainOnly_ == 0)
                        nextLength();
                } else if (chainOnly_ > 0 || run_ > 0) {
                    // Chain-only stretches carry the run colour on without counting.
                    if (chainOnly_ == 0)
                        --run_;
                    cur_[size_t(x)] = cc;
                } else {
                    cc = colour(cc);
                    cur_[size_t(x)] = cc;
                    chain(x, cc);
                    nextLength();
                }
                if (broken_)
                    return SPI_BROKEN_DATA;
            }
            if (!sink(y, cur_.data()))
                return SPI_CANCELLED;
            std::swap(prev_, cur_);
            std::swap(cur_, next_);
            std::swap(chainCur_, chainNext_);
        }
        return SPI_OK;
    }

private:
    // n one-bits, a zero, then n bits: 2^n - 1 + value (a lone zero is 0).
    void nextLength() {
        int ones = 0;
        while (bits_.bit()) {
            if (++ones > 32) {
                broken_ = true;
                return;
            }
        }
        const uint64_t v = ones == 0 ? 0 : bits_.get(ones) + (uint64_t(1) << ones) - 1;
        if (v == kChainOnly)
            chainOnly_ = int(kChainOnly);
        else
            run_ = v > kChainOnly ? v - 1 : v;
    }

    // 0: none; 11: straight down; 1011: x-1; 1010: x-2; 1001: x+1; 1000: x+2. Codes on
    // the last line lead nowhere and are dropped with the line below.
    void chain(int32_t x, uint32_t cc) {
        if (!bits_.bit())
            return;
        int32_t t;
        if (bits_.bit()) {
            t = x;
        } else {
            const int left = bits_.bit();
            const int near = bits_.bit();
            t = left ? (near ? x - 1 : x - 2) : (near ? x + 1 : x + 2);
        }
        if (t >= 0 && t < width_) {
            next_[size_t(t)] = cc;
            chainNext_[size_t(t)] = 1;
        }
    }

    // New colours are stored G-R-B; the cache is looked up by the top 8 bits of the
    // previous colour in that order.
    uint32_t colour(uint32_t previous) {
        const size_t key = ch_.swapTop(previous) >> (depth_ - 8);
        uint32_t* slots = &cache_[key * kSfDepth];
        uint8_t& pos = cachePos_[key];
        if (!bits_.bit()) {
            pos = uint8_t((pos + kSfDepth - 1) % kSfDepth);
            slots[pos] = ch_.swapTop(bits_.get(depth_));
            return slots[pos];
        }
        return slots[(pos + bits_.get(6)) % kSfDepth];
    }

    Bits bits_;
    Channels ch_;
    int depth_;
    int32_t width_;
    int32_t height_;
    std::vector<uint32_t> prev_, cur_, next_;
    std::vector<uint8_t> chainCur_, chainNext_;
    std::vector<uint32_t> cache_;
    std::vector<uint8_t> cachePos_;
    uint64_t run_ = 0;
    int chainOnly_ = 0;
    bool broken_ = false;
};

}  // namespace

int32_t decodeArithmetic(const uint8_t* data,
                         size_t size,
                         const BlockShape& shape,
                         const RowSink& sink) {
    if (size < kProbabilityTableSize)
        return SPI_BROKEN_DATA;
    uint16_t prob[128];
    for (int i = 0; i < 128; ++i)
        prob[i] = spi::be16(data + 2 * i);
    ArithmeticDecoder ad(data + kProbabilityTableSize, size - kProbabilityTableSize, prob);
    if (!ad.valid())
        return SPI_BROKEN_DATA;
    ArithmeticBlock block(ad, shape);
    return block.run(sink);
}

int32_t decodeFast(const uint8_t* data, size_t size, const BlockShape& shape, const RowSink& sink) {
    FastBlock block(data, size, shape);
    return block.run(sink);
}

int32_t decodeRaw(const uint8_t* data,
                  size_t size,
                  const BlockShape& shape,
                  bool littleEndian,
                  const RowSink& sink) {
    const int bytes = (shape.depth + 7) / 8;
    const uint64_t rowBytes = uint64_t(shape.width) * uint64_t(bytes);
    if (rowBytes * uint64_t(shape.height) > size)
        return SPI_BROKEN_DATA;
    const Channels ch(shape.depth);
    const uint32_t mask = (1u << shape.depth) - 1;
    std::vector<uint32_t> row(size_t(shape.width));
    for (int32_t y = 0; y < shape.height; ++y) {
        const uint8_t* p = data + uint64_t(y) * rowBytes;
        for (int32_t x = 0; x < shape.width; ++x, p += bytes) {
            uint32_t v;
            if (bytes == 3) {
                v = (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
            } else {
                v = littleEndian ? spi::le16(p) : spi::be16(p);
                // 15-bit words are X68000 colours: G5 R5 B5 and an intensity bit.
                if (ch.bits == 5)
                    v = ch.swapTop(v >> 1);
            }
            row[size_t(x)] = v & mask;
        }
        if (!sink(y, row.data()))
            return SPI_CANCELLED;
    }
    return SPI_OK;
}

}  // namespace kordel::pic2
