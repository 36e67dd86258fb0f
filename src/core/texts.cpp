#include "texts.h"

namespace kordel {

QString colourDepthText(int bits) {
    switch (bits) {
        case 1:
            return QStringLiteral("2色");
        case 2:
            return QStringLiteral("4色");
        case 3:
            return QStringLiteral("8色");
        case 4:
            return QStringLiteral("16色");
        case 5:
            return QStringLiteral("32色");
        case 6:
            return QStringLiteral("64色");
        case 7:
            return QStringLiteral("128色");
        case 8:
            return QStringLiteral("256色");
        case 15:
            return QStringLiteral("3万色");
        case 16:
            return QStringLiteral("6万色");
        case 24:
        case 32:
            return QStringLiteral("16M色");
        default:
            return QStringLiteral("色不明");
    }
}

QString formatSizeKB(qint64 kb) {
    // Grouped with "," whatever the user's locale: the size sort reads it back.
    const bool negative = kb < 0;
    QString digits = QString::number(negative ? -kb : kb);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    if (digits == QStringLiteral("0"))
        return QStringLiteral("1");
    return negative ? u'-' + digits : digits;
}

QString formatListDate(const QDateTime& local) {
    return local.toString(QStringLiteral("yy/MM/dd HH:mm"));
}

QString formatDosDate(quint16 d, quint16 t) {
    const int year = (d >> 9) + 1980;
    const int month = (d >> 5) & 15;
    const int day = d & 31;
    const int hour = t >> 11;
    const int minute = (t >> 5) & 63;
    auto two = [](int v) { return QStringLiteral("%1").arg(v % 100, 2, 10, QLatin1Char('0')); };
    return two(year) + u'/' + two(month) + u'/' + two(day) + u' ' + two(hour) + u':' + two(minute);
}

int kindIconIndex(const QByteArray& ext) {
    static const char* const kinds[] = {".BMP", ".JPG", ".JPE", ".JPEG", ".GIF", ".TIF", ".PIC",
                                        ".P2",  ".MAG", ".PI",  ".Q4",   ".ICO", ".WMF", ".EMF"};
    for (int i = 0; i < 14; ++i)
        if (ext == kinds[i])
            return i;
    return -1;
}

QString kindText(const QByteArray& ext) {
    return QString::fromUtf8(ext.mid(1)) + QStringLiteral(" ﾌｧｲﾙ");
}

}  // namespace kordel
