// XLD4 (.Q4) decoder plug-in: 640 x 400 pictures in 16 colours, delivered as an
// 8-bit DIB with a colour table of 16 entries.
//
// After a 16-byte header come blocks, each an LZW code stream over the symbols
// 0-16 whose output is then run-length expanded (16 starts a run). The first block
// holds the palette, the following ones the dots, line after line.
#include <algorithm>
#include <cstring>
#include <vector>

#include "spi.h"
#include "spi_common.h"

namespace {

using kordel::spi::Dib;
using kordel::spi::Progress;

constexpr const char* kPluginInfo[] = {"00IN", "XLD4 (Q4) decoder", "*.q4", "XLD4 picture"};

constexpr int kWidth = 640;
constexpr int kHeight = 400;
constexpr size_t kDots = size_t(kWidth) * kHeight;
constexpr size_t kHeaderSize = 16;
constexpr size_t kBlockHeaderSize = 6;
constexpr size_t kMaxBlockOutput = 65536;
constexpr uint32_t kFirstCode = 19;
constexpr int kMaxCodeWidth = 16;
constexpr size_t kPaletteBytes = 96;
constexpr uint8_t kRunEscape = 16;

bool hasSignature(const uint8_t* d, size_t size) {
    return size >= kHeaderSize + kBlockHeaderSize && std::memcmp(d + 11, "MAJYO", 5) == 0 &&
           (d[2] == 2 || (d[1] <= 1 && d[3] <= 1));
}

struct Block {
    const uint8_t* code = nullptr;
    size_t codeSize = 0;
    uint32_t entries = 0;  // dictionary entries the code stream creates
    size_t dots = 0;       // what the block expands to
    size_t next = 0;       // where the following block starts
};

int32_t readBlock(const std::vector<uint8_t>& d, size_t pos, Block& b) {
    if (pos > d.size() || d.size() - pos < kBlockHeaderSize)
        return SPI_BROKEN_DATA;
    const uint8_t* p = d.data() + pos;
    b.codeSize = kordel::spi::le16(p);
    b.entries = kordel::spi::le16(p + 2);
    b.dots = size_t(kordel::spi::le16(p + 4)) * 2;
    if (d.size() - pos - kBlockHeaderSize < b.codeSize)
        return SPI_BROKEN_DATA;
    b.code = p + kBlockHeaderSize;
    b.next = pos + kBlockHeaderSize + b.codeSize;
    return SPI_OK;
}

// Stage 1: LZW. Codes: 0 ends the block, 1 widens the codes by a bit, 2-18 are the
// symbols 0-16, from 19 on dictionary entries. Entry n is the output of the code
// that created it plus the first symbol of the following code's output. A bad code
// ends the block; the count check of stage 2 then reports the damage.
void expandCodes(const Block& b, std::vector<uint8_t>& out, std::vector<uint32_t>& start) {
    out.clear();
    start.assign(kFirstCode + size_t(b.entries) + 1, 0);
    kordel::spi::MsbBitReader in(b.code, b.codeSize);
    int width = 3;
    uint32_t next = kFirstCode;
    // The count in the block header is only a bound: writers disagree on whether
    // the width codes belong to it.
    for (uint32_t made = 0; made < b.entries; ++made) {
        uint32_t c;
        for (;;) {
            if (!in.read(width, c) || c == 0)
                return;
            if (c != 1)
                break;
            if (++width > kMaxCodeWidth)
                return;
        }
        start[next] = uint32_t(out.size());
        if (c < kFirstCode) {
            if (out.size() >= kMaxBlockOutput)
                return;
            out.push_back(uint8_t(c - 2));
        } else if (c < next) {
            // Byte by byte: for the newest entry the last byte copied is the first
            // one this very copy wrote.
            const size_t to = start[c + 1];
            for (size_t s = start[c]; s <= to; ++s) {
                if (out.size() >= kMaxBlockOutput || s >= out.size())
                    return;
                out.push_back(out[s]);
            }
        } else {
            return;
        }
        ++next;
    }
}

// Stage 2: run-length expansion. 0-15 is one dot; 16, r, q is a run of r * 17 + q
// dots of the repeat colour, and 16, 0, v, r, q first makes v the repeat colour.
// Counts every dot the block describes but writes only what fits.
class RunExpander {
public:
    // Dots go to dst (room for `room`); `before` dots of the picture precede them,
    // which places progress reports on lines. progress may be null.
    RunExpander(uint8_t* dst, size_t room, Progress* progress, size_t before)
        : dst_(dst), room_(room), progress_(progress), before_(before) {}

    // SPI_OK; SPI_BROKEN_DATA for a run colour outside 0-15; SPI_CANCELLED.
    int32_t expand(const std::vector<uint8_t>& in) {
        uint8_t colour = 0;  // the repeat colour starts anew in each block
        size_t pos = 0;
        const size_t n = in.size();
        while (pos < n) {
            const uint8_t v = in[pos++];
            if (v != kRunEscape) {
                put(v, 1);
            } else {
                // An escape cut short by the end of the block describes nothing more.
                if (pos >= n)
                    break;
                uint8_t r = in[pos++];
                if (r == 0) {
                    if (pos + 1 >= n)
                        break;
                    colour = in[pos++];
                    if (colour >= kRunEscape)
                        return SPI_BROKEN_DATA;
                    r = in[pos++];
                }
                if (pos >= n)
                    break;
                const uint8_t q = in[pos++];
                put(colour, size_t(r) * 17 + q);
            }
            if (progress_ && !progress_->proceed(int32_t((before_ + written_) / kWidth)))
                return SPI_CANCELLED;
        }
        return SPI_OK;
    }

    size_t described() const { return described_; }
    size_t written() const { return written_; }

private:
    void put(uint8_t value, size_t count) {
        described_ += count;
        const size_t fit = std::min(count, room_ - written_);
        std::memset(dst_ + written_, value, fit);
        written_ += fit;
    }

    uint8_t* dst_;
    size_t room_;
    Progress* progress_;
    size_t before_;
    size_t described_ = 0;
    size_t written_ = 0;
};

struct Decoder {
    const std::vector<uint8_t>& d;
    std::vector<uint8_t> symbols;
    std::vector<uint32_t> start;

    // Decodes one block into dst; the block must describe exactly as many dots as
    // its header announces.
    int32_t block(size_t pos,
                  uint8_t* dst,
                  size_t room,
                  size_t& written,
                  size_t& next,
                  Progress* progress = nullptr,
                  size_t before = 0) {
        Block b;
        if (int32_t rc = readBlock(d, pos, b))
            return rc;
        expandCodes(b, symbols, start);
        RunExpander runs(dst, room, progress, before);
        if (int32_t rc = runs.expand(symbols))
            return rc;
        if (runs.described() != b.dots)
            return SPI_BROKEN_DATA;
        written = runs.written();
        next = b.next;
        return SPI_OK;
    }

    int32_t palette(uint8_t (&levels)[kPaletteBytes], size_t& next) {
        size_t written;
        if (int32_t rc = block(kHeaderSize, levels, kPaletteBytes, written, next))
            return rc;
        return written == kPaletteBytes ? SPI_OK : SPI_BROKEN_DATA;
    }

    // skip: blocks between the palette and the picture.
    int32_t picture(size_t pos, int skip, std::vector<uint8_t>& dots, Progress& progress) {
        for (int i = 0; i < skip; ++i) {
            Block b;
            if (int32_t rc = readBlock(d, pos, b))
                return rc;
            pos = b.next;
        }
        size_t filled = 0;
        while (filled < kDots) {
            size_t written;
            if (int32_t rc = block(pos, dots.data() + filled, kDots - filled, written, pos,
                                   &progress, filled))
                return rc;
            filled += written;
        }
        return SPI_OK;
    }
};

int32_t readFile(const char* name, intptr_t offset, uint32_t flag, std::vector<uint8_t>& data) {
    if (int32_t rc = kordel::spi::readInput(name, offset, flag, data))
        return rc;
    return hasSignature(data.data(), data.size()) ? SPI_OK : SPI_UNKNOWN_FORMAT;
}

int32_t getPicture(const char* name,
                   intptr_t offset,
                   uint32_t flag,
                   void** bitmapInfo,
                   void** bits,
                   SpiProgress callback,
                   intptr_t user) {
    std::vector<uint8_t> data;
    if (int32_t rc = readFile(name, offset, flag, data))
        return rc;
    Decoder decoder{data, {}, {}};
    uint8_t levels[kPaletteBytes];
    size_t pos;
    if (int32_t rc = decoder.palette(levels, pos))
        return rc;

    // Header bits 0x02 and 0x08 are believed to announce one extra block each after
    // the palette; when skipping them does not give a whole picture, they are not.
    const int skip = ((data[4] & 0x02) ? 1 : 0) + ((data[4] & 0x08) ? 1 : 0);
    std::vector<uint8_t> dots(kDots, 0);
    int32_t rc;
    {
        Progress progress(callback, user, kHeight);
        rc = decoder.picture(pos, skip, dots, progress);
    }
    if (rc == SPI_BROKEN_DATA && skip > 0) {
        Progress progress(callback, user, kHeight);
        rc = decoder.picture(pos, 0, dots, progress);
    }
    if (rc != SPI_OK)
        return rc;

    Dib dib;
    if ((rc = dib.create(kWidth, kHeight, 8, 16)))
        return rc;
    // Stored entry i is the colour of dot value v below; each channel is a 16-bit
    // word whose low byte holds a level 0-15.
    for (int i = 0; i < 16; ++i) {
        const int v = (i & 8) | ((i & 1) << 2) | ((i >> 1) & 3);
        const uint8_t* c = levels + 6 * i;
        dib.setColour(v, uint8_t(c[1] * 17), uint8_t(c[3] * 17), uint8_t(c[5] * 17));
    }
    for (int y = 0; y < kHeight; ++y)
        std::memcpy(dib.row(y), dots.data() + size_t(y) * kWidth, kWidth);
    if (!Progress(callback, user, kHeight).finish())
        return SPI_CANCELLED;
    return dib.release(bitmapInfo, bits);
}

bool isSupported(const uint8_t* head) {
    return hasSignature(head, SPI_HEAD_SIZE);
}

int32_t pictureInfo(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info) {
    std::vector<uint8_t> data;
    if (int32_t rc = readFile(name, offset, flag, data))
        return rc;
    kordel::spi::fillInfo(&info, kWidth, kHeight, 4);
    return SPI_OK;
}

}  // namespace

const kordel::spi::Decoder kordel::spi::kDecoder{kPluginInfo, int32_t(std::size(kPluginInfo)),
                                                 isSupported, pictureInfo, getPicture};
