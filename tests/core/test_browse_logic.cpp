// The pure logic behind browsing a folder: kind masks, the file table's limit,
// the list's texts and the viewer's fit arithmetic, at their edges.
#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "file_table.h"
#include "fit.h"
#include "path_names.h"
#include "texts.h"

using namespace kordel;

namespace {

QStringList numberedNames(int count) {
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("n%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
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
        const auto row = [](const char* name, const char* mask, bool matches) {
            QTest::addRow("%s in '%s'", name, mask) << QString(name) << QString(mask) << matches;
        };
        row("photo.jpeg", "*.JPE", true);  // by its short alias
        row("a.JP", "*.JPE", false);
        row("a.pic2", "*.PIC", true);
        row("a.p2x", "*.P2", false);  // three characters have no alias
        row("a.bmp.jpg", "*.BMP", false);
        row(".bmp", "*.BMP", true);
        row("a.bmp", " ", false);  // a switched-off slot
    }
    void kindMasks() {
        QFETCH(QString, name);
        QFETCH(QString, mask);
        QTEST(matchesKindMask(name, mask), "matches");
    }

    void limitOfOneMask_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("stored");
        QTest::newRow("1999") << 1999 << 0 << 1999;
        QTest::newRow("2000") << 2000 << -1 << 2000;
        QTest::newRow("2001") << 2001 << -1 << 2000;
    }
    void limitOfOneMask() {
        QFETCH(int, count);
        QFETCH(int, result);
        QFETCH(int, stored);
        FileTable table;
        int warned = 0;
        QCOMPARE(scanNamesIntoTable(table, numberedNames(count), false, [&] { ++warned; }), result);
        QCOMPARE(warned, -result);
        QCOMPARE(table.lastIndex, stored - 1);
        QCOMPARE(table.fileNames[stored - 1], numberedNames(stored).last());
        QCOMPARE(table.fileNames[stored], QStringLiteral(" "));
    }

    // With sorting off a folder still lists in name order: code points, ASCII case
    // ignored, whatever order the directory holds its entries in.
    void folderListsInPlainNameOrder() {
        QTemporaryDir dir;
        const QStringList created = {"p05.jpg", "P01.JPG",  "p03.jpg", "_x.jpg", "p10.jpg",
                                     "b.jpg",   "写真.jpg", "Z.jpg",   "p2.jpg"};
        for (const QString& name : created)
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        // Names no path of the program can reach again: Shift-JIS, stray bytes.
        for (const char* raw : {"/\x8e\xca\x90\x5e.jpg", "/bad\xff.jpg"})
            QVERIFY(::close(::creat(QFile::encodeName(dir.path()) + raw, 0644)) == 0);
        QCOMPARE(listFolderMask(dir.path() + u'/', QStringLiteral("*.JPG")),
                 (QStringList{"b.jpg", "P01.JPG", "p03.jpg", "p05.jpg", "p10.jpg", "p2.jpg",
                              "Z.jpg", "_x.jpg", "写真.jpg"}));
    }

    void trashFolders() {
        // The first three are the trash's folders of user 1000.
        const QStringList folders = {"/h/.local/share/Trash/files/", "/u/.Trash-1000/files",
                                     "/u/.Trash/1000/files",         "/h/.local/share/Trash",
                                     "/u/.Trash-1001/files",         "/u/x.Trash-1000/files"};
        for (const QString& folder : folders)
            QCOMPARE(isTrashFilesFolder(folder, "/h/.local/share", 1000),
                     folders.indexOf(folder) < 3);
    }

    void listTexts() {
        QCOMPARE(formatSizeKB(1234567890123), QStringLiteral("1,234,567,890,123"));
        QCOMPARE(formatDosDate((20 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29),
                 QStringLiteral("00/12/31 23:59"));
        QCOMPARE(formatListDate(QDateTime(QDate(2009, 1, 2), QTime(3, 4, 59))),
                 QStringLiteral("09/01/02 03:04"));
    }

    void ratioFit_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("panel");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("tall") << QSize(50, 100) << QSize(404, 304) << QSize(150, 300);
        QTest::newRow("empty picture") << QSize(0, 0) << QSize(404, 304) << QSize(0, 0);
        // The height test uses the panel's outer height: 151 × 2 = 302 is below 304, so the
        // width decides and the picture comes out 2 pixels taller than the inner area.
        QTest::newRow("outer height") << QSize(200, 151) << QSize(404, 304) << QSize(400, 302);
        QTest::newRow("truncated") << QSize(40, 7) << QSize(104, 304) << QSize(100, 17);
        QTest::newRow("enlarged") << QSize(10, 10) << QSize(104, 304) << QSize(100, 100);
    }
    void ratioFit() {
        QFETCH(QSize, picture);
        QFETCH(QSize, panel);
        QTEST(kordel::ratioFit(picture, panel), "shown");
    }

    void thumbnailDisplaySize_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("wide") << QSize(1000, 500) << QSize(96, 48);
        QTest::newRow("tall") << QSize(500, 1000) << QSize(35, 71);
        // 0.15 as a double lies just below 0.15: 640 × 0.15 is 95.999...
        QTest::newRow("640x480") << QSize(640, 480) << QSize(95, 71);
        QTest::newRow("800x600") << QSize(800, 600) << QSize(95, 71);
        QTest::newRow("320x240") << QSize(320, 240) << QSize(95, 71);
        QTest::newRow("1024x768") << QSize(1024, 768) << QSize(96, 72);
        QTest::newRow("96x72") << QSize(96, 72) << QSize(96, 72);
        QTest::newRow("square") << QSize(100, 100) << QSize(71, 71);
        QTest::newRow("300x200") << QSize(300, 200) << QSize(96, 64);
        QTest::newRow("nothing") << QSize(0, 0) << QSize(0, 0);
    }
    void thumbnailDisplaySize() {
        QFETCH(QSize, picture);
        QTEST(kordel::thumbnailDisplaySize(picture.width(), picture.height()), "shown");
    }
};

QTEST_GUILESS_MAIN(TestBrowseLogic)
#include "test_browse_logic.moc"
