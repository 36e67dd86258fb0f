// The catalogue's cell count, window snap and thumbnail fit.
#include <QtTest>

#include "catalogue_grid.h"

using namespace kordel;

class TestCatalogueGrid : public QObject {
    Q_OBJECT

private slots:
    void grid_data() {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<QSize>("cell");
        QTest::addColumn<QSize>("counts");
        QTest::addColumn<QSize>("change");  // of the window
        QTest::newRow("3 x 2 of 128")
            << QSize(425, 282) << QSize(128, 96) << QSize(3, 2) << QSize(-41, -64);
        QTest::newRow("6 x 4 of 64")
            << QSize(425, 282) << QSize(64, 48) << QSize(6, 4) << QSize(-41, -38);
        QTest::newRow("less than a cell grows")
            << QSize(100, 50) << QSize(128, 96) << QSize(1, 1) << QSize(28, 59);
        QTest::newRow("at most 10 x 10")
            << QSize(2000, 1000) << QSize(64, 48) << QSize(10, 10) << QSize(640 - 2000, 610 - 1000);
    }
    void grid() {
        QFETCH(QSize, area);
        QFETCH(QSize, cell);
        const QSize window(700, 500);
        const CatalogueGrid g = catalogueGrid(window, area, cell);
        QTEST(QSize(g.columns, g.rows), "counts");
        QTEST(g.window - window, "change");
    }

    void fit_data() {
        QTest::addColumn<QSize>("shown");
        QTest::addColumn<QSize>("cell");
        QTest::addColumn<bool>("icon");
        QTest::addColumn<QRect>("place");
        QTest::newRow("96 x 72 limited")
            << QSize(96, 72) << QSize(128, 96) << false << QRect(5, 5, 118, 86);
        QTest::newRow("96 x 48") << QSize(96, 48) << QSize(128, 96) << false
                                 << QRect(5, 17, 118, 62);
        QTest::newRow("small cell")
            << QSize(96, 72) << QSize(64, 48) << false << QRect(5, 5, 54, 38);
        // 92/72 as a double lies just below the ratio: 54 gives 68, not 69.
        QTest::newRow("tall, scale held low")
            << QSize(54, 72) << QSize(128, 96) << false << QRect(30, 5, 68, 86);
        QTest::newRow("icon at its own size")
            << QSize(32, 32) << QSize(128, 96) << true << QRect(48, 32, 32, 32);
        QTest::newRow("large icon limited")
            << QSize(256, 256) << QSize(64, 48) << true << QRect(5, 5, 54, 38);
        QTest::newRow("nothing loaded")
            << QSize(0, 0) << QSize(128, 96) << false << QRect(64, 48, 0, 0);
    }
    void fit() {
        QFETCH(QSize, shown);
        QFETCH(QSize, cell);
        QFETCH(bool, icon);
        QTEST(cellImageRect(shown, cell, icon), "place");
    }
};

QTEST_APPLESS_MAIN(TestCatalogueGrid)
#include "test_catalogue_grid.moc"
