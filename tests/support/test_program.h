// The whole program, built offscreen in a temporary folder with fake
// services, for tests that click real buttons and read real windows.
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <utility>

#include "application.h"
#include "fakes.h"
#include "file_io.h"
#include "main.h"
#include "status_bar.h"

class QMenu;
class QTreeWidgetItem;

namespace kordel {
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
    void writeIni(const QString& text) { writeFile(iniPath(), text.toUtf8()); }
    QString readIni() const { return QString::fromUtf8(readFile(iniPath())); }

    // Loads the archive library from the build's program folder (by default the
    // test program's own folder is searched, which holds none).
    void useArchiveLibrary() { libraryDir_ = QStringLiteral(KORDEL_TEST_BIN_DIR); }

    // Creates the windows (splash, main, catalogue, settings, about); with
    // `show` the main window is shown and activated, as the message loop does.
    void start(bool show = true);

    FakeServices fakes;
    TForm1* f = nullptr;  // the main window, once started
    KordelApplication& app() { return *app_; }
    TForm1* form1() const { return app_->context().form1; }
    TForm2* form2() const { return app_->context().form2; }
    TOptionPagesDlg* options() const { return app_->context().optionPagesDlg; }
    TAboutBox* about() const { return app_->context().aboutBox; }
    TSplashWindow* splash() const { return app_->context().splash; }

    // Chooses a menu item or pop-up item by its name as the user does (its handler runs).
    void trigger(const QString& name);
    // Clicks a button with the left mouse button.
    static void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Opens a menu as the user does (its about-to-show handler runs) and closes it again.
    static void openMenu(QMenu* menu);
    // Opens a menu, then tells of each action "E" (enabled) or "D" (disabled).
    static QString enabled(QMenu* menu, std::initializer_list<const QAction*> actions);
    // Text of a status panel of the main window.
    QString status(int panel) const { return f->Status->panelText(panel); }
    // The texts of the four status panels, blanks around them dropped, joined by "|".
    QString statuses() const;
    QString caption() const { return f->windowTitle(); }
    // The six navigation buttons G_rev, G_play, G_top, G_back, G_step, G_end as
    // "E" (enabled) or "D" (disabled), in that order.
    QString navigation() const;
    // Texts of the message boxes shown so far.
    QStringList messages() const { return fakes.dialogs->texts(); }
    // Names of the file table from 0 to its last index.
    QStringList table() const;
    // Captions of the file list's rows, top to bottom.
    QStringList rows() const;

private:
    QTemporaryDir dir_;
    QString libraryDir_;
    std::unique_ptr<KordelApplication> app_;
};

// A program started with the fakes as they come.
struct StartedProgram : TestProgram {
    StartedProgram() { start(); }
};

// The start most window tests share: a scratch folder holding the given files
// is the current folder while the object lives (the previous one comes back
// afterwards), the settings file holds `ini` (a null string writes none), and
// the program has started and scanned the folder. By default names are sorted.
class Browsing : public TestProgram {
public:
    // A name ending in "/" is a folder; folders on the way are made.
    using Files = QList<std::pair<QString, QByteArray>>;
    enum Start { Scanned, NotStarted };

    explicit Browsing(const Files& files = {},
                      const QString& ini = QStringLiteral("[Option]\nSortOpt=1\n"),
                      Start how = Scanned);
    ~Browsing();

    // The folder as the program sees it (the resolved path), with a trailing "/".
    QString path() const { return path_; }
    QString file(const QString& name) const { return path_ + name; }
    bool write(const QString& name, const QByteArray& data = {}) const;
    // Pictures of the given names, each w × h (a name ending in "/" is a folder).
    static Files pictures(const QStringList& names, int w = 4, int h = 3);
    // Every entry's thumbnail in the catalogue, as the loader leaves them.
    void makeThumbnails();
    // Scans the current folder again, as a change of folder or kind does.
    void rescan() { f->RescanFileList(); }
    // "Kordel [<folder><name>]", the caption while a file of the folder is shown.
    QString captionFor(const QString& name) const {
        return QStringLiteral("Kordel [%1%2]").arg(path_, name);
    }

private:
    QString previous_;
    QTemporaryDir scratch_;
    QString path_;
};

// Texts of a folder tree node's children.
QStringList childTexts(QTreeWidgetItem* node);

// A plain w × h BMP of 24 bits per pixel.
QByteArray bmp(int w, int h);

}  // namespace kordel::test
