// The keys of "KDL.INI": what the windows read at creation and write back
// when the main window closes.
#pragma once

#include <array>

#include "profile_file.h"

namespace kordel {

// Keys read by the main window, with the defaults for a key that is missing.
struct MainSettings {
    // FormSize
    int top = 0, left = 0, width = 460, height = 366;
    // DirSize
    int dirWidth = 125, dirHeight = 244, vpHeight = 173, viewStyle = 3;
    std::array<int, 4> columnWidths{60, 38, 50, 50};
    // Option
    int disp = 3, timer = 0, lzhIcon = 8;
    bool jpegOpt = false, sortOpt = false, actOpt = true;
    int hyouji = 3, selIndex = 0;
    // Object
    bool toolBar = true, driveTab = true, dirTree = true, listView = true;
};

// Keys read by the catalogue window.
struct CatalogueSettings {
    int top = 0, left = 0, width = 460, height = 366;  // SubFormSize
    int picX = 128, picY = 96;                         // PicSize
};

MainSettings readMainSettings(const ProfileFile& file);
CatalogueSettings readCatalogueSettings(const ProfileFile& file);

// Writes every key, section by section, in the file's fixed order.
void writeAllSettings(ProfileFile& file,
                      const MainSettings& main,
                      const CatalogueSettings& catalogue);

}  // namespace kordel
