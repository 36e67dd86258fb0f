// The settings dialog: values from the settings file, OK, Cancel and the close box.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
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
    // What the controls hold is what the file gets back.
    void controlsShowTheValuesRead_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<int>("radio");
        QTest::addColumn<int>("timer");
        QTest::addColumn<int>("upDown");
        QTest::newRow("in range") << "Disp=1\nTimer=0x1E\nJpegOpt=1\nLzhIcon=10" << 1 << 30 << 2;
        QTest::newRow("past the ends") << "Disp=9\nTimer=99" << 3 << 60 << 1;
        QTest::newRow("below the ends") << "Disp=-2\nTimer=-5\nLzhIcon=0" << -1 << 0 << 0;
    }
    void controlsShowTheValuesRead() {
        QFETCH(QString, read);
        QFETCH(int, radio);
        QFETCH(int, timer);
        QFETCH(int, upDown);
        TestProgram p;
        p.writeIni("[Option]\n" + read + "\n");
        p.start();
        TOptionPagesDlg* d = p.options();
        QCOMPARE(d->radioIndex(), radio);
        QCOMPARE(d->TBar->value(), timer);
        QCOMPARE(d->Panel3->caption(), QString::number(timer));
        QCOMPARE(d->JPEG_BOX->isChecked(), read.contains("JpegOpt=1"));
        QCOMPARE(d->UpDown->position(), upDown);
        p.form1()->close();
        const QString ini = p.readIni();
        QVERIFY2(ini.contains(QStringLiteral("Disp=%1").arg(radio)), qPrintable(ini));
        QVERIFY2(ini.contains(QStringLiteral("Timer=%1").arg(timer)), qPrintable(ini));
    }

    // Cancel and Escape put every control back; the close box keeps them, and only
    // the archive image is in force at once.
    void leavingWithoutOK_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("timer");
        QTest::addColumn<QString>("disp");
        QTest::addColumn<QString>("lzhIcon");
        QTest::newRow("Cancel") << "cancel" << 5 << "Disp=3\nJpegOpt=0\n"
                                << "LzhIcon=8\n";
        QTest::newRow("Escape") << "escape" << 5 << "Disp=3\nJpegOpt=0\n"
                                << "LzhIcon=8\n";
        QTest::newRow("close box") << "close" << 12 << "Disp=0\nJpegOpt=1\n"
                                   << "LzhIcon=0\n";
    }
    void leavingWithoutOK() {
        QFETCH(QString, how);
        QFETCH(int, timer);
        QFETCH(QString, disp);
        QFETCH(QString, lzhIcon);
        TestProgram p;
        p.writeIni("[Option]\nTimer=5\n");
        p.start();
        TOptionPagesDlg* d = p.options();
        p.fakes.dialogs->onModal = [how](QDialog* dialog) {
            auto* dlg = static_cast<TOptionPagesDlg*>(dialog);
            dlg->TBar->setValue(12);
            QCOMPARE(dlg->Panel3->caption(), QStringLiteral("12"));
            dlg->radioButtons->button(0)->click();
            dlg->JPEG_BOX->setChecked(true);
            QTest::mouseClick(dlg->UpDown->downButton(), Qt::LeftButton);  // grey → yellow
            QCOMPARE(dlg->Label8->text(), QStringLiteral("通常ﾌｫﾙﾀﾞ"));
            if (how == QStringLiteral("cancel"))
                QTest::mouseClick(dlg->CancelBtn, Qt::LeftButton);
            else if (how == QStringLiteral("escape"))
                QTest::keyClick(dlg, Qt::Key_Escape);
            else
                dlg->close();
        };
        p.trigger("K1");
        QCOMPARE(p.fakes.dialogs->modalRuns, QStringList{"OptionPagesDlg"});
        QCOMPARE(d->TBar->value(), timer);
        QCOMPARE(d->Panel3->caption(), QString::number(timer));
        QVERIFY(!p.form1()->O_gazou->isDown());
        p.form1()->close();
        QVERIFY2(p.readIni().contains(disp), qPrintable(p.readIni()));
        QVERIFY(p.readIni().contains(lzhIcon));
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
        QVERIFY(f->O_stretch->isDown());
        QVERIFY(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint);
        f->close();
        QVERIFY(p.readIni().contains(
            "Disp=2\nJpegOpt=0\nSortOpt=1\nActOpt=1\nTimer=0\nLzhIcon=10\nHyouji=2\n"));
    }

    void turningSortingOnRebuildsTheList() {
        Browsing p({{"c.bmp", bmp(4, 4)}, {"a.bmp", bmp(4, 4)}, {"B.bmp", bmp(4, 4)}},
                   "[Option]\nSortOpt=0\n");
        QCOMPARE(p.table(), (QStringList{"a.bmp", "B.bmp", "c.bmp"}));
        p.write("_z.bmp", bmp(4, 4));
        p.fakes.dialogs->onModal = [](QDialog* dialog) {
            auto* dlg = static_cast<TOptionPagesDlg*>(dialog);
            dlg->SortBox->setChecked(true);
            QTest::mouseClick(dlg->OKBtn, Qt::LeftButton);
        };
        p.trigger("K1");
        QCOMPARE(p.table(), (QStringList{"_z.bmp", "a.bmp", "B.bmp", "c.bmp"}));
        QCOMPARE(p.rows(), p.table());
        QCOMPARE(p.caption(), p.captionFor("_z.bmp"));
    }

    void catalogueBackOnTopAfterCancel() {
        TestProgram p;
        p.writeIni("[Option]\nActOpt=1\n");
        p.start();
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
