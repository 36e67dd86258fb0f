// The four codings of a PIC2 picture block. Each turns the block's data into rows of
// packed dot values R<<2c | G<<c | B (c = depth / 3 bits a channel), top row first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kordel::pic2 {

// Arithmetic-coded blocks start with 128 16-bit probabilities.
constexpr size_t kProbabilityTableSize = 128 * 2;

// Receives row y (0 = top) of `width` packed values; false stops the decode
// (SPI_CANCELLED).
using RowSink = std::function<bool(int32_t y, const uint32_t* row)>;

struct BlockShape {
    int32_t width = 0;
    int32_t height = 0;
    int depth = 0;  // 9 to 24, a multiple of 3
};

// "P2SS": adaptive binary arithmetic coding with colour prediction and chains.
int32_t decodeArithmetic(const uint8_t* data,
                         size_t size,
                         const BlockShape& shape,
                         const RowSink& sink);
// "P2SF": bit-packed runs, a colour cache and chains.
int32_t decodeFast(const uint8_t* data, size_t size, const BlockShape& shape, const RowSink& sink);
// "P2BM" / "P2BI": raw dots, words big- or little-endian.
int32_t decodeRaw(const uint8_t* data,
                  size_t size,
                  const BlockShape& shape,
                  bool littleEndian,
                  const RowSink& sink);

}  // namespace kordel::pic2
