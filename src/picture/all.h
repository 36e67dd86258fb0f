// TAll: the picture component. Assigning a file name loads the picture and
// fills its stored size, colour depth and error code; messages go to the
// host's status panel and progress to the host's progress bar.
#pragma once

#include <QImage>
#include <QList>
#include <QStringList>
#include <QWidget>
#include <optional>

#include "decode.h"

namespace kordel {

class Screen;

// What the picture component needs from the window it reports to.
class PictureHost {
public:
    virtual ~PictureHost() = default;
    virtual void setStatusText(const QString& text) = 0;  // status panel 3
    virtual void setProgress(int percent) = 0;            // repainted at once
    virtual bool thumbLoading() const = 0;
    virtual Screen& screen() = 0;
};

class TAll : public QWidget {
    Q_OBJECT
public:
    TAll(PictureHost& host, QWidget* parent = nullptr);

    QString PictureName() const { return pictureName_; }
    // Loads the picture; an empty name empties it. False only when a native
    // file could not be read at all (readFailure() says why): the caller reports that.
    bool setPictureName(const QString& name);
    QString readFailure() const { return readFailure_; }

    bool PreView() const { return preview_; }
    void setPreView(bool on) { preview_ = on; }

    int OrgWidth() const { return orgWidth_; }
    int OrgHeight() const { return orgHeight_; }
    int OrgColor() const { return orgColor_; }
    int Error() const { return error_; }
    DecoderKind kind() const { return kind_; }

    // The picture: a bitmap (icons with their transparency), or a metafile.
    const QImage& image() const { return image_; }
    const std::optional<Metafile>& metafile() const { return metafile_; }
    bool isEmpty() const { return image_.isNull() && !metafile_; }
    // The palette built for an 8-bit display, empty otherwise.
    const QList<QRgb>& palette() const { return palette_; }

    // Folders searched for plug-ins; defaultPluginFolders() when empty.
    void setPluginFolders(const QStringList& folders) { pluginFolders_ = folders; }
    // Progress as a percentage of done/total, truncated and kept within 0 to 100;
    // 0 when total is 0.
    static int percentOf(int done, int total);

private:
    void clearPicture();
    void reportProgress(int done, int total);

    PictureHost& host_;
    QString pictureName_;
    bool preview_ = false;
    int orgWidth_ = 0, orgHeight_ = 0, orgColor_ = 0, error_ = 0;
    DecoderKind kind_ = DecoderKind::Unknown;
    QImage image_;
    std::optional<Metafile> metafile_;
    QList<QRgb> palette_;
    QStringList pluginFolders_;
    QString readFailure_;
};

// The status text for an Error value; empty for 0 and for codes without a text.
QString errorText(int error);

}  // namespace kordel
