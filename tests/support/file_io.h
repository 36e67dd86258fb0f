// Whole files read and written for the tests' own use.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kordel::test {

// The file's bytes; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes the whole file, making the folders on the way.
inline bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) &&
           f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Sets the file's modification time.
inline bool setModified(const QString& path, const QDateTime& time) {
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(time, QFileDevice::FileModificationTime);
}

}  // namespace kordel::test
