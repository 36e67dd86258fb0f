// Scanning the current folder into the file table: what the main window shows
// after a rescan, the 2000-file limit, the kind box, entries whose files
// vanish, and opening a folder or file given to the program.
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

Browsing::Files pictures(const QStringList& names) {
    Browsing::Files files;
    for (const QString& name : names)
        files.append({name, bmp(4, 3)});
    return files;
}

}  // namespace

class TestFileScan : public QObject {
    Q_OBJECT

private slots:
    void onePictureThenNone() {
        Browsing p({{"only.bmp", bmp(8, 6)}});
        TForm1* f = p.form1();
        QCOMPARE(p.caption(), p.captionFor("only.bmp"));
        QCOMPARE(QStringList({p.status(0), p.status(1), p.status(2), p.status(3).trimmed()}),
                 QStringList({"16M色", "8x6", "1/1", ""}));
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
        QCOMPARE(p.rows(), QStringList{"only.bmp"});
        QCOMPARE(f->ListView->selectedRow(), 0);
        QCOMPARE(f->PicView2->naturalSize(), QSize(8, 6));

        QVERIFY(QFile::remove(p.file("only.bmp")));
        p.rescan();
        QCOMPARE(QStringList({p.status(0), p.status(1), p.status(2), p.status(3)}),
                 QStringList({" ", " ", " ", kNothingFound}));
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
        QCOMPARE(p.rows(), QStringList());
        QVERIFY(!f->PicView2->hasPicture());
        QVERIFY(p.fakes.dialogs->messages.isEmpty());
    }

    void limitOf2000_data() {
        QTest::addColumn<int>("jpegs");
        // With one BMP first, the JPG group reaches the limit at its 1999th name.
        QTest::newRow("exactly 2000") << 1999;
        QTest::newRow("2001 and later kinds") << 2000;
    }
    void limitOf2000() {
        QFETCH(int, jpegs);
        Browsing::Files files{{"first.bmp", bmp(4, 4)}};
        for (int i = 0; i < jpegs; ++i)
            files.append({QStringLiteral("j%1.jpg").arg(i, 4, 10, QLatin1Char('0')), QByteArray()});
        if (jpegs > 1999)
            files += {{"late.gif", {}}, {"late.jpe", {}}};
        Browsing p(files);

        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].icon, Dialogs::Icon::Warning);
        QCOMPARE(p.fakes.dialogs->messages[0].text,
                 QStringLiteral("画像ﾌｧｲﾙが2000以上あります。2001ﾌｧｲﾙ以降は表示できません。"));
        // The first 1999 JPG names are kept; the later kinds were never scanned.
        const QStringList table = p.table();
        QCOMPARE(table.size(), 2000);
        QCOMPARE(table[1], QStringLiteral("j0000.jpg"));
        QCOMPARE(table.last(), QStringLiteral("j1998.jpg"));
        QCOMPARE(p.form1()->ListView->count(), 2000);
        QCOMPARE(p.caption(), p.captionFor("first.bmp"));
        QCOMPARE(p.status(2), QStringLiteral("1/2000"));
        QCOMPARE(p.navigation(), QStringLiteral("DEDDEE"));
    }

    void groupsByKindSortedOrNot() {
        // Created in an order that is neither sorted nor reversed.
        Browsing::Files files = pictures({"m.bmp", "B.bmp", "y.BMP", "_z.bmp", "a.bmp"});
        for (const char* name : {"A.emf", "d.ico", "e.q4", "x.wmf", "f.pi", "g.mag", "h.p2",
                                 "i.pic", "j.tif", "c.gif", "k.jpe", "m.jpg", "b.jpg"})
            files.append({name, QByteArray()});
        Browsing p(files);
        const QStringList others = {"b.jpg", "m.jpg", "k.jpe", "c.gif", "j.tif", "i.pic", "h.p2",
                                    "g.mag", "f.pi",  "e.q4",  "d.ico", "x.wmf", "A.emf"};
        const QStringList sorted =
            QStringList{"_z.bmp", "a.bmp", "B.bmp", "m.bmp", "y.BMP"} + others;
        QCOMPARE(p.table(), sorted);
        QCOMPARE(p.rows(), sorted);

        // Without sorting by the user's language each kind is in plain character order,
        // ASCII letters of either case alike.
        p.form1()->SortOpt = 0;
        p.rescan();
        const QStringList plain =
            QStringList{"a.bmp", "B.bmp", "m.bmp", "y.BMP", "_z.bmp"} + others;
        QCOMPARE(p.table(), plain);
        QCOMPARE(p.rows(), plain);
        QCOMPARE(p.caption(), p.captionFor("a.bmp"));
    }

    void longExtensionsByTheirShortAlias() {
        Browsing::Files files;
        for (const char* name : {"s.jpg", "p.jpeg", "q.JPE", "t.Jpeg", "r.jp", "u.jpgx"})
            files.append({name, jpegFile({8, 8})});
        Browsing p(files);
        TForm1* f = p.form1();
        // ".jpgx" is listed with the JPG files; ".jp" nowhere.
        QCOMPARE(p.table(), (QStringList{"s.jpg", "u.jpgx", "p.jpeg", "q.JPE", "t.Jpeg"}));

        chooseKind(f->ComboBox, 3);  // JPEG(JPE)
        QCOMPARE(f->ComboBox->currentIndex(), 3);
        QCOMPARE(p.table(), (QStringList{"p.jpeg", "q.JPE", "t.Jpeg"}));
        QCOMPARE(p.caption(), p.captionFor("p.jpeg"));
        QCOMPARE(f->ListView->subItem(0, 2), QStringLiteral("JPEG ﾌｧｲﾙ"));
        QCOMPARE(f->ListView->subItem(1, 2), QStringLiteral("JPE ﾌｧｲﾙ"));

        chooseKind(f->ComboBox, 2);  // JPEG(JPG)
        QCOMPARE(p.table(), (QStringList{"s.jpg", "u.jpgx"}));
        chooseKind(f->ComboBox, 4);  // GIF: nothing
        QCOMPARE(p.table(), QStringList());
        QCOMPARE(p.status(3), kNothingFound);
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
        QCOMPARE(p.rows(), QStringList());
    }

    void hiddenFilesAndMatchingFoldersAreListed() {
        Browsing p({{"a.bmp", bmp(2, 2)},
                    {".hidden.bmp", bmp(2, 2)},
                    {"holiday.jpg/", {}},
                    {"other/", {}}});
        const QStringList table = p.table();
        QCOMPARE(table.size(), 3);
        QVERIFY(table.contains(".hidden.bmp") && table.contains("a.bmp"));
        QCOMPARE(table[2], QStringLiteral("holiday.jpg"));
        QCOMPARE(p.form1()->ListView->count(), 3);
    }

    void sameKindTwiceDoesNotRescan() {
        Browsing p(pictures({"a.bmp", "b.bmp"}));
        TForm1* f = p.form1();
        TestProgram::click(f->G_step);
        QVERIFY(p.write("c.bmp", bmp(2, 2)));

        chooseKind(f->ComboBox, 0);  // "All Files" again
        QCOMPARE(p.table(), (QStringList{"a.bmp", "b.bmp"}));
        QCOMPARE(p.caption(), p.captionFor("b.bmp"));

        chooseKind(f->ComboBox, 1);  // BMP: another filter, so it scans
        QCOMPARE(p.table(), (QStringList{"a.bmp", "b.bmp", "c.bmp"}));
        QCOMPARE(p.caption(), p.captionFor("a.bmp"));
        TestProgram::click(f->G_step);
        chooseKind(f->ComboBox, 1);
        QCOMPARE(p.status(2), QStringLiteral("2/3"));
    }

    void deletingTheShownEntry() {
        Browsing p(pictures({"a.bmp", "b.bmp", "c.bmp"}));
        TForm1* f = p.form1();
        TestProgram::click(f->G_step);

        // Still there: nothing happens.
        f->MarkEntryDeleted(p.file("b.bmp"), "b.bmp");
        QCOMPARE(p.rows(), (QStringList{"a.bmp", "b.bmp", "c.bmp"}));

        QVERIFY(QFile::remove(p.file("b.bmp")));
        f->MarkEntryDeleted(p.file("b.bmp"), "b.bmp");
        QCOMPARE(p.table(), (QStringList{"a.bmp", "", "c.bmp"}));
        QCOMPARE(p.rows(), (QStringList{"a.bmp", "c.bmp"}));
        QCOMPARE(QStringList({p.status(0), p.status(1), p.status(2), p.status(3)}),
                 QStringList({"", "", "", kDeleted}));
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QVERIFY(!f->PicView2->hasPicture());

        // Navigation still steps onto the empty slot and says so.
        TestProgram::click(f->G_step);
        QCOMPARE(p.status(2), QStringLiteral("3/3"));
        QCOMPARE(p.caption(), p.captionFor("c.bmp"));
        TestProgram::click(f->G_back);
        QCOMPARE(p.status(3), kDeleted);
        QVERIFY(!f->PicView2->hasPicture());
        QCOMPARE(p.navigation(), QStringLiteral("EEEEEE"));
        TestProgram::click(f->G_back);
        QCOMPARE(p.status(1), QStringLiteral("4x3"));
        QCOMPARE(p.status(2), QStringLiteral("1/3"));
    }

    void deletingAnotherEntryKeepsTheShownOne() {
        Browsing p(pictures({"a.bmp", "b.bmp", "c.bmp"}));
        QVERIFY(QFile::remove(p.file("c.bmp")));
        p.form1()->MarkEntryDeleted(p.file("c.bmp"), "c.bmp");
        QCOMPARE(p.table(), (QStringList{"a.bmp", "b.bmp", ""}));
        QCOMPARE(p.rows(), (QStringList{"a.bmp", "b.bmp"}));
        QCOMPARE(p.caption(), p.captionFor("a.bmp"));
        QCOMPARE(p.status(1), QStringLiteral("4x3"));
        QVERIFY(p.form1()->PicView2->hasPicture());
    }

    void folderRemovedUnderneath() {
        Browsing p({{"a.bmp", bmp(2, 2)}});
        QVERIFY(QDir(p.path()).removeRecursively());
        p.rescan();
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].text, QStringLiteral("I/O ｴﾗｰ (2)"));
        // The table stays as it was; nothing else was scanned in its place.
        QCOMPARE(p.table(), QStringList{"a.bmp"});
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
    }

    void openingAFolder() {
        Browsing p;
        QTemporaryDir opened;
        QFile file(opened.filePath("pic.bmp"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bmpFile({5, 5}, 8)) > 0);
        file.close();
        const QString path = QDir(opened.path()).canonicalPath();
        p.form1()->openPath(opened.path());
        QCOMPARE(QDir::currentPath(), path);
        QCOMPARE(p.table(), QStringList{"pic.bmp"});
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1/pic.bmp]").arg(path));
        QCOMPARE(p.status(0), QStringLiteral("256色"));
        // With a trailing separator it is the same folder.
        p.form1()->openPath(p.path());
        QCOMPARE(QDir::currentPath() + u'/', p.path());
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
        Browsing p(
            {{"a.bmp", bmp(1, 1)}, {"b.bmp", bmp(2, 2)}, {"c.bmp", bmp(3, 3)}, {"notes.txt", {}}},
            QStringLiteral("[Option]\nSortOpt=1\n"), Browsing::NotStarted);
        p.start();
        QVERIFY(QDir::setCurrent(QDir::rootPath()));
        p.form1()->openPath(p.file(name));
        QCOMPARE(QDir::currentPath() + u'/', p.path());
        const QString shown = p.table().value(index);
        QCOMPARE(p.caption(), p.captionFor(shown));
        QCOMPARE(p.status(1), QStringLiteral("%1x%1").arg(index + 1));
        QCOMPARE(p.status(2), QStringLiteral("%1/3").arg(index + 1));
        QCOMPARE(p.navigation(), buttons);
        QCOMPARE(p.form1()->ListView->caption(p.form1()->ListView->selectedRow()), shown);
    }

    // A name given on the command line counts from where the program was started,
    // although the main window has moved to its start-up folder since.
    void openingARelativeNameFromTheCommandLine() {
        Browsing p({{"pics/a.bmp", bmp(1, 1)}, {"pics/b.bmp", bmp(2, 2)}},
                   QStringLiteral("[Option]\nSortOpt=1\n"), Browsing::NotStarted);
        p.start();
        QVERIFY(QDir::setCurrent(QDir::rootPath()));
        p.app().openArgument(QStringLiteral("pics/b.bmp"));
        QCOMPARE(QDir::currentPath() + u'/', p.file("pics/"));
        QCOMPARE(p.caption(), p.captionFor("pics/b.bmp"));
        p.app().openArgument(QStringLiteral("."));
        QCOMPARE(QDir::currentPath() + u'/', p.path());
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
    }
};

QTEST_MAIN(TestFileScan)
#include "test_file_scan.moc"
