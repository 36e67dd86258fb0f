// The slideshow: which entries a show visits and where it pauses, the controls it
// locks while it runs, and what ends it (its button, Esc, the last entry, closing
// the window). A second of the interval is shortened to a few milliseconds.
#include <QAbstractItemModel>
#include <QComboBox>
#include <QMenu>
#include <QMimeData>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <memory>

#include "browse_helpers.h"
#include "catalogue_window.h"
#include "drive_tab_set.h"
#include "list_view.h"
#include "main.h"
#include "option_set.h"
#include "speed_button.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

Browsing::Files fivePictures() {
    Browsing::Files files;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp"})
        files.append({QString::fromLatin1(name), bmp(4, 3)});
    return files;
}

// What one show did: the captions it showed in turn and the pauses it made.
struct Run {
    QStringList shown;
    int pauses = 0;
};

// Starts the show of `button` from entry `from` and records it until it ends.
// `during` runs inside the show's loop, after its first picture.
Run runShow(Browsing& b,
            TSpeedButton* button,
            int from,
            int seconds,
            const std::function<void()>& during = {}) {
    TForm1* f = b.form1();
    f->slideSecondMs = 20;
    b.options()->TBar->setValue(seconds);
    f->currentIndex = from;
    button->setEnabled(true);  // as navigating to `from` leaves it
    Run run;
    const auto titles = QObject::connect(f, &QWidget::windowTitleChanged, [&](const QString& t) {
        if (t.contains(u'/'))  // a rescan's "Kordel" names no picture
            run.shown.append(t.section(u'/', -1).chopped(1));
        if (run.shown.size() == 1 && during)
            QTimer::singleShot(0, during);
    });
    const auto ticks = QObject::connect(f->Timer, &QTimer::timeout, [&] { ++run.pauses; });
    TestProgram::click(button);
    QObject::disconnect(titles);
    QObject::disconnect(ticks);
    return run;
}

}  // namespace

class TestSlideshow : public QObject {
    Q_OBJECT

private slots:
    void visitsTheEntriesAndPausesBetween_data() {
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("pauses");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("buttons");   // G_rev G_play G_top G_back G_step G_end
        QTest::addColumn<QString>("viewMenu");  // KT1 KB1 KS1 KE1
        QTest::newRow("forward from 1, 2 s")
            << true << 1 << 2 << QStringList{"c.bmp", "d.bmp", "e.bmp"} << 2 << 4 << "EDEEDD"
            << "EEDD";
        QTest::newRow("reverse from 3, no wait")
            << false << 3 << 0 << QStringList{"c.bmp", "b.bmp", "a.bmp"} << 0 << 0 << "DEDDEE"
            << "DDEE";
        QTest::newRow("forward at the end") << true << 4 << 1 << QStringList{} << 0 << 4 << "EDEEDD"
                                            << "EEDD";
    }
    void visitsTheEntriesAndPausesBetween() {
        QFETCH(bool, forward);
        QFETCH(int, from);
        QFETCH(int, seconds);
        QFETCH(QStringList, shown);
        QFETCH(int, pauses);
        QFETCH(int, last);
        QFETCH(QString, buttons);
        QFETCH(QString, viewMenu);
        Browsing b(fivePictures());
        TForm1* f = b.form1();
        const Run run = runShow(b, forward ? f->G_play : f->G_rev, from, seconds);
        QCOMPARE(run.shown, shown);
        QCOMPARE(run.pauses, pauses);
        QCOMPARE(f->currentIndex, last);
        QCOMPARE(b.navigation(), buttons);
        QString menu;
        for (const QAction* a : {f->KT1, f->KB1, f->KS1, f->KE1})
            menu += a->isEnabled() ? u'E' : u'D';
        QCOMPARE(menu, viewMenu);
        QVERIFY(!f->G_play->isDown() && !f->G_rev->isDown());
        QCOMPARE(b.status(3), QStringLiteral(" "));
    }

    // While a show runs, what could change the folder or start another show is
    // locked, also after the catalogue has filled a page; the rest stays usable.
    // Clicking the button up ends the show at once.
    void locksWhileRunningAndStopsOnItsButton() {
        Browsing::Files files = fivePictures();
        files.append({QStringLiteral("sub/"), {}});
        Browsing b(files, QStringLiteral("[Option]\nSortOpt=1\n"), Browsing::NotStarted);
        b.fakes.drives->placeList = {{b.path(), "d", DriveType::Fixed, {}}};
        b.start();  // in the folder as the tree's root
        TForm1* f = b.form1();
        QString during;
        const Run run = runShow(b, f->G_play, 0, 60, [&] {
            TestProgram::click(f->B_ichiran);
            for (const QWidget* w : std::initializer_list<const QWidget*>{
                     f->G_rev, f->G_top, f->G_back, f->G_step, f->G_end, f->DriveTabSet})
                during += w->isEnabled() ? u'E' : u'D';
            for (const QMenu* m : {f->File1, f->Show1, f->Edit, f->O1, f->Help1})
                during += m->menuAction()->isEnabled() ? u'E' : u'D';
            during += f->TreeView->isEnabled() && f->B_ichiran->isEnabled() ? u'E' : u'D';
            during += u' ' + f->G_play->toolTip();
            // A click on another folder changes neither the folder nor the tree's selection.
            QTreeWidgetItem* shown = f->TreeView->currentItem();
            shown->setExpanded(true);
            QTest::mouseClick(f->TreeView->viewport(), Qt::LeftButton, {},
                              f->TreeView->visualItemRect(shown->child(0)).center());
            QCoreApplication::processEvents();
            during += f->TreeView->selectedItems() == QList{shown} ? u'D' : u'E';
            TestProgram::click(f->G_play);
        });
        QCOMPARE(during, QStringLiteral("DDDDDDDDDDDE 連続表示中断D"));
        QCOMPARE(run.shown, QStringList{"b.bmp"});
        QCOMPARE(run.pauses, 0);
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(f->G_play->toolTip(), QStringLiteral("連続表示"));
        QVERIFY(f->DriveTabSet->isEnabled() && f->Edit->menuAction()->isEnabled());
        QCOMPARE(f->busy, 0);
    }

    // Esc ends a running show like its button, from either window; a list click during a pause
    // makes the show go on from the clicked entry.
    void escapeStopsAndListClickRedirects() {
        Browsing b(fivePictures());
        TForm1* f = b.form1();
        Run run = runShow(b, f->G_rev, 4, 60, [&] { QTest::keyClick(f, Qt::Key_Escape); });
        QCOMPARE(run.shown, QStringList{"d.bmp"});
        QVERIFY(!f->G_rev->isDown());
        // Also while the next picture loads, when the keys typed meanwhile are dropped.
        run = runShow(b, f->G_play, 0, 0, [&] {
            QTimer::singleShot(0, f, [f] { QTest::keyClick(f, Qt::Key_Escape); });
        });
        QCOMPARE(run.shown, (QStringList{"b.bmp", "c.bmp"}));

        run = runShow(b, f->G_play, 0, 1, [&] {
            QTreeView* list = f->ListView->reportView();
            const QModelIndex d = list->model()->index(f->ListView->findCaption("d.bmp"), 0);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(d).center());
        });
        // The click shows "d.bmp", and the show goes on from it, showing it once more
        // (the same caption again) and pausing after it.
        QCOMPARE(run.shown, (QStringList{"b.bmp", "d.bmp", "e.bmp"}));
        QCOMPARE(run.pauses, 2);
        QCOMPARE(b.navigation(), QStringLiteral("EDEEDD"));
        // Esc in the catalogue window stops it too.
        TestProgram::click(f->B_ichiran);
        run = runShow(b, f->G_play, 0, 60, [&] { QTest::keyClick(b.form2(), Qt::Key_Escape); });
        QCOMPARE(run.shown, QStringList{"b.bmp"});
    }

    // A change of kind rebuilds the table the show walks and ends the show, the new
    // table's first entry on show.
    void kindChangeDuringAShow() {
        Browsing b(fivePictures());
        TForm1* f = b.form1();
        const Run run = runShow(b, f->G_play, 1, 60, [&] { chooseKind(f->ComboBox, 1); });
        QCOMPARE(run.shown, (QStringList{"c.bmp", "a.bmp"}));
        QCOMPARE(b.navigation(), QStringLiteral("DEDDEE"));
        QVERIFY(!f->G_play->isDown() && f->Show1->menuAction()->isEnabled() && f->busy == 0);
    }

    // A damaged picture and a deleted entry are passed over, each with its own text.
    void passesOverDamagedAndDeletedEntries() {
        Browsing::Files files = fivePictures();
        files[1].second = "BM not really a bitmap";
        Browsing b(files);
        TForm1* f = b.form1();
        QVERIFY(QFile::remove(b.file("c.bmp")));
        f->MarkEntryDeleted(b.file("c.bmp"), QStringLiteral("c.bmp"));
        QStringList texts;
        f->slideSecondMs = 1;
        const auto record =
            QObject::connect(f, &QWidget::windowTitleChanged, [&] { texts.append(b.status(3)); });
        f->currentIndex = 0;
        TestProgram::click(f->G_play);
        QObject::disconnect(record);
        QCOMPARE(f->currentIndex, 4);
        QCOMPARE(texts.size(), 4);
        QVERIFY2(texts[0] != texts[2] && texts[1] == QStringLiteral("削除済みのファイルです"),
                 qPrintable(texts.join(u'|')));
    }

    // During a pause the viewer's delete, and a drag dropped on the tree while the
    // show moves on, act on the picture that was on show.
    void actsOnThePictureOnShow_data() {
        QTest::addColumn<bool>("drop");
        QTest::newRow("viewer's delete") << false;
        QTest::newRow("list drag dropped") << true;
    }
    void actsOnThePictureOnShow() {
        QFETCH(bool, drop);
        Browsing::Files files = fivePictures();
        files.append({QStringLiteral("sub/"), {}});
        Browsing b(files, QStringLiteral("[Option]\nSortOpt=1\n"), Browsing::NotStarted);
        b.fakes.drives->placeList = {{b.path(), "d", DriveType::Fixed, {}}};
        b.start();
        TForm1* f = b.form1();
        runShow(b, f->G_play, 0, 1, [&] {
            if (!drop)
                return b.trigger(QStringLiteral("G1"));
            // The drop is worked on once the drag has ended, after the pause.
            QAbstractItemModel* list = f->ListView->reportView()->model();
            const std::shared_ptr<QMimeData> data(
                list->mimeData({list->index(f->ListView->selectedRow(), 0)}));
            const QPoint sub =
                f->TreeView->visualItemRect(f->TreeView->topLevelItem(0)->child(0)).center();
            auto next = std::make_shared<QMetaObject::Connection>();
            *next = QObject::connect(
                f, &QWidget::windowTitleChanged, f,
                [f, data, sub, next] {
                    QObject::disconnect(*next);
                    f->TreeViewDragDrop(data.get(), sub, {});
                },
                Qt::QueuedConnection);
            f->TimerTimer();
        });
        const QString acted = drop ? b.fakes.dialogs->saveRequests.value(0).name
                                   : b.fakes.shell->calls.value(0).files.value(0);
        QCOMPARE(acted.section(u'/', -1), QStringLiteral("b.bmp"));
    }

    // Closing the window during a show ends the show, then closes and writes the
    // settings once.
    void closingDuringAShow() {
        Browsing b(fivePictures());
        TForm1* f = b.form1();
        bool closed = false;
        QObject::connect(f, &TForm1::closed, [&] { closed = true; });
        const Run run = runShow(b, f->G_play, 0, 60, [&] { f->close(); });
        QCOMPARE(run.shown, QStringList{"b.bmp"});
        QTRY_VERIFY(closed);
        QVERIFY(!f->isVisible());
        QVERIFY(b.readIni().contains(QStringLiteral("Timer=60")));
    }
};

QTEST_MAIN(TestSlideshow)
#include "test_slideshow.moc"
