// Scanning the current folder into the file table: what the main window shows
// after a rescan, the 2000-file limit, the kind box, entries whose files
// vanish, and opening a folder or file given to the program.
#include <dirent.h>
#include <QComboBox>
#include <QDir>
#include <QTest>

#include "browse_helpers.h"
#include "image.h"
#include "list_view.h"
#include "main.h"
#include "speed_button.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

const QString kNothingFound = QStringLiteral("画像ﾃﾞｰﾀが見つかりません");
const QString kDeleted = QStringLiteral("削除済みのファイルです");
const QString kLimit = QStringLiteral("画像ﾌｧｲﾙが2000以上あります。2001ﾌｧｲﾙ以降は表示できません。");

// Names of a folder in the order the file system gives them.
QStringList directoryOrder(const QString& folder) {
    QStringList names;
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent* e = readdir(dir)) {
        const QString name = QFile::decodeName(e->d_name);
        if (name != QStringLiteral(".") && name != QStringLiteral(".."))
            names << name;
    }
    closedir(dir);
    return names;
}

int kindSlot(const QString& name) {
    const QString ext = name.mid(name.lastIndexOf(u'.')).toUpper();
    for (int k = 0; k < kKindSlots; ++k)
        if (QLatin1String(kKindMaskNames[k] + 1) == ext)
            return k;
    return -1;
}

}  // namespace

class TestFileScan : public QObject {
    Q_OBJECT

private slots:
    void emptyFolderAfterAFullOne() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({8, 6}, 24)));
        TForm1* f = p.form1();
        f->RescanFileList();
        QVERIFY(f->PicView2->hasPicture());

        QVERIFY(QFile::remove(folder.file("a.bmp")));
        f->RescanFileList();
        QCOMPARE(f->foundAny, 0);
        QCOMPARE(f->lastIndex, -1);
        QCOMPARE(p.status(3), kNothingFound);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(p.status(i), QStringLiteral(" "));
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QCOMPARE(navigation(f), QStringLiteral("DDDDDD"));
        QCOMPARE(f->ListView->count(), 0);
        QVERIFY(!f->PicView2->hasPicture());
        QVERIFY(p.fakes.dialogs->messages.isEmpty());
    }

    void onePicture() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("only.bmp", bmpFile({8, 6}, 24)));
        TForm1* f = p.form1();
        f->RescanFileList();
        QCOMPARE(f->foundAny, 1);
        QCOMPARE(f->lastIndex, 0);
        QCOMPARE(f->currentIndex, 0);
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1only.bmp]").arg(folder.path()));
        QCOMPARE(p.status(0), QStringLiteral("16M色"));
        QCOMPARE(p.status(1), QStringLiteral("8x6"));
        QCOMPARE(p.status(2), QStringLiteral("1/1"));
        QVERIFY(p.status(3).trimmed().isEmpty());
        QCOMPARE(navigation(f), QStringLiteral("DDDDDD"));
        QCOMPARE(listCaptions(f->ListView), QStringList{"only.bmp"});
        QCOMPARE(f->ListView->selectedRow(), 0);
        QCOMPARE(f->PicView2->naturalSize(), QSize(8, 6));
    }

    void limitOf2000_data() {
        QTest::addColumn<int>("jpegs");
        // With one BMP first, the JPG group reaches the limit at its 1999th name.
        QTest::newRow("exactly 2000") << 1999;
        QTest::newRow("2001 and later kinds") << 2000;
    }
    void limitOf2000() {
        QFETCH(int, jpegs);
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("first.bmp", bmpFile({4, 4}, 24)));
        QStringList names;
        for (int i = 0; i < jpegs; ++i)
            names << QStringLiteral("j%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        if (jpegs > 1999)
            names << "late.gif"
                  << "late.jpe";
        QVERIFY(folder.touch(names));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();

        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].icon, Dialogs::Icon::Warning);
        QCOMPARE(p.fakes.dialogs->messages[0].text, kLimit);
        QCOMPARE(f->lastIndex, 1999);
        QCOMPARE(f->fileNames[2000], QStringLiteral(" "));
        // The JPG names kept are the first 1999 the file system delivered, then sorted;
        // the later kinds were never scanned.
        QStringList kept;
        for (const QString& name : directoryOrder(folder.path()))
            if (name.endsWith(QStringLiteral(".jpg")))
                kept << name;
        kept = kept.mid(0, 1999);
        std::sort(kept.begin(), kept.end());
        QCOMPARE(tableNames(f), QStringList{"first.bmp"} + kept);
        QCOMPARE(f->ListView->count(), 2000);
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1first.bmp]").arg(folder.path()));
        QCOMPARE(p.status(2), QStringLiteral("1/2000"));
        QCOMPARE(navigation(f), QStringLiteral("DEDDEE"));
    }

    void groupsByKindSortedOrNot() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        // Created in an order that is neither sorted nor reversed.
        const QStringList bmps = {"m.bmp", "B.bmp", "y.BMP", "a.bmp", "Q.bmp", "c.bmp"};
        for (const QString& name : bmps)
            QVERIFY(folder.write(name, bmpFile({2, 2}, 24)));
        QVERIFY(folder.touch({"A.emf", "d.ico", "e.q4", "x.wmf", "f.pi", "g.mag", "h.p2", "i.pic",
                              "j.tif", "c.gif", "k.jpe", "m.jpg", "b.jpg"}));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        const QStringList sorted = {"a.bmp", "B.bmp", "c.bmp", "m.bmp", "Q.bmp", "y.BMP", "b.jpg",
                                    "m.jpg", "k.jpe", "c.gif", "j.tif", "i.pic", "h.p2",  "g.mag",
                                    "f.pi",  "e.q4",  "d.ico", "x.wmf", "A.emf"};
        QCOMPARE(tableNames(f), sorted);
        QCOMPARE(listCaptions(f->ListView), sorted);

        // Without sorting each kind keeps the file system's order.
        f->SortOpt = 0;
        f->RescanFileList();
        const QStringList table = tableNames(f);
        QCOMPARE(table.size(), sorted.size());
        for (int i = 1; i < table.size(); ++i)
            QVERIFY2(kindSlot(table[i - 1]) <= kindSlot(table[i]), qPrintable(table[i]));
        QStringList bmpOrder;
        for (const QString& name : directoryOrder(folder.path()))
            if (name.endsWith(QStringLiteral(".bmp"), Qt::CaseInsensitive))
                bmpOrder << name;
        QCOMPARE(table.mid(0, 6), bmpOrder);
        if (bmpOrder == sorted.mid(0, 6))
            qInfo("this file system lists names sorted: order without sorting not told apart");
        QCOMPARE(listCaptions(f->ListView), table);
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1%2]").arg(folder.path(), table[0]));
    }

    void longExtensionsByTheirShortAlias() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        for (const char* name : {"s.jpg", "p.jpeg", "q.JPE", "t.Jpeg", "r.jp", "u.jpgx"})
            QVERIFY(folder.write(name, jpegFile({8, 8})));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        // ".jpgx" is listed with the JPG files; ".jp" nowhere.
        QCOMPARE(tableNames(f), (QStringList{"s.jpg", "u.jpgx", "p.jpeg", "q.JPE", "t.Jpeg"}));

        chooseKind(f->ComboBox, 3);  // JPEG(JPE)
        QCOMPARE(f->ComboBox->currentIndex(), 3);
        QCOMPARE(tableNames(f), (QStringList{"p.jpeg", "q.JPE", "t.Jpeg"}));
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1p.jpeg]").arg(folder.path()));
        QCOMPARE(f->ListView->subItem(0, 2), QStringLiteral("JPEG ﾌｧｲﾙ"));
        QCOMPARE(f->ListView->subItem(1, 2), QStringLiteral("JPE ﾌｧｲﾙ"));

        chooseKind(f->ComboBox, 2);  // JPEG(JPG)
        QCOMPARE(tableNames(f), (QStringList{"s.jpg", "u.jpgx"}));
        chooseKind(f->ComboBox, 4);  // GIF: nothing
        QCOMPARE(f->lastIndex, -1);
        QCOMPARE(p.status(3), kNothingFound);
        QCOMPARE(navigation(f), QStringLiteral("DDDDDD"));
        QCOMPARE(f->ListView->count(), 0);
    }

    void hiddenFilesAndMatchingFoldersAreListed() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({2, 2}, 24)));
        QVERIFY(folder.write(".hidden.bmp", bmpFile({2, 2}, 24)));
        QVERIFY(QDir(folder.path()).mkdir("holiday.jpg"));
        QVERIFY(QDir(folder.path()).mkdir("other"));
        TForm1* f = p.form1();
        f->RescanFileList();
        const QStringList table = tableNames(f);
        QCOMPARE(table.size(), 3);
        QVERIFY(table.contains(".hidden.bmp"));
        QVERIFY(table.contains("a.bmp"));
        QCOMPARE(table[2], QStringLiteral("holiday.jpg"));
        QCOMPARE(f->ListView->count(), 3);
    }

    void sameKindTwiceDoesNotRescan() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({2, 2}, 24)));
        QVERIFY(folder.write("b.bmp", bmpFile({2, 2}, 24)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        TestProgram::click(f->G_step);
        QCOMPARE(f->currentIndex, 1);
        QVERIFY(folder.write("c.bmp", bmpFile({2, 2}, 24)));

        chooseKind(f->ComboBox, 0);  // "All Files" again
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(f->lastIndex, 1);
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1b.bmp]").arg(folder.path()));

        chooseKind(f->ComboBox, 1);  // BMP: another filter, so it scans
        QCOMPARE(f->currentKindIndex, 1);
        QCOMPARE(tableNames(f), (QStringList{"a.bmp", "b.bmp", "c.bmp"}));
        QCOMPARE(f->currentIndex, 0);
        TestProgram::click(f->G_step);
        chooseKind(f->ComboBox, 1);
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(p.status(2), QStringLiteral("2/3"));
    }

    void deletingTheShownEntry() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
            QVERIFY(folder.write(name, bmpFile({4, 3}, 24)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        TestProgram::click(f->G_step);
        QCOMPARE(f->currentIndex, 1);

        // Still there: nothing happens.
        f->MarkEntryDeleted(folder.file("b.bmp"), "b.bmp");
        QCOMPARE(f->fileNames[1], QStringLiteral("b.bmp"));
        QCOMPARE(f->ListView->count(), 3);

        QVERIFY(QFile::remove(folder.file("b.bmp")));
        f->MarkEntryDeleted(folder.file("b.bmp"), "b.bmp");
        QCOMPARE(f->lastIndex, 2);
        QCOMPARE(f->fileNames[0], QStringLiteral("a.bmp"));
        QCOMPARE(f->fileNames[1], QString());
        QCOMPARE(f->fileNames[2], QStringLiteral("c.bmp"));
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(listCaptions(f->ListView), (QStringList{"a.bmp", "c.bmp"}));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(p.status(i), QString());
        QCOMPARE(p.status(3), kDeleted);
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QVERIFY(!f->PicView2->hasPicture());

        // Navigation still steps onto the empty slot and says so.
        TestProgram::click(f->G_step);
        QCOMPARE(p.status(2), QStringLiteral("3/3"));
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1c.bmp]").arg(folder.path()));
        TestProgram::click(f->G_back);
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(p.status(3), kDeleted);
        QVERIFY(!f->PicView2->hasPicture());
        QCOMPARE(navigation(f), QStringLiteral("EEEEEE"));
        TestProgram::click(f->G_back);
        QCOMPARE(p.status(1), QStringLiteral("4x3"));
        QCOMPARE(p.status(2), QStringLiteral("1/3"));
    }

    void deletingAnotherEntry() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
            QVERIFY(folder.write(name, bmpFile({4, 3}, 24)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        const QString caption = p.caption();

        QVERIFY(QFile::remove(folder.file("c.bmp")));
        f->MarkEntryDeleted(folder.file("c.bmp"), "c.bmp");
        QCOMPARE(tableNames(f), (QStringList{"a.bmp", "b.bmp", ""}));
        QCOMPARE(listCaptions(f->ListView), (QStringList{"a.bmp", "b.bmp"}));
        QCOMPARE(p.caption(), caption);
        QCOMPARE(p.status(1), QStringLiteral("4x3"));
        QVERIFY(f->PicView2->hasPicture());
        QCOMPARE(f->currentIndex, 0);
    }

    void folderRemovedUnderneath() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({2, 2}, 24)));
        TForm1* f = p.form1();
        f->RescanFileList();
        QVERIFY(QDir(folder.path()).removeRecursively());

        f->RescanFileList();
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].text, QStringLiteral("I/O ｴﾗｰ (2)"));
        // The table stays as it was; nothing else was scanned in its place.
        QCOMPARE(f->lastIndex, 0);
        QCOMPARE(f->fileNames[0], QStringLiteral("a.bmp"));
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
    }

    void openingAFolder() {
        TestProgram p;
        p.start();
        ScratchFolder started;  // current before; the opened folder replaces it
        QTemporaryDir opened;
        {
            QFile file(opened.filePath("pic.bmp"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bmpFile({5, 5}, 8));
        }
        const QString path = QDir(opened.path()).canonicalPath();
        TForm1* f = p.form1();
        f->openPath(opened.path());
        QCOMPARE(QDir::currentPath(), path);
        QCOMPARE(tableNames(f), QStringList{"pic.bmp"});
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1/pic.bmp]").arg(path));
        QCOMPARE(p.status(0), QStringLiteral("256色"));
        // With a trailing separator it is the same folder.
        f->openPath(started.path());
        QCOMPARE(QDir::currentPath() + u'/', started.path());
        QCOMPARE(f->foundAny, 0);
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
    }

    void openingAFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("buttons");
        QTest::newRow("first") << "a.bmp" << 0 << "DEDDEE";
        QTest::newRow("inner") << "b.bmp" << 1 << "EEEEEE";
        QTest::newRow("last") << "c.bmp" << 2 << "EDEEDD";
        QTest::newRow("not a picture") << "notes.txt" << 0 << "DEDDEE";
    }
    void openingAFile() {
        QFETCH(QString, name);
        QFETCH(int, index);
        QFETCH(QString, buttons);
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({1, 1}, 24)));
        QVERIFY(folder.write("b.bmp", bmpFile({2, 2}, 24)));
        QVERIFY(folder.write("c.bmp", bmpFile({3, 3}, 24)));
        QVERIFY(folder.touch({"notes.txt"}));
        QVERIFY(QDir::setCurrent(QDir::rootPath()));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->openPath(folder.file(name));
        QCOMPARE(QDir::currentPath() + u'/', folder.path());
        QCOMPARE(f->currentIndex, index);
        const QString shown = f->fileNames[index];
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1%2]").arg(folder.path(), shown));
        QCOMPARE(p.status(1), QStringLiteral("%1x%1").arg(index + 1));
        QCOMPARE(p.status(2), QStringLiteral("%1/3").arg(index + 1));
        QCOMPARE(navigation(f), buttons);
        QCOMPARE(f->ListView->caption(f->ListView->selectedRow()), shown);
    }

    // A name given on the command line counts from where the program was started,
    // although the main window has moved to its start-up folder since.
    void openingARelativeNameFromTheCommandLine() {
        ScratchFolder folder;
        QVERIFY(QDir(folder.path()).mkdir("pics"));
        QVERIFY(folder.write("pics/a.bmp", bmpFile({1, 1}, 24)));
        QVERIFY(folder.write("pics/b.bmp", bmpFile({2, 2}, 24)));
        QVERIFY(QDir::setCurrent(folder.path()));
        TestProgram p;
        p.start();
        QVERIFY(QDir::setCurrent(QDir::rootPath()));
        TForm1* f = p.form1();
        p.app().openArgument(QStringLiteral("pics/b.bmp"));
        QCOMPARE(QDir::currentPath() + u'/', folder.file("pics/"));
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1]").arg(folder.file("pics/b.bmp")));
        p.app().openArgument(QStringLiteral("."));
        QCOMPARE(QDir::currentPath() + u'/', folder.path());
        QCOMPARE(f->foundAny, 0);
    }
};

QTEST_MAIN(TestFileScan)
#include "test_file_scan.moc"
