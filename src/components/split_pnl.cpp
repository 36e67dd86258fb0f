#include "split_pnl.h"

#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <algorithm>

namespace kordel {

// The drag line. Qt cannot paint on a window over its children, so the line is
// a small widget raised above everything on the form. It shows the inverse of
// what lies beneath it, from a picture of the form taken when the drag starts
// (the form does not change while the user drags).
class TSplitLine : public QWidget {
public:
    explicit TSplitLine(QWidget* form) : QWidget(form) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
        const QPixmap picture = form->grab();
        ratio_ = picture.devicePixelRatio();
        snapshot_ = picture.toImage().convertToFormat(QImage::Format_RGB32);
    }

    // rect: in form coordinates; an empty one hides the line.
    void showAt(const QRect& rect) {
        if (rect.isEmpty()) {
            hide();
            return;
        }
        setGeometry(rect);
        raise();
        show();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (snapshot_.isNull()) {
            painter.fillRect(rect(), Qt::black);
            return;
        }
        const QRect source = QRectF(QPointF(pos()) * ratio_, QSizeF(size()) * ratio_).toRect();
        QImage part = snapshot_.copy(source);
        part.invertPixels();
        part.setDevicePixelRatio(ratio_);
        painter.drawImage(0, 0, part);
    }

private:
    QImage snapshot_;
    qreal ratio_ = 1.0;
};

namespace {

// Keeps computed coordinates far from int overflow whatever the settings hold.
int boundCoordinate(qint64 value) {
    return int(std::clamp<qint64>(value, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
}

QPoint barToForm(QWidget* form, QWidget* bar, const QPoint& point) {
    return form->mapFromGlobal(bar->mapToGlobal(point));
}

// The area a line of the given pen width covers, centred on it, running from
// point (form coordinates) to the bar's far edge: down to its bottom for a
// vertical line, right to its right edge for a horizontal one.
QRect lineRect(QWidget* form, QWidget* bar, const QPoint& point, bool vertical, int penWidth) {
    if (vertical) {
        const int end = barToForm(form, bar, QPoint(0, bar->height())).y();
        return QRect(point.x() - penWidth / 2, point.y(), penWidth, end - point.y());
    }
    const int end = barToForm(form, bar, QPoint(bar->width(), 0)).x();
    return QRect(point.x(), point.y() - penWidth / 2, end - point.x(), penWidth);
}

// Takes the line off the form now and frees it later: a drag may end inside
// the form's own hiding, while Qt still walks a copy of the form's children.
void discardLine(QPointer<TSplitLine>& line) {
    if (TSplitLine* gone = line) {
        gone->hide();
        gone->setParent(nullptr);
        gone->deleteLater();
    }
    line = nullptr;
}

void releaseMouseOf(QWidget* widget) {
    if (widget && QWidget::mouseGrabber() == widget)
        widget->releaseMouse();
}

}  // namespace

// ---------------------------------------------------------------------------
// TSplitPanel

TSplitPanel::TSplitPanel(QWidget* parent) : QFrame(parent) {
    // Moves without a button held set the cursor too.
    setMouseTracking(true);
}

TSplitPanel::~TSplitPanel() {
    EndSplit(false);
}

QWidget* TSplitPanel::dragLine() const {
    return line_;
}

void TSplitPanel::BeginSplit() {
    // A hidden bar gets no release, so it must not take the mouse.
    if (dragging_ || !reSizeControl_ || !isVisible())
        return;
    dragging_ = true;
    drawingForm_ = window();
    grabMouse();
    line_ = new TSplitLine(drawingForm_);
    // One pixel into the bar.
    linePos_ = QPoint(1, 1);
    drawLine();
}

void TSplitPanel::MoveSplit(int dx, int dy) {
    if (!dragging_)
        return;
    const bool vertical = split_ == spVerticalLine;
    const QPoint candidate = mapToGlobal(QPoint(boundCoordinate(qint64(linePos_.x()) + dx),
                                                boundCoordinate(qint64(linePos_.y()) + dy)));
    QWidget* parent = parentWidget();
    if (!parent) {
        if (vertical)
            linePos_.setX(mapFromGlobal(candidate).x());
        else
            linePos_.setY(mapFromGlobal(candidate).y());
    } else {
        // Kept inside the parent, ParentBevelWidth + 1 pixels from its edges and
        // the bar's own size from the far edge.
        const qint64 bevel = parentBevelWidth_;
        const QPoint low =
            parent->mapToGlobal(QPoint(boundCoordinate(bevel + 1), boundCoordinate(bevel + 1)));
        const QPoint high = parent->mapToGlobal(
            QPoint(boundCoordinate(qint64(parent->width()) - width() - bevel - 1),
                   boundCoordinate(qint64(parent->height()) - height() - bevel - 1)));
        if (vertical) {
            if (candidate.x() < low.x())
                linePos_.setX(mapFromGlobal(low).x());
            else if (candidate.x() > high.x())
                linePos_.setX(mapFromGlobal(high).x());
            else
                linePos_.setX(mapFromGlobal(candidate).x());
        } else {
            if (candidate.y() < low.y())
                linePos_.setY(mapFromGlobal(low).y());
            else if (candidate.y() > high.y())
                linePos_.setY(mapFromGlobal(high).y());
            else
                linePos_.setY(mapFromGlobal(candidate).y());
        }
    }
    drawLine();
}

void TSplitPanel::EndSplit(bool apply) {
    if (!dragging_)
        return;
    dragging_ = false;
    discardLine(line_);
    const QPoint lineAt = mapToGlobal(linePos_);
    releaseMouseOf(this);
    drawingForm_ = nullptr;

    QWidget* control = reSizeControl_;
    if (!apply || !control)
        return;
    const QPoint p = control->mapFromGlobal(lineAt);
    const QPoint controlAt = control->mapToGlobal(QPoint(0, 0));
    const QPoint barAt = mapToGlobal(QPoint(0, 0));
    // A drag past the control's far edge leaves it empty rather than negative.
    if (split_ == spVerticalLine) {
        const int w = controlAt.x() < barAt.x() ? p.x() : control->width() - p.x() - width();
        control->resize(std::max(w, 0), control->height());
    } else {
        const int h = controlAt.y() < barAt.y() ? p.y() : control->height() - p.y() - height();
        control->resize(control->width(), std::max(h, 0));
    }
}

void TSplitPanel::drawLine() {
    if (!line_ || !drawingForm_)
        return;
    const bool vertical = split_ == spVerticalLine;
    // The line runs along the middle of the bar.
    QPoint point = barToForm(drawingForm_, this, linePos_);
    if (vertical)
        point.rx() += width() / 2;
    else
        point.ry() += height() / 2;
    line_->showAt(lineRect(drawingForm_, this, point, vertical, vertical ? width() : height()));
}

void TSplitPanel::mousePressEvent(QMouseEvent* event) {
    QFrame::mousePressEvent(event);
    if (!reSizeControl_)
        return;
    BeginSplit();
    event->accept();
}

void TSplitPanel::mouseMoveEvent(QMouseEvent* event) {
    QFrame::mouseMoveEvent(event);
    if (!reSizeControl_)
        return;
    setCursor(split_ == spVerticalLine ? Qt::SplitHCursor : Qt::SplitVCursor);
    const QPoint at = event->position().toPoint();
    MoveSplit(at.x() - linePos_.x(), at.y() - linePos_.y());
    event->accept();
}

void TSplitPanel::mouseReleaseEvent(QMouseEvent* event) {
    QFrame::mouseReleaseEvent(event);
    if (!dragging_)
        return;
    EndSplit(true);
    event->accept();
}

void TSplitPanel::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    // No release will come: give the mouse back and leave the control alone.
    EndSplit(false);
}

// ---------------------------------------------------------------------------
// TSplitControl

TSplitControl::TSplitControl(QWidget* form) : QObject(form), form_(form) {}

TSplitControl::~TSplitControl() {
    abandon();
}

QWidget* TSplitControl::dragLine() const {
    return line_;
}

void TSplitControl::BeginSizing(QWidget* bar, QWidget* sized) {
    abandon();
    // A hidden bar gets no release, so it must not take the mouse.
    if (!bar || !sized || !bar->isVisible())
        return;
    bar_ = bar;
    sized_ = sized;
    bar->grabMouse();
    bar->installEventFilter(this);
    barDestroyed_ = connect(bar, &QObject::destroyed, this, [this] { abandon(); });
    horizontal_ = bar->width() > bar->height();
    linePos_ = QPoint(0, 0);
    if (form_)
        line_ = new TSplitLine(form_);
    drawLine();
}

void TSplitControl::ChangeSizing(int x, int y) {
    if (!bar_)
        return;
    if (horizontal_)
        linePos_.setY(y);
    else
        linePos_.setX(x);
    drawLine();
}

void TSplitControl::EndSizing() {
    if (!bar_)
        return;
    const QPoint lineAt = bar_->mapToGlobal(linePos_);
    const QSize barSize = bar_->size();
    QPointer<QWidget> sized = sized_;
    abandon();
    if (!sized)
        return;
    const QPoint p = sized->mapFromGlobal(lineAt);
    // The bar stays inside the sized control's parent, where it can be dragged back.
    const QWidget* parent = sized->parentWidget();
    if (horizontal_) {
        const int most = parent ? parent->height() - sized->y() - barSize.height() : p.y();
        sized->resize(sized->width(), std::max(std::min(p.y(), most), 0));
    } else {
        const int most = parent ? parent->width() - sized->x() - barSize.width() : p.x();
        sized->resize(std::max(std::min(p.x(), most), 0), sized->height());
    }
}

bool TSplitControl::eventFilter(QObject* watched, QEvent* event) {
    // A bar hidden mid-drag gets no release: end the drag without resizing.
    if (watched == bar_ && event->type() == QEvent::Hide)
        abandon();
    return QObject::eventFilter(watched, event);
}

void TSplitControl::drawLine() {
    if (!line_ || !form_ || !bar_)
        return;
    const bool vertical = !horizontal_;
    line_->showAt(lineRect(form_, bar_, barToForm(form_, bar_, linePos_), vertical,
                           horizontal_ ? bar_->height() : bar_->width()));
}

void TSplitControl::abandon() {
    if (QWidget* bar = bar_) {
        bar->removeEventFilter(this);
        releaseMouseOf(bar);
    }
    disconnect(barDestroyed_);
    bar_ = nullptr;
    sized_ = nullptr;
    discardLine(line_);
}

}  // namespace kordel
