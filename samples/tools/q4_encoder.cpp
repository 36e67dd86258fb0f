#include "q4_encoder.h"

#include <algorithm>
#include <map>

#include "bit_writer.h"

namespace kordel::test {

namespace {

// Run-length stage: runs of 4 and more become escapes.
std::vector<uint8_t> runLength(const std::vector<uint8_t>& values, Q4Stats* stats) {
    std::vector<uint8_t> out;
    uint8_t repeat = 0;
    for (size_t i = 0; i < values.size();) {
        const uint8_t v = values[i];
        size_t run = 1;
        while (i + run < values.size() && values[i + run] == v && run < 288)
            ++run;
        if (run < 4) {
            out.push_back(v);
            ++i;
            continue;
        }
        out.push_back(16);
        if (v == repeat && run >= 17) {
            if (stats)
                ++stats->runs;
        } else {
            out.push_back(0);
            out.push_back(v);
            repeat = v;
            if (stats)
                ++stats->colourRuns;
        }
        out.push_back(uint8_t(run / 17));
        out.push_back(uint8_t(run % 17));
        i += run;
    }
    return out;
}

void put16(QByteArray& out, size_t v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

}  // namespace

QByteArray encodeQ4Block(const std::vector<uint8_t>& values, Q4Stats* stats) {
    const std::vector<uint8_t> symbols = runLength(values, stats);
    BitWriter bits;
    int width = 3;
    size_t codes = 0;
    uint32_t next = 19;
    auto writeCode = [&](uint32_t code) {
        while (code >= (1u << width)) {
            bits.put(1, width);
            ++width;
            ++codes;
        }
        bits.put(code, width);
        ++codes;
        if (stats && code >= 19)
            ++(code == next - 1 ? stats->selfReferences : stats->references);
        else if (stats && code >= 2)
            ++stats->literals;
        if (code != 0)
            ++next;
    };
    std::map<std::pair<uint32_t, uint8_t>, uint32_t> dictionary;
    uint32_t w = symbols.empty() ? 0 : symbols[0] + 2u;
    for (size_t i = 1; i < symbols.size(); ++i) {
        const auto found = dictionary.find({w, symbols[i]});
        if (found != dictionary.end()) {
            w = found->second;
            continue;
        }
        dictionary[{w, symbols[i]}] = next;
        writeCode(w);
        w = symbols[i] + 2u;
    }
    if (!symbols.empty())
        writeCode(w);
    writeCode(0);
    const QByteArray code = bits.bytes();
    QByteArray block;
    put16(block, size_t(code.size()));
    put16(block, codes);
    put16(block, values.size() / 2);
    return block + code;
}

QByteArray encodeQ4Palette(const std::array<std::array<uint8_t, 3>, 16>& levels) {
    std::vector<uint8_t> bytes(96, 0);
    for (int v = 0; v < 16; ++v) {
        const int stored = (v & 8) | ((v >> 2) & 1) | ((v & 3) << 1);
        for (int c = 0; c < 3; ++c)
            bytes[size_t(6 * stored + 2 * c + 1)] = levels[size_t(v)][size_t(c)];
    }
    return encodeQ4Block(bytes);
}

QByteArray q4File(const std::vector<QByteArray>& blocks, uint8_t flags) {
    QByteArray out("\x1a\x00\x02\x00", 4);
    out.append(char(flags)).append(QByteArray(6, '\0')).append("MAJYO");
    for (const QByteArray& b : blocks)
        out.append(b);
    const qsizetype size = out.size();
    out[8] = char(size & 0xff);
    out[9] = char((size >> 8) & 0xff);
    out[10] = char((size >> 16) & 0xff);
    return out;
}

QByteArray encodeQ4(const std::vector<uint8_t>& dots,
                    const std::array<std::array<uint8_t, 3>, 16>& levels,
                    Q4Stats* stats) {
    std::vector<QByteArray> blocks{encodeQ4Palette(levels)};
    for (size_t at = 0; at < dots.size(); at += 64000)
        blocks.push_back(encodeQ4Block(
            std::vector<uint8_t>(dots.begin() + qsizetype(at),
                                 dots.begin() + qsizetype(std::min(dots.size(), at + 64000))),
            stats));
    return q4File(blocks);
}

}  // namespace kordel::test
