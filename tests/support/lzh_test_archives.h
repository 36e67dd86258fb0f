// LZH archives for the archive tests: small ones kept as files in the fuzz
// corpus, larger ones written by the independent jlha archiver.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kordel::test {

// The folder of archive files, with its trailing "/".
inline QString lzhCorpus() {
    return QStringLiteral(KORDEL_SOURCE_DIR "/fuzz/corpus/unlha32/");
}

bool haveJlha();
// Runs jlha in workDir with Shift-JIS names; returns its error text, empty on success.
QString runJlha(const QString& workDir, const QStringList& args);

}  // namespace kordel::test
