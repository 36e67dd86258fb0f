#include <QtTest>
#include <climits>

#include "gauges.h"

using namespace kordel;

namespace {

// Colours as 0xRRGGBB, without alpha.
const QRgb kFore = 0x0000ff;
const QRgb kBack = 0xffffff;
const QRgb kColor = 0x808080;
const QRgb kBlack = 0x000000;

QRgb at(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xffffff;
}

// A 100 x 100 gauge with a single border, blue on white, grey around the pie
// and the needle, and no text unless asked for.
void setUp(TGauge& gauge, TGaugeKind kind, int progress) {
    gauge.setKind(kind);
    gauge.setForeColor(QColor(kFore));
    gauge.setBackColor(QColor(kBack));
    QPalette palette = gauge.palette();
    palette.setColor(gauge.backgroundRole(), QColor(kColor));
    gauge.setPalette(palette);
    gauge.setShowText(false);
    gauge.setProgress(progress);
}

class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

}  // namespace

class TestGauges : public QObject {
    Q_OBJECT

private slots:
    void newGauge();
    void percentageAndClamping();
    void rangeErrors();
    void repaintsOnlyWhenThePercentageChanges();
    void bars();
    void pie();
    void needle();
    void textAndBorder();
    void textInvertsWhatLiesBeneath();
};

void TestGauges::newGauge() {
    TGauge gauge;
    QCOMPARE(gauge.size(), QSize(100, 100));
    QCOMPARE(gauge.text(), QStringLiteral("0%"));
    const QImage image = gauge.renderToImage();
    QCOMPARE(image.size(), QSize(100, 100));
    // Black frame, white inside.
    QCOMPARE(at(image, 0, 0), kBlack);
    QCOMPARE(at(image, 99, 50), kBlack);
    QCOMPARE(at(image, 5, 5), kBack);
}

void TestGauges::percentageAndClamping() {
    TGauge gauge;
    setUp(gauge, gkHorizontalBar, 0);
    gauge.setMaxValue(10);
    gauge.setProgress(4);
    QCOMPARE(gauge.text(), QStringLiteral("40%"));
    // Drawing area 1..98; 40 % of 99 is 39 columns' end: columns 1..38 filled.
    QImage image = gauge.renderToImage();
    QCOMPARE(at(image, 1, 50), kFore);
    QCOMPARE(at(image, 38, 50), kFore);
    QCOMPARE(at(image, 39, 50), kBack);
    QCOMPARE(at(image, 98, 50), kBack);

    gauge.setProgress(15);
    QCOMPARE(gauge.progress(), 10);
    QCOMPARE(gauge.text(), QStringLiteral("100%"));
    image = gauge.renderToImage();
    QCOMPARE(at(image, 98, 98), kFore);
    QCOMPARE(at(image, 99, 50), kBlack);

    gauge.setProgress(-3);
    QCOMPARE(gauge.progress(), 0);

    // Raising MinValue pulls Progress up, lowering MaxValue pulls it down.
    gauge.setProgress(5);
    gauge.setMinValue(7);
    QCOMPARE(gauge.progress(), 7);
    gauge.setProgress(9);
    gauge.setMaxValue(8);
    QCOMPARE(gauge.progress(), 8);

    // An empty range shows 0 %.
    gauge.setMinValue(8);
    QCOMPARE(gauge.minValue(), gauge.maxValue());
    QCOMPARE(gauge.text(), QStringLiteral("0%"));
    QCOMPARE(at(gauge.renderToImage(), 1, 50), kBack);

    // The whole int range does not overflow: the middle is 50 %.
    gauge.setMinValue(INT_MIN);
    gauge.setMaxValue(INT_MAX);
    gauge.setProgress(0);
    QCOMPARE(gauge.text(), QStringLiteral("50%"));
    gauge.setProgress(INT_MAX);
    QCOMPARE(gauge.text(), QStringLiteral("100%"));
}

void TestGauges::rangeErrors() {
    // The message of the RangeError a setter throws; empty when none is thrown.
    const auto errorOf = [](auto&& set) {
        try {
            set();
        } catch (const RangeError& error) {
            return error.message();
        }
        return QString();
    };
    TGauge gauge;
    gauge.setProgress(30);
    QCOMPARE(errorOf([&] { gauge.setMaxValue(-1); }),
             QStringLiteral("1 から 2147483647 の間の値でなければなりません"));
    QCOMPARE(errorOf([&] { gauge.setMinValue(101); }),
             QStringLiteral("-2147483647 から 99 の間の値でなければなりません"));
    QCOMPARE(gauge.minValue(), 0);
    QCOMPARE(gauge.maxValue(), 100);
    QCOMPARE(gauge.progress(), 30);

    // The bounds in the message are formatted past the int range, not wrapped.
    gauge.setMaxValue(INT_MAX);
    gauge.setMinValue(INT_MAX);
    QCOMPARE(errorOf([&] { gauge.setMaxValue(0); }),
             QStringLiteral("2147483648 から 2147483647 の間の値でなければなりません"));
    QCOMPARE(gauge.maxValue(), INT_MAX);
}

void TestGauges::repaintsOnlyWhenThePercentageChanges() {
    TGauge gauge;
    gauge.setMaxValue(1000);
    gauge.setProgress(1);
    gauge.show();
    QVERIFY(QTest::qWaitForWindowExposed(&gauge));
    PaintCounter counter;
    gauge.installEventFilter(&counter);
    QCoreApplication::processEvents();
    counter.count = 0;

    gauge.setProgress(2);
    QCoreApplication::processEvents();
    QCOMPARE(gauge.progress(), 2);
    QCOMPARE(counter.count, 0);

    gauge.setProgress(10);
    QCoreApplication::processEvents();
    QVERIFY(counter.count > 0);
}

void TestGauges::bars() {
    TGauge gauge;
    setUp(gauge, gkVerticalBar, 40);
    // Rows 1..98; 40 % of 99 is 39 rows from the bottom: rows 60..98.
    QImage image = gauge.renderToImage();
    QCOMPARE(at(image, 50, 98), kFore);
    QCOMPARE(at(image, 50, 60), kFore);
    QCOMPARE(at(image, 50, 59), kBack);
    QCOMPARE(at(image, 98, 60), kFore);
    QCOMPARE(at(image, 50, 99), kBlack);

    gauge.setProgress(100);
    image = gauge.renderToImage();
    QCOMPARE(at(image, 50, 1), kFore);
    QCOMPARE(at(image, 50, 0), kBlack);

    gauge.setProgress(0);
    image = gauge.renderToImage();
    QCOMPARE(at(image, 50, 98), kBack);

    // Without a border the bar reaches the edges.
    gauge.setKind(gkHorizontalBar);
    gauge.setBorderStyle(TGauge::bsNone);
    gauge.setProgress(100);
    image = gauge.renderToImage();
    QCOMPARE(at(image, 0, 0), kFore);
    QCOMPARE(at(image, 99, 99), kFore);
}

void TestGauges::pie() {
    TGauge gauge;
    setUp(gauge, gkPie, 0);
    QImage image = gauge.renderToImage();
    QCOMPARE(at(image, 3, 3), kColor);  // outside the circle
    QCOMPARE(at(image, 70, 30), kBack);
    QCOMPARE(at(image, 50, 1), kFore);  // outline

    // A quarter: the top right.
    gauge.setProgress(25);
    image = gauge.renderToImage();
    QCOMPARE(at(image, 70, 30), kFore);
    QCOMPARE(at(image, 30, 30), kBack);
    QCOMPARE(at(image, 70, 70), kBack);
    QCOMPARE(at(image, 30, 70), kBack);

    // Three quarters: everything but the top left.
    gauge.setProgress(75);
    image = gauge.renderToImage();
    QCOMPARE(at(image, 70, 30), kFore);
    QCOMPARE(at(image, 70, 70), kFore);
    QCOMPARE(at(image, 30, 70), kFore);
    QCOMPARE(at(image, 30, 30), kBack);

    gauge.setProgress(100);
    image = gauge.renderToImage();
    QCOMPARE(at(image, 30, 30), kFore);
    QCOMPARE(at(image, 3, 3), kColor);
}

void TestGauges::needle() {
    // True when a pixel near (x, y) has the fore colour.
    const auto foreNear = [](const QImage& image, int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (at(image, x + dx, y + dy) == kFore)
                    return true;
        return false;
    };
    TGauge gauge;
    setUp(gauge, gkNeedle, 25);
    QImage image = gauge.renderToImage();
    QCOMPARE(at(image, 3, 3), kColor);  // outside the half disc
    QCOMPARE(at(image, 50, 10), kBack);
    QCOMPARE(at(image, 50, 99), kFore);  // base line
    // From the middle of the base up to the left at 25 %, up at 50 %, right at 75 %.
    QVERIFY(foreNear(image, 32, 63));
    QVERIFY(!foreNear(image, 68, 63));
    QVERIFY(!foreNear(image, 50, 40));

    gauge.setProgress(50);
    image = gauge.renderToImage();
    QVERIFY(foreNear(image, 50, 40));
    QVERIFY(!foreNear(image, 32, 63));

    gauge.setProgress(75);
    image = gauge.renderToImage();
    QVERIFY(foreNear(image, 68, 63));
    QVERIFY(!foreNear(image, 32, 63));
}

void TestGauges::textAndBorder() {
    TGauge gauge;
    setUp(gauge, gkText, 60);
    QImage image = gauge.renderToImage();
    QCOMPARE(at(image, 0, 0), kBlack);
    QCOMPARE(at(image, 50, 50), kBack);  // the kind is text only: no bar

    gauge.setBorderStyle(TGauge::bsNone);
    image = gauge.renderToImage();
    QCOMPARE(at(image, 0, 0), kBack);
    QCOMPARE(at(image, 99, 99), kBack);

    // Degenerate sizes paint nothing and do not fail.
    gauge.setBorderStyle(TGauge::bsSingle);
    gauge.setShowText(true);
    gauge.resize(1, 1);
    QCOMPARE(gauge.renderToImage().size(), QSize(1, 1));
    gauge.resize(2, 3);
    QCOMPARE(gauge.renderToImage().size(), QSize(2, 3));
}

void TestGauges::textInvertsWhatLiesBeneath() {
    TGauge gauge;
    gauge.resize(120, 40);
    QFont font = gauge.font();
    font.setPixelSize(20);
    gauge.setFont(font);
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
            const QRgb below = at(plain, x, y);
            const QRgb shown = at(withText, x, y);
            if (shown == below)
                continue;
            QCOMPARE(shown, below ^ 0xffffffu);
            box |= QRect(x, y, 1, 1);
            if (below == kFore)
                ++overBar;
            else if (below == kBack)
                ++overBack;
        }
    }
    QVERIFY(overBar > 0);
    QVERIFY(overBack > 0);
    // Centred in the drawing area (1..118 x 1..38), within the glyphs' bearings.
    QVERIFY2(qAbs(box.center().x() - 59) <= 4, qPrintable(QString::number(box.center().x())));
    QVERIFY(box.top() >= 1 && box.bottom() <= 38);
    QVERIFY(box.height() >= 10);
}

QTEST_MAIN(TestGauges)
#include "test_gauges.moc"
