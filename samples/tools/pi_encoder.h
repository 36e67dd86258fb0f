// A Pi writer for tests: codes any picture with copies from the five neighbour
// positions and literal pairs, choosing through a caller's chooser so that every
// code can be exercised.
#pragma once

#include <QByteArray>
#include <QRgb>
#include <array>
#include <functional>
#include <vector>

namespace kordel::test {

struct PiPicture {
    int planes = 4;  // 4 or 8
    int width = 0, height = 0;
    std::vector<uint8_t> dots{};  // width * height palette indices, top line first
    std::vector<QRgb> palette{};  // 2^planes entries; not written when omitPalette
    bool omitPalette = false;     // mode bit 7 and no palette
    bool flagOnly = false;        // mode bit 7 but the palette written all the same
    uint8_t aspectN = 0, aspectM = 0;
    QByteArray comment{}, dummy{}, extension{};
};

struct PiStats {
    std::array<int, 5> positions{};  // copies from each position
    int literalPairs = 0;
    int longestCopy = 0;               // in dot pairs
    std::array<int, 8> colourCodes{};  // colour codes by length class (k < 2, < 4, < 8, ...)
};

// choose(n) picks one of n options: the fitting copy positions in increasing order,
// followed by literal pairs when they are possible; during literal pairs, 2 options
// mean "stop" (0) or "go on" (1). Null copies greedily.
QByteArray encodePi(const PiPicture& picture,
                    const std::function<int(int)>& choose = {},
                    PiStats* stats = nullptr);

}  // namespace kordel::test
