// Decoder plug-in interface: the C entry points a picture decoder module exports.
//
// A plug-in is a shared library ("ifjpeg.spi" and its siblings) loaded by file
// name. It receives a UTF-8 path and hands back two malloc'ed blocks: a
// BITMAPINFO (header plus colour table) and the pixel rows in DIB layout. The
// host releases both with free().
#ifndef KORDEL_SPI_H
#define KORDEL_SPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define SPI_EXPORT __attribute__((visibility("default")))
#else
#define SPI_EXPORT
#endif

#pragma pack(push, 1)
typedef struct PictureInfo {
    int32_t left, top;  // not used by the host
    int32_t width, height;
    uint16_t x_density, y_density;  // pixel aspect
    int16_t colorDepth;             // bits per pixel
    void* hInfo;                    // text block or null; released by the host with free()
} PictureInfo;

// The 40-byte little-endian header at the start of the bitmap-info block.
typedef struct SpiBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;  // > 0: rows bottom-up; < 0: rows top-down
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} SpiBitmapInfoHeader;

typedef struct SpiRgbQuad {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
} SpiRgbQuad;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(PictureInfo) == 22 + sizeof(void*), "PictureInfo must stay packed");
static_assert(sizeof(SpiBitmapInfoHeader) == 40, "BITMAPINFOHEADER is 40 bytes");
#endif

// Results.
enum {
    SPI_OK = 0,
    SPI_CANCELLED = 1,  // the progress callback answered non-zero
    SPI_UNKNOWN_FORMAT = 2,
    SPI_BROKEN_DATA = 3,
    SPI_NO_MEMORY = 4,  // memory could not be allocated
    SPI_MEMORY_ERROR = 5,
    SPI_READ_ERROR = 6,
    SPI_RESERVED = 7,
    SPI_INTERNAL_ERROR = 8
};

// Progress: a non-zero answer cancels the decode, which then returns SPI_CANCELLED.
typedef int32_t (*SpiProgress)(int32_t done, int32_t total, intptr_t user);

typedef int32_t (*SpiGetPluginInfo)(int32_t infono, char* buf, int32_t buflen);
typedef int32_t (*SpiIsSupported)(const char* name, void* head);
typedef int32_t (*SpiGetPictureInfo)(const char* name,
                                     intptr_t offset,
                                     uint32_t flag,
                                     PictureInfo* info);
typedef int32_t (*SpiGetPicture)(const char* name,
                                 intptr_t offset,
                                 uint32_t flag,
                                 void** bitmapInfo,
                                 void** bits,
                                 SpiProgress progress,
                                 intptr_t user);

// Size of the block handed to IsSupported: the first 2 KiB of the file,
// zero-filled past its end.
#define SPI_HEAD_SIZE 2048

// Largest picture a plug-in agrees to decode: anything beyond answers SPI_NO_MEMORY.
#define SPI_MAX_DIMENSION 32767
#define SPI_MAX_PIXELS (64u * 1024u * 1024u) /* 256 MiB at 32 bits per pixel */
/* Photographs and scans (JPEG, TIFF) may be larger: phone cameras take 108 and
   200 megapixels. 768 MiB at 24 bits per pixel. */
#define SPI_MAX_PHOTO_PIXELS (256u * 1024u * 1024u)

#ifdef __cplusplus
}
#endif

#endif  // KORDEL_SPI_H
