// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails), as file managers
// and other viewers keep it: one PNG per local file, named by the MD5 of the file's URI,
// valid while its Thumb::URI and Thumb::MTime (and Thumb::Size where present) match the
// file. Every call works on the file system alone and keeps no state, so worker threads
// may look up and store at the same time.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

namespace kordel {

struct CachedThumbnail {
    QImage image;       // as stored: at most 128 (normal) or 256 (large) pixels on the longer side
    QSize pictureSize;  // Thumb::Image::Width/Height; invalid when the file did not say
    QString software;   // the program that wrote it, as it says
    // Written by this program, so drawn from its own decoders: other programs may turn
    // pictures by their orientation tag or keep a transparent colour that Kordel shows.
    bool ownMaking() const { return software.startsWith(QLatin1String("Kordel ")); }
};

class ThumbnailCache {
public:
    // root: the "thumbnails" folder. Files inside excludedFolders (the program's private
    // temporary folder, where archive members are extracted) are never looked up nor stored.
    explicit ThumbnailCache(QString root, QStringList excludedFolders = {});

    // $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
    static QString defaultRoot();
    // "file:///..." with the path percent-encoded, as the cache names it.
    static QByteArray uriFor(const QString& absolutePath);
    // MD5 of the URI in lower-case hex, plus ".png".
    static QString fileNameFor(const QByteArray& uri);

    // Whether a file may have a cached thumbnail at all: a local regular file outside the
    // excluded folders and outside the cache itself.
    bool eligible(const QString& path) const;
    // The valid thumbnail of a file, from "normal" or else "large"; nothing when there is
    // none or it is stale.
    std::optional<CachedThumbnail> find(const QString& path) const;
    // Stores a 128-pixel thumbnail of a freshly decoded picture into "normal", replacing a
    // stale one. false when the file is not eligible or the cache cannot be written.
    bool store(const QString& path, const QImage& picture, QSize pictureSize) const;
    // Records that this program could not decode the file as it is now.
    bool storeFailure(const QString& path) const;
    // Whether a failure was recorded for the file as it is now.
    bool failed(const QString& path) const;

    QString normalFolder() const { return root_ + QStringLiteral("/normal"); }
    QString largeFolder() const { return root_ + QStringLiteral("/large"); }
    // "fail/kordel-<version>": failures are this program's own.
    QString failFolder() const;

private:
    bool write(const QString& folder, const QString& path, QImage image, QSize pictureSize) const;

    QString root_;
    QStringList excluded_;
};

}  // namespace kordel
