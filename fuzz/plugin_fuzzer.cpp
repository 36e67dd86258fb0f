// Feeds arbitrary files to one decoder plug-in through its C interface, as the
// program does, and reads every byte of any picture it hands back, so that a
// block smaller than its header says is caught by the address sanitizer.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "spi.h"

namespace {

SpiIsSupported isSupported;
SpiGetPictureInfo getPictureInfo;
SpiGetPicture getPicture;
SpiGetPicture getPreview;
std::string path;

void fail(const char* what) {
    std::fprintf(stderr, "%s: %s\n", KORDEL_FUZZ_PLUGIN, what);
    std::abort();
}

// Sums every byte of the delivered blocks, so that each one is read.
void checkDib(void* header, void* bits) {
    const auto* h = static_cast<const SpiBitmapInfoHeader*>(header);
    if (h->biSize < 40 || h->biWidth <= 0 || h->biHeight == 0)
        fail("delivered an unusable header");
    const int64_t height = h->biHeight < 0 ? -int64_t(h->biHeight) : h->biHeight;
    const int64_t stride = (int64_t(h->biWidth) * h->biBitCount + 31) / 32 * 4;
    const int64_t colours =
        h->biBitCount <= 8 ? (h->biClrUsed ? h->biClrUsed : 1 << h->biBitCount) : 0;
    if (int64_t(h->biWidth) * height > int64_t(SPI_MAX_PIXELS))
        fail("delivered a picture past the size limit");
    volatile unsigned sum = 0;
    const auto* table = static_cast<const uint8_t*>(header) + h->biSize;
    for (int64_t i = 0; i < colours * 4; ++i)
        sum = sum + table[i];
    const auto* p = static_cast<const uint8_t*>(bits);
    for (int64_t i = 0; i < stride * height; ++i)
        sum = sum + p[i];
}

void decode(SpiGetPicture entry) {
    if (!entry)
        return;
    void* header = nullptr;
    void* bits = nullptr;
    if (entry(path.c_str(), 0, 0, &header, &bits, nullptr, 0) == SPI_OK) {
        if (!header || !bits)
            fail("answered success without a picture");
        checkDib(header, bits);
    } else if (header || bits) {
        fail("left blocks behind a failure");
    }
    std::free(header);
    std::free(bits);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string module = std::string(KORDEL_BIN_DIR "/") + KORDEL_FUZZ_PLUGIN;
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        fail(dlerror());
    isSupported = reinterpret_cast<SpiIsSupported>(dlsym(handle, "IsSupported"));
    getPictureInfo = reinterpret_cast<SpiGetPictureInfo>(dlsym(handle, "GetPictureInfo"));
    getPicture = reinterpret_cast<SpiGetPicture>(dlsym(handle, "GetPicture"));
    getPreview = reinterpret_cast<SpiGetPicture>(dlsym(handle, "GetPreview"));
    if (!isSupported || !getPictureInfo || !getPicture)
        fail("lacks an entry point");
    path = "/dev/shm/kordel-fuzz-" + std::to_string(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || write(fd, data, size) != ssize_t(size) || close(fd) != 0)
        fail("cannot write the input file");
    char head[SPI_HEAD_SIZE] = {};
    std::memcpy(head, data, size < sizeof head ? size : sizeof head);
    isSupported(path.c_str(), head);
    PictureInfo info;
    getPictureInfo(path.c_str(), 0, 0, &info);
    decode(getPicture);
    decode(getPreview);
    return 0;
}
