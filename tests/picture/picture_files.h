// Picture files written by hand for the picture component's tests: BMP in its
// header versions and codings, ICO with several images, a placeable WMF and an
// EMF that draw known shapes, and JPEG, GIF and TIFF through their libraries.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

namespace kordel::test {

struct BmpLayout {
    enum class Header { Windows, Os2v1, Os2v2, V4 };  // 40, 12, 64 and 108 bytes
    Header header = Header::Windows;
    int width = 0;
    int height = 0;
    bool topDown = false;  // negative height
    int bits = 24;
    int compression = 0;  // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    std::vector<QRgb> palette;
    uint32_t clrUsed = 0;    // as written; the palette is written whole either way
    uint32_t masks[4] = {};  // red, green, blue, alpha (alpha: V4 only)
    // Top line first: colour indices, or the raw value of a dot (a 16-bit word,
    // 0xRRGGBB for 24 bits, the whole little-endian word for 32 bits).
    std::vector<uint32_t> dots;
    QByteArray rle;  // the coded rows of an RLE file, as they are stored
};

QByteArray writeBmp(const BmpLayout& layout);

struct IcoImage {
    int width = 0;
    int height = 0;
    int bits = 32;               // 4, 8 or 32 for a BMP image
    std::vector<QRgb> palette;   // 4 and 8 bits
    std::vector<uint32_t> dots;  // top line first: indices, or ARGB for 32 bits
    std::vector<bool> clear;     // top line first: set in the AND mask (transparent)
    QByteArray png;              // non-empty: this PNG stream is stored instead
    int directoryBits = -1;      // what the directory entry says; -1: bits
};

QByteArray writeIco(const std::vector<IcoImage>& images);
// A square icon image of one colour with a transparent top-left quarter.
IcoImage solidIcon(int size, int bits, QRgb colour);

// Colours of the shapes in the test metafiles.
inline constexpr QRgb kShapeRed = 0xffff0000u;
inline constexpr QRgb kShapeGreen = 0xff00c000u;
inline constexpr QRgb kShapeBlue = 0xff0000ffu;

// A placeable WMF of 200 x 100 logical units at 96 units per inch: a red
// rectangle (10,10)-(90,50), a green ellipse in (110,10)-(190,90) and a blue
// triangle (20,60) (90,60) (55,95), all without outline.
QByteArray placeableWmf();
// An EMF framed 2 x 1 inches (192 x 96 reference pixels at 96 dpi): a red
// rectangle (10,10)-(80,50), a green ellipse in (100,10)-(180,86) and a blue
// triangle (20,60) (80,60) (50,92), all without outline.
QByteArray smallEmf();

// Through Qt's writer.
QByteArray jpegFile(const QImage& image, int quality = 95);
// An 8-bit GIF through giflib; the image must be indexed.
QByteArray gifFile(const QImage& indexed);
// A 24-bit TIFF through libtiff, written to path.
bool writeTiff(const QString& path, const QImage& image);

// A picture with a distinct colour in each quadrant, easy to check after scaling.
QImage quadrants(int width, int height);

bool writeFile(const QString& path, const QByteArray& data);
QByteArray readFile(const QString& path);

}  // namespace kordel::test
