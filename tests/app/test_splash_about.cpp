// The splash window's gauge through start-up, and the about box.
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "gauges.h"
#include "splash.h"
#include "test_program.h"
#include "version.h"

using namespace kordel;
using namespace kordel::test;

class TestSplashAbout : public QObject {
    Q_OBJECT

private slots:
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

    void deactivationBeforeTheLastStep() {
        TestProgram p;
        p.start(false);
        QPointer<TSplashWindow> splash(p.splash());
        splash->FormDeactivate();
        QCOMPARE(splash->PB->progress(), 10);
        p.app().context().splashStep(9);
        QTRY_VERIFY(splash.isNull());
    }

    void aboutBoxCentresOnTheCurrentScreen() {
        TestProgram p;
        p.start();
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
    }
};

QTEST_MAIN(TestSplashAbout)
#include "test_splash_about.moc"
