#include "decode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "bmp_decoder.h"
#include "dib.h"
#include "dib_format.h"
#include "path_names.h"
#include "spi_loader.h"

namespace kordel {

namespace {

// The blocks a plug-in hands back, freed on every path.
struct DibBlocks {
    void* info = nullptr;
    void* bits = nullptr;
    ~DibBlocks() {
        std::free(info);
        std::free(bits);
    }
};

struct ProgressBridge {
    const std::function<void(int, int)>* progress;
};

int32_t progressCallback(int32_t done, int32_t total, intptr_t user) {
    const auto* bridge = reinterpret_cast<const ProgressBridge*>(user);
    if (bridge && bridge->progress && *bridge->progress)
        (*bridge->progress)(done, total);
    return 0;  // the user cannot cancel a load
}

// A 24-bit DIB becomes the image in its own block, rows turned upright in place.
// Converting into a fresh image would hold a large picture twice and map in a
// second block of its size, which costs more than the decode itself. Null with
// the block left as it was when it is of another kind; only plain 24-bit
// headers take this way, everything else the general one.
QImage adoptRgbDib(DibBlocks& blocks) {
    SpiBitmapInfoHeader h;
    std::memcpy(&h, blocks.info, sizeof h);
    const int width = h.biWidth;
    const bool topDown = h.biHeight < 0;
    const qint64 height = topDown ? -qint64(h.biHeight) : qint64(h.biHeight);
    if (h.biSize != sizeof h || h.biBitCount != 24 || h.biCompression != 0 ||
        !dib::withinLimits(width, height, SPI_MAX_PHOTO_PIXELS))
        return {};
    // 24-bit DIB rows are blue, green, red and padded to 4 bytes: that is a
    // QImage of BGR888 as it stands, once the rows are upright.
    const size_t stride = size_t(dib::stride(width, 24));
    auto* base = static_cast<uchar*>(blocks.bits);
    if (!topDown) {
        for (qint64 y = 0; y < height / 2; ++y)
            std::swap_ranges(base + size_t(y) * stride, base + size_t(y + 1) * stride,
                             base + size_t(height - 1 - y) * stride);
    }
    QImage image(
        base, width, int(height), qsizetype(stride), QImage::Format_BGR888,
        [](void* block) { std::free(block); }, base);
    // Either way the block is no DIB any more: nothing else may read it.
    if (image.isNull())
        std::free(base);
    blocks.bits = nullptr;
    return image;
}

Decoded pluginFailure(Decoded d, int result) {
    d.error = result;
    d.image = QImage();
    return d;
}

// The palette an 8-bit display gets for a colour-table picture: the used-colours
// count, or the full table for the bit count.
QList<QRgb> paletteOf(const void* bitmapInfo) {
    SpiBitmapInfoHeader h;
    std::memcpy(&h, bitmapInfo, sizeof h);
    int count = int(h.biClrUsed);
    if (count == 0)
        count = h.biBitCount == 8 ? 256 : h.biBitCount == 4 ? 16 : h.biBitCount == 1 ? 2 : 0;
    count = qBound(0, count, 256);
    const auto* table = reinterpret_cast<const SpiRgbQuad*>(static_cast<const char*>(bitmapInfo) +
                                                            (h.biSize >= 40 ? h.biSize : 40));
    QList<QRgb> palette;
    palette.reserve(count);
    for (int i = 0; i < count; ++i)
        palette.append(qRgb(table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue));
    return palette;
}

Decoded decodeWithPlugin(const DecodeRequest& req, DecoderKind kind) {
    Decoded d;
    d.kind = kind;
    // Until the info is read the size is unknown, for a JPEG too: the previous picture's
    // size would be shown and laid out for a file that failed.
    d.storedSize = QSize(0, 0);
    const QStringList folders =
        req.pluginFolders.isEmpty() ? defaultPluginFolders() : req.pluginFolders;
    SpiPlugin plugin(pluginFileName(kind), folders);
    const bool usePreview = kind == DecoderKind::Jpeg && req.preview;
    // A plug-in without the entry points this load needs counts as missing.
    if (!plugin.isLoaded() || !plugin.getPictureInfo || !plugin.getPicture ||
        (usePreview && !plugin.getPreview)) {
        d.error = kErrorPluginMissing;
        return d;
    }
    // The whole path reaches the plug-in, however long.
    const QByteArray name = QFile::encodeName(req.path);
    ProgressBridge bridge{&req.progress};
    const intptr_t user = reinterpret_cast<intptr_t>(&bridge);

    PictureInfo info{};
    intptr_t offset = 0;
    int32_t rc = plugin.getPictureInfo(name.constData(), 0, 0, &info);
    if (rc != SPI_OK && kind == DecoderKind::Jpeg) {
        // Some JPEG files carry a 128-byte header of another program.
        info = PictureInfo{};
        rc = plugin.getPictureInfo(name.constData(), 128, 0, &info);
        offset = 128;
    }
    std::free(info.hInfo);
    if (rc != SPI_OK)
        return pluginFailure(d, rc);
    d.storedSize = QSize(info.width, info.height);
    d.colorDepth = info.colorDepth;

    DibBlocks blocks;
    if (kind == DecoderKind::Jpeg) {
        rc = (usePreview ? plugin.getPreview : plugin.getPicture)(
            name.constData(), offset, 0, &blocks.info, &blocks.bits, progressCallback, user);
    } else {
        rc = plugin.getPicture(name.constData(), 0, 0, &blocks.info, &blocks.bits, progressCallback,
                               user);
        if (rc == SPI_UNKNOWN_FORMAT) {
            std::free(blocks.info);
            std::free(blocks.bits);
            blocks.info = blocks.bits = nullptr;
            rc =
                plugin.getPicture(name.constData(), 128, 0, &blocks.info, &blocks.bits, nullptr, 0);
        }
    }
    if (rc != SPI_OK)
        return pluginFailure(d, rc);
    if (!blocks.info || !blocks.bits)
        return pluginFailure(d, SPI_MEMORY_ERROR);

    QImage image = adoptRgbDib(blocks);
    if (image.isNull() && blocks.bits)
        image = imageFromDib(blocks.info, blocks.bits);
    if (image.isNull())
        return pluginFailure(d, SPI_BROKEN_DATA);

    if (kind == DecoderKind::Jpeg) {
        // The bitmap has the size the picture info announced (a quarter, rounded up,
        // for the preview); the delivered rows are drawn into it from the top.
        const QSize size = usePreview ? QSize((info.width + 3) / 4, (info.height + 3) / 4)
                                      : QSize(info.width, info.height);
        if (image.size() != size && size.isValid() && !size.isEmpty()) {
            // The announced size is allocated here: hold it to the decoders' limits.
            if (size.width() > SPI_MAX_DIMENSION || size.height() > SPI_MAX_DIMENSION ||
                quint64(size.width()) * quint64(size.height()) > SPI_MAX_PHOTO_PIXELS)
                return pluginFailure(d, SPI_NO_MEMORY);
            QImage sized(size, QImage::Format_RGB32);
            if (sized.isNull())
                return pluginFailure(d, SPI_NO_MEMORY);
            sized.fill(Qt::black);
            QPainter p(&sized);
            p.drawImage(0, 0, image);
            p.end();
            image = sized;
        }
        d.image = image;
        return d;
    }

    SpiBitmapInfoHeader header;
    std::memcpy(&header, blocks.info, sizeof header);
    if (header.biBitCount <= 8 && req.paletteDisplay)
        d.palette = paletteOf(blocks.info);

    if (kind == DecoderKind::Pic || kind == DecoderKind::Pic2) {
        // The machine showed these pictures with non-square pixels.
        PictureInfo again{};
        if (plugin.getPictureInfo(name.constData(), 0, 0, &again) == SPI_OK) {
            std::free(again.hInfo);
            const int h = again.x_density, v = again.y_density;
            if (h > 0 && v > 0 && !(h == 1 && v == 1)) {
                QSize size = image.size();
                if (h < v)
                    size.setWidth(int(qint64(size.width()) * v / h));
                else
                    size.setHeight(int(qint64(size.height()) * h / v));
                if (size.width() > 0 && size.height() > 0 && size.width() <= SPI_MAX_DIMENSION &&
                    size.height() <= SPI_MAX_DIMENSION) {
                    image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
                    d.storedSize = size;
                }
            }
        } else {
            std::free(again.hInfo);
        }
    }
    // Without a palette display, colour-table pictures become true colour.
    d.image = d.palette.isEmpty() && image.format() == QImage::Format_Indexed8
                  ? image.convertToFormat(QImage::Format_RGB32)
                  : image;
    return d;
}

}  // namespace

DecoderKind retroKindByContent(const QByteArray& head) {
    // Pi and PIC open with a comment that ends in 0x1A.
    const auto commentEnds = [&head](qsizetype from) {
        const qsizetype at = head.indexOf('\x1a', from);
        return at >= 0 && at <= 1024;
    };
    if (head.startsWith("MAKI02  "))
        return DecoderKind::Mag;
    if (head.startsWith("P2DT"))
        return DecoderKind::Pic2;
    if (head.mid(11, 5) == "MAJYO")
        return DecoderKind::Xld4;
    if (head.startsWith("PIC") && commentEnds(3))
        return DecoderKind::Pic;
    if (head.startsWith("Pi") && commentEnds(2))
        return DecoderKind::Pi;
    return DecoderKind::Unknown;
}

DecoderKind decoderKindFor(const QByteArray& ext) {
    if (ext == ".BMP" || ext == ".ICO" || ext == ".WMF" || ext == ".EMF")
        return DecoderKind::Native;
    if (ext == ".JPG" || ext == ".JPE" || ext == ".JPEG")
        return DecoderKind::Jpeg;
    if (ext == ".GIF")
        return DecoderKind::Gif;
    if (ext == ".TIF" || ext == ".TIFF")
        return DecoderKind::Tiff;
    if (ext == ".PIC")
        return DecoderKind::Pic;
    if (ext == ".P2")
        return DecoderKind::Pic2;
    if (ext == ".MAG")
        return DecoderKind::Mag;
    if (ext == ".Q4")
        return DecoderKind::Xld4;
    if (ext == ".PI")
        return DecoderKind::Pi;
    return DecoderKind::Unknown;
}

QString pluginFileName(DecoderKind kind) {
    switch (kind) {
        case DecoderKind::Jpeg:
            return QStringLiteral("ifjpeg.spi");
        case DecoderKind::Gif:
            return QStringLiteral("ifgif.spi");
        case DecoderKind::Tiff:
            return QStringLiteral("iftiff.spi");
        case DecoderKind::Pic:
            return QStringLiteral("ifpic.spi");
        case DecoderKind::Pic2:
            return QStringLiteral("ifpic2.spi");
        case DecoderKind::Mag:
            return QStringLiteral("ifmag.spi");
        case DecoderKind::Xld4:
            return QStringLiteral("ifxld4.spi");
        case DecoderKind::Pi:
            return QStringLiteral("ifpi.spi");
        default:
            return {};
    }
}

QString kindName(DecoderKind kind) {
    switch (kind) {
        case DecoderKind::Jpeg:
            return QStringLiteral("JPG");
        case DecoderKind::Gif:
            return QStringLiteral("GIF");
        case DecoderKind::Tiff:
            return QStringLiteral("TIFF");
        case DecoderKind::Pic:
            return QStringLiteral("PIC");
        case DecoderKind::Pic2:
            return QStringLiteral("PIC2");
        case DecoderKind::Mag:
            return QStringLiteral("MAG");
        case DecoderKind::Xld4:
            return QStringLiteral("XLD4");
        case DecoderKind::Pi:
            return QStringLiteral("PI");
        default:
            return {};
    }
}

namespace {

bool readWholeFile(const QString& path, QByteArray& data, Decoded& d) {
    // Opened without waiting (a named pipe waits for a writer for ever), then held
    // to regular files; checking the name first would leave the pipe a moment to
    // take its place.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        d.readFailed = true;
        d.readError = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat st;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        d.readFailed = true;
        d.readError = QStringLiteral("not a regular file");
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        d.readFailed = true;
        d.readError = file.errorString();
        return false;
    }
    // Larger than any picture we agree to decode: treat as a read failure of its own kind.
    if (file.size() > qint64(SPI_MAX_PIXELS) * 4 + 65536) {
        d.error = kErrorNativeRejected;
        return false;
    }
    data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        d.readFailed = true;
        d.readError = file.errorString();
        return false;
    }
    return true;
}

}  // namespace

Decoded decodeBmp(const QString& path) {
    Decoded d;
    d.kind = DecoderKind::Native;
    QByteArray data;
    if (!readWholeFile(path, data, d))
        return d;
    // Our own decoder: Qt's leaves the dots of truncated files and RLE deltas
    // uninitialised and accepts sizes past the decoder limits.
    QImage image = decodeBmpData(data);
    if (image.isNull()) {
        d.error = kErrorNativeRejected;
        return d;
    }
    // A colour-table bitmap keeps its table whatever the display, as the tool kit's
    // bitmap does: saving it writes the table back.
    if (image.format() != QImage::Format_Indexed8)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                              : QImage::Format_RGB32);
    d.image = image;
    d.storedSize = image.size();
    return d;
}

Decoded decodeIcon(const QString& path) {
    Decoded d;
    d.kind = DecoderKind::Native;
    QByteArray data;
    if (!readWholeFile(path, data, d))
        return d;
    // The directory: 6-byte header, then 16 bytes per image.
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    if (data.size() < 6 || (bytes[0] | bytes[1]) != 0 || bytes[2] != 1 || bytes[3] != 0) {
        d.error = kErrorNativeRejected;
        return d;
    }
    const int count = bytes[4] | bytes[5] << 8;
    int best = -1;
    qint64 bestArea = -1;
    int bestDepth = -1;
    for (int i = 0; i < count && 6 + (i + 1) * 16 <= data.size(); ++i) {
        auto* e = reinterpret_cast<uchar*>(data.data() + 6 + i * 16);
        // Where an entry disagrees with the size in its bitmap's own header, the
        // header wins, as in other readers; the entry is put right for Qt's
        // reader, which refuses the image otherwise.
        const quint32 at = qFromLittleEndian<quint32>(e + 12);
        if (data.size() >= 46 && at >= 6 && at <= quint32(data.size() - 40)) {
            const auto* header = reinterpret_cast<const uchar*>(data.constData() + at);
            const qint32 bw = qFromLittleEndian<qint32>(header + 4);
            const qint32 bh = qFromLittleEndian<qint32>(header + 8) / 2;  // with the mask
            if (qFromLittleEndian<quint32>(header) == 40 && bw > 0 && bw <= 256 && bh > 0 &&
                bh <= 256) {
                e[0] = uchar(bw & 0xff);
                e[1] = uchar(bh & 0xff);
            }
        }
        const int w = e[0] ? e[0] : 256;
        const int h = e[1] ? e[1] : 256;
        int depth = qFromLittleEndian<quint16>(e + 6);
        if (depth == 0) {
            const int colours = e[2];
            depth = colours == 0 ? 8 : colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
        }
        const qint64 area = qint64(w) * h;
        if (area > bestArea || (area == bestArea && depth > bestDepth)) {
            best = i;
            bestArea = area;
            bestDepth = depth;
        }
    }
    if (best < 0) {
        d.error = kErrorNativeRejected;
        return d;
    }
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "ico");
    QImage image;
    if (!reader.jumpToImage(best) || !reader.read(&image) || image.isNull()) {
        // Fall back to whatever image the reader can give.
        QBuffer again(&data);
        QImageReader first(&again, "ico");
        if (!first.read(&image) || image.isNull()) {
            d.error = kErrorNativeRejected;
            return d;
        }
    }
    d.image = image.convertToFormat(QImage::Format_ARGB32);
    d.storedSize = d.image.size();
    return d;
}

Decoded decodeMetafile(const QString& path, double dpi) {
    Decoded d;
    d.kind = DecoderKind::Native;
    QByteArray data;
    if (!readWholeFile(path, data, d))
        return d;
    std::optional<Metafile> m = playMetafile(data, dpi, dpi);
    if (!m || m->size.isEmpty()) {
        d.error = kErrorNativeRejected;
        return d;
    }
    d.storedSize = m->size;
    d.metafile = std::move(m);
    return d;
}

QImage opaqueOn(const QImage& image, const QColor& background) {
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(background);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

Decoded decodePicture(const DecodeRequest& req) {
    const QByteArray ext = fileExtension(req.path);
    const DecoderKind kind = req.kind > DecoderKind::Native ? req.kind : decoderKindFor(ext);
    if (kind == DecoderKind::Unknown) {
        Decoded d;
        d.error = kErrorUnknownExtension;
        d.storedSize = QSize(0, 0);
        return d;
    }
    if (kind != DecoderKind::Native)
        return decodeWithPlugin(req, kind);
    if (ext == ".BMP")
        return decodeBmp(req.path);
    if (ext == ".ICO")
        return decodeIcon(req.path);
    return decodeMetafile(req.path, req.dpi);
}

}  // namespace kordel
