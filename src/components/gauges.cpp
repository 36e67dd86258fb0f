#include "gauges.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace kordel {

RangeError::RangeError(const QString& message) : std::runtime_error(message.toStdString()) {}

namespace {

// The range message; the bounds are 64-bit so that MaxValue - 1 or MinValue + 1
// at the ends of the int range does not overflow.
QString rangeMessage(qint64 low, qint64 high) {
    return QStringLiteral("%1 から %2 の間の値でなければなりません").arg(low).arg(high);
}

// Share of a length at a percentage, truncated.
int share(int length, int percent) {
    return static_cast<int>(std::trunc(double(length) * percent * 0.01));
}

// Fills columns left..right-1 and rows top..bottom-1: the pixels a rectangle
// with right and bottom edges excluded covers. Empty or inverted edges fill
// nothing.
void fillEdges(QPainter& painter, int left, int top, int right, int bottom, const QColor& color) {
    if (right > left && bottom > top)
        painter.fillRect(QRect(left, top, right - left, bottom - top), color);
}

// Qt's arc box whose outline covers columns left..right-1 and rows top..bottom-1.
QRect arcBox(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left - 1, bottom - top - 1);
}

// Angle in degrees of the radial from the box's centre through a point, in the
// ellipse's own parameter so the arc really ends on that radial when the
// ellipse is not a circle.
double radialAngle(const QRectF& box, const QPointF& point) {
    const QPointF centre = box.center();
    const double dx = (point.x() - centre.x()) / (box.width() / 2);
    const double dy = (centre.y() - point.y()) / (box.height() / 2);
    return std::atan2(dy, dx) * 180.0 / std::numbers::pi;
}

// A pie slice bounded like an ellipse with excluded right and bottom edges,
// drawn counter-clockwise from the radial through start to the radial through
// end. Equal radials give the whole ellipse.
void drawPie(QPainter& painter,
             int left,
             int top,
             int right,
             int bottom,
             const QPointF& start,
             const QPointF& end) {
    if (right - left < 2 || bottom - top < 2)
        return;
    const QRect box = arcBox(left, top, right, bottom);
    const double from = radialAngle(box, start);
    double span = radialAngle(box, end) - from;
    while (span <= 0.0)
        span += 360.0;
    while (span > 360.0)
        span -= 360.0;
    int span16 = qRound(span * 16);
    if (span16 <= 0)
        span16 = 360 * 16;
    painter.drawPie(box, qRound(from * 16), span16);
}

void xorInto(QImage& target, const QImage& source) {
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(0, 0, source);
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    // Every pixel is painted from the off-screen image.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

void TGauge::setMinValue(int value) {
    if (value == minValue_)
        return;
    if (value > maxValue_)
        throw RangeError(rangeMessage(-2147483647, qint64(maxValue_) - 1));
    minValue_ = value;
    if (progress_ < value)
        progress_ = value;
    update();
}

void TGauge::setMaxValue(int value) {
    if (value == maxValue_)
        return;
    if (value < minValue_)
        throw RangeError(rangeMessage(qint64(minValue_) + 1, 2147483647));
    maxValue_ = value;
    if (progress_ > value)
        progress_ = value;
    update();
}

void TGauge::setProgress(int value) {
    value = std::clamp(value, minValue_, maxValue_);
    if (value == progress_)
        return;
    const int before = percentDone();
    progress_ = value;
    if (percentDone() != before)
        update();
}

void TGauge::setKind(TGaugeKind kind) {
    if (kind != kind_) {
        kind_ = kind;
        update();
    }
}

void TGauge::setShowText(bool show) {
    if (show != showText_) {
        showText_ = show;
        update();
    }
}

void TGauge::setBorderStyle(BorderStyle style) {
    if (style != borderStyle_) {
        borderStyle_ = style;
        update();
    }
}

void TGauge::setForeColor(const QColor& color) {
    if (color != foreColor_) {
        foreColor_ = color;
        update();
    }
}

void TGauge::setBackColor(const QColor& color) {
    if (color != backColor_) {
        backColor_ = color;
        update();
    }
}

int TGauge::percentDone() const {
    // 64-bit differences: the range may span the whole int range.
    const qint64 span = qint64(maxValue_) - minValue_;
    if (span == 0)
        return 0;
    return static_cast<int>(std::trunc(double(qint64(progress_) - minValue_) * 100.0 / span));
}

QString TGauge::text() const {
    return QStringLiteral("%1%").arg(percentDone());
}

QImage TGauge::renderToImage() const {
    const int controlWidth = width();
    const int controlHeight = height();
    if (controlWidth <= 0 || controlHeight <= 0)
        return {};

    // The frame is whatever stays black around the drawing area.
    QImage image(controlWidth, controlHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    int left = 0, top = 0, right = controlWidth, bottom = controlHeight;
    if (borderStyle_ == bsSingle) {
        ++left;
        ++top;
        --right;
        --bottom;
    }
    const bool single = borderStyle_ == bsSingle;
    const int percent = percentDone();
    const QColor color = palette().color(backgroundRole());

    QImage kindImage(image.size(), QImage::Format_RGB32);
    kindImage.fill(Qt::black);
    {
        QPainter painter(&kindImage);
        painter.setPen(QPen(foreColor_, 1));
        switch (kind_) {
            case gkText:
                fillEdges(painter, left, top, right, bottom, backColor_);
                break;
            case gkHorizontalBar:
            case gkVerticalBar: {
                const int w = right - left + 1;
                const int h = bottom - top + 1;
                fillEdges(painter, left, top, right, bottom, backColor_);
                if (kind_ == gkHorizontalBar) {
                    const int filled = std::min(share(w, percent), w);
                    if (filled > 0)
                        fillEdges(painter, left, top, filled, h, foreColor_);
                } else {
                    int filled = share(h, percent);
                    if (filled >= h)
                        filled = h - 1;
                    fillEdges(painter, left, h - filled, w, h, foreColor_);
                }
                break;
            }
            case gkPie: {
                const int w = right - left + (single ? 1 : 0);
                const int h = bottom - top + (single ? 1 : 0);
                fillEdges(painter, left, top, right, bottom, color);
                if (w - left >= 2 && h - top >= 2) {
                    painter.setBrush(backColor_);
                    painter.drawEllipse(arcBox(left, top, w, h));
                }
                if (percent > 0) {
                    // The slice grows clockwise from the top.
                    const double a = (percent * 0.02 + 0.5) * std::numbers::pi;
                    const QPointF start(std::round((w / 2) * (1 - std::cos(a))),
                                        std::round((h / 2) * (1 - std::sin(a))));
                    painter.setBrush(foreColor_);
                    drawPie(painter, left, top, w, h, start, QPointF(w / 2, 0));
                }
                break;
            }
            case gkNeedle: {
                const int w = right - left + (single ? 1 : 0);
                const int h = bottom - top + (single ? 1 : 0);
                fillEdges(painter, left, top, right, bottom, color);
                // Upper half of an ellipse twice as high as the gauge, on a base line.
                painter.setBrush(backColor_);
                drawPie(painter, left, top, w, 2 * h - 1, QPointF(w + left, bottom - 1),
                        QPointF(left, bottom - 1));
                if (w > 0)
                    painter.drawLine(left, bottom, w + left - 1, bottom);
                if (percent > 0) {
                    // Sweeps from the left (0 %) to the right (100 %).
                    const int m = controlWidth / 2;
                    const double a = percent * 0.01 * std::numbers::pi;
                    painter.drawLine(QPointF(m, bottom - 1),
                                     QPointF(std::round(m * (1 - std::cos(a))),
                                             std::round((bottom - 1) * (1 - std::sin(a)))));
                }
                break;
            }
        }
    }
    xorInto(image, kindImage);

    if (showText_ && right > left && bottom > top) {
        // Hard-edged glyphs, so that every text pixel inverts exactly what is below it.
        QFont textFont = font();
        textFont.setStyleStrategy(QFont::NoAntialias);
        const QFontMetrics metrics(textFont);
        const QString label = text();
        const int x = left + (right - left + 1 - metrics.horizontalAdvance(label)) / 2;
        const int y = top + (bottom - top + 1 - metrics.height()) / 2;

        QImage textImage(image.size(), QImage::Format_RGB32);
        textImage.fill(Qt::black);
        {
            QPainter painter(&textImage);
            painter.setClipRect(QRect(left, top, right - left, bottom - top));
            painter.setFont(textFont);
            painter.setPen(Qt::white);
            painter.drawText(QPoint(x, y + metrics.ascent()), label);
        }
        xorInto(image, textImage);
    }
    return image;
}

void TGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, renderToImage());
}

}  // namespace kordel
