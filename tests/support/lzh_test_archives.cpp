#include "lzh_test_archives.h"

#include <QProcess>
#include <QStandardPaths>

namespace kordel::test {

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
