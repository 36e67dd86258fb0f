// Scanning the current folder into the file table: what the main window shows
// after a rescan, the 2000-file limit, the kind box, entries whose files
// vanish, and opening a folder or file given to the program.
#include <sys/stat.h>
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

}  // namespace

class TestFileScan : public QObject {
    Q_OBJECT

private slots:
    void onePictureThenNone() {
        Browsing p({{"only.bmp", bmp(8, 6)}});
        QCOMPARE(p.caption(), p.captionFor("only.bmp"));
        QCOMPARE(p.statuses(), QStringLiteral("16M色|8x6|1/1|"));
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
        QCOMPARE(p.rows(), QStringList{"only.bmp"});

        QVERIFY(QFile::remove(p.file("only.bmp")));
        p.rescan();
        QCOMPARE(p.statuses(), "|||" + kNothingFound);
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QCOMPARE(p.rows(), QStringList());
        QVERIFY(!p.f->PicView2->hasPicture());
    }

    void limitOf2000_data() {
        QTest::addColumn<int>("jpegs");
        // With one BMP first, the JPG group reaches the limit at its 1999th name.
        QTest::newRow("exactly 2000") << 1999;
        QTest::newRow("2001 and later kinds") << 2000;
    }
    void limitOf2000() {
        QFETCH(int, jpegs);
        QStringList names{"late.gif", "late.jpe"};
        for (int i = 0; i < jpegs; ++i)
            names << QStringLiteral("j%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
        Browsing p(Browsing::pictures(QStringList{"first.bmp"} + names));
        QCOMPARE(p.messages(),
                 QStringList("画像ﾌｧｲﾙが2000以上あります。2001ﾌｧｲﾙ以降は表示できません。"));
        // The first 1999 JPG names are kept; the later kinds were never scanned.
        const QStringList rows = p.rows();
        QCOMPARE(QStringList({rows[0], rows[1], rows.last(), QString::number(rows.size())}),
                 QStringList({"first.bmp", "j0000.jpg", "j1998.jpg", "2000"}));
        QCOMPARE(p.status(2), QStringLiteral("1/2000"));
        QCOMPARE(p.navigation(), QStringLiteral("DEDDEE"));
    }

    void groupsByKindSortedOrNot() {
        // Created in an order that is neither sorted nor reversed.
        const QStringList others = {"b.jpg", "m.jpg", "k.jpe", "c.gif", "j.tif", "i.pic", "h.p2",
                                    "g.mag", "f.pi",  "e.q4",  "d.ico", "x.wmf", "A.emf"};
        Browsing p(Browsing::pictures({"m.bmp", "B.bmp", "y.BMP", "_z.bmp", "a.bmp"}) +
                   Browsing::pictures(QStringList(others.crbegin(), others.crend())));
        const QStringList sorted =
            QStringList{"_z.bmp", "a.bmp", "B.bmp", "m.bmp", "y.BMP"} + others;
        QCOMPARE(p.table(), sorted);
        QCOMPARE(p.rows(), sorted);

        // Without sorting by the user's language each kind is in plain character order,
        // ASCII letters of either case alike.
        p.f->SortOpt = 0;
        p.rescan();
        const QStringList plain =
            QStringList{"a.bmp", "B.bmp", "m.bmp", "y.BMP", "_z.bmp"} + others;
        QCOMPARE(p.rows(), plain);
        QCOMPARE(p.caption(), p.captionFor("a.bmp"));
    }

    void longExtensionsByTheirShortAlias() {
        Browsing::Files files;
        for (const char* name : {"s.jpg", "p.jpeg", "q.JPE", "t.Jpeg", "r.jp", "u.jpgx"})
            files.append({name, jpegFile({8, 8})});
        Browsing p(files);
        // ".jpgx" is listed with the JPG files; ".jp" nowhere.
        QCOMPARE(p.table(), (QStringList{"s.jpg", "u.jpgx", "p.jpeg", "q.JPE", "t.Jpeg"}));
        chooseKind(p.f->ComboBox, 3);  // JPEG(JPE)
        QCOMPARE(p.table(), (QStringList{"p.jpeg", "q.JPE", "t.Jpeg"}));
        QCOMPARE(p.caption(), p.captionFor("p.jpeg"));
        QCOMPARE(p.f->ListView->subItem(1, 2), QStringLiteral("JPE ﾌｧｲﾙ"));
        chooseKind(p.f->ComboBox, 2);  // JPEG(JPG)
        QCOMPARE(p.table(), (QStringList{"s.jpg", "u.jpgx"}));
        chooseKind(p.f->ComboBox, 4);  // GIF: nothing
        QCOMPARE(p.rows(), QStringList());
        QCOMPARE(p.status(3), kNothingFound);
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
    }

    void deletedEntries() {
        Browsing p(Browsing::pictures({"a.bmp", "b.bmp", "c.bmp", "d.bmp"}));
        TForm1* f = p.f;
        TestProgram::click(f->G_step);
        // Another entry: the shown one stays.
        QVERIFY(QFile::remove(p.file("d.bmp")));
        f->MarkEntryDeleted(p.file("d.bmp"), "d.bmp");
        QCOMPARE(p.rows(), (QStringList{"a.bmp", "b.bmp", "c.bmp"}));
        QCOMPARE(p.statuses(), QStringLiteral("16M色|4x3|2/4|"));

        QVERIFY(QFile::remove(p.file("b.bmp")));
        f->MarkEntryDeleted(p.file("b.bmp"), "b.bmp");
        QCOMPARE(p.table(), (QStringList{"a.bmp", "", "c.bmp", ""}));
        QCOMPARE(p.rows(), (QStringList{"a.bmp", "c.bmp"}));
        QCOMPARE(p.statuses(), "|||" + kDeleted);
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        QVERIFY(!f->PicView2->hasPicture());
        // Navigation still steps onto the empty slots and says so.
        TestProgram::click(f->G_step);
        QCOMPARE(p.caption(), p.captionFor("c.bmp"));
        TestProgram::click(f->G_back);
        QCOMPARE(p.statuses(), "|||" + kDeleted);
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));  // no file to name
        QCOMPARE(p.navigation(), QStringLiteral("EEEEEE"));
    }

    // A folder removed since it was made current: reported, and nothing else is
    // scanned in its place.
    void folderRemovedUnderneath() {
        Browsing p({{"a.bmp", bmp(2, 2)}});
        QVERIFY(QDir(p.path()).removeRecursively());
        p.rescan();
        QCOMPARE(p.messages(), QStringList{"I/O ｴﾗｰ (2)"});
        QCOMPARE(p.table(), QStringList{"a.bmp"});
        QCOMPARE(p.caption(), QStringLiteral("Kordel"));
    }

    void openingAFileOrFolder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("buttons");
        QTest::newRow("first") << "a.bmp" << 0 << "DEDDEE";
        QTest::newRow("inner") << "b.bmp" << 1 << "EEEEEE";
        QTest::newRow("last") << "c.bmp" << 2 << "EDEEDD";
        QTest::newRow("not a picture") << "notes.txt" << 0 << "DEDDEE";
        QTest::newRow("the folder, with a trailing separator") << "" << 0 << "DEDDEE";
    }
    void openingAFileOrFolder() {
        QFETCH(QString, name);
        QFETCH(int, index);
        Browsing p(
            {{"a.bmp", bmp(1, 1)}, {"b.bmp", bmp(2, 2)}, {"c.bmp", bmp(3, 3)}, {"notes.txt", {}}},
            "[Option]\nSortOpt=1\n", Browsing::NotStarted);
        p.start();
        QVERIFY(QDir::setCurrent(QDir::rootPath()));
        p.f->openPath(p.file(name));
        QCOMPARE(QDir::currentPath() + u'/', p.path());
        const QString shown = p.table().value(index);
        QCOMPARE(p.caption(), p.captionFor(shown));
        QCOMPARE(p.statuses(), QStringLiteral("16M色|%1x%1|%1/3|").arg(index + 1));
        QTEST(p.navigation(), "buttons");
        QCOMPARE(p.f->ListView->caption(p.f->ListView->selectedRow()), shown);
    }

    // The caption names a folder as the user reached it, through a link too, and
    // goes on naming it after the folder has gone.
    void captionsNameTheFolderAsReached() {
        Browsing p({{"real/a.bmp", bmp(1, 1)}, {"real/b.bmp", bmp(2, 2)}}, "[Option]\nSortOpt=1\n",
                   Browsing::NotStarted);
        QVERIFY(QFile::link(p.file("real"), p.file("link")));
        p.start();
        p.f->openPath(p.file("link/a.bmp"));
        QCOMPARE(p.caption(), p.captionFor("link/a.bmp"));
        QVERIFY(QDir(p.file("real")).removeRecursively());
        TestProgram::click(p.f->G_step);
        QCOMPARE(p.caption(), p.captionFor("link/b.bmp"));
    }

    // A named pipe with a picture's name is an entry like any other, but showing it
    // reports a read error instead of waiting for a writer.
    void namedPipeAmongThePictures() {
        Browsing p({{"a.bmp", bmp(1, 1)}}, "[Option]\nSortOpt=1\n", Browsing::NotStarted);
        QCOMPARE(::mkfifo(QFile::encodeName(p.file("b.bmp")).constData(), 0600), 0);
        p.start();
        p.rescan();
        TestProgram::click(p.f->G_step);
        QCOMPARE(p.messages(), QStringList{"I/O ｴﾗｰ (5)"});
        QCOMPARE(p.caption(), p.captionFor("b.bmp"));
        QCOMPARE(p.statuses(), QStringLiteral("||2/2|ファイルリードエラー"));
    }

    // A name given on the command line counts from where the program was started,
    // although the main window has moved to its start-up folder since.
    void openingARelativeNameFromTheCommandLine() {
        Browsing p({{"pics/a.bmp", bmp(1, 1)}, {"pics/b.bmp", bmp(2, 2)}}, "[Option]\nSortOpt=1\n",
                   Browsing::NotStarted);
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
