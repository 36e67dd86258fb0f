// A MAG writer for tests: codes any picture, choosing among the copy codes that
// fit each unit through a caller's chooser, so that every code can be exercised.
#pragma once

#include <QByteArray>
#include <QRgb>
#include <array>
#include <functional>
#include <vector>

namespace kordel::test {

struct MagPicture {
    bool colours256 = false;
    int x0 = 0, y0 = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> dots{};  // width * height palette indices, top line first
    std::vector<QRgb> palette{};  // 16 or 256 entries
    QByteArray comment{};
    QByteArray afterEof{};  // bytes between the comment's 0x1A and the header's 0x00
    int alignDots = 0;      // 0: 4 dots at 256 colours, 8 at 16; or 8 for both
    uint8_t machineCode = 0;
    uint8_t machineFlags = 0;
};

struct MagStats {
    std::array<int, 16> codes{};  // units coded with each flag value
};

// choose(n) picks one of n candidate flag values (index 0 is always the literal 0,
// the rest are the fitting copy codes in increasing order); null takes the last
// fitting copy code, or a literal when none fits.
QByteArray encodeMag(const MagPicture& picture,
                     const std::function<int(int)>& choose = {},
                     MagStats* stats = nullptr);

}  // namespace kordel::test
