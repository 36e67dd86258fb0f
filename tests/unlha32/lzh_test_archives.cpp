#include "lzh_test_archives.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>
#include <utility>

namespace kordel::test {

namespace {

void put16(QByteArray& b, quint32 v) {
    b += char(v & 0xFF);
    b += char((v >> 8) & 0xFF);
}

void put32(QByteArray& b, quint32 v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// Extended headers chained as the format wants: each ends with the size of the
// next; the size of the first goes into the base header.
QByteArray extensions(const QList<std::pair<char, QByteArray>>& list,
                      int sizeBytes,
                      quint32* firstSize) {
    QByteArray out;
    *firstSize = 0;
    for (int i = 0; i < list.size(); ++i) {
        const quint32 size = quint32(1 + list[i].second.size() + sizeBytes);
        if (i == 0)
            *firstSize = size;
        else
            (sizeBytes == 2 ? put16(out, size) : put32(out, size));
        out += list[i].first;
        out += list[i].second;
    }
    if (!list.isEmpty())
        out += QByteArray(sizeBytes, '\0');
    return out;
}

}  // namespace

quint16 lzhCrc16(const QByteArray& data) {
    quint16 crc = 0;
    for (char ch : data) {
        crc ^= quint8(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

QByteArray lzhMember(const HandMember& m) {
    const QByteArray packed = m.packed.isEmpty() ? m.content : m.packed;
    const quint16 crc = lzhCrc16(m.content);
    // Level 0 has no extended headers: the folder goes in front of the name.
    const QByteArray name =
        m.level == 0 ? QByteArray(m.folder).replace('\xFF', '\\') + m.name : m.name;
    QList<std::pair<char, QByteArray>> ext;
    if (m.level >= 2)
        ext.append({0x01, name});
    if (!m.folder.isEmpty() && m.level > 0)
        ext.append({0x02, m.folder});
    quint32 firstExt = 0;
    QByteArray h;
    if (m.level <= 1) {
        const QByteArray tail = extensions(ext, 2, &firstExt);
        h += QByteArray(2, '\0');
        h += m.method;
        put32(h, quint32(packed.size() + tail.size()));
        put32(h, quint32(m.content.size()));
        put16(h, m.dosTime);
        put16(h, m.dosDate);
        h += char(0x20);
        h += char(m.level);
        h += char(name.size());
        h += name;
        put16(h, crc);
        if (m.level == 1) {
            h += m.os;
            put16(h, firstExt);
        }
        h[0] = char(h.size() - 2);
        quint8 sum = 0;
        for (int i = 2; i < h.size(); ++i)
            sum += quint8(h[i]);
        h[1] = char(sum);
        h += tail;
    } else {
        const int sizeBytes = m.level == 2 ? 2 : 4;
        const QByteArray tail = extensions(ext, sizeBytes, &firstExt);
        put16(h, m.level == 2 ? 0 : 4);
        h += m.method;
        put32(h, quint32(packed.size()));
        put32(h, quint32(m.content.size()));
        put32(h, m.unixTime);
        h += char(0x20);
        h += char(m.level);
        put16(h, crc);
        h += m.os;
        if (m.level == 2) {
            put16(h, firstExt);
            h += tail;
            qToLittleEndian<quint16>(quint16(h.size()), h.data());
        } else {
            put32(h, 0);
            put32(h, firstExt);
            h += tail;
            qToLittleEndian<quint32>(quint32(h.size()), h.data() + 24);
        }
    }
    return h + packed;
}

QByteArray lzhArchive(const QList<HandMember>& members) {
    QByteArray out;
    for (const HandMember& m : members)
        out += lzhMember(m);
    return out + char(0);
}

QByteArray lz5Literals(const QByteArray& data) {
    QByteArray out;
    for (int i = 0; i < data.size(); i += 8)
        out += char(0xFF) + data.mid(i, 8);  // every flag bit set: eight literals follow
    return out;
}

QByteArray lzsLiterals(const QByteArray& data) {
    QByteArray out;
    quint32 acc = 0;
    int bits = 0;
    for (char ch : data) {
        acc = (acc << 9) | 0x100 | quint8(ch);  // a one bit, then the literal
        bits += 9;
        while (bits >= 8) {
            out += char((acc >> (bits - 8)) & 0xFF);
            bits -= 8;
        }
    }
    if (bits > 0)
        out += char((acc << (8 - bits)) & 0xFF);
    return out;
}

bool haveJlha() {
    return !QStandardPaths::findExecutable(QStringLiteral("jlha")).isEmpty();
}

QString runJlha(const QString& workDir, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));  // lets Java read the names
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("jlha"), args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("jlha failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
    return {};
}

}  // namespace kordel::test
