// The drive tabs and the folder tree of one drive: built when a drive is
// chosen, filled one level ahead as the user expands it, and turned into a
// new file list when another node is selected.
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <QTreeWidget>
#include <cerrno>

#include "catalogue_window.h"
#include "drive_tab_set.h"
#include "file_table.h"
#include "image.h"
#include "list_view.h"
#include "main.h"
#include "panel.h"
#include "services.h"
#include "speed_button.h"
#include "status_bar.h"

namespace kordel {

namespace {

constexpr int kRootRole = Qt::UserRole;           // the place's root, on the root node
constexpr int kNoDescentRole = Qt::UserRole + 1;  // a link back into its own ancestry

int imageForType(DriveType type) {
    switch (type) {
        case DriveType::Removable:
            return 2;
        case DriveType::Remote:
            return 4;
        case DriveType::CdRom:
            return 5;
        default:
            return 3;
    }
}

bool hasTab(DriveType type) {
    return type != DriveType::Unknown && type != DriveType::NoRootDir;
}

// Waits with the hour-glass until the scope ends.
struct BusyCursor {
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

// The index of the place with this root, or -1.
int indexOfRoot(const QList<Place>& places, const QString& root) {
    for (qsizetype i = 0; i < places.size(); ++i)
        if (places[i].root == root)
            return int(i);
    return -1;
}

}  // namespace

QString TForm1::JoinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

QIcon TForm1::nodeIcon(int normal, int selected) const {
    QIcon icon;
    icon.addPixmap(ImageList.value(normal), QIcon::Normal);
    icon.addPixmap(ImageList.value(selected), QIcon::Selected);
    return icon;
}

QList<Place> TForm1::tabbedPlaces() const {
    QList<Place> tabbed;
    for (const Place& place : ctx_.services->drives->places())
        if (hasTab(place.type))
            tabbed.append(place);
    return tabbed;
}

void TForm1::setDriveTabs(const QList<Place>& places, int current) {
    const QSignalBlocker block(DriveTabSet);
    while (DriveTabSet->count() > 0)
        DriveTabSet->removeTab(0);
    drivePlaces = places;
    driveKinds = QList<int>(std::max<qsizetype>(26, places.size()), 3);
    for (int i = 0; i < places.size(); ++i) {
        DriveTabSet->addTab(places[i].tabText);
        driveKinds[i] = imageForType(places[i].type);
    }
    currentDriveTab = current;
    if (DriveTabSet->count() > 0)
        DriveTabSet->setCurrentIndex(currentDriveTab);
}

void TForm1::buildDriveTabs() {
    const QList<Place> places = tabbedPlaces();
    setDriveTabs(places, std::max(0, indexOfRoot(places, placeOf(places, QDir::currentPath()))));
    ctx_.services->drives->watchChanges([form = QPointer<TForm1>(this)] {
        if (form)
            form->refreshDriveTabs();
    });
}

void TForm1::refreshDriveTabs() {
    if (startingUp == 1 || drivePlaces.isEmpty())
        return;
    QList<Place> places = tabbedPlaces();
    // The tree keeps showing a volume that went away; its tab stays with it
    // until the next change after another tab was chosen.
    const Place shown = drivePlaces.value(currentDriveTab);
    int current = indexOfRoot(places, shown.root);
    if (current < 0) {
        current = std::min(currentDriveTab, int(places.size()));
        places.insert(current, shown);
    }
    if (places != drivePlaces)
        setDriveTabs(places, current);
}

bool TForm1::DriveReady(int tab) {
    return tab >= 0 && tab < drivePlaces.size() &&
           ctx_.services->drives->isReady(drivePlaces[tab].root);
}

void TForm1::DriveTabSetClick(int tab) {
    if (startingUp == 1 || (isArchiveSelected() && loaderRunning == 1)) {
        const QSignalBlocker block(DriveTabSet);
        DriveTabSet->setCurrentIndex(currentDriveTab);
        return;
    }
    if (DriveReady(tab)) {
        if (tab == currentDriveTab)
            return;
        currentDriveTab = tab;
        BuildDriveTree(drivePlaces[tab]);
        if (TreeView->topLevelItemCount() > 0)
            TreeView->setCurrentItem(TreeView->topLevelItem(0));
        return;
    }
    ctx_.services->dialogs->message(this, Dialogs::Icon::Warning, QStringLiteral("Kordel"),
                                    QStringLiteral("指定のドライブは使用できません"));
    const QSignalBlocker block(DriveTabSet);
    DriveTabSet->setCurrentIndex(currentDriveTab);
}

void TForm1::BuildDriveTree(const Place& place) {
    BusyCursor busyCursor;
    treeBuilding = 1;
    struct Done {
        TForm1* f;
        ~Done() { f->treeBuilding = 0; }
    } done{this};

    QString text = place.root;
    if (!place.label.isEmpty())
        text += QStringLiteral("  (") + place.label + u')';
    TreeView->setUpdatesEnabled(false);
    TreeView->clear();
    auto* root = new QTreeWidgetItem(TreeView, {text});
    const int image = imageForType(place.type);
    root->setIcon(0, nodeIcon(image, image));
    root->setData(0, kRootRole, place.root);
    AddSubfolders(place.root, root, true);
    TreeView->collapseAll();
    root->setExpanded(true);
    TreeView->setUpdatesEnabled(true);
}

void TForm1::AddSubfolders(const QString& folder, QTreeWidgetItem* parent, bool withGrandchildren) {
    QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    QStringList folders, archives;
    for (const QFileInfo& e : entries) {
        if (e.isDir())
            folders.append(e.fileName());
        else if (e.isFile() && archiveLibraryLoaded() &&  // a FIFO or device is no archive
                 e.suffix().compare(QStringLiteral("LZH"), Qt::CaseInsensitive) == 0)
            archives.append(e.fileName());
    }
    sortNamesForUser(folders);
    sortNamesForUser(archives);
    for (const QString& name : folders) {
        auto* node = new QTreeWidgetItem(parent, {name});
        if (name == QStringLiteral("RECYCLED"))
            node->setIcon(0, nodeIcon(6, 6));
        else
            node->setIcon(0, nodeIcon(0, 1));
        const QString path = JoinPath(folder, name);
        if (leadsBackIntoAncestry(path, parent)) {
            node->setData(0, kNoDescentRole, true);
            continue;
        }
        if (withGrandchildren)
            AddSubfolders(path, node, false);
    }
    for (const QString& name : archives) {
        auto* node = new QTreeWidgetItem(parent, {name});
        node->setIcon(0, nodeIcon(archiveImage, archiveImage + 1));
        node->setData(0, kArchiveNodeRole, true);
    }
}

bool TForm1::leadsBackIntoAncestry(const QString& path, QTreeWidgetItem* parent) const {
    const QFileInfo info(path);
    if (!info.isSymLink())
        return false;
    const QString target = info.canonicalFilePath();
    if (target.isEmpty())
        return true;  // a dangling link leads nowhere
    for (QTreeWidgetItem* n = parent; n; n = n->parent()) {
        const QString ancestor = QFileInfo(NodePath(n)).canonicalFilePath();
        if (target == ancestor)
            return true;
    }
    return false;
}

void TForm1::ExpandNode(QTreeWidgetItem* node) {
    if (node->childCount() == 0)
        return;
    const QString path = NodePath(node);
    BusyCursor busyCursor;
    TreeView->setUpdatesEnabled(false);
    for (int i = 0; i < node->childCount(); ++i) {
        QTreeWidgetItem* child = node->child(i);
        if (child->childCount() == 0 && !child->data(0, kNoDescentRole).toBool() &&
            !isArchiveNode(child))
            AddSubfolders(JoinPath(path, child->text(0)), child, false);
    }
    TreeView->setUpdatesEnabled(true);
}

bool TForm1::isArchiveNode(const QTreeWidgetItem* node) {
    return node && node->data(0, kArchiveNodeRole).toBool();
}

QString TForm1::NodePath(const QTreeWidgetItem* node) const {
    QStringList parts;
    const QTreeWidgetItem* n = node;
    for (; n && n->parent(); n = n->parent())
        parts.prepend(n->text(0));
    const QString root = n ? n->data(0, kRootRole).toString() : QString();
    // An archive node stands for the folder that holds it. (A folder whose name
    // ends in ".lzh" is an ordinary folder node.)
    if (isArchiveNode(node))
        parts.removeLast();
    QString path = root;
    for (const QString& p : parts)
        path = JoinPath(path, p);
    return path;
}

void TForm1::TreeViewExpanding(QTreeWidgetItem* node) {
    ExpandNode(node);
}

bool TForm1::TreeViewChanging(QTreeWidgetItem* node) const {
    if (busy == 1)
        return false;
    if (loaderRunning == 1 && isArchiveNode(node))
        return false;
    return true;
}

void TForm1::TreeViewChange(QTreeWidgetItem* node) {
    if (treeBuilding == 1 || !node)
        return;
    TreeView->repaint();
    PicView->setPictureName(QString());
    PicView2->clear();
    PicView2->resize(0, 0);
    for (int i = 0; i < 3; ++i)
        Status->setPanelText(i, QStringLiteral(" "));
    Status->setPanelText(3, QStringLiteral("画像ﾃﾞｰﾀが見つかりません"));
    setWindowTitle(QStringLiteral("Kordel"));
    const QString folder = NodePath(node);
    if (loaderRunning == 1)
        ctx_.form2->stopLoaderAndWait();
    if (!enterFolder(folder)) {
        ctx_.services->dialogs->message(this, Dialogs::Icon::Error, QStringLiteral("Kordel"),
                                        QStringLiteral("I/O ｴﾗｰ (%1)").arg(errno));
        return;
    }
    sortDirection = 0;
    RescanFileList();
    if (foundAny == 1)
        StartCatalogueLoad();
    if (foundAny == 0) {
        setNavigation({false, false, false, false, false, false});
        if (catalogueActive == 1)
            ctx_.form2->blankAllCells();
        ListView->clear();
        for (int i = 0; i < 4; ++i)
            ListView->setColumnWidth(i, savedColumnWidths[i]);
    }
}

void TForm1::connectTree() {
    DriveTabSet->glyphOf = [this](int index) {
        return ImageList.value(driveKinds.value(index, 3));
    };
    connect(DriveTabSet, &QTabBar::currentChanged, this, &TForm1::DriveTabSetClick);
    connect(TreeView, &QTreeWidget::itemExpanded, this, &TForm1::TreeViewExpanding);
    connect(TreeView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
                if (treeBuilding == 1)
                    return;
                if (!TreeViewChanging(current)) {
                    const QSignalBlocker block(TreeView);
                    TreeView->setCurrentItem(previous);
                    // A mouse press goes on to select the node it hit once this
                    // returns: the selection is put back onto the current node after it.
                    QTimer::singleShot(0, TreeView, [this] {
                        const QSignalBlocker block(TreeView);
                        TreeView->setCurrentItem(TreeView->currentItem());
                    });
                    return;
                }
                TreeViewChange(current);
            });
}

void TForm1::selectStartFolder() {
    buildDriveTabs();
    if (drivePlaces.isEmpty())
        return;
    const Place& place = drivePlaces[currentDriveTab];
    if (!enterFolder(place.root)) {
        ctx_.services->dialogs->message(this, Dialogs::Icon::Error, QStringLiteral("Kordel"),
                                        QStringLiteral("I/O ｴﾗｰ (%1)").arg(errno));
        return;
    }
    BuildDriveTree(place);
    TreeView->setCurrentItem(TreeView->topLevelItem(0));
}

QTreeWidgetItem* TForm1::selectFolderNode(const QString& folder) {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QString root = placeOf(drivePlaces, clean);
    if (root.isEmpty())
        return nullptr;
    const int tab = indexOfRoot(drivePlaces, root);
    if (tab < 0)
        return nullptr;
    if (tab != currentDriveTab || TreeView->topLevelItemCount() == 0) {
        currentDriveTab = tab;
        const QSignalBlocker block(DriveTabSet);
        DriveTabSet->setCurrentIndex(tab);
        BuildDriveTree(drivePlaces[tab]);
    }
    QTreeWidgetItem* node = TreeView->topLevelItem(0);
    const QString rest = clean.mid(QDir::cleanPath(root).size());
    for (const QString& part : rest.split(u'/', Qt::SkipEmptyParts)) {
        node->setExpanded(true);  // fills the next level
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (node->child(i)->text(0) == part)
                next = node->child(i);
        if (!next)
            return nullptr;
        node = next;
    }
    TreeView->setCurrentItem(node);
    TreeView->scrollToItem(node);
    return node;
}

}  // namespace kordel
