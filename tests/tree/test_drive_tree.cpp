// Drive tabs and the folder tree, on folders of a scratch folder standing in for drives.
#include <QDir>
#include <QTest>
#include <QTreeWidget>

#include "drive_tab_set.h"
#include "list_view.h"
#include "main.h"
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

// Drive "a" holds pictures and folders, "b" one picture; the program starts in a/Pics.
class TwoDrives : public Browsing {
public:
    explicit TwoDrives(const QStringList& notReady = {})
        : Browsing(pictures({"a/Pics/Sub/", "a/Empty/", "a/RECYCLED/", "a/Recycled2/inner/",
                             "a/top.bmp", "a/Pics/p1.bmp", "a/Pics/p2.bmp",
                             "a/Photos.lzh/inside.bmp", "b/other/", "b/b.bmp"}),
                   QString(),
                   NotStarted),
          a(file("a")),
          b(file("b")) {
        fakes.drives->placeList = {{a, "a", DriveType::Fixed, "DATA"},
                                   {file("x"), "x", DriveType::Unknown, {}},
                                   {b, "b", DriveType::RamDisk, {}},
                                   {file("cd"), "cd", DriveType::CdRom, {}},
                                   {file("net"), "net", DriveType::Remote, {}},
                                   {file("usb"), "usb", DriveType::Removable, {}}};
        for (const QString& name : notReady)
            fakes.drives->notReady << file(name);
        QDir::setCurrent(a + "/Pics");
        start();
        root = f->TreeView->topLevelItem(0);
    }
    const QString a, b;
    QTreeWidgetItem* root = nullptr;
};

}  // namespace

class TestDriveTree : public QObject {
    Q_OBJECT

private slots:
    void tabsAndStart() {
        TwoDrives p;
        // The unknown place gets no tab; the others keep their order.
        QStringList tabs;
        for (int i = 0; i < p.f->DriveTabSet->count(); ++i)
            tabs << p.f->DriveTabSet->tabText(i);
        QCOMPARE(tabs, QStringList({"a", "b", "cd", "net", "usb"}));
        // Glyphs: fixed and RAM disk the hard drive, then CD-ROM, network, removable.
        QCOMPARE(p.f->driveKinds.mid(0, 5), QList<int>({3, 3, 5, 4, 2}));
        // Started in the root of the drive holding the current folder, and listed it.
        QCOMPARE(QDir::currentPath(), p.a);
        QCOMPARE(p.root->text(0), p.a + "  (DATA)");
        QVERIFY(p.root->isExpanded() && p.root->isSelected());
        QCOMPARE(childTexts(p.root),
                 QStringList({"Empty", "Photos.lzh", "Pics", "RECYCLED", "Recycled2"}));
        QCOMPARE(p.rows(), QStringList{"top.bmp"});
        QCOMPARE(p.caption(), "Kordel [" + p.a + "/top.bmp]");
    }

    void selectingAFolderListsIt() {
        TwoDrives p;
        p.f->TreeView->setFocus();
        p.f->TreeView->setCurrentItem(child(p.root, "Pics"));
        QVERIFY(p.f->TreeView->hasFocus());  // the keys go on to the tree, not the list
        QCOMPARE(QDir::currentPath(), p.a + "/Pics");
        QCOMPARE(p.rows(), QStringList({"p1.bmp", "p2.bmp"}));
        QCOMPARE(p.caption(), "Kordel [" + p.a + "/Pics/p1.bmp]");
        // A folder named like an archive is a folder.
        p.f->TreeView->setCurrentItem(child(p.root, "Photos.lzh"));
        QCOMPARE(p.rows(), QStringList{"inside.bmp"});
        p.f->TreeView->setCurrentItem(child(p.root, "Empty"));
        QCOMPARE(p.rows(), QStringList());
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
    }

    // One level more than is expanded is filled, once; a link back into its own
    // folder is not followed.
    void expandingFillsOneLevelAndOnlyOnce() {
        TwoDrives p;
        QTreeWidgetItem* pics = child(p.root, "Pics");
        // '*' would expand the whole drive at once: it is not taken.
        QTest::keyClick(p.f->TreeView, Qt::Key_Asterisk);
        QVERIFY(!pics->isExpanded());
        QCOMPARE(childTexts(pics), QStringList{"Sub"});
        QCOMPARE(pics->child(0)->childCount(), 0);
        QVERIFY(p.write("a/Pics/Sub/deeper/"));
        QVERIFY(QFile::link(p.a + "/Pics", p.a + "/Pics/Sub/loop"));
        pics->setExpanded(true);
        QTreeWidgetItem* sub = pics->child(0);
        QCOMPARE(childTexts(sub), QStringList({"deeper", "loop"}));
        sub->setExpanded(true);
        child(sub, "loop")->setExpanded(true);
        QCOMPARE(child(sub, "loop")->childCount(), 0);
        // A folder made after its parent was filled appears only with a rebuilt tree.
        QVERIFY(p.write("a/Pics/Sub/later/"));
        pics->setExpanded(false);
        pics->setExpanded(true);
        QCOMPARE(childTexts(sub), QStringList({"deeper", "loop"}));
    }

    void driveTabsSwitchTheTree() {
        TwoDrives p({"cd"});
        p.f->DriveTabSet->setCurrentIndex(1);
        QCOMPARE(p.f->TreeView->topLevelItem(0)->text(0), p.b);
        QCOMPARE(QDir::currentPath(), p.b);
        QCOMPARE(p.rows(), QStringList{"b.bmp"});
        // A drive that is not ready: a warning, and the previous tab comes back.
        p.f->DriveTabSet->setCurrentIndex(2);
        QCOMPARE(p.messages(), QStringList{"指定のドライブは使用できません"});
        QCOMPARE(p.f->DriveTabSet->currentIndex(), 1);
        QCOMPARE(p.f->TreeView->topLevelItem(0)->text(0), p.b);
    }

    // Volumes mounted or unmounted while the program runs: the tabs follow and the
    // one on show stays current, even when it went away, until another is chosen.
    void tabsFollowMounts() {
        TwoDrives p;
        FakeDrives& drives = *p.fakes.drives;
        const auto tabs = [&p] {
            QStringList texts;
            for (int i = 0; i < p.f->DriveTabSet->count(); ++i)
                texts << p.f->DriveTabSet->tabText(i);
            return texts.join(u' ') + u'|' + QString::number(p.f->DriveTabSet->currentIndex());
        };
        QVERIFY(p.write("stick/DCIM/"));
        drives.placeList.insert(1, {p.file("stick"), "stick", DriveType::Removable, "CAMERA"});
        drives.changed();
        QCOMPARE(tabs(), "a stick b cd net usb|0");
        QCOMPARE(p.f->driveKinds.mid(0, 3), QList<int>({3, 2, 3}));
        p.f->DriveTabSet->setCurrentIndex(1);
        QCOMPARE(p.f->TreeView->topLevelItem(0)->text(0), p.file("stick") + "  (CAMERA)");
        drives.placeList.removeAt(1);
        drives.placeList.removeAt(0);
        drives.changed();
        QCOMPARE(tabs(), "b stick cd net usb|1");
        QCOMPARE(p.f->TreeView->topLevelItem(0)->text(0), p.file("stick") + "  (CAMERA)");
        p.f->DriveTabSet->setCurrentIndex(0);
        drives.changed();
        QCOMPARE(tabs(), "b cd net usb|0");
        QCOMPARE(p.rows(), QStringList{"b.bmp"});
    }

    void vanishedFolderReportsAndKeepsTheTable() {
        TwoDrives p;
        QVERIFY(QDir(p.a + "/Empty").removeRecursively());
        p.f->TreeView->setCurrentItem(child(p.root, "Empty"));
        QCOMPARE(p.messages(), QStringList{"I/O ｴﾗｰ (2)"});
        QCOMPARE(p.table(), QStringList{"top.bmp"});
        QCOMPARE(QDir::currentPath(), p.a);
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
    }
};

QTEST_MAIN(TestDriveTree)
#include "test_drive_tree.moc"
