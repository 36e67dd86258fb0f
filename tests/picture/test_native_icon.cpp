// Icons: the largest, deepest image of a multi-image file, BMP and PNG images,
// transparency from the mask and the alpha channel, and the opaque form the
// viewer shows on the window colour.
#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include "all.h"
#include "decode.h"
#include "picture_files.h"
#include "recording_host.h"

using kordel::decodeIcon;
using kordel::opaqueOn;
using kordel::test::IcoImage;
using kordel::test::solidIcon;
using kordel::test::writeIco;

namespace {

const QRgb kRed = qRgb(200, 0, 0), kGreen = qRgb(0, 180, 0), kBlue = qRgb(0, 0, 210),
           kYellow = qRgb(230, 230, 0), kCyan = qRgb(0, 220, 220);

QByteArray png(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return data;
}

IcoImage pngIcon(int size, QRgb colour) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(colour);
    for (int y = 0; y < size / 2; ++y)
        for (int x = 0; x < size / 2; ++x)
            img.setPixel(x, y, qRgba(0, 0, 0, 0));
    IcoImage im;
    im.width = im.height = size;
    im.bits = 32;
    im.png = png(img);
    return im;
}

}  // namespace

class TestNativeIcon : public QObject {
    Q_OBJECT

private:
    QTemporaryDir temp_;
    int serial_ = 0;

    QString save(const QByteArray& data) {
        const QString path = temp_.filePath(QStringLiteral("i%1.ico").arg(++serial_));
        kordel::test::writeFile(path, data);
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(temp_.isValid()); }

    void largestDeepestImage_data();
    void largestDeepestImage();
    void transparency_data();
    void transparency();
    void opaqueOnTheWindowColour();
    void reportedThroughTheComponent();
};

void TestNativeIcon::largestDeepestImage_data() {
    QTest::addColumn<QList<int>>("order");
    // 16 px 4-bit red, 32 px 8-bit green, 32 px 32-bit blue, 24 px 32-bit yellow, 32 px 4-bit cyan.
    QTest::newRow("deepest in the middle") << QList<int>{0, 1, 2, 3, 4};
    QTest::newRow("deepest first") << QList<int>{2, 4, 1, 3, 0};
    QTest::newRow("deepest last") << QList<int>{3, 0, 4, 1, 2};
}

void TestNativeIcon::largestDeepestImage() {
    QFETCH(QList<int>, order);
    const IcoImage images[] = {solidIcon(16, 4, kRed), solidIcon(32, 8, kGreen),
                               solidIcon(32, 32, kBlue), solidIcon(24, 32, kYellow),
                               solidIcon(32, 4, kCyan)};
    std::vector<IcoImage> file;
    for (int i : order)
        file.push_back(images[i]);
    const kordel::Decoded d = decodeIcon(save(writeIco(file)));
    QCOMPARE(d.error, 0);
    QCOMPARE(d.image.size(), QSize(32, 32));
    QCOMPARE(d.storedSize, std::optional<QSize>(QSize(32, 32)));
    QCOMPARE(d.image.pixel(31, 31), kBlue);
    QCOMPARE(qAlpha(d.image.pixel(0, 0)), 0);

    // A larger image wins over a deeper one; PNG images count like the others, 256 included.
    for (const int size : {48, 256}) {
        std::vector<IcoImage> mixed{solidIcon(32, 32, kBlue), pngIcon(size, kYellow),
                                    solidIcon(16, 8, kGreen)};
        const kordel::Decoded p = decodeIcon(save(writeIco(mixed)));
        QCOMPARE(p.error, 0);
        QCOMPARE(p.image.size(), QSize(size, size));
        QCOMPARE(p.image.pixel(size - 1, size - 1), kYellow);
        QCOMPARE(qAlpha(p.image.pixel(1, 1)), 0);
    }

    // A directory entry without a bit count falls back on its colour count.
    std::vector<IcoImage> counted{solidIcon(32, 4, kCyan), solidIcon(32, 8, kGreen)};
    counted[0].directoryBits = 0;
    counted[1].directoryBits = 0;
    const kordel::Decoded c = decodeIcon(save(writeIco(counted)));
    QCOMPARE(c.error, 0);
    QCOMPARE(c.image.pixel(31, 31), kGreen);
}

void TestNativeIcon::transparency_data() {
    QTest::addColumn<int>("bits");
    QTest::newRow("4 bits") << 4;
    QTest::newRow("8 bits") << 8;
    QTest::newRow("32 bits") << 32;
}

void TestNativeIcon::transparency() {
    QFETCH(int, bits);
    IcoImage im = solidIcon(16, bits, kRed);
    if (bits == 32)
        im.dots[size_t(15 * 16 + 15)] = qRgba(200, 0, 0, 128);  // half covered
    const kordel::Decoded d = decodeIcon(save(writeIco({im})));
    QCOMPARE(d.error, 0);
    QCOMPARE(d.image.size(), QSize(16, 16));
    QCOMPARE(d.image.format(), QImage::Format_ARGB32);
    QCOMPARE(qAlpha(d.image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(d.image.pixel(7, 7)), 0);
    QCOMPARE(d.image.pixel(8, 7), kRed);
    QCOMPARE(d.image.pixel(7, 8), kRed);
    if (bits == 32)
        QCOMPARE(qAlpha(d.image.pixel(15, 15)), 128);
}

void TestNativeIcon::opaqueOnTheWindowColour() {
    QImage icon(4, 2, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    icon.setPixel(1, 0, kBlue);
    icon.setPixel(2, 1, qRgba(255, 255, 255, 128));
    const QColor window(240, 240, 240);
    const QImage out = opaqueOn(icon, window);
    QCOMPARE(out.size(), icon.size());
    QVERIFY(!out.hasAlphaChannel());
    QCOMPARE(out.pixel(0, 0), window.rgb());
    QCOMPARE(out.pixel(3, 1), window.rgb());
    QCOMPARE(out.pixel(1, 0), kBlue);
    const QRgb blend = out.pixel(2, 1);
    QVERIFY(qAbs(qRed(blend) - 248) <= 1 && qRed(blend) == qGreen(blend) &&
            qGreen(blend) == qBlue(blend));

    // A decoded icon on a dark window: the mask shows the window, the rest the icon.
    const kordel::Decoded d = decodeIcon(save(writeIco({solidIcon(16, 4, kRed)})));
    const QImage shown = opaqueOn(d.image, Qt::black);
    QCOMPARE(shown.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(15, 15), kRed);
}

void TestNativeIcon::reportedThroughTheComponent() {
    kordel::test::RecordingHost host;
    kordel::TAll all(host);
    const QString path = save(writeIco({solidIcon(16, 8, kGreen), solidIcon(48, 32, kBlue)}));
    QVERIFY(all.setPictureName(path));
    QCOMPARE(all.Error(), 0);
    QCOMPARE(QSize(all.OrgWidth(), all.OrgHeight()), QSize(48, 48));
    QCOMPARE(all.OrgColor(), 0);
    // The component keeps the transparency; the viewer makes it opaque.
    QCOMPARE(qAlpha(all.image().pixel(0, 0)), 0);
    QCOMPARE(all.image().pixel(47, 47), kBlue);
    QCOMPARE(host.statuses, QStringList{" "});
    QCOMPARE(host.progress, QList<int>({100, 0}));

    // A directory that promises images the file does not hold.
    QByteArray broken = writeIco({solidIcon(16, 8, kGreen)});
    broken[4] = 9;
    QVERIFY(all.setPictureName(save(broken)));
    QVERIFY(all.Error() == 0 || all.Error() == 2);
    QVERIFY(all.setPictureName(save(broken.left(6))));
    QCOMPARE(all.Error(), 2);
    QCOMPARE(host.statuses.last(), QStringLiteral("未知のフォーマット"));
}

QTEST_MAIN(TestNativeIcon)
#include "test_native_icon.moc"
