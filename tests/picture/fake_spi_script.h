// The script of the fake decoder plug-in: the picture file it is asked about is a
// short text that says what the plug-in answers. Shared by the plug-in and the
// tests (no Qt here), so both sides agree on the pixels it delivers.
//
//   FAKESPI w=4 h=2 bits=8 clrused=0 dx=1 dy=2 info0=0 info128=2 pic0=2 pic128=0
//           progress=50/200,100/0 topdown=1
//
// Keys (defaults in brackets):
//   w, h        size of the delivered picture [4, 2]; a preview delivers a quarter, rounded up
//   iw, ih      size the picture info announces [w, h]
//   bits        bits per pixel of the delivered rows: 1, 4, 8, 16 (5-5-5), 24, 32 [24]
//   depth       colour depth the picture info reports [bits]
//   clrused     biClrUsed of the header; the colour table holds that many entries [0]
//   hdr         biSize of the header [40]
//   topdown     1: rows top-down (negative height) [0]
//   dx, dy      densities in the picture info [1, 1]
//   info0/info128  result of GetPictureInfo at offset 0 / 128 [0 / 2]
//   pic0/pic128    result of GetPicture and GetPreview at offset 0 / 128 [0 / 2]
//   progress    reports done/total made through the callback, comma-separated [none]
//   null        1: answer success without delivering the blocks [0]
//   hinfo       1: hand a text block back in the picture info [0]
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kordel::test {

struct FakeScript {
    int valid = 0;
    int w = 4, h = 2;
    int iw = -1, ih = -1;
    int bits = 24;
    int depth = -1;
    int clrUsed = 0;
    int hdr = 40;
    int topDown = 0;
    int dx = 1, dy = 1;
    int info0 = 0, info128 = 2;
    int pic0 = 0, pic128 = 2;
    std::vector<std::pair<int, int>> progress;
    int nullBlocks = 0;
    int hInfo = 0;

    int infoWidth() const { return iw >= 0 ? iw : w; }
    int infoHeight() const { return ih >= 0 ? ih : h; }
    int infoDepth() const { return depth >= 0 ? depth : bits; }
    // Entries of the colour table that follows the header.
    int tableEntries() const {
        if (clrUsed > 0)
            return clrUsed;
        return bits <= 8 ? 1 << bits : 0;
    }
};

inline FakeScript parseFakeScript(const std::string& text) {
    FakeScript s;
    if (text.compare(0, 7, "FAKESPI") != 0)
        return s;
    s.valid = 1;
    const std::pair<const char*, int FakeScript::*> keys[] = {{"w", &FakeScript::w},
                                                              {"h", &FakeScript::h},
                                                              {"iw", &FakeScript::iw},
                                                              {"ih", &FakeScript::ih},
                                                              {"bits", &FakeScript::bits},
                                                              {"depth", &FakeScript::depth},
                                                              {"clrused", &FakeScript::clrUsed},
                                                              {"hdr", &FakeScript::hdr},
                                                              {"topdown", &FakeScript::topDown},
                                                              {"dx", &FakeScript::dx},
                                                              {"dy", &FakeScript::dy},
                                                              {"info0", &FakeScript::info0},
                                                              {"info128", &FakeScript::info128},
                                                              {"pic0", &FakeScript::pic0},
                                                              {"pic128", &FakeScript::pic128},
                                                              {"null", &FakeScript::nullBlocks},
                                                              {"hinfo", &FakeScript::hInfo}};
    std::istringstream in(text.substr(7));
    for (std::string token; in >> token;) {
        const size_t eq = token.find('=');
        const std::string key = token.substr(0, eq);
        const char* value = eq == std::string::npos ? "" : token.c_str() + eq + 1;
        for (const auto& [name, member] : keys)
            if (key == name)
                s.*member = std::atoi(value);
        int done, total, used;
        while (key == "progress" && std::sscanf(value, "%d/%d%n", &done, &total, &used) == 2) {
            s.progress.emplace_back(done, total);
            value += used + (value[used] == ',');
        }
    }
    return s;
}

// Stores dot x of a DIB row of `bits` per dot: an index (packed from the high bits at
// fewer than 8), a 16-bit word, 0xRRGGBB at 24 bits, the whole word at 32.
inline void putDot(uint8_t* row, int x, int bits, uint32_t v) {
    if (bits < 8)
        row[x * bits / 8] |= uint8_t((v & ((1u << bits) - 1)) << (8 - bits - x * bits % 8));
    for (int i = 0; i < bits / 8; ++i)
        row[x * (bits / 8) + i] = uint8_t(v >> 8 * i);
}

// Colour table entry i as red, green, blue: every channel differs, so a swapped
// order shows.
inline void fakeTableColour(int i, uint8_t& r, uint8_t& g, uint8_t& b) {
    r = uint8_t((i * 37 + 5) & 255);
    g = uint8_t(255 - i);
    b = uint8_t(i);
}

// Colour index of the dot at (x, y) counted from the top line.
inline int fakeIndex(const FakeScript& s, int x, int y) {
    const int entries = s.tableEntries() > 0 ? s.tableEntries() : 1;
    return (x + 3 * y) % entries;
}

// Colour of the dot at (x, y) from the top for the true-colour depths.
inline void fakeTrueColour(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) {
    r = uint8_t((x * 40 + 8) & 0xf8);
    g = uint8_t((y * 40 + 16) & 0xf8);
    b = uint8_t(200);
}

}  // namespace kordel::test
