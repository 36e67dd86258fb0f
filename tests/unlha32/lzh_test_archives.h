// Archives for the archive library's tests: hand-made LZH members at any header
// level, and real archives from the independent jlha writer.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace kordel::test {

quint16 lzhCrc16(const QByteArray& data);

struct HandMember {
    int level = 0;
    QByteArray method = "-lh0-";
    QByteArray name;     // raw stored bytes; levels 0 and 1 may hold "\" separated folders
    QByteArray folder;   // raw folder field of levels 1 to 3 (0xFF between folders)
    QByteArray content;  // the uncompressed data
    QByteArray packed;   // the stored data; empty means content itself
    quint16 dosDate = (21 << 9) | (2 << 5) | 3;  // 2001-02-03
    quint16 dosTime = (4 << 11) | (5 << 5) | 3;  // 04:05:06
    quint32 unixTime = 981173106;
    char os = 'M';
};

// One header with its data.
QByteArray lzhMember(const HandMember& m);
// Members followed by the zero end mark.
QByteArray lzhArchive(const QList<HandMember>& members);

// Streams holding only literals, for the LArc methods.
QByteArray lz5Literals(const QByteArray& data);
QByteArray lzsLiterals(const QByteArray& data);

bool haveJlha();
// Runs jlha in workDir with Shift-JIS names; returns its error text, empty on success.
QString runJlha(const QString& workDir, const QStringList& args);

}  // namespace kordel::test
