#include "pic2_encoder.h"

#include <algorithm>
#include <cmath>

namespace kordel::test {

namespace {

void put16(QByteArray& out, uint32_t v) {
    out.append(char(v >> 8));
    out.append(char(v));
}

void put32(QByteArray& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xffff);
}

struct Channels {
    explicit Channels(int depth) : c(depth / 3), max((1u << (depth / 3)) - 1) {}
    uint32_t r(uint32_t v) const { return (v >> (2 * c)) & max; }
    uint32_t g(uint32_t v) const { return (v >> c) & max; }
    uint32_t b(uint32_t v) const { return v & max; }
    uint32_t pack(uint32_t r, uint32_t g, uint32_t b) const { return r << (2 * c) | g << c | b; }
    uint32_t swapRG(uint32_t v) const { return pack(g(v), r(v), b(v)); }
    int c;
    uint32_t max;
};

// Chain decisions shared by both compressed codings: every change point or chain dot
// hands its colour on to a dot of the same colour that would start a run in the line
// below, trying straight down, then one and two dots aside.
struct Plan {
    std::vector<int> arrive;  // 0, or the direction 1..5 a chain came from
    std::vector<int> target;  // 0, or the direction 1..5 the chain goes on in
};

constexpr int kStepDx[6] = {0, 0, -1, 1, -2, 2};

uint32_t carried(const P2Block& b, int x, int y) {
    if (x > 0)
        return b.dots[size_t(y) * size_t(b.width) + size_t(x - 1)];
    return y > 0 ? b.dots[size_t(y) * size_t(b.width) - 1] : 0;
}

Plan planChains(const P2Block& b) {
    const int w = b.width, h = b.height;
    Plan plan{std::vector<int>(size_t(w) * size_t(h)), std::vector<int>(size_t(w) * size_t(h))};
    auto at = [&](int x, int y) { return b.dots[size_t(y) * size_t(w) + size_t(x)]; };
    for (int y = 0; b.chains && y + 1 < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            const uint32_t v = at(x, y);
            if (!plan.arrive[i] && v == carried(b, x, y))
                continue;  // a run dot
            for (int d = 1; d <= 5; ++d) {
                const int t = x + kStepDx[d];
                if (t < 0 || t >= w)
                    continue;
                const size_t ti = size_t(y + 1) * size_t(w) + size_t(t);
                if (!plan.arrive[ti] && at(t, y + 1) == v && at(t, y + 1) != carried(b, t, y + 1)) {
                    plan.arrive[ti] = d;
                    plan.target[i] = d;
                    break;
                }
            }
        }
    }
    return plan;
}

// ---- P2SS ----

class Coder {
public:
    virtual ~Coder() = default;
    virtual void code(int ctx, int bit) = 0;
};

class CountingCoder : public Coder {
public:
    void code(int ctx, int bit) override { ++counts[ctx][bit]; }
    // Share of 0 bits per context, kept away from the ends.
    std::vector<uint16_t> table() const {
        std::vector<uint16_t> t(128);
        for (int i = 0; i < 128; ++i) {
            const double n = counts[i][0] + counts[i][1];
            const double share = n > 0 ? (counts[i][0] + 0.5) / (n + 1.0) : 0.5;
            t[size_t(i)] = uint16_t(std::clamp(share * 65536.0, 512.0, 65024.0));
        }
        return t;
    }
    long counts[128][2] = {};
};

// Binary arithmetic encoder matching the decoder's 16-bit interval arithmetic. `low`
// holds the 16 bits not yet written plus a carry bit that ripples into written ones.
class ArithmeticEncoder : public Coder {
public:
    explicit ArithmeticEncoder(const std::vector<uint16_t>& prob) : prob_(prob) {}

    void code(int ctx, int bit) override {
        uint32_t p = ((a_ >> 8) * prob_[size_t(ctx)]) >> 8;
        if (p == 0)
            p = 1;
        if (bit) {
            low_ += p;
            a_ -= p;
        } else {
            a_ = p;
        }
        if (low_ >= 0x10000) {
            size_t k = out_.size();
            while (k > 0 && out_[k - 1] == 1)
                out_[--k] = 0;
            if (k > 0)
                out_[k - 1] = 1;
            low_ -= 0x10000;
        }
        while (a_ < 0x8000) {
            a_ <<= 1;
            low_ <<= 1;
            out_.push_back(uint8_t((low_ >> 16) & 1));
            low_ &= 0xffff;
        }
    }

    QByteArray finish() {
        for (int i = 15; i >= 0; --i)
            out_.push_back(uint8_t((low_ >> i) & 1));
        BitWriter w;
        for (uint8_t b : out_)
            w.bit(b != 0);
        return w.bytes();
    }

private:
    const std::vector<uint16_t>& prob_;
    uint32_t a_ = 0xffff;
    uint32_t low_ = 0;
    std::vector<uint8_t> out_;
};

void codeNumber(Coder& coder, int ctx, int n) {
    for (int i = 0; i < 8; ++i) {
        if (n < (1 << (i + 1)) - 1) {
            coder.code(ctx + i, 1);
            const int rest = n - ((1 << i) - 1);
            for (int k = 0; k < i; ++k)
                coder.code(ctx + 8 + k, (rest >> k) & 1);
            return;
        }
        coder.code(ctx + i, 0);
    }
}

// Values in the order the decoder counts them from a prediction: the prediction, one
// above, one below, two above... and the remaining side once one side runs out.
int rankFrom(int bef, int value, int max) {
    std::vector<int> order{bef};
    for (int step = 1; step <= max; ++step) {
        if (bef + step <= max)
            order.push_back(bef + step);
        if (bef - step >= 0)
            order.push_back(bef - step);
    }
    return int(std::find(order.begin(), order.end(), value) - order.begin());
}

void codeValue(Coder& coder, int ctx, int bef, int value, int max) {
    codeNumber(coder, ctx, rankFrom(bef, value, max));
}

void runArithmetic(const P2Block& b, int depth, const Plan& plan, Coder& coder, P2Stats* st) {
    const Channels ch(depth);
    const int w = b.width, h = b.height;
    auto at = [&](int x, int y) { return b.dots[size_t(y) * size_t(w) + size_t(x)]; };
    std::vector<int> cnt[3] = {std::vector<int>(size_t(w) + 3), std::vector<int>(size_t(w) + 3),
                               std::vector<int>(size_t(w) + 3)};
    int c0 = 0, c1 = 1, c2 = 2;
    std::vector<uint32_t> cache(512 * 32);
    std::vector<int> cpos(512);
    int hitCtx = 16;
    const int m = int(ch.max);

    auto codeChain = [&](int base, int d) {
        coder.code(base, d == 0);
        if (d == 0)
            return;
        if (st)
            ++st->chainSteps[d];
        for (int k = 1; k <= 4; ++k) {
            coder.code(base + k, d == k);
            if (d == k)
                break;
        }
    };

    for (int y = 0; y < h; ++y) {
        uint32_t cc = y ? at(w - 1, y - 1) : 0;
        const uint32_t leftOfFirst = cc;
        std::fill(cnt[c2].begin(), cnt[c2].end(), 0);
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            const uint32_t v = at(x, y);
            if (plan.arrive[i]) {
                cc = v;
                if (y < h - 1)
                    codeChain(80 + 6 * plan.arrive[i], plan.target[i]);
                continue;
            }
            if (v == cc) {
                coder.code(cnt[c0][size_t(x) + 1], 0);
                continue;
            }
            coder.code(cnt[c0][size_t(x) + 1], 1);
            if (st)
                ++st->changePoints;
            for (int k : {2, 3})
                ++cnt[c0][size_t(x + k)];
            for (int k : {0, 1, 2}) {
                ++cnt[c1][size_t(x + k)];
                ++cnt[c2][size_t(x + k)];
            }
            const uint32_t up = y ? at(x, y - 1) : 0;
            const uint32_t left = x ? at(x - 1, y) : leftOfFirst;
            const int s = ch.c - 3;
            const size_t key =
                size_t((ch.r(up) >> s) << 6 | (ch.g(up) >> s) << 3 | (ch.b(up) >> s));
            uint32_t* entries = &cache[key * 32];
            int k = 0;
            while (k < 32 && entries[k] != v)
                ++k;
            if (k < 32) {
                coder.code(hitCtx, 0);
                hitCtx = 15;
                const int mm = cpos[key];
                const int j = (k - mm + 32) % 32;
                codeNumber(coder, 17, j);
                const int ii = (mm + j / 2) % 32;
                const uint32_t t = entries[k];
                entries[k] = entries[ii];
                entries[ii] = entries[mm];
                entries[mm] = t;
                if (st)
                    ++st->cacheHits;
            } else {
                coder.code(hitCtx, 1);
                hitCtx = 16;
                const int r = int(ch.r(up) + ch.r(left)) / 2;
                const int g = int(ch.g(up) + ch.g(left)) / 2;
                const int bl = int(ch.b(up) + ch.b(left)) / 2;
                codeValue(coder, 32, g, int(ch.g(v)), m);
                const int shift = int(ch.g(v)) - g;
                codeValue(coder, 48, std::clamp(r + shift, 0, m), int(ch.r(v)), m);
                codeValue(coder, 64, std::clamp(bl + shift, 0, m), int(ch.b(v)), m);
                cpos[key] = (cpos[key] + 31) % 32;
                entries[cpos[key]] = v;
                if (st)
                    ++st->cacheMisses;
            }
            cc = v;
            if (y < h - 1)
                codeChain(80, plan.target[i]);
        }
        const int oldest = c0;
        c0 = c1;
        c1 = c2;
        c2 = oldest;
    }
}

QByteArray encodeArithmetic(const P2Block& b, int depth, P2Stats* st) {
    const Plan plan = planChains(b);
    std::vector<uint16_t> prob = b.prob;
    if (prob.empty()) {
        CountingCoder counter;
        runArithmetic(b, depth, plan, counter, nullptr);
        prob = counter.table();
    }
    ArithmeticEncoder enc(prob);
    runArithmetic(b, depth, plan, enc, st);
    QByteArray out;
    for (uint16_t p : prob)
        put16(out, p);
    return out + enc.finish();
}

// ---- P2SF ----

void putFastLength(BitWriter& w, uint64_t v) {
    int a = 0;
    while (v >= (uint64_t(1) << (a + 1)) - 1)
        ++a;
    for (int i = 0; i < a; ++i)
        w.bit(true);
    w.bit(false);
    if (a > 0)
        w.put(uint32_t(v - ((uint64_t(1) << a) - 1)), a);
}

QByteArray encodeFast(const P2Block& b, int depth, P2Stats* st) {
    const Channels ch(depth);
    const Plan plan = planChains(b);
    const size_t n = size_t(b.width) * size_t(b.height);
    enum Kind { Run, Change, Chain };
    std::vector<Kind> kind(n);
    for (size_t i = 0; i < n; ++i) {
        const int x = int(i % size_t(b.width)), y = int(i / size_t(b.width));
        kind[i] = plan.arrive[i] ? Chain : b.dots[i] != carried(b, x, y) ? Change : Run;
    }
    std::vector<uint32_t> cache(256 * 64);
    std::vector<int> cpos(256);
    BitWriter w;
    int chainOnly = 0;

    auto length = [&](size_t from) {
        uint64_t runs = 0, chainDots = 0;
        for (size_t i = from; i < n && kind[i] != Change; ++i)
            (kind[i] == Run ? runs : chainDots) += 1;
        if (b.chainOnly && chainDots >= 1023) {
            putFastLength(w, 1023);
            chainOnly = 1023;
            if (st)
                ++st->chainOnlyStretches;
            return;
        }
        if (runs >= 1023 && st)
            ++st->longRuns;
        putFastLength(w, runs >= 1023 ? runs + 1 : runs);
    };
    auto chain = [&](size_t i) {
        static const uint32_t codes[6] = {0, 0b11, 0b1011, 0b1001, 0b1010, 0b1000};
        const int d = plan.target[i];
        w.put(codes[d], d == 0 ? 1 : d == 1 ? 2 : 4);
        if (d && st)
            ++st->chainSteps[d];
        if (st && i / size_t(b.width) == size_t(b.height - 1))
            ++st->lastLineChains;
    };

    length(0);
    for (size_t i = 0; i < n; ++i) {
        if (kind[i] == Chain) {
            chain(i);
            if (chainOnly > 0 && --chainOnly == 0)
                length(i + 1);
        } else if (kind[i] == Change) {
            if (st)
                ++st->changePoints;
            const uint32_t v = b.dots[i];
            const size_t key =
                ch.swapRG(carried(b, int(i % size_t(b.width)), int(i / size_t(b.width)))) >>
                (depth - 8);
            uint32_t* entries = &cache[key * 64];
            int k = 0;
            while (k < 64 && entries[k] != v)
                ++k;
            if (k < 64) {
                w.bit(true);
                w.put(uint32_t((k - cpos[key] + 64) % 64), 6);
                if (st)
                    ++st->cacheHits;
            } else {
                w.bit(false);
                w.put(ch.swapRG(v), depth);
                cpos[key] = (cpos[key] + 63) % 64;
                entries[cpos[key]] = v;
                if (st)
                    ++st->cacheMisses;
            }
            chain(i);
            length(i + 1);
        }
    }
    return w.bytes();
}

// ---- P2BM / P2BI ----

QByteArray encodeRaw(const P2Block& b, int depth, bool little) {
    const Channels ch(depth);
    QByteArray out;
    for (uint32_t v : b.dots) {
        if (depth > 16) {
            out.append(char(v >> 16));
            out.append(char(v >> 8));
            out.append(char(v));
            continue;
        }
        const uint32_t word = ch.c == 5 ? ch.swapRG(v) << 1 : v;
        if (little) {
            out.append(char(word));
            out.append(char(word >> 8));
        } else {
            put16(out, word);
        }
    }
    return out;
}

QByteArray encodeWithOffsets(const P2Layout& s, P2Stats* st, std::vector<int>* offsets) {
    QByteArray out("P2DT");
    auto text = [&](QByteArray t, int n) { out += t.leftJustified(n, ' ', true); };
    text("Kordel", 18);
    text("TEST", 8);
    out += "\r\n";
    text("Test picture", 30);
    out += "\r\n";
    text("Kordel test encoder", 30);
    out += "\r\n";
    out.append('\x1a');
    out.append('\0');
    put16(out, s.paletteBits > 0 ? 1 : 0);
    put16(out, 1);
    put32(out, 0);
    const int headerSizeAt = int(out.size());
    put32(out, 0);
    put16(out, uint32_t(s.depth));
    put16(out, uint32_t(s.xAspect));
    put16(out, uint32_t(s.yAspect));
    put16(out, uint32_t(s.width));
    put16(out, uint32_t(s.height));
    put32(out, 0);
    if (s.paletteBits > 0) {
        out.append(char(s.paletteBits));
        put16(out, uint32_t(s.paletteEntries));
        for (int i = 0; i < s.paletteEntries * 3; ++i)
            out.append(char(i * 37));
    }
    out += s.comment;
    out.append('\0');
    const uint32_t headerSize = uint32_t(out.size());
    for (int i = 0; i < 4; ++i)
        out[headerSizeAt + i] = char(headerSize >> (24 - 8 * i));
    for (const P2Block& b : s.blocks) {
        if (offsets)
            offsets->push_back(int(out.size()));
        out += encodeP2Block(b, s.depth, st);
    }
    if (offsets)
        offsets->push_back(int(out.size()));
    if (s.endMarker)
        out += QByteArray(8, '\0');
    return out;
}

}  // namespace

QByteArray encodeP2Block(const P2Block& b, int depth, P2Stats* st) {
    QByteArray data;
    bool picture = true;
    if (b.id == "P2SS")
        data = encodeArithmetic(b, depth, st);
    else if (b.id == "P2SF")
        data = encodeFast(b, depth, st);
    else if (b.id == "P2BM" || b.id == "P2BI")
        data = encodeRaw(b, depth, b.id == "P2BI");
    else
        picture = false;
    QByteArray out = b.id.left(4);
    if (!picture) {
        put32(out, uint32_t(8 + b.payload.size()));
        return out + b.payload;
    }
    put32(out, uint32_t(26 + data.size()));
    put16(out, b.transparent ? 1 : 0);
    put16(out, uint32_t(b.width));
    put16(out, uint32_t(b.height));
    put16(out, uint32_t(b.x));
    put16(out, uint32_t(b.y));
    put32(out, b.transparentColour);
    put32(out, 0);
    return out + data;
}

QByteArray encodeP2(const P2Layout& layout, P2Stats* stats) {
    return encodeWithOffsets(layout, stats, nullptr);
}

std::vector<int> p2BlockOffsets(const P2Layout& layout) {
    std::vector<int> offsets;
    encodeWithOffsets(layout, nullptr, &offsets);
    return offsets;
}

}  // namespace kordel::test
