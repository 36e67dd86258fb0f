// The file table: scanning the current folder kind by kind, the picture-kind
// box, and removing entries whose files have gone.
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QTreeWidget>
#include <cerrno>
#include <cstdlib>
#include <functional>

#include "catalogue_window.h"
#include "image.h"
#include "list_view.h"
#include "main.h"
#include "panel.h"
#include "services.h"
#include "speed_button.h"
#include "status_bar.h"

namespace kordel {

QString TForm1::currentFolder() const {
    // The process's own idea of it resolves symbolic links, and names "/" once the
    // folder has been removed.
    QString path = enteredFolder_.isEmpty() ? QDir::currentPath() : enteredFolder_;
    // A folder renamed or moved while on show stays the process's own: its new
    // name, not the old one where its files are no longer found.
    struct stat named, current;
    if (!enteredFolder_.isEmpty() && ::stat(".", &current) == 0 &&
        (::stat(QFile::encodeName(path).constData(), &named) != 0 ||
         named.st_dev != current.st_dev || named.st_ino != current.st_ino)) {
        if (char* working = ::getcwd(nullptr, 0)) {
            path = QFile::decodeName(working);
            std::free(working);
        }
    }
    return path.endsWith(u'/') ? path : path + u'/';
}

bool TForm1::enterFolder(const QString& folder) {
    if (::chdir(QFile::encodeName(folder).constData()) != 0)
        return false;
    enteredFolder_ = QDir::cleanPath(
        QDir::isAbsolutePath(folder) ? folder : QDir::current().absoluteFilePath(folder));
    return true;
}

bool TForm1::isArchiveSelected() const {
    return isArchiveNode(TreeView->currentItem());
}

int TForm1::ScanFolderMask(const QString& folder, const QString& mask) {
    return scanNamesIntoTable(*this, listFolderMask(folder, mask), SortOpt == 1, [this] {
        ctx_.services->dialogs->message(
            this, Dialogs::Icon::Warning, QStringLiteral("Kordel"),
            QStringLiteral("画像ﾌｧｲﾙが2000以上あります。2001ﾌｧｲﾙ以降は表示できません。"));
    });
}

void TForm1::RescanFileList() {
    // A running show holds indices into the table rebuilt here: it ends, and
    // leaves the new table's first entry and buttons as the scan sets them.
    if (slideshowRunning()) {
        slideTableRebuilt_ = true;
        stopSlideshow();
    }
    if (loaderRunning == 1)
        ctx_.form2->stopLoaderAndWait();
    PicView->setPictureName(QString());
    PicView2->clear();
    for (int i = 0; i < 3; ++i)
        Status->setPanelText(i, QStringLiteral(" "));
    Status->setPanelText(3, QStringLiteral("画像ﾃﾞｰﾀが見つかりません"));
    setWindowTitle(QStringLiteral("Kordel"));

    // A folder removed since it was made current has no path any more: without
    // this check the rescan would go on in "/".
    char* working = ::getcwd(nullptr, 0);
    const int gone = working ? 0 : errno;
    std::free(working);
    const QString folder = currentFolder();
    if (gone != 0 || !enterFolder(folder)) {
        const int code = gone != 0 ? gone : errno;
        ctx_.services->dialogs->message(this, Dialogs::Icon::Error, QStringLiteral("Kordel"),
                                        QStringLiteral("I/O ｴﾗｰ (%1)").arg(code));
        return;
    }
    FileTable::reset();
    // One scan per switched-on kind, in the kinds' order, until the table is full.
    auto scanKinds = [this](const std::function<int(const QString&)>& scanMask) {
        for (int k = 0; k < kKindSlots; ++k) {
            if (kindMasks[k] == QStringLiteral(" "))
                continue;
            if (scanMask(kindMasks[k]) == -1) {
                lastIndex = kMaxEntries - 1;
                break;
            }
            lastIndex = nextFree - 1;
        }
    };
    if (!isArchiveSelected()) {
        ListView->setAutomaticDrag(true);
        scanKinds([&](const QString& mask) { return ScanFolderMask(folder, mask); });
    } else if (archiveLibraryLoaded()) {
        ListView->setAutomaticDrag(false);
        const QString archive = selectedArchivePath();
        if (checkSelectedArchive())
            scanKinds([&](const QString& mask) { return ScanArchiveMask(archive, mask); });
        else
            Status->setPanelText(3, QStringLiteral("書庫が異常です"));
    }

    if (foundAny == 1) {
        if (!isArchiveSelected()) {
            ShowPicture(fileNames[0], 0, lastIndex, 1);
            setWindowTitle(QStringLiteral("Kordel [") + folder + fileNames[0] +
                           QStringLiteral("]"));
        } else {
            ExtractAndShowMember(0);
        }
        PicView2->repaint();
        FillFileList(isArchiveSelected());
        if (lastIndex == 0)
            setNavigation({false, false, false, false, false, false});
        else
            setNavigation({false, true, false, false, true, true});
    } else {
        setNavigation({false, false, false, false, false, false});
        ListView->clear();
    }
}

void TForm1::ComboBoxChange() {
    const int index = ComboBox->currentIndex();
    const std::array<QString, kKindSlots> masks = kindMasksForIndex(index);
    currentKindIndex = index;
    if (masks == kindMasks)
        return;
    kindMasks = masks;
    RescanFileList();
    StartCatalogueLoad();
}

void TForm1::MarkEntryDeleted(const QString& fullPath, const QString& name) {
    if (QFileInfo::exists(fullPath))
        return;
    if (!Panel6->isHidden()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const int row = ListView->findCaption(name);
        if (row >= 0)
            ListView->removeItem(row);
        QApplication::restoreOverrideCursor();
    }
    ctx_.form2->markCellDeleted(name);
    int j = -1;
    for (int i = 0; i <= lastIndex; ++i)
        if (fileNames[i] == name)
            j = i;
    if (j >= 0) {
        fileNames[j].clear();
        if (j == currentIndex) {
            PicView->setPictureName(QString());
            PicView2->clear();
            for (int i = 0; i < 3; ++i)
                Status->setPanelText(i, QString());
            Status->setPanelText(3, QStringLiteral("削除済みのファイルです"));
            setWindowTitle(QStringLiteral("Kordel"));
        }
    }
    QCoreApplication::processEvents();
}

void TForm1::openPath(const QString& path) {
    const QFileInfo info(path);
    // An archive opens as the folder it stands for in the tree.
    if (info.isFile() && archiveLibraryLoaded() &&
        info.suffix().compare(QStringLiteral("LZH"), Qt::CaseInsensitive) == 0) {
        selectFolderNode(info.absoluteFilePath());
        return;
    }
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    // Through the folder tree when the folder lies on one of the places.
    if (!selectFolderNode(folder)) {
        if (!enterFolder(folder))
            return;
        RescanFileList();
    }
    if (info.isDir() || foundAny != 1)
        return;
    // Show the file that was asked for.
    for (int i = 0; i <= lastIndex; ++i) {
        if (fileNames[i] == info.fileName()) {
            currentIndex = i;
            showEntry(i);
            SelectListEntry(fileNames[i]);
            setNavigation({i > 0, i<lastIndex, i> 0, i > 0, i < lastIndex, i < lastIndex});
            break;
        }
    }
}

}  // namespace kordel
