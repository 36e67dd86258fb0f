#include "format_writers.h"

#include <gif_lib.h>
#include <tiffio.h>

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace kordel::test {

namespace {

// CMYK from RGB with the largest channel setting K.
void toCmyk(QRgb c, int out[4]) {
    const int r = qRed(c), g = qGreen(c), b = qBlue(c);
    const int mx = std::max({r, g, b});
    out[3] = 255 - mx;
    out[0] = mx ? 255 * (mx - r) / mx : 0;
    out[1] = mx ? 255 * (mx - g) / mx : 0;
    out[2] = mx ? 255 * (mx - b) / mx : 0;
}

int writeToArray(GifFileType* gif, const GifByteType* data, int len) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), len);
    return len;
}

// giflib wants tables of 2^n entries; the rest is black.
ColorMapObject* makeMap(const std::vector<QRgb>& colours) {
    if (colours.empty())
        return nullptr;
    int size = 2;
    while (size < int(colours.size()))
        size *= 2;
    std::vector<GifColorType> c(size_t(size), GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size(); ++i)
        c[i] = GifColorType{GifByteType(qRed(colours[i])), GifByteType(qGreen(colours[i])),
                            GifByteType(qBlue(colours[i]))};
    return GifMakeMapObject(size, c.data());
}

// One row of pixels packed as libtiff stores them (samples 0..n-1 of each pixel,
// or only `plane` for separate planes).
std::vector<uint8_t> packRow(const TiffLayout& t, int y, int plane = -1) {
    const int n = plane < 0 ? t.samples : 1;
    const size_t bits = size_t(t.width) * size_t(n) * size_t(t.bits);
    std::vector<uint8_t> row((bits + 7) / 8, 0);
    size_t pos = 0;
    for (int x = 0; x < t.width; ++x) {
        for (int s = 0; s < n; ++s) {
            const int v = t.sample(x, y, plane < 0 ? s : plane);
            if (t.bits == 32) {
                const uint32_t w = uint32_t(v);
                std::memcpy(row.data() + pos / 8, &w, 4);
            } else if (t.bits == 16) {
                const uint16_t w = uint16_t(v);
                std::memcpy(row.data() + pos / 8, &w, 2);
            } else if (t.bits == 8) {
                row[pos / 8] = uint8_t(v);
            } else {
                row[pos / 8] |= uint8_t(v << (8 - t.bits - int(pos % 8)));
            }
            pos += size_t(t.bits);
        }
    }
    return row;
}

bool writeTiffPage(TIFF* tif, const TiffLayout& t) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(t.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(t.height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(t.samples));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(t.bits));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, t.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, t.planar);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, t.orientation);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, t.compression);
    if (t.predictor)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, t.predictor);
    if (t.extra != 0xFFFF) {
        const uint16_t kind = t.extra;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &kind);
    }
    if (t.sampleFormat)
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, t.sampleFormat);
    if (t.photometric == PHOTOMETRIC_SEPARATED)
        TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    if (!t.colourMap.empty()) {
        const size_t n = size_t(1) << t.bits;
        TIFFSetField(tif, TIFFTAG_COLORMAP, t.colourMap.data(), t.colourMap.data() + n,
                     t.colourMap.data() + 2 * n);
    }
    if (t.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 92);
        if (t.photometric == PHOTOMETRIC_YCBCR)
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (!t.tiled) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(t.rowsPerStrip));
        const int planes = t.planar == PLANARCONFIG_SEPARATE ? t.samples : 1;
        for (int p = 0; p < planes; ++p) {
            for (int y = 0; y < t.height; ++y) {
                std::vector<uint8_t> row =
                    packRow(t, y, t.planar == PLANARCONFIG_SEPARATE ? p : -1);
                if (TIFFWriteScanline(tif, row.data(), uint32_t(y), uint16_t(p)) < 0)
                    return false;
            }
        }
        return TIFFWriteDirectory(tif) != 0;
    }
    const int tw = 16, th = 16;
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(tw));
    TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(th));
    const size_t tileRow = size_t(tw) * size_t(t.samples) * size_t(t.bits) / 8;
    for (int ty = 0; ty < t.height; ty += th) {
        for (int tx = 0; tx < t.width; tx += tw) {
            std::vector<uint8_t> tile(tileRow * th, 0);
            // Pixels past the picture repeat its edge, as JPEG encoders pad.
            for (int r = 0; r < th; ++r) {
                const std::vector<uint8_t> row = packRow(t, std::min(ty + r, t.height - 1));
                uint8_t* out = tile.data() + size_t(r) * tileRow;
                if (t.bits % 8 == 0) {
                    const size_t px = size_t(t.samples) * size_t(t.bits) / 8;
                    for (int c = 0; c < tw; ++c)
                        std::memcpy(out + size_t(c) * px,
                                    row.data() + size_t(std::min(tx + c, t.width - 1)) * px, px);
                } else {
                    const size_t from = size_t(tx) * size_t(t.samples) * size_t(t.bits) / 8;
                    std::memcpy(out, row.data() + from, std::min(tileRow, row.size() - from));
                }
            }
            if (TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, uint32_t(tx), uint32_t(ty), 0, 0),
                                     tile.data(), tmsize_t(tile.size())) < 0)
                return false;
        }
    }
    return TIFFWriteDirectory(tif) != 0;
}

void put32(QByteArray& d, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        d[at + i] = char(v >> (8 * i));
}

}  // namespace

QByteArray encodeJpeg(int w, int h, const std::function<QRgb(int, int)>& px, const JpegOptions& o) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = o.gray ? 1 : o.cmyk ? 4 : 3;
    c.in_color_space = o.gray ? JCS_GRAYSCALE : o.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (o.ycck)
        jpeg_set_colorspace(&c, JCS_YCCK);
    if (o.cmyk && !o.adobe)
        c.write_Adobe_marker = FALSE;
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.fullChroma)
        c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
    if (o.progressive)
        jpeg_simple_progression(&c);
    c.restart_in_rows = o.restartRows;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * size_t(c.input_components));
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            const QRgb p = px(x, y);
            JSAMPLE* s = row.data() + size_t(x) * size_t(c.input_components);
            if (o.gray) {
                s[0] = JSAMPLE(qGray(p));
            } else if (o.cmyk) {
                int k[4];
                toCmyk(p, k);
                for (int i = 0; i < 4; ++i)
                    s[i] = JSAMPLE(o.adobe ? 255 - k[i] : k[i]);
            } else {
                s[0] = JSAMPLE(qRed(p));
                s[1] = JSAMPLE(qGreen(p));
                s[2] = JSAMPLE(qBlue(p));
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray data(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return data;
}

QByteArray encodeGif(const GifLayout& layout) {
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, writeToArray, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = makeMap(layout.global);
    EGifPutScreenDesc(gif, layout.width, layout.height, 8, layout.background, global);
    GifFreeMapObject(global);
    for (const GifFrame& f : layout.frames) {
        if (f.transparent >= 0) {
            GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 10, f.transparent};
            GifByteType ext[4];
            EGifGCBToExtension(&gcb, ext);
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext);
        }
        ColorMapObject* local = makeMap(f.local);
        EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local);
        GifFreeMapObject(local);
        static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < (f.interlaced ? 4 : 1); ++pass) {
            for (int y = f.interlaced ? kStart[pass] : 0; y < f.height;
                 y += f.interlaced ? kStep[pass] : 1) {
                std::vector<GifPixelType> row(f.pixels.begin() + y * f.width,
                                              f.pixels.begin() + (y + 1) * f.width);
                EGifPutLine(gif, row.data(), f.width);
            }
        }
    }
    EGifCloseFile(gif, &error);
    return out;
}

bool writeTiff(const QString& path, const std::vector<TiffLayout>& pages) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    bool ok = true;
    for (const TiffLayout& t : pages)
        ok = ok && writeTiffPage(tif, t);
    TIFFClose(tif);
    return ok;
}

QByteArray tiffDirectoryFirst(const QString& path) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    uint32_t w = 0, h = 0, rps = 0;
    uint16_t compression = 1, predictor = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rps);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PREDICTOR, &predictor);
    std::vector<QByteArray> strips;
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        QByteArray raw(int(TIFFRawStripSize(tif, s)), '\0');
        TIFFReadRawStrip(tif, s, raw.data(), raw.size());
        strips.push_back(raw);
    }
    TIFFClose(tif);

    const int n = int(strips.size());
    const int entries = 11;
    const int ifd = 8, ifdSize = 2 + entries * 12 + 4;
    const int bpsAt = ifd + ifdSize, offsetsAt = bpsAt + 6, countsAt = offsetsAt + 4 * n;
    int dataAt = countsAt + 4 * n;
    QByteArray d(dataAt, '\0');
    d[0] = 'I';
    d[1] = 'I';
    d[2] = 42;
    put32(d, 4, uint32_t(ifd));
    d[ifd] = char(entries);
    int e = ifd + 2;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        d[e] = char(tag);
        d[e + 1] = char(tag >> 8);
        d[e + 2] = char(type);
        d[e + 4] = char(count);
        d[e + 5] = char(count >> 8);
        put32(d, e + 8, value);
        e += 12;
    };
    entry(TIFFTAG_IMAGEWIDTH, TIFF_LONG, 1, w);
    entry(TIFFTAG_IMAGELENGTH, TIFF_LONG, 1, h);
    entry(TIFFTAG_BITSPERSAMPLE, TIFF_SHORT, 3, uint32_t(bpsAt));
    entry(TIFFTAG_COMPRESSION, TIFF_SHORT, 1, compression);
    entry(TIFFTAG_PHOTOMETRIC, TIFF_SHORT, 1, PHOTOMETRIC_RGB);
    entry(TIFFTAG_STRIPOFFSETS, TIFF_LONG, uint32_t(n), uint32_t(offsetsAt));
    entry(TIFFTAG_SAMPLESPERPIXEL, TIFF_SHORT, 1, 3);
    entry(TIFFTAG_ROWSPERSTRIP, TIFF_LONG, 1, rps);
    entry(TIFFTAG_STRIPBYTECOUNTS, TIFF_LONG, uint32_t(n), uint32_t(countsAt));
    entry(TIFFTAG_PLANARCONFIG, TIFF_SHORT, 1, PLANARCONFIG_CONTIG);
    entry(TIFFTAG_PREDICTOR, TIFF_SHORT, 1, predictor);
    for (int i = 0; i < 3; ++i)
        d[bpsAt + 2 * i] = 8;
    for (int s = 0; s < n; ++s) {
        put32(d, offsetsAt + 4 * s, uint32_t(dataAt));
        put32(d, countsAt + 4 * s, uint32_t(strips[size_t(s)].size()));
        d.append(strips[size_t(s)]);
        dataAt += int(strips[size_t(s)].size());
    }
    return d;
}

}  // namespace kordel::test
