#include "image.h"

#include <QMouseEvent>
#include <QPainter>

namespace kordel {

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::setImage(const QImage& image) {
    image_ = image;
    // Painting a colour-table picture converts it every time: convert it once.
    shown_ = image.format() == QImage::Format_Indexed8
                 ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                 : image;
    drawing_ = QPicture();
    hasDrawing_ = false;
    natural_ = image.size();
    update();
}

void TImage::setDrawing(const QPicture& picture, QSize naturalSize) {
    image_ = shown_ = QImage();
    drawing_ = picture;
    hasDrawing_ = true;
    natural_ = naturalSize;
    update();
}

void TImage::clear() {
    image_ = shown_ = QImage();
    drawing_ = QPicture();
    hasDrawing_ = false;
    natural_ = QSize();
    update();
}

void TImage::setStretch(bool on) {
    stretch_ = on;
    update();
}

void TImage::paintInto(QPainter& p, const QRect& target) const {
    if (!image_.isNull()) {
        p.drawImage(target, shown_);
    } else if (hasDrawing_ && !natural_.isEmpty()) {
        p.save();
        p.setClipRect(target);
        p.translate(target.topLeft());
        p.scale(double(target.width()) / natural_.width(),
                double(target.height()) / natural_.height());
        p.drawPicture(0, 0, drawing_);
        p.restore();
    }
}

void TImage::paintEvent(QPaintEvent*) {
    if (!hasPicture())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, stretch_);
    paintInto(p, stretch_ ? rect() : QRect(QPoint(0, 0), natural_));
}

void TImage::mousePressEvent(QMouseEvent* e) {
    e->accept();
}

void TImage::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
}

void TImage::mouseDoubleClickEvent(QMouseEvent* e) {
    e->accept();
}

QImage TImage::rendered() const {
    const QSize size = stretch_ ? this->size() : natural_;
    if (!hasPicture() || size.isEmpty())
        return {};
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform, stretch_);
    paintInto(p, QRect(QPoint(0, 0), size));
    return out;
}

}  // namespace kordel
