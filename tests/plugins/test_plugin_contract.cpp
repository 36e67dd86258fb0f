// What every decoder plug-in must do whatever its format, run as rows of plug-in ×
// case over the plug-in's picture in samples/: the C interface with bad arguments,
// the sound file (also inside a larger file at offset 128), a missing file, every cut
// and flipped bytes, progress and cancel, decoding on several threads, and the result
// codes of the hostile files under fuzz/corpus/.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTest>
#include <chrono>
#include <cstring>
#include <future>
#include <initializer_list>
#include <thread>
#include <vector>

#include "decode.h"
#include "spi_harness.h"

using namespace kordel::test;

namespace {

struct Plugin {
    const char* module;
    const char* sample;  // in samples/, named *.<the first pattern of the plug-in>
};
const Plugin kPlugins[] = {
    {"ifjpeg", "sample.jpg"}, {"ifgif", "sample.gif"}, {"iftiff", "sample.tif"},
    {"ifpic", "sample.pic"},  {"ifpic2", "sample.p2"}, {"ifmag", "sample.mag"},
    {"ifpi", "sample.pi"},    {"ifxld4", "sample.q4"},
};

// Hostile files under fuzz/corpus/<plug-in>/, named after what they provoke, by the
// results they must give: what the info says, and what the picture and the preview say.
struct CorpusGroup {
    const char* module;
    int info, picture;
    std::initializer_list<const char*> files;
};
// clang-format off
const CorpusGroup kCorpus[] = {
    {"ifjpeg", SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT, {"start-marker-only.jpg"}},
    {"ifjpeg", SPI_BROKEN_DATA, SPI_BROKEN_DATA, {"header-without-scan.jpg"}},
    {"ifjpeg", SPI_OK, SPI_NO_MEMORY, {"width-40000.jpg", "pixels-20000x20000.jpg"}},
    {"ifjpeg", SPI_OK, SPI_BROKEN_DATA, {"cut-before-the-first-band.jpg",
        "progressive-cut-in-the-first-scan.jpg"}},
    // A phone camera's 72 megapixels, cut after a few bands: past the limit of other kinds.
    {"ifjpeg", SPI_OK, SPI_OK, {"pixels-12000x6000.jpg"}},
    {"ifgif", SPI_BROKEN_DATA, SPI_BROKEN_DATA, {"no-image.gif"}},
    {"ifgif", SPI_OK, SPI_NO_MEMORY, {"width-40000.gif", "pixels-20000x20000.gif"}},
    {"ifgif", SPI_OK, SPI_BROKEN_DATA, {"cut-before-the-image-data.gif"}},
    {"iftiff", SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT, {"float-samples.tif",
        "samples-65535-of-65032-bits.tif"}},
    {"iftiff", SPI_OK, SPI_NO_MEMORY, {"width-40000.tif"}},
    {"iftiff", SPI_BROKEN_DATA, SPI_BROKEN_DATA, {"directory-offset-past-the-end.tif",
        "strips-without-the-directory.tif"}},
    {"iftiff", SPI_OK, SPI_BROKEN_DATA, {"cut-in-the-first-strip.tif"}},
    {"ifpic", SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT, {"gif-signature.pic", "reserved-byte-set.pic",
        "machine-type-5.pic", "x68000-24-bit.pic", "x68000-mode-1.pic", "pc-88va-odd-size.pic",
        "pc-88va-tiled-256.pic", "generic-mode-2.pic"}},
    {"ifpic", SPI_BROKEN_DATA, SPI_BROKEN_DATA, {"magic-only.pic", "comment-never-ends.pic",
        "cut-in-the-sizes.pic", "palette-9-bit-channels.pic", "generic-mode-15-without-ratio.pic",
        "width-0.pic"}},
    {"ifpic", SPI_OK, SPI_BROKEN_DATA, {"header-without-data.pic", "data-ends-early.pic",
        "length-code-of-40-ones.pic", "endless-chain.pic"}},
    {"ifpic", SPI_NO_MEMORY, SPI_NO_MEMORY, {"width-40000.pic", "pixels-20000x20000.pic"}},
    {"ifpic2", SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT, {"not-pic2.p2", "depth-6.p2", "depth-8.p2",
        "depth-16.p2", "only-an-unknown-coding.p2"}},
    {"ifpic2", SPI_BROKEN_DATA, SPI_BROKEN_DATA, {"header-cut.p2", "header-size-past-the-end.p2",
        "header-size-too-small.p2", "palette-of-300-entries.p2", "no-blocks.p2", "block-size-0.p2",
        "block-size-20.p2", "block-past-the-end.p2", "block-width-0.p2", "probability-table-cut.p2",
        "raw-block-short-of-data.p2", "more-than-4096-blocks.p2"}},
    {"ifpic2", SPI_OK, SPI_BROKEN_DATA, {"code-value-outside-the-interval.p2"}},
    {"ifpic2", SPI_NO_MEMORY, SPI_NO_MEMORY, {"block-offset-past-the-limit.p2",
        "blocks-cover-the-canvas-thrice.p2"}},
    {"ifmag", SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT, {"msx-yjk.mag"}},
    {"ifmag", SPI_BROKEN_DATA, SPI_BROKEN_DATA, {"x1-left-of-x0.mag", "y1-above-y0.mag",
        "flag-b-before-flag-a.mag"}},
    {"ifmag", SPI_OK, SPI_BROKEN_DATA, {"flag-b-size-0.mag", "pixel-offset-past-end.mag",
        "copy-up-left-from-first-column.mag", "copy-two-left-from-second-unit.mag"}},
    {"ifmag", SPI_NO_MEMORY, SPI_NO_MEMORY, {"width-65535.mag"}},
    {"ifpi", SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT, {"3-planes.pi", "comment-never-ends.pi"}},
    {"ifpi", SPI_BROKEN_DATA, SPI_BROKEN_DATA, {"extension-past-the-end.pi", "width-0.pi"}},
    {"ifpi", SPI_OK, SPI_BROKEN_DATA, {"taller-than-the-stream.pi"}},
    {"ifpi", SPI_NO_MEMORY, SPI_NO_MEMORY, {"width-40000.pi", "pixels-32767x32767.pi"}},
    {"ifxld4", SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT, {"header-cut.q4", "bad-magic.q4"}},
    {"ifxld4", SPI_OK, SPI_BROKEN_DATA, {"palette-past-end.q4", "palette-length-47.q4",
        "last-lines-missing.q4", "block-longer-than-data.q4", "width-codes-past-widest.q4",
        "code-past-dictionary.q4"}},
};
// clang-format on

QString samplePath(const QString& name) {
    return QStringLiteral(KORDEL_SOURCE_DIR "/samples/") + name;
}

// Any value a caller might leave in its output pointers.
void* const kStale = reinterpret_cast<void*>(uintptr_t(0x5a5a5a5a));

void addPluginRows() {
    QTest::addColumn<QString>("sample");
    for (const Plugin& p : kPlugins)
        QTest::newRow(p.module) << QString::fromLatin1(p.sample);
}

// The plug-in of the current row.
QString rowModule() {
    return QString::fromLatin1(QTest::currentDataTag()) + ".spi";
}

// What any damaged file may give: a result among `accepted`; where the info fails,
// the picture fails alike; a picture that decodes has the size the info told.
QString damageMismatch(SpiModule& spi, const QString& path, const QList<int>& accepted) {
    PictureInfo info;
    const int infoCode = spi.pictureInfo(path, info);
    const SpiModule::Result r = spi.picture(path);
    const int previewCode = spi.picture(path, 0, {}, true).code;
    if (accepted.contains(r.code) && accepted.contains(previewCode) &&
        (infoCode == SPI_OK || r.code == infoCode) &&
        (r.code != SPI_OK || r.image.size() == QSize(info.width, info.height)))
        return {};
    return QFileInfo(path).fileName() +
           QString::asprintf(": info %d (%dx%d), picture %d (%dx%d), preview %d", infoCode,
                             info.width, info.height, r.code, r.image.width(), r.image.height(),
                             previewCode);
}

// The program's decode routine with the plug-ins of this build.
kordel::Decoded decodeThroughProgram(const QString& path) {
    kordel::DecodeRequest request;
    request.path = path;
    request.pluginFolders = {QStringLiteral(KORDEL_BIN_DIR)};
    return kordel::decodePicture(request);
}

// Runs `call` on a worker thread and tells whether it came back within seconds. One
// that waits on the named pipe at `fifo` is let go by opening the pipe's other end
// for a moment, as often as it takes, so that a hang fails the check rather than the run.
template <class Call>
bool returnsPromptly(const QString& fifo, Call call) {
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    std::thread worker([&] {
        call();
        done.set_value();
    });
    const bool prompt = finished.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    while (finished.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        ::close(::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK));
    worker.join();
    return prompt;
}

}  // namespace

class TestPluginContract : public QObject {
    Q_OBJECT

private:
    TestFiles files_;

private slots:
    void entryPoints_data() { addPluginRows(); }
    void entryPoints() {
        QFETCH(QString, sample);
        SpiModule spi(rowModule());
        QVERIFY2(spi.isLoaded(), qPrintable(spi.error()));

        // Info strings: the version, a description, the file pattern, a format name;
        // cut to the buffer and always terminated; nothing past the list.
        char buf[64];
        QVERIFY(spi.getPluginInfo(1, buf, sizeof buf) > 0 && spi.getPluginInfo(3, buf, 64) > 0);
        spi.getPluginInfo(2, buf, sizeof buf);
        QVERIFY2(QByteArray(buf).startsWith("*." + sample.section(u'.', -1).toLatin1()), buf);
        for (const auto& [index, size, length, text] :
             {std::tuple{0, 64, 4, "00IN"}, {0, 3, 2, "00"}, {0, 0, 0, "x"}, {4, 64, 0, ""}}) {
            std::memset(buf, 'x', sizeof buf);
            buf[1] = '\0';
            QCOMPARE(spi.getPluginInfo(index, buf, size), length);
            QCOMPARE(QByteArray(buf), QByteArray(text));
        }
        QCOMPARE(spi.getPluginInfo(0, nullptr, 10), 0);

        // No head, or one of zeros, is nobody's picture.
        QCOMPARE(spi.isSupported_("x", nullptr), 0);
        char zeros[SPI_HEAD_SIZE] = {};
        QCOMPARE(spi.isSupported_("x", zeros), 0);

        // Missing outputs are refused; memory input is not offered; a file that is
        // not there, or a folder, is a read error; the outputs hold nothing after any
        // failure.
        const QByteArray missing = QFile::encodeName(files_.path("missing"));
        QCOMPARE(spi.getPictureInfo(missing.constData(), 0, 0, nullptr), int(SPI_INTERNAL_ERROR));
        PictureInfo info{};
        QCOMPARE(spi.getPictureInfo(missing.constData(), 0, 0, &info), int(SPI_READ_ERROR));
        QCOMPARE(spi.pictureInfo(QDir::tempPath(), info), int(SPI_READ_ERROR));
        QCOMPARE(spi.picture(QDir::tempPath()).code, int(SPI_READ_ERROR));
        for (const SpiGetPicture entry : {spi.getPicture, spi.getPreview}) {
            void *header = kStale, *bits = kStale;
            QCOMPARE(entry(missing.constData(), 0, 0, nullptr, &bits, nullptr, 0),
                     int(SPI_INTERNAL_ERROR));
            QCOMPARE(entry(missing.constData(), 0, 0, &header, nullptr, nullptr, 0),
                     int(SPI_INTERNAL_ERROR));
            header = bits = kStale;
            QCOMPARE(entry(missing.constData(), 0, 0, &header, &bits, nullptr, 0),
                     int(SPI_READ_ERROR));
            QVERIFY(header == nullptr && bits == nullptr);
            header = bits = kStale;
            QCOMPARE(entry("PIC", 3, 1, &header, &bits, nullptr, 0), int(SPI_UNKNOWN_FORMAT));
            QVERIFY(header == nullptr && bits == nullptr);
        }
    }

    // The sample decodes, with a preview, and no other plug-in claims it; so does
    // the same inside a larger file at offset 128.
    void soundFile_data() { addPluginRows(); }
    void soundFile() {
        QFETCH(QString, sample);
        SpiModule spi(rowModule());
        const QString path = samplePath(sample);
        QVERIFY(spi.isSupported(path));
        PictureInfo info;
        QCOMPARE(spi.pictureInfo(path, info), int(SPI_OK));
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(spi, path, {.size = {info.width, info.height}}));
        const SpiModule::Result preview = spi.picture(path, 0, {}, true);
        QCOMPARE(preview.code, int(SPI_OK));
        QVERIFY(!preview.image.isNull() && preview.image.width() <= info.width &&
                preview.image.height() <= info.height);
        for (const Plugin& other : kPlugins)
            if (QLatin1String(other.sample) != sample)
                QVERIFY2(!spi.isSupported(samplePath(QLatin1String(other.sample))), other.sample);

        // The host retries a file 128 bytes in, past a MacBinary header.
        const QString offset = files_.write("offset", QByteArray(128, 'x') + readFile(path));
        QCOMPARE(spi.pictureInfo(offset, info, 0), int(SPI_UNKNOWN_FORMAT));
        QCOMPARE(spi.picture(offset, 0).code, int(SPI_UNKNOWN_FORMAT));
        QCOMPARE(spi.pictureInfo(offset, info, 128), int(SPI_OK));
        const SpiModule::Result r = spi.picture(offset, 128);
        QCOMPARE(r.code, int(SPI_OK));
        KORDEL_VERIFY_NO_FAILURE(firstDifference(r.image, spi.picture(path).image));
        QCOMPARE(spi.picture(offset, 128, {}, true).image.size(), preview.image.size());
    }

    // Every file in samples/ (written by samples/tools/make_samples), one of every
    // kind, decodes through the program's own decode routine and the real plug-ins.
    void everySample_data() {
        QTest::addColumn<QString>("file");
        const QStringList names = QDir(KORDEL_SOURCE_DIR "/samples").entryList(QDir::Files);
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << name;
        QCOMPARE(QStringList(names).replaceInStrings("sample.", "").join(u' '),
                 "bmp emf gif ico jpg mag p2 pi pic q4 tif wmf");
    }
    void everySample() {
        QFETCH(QString, file);
        const kordel::Decoded d = decodeThroughProgram(samplePath(file));
        QCOMPARE(d.error, 0);
        QVERIFY(d.hasPicture() && d.storedSize && !d.storedSize->isEmpty());
    }

    // A named pipe under a picture's name is a read error at once, through the
    // plug-in's entry points and through the program's decode routine (also for
    // the longer TIFF name).
    void namedPipe_data() { addPluginRows(); }
    void namedPipe() {
        QFETCH(QString, sample);
        SpiModule spi(rowModule());
        const QString fifo = files_.path(QStringLiteral("pipe.") + sample.section(u'.', -1) +
                                         (sample.endsWith(u".tif") ? "f" : ""));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        PictureInfo info;
        int codes[3] = {};
        kordel::Decoded d;
        QVERIFY(returnsPromptly(fifo, [&] {
            codes[0] = spi.pictureInfo(fifo, info);
            codes[1] = spi.picture(fifo).code;
            codes[2] = spi.picture(fifo, 0, {}, true).code;
            d = decodeThroughProgram(fifo);
        }));
        QVERIFY(codes[0] == SPI_READ_ERROR && codes[1] == SPI_READ_ERROR &&
                codes[2] == SPI_READ_ERROR && d.error == SPI_READ_ERROR && !d.hasPicture());
    }

    // Every length up to a few bytes, then about sixty spread over the file; and each
    // of about 100 bytes spread over the file flipped in turn: an error, or a picture of
    // the full size.
    void damagedFiles_data() { addPluginRows(); }
    void damagedFiles() {
        QFETCH(QString, sample);
        SpiModule spi(rowModule());
        const QByteArray data = readFile(samplePath(sample));
        for (qsizetype n = 0; n < data.size(); n += n < 16 ? 1 : data.size() / 61) {
            const QString path = files_.write(QStringLiteral("cut-%1").arg(n), data.left(n));
            KORDEL_VERIFY_NO_FAILURE(
                damageMismatch(spi, path, {SPI_OK, SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA}));
            QVERIFY2(n >= 8 || spi.picture(path).code != SPI_OK, qPrintable(path));
        }
        for (qsizetype at = 0; at < data.size(); at += 1 + data.size() / 100) {
            QByteArray damaged = data;
            damaged[at] = char(~damaged[at]);
            KORDEL_VERIFY_NO_FAILURE(
                damageMismatch(spi, files_.write(QStringLiteral("flipped-%1").arg(at), damaged),
                               {SPI_OK, SPI_UNKNOWN_FORMAT, SPI_BROKEN_DATA, SPI_NO_MEMORY}));
        }
    }

    // Reports of every line in rising order, the last one complete and at least one
    // for every 16 lines; cancelling at the first or the last report cancels and
    // leaves no picture.
    void progressAndCancel_data() { addPluginRows(); }
    void progressAndCancel() {
        QFETCH(QString, sample);
        SpiModule spi(rowModule());
        const QString path = samplePath(sample);
        PictureInfo info;
        QCOMPARE(spi.pictureInfo(path, info), int(SPI_OK));
        QList<QPair<int, int>> calls;
        SpiModule::Result r = spi.picture(path, 0, [&](int done, int total) {
            calls.append({done, total});
            return 0;
        });
        QCOMPARE(r.code, int(SPI_OK));
        QVERIFY2(calls.size() >= info.height / 16, qPrintable(QString::number(calls.size())));
        for (int i = 0; i < calls.size(); ++i)
            QVERIFY(calls[i].second == info.height &&
                    (i == 0 || calls[i].first >= calls[i - 1].first));
        QCOMPARE(calls.last().first, info.height);

        r = spi.picture(path, 0, [](int, int) { return 1; });
        QVERIFY(r.code == SPI_CANCELLED && r.progressCalls == 1 && r.image.isNull());
        r = spi.picture(path, 0, [](int done, int total) { return done == total ? 1 : 0; });
        QVERIFY(r.code == SPI_CANCELLED && r.image.isNull());
    }

    void hostileFiles_data() {
        QTest::addColumn<int>("info");
        QTest::addColumn<int>("picture");
        for (const CorpusGroup& g : kCorpus)
            for (const char* name : g.files)
                QTest::addRow("%s/%s", g.module, name) << g.info << g.picture;
    }
    void hostileFiles() {
        QFETCH(int, picture);
        const QString file = QString::fromLatin1(QTest::currentDataTag());  // plug-in/name
        SpiModule spi(file.section(u'/', 0, 0) + ".spi");
        const QString path = QStringLiteral(KORDEL_SOURCE_DIR "/fuzz/corpus/") + file;
        PictureInfo pi;
        QTEST(spi.pictureInfo(path, pi), "info");
        QCOMPARE(spi.picture(path).code, picture);
        // The quarter-size preview of a JPEG too large to decode whole is within the limits.
        const bool quarterFits = file.startsWith(u"ifjpeg/") && picture == SPI_NO_MEMORY;
        QCOMPARE(spi.picture(path, 0, {}, true).code, quarterFits ? int(SPI_OK) : picture);
    }

    // Decoders keep no state between calls: three threads decoding at once, one of
    // them a cut copy, each get what one alone gets.
    void severalThreads_data() { addPluginRows(); }
    void severalThreads() {
        QFETCH(QString, sample);
        SpiModule spi(rowModule());
        const QByteArray data = readFile(samplePath(sample));
        const QString paths[] = {samplePath(sample),
                                 files_.write("cut", data.left(data.size() * 3 / 4))};
        const SpiModule::Result alone[] = {spi.picture(paths[0]), spi.picture(paths[1])};
        bool same[3] = {true, true, true};
        std::vector<std::thread> threads;
        for (int i = 0; i < 3; ++i)
            threads.emplace_back([&, i] {
                for (int n = 0; n < 50; ++n) {
                    const SpiModule::Result r = spi.picture(paths[i / 2]);
                    same[i] =
                        same[i] && r.code == alone[i / 2].code && r.image == alone[i / 2].image;
                }
            });
        for (std::thread& t : threads)
            t.join();
        QVERIFY(same[0] && same[1] && same[2]);
    }
};

QTEST_MAIN(TestPluginContract)
#include "test_plugin_contract.moc"
