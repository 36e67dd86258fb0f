#include <QFile>
#include <QImage>
#include <QPainter>

#include "decode.h"
#include "fuzz_input.h"

namespace kordel::fuzz {

std::string runNative(const QString& path, const uint8_t* data, size_t size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        return "cannot write the input file";
    file.close();
    DecodeRequest request;
    request.path = path;
    const Decoded d = decodePicture(request);
    if (d.readFailed)
        return "could not read its own input: " + d.readError.toStdString();
    if (d.error != kErrorNone)
        return d.hasPicture() ? "failed with a picture" : std::string();
    if (!d.hasPicture())
        return "succeeded without a picture";
    const QSize shown = d.metafile ? d.metafile->size : d.image.size();
    if (shown.width() < 1 || shown.height() < 1 || shown.width() > SPI_MAX_DIMENSION ||
        shown.height() > SPI_MAX_DIMENSION)
        return "a picture of an unusable size";
    if (d.storedSize != shown)
        return "the stored size differs from the picture's";
    QImage canvas(160, 120, QImage::Format_RGB32);
    QPainter painter(&canvas);
    if (d.metafile) {
        painter.scale(160.0 / shown.width(), 120.0 / shown.height());
        painter.drawPicture(0, 0, d.metafile->picture);
    } else {
        painter.drawImage(QRect(0, 0, 160, 120), d.image);
    }
    return {};
}

}  // namespace kordel::fuzz
