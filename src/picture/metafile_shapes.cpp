// Lines, shapes, regions, gradients and paths as the player draws them.
#include <QLinearGradient>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

#include "metafile_state.h"

namespace kordel::mf {

// ---------------------------------------------------------------------------------------------
// Lines and shapes

void Player::moveTo(QPointF p) {
    s_.pos = p;
    s_.figureOpen = false;
}

void Player::lineTo(QPointF p) {
    if (s_.pathOpen) {
        if (!s_.figureOpen) {
            s_.path.moveTo(map(s_.pos));
            s_.figureOpen = true;
        }
        s_.path.lineTo(map(p));
    } else {
        QPainterPath path;
        path.moveTo(map(s_.pos));
        path.lineTo(map(p));
        strokeDevice(path);
    }
    s_.pos = p;
}

void Player::polyline(const QPolygonF& pts) {
    if (pts.size() < 2)
        return;
    QPainterPath path;
    path.moveTo(map(pts[0]));
    for (int i = 1; i < pts.size(); ++i)
        path.lineTo(map(pts[i]));
    if (s_.pathOpen) {
        addToPath(path, false);
        s_.figureOpen = false;
        return;
    }
    strokeDevice(path);
}

void Player::polylineTo(const QPolygonF& pts) {
    if (pts.isEmpty())
        return;
    if (s_.pathOpen) {
        if (!s_.figureOpen) {
            s_.path.moveTo(map(s_.pos));
            s_.figureOpen = true;
        }
        for (const QPointF& p : pts)
            s_.path.lineTo(map(p));
    } else {
        QPainterPath path;
        path.moveTo(map(s_.pos));
        for (const QPointF& p : pts)
            path.lineTo(map(p));
        strokeDevice(path);
    }
    s_.pos = pts.last();
}

void Player::polygon(const QPolygonF& pts) {
    if (pts.size() < 2)
        return;
    polyPolygon({pts});
}

void Player::polyPolygon(const QVector<QPolygonF>& polys) {
    QPainterPath path;
    path.setFillRule(s_.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    for (const QPolygonF& poly : polys) {
        if (poly.size() < 2)
            continue;
        path.moveTo(map(poly[0]));
        for (int i = 1; i < poly.size(); ++i)
            path.lineTo(map(poly[i]));
        path.closeSubpath();
    }
    if (path.isEmpty())
        return;
    if (s_.pathOpen) {
        addToPath(path, true);
        return;
    }
    shape(path, path);
}

void Player::polyPolyline(const QVector<QPolygonF>& polys) {
    for (const QPolygonF& poly : polys)
        polyline(poly);
}

void Player::polyBezier(const QPolygonF& pts) {
    if (pts.size() < 4)
        return;
    QPainterPath path;
    path.moveTo(map(pts[0]));
    for (int i = 1; i + 2 < pts.size(); i += 3)
        path.cubicTo(map(pts[i]), map(pts[i + 1]), map(pts[i + 2]));
    if (s_.pathOpen) {
        addToPath(path, false);
        s_.figureOpen = false;
        return;
    }
    strokeDevice(path);
}

void Player::polyBezierTo(const QPolygonF& pts) {
    if (pts.size() < 3)
        return;
    QPainterPath local;
    QPainterPath& path = s_.pathOpen ? s_.path : local;
    if (!s_.pathOpen || !s_.figureOpen) {
        path.moveTo(map(s_.pos));
        s_.figureOpen = s_.pathOpen;
    }
    int i = 0;
    for (; i + 2 < pts.size(); i += 3)
        path.cubicTo(map(pts[i]), map(pts[i + 1]), map(pts[i + 2]));
    s_.pos = pts[i - 1];
    if (!s_.pathOpen)
        strokeDevice(local);
}

void Player::polyDraw(const QPolygonF& pts, const QByteArray& types) {
    QPainterPath local;
    QPainterPath& path = s_.pathOpen ? s_.path : local;
    bool open = s_.pathOpen && s_.figureOpen;
    QPointF start = s_.pos;
    const int n = std::min<int>(pts.size(), types.size());
    for (int i = 0; i < n; ++i) {
        const int t = quint8(types[i]);
        const int kind = t & 6;
        if (kind == 6) {  // PT_MOVETO
            path.moveTo(map(pts[i]));
            open = true;
            start = pts[i];
            s_.pos = pts[i];
        } else if (kind == 2) {  // PT_LINETO
            if (!open) {
                path.moveTo(map(s_.pos));
                open = true;
            }
            path.lineTo(map(pts[i]));
            s_.pos = pts[i];
        } else if (kind == 4 && i + 2 < n) {  // PT_BEZIERTO: three points
            if (!open) {
                path.moveTo(map(s_.pos));
                open = true;
            }
            path.cubicTo(map(pts[i]), map(pts[i + 1]), map(pts[i + 2]));
            i += 2;
            s_.pos = pts[i];
        } else {
            break;
        }
        if (quint8(types[i]) & 1) {  // PT_CLOSEFIGURE
            path.closeSubpath();
            s_.pos = start;
            open = false;
        }
    }
    if (s_.pathOpen)
        s_.figureOpen = open;
    else
        strokeDevice(local);
}

void Player::rectangle(const QRectF& box0) {
    const QRectF box = box0.normalized();
    if (s_.pathOpen) {
        addToPath(mapPath(rectPath(box)), true);
        return;
    }
    if (!axisAligned()) {
        const QPainterPath p = mapPath(rectPath(box));
        shape(p, p);
        return;
    }
    // Right and bottom edges are exclusive: the outline runs along the last pixel inside.
    const QRectF d = deviceBox(box);
    QRectF o = d.adjusted(0.5, 0.5, -0.5, -0.5);
    if (s_.pen.style == PsInsideFrame) {
        const double h = std::max(0.0, penDeviceWidth() - 1) / 2;
        o.adjust(h, h, -h, -h);
    }
    shape(rectPath(d), o.isValid() ? rectPath(o) : QPainterPath(), false);
}

void Player::roundRect(const QRectF& box0, QSizeF corner) {
    const QRectF box = box0.normalized();
    const double cw = std::min(std::abs(corner.width()), box.width());
    const double ch = std::min(std::abs(corner.height()), box.height());
    if (s_.pathOpen || !axisAligned()) {
        QPainterPath p;
        p.addRoundedRect(box, cw / 2, ch / 2);
        p = mapPath(p);
        if (s_.pathOpen)
            addToPath(p, true);
        else
            shape(p, p);
        return;
    }
    const QTransform& t = transform();
    const double rx = cw / 2 * std::abs(t.m11()), ry = ch / 2 * std::abs(t.m22());
    const QRectF d = deviceBox(box);
    QPainterPath f, o;
    f.addRoundedRect(d, rx, ry);
    const QRectF od = d.adjusted(0.5, 0.5, -0.5, -0.5);
    if (od.isValid())
        o.addRoundedRect(od, rx, ry);
    shape(f, o, false);
}

void Player::ellipse(const QRectF& box0) {
    const QRectF box = box0.normalized();
    if (s_.pathOpen || !axisAligned()) {
        QPainterPath p;
        p.addEllipse(box);
        p = mapPath(p);
        if (s_.pathOpen)
            addToPath(p, true);
        else
            shape(p, p);
        return;
    }
    const QRectF d = deviceBox(box);
    QRectF od = d.adjusted(0.5, 0.5, -0.5, -0.5);
    if (s_.pen.style == PsInsideFrame) {
        const double h = std::max(0.0, penDeviceWidth() - 1) / 2;
        od.adjust(h, h, -h, -h);
    }
    QPainterPath f, o;
    f.addEllipse(d);
    if (od.isValid())
        o.addEllipse(od);
    shape(f, o, false);
}

QPainterPath Player::arcPath(ArcKind kind,
                             const QRectF& box0,
                             QPointF a,
                             QPointF b,
                             bool forStroke,
                             QPointF* logicalStart,
                             QPointF* logicalEnd) {
    const QRectF box = box0.normalized();
    if (box.width() <= 0 || box.height() <= 0)
        return {};
    const QPointF c = box.center();
    // Where a ray from the centre through p crosses the ellipse.
    auto onEllipse = [&](QPointF p) {
        double dx = p.x() - c.x(), dy = p.y() - c.y();
        if (dx == 0 && dy == 0)
            dx = 1;
        const double k = 1 / std::hypot(dx / (box.width() / 2), dy / (box.height() / 2));
        return QPointF(c.x() + dx * k, c.y() + dy * k);
    };
    if (logicalStart)
        *logicalStart = onEllipse(a);
    if (logicalEnd)
        *logicalEnd = onEllipse(b);

    const bool aligned = axisAligned();
    QRectF r;
    QPointF ra, rb;
    if (aligned) {
        // Work on the device: arcs run counter-clockwise as seen on the output.
        r = deviceBox(box);
        ra = map(a);
        rb = map(b);
        if (forStroke && r.width() > 1 && r.height() > 1)
            r.adjust(0.5, 0.5, -0.5, -0.5);
    } else {
        r = box;
        ra = a;
        rb = b;
    }
    const QPointF rc = aligned ? deviceBox(box).center() : c;
    const double rx = r.width() / 2, ry = r.height() / 2;
    auto angle = [&](QPointF p) {
        double dx = p.x() - rc.x(), dy = p.y() - rc.y();
        if (dx == 0 && dy == 0)
            dx = 1;
        return std::atan2(-dy * rx, dx * ry) * 180 / M_PI;
    };
    const double sa = angle(ra), ea = angle(rb);
    bool ccw = !s_.clockwise;
    if (!aligned && transform().determinant() < 0)
        ccw = !ccw;
    double sweep = std::fmod(ea - sa, 360.0);
    if (std::abs(sweep) < 1e-9) {
        sweep = ccw ? 360 : -360;
    } else if (ccw) {
        if (sweep < 0)
            sweep += 360;
    } else if (sweep > 0) {
        sweep -= 360;
    }
    QPainterPath path;
    if (kind == ArcKind::Pie) {
        path.moveTo(rc);
        path.arcTo(r, sa, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(r, sa);
        path.arcTo(r, sa, sweep);
        if (kind == ArcKind::Chord)
            path.closeSubpath();
    }
    return aligned ? path : mapPath(path);
}

void Player::arc(ArcKind kind, const QRectF& box, QPointF start, QPointF end) {
    QPointF ls, le;
    const bool closed = kind == ArcKind::Pie || kind == ArcKind::Chord;
    if (s_.pathOpen) {
        QPainterPath p = arcPath(kind, box, start, end, false, &ls, &le);
        if (p.isEmpty())
            return;
        if (kind == ArcKind::ArcTo) {
            if (!s_.figureOpen)
                s_.path.moveTo(map(s_.pos));
            s_.path.connectPath(p);
            s_.figureOpen = true;
            s_.pos = le;
        } else {
            addToPath(p, closed);
            s_.figureOpen = !closed;
        }
        return;
    }
    QPainterPath outline = arcPath(kind, box, start, end, true, &ls, &le);
    if (outline.isEmpty())
        return;
    if (kind == ArcKind::ArcTo) {
        QPainterPath p;
        p.moveTo(map(s_.pos));
        p.connectPath(outline);
        outline = p;
        s_.pos = le;
    }
    if (closed)
        shape(arcPath(kind, box, start, end, false, nullptr, nullptr), outline, false);
    else
        strokeDevice(outline, false);
}

void Player::angleArc(QPointF center, double radius, double startAngle, double sweepAngle) {
    if (!std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(sweepAngle))
        return;
    sweepAngle = std::clamp(sweepAngle, -3600.0, 3600.0);
    const QRectF box(center.x() - radius, center.y() - radius, 2 * radius, 2 * radius);
    QPainterPath logical;
    logical.moveTo(s_.pos);
    logical.arcTo(box, startAngle, sweepAngle);
    const double e = (startAngle + sweepAngle) * M_PI / 180;
    s_.pos = QPointF(center.x() + radius * std::cos(e), center.y() - radius * std::sin(e));
    QPainterPath d = mapPath(logical);
    if (s_.pathOpen) {
        if (s_.figureOpen)
            s_.path.connectPath(d);
        else
            s_.path.addPath(d);
        s_.figureOpen = true;
        return;
    }
    strokeDevice(d);
}

void Player::setPixel(QPointF p, QRgb color) {
    const QPointF d = map(p);
    fillDevice(rectPath(QRectF(std::floor(d.x()), std::floor(d.y()), 1, 1)), QBrush(QColor(color)));
}

QPainterPath Player::regionToDevice(const QRegion& logical) {
    QPainterPath p;
    p.addRegion(logical);
    return mapPath(p);
}

void Player::fillRegion(const QPainterPath& device, const BrushDef& brush) {
    QPen none(Qt::NoPen);
    QBrush br = deviceBrush(brush);
    QPainter::CompositionMode mode;
    if (rop2Setup(none, br, mode))
        fillDevice(device, br, mode);
}

void Player::frameRegion(const QPainterPath& device, const BrushDef& brush, QSizeF logicalSize) {
    const QTransform& t = transform();
    const double w = std::max(1.0, std::abs(logicalSize.width() * std::hypot(t.m11(), t.m12())));
    QPainterPathStroker st;
    st.setWidth(std::min(2 * w, clampLimit_));
    st.setJoinStyle(Qt::MiterJoin);
    fillRegion(st.createStroke(device).intersected(device), brush);
}

void Player::invertRegion(const QPainterPath& device) {
    fillDevice(device, QBrush(Qt::white), QPainter::RasterOp_NotDestination);
}

void Player::gradientRect(const QRectF& logical, QRgb c1, QRgb c2, bool vertical) {
    const QRectF r = logical.normalized();
    if (r.isEmpty())
        return;
    const QPointF a = map(logical.topLeft());
    const QPointF b = vertical ? map(QPointF(logical.left(), logical.bottom()))
                               : map(QPointF(logical.right(), logical.top()));
    QLinearGradient g(a, b);
    g.setColorAt(0, QColor(c1));
    g.setColorAt(1, QColor(c2));
    fillDevice(axisAligned() ? rectPath(deviceBox(r)) : mapPath(rectPath(r)), QBrush(g));
}

void Player::gradientTriangle(const QPolygonF& logical, QRgb c1, QRgb c2, QRgb c3) {
    QPainterPath p;
    p.addPolygon(logical);
    p.closeSubpath();
    const QRgb avg =
        qRgb((qRed(c1) + qRed(c2) + qRed(c3)) / 3, (qGreen(c1) + qGreen(c2) + qGreen(c3)) / 3,
             (qBlue(c1) + qBlue(c2) + qBlue(c3)) / 3);
    fillDevice(mapPath(p), QBrush(QColor(avg)));
}

// ---------------------------------------------------------------------------------------------
// Paths

void Player::beginPath() {
    s_.path = QPainterPath();
    s_.pathOpen = true;
    s_.figureOpen = false;
}

void Player::endPath() {
    s_.pathOpen = false;
    s_.figureOpen = false;
}

void Player::abortPath() {
    s_.path = QPainterPath();
    s_.pathOpen = false;
    s_.figureOpen = false;
}

void Player::closeFigure() {
    if (!s_.pathOpen)
        return;
    s_.path.closeSubpath();
    s_.figureOpen = false;
}

void Player::fillPath() {
    if (s_.pathOpen)
        return;  // GDI refuses a path that was never ended
    QPainterPath p = s_.path;
    p.setFillRule(s_.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    shape(p, QPainterPath());
    s_.path = QPainterPath();
}

void Player::strokePath() {
    if (s_.pathOpen)
        return;
    strokeDevice(s_.path);
    s_.path = QPainterPath();
}

void Player::strokeAndFillPath() {
    if (s_.pathOpen)
        return;
    QPainterPath p = s_.path;
    p.setFillRule(s_.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    shape(p, p);
    s_.path = QPainterPath();
}

void Player::widenPath() {
    if (s_.pathOpen || s_.path.isEmpty())
        return;
    QPainterPathStroker st;
    st.setWidth(std::clamp(penDeviceWidth(), 1.0, clampLimit_));
    st.setCapStyle(Qt::RoundCap);
    st.setJoinStyle(Qt::RoundJoin);
    s_.path = st.createStroke(s_.path);
}

void Player::selectClipPath(int mode) {
    if (s_.pathOpen)
        return;
    QPainterPath p = s_.path;
    p.setFillRule(s_.fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    combineClip(p, mode);
    s_.path = QPainterPath();
}

}  // namespace kordel::mf
