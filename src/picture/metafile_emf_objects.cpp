// Enhanced metafiles: the records that create, select and delete GDI objects, and regions.
#include <algorithm>

#include "metafile_emf_player.h"

namespace kordel::mf {

void EmfPlayer::selectObject(quint32 index) {
    if (index & 0x80000000u) {
        selectStock(index & 0x7fffffffu);
        return;
    }
    if (const GdiObject* o = p_.objects().get(index))
        selectInto(p_.dc(), *o);
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

}  // namespace kordel::mf
