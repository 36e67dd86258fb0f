// Our own player for Windows metafiles (WMF, placeable or plain, and EMF).
//
// The records are played into a QPicture, so the viewer can stretch the picture
// to any size without losing sharpness.
#pragma once

#include <QByteArray>
#include <QPicture>
#include <QSize>
#include <optional>

namespace kordel {

struct Metafile {
    QPicture picture;  // drawing in device pixels of `size`, origin at (0, 0)
    QSize size;        // the frame at the given resolution (the stored size of the picture)
};

// Parses WMF (placeable or plain) or EMF data. nullopt when the data is not a metafile of either
// kind, is too damaged to play at all, or holds only EMF+ drawing, which this player does not
// render. dpiX/dpiY: the screen's resolution, used to turn the frame (0.01 mm for EMF, the
// placeable header's units per inch for WMF) into pixels.
std::optional<Metafile> playMetafile(const QByteArray& data, double dpiX = 96, double dpiY = 96);

}  // namespace kordel
