#include "spi_loader.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kordel {

QStringList defaultPluginFolders() {
    const QString program = QCoreApplication::applicationDirPath();
    return {program, QDir::currentPath(),
            QDir::cleanPath(program + QStringLiteral("/../lib/kordel"))};
}

SpiPlugin::SpiPlugin(const QString& fileName, const QStringList& folders) {
    for (const QString& folder : folders) {
        const QString candidate = QDir(folder).filePath(fileName);
        if (!QFileInfo(candidate).isFile())
            continue;
        // Local binding: two plug-ins never see each other's symbols.
        handle_ = dlopen(QFile::encodeName(candidate).constData(), RTLD_NOW | RTLD_LOCAL);
        if (handle_) {
            path_ = candidate;
            break;
        }
    }
    if (!handle_)
        return;
    getPictureInfo = reinterpret_cast<SpiGetPictureInfo>(dlsym(handle_, "GetPictureInfo"));
    getPicture = reinterpret_cast<SpiGetPicture>(dlsym(handle_, "GetPicture"));
    getPreview = reinterpret_cast<SpiGetPicture>(dlsym(handle_, "GetPreview"));
}

SpiPlugin::~SpiPlugin() {
    getPictureInfo = nullptr;
    getPicture = nullptr;
    getPreview = nullptr;
    if (handle_)
        dlclose(handle_);
}

}  // namespace kordel
