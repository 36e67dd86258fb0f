// PIC decoder plug-in: X68000, PC-88VA, FM-TOWNS, Macintosh and generic PIC pictures.
//
// Palette pictures (4 and 8 bits) come out as 8-bit DIBs with their colour table,
// everything else as 24-bit DIBs. The densities in the picture info carry the dot
// shape of the machine the picture was made on, so that the viewer can restore it.
#include <cstring>
#include <iterator>
#include <vector>

#include "pic_decoder.h"
#include "spi.h"
#include "spi_common.h"

namespace {

const char* const kPluginInfo[] = {
    "00IN",
    "Kordel PIC decoder 1.0",
    "*.pic",
    "PIC (X68000)",
};

int32_t load(const char* name,
             intptr_t offset,
             uint32_t flag,
             std::vector<uint8_t>& data,
             kordel::pic::Header& header) {
    if (int32_t rc = kordel::spi::readInput(name, offset, flag, data))
        return rc;
    if (int32_t rc = kordel::pic::parseHeader(data.data(), data.size(), header))
        return rc;
    return kordel::spi::checkSize(header.width, header.height);
}

bool isSupported(const uint8_t* head) {
    return kordel::pic::looksLikePic(head, SPI_HEAD_SIZE);
}

int32_t pictureInfo(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info) {
    std::vector<uint8_t> data;
    kordel::pic::Header header;
    if (int32_t rc = load(name, offset, flag, data, header))
        return rc;
    kordel::spi::fillInfo(&info, header.width, header.height, int16_t(header.depth),
                          header.xDensity, header.yDensity);
    return SPI_OK;
}

// The whole picture is small enough to serve as its own preview.
int32_t picture(const char* name,
                intptr_t offset,
                uint32_t flag,
                void** bitmapInfo,
                void** bits,
                SpiProgress progress,
                intptr_t user) {
    std::vector<uint8_t> data;
    kordel::pic::Header header;
    if (int32_t rc = load(name, offset, flag, data, header))
        return rc;
    kordel::spi::Dib dib;
    kordel::spi::Progress report(progress, user, header.height);
    if (int32_t rc = kordel::pic::decode(data.data(), data.size(), header, dib, report))
        return rc;
    return dib.release(bitmapInfo, bits);
}

}  // namespace

const kordel::spi::Decoder kordel::spi::kDecoder{kPluginInfo, int32_t(std::size(kPluginInfo)),
                                                 isSupported, pictureInfo, picture};
