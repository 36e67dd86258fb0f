// Turning a file into a picture: the one decode routine that the picture
// component and the thumbnail loader share. It keeps no state between calls,
// so two decodes may run at once on different threads.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "metafile.h"

namespace kordel {

// Decoders by extension.
enum class DecoderKind { Unknown = -1, Native = 0, Jpeg, Gif, Tiff, Pic, Pic2, Mag, Xld4, Pi };

DecoderKind decoderKindFor(const QByteArray& extension);
// The retro kind whose signature starts `head` (the first kilobyte of a file), as the
// desktop's MIME types recognise them; Unknown for anything else.
DecoderKind retroKindByContent(const QByteArray& head);
// File name of the plug-in of a kind, and the kind's name in the missing-plug-in text.
QString pluginFileName(DecoderKind kind);
QString kindName(DecoderKind kind);

// Values of the picture component's Error beside the plug-in results.
enum : int {
    kErrorNone = 0,
    kErrorNativeRejected = 2,
    kErrorUnknownExtension = 10,
    kErrorPluginMissing = 20,
};

struct DecodeRequest {
    QString path;
    bool preview = false;  // JPEG only: a quarter of the size
    // Progress of a plug-in decode; never called for the retry at offset 128.
    std::function<void(int done, int total)> progress;
    QStringList pluginFolders;                // empty: defaultPluginFolders()
    bool paletteDisplay = false;              // the screen has 8 bits per pixel
    double dpi = 96;                          // screen resolution for metafile frames
    DecoderKind kind = DecoderKind::Unknown;  // a plug-in kind to use whatever the extension
};

struct Decoded {
    int error = kErrorNone;  // as the picture component's Error
    DecoderKind kind = DecoderKind::Unknown;
    QImage image;                      // bitmaps and icons (icons keep their transparency)
    std::optional<Metafile> metafile;  // WMF and EMF
    // Stored size; not set when the load stopped before the picture info was read.
    std::optional<QSize> storedSize;
    int colorDepth = 0;  // bits per pixel the plug-in reported; 0 for the native kinds
    // The palette built for an 8-bit display; empty otherwise.
    QList<QRgb> palette;
    // A native file that could not be read at all (not a content problem): the
    // caller reports it.
    bool readFailed = false;
    QString readError;

    bool hasPicture() const { return !image.isNull() || metafile.has_value(); }
};

Decoded decodePicture(const DecodeRequest& request);

// Native decoders, also used directly by tests.
Decoded decodeBmp(const QString& path);
Decoded decodeIcon(const QString& path);
Decoded decodeMetafile(const QString& path, double dpi);

// An icon as the viewer shows it: opaque, on the given background colour.
QImage opaqueOn(const QImage& image, const QColor& background);

}  // namespace kordel
