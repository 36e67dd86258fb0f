// Feeds arbitrary files of one native kind (BMP, ICO, WMF or EMF) to the shared
// decode routine and draws what comes out, metafiles stretched as the viewer does.
#include <unistd.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

#include "decode.h"

namespace {

QString path;

}  // namespace

// fontconfig keeps its configuration to the end of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    path = QStringLiteral("/dev/shm/kordel-fuzz-%1" KORDEL_FUZZ_EXTENSION).arg(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        std::fprintf(stderr, "cannot write the input file\n");
        std::abort();
    }
    file.close();
    kordel::DecodeRequest request;
    request.path = path;
    const kordel::Decoded d = kordel::decodePicture(request);
    if (d.error != kordel::kErrorNone)
        return 0;
    QImage canvas(160, 120, QImage::Format_RGB32);
    QPainter painter(&canvas);
    if (d.metafile) {
        const QSize size = d.metafile->size;
        if (size.width() > 0 && size.height() > 0)
            painter.scale(160.0 / size.width(), 120.0 / size.height());
        painter.drawPicture(0, 0, d.metafile->picture);
    } else {
        painter.drawImage(QRect(0, 0, 160, 120), d.image);
    }
    return 0;
}
