#include "pi_encoder.h"

#include <algorithm>
#include <bit>

#include "bit_writer.h"

namespace kordel::test {

namespace {

class Coder {
public:
    Coder(int planes, PiStats* stats) : planes_(planes), n_(1 << planes), stats_(stats) {
        table_.resize(size_t(n_) * n_);
        for (int c = 0; c < n_; ++c)
            for (int k = 0; k < n_; ++k)
                table_[size_t(c * n_ + k)] = uint8_t((c - k) & (n_ - 1));
    }

    void colour(uint8_t prev, uint8_t value) {
        uint8_t* row = table_.data() + size_t(prev) * n_;
        const int k = int(std::find(row, row + n_, value) - row);
        std::copy_backward(row, row + k, row + k + 1);
        row[0] = value;
        if (k < 2) {
            out.put(2 | uint32_t(k), 2);
        } else {
            const int ones = std::bit_width(unsigned(k)) - 2;
            out.put(0, 1);
            out.put((1u << ones) - 1, ones);
            if (ones < planes_ - 2)
                out.put(0, 1);
            out.put(uint32_t(k) - (1u << (ones + 1)), ones + 1);
        }
        if (stats_)
            ++stats_->colourCodes[size_t(std::bit_width(unsigned(k | 1)) - 1)];
    }

    void position(int p) {
        static constexpr uint32_t kCode[5] = {0, 1, 2, 6, 7};
        out.put(kCode[p], p < 3 ? 2 : 3);
    }

    void length(uint64_t pairs) {
        const int ones = std::bit_width(pairs) - 1;
        out.put((1u << ones) - 1, ones);
        out.put(0, 1);
        out.put(uint32_t(pairs - (uint64_t(1) << ones)), ones);
    }

    BitWriter out;

private:
    int planes_, n_;
    PiStats* stats_;
    std::vector<uint8_t> table_;
};

void put16(QByteArray& out, int v) {
    out.append(char((v >> 8) & 0xff));
    out.append(char(v & 0xff));
}

}  // namespace

QByteArray encodePi(const PiPicture& pic, const std::function<int(int)>& choose, PiStats* stats) {
    const std::vector<uint8_t>& d = pic.dots;
    const size_t w = size_t(pic.width);
    const size_t total = d.size();
    Coder coder(pic.planes, stats);

    if (w < 3) {
        uint8_t prev = 0;
        for (uint8_t v : d) {
            coder.colour(prev, v);
            prev = v;
        }
    } else {
        // Dot pairs a copy from position p at i reproduces.
        auto pairsFrom = [&](int p, size_t i) -> uint64_t {
            size_t dist;
            switch (p) {
                case 0: {
                    const bool same = i < 2 ? d[0] == d[1] : d[i - 1] == d[i - 2];
                    dist = same ? 2 : 4;
                    break;
                }
                case 1:
                    dist = w;
                    break;
                case 2:
                    dist = 2 * w;
                    break;
                case 3:
                    dist = w - 1;
                    break;
                default:
                    dist = w + 1;
                    break;
            }
            size_t k = i;
            while (k < total && d[k] == (k >= dist ? d[k - dist] : d[(k - dist) & 1]))
                ++k;
            const size_t m = k - i;
            return k == total ? (m + 1) / 2 : m / 2;
        };
        auto fitting = [&](size_t i, int except) {
            std::vector<std::pair<int, uint64_t>> fits;
            for (int p = 0; p < 5; ++p)
                if (p != except && pairsFrom(p, i) > 0)
                    fits.push_back({p, pairsFrom(p, i)});
            return fits;
        };

        coder.colour(0, d[0]);
        coder.colour(d[0], d[1]);
        size_t i = 0;
        int last = -1;
        while (i < total) {
            const auto fits = fitting(i, last);
            const int options = int(fits.size()) + (last >= 0 ? 1 : 0);
            int pick;
            if (fits.empty())
                pick = 0;
            else if (choose)
                pick = choose(options);
            else
                pick = int(std::max_element(fits.begin(), fits.end(),
                                            [](auto& a, auto& b) { return a.second < b.second; }) -
                           fits.begin());
            if (pick < int(fits.size())) {
                const auto [p, pairs] = fits[size_t(pick)];
                coder.position(p);
                coder.length(pairs);
                i = std::min<size_t>(total, i + 2 * pairs);
                last = p;
                if (stats) {
                    ++stats->positions[size_t(p)];
                    stats->longestCopy = std::max(stats->longestCopy, int(pairs));
                }
                continue;
            }
            // Literal pairs: repeating the last position code switches to them.
            coder.position(last);
            for (;;) {
                coder.colour(d[i - 1], d[i]);
                ++i;
                if (i < total) {
                    coder.colour(d[i - 1], d[i]);
                    ++i;
                }
                if (stats)
                    ++stats->literalPairs;
                if (i >= total)
                    break;
                // Go on while no copy fits; otherwise as chosen.
                const bool more = fitting(i, -1).empty() || (choose && choose(2) == 1);
                coder.out.put(more ? 1 : 0, 1);
                if (!more)
                    break;
            }
            last = -1;
        }
    }

    QByteArray out("Pi");
    out.append(pic.comment).append('\x1a').append(pic.dummy).append('\0');
    out.append(char((pic.omitPalette || pic.flagOnly) ? 0x80 : 0));
    out.append(char(pic.aspectN)).append(char(pic.aspectM)).append(char(pic.planes));
    out.append("KRDL");
    put16(out, int(pic.extension.size()));
    out.append(pic.extension);
    put16(out, pic.width);
    put16(out, pic.height);
    if (!pic.omitPalette) {
        for (QRgb c : pic.palette)
            out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
    }
    return out + coder.out.bytes();
}

}  // namespace kordel::test
