// Drive tabs and the folder tree, on temporary folders standing in for drives.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "drive_tab_set.h"
#include "list_view.h"
#include "main.h"
#include "speed_button.h"
#include "status_bar.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

void makeFolder(const QString& path) {
    QVERIFY(QDir().mkpath(path));
}

void makePicture(const QString& path) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(path, "BMP"));
}

QTreeWidgetItem* child(QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return node->child(i);
    return nullptr;
}

QStringList childTexts(QTreeWidgetItem* node) {
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i)
        out << node->child(i)->text(0);
    return out;
}

bool sameImage(const QIcon& icon, const QPixmap& image, QIcon::Mode mode = QIcon::Normal) {
    return icon.pixmap(16, 16, mode).toImage().convertToFormat(QImage::Format_ARGB32) ==
           image.toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

class TestDriveTree : public QObject {
    Q_OBJECT

    QString startDir_;
    QTemporaryDir drives_;
    QString a_, b_;  // two drive roots

private slots:
    void initTestCase() { startDir_ = QDir::currentPath(); }
    void init() {
        a_ = drives_.path() + "/a";
        b_ = drives_.path() + "/b";
        QDir(a_).removeRecursively();
        QDir(b_).removeRecursively();
        makeFolder(a_ + "/Pics/Sub");
        makeFolder(a_ + "/Empty");
        makeFolder(a_ + "/RECYCLED");
        makeFolder(a_ + "/Recycled2/inner");
        makeFolder(a_ + "/Photos.lzh");
        makePicture(a_ + "/top.bmp");
        makePicture(a_ + "/Pics/p1.bmp");
        makePicture(a_ + "/Pics/p2.bmp");
        makePicture(a_ + "/Photos.lzh/inside.bmp");
        makeFolder(b_ + "/other");
        makePicture(b_ + "/b.bmp");
        QVERIFY(QDir::setCurrent(a_ + "/Pics"));
    }
    void cleanup() { QDir::setCurrent(startDir_); }

    void prepare(TestProgram& p) {
        p.fakes.drives->placeList = {
            {a_, "a", DriveType::Fixed, "DATA"},
            {drives_.path() + "/nowhere", "x", DriveType::Unknown, {}},
            {b_, "b", DriveType::RamDisk, {}},
            {drives_.path() + "/cd", "cd", DriveType::CdRom, {}},
            {drives_.path() + "/net", "net", DriveType::Remote, {}},
            {drives_.path() + "/usb", "usb", DriveType::Removable, {}},
        };
    }

    void tabsAndStart() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        // The unknown place gets no tab; the others keep their order.
        QCOMPARE(f->DriveTabSet->count(), 5);
        QCOMPARE(f->DriveTabSet->tabText(0), QStringLiteral("a"));
        QCOMPARE(f->DriveTabSet->tabText(1), QStringLiteral("b"));
        // Glyphs: fixed and RAM disk the hard drive, then CD-ROM, network, removable.
        QCOMPARE(f->driveKinds.mid(0, 5), QList<int>({3, 3, 5, 4, 2}));
        // Started in the root of the drive holding the current folder, and listed it.
        QCOMPARE(f->DriveTabSet->currentIndex(), 0);
        QCOMPARE(QDir::currentPath(), a_);
        QTreeWidgetItem* root = f->TreeView->topLevelItem(0);
        QCOMPARE(root->text(0), a_ + "  (DATA)");
        QCOMPARE(f->TreeView->currentItem(), root);
        QCOMPARE(f->NodePath(root), a_);
        QCOMPARE(f->ListView->count(), 1);
        QCOMPARE(f->ListView->caption(0), QStringLiteral("top.bmp"));
        QCOMPARE(p.caption(), "Kordel [" + a_ + "/top.bmp]");
        QVERIFY(root->isExpanded());
        QCOMPARE(f->startingUp, 0);
    }

    void folderImagesAndOrder() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        QTreeWidgetItem* root = f->TreeView->topLevelItem(0);
        QCOMPARE(childTexts(root),
                 QStringList({"Empty", "Photos.lzh", "Pics", "RECYCLED", "Recycled2"}));
        QVERIFY(sameImage(child(root, "RECYCLED")->icon(0), f->ImageList[6]));
        QVERIFY(sameImage(child(root, "RECYCLED")->icon(0), f->ImageList[6], QIcon::Selected));
        QVERIFY(sameImage(child(root, "Recycled2")->icon(0), f->ImageList[0]));
        QVERIFY(sameImage(child(root, "Recycled2")->icon(0), f->ImageList[1], QIcon::Selected));
        QVERIFY(sameImage(root->icon(0), f->ImageList[3]));
        // One level more than is expanded: Pics already shows Sub, Sub nothing yet.
        QTreeWidgetItem* pics = child(root, "Pics");
        QCOMPARE(childTexts(pics), QStringList{"Sub"});
        QCOMPARE(child(root, "Empty")->childCount(), 0);
        QCOMPARE(pics->child(0)->childCount(), 0);
    }

    void folderNamedLikeAnArchiveIsAFolder() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        QTreeWidgetItem* node = child(f->TreeView->topLevelItem(0), "Photos.lzh");
        QVERIFY(!TForm1::isArchiveNode(node));
        f->TreeView->setCurrentItem(node);
        QCOMPARE(f->NodePath(node), a_ + "/Photos.lzh");
        QCOMPARE(QDir::currentPath(), a_ + "/Photos.lzh");
        QVERIFY(!f->isArchiveSelected());
        QCOMPARE(f->ListView->count(), 1);
        QCOMPARE(f->ListView->caption(0), QStringLiteral("inside.bmp"));
    }

    void selectingAFolderListsIt() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        QTreeWidgetItem* pics = child(f->TreeView->topLevelItem(0), "Pics");
        f->sortDirection = 2;
        f->TreeView->setCurrentItem(pics);
        QCOMPARE(QDir::currentPath(), a_ + "/Pics");
        QCOMPARE(f->NodePath(pics), a_ + "/Pics");
        QCOMPARE(f->lastIndex, 1);
        QCOMPARE(f->ListView->count(), 2);
        QCOMPARE(f->sortDirection, 0);
        QCOMPARE(p.caption(), "Kordel [" + a_ + "/Pics/p1.bmp]");
        // An empty folder: nothing listed, navigation off.
        f->TreeView->setCurrentItem(child(f->TreeView->topLevelItem(0), "Empty"));
        QCOMPARE(f->ListView->count(), 0);
        QCOMPARE(p.status(3), QStringLiteral("画像ﾃﾞｰﾀが見つかりません"));
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QVERIFY(!f->G_step->isEnabled());
    }

    void expandingFillsOneLevelAndOnlyOnce() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        QTreeWidgetItem* pics = child(f->TreeView->topLevelItem(0), "Pics");
        makeFolder(a_ + "/Pics/Sub/deeper");
        pics->setExpanded(true);
        QTreeWidgetItem* sub = pics->child(0);
        QCOMPARE(childTexts(sub), QStringList{"deeper"});
        // Sub's child has no children: no expand mark.
        QCOMPARE(sub->child(0)->childCount(), 0);
        // A folder made after its parent was filled appears only with a rebuilt tree.
        makeFolder(a_ + "/Pics/Sub/later");
        pics->setExpanded(false);
        pics->setExpanded(true);
        QCOMPARE(childTexts(sub), QStringList{"deeper"});
    }

    void linkBackIntoItsOwnFolderIsNotFollowed() {
        QVERIFY(QFile::link(a_ + "/Pics", a_ + "/Pics/Sub/loop"));
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        QTreeWidgetItem* pics = child(f->TreeView->topLevelItem(0), "Pics");
        pics->setExpanded(true);
        QTreeWidgetItem* sub = child(pics, "Sub");
        sub->setExpanded(true);
        QTreeWidgetItem* loop = child(sub, "loop");
        QVERIFY(loop);
        QCOMPARE(loop->childCount(), 0);
        loop->setExpanded(true);
        QCOMPARE(loop->childCount(), 0);
    }

    void driveTabsSwitchTheTree() {
        TestProgram p;
        prepare(p);
        p.fakes.drives->notReady = {drives_.path() + "/cd"};
        p.start();
        TForm1* f = p.form1();
        f->DriveTabSet->setCurrentIndex(1);
        QCOMPARE(f->currentDriveTab, 1);
        QCOMPARE(f->TreeView->topLevelItem(0)->text(0), b_);
        QCOMPARE(QDir::currentPath(), b_);
        QCOMPARE(f->ListView->caption(0), QStringLiteral("b.bmp"));
        QVERIFY(sameImage(f->TreeView->topLevelItem(0)->icon(0), f->ImageList[3]));
        // A drive that is not ready: a warning, and the previous tab comes back.
        f->DriveTabSet->setCurrentIndex(2);
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].text,
                 QStringLiteral("指定のドライブは使用できません"));
        QCOMPARE(f->DriveTabSet->currentIndex(), 1);
        QCOMPARE(f->currentDriveTab, 1);
        QCOMPARE(f->TreeView->topLevelItem(0)->text(0), b_);
    }

    void vanishedFolderReportsAndKeepsTheTable() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        QTreeWidgetItem* root = f->TreeView->topLevelItem(0);
        QVERIFY(QDir(a_ + "/Empty").removeRecursively());
        const QString before = f->fileNames[0];
        f->TreeView->setCurrentItem(child(root, "Empty"));
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QVERIFY(p.fakes.dialogs->messages[0].text.startsWith(QStringLiteral("I/O ｴﾗｰ (")));
        QCOMPARE(f->fileNames[0], before);
        QCOMPARE(f->foundAny, 1);
        QCOMPARE(QDir::currentPath(), a_);
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
    }

    void busyRefusesEveryChange() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        QTreeWidgetItem* root = f->TreeView->topLevelItem(0);
        f->busy = 1;
        f->TreeView->setCurrentItem(child(root, "Pics"));
        QCOMPARE(f->TreeView->currentItem(), root);
        QCOMPARE(QDir::currentPath(), a_);
        f->busy = 0;
        f->TreeView->setCurrentItem(child(root, "Pics"));
        QCOMPARE(QDir::currentPath(), a_ + "/Pics");
    }

    void pathArgumentOpensThroughTheTree() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        f->openPath(a_ + "/Pics/p2.bmp");
        QCOMPARE(f->TreeView->currentItem()->text(0), QStringLiteral("Pics"));
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(p.caption(), "Kordel [" + a_ + "/Pics/p2.bmp]");
        QCOMPARE(p.status(2), QStringLiteral("2/2"));
        f->openPath(b_ + "/other");
        QCOMPARE(f->DriveTabSet->currentIndex(), 1);
        QCOMPARE(f->TreeView->currentItem()->text(0), QStringLiteral("other"));
        QCOMPARE(QDir::currentPath(), b_ + "/other");
    }
};

QTEST_MAIN(TestDriveTree)
#include "test_drive_tree.moc"
