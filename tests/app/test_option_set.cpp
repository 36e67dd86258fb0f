// The settings dialog: values from the settings file, OK, Cancel and the close box.
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "catalogue_window.h"
#include "list_view.h"
#include "main.h"
#include "option_set.h"
#include "panel.h"
#include "speed_button.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

class TestOptionSet : public QObject {
    Q_OBJECT

private slots:
    void controlsShowTheValuesRead() {
        TestProgram p;
        p.writeIni("[Option]\nDisp=1\nTimer=0x1E\nJpegOpt=1\nSortOpt=0\nActOpt=1\nLzhIcon=10\n");
        p.start();
        TOptionPagesDlg* d = p.options();
        QCOMPARE(d->windowTitle(), QStringLiteral("設定"));
        QCOMPARE(d->radioIndex(), 1);
        QCOMPARE(d->TBar->value(), 30);
        QCOMPARE(d->Panel3->caption(), QStringLiteral("30"));
        QVERIFY(d->JPEG_BOX->isChecked() && !d->SortBox->isChecked() && d->ActWin->isChecked());
        QCOMPARE(d->UpDown->position(), 2);
        QCOMPARE(p.form1()->archiveImage, 10);
    }

    void outOfRangeValuesAreLimitedByTheControls_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<int>("radio");
        QTest::addColumn<int>("timer");
        QTest::newRow("past the ends") << "Disp=9\nTimer=99" << 3 << 60;
        QTest::newRow("below the ends") << "Disp=-2\nTimer=-5" << -1 << 0;
    }
    void outOfRangeValuesAreLimitedByTheControls() {
        QFETCH(QString, read);
        QFETCH(int, radio);
        QFETCH(int, timer);
        TestProgram p;
        p.writeIni("[Option]\n" + read + "\n");
        p.start();
        QCOMPARE(p.options()->radioIndex(), radio);
        QCOMPARE(p.options()->TBar->value(), timer);
        // What the controls hold is what the file gets back.
        p.form1()->close();
        const QString ini = p.readIni();
        QVERIFY2(ini.contains(QStringLiteral("Disp=%1").arg(radio)), qPrintable(ini));
        QVERIFY2(ini.contains(QStringLiteral("Timer=%1").arg(timer)), qPrintable(ini));
    }

    void cancelPutsEverythingBack() {
        TestProgram p;
        p.writeIni("[Option]\nTimer=5\n");
        p.start();
        TOptionPagesDlg* d = p.options();
        p.fakes.dialogs->onModal = [](QDialog* dialog) {
            auto* dlg = static_cast<TOptionPagesDlg*>(dialog);
            dlg->TBar->setValue(12);
            QCOMPARE(dlg->Panel3->caption(), QStringLiteral("12"));
            dlg->radioButtons->button(0)->click();
            dlg->JPEG_BOX->setChecked(true);
            QTest::mouseClick(dlg->UpDown->downButton(), Qt::LeftButton);  // grey → yellow
            QCOMPARE(dlg->Label8->text(), QStringLiteral("通常ﾌｫﾙﾀﾞ"));
            QTest::mouseClick(dlg->CancelBtn, Qt::LeftButton);
        };
        p.trigger("K1");
        QCOMPARE(p.fakes.dialogs->modalRuns, QStringList{"OptionPagesDlg"});
        QCOMPARE(d->TBar->value(), 5);
        QCOMPARE(d->Panel3->caption(), QStringLiteral("5"));
        QCOMPARE(d->radioIndex(), 3);
        QVERIFY(!d->JPEG_BOX->isChecked());
        QCOMPARE(p.form1()->archiveImage, 8);
        QCOMPARE(p.form1()->displayMode, 3);
    }

    void okPutsTheOptionsInForce() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        p.fakes.dialogs->onModal = [](QDialog* dialog) {
            auto* dlg = static_cast<TOptionPagesDlg*>(dialog);
            dlg->radioButtons->button(2)->click();
            dlg->SortBox->setChecked(true);
            dlg->ActWin->setChecked(true);
            QTest::mouseClick(dlg->UpDown->upButton(), Qt::LeftButton);  // grey → purse
            QCOMPARE(dlg->Label8->text(), QStringLiteral("がまぐっち(^^;"));
            QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
        };
        p.trigger("K1");
        QCOMPARE(f->displayMode, 2);
        QVERIFY(f->O_stretch->isDown());
        QCOMPARE(f->SortOpt, 1);
        QCOMPARE(f->ActOpt, 1);
        QCOMPARE(f->archiveImage, 10);
        QVERIFY(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint);
        f->close();
        const QString ini = p.readIni();
        QVERIFY(
            ini.contains("Disp=2\nJpegOpt=0\nSortOpt=1\nActOpt=1\nTimer=0\nLzhIcon=10\n"
                         "Hyouji=2\n"));
    }

    void closeBoxKeepsControlsButNothingInForce() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        p.fakes.dialogs->onModal = [](QDialog* dialog) {
            auto* dlg = static_cast<TOptionPagesDlg*>(dialog);
            dlg->radioButtons->button(0)->click();
            dlg->JPEG_BOX->setChecked(true);
            dlg->TBar->setValue(7);
            QTest::mouseClick(dlg->UpDown->downButton(), Qt::LeftButton);
            dlg->close();
        };
        p.trigger("K1");
        QCOMPARE(f->displayMode, 3);
        QCOMPARE(f->JpegOpt, 0);
        QCOMPARE(p.options()->radioIndex(), 0);
        QCOMPARE(p.options()->TBar->value(), 7);
        QCOMPARE(f->archiveImage, 0);  // in force at once
        f->close();
        QVERIFY(p.readIni().contains("Disp=0\nJpegOpt=1\n"));
        QVERIFY(p.readIni().contains("Timer=7\nLzhIcon=0\nHyouji=3\n"));
    }

    void escapePressesCancel() {
        TestProgram p;
        p.start();
        p.fakes.dialogs->onModal = [](QDialog* dialog) {
            auto* dlg = static_cast<TOptionPagesDlg*>(dialog);
            dlg->TBar->setValue(40);
            QTest::keyClick(dlg, Qt::Key_Escape);
        };
        p.trigger("K1");
        QCOMPARE(p.options()->TBar->value(), 0);
    }

    void turningSortingOnRebuildsTheList() {
        QTemporaryDir folder;
        for (const char* name : {"c.bmp", "a.bmp", "b.bmp"}) {
            QImage image(4, 4, QImage::Format_RGB32);
            image.fill(Qt::red);
            QVERIFY(image.save(folder.filePath(name), "BMP"));
        }
        const QString start = QDir::currentPath();
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        f->openPath(folder.path());
        QCOMPARE(f->lastIndex, 2);
        p.fakes.dialogs->onModal = [](QDialog* dialog) {
            auto* dlg = static_cast<TOptionPagesDlg*>(dialog);
            dlg->SortBox->setChecked(true);
            dlg->JPEG_BOX->setChecked(true);
            QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
        };
        p.trigger("K1");
        QCOMPARE(f->SortOpt, 1);
        QCOMPARE(f->fileNames[0], QStringLiteral("a.bmp"));
        QCOMPARE(f->fileNames[2], QStringLiteral("c.bmp"));
        QCOMPARE(f->ListView->caption(0), QStringLiteral("a.bmp"));
        QCOMPARE(p.caption(), "Kordel [" + folder.path() + "/a.bmp]");
        QDir::setCurrent(start);
    }

    void catalogueBackOnTopAfterCancel() {
        TestProgram p;
        p.start();
        p.form1()->ActOpt = 1;
        p.fakes.dialogs->onModal = [&p](QDialog* dialog) {
            // Taken off the top while the dialog runs.
            QVERIFY(!(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint));
            QTest::mouseClick(static_cast<TOptionPagesDlg*>(dialog)->CancelBtn, Qt::LeftButton);
        };
        p.trigger("K1");
        QVERIFY(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint);
    }
};

QTEST_MAIN(TestOptionSet)
#include "test_option_set.moc"
