// The whole program, built offscreen in a temporary folder with fake
// services, for tests that click real buttons and read real windows.
#pragma once

#include <QAction>
#include <QTemporaryDir>
#include <memory>

#include "application.h"
#include "fakes.h"

class QAbstractButton;

namespace kordel {
class TForm1;
class TForm2;
class TOptionPagesDlg;
class TAboutBox;
class TSplashWindow;
}  // namespace kordel

namespace kordel::test {

class TestProgram {
    // Declared first: the fakes are made into it.
    Services services_;

public:
    TestProgram();
    ~TestProgram();

    // The program's folder (also where "KDL.INI" lives), with a trailing "/".
    QString folder() const { return dir_.path() + u'/'; }
    QString iniPath() const { return folder() + QStringLiteral("KDL.INI"); }
    // Writes "KDL.INI" before the program starts.
    void writeIni(const QString& text);
    QString readIni() const;

    // Loads the archive library from the build's program folder (by default the
    // test program's own folder is searched, which holds none).
    void useArchiveLibrary() { libraryDir_ = QStringLiteral(KORDEL_TEST_BIN_DIR); }

    // Creates the windows (splash, main, catalogue, settings, about); with
    // `show` the main window is shown and activated, as the message loop does.
    void start(bool show = true);

    FakeServices fakes;
    KordelApplication& app() { return *app_; }
    TForm1* form1() const;
    TForm2* form2() const;
    TOptionPagesDlg* options() const;
    TAboutBox* about() const;
    TSplashWindow* splash() const;

    // A menu item or pop-up item of the main window by its name.
    QAction* action(const QString& name) const;
    // Chooses a menu item as the user does (its handler runs).
    void trigger(const QString& name);
    // Clicks a button with the left mouse button.
    static void click(QAbstractButton* button);
    // Text of a status panel of the main window.
    QString status(int panel) const;
    QString caption() const;

private:
    QTemporaryDir dir_;
    QString libraryDir_;
    std::unique_ptr<KordelApplication> app_;
};

}  // namespace kordel::test
