// Start-up with and without a settings file: what the user sees in the main window.
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTreeView>

#include "app_style.h"
#include "catalogue_window.h"
#include "list_view.h"
#include "main.h"
#include "panel.h"
#include "speed_button.h"
#include "split_pnl.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

QStringList captions(const QList<QAction*>& actions) {
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

QStringList areasShown(const TForm1* f) {
    QStringList shown;
    for (const QWidget* w : std::initializer_list<const QWidget*>{
             f->Panel1, f->DrivePanel, f->TreeViewPanel, f->Splitter, f->Panel6, f->SplitPanel})
        if (w->isVisible())
            shown << w->objectName();
    return shown;
}

}  // namespace

class TestStartUp : public QObject {
    Q_OBJECT

private slots:
    void firstStartWithoutSettingsFile() {
        AppStyle::setHintPause(500);
        TestProgram p;
        p.fakes.screen->screenSize = QSize(1280, 1024);
        p.start();
        TForm1* f = p.form1();
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        // Centred, at the design client size.
        QCOMPARE(f->centralWidget()->size(), QSize(467, 320));
        QCOMPARE(f->pos(), QPoint((1280 - f->width()) / 2, (1024 - f->height()) / 2));
        QCOMPARE(AppStyle::hintPause(), 400);
        QCOMPARE(areasShown(f), QStringList({"Panel1", "DrivePanel", "TreeViewPanel", "Splitter",
                                             "Panel6", "SplitPanel"}));
        QCOMPARE(f->ComboBox->currentText(), QStringLiteral("All Files"));
        QVERIFY(!f->O_gazou->isDown() && !f->O_hiritu->isDown() && !f->O_stretch->isDown());
        // Navigation waits for pictures; the catalogue can be opened.
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
        QVERIFY(f->B_ichiran->isEnabled());
        QCOMPARE(f->ListView->columnWidth(0), 60);
        QAbstractItemModel* columns = f->ListView->reportView()->model();
        QStringList headers;
        for (int c = 0; c < 4; ++c)
            headers << columns->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, QStringList({"ﾌｧｲﾙ名", "ｻｲｽﾞ", "日付", "種類"}));
    }

    void tilingFromTheDesktop_data() {
        QTest::addColumn<int>("desktop");  // -1: the desktop does not say
        QTest::addColumn<bool>("checked");
        QTest::newRow("not said") << -1 << true;
        QTest::newRow("off") << 0 << false;
        QTest::newRow("on") << 1 << true;
    }
    void tilingFromTheDesktop() {
        QFETCH(int, desktop);
        QFETCH(bool, checked);
        TestProgram p;
        if (desktop >= 0)
            p.fakes.desktop->tile = desktop == 1;
        p.start();
        QCOMPARE(p.form1()->K_TILE->isChecked(), checked);
        QCOMPARE(p.form1()->P_TILE->isChecked(), checked);
    }

    void menus() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        QCOMPARE(captions(f->menuBar()->actions()),
                 QStringList({"ﾌｧｲﾙ(&F)", "編集(&E)", "表示(&V)", "設定(&O)", "ﾍﾙﾌﾟ(&H)"}));
        QCOMPARE(captions(f->Show1->actions()),
                 QStringList({"先頭の画像表示(&T)", "前の画像表示(&B)", "次の画像表示(&S)",
                              "最後の画像表示(&E)", "-", "キャンバスサイズ指定"}));
        QCOMPARE(captions(f->O1->actions()),
                 QStringList({"設定(&V)...", "-", "ツールバー", "ドライブタブ", "ツリービュー",
                              "リストビュー"}));
        QCOMPARE(captions(f->Kabegami2->actions()), captions(f->Kabegami->actions()));
        QCOMPARE(f->K4->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
        QCOMPARE(f->KV1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
    }

    void catalogueOnTop_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<bool>("onTop");
        QTest::newRow("no settings file") << QString() << false;
        QTest::newRow("ActOpt off") << "[Option]\nActOpt=0\n" << false;
        QTest::newRow("ActOpt missing") << "[FormSize]\nTop=10\n" << true;
    }
    void catalogueOnTop() {
        QFETCH(QString, ini);
        QFETCH(bool, onTop);
        TestProgram p;
        if (!ini.isNull())
            p.writeIni(ini);
        p.start();
        QCOMPARE(bool(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint), onTop);
    }

    void settingsFileSizesTheWindows() {
        AppStyle::setHintPause(500);
        TestProgram p;
        p.writeIni("[Option]\nActOpt=0\n");
        p.start();
        TForm1* f = p.form1();
        QCOMPARE(f->pos(), QPoint(0, 0));
        QCOMPARE(f->size(), QSize(460, 366));
        QCOMPARE(p.form2()->size(), QSize(460, 366));
        // The tree panel takes the height between the top areas and the status bar.
        QCOMPARE(f->TreeViewPanel->height(), f->centralWidget()->height() - 31 - 24 - 2 - 19);
        QCOMPARE(f->ViewPanel->height(), 173);
        QCOMPARE(AppStyle::hintPause(), 500);
    }

    void hiddenAreasFromSettings() {
        TestProgram p;
        p.writeIni("[FormSize]\nHeight=400\n[Object]\nListView=0\nToolBar=0\nDirTree=0\n");
        p.start();
        TForm1* f = p.form1();
        QVERIFY(!f->NA->isChecked() && !f->N9->isChecked() && !f->N8->isChecked());
        QVERIFY(f->N7->isChecked());
        QCOMPARE(areasShown(f), QStringList{"DrivePanel"});
        // The viewer fills what lies below the drive tabs; the height stays as stored.
        QCOMPARE(f->height(), 400);
        QCOMPARE(f->ViewPanel->geometry(), f->Panel5->rect());
        QCOMPARE(f->Panel5->pos(), QPoint(0, 24 + 2));
    }

    void kindAndDisplayModeFromSettings_data() {
        QTest::addColumn<int>("selIndex");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("hyouji");
        QTest::addColumn<QString>("down");
        QTest::newRow("TIFF, stretch") << 5 << QStringList{"t.tif"} << 2 << "O_stretch";
        QTest::newRow("EMF, window fits") << 13 << QStringList{"e.emf"} << 0 << "O_gazou";
        QTest::newRow("out of range, ratio") << 20 << QStringList{} << 1 << "O_hiritu";
        QTest::newRow("all, mode 7") << 0 << QStringList{"b.bmp", "t.tif", "e.emf"} << 7 << "";
    }
    void kindAndDisplayModeFromSettings() {
        QFETCH(int, selIndex);
        QFETCH(QStringList, listed);
        QFETCH(int, hyouji);
        QFETCH(QString, down);
        Browsing p({{"b.bmp", bmp(2, 2)}, {"t.tif", QByteArray()}, {"e.emf", QByteArray()}},
                   QStringLiteral("[Option]\nSelIndex=%1\nHyouji=%2\n").arg(selIndex).arg(hyouji));
        TForm1* f = p.form1();
        QCOMPARE(p.rows(), listed);
        for (TSpeedButton* b : {f->O_gazou, f->O_hiritu, f->O_stretch})
            QCOMPARE(b->isDown(), b->objectName() == down);
    }

    void displayButtonsAreAGroupThatMayAllBeUp() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        TestProgram::click(f->O_gazou);
        TestProgram::click(f->O_stretch);
        QVERIFY(f->O_stretch->isDown() && !f->O_gazou->isDown());
        TestProgram::click(f->O_stretch);
        QVERIFY(!f->O_stretch->isDown() && !f->O_gazou->isDown() && !f->O_hiritu->isDown());
    }
};

QTEST_MAIN(TestStartUp)
#include "test_start_up.moc"
