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
#include <spawn.h>
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
    while (!f.atEnd()) {
        const QByteArray line = f.readLine();
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLong();
    }
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

double runVips(const QStringList& files, const QString& out) {
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
    if (posix_spawnp(&pid, "vipsthumbnail", nullptr, nullptr, argv.data(), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        bench::fail(QStringLiteral("vipsthumbnail failed (Debian package libvips-tools)"));
    return bench::secondsSince(start);
}

// The main thread's worst lateness while it runs.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            worst_ = std::max(worst_, double(now - last_) / 1e9 - kInterval / 1000.0);
            last_ = now;
        });
    }
    void start() {
        clock_.start();
        last_ = 0;
        timer_.start(kInterval);
    }
    void stop() { timer_.stop(); }
    double worst() const { return worst_; }

private:
    static constexpr int kInterval = 5;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    double worst_ = 0;
};

// Opens the catalogue as its button does and returns when the first page is
// filled and the list holds every thumbnail.
double openCatalogue(TForm1* f, StallMeter& stall) {
    TForm2* w = f->context().form2;
    const auto start = bench::Clock::now();
    stall.start();
    f->B_ichiran->click();
    if (f->catalogueActive == 0) {
        // A catalogue button that opens nothing: the loader alone.
        f->catalogueActive = 1;
        w->startLoader();
    }
    while (w->ThrIL.size() <= f->lastIndex && f->loaderRunning == 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double t = bench::secondsSince(start);
    stall.stop();
    if (w->ThrIL.size() != f->lastIndex + 1)
        bench::fail(QStringLiteral("the catalogue holds %1 thumbnails").arg(w->ThrIL.size()));
    return t;
}

void closeCatalogue(TForm1* f) {
    if (f->B_ichiran->isChecked())
        f->B_ichiran->click();
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

    f->openPath(data + "/small");
    openCatalogue(f, stall);
    const long peakKb = statusKb("VmHWM:");
    const double smallStall = stall.worst();
    closeCatalogue(f);

    f->openPath(data + "/large");
    if (f->lastIndex != kLarge - 1)
        bench::fail(QStringLiteral("the folder shows %1 entries").arg(f->lastIndex + 1));
    QTemporaryDir out;
    std::vector<double> ours, vips;
    StallMeter largeStall;
    for (int round = 0; round <= kRounds; ++round) {
        const double a = openCatalogue(f, round == 0 ? stall : largeStall);
        closeCatalogue(f);
        const double b = runVips(large, out.path());
        if (round > 0) {
            ours.push_back(a);
            vips.push_back(b);
        }
    }
    const double o = bench::median(ours), v = bench::median(vips);
    std::printf("Catalogue benchmark, %d cores, load average before %s, after %s\n",
                QThread::idealThreadCount(), qPrintable(loadBefore), qPrintable(loadAverage()));
    std::printf("First page of %d JPEG files of 6000 x 4000, medians of %d rounds:\n", kLarge,
                kRounds);
    std::printf("  catalogue (page filled, %d thumbnails)   %s\n", kLarge,
                qPrintable(bench::ms(o)));
    std::printf("  vipsthumbnail --size 96x72               %s\n", qPrintable(bench::ms(v)));
    std::printf("  ratio catalogue / vipsthumbnail          %.2f (target: at most 0.75)\n", o / v);
    std::printf("  worst main-thread stall                  %s (target: at most 50 ms)\n",
                qPrintable(bench::ms(largeStall.worst())));
    std::printf("%d small JPEG files with the catalogue open:\n", kSmall);
    std::printf("  peak resident memory (VmHWM)             %.1f MB (target: at most 150 MB)\n",
                peakKb / 1024.0);
    std::printf("  worst main-thread stall                  %s\n",
                qPrintable(bench::ms(smallStall)));
    return 0;
}
