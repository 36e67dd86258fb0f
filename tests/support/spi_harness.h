// Test access to a decoder plug-in: loads the module from the build's program
// folder and calls its entry points directly, plus the few checks the plug-in
// suites share.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>

#include "file_io.h"
#include "spi.h"

// Fails the calling test function with the text that `check` gives, if any.
#define KORDEL_VERIFY_NO_FAILURE(check)         \
    do {                                        \
        const QString kordelFailure_ = (check); \
        if (!kordelFailure_.isEmpty())          \
            QFAIL(qPrintable(kordelFailure_));  \
    } while (false)

namespace kordel::test {

// Where two pictures first differ in size or colour (alpha aside), for failure
// messages; empty when they show the same.
QString firstDifference(const QImage& a, const QImage& b);

// An n-bit channel widened to 8 bits by repeating its bits from the top.
int widen(uint32_t value, int bits);

// A private temporary folder for the files a test hands to a plug-in.
class TestFiles {
public:
    QString path(const QString& name) const { return dir_.filePath(name); }
    // Writes `data` as the named file and gives its path.
    QString write(const QString& name, const QByteArray& data);

private:
    QTemporaryDir dir_;
};

class SpiModule {
public:
    // name: module file name such as "ifmag.spi", looked up in the build's program folder.
    explicit SpiModule(const QString& name);
    ~SpiModule();
    SpiModule(const SpiModule&) = delete;
    SpiModule& operator=(const SpiModule&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    QString error() const { return error_; }

    // Reads the first 2 KiB of the file (zero-filled) and asks the plug-in.
    bool isSupported(const QString& file);
    int pictureInfo(const QString& file, PictureInfo& info, intptr_t offset = 0);

    struct Result {
        int code = -1;
        QImage image;      // the DIB converted, upright
        int bitCount = 0;  // biBitCount of the delivered DIB
        int height = 0;    // biHeight as delivered (sign tells the row order)
        int colours = 0;   // biClrUsed of the delivered DIB
        int progressCalls = 0;
    };
    // progress: return non-zero to cancel; null to pass no callback.
    Result picture(const QString& file,
                   intptr_t offset = 0,
                   std::function<int(int, int)> progress = {},
                   bool preview = false);

    // The raw entry points, for calls the wrappers above never make.
    SpiGetPluginInfo getPluginInfo = nullptr;
    SpiIsSupported isSupported_ = nullptr;
    SpiGetPictureInfo getPictureInfo = nullptr;
    SpiGetPicture getPicture = nullptr;
    SpiGetPicture getPreview = nullptr;

private:
    void* handle_ = nullptr;
    QString error_;
};

// What a sound file must give.
struct Expected {
    QImage image{};     // when not null: the colours, alpha aside
    QSize size{};       // when not valid: the image's
    int depth = 0;      // colour depth the info tells; 0: not checked
    int bitCount = 0;   // of the delivered DIB; 0: not checked
    QSize densities{};  // x and y density the info tells; empty: not checked
};

// Asks the info and the picture of `path`: both succeed, the picture comes
// bottom-up and as `want` tells. `result`, when given, receives the picture.
QString decodeMismatch(SpiModule& spi,
                       const QString& path,
                       const Expected& want,
                       SpiModule::Result* result = nullptr);

}  // namespace kordel::test
