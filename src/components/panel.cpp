#include "panel.h"

#include <QChildEvent>
#include <QPainter>
#include <algorithm>

namespace kordel {

namespace {
constexpr const char* kAlignProperty = "kordelAlign";

void requestAlign(QWidget* widget) {
    if (auto* panel = qobject_cast<TPanel*>(widget ? widget->parentWidget() : nullptr))
        panel->alignControls();
}
}  // namespace

void setAlign(QWidget* widget, Align align) {
    widget->setProperty(kAlignProperty, int(align));
    requestAlign(widget);
}

void appendAligned(QWidget* widget, Align align) {
    constexpr int kFar = 1 << 20;
    switch (align) {
        case Align::Top:
            widget->move(widget->x(), kFar);
            break;
        case Align::Bottom:
            widget->move(widget->x(), -kFar);
            break;
        case Align::Left:
            widget->move(kFar, widget->y());
            break;
        case Align::Right:
            widget->move(-kFar, widget->y());
            break;
        default:
            break;
    }
    setAlign(widget, align);
}

Align alignOf(const QWidget* widget) {
    const QVariant v = widget->property(kAlignProperty);
    return v.isValid() ? Align(v.toInt()) : Align::None;
}

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    setAutoFillBackground(true);
}

void TPanel::setBevelOuter(Bevel b) {
    outer_ = b;
    alignControls();
    update();
}

void TPanel::setBevelInner(Bevel b) {
    inner_ = b;
    alignControls();
    update();
}

void TPanel::setBevelWidth(int w) {
    bevelWidth_ = w;
    alignControls();
    update();
}

void TPanel::setSingleBorder(bool on) {
    singleBorder_ = on;
    alignControls();
    update();
}

void TPanel::setCaption(const QString& text) {
    caption_ = text;
    update();
}

int TPanel::frameInset() const {
    int inset = singleBorder_ ? 2 : 0;
    if (outer_ != Bevel::None)
        inset += bevelWidth_;
    if (inner_ != Bevel::None)
        inset += bevelWidth_;
    return inset;
}

QRect TPanel::alignRect() const {
    const int m = frameInset();
    return rect().adjusted(m, m, -m, -m);
}

void TPanel::alignControls() {
    if (aligning_)
        return;
    aligning_ = true;
    QRect r = alignRect();
    QList<QWidget*> kids;
    for (QObject* o : children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && !w->isWindow() && !w->isHidden() && alignOf(w) != Align::None)
            kids.append(w);
    }
    auto pick = [&](Align a) {
        QList<QWidget*> list;
        for (QWidget* w : kids)
            if (alignOf(w) == a)
                list.append(w);
        return list;
    };
    // Stable sorts keep creation order among equal edges.
    QList<QWidget*> tops = pick(Align::Top);
    std::stable_sort(tops.begin(), tops.end(),
                     [](QWidget* a, QWidget* b) { return a->y() < b->y(); });
    for (QWidget* w : tops) {
        w->setGeometry(r.left(), r.top(), r.width(), w->height());
        r.setTop(r.top() + w->height());
    }
    QList<QWidget*> bottoms = pick(Align::Bottom);
    std::stable_sort(bottoms.begin(), bottoms.end(), [](QWidget* a, QWidget* b) {
        return a->y() + a->height() > b->y() + b->height();
    });
    for (QWidget* w : bottoms) {
        w->setGeometry(r.left(), r.bottom() + 1 - w->height(), r.width(), w->height());
        r.setBottom(r.bottom() - w->height());
    }
    QList<QWidget*> lefts = pick(Align::Left);
    std::stable_sort(lefts.begin(), lefts.end(),
                     [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
    for (QWidget* w : lefts) {
        w->setGeometry(r.left(), r.top(), w->width(), qMax(0, r.height()));
        r.setLeft(r.left() + w->width());
    }
    QList<QWidget*> rights = pick(Align::Right);
    std::stable_sort(rights.begin(), rights.end(), [](QWidget* a, QWidget* b) {
        return a->x() + a->width() > b->x() + b->width();
    });
    for (QWidget* w : rights) {
        w->setGeometry(r.right() + 1 - w->width(), r.top(), w->width(), qMax(0, r.height()));
        r.setRight(r.right() - w->width());
    }
    for (QWidget* w : pick(Align::Client))
        w->setGeometry(r.left(), r.top(), qMax(0, r.width()), qMax(0, r.height()));
    aligning_ = false;
}

bool TPanel::event(QEvent* e) {
    if (e->type() == QEvent::ChildAdded) {
        if (auto* w = qobject_cast<QWidget*>(static_cast<QChildEvent*>(e)->child()))
            w->installEventFilter(this);
    } else if (e->type() == QEvent::ChildRemoved) {
        const bool r = QFrame::event(e);
        alignControls();
        return r;
    }
    return QFrame::event(e);
}

bool TPanel::eventFilter(QObject* watched, QEvent* e) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && w->parentWidget() == this && !aligning_) {
        switch (e->type()) {
            case QEvent::Resize:
            case QEvent::Move:
            case QEvent::ShowToParent:
            case QEvent::HideToParent:
                if (alignOf(w) != Align::None)
                    alignControls();
                break;
            default:
                break;
        }
    }
    return QFrame::eventFilter(watched, e);
}

void TPanel::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    alignControls();
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect r = rect();
    const QPalette& pal = palette();
    auto drawBevel = [&](Bevel b) {
        if (b == Bevel::None)
            return;
        const QColor topLeft =
            b == Bevel::Raised ? pal.color(QPalette::Light) : pal.color(QPalette::Dark);
        const QColor bottomRight =
            b == Bevel::Raised ? pal.color(QPalette::Dark) : pal.color(QPalette::Light);
        for (int i = 0; i < bevelWidth_; ++i) {
            p.setPen(topLeft);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(bottomRight);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
            r.adjust(1, 1, -1, -1);
        }
    };
    if (singleBorder_) {
        // The classic sunken edge: two pixels on each side.
        const QColor outer[2] = {pal.color(QPalette::Dark), pal.color(QPalette::Light)};
        const QColor inner[2] = {pal.color(QPalette::Shadow), pal.color(QPalette::Midlight)};
        for (const QColor* c : {outer, inner}) {
            p.setPen(c[0]);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(c[1]);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
            r.adjust(1, 1, -1, -1);
        }
    }
    drawBevel(outer_);
    drawBevel(inner_);
    if (!caption_.trimmed().isEmpty()) {
        p.setPen(pal.color(QPalette::WindowText));
        p.drawText(r, Qt::AlignCenter, caption_);
    }
}

TBevel::TBevel(QWidget* parent) : QWidget(parent) {}

void TBevel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, 0, width() - 1, 0);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, 1, width() - 1, 1);
}

}  // namespace kordel
