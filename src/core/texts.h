// Texts the windows show: colour depths, sizes, dates, kinds.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace kordel {

// "2色" … "16M色" by bits per pixel; "色不明" for depths without a name.
QString colourDepthText(int bitsPerPixel);

// A number of KB with "," between groups of three digits and at least "1".
QString formatSizeKB(qint64 kb);

// "yy/mm/dd hh:nn" of a local time.
QString formatListDate(const QDateTime& local);
// The same from MS-DOS date and time words.
QString formatDosDate(quint16 date, quint16 time);

// Small-icon index of a file kind by its upper-cased extension (".JPEG" → 3); -1 when none.
int kindIconIndex(const QByteArray& extension);
// The kind column: the extension without its dot and " ﾌｧｲﾙ" ("JPEG ﾌｧｲﾙ").
QString kindText(const QByteArray& extension);

}  // namespace kordel
