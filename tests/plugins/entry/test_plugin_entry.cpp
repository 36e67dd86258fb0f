// What every decoder plug-in answers at its C interface, whatever its format:
// the five entry points, the plug-in info strings, and bad arguments, which must
// give an error result rather than a crash or a stale output pointer.
#include <dlfcn.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

#include "spi.h"

namespace {

// Any value a caller might leave in its output pointers.
void* const kStale = reinterpret_cast<void*>(uintptr_t(0x5a5a5a5a));

class Module {
public:
    explicit Module(const QString& name) {
        const QByteArray path = QFile::encodeName(QStringLiteral(KORDEL_BIN_DIR "/") + name);
        handle_ = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    }
    ~Module() {
        if (handle_)
            dlclose(handle_);
    }
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    template <class F>
    F entry(const char* name) const {
        return reinterpret_cast<F>(dlsym(handle_, name));
    }

private:
    void* handle_ = nullptr;
};

}  // namespace

class TestPluginEntry : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

private slots:
    void everyEntryPoint_data();
    void everyEntryPoint();
};

void TestPluginEntry::everyEntryPoint_data() {
    QTest::addColumn<QString>("module");
    QTest::addColumn<QByteArray>("pattern");
    QTest::newRow("jpeg") << "ifjpeg.spi" << QByteArray("*.jpg");
    QTest::newRow("gif") << "ifgif.spi" << QByteArray("*.gif");
    QTest::newRow("tiff") << "iftiff.spi" << QByteArray("*.tif");
    QTest::newRow("pic") << "ifpic.spi" << QByteArray("*.pic");
    QTest::newRow("pic2") << "ifpic2.spi" << QByteArray("*.p2");
    QTest::newRow("mag") << "ifmag.spi" << QByteArray("*.mag");
    QTest::newRow("pi") << "ifpi.spi" << QByteArray("*.pi");
    QTest::newRow("xld4") << "ifxld4.spi" << QByteArray("*.q4");
}

void TestPluginEntry::everyEntryPoint() {
    QFETCH(QString, module);
    QFETCH(QByteArray, pattern);
    const Module m(module);
    QVERIFY2(m.isLoaded(), dlerror());
    const auto pluginInfo = m.entry<SpiGetPluginInfo>("GetPluginInfo");
    const auto isSupported = m.entry<SpiIsSupported>("IsSupported");
    const auto pictureInfo = m.entry<SpiGetPictureInfo>("GetPictureInfo");
    const auto picture = m.entry<SpiGetPicture>("GetPicture");
    const auto preview = m.entry<SpiGetPicture>("GetPreview");
    QVERIFY(pluginInfo && isSupported && pictureInfo && picture && preview);

    // Info strings: the version, a description, the file pattern; cut to the buffer
    // and always terminated; nothing past the list.
    char buf[64];
    QCOMPARE(pluginInfo(0, buf, sizeof buf), 4);
    QCOMPARE(QByteArray(buf), QByteArray("00IN"));
    QVERIFY(pluginInfo(1, buf, sizeof buf) > 0);
    pluginInfo(2, buf, sizeof buf);
    QVERIFY2(QByteArray(buf).startsWith(pattern), buf);
    std::memset(buf, 'x', sizeof buf);
    QCOMPARE(pluginInfo(0, buf, 3), 2);
    QCOMPARE(QByteArray(buf), QByteArray("00"));
    std::memset(buf, 'x', sizeof buf);
    QCOMPARE(pluginInfo(99, buf, sizeof buf), 0);
    QCOMPARE(buf[0], '\0');
    QCOMPARE(pluginInfo(0, nullptr, 10), 0);

    // No head, or one of zeros, is nobody's picture.
    QCOMPARE(isSupported("x", nullptr), 0);
    char zeros[SPI_HEAD_SIZE] = {};
    QCOMPARE(isSupported("x", zeros), 0);

    // Missing outputs are refused; a file that is not there is a read error, and
    // the outputs hold nothing afterwards.
    const QByteArray missing = QFile::encodeName(dir_.filePath(QStringLiteral("missing")));
    QCOMPARE(pictureInfo(missing.constData(), 0, 0, nullptr), int(SPI_INTERNAL_ERROR));
    PictureInfo info{};
    QCOMPARE(pictureInfo(missing.constData(), 0, 0, &info), int(SPI_READ_ERROR));
    for (const SpiGetPicture entry : {picture, preview}) {
        void* bits = kStale;
        QCOMPARE(entry(missing.constData(), 0, 0, nullptr, &bits, nullptr, 0),
                 int(SPI_INTERNAL_ERROR));
        void* header = kStale;
        QCOMPARE(entry(missing.constData(), 0, 0, &header, nullptr, nullptr, 0),
                 int(SPI_INTERNAL_ERROR));
        header = bits = kStale;
        QCOMPARE(entry(missing.constData(), 0, 0, &header, &bits, nullptr, 0), int(SPI_READ_ERROR));
        QVERIFY(header == nullptr && bits == nullptr);
    }
}

QTEST_GUILESS_MAIN(TestPluginEntry)
#include "test_plugin_entry.moc"
