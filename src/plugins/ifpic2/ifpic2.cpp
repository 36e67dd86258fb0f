// PIC2 decoder plug-in: arithmetic-coded (P2SS), fast (P2SF) and raw (P2BM, P2BI)
// picture blocks at 9 to 24 colour bits, delivered as a 24-bit DIB. The densities in
// the picture info carry the dot shape stored in the header.
#include <iterator>
#include <vector>

#include "pic2_decoder.h"
#include "spi.h"
#include "spi_common.h"

namespace {

const char* const kPluginInfo[] = {
    "00IN",
    "Kordel PIC2 decoder 1.0",
    "*.p2",
    "PIC2",
};

int32_t load(const char* name,
             intptr_t offset,
             uint32_t flag,
             std::vector<uint8_t>& data,
             kordel::pic2::Picture& picture) {
    if (int32_t rc = kordel::spi::readInput(name, offset, flag, data))
        return rc;
    return kordel::pic2::parse(data.data(), data.size(), picture);
}

bool isSupported(const uint8_t* head) {
    return kordel::pic2::looksLikePic2(head, SPI_HEAD_SIZE);
}

int32_t pictureInfo(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info) {
    std::vector<uint8_t> data;
    kordel::pic2::Picture picture;
    if (int32_t rc = load(name, offset, flag, data, picture))
        return rc;
    kordel::spi::fillInfo(&info, picture.width, picture.height, int16_t(picture.depth),
                          picture.xDensity, picture.yDensity);
    return SPI_OK;
}

// The whole picture serves as its own preview.
int32_t picture(const char* name,
                intptr_t offset,
                uint32_t flag,
                void** bitmapInfo,
                void** bits,
                SpiProgress progress,
                intptr_t user) {
    std::vector<uint8_t> data;
    kordel::pic2::Picture picture;
    if (int32_t rc = load(name, offset, flag, data, picture))
        return rc;
    // Progress counts the lines of every block.
    int64_t lines = 0;
    for (const auto& b : picture.blocks)
        lines += b.height;
    kordel::spi::Dib dib;
    kordel::spi::Progress report(progress, user, int32_t(lines));
    if (int32_t rc = kordel::pic2::decode(data.data(), data.size(), picture, dib, report))
        return rc;
    return dib.release(bitmapInfo, bits);
}

}  // namespace

const kordel::spi::Decoder kordel::spi::kDecoder{kPluginInfo, int32_t(std::size(kPluginInfo)),
                                                 isSupported, pictureInfo, picture};
