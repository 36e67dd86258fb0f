// kordel-thumbnailer: a PNG thumbnail of one picture for file managers, through the same
// decoders as the viewer.
//
//   kordel-thumbnailer -s SIZE INPUT OUTPUT
//
// File managers run it on every file a user merely browses past, so the input is
// untrusted: time and memory are bounded, and nothing is written but OUTPUT, which
// appears whole or not at all.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "decode.h"
#include "spi.h"

using namespace kordel;

namespace {

enum Exit { kDone = 0, kUsage = 1, kNotDecoded = 2, kLimit = 3, kNotWritten = 4 };

constexpr unsigned kSecondsAllowed = 10;
constexpr int kLargestSize = 1024;
constexpr qint64 kLargestFile = 256LL * 1024 * 1024;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Address space: the largest picture the decoders accept, twice over, plus the libraries.
constexpr rlim_t kAddressSpace = rlim_t(3) << 30;
#endif

// The temporary file beside OUTPUT, removed by the alarm when time runs out.
char temporaryName[4096];
volatile sig_atomic_t temporaryExists = 0;

void timeUp(int) {
    if (temporaryExists)
        unlink(temporaryName);
    static const char text[] = "kordel-thumbnailer: out of time\n";
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, text, sizeof text - 1);
    _exit(kLimit);
}

int fail(int code, const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "kordel-thumbnailer: %s%s%s\n", what, detail.isEmpty() ? "" : ": ",
                 detail.toLocal8Bit().constData());
    return code;
}

QImage fitted(const Decoded& decoded, int size) {
    const QSize stored = decoded.metafile ? decoded.metafile->size : decoded.image.size();
    if (stored.isEmpty())
        return {};
    const QSize target = stored.width() > size || stored.height() > size
                             ? stored.scaled(size, size, Qt::KeepAspectRatio).expandedTo({1, 1})
                             : stored;
    if (!decoded.metafile)
        return decoded.image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage image(target, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(double(target.width()) / stored.width(),
                  double(target.height()) / stored.height());
    painter.drawPicture(0, 0, decoded.metafile->picture);
    return image;
}

// Writes the whole PNG under a private name beside 'output' and renames it into place.
bool writeOutput(const QString& output, const QByteArray& png) {
    const QByteArray name = QFile::encodeName(output) + ".kordel-" + QByteArray::number(getpid());
    if (size_t(name.size()) >= sizeof temporaryName)
        return false;
    sigset_t alarmOnly;
    sigemptyset(&alarmOnly);
    sigaddset(&alarmOnly, SIGALRM);
    sigprocmask(SIG_BLOCK, &alarmOnly, nullptr);
    std::memcpy(temporaryName, name.constData(), size_t(name.size()) + 1);
    const int fd = open(temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    temporaryExists = fd >= 0;
    sigprocmask(SIG_UNBLOCK, &alarmOnly, nullptr);
    if (fd < 0)
        return false;
    bool ok = true;
    for (qsizetype done = 0; ok && done < png.size();) {
        const ssize_t n = write(fd, png.constData() + done, size_t(png.size() - done));
        ok = n > 0;
        done += n;
    }
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporaryName, QFile::encodeName(output).constData()) == 0;
    if (!ok)
        unlink(temporaryName);
    temporaryExists = 0;
    return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
    signal(SIGALRM, timeUp);
    alarm(kSecondsAllowed);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const rlimit space{kAddressSpace, kAddressSpace};
    setrlimit(RLIMIT_AS, &space);
#endif
    if (argc != 5 || std::strcmp(argv[1], "-s") != 0) {
        std::fputs("Usage: kordel-thumbnailer -s SIZE INPUT OUTPUT\n", stderr);
        return kUsage;
    }
    char* end = nullptr;
    const long size = std::strtol(argv[2], &end, 10);
    if (*end != '\0' || size < 1 || size > kLargestSize)
        return fail(kUsage, "SIZE must be a number from 1 to 1024");

    const QString input = QFileInfo(QFile::decodeName(argv[3])).absoluteFilePath();
    const QString output = QFile::decodeName(argv[4]);
    const QFileInfo info(input);
    // Only metafiles draw text, which needs the font database of a GUI application; then
    // without a display, whatever the file manager's session has.
    const QString suffix = info.suffix().toLower();
    std::unique_ptr<QCoreApplication> app;
    if (suffix == u"wmf" || suffix == u"emf") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QImageReader::setAllocationLimit(int(quint64(SPI_MAX_PHOTO_PIXELS) * 4 / (1024 * 1024)));
    if (!info.isFile())
        return fail(kNotDecoded, "not a file", input);
    if (info.size() > kLargestFile)
        return fail(kLimit, "file too large", input);

    // A JPEG's quarter-size preview is plenty for a small thumbnail and much faster.
    DecodeRequest request;
    request.path = input;
    const DecoderKind byName = decoderKindFor("." + suffix.toUpper().toLatin1());
    request.preview = byName == DecoderKind::Jpeg;
    // The desktop knows the retro kinds by their signatures too, and asks for thumbnails
    // of files whose names do not tell.
    if (byName == DecoderKind::Unknown) {
        QFile file(input);
        if (file.open(QIODevice::ReadOnly))
            request.kind = retroKindByContent(file.read(1025));
    }
    Decoded decoded = decodePicture(request);
    if (request.preview && decoded.hasPicture() && decoded.image.width() < size &&
        decoded.image.height() < size) {
        request.preview = false;
        decoded = decodePicture(request);
    }
    // A damaged file the viewer shows in part gets no thumbnail: the file manager records
    // the failure instead of keeping half a picture.
    if (!decoded.hasPicture() || decoded.error != kErrorNone)
        return fail(kNotDecoded, "cannot read the picture", input);
    const QImage thumbnail = fitted(decoded, int(size));
    QByteArray png;
    QBuffer buffer(&png);
    if (thumbnail.isNull() || !buffer.open(QIODevice::WriteOnly) || !thumbnail.save(&buffer, "PNG"))
        return fail(kNotDecoded, "cannot make the thumbnail", input);
    if (!writeOutput(output, png))
        return fail(kNotWritten, "cannot write", output);
    return kDone;
}
