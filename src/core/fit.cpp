#include "fit.h"

#include <algorithm>
#include <limits>

namespace kordel {

QSize ratioFit(QSize picture, QSize panelOuter) {
    const int w = picture.width(), h = picture.height();
    const double w1 = w > 0 ? w : 1;
    const double h1 = h > 0 ? h : 1;
    const double sx = (panelOuter.width() - 4) / w1;
    const double sy = (panelOuter.height() - 4) / h1;
    const double s = panelOuter.height() > h * sx ? sx : sy;
    return {int(w * s), int(h * s)};
}

QSize thumbnailDisplaySize(int width, int height) {
    static_assert(std::numeric_limits<long double>::digits >= 64,
                  "thumbnail sizes need products with a 64-bit mantissa");
    const int w1 = width > 0 ? width : 1;
    const int h1 = height > 0 ? height : 1;
    const double sx = 96.0 / w1;
    const double sy = 72.0 / h1;
    const double scale = static_cast<long double>(height) * sx < 72.0L ? sx : sy;
    return {int(static_cast<long double>(width) * scale),
            int(static_cast<long double>(height) * scale)};
}

WindowFit fitWithList(QSize window,
                      QSize viewPanel,
                      int treePanelHeight,
                      int listHeight,
                      QSize viewer,
                      int gap) {
    const int d = viewPanel.width() - viewer.width();
    const int e = window.height() - treePanelHeight;
    WindowFit f;
    f.viewPanel = viewer;
    f.window = QSize(window.width() - d, viewer.height() + gap + listHeight + e);
    return f;
}

QSize fitWithoutList(QSize window, QSize viewPanel, QSize viewer) {
    const int width =
        std::max(kMinimumWindowWidth, window.width() + viewer.width() - viewPanel.width());
    return {width, window.height() + viewer.height() - viewPanel.height()};
}

WindowFit limitedFit(WindowFit fit, QSize most) {
    const QSize over(std::max(0, fit.window.width() - most.width()),
                     std::max(0, fit.window.height() - most.height()));
    fit.window -= over;
    fit.viewPanel = (fit.viewPanel - over).expandedTo(QSize(0, 0));
    return fit;
}

QRect keptOnDesktop(QRect window, QRect desktop) {
    if (desktop.isEmpty())
        return window;
    const QSize size = window.size().boundedTo(desktop.size()).expandedTo({1, 1});
    const int left = std::clamp(window.left(), desktop.left(), desktop.right() + 1 - size.width());
    const int top = std::clamp(window.top(), desktop.top(), desktop.bottom() + 1 - size.height());
    return {QPoint(left, top), size};
}

}  // namespace kordel
