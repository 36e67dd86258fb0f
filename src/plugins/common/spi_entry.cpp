// The entry points every decoder plug-in exports, over the plug-in's kDecoder.
// Linked into each plug-in as an object library: a static library would leave
// these out, since nothing inside the plug-in refers to them.
#include "spi.h"
#include "spi_common.h"

namespace {

using kordel::spi::kDecoder;

int32_t callPicture(kordel::spi::PictureFunction function,
                    const char* name,
                    intptr_t offset,
                    uint32_t flag,
                    void** bitmapInfo,
                    void** bits,
                    SpiProgress progress,
                    intptr_t user) {
    if (!bitmapInfo || !bits)
        return SPI_INTERNAL_ERROR;
    *bitmapInfo = nullptr;
    *bits = nullptr;
    return kordel::spi::guarded(
        [&] { return function(name, offset, flag, bitmapInfo, bits, progress, user); });
}

}  // namespace

extern "C" {

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    return kordel::spi::copyPluginInfo(infono, buf, buflen, kDecoder.info, kDecoder.infoCount);
}

SPI_EXPORT int32_t IsSupported(const char* /*name*/, void* head) {
    if (!head)
        return 0;
    return kordel::spi::guarded(
        [&] { return kDecoder.isSupported(static_cast<const uint8_t*>(head)) ? 1 : 0; });
}

SPI_EXPORT int32_t GetPictureInfo(const char* name,
                                  intptr_t offset,
                                  uint32_t flag,
                                  PictureInfo* info) {
    if (!info)
        return SPI_INTERNAL_ERROR;
    return kordel::spi::guarded([&] { return kDecoder.pictureInfo(name, offset, flag, *info); });
}

SPI_EXPORT int32_t GetPicture(const char* name,
                              intptr_t offset,
                              uint32_t flag,
                              void** bitmapInfo,
                              void** bits,
                              SpiProgress progress,
                              intptr_t user) {
    return callPicture(kDecoder.picture, name, offset, flag, bitmapInfo, bits, progress, user);
}

SPI_EXPORT int32_t GetPreview(const char* name,
                              intptr_t offset,
                              uint32_t flag,
                              void** bitmapInfo,
                              void** bits,
                              SpiProgress progress,
                              intptr_t user) {
    return callPicture(kDecoder.preview ? kDecoder.preview : kDecoder.picture, name, offset, flag,
                       bitmapInfo, bits, progress, user);
}

}  // extern "C"
