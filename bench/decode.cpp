// JPEG decoding through our plug-in host against libjpeg-turbo's own djpeg, on the
// same synthetic 6000 x 4000 picture in the same run: the full picture and the
// quarter-size preview.
//
// What is timed:
//   host      decodePicture() with the real ifjpeg.spi: loading the plug-in, the
//             picture info, the decode into a DIB, the conversion into a QImage
//             and releasing it again.
//   djpeg     the whole process (`djpeg -bmp -outfile /dev/null FILE`, and with
//             `-scale 1/4`), from posix_spawn to wait4: process start, decode,
//             and the BMP writer, which keeps the whole picture to write it
//             bottom-up.
//   start     djpeg on a 16 x 16 file: what process start and libjpeg set-up cost
//             djpeg beside the decode. The corrected ratio takes it off djpeg.
//   libjpeg   libjpeg-turbo called in this process with the plug-in's settings
//             into a plain buffer: the floor no host can beat.
// Every round runs each of them once, in turn, so that a slow spell of the
// machine hits all alike; the figures are medians of the rounds, of wall time
// and of CPU time (user and system; for djpeg the child's own), which other
// load on the machine disturbs less.
//
// Host, djpeg and libjpeg all hold the whole picture at 24 bits a dot, in one
// block too large for malloc to keep between decodes, so every decode maps
// 72 MB anew. What a fresh page costs here is measured and printed with it:
// on some virtual machines it is a large share of the decode.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "bench_support.h"

extern char** environ;

namespace {

using namespace kordel::bench;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kQuality = 90;
constexpr double kTarget = 1.15;

struct Run {
    double wall = 0;
    double cpu = 0;
};

// Runs a program to its end with its output going nowhere; wall and CPU time of
// the child.
Run runProcess(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString& a : arguments)
        storage.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        fail(QStringLiteral("cannot start %1").arg(program));
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        fail(QStringLiteral("lost %1").arg(program));
    Run r;
    r.wall = secondsSince(start);
    r.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(QStringLiteral("%1 %2 failed").arg(program, arguments.join(QLatin1Char(' '))));
    return r;
}

// libjpeg-turbo in this process with the plug-in's settings (BGR out, accurate
// integer DCT, smooth upsampling), rows into one malloc'ed block.
Run decodeInProcess(const QString& path, int scaleDenom, int expectedWidth) {
    const double cpuStart = cpuSeconds();
    const Clock::time_point start = Clock::now();
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file)
        fail(QStringLiteral("cannot read %1").arg(path));
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = TRUE;
    cinfo.scale_num = 1;
    cinfo.scale_denom = unsigned(scaleDenom);
    jpeg_start_decompress(&cinfo);
    const size_t stride = (size_t(cinfo.output_width) * 3 + 3) / 4 * 4;
    auto* pixels = static_cast<JSAMPLE*>(std::malloc(stride * cinfo.output_height));
    if (!pixels)
        fail(QStringLiteral("out of memory"));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[16];
        const JDIMENSION count =
            std::min<JDIMENSION>(16, cinfo.output_height - cinfo.output_scanline);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = pixels + size_t(cinfo.output_scanline + i) * stride;
        jpeg_read_scanlines(&cinfo, rows, count);
    }
    const int width = int(cinfo.output_width);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    std::free(pixels);
    Run r;
    r.wall = secondsSince(start);
    r.cpu = cpuSeconds() - cpuStart;
    if (width != expectedWidth)
        fail(QStringLiteral("libjpeg gave a width of %1").arg(width));
    return r;
}

Run hostRun(const QString& path, bool preview, QSize expected) {
    Run r;
    r.wall = timeHostDecode(hostRequest(path, preview), expected, &r.cpu);
    return r;
}

QString cpuModel() {
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QStringLiteral("unknown processor");
}

struct Series {
    explicit Series(const char* label) : name(label) {}
    const char* name;
    std::vector<double> wall, cpu;
    void add(const Run& r) {
        wall.push_back(r.wall);
        cpu.push_back(r.cpu);
    }
    double medianWall() const { return median(wall); }
    void print() const {
        std::printf("  %-34s %10s %10s   (fastest %s)\n", name, qPrintable(ms(median(wall))),
                    qPrintable(ms(median(cpu))),
                    qPrintable(ms(*std::min_element(wall.begin(), wall.end()))));
    }
};

void printRatios(const char* what, const Series& host, const Series& djpeg, const Series& start) {
    const double wall = median(host.wall) / median(djpeg.wall);
    const double wallCorrected = median(host.wall) / (median(djpeg.wall) - median(start.wall));
    const double cpu = median(host.cpu) / median(djpeg.cpu);
    const double cpuCorrected = median(host.cpu) / (median(djpeg.cpu) - median(start.cpu));
    std::printf("  %-8s wall %.3f, without start %.3f   CPU %.3f, without start %.3f   %s\n", what,
                wall, wallCorrected, cpu, cpuCorrected,
                wallCorrected <= kTarget ? "within the target"
                : wall <= kTarget        ? "within the target before the start correction"
                                         : "ABOVE THE TARGET");
}

// Time to bring freshly mapped memory in, per 4 KiB page: a block this large is
// always mapped anew by malloc, as the pictures' blocks are.
double freshPageCost() {
    constexpr size_t kBytes = 64u << 20;
    std::vector<double> costs;
    for (int i = 0; i < 3; ++i) {
        const Clock::time_point start = Clock::now();
        auto* block = static_cast<volatile char*>(std::malloc(kBytes));
        if (!block)
            fail(QStringLiteral("out of memory"));
        for (size_t at = 0; at < kBytes; at += 4096)
            block[at] = 1;
        std::free(const_cast<char*>(block));
        costs.push_back(secondsSince(start) / (kBytes / 4096));
    }
    return median(costs);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int rounds = 9;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else
            fail(QStringLiteral("usage: bench_decode [--rounds N]"));
    }
    const QString djpeg = QStandardPaths::findExecutable(QStringLiteral("djpeg"));
    if (djpeg.isEmpty())
        fail(QStringLiteral("djpeg not found (Debian package libjpeg-turbo-progs)"));
    if (!QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/ifjpeg.spi")))
        fail(QStringLiteral("ifjpeg.spi is not beside this program; build the ifjpeg target"));

    QTemporaryDir dir;
    if (!dir.isValid())
        fail(QStringLiteral("no temporary folder"));
    const QString big = dir.filePath(QStringLiteral("scene.jpg"));
    const QString tiny = dir.filePath(QStringLiteral("tiny.jpg"));

    std::printf("JPEG decoding: our plug-in host against djpeg (libjpeg-turbo %d.%d.%d)\n",
                LIBJPEG_TURBO_VERSION_NUMBER / 1000000, LIBJPEG_TURBO_VERSION_NUMBER / 1000 % 1000,
                LIBJPEG_TURBO_VERSION_NUMBER % 1000);
    std::printf("Machine: %s, %ld processors online\n", qPrintable(cpuModel()),
                sysconf(_SC_NPROCESSORS_ONLN));
    const Clock::time_point made = Clock::now();
    if (!writeJpeg(big, Scene(kWidth, kHeight, {6, 40}), kQuality) ||
        !writeJpeg(tiny, Scene(16, 16, {6, 40}), kQuality))
        fail(QStringLiteral("cannot write the test pictures"));
    std::printf("Picture: %d x %d, quality %d, 4:2:0, %.1f MB, made in %.1f s\n", kWidth, kHeight,
                kQuality, QFileInfo(big).size() / 1e6, secondsSince(made));

    const QSize fullSize(kWidth, kHeight);
    const QSize previewSize((kWidth + 3) / 4, (kHeight + 3) / 4);
    const QStringList djpegFull{QStringLiteral("-bmp"), QStringLiteral("-outfile"),
                                QStringLiteral("/dev/null"), big};
    const QStringList djpegPreview{QStringLiteral("-scale"),    QStringLiteral("1/4"),
                                   QStringLiteral("-bmp"),      QStringLiteral("-outfile"),
                                   QStringLiteral("/dev/null"), big};
    const QStringList djpegTiny{QStringLiteral("-bmp"), QStringLiteral("-outfile"),
                                QStringLiteral("/dev/null"), tiny};

    // One untimed round brings file and code into the caches.
    hostRun(big, false, fullSize);
    hostRun(big, true, previewSize);
    runProcess(djpeg, djpegFull);
    runProcess(djpeg, djpegPreview);
    runProcess(djpeg, djpegTiny);
    decodeInProcess(big, 1, kWidth);

    Series hostFull{"host, full"}, djpegFullRuns{"djpeg, full"},
        libFull{"libjpeg in-process, full"};
    Series hostPreview{"host, preview 1/4"}, djpegPreviewRuns{"djpeg, -scale 1/4"},
        libPreview{"libjpeg in-process, 1/4"};
    Series start{"djpeg on a 16 x 16 file (start)"};
    std::printf("Rounds: %d, each running every line below once, in turn\n", rounds);
    for (int round = 0; round < rounds; ++round) {
        hostFull.add(hostRun(big, false, fullSize));
        djpegFullRuns.add(runProcess(djpeg, djpegFull));
        hostPreview.add(hostRun(big, true, previewSize));
        djpegPreviewRuns.add(runProcess(djpeg, djpegPreview));
        for (int i = 0; i < 3; ++i)
            start.add(runProcess(djpeg, djpegTiny));
        libFull.add(decodeInProcess(big, 1, kWidth));
        libPreview.add(decodeInProcess(big, 4, previewSize.width()));
    }

    std::printf("\n  %-34s %10s %10s\n", "median of the rounds", "wall", "CPU");
    for (const Series* s : {&hostFull, &djpegFullRuns, &libFull, &hostPreview, &djpegPreviewRuns,
                            &libPreview, &start})
        s->print();
    std::printf("\nRatios host / djpeg of the medians (target: at most %.2f):\n", kTarget);
    printRatios("full", hostFull, djpegFullRuns, start);
    printRatios("preview", hostPreview, djpegPreviewRuns, start);
    std::printf("Host over libjpeg in-process: full %+.1f %%, preview %+.1f %% (wall)\n",
                100 * (hostFull.medianWall() / libFull.medianWall() - 1),
                100 * (hostPreview.medianWall() / libPreview.medianWall() - 1));
    const double page = freshPageCost();
    const double pictureBytes = double(kWidth) * kHeight * 3;
    std::printf(
        "Fresh memory on this machine: %.2f us a 4 KiB page; mapping the %.0f MB picture in "
        "costs about %s of every full decode\n",
        page * 1e6, pictureBytes / 1e6, qPrintable(ms(page * pictureBytes / 4096)));
    return 0;
}
