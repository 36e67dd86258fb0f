#include "pic_encoder.h"

#include <algorithm>
#include <list>

namespace kordel::test {

void putPicLength(BitWriter& w, uint64_t length) {
    int ones = 0;
    while (length > (uint64_t(1) << (ones + 2)) - 2)
        ++ones;
    for (int i = 0; i < ones; ++i)
        w.bit(true);
    w.bit(false);
    w.put(uint32_t(length - ((uint64_t(1) << (ones + 1)) - 1)), ones + 1);
}

namespace {

void put16(QByteArray& out, int v) {
    out.append(char(v >> 8));
    out.append(char(v));
}

int codeBits(const PicLayout& s) {
    if (s.type == 1 && s.depth == 8)
        return 8;
    return s.depth;
}

bool hasPalette(const PicLayout& s) {
    return s.depth <= 8 && (s.type == 0 || s.type == 15);
}

}  // namespace

QByteArray picHeader(const PicLayout& s) {
    QByteArray out("PIC");
    out += s.comment;
    out.append('\x1a');
    out += s.filler;
    out.append('\0');
    out.append('\0');
    out.append(char((s.mode << 4) | s.type));
    put16(out, s.depth);
    put16(out, s.width);
    put16(out, s.height);
    if (s.type == 15 || (s.type == 2 && s.mode == 0)) {
        put16(out, 0xffff);
        put16(out, 0xffff);
        out.append(char(s.aspectA));
        out.append(char(s.aspectB));
        if (s.depth <= 8)
            out.append(char(s.paletteBits));
    }
    if (hasPalette(s)) {
        BitWriter w;
        const bool words = s.type == 0 || s.paletteBits == 0;
        for (int i = 0; i < (1 << s.depth); ++i) {
            const uint32_t e = i < int(s.palette.size()) ? s.palette[size_t(i)] : 0;
            w.put(e, words ? 16 : 3 * s.paletteBits);
        }
        out += w.bytes();
    }
    return out;
}

QByteArray encodePic(const PicLayout& s, PicStats* stats) {
    PicStats local;
    PicStats& st = stats ? *stats : local;
    const int w = s.width;
    const int h = s.height;
    const size_t total = size_t(w) * size_t(h);
    std::vector<bool> change(total), chainDot(total);
    for (size_t i = 0; i < total; ++i)
        change[i] = s.dots[i] != (i == 0 ? 0u : s.dots[i - 1]);

    const bool cached = s.depth > 8 && s.type != 3;
    // Least recently used order, most recent first, as the decoder starts.
    std::list<int> order{0};
    for (int i = 127; i >= 1; --i)
        order.push_back(i);
    uint32_t slotCodes[128] = {};

    BitWriter bw;
    long long last = -1;
    for (size_t i = 0; i < total; ++i) {
        if (!change[i] || chainDot[i])
            continue;
        ++st.changePoints;
        putPicLength(bw, uint64_t((long long)i - last));
        last = (long long)i;
        const uint32_t code = s.dots[i];
        if (cached) {
            auto hit = std::find_if(order.begin(), order.end(),
                                    [&](int slot) { return slotCodes[slot] == code; });
            int slot;
            if (hit != order.end()) {
                slot = *hit;
                bw.bit(true);
                bw.put(uint32_t(slot), 7);
                ++st.cacheHits;
                order.erase(hit);
            } else {
                slot = order.back();
                order.pop_back();
                slotCodes[slot] = code;
                bw.bit(false);
                bw.put(code, codeBits(s));
                ++st.cacheMisses;
            }
            order.push_front(slot);
        } else {
            bw.put(code, codeBits(s));
        }
        // Chain: follow dots of the same colour that start a run in the lines below.
        std::vector<int> steps;
        int x = int(i % size_t(w));
        int y = int(i / size_t(w));
        while (s.chains && y + 1 < h) {
            bool found = false;
            for (int dx : {0, -1, 1, -2, 2}) {
                const int tx = x + dx;
                if (tx < 0 || tx >= w)
                    continue;
                const size_t t = size_t(y + 1) * size_t(w) + size_t(tx);
                if (change[t] && !chainDot[t] && s.dots[t] == code) {
                    chainDot[t] = true;
                    steps.push_back(dx);
                    x = tx;
                    ++y;
                    found = true;
                    break;
                }
            }
            if (!found)
                break;
        }
        bw.bit(!steps.empty());
        if (!steps.empty()) {
            for (int dx : steps) {
                ++st.steps[dx + 2];
                ++st.chainDots;
                switch (dx) {
                    case -1:
                        bw.put(0b01, 2);
                        break;
                    case 0:
                        bw.put(0b10, 2);
                        break;
                    case 1:
                        bw.put(0b11, 2);
                        break;
                    case -2:
                        bw.put(0b0010, 4);
                        break;
                    default:
                        bw.put(0b0011, 4);
                        break;
                }
            }
            bw.put(0, 3);
        }
    }
    // The closing run up to the last dot; not needed when the last dot was a change point.
    if (last != (long long)total - 1)
        putPicLength(bw, uint64_t((long long)total - last));
    return picHeader(s) + bw.bytes();
}

}  // namespace kordel::test
