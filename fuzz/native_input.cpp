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
    // Stretched into a thumbnail, and at the stored size as the viewer shows it 1:1 (a
    // metafile's text may only fail at one scale), as long as that stays small.
    for (const QSize size : {QSize(160, 120), shown}) {
        if (qint64(size.width()) * size.height() > 2048 * 2048)
            continue;
        QImage canvas(size, QImage::Format_RGB32);
        QPainter painter(&canvas);
        if (d.metafile) {
            painter.scale(double(size.width()) / shown.width(),
                          double(size.height()) / shown.height());
            painter.drawPicture(0, 0, d.metafile->picture);
        } else {
            painter.drawImage(QRect(QPoint(0, 0), size), d.image);
        }
    }
    return {};
}

}  // namespace kordel::fuzz
