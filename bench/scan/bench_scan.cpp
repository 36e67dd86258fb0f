// Rescanning a folder of 2000 small JPEG files with the file list shown, against
// a bare directory walk of the same folder by find(1), in the same run.
//
// What is timed:
//   rescan   TForm1::RescanFileList() in the real main window (offscreen, with the
//            fake platform services of the tests): the 13 kind masks scanned into
//            the file table, entry 0 decoded through ifjpeg.spi and shown, and the
//            list filled with a row of size, date and kind for every file.
//   masks    the 13 mask scans alone (listing the folder and matching the names).
//   fill     FillFileList() alone (a look-up per file and the list rows).
//   find     `find DIR -maxdepth 1 -iname '*.jpg' -printf '%s %t\n'` as a whole
//            process, from spawn to exit, its output sent to /dev/null: one walk of
//            the folder with a look-up per file.
// Every round runs each of them once, in turn; the figures are medians of the
// rounds. Times are printed, never checked.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "file_table.h"
#include "list_view.h"
#include "main.h"
#include "test_program.h"

extern char** environ;

namespace {

constexpr int kFiles = 2000;
constexpr int kRounds = 15;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double timed(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The whole find process; false when it could not be started or failed.
bool runFind(const QString& folder) {
    const QByteArray dir = QFile::encodeName(folder);
    const char* argv[] = {"find",  dir.constData(), "-maxdepth", "1",    "-iname",
                          "*.jpg", "-printf",       "%s %t\n",   nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started =
        posix_spawnp(&pid, "find", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QByteArray tinyJpeg() {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(qRgb(90, 140, 200));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 80);
    return data;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "bench_scan: no temporary folder\n");
        return 1;
    }
    const QByteArray jpeg = tinyJpeg();
    for (int i = 0; i < kFiles; ++i) {
        QFile f(folder.filePath(QStringLiteral("img%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
        if (!f.open(QIODevice::WriteOnly) || f.write(jpeg) != jpeg.size()) {
            std::fprintf(stderr, "bench_scan: cannot write the pictures\n");
            return 1;
        }
    }
    if (!runFind(folder.path())) {
        std::fprintf(stderr, "bench_scan: find(1) could not be run\n");
        return 1;
    }

    const QString previous = QDir::currentPath();
    kordel::test::TestProgram program;
    program.start();
    kordel::TForm1* form = program.form1();
    QDir::setCurrent(folder.path());
    const QString scanFolder = form->currentFolder();

    std::vector<double> rescan, masks, fill, find;
    for (int round = 0; round < kRounds; ++round) {
        rescan.push_back(timed([&] { form->RescanFileList(); }));
        masks.push_back(timed([&] {
            kordel::FileTable table;
            for (const QString& mask : form->kindMasks)
                if (mask != QStringLiteral(" "))
                    kordel::scanNamesIntoTable(table, kordel::listFolderMask(scanFolder, mask),
                                               form->SortOpt == 1, {});
        }));
        fill.push_back(timed([&] { form->FillFileList(false); }));
        find.push_back(timed([&] { runFind(folder.path()); }));
    }
    const int rows = form->ListView->count();
    QDir::setCurrent(previous);
    if (rows != kFiles || form->lastIndex != kFiles - 1) {
        std::fprintf(stderr, "bench_scan: the list has %d rows instead of %d\n", rows, kFiles);
        return 1;
    }

    const double r = median(rescan), m = median(masks), l = median(fill), f = median(find);
    std::printf("Rescan of a folder of %d JPEG files (%lld bytes each), list shown, %d rounds\n",
                kFiles, static_cast<long long>(jpeg.size()), kRounds);
    std::printf("  rescan (scan, entry 0 shown, list filled)  %8.2f ms\n", r);
    std::printf("    the 13 mask scans alone                  %8.2f ms\n", m);
    std::printf("    the list fill alone                      %8.2f ms\n", l);
    std::printf("  find -maxdepth 1 -iname '*.jpg' -printf    %8.2f ms\n", f);
    std::printf("  ratio rescan / find                        %8.2f (target: at most 10)\n", r / f);
    return 0;
}
