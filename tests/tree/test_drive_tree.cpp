// Drive tabs and the folder tree, on folders of a scratch folder standing in for drives.
#include <QDir>
#include <QTest>
#include <QTreeWidget>

#include "drive_tab_set.h"
#include "list_view.h"
#include "main.h"
#include "speed_button.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

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

// Drive "a" holds pictures and folders, "b" one picture; the program starts in a/Pics.
class TwoDrives : public Browsing {
public:
    explicit TwoDrives(const QStringList& notReady = {})
        : Browsing({{"a/Pics/Sub/", {}},
                    {"a/Empty/", {}},
                    {"a/RECYCLED/", {}},
                    {"a/Recycled2/inner/", {}},
                    {"a/top.bmp", bmp(8, 6)},
                    {"a/Pics/p1.bmp", bmp(8, 6)},
                    {"a/Pics/p2.bmp", bmp(8, 6)},
                    {"a/Photos.lzh/inside.bmp", bmp(8, 6)},
                    {"b/other/", {}},
                    {"b/b.bmp", bmp(8, 6)}},
                   QString(),
                   NotStarted),
          a(file("a")),
          b(file("b")) {
        fakes.drives->placeList = {
            {a, "a", DriveType::Fixed, "DATA"},
            {file("nowhere"), "x", DriveType::Unknown, {}},
            {b, "b", DriveType::RamDisk, {}},
            {file("cd"), "cd", DriveType::CdRom, {}},
            {file("net"), "net", DriveType::Remote, {}},
            {file("usb"), "usb", DriveType::Removable, {}},
        };
        for (const QString& name : notReady)
            fakes.drives->notReady << file(name);
        QDir::setCurrent(a + "/Pics");
        start();
        f = form1();
        root = f->TreeView->topLevelItem(0);
    }
    const QString a, b;
    TForm1* f = nullptr;
    QTreeWidgetItem* root = nullptr;
};

}  // namespace

class TestDriveTree : public QObject {
    Q_OBJECT

private slots:
    void tabsAndStart() {
        TwoDrives p;
        TForm1* f = p.f;
        // The unknown place gets no tab; the others keep their order.
        QStringList tabs;
        for (int i = 0; i < f->DriveTabSet->count(); ++i)
            tabs << f->DriveTabSet->tabText(i);
        QCOMPARE(tabs, QStringList({"a", "b", "cd", "net", "usb"}));
        // Glyphs: fixed and RAM disk the hard drive, then CD-ROM, network, removable.
        QCOMPARE(f->driveKinds.mid(0, 5), QList<int>({3, 3, 5, 4, 2}));
        // Started in the root of the drive holding the current folder, and listed it.
        QCOMPARE(f->DriveTabSet->currentIndex(), 0);
        QCOMPARE(QDir::currentPath(), p.a);
        QCOMPARE(p.root->text(0), p.a + "  (DATA)");
        QCOMPARE(f->TreeView->currentItem(), p.root);
        QVERIFY(p.root->isExpanded());
        QCOMPARE(p.rows(), QStringList{"top.bmp"});
        QCOMPARE(p.caption(), "Kordel [" + p.a + "/top.bmp]");
    }

    void folderImagesAndOrder() {
        TwoDrives p;
        const QList<QPixmap>& images = p.f->ImageList;
        QCOMPARE(childTexts(p.root),
                 QStringList({"Empty", "Photos.lzh", "Pics", "RECYCLED", "Recycled2"}));
        QVERIFY(sameImage(p.root->icon(0), images[3]));
        QTreeWidgetItem* bin = child(p.root, "RECYCLED");
        QVERIFY(sameImage(bin->icon(0), images[6]));
        QVERIFY(sameImage(bin->icon(0), images[6], QIcon::Selected));
        QTreeWidgetItem* folder = child(p.root, "Recycled2");
        QVERIFY(sameImage(folder->icon(0), images[0]));
        QVERIFY(sameImage(folder->icon(0), images[1], QIcon::Selected));
        // One level more than is expanded: Pics already shows Sub, Sub nothing yet.
        QTreeWidgetItem* pics = child(p.root, "Pics");
        QCOMPARE(childTexts(pics), QStringList{"Sub"});
        QCOMPARE(pics->child(0)->childCount(), 0);
        QCOMPARE(child(p.root, "Empty")->childCount(), 0);
    }

    void selectingAFolderListsIt() {
        TwoDrives p;
        p.f->TreeView->setCurrentItem(child(p.root, "Pics"));
        QCOMPARE(QDir::currentPath(), p.a + "/Pics");
        QCOMPARE(p.rows(), QStringList({"p1.bmp", "p2.bmp"}));
        QCOMPARE(p.caption(), "Kordel [" + p.a + "/Pics/p1.bmp]");
        // A folder named like an archive is a folder.
        p.f->TreeView->setCurrentItem(child(p.root, "Photos.lzh"));
        QCOMPARE(QDir::currentPath(), p.a + "/Photos.lzh");
        QCOMPARE(p.rows(), QStringList{"inside.bmp"});
        // An empty folder: nothing listed, navigation off.
        p.f->TreeView->setCurrentItem(child(p.root, "Empty"));
        QCOMPARE(p.rows(), QStringList());
        QCOMPARE(p.status(3), QStringLiteral("画像ﾃﾞｰﾀが見つかりません"));
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
    }

    void expandingFillsOneLevelAndOnlyOnce() {
        TwoDrives p;
        QTreeWidgetItem* pics = child(p.root, "Pics");
        QVERIFY(p.write("a/Pics/Sub/deeper/"));
        pics->setExpanded(true);
        QTreeWidgetItem* sub = pics->child(0);
        QCOMPARE(childTexts(sub), QStringList{"deeper"});
        QCOMPARE(sub->child(0)->childCount(), 0);
        // A folder made after its parent was filled appears only with a rebuilt tree.
        QVERIFY(p.write("a/Pics/Sub/later/"));
        pics->setExpanded(false);
        pics->setExpanded(true);
        QCOMPARE(childTexts(sub), QStringList{"deeper"});
    }

    void linkBackIntoItsOwnFolderIsNotFollowed() {
        TwoDrives p;
        QVERIFY(QFile::link(p.a + "/Pics", p.a + "/Pics/Sub/loop"));
        QTreeWidgetItem* pics = child(p.root, "Pics");
        pics->setExpanded(true);
        QTreeWidgetItem* sub = child(pics, "Sub");
        sub->setExpanded(true);
        QTreeWidgetItem* loop = child(sub, "loop");
        QVERIFY(loop);
        loop->setExpanded(true);
        QCOMPARE(loop->childCount(), 0);
    }

    void driveTabsSwitchTheTree() {
        TwoDrives p({"cd"});
        TForm1* f = p.f;
        f->DriveTabSet->setCurrentIndex(1);
        QCOMPARE(f->TreeView->topLevelItem(0)->text(0), p.b);
        QCOMPARE(QDir::currentPath(), p.b);
        QCOMPARE(p.rows(), QStringList{"b.bmp"});
        QVERIFY(sameImage(f->TreeView->topLevelItem(0)->icon(0), f->ImageList[3]));
        // A drive that is not ready: a warning, and the previous tab comes back.
        f->DriveTabSet->setCurrentIndex(2);
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].text,
                 QStringLiteral("指定のドライブは使用できません"));
        QCOMPARE(f->DriveTabSet->currentIndex(), 1);
        QCOMPARE(f->TreeView->topLevelItem(0)->text(0), p.b);
    }

    void vanishedFolderReportsAndKeepsTheTable() {
        TwoDrives p;
        QVERIFY(QDir(p.a + "/Empty").removeRecursively());
        p.f->TreeView->setCurrentItem(child(p.root, "Empty"));
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QVERIFY(p.fakes.dialogs->messages[0].text.startsWith(QStringLiteral("I/O ｴﾗｰ (")));
        QCOMPARE(p.table(), QStringList{"top.bmp"});
        QCOMPARE(QDir::currentPath(), p.a);
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
    }

    void busyRefusesEveryChange() {
        TwoDrives p;
        p.f->busy = 1;
        p.f->TreeView->setCurrentItem(child(p.root, "Pics"));
        QCOMPARE(p.f->TreeView->currentItem(), p.root);
        QCOMPARE(QDir::currentPath(), p.a);
        p.f->busy = 0;
        p.f->TreeView->setCurrentItem(child(p.root, "Pics"));
        QCOMPARE(QDir::currentPath(), p.a + "/Pics");
    }

    void pathArgumentOpensThroughTheTree() {
        TwoDrives p;
        p.f->openPath(p.a + "/Pics/p2.bmp");
        QCOMPARE(p.f->TreeView->currentItem()->text(0), QStringLiteral("Pics"));
        QCOMPARE(p.caption(), "Kordel [" + p.a + "/Pics/p2.bmp]");
        QCOMPARE(p.status(2), QStringLiteral("2/2"));
        p.f->openPath(p.b + "/other");
        QCOMPARE(p.f->DriveTabSet->currentIndex(), 1);
        QCOMPARE(p.f->TreeView->currentItem()->text(0), QStringLiteral("other"));
        QCOMPARE(QDir::currentPath(), p.b + "/other");
    }
};

QTEST_MAIN(TestDriveTree)
#include "test_drive_tree.moc"
