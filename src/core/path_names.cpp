#include "path_names.h"

#include <QDir>

namespace kordel {

QByteArray fileExtension(const QByteArray& name, NameEncoding encoding) {
    qsizetype dot = -1;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (encoding == NameEncoding::ShiftJis) {
            if (isShiftJisLeadByte(c)) {
                ++i;  // the trail byte goes with it
                continue;
            }
            if (c == '\\' || c == ':' || c == '/')
                dot = -1;
        } else if (c == '/') {
            dot = -1;
        }
        if (c == '.')
            dot = i;
    }
    if (dot < 0)
        return {};
    QByteArray ext = name.mid(dot);
    for (qsizetype i = 0; i < ext.size(); ++i) {
        const auto c = static_cast<unsigned char>(ext[i]);
        // A trail byte may look like an ASCII letter; it stays as it is.
        if (encoding == NameEncoding::ShiftJis && isShiftJisLeadByte(c))
            ++i;
        else if (c >= 'a' && c <= 'z')
            ext[i] = char(c - 'a' + 'A');
    }
    return ext;
}

QByteArray fileExtension(const QString& name) {
    return fileExtension(name.toUtf8(), NameEncoding::Utf8);
}

bool isTrashFilesFolder(const QString& folder, const QString& dataHome, uint uid) {
    const QString path = QDir::cleanPath(folder);
    if (!dataHome.isEmpty() && path == QDir::cleanPath(dataHome + QStringLiteral("/Trash/files")))
        return true;
    const QString id = QString::number(uid);
    return path.endsWith(QStringLiteral("/.Trash-") + id + QStringLiteral("/files")) ||
           path.endsWith(QStringLiteral("/.Trash/") + id + QStringLiteral("/files"));
}

}  // namespace kordel
