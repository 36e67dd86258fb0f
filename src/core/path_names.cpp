#include "path_names.h"

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
    for (char& c : ext)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return ext;
}

QByteArray fileExtension(const QString& name) {
    return fileExtension(name.toUtf8(), NameEncoding::Utf8);
}

}  // namespace kordel
