#include "catalogue_grid.h"

#include <algorithm>
#include <cmath>

namespace kordel {

CatalogueGrid catalogueGrid(QSize window, QSize area, QSize cell) {
    const int cw = std::max(cell.width(), 1);
    const int ch = std::max(cell.height(), 0) + kCellLabelHeight;
    CatalogueGrid g;
    g.columns = std::clamp(area.width() / cw, 1, kMaxGrid);
    g.rows = std::clamp(area.height() / ch, 1, kMaxGrid);
    g.window = QSize(window.width() - (area.width() - cw * g.columns),
                     window.height() - (area.height() - ch * g.rows));
    return g;
}

QRect cellImageRect(QSize shown, QSize cell, bool icon) {
    const int w = shown.width(), h = shown.height();
    QSize size = shown;
    if (!icon) {
        const double ww = w > 0 ? w : 1;
        const double hh = h > 0 ? h : 1;
        const double sx = (cell.width() - 4) / ww;
        const double sy = (cell.height() - 4) / hh;
        // The products are formed in extended precision from the double scale,
        // so that a scale held just below a whole ratio truncates downwards.
        const double scale = (long double)cell.height() > h * (long double)sx ? sx : sy;
        size =
            QSize(int(std::trunc(w * (long double)scale)), int(std::trunc(h * (long double)scale)));
    }
    size = size.boundedTo(QSize(cell.width() - 10, cell.height() - 10));
    return QRect(QPoint(int((cell.width() - size.width()) * 0.5),
                        int((cell.height() - size.height()) * 0.5)),
                 size);
}

}  // namespace kordel
