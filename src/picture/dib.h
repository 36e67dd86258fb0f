// Conversion of a device-independent bitmap (header, colour table, rows) into a QImage.
#pragma once

#include <QImage>

namespace kordel {

// Turns the two blocks a decoder plug-in hands back into an image. Rows stored
// bottom-up or top-down both come out upright. 1, 4 and 8 bits per pixel give
// an indexed image with the colour table; 16, 24 and 32 bits give RGB32.
// Returns a null image when the header is unusable (unknown depth,
// compression other than none or bit fields, or a size past the decoder limits).
QImage imageFromDib(const void* bitmapInfo, const void* bits);

}  // namespace kordel
