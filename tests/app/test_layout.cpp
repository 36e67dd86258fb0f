// The four layout toggles, the splitters, help, and closing the main window.
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "catalogue_window.h"
#include "list_view.h"
#include "main.h"
#include "option_set.h"
#include "panel.h"
#include "speed_button.h"
#include "split_pnl.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void toolBarOffAndOnKeepsTheStackingOrder() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        p.trigger("N9");
        QVERIFY(!f->N9->isChecked());
        QVERIFY(f->Panel1->isHidden());
        QCOMPARE(f->DrivePanel->y(), 0);
        // With the drive tabs hidden as well, bringing the tool bar back must
        // still put it above the tabs once they return.
        p.trigger("N7");
        p.trigger("N9");
        p.trigger("N7");
        QVERIFY(f->N9->isChecked() && f->N7->isChecked());
        QCOMPARE(f->Panel1->y(), 0);
        QCOMPARE(f->DrivePanel->y(), 31);
        QCOMPARE(f->Panel2->y(), 55);
        QCOMPARE(f->TreeViewPanel->y(), 57);
    }

    void treeToggle() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        p.trigger("N8");
        QVERIFY(f->TreeViewPanel->isHidden() && f->Splitter->isHidden());
        QCOMPARE(f->Panel5->x(), 0);
        p.trigger("N8");
        QVERIFY(f->N8->isChecked());
        QCOMPARE(f->Splitter->x(), 125);
        QCOMPARE(f->Panel5->x(), 128);
    }

    void listToggleChangesTheWindowHeightByDifferentAmounts() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        const int height = f->height();
        const int viewerHeight = f->ViewPanel->height();
        const int listHeight = f->Panel6->height();
        QVERIFY(listHeight > 0);
        f->ListView->addItem("a.bmp", QIcon(), {"1KB", "", "BMP ﾌｧｲﾙ"});

        p.trigger("NA");
        QVERIFY(!f->NA->isChecked());
        QCOMPARE(f->height(), height - listHeight);
        QCOMPARE(f->ViewPanel->geometry(), f->Panel5->rect());
        QCOMPARE(f->ViewPanel->height(), viewerHeight + 2);
        QCOMPARE(f->ListView->count(), 0);

        // Back again: the list gets its height back and the viewer keeps the bar's 2 pixels.
        p.trigger("NA");
        QVERIFY(f->NA->isChecked());
        QCOMPARE(f->height(), height + 2);
        QCOMPARE(f->Panel6->height(), listHeight);
        QCOMPARE(f->ViewPanel->height(), viewerHeight + 2);
        QCOMPARE(f->SplitPanel->y(), viewerHeight + 2);
    }

    void splitterDragWidensTheTree() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        QWidget* bar = f->Splitter;
        // Press and release without moving changes nothing.
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(0, 10));
        QCOMPARE(f->TreeViewPanel->width(), 125);
        // A drag of 40 pixels to the right.
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
        QTest::mouseMove(bar, QPoint(40, 10));
        QCOMPARE(f->TreeViewPanel->width(), 125);  // applied only on release
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(40, 10));
        QCOMPARE(f->TreeViewPanel->width(), 165);
        QCOMPARE(f->Splitter->x(), 165);
        QCOMPARE(f->Panel5->x(), 168);
        // The right button and a Shift press do nothing.
        QTest::mousePress(bar, Qt::RightButton, {}, QPoint(1, 10));
        QTest::mouseMove(bar, QPoint(31, 10));
        QTest::mouseRelease(bar, Qt::RightButton, {}, QPoint(31, 10));
        QTest::mousePress(bar, Qt::LeftButton, Qt::ShiftModifier, QPoint(1, 10));
        QTest::mouseMove(bar, QPoint(31, 10));
        QTest::mouseRelease(bar, Qt::LeftButton, Qt::ShiftModifier, QPoint(31, 10));
        QCOMPARE(f->TreeViewPanel->width(), 165);
    }

    void splitPanelDragSizesTheViewer() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        const int before = f->ViewPanel->height();
        QTest::mousePress(f->SplitPanel, Qt::LeftButton, {}, QPoint(10, 0));
        QTest::mouseMove(f->SplitPanel, QPoint(10, 30));
        QTest::mouseRelease(f->SplitPanel, Qt::LeftButton, {}, QPoint(10, 30));
        QCOMPARE(f->ViewPanel->height(), before + 30);
        QCOMPARE(f->SplitPanel->y(), f->ViewPanel->height());
    }

    void helpOpensTheContents() {
        TestProgram p;
        p.start();
        p.trigger("Contents1");
        QCOMPARE(p.fakes.help->opened, QStringList{p.folder() + "help/index.html"});
    }

    void closeWritesEveryKeyInOrder() {
        TestProgram p;
        p.writeIni("[Option]\nTimer=0x1E\nJpegOpt=2\nActOpt=0\n");
        p.start();
        TForm1* f = p.form1();
        f->move(12, 34);
        f->resize(500, 420);
        p.trigger("N7");
        f->close();
        QVERIFY(p.fakes.dialogs->messages.isEmpty());
        const QString ini = p.readIni();
        // Existing keys stay where they were; the others follow in their order.
        QVERIFY2(ini.startsWith("[Option]\nTimer=30\nJpegOpt=1\nActOpt=0\nDisp=3\nSortOpt=0\n"
                                "LzhIcon=8\nHyouji=3\nSelIndex=0\n"),
                 qPrintable(ini));
        QVERIFY(ini.contains("[FormSize]\nTop=34\nLeft=12\nWidth=500\nHeight=420\n"));
        QVERIFY(ini.contains("[DirSize]\nWidth=125\nHeight="));
        QVERIFY(
            ini.contains("\nVP_Height=173\nViewStyle=3\nSub1_W=60\nSub2_W=38\nSub3_W=50\n"
                         "Sub4_W=50\n"));
        QVERIFY(ini.contains("[Object]\nToolBar=1\nDriveTab=0\nDirTree=1\nListView=1\n"));
        QVERIFY(ini.contains("[SubFormSize]\nTop=0\nLeft=0\nWidth=460\nHeight=366\n"));
        QVERIFY(ini.endsWith("[PicSize]\nX=128\nY=96\n"));
    }

    void runWithoutChangesKeepsTheFile() {
        const QString full =
            "[FormSize]\nTop=20\nLeft=30\nWidth=520\nHeight=400\n\n"
            "[DirSize]\nWidth=140\nHeight=%1\nVP_Height=150\nViewStyle=3\nSub1_W=70\n"
            "Sub2_W=40\nSub3_W=55\nSub4_W=45\n\n"
            "[Option]\nDisp=1\nJpegOpt=1\nSortOpt=1\nActOpt=1\nTimer=12\nLzhIcon=10\n"
            "Hyouji=1\nSelIndex=3\n\n"
            "[Object]\nToolBar=1\nDriveTab=1\nDirTree=1\nListView=1\n\n"
            "[SubFormSize]\nTop=5\nLeft=6\nWidth=470\nHeight=380\n\n[PicSize]\nX=64\nY=48\n";
        // The tree panel's height follows the window; learn it from a first run.
        TestProgram first;
        first.writeIni(QString(full).arg(0));
        first.start();
        const int treeHeight = first.form1()->TreeViewPanel->height();
        first.form1()->close();

        TestProgram p;
        p.writeIni(QString(full).arg(treeHeight));
        p.start();
        p.form1()->close();
        QCOMPARE(p.readIni(), QString(full).arg(treeHeight));
    }

    void unwritableFileReportsAndStillCloses() {
        TestProgram p;
        QVERIFY(QDir().mkdir(p.iniPath()));  // a folder where the file should be
        p.start();
        TForm1* f = p.form1();
        QSignalSpy closed(f, &TForm1::closed);
        QVERIFY(f->close());
        QCOMPARE(closed.count(), 1);
        QVERIFY(!f->isVisible());
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].text, p.iniPath() + " に書き込めません");
    }

    void closeStopsASlideshowAndWaitsForTheLoader() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        f->loaderRunning = 1;
        f->Timer->start(1000);
        // The loader finishes a little later, on the user-interface thread.
        QTimer::singleShot(50, f, [f] { f->loaderRunning = 0; });
        f->close();
        QCOMPARE(f->stopRequest, 1);
        QVERIFY(!f->Timer->isActive());
        QCOMPARE(p.form2()->stopFill, 1);
        QCOMPARE(f->loaderRunning, 0);
        QVERIFY(p.readIni().contains("[PicSize]"));
    }

    void exitButtonAndMenuClose() {
        TestProgram p;
        p.start();
        QSignalSpy closed(p.form1(), &TForm1::closed);
        TestProgram::click(p.form1()->G_exit);
        QCOMPARE(closed.count(), 1);
        TestProgram q;
        q.start();
        QSignalSpy closed2(q.form1(), &TForm1::closed);
        q.trigger("Exit1");
        QCOMPARE(closed2.count(), 1);
        QVERIFY(q.readIni().contains("[FormSize]"));
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
