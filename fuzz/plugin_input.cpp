#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"

namespace kordel::fuzz {

namespace {

struct Delivered {
    std::string fault;
    int32_t width = 0, height = 0;
};

// Sums every byte of the delivered blocks, so that each one is read.
Delivered checkDib(const void* header, const void* bits) {
    const auto* h = static_cast<const SpiBitmapInfoHeader*>(header);
    if (h->biSize < 40 || h->biWidth <= 0 || h->biHeight == 0)
        return {"delivered an unusable header"};
    const int64_t height = h->biHeight < 0 ? -int64_t(h->biHeight) : h->biHeight;
    const int64_t stride = (int64_t(h->biWidth) * h->biBitCount + 31) / 32 * 4;
    const int64_t colours =
        h->biBitCount <= 8 ? (h->biClrUsed ? h->biClrUsed : 1 << h->biBitCount) : 0;
    if (int64_t(h->biWidth) * height > int64_t(SPI_MAX_PHOTO_PIXELS))
        return {"delivered a picture past the size limit"};
    volatile unsigned sum = 0;
    const auto* table = static_cast<const uint8_t*>(header) + h->biSize;
    for (int64_t i = 0; i < colours * 4; ++i)
        sum = sum + table[i];
    const auto* p = static_cast<const uint8_t*>(bits);
    for (int64_t i = 0; i < stride * height; ++i)
        sum = sum + p[i];
    return {{}, h->biWidth, int32_t(height)};
}

Delivered decode(SpiGetPicture entry, const std::string& path) {
    void* header = nullptr;
    void* bits = nullptr;
    Delivered d;
    if (entry(path.c_str(), 0, 0, &header, &bits, nullptr, 0) == SPI_OK) {
        d = header && bits ? checkDib(header, bits)
                           : Delivered{"answered success without a picture"};
    } else if (header || bits) {
        d.fault = "left blocks behind a failure";
    }
    std::free(header);
    std::free(bits);
    return d;
}

}  // namespace

std::string openPlugin(const std::string& module, Plugin& plugin) {
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return dlerror();
    plugin.isSupported = reinterpret_cast<SpiIsSupported>(dlsym(handle, "IsSupported"));
    plugin.getPictureInfo = reinterpret_cast<SpiGetPictureInfo>(dlsym(handle, "GetPictureInfo"));
    plugin.getPicture = reinterpret_cast<SpiGetPicture>(dlsym(handle, "GetPicture"));
    plugin.getPreview = reinterpret_cast<SpiGetPicture>(dlsym(handle, "GetPreview"));
    if (!plugin.isSupported || !plugin.getPictureInfo || !plugin.getPicture)
        return "lacks an entry point";
    return {};
}

std::string runPlugin(const Plugin& plugin,
                      const std::string& path,
                      const uint8_t* data,
                      size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || write(fd, data, size) != ssize_t(size) || close(fd) != 0)
        return "cannot write the input file";
    char head[SPI_HEAD_SIZE] = {};
    std::memcpy(head, data, size < sizeof head ? size : sizeof head);
    plugin.isSupported(path.c_str(), head);
    PictureInfo info{};
    const bool known = plugin.getPictureInfo(path.c_str(), 0, 0, &info) == SPI_OK;
    std::free(info.hInfo);
    const Delivered picture = decode(plugin.getPicture, path);
    if (!picture.fault.empty())
        return "GetPicture " + picture.fault;
    // The host sizes its bitmap by the info before the rows arrive.
    if (known && picture.width && (picture.width != info.width || picture.height != info.height))
        return "GetPicture delivered " + std::to_string(picture.width) + "x" +
               std::to_string(picture.height) + " after an info of " + std::to_string(info.width) +
               "x" + std::to_string(info.height);
    if (plugin.getPreview) {
        const Delivered preview = decode(plugin.getPreview, path);
        if (!preview.fault.empty())
            return "GetPreview " + preview.fault;
    }
    return {};
}

}  // namespace kordel::fuzz
