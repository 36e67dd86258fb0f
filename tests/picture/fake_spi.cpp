// A decoder plug-in whose answers are scripted by the file it is asked about,
// for the cases the real plug-ins cannot produce on demand. Every call is
// appended to the file named by FAKESPI_LOG when that is set.
//
// Built three times: complete, without GetPreview (FAKESPI_NO_PREVIEW) and
// without GetPicture (FAKESPI_NO_PICTURE).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fake_spi_script.h"
#include "spi.h"

using kordel::test::FakeScript;

namespace {

// Logs the call, one line each: i (GetPictureInfo), p (GetPicture) or v (GetPreview), the
// offset, "+" when a progress callback came along, and the length of the name. Then reads
// the script (the file is opened by the whole name the host passed) and gives the result
// it asks for.
int32_t answer(char entry, const char* name, intptr_t offset, bool callback, FakeScript& s) {
    const char* log = std::getenv("FAKESPI_LOG");
    if (FILE* f = log && *log ? std::fopen(log, "a") : nullptr) {
        std::fprintf(f, "%c%ld%s %zu\n", entry, long(offset), callback ? "+" : "",
                     name ? std::strlen(name) : size_t(0));
        std::fclose(f);
    }
    FILE* f = name ? std::fopen(name, "rb") : nullptr;
    if (!f)
        return SPI_READ_ERROR;
    char buf[4096];
    s = kordel::test::parseFakeScript(std::string(buf, std::fread(buf, 1, sizeof buf, f)));
    std::fclose(f);
    if (!s.valid || (offset != 0 && offset != 128))
        return SPI_UNKNOWN_FORMAT;
    return entry == 'i' ? (offset ? s.info128 : s.info0) : (offset ? s.pic128 : s.pic0);
}

// A little-endian field of `bits` bits.
void put(uint8_t* p, uint32_t v, int bits = 32) {
    kordel::test::putDot(p, 0, bits, v);
}

int32_t deliver(const FakeScript& s,
                bool preview,
                void** bitmapInfo,
                void** bits,
                SpiProgress progress,
                intptr_t user) {
    for (const auto& [done, total] : s.progress)
        if (progress && progress(done, total, user) != 0)
            return SPI_CANCELLED;
    if (s.nullBlocks)
        return SPI_OK;
    const int w = preview ? (s.w + 3) / 4 : s.w;
    const int h = preview ? (s.h + 3) / 4 : s.h;
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096 || s.hdr < 40 || s.hdr > 256)
        return SPI_BROKEN_DATA;
    const int entries = s.tableEntries();
    const bool fields = s.bits == 16 || s.bits == 32;
    const size_t infoSize = size_t(s.hdr) + size_t(entries) * 4 + (fields ? 12 : 0);
    auto* info = static_cast<uint8_t*>(std::calloc(1, infoSize));
    const size_t stride = ((size_t(w) * size_t(s.bits) + 31) / 32) * 4;
    auto* rows = static_cast<uint8_t*>(std::calloc(1, stride * size_t(h)));
    if (!info || !rows) {
        std::free(info);
        std::free(rows);
        return SPI_NO_MEMORY;
    }
    put(info, uint32_t(s.hdr));
    put(info + 4, uint32_t(w));
    put(info + 8, uint32_t(s.topDown ? -h : h));
    put(info + 12, 1, 16);
    put(info + 14, uint16_t(s.bits), 16);
    // 16 and 32 bits come as bit fields, with the masks at byte 40 as in every header version.
    put(info + 16, fields ? 3 : 0);
    put(info + 32, uint32_t(s.clrUsed));
    const uint32_t masks[2][3] = {{0x7c00, 0x03e0, 0x001f}, {0xff0000, 0x00ff00, 0x0000ff}};
    for (int i = 0; fields && i < 3; ++i)
        put(info + 40 + 4 * i, masks[s.bits == 32][i]);
    uint8_t* table = info + s.hdr + (fields && s.hdr == 40 ? 12 : 0);
    for (int i = 0; i < entries; ++i) {
        uint8_t r, g, b;
        kordel::test::fakeTableColour(i, r, g, b);
        kordel::test::putDot(table, i, 32, uint32_t(r) << 16 | uint32_t(g) << 8 | b);
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* row = rows + stride * size_t(s.topDown ? y : h - 1 - y);
        for (int x = 0; x < w; ++x) {
            uint8_t r, g, b;
            kordel::test::fakeTrueColour(x, y, r, g, b);
            // Other depths (an unusable one) are written as they come: the host must refuse them.
            kordel::test::putDot(row, x, s.bits,
                                 s.bits <= 8 ? uint32_t(kordel::test::fakeIndex(s, x, y))
                                 : s.bits == 16
                                     ? uint32_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))
                                     : uint32_t(r) << 16 | uint32_t(g) << 8 | b);
        }
    }
    *bitmapInfo = info;
    *bits = rows;
    return SPI_OK;
}

int32_t picture(char entry,
                const char* name,
                intptr_t offset,
                void** bitmapInfo,
                void** bits,
                SpiProgress progress,
                intptr_t user) {
    FakeScript s;
    const int32_t rc = answer(entry, name, offset, progress != nullptr, s);
    if (rc != SPI_OK || !bitmapInfo || !bits)
        return rc != SPI_OK ? rc : SPI_UNKNOWN_FORMAT;
    return deliver(s, entry == 'v', bitmapInfo, bits, progress, user);
}

}  // namespace

extern "C" {

SPI_EXPORT int32_t GetPictureInfo(const char* name,
                                  intptr_t offset,
                                  uint32_t /*flag*/,
                                  PictureInfo* info) {
    FakeScript s;
    const int32_t rc = answer('i', name, offset, false, s);
    if (rc != SPI_OK || !info)
        return rc != SPI_OK ? rc : SPI_UNKNOWN_FORMAT;
    std::memset(info, 0, sizeof *info);
    info->width = s.infoWidth();
    info->height = s.infoHeight();
    info->x_density = uint16_t(s.dx);
    info->y_density = uint16_t(s.dy);
    info->colorDepth = int16_t(s.infoDepth());
    if (s.hInfo) {
        info->hInfo = std::malloc(16);
        if (info->hInfo)
            std::memcpy(info->hInfo, "fake comment", 13);
    }
    return SPI_OK;
}

#ifndef FAKESPI_NO_PICTURE
SPI_EXPORT int32_t GetPicture(const char* name,
                              intptr_t offset,
                              uint32_t /*flag*/,
                              void** bitmapInfo,
                              void** bits,
                              SpiProgress progress,
                              intptr_t user) {
    return picture('p', name, offset, bitmapInfo, bits, progress, user);
}
#endif

#ifndef FAKESPI_NO_PREVIEW
SPI_EXPORT int32_t GetPreview(const char* name,
                              intptr_t offset,
                              uint32_t /*flag*/,
                              void** bitmapInfo,
                              void** bits,
                              SpiProgress progress,
                              intptr_t user) {
    return picture('v', name, offset, bitmapInfo, bits, progress, user);
}
#endif

}  // extern "C"
