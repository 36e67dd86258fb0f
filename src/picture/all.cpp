#include "all.h"

#include "path_names.h"
#include "services.h"
#include "spi.h"

namespace kordel {

QString errorText(int error) {
    switch (error) {
        case 0:
        case kErrorUnknownExtension:
            return {};
        case kErrorPluginMissing:
            return {};  // names the plug-in; built by the caller
        case SPI_UNKNOWN_FORMAT:
            return QStringLiteral("未知のフォーマット");
        case SPI_BROKEN_DATA:
            return QStringLiteral("データが壊れている");
        case SPI_NO_MEMORY:
            return QStringLiteral("メモリーが確保出来ない");
        case SPI_MEMORY_ERROR:
            return QStringLiteral("メモリーエラー");
        case SPI_READ_ERROR:
            return QStringLiteral("ファイルリードエラー");
        default:
            return QStringLiteral("その他のエラー");
    }
}

TAll::TAll(PictureHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    hide();
}

int TAll::percentOf(int done, int total) {
    if (total == 0)
        return 0;
    // Bounded before the conversion: a plug-in may report past its total.
    const double percent = double(done) / double(total) * 100.0;
    return percent <= 0 ? 0 : percent >= 100 ? 100 : int(percent);
}

void TAll::reportProgress(int done, int total) {
    if (!host_.thumbLoading())
        host_.setProgress(percentOf(done, total));
}

void TAll::clearPicture() {
    image_ = QImage();
    metafile_.reset();
    palette_.clear();
}

bool TAll::setPictureName(const QString& name) {
    pictureName_ = name;
    readFailure_.clear();
    clearPicture();
    if (name.isEmpty()) {
        error_ = 0;
        return true;
    }
    error_ = 0;
    const QByteArray ext = fileExtension(name);
    const DecoderKind kind = decoderKindFor(ext);
    kind_ = kind;
    if (kind == DecoderKind::Unknown) {
        error_ = kErrorUnknownExtension;
        pictureName_.clear();
        preview_ = false;
        orgWidth_ = orgHeight_ = 0;
        return true;
    }

    Screen& screen = host_.screen();
    DecodeRequest req;
    req.path = name;
    req.preview = preview_;
    req.pluginFolders = pluginFolders_;
    req.dpi = screen.dotsPerInch();
    if (kind == DecoderKind::Native) {
        if (!host_.thumbLoading())
            host_.setProgress(100);
    } else {
        req.progress = [this](int done, int total) { reportProgress(done, total); };
        // The screen is asked only for pictures that could need a palette; the
        // decoder builds one when the rows come with a colour table.
        req.paletteDisplay = screen.bitsPerPixel() == 8;
    }
    Decoded d = decodePicture(req);

    if (kind == DecoderKind::Native) {
        host_.setProgress(0);
        if (d.readFailed) {
            pictureName_.clear();
            readFailure_ = d.readError;
            return false;
        }
        if (d.error != 0) {
            error_ = d.error;
            host_.setStatusText(QStringLiteral("未知のフォーマット"));
            pictureName_.clear();
            // The previous picture's size would be shown and laid out for this file.
            orgWidth_ = orgHeight_ = 0;
            return true;
        }
        image_ = d.image;
        metafile_ = std::move(d.metafile);
        orgWidth_ = d.storedSize->width();
        orgHeight_ = d.storedSize->height();
        orgColor_ = 0;
        host_.setStatusText(QStringLiteral(" "));
        return true;
    }

    host_.setProgress(0);
    if (d.storedSize) {
        orgWidth_ = d.storedSize->width();
        orgHeight_ = d.storedSize->height();
    }
    if (d.error == kErrorPluginMissing) {
        error_ = kErrorPluginMissing;
        host_.setStatusText(QStringLiteral("IF") + kindName(kind) +
                            QStringLiteral(".SPI not found"));
        pictureName_.clear();
        return true;
    }
    orgColor_ = d.colorDepth;
    if (d.error != 0) {
        error_ = d.error;
        host_.setStatusText(errorText(d.error));
        pictureName_.clear();
        return true;
    }
    image_ = d.image;
    palette_ = d.palette;
    host_.setStatusText(QStringLiteral(" "));
    return true;
}

}  // namespace kordel
