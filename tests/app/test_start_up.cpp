// Start-up with and without a settings file: what the user sees in the main window.
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include "app_style.h"
#include "catalogue_window.h"
#include "list_view.h"
#include "main.h"
#include "panel.h"
#include "speed_button.h"
#include "split_pnl.h"
#include "status_bar.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

class TestStartUp : public QObject {
    Q_OBJECT

    static QStringList onMasks(const TForm1* f) {
        QStringList on;
        for (const QString& m : f->kindMasks)
            if (m != QStringLiteral(" "))
                on << m;
        return on;
    }

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
        QCOMPARE(f->x(), (1280 - f->width()) / 2);
        QCOMPARE(f->y(), (1024 - f->height()) / 2);
        QCOMPARE(AppStyle::hintPause(), 400);
        // All four areas, the kind box on "All Files" with every mask, no display button down.
        for (QWidget* w :
             {static_cast<QWidget*>(f->Panel1), static_cast<QWidget*>(f->DrivePanel),
              static_cast<QWidget*>(f->TreeViewPanel), static_cast<QWidget*>(f->Panel6)})
            QVERIFY(w->isVisible());
        for (QAction* a : {f->N9, f->N7, f->N8, f->NA})
            QVERIFY(a->isChecked());
        QCOMPARE(f->ComboBox->currentText(), QStringLiteral("All Files"));
        QCOMPARE(onMasks(f).size(), 13);
        QVERIFY(!f->kindMasks.empty() && f->kindMasks[1] == QStringLiteral("*.JPG"));
        QVERIFY(!f->O_gazou->isDown() && !f->O_hiritu->isDown() && !f->O_stretch->isDown());
        QCOMPARE(f->displayMode, 3);
        // The desktop says nothing about tiling: tiling counts as on.
        QVERIFY(f->K_TILE->isChecked() && f->P_TILE->isChecked());
        // Navigation waits for pictures; the catalogue can be opened.
        for (TSpeedButton* b : {f->G_rev, f->G_play, f->G_top, f->G_back, f->G_step, f->G_end})
            QVERIFY(!b->isEnabled());
        QVERIFY(f->B_ichiran->isEnabled() && f->G_exit->isEnabled());
        QCOMPARE(f->ListView->columnWidth(0), 60);
        QCOMPARE(f->ListView->columnWidth(3), 50);
        QCOMPARE(f->archiveImage, 8);
        QCOMPARE(f->startingUp, 0);
        QVERIFY(!(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint));
        QCOMPARE(f->settingsPath, p.iniPath());
        QCOMPARE(f->tempFolder, p.fakes.tempFolder->path());
    }

    void desktopWithoutTiling() {
        TestProgram p;
        p.fakes.desktop->tile = false;
        p.start();
        QVERIFY(!p.form1()->K_TILE->isChecked());
        QVERIFY(!p.form1()->P_TILE->isChecked());
    }

    void controlsAndTexts() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        const struct {
            TSpeedButton* b;
            int left;
            const char* hint;
            int group;
        } buttons[] = {{f->G_exit, 15, "終了", 0},
                       {f->G_rev, 50, "連続表示(ﾘﾊﾞｰｽ)", 3},
                       {f->G_play, 75, "連続表示", 2},
                       {f->G_top, 110, "先頭の画像", 0},
                       {f->G_back, 135, "前の画像", 0},
                       {f->G_step, 160, "次の画像", 0},
                       {f->G_end, 185, "最後の画像", 0},
                       {f->O_gazou, 220, "ｳｨﾝﾄﾞｳｻｲｽﾞの自動調整表示", 1},
                       {f->O_hiritu, 245, "画像の比率維持表示", 1},
                       {f->O_stretch, 270, "画像のstretch表示", 1},
                       {f->B_ichiran, 305, "イメージ一覧", 4}};
        for (const auto& b : buttons) {
            QCOMPARE(b.b->geometry(), QRect(b.left, 4, 25, 25));
            QCOMPARE(b.b->toolTip(), QString::fromUtf8(b.hint));
            QCOMPARE(b.b->groupIndex(), b.group);
            QVERIFY2(!b.b->icon().isNull(), qPrintable(b.b->objectName()));
        }
        QCOMPARE(f->ComboBox->count(), 14);
        QCOMPARE(f->ComboBox->itemText(3), QStringLiteral("JPEG(JPE)"));
        QCOMPARE(f->ComboBox->itemText(13), QStringLiteral("MetaFile(EMF)"));
        QCOMPARE(f->ComboBox->x(), 340);
        QCOMPARE(f->ComboBox->width(), 122);
        for (int i = 0; i < 14; ++i)
            QVERIFY(!f->ComboBox->itemData(i, Qt::DecorationRole).value<QPixmap>().isNull());
        QCOMPARE(f->SmImageList.size(), 14);
        QCOMPARE(f->ImageList.size(), 12);
        for (const QPixmap& image : f->ImageList)
            QCOMPARE(image.size(), QSize(16, 16));

        QCOMPARE(f->Status->panelCount(), 4);
        QCOMPARE(QList<int>({f->Status->panelWidth(0), f->Status->panelWidth(1),
                             f->Status->panelWidth(2), f->Status->panelWidth(3)}),
                 QList<int>({45, 65, 50, 150}));
        QCOMPARE(f->ProgressBar->size(), QSize(124, 16));
        QCOMPARE(f->ProgressBar->maximum(), 100);
        QCOMPARE(f->Panel1->height(), 31);
        QCOMPARE(f->DrivePanel->height(), 24);
        QCOMPARE(f->Panel2->height(), 2);
        QCOMPARE(f->Panel3->height(), 19);
        QCOMPARE(f->Panel4->width(), 127);
        QCOMPARE(f->TreeViewPanel->width(), 125);
        QCOMPARE(f->Splitter->width(), 3);
        QCOMPARE(f->ViewPanel->height(), 177);
        QCOMPARE(f->SplitPanel->height(), 2);
        QCOMPARE(f->ViewPanel->palette().color(QPalette::Window), QColor(0, 128, 128));
        QAbstractItemModel* columns = f->ListView->reportView()->model();
        QCOMPARE(columns->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ﾌｧｲﾙ名"));
        QCOMPARE(columns->headerData(1, Qt::Horizontal).toString(), QStringLiteral("ｻｲｽﾞ"));
        QCOMPARE(columns->headerData(2, Qt::Horizontal).toString(), QStringLiteral("日付"));
        QCOMPARE(columns->headerData(3, Qt::Horizontal).toString(), QStringLiteral("種類"));
        QVERIFY(!f->Timer->isActive());
    }

    void menus() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        auto captions = [](QMenu* m) {
            QStringList out;
            for (QAction* a : m->actions())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
            return out;
        };
        QStringList bar;
        for (QAction* a : f->menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, QStringList({"ﾌｧｲﾙ(&F)", "編集(&E)", "表示(&V)", "設定(&O)", "ﾍﾙﾌﾟ(&H)"}));
        QCOMPARE(captions(f->File1),
                 QStringList({"名前をつけて保存(&A)...", "-", "壁紙にする", "-", "終了(&X)"}));
        QCOMPARE(captions(f->Kabegami),
                 QStringList({"そのまま壁紙にする(BMP時のみ)", "KORDEL.BMPの名前で壁紙にする",
                              "名前を付けて保存後に壁紙にする", "タイルで表示"}));
        QCOMPARE(captions(f->Edit),
                 QStringList({"ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰ(&C)", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞから貼付(&V)", "-",
                              "画像ファイルコピー(&F)...", "画像ファイル削除(&D)...",
                              "画像ファイル移動(&M)..."}));
        QCOMPARE(captions(f->Show1),
                 QStringList({"先頭の画像表示(&T)", "前の画像表示(&B)", "次の画像表示(&S)",
                              "最後の画像表示(&E)", "-", "キャンバスサイズ指定"}));
        QCOMPARE(captions(f->K_canvas), QStringList({" 320 x 240", " 640 x 400", " 640 x 480",
                                                     " 640 x 800", " 800 x 600", "1024 x 768"}));
        QCOMPARE(captions(f->O1), QStringList({"設定(&V)...", "-", "ツールバー", "ドライブタブ",
                                               "ツリービュー", "リストビュー"}));
        QCOMPARE(captions(f->Help1), QStringList({"目次(&C)", "-", "ﾊﾞｰｼﾞｮﾝ情報(&A)..."}));
        QCOMPARE(captions(f->PopupMenu),
                 QStringList({"名前を付けて保存", "-", "壁紙にする", "-", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞへｺﾋﾟｰ",
                              "ｸﾘｯﾌﾟﾎﾞｰﾄﾞから貼付", "-", "画像ファイルコピー", "画像ファイル削除",
                              "画像ファイル移動"}));
        QCOMPARE(captions(f->Kabegami2), captions(f->Kabegami));
        QCOMPARE(captions(f->PopupMenu3), QStringList({"詳細表示", "-", "画像ファイルコピー",
                                                       "画像ファイル削除", "画像ファイル移動"}));
        QCOMPARE(f->File1->menuAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
        QCOMPARE(f->K4->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
        QCOMPARE(f->KV1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
        QCOMPARE(f->O1->menuAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QVERIFY(f->K_TILE->isCheckable() && f->P_TILE->isCheckable());
    }

    void settingsFileWithOnlyActOptOff() {
        AppStyle::setHintPause(500);
        TestProgram p;
        p.writeIni("[Option]\nActOpt=0\n");
        p.start();
        TForm1* f = p.form1();
        QCOMPARE(f->pos(), QPoint(0, 0));
        QCOMPARE(f->size(), QSize(460, 366));
        QCOMPARE(f->TreeViewPanel->width(), 125);
        // The tree panel takes the height between the top areas and the status bar.
        QCOMPARE(f->TreeViewPanel->height(), f->centralWidget()->height() - 31 - 24 - 2 - 19);
        QCOMPARE(f->ViewPanel->height(), 173);
        QVERIFY(!(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint));
        QCOMPARE(p.form2()->size(), QSize(460, 366));
        QCOMPARE(AppStyle::hintPause(), 500);
    }

    void actOptKeyMissingKeepsCatalogueOnTop() {
        TestProgram p;
        p.writeIni("[FormSize]\nTop=10\n");
        p.start();
        QCOMPARE(p.form1()->ActOpt, 1);
        QVERIFY(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void hiddenAreasFromSettings() {
        TestProgram p;
        p.writeIni("[FormSize]\nHeight=400\n[Object]\nListView=0\nToolBar=0\nDirTree=0\n");
        p.start();
        TForm1* f = p.form1();
        QVERIFY(!f->NA->isChecked() && !f->N9->isChecked() && !f->N8->isChecked());
        QVERIFY(f->N7->isChecked());
        QVERIFY(!f->Panel6->isVisible() && !f->SplitPanel->isVisible());
        QVERIFY(!f->Panel1->isVisible());
        QVERIFY(!f->TreeViewPanel->isVisible() && !f->Splitter->isVisible());
        QVERIFY(f->DrivePanel->isVisible());
        // The viewer fills what lies below the drive tabs; the height stays as stored.
        QCOMPARE(f->height(), 400);
        QCOMPARE(f->ViewPanel->geometry(), f->Panel5->rect());
        QCOMPARE(f->Panel5->y(), 24 + 2);
        QCOMPARE(f->Panel5->x(), 0);
    }

    void kindIndexAndDisplayMode_data() {
        QTest::addColumn<int>("selIndex");
        QTest::addColumn<QStringList>("masks");
        QTest::addColumn<int>("hyouji");
        QTest::addColumn<QString>("down");
        QTest::newRow("TIFF, stretch") << 5 << QStringList{"*.TIF"} << 2 << "O_stretch";
        QTest::newRow("EMF, window fits") << 13 << QStringList{"*.EMF"} << 0 << "O_gazou";
        QTest::newRow("out of range, ratio") << 20 << QStringList{} << 1 << "O_hiritu";
        QTest::newRow("all, mode 7") << 0 << QStringList{} << 7 << "";
    }
    void kindIndexAndDisplayMode() {
        QFETCH(int, selIndex);
        QFETCH(QStringList, masks);
        QFETCH(int, hyouji);
        QFETCH(QString, down);
        TestProgram p;
        p.writeIni(QStringLiteral("[Option]\nSelIndex=%1\nHyouji=%2\n").arg(selIndex).arg(hyouji));
        p.start();
        TForm1* f = p.form1();
        if (selIndex == 0)
            QCOMPARE(onMasks(f).size(), 13);
        else
            QCOMPARE(onMasks(f), masks);
        QCOMPARE(f->displayMode, hyouji);
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
