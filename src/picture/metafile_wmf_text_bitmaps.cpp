// Windows metafiles: the text and bitmap records.
#include <algorithm>
#include <cmath>

#include "metafile_wmf_player.h"

namespace kordel::mf {

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

}  // namespace kordel::mf
