#include "profile_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace kordel {

namespace {

constexpr int kMaxValueLength = 1023;

bool isSectionLine(const QString& trimmed) {
    return trimmed.startsWith(u'[') && trimmed.contains(u']');
}

QString sectionName(const QString& trimmed) {
    return trimmed.mid(1, trimmed.indexOf(u']') - 1).trimmed();
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Key part of a "key=value" line, or a null string for other lines.
QString keyOf(const QString& line) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || isSectionLine(t))
        return {};
    const int eq = t.indexOf(u'=');
    if (eq < 0)
        return {};
    return t.left(eq).trimmed();
}

}  // namespace

int parseProfileInteger(const QString& text, int fallback) {
    QString s = text;
    if (s.size() > 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X'))
        s = u'$' + s.mid(2);
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) {
        negative = s[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < s.size() && s[i] == u'$') {
        hex = true;
        ++i;
    }
    if (i >= s.size())
        return fallback;
    quint64 value = 0;
    for (; i < s.size(); ++i) {
        const int digit = s[i].isDigit() && s[i].unicode() < 128
                              ? s[i].unicode() - '0'
                              : (hex && s[i].toLower() >= u'a' && s[i].toLower() <= u'f'
                                     ? s[i].toLower().unicode() - 'a' + 10
                                     : -1);
        if (digit < 0)
            return fallback;
        value = value * (hex ? 16 : 10) + quint64(digit);
        if (value > 0xffffffffull)
            return fallback;
    }
    if (hex) {
        // Hexadecimal covers the full 32 bits; the top bit makes a negative number.
        const qint32 v = qint32(quint32(value));
        return negative ? -v : v;
    }
    if (negative ? value > 0x80000000ull : value > 0x7fffffffull)
        return fallback;
    return negative ? int(-qint64(value)) : int(value);
}

ProfileFile::ProfileFile(const QString& path) : path_(path) {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    existed_ = true;
    const QByteArray data = file.readAll();
    crlf_ = data.contains("\r\n");
    // A file that is not UTF-8 (an older editor's Shift-JIS comment, say) is held
    // byte for byte, so that saving it loses nothing; keys and values are ASCII.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(data);
    if (utf8.hasError()) {
        latin1_ = true;
        text = QString::fromLatin1(data);
    }
    text.remove(u'\r');
    lines_ = text.split(u'\n');
    if (!lines_.isEmpty() && lines_.last().isEmpty())
        lines_.removeLast();
}

int ProfileFile::findSection(const QString& section) const {
    for (int i = 0; i < lines_.size(); ++i) {
        const QString t = lines_[i].trimmed();
        if (isSectionLine(t) && sameName(sectionName(t), section))
            return i;
    }
    return -1;
}

int ProfileFile::sectionEnd(int sectionLine) const {
    int i = sectionLine + 1;
    while (i < lines_.size() && !isSectionLine(lines_[i].trimmed()))
        ++i;
    return i;
}

int ProfileFile::findKey(int sectionLine, const QString& key) const {
    const int end = sectionEnd(sectionLine);
    for (int i = sectionLine + 1; i < end; ++i) {
        const QString k = keyOf(lines_[i]);
        if (!k.isNull() && sameName(k, key))
            return i;
    }
    return -1;
}

QString ProfileFile::readString(const QString& section,
                                const QString& key,
                                const QString& fallback) const {
    const int s = findSection(section);
    if (s < 0)
        return fallback;
    const int k = findKey(s, key);
    if (k < 0)
        return fallback;
    const QString& line = lines_[k];
    return line.mid(line.indexOf(u'=') + 1).trimmed().left(kMaxValueLength);
}

int ProfileFile::readInteger(const QString& section, const QString& key, int fallback) const {
    return parseProfileInteger(readString(section, key), fallback);
}

bool ProfileFile::readBool(const QString& section, const QString& key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void ProfileFile::writeString(const QString& section, const QString& key, const QString& value) {
    const QString line = key + u'=' + value;
    int s = findSection(section);
    if (s < 0) {
        if (!lines_.isEmpty() && !lines_.last().trimmed().isEmpty())
            lines_.append(QString());
        lines_.append(u'[' + section + u']');
        lines_.append(line);
        modified_ = true;
        return;
    }
    const int k = findKey(s, key);
    if (k >= 0) {
        if (lines_[k] != line) {
            lines_[k] = line;
            modified_ = true;
        }
        return;
    }
    // After the section's last key, so blank lines and comments before the next section stay.
    int at = s + 1;
    const int end = sectionEnd(s);
    for (int i = s + 1; i < end; ++i)
        if (!keyOf(lines_[i]).isNull())
            at = i + 1;
    lines_.insert(at, line);
    modified_ = true;
}

void ProfileFile::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

void ProfileFile::writeBool(const QString& section, const QString& key, bool value) {
    writeInteger(section, key, value ? 1 : 0);
}

bool ProfileFile::save() {
    // A file the user made read-only is left alone, as the profile functions do.
    const QFileInfo info(path_);
    const QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (info.exists() && (!info.isWritable() || !(info.permissions() & anyWrite)))
        return false;
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString eol = crlf_ ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QString text;
    for (const QString& line : lines_)
        text += line + eol;
    // Flushed before the commit, which would take a full disk for success and put
    // the cut-off copy in place of the old file.
    if (file.write(latin1_ ? text.toLatin1() : text.toUtf8()) < 0 || !file.flush() ||
        !file.commit())
        return false;
    existed_ = true;
    modified_ = false;
    return true;
}

}  // namespace kordel
