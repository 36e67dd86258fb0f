// GIF decoder plug-in over giflib.
//
// Shows the first frame on its logical screen: the picture is the screen size and
// the frame sits at its offset. When the frame does not fit the screen (some
// encoders write a screen of 0 × 0 or one smaller than the frame) the picture is
// widened to hold the whole frame, so nothing is cut off.
//
// Everything that the frame does not cover, its transparent pixels, pixels whose
// index is past the colour table and rows lost in a damaged file show the
// background: the global table's entry for the screen's background index, or
// white when there is no global table (the index then refers to nothing).
// The result is an 8-bit DIB whose colour table is the frame's table; the
// background takes the transparent index's entry, a new entry after the table,
// or, in a full table without transparency, the closest colour.
#include <gif_lib.h>

#include <algorithm>
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
using kordel::spi::FilePtr;
using kordel::spi::Progress;

struct GifCloser {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};
using GifPtr = std::unique_ptr<GifFileType, GifCloser>;

int readFile(GifFileType* gif, GifByteType* buf, int len) {
    if (len <= 0)
        return 0;
    return int(std::fread(buf, 1, size_t(len), static_cast<std::FILE*>(gif->UserData)));
}

bool hasSignature(const uint8_t* p) {
    return std::memcmp(p, "GIF87a", 6) == 0 || std::memcmp(p, "GIF89a", 6) == 0;
}

int32_t openFile(const char* name, intptr_t offset, uint32_t flag, FilePtr& file) {
    if (int32_t rc = kordel::spi::openInput(name, offset, flag, file))
        return rc;
    return kordel::spi::checkSignature(file.get(), 6, hasSignature);
}

int32_t gifResult(int error) {
    return error == D_GIF_ERR_NOT_ENOUGH_MEM ? SPI_NO_MEMORY : SPI_BROKEN_DATA;
}

// The file opened up to the first frame's pixel data.
struct FirstFrame {
    GifPtr gif;
    int transparent = NO_TRANSPARENT_COLOR;
    int left = 0, top = 0, width = 0, height = 0;
    int canvasWidth = 0, canvasHeight = 0;
    const ColorMapObject* colours = nullptr;  // null: the file has no table at all
};

int32_t openFirstFrame(std::FILE* file, FirstFrame& f) {
    int error = 0;
    f.gif.reset(DGifOpen(file, readFile, &error));
    if (!f.gif)
        return gifResult(error);
    GifFileType* gif = f.gif.get();
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK)
            return gifResult(gif->Error);
        if (type == IMAGE_DESC_RECORD_TYPE)
            break;
        if (type == TERMINATE_RECORD_TYPE)
            return SPI_BROKEN_DATA;  // no picture in it
        if (type != EXTENSION_RECORD_TYPE)
            return SPI_BROKEN_DATA;
        int code = 0;
        GifByteType* ext = nullptr;
        if (DGifGetExtension(gif, &code, &ext) != GIF_OK)
            return gifResult(gif->Error);
        // The last graphic control block before the frame applies to it.
        if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
            GraphicsControlBlock gcb;
            if (DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK)
                f.transparent = gcb.TransparentColor;
        }
        while (ext) {
            if (DGifGetExtensionNext(gif, &ext) != GIF_OK)
                return gifResult(gif->Error);
        }
    }
    if (DGifGetImageDesc(gif) != GIF_OK)
        return gifResult(gif->Error);
    f.left = gif->Image.Left;
    f.top = gif->Image.Top;
    f.width = gif->Image.Width;
    f.height = gif->Image.Height;
    f.canvasWidth = std::max(int(gif->SWidth), f.left + f.width);
    f.canvasHeight = std::max(int(gif->SHeight), f.top + f.height);
    f.colours = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (f.colours &&
        (f.colours->ColorCount < 1 || f.colours->ColorCount > 256 || !f.colours->Colors))
        return SPI_BROKEN_DATA;
    return SPI_OK;
}

int16_t colourDepth(const FirstFrame& f) {
    return f.colours ? int16_t(f.colours->BitsPerPixel) : 8;
}

// Decodes the frame's rows into `pixels` (width × height, top-down). Returns the
// number of rows decoded, -1 when cancelled. Rows lost to damage are marked in `done`.
int decodeFrame(FirstFrame& f,
                std::vector<uint8_t>& pixels,
                std::vector<bool>& done,
                Progress& progress) {
    GifFileType* gif = f.gif.get();
    static const int kStart[] = {0, 4, 2, 1};
    static const int kStep[] = {8, 8, 4, 2};
    const bool interlaced = gif->Image.Interlace;
    const int passes = interlaced ? 4 : 1;
    int decoded = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = interlaced ? kStart[pass] : 0;
        const int step = interlaced ? kStep[pass] : 1;
        for (int y = start; y < f.height; y += step) {
            if (DGifGetLine(gif, pixels.data() + size_t(y) * size_t(f.width), f.width) != GIF_OK)
                return decoded;
            done[size_t(y)] = true;
            ++decoded;
            if (!progress.proceed(decoded))
                return -1;
        }
    }
    return decoded;
}

int32_t picture(const char* name,
                intptr_t offset,
                uint32_t flag,
                void** bitmapInfo,
                void** bits,
                SpiProgress callback,
                intptr_t user) {
    FilePtr file;
    if (int32_t rc = openFile(name, offset, flag, file))
        return rc;
    FirstFrame f;
    if (int32_t rc = openFirstFrame(file.get(), f))
        return rc;
    if (int32_t rc = kordel::spi::checkSize(f.canvasWidth, f.canvasHeight))
        return rc;

    std::vector<uint8_t> pixels(size_t(f.width) * size_t(f.height));
    std::vector<bool> done(size_t(f.height), false);
    Progress progress(callback, user, f.height);
    if (f.width > 0 && f.height > 0) {
        const int decoded = decodeFrame(f, pixels, done, progress);
        if (decoded < 0)
            return SPI_CANCELLED;
        if (decoded == 0)
            return SPI_BROKEN_DATA;
    }

    // The frame's colour table; without any table, a gray ramp.
    int count = f.colours ? f.colours->ColorCount : 256;
    std::vector<GifColorType> table(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (f.colours)
            table[size_t(i)] = f.colours->Colors[i];
        else
            table[size_t(i)] = GifColorType{GifByteType(i), GifByteType(i), GifByteType(i)};
    }

    // Is the background shown anywhere?
    const int transparent = f.transparent;
    bool needsBackground =
        f.left > 0 || f.top > 0 || f.width < f.canvasWidth || f.height < f.canvasHeight;
    for (int y = 0; y < f.height && !needsBackground; ++y) {
        if (!done[size_t(y)]) {
            needsBackground = true;
            break;
        }
        const uint8_t* row = pixels.data() + size_t(y) * size_t(f.width);
        for (int x = 0; x < f.width; ++x) {
            if (row[x] >= count || row[x] == transparent) {
                needsBackground = true;
                break;
            }
        }
    }

    GifColorType background{255, 255, 255};
    const ColorMapObject* global = f.gif->SColorMap;
    if (global && global->Colors && f.gif->SBackGroundColor < global->ColorCount)
        background = global->Colors[f.gif->SBackGroundColor];
    int backgroundIndex = -1;
    if (needsBackground) {
        if (transparent >= 0 && transparent < count) {
            backgroundIndex = transparent;
            table[size_t(transparent)] = background;
        } else if (count < 256) {
            backgroundIndex = count++;
            table.push_back(background);
        } else {
            long best = -1;
            for (int i = 0; i < count; ++i) {
                const long dr = long(table[size_t(i)].Red) - background.Red;
                const long dg = long(table[size_t(i)].Green) - background.Green;
                const long db = long(table[size_t(i)].Blue) - background.Blue;
                const long d = dr * dr + dg * dg + db * db;
                if (best < 0 || d < best) {
                    best = d;
                    backgroundIndex = i;
                }
            }
        }
    }

    Dib dib;
    if (int32_t rc = dib.create(f.canvasWidth, f.canvasHeight, 8, count))
        return rc;
    for (int i = 0; i < count; ++i)
        dib.setColour(i, table[size_t(i)].Red, table[size_t(i)].Green, table[size_t(i)].Blue);
    for (int y = 0; y < f.canvasHeight; ++y) {
        uint8_t* d = dib.row(y);
        if (needsBackground)
            std::memset(d, backgroundIndex, size_t(f.canvasWidth));
        const int fy = y - f.top;
        if (fy < 0 || fy >= f.height || !done[size_t(fy)])
            continue;
        const uint8_t* s = pixels.data() + size_t(fy) * size_t(f.width);
        uint8_t* out = d + f.left;
        for (int x = 0; x < f.width; ++x) {
            const uint8_t v = s[x];
            out[x] = (v >= count || v == transparent) ? uint8_t(backgroundIndex) : v;
        }
    }
    if (!progress.finish())
        return SPI_CANCELLED;
    return dib.release(bitmapInfo, bits);
}

const char* const kPluginInfo[] = {"00IN", "GIF decoder (giflib)", "*.gif", "GIF"};

bool isSupported(const uint8_t* head) {
    return hasSignature(head);
}

int32_t pictureInfo(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info) {
    FilePtr file;
    if (int32_t rc = openFile(name, offset, flag, file))
        return rc;
    FirstFrame f;
    if (int32_t rc = openFirstFrame(file.get(), f))
        return rc;
    if (f.canvasWidth <= 0 || f.canvasHeight <= 0)
        return SPI_BROKEN_DATA;
    kordel::spi::fillInfo(&info, f.canvasWidth, f.canvasHeight, colourDepth(f));
    return SPI_OK;
}

}  // namespace

const kordel::spi::Decoder kordel::spi::kDecoder{kPluginInfo, int32_t(std::size(kPluginInfo)),
                                                 isSupported, pictureInfo, picture};
