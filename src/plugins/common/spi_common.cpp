#include "spi_common.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dib_format.h"

namespace kordel::spi {

int32_t openInput(const char* name, intptr_t offset, uint32_t flag, FilePtr& file, uint64_t* size) {
    file.reset();
    if ((flag & 7) != 0)
        return SPI_UNKNOWN_FORMAT;
    if (!name || offset < 0)
        return SPI_READ_ERROR;
    // Opened without waiting: opening a named pipe waits for a writer for ever.
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return SPI_READ_ERROR;
    // Only regular files: a folder or a device has no size to trust.
    struct stat st;
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return SPI_READ_ERROR;
    }
    file.reset(fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
        return SPI_READ_ERROR;
    }
    if (fseeko(file.get(), off_t(offset), SEEK_SET) != 0)
        return SPI_READ_ERROR;
    if (size)
        *size = uint64_t(st.st_size);
    return SPI_OK;
}

int32_t checkSignature(std::FILE* file, size_t count, bool (*matches)(const uint8_t* head)) {
    uint8_t head[16];
    if (count > sizeof head)
        return SPI_INTERNAL_ERROR;
    const off_t at = ftello(file);
    if (at < 0)
        return SPI_READ_ERROR;
    if (std::fread(head, 1, count, file) != count || !matches(head))
        return std::ferror(file) ? SPI_READ_ERROR : SPI_UNKNOWN_FORMAT;
    return fseeko(file, at, SEEK_SET) == 0 ? SPI_OK : SPI_READ_ERROR;
}

int32_t readInput(const char* name,
                  intptr_t offset,
                  uint32_t flag,
                  std::vector<uint8_t>& data,
                  size_t maxSize) {
    data.clear();
    FilePtr file;
    uint64_t size = 0;
    if (int32_t rc = openInput(name, offset, flag, file, &size))
        return rc;
    if (uint64_t(offset) >= size)
        return SPI_OK;
    const uint64_t wanted = size - uint64_t(offset);
    if (wanted > maxSize)
        return SPI_NO_MEMORY;
    data.resize(size_t(wanted));
    const size_t got = std::fread(data.data(), 1, data.size(), file.get());
    // A file that shrank while we read it is read as far as it goes.
    data.resize(got);
    if (got < wanted && std::ferror(file.get()))
        return SPI_READ_ERROR;
    return SPI_OK;
}

bool MsbBitReader::read(int count, uint32_t& value) {
    value = 0;
    if (count < 0 || count > 32 || uint64_t(count) > bitsLeft()) {
        pos_ = uint64_t(size_) * 8;
        return false;
    }
    uint32_t v = 0;
    while (count > 0) {
        const int inByte = 8 - int(pos_ & 7);
        const int take = std::min(inByte, count);
        const uint32_t bits = (data_[pos_ >> 3] >> (inByte - take)) & ((1u << take) - 1u);
        v = (v << take) | bits;
        pos_ += uint64_t(take);
        count -= take;
    }
    value = v;
    return true;
}

int32_t checkSize(int64_t width, int64_t height, uint64_t maxPixels) {
    if (width <= 0 || height <= 0)
        return SPI_BROKEN_DATA;
    if (width > SPI_MAX_DIMENSION || height > SPI_MAX_DIMENSION ||
        uint64_t(width) * uint64_t(height) > maxPixels)
        return SPI_NO_MEMORY;
    return SPI_OK;
}

void fillInfo(PictureInfo* info,
              int32_t width,
              int32_t height,
              int16_t colorDepth,
              uint16_t xDensity,
              uint16_t yDensity) {
    PictureInfo r;
    std::memset(&r, 0, sizeof r);
    r.width = width;
    r.height = height;
    r.x_density = xDensity;
    r.y_density = yDensity;
    r.colorDepth = colorDepth;
    r.hInfo = nullptr;
    std::memcpy(info, &r, sizeof r);
}

Dib::~Dib() {
    std::free(info_);
    std::free(bits_);
}

int32_t Dib::create(int32_t width, int32_t height, int bitCount, int colours, uint64_t maxPixels) {
    if (info_ || bits_)
        return SPI_INTERNAL_ERROR;
    const bool indexed = bitCount == 1 || bitCount == 4 || bitCount == 8;
    if (indexed ? (colours < 1 || colours > (1 << bitCount))
                : ((bitCount != 24 && bitCount != 32) || colours != 0))
        return SPI_INTERNAL_ERROR;
    if (int32_t rc = checkSize(width, height, maxPixels))
        return rc;
    const uint64_t stride = uint64_t(dib::stride(width, bitCount));
    const uint64_t imageSize = stride * uint64_t(height);
    const size_t infoSize = sizeof(SpiBitmapInfoHeader) + size_t(colours) * sizeof(SpiRgbQuad);
    info_ = static_cast<uint8_t*>(std::calloc(1, infoSize));
    bits_ = static_cast<uint8_t*>(std::calloc(1, size_t(imageSize)));
    if (!info_ || !bits_) {
        std::free(info_);
        std::free(bits_);
        info_ = bits_ = nullptr;
        return SPI_NO_MEMORY;
    }
    SpiBitmapInfoHeader h;
    std::memset(&h, 0, sizeof h);
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = uint16_t(bitCount);
    h.biCompression = 0;
    // The image size field is 32 bits; pictures within the limits but larger than
    // that leave it 0, which means "work it out" for uncompressed rows.
    h.biSizeImage = imageSize <= 0xffffffffu ? uint32_t(imageSize) : 0;
    h.biClrUsed = uint32_t(colours);
    std::memcpy(info_, &h, sizeof h);
    width_ = width;
    height_ = height;
    stride_ = size_t(stride);
    colours_ = colours;
    return SPI_OK;
}

void Dib::setColour(int i, uint8_t red, uint8_t green, uint8_t blue) {
    if (i < 0 || i >= colours_)
        return;
    uint8_t* q = info_ + sizeof(SpiBitmapInfoHeader) + size_t(i) * sizeof(SpiRgbQuad);
    q[0] = blue;
    q[1] = green;
    q[2] = red;
    q[3] = 0;
}

int32_t Dib::release(void** bitmapInfo, void** bits) {
    if (!bitmapInfo || !bits || !info_ || !bits_)
        return SPI_INTERNAL_ERROR;
    *bitmapInfo = info_;
    *bits = bits_;
    info_ = bits_ = nullptr;
    return SPI_OK;
}

Progress::Progress(SpiProgress callback, intptr_t user, int32_t total)
    : callback_(callback), user_(user), total_(std::max<int32_t>(total, 1)) {
    // About 64 reports per picture, but never fewer than one every 8 units.
    step_ = std::clamp<int32_t>(total_ / 64, 1, 8);
}

bool Progress::proceed(int32_t done) {
    if (!callback_)
        return true;
    if (last_ >= 0 && done - last_ < step_)
        return true;
    last_ = done;
    return callback_(done, total_, user_) == 0;
}

bool Progress::finish() {
    if (!callback_)
        return true;
    last_ = total_;
    return callback_(total_, total_, user_) == 0;
}

int32_t copyPluginInfo(int32_t infono,
                       char* buf,
                       int32_t buflen,
                       const char* const* entries,
                       int32_t count) {
    if (!buf || buflen <= 0)
        return 0;
    buf[0] = '\0';
    if (!entries || infono < 0 || infono >= count || !entries[infono])
        return 0;
    const size_t len = std::min(std::strlen(entries[infono]), size_t(buflen - 1));
    std::memcpy(buf, entries[infono], len);
    buf[len] = '\0';
    return int32_t(len);
}

}  // namespace kordel::spi
