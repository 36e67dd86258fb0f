// Windows metafiles (16-bit records), placeable or plain.
#include <QPicture>
#include <algorithm>
#include <cmath>

#include "metafile_wmf_player.h"

namespace kordel::mf {

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;

std::optional<WmfHeader> readHeader(const Bytes& d) {
    WmfHeader h;
    if (d.u32(0) == kPlaceableKey) {
        if (!d.fits(0, 22))
            return std::nullopt;
        h.placeable = true;
        const QPointF a(d.i16(6), d.i16(8)), b(d.i16(10), d.i16(12));
        h.bbox = QRectF(a, b).normalized();
        h.inch = d.u16(14);
        h.start = 22;
    }
    const quint16 type = d.u16(h.start), headerWords = d.u16(h.start + 2);
    if ((type != 1 && type != 2) || headerWords != 9 || !d.fits(h.start, 18))
        return std::nullopt;
    const qint64 declared = qint64(d.u32(h.start + 6)) * 2;
    const qint64 present = d.size() - h.start;
    // The declared size lies in both directions; a nonsense one is ignored.
    h.end = h.start + ((declared >= 24 && declared < present) ? declared : present);
    h.objects = d.u16(h.start + 10);
    return h;
}

bool isDrawing(quint16 fn) {
    switch (fn) {
        case 0x0213:
        case 0x0325:
        case 0x0324:
        case 0x0538:
        case 0x041B:
        case 0x061C:
        case 0x0418:
        case 0x0817:
        case 0x081A:
        case 0x0830:
        case 0x041F:
        case 0x061D:
        case 0x0228:
        case 0x0429:
        case 0x012A:
        case 0x012B:
        case 0x0521:
        case 0x0A32:
        case 0x0922:
        case 0x0B23:
        case 0x0940:
        case 0x0B41:
        case 0x0F43:
        case 0x0D33:
            return true;
    }
    return false;
}

// Canonical function numbers by their low byte, for files that write odd high bytes.
quint16 canonical(quint16 fn) {
    static const quint16 known[] = {
        0x0201, 0x0102, 0x0103, 0x0104, 0x0105, 0x0106, 0x0107, 0x0108, 0x0209, 0x020A, 0x020B,
        0x020C, 0x020D, 0x020E, 0x020F, 0x0410, 0x0211, 0x0412, 0x001E, 0x0127, 0x012E, 0x0231,
        0x0214, 0x0213, 0x02FA, 0x02FC, 0x02FB, 0x00F7, 0x06FF, 0x0142, 0x01F9, 0x012D, 0x01F0,
        0x0234, 0x0325, 0x0324, 0x0538, 0x041B, 0x061C, 0x0418, 0x0817, 0x081A, 0x0830, 0x041F,
        0x061D, 0x0228, 0x0429, 0x012A, 0x012B, 0x0521, 0x0A32, 0x0922, 0x0B23, 0x0940, 0x0B41,
        0x0F43, 0x0D33, 0x0416, 0x0415, 0x0220, 0x012C, 0x0626};
    for (quint16 k : known)
        if (k == fn)
            return fn;
    if ((fn & 0xff) == 0)
        return fn;
    for (quint16 k : known)
        if ((k & 0xff) == (fn & 0xff))
            return k;
    return fn;
}

}  // namespace

void WmfPlayer::play() {
    p_.objects().reset(h_.objects);
    qint64 pos = h_.start + 18;
    for (qint64 n = 0; pos + 6 <= h_.end && n < kMaxRecords; ++n) {
        const quint32 words = d_.u32(pos);
        const quint16 fn = d_.u16(pos + 4);
        if (words < 3 || qint64(words) * 2 > h_.end - pos)
            break;  // the framing itself is broken
        if (fn == 0)
            break;  // META_EOF
        record(canonical(fn), d_.mid(pos + 6, qint64(words) * 2 - 6), words);
        pos += qint64(words) * 2;
    }
}

void WmfPlayer::record(quint16 fn, const Bytes& params, quint32 words) {
    r_ = params;
    DcState& dc = p_.dc();
    switch (fn) {
        case 0x0201:  // SETBKCOLOR
            if (need(4))
                dc.bkColor = p_.colour(r_.u32(0));
            break;
        case 0x0102:  // SETBKMODE
            if (u(0) == 1 || u(0) == 2)
                dc.bkMode = u(0);
            break;
        case 0x0103:  // SETMAPMODE
            p_.setMapMode(u(0));
            break;
        case 0x0104:  // SETROP2
            if (u(0) >= 1 && u(0) <= 16)
                dc.rop2 = u(0);
            break;
        case 0x0106:  // SETPOLYFILLMODE
            if (u(0) == 1 || u(0) == 2)
                dc.fillMode = u(0);
            break;
        case 0x0107:  // SETSTRETCHBLTMODE
            dc.stretchMode = u(0);
            break;
        case 0x0108:  // SETTEXTCHAREXTRA
            dc.charExtra = s(0);
            break;
        case 0x0209:  // SETTEXTCOLOR
            if (need(4))
                dc.textColor = p_.colour(r_.u32(0));
            break;
        case 0x020B:  // SETWINDOWORG
            if (need(4))
                p_.setWindowOrg(pt(0, 1));
            break;
        case 0x020C:  // SETWINDOWEXT
            if (need(4))
                p_.setWindowExt(pt(0, 1));
            break;
        case 0x020D:  // SETVIEWPORTORG
            if (need(4))
                p_.setViewportOrg(pt(0, 1));
            break;
        case 0x020E:  // SETVIEWPORTEXT
            if (need(4))
                p_.setViewportExt(pt(0, 1));
            break;
        case 0x020F:  // OFFSETWINDOWORG
            if (need(4))
                p_.offsetWindowOrg(pt(0, 1));
            break;
        case 0x0211:  // OFFSETVIEWPORTORG
            if (need(4))
                p_.offsetViewportOrg(pt(0, 1));
            break;
        case 0x0410:  // SCALEWINDOWEXT
            if (need(8))
                p_.scaleWindowExt(s(3), s(2), s(1), s(0));
            break;
        case 0x0412:  // SCALEVIEWPORTEXT
            if (need(8))
                p_.scaleViewportExt(s(3), s(2), s(1), s(0));
            break;
        case 0x001E:  // SAVEDC
            p_.saveDc();
            break;
        case 0x0127:  // RESTOREDC
            p_.restoreDc(s(0));
            break;
        case 0x012E:  // SETTEXTALIGN
            dc.textAlign = u(0);
            break;
        case 0x0214:  // MOVETO
            if (need(4))
                p_.moveTo(pt(0, 1));
            break;
        case 0x0213:  // LINETO
            if (need(4))
                p_.lineTo(pt(0, 1));
            break;

        case 0x02FA: {  // CREATEPENINDIRECT
            if (!need(10)) {
                create(Placeholder{});
                break;
            }
            PenDef pen;
            pen.style = u(0) & 0x0f;
            if (pen.style > PsInsideFrame)
                pen.style = PsSolid;
            pen.endCap = u(0) & 0x0f00;
            pen.join = u(0) & 0xf000;
            pen.width = std::abs(s(1));
            pen.color = p_.colour(r_.u32(6));
            create(pen);
            break;
        }
        case 0x02FC: {  // CREATEBRUSHINDIRECT
            if (!need(6)) {
                create(Placeholder{});
                break;
            }
            BrushDef b;
            b.color = p_.colour(r_.u32(2));
            b.hatch = u(3);
            switch (u(0)) {
                case 1:
                    b.kind = BrushDef::Null;
                    break;
                case 2:
                    b.kind = BrushDef::Hatched;
                    break;
                default:
                    b.kind = BrushDef::Solid;  // patterns cannot be described here
                    break;
            }
            create(b);
            break;
        }
        case 0x02FB:  // CREATEFONTINDIRECT
            createFont();
            break;
        case 0x00F7: {  // CREATEPALETTE
            const int count = std::min<int>(u(1), int((r_.size() - 4) / 4));
            Palette pal;
            for (int i = 0; i < count; ++i)
                pal.append(qRgb(r_.u8(4 + 4 * i), r_.u8(5 + 4 * i), r_.u8(6 + 4 * i)));
            create(pal);
            break;
        }
        case 0x06FF:  // CREATEREGION
            createRegion();
            break;
        case 0x0142:  // DIBCREATEPATTERNBRUSH
            createDibBrush();
            break;
        case 0x01F9:  // CREATEPATTERNBRUSH
            createPatternBrush();
            break;
        case 0x00F8:  // CREATEBRUSH
        case 0x06FE:  // CREATEBITMAP
        case 0x02FD:  // CREATEBITMAPINDIRECT
            create(Placeholder{});
            break;
        case 0x012D:  // SELECTOBJECT
            selectObject(u(0));
            break;
        case 0x0234: {  // SELECTPALETTE
            const GdiObject* o = p_.objects().get(u(0));
            if (o && std::holds_alternative<Palette>(*o))
                dc.palette = std::make_shared<const Palette>(std::get<Palette>(*o));
            break;
        }
        case 0x01F0:  // DELETEOBJECT
            p_.objects().remove(u(0));
            break;

        case 0x0325:  // POLYLINE
            p_.polyline(points(2, u(0)));
            break;
        case 0x0324:  // POLYGON
            p_.polygon(points(2, u(0)));
            break;
        case 0x0538:  // POLYPOLYGON
            polyPolygon();
            break;
        case 0x041B:  // RECTANGLE
            if (need(8))
                p_.rectangle(rectRev(0));
            break;
        case 0x061C:  // ROUNDRECT
            if (need(12))
                p_.roundRect(rectRev(2), QSizeF(s(1), s(0)));
            break;
        case 0x0418:  // ELLIPSE
            if (need(8))
                p_.ellipse(rectRev(0));
            break;
        case 0x0817:  // ARC
        case 0x081A:  // PIE
        case 0x0830:  // CHORD
            if (need(16))
                p_.arc(fn == 0x0817   ? ArcKind::Arc
                       : fn == 0x081A ? ArcKind::Pie
                                      : ArcKind::Chord,
                       rectRev(4), pt(2, 3), pt(0, 1));
            break;
        case 0x041F:  // SETPIXEL
            if (need(8))
                p_.setPixel(pt(2, 3), p_.colour(r_.u32(0)));
            break;
        case 0x061D:  // PATBLT
            if (need(12))
                p_.patBlt(QRectF(s(5), s(4), s(3), s(2)), r_.u32(0));
            break;
        case 0x0228: {  // FILLREGION
            // Writers disagree on the order of the two indices; tell them apart by kind.
            const QRegion* rg = region(u(0));
            const BrushDef* b = brush(u(1));
            if (!rg || !b) {
                rg = region(u(1));
                b = brush(u(0));
            }
            if (rg && b)
                p_.fillRegion(p_.regionToDevice(*rg), *b);
            break;
        }
        case 0x0429: {  // FRAMEREGION
            const QRegion* rg = region(u(0));
            const BrushDef* b = brush(u(1));
            if (!rg || !b) {
                rg = region(u(1));
                b = brush(u(0));
            }
            if (rg && b && need(8))
                p_.frameRegion(p_.regionToDevice(*rg), *b, QSizeF(s(3), s(2)));
            break;
        }
        case 0x012A:  // INVERTREGION
            if (const QRegion* rg = region(u(0)))
                p_.invertRegion(p_.regionToDevice(*rg));
            break;
        case 0x012B:  // PAINTREGION
            if (const QRegion* rg = region(u(0)))
                p_.fillRegion(p_.regionToDevice(*rg), dc.brush);
            break;

        case 0x0521:  // TEXTOUT
            textOut();
            break;
        case 0x0A32:  // EXTTEXTOUT
            extTextOut();
            break;

        case 0x0922:  // BITBLT
        case 0x0B23:  // STRETCHBLT
        case 0x0940:  // DIBBITBLT
        case 0x0B41:  // DIBSTRETCHBLT
        case 0x0F43:  // STRETCHDIB
        case 0x0D33:  // SETDIBTODEV
            bitBlt(fn, words);
            break;

        case 0x0416:  // INTERSECTCLIPRECT
            if (need(8))
                p_.intersectClipRect(rectRev(0));
            break;
        case 0x0415:  // EXCLUDECLIPRECT
            if (need(8))
                p_.excludeClipRect(rectRev(0));
            break;
        case 0x0220:  // OFFSETCLIPRGN
            if (need(4))
                p_.offsetClip(pt(0, 1));
            break;
        case 0x012C:  // SELECTCLIPREGION
            selectClipRegion(u(0));
            break;

        default:
            // Escapes, palette animation, flood fills, printer records and unknown records.
            break;
    }
}

QPolygonF WmfPlayer::points(qint64 offset, qint64 count) const {
    count = std::min<qint64>(count, std::max<qint64>(0, (r_.size() - offset) / 4));
    QPolygonF poly;
    poly.reserve(count);
    for (qint64 i = 0; i < count; ++i)
        poly.append(QPointF(r_.i16(offset + 4 * i), r_.i16(offset + 4 * i + 2)));
    return poly;
}

void WmfPlayer::polyPolygon() {
    const qint64 n = u(0);
    if (!r_.fits(2, 2 * n))
        return;
    QVector<QPolygonF> polys;
    qint64 off = 2 + 2 * n;
    for (qint64 i = 0; i < n && off < r_.size(); ++i) {
        const qint64 count = u(int(1 + i));
        QPolygonF poly = points(off, count);
        off += 4 * count;
        polys.append(poly);
    }
    p_.polyPolygon(polys);
}

namespace {

struct Prescan {
    int mapMode = 1;
    QPointF winOrg;
    QPointF winExt;
    bool windowSet = false;
};

// The window in effect before the first drawing record frames a plain WMF.
Prescan prescan(const Bytes& d, const WmfHeader& h) {
    Prescan ps;
    qint64 pos = h.start + 18;
    for (qint64 n = 0; pos + 6 <= h.end && n < kMaxRecords; ++n) {
        const quint32 words = d.u32(pos);
        const quint16 fn = canonical(d.u16(pos + 4));
        if (words < 3 || qint64(words) * 2 > h.end - pos || fn == 0 || isDrawing(fn))
            break;
        const Bytes r = d.mid(pos + 6, qint64(words) * 2 - 6);
        if (fn == 0x0103) {
            ps.mapMode = r.u16(0);
        } else if (fn == 0x020B && r.size() >= 4) {
            ps.winOrg = QPointF(r.i16(2), r.i16(0));
        } else if (fn == 0x020C && r.size() >= 4 && r.i16(0) != 0 && r.i16(2) != 0) {
            ps.winExt = QPointF(r.i16(2), r.i16(0));
            ps.windowSet = true;
        }
        pos += qint64(words) * 2;
    }
    return ps;
}

// Without physical units, 96 logical units make an inch and the width stays within 1024.
QSizeF capped(QSizeF s) {
    if (s.width() > 1024)
        s *= 1024 / s.width();
    return s;
}

}  // namespace

std::optional<Metafile> playWmf(const Bytes& data, double dpiX, double dpiY) {
    const std::optional<WmfHeader> h = readHeader(data);
    if (!h)
        return std::nullopt;
    enum { Window, Measured } framing = Window;
    QRectF window, bbox, frameRef;
    double inch = 0;
    QSize size;
    if (h->placeable && h->inch > 0 && h->bbox.width() > 0 && h->bbox.height() > 0) {
        window = bbox = h->bbox;
        inch = h->inch;
        size = fittedSize(bbox.width() * dpiX / inch, bbox.height() * dpiY / inch);
    } else {
        const Prescan ps = prescan(data, *h);
        if (ps.windowSet && (ps.mapMode == 1 || ps.mapMode >= 7)) {
            window = QRectF(ps.winOrg, QSizeF(ps.winExt.x(), ps.winExt.y()));
            const QSizeF s = capped(QSizeF(std::abs(ps.winExt.x()), std::abs(ps.winExt.y())));
            size = fittedSize(s.width() * dpiX / 96, s.height() * dpiY / 96);
        } else {
            // Measure what the records draw at 96 dpi, then frame that.
            framing = Measured;
            QPicture scratch;
            QPainter painter(&scratch);
            Player measure(painter, QSize(1, 1));
            measure.setUnbounded(true);
            measure.frameReferenceDevice(QRectF(0, 0, 1, 1), QPointF(96 / 25.4, 96 / 25.4));
            WmfPlayer(measure, data, *h).play();
            measure.finish();
            painter.end();
            frameRef = measure.paintedBounds();
            if (!(frameRef.width() > 0) || !(frameRef.height() > 0))
                return std::nullopt;
            const QSizeF s =
                ps.mapMode >= 2 && ps.mapMode <= 6 ? frameRef.size() : capped(frameRef.size());
            size = fittedSize(s.width() * dpiX / 96, s.height() * dpiY / 96);
        }
    }

    Metafile result;
    result.size = size;
    QPainter painter(&result.picture);
    {
        Player player(painter, size);
        if (framing == Window)
            player.frameWindowToTarget(window, inch, bbox);
        else
            player.frameReferenceDevice(frameRef, QPointF(96 / 25.4, 96 / 25.4));
        WmfPlayer(player, data, *h).play();
        player.finish();
    }
    painter.end();
    result.picture.setBoundingRect(QRect(QPoint(0, 0), size));
    return result;
}

}  // namespace kordel::mf
