// TIFF decoder plug-in over libtiff: the first page of the file.
//
// Palette and gray pictures of 1 to 8 bits (gray also 16), 8-bit RGB, including
// JPEG-compressed YCbCr, and 8- and 16-bit CIE L*a*b* (extra samples ignored) are
// read strip by strip or tile by tile straight from libtiff and give an 8-bit DIB with colour table
// or a 24-bit DIB. Everything else that libtiff's RGBA reader understands (CMYK, 16-bit RGB, alpha,
// subsampled YCbCr, separate planes) goes through it a band of rows at a time; alpha is shown over
// white.
//
// libtiff's messages go to handlers of this one open file (never to stderr), and
// its allocations are capped. A strip or tile that cannot be read leaves its rows
// at sample value 0; the picture is delivered when at least one could be read.
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "spi.h"
#include "spi_common.h"

namespace {

using kordel::spi::Dib;
using kordel::spi::Progress;

// Largest single allocation libtiff may make for us (strip buffers and the like).
constexpr tmsize_t kMaxTiffAlloc = tmsize_t(256) * 1024 * 1024;
// Rows asked from the RGBA reader at once, rounded up to whole strips or tiles.
constexpr uint32_t kRgbaBand = 64;

struct Input {
    std::FILE* file = nullptr;
    off_t base = 0;  // where the TIFF data starts in the file
    off_t size = 0;  // bytes from there to the end of the file
    int errors = 0;
};

tmsize_t readProc(thandle_t h, void* buf, tmsize_t size) {
    auto* in = static_cast<Input*>(h);
    if (size <= 0)
        return 0;
    return tmsize_t(std::fread(buf, 1, size_t(size), in->file));
}

tmsize_t writeProc(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekProc(thandle_t h, toff_t off, int whence) {
    auto* in = static_cast<Input*>(h);
    const off_t current = ftello(in->file) - in->base;
    const uint64_t limit = uint64_t(1) << 62;
    int64_t target;
    if (whence == SEEK_SET) {
        if (off > limit)
            return toff_t(-1);
        target = int64_t(off);
    } else if (whence == SEEK_CUR || whence == SEEK_END) {
        // libtiff passes a negative step as a wrapped unsigned value.
        const int64_t step = int64_t(off);
        const int64_t from = whence == SEEK_CUR ? int64_t(current) : int64_t(in->size);
        if ((step > 0 && from > int64_t(limit) - step) || from + step < 0)
            return toff_t(-1);
        target = from + step;
    } else {
        return toff_t(-1);
    }
    if (fseeko(in->file, off_t(target) + in->base, SEEK_SET) != 0)
        return toff_t(-1);
    return toff_t(target);
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t h) {
    return toff_t(static_cast<Input*>(h)->size);
}

int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapProc(thandle_t, void*, toff_t) {}

int errorHandler(TIFF*, void* user, const char*, const char*, va_list) {
    ++static_cast<Input*>(user)->errors;
    return 1;  // handled: nothing reaches the process-wide handlers
}

int warningHandler(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

bool hasSignature(const uint8_t* p) {
    return (p[0] == 'I' && p[1] == 'I' && (p[2] == 42 || p[2] == 43) && p[3] == 0) ||
           (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && (p[3] == 42 || p[3] == 43));
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

struct Tiff {
    Input input;
    kordel::spi::FilePtr file;
    std::unique_ptr<TIFF, TiffCloser> tif;

    int32_t open(const char* name, intptr_t offset, uint32_t flag);
};

int32_t Tiff::open(const char* name, intptr_t offset, uint32_t flag) {
    uint64_t size = 0;
    if (int32_t rc = kordel::spi::openInput(name, offset, flag, file, &size))
        return rc;
    if (int32_t rc = kordel::spi::checkSignature(file.get(), 4, hasSignature))
        return rc;
    input.file = file.get();
    input.base = off_t(offset);
    input.size = size > uint64_t(offset) ? off_t(size - uint64_t(offset)) : 0;

    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options)
        return SPI_NO_MEMORY;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAlloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), errorHandler, &input);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), warningHandler, &input);
    // "m": no memory mapping; our procs read the file at its offset.
    tif.reset(TIFFClientOpenExt(name, "rm", &input, readProc, writeProc, seekProc, closeProc,
                                sizeProc, mapProc, unmapProc, options.get()));
    return tif ? SPI_OK : SPI_BROKEN_DATA;
}

struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t samples = 1, bits = 1;
    uint16_t photometric = 0;
    bool hasPhotometric = false;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t sampleFormat = SAMPLEFORMAT_UINT;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t extraSamples = 0;
};

Layout readLayout(TIFF* tif) {
    Layout l;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bits);
    l.hasPhotometric = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric) != 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.sampleFormat);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &l.compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &l.orientation);
    uint16_t* kinds = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &l.extraSamples, &kinds);
    return l;
}

// How rows of the stored picture map onto the displayed one. The transposing
// orientations (5 to 8) are shown like their untransposed partners, as libtiff's
// RGBA reader does.
struct Placement {
    bool flipRows = false;
    bool flipColumns = false;
    explicit Placement(uint16_t orientation) {
        const uint16_t o =
            orientation >= 5 && orientation <= 8 ? uint16_t(orientation - 4) : orientation;
        flipRows = o == ORIENTATION_BOTRIGHT || o == ORIENTATION_BOTLEFT;
        flipColumns = o == ORIENTATION_TOPRIGHT || o == ORIENTATION_BOTRIGHT;
    }
};

enum class Kind { Palette, Gray, Rgb, Lab, Rgba };

// CIE L*a*b* to sRGB, 8 bits a sample (L 0 to 255 for 0 to 100, a and b signed) or
// 16 (L 0 to 65535, a and b signed in 1/256). The values are relative to the file's
// white point (D50 when it names none); their XYZ is adapted from that white to D65,
// the sRGB white (Bradford), and goes through the sRGB matrix and transfer curve.
// Samples after the first three are skipped.
class LabToRgb {
public:
    // False when the white point is unusable.
    bool init(TIFF* tif, int bits) {
        float* white = nullptr;
        if (!TIFFGetFieldDefaulted(tif, TIFFTAG_WHITEPOINT, &white) || !white ||
            !(white[0] > 0.0f && white[1] > 0.0f && white[0] + white[1] < 1.0f))
            return false;
        sixteen_ = bits == 16;
        const double reference[3] = {double(white[0]) / white[1] * 100.0, 100.0,
                                     (1.0 - white[0] - white[1]) / white[1] * 100.0};
        // Cone responses of both whites; XYZ goes to cones, is scaled from one
        // white to the other, and comes back, then takes the sRGB matrix.
        static constexpr double kBradford[3][3] = {
            {0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}};
        static constexpr double kBradfordInverse[3][3] = {{0.9869929, -0.1470543, 0.1599627},
                                                          {0.4323053, 0.5183603, 0.0492912},
                                                          {-0.0085287, 0.0400428, 0.9684867}};
        // XYZ (D65) to linear sRGB.
        static constexpr double kSrgb[3][3] = {
            {3.2406, -1.5372, -0.4986}, {-0.9689, 1.8758, 0.0415}, {0.0557, -0.2040, 1.0570}};
        const double d65[3] = {95.047, 100.0, 108.883};
        double gain[3];
        for (int i = 0; i < 3; ++i) {
            double to = 0, from = 0;
            for (int k = 0; k < 3; ++k) {
                to += kBradford[i][k] * d65[k];
                from += kBradford[i][k] * reference[k];
            }
            gain[i] = to / from;
        }
        // The matrix takes XYZ relative to the file's white (its white 1, 1, 1).
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (int j = 0; j < 3; ++j)
                    for (int i = 0; i < 3; ++i)
                        v += kSrgb[r][j] * kBradfordInverse[j][i] * gain[i] * kBradford[i][c];
                matrix_[r][c] = float(v * reference[c] / 100.0);
            }
        for (size_t i = 0; i < std::size(curve_); ++i) {
            const double v = double(i) / double(std::size(curve_) - 1);
            const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
            curve_[i] = uint8_t(std::lround(e * 255.0));
        }
        return true;
    }

    // One pixel: L, a, b in (host order at 16 bits), blue, green, red out.
    void convert(const uint8_t* lab, uint8_t* bgr) const {
        float l, a, b;
        if (sixteen_) {
            uint16_t l16;
            int16_t ab[2];
            std::memcpy(&l16, lab, 2);
            std::memcpy(ab, lab + 2, 4);
            l = float(l16) * (100.0f / 65535.0f);
            a = float(ab[0]) / 256.0f;
            b = float(ab[1]) / 256.0f;
        } else {
            l = float(lab[0]) * (100.0f / 255.0f);
            a = float(int8_t(lab[1]));
            b = float(int8_t(lab[2]));
        }
        const float fy = (l + 16.0f) / 116.0f;
        const float f[3] = {fy + a / 500.0f, fy, fy - b / 200.0f};
        float xyz[3];
        for (int c = 0; c < 3; ++c) {
            constexpr float kEdge = 6.0f / 29.0f;
            xyz[c] =
                f[c] > kEdge ? f[c] * f[c] * f[c] : 3.0f * kEdge * kEdge * (f[c] - 4.0f / 29.0f);
        }
        for (int c = 0; c < 3; ++c) {
            const float v =
                matrix_[c][0] * xyz[0] + matrix_[c][1] * xyz[1] + matrix_[c][2] * xyz[2];
            const float unit = std::clamp(v, 0.0f, 1.0f);
            bgr[2 - c] = curve_[size_t(std::lround(unit * float(std::size(curve_) - 1)))];
        }
    }

private:
    bool sixteen_ = false;
    float matrix_[3][3] = {};
    uint8_t curve_[4096] = {};
};

// Reads the decoded sample rows of the picture a band at a time (one strip, or one
// row of tiles), whatever the file's layout.
class BandReader {
public:
    BandReader(TIFF* tif, uint32_t width, uint32_t height, size_t rowBytes)
        : tif_(tif), width_(width), height_(height), rowBytes_(rowBytes) {}

    // Sets up the buffers; false when the layout is unusable.
    int32_t init() {
        tiled_ = TIFFIsTiled(tif_) != 0;
        if (tiled_) {
            TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tileWidth_);
            TIFFGetField(tif_, TIFFTAG_TILELENGTH, &bandRows_);
            const uint64_t tileRow = TIFFTileRowSize64(tif_);
            const uint64_t tileSize = TIFFTileSize64(tif_);
            if (tileWidth_ == 0 || bandRows_ == 0 || tileRow == 0 ||
                tileSize != tileRow * bandRows_ ||
                tileRow * 8 < uint64_t(tileWidth_) * bitsPerPixel())
                return SPI_BROKEN_DATA;
            // A band of tiles is as tall as a tile; a tile taller than the picture
            // only needs the picture's rows.
            if (uint64_t(tileSize) > uint64_t(kMaxTiffAlloc))
                return SPI_NO_MEMORY;
            tile_.resize(size_t(tileSize));
            tileRowBytes_ = size_t(tileRow);
        } else {
            uint32_t rps = 0;
            TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rps);
            bandRows_ = rps == 0 ? height_ : std::min(rps, height_);
            if (uint64_t(TIFFScanlineSize64(tif_)) != rowBytes_)
                return SPI_BROKEN_DATA;
        }
        const uint32_t rows = std::min(bandRows_, height_);
        if (uint64_t(rows) * rowBytes_ > uint64_t(kMaxTiffAlloc) * 2)
            return SPI_NO_MEMORY;
        band_.resize(size_t(rows) * rowBytes_);
        return SPI_OK;
    }

    uint32_t bandRows() const { return bandRows_; }
    int goodReads() const { return good_; }

    // Decodes the band that starts at row `top`; rows that could not be read are 0.
    const uint8_t* read(uint32_t top) {
        const uint32_t rows = std::min(bandRows_, height_ - top);
        std::memset(band_.data(), 0, size_t(rows) * rowBytes_);
        if (!tiled_) {
            const uint32_t strip = TIFFComputeStrip(tif_, top, 0);
            const tmsize_t want = tmsize_t(size_t(rows) * rowBytes_);
            if (TIFFReadEncodedStrip(tif_, strip, band_.data(), want) > 0)
                ++good_;
            return band_.data();
        }
        const size_t bitsPerPx = bitsPerPixel();
        for (uint32_t x = 0; x < width_; x += tileWidth_) {
            const uint32_t tile = TIFFComputeTile(tif_, x, top, 0, 0);
            if (TIFFReadEncodedTile(tif_, tile, tile_.data(), tmsize_t(tile_.size())) <= 0)
                continue;
            ++good_;
            // Tile widths are multiples of 16, so every tile starts on a byte.
            const size_t from = size_t(uint64_t(x) * bitsPerPx / 8);
            const size_t bytes = std::min(tileRowBytes_, rowBytes_ - from);
            for (uint32_t r = 0; r < rows; ++r)
                std::memcpy(band_.data() + r * rowBytes_ + from, tile_.data() + r * tileRowBytes_,
                            bytes);
        }
        return band_.data();
    }

private:
    size_t bitsPerPixel() const {
        uint16_t spp = 1, bps = 1;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_BITSPERSAMPLE, &bps);
        return size_t(spp) * bps;
    }

    TIFF* tif_;
    uint32_t width_, height_;
    size_t rowBytes_;
    bool tiled_ = false;
    uint32_t tileWidth_ = 0;
    uint32_t bandRows_ = 0;
    size_t tileRowBytes_ = 0;
    std::vector<uint8_t> tile_;
    std::vector<uint8_t> band_;
    int good_ = 0;
};

uint8_t colourMapValue(uint16_t v, bool eightBit) {
    return eightBit ? uint8_t(v) : uint8_t(v >> 8);
}

int32_t decodeDirect(TIFF* tif, const Layout& l, Kind kind, Dib& dib, Progress& progress) {
    const uint32_t width = l.width;
    const uint32_t height = l.height;
    const int bits = l.bits;
    // Bytes a Lab pixel takes, extra samples included.
    const size_t labPixel = size_t(l.samples) * size_t(bits) / 8;
    const size_t rowBytes = kind == Kind::Rgb   ? size_t(width) * 3
                            : kind == Kind::Lab ? size_t(width) * labPixel
                                                : (size_t(width) * size_t(bits) + 7) / 8;
    BandReader reader(tif, width, height, rowBytes);
    if (int32_t rc = reader.init())
        return rc;

    LabToRgb lab;
    if (kind == Kind::Lab && !lab.init(tif, bits))
        return SPI_BROKEN_DATA;
    int colours = 0;
    if (kind == Kind::Palette) {
        colours = 1 << bits;
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            return SPI_BROKEN_DATA;
        if (int32_t rc =
                dib.create(int32_t(width), int32_t(height), 8, colours, SPI_MAX_PHOTO_PIXELS))
            return rc;
        // Some writers store 8-bit values in the 16-bit colour map.
        bool eightBit = true;
        for (int i = 0; i < colours && eightBit; ++i)
            eightBit = red[i] < 256 && green[i] < 256 && blue[i] < 256;
        for (int i = 0; i < colours; ++i)
            dib.setColour(i, colourMapValue(red[i], eightBit), colourMapValue(green[i], eightBit),
                          colourMapValue(blue[i], eightBit));
    } else if (kind == Kind::Gray) {
        colours = 1 << std::min(bits, 8);
        if (int32_t rc =
                dib.create(int32_t(width), int32_t(height), 8, colours, SPI_MAX_PHOTO_PIXELS))
            return rc;
        const bool inverted = l.photometric == PHOTOMETRIC_MINISWHITE;
        for (int i = 0; i < colours; ++i) {
            int v = i * 255 / (colours - 1);
            if (inverted)
                v = 255 - v;
            dib.setColour(i, uint8_t(v), uint8_t(v), uint8_t(v));
        }
    } else {
        if (int32_t rc = dib.create(int32_t(width), int32_t(height), 24, 0, SPI_MAX_PHOTO_PIXELS))
            return rc;
    }

    const Placement place(l.orientation);
    const uint32_t band = reader.bandRows();
    for (uint32_t top = 0; top < height; top += band) {
        const uint8_t* data = reader.read(top);
        const uint32_t rows = std::min(band, height - top);
        for (uint32_t r = 0; r < rows; ++r) {
            const uint8_t* s = data + size_t(r) * rowBytes;
            const uint32_t y = top + r;
            uint8_t* d = dib.row(int32_t(place.flipRows ? height - 1 - y : y));
            if (kind == Kind::Lab) {
                for (uint32_t x = 0; x < width; ++x)
                    lab.convert(s + size_t(x) * labPixel,
                                d + size_t(place.flipColumns ? width - 1 - x : x) * 3);
                continue;
            }
            if (kind == Kind::Rgb) {
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t dx = place.flipColumns ? width - 1 - x : x;
                    d[dx * 3] = s[x * 3 + 2];
                    d[dx * 3 + 1] = s[x * 3 + 1];
                    d[dx * 3 + 2] = s[x * 3];
                }
                continue;
            }
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t v;
                if (bits == 8) {
                    v = s[x];
                } else if (bits == 16) {
                    uint16_t w;
                    std::memcpy(&w, s + size_t(x) * 2, 2);  // libtiff gives host order
                    v = uint8_t(w >> 8);
                } else {
                    const size_t bit = size_t(x) * size_t(bits);
                    v = uint8_t((s[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1));
                }
                d[place.flipColumns ? width - 1 - x : x] = v;
            }
        }
        if (!progress.proceed(int32_t(std::min(height, top + band))))
            return SPI_CANCELLED;
    }
    return reader.goodReads() > 0 ? SPI_OK : SPI_BROKEN_DATA;
}

struct RgbaEnd {
    void operator()(TIFFRGBAImage* img) const { TIFFRGBAImageEnd(img); }
};

int32_t decodeRgba(TIFF* tif, const Layout& l, Dib& dib, Progress& progress) {
    char message[1024];
    if (!TIFFRGBAImageOK(tif, message))
        return SPI_UNKNOWN_FORMAT;
    TIFFRGBAImage img;
    std::memset(&img, 0, sizeof img);
    if (!TIFFRGBAImageBegin(&img, tif, 0, message))
        return SPI_BROKEN_DATA;
    std::unique_ptr<TIFFRGBAImage, RgbaEnd> end(&img);
    // Read in the file's own orientation and place the rows here, so that a band
    // read from the middle of a bottom-up picture lands where it belongs.
    img.req_orientation = img.orientation;

    const uint32_t width = l.width;
    const uint32_t height = l.height;
    uint32_t unit = 0;
    if (TIFFIsTiled(tif))
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    unit = std::clamp<uint32_t>(unit, 1, height);
    const uint32_t band = std::min(height, (kRgbaBand + unit - 1) / unit * unit);
    if (int32_t rc = dib.create(int32_t(width), int32_t(height), 24, 0, SPI_MAX_PHOTO_PIXELS))
        return rc;
    std::vector<uint32_t> raster(size_t(width) * band);

    const Placement place(l.orientation);
    int good = 0;
    for (uint32_t top = 0; top < height; top += band) {
        const uint32_t rows = std::min(band, height - top);
        std::fill(raster.begin(), raster.end(), 0u);
        img.row_offset = int(top);
        img.col_offset = 0;
        if (TIFFRGBAImageGet(&img, raster.data(), width, rows))
            ++good;
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* s = raster.data() + size_t(r) * width;
            const uint32_t y = top + r;
            uint8_t* d = dib.row(int32_t(place.flipRows ? height - 1 - y : y));
            for (uint32_t x = 0; x < width; ++x) {
                const uint32_t p = s[x];
                // Colours come premultiplied; show them over white.
                const unsigned back = 255u - TIFFGetA(p);
                uint8_t* o = d + size_t(place.flipColumns ? width - 1 - x : x) * 3;
                o[0] = uint8_t(std::min(255u, TIFFGetB(p) + back));
                o[1] = uint8_t(std::min(255u, TIFFGetG(p) + back));
                o[2] = uint8_t(std::min(255u, TIFFGetR(p) + back));
            }
        }
        if (!progress.proceed(int32_t(top + rows)))
            return SPI_CANCELLED;
    }
    return good > 0 ? SPI_OK : SPI_BROKEN_DATA;
}

Kind chooseKind(TIFF* tif, const Layout& l) {
    const bool plain = l.sampleFormat == SAMPLEFORMAT_UINT &&
                       (l.samples == 1 || l.planar == PLANARCONFIG_CONTIG) && l.hasPhotometric;
    if (!plain)
        return Kind::Rgba;
    if (l.photometric == PHOTOMETRIC_PALETTE && l.samples == 1 &&
        (l.bits == 1 || l.bits == 2 || l.bits == 4 || l.bits == 8))
        return Kind::Palette;
    if ((l.photometric == PHOTOMETRIC_MINISBLACK || l.photometric == PHOTOMETRIC_MINISWHITE) &&
        l.samples == 1 &&
        (l.bits == 1 || l.bits == 2 || l.bits == 4 || l.bits == 8 || l.bits == 16))
        return Kind::Gray;
    if (l.photometric == PHOTOMETRIC_CIELAB && l.samples == 3 + l.extraSamples &&
        (l.bits == 8 || l.bits == 16))
        return Kind::Lab;
    if (l.samples == 3 && l.bits == 8 && l.extraSamples == 0) {
        if (l.photometric == PHOTOMETRIC_RGB)
            return Kind::Rgb;
        // libjpeg turns JPEG-compressed YCbCr into RGB for us.
        if (l.photometric == PHOTOMETRIC_YCBCR && l.compression == COMPRESSION_JPEG &&
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
            return Kind::Rgb;
    }
    return Kind::Rgba;
}

int32_t picture(const char* name,
                intptr_t offset,
                uint32_t flag,
                void** bitmapInfo,
                void** bits,
                SpiProgress callback,
                intptr_t user) {
    Tiff t;
    if (int32_t rc = t.open(name, offset, flag))
        return rc;
    const Layout l = readLayout(t.tif.get());
    if (int32_t rc = kordel::spi::checkSize(l.width, l.height, SPI_MAX_PHOTO_PIXELS))
        return rc;
    Dib dib;
    Progress progress(callback, user, int32_t(l.height));
    const Kind kind = chooseKind(t.tif.get(), l);
    const int32_t rc = kind == Kind::Rgba ? decodeRgba(t.tif.get(), l, dib, progress)
                                          : decodeDirect(t.tif.get(), l, kind, dib, progress);
    if (rc != SPI_OK)
        return rc;
    if (!progress.finish())
        return SPI_CANCELLED;
    return dib.release(bitmapInfo, bits);
}

const char* const kPluginInfo[] = {"00IN", "TIFF decoder (libtiff)", "*.tif;*.tiff", "TIFF"};

bool isSupported(const uint8_t* head) {
    return hasSignature(head);
}

int32_t pictureInfo(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info) {
    Tiff t;
    if (int32_t rc = t.open(name, offset, flag))
        return rc;
    const Layout l = readLayout(t.tif.get());
    if (l.width == 0 || l.height == 0 || l.width > uint32_t(INT32_MAX) ||
        l.height > uint32_t(INT32_MAX))
        return SPI_BROKEN_DATA;
    // What the picture call would refuse is refused here too, so that the host
    // never takes a size for a picture that cannot come (floating-point samples,
    // bit counts no reader knows).
    char message[1024];
    if (chooseKind(t.tif.get(), l) == Kind::Rgba && !TIFFRGBAImageOK(t.tif.get(), message))
        return SPI_UNKNOWN_FORMAT;
    kordel::spi::fillInfo(&info, int32_t(l.width), int32_t(l.height),
                          int16_t(std::min<int64_t>(int64_t(l.samples) * l.bits, 32767)));
    return SPI_OK;
}

}  // namespace

const kordel::spi::Decoder kordel::spi::kDecoder{kPluginInfo, int32_t(std::size(kPluginInfo)),
                                                 isSupported, pictureInfo, picture};
