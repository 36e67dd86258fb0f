// Arithmetic of the catalogue window: how many cells fit, the window size that
// holds exactly those, and where a thumbnail sits inside its cell.
#pragma once

#include <QRect>
#include <QSize>

namespace kordel {

// Height of the name line under each thumbnail box.
constexpr int kCellLabelHeight = 13;
// At most this many columns and rows.
constexpr int kMaxGrid = 10;

struct CatalogueGrid {
    int columns = 1, rows = 1;
    QSize window;  // the window snapped to whole cells
};

// Cells of `cell` (thumbnail box; a name line is added below it) that fit into
// `area`, 1 to 10 each way, and the window size at which the area holds exactly them.
CatalogueGrid catalogueGrid(QSize window, QSize area, QSize cell);

// The thumbnail's place inside its cell box: `shown` is the display size of the
// thumbnail (or the picture's own size for icons and metafiles). Icons keep their
// size; other pictures are scaled into the box less a 2-pixel border, keeping
// their ratio. Either way at most 10 pixels narrower and lower than the box,
// and centred.
QRect cellImageRect(QSize shown, QSize cell, bool icon);

}  // namespace kordel
