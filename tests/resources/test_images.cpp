// The bundled pictures in resources/images: the image strip, the tool-bar glyphs and the
// program icon are loaded by name and cut up by size, so a wrong size, an opaque or empty
// picture, or two strip images that cannot be told apart shows up here first.
#include <QColor>
#include <QImage>
#include <QTest>

namespace {

QImage load(const QString& name) {
    return QImage(QStringLiteral(KORDEL_SOURCE_DIR "/resources/images/") + name)
        .convertToFormat(QImage::Format_ARGB32);
}

// Share of the opaque, coloured pixels whose hue is yellow (40 to 70 degrees).
double yellowShare(const QImage& image) {
    int coloured = 0, yellow = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() != 255 || c.value() < 64)
                continue;  // outlines say nothing about the colour
            ++coloured;
            yellow += c.hsvSaturation() > 96 && c.hsvHue() >= 40 && c.hsvHue() <= 70;
        }
    return coloured == 0 ? 0.0 : double(yellow) / coloured;
}

}  // namespace

class TestResourceImages : public QObject {
    Q_OBJECT

private slots:
    void sizesAndTransparency_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("cells");       // images side by side
        QTest::addColumn<bool>("hardEdges");  // no half-transparent pixels
        QTest::newRow("strip") << "b_data.png" << QSize(192, 16) << 12 << true;
        for (const char* glyph : {"g_exit", "g_rev", "g_play", "g_top", "g_back", "g_step", "g_end",
                                  "o_gazou", "o_hiritu", "o_stretch", "b_ichiran"})
            QTest::newRow(glyph) << QString::fromLatin1(glyph) + ".png" << QSize(18, 18) << 1
                                 << true;
        for (int size : {16, 32, 48})
            QTest::addRow("icon %d", size)
                << QStringLiteral("kordel_%1.png").arg(size) << QSize(size, size) << 1 << true;
        QTest::newRow("icon 256") << "kordel_256.png" << QSize(256, 256) << 1 << false;
        QTest::newRow("removed file") << "del_image.png" << QSize(96, 72) << 1 << true;
    }

    void sizesAndTransparency() {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        QFETCH(int, cells);
        QFETCH(bool, hardEdges);
        const QImage image = load(file);
        QCOMPARE(image.size(), size);
        const int cellWidth = size.width() / cells, area = cellWidth * size.height();
        for (int i = 0; i < cells; ++i) {
            int opaque = 0, clear = 0, partial = 0;
            for (int y = 0; y < size.height(); ++y)
                for (int x = i * cellWidth; x < (i + 1) * cellWidth; ++x) {
                    const int alpha = qAlpha(image.pixel(x, y));
                    (alpha == 255 ? opaque : alpha == 0 ? clear : partial) += 1;
                }
            // Something is drawn, and it stands on a transparent background.
            QVERIFY2(opaque >= area / 10,
                     qPrintable(QStringLiteral("image %1: too little drawn").arg(i)));
            QVERIFY2(clear >= area / 10, qPrintable(QStringLiteral("image %1: background").arg(i)));
            QVERIFY2(!hardEdges || partial == 0,
                     qPrintable(QStringLiteral("image %1: blurred").arg(i)));
        }
    }

    void strip() {
        const QImage strip = load(QStringLiteral("b_data.png"));
        auto cell = [&](int i) { return strip.copy(i * 16, 0, 16, 16); };
        for (int a = 0; a < 12; ++a)
            for (int b = a + 1; b < 12; ++b)
                QVERIFY2(cell(a) != cell(b),
                         qPrintable(QStringLiteral("%1 and %2 equal").arg(a).arg(b)));
        // The strip may also be loaded with olive as its mask colour, so no drawn pixel is olive.
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 192; ++x)
                QVERIFY(strip.pixel(x, y) != qRgb(0x80, 0x80, 0x00));
        // Closed and open folder: yellow at 0 and 1, grey at 8 and 9.
        for (int i : {0, 1}) {
            QVERIFY2(yellowShare(cell(i)) > 0.6, qPrintable(QString::number(yellowShare(cell(i)))));
            QVERIFY2(yellowShare(cell(i + 8)) < 0.05, qPrintable(QString::number(i + 8)));
        }
    }
};

QTEST_GUILESS_MAIN(TestResourceImages)
#include "test_images.moc"
