// A small PIC encoder for tests: writes every header type, palettes, the colour cache
// and chains, so that the decoder can be checked on pictures we know dot by dot.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "bit_writer.h"

namespace kordel::test {

struct PicLayout {
    int type = 0;  // 0 X68000, 1 PC-88VA, 2 FM-TOWNS, 3 Macintosh, 15 generic
    int mode = 0;
    int depth = 15;
    int width = 0;
    int height = 0;
    int aspectA = 0;  // generic and FM-TOWNS mode 0 headers only
    int aspectB = 0;
    int paletteBits = 0;              // generic palettes: bits per channel, 0 = X68000 words
    std::vector<uint32_t> palette{};  // raw entries: words, or G<<2p | R<<p | B
    std::vector<uint32_t> dots{};     // raster order: palette indices or colour codes
    QByteArray comment = "Kordel test";
    QByteArray filler{};  // bytes (none of them 0) between the comment's end and the zero
    bool chains = true;
};

struct PicStats {
    int changePoints = 0;
    int cacheHits = 0;
    int cacheMisses = 0;
    int chainDots = 0;
    int steps[5] = {};  // chain steps by dx + 2
};

// Header (with palette) only, byte aligned; the bit stream follows it.
QByteArray picHeader(const PicLayout& layout);
QByteArray encodePic(const PicLayout& layout, PicStats* stats = nullptr);

// Length code for a run of `length` (>= 1) dots.
void putPicLength(BitWriter& w, uint64_t length);

}  // namespace kordel::test
