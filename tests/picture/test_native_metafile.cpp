// Metafiles through the picture component: the stored size comes from the frame
// at the screen's resolution, and the shapes land where the records put them.
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include "all.h"
#include "picture_files.h"
#include "recording_host.h"

using kordel::test::kShapeBlue;
using kordel::test::kShapeGreen;
using kordel::test::kShapeRed;

namespace {

const QRgb kPaper = qRgb(255, 255, 255);

// The metafile drawn at its stored size on white paper.
QImage render(const kordel::Metafile& m) {
    QImage img(m.size, QImage::Format_RGB32);
    img.fill(kPaper);
    QPainter p(&img);
    p.drawPicture(0, 0, m.picture);
    p.end();
    return img;
}

}  // namespace

class TestNativeMetafile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir temp_;

    struct Probe {
        double x, y;  // in the picture's units at 96 dpi
        QRgb colour;
    };
    void check(const QString& path, double dpi, QSize size, const QList<Probe>& probes) {
        kordel::test::RecordingHost host;
        host.fakeScreen.dpi = dpi;
        kordel::TAll all(host);
        QVERIFY(all.setPictureName(path));
        QCOMPARE(all.Error(), 0);
        QCOMPARE(QSize(all.OrgWidth(), all.OrgHeight()), size);
        QCOMPARE(all.OrgColor(), 0);
        QVERIFY(all.metafile().has_value());
        QVERIFY(!all.isEmpty());
        QCOMPARE(all.metafile()->size, size);
        QCOMPARE(host.statuses, QStringList{" "});
        QCOMPARE(host.progress, QList<int>({100, 0}));
        const QImage img = render(*all.metafile());
        const double k = dpi / 96;
        for (const Probe& p : probes) {
            const QPoint at(int(p.x * k), int(p.y * k));
            QVERIFY2(img.pixel(at) == p.colour,
                     qPrintable(QStringLiteral("at %1,%2: %3 instead of %4")
                                    .arg(at.x())
                                    .arg(at.y())
                                    .arg(img.pixel(at), 8, 16)
                                    .arg(p.colour, 8, 16)));
        }
    }

private slots:
    void initTestCase() { QVERIFY(temp_.isValid()); }

    void placeableWmf_data();
    void placeableWmf();
    void enhancedMetafile_data();
    void enhancedMetafile();
};

void TestNativeMetafile::placeableWmf_data() {
    QTest::addColumn<double>("dpi");
    QTest::addColumn<QSize>("size");
    QTest::newRow("96 dpi") << 96.0 << QSize(200, 100);
    QTest::newRow("192 dpi") << 192.0 << QSize(400, 200);
    QTest::newRow("120 dpi") << 120.0 << QSize(250, 125);
}

void TestNativeMetafile::placeableWmf() {
    QFETCH(double, dpi);
    QFETCH(QSize, size);
    const QString path = temp_.filePath("shapes.wmf");
    QVERIFY(kordel::test::writeFile(path, kordel::test::placeableWmf()));
    check(path, dpi, size,
          {{50, 30, kShapeRed},
           {12, 12, kShapeRed},
           {88, 48, kShapeRed},
           {150, 50, kShapeGreen},
           {150, 15, kShapeGreen},
           {55, 80, kShapeBlue},
           {25, 62, kShapeBlue},
           {5, 5, kPaper},
           {100, 5, kPaper},
           {195, 95, kPaper},
           {112, 12, kPaper},  // inside the ellipse's box, outside the ellipse
           {25, 90, kPaper}});
}

void TestNativeMetafile::enhancedMetafile_data() {
    QTest::addColumn<double>("dpi");
    QTest::addColumn<QSize>("size");
    QTest::newRow("96 dpi") << 96.0 << QSize(192, 96);
    QTest::newRow("120 dpi") << 120.0 << QSize(240, 120);
    QTest::newRow("48 dpi") << 48.0 << QSize(96, 48);
}

void TestNativeMetafile::enhancedMetafile() {
    QFETCH(double, dpi);
    QFETCH(QSize, size);
    const QString path = temp_.filePath("shapes.EMF");
    QVERIFY(kordel::test::writeFile(path, kordel::test::smallEmf()));
    check(path, dpi, size,
          {{45, 30, kShapeRed},
           {14, 14, kShapeRed},
           {76, 46, kShapeRed},
           {140, 48, kShapeGreen},
           {140, 16, kShapeGreen},
           {50, 75, kShapeBlue},
           {26, 62, kShapeBlue},
           {4, 4, kPaper},
           {90, 5, kPaper},
           {188, 92, kPaper},
           {102, 12, kPaper},
           {24, 88, kPaper}});
}

QTEST_MAIN(TestNativeMetafile)
#include "test_native_metafile.moc"
