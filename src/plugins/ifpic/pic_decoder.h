// PIC pictures (X68000 and the machines that took the format over): header and decoder.
//
// The file is "PIC", a comment ended by 0x1A, a padding run ended by 0x00, a reserved
// 0x00 byte, then machine type, mode, colour depth and size in big-endian words. The
// rest of the file is one bit stream: the palette for 4- and 8-bit pictures, then the
// change points of the picture in raster order, each with an optional chain of dots
// that continue it downwards.
#pragma once

#include <cstddef>
#include <cstdint>

#include "spi_common.h"

namespace kordel::pic {

enum Machine {
    kX68000 = 0,
    kPc88va = 1,
    kFmTowns = 2,
    kMacintosh = 3,
    kGeneric = 15,
};

struct Header {
    int type = 0;
    int mode = 0;
    int depth = 0;  // colour bits as stored: 4, 8, 12, 15, 16 or 24
    int32_t width = 0;
    int32_t height = 0;
    int aspectA = 0;        // dot width, generic header only (0 = not given)
    int aspectB = 0;        // dot height
    int paletteBits = 0;    // generic palettes: bits per channel; 0 = X68000 words
    size_t dataOffset = 0;  // first byte after the header: palette or picture data
    // Dots per unit length the viewer uses to restore the machine's dot shape.
    uint16_t xDensity = 1;
    uint16_t yDensity = 1;

    // 4- and 8-bit X68000 and generic pictures index a palette; the rest is direct colour.
    bool indexed() const { return depth <= 8 && (type == kX68000 || type == kGeneric); }
};

// True when the first bytes look like a PIC header we can read. `head` holds at
// least `size` bytes.
bool looksLikePic(const uint8_t* head, size_t size);

// Reads and checks the header. SPI_OK, SPI_UNKNOWN_FORMAT for files that are not PIC
// or use a variant we do not read, SPI_BROKEN_DATA for damaged headers. The picture
// size is not checked against the limits here.
int32_t parseHeader(const uint8_t* data, size_t size, Header& header);

// Decodes the picture into `dib`, which this creates: 8 bits per dot with the palette
// for indexed pictures, 24 bits otherwise. Returns SPI_OK, SPI_CANCELLED when the
// progress callback asked to stop, SPI_BROKEN_DATA when the data ends early or is
// damaged, or the size/allocation errors of Dib::create.
int32_t decode(const uint8_t* data,
               size_t size,
               const Header& header,
               spi::Dib& dib,
               spi::Progress& progress);

}  // namespace kordel::pic
