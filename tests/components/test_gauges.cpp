#include <QtTest>
#include <climits>

#include "gauges.h"

using namespace kordel;

namespace {

// Colours as 0xRRGGBB, without alpha.
const QRgb kFore = 0x0000ff;
const QRgb kBack = 0xffffff;
const QRgb kColor = 0x808080;
const QRgb kFrame = 0x000000;

QRgb at(const QImage& image, const QPoint& p) {
    return image.pixel(p) & 0xffffff;
}

// A 100 x 100 gauge, blue on white, grey around the pie and the needle, no text.
void setUp(TGauge& gauge, int kind, int progress) {
    gauge.setKind(TGaugeKind(kind));
    gauge.setForeColor(QColor(kFore));
    gauge.setBackColor(QColor(kBack));
    gauge.setPalette(QPalette(QColor(kColor)));
    gauge.setShowText(false);
    gauge.setProgress(progress);
}

}  // namespace

class TestGauges : public QObject {
    Q_OBJECT

private slots:
    void percentage_data() {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("progress");
        QTest::addColumn<QString>("text");
        QTest::newRow("truncated, not rounded") << 0 << 3 << 2 << "66%";
        QTest::newRow("above the range") << 0 << 10 << 15 << "100%";
        QTest::newRow("below the range") << 0 << 10 << -3 << "0%";
        QTest::newRow("empty range") << 8 << 8 << 8 << "0%";
        QTest::newRow("whole int range") << INT_MIN << INT_MAX << 0 << "50%";
    }
    void percentage() {
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, progress);
        QFETCH(QString, text);
        TGauge gauge;
        gauge.setMaxValue(max);
        gauge.setMinValue(min);
        gauge.setProgress(progress);
        QCOMPARE(gauge.text(), text);
    }

    void drawing_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("progress");
        QTest::addColumn<bool>("border");
        // "x,y:c": F the fore colour, B the back colour, C the control's colour, K the frame.
        QTest::addColumn<QString>("pixels");
        // The drawing area is 1..98 inside the frame; 40 % of 99 ends the bar at 39.
        QTest::newRow("bar 40 %") << +gkHorizontalBar << 40 << true
                                  << "0,0:K 1,50:F 38,50:F 39,50:B";
        QTest::newRow("bar 0 %") << +gkHorizontalBar << 0 << true << "1,50:B";
        QTest::newRow("bar 100 %") << +gkHorizontalBar << 100 << true << "98,98:F 99,50:K";
        QTest::newRow("bar without border") << +gkHorizontalBar << 100 << false << "0,0:F 99,99:F";
        // Upright: 39 rows from the bottom.
        QTest::newRow("upright bar 40 %")
            << +gkVerticalBar << 40 << true << "50,98:F 98,60:F 50,59:B 50,99:K";
        QTest::newRow("upright bar 0 %") << +gkVerticalBar << 0 << true << "50,98:B";
        // The pie fills clockwise from the top.
        QTest::newRow("pie 0 %") << +gkPie << 0 << true << "3,3:C 70,30:B 50,1:F";
        QTest::newRow("pie 25 %") << +gkPie << 25 << true << "70,30:F 70,70:B 30,30:B";
        QTest::newRow("pie 75 %") << +gkPie << 75 << true << "70,70:F 30,70:F 30,30:B";
        QTest::newRow("pie 100 %") << +gkPie << 100 << true << "30,30:F 3,3:C";
        // The needle turns from the left (0 %) over the top to the right (100 %).
        QTest::newRow("needle 25 %")
            << +gkNeedle << 25 << true << "3,3:C 50,99:F 32,63:F 68,63:B 50,40:B";
        QTest::newRow("needle 50 %") << +gkNeedle << 50 << true << "50,40:F 32,63:B";
        QTest::newRow("needle 75 %") << +gkNeedle << 75 << true << "67,63:F 32,63:B";
        QTest::newRow("text only") << +gkText << 60 << true << "0,0:K 50,50:B";
    }
    void drawing() {
        QFETCH(int, kind);
        QFETCH(int, progress);
        QFETCH(bool, border);
        QFETCH(QString, pixels);
        TGauge gauge;
        setUp(gauge, kind, progress);
        gauge.setBorderStyle(border ? TGauge::bsSingle : TGauge::bsNone);
        const QImage image = gauge.renderToImage();
        const QHash<QString, QRgb> colours{
            {"F", kFore}, {"B", kBack}, {"C", kColor}, {"K", kFrame}};
        for (const QString& pixel : pixels.split(u' ')) {
            const QStringList xyc = pixel.split(QRegularExpression("[,:]"));
            QVERIFY2(at(image, {xyc[0].toInt(), xyc[1].toInt()}) == colours.value(xyc[2]),
                     qPrintable(pixel));
        }
    }

    void textInvertsWhatLiesBeneath() {
        TGauge gauge;
        gauge.resize(120, 40);
        setUp(gauge, gkHorizontalBar, 50);
        const QImage plain = gauge.renderToImage();
        gauge.setShowText(true);
        const QImage withText = gauge.renderToImage();

        // Every text pixel is the exact inverse of what lies beneath it; the text
        // stands across the bar's end, so it is yellow on blue and black on white.
        QRect box;
        int overBar = 0, overBack = 0;
        for (int y = 0; y < plain.height(); ++y) {
            for (int x = 0; x < plain.width(); ++x) {
                const QRgb below = at(plain, {x, y});
                const QRgb shown = at(withText, {x, y});
                if (shown == below)
                    continue;
                QCOMPARE(shown, below ^ 0xffffffu);
                box |= QRect(x, y, 1, 1);
                overBar += below == kFore;
                overBack += below == kBack;
            }
        }
        QVERIFY(overBar > 0 && overBack > 0);
        // Centred in the drawing area (1..118), within the glyphs' bearings.
        QVERIFY2(qAbs(box.center().x() - 59) <= 4, qPrintable(QString::number(box.center().x())));

        // Sizes with no room inside the frame paint nothing and do not fail.
        gauge.resize(2, 3);
        QCOMPARE(gauge.renderToImage().size(), QSize(2, 3));
    }
};

QTEST_MAIN(TestGauges)
#include "test_gauges.moc"
