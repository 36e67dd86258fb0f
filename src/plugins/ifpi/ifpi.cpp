// Pi decoder plug-in: 16- and 256-colour pictures (4 or 8 planes), delivered as an
// 8-bit DIB with a colour table of 16 or 256 entries.
//
// The dots form one line-after-line array. The stream alternates copies (a
// position code naming one of five neighbours, then a length in dot pairs) with
// runs of literal pairs, whose colours are coded through a move-to-front table
// kept per previous colour. Repeating the previous copy's position code is what
// switches to literal pairs.
#include <algorithm>
#include <cstring>
#include <vector>

#include "spi.h"
#include "spi_common.h"

namespace {

using kordel::spi::Dib;
using kordel::spi::MsbBitReader;
using kordel::spi::Progress;

constexpr const char* kPluginInfo[] = {"00IN", "Pi decoder", "*.pi", "Pi picture"};

struct Header {
    int planes = 0;
    int width = 0, height = 0;
    bool paletteOmitted = false;  // mode bit 7, which writers do not set reliably
    size_t palette = 0;           // where the palette (or, without one, the stream) starts
};

int32_t parseHeader(const std::vector<uint8_t>& d, Header& h) {
    if (d.size() < 2 || d[0] != 'P' || d[1] != 'i')
        return SPI_UNKNOWN_FORMAT;
    // The comment ends with 0x1A, then filler up to a 0x00.
    const auto eof = std::find(d.begin() + 2, d.end(), uint8_t(0x1a));
    if (eof == d.end())
        return SPI_UNKNOWN_FORMAT;
    const auto end = std::find(eof + 1, d.end(), uint8_t(0));
    if (end == d.end())
        return SPI_UNKNOWN_FORMAT;
    const size_t p = size_t(end - d.begin()) + 1;
    if (d.size() - p < 10)
        return SPI_BROKEN_DATA;
    h.paletteOmitted = (d[p] & 0x80) != 0;
    // Bytes 1 and 2 give the dot's aspect (height n : width m). The host corrects the
    // aspect of other kinds only, so square densities are reported.
    h.planes = d[p + 3];
    if (h.planes != 4 && h.planes != 8)
        return SPI_UNKNOWN_FORMAT;
    const size_t extension = kordel::spi::be16(d.data() + p + 8);
    if (d.size() - p - 10 < extension + 4)
        return SPI_BROKEN_DATA;
    const uint8_t* size = d.data() + p + 10 + extension;
    h.width = kordel::spi::be16(size);
    h.height = kordel::spi::be16(size + 2);
    if (int32_t rc = kordel::spi::checkSize(h.width, h.height))
        return rc;
    h.palette = p + 14 + extension;
    return SPI_OK;
}

// The bit-level codes of the stream. Every read reports running out of data.
class PiStream {
public:
    PiStream(const uint8_t* data, size_t size, int planes)
        : bits_(data, size), planes_(planes), colours_(1 << planes) {
        table_.resize(size_t(colours_) * size_t(colours_));
        for (int c = 0; c < colours_; ++c)
            for (int k = 0; k < colours_; ++k)
                table_[size_t(c * colours_ + k)] = uint8_t((c - k) & (colours_ - 1));
    }

    // Colour of a dot whose left neighbour (in stream order) has colour prev.
    bool colour(uint8_t prev, uint8_t& out) {
        const int first = bits_.bit();
        if (first < 0)
            return false;
        uint32_t k;
        if (first == 1) {
            if (!bits_.read(1, k))
                return false;
        } else {
            // Up to planes - 2 ones, ended by a 0 unless the maximum is reached.
            int ones = 0;
            while (ones < planes_ - 2) {
                const int b = bits_.bit();
                if (b < 0)
                    return false;
                if (b == 0)
                    break;
                ++ones;
            }
            uint32_t low;
            if (!bits_.read(ones + 1, low))
                return false;
            k = (1u << (ones + 1)) + low;  // below 2^planes by construction
        }
        uint8_t* row = table_.data() + size_t(prev) * size_t(colours_);
        out = row[k];
        std::memmove(row + 1, row, k);
        row[0] = out;
        return true;
    }

    // 00, 01, 10, 110, 111 -> 0 to 4.
    bool position(int& out) {
        uint32_t v;
        if (!bits_.read(2, v))
            return false;
        if (v == 3) {
            const int b = bits_.bit();
            if (b < 0)
                return false;
            v += uint32_t(b);
        }
        out = int(v);
        return true;
    }

    // Length in dot pairs: j ones and a zero, then j bits.
    bool length(uint64_t& out) {
        int ones = 0;
        for (;;) {
            const int b = bits_.bit();
            if (b < 0)
                return false;
            if (b == 0)
                break;
            // No picture within the size limits needs a longer run.
            if (++ones > 30)
                return false;
        }
        if (ones == 0) {
            out = 1;
            return true;
        }
        uint32_t low;
        if (!bits_.read(ones, low))
            return false;
        out = (uint64_t(1) << ones) + low;
        return true;
    }

    int bit() { return bits_.bit(); }

private:
    MsbBitReader bits_;
    int planes_;
    int colours_;
    std::vector<uint8_t> table_;  // per previous colour, a move-to-front row
};

// Fills dots (width * height, top line first). SPI_BROKEN_DATA when the stream
// ends early or holds an impossible code.
int32_t decodeDots(const uint8_t* data,
                   size_t size,
                   const Header& h,
                   std::vector<uint8_t>& dots,
                   Progress& progress) {
    const size_t width = size_t(h.width);
    const size_t total = width * size_t(h.height);
    dots.assign(total, 0);
    PiStream in(data, size, h.planes);
    size_t i = 0;
    auto rowDone = [&] { return progress.proceed(int32_t(i / width)); };

    if (width < 3) {
        // Too narrow for the neighbour copies: every dot is a colour code.
        uint8_t prev = 0;
        for (; i < total; ++i) {
            if (!in.colour(prev, dots[i]))
                return SPI_BROKEN_DATA;
            prev = dots[i];
            if (!rowDone())
                return SPI_CANCELLED;
        }
        return SPI_OK;
    }

    // The first two dots are coded as colours; the first copy then starts at 0 and
    // rewrites them from the area "before" the picture, which repeats them.
    if (!in.colour(0, dots[0]) || !in.colour(dots[0], dots[1]))
        return SPI_BROKEN_DATA;
    int last = -1;
    while (i < total) {
        int pos;
        if (!in.position(pos))
            return SPI_BROKEN_DATA;
        if (pos != last) {
            uint64_t pairs;
            if (!in.length(pairs))
                return SPI_BROKEN_DATA;
            size_t distance;
            switch (pos) {
                case 0: {
                    const bool same = i < 2 ? dots[0] == dots[1] : dots[i - 1] == dots[i - 2];
                    distance = same ? 2 : 4;
                    break;
                }
                case 1:
                    distance = width;
                    break;
                case 2:
                    distance = 2 * width;
                    break;
                case 3:
                    distance = width - 1;
                    break;
                default:
                    distance = width + 1;
                    break;
            }
            const size_t end = size_t(std::min<uint64_t>(total, i + 2 * pairs));
            for (; i < end; ++i)
                dots[i] = i >= distance ? dots[i - distance] : dots[(i - distance) & 1];
            last = pos;
        } else {
            int more;
            do {
                if (!in.colour(dots[i - 1], dots[i]))
                    return SPI_BROKEN_DATA;
                ++i;
                if (i < total) {
                    if (!in.colour(dots[i - 1], dots[i]))
                        return SPI_BROKEN_DATA;
                    ++i;
                }
                more = i < total ? in.bit() : 0;
                if (more < 0)
                    return SPI_BROKEN_DATA;
            } while (more == 1);
            last = -1;
        }
        if (!rowDone())
            return SPI_CANCELLED;
    }
    return SPI_OK;
}

void setDefaultPalette(Dib& dib, int planes) {
    if (planes == 4) {
        // Index bits G R B; the upper eight colours are the bright ones.
        for (int i = 0; i < 16; ++i) {
            const uint8_t level = i < 8 ? 0x77 : 0xff;
            dib.setColour(i, (i & 2) ? level : 0, (i & 4) ? level : 0, (i & 1) ? level : 0);
        }
    } else {
        // GGGRRRBB.
        for (int i = 0; i < 256; ++i)
            dib.setColour(i, uint8_t(((i >> 2) & 7) * 0x20), uint8_t((i >> 5) * 0x20),
                          uint8_t((i & 3) * 0x40));
    }
}

int32_t readHeader(const char* name,
                   intptr_t offset,
                   uint32_t flag,
                   std::vector<uint8_t>& data,
                   Header& h) {
    if (int32_t rc = kordel::spi::readInput(name, offset, flag, data))
        return rc;
    return parseHeader(data, h);
}

int32_t getPicture(const char* name,
                   intptr_t offset,
                   uint32_t flag,
                   void** bitmapInfo,
                   void** bits,
                   SpiProgress callback,
                   intptr_t user) {
    std::vector<uint8_t> data;
    Header h;
    if (int32_t rc = readHeader(name, offset, flag, data, h))
        return rc;
    const int colours = 1 << h.planes;
    const size_t paletteSize = 3 * size_t(colours);
    std::vector<uint8_t> dots;
    int32_t rc = SPI_BROKEN_DATA;
    bool withPalette = data.size() - h.palette >= paletteSize;
    if (withPalette) {
        Progress progress(callback, user, h.height);
        rc = decodeDots(data.data() + h.palette + paletteSize,
                        data.size() - h.palette - paletteSize, h, dots, progress);
    }
    // Files flagged "no palette" mostly have one all the same; the flag is believed
    // only when the stream does not decode with a palette.
    if (rc == SPI_BROKEN_DATA && h.paletteOmitted) {
        withPalette = false;
        Progress progress(callback, user, h.height);
        rc = decodeDots(data.data() + h.palette, data.size() - h.palette, h, dots, progress);
    }
    if (rc != SPI_OK)
        return rc;

    Dib dib;
    if ((rc = dib.create(h.width, h.height, 8, colours)))
        return rc;
    if (withPalette) {
        for (int i = 0; i < colours; ++i) {
            const uint8_t* c = data.data() + h.palette + 3 * size_t(i);  // R, G, B
            dib.setColour(i, c[0], c[1], c[2]);
        }
    } else {
        setDefaultPalette(dib, h.planes);
    }
    for (int y = 0; y < h.height; ++y)
        std::memcpy(dib.row(y), dots.data() + size_t(y) * size_t(h.width), size_t(h.width));
    if (!Progress(callback, user, h.height).finish())
        return SPI_CANCELLED;
    return dib.release(bitmapInfo, bits);
}

bool isSupported(const uint8_t* head) {
    if (head[0] != 'P' || head[1] != 'i')
        return false;
    // When the header lies within the head, its plane count must be a real one;
    // a long comment may push it further out.
    const uint8_t* end = head + SPI_HEAD_SIZE;
    const uint8_t* eof = std::find(head + 2, end, uint8_t(0x1a));
    const uint8_t* zero = eof == end ? end : std::find(eof + 1, end, uint8_t(0));
    if (end - zero > 4) {
        const uint8_t planes = zero[4];
        return planes == 4 || planes == 8;
    }
    return true;
}

int32_t pictureInfo(const char* name, intptr_t offset, uint32_t flag, PictureInfo& info) {
    std::vector<uint8_t> data;
    Header h;
    if (int32_t rc = readHeader(name, offset, flag, data, h))
        return rc;
    kordel::spi::fillInfo(&info, h.width, h.height, int16_t(h.planes));
    return SPI_OK;
}

}  // namespace

const kordel::spi::Decoder kordel::spi::kDecoder{kPluginInfo, int32_t(std::size(kPluginInfo)),
                                                 isSupported, pictureInfo, getPicture};
