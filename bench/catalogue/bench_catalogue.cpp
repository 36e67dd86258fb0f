// The catalogue filling its first page, against vipsthumbnail in the same run.
//
// What is measured:
//   first page  a folder of 100 JPEG files of 6000 x 4000 (quality 90) open in the
//               main window (offscreen, fake platform services); from opening the
//               catalogue (10 x 10 cells of 128 x 96) until its first page is
//               filled and the thumbnail list holds all 100 images.
//   vips        `vipsthumbnail --size 96x72` over the same 100 files, one process,
//               from spawn to exit (Debian package libvips-tools).
//   stall       the worst lateness of a 5 ms timer on the main thread while the
//               loader runs: how long the user interface stood still at most.
//   memory      VmHWM of this process after the catalogue has loaded a folder of
//               2000 small JPEG files (measured first, before the large pictures).
// Each round runs both contenders once, in turn, after one warm-up round; the
// figures are medians. The machine's load (/proc/loadavg) is printed with them.
// The desktop's thumbnail cache is emptied before each opening, so the
// catalogue decodes every picture (and stores it in the cache) every round.
//   warm        the same first page again with the thumbnails the catalogue
//               stored in the desktop's cache last time.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "bench_support.h"
#include "catalogue_window.h"
#include "main.h"
#include "speed_button.h"
#include "test_program.h"
#include "thumbnail_cache.h"

extern char** environ;

using namespace kordel;

namespace {

constexpr int kLarge = 100, kSmall = 2000, kRounds = 5;

QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readLine()).trimmed() : QString();
}

long statusKb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    // A file of /proc has no size: read it whole rather than up to its "end".
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).simplified().split(' ').value(0).toLong();
    return -1;
}

// The pictures of a folder, made once and kept for later runs.
QStringList makeFolder(const QString& folder,
                       int count,
                       const std::function<bool(const QString&)>& first) {
    QDir().mkpath(folder);
    QStringList files;
    for (int k = 0; k < count; ++k)
        files << folder + QStringLiteral("/img%1.jpg").arg(k, 4, 10, QLatin1Char('0'));
    for (int k = 0; k < count; ++k) {
        if (QFile::exists(files[k]))
            continue;
        if (!(k == 0 ? first(files[0]) : QFile::copy(files[0], files[k])))
            bench::fail(QStringLiteral("cannot write ") + files[k]);
    }
    return files;
}

// Wall time of the whole process; its CPU time goes to *cpu.
double runVips(const QStringList& files, const QString& out, double* cpu) {
    QList<QByteArray> args = {"vipsthumbnail", "--size", "96x72", "-o",
                              QFile::encodeName(out + QStringLiteral("/%s.jpg"))};
    for (const QString& f : files)
        args << QFile::encodeName(f);
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = bench::Clock::now();
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    if (posix_spawnp(&pid, "vipsthumbnail", nullptr, nullptr, argv.data(), environ) != 0 ||
        wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        bench::fail(QStringLiteral("vipsthumbnail failed (Debian package libvips-tools)"));
    *cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return bench::secondsSince(start);
}

// The main thread's worst lateness while it runs.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            double& worst = worst_[pageFilled ? 1 : 0];
            worst = std::max(worst, double(now - last_) / 1e9 - kInterval / 1000.0);
            last_ = now;
        });
    }
    void start() {
        clock_.start();
        last_ = 0;
        pageFilled = false;
        timer_.start(kInterval);
    }
    void stop() { timer_.stop(); }
    // The worst lateness while the button's handler filled the page, and after.
    double worst(int phase) const { return worst_[phase]; }
    bool pageFilled = false;

private:
    static constexpr int kInterval = 5;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    double worst_[2] = {0, 0};
};

// Opens the catalogue as its button does and returns when the first page is
// filled and the list holds every thumbnail. The CPU time of this process
// meanwhile goes to *cpu.
double openCatalogue(TForm1* f, StallMeter& stall, double* cpu, bool warm = false) {
    TForm2* w = f->context().form2;
    // A cold round decodes: the thumbnails the last one left in the desktop's
    // cache (the test program's own) are thrown away first.
    if (!warm)
        QDir(ThumbnailCache::defaultRoot()).removeRecursively();
    const auto start = bench::Clock::now();
    const double cpuStart = bench::cpuSeconds();
    stall.start();
    test::TestProgram::click(f->B_ichiran);
    stall.pageFilled = true;
    if (f->catalogueActive == 0) {
        // A catalogue button that opens nothing: the loader alone.
        f->catalogueActive = 1;
        w->startLoader();
    }
    while (w->ThrIL.size() <= f->lastIndex && f->loaderRunning == 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double t = bench::secondsSince(start);
    *cpu = bench::cpuSeconds() - cpuStart;
    stall.stop();
    if (w->ThrIL.size() != f->lastIndex + 1)
        bench::fail(QStringLiteral("the catalogue holds %1 thumbnails").arg(w->ThrIL.size()));
    return t;
}

void closeCatalogue(TForm1* f) {
    if (f->B_ichiran->isChecked())
        test::TestProgram::click(f->B_ichiran);
    f->catalogueActive = 0;
    f->context().form2->stopLoaderAndWait();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString data = QStringLiteral(KORDEL_BENCH_DATA_DIR);
    const QStringList small = makeFolder(data + "/small", kSmall, [](const QString& path) {
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(qRgb(90, 140, 200));
        return image.save(path, "JPG", 90);
    });
    const QStringList large = makeFolder(data + "/large", kLarge, [](const QString& path) {
        return bench::writeJpeg(path, bench::Scene(6000, 4000, {6, 40}), 90);
    });
    const QString loadBefore = loadAverage();

    test::TestProgram program;
    program.writeIni(
        QStringLiteral("[SubFormSize]\nTop=0\nLeft=0\nWidth=1300\nHeight=1250\n"
                       "[PicSize]\nX=128\nY=96\n"));
    program.start();
    TForm1* f = program.form1();
    StallMeter stall;

    double cpu = 0;
    f->openPath(data + "/small");
    openCatalogue(f, stall, &cpu);
    const long peakKb = statusKb("VmHWM:");
    closeCatalogue(f);
    std::printf("Catalogue benchmark, %d cores, load average before: %s\n",
                QThread::idealThreadCount(), qPrintable(loadBefore));
    std::printf("%d small JPEG files with the catalogue open:\n", kSmall);
    std::printf("  peak resident memory (VmHWM)             %.1f MB (target: at most 150 MB)\n",
                peakKb / 1024.0);
    std::printf("  worst main-thread stall: page fill %s, loader alone %s\n",
                qPrintable(bench::ms(stall.worst(0))), qPrintable(bench::ms(stall.worst(1))));

    f->openPath(data + "/large");
    if (f->lastIndex != kLarge - 1)
        bench::fail(QStringLiteral("the folder shows %1 entries").arg(f->lastIndex + 1));
    QTemporaryDir out;
    std::vector<double> ours, vips, oursCpu, vipsCpu;
    StallMeter largeStall;
    for (int round = 0; round <= kRounds; ++round) {
        double c = 0, d = 0;
        const double a = openCatalogue(f, round == 0 ? stall : largeStall, &c);
        closeCatalogue(f);
        const double b = runVips(large, out.path(), &d);
        if (round > 0) {
            ours.push_back(a);
            vips.push_back(b);
            oursCpu.push_back(c);
            vipsCpu.push_back(d);
        }
    }
    const double o = bench::median(ours), v = bench::median(vips);
    std::printf("First page of %d JPEG files of 6000 x 4000, medians of %d rounds (wall, CPU):\n",
                kLarge, kRounds);
    std::printf("  catalogue (page filled, %d thumbnails)   %s  %s\n", kLarge,
                qPrintable(bench::ms(o)), qPrintable(bench::ms(bench::median(oursCpu))));
    std::printf("  vipsthumbnail --size 96x72               %s  %s\n", qPrintable(bench::ms(v)),
                qPrintable(bench::ms(bench::median(vipsCpu))));
    std::printf("  ratio catalogue / vipsthumbnail          %.2f (target: at most 0.75)\n", o / v);
    std::printf(
        "  worst main-thread stall: page fill %s, loader alone %s (target: at most 50 ms)\n",
        qPrintable(bench::ms(largeStall.worst(0))), qPrintable(bench::ms(largeStall.worst(1))));

    // The last cold round left every thumbnail in the cache.
    std::vector<double> warm;
    for (int round = 0; round < kRounds; ++round) {
        double c = 0;
        warm.push_back(openCatalogue(f, largeStall, &c, true));
        closeCatalogue(f);
    }
    std::printf(
        "  catalogue again, thumbnails from the desktop's cache   %s (target: at most 150 ms)\n",
        qPrintable(bench::ms(bench::median(warm))));
    std::printf("Load average after: %s\n", qPrintable(loadAverage()));
    return 0;
}
