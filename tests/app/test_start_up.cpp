// Start-up with and without a settings file: what the user sees in the main window;
// the splash window's gauge and the about box.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app_style.h"
#include "catalogue_window.h"
#include "gauges.h"
#include "list_view.h"
#include "main.h"
#include "panel.h"
#include "speed_button.h"
#include "splash.h"
#include "split_pnl.h"
#include "test_program.h"
#include "version.h"

using namespace kordel;
using namespace kordel::test;

namespace {

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
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        // Centred, at the design client size.
        QCOMPARE(p.f->centralWidget()->size(), QSize(467, 320));
        QCOMPARE(p.f->pos(), QPoint((1280 - p.f->width()) / 2, (1024 - p.f->height()) / 2));
        QCOMPARE(AppStyle::hintPause(), 400);
        QCOMPARE(areasShown(p.f), QStringList({"Panel1", "DrivePanel", "TreeViewPanel", "Splitter",
                                               "Panel6", "SplitPanel"}));
        QCOMPARE(p.f->ComboBox->currentText(), QStringLiteral("All Files"));
        QVERIFY(!p.f->O_gazou->isDown() && !p.f->O_hiritu->isDown() && !p.f->O_stretch->isDown());
        // Navigation waits for pictures; the catalogue can be opened.
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
        QVERIFY(p.f->B_ichiran->isEnabled());
        // The desktop says nothing about tiling: tiling counts as on.
        QVERIFY(p.f->K_TILE->isChecked() && p.f->P_TILE->isChecked());
        QVERIFY(!(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint));
    }

    void catalogueOnTopWhenActOptIsMissing() {
        TestProgram p;
        p.writeIni("[FormSize]\nTop=10\n");
        p.start();
        QVERIFY(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint);
    }

    void windowsStoredOffTheScreenComeBack() {
        TestProgram p;
        p.writeIni(
            "[FormSize]\nLeft=99999\nTop=-4000\nWidth=100000\nHeight=500\n"
            "[SubFormSize]\nLeft=-3000\nTop=5000\nWidth=460\nHeight=366\n");
        p.start();
        QCOMPARE(QRect(p.f->pos(), p.f->size()), QRect(0, 0, 1024, 500));
        QCOMPARE(p.form2()->pos(), QPoint(0, 768 - 366));
    }

    void hiddenAreasFromSettings() {
        TestProgram p;
        p.writeIni("[FormSize]\nHeight=400\n[Object]\nListView=0\nToolBar=0\nDirTree=0\n");
        p.start();
        QVERIFY(!p.f->NA->isChecked() && !p.f->N9->isChecked() && !p.f->N8->isChecked());
        QCOMPARE(areasShown(p.f), QStringList{"DrivePanel"});
        // The viewer fills what lies below the drive tabs; the height stays as stored.
        QCOMPARE(p.f->height(), 400);
        QCOMPARE(p.f->ViewPanel->geometry(), p.f->Panel5->rect());
        QCOMPARE(p.f->Panel5->pos(), QPoint(0, 24 + 2));
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
        QCOMPARE(p.rows(), listed);
        for (TSpeedButton* b : {p.f->O_gazou, p.f->O_hiritu, p.f->O_stretch})
            QCOMPARE(b->isDown(), b->objectName() == down);
    }

    void gaugeRunsThroughStartUpAndTheSplashGoes() {
        TestProgram p;
        p.start(false);
        QPointer<TSplashWindow> splash(p.splash());
        QVERIFY(splash && splash->isVisible());
        QVERIFY(splash->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(splash->PB->progress(), 9);
        p.app().showMainWindow();
        QTRY_VERIFY(splash.isNull());
        // Steps after the splash has gone reach nothing.
        p.app().context().splashStep(5);
    }

    void aboutBoxCentresOnTheCurrentScreen() {
        StartedProgram p;
        QPoint where;
        p.fakes.dialogs->onModal = [&where](QDialog* d) {
            auto* box = static_cast<TAboutBox*>(d);
            where = box->pos();
            QCOMPARE(box->Version->text(), QStringLiteral("ver1.10"));
            QTest::mouseClick(box->OKButton, Qt::LeftButton);
        };
        p.trigger("About1");
        QCOMPARE(where, QPoint((1024 - 277) / 2, (768 - 280) / 2));
        QCOMPARE(p.about()->result(), int(QDialog::Accepted));
        p.fakes.screen->screenSize = QSize(1600, 1200);
        p.trigger("About1");
        QCOMPARE(where, QPoint((1600 - 277) / 2, (1200 - 280) / 2));
        p.trigger("Contents1");  // no help pages beside this test
        QCOMPARE(p.messages(), QStringList("ヘルプ「" + p.f->helpFile + "」を開けません。"));
    }
};

QTEST_MAIN(TestStartUp)
#include "test_start_up.moc"
