// The real decoder plug-ins through the picture component, on files written here.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "all.h"
#include "pic_encoder.h"
#include "picture_files.h"
#include "recording_host.h"

using kordel::TAll;
using kordel::test::RecordingHost;

namespace {

const QRgb kTopLeft = qRgb(220, 0, 0), kTopRight = qRgb(0, 200, 0), kBottomLeft = qRgb(0, 0, 220),
           kBottomRight = qRgb(240, 240, 0);

bool near(QRgb a, QRgb b, int tolerance) {
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The four quadrant colours at the quadrants' centres.
bool showsQuadrants(const QImage& img, int tolerance) {
    const int w = img.width(), h = img.height();
    return near(img.pixel(w / 4, h / 4), kTopLeft, tolerance) &&
           near(img.pixel(3 * w / 4, h / 4), kTopRight, tolerance) &&
           near(img.pixel(w / 4, 3 * h / 4), kBottomLeft, tolerance) &&
           near(img.pixel(3 * w / 4, 3 * h / 4), kBottomRight, tolerance);
}

QImage indexedQuadrants(int w, int h) {
    return kordel::test::quadrants(w, h).convertToFormat(QImage::Format_Indexed8,
                                                         Qt::ThresholdDither);
}

}  // namespace

class TestAllPlugins : public QObject {
    Q_OBJECT

private:
    QTemporaryDir temp_;
    RecordingHost host_;
    std::unique_ptr<TAll> all_;

    QString save(const QString& name, const QByteArray& data) {
        const QString path = temp_.filePath(name);
        kordel::test::writeFile(path, data);
        return path;
    }
    bool load(const QString& path) {
        host_.clear();
        const bool ok = all_->setPictureName(path);
        return ok && all_->Error() == 0;
    }

private slots:
    void initTestCase();
    void init();

    void jpeg();
    void jpegPreview();
    void jpegAfterA128ByteHeader();
    void gif();
    void gifOnAnEightBitDisplay();
    void tiff();
    void picWithWideDots();
    void decodeFailuresOfRealPlugins();
};

void TestAllPlugins::initTestCase() {
    QVERIFY(temp_.isValid());
    for (const char* name : {"ifjpeg.spi", "ifgif.spi", "iftiff.spi", "ifpic.spi"})
        QVERIFY2(QFile::exists(QStringLiteral(KORDEL_BIN_DIR "/") + QLatin1String(name)), name);
}

void TestAllPlugins::init() {
    host_ = RecordingHost();
    all_ = std::make_unique<TAll>(host_);
    all_->setPluginFolders({QStringLiteral(KORDEL_BIN_DIR)});
}

void TestAllPlugins::jpeg() {
    const QByteArray data = kordel::test::jpegFile(kordel::test::quadrants(64, 48));
    for (const char* name : {"q.jpg", "q.jpeg", "q.JPE"}) {
        QVERIFY(load(save(QString::fromLatin1(name), data)));
        QCOMPARE(all_->image().size(), QSize(64, 48));
        QCOMPARE(QSize(all_->OrgWidth(), all_->OrgHeight()), QSize(64, 48));
        QCOMPARE(all_->OrgColor(), 24);
        QVERIFY(showsQuadrants(all_->image(), 12));
        QCOMPARE(host_.statuses, QStringList{" "});
        QCOMPARE(host_.progress.last(), 0);
        for (int p : host_.progress)
            QVERIFY(p >= 0 && p <= 100);
    }
}

void TestAllPlugins::jpegPreview() {
    const QString path = save("p.jpg", kordel::test::jpegFile(kordel::test::quadrants(101, 75)));
    all_->setPreView(true);
    QVERIFY(load(path));
    QCOMPARE(all_->image().size(), QSize(26, 19));
    QCOMPARE(QSize(all_->OrgWidth(), all_->OrgHeight()), QSize(101, 75));
    QVERIFY(showsQuadrants(all_->image(), 24));
    all_->setPreView(false);
    QVERIFY(load(path));
    QCOMPARE(all_->image().size(), QSize(101, 75));
}

void TestAllPlugins::jpegAfterA128ByteHeader() {
    QByteArray data(128, '\x5a');
    data.replace(0, 8, "MacHead!");
    data += kordel::test::jpegFile(kordel::test::quadrants(40, 32));
    QVERIFY(load(save("mac.jpg", data)));
    QCOMPARE(all_->image().size(), QSize(40, 32));
    QVERIFY(showsQuadrants(all_->image(), 12));
    // The same header before a GIF is not looked past at the info stage.
    QByteArray gif(128, '\x5a');
    gif += kordel::test::gifFile(indexedQuadrants(8, 8));
    QVERIFY(!load(save("mac.gif", gif)));
    QCOMPARE(all_->Error(), 2);
    QCOMPARE(host_.statuses.last(), QStringLiteral("未知のフォーマット"));
}

void TestAllPlugins::gif() {
    const QImage source = indexedQuadrants(40, 30);
    QVERIFY(load(save("q.gif", kordel::test::gifFile(source))));
    QCOMPARE(all_->image().size(), QSize(40, 30));
    QCOMPARE(all_->OrgColor(), 8);
    for (int y = 0; y < 30; y += 3)
        for (int x = 0; x < 40; x += 3)
            QCOMPARE(all_->image().pixel(x, y), source.pixel(x, y));
    QVERIFY(all_->palette().isEmpty());
}

void TestAllPlugins::gifOnAnEightBitDisplay() {
    host_.fakeScreen.bits = 8;
    host_.fakeScreen.palette = 256;
    const QImage source = indexedQuadrants(16, 16);
    QVERIFY(load(save("p.gif", kordel::test::gifFile(source))));
    QCOMPARE(all_->palette().size(), 256);
    for (const QRgb c : {kTopLeft, kTopRight, kBottomLeft, kBottomRight})
        QVERIFY(all_->palette().contains(c));
    QCOMPARE(all_->image().pixel(15, 15), kBottomRight);
}

void TestAllPlugins::tiff() {
    const QString path = temp_.filePath("q.tif");
    QVERIFY(kordel::test::writeTiff(path, kordel::test::quadrants(30, 20)));
    QVERIFY(load(path));
    QCOMPARE(all_->image().size(), QSize(30, 20));
    QVERIFY(showsQuadrants(all_->image(), 0));
    // The four-letter extension is not one of ours, whatever the content.
    const QString four = temp_.filePath("q.tiff");
    QVERIFY(QFile::copy(path, four));
    host_.clear();
    QVERIFY(all_->setPictureName(four));
    QCOMPARE(all_->Error(), 10);
    QVERIFY(host_.statuses.isEmpty());
}

void TestAllPlugins::picWithWideDots() {
    // Generic PIC, 24 bits, dots twice as wide as high: shown twice as wide.
    kordel::test::PicLayout s;
    s.type = 15;
    s.depth = 24;
    s.width = 8;
    s.height = 6;
    s.aspectA = 2;
    s.aspectB = 1;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)  // codes are G8 R8 B8
            s.dots.push_back(x < 4 ? 0x00ff00u : 0x0000ffu);
    QVERIFY(load(save("wide.pic", kordel::test::encodePic(s))));
    QCOMPARE(all_->image().size(), QSize(16, 6));
    QCOMPARE(QSize(all_->OrgWidth(), all_->OrgHeight()), QSize(16, 6));
    QCOMPARE(all_->image().pixel(7, 5), qRgb(255, 0, 0));
    QCOMPARE(all_->image().pixel(8, 0), qRgb(0, 0, 255));

    // Tall dots double the height.
    s.aspectA = 1;
    s.aspectB = 2;
    QVERIFY(load(save("tall.pic", kordel::test::encodePic(s))));
    QCOMPARE(QSize(all_->OrgWidth(), all_->OrgHeight()), QSize(8, 12));

    // An X68000 15-bit picture has dots a third wider than high.
    kordel::test::PicLayout x68;
    x68.type = 0;
    x68.depth = 15;
    x68.width = 12;
    x68.height = 9;
    x68.dots.assign(12 * 9, 0x7fffu);
    QVERIFY(load(save("x68.pic", kordel::test::encodePic(x68))));
    QCOMPARE(QSize(all_->OrgWidth(), all_->OrgHeight()), QSize(16, 9));
    QCOMPARE(all_->image().size(), QSize(16, 9));
}

void TestAllPlugins::decodeFailuresOfRealPlugins() {
    // A picture of another kind under a plug-in's extension.
    const QByteArray jpeg = kordel::test::jpegFile(kordel::test::quadrants(8, 8));
    for (const char* name : {"j.gif", "j.tif", "j.pic"}) {
        QVERIFY(!load(save(QString::fromLatin1(name), jpeg)));
        QVERIFY(all_->Error() != 0);
        QVERIFY(!host_.statuses.last().trimmed().isEmpty());
        QVERIFY(all_->PictureName().isEmpty());
        QVERIFY(all_->isEmpty());
    }
    // A missing file reaches the plug-in, which cannot read it.
    QVERIFY(!load(temp_.filePath("absent.jpg")));
    QCOMPARE(all_->Error(), 6);
    QCOMPARE(host_.statuses.last(), QStringLiteral("ファイルリードエラー"));
}

QTEST_MAIN(TestAllPlugins)
#include "test_all_plugins.moc"
