// The composition root: creates the platform services' users, the five
// windows in their order, and hands every window the same context.
#pragma once

#include <memory>

#include "app_context.h"
#include "services.h"
#include "unlha_binding.h"

namespace kordel {

class KordelApplication {
public:
    // programDir and settingsDir with a trailing "/". The archive library is
    // looked for in libraryDir (the program's folder when empty).
    KordelApplication(Services services,
                      const QString& programDir,
                      const QString& settingsDir,
                      const QString& libraryDir = QString());
    ~KordelApplication();
    KordelApplication(const KordelApplication&) = delete;
    KordelApplication& operator=(const KordelApplication&) = delete;

    // The splash and the five windows, in their order; the main window is not shown yet.
    void createWindows();
    // What the message loop does first: shows and activates the main window.
    void showMainWindow();
    // Opens a folder or picture named on the command line. A relative name counts
    // from the folder the program was started in, not from the start-up folder the
    // main window has moved to since.
    void openArgument(const QString& path);

    AppContext& context() { return ctx_; }
    Services& services() { return services_; }

private:
    Services services_;
    QString startFolder_;  // the working folder when the program started
    std::unique_ptr<ArchiveLibrary> archive_;
    AppContext ctx_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm2> form2_;
};

// Where "KDL.INI" lives: beside the program when that folder is writable and the program
// is not installed, otherwise the user's configuration folder. With a trailing "/".
QString settingsFolderFor(const QString& programDir);
// <prefix>/share/kordel/ for a program in <prefix>/bin/: help pages and samples once installed.
QString installedDataFolder(const QString& programDir);

}  // namespace kordel
