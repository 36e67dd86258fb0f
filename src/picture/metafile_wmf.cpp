// Windows metafiles (16-bit records), placeable or plain.
#include <QPicture>
#include <algorithm>
#include <cmath>

#include "metafile_state.h"

namespace kordel::mf {

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;

struct WmfHeader {
    bool placeable = false;
    QRectF bbox;  // normalised
    int inch = 0;
    qint64 start = 0;  // the META_HEADER
    qint64 end = 0;    // end of the records
    int objects = 0;
};

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

class WmfPlayer {
public:
    WmfPlayer(Player& player, const Bytes& data, const WmfHeader& header)
        : p_(player), d_(data), h_(header) {}

    void play() {
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

private:
    qint16 s(int i) const { return r_.i16(2 * i); }
    quint16 u(int i) const { return r_.u16(2 * i); }
    QPointF pt(int iy, int ix) const { return QPointF(s(ix), s(iy)); }
    // A rectangle stored bottom, right, top, left from parameter i.
    QRectF rectRev(int i) const { return QRectF(pt(i + 2, i + 3), pt(i, i + 1)); }
    bool need(qint64 bytes) const { return r_.size() >= bytes; }

    void create(GdiObject o) { p_.objects().addLowest(std::move(o)); }
    void record(quint16 fn, const Bytes& params, quint32 words);
    void selectObject(quint32 index);
    void createFont();
    void createRegion();
    void createDibBrush();
    void createPatternBrush();
    QPolygonF points(qint64 offset, qint64 count) const;
    void polyPolygon();
    void textOut();
    void extTextOut();
    void drawText(QPointF ref,
                  const QByteArray& bytes,
                  const Bytes& dx,
                  bool pdy,
                  quint32 options,
                  bool hasRect,
                  const QRectF& rect);
    QImage dib(const Bytes& packed, int usage);
    QImage bitmap16(const Bytes& b);
    void bitBlt(quint16 fn, quint32 words);
    void selectClipRegion(quint32 index);
    const QRegion* region(quint32 index) const;
    const BrushDef* brush(quint32 index) const;

    Player& p_;
    Bytes d_;
    WmfHeader h_;
    Bytes r_;  // parameters of the current record
};

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

void WmfPlayer::selectObject(quint32 index) {
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
    else if (std::holds_alternative<QRegion>(*o))
        selectClipRegion(index);
}

void WmfPlayer::selectClipRegion(quint32 index) {
    const QRegion* rg = region(index);
    if (!rg) {
        p_.resetClip();
        return;
    }
    p_.combineClip(p_.regionToDevice(*rg), RgnCopy);
}

const QRegion* WmfPlayer::region(quint32 index) const {
    const GdiObject* o = p_.objects().get(index);
    return o ? std::get_if<QRegion>(o) : nullptr;
}

const BrushDef* WmfPlayer::brush(quint32 index) const {
    const GdiObject* o = p_.objects().get(index);
    return o ? std::get_if<BrushDef>(o) : nullptr;
}

void WmfPlayer::createFont() {
    if (!need(18)) {
        create(Placeholder{});
        return;
    }
    FontDef f;
    f.height = s(0);
    f.width = s(1);
    f.escapement = s(2);
    f.weight = s(4);
    f.italic = r_.u8(10);
    f.underline = r_.u8(11);
    f.strikeOut = r_.u8(12);
    f.charset = r_.u8(13);
    f.pitchAndFamily = r_.u8(17);
    f.face = decodeFaceName(r_.mid(18, 32).toByteArray(), f.charset);
    create(f);
}

void WmfPlayer::createRegion() {
    const int scans = u(5);
    QRegion region;
    int pieces = 0;
    qint64 off = 22;
    for (int i = 0; i < scans; ++i) {
        const int count = u(int(off / 2));
        if (count % 2 || !r_.fits(off, 6 + 2 * qint64(count) + 2) ||
            r_.u16(off + 6 + 2 * count) != count)
            break;
        const int top = r_.i16(off + 2), bottom = r_.i16(off + 4);
        for (int k = 0; k < count / 2; ++k) {
            const int left = r_.i16(off + 6 + 4 * k), right = r_.i16(off + 8 + 4 * k);
            if (right <= left || bottom <= top)
                continue;
            // Merging is quadratic in the pieces: past a bound their outline stands in.
            if (++pieces < 4096)
                region += QRect(left, top, right - left, bottom - top);
            else
                region =
                    QRegion(region.boundingRect() | QRect(left, top, right - left, bottom - top));
        }
        off += 6 + 2 * qint64(count) + 2;
    }
    create(region);
}

QImage WmfPlayer::dib(const Bytes& packed, int usage) {
    const qint64 info = dibInfoSize(packed, usage);
    if (info <= 0)
        return {};
    QImage img =
        decodeDib(packed, packed.mid(info), usage, p_.dc().palette.get(), p_.pixelBudget());
    p_.spendPixels(qint64(img.width()) * img.height());
    return img;
}

void WmfPlayer::createDibBrush() {
    const int style = u(0);
    int usage = u(1);
    if (style == 3)
        usage = 0;  // BS_PATTERN: the colour table is plain RGB
    QImage img = need(4) ? dib(r_.mid(4), usage) : QImage();
    if (img.isNull() || img.width() > 1024 || img.height() > 1024) {
        create(Placeholder{});
        return;
    }
    BrushDef b;
    b.kind = BrushDef::Pattern;
    b.monoPattern = style == 3 && img.format() == QImage::Format_Indexed8 && img.colorCount() <= 2;
    b.pattern = b.monoPattern ? img : img.convertToFormat(QImage::Format_ARGB32);
    if (!img.isNull())
        b.color = img.convertToFormat(QImage::Format_RGB32)
                      .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                      .pixel(0, 0);
    create(b);
}

void WmfPlayer::createPatternBrush() {
    // Old device-dependent pattern: a Bitmap16 header, 18 unused bytes, then the rows.
    const int width = s(1), height = s(2), widthBytes = s(3);
    const int planes = r_.u8(8), bits = r_.u8(9);
    if (width <= 0 || height <= 0 || width > 256 || height > 256 || planes != 1 || bits != 1 ||
        widthBytes < (width + 7) / 8 || !r_.fits(32, qint64(widthBytes) * height)) {
        create(Placeholder{});
        return;
    }
    QImage img(width, height, QImage::Format_Indexed8);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.scanLine(y)[x] = (r_.u8(32 + qint64(y) * widthBytes + x / 8) >> (7 - (x & 7))) & 1;
    BrushDef b;
    b.kind = BrushDef::Pattern;
    b.monoPattern = true;
    b.pattern = img;
    create(b);
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

void WmfPlayer::drawText(QPointF ref,
                         const QByteArray& bytes,
                         const Bytes& dx,
                         bool pdy,
                         quint32 options,
                         bool hasRect,
                         const QRectF& rect) {
    const FontDef& font = p_.dc().font;
    const DecodedText dt = decodeAnsiText(bytes, font.charset, font.face);
    TextRun run;
    run.ref = ref;
    run.text = dt.text;
    run.options = options;
    run.hasRect = hasRect;
    run.rect = rect;
    run.symbol = dt.symbol;
    const int step = pdy ? 4 : 2;
    if (dx.size() >= qint64(bytes.size()) * step && !bytes.isEmpty()) {
        // One advance per byte: a double-byte character moves by the sum of both.
        int b = 0;
        for (int i = 0; i < dt.text.size(); ++i) {
            double sx = 0, sy = 0;
            for (int k = 0; k < dt.bytesPerUnit.value(i); ++k, ++b) {
                sx += dx.i16(qint64(b) * step);
                if (pdy)
                    sy += dx.i16(qint64(b) * step + 2);
            }
            run.dx.append(sx);
            if (pdy)
                run.dy.append(sy);
        }
    }
    p_.text(run);
}

void WmfPlayer::textOut() {
    const qint64 len = u(0);
    const qint64 padded = len + (len & 1);
    if (!r_.fits(2, padded + 4))
        return;
    const QPointF ref(r_.i16(2 + padded + 2), r_.i16(2 + padded));
    drawText(ref, r_.mid(2, len).toByteArray(), Bytes(), false, 0, false, QRectF());
}

void WmfPlayer::extTextOut() {
    if (!need(8))
        return;
    const QPointF ref(s(1), s(0));
    const qint64 len = u(2);
    const quint32 options = u(3);
    qint64 off = 8;
    QRectF rect;
    const bool hasRect = options & (EtoOpaque | EtoClipped);
    if (hasRect) {
        if (!need(16))
            return;
        rect = QRectF(QPointF(s(4), s(5)), QPointF(s(6), s(7)));
        off = 16;
    }
    if (!r_.fits(off, len))
        return;
    const QByteArray bytes = r_.mid(off, len).toByteArray();
    const Bytes dx = r_.mid(off + len + (len & 1));
    drawText(ref, bytes, dx, options & EtoPdy, options, hasRect, rect);
}

QImage WmfPlayer::bitmap16(const Bytes& b) {
    const int width = b.i16(2), height = b.i16(4), widthBytes = b.i16(6);
    const int planes = b.u8(8), bits = b.u8(9);
    if (width <= 0 || height <= 0 || planes != 1 || (bits != 1 && bits != 24 && bits != 32) ||
        widthBytes < (qint64(width) * bits + 7) / 8 || !b.fits(10, qint64(widthBytes) * height) ||
        qint64(width) * height > p_.pixelBudget())
        return {};
    QImage img(width, height, QImage::Format_RGB32);
    if (img.isNull())
        return {};
    const QRgb fg = p_.dc().textColor, bg = p_.dc().bkColor;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        const qint64 row = 10 + qint64(y) * widthBytes;
        for (int x = 0; x < width; ++x) {
            if (bits == 1) {
                line[x] = ((b.u8(row + x / 8) >> (7 - (x & 7))) & 1) ? bg : fg;
            } else {
                const qint64 p = row + qint64(x) * (bits / 8);
                line[x] = qRgb(b.u8(p + 2), b.u8(p + 1), b.u8(p));
            }
        }
    }
    p_.spendPixels(qint64(width) * height);
    return img;
}

void WmfPlayer::bitBlt(quint16 fn, quint32 words) {
    // Without a source bitmap the record is a pattern blit with an extra reserved word.
    const bool noSource = words == quint32(fn >> 8) + 3;
    const bool stretch = fn == 0x0B23 || fn == 0x0B41;
    QRectF dst, src;
    quint32 rop = 0x00CC0020;
    QImage img;
    if (fn == 0x0F43 || fn == 0x0D33) {
        if (!need(fn == 0x0F43 ? 22 : 18))
            return;
        if (fn == 0x0F43) {  // STRETCHDIB
            rop = r_.u32(0);
            dst = QRectF(s(10), s(9), s(8), s(7));
            src = QRectF(s(6), s(5), s(4), s(3));
            img = dib(r_.mid(22), u(2));
        } else {  // SETDIBTODEV: an unscaled copy of some scan lines
            const int scans = u(1), start = u(2);
            dst = QRectF(s(8), s(7), s(6), s(5));
            src = QRectF(s(4), s(3), s(6), s(5));
            const Bytes packed = r_.mid(18);
            const qint64 info = dibInfoSize(packed, u(0));
            const qint64 fullHeight = std::abs(qint64(packed.i32(8)));
            if (info <= 0)
                return;
            const bool partial = packed.u32(0) >= 40 && scans > 0 && scans < fullHeight;
            img = decodeDib(packed, packed.mid(info), u(0), p_.dc().palette.get(), p_.pixelBudget(),
                            partial ? scans : 0);
            p_.spendPixels(qint64(img.width()) * img.height());
            if (partial)
                src.translate(0, -(fullHeight - start - scans));
        }
        p_.blit(dst, img, src, rop);
        return;
    }
    rop = r_.u32(0);
    if (stretch) {
        // ROP, srcH, srcW, ySrc, xSrc, [reserved], dstH, dstW, yDst, xDst
        const int o = noSource ? 1 : 0;
        if (!need(2 * (10 + o)))
            return;
        src = QRectF(s(5), s(4), s(3), s(2));
        dst = QRectF(s(9 + o), s(8 + o), s(7 + o), s(6 + o));
        if (!noSource)
            img = fn == 0x0B23 ? bitmap16(r_.mid(20)) : dib(r_.mid(20), 0);
    } else {
        // ROP, ySrc, xSrc, [reserved], height, width, yDst, xDst
        const int o = noSource ? 1 : 0;
        if (!need(2 * (8 + o)))
            return;
        dst = QRectF(s(7 + o), s(6 + o), s(5 + o), s(4 + o));
        src = QRectF(s(3), s(2), std::abs(s(5 + o)), std::abs(s(4 + o)));
        if (!noSource)
            img = fn == 0x0922 ? bitmap16(r_.mid(16)) : dib(r_.mid(16), 0);
        // No source size of its own: when the destination's reaches past the bitmap, the
        // whole bitmap was meant.
        if (!img.isNull() && (src.right() > img.width() || src.bottom() > img.height()))
            src.setSize(QSizeF(std::max(1.0, img.width() - src.x()),
                               std::max(1.0, img.height() - src.y())));
    }
    if (noSource)
        p_.patBlt(dst, rop);
    else
        p_.blit(dst, img, src, rop);
}

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
