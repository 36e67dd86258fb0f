// Pens, brushes and raster operations, and the bitmaps the player blits.
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

#include "metafile_state.h"

namespace kordel::mf {

namespace {

// GDI's 8×8 hatch cells, one byte per row, most significant bit leftmost.
const uchar kHatch[6][8] = {
    {0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal "\"
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal "/"
    {0x08, 0x08, 0x08, 0xff, 0x08, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

enum class RopColour { Keep, Black, White, Invert, Skip };

// A binary raster operation as a truth table (bit index: 2·source + destination) turned into
// a composition mode plus what to do with the source colour.
QPainter::CompositionMode binaryRop(int table, RopColour& colour) {
    colour = RopColour::Keep;
    switch (table & 15) {
        case 0:
            colour = RopColour::Black;
            return QPainter::CompositionMode_SourceOver;
        case 15:
            colour = RopColour::White;
            return QPainter::CompositionMode_SourceOver;
        case 12:
            return QPainter::CompositionMode_SourceOver;
        case 3:
            colour = RopColour::Invert;
            return QPainter::CompositionMode_SourceOver;
        case 10:
            colour = RopColour::Skip;
            return QPainter::CompositionMode_SourceOver;
        case 5:
            return QPainter::RasterOp_NotDestination;
        case 6:
            return QPainter::RasterOp_SourceXorDestination;
        case 9:
            return QPainter::RasterOp_NotSourceXorDestination;
        case 8:
            return QPainter::RasterOp_SourceAndDestination;
        case 14:
            return QPainter::RasterOp_SourceOrDestination;
        case 1:
            return QPainter::RasterOp_NotSourceAndNotDestination;
        case 7:
            return QPainter::RasterOp_NotSourceOrNotDestination;
        case 2:
            return QPainter::RasterOp_NotSourceAndDestination;
        case 11:
            return QPainter::RasterOp_NotSourceOrDestination;
        case 4:
            return QPainter::RasterOp_SourceAndNotDestination;
        case 13:
            return QPainter::RasterOp_SourceOrNotDestination;
    }
    return QPainter::CompositionMode_SourceOver;
}

// Truth table of a ternary raster operation restricted to one operand (P or S) and D.
int tableOf(int rop, bool pattern) {
    int t = 0;
    for (int a = 0; a < 2; ++a)
        for (int d = 0; d < 2; ++d) {
            const int bit = pattern ? ((a << 2) | d) : ((a << 1) | d);
            if ((rop >> bit) & 1)
                t |= 1 << (a * 2 + d);
        }
    return t;
}

QRgb invertRgb(QRgb c) {
    return qRgba(255 - qRed(c), 255 - qGreen(c), 255 - qBlue(c), qAlpha(c));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pens, brushes, raster operations

double Player::penDeviceWidth() {
    const QTransform& t = transform();
    return s_.pen.width * std::hypot(t.m11(), t.m12());
}

QPen Player::devicePen() {
    const PenDef& d = s_.pen;
    if (d.style == PsNull)
        return QPen(Qt::NoPen);
    QPen pen{QColor(d.color)};
    const double w = d.geometric ? penDeviceWidth() : 0;
    const bool thin = !(w >= 1.5);
    if (thin) {
        pen.setWidthF(1);
        pen.setCosmetic(true);
        pen.setCapStyle(Qt::FlatCap);
    } else {
        pen.setWidthF(std::min(w, clampLimit_));
        pen.setCapStyle(d.endCap == 0x100   ? Qt::SquareCap
                        : d.endCap == 0x200 ? Qt::FlatCap
                                            : Qt::RoundCap);
    }
    pen.setJoinStyle(d.join == 0x1000   ? Qt::BevelJoin
                     : d.join == 0x2000 ? Qt::MiterJoin
                                        : Qt::RoundJoin);
    pen.setMiterLimit(std::max(1.0, s_.miterLimit / 2));

    QVector<qreal> dashes;
    switch (d.style) {
        case PsDash:
        case PsDot:
        case PsDashDot:
        case PsDashDotDot:
            if (thin) {
                // Cosmetic runs in device pixels.
                static const QVector<qreal> runs[4] = {
                    {18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
                dashes = runs[d.style - 1];
            } else if (d.extended) {
                static const QVector<qreal> runs[4] = {
                    {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
                dashes = runs[d.style - 1];
            }
            // Wide pens of the old kind draw solid.
            break;
        case PsAlternate:
            dashes = {1, 1};
            break;
        case PsUserStyle: {
            const double scale =
                d.geometric ? std::hypot(transform().m11(), transform().m12()) / (thin ? 1 : w) : 1;
            for (qreal v : d.userDash)
                dashes.append(std::clamp(v * scale, 0.01, 1e4));
            if (dashes.size() % 2)
                dashes += dashes;
            break;
        }
        default:
            break;
    }
    if (!dashes.isEmpty()) {
        pen.setDashPattern(dashes);
        if (thin)
            pen.setCapStyle(Qt::FlatCap);
    }
    return pen;
}

QBrush Player::deviceBrush(const BrushDef& b) {
    switch (b.kind) {
        case BrushDef::Null:
            return QBrush(Qt::NoBrush);
        case BrushDef::Solid:
            return QBrush(QColor(b.color));
        case BrushDef::Hatched: {
            if (b.hatch < 0 || b.hatch > 5)
                return QBrush(QColor(b.color));
            QImage tile(8, 8, QImage::Format_ARGB32_Premultiplied);
            const QRgb bg = s_.bkMode == 2 ? s_.bkColor : qRgba(0, 0, 0, 0);
            for (int y = 0; y < 8; ++y) {
                auto* line = reinterpret_cast<QRgb*>(tile.scanLine(y));
                for (int x = 0; x < 8; ++x)
                    line[x] = (kHatch[b.hatch][y] & (0x80 >> x)) ? b.color : bg;
            }
            QBrush br(tile);
            br.setTransform(QTransform::fromTranslate(s_.brushOrg.x(), s_.brushOrg.y()));
            return br;
        }
        case BrushDef::Pattern: {
            if (b.pattern.isNull())
                return QBrush(QColor(b.color));
            QBrush br(b.monoPattern ? monoTile(b.pattern, s_.textColor, s_.bkColor) : b.pattern);
            br.setTransform(QTransform::fromTranslate(s_.brushOrg.x(), s_.brushOrg.y()));
            return br;
        }
    }
    return QBrush(Qt::NoBrush);
}

bool Player::rop2Setup(QPen& pen, QBrush& brush, QPainter::CompositionMode& mode) {
    RopColour colour;
    mode = binaryRop(s_.rop2 - 1, colour);
    auto recolour = [&](QRgb (*f)(QRgb)) {
        if (pen.style() != Qt::NoPen)
            pen.setColor(QColor(f(pen.color().rgba())));
        if (brush.style() != Qt::NoBrush)
            brush = QBrush(QColor(f(brush.color().rgba())));
    };
    switch (colour) {
        case RopColour::Skip:
            return false;
        case RopColour::Black:
            recolour([](QRgb) { return qRgb(0, 0, 0); });
            break;
        case RopColour::White:
            recolour([](QRgb) { return qRgb(255, 255, 255); });
            break;
        case RopColour::Invert:
            recolour(invertRgb);
            break;
        case RopColour::Keep:
            break;
    }
    return true;
}

void Player::prepare(const QPen& pen, const QBrush& brush, QPainter::CompositionMode mode) {
    applyClip();
    p_.setTransform(QTransform());
    p_.setPen(pen);
    p_.setBrush(brush);
    p_.setOpacity(1);
    p_.setCompositionMode(mode);
    // Raster operations on antialiased edges would combine twice.
    p_.setRenderHint(QPainter::Antialiasing, mode == QPainter::CompositionMode_SourceOver);
}

void Player::noteBounds(const QRectF& r) {
    if (!r.isValid() && r.isNull())
        return;
    bounds_ = bounds_.isNull() ? r : bounds_.united(r);
}

void Player::fillDevice(const QPainterPath& path,
                        const QBrush& brush,
                        QPainter::CompositionMode mode) {
    if (brush.style() == Qt::NoBrush || path.isEmpty())
        return;
    prepare(QPen(Qt::NoPen), brush, mode);
    p_.drawPath(path);
    noteBounds(path.controlPointRect());
}

void Player::strokeDevice(const QPainterPath& path0, bool offsetHalf) {
    QPen pen = devicePen();
    if (pen.style() == Qt::NoPen || path0.isEmpty())
        return;
    QBrush none(Qt::NoBrush);
    QPainter::CompositionMode mode;
    if (!rop2Setup(pen, none, mode))
        return;
    const QPainterPath path = offsetHalf ? path0.translated(0.5, 0.5) : path0;
    if (pen.style() == Qt::CustomDashLine && s_.bkMode == 2 &&
        mode == QPainter::CompositionMode_SourceOver) {
        // Opaque background: the gaps of a styled line show the background colour.
        QPen gap = pen;
        gap.setStyle(Qt::SolidLine);
        gap.setColor(QColor(s_.bkColor));
        prepare(gap, none, mode);
        p_.drawPath(path);
    }
    prepare(pen, none, mode);
    p_.drawPath(path);
    const double w = pen.isCosmetic() ? 1 : pen.widthF();
    noteBounds(path.controlPointRect().adjusted(-w / 2, -w / 2, w / 2, w / 2));
}

void Player::shape(const QPainterPath& fill, const QPainterPath& outline, bool offsetOutline) {
    if (!fill.isEmpty()) {
        QPen none(Qt::NoPen);
        QBrush brush = deviceBrush(s_.brush);
        QPainter::CompositionMode mode;
        if (brush.style() != Qt::NoBrush && rop2Setup(none, brush, mode))
            fillDevice(fill, brush, mode);
    }
    if (!outline.isEmpty())
        strokeDevice(outline, offsetOutline);
}

void Player::addToPath(const QPainterPath& device, bool closed) {
    s_.path.addPath(device);
    if (closed)
        s_.figureOpen = false;
}

// ---------------------------------------------------------------------------------------------
// Raster operations and bitmaps

void Player::fillWithRop(const QPainterPath& device, quint32 rop) {
    const int idx = int((rop >> 16) & 0xff);
    RopColour colour;
    const QPainter::CompositionMode mode = binaryRop(tableOf(idx, true), colour);
    QBrush brush = deviceBrush(s_.brush);
    switch (colour) {
        case RopColour::Skip:
            return;
        case RopColour::Black:
            brush = QBrush(Qt::black);
            break;
        case RopColour::White:
            brush = QBrush(Qt::white);
            break;
        case RopColour::Invert:
            brush = QBrush(QColor(invertRgb(brush.color().rgba())));
            break;
        case RopColour::Keep:
            if (mode == QPainter::RasterOp_NotDestination)
                brush = QBrush(Qt::white);
            break;
    }
    fillDevice(device, brush, mode);
}

void Player::patBlt(const QRectF& dst, quint32 rop) {
    const QRectF r = dst.normalized();
    if (r.isEmpty())
        return;
    fillWithRop(axisAligned() ? rectPath(deviceBox(r)) : mapPath(rectPath(r)), rop);
}

void Player::blit(const QRectF& dst, const QImage& image, const QRectF& src, quint32 rop) {
    const int idx = int((rop >> 16) & 0xff);
    const bool usesSource = ((idx >> 2) & 0x33) != (idx & 0x33);
    const bool usesPattern = ((idx >> 4) & 0x0f) != (idx & 0x0f);
    if (!usesSource) {
        patBlt(dst, rop);
        return;
    }
    if (image.isNull() || dst.width() == 0 || dst.height() == 0 || !(src.width() > 0) ||
        !(src.height() > 0))
        return;
    const QRectF crop = src.intersected(QRectF(image.rect()));
    if (crop.isEmpty())
        return;
    const double kx = dst.width() / src.width(), ky = dst.height() / src.height();
    const QRectF d(dst.x() + (crop.x() - src.x()) * kx, dst.y() + (crop.y() - src.y()) * ky,
                   crop.width() * kx, crop.height() * ky);

    QImage img = image;
    if (img.format() != QImage::Format_ARGB32 && img.format() != QImage::Format_RGB32 &&
        img.format() != QImage::Format_ARGB32_Premultiplied)
        img = img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32
                                                        : QImage::Format_RGB32);
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    if (!usesPattern) {
        RopColour colour;
        mode = binaryRop(tableOf(idx, false), colour);
        switch (colour) {
            case RopColour::Skip:
                return;
            case RopColour::Black:
            case RopColour::White:
                patBlt(dst, colour == RopColour::Black ? 0x00000042 : 0x00FF0062);
                return;
            case RopColour::Invert:
                img.invertPixels();
                break;
            case RopColour::Keep:
                break;
        }
    } else if (idx == 0xC0) {
        // MERGECOPY: source AND brush colour.
        const QRgb b = s_.brush.color;
        img = img.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < img.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                line[x] = qRgba(qRed(line[x]) & qRed(b), qGreen(line[x]) & qGreen(b),
                                qBlue(line[x]) & qBlue(b), qAlpha(line[x]));
        }
    }
    // Other operations that mix source and pattern are drawn as a plain copy.

    const QTransform m =
        QTransform::fromScale(d.width() / crop.width(), d.height() / crop.height()) *
        QTransform::fromTranslate(d.x(), d.y()) * transform();
    const QTransform full = QTransform::fromTranslate(-crop.x(), -crop.y()) * m;
    if (!finite(full))
        return;
    const QRectF devRect = full.mapRect(crop);
    if (!(devRect.width() > 0) || devRect.width() > 4 * clampLimit_ ||
        devRect.height() > 4 * clampLimit_)
        return;
    applyClip();
    p_.setOpacity(1);
    p_.setTransform(full);
    p_.setCompositionMode(mode);
    p_.setRenderHint(QPainter::Antialiasing, false);
    const bool shrinking = devRect.width() < crop.width() || devRect.height() < crop.height();
    p_.setRenderHint(QPainter::SmoothPixmapTransform, shrinking && s_.stretchMode == 4);
    p_.drawImage(crop, img, crop);
    p_.setTransform(QTransform());
    noteBounds(devRect);
}

void Player::alphaBlit(const QRectF& dst, const QImage& image, const QRectF& src, int constAlpha) {
    if (image.isNull() || constAlpha <= 0 || dst.width() == 0 || dst.height() == 0 ||
        !(src.width() > 0) || !(src.height() > 0))
        return;
    const QRectF crop = src.intersected(QRectF(image.rect()));
    if (crop.isEmpty())
        return;
    const double kx = dst.width() / src.width(), ky = dst.height() / src.height();
    const QRectF d(dst.x() + (crop.x() - src.x()) * kx, dst.y() + (crop.y() - src.y()) * ky,
                   crop.width() * kx, crop.height() * ky);
    const QTransform full =
        QTransform::fromTranslate(-crop.x(), -crop.y()) *
        QTransform::fromScale(d.width() / crop.width(), d.height() / crop.height()) *
        QTransform::fromTranslate(d.x(), d.y()) * transform();
    if (!finite(full))
        return;
    applyClip();
    p_.setTransform(full);
    p_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p_.setOpacity(std::min(constAlpha, 255) / 255.0);
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setRenderHint(QPainter::SmoothPixmapTransform, s_.stretchMode == 4);
    p_.drawImage(crop, image, crop);
    p_.setOpacity(1);
    p_.setTransform(QTransform());
    noteBounds(full.mapRect(crop));
}

}  // namespace kordel::mf
