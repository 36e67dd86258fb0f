// Draws Kordel's bundled pictures and writes them as PNG files:
//
//     kordel_make_images <output folder>
//
// b_data.png      the 16 x 16 image strip of the folder tree, drive tabs and kind box
// g_*.png, o_*.png, b_ichiran.png   18 x 18 glyphs of the tool-bar buttons
// kordel_NN.png   the program icon at 16, 32, 48, 64, 128 and 256 pixels
// del_image.png   96 x 72, shown where a file has been moved or deleted
//
// The small pictures are pixel art written out below as rows of palette letters, in the
// 16-colour look of the desktops the program grew up on: hard edges only (alpha 0 or 255),
// no smoothing. The icon at 32 and 48 pixels is painted from shapes placed on whole pixels,
// still without smoothing; only the 256-pixel icon is painted smoothly, with more detail.

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<const char*>;
using Swap = std::map<char, char>;

struct PaletteEntry {
    char letter;
    QRgb colour;
};

// Letters of the pixel art below; '.' is transparent.
constexpr PaletteEntry kPalette[] = {
    {'.', 0x00000000}, {'k', 0xff000000},  // black
    {'d', 0xff404040},                     // dark grey
    {'g', 0xff808080},                     // grey
    {'s', 0xffc0c0c0},                     // silver
    {'w', 0xffffffff},                     // white
    {'y', 0xffffff00},                     // yellow
    {'v', 0xffffffc0},                     // pale yellow: lit edges of folders
    {'o', 0xffc09800},  // dark yellow: shaded edges of folders (not olive, the strip's mask colour)
    {'r', 0xffff0000},  // red
    {'m', 0xff800000},  // maroon
    {'P', 0xffff8080},  // pink
    {'G', 0xff008000},  // green
    {'l', 0xff00ff00},  // lime
    {'b', 0xff0000ff},  // blue
    {'n', 0xff000080},  // navy
    {'c', 0xff00ffff},  // cyan
    {'C', 0xffc0ffff},  // pale cyan: glass
    {'t', 0xff008080},  // teal
    {'e', 0xff80c0ff},  // sky
    {'B', 0xff804000},  // brown
    {'O', 0xffff8000},  // orange
    {'Z', 0xffffc820},  // gold
    {'z', 0xffa06800},  // dark gold
};

QRgb paletteColour(char letter) {
    for (const PaletteEntry& entry : kPalette) {
        if (entry.letter == letter)
            return entry.colour;
    }
    throw std::runtime_error(std::string("unknown palette letter '") + letter + "'");
}

// Builds an image from rows of palette letters; every row must have the same length.
QImage fromRows(const char* name, const Rows& rows, const Swap& swap = {}) {
    if (rows.empty())
        throw std::runtime_error(std::string(name) + ": no rows");
    const int width = int(std::strlen(rows[0]));
    QImage image(width, int(rows.size()), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        if (int(std::strlen(rows[y])) != width)
            throw std::runtime_error(std::string(name) + ": row " + std::to_string(y) + " is not " +
                                     std::to_string(width) + " wide");
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            char letter = rows[y][x];
            if (auto it = swap.find(letter); it != swap.end())
                letter = it->second;
            line[x] = paletteColour(letter);
        }
    }
    return image;
}

QImage checkedSize(QImage image, const char* name, int width, int height) {
    if (image.width() != width || image.height() != height)
        throw std::runtime_error(std::string(name) + ": wrong size");
    return image;
}

// ---------------------------------------------------------------------------------------------
// Image strip: twelve 16 x 16 images side by side.

const Rows kFolderClosed = {
    "................",  //
    "................",  //
    "..kkkkk.........",  //
    ".kvvvvvk........",  //
    "kvyyyyyvkkkkkkk.",  //
    "kvvvvvvvvvvvvvvk",  //
    "kvyyyyyyyyyyyyok",  //
    "kvyyyyyyyyyyyyok",  //
    "kvyyyyyyyyyyyyok",  //
    "kvyyyyyyyyyyyyok",  //
    "kvyyyyyyyyyyyyok",  //
    "kvyyyyyyyyyyyyok",  //
    "kvyyyyyyyyyyyyok",  //
    "kooooooooooooook",  //
    "kkkkkkkkkkkkkkkk",  //
    "................",  //
};

const Rows kFolderOpen = {
    "................",  //
    "................",  //
    ".kkkk...........",  //
    "kvvvvk..........",  //
    "kvyyyvkkkkkkk...",  //
    "kvyyyyyyyyyyok..",  //
    "kvyyyyyyyyyyok..",  //
    "kvyykkkkkkkkkkkk",  //
    "kvyykvvvvvvvvvvk",  //
    "kvykvyyyyyyyyyok",  //
    "kvykvyyyyyyyyok.",  //
    "kvkvyyyyyyyyyok.",  //
    "kvkvyyyyyyyyok..",  //
    "kkvooooooooook..",  //
    "kkkkkkkkkkkkkk..",  //
    "................",  //
};

const Swap kGreyFolder = {{'y', 's'}, {'v', 'w'}, {'o', 'g'}};

const Rows kFloppyDrive = {
    "....kkkkkkkk....",  //
    "....knssgsnkk...",  //
    "....knssgsnnk...",  //
    "....knssssnnk...",  //
    "....knnnnnnnk...",  //
    "....knwwwwwnk...",  //
    "....knwwwwwnk...",  //
    "...kkkkkkkkkkkkk",  //
    "..kwwwwwwwwwwwkk",  //
    ".kwwwwwwwwwwwkgk",  //
    "kkkkkkkkkkkkkggk",  //
    "kwsssssssssskggk",  //
    "kwsdddddddsskggk",  //
    "kwssssssslGgkgk.",  //
    "kggggggggggkkk..",  //
    "kkkkkkkkkkkkk...",  //
};

const Rows kHardDrive = {
    "................",  //
    "................",  //
    "................",  //
    "................",  //
    "...kkkkkkkkkkkkk",  //
    "..kwwwwwwwwwwwkk",  //
    ".kwwwwwwwwwwwkgk",  //
    "kkkkkkkkkkkkkggk",  //
    "kwsssssssssskggk",  //
    "kwsssssssssskggk",  //
    "kwssssssslGgkgk.",  //
    "kggggggggggkkk..",  //
    "kkkkkkkkkkkkk...",  //
    "................",  //
    "................",  //
    "................",  //
};

const Rows kNetworkDrive = {
    "................",  //
    "................",  //
    "...kkkkkkkkkkkkk",  //
    "..kwwwwwwwwwwwkk",  //
    ".kwwwwwwwwwwwkgk",  //
    "kkkkkkkkkkkkkggk",  //
    "kwsssssssssskggk",  //
    "kwsssssssssskggk",  //
    "kwssssssslGgkgk.",  //
    "kggggggggggkkk..",  //
    "kkkkkkkkkkkkk...",  //
    ".....ksgk.......",  //
    ".....ksgk.......",  //
    "kkkkkksgkkkkkkkk",  //
    "tttttttttttttttt",  //
    "kkkkkkkkkkkkkkkk",  //
};

const Rows kCdDrive = {
    "......kkkk......",  //
    "....kkwwsskk....",  //
    "....kwwcsssk....",  //
    "...kwwwcssssk...",  //
    "...kwwsddsssk...",  //
    "...kwssddsPgk...",  //
    "...ksssssyPgk...",  //
    "...kkkkkkkkkkkkk",  //
    "..kwwwwwwwwwwwkk",  //
    ".kwwwwwwwwwwwkgk",  //
    "kkkkkkkkkkkkkggk",  //
    "kwsssssssssskggk",  //
    "kwsskkkkkkssskgk",  //
    "kwsssssssslGkgk.",  //
    "kggggggggggkkk..",  //
    "kkkkkkkkkkkkk...",  //
};

const Rows kRecycleBin = {
    "................",  //
    "...kkkkkkkkkk...",  //
    "..kwwwwwwwwwwk..",  //
    "..kgddddddddgk..",  //
    "..kswwwwwwwwsk..",  //
    "...kkkkkkkkkk...",  //
    "...kwswgswgsgk..",  //
    "...kwswgswgsgk..",  //
    "...kwswgswgsgk..",  //
    "....kwsgswgsk...",  //
    "....kwsgswgsk...",  //
    "....kwsgswgsk...",  //
    "....kwsgswgsk...",  //
    ".....kwgswgk....",  //
    ".....kkkkkkk....",  //
    "................",  //
};

const Rows kPictureFile = {
    "..kkkkkkkkk.....",  //
    "..kwwwwwwwkk....",  //
    "..kwwwwwwwkwk...",  //
    "..kwwwwwwwkkkk..",  //
    "..kweeeeeeeewk..",  //
    "..kweeeeeyyewk..",  //
    "..kweeeeeyyewk..",  //
    "..kweeeeeeeewk..",  //
    "..kweeGeeeeewk..",  //
    "..kweGGGeeGewk..",  //
    "..kwGGGGGGGGwk..",  //
    "..kwGGlGGGlGwk..",  //
    "..kwwwwwwwwwwk..",  //
    "..kwwwwwwwwwwk..",  //
    "..kkkkkkkkkkkk..",  //
    "................",  //
};

const Rows kPurseClosed = {
    "................",  //
    ".....kk..kk.....",  //
    "....kwZkkwZk....",  //
    "....kZzkkZzk....",  //
    ".....kkZZkk.....",  //
    "....kZZZZZZk....",  //
    "...kZZkkkkZZk...",  //
    "..kZkkrrrrkkZk..",  //
    ".kZkrrrrrrrrkZk.",  //
    ".kZkrrrrrrrrkZk.",  //
    "krkPrrrrrrrrrkmk",  //
    "krPPrrrrrrrrrrmk",  //
    "krPrrrrrrrrrrmmk",  //
    "krrrrrrrrrrrmmmk",  //
    ".kmrrrrrrrrmmmk.",  //
    "..kkkkkkkkkkkk..",  //
};

const Rows kPurseOpen = {
    "................",  //
    ".......kk.......",  //
    "......kZwk......",  //
    ".......kk.......",  //
    "....kkkZZkkk....",  //
    "..kkZZZZZZZZkk..",  //
    ".kZZkkkkkkkkZZk.",  //
    "kZkmmmmmmmmmmkZk",  //
    "kZkmmmmZwmmmmkZk",  //
    ".kZZkkkkkkkkZZk.",  //
    "krkkZZZZZZZZkkrk",  //
    "krPrkkkZZkkkrrmk",  //
    "krPrrrkZwkrrrrmk",  //
    "krrrrrrkkrrrrmmk",  //
    ".kmrrrrrrrrrmmk.",  //
    "..kkkkkkkkkkkk..",  //
};

QImage imageStrip() {
    const std::vector<QImage> tiles = {
        fromRows("folder", kFolderClosed),
        fromRows("open folder", kFolderOpen),
        fromRows("floppy drive", kFloppyDrive),
        fromRows("hard drive", kHardDrive),
        fromRows("network drive", kNetworkDrive),
        fromRows("CD-ROM drive", kCdDrive),
        fromRows("recycle bin", kRecycleBin),
        fromRows("picture file", kPictureFile),
        fromRows("grey folder", kFolderClosed, kGreyFolder),
        fromRows("grey open folder", kFolderOpen, kGreyFolder),
        fromRows("purse", kPurseClosed),
        fromRows("open purse", kPurseOpen),
    };
    QImage strip(16 * int(tiles.size()), 16, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (size_t i = 0; i < tiles.size(); ++i)
        painter.drawImage(int(i) * 16, 0, checkedSize(tiles[i], "strip image", 16, 16));
    return strip;
}

// ---------------------------------------------------------------------------------------------
// Tool-bar glyphs, 18 x 18, centred on 25 x 25 buttons. Shapes carry the meaning, because Qt
// greys the colours away on disabled buttons.

const Rows kGlyphExit = {
    "..................",  //
    "......kkkkkkkk....",  //
    "....kkkvvvvvvk....",  //
    "..kkBBkvvvvvvk....",  //
    ".kOBBBkvvvvvvk....",  //
    ".kOBBBkvvvvvkk....",  //
    ".kOBBBkvvvvvkk....",  //
    ".kOBBBkkkkkkkGk...",  //
    ".kOBBBkkGGGGGGGk..",  //
    ".kZBBBkkGGGGGGGGk.",  //
    ".kOBBBkkGGGGGGGk..",  //
    ".kOBBBkkkkkkkGk...",  //
    ".kOBBBkvvvvvkk....",  //
    ".kOBBBkvvvvvkk....",  //
    "..kkBBkvvvvvvk....",  //
    "....kkkvvvvvvk....",  //
    "......kkkkkkkk....",  //
    "..................",  //
};

const Rows kGlyphRev = {
    "..................",  //
    "..................",  //
    "..................",  //
    ".......k.......k..",  //
    "......kk......kk..",  //
    ".....klk.....klk..",  //
    "....kllk....kllk..",  //
    "...klllk...klllk..",  //
    "..kllllk..kllllk..",  //
    "..kGGGGk..kGGGGk..",  //
    "...kGGGk...kGGGk..",  //
    "....kGGk....kGGk..",  //
    ".....kGk.....kGk..",  //
    "......kk......kk..",  //
    ".......k.......k..",  //
    "..................",  //
    "..................",  //
    "..................",  //
};

const Rows kGlyphTop = {
    "..................",  //
    "..................",  //
    "..................",  //
    "....kk.......k....",  //
    "....kk......kk....",  //
    "....kk.....kkk....",  //
    "....kk....kkkk....",  //
    "....kk...kkkkk....",  //
    "....kk..kkkkkk....",  //
    "....kk.kkkkkkk....",  //
    "....kk..kkkkkk....",  //
    "....kk...kkkkk....",  //
    "....kk....kkkk....",  //
    "....kk.....kkk....",  //
    "....kk......kk....",  //
    "....kk.......k....",  //
    "..................",  //
    "..................",  //
};

const Rows kGlyphBack = {
    "..................",  //
    "..................",  //
    "..................",  //
    "...........k......",  //
    "..........kk......",  //
    ".........kkk......",  //
    "........kkkk......",  //
    ".......kkkkk......",  //
    "......kkkkkk......",  //
    ".....kkkkkkk......",  //
    "......kkkkkk......",  //
    ".......kkkkk......",  //
    "........kkkk......",  //
    ".........kkk......",  //
    "..........kk......",  //
    "...........k......",  //
    "..................",  //
    "..................",  //
};

const Rows kGlyphFitWindow = {
    "..................",  //
    "..................",  //
    ".kkkkkkkkkkkkkkkk.",  //
    ".knnnnnnnnnnkskskk",  //
    ".kkkkkkkkkkkkkkkk.",  //
    ".keeeeeeeeeeeyyek.",  //
    ".keeeeeeeeeeeyyek.",  //
    ".keeeeeeeeeeeeeek.",  //
    ".keeeeGeeeeeeeeek.",  //
    ".keeeGGGeeeeeeeek.",  //
    ".keeGGGGGeeeGeeek.",  //
    ".keGGGGGGGeGGGeek.",  //
    ".kGGGGGGGGGGGGGGk.",  //
    ".kGGlGGGGGGlGGGGk.",  //
    ".kGGGGGGlGGGGGGGk.",  //
    ".kkkkkkkkkkkkkkkk.",  //
    "..................",  //
    "..................",  //
};

const Rows kGlyphKeepRatio = {
    "..................",  //
    "kkkkkkkkkkkkkkk...",  //
    "knnnnnnnnkskskk...",  //
    "kkkkkkkkkkkkkkk...",  //
    "kwwweeeeyyewwwk...",  //
    "kwwweeeeyyewwwk...",  //
    "kwwweeeeeeewwwk...",  //
    "kwwweeeeeeewwwk...",  //
    "kwwweeGeeeewwwk...",  //
    "kwwweGGGeGewwwk...",  //
    "kwwwGGGGGGGwkkkkk.",  //
    "kwwwGlGGGlGwk...k.",  //
    "kwwwGGGlGGGwk...k.",  //
    "kkkkkkkkkkkkkkkkkk",  //
    "...........kZZZZZk",  //
    "...........kZZkZZk",  //
    "...........kZZkZZk",  //
    "...........kkkkkkk",  //
};

const Rows kGlyphStretch = {
    "kkkkk........kkkkk",  //
    "kkk............kkk",  //
    "k.kk..........kk.k",  //
    "k..kk........kk..k",  //
    "k...kk......kk...k",  //
    ".....kkkkkkkk.....",  //
    ".....keeeyyek.....",  //
    ".....keeeyyek.....",  //
    ".....keeGeeek.....",  //
    ".....keGGGeek.....",  //
    ".....kGGGGGGk.....",  //
    ".....kGlGGlGk.....",  //
    ".....kkkkkkkk.....",  //
    "k...kk......kk...k",  //
    "k..kk........kk..k",  //
    "k.kk..........kk.k",  //
    "kkk............kkk",  //
    "kkkkk........kkkkk",  //
};

const Rows kGlyphCatalogue = {
    "..................",  //
    ".kkkkk.kkkkk.kkkkk",  //
    ".keeyk.krrrk.kbbbk",  //
    ".keeek.krwrk.kbcbk",  //
    ".kGGGk.krrrk.knnnk",  //
    ".kkkkk.kkkkk.kkkkk",  //
    "..................",  //
    ".kkkkk.kkkkk.kkkkk",  //
    ".kccck.kyyyk.keeek",  //
    ".kcbck.kyOyk.kelek",  //
    ".kccck.kGGGk.kGGGk",  //
    ".kkkkk.kkkkk.kkkkk",  //
    "..................",  //
    ".kkkkk.kkkkk.kkkkk",  //
    ".kPPPk.keeek.klllk",  //
    ".kPrPk.kwwek.klGlk",  //
    ".kmmmk.kbbbk.kGGGk",  //
    ".kkkkk.kkkkk.kkkkk",  //
};

// Forward glyphs are the backward ones turned round, so each pair matches to the pixel.
QImage mirrored(const QImage& image) {
    return image.mirrored(true, false);
}

// ---------------------------------------------------------------------------------------------
// Program icon: a framed landscape under a magnifying glass.

const Rows kIcon16 = {
    "................",  //
    "kkkkkkkkkkkkk...",  //
    "kZZZZZZZZZZZk...",  //
    "kZeeeeeeeyyzk...",  //
    "kZeeeeeeeyyzk...",  //
    "kZeeGeeeeeezk...",  //
    "kZeGGGeeekkkk...",  //
    "kZGGGGGGkCwCk...",  //
    "kZGlGGGkCwCCCk..",  //
    "kZGGGGGkCCCCCk..",  //
    "kzzzzzzkCCCCCk..",  //
    "kkkkkkkkkCCCk...",  //
    ".........kkkkk..",  //
    ".............kk.",  //
    "..............kk",  //
    "...............k",  //
};

// Per-size layout of the painted icon. Each size is placed by hand on whole pixels so that
// the outlines stay one pixel wide and nothing lands between two pixels.
struct IconLayout {
    int size;
    QRect frame;   // outer edge of the picture frame
    int moulding;  // width of the gold moulding inside the frame's outline
    QPointF sun;   // centre of the sun, in icon pixels
    double sunRadius;
    bool cloud;
    QPointF lens;      // centre of the magnifying glass
    double lensOuter;  // radius of the black rim
    double lensGlass;  // radius of the glass inside it
    int handleWidth;   // in pixels along a row
};

const QColor kBlack(0x00, 0x00, 0x00), kWhite(0xff, 0xff, 0xff), kGold(0xff, 0xc8, 0x20),
    kDarkGold(0xa0, 0x68, 0x00), kPaleGold(0xff, 0xe8, 0x90), kSky(0x80, 0xc0, 0xff),
    kSun(0xff, 0xff, 0x00), kGreen(0x00, 0x80, 0x00), kHill(0x00, 0xc0, 0x00),
    kGlass(0xc0, 0xff, 0xff), kBrown(0x80, 0x40, 0x00), kSilver(0xc0, 0xc0, 0xc0),
    kGrey(0x80, 0x80, 0x80);

// Fills the pixels whose centres lie inside the circle; symmetric and without smoothing.
void crispDisc(QPainter& p, QPointF centre, double radius, const QColor& colour) {
    const int top = int(std::floor(centre.y() - radius)),
              bottom = int(std::ceil(centre.y() + radius));
    for (int y = top; y <= bottom; ++y) {
        const double dy = y + 0.5 - centre.y();
        if (dy * dy > radius * radius)
            continue;
        const double half = std::sqrt(radius * radius - dy * dy);
        const int left = int(std::ceil(centre.x() - half - 0.5));
        const int right = int(std::floor(centre.x() + half - 0.5));
        if (right >= left)
            p.fillRect(QRect(left, y, right - left + 1, 1), colour);
    }
}

// Hills over the lower part of the picture, as fractions of its size.
void paintHills(QPainter& p, const QRectF& picture, const QColor& far, const QColor& nearColour) {
    const double w = picture.width(), h = picture.height();
    const QPointF o = picture.topLeft();
    QPolygonF back;
    back << o + QPointF(-1, h * 0.62) << o + QPointF(w * 0.3, h * 0.3)
         << o + QPointF(w * 0.62, h * 0.66) << o + QPointF(w * 0.8, h * 0.52)
         << o + QPointF(w + 1, h * 0.7) << o + QPointF(w + 1, h + 1) << o + QPointF(-1, h + 1);
    p.setBrush(far);
    p.drawPolygon(back);
    QPolygonF front;
    front << o + QPointF(-1, h * 0.8) << o + QPointF(w * 0.35, h * 0.68)
          << o + QPointF(w * 0.7, h * 0.82) << o + QPointF(w + 1, h * 0.76)
          << o + QPointF(w + 1, h + 1) << o + QPointF(-1, h + 1);
    p.setBrush(nearColour);
    p.drawPolygon(front);
}

// The gold moulding: lit along the top and left, shaded along the bottom and right.
void paintMoulding(QPainter& p, const QRect& outer, int width, int lit) {
    p.fillRect(outer, kGold);
    QPolygon shade;
    shade << QPoint(outer.right() + 1, outer.top()) << QPoint(outer.right() + 1, outer.bottom() + 1)
          << QPoint(outer.left(), outer.bottom() + 1)
          << QPoint(outer.left() + width, outer.bottom() + 1 - width)
          << QPoint(outer.right() + 1 - width, outer.top() + width);
    p.setPen(Qt::NoPen);
    p.setBrush(kDarkGold);
    p.drawPolygon(shade);
    p.fillRect(QRect(outer.left(), outer.top(), outer.width() - lit, lit), kPaleGold);
    p.fillRect(QRect(outer.left(), outer.top(), lit, outer.height() - lit), kPaleGold);
}

QImage crispIcon(const IconLayout& l) {
    QImage image(l.size, l.size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);

    p.fillRect(l.frame, kBlack);
    const QRect mould = l.frame.adjusted(1, 1, -1, -1);
    paintMoulding(p, mould, l.moulding, 1);
    const QRect inner = mould.adjusted(l.moulding, l.moulding, -l.moulding, -l.moulding);
    p.fillRect(inner, kBlack);
    const QRect picture = inner.adjusted(1, 1, -1, -1);

    p.save();
    p.setClipRect(picture);
    p.fillRect(picture, kSky);
    crispDisc(p, l.sun, l.sunRadius, kSun);
    if (l.cloud) {
        const QPointF c(picture.left() + 3.5, picture.top() + 4.0);
        crispDisc(p, c, 1.7, kWhite);
        crispDisc(p, c + QPointF(2.5, -1.0), 2.2, kWhite);
        crispDisc(p, c + QPointF(5, 0), 1.7, kWhite);
        p.fillRect(QRectF(c.x(), c.y(), 5, 1.5), kWhite);
    }
    paintHills(p, QRectF(picture), kHill, kGreen);
    p.restore();

    // The handle: a 45-degree band of pixels from under the rim out to the icon's corner,
    // black, or brown inside a black outline where it is wide enough.
    const int start = int(l.lens.x() + l.lensOuter * 0.5);
    const int drop = int(l.lens.y() - l.lens.x());
    for (int x = start; x < l.size - 1; ++x) {
        const int y = x + drop;
        const int tip = (x == l.size - 2) ? 1 : 0;
        p.fillRect(QRect(x - l.handleWidth / 2 + tip, y, l.handleWidth - tip, 1), kBlack);
        if (l.handleWidth >= 4 && x < l.size - 3)
            p.fillRect(QRect(x - l.handleWidth / 2 + 1, y, l.handleWidth - 2, 1), kBrown);
    }
    crispDisc(p, l.lens, l.lensOuter, kBlack);
    crispDisc(p, l.lens, l.lensGlass, kGlass);
    // Glint on the glass, upper left.
    const QPoint g(int(l.lens.x() - l.lensGlass * 0.55), int(l.lens.y() - l.lensGlass * 0.55));
    const int glint = l.lensGlass >= 6 ? 3 : 2;
    p.fillRect(QRect(g.x(), g.y(), glint, 1), kWhite);
    p.fillRect(QRect(g.x(), g.y(), 1, glint), kWhite);
    return image;
}

// The large icon is painted smoothly; at this size smoothing is detail, not blur.
QImage smoothIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double u = size / 32.0;
    const double outline = u * 0.75;

    // Frame.
    const QRectF frame(u * 0.25, u * 1.25, u * 26.75, u * 22.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlack);
    p.drawRoundedRect(frame, u * 0.4, u * 0.4);
    const QRectF mould = frame.adjusted(outline, outline, -outline, -outline);
    const double width = u * 3.0;
    p.setBrush(kGold);
    p.drawRect(mould);
    QPolygonF shade;
    shade << mould.topRight() << mould.bottomRight() << mould.bottomLeft()
          << mould.bottomLeft() + QPointF(width, -width)
          << mould.topRight() + QPointF(-width, width);
    p.setBrush(kDarkGold);
    p.drawPolygon(shade);
    QPolygonF lit;
    lit << mould.topLeft() << mould.topRight()
        << mould.topRight() + QPointF(-width * 0.3, width * 0.3)
        << mould.topLeft() + QPointF(width * 0.3, width * 0.3)
        << mould.bottomLeft() + QPointF(width * 0.3, -width * 0.3) << mould.bottomLeft();
    p.setBrush(kPaleGold);
    p.drawPolygon(lit);
    // A groove along the middle of the moulding.
    p.setPen(QPen(QColor(0x80, 0x50, 0x00, 0x90), u * 0.18));
    p.setBrush(Qt::NoBrush);
    p.drawRect(mould.adjusted(width * 0.55, width * 0.55, -width * 0.55, -width * 0.55));
    p.setPen(Qt::NoPen);

    const QRectF inner = mould.adjusted(width, width, -width, -width);
    p.setBrush(kBlack);
    p.drawRect(inner);
    const QRectF picture =
        inner.adjusted(outline * 0.7, outline * 0.7, -outline * 0.7, -outline * 0.7);

    p.save();
    p.setClipRect(picture);
    QLinearGradient sky(picture.topLeft(), picture.bottomLeft());
    sky.setColorAt(0.0, QColor(0x40, 0x90, 0xff));
    sky.setColorAt(0.6, QColor(0xc8, 0xe4, 0xff));
    p.fillRect(picture, sky);
    const QPointF sunCentre(picture.left() + picture.width() * 0.78,
                            picture.top() + picture.height() * 0.25);
    p.setPen(QPen(QColor(0xff, 0x90, 0x00), u * 0.5));
    p.setBrush(kSun);
    p.drawEllipse(sunCentre, picture.height() * 0.14, picture.height() * 0.14);
    p.setPen(QPen(QColor(0xa0, 0xb8, 0xd0), u * 0.25));
    p.setBrush(kWhite);
    const QPointF cloud(picture.left() + picture.width() * 0.36,
                        picture.top() + picture.height() * 0.2);
    const double r = picture.height() * 0.085;
    QPainterPath puffs;
    for (const QRectF& puff : {QRectF(-1.3, -1.0, 2.6, 2.0), QRectF(0.15, -1.5, 2.3, 2.1),
                               QRectF(1.4, -0.85, 2.2, 1.7)}) {
        QPainterPath one;
        one.addEllipse(QRectF(cloud + puff.topLeft() * r, puff.size() * r));
        puffs = puffs.united(one);
    }
    p.drawPath(puffs);
    p.setPen(QPen(QColor(0x00, 0x40, 0x00), u * 0.35));
    paintHills(p, picture, QColor(0x40, 0xb0, 0x40), kGreen);
    p.restore();

    // Magnifying glass.
    const QPointF lens(u * 21.5, u * 20.5);
    const double outer = u * 7.2, ring = u * 1.5, glass = outer - outline - ring - outline * 0.6;
    const QPointF dir(std::numbers::sqrt2 / 2, std::numbers::sqrt2 / 2);
    const QPointF handleFrom = lens + dir * (outer - u), handleTo(size - u * 1.3, size - u * 1.3);
    const double handleWidth = u * 3.2;
    QPainterPath handle;
    {
        QPainterPath bar;
        const double length =
            std::hypot(handleTo.x() - handleFrom.x(), handleTo.y() - handleFrom.y());
        bar.addRoundedRect(QRectF(0, -handleWidth / 2, length, handleWidth), handleWidth / 2,
                           handleWidth / 2);
        QTransform t;
        t.translate(handleFrom.x(), handleFrom.y());
        t.rotate(45);
        handle = t.map(bar);
    }
    p.setPen(QPen(kBlack, outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QLinearGradient wood(handleFrom + QPointF(handleWidth / 2, -handleWidth / 2),
                         handleFrom + QPointF(-handleWidth / 2, handleWidth / 2));
    wood.setColorAt(0.0, QColor(0xc0, 0x70, 0x20));
    wood.setColorAt(1.0, QColor(0x60, 0x30, 0x00));
    p.setBrush(wood);
    p.drawPath(handle);

    p.setPen(Qt::NoPen);
    p.setBrush(kBlack);
    p.drawEllipse(lens, outer, outer);
    QLinearGradient metal(lens - QPointF(outer, outer), lens + QPointF(outer, outer));
    metal.setColorAt(0.0, kWhite);
    metal.setColorAt(0.5, kSilver);
    metal.setColorAt(1.0, kGrey);
    p.setBrush(metal);
    p.drawEllipse(lens, outer - outline, outer - outline);
    p.setBrush(kBlack);
    p.drawEllipse(lens, glass + outline * 0.6, glass + outline * 0.6);
    QRadialGradient shine(lens - QPointF(glass * 0.35, glass * 0.35), glass * 1.3);
    shine.setColorAt(0.0, kWhite);
    shine.setColorAt(0.5, kGlass);
    shine.setColorAt(1.0, QColor(0x90, 0xe0, 0xf0));
    p.setBrush(shine);
    p.drawEllipse(lens, glass, glass);
    p.setBrush(kWhite);
    p.save();
    p.translate(lens - QPointF(glass * 0.42, glass * 0.42));
    p.rotate(-45);
    p.drawEllipse(QPointF(0, 0), glass * 0.32, glass * 0.14);
    p.restore();
    return image;
}

QImage programIcon(int size) {
    switch (size) {
        case 32:
            return crispIcon({32, QRect(0, 1, 27, 23), 3, QPointF(17.5, 9.5), 2.6, false,
                              QPointF(21.5, 20.5), 6.9, 5.3, 4});
        case 48:
            return crispIcon({48, QRect(0, 2, 40, 34), 4, QPointF(27.5, 13.5), 3.6, true,
                              QPointF(32.5, 31.5), 9.9, 7.8, 6});
        default:
            return smoothIcon(size);
    }
}

// ---------------------------------------------------------------------------------------------

struct Output {
    std::string file;
    QImage image;
};

// A sheet of paper crossed out in red, on a transparent background; painted from
// shapes on whole pixels without smoothing, like the small icons.
QImage removedFile() {
    QImage image(96, 72, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setPen(QColor::fromRgba(paletteColour('d')));
    p.setBrush(QColor::fromRgba(paletteColour('w')));
    p.drawPolygon(QPolygon({{30, 10}, {56, 10}, {66, 20}, {66, 62}, {30, 62}}));
    p.setBrush(QColor::fromRgba(paletteColour('s')));
    p.drawPolygon(QPolygon({{56, 10}, {56, 20}, {66, 20}}));
    p.setPen(QColor::fromRgba(paletteColour('g')));
    for (int y = 28; y <= 54; y += 6)
        p.drawLine(36, y, 60, y);
    p.setPen(QPen(QColor::fromRgba(paletteColour('r')), 4, Qt::SolidLine, Qt::SquareCap));
    p.drawLine(26, 12, 70, 60);
    p.drawLine(70, 12, 26, 60);
    return image;
}

std::vector<Output> allImages() {
    const QImage back = fromRows("g_back", kGlyphBack);
    const QImage top = fromRows("g_top", kGlyphTop);
    const QImage rev = fromRows("g_rev", kGlyphRev);
    std::vector<Output> out = {
        {"b_data.png", checkedSize(imageStrip(), "b_data", 192, 16)},
        {"g_exit.png", fromRows("g_exit", kGlyphExit)},
        {"g_rev.png", rev},
        {"g_play.png", mirrored(rev)},
        {"g_top.png", top},
        {"g_back.png", back},
        {"g_step.png", mirrored(back)},
        {"g_end.png", mirrored(top)},
        {"o_gazou.png", fromRows("o_gazou", kGlyphFitWindow)},
        {"o_hiritu.png", fromRows("o_hiritu", kGlyphKeepRatio)},
        {"o_stretch.png", fromRows("o_stretch", kGlyphStretch)},
        {"b_ichiran.png", fromRows("b_ichiran", kGlyphCatalogue)},
    };
    for (size_t i = 1; i < out.size(); ++i)
        checkedSize(out[i].image, out[i].file.c_str(), 18, 18);
    out.push_back({"kordel_16.png", checkedSize(fromRows("icon 16", kIcon16), "icon", 16, 16)});
    for (int size : {32, 48, 64, 128, 256})
        out.push_back({"kordel_" + std::to_string(size) + ".png", programIcon(size)});
    out.push_back({"del_image.png", removedFile()});
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    try {
        const QString folder = QString::fromLocal8Bit(argv[1]);
        if (!QDir().mkpath(folder)) {
            std::fprintf(stderr, "cannot create %s\n", argv[1]);
            return 1;
        }
        for (const Output& item : allImages()) {
            const QString path = folder + QLatin1Char('/') + QString::fromStdString(item.file);
            if (!item.image.save(path, "PNG")) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
