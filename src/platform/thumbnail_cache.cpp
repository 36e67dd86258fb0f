#include "thumbnail_cache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>
#include <cstdio>

namespace kordel {

namespace {

constexpr int kNormalSize = 128;
// Cached files are read only up to this size; anything larger is not a thumbnail.
constexpr int kLargestThumbnail = 1024;

const QString kUri = QStringLiteral("Thumb::URI");
const QString kMTime = QStringLiteral("Thumb::MTime");
const QString kSize = QStringLiteral("Thumb::Size");
const QString kWidth = QStringLiteral("Thumb::Image::Width");
const QString kHeight = QStringLiteral("Thumb::Image::Height");

bool inside(const QString& canonicalPath, const QString& folder) {
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    return !canonicalFolder.isEmpty() && canonicalPath.startsWith(canonicalFolder + u'/');
}

// Creates the missing folders of a cache path owner-only, as the cache wants them.
bool makeFolder(const QString& path) {
    if (QFileInfo(path).isDir())
        return true;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path && !makeFolder(parent))
        return false;
    if (!QDir().mkdir(path))
        return QFileInfo(path).isDir();  // made meanwhile by another worker
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The stored thumbnail at 'file' if it describes the file as it is now.
std::optional<QImage> validThumbnail(const QString& file,
                                     const QByteArray& uri,
                                     const QFileInfo& info) {
    QImageReader reader(file, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kLargestThumbnail || size.height() > kLargestThumbnail)
        return std::nullopt;
    QImage image = reader.read();
    if (image.isNull() || image.text(kUri).toUtf8() != uri)
        return std::nullopt;
    bool ok = false;
    const qint64 mtime = image.text(kMTime).toLongLong(&ok);
    if (!ok || mtime != info.lastModified().toSecsSinceEpoch())
        return std::nullopt;
    const QString storedSize = image.text(kSize);
    if (!storedSize.isEmpty() && storedSize.toLongLong() != info.size())
        return std::nullopt;
    return image;
}

}  // namespace

ThumbnailCache::ThumbnailCache(QString root, QStringList excludedFolders)
    : root_(QDir::cleanPath(root)), excluded_(std::move(excludedFolders)) {
    excluded_ << root_;
}

QString ThumbnailCache::defaultRoot() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/thumbnails");
}

QString ThumbnailCache::failFolder() const {
    return root_ + QStringLiteral("/fail/kordel-" KORDEL_VERSION);
}

QByteArray ThumbnailCache::uriFor(const QString& absolutePath) {
    // The cache names files by RFC 2396 URIs, as GLib writes them; QUrl follows the later
    // RFC 3986, which leaves these three unescaped in a path.
    return QUrl::fromLocalFile(QDir::cleanPath(absolutePath))
        .toEncoded()
        .replace('[', "%5B")
        .replace(']', "%5D")
        .replace(';', "%3B");
}

QString ThumbnailCache::fileNameFor(const QByteArray& uri) {
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

bool ThumbnailCache::eligible(const QString& path) const {
    const QFileInfo info(path);
    if (!info.isAbsolute() || !info.isFile())
        return false;
    const QString canonical = info.canonicalFilePath();
    for (const QString& folder : excluded_) {
        if (inside(canonical, folder))
            return false;
    }
    return true;
}

std::optional<CachedThumbnail> ThumbnailCache::find(const QString& path) const {
    if (!eligible(path))
        return std::nullopt;
    const QFileInfo info(path);
    const QByteArray uri = uriFor(path);
    const QString name = fileNameFor(uri);
    for (const QString& folder : {normalFolder(), largeFolder()}) {
        std::optional<QImage> image = validThumbnail(folder + u'/' + name, uri, info);
        if (!image)
            continue;
        bool okWidth = false;
        bool okHeight = false;
        QSize pictureSize(image->text(kWidth).toInt(&okWidth),
                          image->text(kHeight).toInt(&okHeight));
        if (!okWidth || !okHeight || pictureSize.isEmpty())
            pictureSize = QSize();
        const QString software = image->text(QStringLiteral("Software"));
        return CachedThumbnail{*std::move(image), pictureSize, software};
    }
    return std::nullopt;
}

bool ThumbnailCache::store(const QString& path, const QImage& picture, QSize pictureSize) const {
    if (picture.isNull() || !eligible(path))
        return false;
    QImage image = picture;
    if (image.width() > kNormalSize || image.height() > kNormalSize)
        image =
            image.scaled(kNormalSize, kNormalSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return write(normalFolder(), path, image, pictureSize);
}

bool ThumbnailCache::storeFailure(const QString& path) const {
    if (!eligible(path))
        return false;
    QImage mark(1, 1, QImage::Format_ARGB32);
    mark.fill(Qt::transparent);
    return write(failFolder(), path, mark, QSize());
}

bool ThumbnailCache::failed(const QString& path) const {
    if (!eligible(path))
        return false;
    const QByteArray uri = uriFor(path);
    return validThumbnail(failFolder() + u'/' + fileNameFor(uri), uri, QFileInfo(path)).has_value();
}

bool ThumbnailCache::write(const QString& folder,
                           const QString& path,
                           QImage image,
                           QSize pictureSize) const {
    const QFileInfo info(path);
    const QByteArray uri = uriFor(path);
    image.setText(kUri, QString::fromLatin1(uri));
    image.setText(kMTime, QString::number(info.lastModified().toSecsSinceEpoch()));
    image.setText(kSize, QString::number(info.size()));
    if (pictureSize.isValid()) {
        image.setText(kWidth, QString::number(pictureSize.width()));
        image.setText(kHeight, QString::number(pictureSize.height()));
    }
    image.setText(QStringLiteral("Software"), QStringLiteral("Kordel " KORDEL_VERSION));
    if (!makeFolder(folder))
        return false;
    // Written under a private temporary name (mode 0600) and renamed into place, so that a
    // reader never sees half a file and another thread's copy of the same file is whole too.
    QTemporaryFile temporary(folder + QStringLiteral("/.kordel-XXXXXX.png"));
    if (!temporary.open() || !image.save(&temporary, "PNG") || !temporary.flush())
        return false;
    temporary.close();
    const QString target = folder + u'/' + fileNameFor(uri);
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(target).constData()) != 0)
        return false;
    temporary.setAutoRemove(false);
    return true;
}

}  // namespace kordel
