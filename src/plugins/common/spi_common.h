// Helpers shared by the decoder plug-ins: reading the input file, endian reads, an
// MSB-first bit reader, the two DIB blocks handed to the host, progress reporting,
// and the exported entry points. Nothing here knows about a picture format.
//
// A plug-in defines `kordel::spi::kDecoder` (see Decoder below); the object library
// kordel_spi_entry exports the entry points over it. A typical picture function:
//
//     int32_t picture(const char* name, intptr_t offset, uint32_t flag,
//                     void** bitmapInfo, void** bits, SpiProgress callback, intptr_t user) {
//         std::vector<uint8_t> data;
//         if (int32_t rc = kordel::spi::readInput(name, offset, flag, data)) return rc;
//         ... parse; kordel::spi::checkSize(w, h) ...
//         kordel::spi::Dib dib;
//         if (int32_t rc = dib.create(w, h, 8, 256)) return rc;
//         kordel::spi::Progress progress(callback, user, h);
//         for each row y: fill dib.row(y); if (!progress.proceed(y + 1)) return SPI_CANCELLED;
//         if (!progress.finish()) return SPI_CANCELLED;
//         return dib.release(bitmapInfo, bits);
//     }
//
// The Dib frees its blocks on every path that does not release them. All classes
// are plain values without shared state, so decodes on different threads never meet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "spi.h"

namespace kordel::spi {

// ---- Input ----

// Largest input a plug-in reads; a bigger file answers SPI_NO_MEMORY.
inline constexpr size_t kMaxInputSize = 256u * 1024u * 1024u;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens the picture file for decoders that read it as they go. Only file input
// is supported: (flag & 7) == 0 means `name` is a UTF-8 path. Returns SPI_OK with
// `file` standing `offset` bytes in (which may be at or past its end) and `size`,
// when given, holding the file's length; SPI_UNKNOWN_FORMAT for other input kinds;
// SPI_READ_ERROR when the file cannot be opened, is not a regular file, or the
// offset is negative or cannot be reached.
int32_t openInput(const char* name,
                  intptr_t offset,
                  uint32_t flag,
                  FilePtr& file,
                  uint64_t* size = nullptr);

// Reads the next `count` bytes (at most 16) and goes back to where the file
// stood. SPI_OK when `matches` accepts them; SPI_UNKNOWN_FORMAT when it does not
// or the file ends first; SPI_READ_ERROR when reading fails.
int32_t checkSignature(std::FILE* file, size_t count, bool (*matches)(const uint8_t* head));

// Reads the picture data. Only file input is supported: (flag & 7) == 0 means
// `name` is a UTF-8 path and the data starts `offset` bytes into the file and runs
// to its end. An offset at or past the end gives an empty buffer.
// Returns SPI_OK; SPI_UNKNOWN_FORMAT for other input kinds (memory input);
// SPI_READ_ERROR when the file cannot be opened or read or the offset is negative;
// SPI_NO_MEMORY when more than maxSize bytes would have to be read.
int32_t readInput(const char* name,
                  intptr_t offset,
                  uint32_t flag,
                  std::vector<uint8_t>& data,
                  size_t maxSize = kMaxInputSize);

// ---- Byte order (the caller guarantees that the bytes are there) ----

inline uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t be16(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

// ---- Bits, most significant first ----

// Reads bits from a byte range, bit 7 of each byte first. Never reads past the range.
class MsbBitReader {
public:
    MsbBitReader() = default;
    MsbBitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // Reads `count` bits (0 to 32) into `value`. When fewer remain, answers false,
    // sets value to 0 and leaves the reader at its end.
    bool read(int count, uint32_t& value);
    // One bit (0 or 1), or -1 at the end.
    int bit() {
        if (pos_ >= uint64_t(size_) * 8)
            return -1;
        const int b = (data_[pos_ >> 3] >> (7 - (pos_ & 7))) & 1;
        ++pos_;
        return b;
    }
    uint64_t bitsLeft() const { return uint64_t(size_) * 8 - pos_; }
    bool atEnd() const { return bitsLeft() == 0; }
    // Index of the byte that holds the next bit (size when at the end).
    size_t bytePosition() const { return size_t(pos_ >> 3); }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    uint64_t pos_ = 0;
};

// ---- Picture info ----

// SPI_OK when a picture of this size is within SPI_MAX_DIMENSION and
// maxPixels; SPI_NO_MEMORY past them; SPI_BROKEN_DATA when a side is 0 or less.
int32_t checkSize(int64_t width, int64_t height, uint64_t maxPixels = SPI_MAX_PIXELS);

// Fills the info record (left and top 0, no text block).
void fillInfo(PictureInfo* info,
              int32_t width,
              int32_t height,
              int16_t colorDepth,
              uint16_t xDensity = 1,
              uint16_t yDensity = 1);

// ---- The bitmap handed to the host ----

// Owns the two blocks of a decoded picture: the BITMAPINFO (40-byte header and
// colour table) and the pixel rows, bottom-up (biHeight > 0) and padded to 4 bytes.
// Both are malloc'ed; they are freed on destruction unless release() handed them over.
class Dib {
public:
    Dib() = default;
    ~Dib();
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    // bitCount 1, 4 or 8 with 1 to 2^bitCount colour-table entries (biClrUsed is set
    // to it), or 24 or 32 with no colour table. Rows and table start zeroed.
    // Returns SPI_OK; SPI_NO_MEMORY past the size limits (maxPixels dots) or when
    // malloc fails; SPI_BROKEN_DATA for an empty size; SPI_INTERNAL_ERROR for a bad
    // bit count or colour count.
    int32_t create(int32_t width,
                   int32_t height,
                   int bitCount,
                   int colours,
                   uint64_t maxPixels = SPI_MAX_PIXELS);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    size_t stride() const { return stride_; }
    int colourCount() const { return colours_; }

    // Colour-table entry i (0 <= i < colourCount()).
    void setColour(int i, uint8_t red, uint8_t green, uint8_t blue);
    // Pixel row y counted from the top of the picture (0 <= y < height()).
    uint8_t* row(int32_t y) { return bits_ + size_t(height_ - 1 - y) * stride_; }

    // Hands both blocks to the caller (who frees them with free()); returns SPI_OK,
    // or SPI_INTERNAL_ERROR when an output pointer is null or nothing was created.
    int32_t release(void** bitmapInfo, void** bits);

private:
    uint8_t* info_ = nullptr;
    uint8_t* bits_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    size_t stride_ = 0;
    int colours_ = 0;
};

// ---- Progress ----

// Reports progress (done, total) to the host's callback: on the first call, then at
// least every few units (rows, as a rule) and always at the end. A null callback is fine.
class Progress {
public:
    Progress(SpiProgress callback, intptr_t user, int32_t total);
    // `done` units are complete; false when the host asked to stop.
    bool proceed(int32_t done);
    // Reports (total, total); false when the host asked to stop.
    bool finish();

private:
    SpiProgress callback_;
    intptr_t user_;
    int32_t total_;
    int32_t step_;
    int32_t last_ = -1;
};

// ---- The exported entry points ----

using PictureFunction = int32_t (*)(const char* name,
                                    intptr_t offset,
                                    uint32_t flag,
                                    void** bitmapInfo,
                                    void** bits,
                                    SpiProgress progress,
                                    intptr_t user);

// What makes a plug-in. The exported entry points check the pointers they are
// given, empty the outputs and keep every exception inside the plug-in before they
// call these, so the functions here see valid output pointers only.
struct Decoder {
    // GetPluginInfo's strings: "00IN", a description, then pairs of file pattern and
    // kind name.
    const char* const* info;
    int32_t infoCount;
    // IsSupported: the first SPI_HEAD_SIZE bytes of the file.
    bool (*isSupported)(const uint8_t* head);
    // GetPictureInfo.
    int32_t (*pictureInfo)(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info);
    // GetPicture: bitmapInfo and bits hold null on entry.
    PictureFunction picture;
    // GetPreview, likewise; null where the whole picture serves as its own preview.
    PictureFunction preview = nullptr;
};

// Defined by every plug-in.
extern const Decoder kDecoder;

// Answers GetPluginInfo from a list of strings: entry `infono` is copied into buf,
// cut to buflen - 1 bytes and always terminated when buflen > 0. Returns the number
// of bytes written without the terminator; 0 for numbers past the list.
int32_t copyPluginInfo(int32_t infono,
                       char* buf,
                       int32_t buflen,
                       const char* const* entries,
                       int32_t count);

// Runs an entry point's body so that no exception crosses the C interface:
// allocation failure answers SPI_NO_MEMORY, anything else SPI_INTERNAL_ERROR.
template <class Body>
int32_t guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return SPI_NO_MEMORY;
    } catch (...) {
        return SPI_INTERNAL_ERROR;
    }
}

}  // namespace kordel::spi
