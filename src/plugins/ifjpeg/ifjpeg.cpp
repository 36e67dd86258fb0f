// JPEG decoder plug-in over libjpeg-turbo.
//
// Baseline, progressive, grayscale, colour and CMYK/YCCK files. The full picture is
// decoded straight into the DIB rows (BGR output); the preview uses the DCT scaler
// at 1/4, which gives the quarter size rounded up.
//
// Damaged files: libjpeg's fatal errors come back here through longjmp. The file
// is read through our own source, which notes where the data ran out. A picture
// is delivered when at least one full band of rows (the first iMCU row of the
// first scan) was read before the data ended or a fatal error stopped the
// decoder; what is missing stays mid-gray. Otherwise the answer is
// SPI_BROKEN_DATA.
//
// A multi-scan (progressive) file is read whole before the first row comes out,
// so a fatal error between its scans (typically a file cut inside the tables of
// the next scan) would lose the scans already read. Such a file is decoded once
// more with its data ending where the last complete band of entropy-coded data
// ended, which shows every scan read up to there.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <optional>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "spi.h"
#include "spi_common.h"

namespace {

using kordel::spi::Dib;
using kordel::spi::Progress;

constexpr size_t kInputChunk = 64 * 1024;
// Rows handed to jpeg_read_scanlines at once.
constexpr int kRowBatch = 16;
// A progressive file may carry any number of scans; past this many it is taken
// for a hostile one rather than spending minutes on it.
constexpr int kMaxScans = 1000;
// Working memory libjpeg may take (coefficient buffers of progressive files).
constexpr long kMemoryLimit = 1024L * 1024L * 1024L;
// Value of the rows that could not be decoded: libjpeg's own fill is mid-gray too.
constexpr uint8_t kMissingRow = 0x80;

enum class Mode { Info, Picture, Preview };

// Internal answer of a first attempt that asks for a second one, on shorter data.
constexpr int32_t kRetryShorter = -1;

struct Job;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

struct Source {
    jpeg_source_mgr pub;
    Job* job;
};

struct Job {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    Source src;
    jpeg_progress_mgr monitor;
    kordel::spi::FilePtr file;
    JOCTET* buffer = nullptr;
    int64_t limit = -1;     // bytes of data the source hands out (-1: all)
    int64_t delivered = 0;  // bytes handed out so far
    int64_t safeEnd = -1;   // end of the data of the last band read, when usable
    bool created = false;
    bool reachedEnd = false;   // the data ran out before the decoder was done
    bool usableAtEnd = false;  // ... after at least one full band of rows
    bool readFailed = false;
    bool tooManyScans = false;
    bool outputStarted = false;
    bool cmyk = false;
    bool adobe = false;
    Dib dib;
    JSAMPLE* cmykRows = nullptr;
    JSAMPROW rows[kRowBatch];
    std::optional<Progress> progress;
    SpiProgress callback = nullptr;
    intptr_t user = 0;
    void** bitmapInfo = nullptr;
    void** bits = nullptr;

    ~Job() {
        if (created)
            jpeg_destroy_decompress(&cinfo);
        std::free(cmykRows);
        std::free(buffer);
    }

    int32_t open(const char* name, intptr_t offset, uint32_t flag);
    int32_t run(Mode mode, PictureInfo* info);
    int32_t failed();
    int32_t deliver();
    void convertCmyk(int firstRow, int count);
};

Job* jobOf(j_decompress_ptr cinfo) {
    return reinterpret_cast<Source*>(cinfo->src)->job;
}

[[noreturn]] void errorExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings about damaged data are expected here and must not reach stderr.
void silentMessage(j_common_ptr) {}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo) {
    Job* job = jobOf(cinfo);
    size_t want = kInputChunk;
    if (job->limit >= 0)
        want = size_t(std::clamp<int64_t>(job->limit - job->delivered, 0, int64_t(kInputChunk)));
    size_t n = job->reachedEnd || want == 0 ? 0 : std::fread(job->buffer, 1, want, job->file.get());
    job->delivered += int64_t(n);
    if (n == 0) {
        if (!job->reachedEnd) {
            job->reachedEnd = true;
            job->readFailed = std::ferror(job->file.get()) != 0;
            job->usableAtEnd = cinfo->input_scan_number > 1 || cinfo->input_iMCU_row > 0;
        }
        // As libjpeg's own sources do: end the data with a fake EOI, so the decoder
        // fills what is missing instead of failing.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        job->buffer[0] = 0xFF;
        job->buffer[1] = JPEG_EOI;
        n = 2;
    }
    cinfo->src->next_input_byte = job->buffer;
    cinfo->src->bytes_in_buffer = n;
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    while (count > long(src->bytes_in_buffer)) {
        count -= long(src->bytes_in_buffer);
        fillInput(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= size_t(count);
}

// Called before each band of a multi-scan file is read.
void monitorScans(j_common_ptr common) {
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    Job* job = jobOf(cinfo);
    if (cinfo->input_scan_number > kMaxScans) {
        job->tooManyScans = true;
        errorExit(common);
    }
    if (job->reachedEnd || !(cinfo->input_scan_number > 1 || cinfo->input_iMCU_row > 0))
        return;
    // Here the reader stands at the end of a band of entropy-coded data, or just
    // past the marker that ended it.
    const jpeg_source_mgr* src = cinfo->src;
    int64_t end = job->delivered - int64_t(src->bytes_in_buffer);
    const ptrdiff_t inBuffer = src->next_input_byte - job->buffer;
    if (inBuffer >= 2) {
        const JOCTET* p = src->next_input_byte;
        if (p[-2] == 0xFF && p[-1] != 0 && (p[-1] < JPEG_RST0 || p[-1] > JPEG_RST0 + 7))
            end -= 2;
    }
    job->safeEnd = end;
}

int32_t Job::open(const char* name, intptr_t offset, uint32_t flag) {
    if (int32_t rc = kordel::spi::openInput(name, offset, flag, file))
        return rc;
    buffer = static_cast<JOCTET*>(std::malloc(kInputChunk));
    if (!buffer)
        return SPI_NO_MEMORY;
    // Every JPEG starts with SOI and another marker.
    size_t want = kInputChunk;
    if (limit >= 0)
        want = size_t(std::min<int64_t>(limit, int64_t(kInputChunk)));
    const size_t n = std::fread(buffer, 1, want, file.get());
    delivered = int64_t(n);
    if (n < 3 || buffer[0] != 0xFF || buffer[1] != 0xD8 || buffer[2] != 0xFF)
        return std::ferror(file.get()) ? SPI_READ_ERROR : SPI_UNKNOWN_FORMAT;
    src.pub.next_input_byte = buffer;
    src.pub.bytes_in_buffer = n;
    src.pub.init_source = initSource;
    src.pub.fill_input_buffer = fillInput;
    src.pub.skip_input_data = skipInput;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = termSource;
    src.job = this;
    return SPI_OK;
}

int32_t errorResult(int code) {
    switch (code) {
        case JERR_OUT_OF_MEMORY:
        case JERR_NO_BACKING_STORE:
        case JERR_IMAGE_TOO_BIG:
        case JERR_WIDTH_OVERFLOW:
            return SPI_NO_MEMORY;
        // Sound files that this build of libjpeg cannot decode (12-bit samples, odd
        // colour spaces).
        case JERR_BAD_PRECISION:
        case JERR_CONVERSION_NOTIMPL:
            return SPI_UNKNOWN_FORMAT;
        default:
            return SPI_BROKEN_DATA;
    }
}

// Everything the decoder writes lives in the job, and no object with a destructor
// is created after setjmp, so the jump back skips nothing.
int32_t Job::run(Mode mode, PictureInfo* info) {
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.output_message = silentMessage;
    if (setjmp(err.jump))
        return failed();

    jpeg_create_decompress(&cinfo);
    created = true;
    cinfo.mem->max_memory_to_use = kMemoryLimit;
    cinfo.src = &src.pub;
    monitor.progress_monitor = monitorScans;
    cinfo.progress = &monitor;
    jpeg_read_header(&cinfo, TRUE);

    if (mode == Mode::Info) {
        kordel::spi::fillInfo(info, int32_t(cinfo.image_width), int32_t(cinfo.image_height),
                              int16_t(cinfo.num_components * 8));
        return SPI_OK;
    }

    const bool gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // Adobe applications write CMYK inverted and mark it with their APP14 segment.
    adobe = cinfo.saw_Adobe_marker;
    cinfo.out_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGR;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    if (mode == Mode::Preview) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = 4;
    }
    jpeg_calc_output_dimensions(&cinfo);
    // What is allocated is the output: a photograph too large to show whole still has
    // its quarter-size preview.
    if (int32_t rc =
            kordel::spi::checkSize(cinfo.output_width, cinfo.output_height, SPI_MAX_PHOTO_PIXELS))
        return rc;
    const int width = int(cinfo.output_width);
    const int height = int(cinfo.output_height);
    if (int32_t rc = dib.create(width, height, gray ? 8 : 24, gray ? 256 : 0, SPI_MAX_PHOTO_PIXELS))
        return rc;
    if (gray) {
        for (int i = 0; i < 256; ++i)
            dib.setColour(i, uint8_t(i), uint8_t(i), uint8_t(i));
    }
    progress.emplace(callback, user, int32_t(height));
    if (cmyk) {
        cmykRows = static_cast<JSAMPLE*>(std::malloc(size_t(width) * 4 * kRowBatch));
        if (!cmykRows)
            return SPI_NO_MEMORY;
    }

    jpeg_start_decompress(&cinfo);
    outputStarted = true;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        const int count = std::min(kRowBatch, height - y);
        for (int i = 0; i < count; ++i)
            rows[i] = cmyk ? cmykRows + size_t(i) * size_t(width) * 4 : dib.row(y + i);
        const int got = int(jpeg_read_scanlines(&cinfo, rows, JDIMENSION(count)));
        if (cmyk)
            convertCmyk(y, got);
        if (!progress->proceed(int32_t(cinfo.output_scanline)))
            return SPI_CANCELLED;
    }
    // The rest of the file (markers after the last scan) is not needed.
    jpeg_abort_decompress(&cinfo);
    return deliver();
}

int32_t Job::failed() {
    if (tooManyScans)
        return SPI_BROKEN_DATA;
    if (!outputStarted) {
        const int32_t rc = errorResult(err.pub.msg_code);
        if (rc == SPI_BROKEN_DATA && limit < 0 && safeEnd > 0)
            return kRetryShorter;
        return rc;
    }
    const int done = int(cinfo.output_scanline);
    if (done == 0)
        return SPI_BROKEN_DATA;
    const size_t bytes = size_t(dib.width()) * (dib.colourCount() ? 1 : 3);
    for (int y = done; y < dib.height(); ++y)
        std::memset(dib.row(y), kMissingRow, bytes);
    return deliver();
}

int32_t Job::deliver() {
    if (reachedEnd && !usableAtEnd)
        return readFailed ? SPI_READ_ERROR : SPI_BROKEN_DATA;
    if (!progress->finish())
        return SPI_CANCELLED;
    return dib.release(bitmapInfo, bits);
}

inline uint8_t mul255(unsigned a, unsigned b) {
    const unsigned t = a * b + 128;
    return uint8_t((t + (t >> 8)) >> 8);
}

void Job::convertCmyk(int firstRow, int count) {
    const int width = dib.width();
    for (int i = 0; i < count; ++i) {
        const JSAMPLE* s = rows[i];
        uint8_t* d = dib.row(firstRow + i);
        if (adobe) {
            for (int x = 0; x < width; ++x, s += 4, d += 3) {
                d[0] = mul255(s[2], s[3]);
                d[1] = mul255(s[1], s[3]);
                d[2] = mul255(s[0], s[3]);
            }
        } else {
            for (int x = 0; x < width; ++x, s += 4, d += 3) {
                const unsigned k = 255u - s[3];
                d[0] = mul255(255u - s[2], k);
                d[1] = mul255(255u - s[1], k);
                d[2] = mul255(255u - s[0], k);
            }
        }
    }
}

int32_t decode(const char* name,
               intptr_t offset,
               uint32_t flag,
               Mode mode,
               PictureInfo* info,
               void** bitmapInfo,
               void** bits,
               SpiProgress callback,
               intptr_t user) {
    // A multi-scan file that fails between its scans is decoded once more, cut
    // where its last complete band of data ended (see the top of this file).
    int64_t limit = -1;
    for (;;) {
        auto job = std::make_unique<Job>();
        job->limit = limit;
        if (int32_t rc = job->open(name, offset, flag))
            return rc;
        job->bitmapInfo = bitmapInfo;
        job->bits = bits;
        job->callback = callback;
        job->user = user;
        const int32_t rc = job->run(mode, info);
        if (rc != kRetryShorter)
            return rc;
        limit = job->safeEnd;
    }
}

const char* const kPluginInfo[] = {"00IN", "JPEG decoder (libjpeg-turbo)", "*.jpg;*.jpe;*.jpeg",
                                   "JPEG"};

bool isSupported(const uint8_t* head) {
    return head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

int32_t pictureInfo(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info) {
    return decode(name, offset, flag, Mode::Info, &info, nullptr, nullptr, nullptr, 0);
}

int32_t picture(const char* name,
                intptr_t offset,
                uint32_t flag,
                void** bitmapInfo,
                void** bits,
                SpiProgress progress,
                intptr_t user) {
    return decode(name, offset, flag, Mode::Picture, nullptr, bitmapInfo, bits, progress, user);
}

// The DCT scaler gives the quarter size at a fraction of the work.
int32_t preview(const char* name,
                intptr_t offset,
                uint32_t flag,
                void** bitmapInfo,
                void** bits,
                SpiProgress progress,
                intptr_t user) {
    return decode(name, offset, flag, Mode::Preview, nullptr, bitmapInfo, bits, progress, user);
}

}  // namespace

const kordel::spi::Decoder kordel::spi::kDecoder{
    kPluginInfo, int32_t(std::size(kPluginInfo)), isSupported, pictureInfo, picture, preview};
