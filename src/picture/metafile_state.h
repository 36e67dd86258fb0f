// The drawing machinery shared by the WMF and EMF players: a bounded byte reader, the GDI
// objects, the device-context state with its save stack, the object table, the logical to
// device mapping and the painting of every primitive into a QPainter (recording a QPicture).
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRegion>
#include <QTransform>
#include <QVector>
#include <cmath>
#include <cstring>
#include <memory>
#include <variant>
#include <vector>

#include "metafile.h"

namespace kordel::mf {

// Little-endian reads that never leave the buffer: anything past the end reads as zero.
class Bytes {
public:
    Bytes() = default;
    Bytes(const uchar* data, qint64 size) : data_(data), size_(size > 0 ? size : 0) {}
    explicit Bytes(const QByteArray& a)
        : data_(reinterpret_cast<const uchar*>(a.constData())), size_(a.size()) {}

    qint64 size() const { return size_; }
    const uchar* data() const { return data_; }
    bool fits(qint64 offset, qint64 length) const {
        return offset >= 0 && length >= 0 && offset <= size_ && length <= size_ - offset;
    }
    quint8 u8(qint64 o) const { return fits(o, 1) ? data_[o] : 0; }
    quint16 u16(qint64 o) const { return fits(o, 2) ? quint16(data_[o] | (data_[o + 1] << 8)) : 0; }
    qint16 i16(qint64 o) const { return qint16(u16(o)); }
    quint32 u32(qint64 o) const {
        return fits(o, 4) ? quint32(data_[o]) | (quint32(data_[o + 1]) << 8) |
                                (quint32(data_[o + 2]) << 16) | (quint32(data_[o + 3]) << 24)
                          : 0;
    }
    qint32 i32(qint64 o) const { return qint32(u32(o)); }
    float f32(qint64 o) const {
        const quint32 v = u32(o);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }
    // The part [offset, offset + length), cut to what exists.
    Bytes mid(qint64 offset, qint64 length = -1) const {
        if (offset < 0 || offset > size_)
            return {};
        const qint64 left = size_ - offset;
        return Bytes(data_ + offset, (length < 0 || length > left) ? left : length);
    }
    QByteArray toByteArray() const {
        return QByteArray(reinterpret_cast<const char*>(data_), qsizetype(size_));
    }

private:
    const uchar* data_ = nullptr;
    qint64 size_ = 0;
};

// COLORREF: red, green, blue, flag. Palette indices are resolved by the caller.
inline QRgb colorRef(quint32 v) {
    return qRgb(v & 0xff, (v >> 8) & 0xff, (v >> 16) & 0xff);
}

inline bool finite(const QTransform& t) {
    return std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
           std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy()) &&
           std::isfinite(t.m13()) && std::isfinite(t.m23()) && std::isfinite(t.m33());
}

inline QPainterPath rectPath(const QRectF& r) {
    QPainterPath p;
    p.addRect(r);
    return p;
}

enum PenStyle {
    PsSolid = 0,
    PsDash = 1,
    PsDot = 2,
    PsDashDot = 3,
    PsDashDotDot = 4,
    PsNull = 5,
    PsInsideFrame = 6,
    PsUserStyle = 7,
    PsAlternate = 8
};

struct PenDef {
    int style = PsSolid;    // low nibble of the GDI style
    int endCap = 0;         // 0 round, 0x100 square, 0x200 flat
    int join = 0;           // 0 round, 0x1000 bevel, 0x2000 miter
    double width = 0;       // logical units; 0 means one device pixel
    bool geometric = true;  // false: always one device pixel (cosmetic extended pen)
    bool extended = false;  // made by EXTCREATEPEN: styled runs scale with the width
    QRgb color = qRgb(0, 0, 0);
    QVector<qreal> userDash;  // PS_USERSTYLE lengths
};

struct BrushDef {
    enum Kind { Solid, Null, Hatched, Pattern };
    Kind kind = Solid;
    QRgb color = qRgb(255, 255, 255);
    int hatch = 0;
    QImage pattern;            // Pattern: the tile, device pixels
    bool monoPattern = false;  // two-colour tile painted in the text and background colours
};

struct FontDef {
    int height = 0;  // logical units; < 0 em height, > 0 cell height, 0 default
    int width = 0;
    int escapement = 0;  // tenths of a degree, counter-clockwise
    int weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charset = 1;
    int pitchAndFamily = 0;
    QString face;
};

using Palette = QVector<QRgb>;
struct Placeholder {};
using GdiObject =
    std::variant<std::monostate, Placeholder, PenDef, BrushDef, FontDef, Palette, QRegion>;

// The metafile's object table. WMF fills the lowest free slot; EMF names the slot.
class ObjectTable {
public:
    static constexpr int kMaxSlots = 65536;

    void reset(int size);
    int addLowest(GdiObject object);  // -1 when the table is full
    void put(quint32 index, GdiObject object);
    const GdiObject* get(quint32 index) const;
    void remove(quint32 index);

private:
    std::vector<GdiObject> slots_;
    size_t firstFree_ = 0;
};

// A clip kept in device coordinates, as GDI does.
struct Clip {
    enum Kind { None, Rect, Path };
    Kind kind = None;
    QRectF rect;
    QPainterPath path;
    QPainterPath toPath() const;
};

enum RegionMode { RgnAnd = 1, RgnOr = 2, RgnXor = 3, RgnDiff = 4, RgnCopy = 5 };

struct DcState {
    PenDef pen;
    BrushDef brush;
    FontDef font;
    std::shared_ptr<const Palette> palette;
    QRgb textColor = qRgb(0, 0, 0);
    QRgb bkColor = qRgb(255, 255, 255);
    int bkMode = 2;    // 1 transparent, 2 opaque
    int rop2 = 13;     // R2_COPYPEN
    int fillMode = 1;  // 1 alternate, 2 winding
    int stretchMode = 1;
    quint32 textAlign = 0;
    double charExtra = 0;

    int mapMode = 1;
    QPointF winOrg, vpOrg;
    QPointF winExt{1, 1}, vpExt{1, 1};
    QTransform world;
    int graphicsMode = 1;
    bool clockwise = false;
    double miterLimit = 10;
    QPointF brushOrg;

    QPointF pos;  // current position, logical
    Clip clip;
    Clip metaClip;

    bool pathOpen = false;
    bool figureOpen = false;  // a sub-path has a start point
    QPainterPath path;        // device coordinates
};

// Makes a pen, brush, font or palette the current one of `dc`; false for any other
// object (a region, which each format selects its own way).
bool selectInto(DcState& dc, const GdiObject& object);

// Text ready for drawing: characters plus optional per-character advances (logical units,
// one entry per UTF-16 unit; the second unit of a surrogate pair carries 0).
struct TextRun {
    QPointF ref;
    QString text;
    QVector<double> dx;
    QVector<double> dy;  // only with ETO_PDY
    quint32 options = 0;
    bool hasRect = false;
    QRectF rect;          // logical, right and bottom exclusive
    bool symbol = false;  // characters already mapped from a symbol font
};

enum TextOptions : quint32 {
    EtoOpaque = 0x0002,
    EtoClipped = 0x0004,
    EtoGlyphIndex = 0x0010,
    EtoNoRect = 0x0100,
    EtoSmallChars = 0x0200,
    EtoPdy = 0x2000
};

enum class ArcKind { Arc, ArcTo, Pie, Chord };

class Player {
public:
    Player(QPainter& painter, QSize size);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Framing. WMF: the window maps onto the whole target (viewport records are ignored);
    // unitsPerInch and bbox serve the metric map modes of placeable files. GDI: full window and
    // viewport mapping to a reference device of pxPerMm, then the frame (reference pixels) onto
    // the target.
    void frameWindowToTarget(const QRectF& window, double unitsPerInch, const QRectF& bbox);
    void frameReferenceDevice(const QRectF& frameRef, QPointF pxPerMm);
    // No clip to the target (used while measuring a plain WMF).
    void setUnbounded(bool on) {
        unbounded_ = on;
        if (on)
            clampLimit_ = 1e7;
    }
    // Device rectangle covered by everything painted so far.
    QRectF paintedBounds() const { return bounds_; }

    DcState& dc() { return s_; }
    // COLORREF with palette indices looked up in the selected palette.
    QRgb colour(quint32 v) const {
        if ((v >> 24) == 1) {
            const quint32 i = v & 0xffff;
            return (s_.palette && i < quint32(s_.palette->size())) ? s_.palette->at(i)
                                                                   : qRgb(0, 0, 0);
        }
        return colorRef(v);
    }
    ObjectTable& objects() { return objects_; }
    const QTransform& transform();
    QTransform referenceToDevice() const { return init_; }
    void finish();

    // Mapping.
    void setMapMode(int mode);
    void setWindowOrg(QPointF p);
    void setWindowExt(QPointF e);
    void setViewportOrg(QPointF p);
    void setViewportExt(QPointF e);
    void offsetWindowOrg(QPointF d);
    void offsetViewportOrg(QPointF d);
    void scaleWindowExt(double xNum, double xDen, double yNum, double yDen);
    void scaleViewportExt(double xNum, double xDen, double yNum, double yDen);
    void setWorldTransform(const QTransform& t);
    void modifyWorldTransform(const QTransform& t, int mode);

    void saveDc();
    void restoreDc(int n);

    // Clipping.
    void intersectClipRect(const QRectF& logical);
    void excludeClipRect(const QRectF& logical);
    void offsetClip(QPointF logical);
    void combineClip(const QPainterPath& device, int mode);
    void resetClip();
    void setMetaRegion();

    // Drawing, in logical coordinates.
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF& pts);
    void polylineTo(const QPolygonF& pts);
    void polygon(const QPolygonF& pts);
    void polyPolygon(const QVector<QPolygonF>& polys);
    void polyPolyline(const QVector<QPolygonF>& polys);
    void polyBezier(const QPolygonF& pts);
    void polyBezierTo(const QPolygonF& pts);
    void polyDraw(const QPolygonF& pts, const QByteArray& types);
    void rectangle(const QRectF& box);
    void roundRect(const QRectF& box, QSizeF corner);
    void ellipse(const QRectF& box);
    void arc(ArcKind kind, const QRectF& box, QPointF start, QPointF end);
    void angleArc(QPointF center, double radius, double startAngle, double sweepAngle);
    void setPixel(QPointF p, QRgb color);
    void fillRegion(const QPainterPath& device, const BrushDef& brush);
    void frameRegion(const QPainterPath& device, const BrushDef& brush, QSizeF logicalSize);
    void invertRegion(const QPainterPath& device);
    void gradientRect(const QRectF& logical, QRgb c1, QRgb c2, bool vertical);
    void gradientTriangle(const QPolygonF& logical, QRgb c1, QRgb c2, QRgb c3);
    void text(const TextRun& run);

    // Raster operations. dst is logical and may have negative extents (mirroring); src is in
    // image pixels from the image's top-left.
    void patBlt(const QRectF& dst, quint32 rop);
    void blit(const QRectF& dst, const QImage& image, const QRectF& src, quint32 rop);
    void alphaBlit(const QRectF& dst, const QImage& image, const QRectF& src, int constAlpha);
    // Bitmap pixels still allowed in this playback (bounds the memory a file can claim).
    qint64 pixelBudget() const { return pixelBudget_; }
    void spendPixels(qint64 n) { pixelBudget_ -= n; }

    // Paths.
    void beginPath();
    void endPath();
    void abortPath();
    void closeFigure();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void widenPath();
    void selectClipPath(int mode);

    // Logical region → device path with the current mapping.
    QPainterPath regionToDevice(const QRegion& logical);

private:
    void updateIsotropic();
    void mappingChanged() { xfDirty_ = true; }
    QTransform pageTransform() const;
    QPointF map(QPointF p);
    QPainterPath mapPath(const QPainterPath& logical);
    QPainterPath clampPath(QPainterPath p) const;
    QPointF clampPoint(QPointF p) const;
    bool axisAligned();
    QRectF deviceBox(const QRectF& logical);
    double penDeviceWidth();

    void applyClip();
    void setClip(Clip c);
    void prepare(const QPen& pen, const QBrush& brush, QPainter::CompositionMode mode);
    bool rop2Setup(QPen& pen, QBrush& brush, QPainter::CompositionMode& mode);
    QPen devicePen();
    QBrush deviceBrush(const BrushDef& b);
    void fillDevice(const QPainterPath& path,
                    const QBrush& brush,
                    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver);
    void strokeDevice(const QPainterPath& path, bool offsetHalf = true);
    void shape(const QPainterPath& fill, const QPainterPath& outline, bool offsetOutline = true);
    void addToPath(const QPainterPath& device, bool closed);
    void noteBounds(const QRectF& r);
    QPainterPath arcPath(ArcKind kind,
                         const QRectF& box,
                         QPointF a,
                         QPointF b,
                         bool forStroke,
                         QPointF* logicalStart,
                         QPointF* logicalEnd);
    void fillWithRop(const QPainterPath& device, quint32 rop);

    QPainter& p_;
    QSize size_;
    QRectF target_;
    DcState s_;
    std::vector<DcState> stack_;
    ObjectTable objects_;

    bool windowFraming_ = true;
    double unitsPerInch_ = 0;
    QRectF bbox_;
    QPointF pxPerMm_{96 / 25.4, 96 / 25.4};
    QTransform init_;
    QTransform xf_;
    bool xfDirty_ = true;
    bool clipDirty_ = true;
    bool unbounded_ = false;
    QRectF bounds_;
    qint64 pixelBudget_;
    double clampLimit_;
};

// Text helpers (metafile_text.cpp).
struct DecodedText {
    QString text;
    QVector<int> bytesPerUnit;  // bytes of the source string behind each UTF-16 unit
    bool symbol = false;
};
// Decodes an 8-bit string in the code page of the font's charset; symbol fonts map to Unicode.
DecodedText decodeAnsiText(const QByteArray& bytes, int charset, const QString& face);
// Decodes an 8-bit face name written in the charset's code page.
QString decodeFaceName(const QByteArray& bytes, int charset);
// Installed families for a GDI face name, best first.
QStringList fontFamiliesFor(const FontDef& font);
bool isSymbolFace(const FontDef& font);

// Bitmap helpers (metafile_dib.cpp).
// Decodes a DIB whose header and colour table are in `info` and whose pixel rows are in
// `bits`. usage 1 means the colour table holds palette indices. Rows missing at the end of
// `bits` stay transparent. heightOverride > 0 replaces |biHeight| (partial scan delivery).
// sourceAlpha: the fourth byte of 32-bit pixels is premultiplied alpha (alpha blending).
// 1, 4 and 8-bit pictures come back indexed, the rest as 32-bit colour.
// Returns a null image on any inconsistency or when the size is beyond `maxPixels`.
QImage decodeDib(Bytes info,
                 Bytes bits,
                 int usage,
                 const Palette* palette,
                 qint64 maxPixels,
                 int heightOverride = 0,
                 bool sourceAlpha = false);
// Bytes taken by the header and colour table of a packed DIB (0 when the header is unusable).
qint64 dibInfoSize(Bytes info, int usage);
// A two-colour tile: 0-bits in the text colour, 1-bits in the background colour.
QImage monoTile(const QImage& decoded, QRgb zero, QRgb one);

// The two formats (metafile_wmf.cpp, metafile_emf.cpp).
bool isEmf(const Bytes& data);
std::optional<Metafile> playWmf(const Bytes& data, double dpiX, double dpiY);
std::optional<Metafile> playEmf(const Bytes& data, double dpiX, double dpiY);
// A natural size in pixels, rounded and kept within the decoder limits (aspect preserved).
QSize fittedSize(double width, double height);
// Records played at most from one file: bounds the work a file can ask for.
constexpr qint64 kMaxRecords = 10'000'000;

}  // namespace kordel::mf
