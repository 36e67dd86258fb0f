// The bundled pictures in resources/images: the image strip, the tool-bar glyphs and the
// program icon are loaded by name and cut up by size, so a wrong size, an opaque or empty
// picture, or two strip images that cannot be told apart shows up here first.

#include <QColor>
#include <QImage>
#include <QTest>

namespace {

QImage load(const QString& name) {
    return QImage(QStringLiteral(KORDEL_SOURCE_DIR "/resources/images/") + name);
}

struct AlphaCounts {
    int opaque = 0;
    int clear = 0;
    int partial = 0;
};

AlphaCounts countAlpha(const QImage& image) {
    AlphaCounts counts;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha == 255)
                ++counts.opaque;
            else if (alpha == 0)
                ++counts.clear;
            else
                ++counts.partial;
        }
    }
    return counts;
}

QImage stripImage(const QImage& strip, int index) {
    return strip.copy(index * 16, 0, 16, 16).convertToFormat(QImage::Format_ARGB32);
}

// Share of the opaque, coloured pixels whose hue is yellow (40 to 70 degrees).
double yellowShare(const QImage& image) {
    int coloured = 0;
    int yellow = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() != 255 || c.value() < 64)
                continue;  // outlines say nothing about the colour
            ++coloured;
            if (c.hsvSaturation() > 96 && c.hsvHue() >= 40 && c.hsvHue() <= 70)
                ++yellow;
        }
    }
    return coloured == 0 ? 0.0 : double(yellow) / coloured;
}

}  // namespace

class TestResourceImages : public QObject {
    Q_OBJECT

private slots:
    void sizesAndTransparency_data();
    void sizesAndTransparency();
    void stripImagesDiffer();
    void greyFoldersAreNotYellow();
};

void TestResourceImages::sizesAndTransparency_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("cells");       // images side by side
    QTest::addColumn<bool>("hardEdges");  // no half-transparent pixels

    QTest::newRow("strip") << "b_data.png" << 192 << 16 << 12 << true;
    for (const char* glyph : {"g_exit", "g_rev", "g_play", "g_top", "g_back", "g_step", "g_end",
                              "o_gazou", "o_hiritu", "o_stretch", "b_ichiran"}) {
        QTest::newRow(glyph) << QString::fromLatin1(glyph) + ".png" << 18 << 18 << 1 << true;
    }
    for (int size : {16, 32, 48})
        QTest::addRow("icon %d", size)
            << QStringLiteral("kordel_%1.png").arg(size) << size << size << 1 << true;
    QTest::newRow("icon 256") << "kordel_256.png" << 256 << 256 << 1 << false;
}

void TestResourceImages::sizesAndTransparency() {
    QFETCH(QString, file);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, cells);
    QFETCH(bool, hardEdges);

    const QImage image = load(file);
    QVERIFY2(!image.isNull(), qPrintable(file + " cannot be read"));
    QCOMPARE(image.size(), QSize(width, height));
    QVERIFY(image.hasAlphaChannel());

    const int cellWidth = width / cells;
    for (int i = 0; i < cells; ++i) {
        const QImage cell = image.copy(i * cellWidth, 0, cellWidth, height);
        const AlphaCounts counts = countAlpha(cell);
        const int area = cellWidth * height;
        const QString where = QStringLiteral("%1, image %2").arg(file).arg(i);
        // Something is drawn, and it stands on a transparent background.
        QVERIFY2(counts.opaque >= area / 10, qPrintable(where + ": too little is drawn"));
        QVERIFY2(counts.clear >= area / 10, qPrintable(where + ": background is not clear"));
        if (hardEdges)
            QVERIFY2(counts.partial == 0, qPrintable(where + ": edges are blurred"));
    }
}

void TestResourceImages::stripImagesDiffer() {
    const QImage strip = load(QStringLiteral("b_data.png"));
    QCOMPARE(strip.size(), QSize(192, 16));
    for (int a = 0; a < 12; ++a) {
        for (int b = a + 1; b < 12; ++b) {
            QVERIFY2(stripImage(strip, a) != stripImage(strip, b),
                     qPrintable(QStringLiteral("strip images %1 and %2 are equal").arg(a).arg(b)));
        }
    }
    // The strip may also be loaded with olive as its mask colour, so no drawn pixel is olive.
    const QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 192; ++x)
            QVERIFY(argb.pixel(x, y) != qRgb(0x80, 0x80, 0x00));
}

void TestResourceImages::greyFoldersAreNotYellow() {
    const QImage strip = load(QStringLiteral("b_data.png"));
    QVERIFY(!strip.isNull());
    // Closed and open folder: yellow at 0 and 1, grey at 8 and 9.
    for (int yellowIndex : {0, 1}) {
        const int greyIndex = yellowIndex + 8;
        const double yellow = yellowShare(stripImage(strip, yellowIndex));
        const double grey = yellowShare(stripImage(strip, greyIndex));
        QVERIFY2(
            yellow > 0.6,
            qPrintable(QStringLiteral("folder %1 is not yellow: %2").arg(yellowIndex).arg(yellow)));
        QVERIFY2(grey < 0.05,
                 qPrintable(QStringLiteral("folder %1 is not grey: %2").arg(greyIndex).arg(grey)));
    }
}

QTEST_GUILESS_MAIN(TestResourceImages)
#include "test_images.moc"
