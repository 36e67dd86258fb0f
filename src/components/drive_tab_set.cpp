#include "drive_tab_set.h"

#include <QPainter>
#include <QStyleOptionTab>

namespace kordel {

TDriveTabSet::TDriveTabSet(QWidget* parent) : QTabBar(parent) {
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(true);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0xc0, 0xc0, 0xc0));
    setPalette(pal);
}

QSize TDriveTabSet::tabSizeHint(int index) const {
    // Room for the glyph before the text.
    const QSize text = fontMetrics().size(Qt::TextSingleLine, tabText(index));
    return {text.width() + 12 + 18, qMax(text.height() + 6, 22)};
}

void TDriveTabSet::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        option.text.clear();
        option.icon = QIcon();
        if (i != currentIndex())
            option.palette.setColor(QPalette::Button, palette().color(QPalette::Button));
        style()->drawControl(QStyle::CE_TabBarTabShape, &option, &p, this);
        const QRect r = tabRect(i).adjusted(6, 0, 0, 0);
        if (glyphOf)
            p.drawPixmap(r.left(), r.top() + 3, glyphOf(i));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRect(r.left() + 18, r.top() + 2, r.width() - 18, r.height() - 2),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, tabText(i));
    }
}

}  // namespace kordel
