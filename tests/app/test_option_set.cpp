// The settings dialog: values from the settings file, OK, Cancel and the close box.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "catalogue_window.h"
#include "main.h"
#include "option_set.h"
#include "panel.h"
#include "speed_button.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

class TestOptionSet : public QObject {
    Q_OBJECT

    // Runs the dialog from the Settings menu; `user` acts on it while it is open.
    static void runDialog(TestProgram& p, std::function<void(TOptionPagesDlg*)> user) {
        p.fakes.dialogs->onModal = [user](QDialog* d) { user(static_cast<TOptionPagesDlg*>(d)); };
        p.trigger("K1");
    }

private slots:
    // What the controls hold is what the file gets back.
    void valuesOutOfRangeAreLimitedByTheControls_data() {
        QTest::addColumn<QString>("read");
        QTest::addColumn<int>("radio");
        QTest::addColumn<int>("timer");
        QTest::newRow("past the ends") << "Disp=9\nTimer=99" << 3 << 60;
        QTest::newRow("below the ends") << "Disp=-2\nTimer=-5" << -1 << 0;
    }
    void valuesOutOfRangeAreLimitedByTheControls() {
        QFETCH(QString, read);
        QFETCH(int, radio);
        QFETCH(int, timer);
        TestProgram p;
        p.writeIni("[Option]\n" + read + "\n");
        p.start();
        QCOMPARE(p.options()->radioIndex(), radio);
        QCOMPARE(p.options()->TBar->value(), timer);
        p.f->close();
        const QString ini = p.readIni();
        QVERIFY2(ini.contains(QStringLiteral("Disp=%1\nTimer=%2\n").arg(radio).arg(timer)),
                 qPrintable(ini));
    }

    // Cancel and Escape put every control back; the close box keeps them, and only
    // the archive image is in force at once.
    void leavingWithoutOK_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("written");
        QTest::newRow("Cancel") << "cancel"
                                << "Timer=5\nDisp=3\nJpegOpt=0\nSortOpt=0\nActOpt=1\nLzhIcon=8";
        QTest::newRow("Escape") << "escape"
                                << "Timer=5\nDisp=3\nJpegOpt=0\nSortOpt=0\nActOpt=1\nLzhIcon=8";
        QTest::newRow("close box") << "close"
                                   << "Timer=12\nDisp=0\nJpegOpt=1\nSortOpt=0\nActOpt=1\nLzhIcon=0";
    }
    void leavingWithoutOK() {
        QFETCH(QString, how);
        QFETCH(QString, written);
        TestProgram p;
        p.writeIni("[Option]\nTimer=5\n");
        p.start();
        runDialog(p, [how](TOptionPagesDlg* d) {
            d->TBar->setValue(12);
            QCOMPARE(d->Panel3->caption(), QStringLiteral("12"));
            d->radioButtons->button(0)->click();
            d->JPEG_BOX->setChecked(true);
            QTest::mouseClick(d->UpDown->downButton(), Qt::LeftButton);  // grey → yellow
            QCOMPARE(d->Label8->text(), QStringLiteral("通常ﾌｫﾙﾀﾞ"));
            if (how == QStringLiteral("cancel"))
                QTest::mouseClick(d->CancelBtn, Qt::LeftButton);
            else if (how == QStringLiteral("escape"))
                QTest::keyClick(d, Qt::Key_Escape);
            else
                d->close();
        });
        QVERIFY(!p.f->O_gazou->isDown());
        p.f->close();
        QVERIFY2(p.readIni().contains(written), qPrintable(p.readIni()));
    }

    void okPutsTheOptionsInForce() {
        StartedProgram p;
        p.f->move(0, 0);  // the dialog still opens in the middle of the screen
        runDialog(p, [](TOptionPagesDlg* d) {
            QCOMPARE(d->geometry().topLeft(),
                     QPoint((1024 - d->width()) / 2, (768 - d->height()) / 2));  // centred
            d->radioButtons->button(2)->click();
            d->SortBox->setChecked(true);
            d->ActWin->setChecked(true);
            QTest::mouseClick(d->UpDown->upButton(), Qt::LeftButton);  // grey → purse
            QCOMPARE(d->Label8->text(), QStringLiteral("がまぐっち(^^;"));
            QTest::mouseClick(d->OKBtn, Qt::LeftButton);
        });
        QVERIFY(p.f->O_stretch->isDown());
        QVERIFY(p.form2()->windowFlags() & Qt::WindowStaysOnTopHint);
        p.f->close();
        QVERIFY(p.readIni().contains(
            "Disp=2\nJpegOpt=0\nSortOpt=1\nActOpt=1\nTimer=0\nLzhIcon=10\nHyouji=2\n"));
    }

    void turningSortingOnRebuildsTheList() {
        Browsing p(Browsing::pictures({"c.bmp", "a.bmp", "B.bmp"}), "[Option]\nSortOpt=0\n");
        QCOMPARE(p.table(), (QStringList{"a.bmp", "B.bmp", "c.bmp"}));
        QVERIFY(p.write("_z.bmp", bmp(4, 4)));
        runDialog(p, [](TOptionPagesDlg* d) {
            d->SortBox->setChecked(true);
            QTest::mouseClick(d->OKBtn, Qt::LeftButton);
        });
        QCOMPARE(p.rows(), (QStringList{"_z.bmp", "a.bmp", "B.bmp", "c.bmp"}));
        QCOMPARE(p.caption(), p.captionFor("_z.bmp"));
    }
};

QTEST_MAIN(TestOptionSet)
#include "test_option_set.moc"
