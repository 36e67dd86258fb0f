// The four layout toggles, the splitters, help, closing the main window, and
// the settings file it writes.
#include <QCheckBox>
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

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

namespace {

void drag(QWidget* bar,
          QPoint from,
          QPoint to,
          Qt::MouseButton button = Qt::LeftButton,
          Qt::KeyboardModifiers keys = {}) {
    QTest::mousePress(bar, button, keys, from);
    QTest::mouseMove(bar, to);
    QTest::mouseRelease(bar, button, keys, to);
}

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void toolBarOffAndOnKeepsTheStackingOrder() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        p.trigger("N9");
        QVERIFY(f->Panel1->isHidden());
        QCOMPARE(f->DrivePanel->y(), 0);
        // With the drive tabs hidden as well, bringing the tool bar back must
        // still put it above the tabs once they return.
        p.trigger("N7");
        p.trigger("N9");
        p.trigger("N7");
        QVERIFY(f->N9->isChecked() && f->N7->isChecked());
        QCOMPARE(
            QList<int>({f->Panel1->y(), f->DrivePanel->y(), f->Panel2->y(), f->TreeViewPanel->y()}),
            QList<int>({0, 31, 55, 57}));
    }

    void treeToggle() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        p.trigger("N8");
        QVERIFY(f->TreeViewPanel->isHidden() && f->Splitter->isHidden());
        QCOMPARE(f->Panel5->x(), 0);
        p.trigger("N8");
        QCOMPARE(f->Splitter->x(), 125);
        QCOMPARE(f->Panel5->x(), 128);
    }

    void listToggleChangesTheWindowHeightByDifferentAmounts() {
        Browsing p({{"a.bmp", bmp(2, 2)}});
        TForm1* f = p.form1();
        const int height = f->height();
        const int viewerHeight = f->ViewPanel->height();
        const int listHeight = f->Panel6->height();
        QVERIFY(listHeight > 0);

        p.trigger("NA");
        QCOMPARE(f->height(), height - listHeight);
        QCOMPARE(f->ViewPanel->geometry(), f->Panel5->rect());
        QCOMPARE(f->ViewPanel->height(), viewerHeight + 2);
        QCOMPARE(f->ListView->count(), 0);

        // Back again: the list gets its height back and the viewer keeps the bar's 2 pixels.
        p.trigger("NA");
        QCOMPARE(f->height(), height + 2);
        QCOMPARE(f->Panel6->height(), listHeight);
        QCOMPARE(f->ViewPanel->height(), viewerHeight + 2);
        QCOMPARE(f->SplitPanel->y(), viewerHeight + 2);
    }

    void splittersSizeTheirAreasOnRelease() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        QWidget* bar = f->Splitter;
        drag(bar, QPoint(0, 10), QPoint(0, 10));
        QCOMPARE(f->TreeViewPanel->width(), 125);
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
        QTest::mouseMove(bar, QPoint(40, 10));
        QCOMPARE(f->TreeViewPanel->width(), 125);  // applied only on release
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(40, 10));
        QCOMPARE(QList<int>({f->TreeViewPanel->width(), f->Splitter->x(), f->Panel5->x()}),
                 QList<int>({165, 165, 168}));
        // The right button and a Shift press do nothing.
        drag(bar, QPoint(1, 10), QPoint(31, 10), Qt::RightButton);
        drag(bar, QPoint(1, 10), QPoint(31, 10), Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(f->TreeViewPanel->width(), 165);

        const int before = f->ViewPanel->height();
        drag(f->SplitPanel, QPoint(10, 0), QPoint(10, 30));
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

    // Each key falls back on its own; numbers may be hexadecimal, sections and keys
    // are found whatever their case.
    void badValuesFallBackPerKey() {
        TestProgram p;
        p.writeIni(
            "[Option]\nTimer=abc\nLzhIcon=\nHyouji=0x2\nJpegOpt=2\nSortOpt=x\n"
            "[object]\nlistview=0\n[PicSize]\nX=$40\n");
        p.start();
        TForm1* f = p.form1();
        QVERIFY(f->O_stretch->isDown());
        QVERIFY(p.options()->JPEG_BOX->isChecked() && !p.options()->SortBox->isChecked());
        QVERIFY(f->Panel6->isHidden());
        f->close();
        const QString ini = p.readIni();
        QVERIFY2(ini.startsWith("[Option]\nTimer=0\nLzhIcon=8\nHyouji=2\nJpegOpt=1\nSortOpt=0\n"),
                 qPrintable(ini));
        QVERIFY2(ini.contains("[object]\nListView=0\n"), qPrintable(ini));
        QVERIFY(ini.contains("[PicSize]\nX=64\n"));
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
        QSignalSpy closed(p.form1(), &TForm1::closed);
        QVERIFY(p.form1()->close());
        QCOMPARE(closed.count(), 1);
        QVERIFY(!p.form1()->isVisible());
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].text, p.iniPath() + " に書き込めません");
    }

    void closeWaitsForTheLoader() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        f->loaderRunning = 1;
        // The loader finishes a little later, on the user-interface thread.
        QTimer::singleShot(50, f, [f] { f->loaderRunning = 0; });
        f->close();
        QCOMPARE(f->loaderRunning, 0);
        QVERIFY(p.readIni().contains("[PicSize]"));
    }

    void exitButtonAndMenuClose_data() {
        QTest::addColumn<bool>("button");
        QTest::newRow("exit button") << true;
        QTest::newRow("File menu") << false;
    }
    void exitButtonAndMenuClose() {
        QFETCH(bool, button);
        TestProgram p;
        p.start();
        QSignalSpy closed(p.form1(), &TForm1::closed);
        if (button)
            TestProgram::click(p.form1()->G_exit);
        else
            p.trigger("Exit1");
        QCOMPARE(closed.count(), 1);
        QVERIFY(p.readIni().contains("[FormSize]"));
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
