// An XLD4 (.Q4) writer for tests: run-length coding and LZW per block, with the
// file header and palette block around them.
#pragma once

#include <QByteArray>
#include <array>
#include <vector>

namespace kordel::test {

struct Q4Stats {
    int literals = 0;        // LZW codes for single symbols
    int references = 0;      // LZW codes for earlier dictionary entries
    int selfReferences = 0;  // LZW codes for the entry still being made
    int runs = 0;            // run escapes keeping the repeat colour
    int colourRuns = 0;      // run escapes setting a new repeat colour
};

// One block (header and LZW codes) of the given values (0-15, an even count).
QByteArray encodeQ4Block(const std::vector<uint8_t>& values, Q4Stats* stats = nullptr);

// The palette block: levels (0-15) of red, green and blue for each dot value.
QByteArray encodeQ4Palette(const std::array<std::array<uint8_t, 3>, 16>& levels);

// A file of the given blocks behind the 16-byte header.
QByteArray q4File(const std::vector<QByteArray>& blocks, uint8_t flags = 0);

// A whole 640 x 400 picture in blocks of 100 lines.
QByteArray encodeQ4(const std::vector<uint8_t>& dots,
                    const std::array<std::array<uint8_t, 3>, 16>& levels,
                    Q4Stats* stats = nullptr);

}  // namespace kordel::test
