#include "mag_encoder.h"

#include <algorithm>

namespace kordel::test {

namespace {

constexpr int kDx[16] = {0, 1, 2, 4, 0, 1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0};
constexpr int kDy[16] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16};

void put16(QByteArray& out, int v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}
void put32(QByteArray& out, qsizetype v) {
    put16(out, int(v & 0xffff));
    put16(out, int((v >> 16) & 0xffff));
}

}  // namespace

QByteArray encodeMag(const MagPicture& pic,
                     const std::function<int(int)>& choose,
                     MagStats* stats) {
    const int dotsPerByte = pic.colours256 ? 1 : 2;
    const int align = (pic.alignDots ? pic.alignDots : (pic.colours256 ? 4 : 8)) / dotsPerByte;
    const int x1 = pic.x0 + pic.width - 1;
    const int left = pic.x0 / dotsPerByte / align * align;
    const int right = x1 / dotsPerByte / align * align + align;
    const int bytesPerRow = right - left;
    const int units = bytesPerRow / 2;
    const int crop = pic.x0 - left * dotsPerByte;

    // Coded rows: the picture's dots inside a frame of index 0.
    std::vector<uint8_t> rows(size_t(bytesPerRow) * pic.height, 0);
    for (int y = 0; y < pic.height; ++y) {
        for (int x = 0; x < pic.width; ++x) {
            const int pos = crop + x;
            const uint8_t v = pic.dots[size_t(y) * pic.width + x];
            uint8_t& b = rows[size_t(y) * bytesPerRow + pos / dotsPerByte];
            if (pic.colours256)
                b = v;
            else
                b |= (pos & 1) ? v : uint8_t(v << 4);
        }
    }
    auto unit = [&](int y, int u) { return rows.data() + size_t(y) * bytesPerRow + 2 * u; };

    QByteArray flagA, flagB, pixels;
    int bitCount = 0;
    std::vector<uint8_t> action(size_t(units / 2), 0);
    for (int y = 0; y < pic.height; ++y) {
        for (int i = 0; i < units / 2; ++i) {
            int nibbles[2];
            for (int k = 0; k < 2; ++k) {
                const int u = 2 * i + k;
                std::vector<int> fits{0};
                for (int f = 1; f < 16; ++f) {
                    if (kDy[f] <= y && kDx[f] <= u &&
                        std::equal(unit(y, u), unit(y, u) + 2, unit(y - kDy[f], u - kDx[f])))
                        fits.push_back(f);
                }
                const int f = choose ? fits[size_t(choose(int(fits.size())))] : fits.back();
                nibbles[k] = f;
                if (stats)
                    ++stats->codes[size_t(f)];
                if (f == 0)
                    pixels.append(reinterpret_cast<const char*>(unit(y, u)), 2);
            }
            const uint8_t next = uint8_t(nibbles[0] << 4 | nibbles[1]);
            const uint8_t diff = action[size_t(i)] ^ next;
            if (bitCount % 8 == 0)
                flagA.append('\0');
            if (diff) {
                flagA[flagA.size() - 1] = char(flagA.back() | (0x80 >> (bitCount % 8)));
                flagB.append(char(diff));
            }
            ++bitCount;
            action[size_t(i)] = next;
        }
    }

    QByteArray out("MAKI02  KRDL");
    out.append(QByteArray("tester").leftJustified(20, ' '));
    out.append(pic.comment);
    out.append('\x1a');
    out.append(pic.afterEof);
    const int colours = pic.colours256 ? 256 : 16;
    const qsizetype offA = 32 + 3 * colours;
    const qsizetype offB = offA + flagA.size();
    const qsizetype offP = offB + flagB.size();
    out.append('\0');
    out.append(char(pic.machineCode));
    out.append(char(pic.machineFlags));
    out.append(char(pic.colours256 ? 0x80 : 0x00));
    put16(out, pic.x0);
    put16(out, pic.y0);
    put16(out, x1);
    put16(out, pic.y0 + pic.height - 1);
    put32(out, offA);
    put32(out, offB);
    put32(out, flagB.size());
    put32(out, offP);
    put32(out, pixels.size());
    for (int i = 0; i < colours; ++i) {
        out.append(char(qGreen(pic.palette[size_t(i)])));
        out.append(char(qRed(pic.palette[size_t(i)])));
        out.append(char(qBlue(pic.palette[size_t(i)])));
    }
    return out + flagA + flagB + pixels;
}

}  // namespace kordel::test
