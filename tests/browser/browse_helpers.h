// Picture files for the browsing tests, and choosing from the kind box.
#pragma once

#include <QByteArray>
#include <QSize>

class QComboBox;

namespace kordel::test {

// An uncompressed BMP of 1, 4, 8, 16, 24 or 32 bits per pixel; with `core` the
// 12-byte information header of OS/2 1.x files (1 to 24 bits).
QByteArray bmpFile(QSize size, int bits, bool core = false);
// A 32-bit icon through Qt's writer, filled with `colour`.
QByteArray icoFile(int size, unsigned colour = 0xffc82828);
// A metafile of about 2 × 1 inches with a filled rectangle.
QByteArray emfFile();
QByteArray wmfFile();
// A baseline JPEG through Qt's writer, padded with zeros to at least `bytes`.
QByteArray jpegFile(QSize size, qint64 bytes = 0);

// Chooses an item of the kind box in its drop-down list with the mouse.
void chooseKind(QComboBox* box, int index);

}  // namespace kordel::test
