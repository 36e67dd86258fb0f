#include "status_bar.h"

#include <QPainter>
#include <QStyleOption>

namespace kordel {

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {}

void TStatusBar::setPanelWidths(const QList<int>& widths) {
    widths_ = widths;
    texts_ = QStringList(widths.size(), QString());
    update();
}

void TStatusBar::setPanelText(int index, const QString& text) {
    if (index < 0 || index >= texts_.size())
        return;
    texts_[index] = text;
    // Status texts announce slow work that follows at once: show them now.
    repaint();
}

void TStatusBar::setSizeGrip(bool on) {
    sizeGrip_ = on;
    update();
}

void TStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    int x = 0;
    for (int i = 0; i < widths_.size(); ++i) {
        // The last panel takes the rest of the bar.
        const int w = (i == widths_.size() - 1) ? qMax(widths_[i], width() - x) : widths_[i];
        const QRect r(x, 1, w - 2, height() - 2);
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(r.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                   texts_[i]);
        x += w;
    }
    if (sizeGrip_) {
        QStyleOptionSizeGrip opt;
        opt.initFrom(this);
        opt.rect = QRect(width() - 13, height() - 13, 13, 13);
        opt.corner = Qt::BottomRightCorner;
        style()->drawControl(QStyle::CE_SizeGrip, &opt, &p, this);
    }
}

}  // namespace kordel
