// The pure logic behind browsing a folder: kind masks, the file table's limit,
// the list's texts and the viewer's fit arithmetic.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "file_table.h"
#include "fit.h"
#include "texts.h"

using namespace kordel;

namespace {

QStringList numberedNames(int count, const QString& stem = QStringLiteral("n")) {
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("%1%2.jpg").arg(stem).arg(i, 4, 10, QLatin1Char('0'));
    return names;
}

}  // namespace

class TestBrowseLogic : public QObject {
    Q_OBJECT

private slots:
    void kindMasks_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<bool>("matches");
        QTest::newRow("same case") << "a.JPG"
                                   << "*.JPG" << true;
        QTest::newRow("lower case") << "a.jpg"
                                    << "*.JPG" << true;
        QTest::newRow("long extension by its short alias") << "a.JPEG"
                                                           << "*.JPE" << true;
        QTest::newRow("long extension, lower case") << "photo.jpeg"
                                                    << "*.JPE" << true;
        QTest::newRow("jpe itself") << "a.jpe"
                                    << "*.JPE" << true;
        QTest::newRow("shorter extension") << "a.JP"
                                           << "*.JPE" << false;
        QTest::newRow("jpeg is no jpg") << "a.jpeg"
                                        << "*.JPG" << false;
        QTest::newRow("pic2 under its alias pic") << "a.pic2"
                                                  << "*.PIC" << true;
        QTest::newRow("pic is no pi") << "a.pic"
                                      << "*.PI" << false;
        QTest::newRow("pi") << "a.Pi"
                            << "*.PI" << true;
        QTest::newRow("p2") << "a.p2"
                            << "*.P2" << true;
        QTest::newRow("three characters are no alias") << "a.p2x"
                                                       << "*.P2" << false;
        QTest::newRow("last dot counts") << "a.bmp.jpg"
                                         << "*.BMP" << false;
        QTest::newRow("dot file") << ".bmp"
                                  << "*.BMP" << true;
        QTest::newRow("no extension") << "bmp"
                                      << "*.BMP" << false;
        QTest::newRow("trailing dot") << "a."
                                      << "*.BMP" << false;
        QTest::newRow("switched-off slot") << "a.bmp"
                                           << " " << false;
    }
    void kindMasks() {
        QFETCH(QString, name);
        QFETCH(QString, mask);
        QFETCH(bool, matches);
        QCOMPARE(matchesKindMask(name, mask), matches);
    }

    void limitOfOneMask_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("warnings");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("stored");
        QTest::newRow("1999") << 1999 << 0 << 0 << 1999;
        QTest::newRow("2000") << 2000 << 1 << -1 << 2000;
        QTest::newRow("2001") << 2001 << 1 << -1 << 2000;
        QTest::newRow("2500") << 2500 << 1 << -1 << 2000;
    }
    void limitOfOneMask() {
        QFETCH(int, count);
        QFETCH(int, warnings);
        QFETCH(int, result);
        QFETCH(int, stored);
        FileTable table;
        int warned = 0;
        QCOMPARE(scanNamesIntoTable(table, numberedNames(count), false, [&] { ++warned; }), result);
        QCOMPARE(warned, warnings);
        QCOMPARE(table.nextFree, stored);
        QCOMPARE(table.lastIndex, stored - 1);
        QCOMPARE(table.foundAny, 1);
        QCOMPARE(table.fileNames[stored - 1],
                 QStringLiteral("n%1.jpg").arg(stored - 1, 4, 10, QLatin1Char('0')));
        QCOMPARE(table.fileNames[stored], QStringLiteral(" "));
    }

    void limitCountsAcrossMasks() {
        FileTable table;
        int warned = 0;
        auto warn = [&] { ++warned; };
        QCOMPARE(scanNamesIntoTable(table, numberedNames(1500, "a"), false, warn), 0);
        QCOMPARE(scanNamesIntoTable(table, numberedNames(600, "b"), false, warn), -1);
        QCOMPARE(warned, 1);
        QCOMPARE(table.nextFree, 2000);
        QCOMPARE(table.lastIndex, 1999);
        QCOMPARE(table.fileNames[1500], QStringLiteral("b0000.jpg"));
        QCOMPARE(table.fileNames[1999], QStringLiteral("b0499.jpg"));
        QCOMPARE(table.fileNames[2000], QStringLiteral(" "));
        // A mask that finds nothing never warns, even with the table nearly full.
        FileTable nearlyFull;
        QCOMPARE(scanNamesIntoTable(nearlyFull, numberedNames(1999), false, warn), 0);
        QCOMPARE(scanNamesIntoTable(nearlyFull, {}, false, warn), 0);
        QCOMPARE(warned, 1);
        QCOMPARE(nearlyFull.lastIndex, 1998);
    }

    void namesPastTheLimitAreDroppedBeforeSorting() {
        // The file system delivers them backwards: the last one it delivers is the one
        // dropped, even though it sorts first.
        QStringList names = numberedNames(2001);
        std::reverse(names.begin(), names.end());
        FileTable table;
        QCOMPARE(scanNamesIntoTable(table, names, true, {}), -1);
        QCOMPARE(table.fileNames[0], QStringLiteral("n0001.jpg"));
        QCOMPARE(table.fileNames[1999], QStringLiteral("n2000.jpg"));
    }

    void sortingOnAndOff() {
        const QStringList found = {"b.bmp", "C.bmp", "a.BMP", "B2.bmp"};
        FileTable unsorted;
        scanNamesIntoTable(unsorted, found, false, {});
        QCOMPARE((QStringList{unsorted.fileNames.begin(), unsorted.fileNames.begin() + 4}), found);
        FileTable sorted;
        scanNamesIntoTable(sorted, found, true, {});
        // Case-insensitive: "a.BMP" before "b.bmp" before "C.bmp".
        QCOMPARE((QStringList{sorted.fileNames.begin(), sorted.fileNames.begin() + 4}),
                 (QStringList{"a.BMP", "b.bmp", "B2.bmp", "C.bmp"}));
    }

    void listingAFolder() {
        QTemporaryDir dir;
        QDir folder(dir.path());
        for (const char* name : {"a.BMP", ".b.bmp", "d.jpg", "e.bmpx"})
            QVERIFY(QFile(folder.filePath(name)).open(QIODevice::WriteOnly));
        QVERIFY(folder.mkdir("c.bmp"));
        QStringList found = listFolderMask(dir.path() + u'/', QStringLiteral("*.BMP"));
        found.sort();
        QCOMPARE(found, (QStringList{".b.bmp", "a.BMP", "c.bmp", "e.bmpx"}));
        QVERIFY(listFolderMask(dir.path() + QStringLiteral("/gone/"), "*.BMP").isEmpty());
    }

    void emptyMaskLeavesTheTableAlone() {
        FileTable table;
        table.reset();
        QCOMPARE(scanNamesIntoTable(table, {}, true, {}), 0);
        QCOMPARE(table.foundAny, 0);
        QCOMPARE(table.nextFree, 0);
    }

    void sizeTexts_data() {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty file") << qint64(0) << "1";
        QTest::newRow("1023 bytes") << qint64(1023) << "1";
        QTest::newRow("1024 bytes") << qint64(1024) << "1";
        QTest::newRow("2 KB") << qint64(2048) << "2";
        QTest::newRow("999 KB") << qint64(999 * 1024 + 1023) << "999";
        QTest::newRow("1000 KB") << qint64(1000 * 1024) << "1,000";
        QTest::newRow("1,234,567 bytes") << qint64(1234567) << "1,205";
        QTest::newRow("past 32 bits") << qint64(1234567890) * 1024 << "1,234,567,890";
    }
    void sizeTexts() {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(formatSizeKB(bytes / 1024), text);
    }

    void dates() {
        QCOMPARE(formatDosDate((25 << 9) | (3 << 5) | 7, (14 << 11) | (5 << 5)),
                 QStringLiteral("05/03/07 14:05"));
        QCOMPARE(formatDosDate((20 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29),
                 QStringLiteral("00/12/31 23:59"));
        QCOMPARE(formatDosDate(0, 0), QStringLiteral("80/00/00 00:00"));
        QCOMPARE(formatDosDate(0xffff, 0xffff), QStringLiteral("07/15/31 31:63"));
        QCOMPARE(formatListDate(QDateTime(QDate(2009, 1, 2), QTime(3, 4, 59))),
                 QStringLiteral("09/01/02 03:04"));
    }

    void colourDepths() {
        const std::pair<int, const char*> table[] = {
            {1, "2色"},     {2, "4色"},     {3, "8色"},     {4, "16色"},    {5, "32色"},
            {6, "64色"},    {7, "128色"},   {8, "256色"},   {15, "3万色"},  {16, "6万色"},
            {24, "16M色"},  {32, "16M色"},  {0, "色不明"},  {9, "色不明"},  {12, "色不明"},
            {14, "色不明"}, {17, "色不明"}, {23, "色不明"}, {31, "色不明"}, {33, "色不明"},
            {48, "色不明"}, {-1, "色不明"}};
        for (const auto& [bits, text] : table)
            QVERIFY2(colourDepthText(bits) == QString::fromUtf8(text),
                     qPrintable(QString::number(bits)));
    }

    void kindColumn() {
        QCOMPARE(kindText(".JPEG"), QStringLiteral("JPEG ﾌｧｲﾙ"));
        QCOMPARE(kindText(".P2"), QStringLiteral("P2 ﾌｧｲﾙ"));
        QCOMPARE(kindIconIndex(".BMP"), 0);
        QCOMPARE(kindIconIndex(".JPE"), 2);
        QCOMPARE(kindIconIndex(".JPEG"), 3);
        QCOMPARE(kindIconIndex(".EMF"), 13);
        QCOMPARE(kindIconIndex(".PIC2"), -1);
        QCOMPARE(kindIconIndex(""), -1);
    }

    void ratioFit_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("panel");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("wide: the width decides")
            << QSize(100, 50) << QSize(404, 304) << QSize(400, 200);
        QTest::newRow("tall: the height decides")
            << QSize(50, 100) << QSize(404, 304) << QSize(150, 300);
        QTest::newRow("empty picture") << QSize(0, 0) << QSize(404, 304) << QSize(0, 0);
        QTest::newRow("big picture is reduced")
            << QSize(1600, 1200) << QSize(404, 304) << QSize(400, 300);
        // The height test uses the panel's outer height: 151 × 2 = 302 is below 304, so the
        // width decides and the picture comes out 2 pixels taller than the inner area.
        QTest::newRow("outer height in the test")
            << QSize(200, 151) << QSize(404, 304) << QSize(400, 302);
        QTest::newRow("scaled sizes truncate") << QSize(40, 7) << QSize(104, 304) << QSize(100, 17);
        QTest::newRow("small picture is enlarged")
            << QSize(10, 10) << QSize(104, 304) << QSize(100, 100);
    }
    void ratioFit() {
        QFETCH(QSize, picture);
        QFETCH(QSize, panel);
        QFETCH(QSize, shown);
        QCOMPARE(kordel::ratioFit(picture, panel), shown);
    }

    void windowFits() {
        // List shown: the viewer takes the new size, the window changes by as much,
        // the list keeps its height; the splitter bar is counted only when asked.
        const WindowFit fit =
            fitWithList(QSize(467, 366), QSize(339, 177), 244, 65, QSize(104, 84), 2);
        QCOMPARE(fit.viewPanel, QSize(104, 84));
        QCOMPARE(fit.window, QSize(467 - 235, 84 + 2 + 65 + (366 - 244)));
        const WindowFit canvas =
            fitWithList(QSize(600, 500), QSize(400, 300), 380, 76, QSize(644, 484), 0);
        QCOMPARE(canvas.window, QSize(844, 484 + 76 + 120));
        // List hidden: width and height change by the viewer's change, never below 470 wide.
        QCOMPARE(fitWithoutList(QSize(600, 500), QSize(400, 300), QSize(644, 484)),
                 QSize(844, 684));
        QCOMPARE(fitWithoutList(QSize(600, 500), QSize(400, 300), QSize(68, 68)), QSize(470, 268));
    }
};

QTEST_GUILESS_MAIN(TestBrowseLogic)
#include "test_browse_logic.moc"
