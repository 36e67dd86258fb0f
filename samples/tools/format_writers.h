// Writers of the library-backed kinds through the libraries themselves (libjpeg,
// giflib, libtiff), with every layout choice the decoders must cope with exposed.
#pragma once

#include <QByteArray>
#include <QRgb>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace kordel::test {

struct JpegOptions {
    int quality = 95;
    bool progressive = false;
    bool gray = false;
    bool cmyk = false;
    bool ycck = false;
    bool adobe = true;  // write the Adobe segment (then CMYK is stored inverted)
    bool fullChroma = false;
    int restartRows = 0;
};
QByteArray encodeJpeg(int w,
                      int h,
                      const std::function<QRgb(int, int)>& px,
                      const JpegOptions& o = {});

struct GifFrame {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<QRgb> local{};  // empty: the global table applies
    int transparent = -1;
    std::vector<uint8_t> pixels{};
};
struct GifLayout {
    int width = 0, height = 0;
    std::vector<QRgb> global;  // empty: no global table
    int background = 0;
    std::vector<GifFrame> frames;
};
QByteArray encodeGif(const GifLayout& layout);

// TIFF tag values as libtiff names them (PHOTOMETRIC_*, COMPRESSION_*, ...).
struct TiffLayout {
    int width = 50, height = 37;
    int samples = 3, bits = 8;
    uint16_t photometric = 2;  // RGB
    uint16_t compression = 1;  // none
    uint16_t predictor = 0;
    uint16_t planar = 1;        // contiguous
    uint16_t orientation = 1;   // top left
    uint16_t extra = 0xFFFF;    // kind of the one extra sample, if any
    uint16_t sampleFormat = 0;  // 0: not written
    bool tiled = false;
    int rowsPerStrip = 8;
    std::vector<uint16_t> colourMap{};  // red, green, blue runs of 2^bits entries
    // Sample s of pixel (x, y) at the file's bit depth.
    std::function<int(int, int, int)> sample{};
};
// Writes the pages to `path`; false when libtiff refuses.
bool writeTiff(const QString& path, const std::vector<TiffLayout>& pages);
// The 8-bit RGB strip file at `path` laid out anew with its directory first and its
// strips after it, so that cutting the file loses strips rather than the directory
// (libtiff writes the directory last).
QByteArray tiffDirectoryFirst(const QString& path);

}  // namespace kordel::test
