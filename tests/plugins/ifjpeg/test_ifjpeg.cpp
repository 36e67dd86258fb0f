// Tests of the JPEG decoder plug-in with files written here by libjpeg.
#include <dlfcn.h>

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include "plugin_tests.h"

using namespace kordel::test;

namespace {

using Pixel = std::function<QRgb(int, int)>;

// Smooth content that JPEG keeps close to the original.
QRgb smooth(int x, int y) {
    const int r = (x * 255) / 160;
    const int g = (y * 255) / 120;
    const int b = 128 + int(90 * std::sin((x + y) / 25.0));
    return qRgb(qBound(0, r, 255), qBound(0, g, 255), qBound(0, b, 255));
}

struct JpegOptions {
    int quality = 95;
    bool progressive = false;
    bool gray = false;
    bool cmyk = false;
    bool ycck = false;
    bool adobe = true;  // write the Adobe segment (then CMYK is stored inverted)
    bool fullChroma = false;
    int restartRows = 0;
};

// CMYK from RGB with the largest channel setting K.
void toCmyk(QRgb c, int out[4]) {
    const int r = qRed(c), g = qGreen(c), b = qBlue(c);
    const int mx = std::max({r, g, b});
    out[3] = 255 - mx;
    out[0] = mx ? 255 * (mx - r) / mx : 0;
    out[1] = mx ? 255 * (mx - g) / mx : 0;
    out[2] = mx ? 255 * (mx - b) / mx : 0;
}

QByteArray encodeJpeg(int w, int h, const Pixel& px, const JpegOptions& o = {}) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = o.gray ? 1 : o.cmyk ? 4 : 3;
    c.in_color_space = o.gray ? JCS_GRAYSCALE : o.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (o.ycck)
        jpeg_set_colorspace(&c, JCS_YCCK);
    if (o.cmyk && !o.adobe)
        c.write_Adobe_marker = FALSE;
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.fullChroma)
        c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;
    if (o.progressive)
        jpeg_simple_progression(&c);
    c.restart_in_rows = o.restartRows;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(size_t(w) * size_t(c.input_components));
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < w; ++x) {
            const QRgb p = px(x, y);
            JSAMPLE* s = row.data() + size_t(x) * size_t(c.input_components);
            if (o.gray) {
                s[0] = JSAMPLE(qGray(p));
            } else if (o.cmyk) {
                int k[4];
                toCmyk(p, k);
                for (int i = 0; i < 4; ++i)
                    s[i] = JSAMPLE(o.adobe ? 255 - k[i] : k[i]);
            } else {
                s[0] = JSAMPLE(qRed(p));
                s[1] = JSAMPLE(qGreen(p));
                s[2] = JSAMPLE(qBlue(p));
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray data(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return data;
}

// Mean and largest channel difference between a decoded picture and the content.
struct Difference {
    double mean = 0;
    int max = 0;
};
Difference compare(const QImage& img, const Pixel& px, bool gray = false) {
    Difference d;
    qint64 sum = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb a = img.pixel(x, y);
            const QRgb b = px(x, y);
            const int e[3] = {
                std::abs(qRed(a) - (gray ? qGray(b) : qRed(b))),
                std::abs(qGreen(a) - (gray ? qGray(b) : qGreen(b))),
                std::abs(qBlue(a) - (gray ? qGray(b) : qBlue(b))),
            };
            for (int v : e) {
                sum += v;
                d.max = std::max(d.max, v);
            }
        }
    }
    d.mean = double(sum) / (3.0 * img.width() * img.height());
    return d;
}

// Offset of the first marker `code` after SOI (-1 when absent).
int findMarker(const QByteArray& data, uchar code, int from = 2) {
    for (int i = from; i + 1 < data.size(); ++i) {
        if (uchar(data[i]) == 0xFF && uchar(data[i + 1]) == code)
            return i;
    }
    return -1;
}

}  // namespace

class TestIfJpeg : public QObject {
    Q_OBJECT

private:
    TestFiles files_;
    SpiModule spi_{QStringLiteral("ifjpeg.spi")};

private slots:
    void initTestCase() {
        QVERIFY(files_.isValid());
        QVERIFY2(spi_.isLoaded(), qPrintable(spi_.error()));
    }

    void pluginInfoAndSignature() {
        KORDEL_VERIFY_NO_FAILURE(pluginInfoMismatch(spi_, "*.jpg;*.jpe;*.jpeg"));

        // Straight through the entry points: a short buffer and other input kinds.
        void* module = dlopen(KORDEL_BIN_DIR "/ifjpeg.spi", RTLD_NOW | RTLD_LOCAL);
        QVERIFY(module);
        auto info = reinterpret_cast<SpiGetPluginInfo>(dlsym(module, "GetPluginInfo"));
        char buf[8];
        std::memset(buf, '#', sizeof buf);
        QCOMPARE(info(2, buf, 4), 3);
        QCOMPARE(QByteArray(buf, 5), QByteArray("*.j\0#", 5));
        QCOMPARE(info(0, buf, 0), 0);
        QCOMPARE(info(9, buf, 8), 0);
        QCOMPARE(buf[0], '\0');

        const QString jpeg = files_.write("sig.jpg", encodeJpeg(8, 8, smooth));
        auto pictureInfo = reinterpret_cast<SpiGetPictureInfo>(dlsym(module, "GetPictureInfo"));
        PictureInfo pi;
        QCOMPARE(pictureInfo(QFile::encodeName(jpeg).constData(), 0, 1, &pi), 2);  // memory input
        QCOMPARE(pictureInfo(QFile::encodeName(jpeg).constData(), 0, 0, &pi), 0);
        QVERIFY(pi.hInfo == nullptr);
        dlclose(module);
        QVERIFY(spi_.isSupported(jpeg));
        QVERIFY(!spi_.isSupported(files_.write("sig.gif", "GIF89a\x01\x00\x01\x00")));
        QVERIFY(!spi_.isSupported(files_.write("empty.jpg", QByteArray())));
    }

    void decodesKinds_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("depth");
        QTest::addColumn<double>("meanLimit");
        QTest::newRow("baseline 4:2:0") << 0 << 24 << 3.0;
        QTest::newRow("baseline 4:4:4") << 1 << 24 << 2.0;
        QTest::newRow("progressive") << 2 << 24 << 3.0;
        QTest::newRow("gray") << 3 << 8 << 2.0;
        QTest::newRow("restart markers") << 4 << 24 << 3.0;
        QTest::newRow("cmyk adobe") << 5 << 32 << 4.0;
        QTest::newRow("ycck adobe") << 6 << 32 << 4.0;
        QTest::newRow("cmyk plain") << 7 << 32 << 4.0;
    }
    void decodesKinds() {
        QFETCH(int, kind);
        QFETCH(int, depth);
        QFETCH(double, meanLimit);
        JpegOptions o;
        o.fullChroma = kind == 1;
        o.progressive = kind == 2;
        o.gray = kind == 3;
        o.restartRows = kind == 4 ? 1 : 0;
        o.cmyk = kind >= 5;
        o.ycck = kind == 6;
        o.adobe = kind != 7;
        const QString path =
            files_.write(QStringLiteral("kind%1.jpg").arg(kind), encodeJpeg(101, 75, smooth, o));

        SpiModule::Result r;
        const Expected want{.size = QSize(101, 75),
                            .depth = depth,
                            .bitCount = o.gray ? 8 : 24,
                            .densities = QSize(1, 1)};
        KORDEL_VERIFY_NO_FAILURE(decodeMismatch(spi_, path, want, &r));
        const Difference d = compare(r.image, smooth, o.gray);
        QVERIFY2(d.mean <= meanLimit && d.max <= 48,
                 qPrintable(QStringLiteral("mean %1 max %2").arg(d.mean).arg(d.max)));
    }

    void previewIsQuarterRoundedUp_data() {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<bool>("progressive");
        QTest::newRow("101x75") << 101 << 75 << false;
        QTest::newRow("160x120 exact") << 160 << 120 << false;
        QTest::newRow("progressive 101x75") << 101 << 75 << true;
        QTest::newRow("3x1") << 3 << 1 << false;
    }
    void previewIsQuarterRoundedUp() {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(bool, progressive);
        JpegOptions o;
        o.progressive = progressive;
        const QString path = files_.write("preview.jpg", encodeJpeg(w, h, smooth, o));
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(path, info), 0);
        QCOMPARE(info.width, w);  // the info always tells the stored size

        const SpiModule::Result r = spi_.picture(path, 0, {}, true);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.size(), QSize((w + 3) / 4, (h + 3) / 4));
        // Each preview pixel stands for a 4 × 4 block of the picture.
        const Difference d =
            compare(r.image, [](int x, int y) { return smooth(4 * x + 2, 4 * y + 2); });
        QVERIFY2(d.mean <= 6, qPrintable(QString::number(d.mean)));
    }

    void dataAtOffset128() {
        const QByteArray jpeg = encodeJpeg(64, 48, smooth);
        const QString plain = files_.write("plain.jpg", jpeg);
        const QString path = files_.write("offset.jpg", QByteArray(128, 'x') + jpeg);
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(path, info, 0), 2);
        QCOMPARE(spi_.pictureInfo(path, info, 128), 0);
        QCOMPARE(info.width, 64);
        const SpiModule::Result r = spi_.picture(path, 128);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image, spi_.picture(plain).image);
        QCOMPARE(spi_.picture(path, 128, {}, true).image.size(), QSize(16, 12));
    }

    void rejectsOtherInput() {
        PictureInfo info;
        QCOMPARE(spi_.pictureInfo(files_.write("text.jpg", "hello, this is not a picture"), info),
                 2);
        QCOMPARE(spi_.picture(files_.write("short.jpg", "\xFF\xD8")).code, 2);
        QCOMPARE(spi_.pictureInfo(files_.path("missing.jpg"), info), 6);
        QCOMPARE(spi_.picture(files_.folder()).code, 6);  // a folder
        // Only a header: the signature is right, the data is not there.
        const QByteArray jpeg = encodeJpeg(64, 48, smooth);
        const QString cut = files_.write("header.jpg", jpeg.left(100));
        QCOMPARE(spi_.pictureInfo(cut, info), 3);
        QCOMPARE(spi_.picture(cut).code, 3);
    }

    // A damaged or truncated file gives what could be decoded, or 3 when not even
    // the first band of rows arrived.
    void truncatedFiles() {
        JpegOptions o;
        o.restartRows = 1;  // RST markers show where each band of 16 rows ends
        const QByteArray jpeg = encodeJpeg(160, 120, smooth, o);
        const QImage full = spi_.picture(files_.write("whole.jpg", jpeg)).image;
        const int rst0 = findMarker(jpeg, 0xD0);
        const int sos = findMarker(jpeg, 0xDA);
        QVERIFY(rst0 > sos && sos > 0);

        QCOMPARE(spi_.picture(files_.write("cut.jpg", jpeg.left(sos + 20))).code, 3);
        QCOMPARE(spi_.picture(files_.write("cut.jpg", jpeg.left(rst0 - 16))).code, 3);
        SpiModule::Result r = spi_.picture(files_.write("cut.jpg", jpeg.left(rst0 + 2)));
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.size(), QSize(160, 120));
        QCOMPARE(r.image.copy(0, 0, 160, 8), full.copy(0, 0, 160, 8));
        // What is missing is mid-gray.
        QCOMPARE(qGray(r.image.pixel(80, 110)), 128);

        const Cuts cuts{
            .name = "cut.jpg", .accepted = {0, 2, 3}, .step = 97, .size = QSize(160, 120)};
        KORDEL_VERIFY_NO_FAILURE(checkCuts(
            spi_, files_, jpeg, cuts, [&](qsizetype length, const SpiModule::Result& result) {
                return codeOutside(result.code, length < 3           ? Codes{2}
                                                : length < rst0 - 16 ? Codes{3}
                                                : length >= rst0 + 2 ? Codes{0}
                                                                     : Codes{0, 3});
            }));
    }

    void truncatedProgressive() {
        JpegOptions o;
        o.progressive = true;
        const QByteArray jpeg = encodeJpeg(160, 120, smooth, o);
        const int first = findMarker(jpeg, 0xDA);
        const int second = findMarker(jpeg, 0xDA, first + 2);
        QVERIFY(second > first && first > 0);
        // The first scan alone (DC of every component) is a usable picture.
        const SpiModule::Result r = spi_.picture(files_.write("prog.jpg", jpeg.left(second)));
        QCOMPARE(r.code, 0);
        QVERIFY(compare(r.image, smooth).mean < 12);
        QCOMPARE(spi_.picture(files_.write("prog.jpg", jpeg.left(first + 16))).code, 3);
        // A fatal fault between scans keeps the scans read before it.
        const int last = jpeg.lastIndexOf("\xFF\xDA");
        QByteArray damaged = jpeg;
        damaged[last + 4 + 1 + 2 * uchar(jpeg[last + 4])] = char(0xFF);  // Ss of the last scan
        QCOMPARE(spi_.picture(files_.write("prog.jpg", damaged)).code, 0);
        QVERIFY(compare(spi_.picture(files_.write("prog.jpg", damaged)).image, smooth).mean < 12);
        const Cuts cuts{.name = "prog.jpg",
                        .accepted = {0, 3},
                        .from = first,
                        .step = 211,
                        .size = QSize(160, 120)};
        KORDEL_VERIFY_NO_FAILURE(checkCuts(
            spi_, files_, jpeg, cuts, [&](qsizetype length, const SpiModule::Result& result) {
                return length >= second ? codeOutside(result.code, {0}) : QString();
            }));
    }

    void randomDamage() {
        JpegOptions progressive;
        progressive.progressive = true;
        const QByteArray files[] = {encodeJpeg(96, 64, smooth),
                                    encodeJpeg(96, 64, smooth, progressive)};
        QRandomGenerator rng(20240611);
        const Damage damage{.name = "fuzz.jpg",
                            .accepted = {0, 2, 3, 4},
                            .rounds = 150,
                            .set = true,
                            .preview = true};
        StderrCapture capture;
        for (const QByteArray& original : files)
            KORDEL_VERIFY_NO_FAILURE(checkDamage(spi_, files_, {original}, damage, rng).failure);
        QCOMPARE(capture.text(), QByteArray());
    }

    void refusesHugePictures() {
        const QByteArray jpeg = encodeJpeg(16, 16, smooth);
        const int sof = findMarker(jpeg, 0xC0);
        QVERIFY(sof > 0);
        auto withSize = [&](int w, int h) {
            QByteArray d = jpeg;
            d[sof + 5] = char(h >> 8);
            d[sof + 6] = char(h);
            d[sof + 7] = char(w >> 8);
            d[sof + 8] = char(w);
            return files_.write("huge.jpg", d);
        };
        PictureInfo info;
        QString path = withSize(40000, 16);
        QCOMPARE(spi_.pictureInfo(path, info), 0);
        QCOMPARE(info.width, 40000);
        QCOMPARE(spi_.picture(path).code, 4);
        path = withSize(20000, 20000);  // both sides fine, the pixel count is not
        QCOMPARE(spi_.picture(path).code, 4);
        QCOMPARE(spi_.picture(path, 0, {}, true).code, 4);
    }

    void progressAndCancel() {
        const QString path = files_.write("progress.jpg", encodeJpeg(64, 200, smooth));
        KORDEL_VERIFY_NO_FAILURE(progressMismatch(spi_, path, 200, 200 / 16));
        const SpiModule::Result r = spi_.picture(
            path, 0, [](int done, int) { return done >= 25 ? 1 : 0; }, true);
        QCOMPARE(r.code, 1);
    }

    void decodesOnSeveralThreadsAtOnce() {
        JpegOptions p;
        p.progressive = true;
        JpegOptions g;
        g.gray = true;
        const QString paths[] = {files_.write("t0.jpg", encodeJpeg(300, 200, smooth)),
                                 files_.write("t1.jpg", encodeJpeg(300, 200, smooth, p)),
                                 files_.write("t2.jpg", encodeJpeg(300, 200, smooth, g))};
        QImage expected[3];
        for (int i = 0; i < 3; ++i)
            expected[i] = spi_.picture(paths[i]).image;
        bool same[3] = {true, true, true};
        std::vector<std::thread> threads;
        for (int i = 0; i < 3; ++i) {
            threads.emplace_back([&, i] {
                SpiModule m(QStringLiteral("ifjpeg.spi"));
                for (int n = 0; n < 8; ++n)
                    same[i] = same[i] && m.picture(paths[i]).image == expected[i];
            });
        }
        for (std::thread& t : threads)
            t.join();
        QVERIFY(same[0] && same[1] && same[2]);
    }

    // samples/sample.jpg: written again only when KORDEL_WRITE_SAMPLES is set.
    void sample() {
        const QString path = QStringLiteral(KORDEL_SOURCE_DIR "/samples/sample.jpg");
        if (qEnvironmentVariableIsSet("KORDEL_WRITE_SAMPLES")) {
            QImage img(200, 150, QImage::Format_RGB32);
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            QLinearGradient sky(0, 0, 0, 150);
            sky.setColorAt(0, QColor(40, 70, 160));
            sky.setColorAt(0.7, QColor(250, 170, 110));
            p.fillRect(img.rect(), sky);
            QRadialGradient sun(140, 60, 28);
            sun.setColorAt(0, QColor(255, 250, 210));
            sun.setColorAt(1, QColor(255, 200, 90));
            p.setPen(Qt::NoPen);
            p.setBrush(sun);
            p.drawEllipse(QPointF(140, 60), 24, 24);
            QPainterPath hills(QPointF(0, 150));
            hills.lineTo(0, 110);
            hills.cubicTo(50, 80, 90, 130, 140, 105);
            hills.cubicTo(170, 90, 190, 100, 200, 95);
            hills.lineTo(200, 150);
            QLinearGradient green(0, 90, 0, 150);
            green.setColorAt(0, QColor(70, 140, 70));
            green.setColorAt(1, QColor(20, 70, 40));
            p.setBrush(green);
            p.drawPath(hills);
            p.end();
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            JpegOptions o;
            o.quality = 88;
            f.write(encodeJpeg(
                200, 150, [&](int x, int y) { return img.pixel(x, y); }, o));
        }
        if (!QFile::exists(path))
            QSKIP("samples/sample.jpg is not there");
        QVERIFY(QFileInfo(path).size() < 30 * 1024);
        const SpiModule::Result r = spi_.picture(path);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.image.size(), QSize(200, 150));
    }
};

QTEST_MAIN(TestIfJpeg)
#include "test_ifjpeg.moc"
