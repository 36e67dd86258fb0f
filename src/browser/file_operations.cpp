// Copying, moving and deleting the pictures of the current folder from the
// menus, the list keys and by dragging onto the folder tree or a drive tab.
// Every operation passes through the Shell service, which asks, shows
// progress and reports errors; afterwards the tables forget a file that is gone.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollArea>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <memory>

#include "catalogue_window.h"
#include "drive_tab_set.h"
#include "image.h"
#include "list_view.h"
#include "main.h"
#include "path_names.h"
#include "services.h"

namespace kordel {

namespace {

const QString kCopyTitle = QStringLiteral("画像ファイルのコピー");
const QString kMoveTitle = QStringLiteral("画像ファイルの移動");
const QString kCopyFilter = QStringLiteral(
    "All Files (*.BMP *.JPG *.JPE *.JPEG *.GIF *.TIF *.PIC *.P2 *.MAG *.PI *.Q4 *.ICO *.WMF "
    "*.EMF)");
// Marks the drags of this program; the value is the process id, so that a drag
// from another running copy of the program counts as one from outside.
const QString kOwnDrag = QStringLiteral("application/x-kordel-drag");

QString withSlash(const QString& folder) {
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

bool isOwnDrag(const QMimeData* data) {
    return data && data->data(kOwnDrag) == QByteArray::number(QCoreApplication::applicationPid());
}

QStringList localFiles(const QMimeData* data) {
    QStringList files;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                files << url.toLocalFile();
    return files;
}

bool isRecycleNode(const QString& text, const QString& path) {
    return text == QStringLiteral("RECYCLED") ||
           isTrashFilesFolder(path,
                              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                              ::getuid());
}

// Whether `path` is still the entry `name` of the folder on show (the current
// directory). That folder can lose its path while on show: a card pulled out
// (its mount let go lazily) and another mounted in its place holds pictures of
// the same names, and those are not the ones to copy, move or delete. Says so
// when it is not.
bool stillOnShow(Dialogs& dialogs, QWidget* owner, const QString& path, const QString& name) {
    struct stat there, here;
    if (::stat(QFile::encodeName(path).constData(), &there) != 0)
        return true;  // nothing there: the operation itself tells of it
    if (::stat(QFile::encodeName(name).constData(), &here) == 0 && there.st_dev == here.st_dev &&
        there.st_ino == here.st_ino)
        return true;
    dialogs.message(
        owner, Dialogs::Icon::Warning, QStringLiteral("Kordel"),
        QStringLiteral("表示中のフォルダ「%1」はもうありません。").arg(QFileInfo(path).path()));
    return false;
}

}  // namespace

// A file a drop acts on.
struct TForm1::Dragged {
    QString path, name;
    bool move = false;
    bool here = false;  // in the current folder, so an entry of the tables
};

void TForm1::connectFileOperations() {
    for (QAction* a : {KD2, G2})
        connect(a, &QAction::triggered, this, &TForm1::KD2Click);
    for (QAction* a : {KD1, G1})
        connect(a, &QAction::triggered, this, &TForm1::G1Click);
    for (QAction* a : {KD3, G3})
        connect(a, &QAction::triggered, this, &TForm1::KD3Click);
    connect(K2, &QAction::triggered, this, &TForm1::K2Click);
    connect(K5, &QAction::triggered, this, &TForm1::K5Click);
    connect(K6, &QAction::triggered, this, &TForm1::K6Click);
    // A drag from the list says so itself: a drag from the viewer that ended
    // elsewhere must not make the drop act on the picture on show instead.
    ListView->dragData = [this](int row) {
        ctx_.form2->dragSource = 0;
        return fileDragData(ListView->caption(row));
    };
    TreeView->setAcceptDrops(true);
    TreeView->viewport()->setAcceptDrops(true);
    TreeView->viewport()->installEventFilter(this);
    DriveTabSet->setAcceptDrops(true);
    DriveTabSet->installEventFilter(this);
}

QString TForm1::RunCopyDialog(QWidget* owner,
                              const QString& title,
                              const QString& folder,
                              const QString& name) {
    const QString chosen =
        ctx_.services->dialogs->saveFileName(owner, title, folder, kCopyFilter, name);
    return chosen.isEmpty() ? QString() : QDir(folder).absoluteFilePath(chosen);
}

bool TForm1::ShellCopyFile(const QString& destination, QWidget* owner) {
    return ctx_.services->shell->copyFile(owner ? owner : this, sourcePath, destination);
}

bool TForm1::ShellMoveFile(const QString& destination, QWidget* owner) {
    return ctx_.services->shell->moveFile(owner ? owner : this, sourcePath, destination);
}

bool TForm1::ShellDeleteFile(const QString& path, QWidget* owner) {
    return ctx_.services->shell->deleteFile(owner ? owner : this, path);
}

void TForm1::RestoreCatalogueStacking() {
    ctx_.form2->setStaysOnTop(ActOpt == 1);
}

void TForm1::transferEntry(const QString& name, bool move, QWidget* owner) {
    if (name.isEmpty() || isArchiveSelected())
        return;
    sourcePath = currentFolder() + name;
    ctx_.form2->setStaysOnTop(false);
    if (stillOnShow(*ctx_.services->dialogs, owner ? owner : this, sourcePath, name)) {
        const QString to = RunCopyDialog(owner ? owner : this, move ? kMoveTitle : kCopyTitle,
                                         currentFolder(), name);
        if (!to.isEmpty())
            move ? ShellMoveFile(to, owner) : ShellCopyFile(to, owner);
    }
    RestoreCatalogueStacking();
    // Whether or not the dialog was confirmed: the entry goes only when its file has.
    if (move)
        MarkEntryDeleted(sourcePath, name);
}

void TForm1::deleteEntry(const QString& name, bool lowerCatalogue, QWidget* owner) {
    if (name.isEmpty() || isArchiveSelected())
        return;
    sourcePath = currentFolder() + name;
    if (lowerCatalogue)
        ctx_.form2->setStaysOnTop(false);
    if (stillOnShow(*ctx_.services->dialogs, owner ? owner : this, sourcePath, name))
        ShellDeleteFile(sourcePath, owner);
    if (lowerCatalogue)
        RestoreCatalogueStacking();
    MarkEntryDeleted(sourcePath, name);
}

void TForm1::KD2Click() {
    transferEntry(fileNames[currentIndex], false);
}

void TForm1::G1Click() {
    deleteEntry(fileNames[currentIndex], true);
}

void TForm1::KD3Click() {
    transferEntry(fileNames[currentIndex], true);
}

void TForm1::K2Click() {
    if (ListView->selectedRow() >= 0)
        transferEntry(ListView->caption(ListView->selectedRow()), false);
}

// The list's delete leaves the catalogue's stacking alone when it may be
// topmost: the confirmation would be hidden under it, so it is lowered here too.
void TForm1::K5Click() {
    if (ListView->selectedRow() >= 0)
        deleteEntry(ListView->caption(ListView->selectedRow()), true);
}

void TForm1::K6Click() {
    if (ListView->selectedRow() >= 0)
        transferEntry(ListView->caption(ListView->selectedRow()), true);
}

QMimeData* TForm1::fileDragData(const QString& name) const {
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(currentFolder() + name)});
    data->setData(kOwnDrag, QByteArray::number(QCoreApplication::applicationPid()));
    return data;
}

bool TForm1::TreeViewDragOver(const QMimeData* data) const {
    return isOwnDrag(data) || !localFiles(data).isEmpty();
}

QList<TForm1::Dragged> TForm1::draggedFiles(const QMimeData* data,
                                            Qt::KeyboardModifiers modifiers) {
    QList<Dragged> files;
    if (isOwnDrag(data)) {
        // The entry the drag began on (a list row, a catalogue cell or the
        // picture on show) is named by the drag itself: by the time the drop is
        // worked on, a running show may have moved the selection and the
        // picture on show on to the next entry.
        const QStringList dragged = localFiles(data);
        const QString name = dragged.isEmpty() ? QString() : QFileInfo(dragged[0]).fileName();
        ctx_.form2->dragSource = 0;
        const QString path = currentFolder() + name;
        if (!name.isEmpty() && !isArchiveSelected() &&
            stillOnShow(*ctx_.services->dialogs, this, path, name))
            files.append({path, name, dragMove == 1, true});
        return files;
    }
    const QString here = QFileInfo(currentFolder()).canonicalFilePath();
    for (const QString& path : localFiles(data)) {
        const QFileInfo info(path);
        if (!info.isFile()) {
            ctx_.services->dialogs->message(
                this, Dialogs::Icon::Warning, QStringLiteral("Kordel"),
                QStringLiteral("「%1」はファイルではないため、コピーも移動もできません。")
                    .arg(path));
            continue;
        }
        files.append({info.absoluteFilePath(), info.fileName(), modifiers == Qt::ShiftModifier,
                      QFileInfo(info.absolutePath()).canonicalFilePath() == here});
    }
    return files;
}

void TForm1::dropOnFolder(const QMimeData* data,
                          Qt::KeyboardModifiers modifiers,
                          const QString& folder,
                          bool recycle) {
    ctx_.form2->setStaysOnTop(false);
    for (const Dragged& file : draggedFiles(data, modifiers)) {
        sourcePath = file.path;
        if (file.move) {
            const QString to = RunCopyDialog(this, kMoveTitle, folder, file.name);
            if (!to.isEmpty())
                ShellMoveFile(to);
        } else if (recycle) {
            ShellDeleteFile(sourcePath);
        } else {
            const QString to = RunCopyDialog(this, kCopyTitle, folder, file.name);
            if (!to.isEmpty())
                ShellCopyFile(to);
        }
        if (file.here && (file.move || recycle))
            MarkEntryDeleted(sourcePath, file.name);
    }
    RestoreCatalogueStacking();
}

void TForm1::TreeViewDragDrop(const QMimeData* data, QPoint pos, Qt::KeyboardModifiers modifiers) {
    if (!TreeViewDragOver(data))
        return;
    QTreeWidgetItem* node = TreeView->itemAt(pos);
    if (!node || isArchiveNode(node) || node->text(0).toUpper().endsWith(QStringLiteral(".LZH")))
        return;
    const QString folder = NodePath(node);
    dropOnFolder(data, modifiers, withSlash(folder), isRecycleNode(node->text(0), folder));
}

void TForm1::DriveTabSetDragDrop(const QMimeData* data,
                                 QPoint pos,
                                 Qt::KeyboardModifiers modifiers) {
    if (!TreeViewDragOver(data))
        return;
    const int tab = DriveTabSet->tabAt(pos);
    if (tab < 0 || tab >= drivePlaces.size())
        return;
    const Place& place = drivePlaces[tab];
    if (place.type == DriveType::CdRom || place.readOnly || !DriveReady(tab)) {
        ctx_.services->dialogs->message(this, Dialogs::Icon::Warning, QStringLiteral("Kordel"),
                                        QStringLiteral("指定のドライブは利用できません"));
        return;
    }
    dropOnFolder(data, modifiers, withSlash(place.root), false);
}

bool TForm1::fileDragEvent(QObject* watched, QEvent* e) {
    const bool tree = watched == TreeView->viewport();
    if (tree || watched == DriveTabSet) {
        switch (e->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* over = static_cast<QDragMoveEvent*>(e);
                over->setAccepted(TreeViewDragOver(over->mimeData()));
                if (over->isAccepted())
                    over->setDropAction(Qt::CopyAction);
                return true;
            }
            case QEvent::Drop: {
                // The work (dialogs, copying) runs once the drag has ended: a
                // program that dragged files here is not kept waiting for it.
                auto* drop = static_cast<QDropEvent*>(e);
                if (!TreeViewDragOver(drop->mimeData()))
                    return true;
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
                auto data = std::make_shared<QMimeData>();
                for (const QString& format : drop->mimeData()->formats())
                    data->setData(format, drop->mimeData()->data(format));
                const QPoint pos = drop->position().toPoint();
                const Qt::KeyboardModifiers modifiers = drop->modifiers();
                QTimer::singleShot(0, this, [this, tree, data, pos, modifiers] {
                    if (tree)
                        TreeViewDragDrop(data.get(), pos, modifiers);
                    else
                        DriveTabSetDragDrop(data.get(), pos, modifiers);
                });
                return true;
            }
            default:
                return false;
        }
    }
    if (watched != PicView2 && watched != ScrollBox->viewport())
        return false;
    if (e->type() == QEvent::MouseButtonRelease)
        viewerDragArmed_ = false;
    if (e->type() != QEvent::MouseMove || !viewerDragArmed_)
        return false;
    auto* move = static_cast<QMouseEvent*>(e);
    if (!(move->buttons() & Qt::LeftButton)) {
        viewerDragArmed_ = false;
        return false;
    }
    if ((move->globalPosition().toPoint() - viewerDragFrom_).manhattanLength() <
        QApplication::startDragDistance())
        return false;
    viewerDragArmed_ = false;
    auto* drag = new QDrag(PicView2);
    drag->setMimeData(fileDragData(fileNames[currentIndex]));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
    return true;
}

}  // namespace kordel
