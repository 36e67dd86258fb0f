#include "spi_harness.h"

#include <dlfcn.h>

#include <QFile>
#include <cstdlib>
#include <cstring>

#include "dib.h"

namespace kordel::test {

QString firstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QString::asprintf("size %dx%d vs %dx%d", a.width(), a.height(), b.width(),
                                 b.height());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & RGB_MASK) != (b.pixel(x, y) & RGB_MASK))
                return QString::asprintf("(%d,%d): %08x vs %08x", x, y, a.pixel(x, y),
                                         b.pixel(x, y));
    return {};
}

int widen(uint32_t value, int bits) {
    int r = 0;
    for (int k = 0; k < 8; ++k)
        r |= int((value >> (bits - 1 - k % bits)) & 1) << (7 - k);
    return r;
}

QString TestFiles::write(const QString& name, const QByteArray& data) {
    const QString path = dir_.filePath(name);
    if (!writeFile(path, data))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

SpiModule::SpiModule(const QString& name) {
    const QByteArray path = QFile::encodeName(QStringLiteral(KORDEL_BIN_DIR) + u'/' + name);
    handle_ = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        error_ = QString::fromLocal8Bit(dlerror());
        return;
    }
    getPluginInfo = reinterpret_cast<SpiGetPluginInfo>(dlsym(handle_, "GetPluginInfo"));
    isSupported_ = reinterpret_cast<SpiIsSupported>(dlsym(handle_, "IsSupported"));
    getPictureInfo = reinterpret_cast<SpiGetPictureInfo>(dlsym(handle_, "GetPictureInfo"));
    getPicture = reinterpret_cast<SpiGetPicture>(dlsym(handle_, "GetPicture"));
    getPreview = reinterpret_cast<SpiGetPicture>(dlsym(handle_, "GetPreview"));
    if (!getPluginInfo || !isSupported_ || !getPictureInfo || !getPicture || !getPreview) {
        error_ = QStringLiteral("entry point missing in ") + name;
        dlclose(handle_);
        handle_ = nullptr;
    }
}

SpiModule::~SpiModule() {
    if (handle_)
        dlclose(handle_);
}

bool SpiModule::isSupported(const QString& file) {
    QByteArray head = readFile(file).left(SPI_HEAD_SIZE);
    head.append(QByteArray(SPI_HEAD_SIZE - head.size(), '\0'));
    return isSupported_(QFile::encodeName(file).constData(), head.data()) != 0;
}

int SpiModule::pictureInfo(const QString& file, PictureInfo& info, intptr_t offset) {
    std::memset(&info, 0, sizeof info);
    const int rc = getPictureInfo(QFile::encodeName(file).constData(), offset, 0, &info);
    std::free(info.hInfo);
    info.hInfo = nullptr;
    return rc;
}

namespace {
struct ProgressContext {
    std::function<int(int, int)>* fn;
    int calls;
};
int32_t progressTrampoline(int32_t done, int32_t total, intptr_t user) {
    auto* ctx = reinterpret_cast<ProgressContext*>(user);
    ++ctx->calls;
    return (*ctx->fn)(done, total);
}
}  // namespace

SpiModule::Result SpiModule::picture(const QString& file,
                                     intptr_t offset,
                                     std::function<int(int, int)> progress,
                                     bool preview) {
    Result r;
    void* info = nullptr;
    void* bits = nullptr;
    ProgressContext ctx{&progress, 0};
    r.code = (preview ? getPreview : getPicture)(
        QFile::encodeName(file).constData(), offset, 0, &info, &bits,
        progress ? progressTrampoline : nullptr, reinterpret_cast<intptr_t>(&ctx));
    r.progressCalls = ctx.calls;
    if (r.code == SPI_OK && info && bits) {
        SpiBitmapInfoHeader h;
        std::memcpy(&h, info, sizeof h);
        r.bitCount = h.biBitCount;
        r.height = h.biHeight;
        r.colours = int(h.biClrUsed);
        r.image = imageFromDib(info, bits);
    }
    std::free(info);
    std::free(bits);
    return r;
}

QString decodeMismatch(SpiModule& spi,
                       const QString& path,
                       const Expected& want,
                       SpiModule::Result* result) {
    const QSize size = want.size.isValid() ? want.size : want.image.size();
    PictureInfo info;
    const int code = spi.pictureInfo(path, info);
    if (code != SPI_OK || QSize(info.width, info.height) != size ||
        (want.depth && info.colorDepth != want.depth) ||
        (!want.densities.isEmpty() && QSize(info.x_density, info.y_density) != want.densities))
        return QString::asprintf("info: result %d, %dx%d, depth %d, densities %d:%d", code,
                                 info.width, info.height, info.colorDepth, info.x_density,
                                 info.y_density);
    const SpiModule::Result r = spi.picture(path);
    if (result)
        *result = r;
    if (r.code != SPI_OK || (want.bitCount && r.bitCount != want.bitCount) || r.height <= 0)
        return QString::asprintf("picture: result %d, %d bits, height %d (rows bottom-up)", r.code,
                                 r.bitCount, r.height);
    if (!want.image.isNull())
        return firstDifference(r.image, want.image);
    return r.image.size() == size
               ? QString()
               : QString::asprintf("picture: size %dx%d", r.image.width(), r.image.height());
}

}  // namespace kordel::test
