// PIC2 pictures: a 124-byte text-friendly header ("P2DT"), then blocks. Picture blocks
// are drawn in file order onto a black canvas at their offsets; other blocks are
// skipped by their size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "spi_common.h"

namespace kordel::pic2 {

enum class Coding { Arithmetic, Fast, RawBigEndian, RawLittleEndian };

struct Block {
    Coding coding = Coding::Arithmetic;
    size_t dataOffset = 0;  // coded data, after the 26-byte block header
    size_t dataSize = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t x = 0;
    int32_t y = 0;
    bool transparent = false;
    uint32_t transparentColour = 0;  // packed like the dots
};

struct Picture {
    int depth = 0;  // 9 to 24 colour bits, a multiple of 3
    int32_t width = 0;
    int32_t height = 0;
    uint16_t xDensity = 1;
    uint16_t yDensity = 1;
    std::vector<Block> blocks;
};

// True when the head starts like a PIC2 file of a depth we read.
bool looksLikePic2(const uint8_t* head, size_t size);

// Reads the header and walks the blocks. SPI_OK; SPI_UNKNOWN_FORMAT for other files,
// palette pictures and files whose picture blocks all use codings we do not know;
// SPI_BROKEN_DATA for damaged headers and block lists; SPI_NO_MEMORY past the size
// limits.
int32_t parse(const uint8_t* data, size_t size, Picture& picture);

// Draws the picture into a 24-bit `dib`, which this creates. SPI_OK, SPI_CANCELLED,
// SPI_BROKEN_DATA, or the allocation errors of Dib::create.
int32_t decode(const uint8_t* data,
               size_t size,
               const Picture& picture,
               spi::Dib& dib,
               spi::Progress& progress);

}  // namespace kordel::pic2
