// The four layout toggles, the splitters, help, closing the main window, and
// the settings file it writes.
#include <QCheckBox>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include "catalogue_window.h"
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
    void areaTogglesKeepTheStackingOrder() {
        StartedProgram p;
        p.trigger("N9");
        QVERIFY(p.f->Panel1->isHidden());
        QCOMPARE(p.f->DrivePanel->y(), 0);
        // With the drive tabs hidden as well, bringing the tool bar back must
        // still put it above the tabs once they return.
        p.trigger("N7");
        p.trigger("N9");
        p.trigger("N7");
        QVERIFY(p.f->N9->isChecked() && p.f->N7->isChecked());
        QCOMPARE(QList<int>({p.f->Panel1->y(), p.f->DrivePanel->y(), p.f->Panel2->y(),
                             p.f->TreeViewPanel->y()}),
                 QList<int>({0, 31, 55, 57}));
        p.trigger("N8");
        QVERIFY(p.f->TreeViewPanel->isHidden() && p.f->Splitter->isHidden());
        QCOMPARE(p.f->Panel5->x(), 0);
        p.trigger("N8");
        QCOMPARE(QList<int>({p.f->Splitter->x(), p.f->Panel5->x()}), QList<int>({125, 128}));
    }

    void listToggleChangesTheWindowHeightByDifferentAmounts() {
        Browsing p({{"a.bmp", bmp(2, 2)}});
        const int height = p.f->height();
        const int viewerHeight = p.f->ViewPanel->height();
        const int listHeight = p.f->Panel6->height();
        p.trigger("NA");
        QCOMPARE(p.f->height(), height - listHeight);
        QCOMPARE(p.f->ViewPanel->geometry(), p.f->Panel5->rect());
        QCOMPARE(p.rows(), QStringList());
        // Back again: the list gets its height back and the viewer keeps the bar's 2 pixels.
        p.trigger("NA");
        QCOMPARE(QList<int>({p.f->height(), p.f->Panel6->height(), p.f->ViewPanel->height(),
                             p.f->SplitPanel->y()}),
                 QList<int>({height + 2, listHeight, viewerHeight + 2, viewerHeight + 2}));
    }

    void listHiddenAtStartComesBackWithRoom_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<bool>("maximized");
        QTest::newRow("no viewer height") << "[Object]\nListView=0\n" << false;
        // Saved by a run that ended with the list hidden: the viewer filled the area.
        QTest::newRow("viewer filled the area")
            << "[DirSize]\nVP_Height=900\n[Object]\nListView=0\n"
            << false;
        QTest::newRow("maximised") << "[Object]\nListView=0\n" << true;
    }

    void listHiddenAtStartComesBackWithRoom() {
        QFETCH(QString, ini);
        QFETCH(bool, maximized);
        Browsing p({{"a.bmp", bmp(2, 2)}}, ini);
        if (maximized) {
            p.f->showMaximized();
            QTRY_VERIFY(p.f->isMaximized());
        }
        const int height = p.f->height();
        p.trigger("NA");
        QVERIFY(p.f->NA->isChecked());
        QVERIFY2(p.f->Panel6->height() >= 65, qPrintable(QString::number(p.f->Panel6->height())));
        QCOMPARE(p.f->height(), maximized ? height : height + p.f->Panel6->height() + 2);
        QCOMPARE(p.f->Panel6->geometry().bottom(), p.f->Panel5->rect().bottom());
        QCOMPARE(p.rows(), QStringList{"a.bmp"});
    }

    void splittersSizeTheAreas() {
        StartedProgram p;
        drag(p.f->Splitter, QPoint(0, 10), QPoint(40, 10));
        QCOMPARE(QList<int>({p.f->TreeViewPanel->width(), p.f->Splitter->x(), p.f->Panel5->x()}),
                 QList<int>({165, 165, 168}));
        const int before = p.f->ViewPanel->height();
        drag(p.f->SplitPanel, QPoint(10, 0), QPoint(10, 30));
        QCOMPARE(p.f->ViewPanel->height(), before + 30);
        QCOMPARE(p.f->SplitPanel->y(), p.f->ViewPanel->height());
    }

    void closeWritesEveryKeyInOrder() {
        TestProgram p;
        p.writeIni("[Option]\nTimer=0x1E\nJpegOpt=2\nActOpt=0\n");
        p.start();
        p.f->move(12, 34);
        p.f->resize(500, 420);
        p.trigger("N7");
        p.trigger("Exit1");
        QVERIFY(p.messages().isEmpty());
        const QString ini = p.readIni();
        // Existing keys stay where they were; the others follow in their order.
        QVERIFY2(ini.startsWith("[Option]\nTimer=30\nJpegOpt=1\nActOpt=0\nDisp=3\nSortOpt=0\n"
                                "LzhIcon=8\nHyouji=3\nSelIndex=0\n"),
                 qPrintable(ini));
        QVERIFY(ini.contains("[FormSize]\nTop=34\nLeft=12\nWidth=500\nHeight=420\n"));
        QVERIFY(ini.contains("[Object]\nToolBar=1\nDriveTab=0\nDirTree=1\nListView=1\n"));
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
            "[SubFormSize]\nTop=5\nLeft=6\nWidth=%2\nHeight=%3\n\n[PicSize]\nX=64\nY=48\n";
        // The tree panel's height follows the window, and the catalogue snaps to
        // whole cells; learn both from a first run.
        TestProgram first;
        first.writeIni(QString(full).arg(0).arg(470).arg(380));
        first.start();
        const QString kept = QString(full)
                                 .arg(first.f->TreeViewPanel->height())
                                 .arg(first.form2()->width())
                                 .arg(first.form2()->height());
        first.f->close();

        TestProgram p;
        p.writeIni(kept);
        p.start();
        p.f->close();
        QCOMPARE(p.readIni(), kept);
    }

    void layoutFromALargerScreenKeepsTheBarsInReach() {
        TestProgram p;
        p.writeIni("[FormSize]\nWidth=5000\nHeight=2000\n[DirSize]\nWidth=4000\nVP_Height=1700\n");
        p.start();
        QCOMPARE(p.f->Splitter->geometry().right(), p.f->Splitter->parentWidget()->width() - 1);
        // The viewer gives up what the window lost, the list keeps its 300 less the bars.
        QVERIFY2(p.f->Panel6->height() > 150, qPrintable(QString::number(p.f->Panel6->height())));
    }

    void unwritableFileReportsAndStillCloses() {
        TestProgram p;
        QVERIFY(QDir().mkdir(p.iniPath()));  // a folder where the file should be
        p.start();
        QSignalSpy closed(p.f, &TForm1::closed);
        TestProgram::click(p.f->G_exit);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(p.messages(), QStringList{p.iniPath() + " に書き込めません"});
    }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
