// Enhanced metafiles (32-bit records).
#include <QPicture>
#include <algorithm>
#include <cmath>

#include "metafile_emf_player.h"

namespace kordel::mf {

namespace {

constexpr quint32 kEmfSignature = 0x464D4520;    // " EMF"
constexpr quint32 kEmfPlusComment = 0x2B464D45;  // "EMF+"

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

}  // namespace

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
