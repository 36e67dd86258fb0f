// The application-wide references: the five windows, created once at start
// and alive until the program ends, and the platform services.
#pragma once

#include <QString>

namespace kordel {

struct Services;
class ArchiveLibrary;
class TForm1;
class TForm2;
class TOptionPagesDlg;
class TAboutBox;
class TSplashWindow;

struct AppContext {
    Services* services = nullptr;
    // The archive library binding; its entries stand by when the library is missing.
    ArchiveLibrary* archive = nullptr;
    // Folder of the program file with a trailing "/": plug-ins and help live here.
    QString programDir;
    // Folder that holds "KDL.INI", with a trailing "/".
    QString settingsDir;

    TSplashWindow* splash = nullptr;  // null once the splash has gone
    TForm1* form1 = nullptr;
    TForm2* form2 = nullptr;
    TOptionPagesDlg* optionPagesDlg = nullptr;
    TAboutBox* aboutBox = nullptr;

    // Advances the splash window's gauge, if the splash is still there.
    void splashStep(int progress);
};

}  // namespace kordel
