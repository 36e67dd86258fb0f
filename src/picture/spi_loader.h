// Loading of decoder plug-ins: one module per picture, released after it.
#pragma once

#include <QString>
#include <QStringList>

#include "spi.h"

namespace kordel {

// Folders searched for plug-ins, in order: the program's own folder, the
// current folder, and the installed plug-in folder.
QStringList defaultPluginFolders();

// A loaded plug-in and its entry points. The module is released when the
// object goes, and the entry points go with it: nothing of a released
// plug-in can be called afterwards.
class SpiPlugin {
public:
    // Looks for the file name in the folders, in order, and loads the first found.
    SpiPlugin(const QString& fileName, const QStringList& folders);
    ~SpiPlugin();
    SpiPlugin(const SpiPlugin&) = delete;
    SpiPlugin& operator=(const SpiPlugin&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    QString path() const { return path_; }

    SpiGetPictureInfo getPictureInfo = nullptr;
    SpiGetPicture getPicture = nullptr;
    SpiGetPicture getPreview = nullptr;

private:
    void* handle_ = nullptr;
    QString path_;
};

}  // namespace kordel
