#include "test_program.h"

#include <QAbstractButton>
#include <QFile>
#include <QTest>

#include "main.h"
#include "status_bar.h"

namespace kordel::test {

TestProgram::TestProgram() : fakes(FakeServices::create(services_)) {}

TestProgram::~TestProgram() = default;

void TestProgram::writeIni(const QString& text) {
    QFile f(iniPath());
    if (f.open(QIODevice::WriteOnly))
        f.write(text.toUtf8());
}

QString TestProgram::readIni() const {
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void TestProgram::start(bool show) {
    app_ =
        std::make_unique<KordelApplication>(std::move(services_), folder(), folder(), libraryDir_);
    app_->createWindows();
    if (show) {
        app_->showMainWindow();
        QTest::qWait(0);
    }
}

TForm1* TestProgram::form1() const {
    return app_->context().form1;
}
TForm2* TestProgram::form2() const {
    return app_->context().form2;
}
TOptionPagesDlg* TestProgram::options() const {
    return app_->context().optionPagesDlg;
}
TAboutBox* TestProgram::about() const {
    return app_->context().aboutBox;
}
TSplashWindow* TestProgram::splash() const {
    return app_->context().splash;
}

QAction* TestProgram::action(const QString& name) const {
    for (QAction* a : form1()->findChildren<QAction*>())
        if (a->objectName() == name)
            return a;
    return nullptr;
}

void TestProgram::trigger(const QString& name) {
    QAction* a = action(name);
    if (!a)
        QTest::qFail(qPrintable(QStringLiteral("no menu item ") + name), __FILE__, __LINE__);
    else
        a->trigger();
}

void TestProgram::click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

QString TestProgram::status(int panel) const {
    return form1()->Status->panelText(panel);
}

QString TestProgram::caption() const {
    return form1()->windowTitle();
}

}  // namespace kordel::test
