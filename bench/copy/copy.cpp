// Copying a large file through the program's file operations against cp in the
// same run: each round runs every contender once, in turn; medians are printed.
//
//   bench_copy [--rounds N] [--megabytes N] [FOLDER]
//
// FOLDER (default: the system's temporary folder) holds the source and the copies.
// "cp + sync" also waits for the copy to reach the disk, as the program does before
// it puts the copy in place.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "linux_services.h"
#include "linux_shell.h"

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool run(const QString& program, const QStringList& arguments) {
    return QProcess::execute(program, arguments) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int rounds = 5, megabytes = 200;
    QString folder = QDir::tempPath();
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--rounds" && i + 1 < args.size())
            rounds = args[++i].toInt();
        else if (args[i] == u"--megabytes" && i + 1 < args.size())
            megabytes = args[++i].toInt();
        else
            folder = args[i];
    }
    QTemporaryDir dir(folder + QStringLiteral("/bench-copy-XXXXXX"));
    const QString source = dir.filePath(QStringLiteral("source.bmp"));
    {
        QFile out(source);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        std::vector<quint32> block(1 << 18);  // 1 MiB of noise, so nothing compresses
        for (int m = 0; m < megabytes; ++m) {
            QRandomGenerator::global()->fillRange(block.data(), block.size());
            out.write(reinterpret_cast<const char*>(block.data()), qint64(block.size() * 4));
        }
    }
    run(QStringLiteral("sync"), {});

    kordel::LinuxDialogs dialogs;
    kordel::LinuxShell shell(dialogs);
    const QString target = dir.filePath(QStringLiteral("copy.bmp"));
    struct Contender {
        const char* name;
        std::function<bool()> copy;
        std::vector<double> seconds;
    };
    std::vector<Contender> contenders = {
        {"cp",
         [&] {
             return run(QStringLiteral("cp"), {source, target});
         },
         {}},
        {"cp + sync",
         [&] {
             return run(QStringLiteral("cp"), {source, target}) &&
                    run(QStringLiteral("sync"), {target});
         },
         {}},
        {"Kordel", [&] { return shell.copyFile(nullptr, source, target); }, {}},
    };
    for (int r = 0; r < rounds; ++r) {
        for (Contender& c : contenders) {
            QFile::remove(target);
            run(QStringLiteral("sync"), {});
            QElapsedTimer clock;
            clock.start();
            if (!c.copy() || QFileInfo(target).size() != qint64(megabytes) << 20) {
                std::fprintf(stderr, "%s failed\n", c.name);
                return 1;
            }
            c.seconds.push_back(clock.nsecsElapsed() / 1e9);
        }
    }
    std::printf("%d MiB in %s, median of %d rounds\n", megabytes, qPrintable(folder), rounds);
    for (const Contender& c : contenders)
        std::printf("  %-10s %7.3f s\n", c.name, median(c.seconds));
    const double kordel = median(contenders[2].seconds);
    std::printf("Kordel / cp        %.2f\nKordel / cp + sync %.2f\n",
                kordel / median(contenders[0].seconds), kordel / median(contenders[1].seconds));
    return 0;
}
