// Test access to a decoder plug-in: loads the module from the build's program
// folder and calls its entry points directly.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <functional>

#include "spi.h"

namespace kordel::test {

// Folder of the real-world fixtures; empty when it is not there.
QString fixturesDir();

// Where two pictures first differ in size or colour (alpha aside), for failure
// messages; empty when they show the same.
QString firstDifference(const QImage& a, const QImage& b);

class SpiModule {
public:
    // name: module file name such as "ifmag.spi", looked up in the build's program folder.
    explicit SpiModule(const QString& name);
    ~SpiModule();
    SpiModule(const SpiModule&) = delete;
    SpiModule& operator=(const SpiModule&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    QString error() const { return error_; }

    QByteArray pluginInfo(int infono);
    // Reads the first 2 KiB of the file (zero-filled) and asks the plug-in.
    bool isSupported(const QString& file);
    int pictureInfo(const QString& file, PictureInfo& info, intptr_t offset = 0);

    struct Result {
        int code = -1;
        QImage image;      // the DIB converted, upright
        int bitCount = 0;  // biBitCount of the delivered DIB
        int height = 0;    // biHeight as delivered (sign tells the row order)
        int progressCalls = 0;
    };
    // progress: return non-zero to cancel; null to pass no callback.
    Result picture(const QString& file,
                   intptr_t offset = 0,
                   std::function<int(int, int)> progress = {},
                   bool preview = false);

private:
    void* handle_ = nullptr;
    QString error_;
    SpiGetPluginInfo getPluginInfo_ = nullptr;
    SpiIsSupported isSupported_ = nullptr;
    SpiGetPictureInfo getPictureInfo_ = nullptr;
    SpiGetPicture getPicture_ = nullptr;
    SpiGetPicture getPreview_ = nullptr;
};

}  // namespace kordel::test
