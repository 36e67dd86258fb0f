// The picture taken out of the program: as the desktop wallpaper, to and from
// the clipboard, and saved as a BMP file.
#include <unistd.h>
#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>
#include <QtEndian>
#include <cerrno>
#include <cstring>

#include "catalogue_window.h"
#include "image.h"
#include "main.h"
#include "path_names.h"
#include "status_bar.h"
#include "texts.h"

namespace kordel {

namespace {

const QString kTitle = QStringLiteral("Kordel");

// An opaque copy: what shows through transparent dots is white, as on paper.
QImage opaqueOnWhite(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image;
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter(&out).drawImage(0, 0, image);
    return out;
}

// A drawing as a bitmap of the given size on white.
QImage drawingAsBitmap(const QPicture& drawing, QSize natural, QSize size) {
    if (size.isEmpty() || natural.isEmpty())
        return {};
    QImage out(size, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.scale(double(size.width()) / natural.width(), double(size.height()) / natural.height());
    p.drawPicture(0, 0, drawing);
    return out;
}

// The picture the viewer shows, as a bitmap; a drawing at the size it is shown at.
QImage viewerBitmap(const TImage& view) {
    if (!view.isDrawing())
        return view.image();
    return drawingAsBitmap(view.drawing(), view.naturalSize(),
                           view.stretch() ? view.size() : view.naturalSize());
}

// Bits per pixel of a BMP file or a bare device-independent bitmap; -1 when the
// data holds neither header.
int dibBitCount(const QByteArray& data) {
    const qsizetype at = data.startsWith("BM") ? 14 : 0;
    if (data.size() < at + 16)
        return -1;
    const auto* header = reinterpret_cast<const uchar*>(data.constData()) + at;
    const quint32 size = qFromLittleEndian<quint32>(header);
    if (size == 12)
        return qFromLittleEndian<quint16>(header + 10);
    return size >= 16 && size <= 124 ? qFromLittleEndian<quint16>(header + 14) : -1;
}

int clipboardBitCount(const QMimeData& data, const QImage& image) {
    for (const char* type : {"image/bmp", "image/x-bmp", "image/x-ms-bmp", "image/x-win-bitmap"}) {
        const QString format = QLatin1String(type);
        if (!data.hasFormat(format))
            continue;
        const int bits = dibBitCount(data.data(format));
        if (bits >= 0)
            return bits;
    }
    switch (image.format()) {
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
            return 1;
        case QImage::Format_RGB555:
        case QImage::Format_ARGB8555_Premultiplied:
            return 15;
        case QImage::Format_RGB888:
        case QImage::Format_BGR888:
            return 24;
        default:
            return image.depth();
    }
}

void put16(uchar* at, quint16 v) {
    qToLittleEndian(v, at);
}
void put32(uchar* at, quint32 v) {
    qToLittleEndian(v, at);
}

// A BMP file of a picture: 8 bits with its colour table when it has one, else 24
// bits; bottom-up rows padded to 4 bytes.
QByteArray bmpFileData(const QImage& picture) {
    if (picture.isNull())
        return {};
    QImage image = picture;
    const bool indexed =
        image.colorCount() > 0 && image.colorCount() <= 256 &&
        (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
         image.format() == QImage::Format_MonoLSB);
    image = indexed ? image.convertToFormat(QImage::Format_Indexed8)
                    : opaqueOnWhite(image).convertToFormat(QImage::Format_RGB32);
    const int bits = indexed ? 8 : 24;
    const QList<QRgb> colours = indexed ? image.colorTable() : QList<QRgb>();
    const qint64 w = image.width(), h = image.height();
    const qint64 rowBytes = (w * bits + 31) / 32 * 4;
    const qint64 offset = 14 + 40 + 4 * qint64(colours.size());
    const qint64 total = offset + rowBytes * h;
    if (total > 0xffffffffLL)
        return {};
    QByteArray out(total, '\0');
    auto* d = reinterpret_cast<uchar*>(out.data());
    d[0] = 'B';
    d[1] = 'M';
    put32(d + 2, quint32(total));
    put32(d + 10, quint32(offset));
    put32(d + 14, 40);
    put32(d + 18, quint32(w));
    put32(d + 22, quint32(h));  // positive: rows bottom-up
    put16(d + 26, 1);
    put16(d + 28, quint16(bits));
    put32(d + 34, quint32(rowBytes * h));
    put32(d + 38, 3780);  // 96 dots per inch
    put32(d + 42, 3780);
    put32(d + 46, quint32(colours.size()));
    for (qsizetype i = 0; i < colours.size(); ++i) {
        uchar* entry = d + 54 + 4 * i;
        entry[0] = uchar(qBlue(colours[i]));
        entry[1] = uchar(qGreen(colours[i]));
        entry[2] = uchar(qRed(colours[i]));
    }
    for (qint64 y = 0; y < h; ++y) {
        uchar* row = d + offset + (h - 1 - y) * rowBytes;
        const uchar* line = image.constScanLine(int(y));
        if (indexed) {
            memcpy(row, line, size_t(w));
            continue;
        }
        const auto* pixels = reinterpret_cast<const QRgb*>(line);
        for (qint64 x = 0; x < w; ++x) {
            row[3 * x] = uchar(qBlue(pixels[x]));
            row[3 * x + 1] = uchar(qGreen(pixels[x]));
            row[3 * x + 2] = uchar(qRed(pixels[x]));
        }
    }
    return out;
}

// Writes all of `data` to a file descriptor; 0, or the error number of the failure.
int writeFully(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    return 0;
}

}  // namespace

void TForm1::connectWallpaperClipboard() {
    connect(Kabegami, &QMenu::aboutToShow, this, &TForm1::KabegamiClick);
    connect(Kabegami2, &QMenu::aboutToShow, this, &TForm1::KabegamiClick);
    for (QAction* a : {K_NOMAL, P_NOMAL})
        connect(a, &QAction::triggered, this, &TForm1::K_NOMALClick);
    for (QAction* a : {K_KORDEL, P_KORDEL})
        connect(a, &QAction::triggered, this, &TForm1::K_KORDELClick);
    for (QAction* a : {K_NAME, P_NAME})
        connect(a, &QAction::triggered, this, &TForm1::K_NAMEClick);
    // The handler reads the mark as it stood before the click and sets all of them itself.
    for (QAction* a : {K_TILE, P_TILE})
        connect(a, &QAction::triggered, this, [this, a] {
            a->setChecked(!a->isChecked());
            K_TILEClick();
        });
    for (QAction* a : {K4, Copy1})
        connect(a, &QAction::triggered, this, &TForm1::K4Click);
    for (QAction* a : {KV1, K7})
        connect(a, &QAction::triggered, this, &TForm1::KV1Click);
    for (QAction* a : {SaveAs, SaveAs2})
        connect(a, &QAction::triggered, this, &TForm1::SaveAsClick);
}

void TForm1::KabegamiClick() {
    for (QAction* a : {K_NOMAL, K_KORDEL, K_NAME, P_NOMAL, P_KORDEL, P_NAME})
        a->setEnabled(true);
    // Only a BMP file on show can become the wallpaper where it lies.
    const bool bmpFile =
        fileExtension(fileNames[currentIndex]) == ".BMP" && windowTitle() != clipboardCaption();
    K_NOMAL->setEnabled(bmpFile);
    P_NOMAL->setEnabled(bmpFile);
    if (isArchiveSelected())
        for (QAction* a : {K_NOMAL, P_NOMAL, K_NAME, P_NAME})
            a->setEnabled(false);
}

void TForm1::applyWallpaper(const QString& path) {
    Desktop& desktop = *ctx_.services->desktop;
    desktop.setTileWallpaper(K_TILE->isChecked());
    QString why;
    if (!desktop.setWallpaper(path, why))
        ctx_.services->dialogs->message(this, Dialogs::Icon::Warning, kTitle,
                                        QStringLiteral("壁紙を設定できません。\n") + why);
}

QImage TForm1::pictureToWrite(int index, int source) {
    if (source != 1)
        return viewerBitmap(*PicView2);
    // A wallpaper gets the whole picture, never the quick JPEG preview.
    const bool preview = PicView->PreView();
    PicView->setPreView(false);
    PicView->setPictureName(isArchiveSelected() ? tempFolder + fileNames[index] : fileNames[index]);
    PicView->setPreView(preview);
    QImage picture = PicView->metafile()
                         ? drawingAsBitmap(PicView->metafile()->picture, PicView->metafile()->size,
                                           PicView->metafile()->size)
                         : PicView->image();
    PicView->setPictureName(QString());  // only the viewer keeps a decoded picture
    return picture;
}

bool TForm1::writeBmp(const QImage& picture, const QString& path) {
    QString why;
    const QByteArray data = bmpFileData(picture);
    if (data.isEmpty()) {
        why = picture.isNull() ? QStringLiteral("保存する画像がありません。")
                               : QStringLiteral("画像が大きすぎます。");
    } else {
        // Through a temporary file: a failed write leaves the old file as it was.
        // The bytes go straight to the file, so that a full disk is reported with its
        // cause; a buffered write that fails at the commit is taken for success.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            why = file.errorString();
        else if (const int error = writeFully(file.handle(), data))
            why = QString::fromLocal8Bit(std::strerror(error));  // the temporary file goes
        else if (file.commit())
            return true;
        else
            why = file.errorString();
    }
    ctx_.services->dialogs->message(
        this, Dialogs::Icon::Error, kTitle,
        QStringLiteral("「%1」に保存できませんでした。\n%2").arg(path, why));
    return false;
}

QString TForm1::askBmpName(QWidget* owner) {
    const QString title = QStringLiteral("名前をつけて保存");
    for (;;) {
        QString name = ctx_.services->dialogs->saveFileName(owner, title, currentFolder(),
                                                            QStringLiteral("BMP (*.BMP)"));
        if (name.isEmpty())
            return {};
        if (fileExtension(QFileInfo(name).fileName()).isEmpty())
            name += QStringLiteral(".BMP");
        const QFileInfo file(QFileInfo(name).absoluteFilePath());
        // Names that will not be written need no questions.
        if (fileExtension(name) != ".BMP" || !file.exists())
            return file.filePath();
        // A file without write permission is read-only even to a user who could write it.
        const auto writeBits = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
        if (!file.isFile() || !file.isWritable() || !(file.permissions() & writeBits)) {
            ctx_.services->dialogs->message(
                owner, Dialogs::Icon::Warning, title,
                QStringLiteral(
                    "%1\nこのファイルは読み取り専用です。\n別のファイル名を指定してください。")
                    .arg(file.filePath()));
            continue;
        }
        if (ctx_.services->dialogs->confirm(
                owner, title,
                QStringLiteral("%1 は既に存在します。\n上書きしますか?").arg(file.filePath())))
            return file.filePath();
    }
}

void TForm1::SetWallpaperAsIs(int index) {
    applyWallpaper(currentFolder() + fileNames[index]);
}

void TForm1::SetWallpaperNamed(int index, int source) {
    const QString folder = ctx_.services->desktop->wallpaperFolder();
    if (folder.isEmpty()) {
        ctx_.services->dialogs->message(
            this, Dialogs::Icon::Warning, kTitle,
            QStringLiteral("壁紙を設定できません。\nKORDEL.BMP を置くフォルダを作れません。"));
        return;
    }
    const QString path = folder + QStringLiteral("KORDEL.BMP");
    // Applied even when the path is the same as before: the file behind it is new.
    if (writeBmp(pictureToWrite(index, source), path))
        applyWallpaper(path);
}

void TForm1::SaveThenSetWallpaper(int index, int source) {
    ctx_.form2->setStaysOnTop(false);
    // From the catalogue, its dialogs open above the catalogue.
    QWidget* owner = source == 1 ? static_cast<QWidget*>(ctx_.form2) : this;
    const QString name = askBmpName(owner);
    if (!name.isEmpty()) {
        if (fileExtension(name) != ".BMP")
            ctx_.services->dialogs->message(owner, Dialogs::Icon::Warning, kTitle,
                                            QStringLiteral("拡張子が\"BMP\"ではありません。"));
        else if (writeBmp(pictureToWrite(index, source), name))
            applyWallpaper(name);
    }
    RestoreCatalogueStacking();
}

void TForm1::ToggleTileWallpaper() {
    // A picture the desktop names but that is gone (a default never installed,
    // a deleted file) leaves the tiling to be applied alone.
    QString path = ctx_.services->desktop->wallpaper();
    if (!QFileInfo(path).isFile())
        path.clear();
    const bool tile = !K_TILE->isChecked();
    K_TILE->setChecked(tile);
    P_TILE->setChecked(tile);
    if (QAction* catalogueTile = ctx_.form2->findChild<QAction*>(QStringLiteral("K_TILE")))
        catalogueTile->setChecked(tile);
    // Applying the same picture again redraws the desktop with the new tiling.
    applyWallpaper(path);
}

void TForm1::K4Click() {
    const QImage picture = viewerBitmap(*PicView2);
    if (!picture.isNull())
        QGuiApplication::clipboard()->setImage(picture);
}

void TForm1::KV1Click() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasImage())
        return;
    const QImage image = qvariant_cast<QImage>(data->imageData());
    if (image.isNull())
        return;
    PicView2->setImage(image);
    // Later re-layouts size the pasted picture, not the file shown before it.
    decodedWidth = fullWidth = image.width();
    decodedHeight = fullHeight = image.height();
    layoutPicture();
    Status->setPanelText(0, colourDepthText(clipboardBitCount(*data, image)));
    Status->setPanelText(1, QStringLiteral("%1x%2").arg(image.width()).arg(image.height()));
    Status->setPanelText(2, QStringLiteral(" "));
    Status->setPanelText(3, QStringLiteral(" "));
    setWindowTitle(clipboardCaption());
}

void TForm1::SaveAsClick() {
    // Pasted data can be saved even when the folder had no pictures.
    if (foundAny != 1 && windowTitle() != clipboardCaption())
        return;
    ctx_.form2->setStaysOnTop(false);
    const QString name = askBmpName(this);
    if (!name.isEmpty()) {
        if (fileExtension(name) != ".BMP")
            ctx_.services->dialogs->message(
                this, Dialogs::Icon::Warning, kTitle,
                QStringLiteral("拡張子が\"BMP\"ではありません。保存されませんでした。"));
        else
            writeBmp(pictureToWrite(0, 0), name);
    }
    RestoreCatalogueStacking();
}

}  // namespace kordel
