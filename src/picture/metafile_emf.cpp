// Enhanced metafiles (32-bit records).
#include <QPicture>
#include <algorithm>
#include <cmath>

#include "metafile_state.h"

namespace kordel::mf {

namespace {

constexpr quint32 kEmfSignature = 0x464D4520;    // " EMF"
constexpr quint32 kEmfPlusComment = 0x2B464D45;  // "EMF+"

struct EmfHeader {
    QRectF frameRef;  // reference-device pixels
    QPointF pxPerMm;
    QSizeF naturalMm;  // the frame in millimetres
    qint64 end = 0;
    int handles = 0;
};

std::optional<EmfHeader> readHeader(const Bytes& d) {
    if (d.u32(0) != 1 || d.u32(40) != kEmfSignature)
        return std::nullopt;
    const quint32 size = d.u32(4);
    if (size < 88 || !d.fits(0, 88))
        return std::nullopt;
    EmfHeader h;
    const qint64 declared = d.u32(48);
    h.end = (declared >= 88 && declared < d.size()) ? declared : d.size();
    h.handles = d.u16(56);

    const qint64 devX = d.i32(72), devY = d.i32(76);
    double mmX = d.i32(80), mmY = d.i32(84);
    // Micrometres are more precise, but the field exists only when the header reaches past it
    // (a description may start right after the oldest header) and must agree with the
    // millimetres.
    qint64 fixedEnd = size;
    const quint32 offDescription = d.u32(64);
    if (offDescription >= 88 && offDescription < size)
        fixedEnd = offDescription;
    const double umX = d.i32(100) / 1000.0, umY = d.i32(104) / 1000.0;
    if (fixedEnd >= 108 && d.fits(0, 108) && umX > 0 && umY > 0 && std::abs(umX - mmX) < 1.5 &&
        std::abs(umY - mmY) < 1.5) {
        mmX = umX;
        mmY = umY;
    }
    if (devX > 0 && devY > 0 && mmX > 0 && mmY > 0)
        h.pxPerMm = QPointF(devX / mmX, devY / mmY);
    else
        h.pxPerMm = QPointF(96 / 25.4, 96 / 25.4);
    if (!std::isfinite(h.pxPerMm.x()) || !std::isfinite(h.pxPerMm.y()) || h.pxPerMm.x() <= 0 ||
        h.pxPerMm.y() <= 0)
        h.pxPerMm = QPointF(96 / 25.4, 96 / 25.4);

    const qint64 fl = d.i32(24), ft = d.i32(28), fr = d.i32(32), fb = d.i32(36);
    const qint64 fw = fr - fl, fh = fb - ft;
    constexpr qint64 tenMetres = 1'000'000;  // in 0.01 mm
    if (fw > 0 && fh > 0 && fw < tenMetres && fh < tenMetres) {
        h.naturalMm = QSizeF(fw / 100.0, fh / 100.0);
        h.frameRef = QRectF(fl * h.pxPerMm.x() / 100, ft * h.pxPerMm.y() / 100,
                            fw * h.pxPerMm.x() / 100, fh * h.pxPerMm.y() / 100);
        return h;
    }
    // No usable frame: the ink bounds in reference pixels.
    const qint64 bl = d.i32(8), bt = d.i32(12), br = d.i32(16), bb = d.i32(20);
    const qint64 bw = br - bl + 1, bh = bb - bt + 1;
    if (bw > 0 && bh > 0 && bw < 1'000'000 && bh < 1'000'000) {
        h.frameRef = QRectF(bl, bt, bw, bh);
        h.naturalMm = QSizeF(bw / h.pxPerMm.x(), bh / h.pxPerMm.y());
        return h;
    }
    return std::nullopt;
}

// An unscaled blit names no source size: the destination's. When that reaches past the
// bitmap, the writer meant the whole bitmap in the destination (as other players read it).
QSizeF unscaledSource(const QImage& img, QPointF pos, QSizeF dst) {
    QSizeF s(std::abs(dst.width()), std::abs(dst.height()));
    if (!img.isNull() && (pos.x() + s.width() > img.width() || pos.y() + s.height() > img.height()))
        s = QSizeF(std::max(1.0, img.width() - pos.x()), std::max(1.0, img.height() - pos.y()));
    return s;
}

bool isDrawing(quint32 type) {
    switch (type) {
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
        case 8:
        case 15:
        case 41:
        case 42:
        case 43:
        case 44:
        case 45:
        case 46:
        case 47:
        case 54:
        case 55:
        case 56:
        case 62:
        case 63:
        case 64:
        case 71:
        case 72:
        case 73:
        case 74:
        case 76:
        case 77:
        case 78:
        case 79:
        case 80:
        case 81:
        case 83:
        case 84:
        case 85:
        case 86:
        case 87:
        case 88:
        case 89:
        case 90:
        case 91:
        case 92:
        case 96:
        case 97:
        case 108:
        case 114:
        case 116:
        case 118:
            return true;
    }
    return false;
}

// EMF+ comments without any plain GDI drawing: the picture exists only as EMF+.
bool emfPlusOnly(const Bytes& d, const EmfHeader& h) {
    bool plus = false;
    qint64 pos = 0;
    for (qint64 n = 0; pos + 8 <= h.end && n < kMaxRecords; ++n) {
        const quint32 type = d.u32(pos), size = d.u32(pos + 4);
        if (size < 8 || size % 4 || size > h.end - pos)
            break;
        if (isDrawing(type))
            return false;
        if (type == 70 && size >= 16 && d.u32(pos + 8) >= 4 && d.u32(pos + 12) == kEmfPlusComment)
            plus = true;
        if (type == 14)
            break;
        pos += size;
    }
    return plus;
}

class EmfPlayer {
public:
    EmfPlayer(Player& player, const Bytes& data, const EmfHeader& header)
        : p_(player), d_(data), h_(header) {}

    void play() {
        p_.objects().reset(h_.handles);
        qint64 pos = 0;
        for (qint64 n = 0; pos + 8 <= h_.end && n < kMaxRecords; ++n) {
            const quint32 type = d_.u32(pos), size = d_.u32(pos + 4);
            if (size < 8 || size % 4 || size > h_.end - pos)
                break;
            if (type == 14)  // EOF
                break;
            r_ = d_.mid(pos, size);
            record(type);
            pos += size;
        }
    }

private:
    bool need(qint64 bytes) const { return r_.size() >= bytes; }
    QPointF pt(qint64 o) const { return QPointF(r_.i32(o), r_.i32(o + 4)); }
    QRectF rectL(qint64 o) const {
        return QRectF(QPointF(r_.i32(o), r_.i32(o + 4)), QPointF(r_.i32(o + 8), r_.i32(o + 12)));
    }
    QTransform xform(qint64 o) const {
        return QTransform(r_.f32(o), r_.f32(o + 4), r_.f32(o + 8), r_.f32(o + 12), r_.f32(o + 16),
                          r_.f32(o + 20));
    }
    QPolygonF points(qint64 offset, qint64 count, bool small) const {
        const int size = small ? 4 : 8;
        count = std::min<qint64>(count, std::max<qint64>(0, (r_.size() - offset) / size));
        QPolygonF poly;
        poly.reserve(count);
        for (qint64 i = 0; i < count; ++i) {
            const qint64 o = offset + i * size;
            poly.append(small ? QPointF(r_.i16(o), r_.i16(o + 2))
                              : QPointF(r_.i32(o), r_.i32(o + 4)));
        }
        return poly;
    }

    void record(quint32 type);
    void poly(quint32 type);
    void polyPoly(quint32 type);
    void selectObject(quint32 index);
    void selectStock(quint32 index);
    void createPen();
    void createExtPen();
    void createBrush();
    void createDibBrush(bool mono);
    void createFont();
    void createPalette();
    QVector<QRect> rgnRects(qint64 offset, qint64 size) const;
    QPainterPath rgnPath(qint64 offset, qint64 size, bool logical);
    void extTextOut(bool wide,
                    qint64 base,
                    QPointF ref,
                    qint64 nChars,
                    qint64 offString,
                    quint32 options,
                    qint64 offDx,
                    bool hasRect,
                    const QRectF& rect);
    void extTextOutRecord(bool wide);
    void polyTextOut(bool wide);
    void smallTextOut();
    QImage bitmap(quint32 offBmi,
                  quint32 cbBmi,
                  quint32 offBits,
                  quint32 cbBits,
                  int usage,
                  int heightOverride = 0,
                  bool alpha = false);
    void bitBlt(quint32 type);
    void gradientFill();

    Player& p_;
    Bytes d_;
    EmfHeader h_;
    Bytes r_;  // the current record, header included
};

void EmfPlayer::record(quint32 type) {
    DcState& dc = p_.dc();
    switch (type) {
        case 9:  // SETWINDOWEXTEX
            if (need(16))
                p_.setWindowExt(pt(8));
            break;
        case 10:  // SETWINDOWORGEX
            if (need(16))
                p_.setWindowOrg(pt(8));
            break;
        case 11:  // SETVIEWPORTEXTEX
            if (need(16))
                p_.setViewportExt(pt(8));
            break;
        case 12:  // SETVIEWPORTORGEX
            if (need(16))
                p_.setViewportOrg(pt(8));
            break;
        case 13:  // SETBRUSHORGEX
            if (need(16))
                dc.brushOrg = pt(8);
            break;
        case 17:  // SETMAPMODE
            if (need(12))
                p_.setMapMode(r_.i32(8));
            break;
        case 18:  // SETBKMODE
            if (r_.u32(8) == 1 || r_.u32(8) == 2)
                dc.bkMode = int(r_.u32(8));
            break;
        case 19:  // SETPOLYFILLMODE
            if (r_.u32(8) == 1 || r_.u32(8) == 2)
                dc.fillMode = int(r_.u32(8));
            break;
        case 20:  // SETROP2
            if (r_.u32(8) >= 1 && r_.u32(8) <= 16)
                dc.rop2 = int(r_.u32(8));
            break;
        case 21:  // SETSTRETCHBLTMODE
            dc.stretchMode = int(r_.u32(8));
            break;
        case 22:  // SETTEXTALIGN
            dc.textAlign = r_.u32(8);
            break;
        case 24:  // SETTEXTCOLOR
            if (need(12))
                dc.textColor = p_.colour(r_.u32(8));
            break;
        case 25:  // SETBKCOLOR
            if (need(12))
                dc.bkColor = p_.colour(r_.u32(8));
            break;
        case 26:  // OFFSETCLIPRGN
            if (need(16))
                p_.offsetClip(pt(8));
            break;
        case 27:  // MOVETOEX
            if (need(16))
                p_.moveTo(pt(8));
            break;
        case 28:  // SETMETARGN
            p_.setMetaRegion();
            break;
        case 29:  // EXCLUDECLIPRECT
            if (need(24))
                p_.excludeClipRect(rectL(8));
            break;
        case 30:  // INTERSECTCLIPRECT
            if (need(24))
                p_.intersectClipRect(rectL(8));
            break;
        case 31:  // SCALEVIEWPORTEXTEX
            if (need(24))
                p_.scaleViewportExt(r_.i32(8), r_.i32(12), r_.i32(16), r_.i32(20));
            break;
        case 32:  // SCALEWINDOWEXTEX
            if (need(24))
                p_.scaleWindowExt(r_.i32(8), r_.i32(12), r_.i32(16), r_.i32(20));
            break;
        case 33:  // SAVEDC
            p_.saveDc();
            break;
        case 34:  // RESTOREDC
            if (need(12))
                p_.restoreDc(r_.i32(8));
            break;
        case 35:  // SETWORLDTRANSFORM
            if (need(32))
                p_.setWorldTransform(xform(8));
            break;
        case 36:  // MODIFYWORLDTRANSFORM
            if (need(36))
                p_.modifyWorldTransform(xform(8), int(r_.u32(32)));
            break;
        case 57:  // SETARCDIRECTION
            dc.clockwise = r_.u32(8) == 2;
            break;
        case 58: {  // SETMITERLIMIT: an integer, or a float from writers that follow the C type
            const quint32 v = r_.u32(8);
            const double m = v >= 0x10000 ? double(r_.f32(8)) : double(v);
            if (std::isfinite(m) && m >= 1 && m < 1e4)
                dc.miterLimit = m;
            break;
        }

        case 37:  // SELECTOBJECT
            selectObject(r_.u32(8));
            break;
        case 40: {  // DELETEOBJECT
            const quint32 i = r_.u32(8);
            if (!(i & 0x80000000u) && i != 0)
                p_.objects().remove(i);
            break;
        }
        case 48: {  // SELECTPALETTE
            const quint32 i = r_.u32(8);
            if (i & 0x80000000u) {
                dc.palette.reset();
            } else if (const GdiObject* o = p_.objects().get(i)) {
                if (const auto* pal = std::get_if<Palette>(o))
                    dc.palette = std::make_shared<const Palette>(*pal);
            }
            break;
        }
        case 38:
            createPen();
            break;
        case 95:
            createExtPen();
            break;
        case 39:
            createBrush();
            break;
        case 93:
            createDibBrush(true);
            break;
        case 94:
            createDibBrush(false);
            break;
        case 82:
            createFont();
            break;
        case 49:
            createPalette();
            break;
        case 99:   // CREATECOLORSPACE
        case 122:  // CREATECOLORSPACEW
            if (r_.u32(8) != 0)
                p_.objects().put(r_.u32(8), Placeholder{});
            break;

        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 85:
        case 86:
        case 87:
        case 88:
        case 89:
            poly(type);
            break;
        case 7:
        case 8:
        case 90:
        case 91:
            polyPoly(type);
            break;
        case 56:
        case 92: {  // POLYDRAW, POLYDRAW16
            const bool small = type == 92;
            const qint64 count = r_.u32(24);
            const QPolygonF pts = points(28, count, small);
            const QByteArray types =
                r_.mid(28 + pts.size() * (small ? 4 : 8), pts.size()).toByteArray();
            p_.polyDraw(pts, types);
            break;
        }
        case 42:  // ELLIPSE
            if (need(24))
                p_.ellipse(rectL(8));
            break;
        case 43:  // RECTANGLE
            if (need(24))
                p_.rectangle(rectL(8));
            break;
        case 44:  // ROUNDRECT
            if (need(32))
                p_.roundRect(rectL(8), QSizeF(r_.i32(24), r_.i32(28)));
            break;
        case 45:
        case 46:
        case 47:
        case 55:  // ARC, CHORD, PIE, ARCTO
            if (need(40))
                p_.arc(type == 45   ? ArcKind::Arc
                       : type == 46 ? ArcKind::Chord
                       : type == 47 ? ArcKind::Pie
                                    : ArcKind::ArcTo,
                       rectL(8), pt(24), pt(32));
            break;
        case 41:  // ANGLEARC
            if (need(28))
                p_.angleArc(pt(8), r_.u32(16), r_.f32(20), r_.f32(24));
            break;
        case 54:  // LINETO
            if (need(16))
                p_.lineTo(pt(8));
            break;
        case 15:  // SETPIXELV
            if (need(20))
                p_.setPixel(pt(8), p_.colour(r_.u32(16)));
            break;

        case 59:
            p_.beginPath();
            break;
        case 60:
            p_.endPath();
            break;
        case 61:
            p_.closeFigure();
            break;
        case 62:
            p_.fillPath();
            break;
        case 63:
            p_.strokeAndFillPath();
            break;
        case 64:
            p_.strokePath();
            break;
        case 66:
            p_.widenPath();
            break;
        case 67:  // SELECTCLIPPATH
            p_.selectClipPath(int(r_.u32(8)));
            break;
        case 68:
            p_.abortPath();
            break;

        case 75: {  // EXTSELECTCLIPRGN: region in reference-device pixels
            const qint64 cb = r_.u32(8);
            const int mode = int(r_.u32(12));
            if (mode < RgnAnd || mode > RgnCopy)
                break;
            if (mode == RgnCopy && cb == 0) {
                p_.resetClip();
                break;
            }
            if (cb < 32 || !r_.fits(16, cb))
                break;
            p_.combineClip(rgnPath(16, cb, false), mode);
            break;
        }
        case 71: {  // FILLRGN
            const GdiObject* o = p_.objects().get(r_.u32(28));
            const BrushDef* b = o ? std::get_if<BrushDef>(o) : nullptr;
            if ((r_.u32(28) & 0x80000000u) || !b)
                break;
            p_.fillRegion(rgnPath(32, r_.u32(24), true), *b);
            break;
        }
        case 72: {  // FRAMERGN
            const GdiObject* o = p_.objects().get(r_.u32(28));
            const BrushDef* b = o ? std::get_if<BrushDef>(o) : nullptr;
            if (b && need(40))
                p_.frameRegion(rgnPath(40, r_.u32(24), true), *b, QSizeF(r_.i32(32), r_.i32(36)));
            break;
        }
        case 73:  // INVERTRGN
            p_.invertRegion(rgnPath(28, r_.u32(24), true));
            break;
        case 74:  // PAINTRGN
            p_.fillRegion(rgnPath(28, r_.u32(24), true), dc.brush);
            break;

        case 83:
            extTextOutRecord(false);
            break;
        case 84:
            extTextOutRecord(true);
            break;
        case 96:
            polyTextOut(false);
            break;
        case 97:
            polyTextOut(true);
            break;
        case 108:
            smallTextOut();
            break;

        case 76:
        case 77:
        case 78:
        case 80:
        case 81:
        case 114:
        case 116:
            bitBlt(type);
            break;
        case 118:
            gradientFill();
            break;

        default:
            // Comments (EMF+ included), colour management, OpenGL, escapes and unknown records.
            break;
    }
}

void EmfPlayer::poly(quint32 type) {
    const bool small = type >= 85;
    const int kind = small ? int(type) - 83 : int(type);  // 2..6
    const QPolygonF pts = points(28, r_.u32(24), small);
    switch (kind) {
        case 2:
            p_.polyBezier(pts);
            break;
        case 3:
            p_.polygon(pts);
            break;
        case 4:
            p_.polyline(pts);
            break;
        case 5:
            p_.polyBezierTo(pts);
            break;
        case 6:
            p_.polylineTo(pts);
            break;
    }
}

void EmfPlayer::polyPoly(quint32 type) {
    const bool small = type >= 90;
    const bool polygon = type == 8 || type == 91;
    const qint64 n = r_.u32(24);
    if (!r_.fits(32, n * 4))
        return;
    QVector<QPolygonF> polys;
    qint64 off = 32 + n * 4;
    for (qint64 i = 0; i < n && off < r_.size(); ++i) {
        const qint64 count = r_.u32(32 + i * 4);
        const QPolygonF poly = points(off, count, small);
        off += qint64(poly.size()) * (small ? 4 : 8);
        if (poly.size() < count)
            off = r_.size();
        polys.append(poly);
    }
    if (polygon)
        p_.polyPolygon(polys);
    else
        p_.polyPolyline(polys);
}

void EmfPlayer::selectObject(quint32 index) {
    if (index & 0x80000000u) {
        selectStock(index & 0x7fffffffu);
        return;
    }
    const GdiObject* o = p_.objects().get(index);
    if (!o)
        return;
    DcState& dc = p_.dc();
    if (const auto* pen = std::get_if<PenDef>(o))
        dc.pen = *pen;
    else if (const auto* b = std::get_if<BrushDef>(o))
        dc.brush = *b;
    else if (const auto* f = std::get_if<FontDef>(o))
        dc.font = *f;
    else if (const auto* pal = std::get_if<Palette>(o))
        dc.palette = std::make_shared<const Palette>(*pal);
}

void EmfPlayer::selectStock(quint32 index) {
    DcState& dc = p_.dc();
    auto solid = [&](int grey) {
        BrushDef b;
        b.color = qRgb(grey, grey, grey);
        dc.brush = b;
    };
    auto pen = [&](QRgb c, int style) {
        PenDef p;
        p.color = c;
        p.style = style;
        dc.pen = p;
    };
    auto font = [&](const char* face, int pitch, int height, int weight) {
        FontDef f;
        f.face = QString::fromLatin1(face);
        f.pitchAndFamily = pitch;
        f.height = height;
        f.weight = weight;
        dc.font = f;
    };
    switch (index) {
        case 0:
        case 18:  // DC_BRUSH: white unless a record we do not have changed it
            solid(255);
            break;
        case 1:
            solid(192);
            break;
        case 2:
            solid(128);
            break;
        case 3:
            solid(64);
            break;
        case 4:
            solid(0);
            break;
        case 5: {
            BrushDef b;
            b.kind = BrushDef::Null;
            dc.brush = b;
            break;
        }
        case 6:
            pen(qRgb(255, 255, 255), PsSolid);
            break;
        case 7:
        case 19:  // DC_PEN
            pen(qRgb(0, 0, 0), PsSolid);
            break;
        case 8:
            pen(qRgb(0, 0, 0), PsNull);
            break;
        case 10:
        case 11:
        case 16:
            font("Courier New", 0x31, 0, 400);
            break;
        case 12:
            font("Arial", 0x22, 0, 400);
            break;
        case 13:
        case 14:
            font("", 0x22, 0, 700);
            break;
        case 17:
            font("Arial", 0x22, -11, 400);
            break;
        case 15:
            dc.palette.reset();
            break;
    }
}

void EmfPlayer::createPen() {
    const quint32 ih = r_.u32(8);
    if (ih == 0 || (ih & 0x80000000u))
        return;
    if (!need(28)) {
        p_.objects().put(ih, Placeholder{});
        return;
    }
    PenDef pen;
    const quint32 style = r_.u32(12);
    pen.style = int(style & 0x0f);
    if (pen.style > PsInsideFrame)
        pen.style = PsSolid;
    pen.endCap = int(style & 0x0f00);
    pen.join = int(style & 0xf000);
    pen.width = std::abs(double(r_.i32(16)));
    pen.color = p_.colour(r_.u32(24));
    p_.objects().put(ih, pen);
}

void EmfPlayer::createExtPen() {
    const quint32 ih = r_.u32(8);
    if (ih == 0 || (ih & 0x80000000u))
        return;
    if (!need(52)) {
        p_.objects().put(ih, Placeholder{});
        return;
    }
    PenDef pen;
    pen.extended = true;
    const quint32 style = r_.u32(28);
    pen.style = int(style & 0x0f);
    if (pen.style > PsAlternate)
        pen.style = PsSolid;
    pen.endCap = int(style & 0x0f00);
    pen.join = int(style & 0xf000);
    pen.geometric = style & 0x00010000u;
    pen.width = std::min<double>(r_.u32(32), 1e7);
    if (r_.u32(36) == 1)  // BS_NULL brush: an invisible pen
        pen.style = PsNull;
    pen.color = p_.colour(r_.u32(40));
    const qint64 entries = r_.u32(48);
    if (pen.style == PsUserStyle && entries > 0 && entries <= 16 && r_.fits(52, entries * 4)) {
        for (qint64 i = 0; i < entries; ++i)
            pen.userDash.append(r_.u32(52 + i * 4));
    } else if (pen.style == PsUserStyle) {
        pen.style = PsSolid;
    }
    p_.objects().put(ih, pen);
}

void EmfPlayer::createBrush() {
    const quint32 ih = r_.u32(8);
    if (ih == 0 || (ih & 0x80000000u))
        return;
    BrushDef b;
    b.color = p_.colour(r_.u32(16));
    b.hatch = int(r_.u32(20));
    switch (r_.u32(12)) {
        case 1:
            b.kind = BrushDef::Null;
            break;
        case 2:
            b.kind = BrushDef::Hatched;
            break;
        default:
            b.kind = BrushDef::Solid;
            break;
    }
    p_.objects().put(ih, need(24) ? GdiObject(b) : GdiObject(Placeholder{}));
}

void EmfPlayer::createDibBrush(bool mono) {
    const quint32 ih = r_.u32(8);
    if (ih == 0 || (ih & 0x80000000u))
        return;
    const int usage = int(r_.u32(12));
    const QImage img =
        need(32) ? bitmap(r_.u32(16), r_.u32(20), r_.u32(24), r_.u32(28), usage) : QImage();
    if (img.isNull() || img.width() > 1024 || img.height() > 1024) {
        p_.objects().put(ih, Placeholder{});
        return;
    }
    BrushDef b;
    b.kind = BrushDef::Pattern;
    b.monoPattern = mono && img.format() == QImage::Format_Indexed8 && img.colorCount() <= 2;
    b.pattern = b.monoPattern ? img : img.convertToFormat(QImage::Format_ARGB32);
    p_.objects().put(ih, b);
}

void EmfPlayer::createFont() {
    const quint32 ih = r_.u32(8);
    if (ih == 0 || (ih & 0x80000000u))
        return;
    if (!need(40)) {
        p_.objects().put(ih, Placeholder{});
        return;
    }
    FontDef f;
    const qint32 height = r_.i32(12), width = r_.i32(16);
    f.height = height == INT32_MIN ? 0 : std::clamp(height, -1'000'000, 1'000'000);
    f.width = width == INT32_MIN ? 0 : std::clamp(width, -1'000'000, 1'000'000);
    f.escapement = std::clamp(r_.i32(20), -36000, 36000);
    f.weight = r_.i32(28);
    f.italic = r_.u8(32);
    f.underline = r_.u8(33);
    f.strikeOut = r_.u8(34);
    f.charset = r_.u8(35);
    f.pitchAndFamily = r_.u8(39);
    for (qint64 i = 0; i < 32 && r_.fits(40 + 2 * i, 2); ++i) {
        const quint16 c = r_.u16(40 + 2 * i);
        if (c == 0)
            break;
        f.face.append(QChar(c));
    }
    p_.objects().put(ih, f);
}

void EmfPlayer::createPalette() {
    const quint32 ih = r_.u32(8);
    if (ih == 0 || (ih & 0x80000000u))
        return;
    const qint64 count = std::min<qint64>(r_.u16(14), std::max<qint64>(0, (r_.size() - 16) / 4));
    Palette pal;
    for (qint64 i = 0; i < count; ++i)
        pal.append(qRgb(r_.u8(16 + 4 * i), r_.u8(17 + 4 * i), r_.u8(18 + 4 * i)));
    p_.objects().put(ih, pal);
}

QVector<QRect> EmfPlayer::rgnRects(qint64 offset, qint64 size) const {
    QVector<QRect> rects;
    const Bytes g = r_.mid(offset, size);
    if (g.size() < 32)
        return rects;
    const qint64 count = std::min<qint64>(g.u32(8), (g.size() - 32) / 16);
    for (qint64 i = 0; i < count; ++i) {
        const qint64 o = 32 + 16 * i;
        const qint64 l = g.i32(o), t = g.i32(o + 4), r = g.i32(o + 8), b = g.i32(o + 12);
        if (r > l && b > t && r - l < (1 << 30) && b - t < (1 << 30))
            rects.append(QRect(int(l), int(t), int(r - l), int(b - t)));
    }
    return rects;
}

QPainterPath EmfPlayer::rgnPath(qint64 offset, qint64 size, bool logical) {
    const QVector<QRect> rects = rgnRects(offset, size);
    QRegion region;
    if (rects.size() <= 4096) {
        for (const QRect& r : rects)
            region += r;
    } else {
        // Too many pieces to merge one by one: their common outline is close enough.
        QRect all;
        for (const QRect& r : rects)
            all |= r;
        region = all;
    }
    if (logical)
        return p_.regionToDevice(region);
    QPainterPath path;
    path.addRegion(region);
    return p_.referenceToDevice().map(path);
}

void EmfPlayer::extTextOut(bool wide,
                           qint64 base,
                           QPointF ref,
                           qint64 nChars,
                           qint64 offString,
                           quint32 options,
                           qint64 offDx,
                           bool hasRect,
                           const QRectF& rect) {
    TextRun run;
    run.ref = ref;
    run.options = options;
    run.hasRect = hasRect;
    run.rect = rect;
    const bool pdy = options & EtoPdy;
    const int step = pdy ? 8 : 4;
    if (nChars < 0 || nChars > 1'000'000)
        return;
    QVector<int> bytesPerUnit;
    if (wide) {
        if (!r_.fits(base + offString, nChars * 2))
            return;
        for (qint64 i = 0; i < nChars; ++i) {
            run.text.append(QChar(r_.u16(base + offString + 2 * i)));
            bytesPerUnit.append(1);
        }
    } else {
        if (!r_.fits(base + offString, nChars))
            return;
        const FontDef& font = p_.dc().font;
        const DecodedText dt =
            decodeAnsiText(r_.mid(base + offString, nChars).toByteArray(), font.charset, font.face);
        run.text = dt.text;
        run.symbol = dt.symbol;
        bytesPerUnit = dt.bytesPerUnit;
    }
    if (offDx > 0 && r_.fits(base + offDx, nChars * step)) {
        qint64 k = 0;
        for (int i = 0; i < run.text.size(); ++i) {
            double sx = 0, sy = 0;
            for (int b = 0; b < bytesPerUnit.value(i); ++b, ++k) {
                sx += r_.i32(base + offDx + k * step);
                if (pdy)
                    sy += r_.i32(base + offDx + k * step + 4);
            }
            run.dx.append(sx);
            if (pdy)
                run.dy.append(sy);
        }
    }
    p_.text(run);
}

void EmfPlayer::extTextOutRecord(bool wide) {
    if (!need(60))
        return;
    const quint32 options = r_.u32(52);
    const bool noRect = options & EtoNoRect;
    if (!noRect && !need(76))
        return;
    const QRectF rect = noRect ? QRectF() : rectL(56);
    const qint64 offDx = r_.u32(noRect ? 56 : 72);
    extTextOut(wide, 0, pt(36), r_.u32(44), r_.u32(48), options, offDx,
               !noRect && (options & (EtoOpaque | EtoClipped)), rect);
}

void EmfPlayer::polyTextOut(bool wide) {
    const qint64 count = r_.u32(36);
    for (qint64 i = 0; i < count && r_.fits(40 + i * 40, 40); ++i) {
        const qint64 o = 40 + i * 40;  // one EMRTEXT; its offsets count from the record start
        const quint32 options = r_.u32(o + 16);
        extTextOut(wide, 0, pt(o), r_.u32(o + 8), r_.u32(o + 12), options, r_.u32(o + 36),
                   options & (EtoOpaque | EtoClipped), rectL(o + 20));
    }
}

void EmfPlayer::smallTextOut() {
    if (!need(36))
        return;
    const QPointF ref(r_.i32(8), r_.i32(12));
    const qint64 n = r_.u32(16);
    const quint32 options = r_.u32(20);
    qint64 off = 36;
    QRectF rect;
    const bool hasRect = !(options & EtoNoRect);
    if (hasRect) {
        rect = rectL(36);
        off = 52;
    }
    TextRun run;
    run.ref = ref;
    run.options = options;
    run.hasRect = hasRect && (options & (EtoOpaque | EtoClipped));
    run.rect = rect;
    const bool bytes = options & EtoSmallChars;
    if (n > 1'000'000 || !r_.fits(off, n * (bytes ? 1 : 2)))
        return;
    for (qint64 i = 0; i < n; ++i)
        run.text.append(QChar(bytes ? r_.u8(off + i) : r_.u16(off + 2 * i)));
    p_.text(run);
}

QImage EmfPlayer::bitmap(quint32 offBmi,
                         quint32 cbBmi,
                         quint32 offBits,
                         quint32 cbBits,
                         int usage,
                         int heightOverride,
                         bool alpha) {
    if (cbBmi == 0 || !r_.fits(offBmi, cbBmi) || !r_.fits(offBits, cbBits))
        return {};
    QImage img = decodeDib(r_.mid(offBmi, cbBmi), r_.mid(offBits, cbBits), usage,
                           p_.dc().palette.get(), p_.pixelBudget(), heightOverride, alpha);
    p_.spendPixels(qint64(img.width()) * img.height());
    return img;
}

void EmfPlayer::bitBlt(quint32 type) {
    switch (type) {
        case 76:    // BITBLT
        case 77:    // STRETCHBLT
        case 78: {  // MASKBLT (the mask is not applied)
            if (!need(type == 77 ? 108 : 100))
                return;
            const QRectF dst(r_.i32(24), r_.i32(28), r_.i32(32), r_.i32(36));
            quint32 rop = r_.u32(40);
            if (type == 78)
                rop &= 0x00ffffff;
            const quint32 offBmi = r_.u32(84), cbBmi = r_.u32(88);
            if (offBmi == 0 || cbBmi == 0) {
                p_.patBlt(dst, rop);  // no source: a pattern blit
                return;
            }
            const QImage img = bitmap(offBmi, cbBmi, r_.u32(92), r_.u32(96), int(r_.u32(80)));
            const QPointF srcPos(r_.i32(44), r_.i32(48));
            const QSizeF srcSize = type == 77 ? QSizeF(r_.i32(100), r_.i32(104))
                                              : unscaledSource(img, srcPos, dst.size());
            p_.blit(dst, img, QRectF(srcPos, srcSize), rop);
            return;
        }
        case 80: {  // SETDIBITSTODEVICE
            if (!need(76))
                return;
            const qint64 start = r_.u32(68), scans = r_.u32(72);
            const Bytes info = r_.mid(r_.u32(48), r_.u32(52));
            const qint64 fullHeight = std::abs(qint64(info.i32(8)));
            const bool partial = info.u32(0) >= 40 && scans > 0 && scans < fullHeight;
            const QImage img = bitmap(r_.u32(48), r_.u32(52), r_.u32(56), r_.u32(60),
                                      int(r_.u32(64)), partial ? int(scans) : 0);
            QRectF src(r_.i32(32), r_.i32(36), r_.i32(40), r_.i32(44));
            if (partial)
                src.translate(0, -(fullHeight - start - scans));
            p_.blit(QRectF(r_.i32(24), r_.i32(28), r_.i32(40), r_.i32(44)), img, src, 0x00CC0020);
            return;
        }
        case 81: {  // STRETCHDIBITS
            if (!need(80))
                return;
            const QImage img =
                bitmap(r_.u32(48), r_.u32(52), r_.u32(56), r_.u32(60), int(r_.u32(64)));
            const QRectF dst(r_.i32(24), r_.i32(28), r_.i32(72), r_.i32(76));
            const QRectF src(r_.i32(32), r_.i32(36), r_.i32(40), r_.i32(44));
            p_.blit(dst, img, src, r_.u32(68));
            return;
        }
        case 114:    // ALPHABLEND
        case 116: {  // TRANSPARENTBLT
            if (!need(108))
                return;
            const QRectF dst(r_.i32(24), r_.i32(28), r_.i32(32), r_.i32(36));
            const QRectF src(r_.i32(44), r_.i32(48), r_.i32(100), r_.i32(104));
            if (type == 114) {
                quint8 b[4] = {r_.u8(40), r_.u8(41), r_.u8(42), r_.u8(43)};
                if ((b[0] || b[1]) && !b[2] && !b[3])
                    std::swap(b[0], b[3]), std::swap(b[1], b[2]);  // reversed byte order
                const bool srcAlpha = b[3] & 1;
                const QImage img = bitmap(r_.u32(84), r_.u32(88), r_.u32(92), r_.u32(96),
                                          int(r_.u32(80)), 0, srcAlpha);
                p_.alphaBlit(dst, img, src, b[2]);
            } else {
                QImage img =
                    bitmap(r_.u32(84), r_.u32(88), r_.u32(92), r_.u32(96), int(r_.u32(80)));
                if (img.isNull())
                    return;
                img = img.convertToFormat(QImage::Format_ARGB32);
                const QRgb key = colorRef(r_.u32(40)) & 0x00ffffff;
                for (int y = 0; y < img.height(); ++y) {
                    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                    for (int x = 0; x < img.width(); ++x)
                        if ((line[x] & 0x00ffffff) == key)
                            line[x] = 0;
                }
                p_.alphaBlit(dst, img, src, 255);
            }
            return;
        }
    }
}

void EmfPlayer::gradientFill() {
    if (!need(36))
        return;
    const qint64 nv = r_.u32(24), nt = r_.u32(28);
    const quint32 mode = r_.u32(32);
    if (nv > 65536 || nt > 65536 || !r_.fits(36, nv * 16))
        return;
    auto vertex = [&](quint32 i, QPointF& p, QRgb& c) {
        if (i >= nv)
            return false;
        const qint64 o = 36 + qint64(i) * 16;
        p = QPointF(r_.i32(o), r_.i32(o + 4));
        c = qRgb(r_.u16(o + 8) >> 8, r_.u16(o + 10) >> 8, r_.u16(o + 12) >> 8);
        return true;
    };
    const qint64 base = 36 + nv * 16;
    const int entry = mode == 2 ? 12 : 8;
    for (qint64 i = 0; i < nt && r_.fits(base + i * entry, entry); ++i) {
        const qint64 o = base + i * entry;
        QPointF a, b, c;
        QRgb ca, cb, cc;
        if (mode == 2) {
            if (vertex(r_.u32(o), a, ca) && vertex(r_.u32(o + 4), b, cb) &&
                vertex(r_.u32(o + 8), c, cc))
                p_.gradientTriangle(QPolygonF({a, b, c}), ca, cb, cc);
        } else if (mode <= 1) {
            if (vertex(r_.u32(o), a, ca) && vertex(r_.u32(o + 4), b, cb))
                p_.gradientRect(QRectF(a, b), ca, cb, mode == 1);
        }
    }
}

}  // namespace

bool isEmf(const Bytes& data) {
    return readHeader(data).has_value();
}

std::optional<Metafile> playEmf(const Bytes& data, double dpiX, double dpiY) {
    const std::optional<EmfHeader> h = readHeader(data);
    if (!h || emfPlusOnly(data, *h))
        return std::nullopt;
    Metafile result;
    result.size =
        fittedSize(h->naturalMm.width() * dpiX / 25.4, h->naturalMm.height() * dpiY / 25.4);
    QPainter painter(&result.picture);
    {
        Player player(painter, result.size);
        player.frameReferenceDevice(h->frameRef, h->pxPerMm);
        EmfPlayer(player, data, *h).play();
        player.finish();
    }
    painter.end();
    result.picture.setBoundingRect(QRect(QPoint(0, 0), result.size));
    return result;
}

}  // namespace kordel::mf
