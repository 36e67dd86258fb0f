// Enhanced metafiles: the text, bitmap and gradient records.
#include <algorithm>
#include <cmath>

#include "metafile_emf_player.h"

namespace kordel::mf {

namespace {

// An unscaled blit names no source size: the destination's. When that reaches past the
// bitmap, the writer meant the whole bitmap in the destination (as other players read it).
QSizeF unscaledSource(const QImage& img, QPointF pos, QSizeF dst) {
    QSizeF s(std::abs(dst.width()), std::abs(dst.height()));
    if (!img.isNull() && (pos.x() + s.width() > img.width() || pos.y() + s.height() > img.height()))
        s = QSizeF(std::max(1.0, img.width() - pos.x()), std::max(1.0, img.height() - pos.y()));
    return s;
}

}  // namespace

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

}  // namespace kordel::mf
