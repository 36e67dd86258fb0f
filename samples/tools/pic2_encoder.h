// A PIC2 encoder for tests: all four picture codings (arithmetic, fast, raw big- and
// little-endian), any block layout, transparency and odd headers.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

#include "bit_writer.h"

namespace kordel::test {

struct P2Block {
    QByteArray id = "P2SS";
    int width = 0;
    int height = 0;
    int x = 0;
    int y = 0;
    bool transparent = false;
    uint32_t transparentColour = 0;
    std::vector<uint32_t> dots{};  // packed R<<2c | G<<c | B, raster order
    QByteArray payload{};          // blocks that are not pictures: the bytes after id and size
    bool chains = true;
    bool chainOnly = true;         // P2SF: use chain-only stretches where they fit
    std::vector<uint16_t> prob{};  // P2SS: 128 entries; empty = fitted to the picture
};

struct P2Layout {
    int depth = 24;
    int width = 0;  // canvas size in the header
    int height = 0;
    int xAspect = 1;
    int yAspect = 1;
    int paletteBits = 0;  // > 0: a palette of paletteEntries entries follows the header
    int paletteEntries = 0;
    QByteArray comment = "Kordel test";
    std::vector<P2Block> blocks{};
    bool endMarker = true;
};

struct P2Stats {
    int changePoints = 0;
    int cacheHits = 0;
    int cacheMisses = 0;
    int chainSteps[6] = {};  // P2SS by direction 1..5, P2SF in [1]..[5] likewise
    int chainOnlyStretches = 0;
    int longRuns = 0;  // P2SF runs of 1023 or more
    int lastLineChains = 0;
};

QByteArray encodeP2Block(const P2Block& block, int depth, P2Stats* stats = nullptr);
QByteArray encodeP2(const P2Layout& layout, P2Stats* stats = nullptr);
// Offsets where each block starts in encodeP2's output, and where the list ends.
std::vector<int> p2BlockOffsets(const P2Layout& layout);

}  // namespace kordel::test
