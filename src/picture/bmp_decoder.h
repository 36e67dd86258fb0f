// Our own BMP decoder: every header version (OS/2 1.x core, OS/2 2.x, Windows
// 3.x to 5), 1 to 32 bits per pixel, RLE8, RLE4 and bit fields. Damaged files
// never show memory that the file did not fill: dots a truncated file or an RLE
// delta leaves out are colour 0.
#pragma once

#include <QByteArray>
#include <QImage>

namespace kordel {

// Decodes a whole BMP file. 1, 4 and 8 bits per pixel give an indexed image with a
// full colour table (entries the file lacks are black); 16, 24 and 32 bits give
// RGB32, or ARGB32 when an alpha mask is given and used. A null image when the
// data is no BMP this decoder shows, or its size is past the decoder limits.
QImage decodeBmpData(const QByteArray& data);

}  // namespace kordel
