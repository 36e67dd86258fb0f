// Windows metafiles: the records that create, select and delete GDI objects, regions and
// bitmap brushes.
#include <algorithm>

#include "metafile_wmf_player.h"

namespace kordel::mf {

void WmfPlayer::selectObject(quint32 index) {
    const GdiObject* o = p_.objects().get(index);
    if (o && !selectInto(p_.dc(), *o) && std::holds_alternative<QRegion>(*o))
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

}  // namespace kordel::mf
