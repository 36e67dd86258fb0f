#include "spi_harness.h"

#include <dlfcn.h>

#include <QDir>
#include <QFile>
#include <cstdlib>
#include <cstring>

#include "dib.h"

namespace kordel::test {

QString fixturesDir() {
    const QString dir = QStringLiteral(KORDEL_FIXTURES_DIR);
    return QDir(dir).exists() ? QDir(dir).absolutePath() : QString();
}

QString firstDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return QStringLiteral("size %1x%2 vs %3x%4")
            .arg(a.width())
            .arg(a.height())
            .arg(b.width())
            .arg(b.height());
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if ((a.pixel(x, y) & RGB_MASK) != (b.pixel(x, y) & RGB_MASK))
                return QStringLiteral("(%1,%2): %3 vs %4")
                    .arg(x)
                    .arg(y)
                    .arg(a.pixel(x, y), 8, 16)
                    .arg(b.pixel(x, y), 8, 16);
    return {};
}

SpiModule::SpiModule(const QString& name) {
    const QByteArray path = QFile::encodeName(QStringLiteral(KORDEL_BIN_DIR) + u'/' + name);
    handle_ = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        error_ = QString::fromLocal8Bit(dlerror());
        return;
    }
    getPluginInfo_ = reinterpret_cast<SpiGetPluginInfo>(dlsym(handle_, "GetPluginInfo"));
    isSupported_ = reinterpret_cast<SpiIsSupported>(dlsym(handle_, "IsSupported"));
    getPictureInfo_ = reinterpret_cast<SpiGetPictureInfo>(dlsym(handle_, "GetPictureInfo"));
    getPicture_ = reinterpret_cast<SpiGetPicture>(dlsym(handle_, "GetPicture"));
    getPreview_ = reinterpret_cast<SpiGetPicture>(dlsym(handle_, "GetPreview"));
    if (!getPluginInfo_ || !isSupported_ || !getPictureInfo_ || !getPicture_) {
        error_ = QStringLiteral("entry point missing in ") + name;
        dlclose(handle_);
        handle_ = nullptr;
    }
}

SpiModule::~SpiModule() {
    if (handle_)
        dlclose(handle_);
}

QByteArray SpiModule::pluginInfo(int infono) {
    char buf[256] = {};
    const int n = getPluginInfo_(infono, buf, sizeof buf);
    return QByteArray(buf, qBound(0, n, int(sizeof buf)));
}

bool SpiModule::isSupported(const QString& file) {
    QByteArray head(SPI_HEAD_SIZE, '\0');
    QFile f(file);
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray data = f.read(SPI_HEAD_SIZE);
        std::memcpy(head.data(), data.constData(), size_t(data.size()));
    }
    return isSupported_(QFile::encodeName(file).constData(), head.data()) != 0;
}

int SpiModule::pictureInfo(const QString& file, PictureInfo& info, intptr_t offset) {
    std::memset(&info, 0, sizeof info);
    const int rc = getPictureInfo_(QFile::encodeName(file).constData(), offset, 0, &info);
    if (info.hInfo) {
        std::free(info.hInfo);
        info.hInfo = nullptr;
    }
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
    SpiGetPicture entry = preview ? getPreview_ : getPicture_;
    if (!entry)
        return r;
    void* info = nullptr;
    void* bits = nullptr;
    ProgressContext ctx{&progress, 0};
    r.code = entry(QFile::encodeName(file).constData(), offset, 0, &info, &bits,
                   progress ? progressTrampoline : nullptr, reinterpret_cast<intptr_t>(&ctx));
    r.progressCalls = ctx.calls;
    if (r.code == SPI_OK && info && bits) {
        SpiBitmapInfoHeader h;
        std::memcpy(&h, info, sizeof h);
        r.bitCount = h.biBitCount;
        r.height = h.biHeight;
        r.image = imageFromDib(info, bits);
    }
    std::free(info);
    std::free(bits);
    return r;
}

}  // namespace kordel::test
