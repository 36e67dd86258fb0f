// Layout arithmetic of the viewer.
#pragma once

#include <QRect>
#include <QSize>

namespace kordel {

// Picture size when it is scaled, keeping its ratio, into a viewer panel of the
// given outer size (a 2-pixel border on each side). The height test compares
// against the panel's outer height, as the program always has.
QSize ratioFit(QSize picture, QSize panelOuter);

// Window size for "window fits picture" and for a fixed canvas.
struct WindowFit {
    QSize window;
    QSize viewPanel;  // only used while the list is shown
};
// The list shown: the viewer panel takes `viewer` (outer size) and the window grows
// or shrinks around it; `gap` is what lies between viewer and list (2 for the
// splitter bar in "window fits picture", 0 for a canvas size).
WindowFit fitWithList(QSize window,
                      QSize viewPanel,
                      int treePanelHeight,
                      int listHeight,
                      QSize viewer,
                      int gap);
// The list hidden: the window changes by the viewer's change, at least 470 wide.
QSize fitWithoutList(QSize window, QSize viewPanel, QSize viewer);
// A fit cut down to a window of at most `most`, the viewer giving up what the
// window does: a picture larger than the screen shows its top-left part rather
// than pushing the window's frame off the screen.
WindowFit limitedFit(WindowFit fit, QSize most);

constexpr int kMinimumWindowWidth = 470;

// Where a window stored in the settings file is placed: no larger than the desktop and
// wholly on it, so that a hand-edited file or one written with a screen that is gone
// does not put the window out of the user's reach. A window already on the desktop
// keeps its place and size.
QRect keptOnDesktop(QRect window, QRect desktop);

// The size at which a picture of the given stored size is shown as a
// thumbnail: at most 96 × 72, its aspect kept. Sizes of 0 or less count as 1
// for the scale. The products of the size and the double scale are formed in
// extended precision before they are compared and truncated, so a 640 × 480
// picture comes out 95 × 71.
QSize thumbnailDisplaySize(int width, int height);

}  // namespace kordel
