// LZH archives in the folder tree, their members in the file list and the viewer.
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "catalogue_window.h"
#include "image.h"
#include "list_view.h"
#include "lzh_test_archives.h"
#include "main.h"
#include "speed_button.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

// Dated 2005-03-07 14:05 local time, as the level-1 header stores it.
void writeDated(const QString& path, const QByteArray& data) {
    QVERIFY(writeFile(path, data) && setModified(path, QDateTime(QDate(2005, 3, 7), QTime(14, 5))));
}

}  // namespace

class TestArchiveFolders : public QObject {
    Q_OBJECT

    QString startDir_;
    QTemporaryDir work_;
    QString drive_;

    // The program on a drive holding the archives, with or without the library.
    void start(TestProgram& p, bool withLibrary = true) {
        p.fakes.drives->placeList = {{drive_, "d", DriveType::Fixed, {}}};
        if (withLibrary)
            p.useArchiveLibrary();
        p.start();
    }

    void select(TestProgram& p, const QString& archive) {
        QTreeWidgetItem* root = p.form1()->TreeView->topLevelItem(0);
        p.form1()->TreeView->setCurrentItem(root->child(int(childTexts(root).indexOf(archive))));
    }

private slots:
    void initTestCase() {
        if (!haveJlha())
            QSKIP("jlha (jlha-utils) is not installed");
        startDir_ = QDir::currentPath();
        drive_ = work_.path() + "/drive";
        QDir().mkpath(drive_ + "/Folder");
        QDir().mkpath(drive_ + "/Photos.lzh");
        const QString src = work_.path() + "/src";
        writeDated(src + "/b.bmp", bmp(6, 4));
        writeDated(src + "/a.bmp", bmp(12, 8));
        writeDated(src + "/c.jpg.txt", "not a picture");
        writeDated(src + "/sub/deep/dog.bmp", bmp(6, 4));
        QString error = runJlha(
            src, {"a1", drive_ + "/pics.lzh", "b.bmp", "a.bmp", "c.jpg.txt", "sub/deep/dog.bmp"});
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QStringList many = {"a1", drive_ + "/many.lzh"};
        for (int i = 0; i <= 2001; ++i) {
            many << QStringLiteral("many/%1.bmp").arg(i, 4, 10, QLatin1Char('0'));
            writeDated(src + u'/' + many.last(), i == 0 ? bmp(6, 4) : QByteArray());
        }
        error = runJlha(src, many);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(QFile::copy(lzhCorpus() + "data-lh5-bit-flipped.lzh", drive_ + "/broken.lzh"));
        QVERIFY(QFile::copy(lzhCorpus() + "not-an-archive.lzh", drive_ + "/fake.lzh"));
        QVERIFY(QFile::copy(KORDEL_SOURCE_DIR "/tests/unlha32/members-2gib-each.lzh",
                            drive_ + "/huge.lzh"));
        QCOMPARE(mkfifo(QFile::encodeName(drive_ + "/pipe.lzh").constData(), 0600), 0);  // no node
        QVERIFY(QDir::setCurrent(drive_));
    }
    void cleanupTestCase() { QDir::setCurrent(startDir_); }
    void init() { QDir::setCurrent(drive_); }

    void archivesAppearAfterTheFoldersOnlyWithTheLibrary() {
        TestProgram p;
        start(p);
        QTreeWidgetItem* root = p.form1()->TreeView->topLevelItem(0);
        QCOMPARE(childTexts(root), QStringList({"Folder", "Photos.lzh", "broken.lzh", "fake.lzh",
                                                "huge.lzh", "many.lzh", "pics.lzh"}));
        QVERIFY(!TForm1::isArchiveNode(root->child(1)) && TForm1::isArchiveNode(root->child(6)));
        // Gigabytes declared in a small file are not decompressed to check it (that took
        // half a minute; the bound leaves room for a busy machine).
        QElapsedTimer clock;
        clock.start();
        select(p, "huge.lzh");
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(p.status(3), QStringLiteral("画像ﾃﾞｰﾀが見つかりません"));
        for (const char* name : {"broken.lzh", "fake.lzh"}) {
            select(p, name);
            QCOMPARE(p.status(3), QStringLiteral("書庫が異常です"));
            QCOMPARE(p.form1()->ListView->count(), 0);
            QVERIFY(!p.form1()->G_play->isEnabled() && !p.form1()->G_step->isEnabled());
            QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        }
        // At most 2000 names, with a warning.
        select(p, "many.lzh");
        QCOMPARE(p.messages(),
                 QStringList("画像ﾌｧｲﾙが2000以上あります。2001ﾌｧｲﾙ以降は表示できません。"));
        QCOMPARE(p.form1()->lastIndex, 1999);
        QCOMPARE(p.form1()->ListView->count(), 2000);
        TestProgram without;
        start(without, false);
        QCOMPARE(childTexts(without.form1()->TreeView->topLevelItem(0)),
                 QStringList({"Folder", "Photos.lzh"}));
    }

    // An archive named on the command line opens as its folder in the tree.
    void archiveGivenAtStart() {
        TestProgram p;
        start(p);
        QDir::setCurrent(QDir::rootPath());
        p.app().openArgument(drive_ + "/pics.lzh");
        QTreeWidgetItem* node = p.form1()->TreeView->currentItem();
        QVERIFY(TForm1::isArchiveNode(node) && node->text(0) == "pics.lzh");
        QCOMPARE(p.table(), QStringList({"b.bmp", "a.bmp", "dog.bmp"}));
        QCOMPARE(p.caption(), "Kordel [" + drive_ + "/pics.lzh/b.bmp]");
    }

    void membersAreListedShownAndCleanedUp() {
        TestProgram p;
        start(p);
        TForm1* f = p.form1();
        select(p, "pics.lzh");
        // Pictures only, in stored order; the member in a sub-folder by its base name.
        QCOMPARE(p.table(), QStringList({"b.bmp", "a.bmp", "dog.bmp"}));
        QCOMPARE(f->ListView->subItem(0, 0), QStringLiteral("1KB"));
        QCOMPARE(f->ListView->subItem(0, 1), QStringLiteral("05/03/07 14:05"));
        QCOMPARE(p.caption(), "Kordel [" + drive_ + "/pics.lzh/b.bmp]");
        QCOMPARE(p.status(1), QStringLiteral("6x4"));
        // Next shows the next member; no copy stays in the temporary folder.
        TestProgram::click(f->G_step);
        QCOMPARE(p.caption(), "Kordel [" + drive_ + "/pics.lzh/a.bmp]");
        QCOMPARE(p.status(1), QStringLiteral("12x8"));
        QCOMPARE(QDir(p.fakes.tempFolder->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList());
        // A show goes on through the members the same way, to the last.
        TestProgram::click(f->G_play);
        QCOMPARE(p.caption(), "Kordel [" + drive_ + "/pics.lzh/dog.bmp]");
        QCOMPARE(p.navigation(), QStringLiteral("EDEEDD"));
        // Inside an archive the file commands are off.
        f->PopupMenu3Popup();
        QVERIFY(!f->K2->isEnabled() && !f->K5->isEnabled() && !f->K6->isEnabled());
        // Sorted by name when the user wants it.
        f->SortOpt = 1;
        select(p, "broken.lzh");
        select(p, "pics.lzh");
        QCOMPARE(p.table(), QStringList({"a.bmp", "b.bmp", "dog.bmp"}));
    }

    // A double click opens a copy of the member itself, not a file of its name
    // beside the archive; the viewer's next show does not take that copy away.
    void doubleClickOpensACopyOfTheMember() {
        TestProgram p;
        start(p);
        TForm1* f = p.form1();
        select(p, "pics.lzh");
        f->ListView->selectRow(1, false);
        f->ListViewDblClick();
        QTest::keyClick(f->ListView->reportView(), Qt::Key_Return);  // shows it, as a click
        QCOMPARE(p.caption(), "Kordel [" + drive_ + "/pics.lzh/a.bmp]");
        // So do the viewer's and a catalogue cell's.
        QTest::mouseDClick(f->PicView2, Qt::LeftButton, {}, QPoint(1, 1));
        p.form2()->cellEntry[0] = 1;
        p.form2()->ArImageDblClick(0);
        QCOMPARE(p.fakes.shell->calls.size(), 3);
        for (const FakeShell::Call& call : p.fakes.shell->calls) {
            const QString opened = call.files.value(0);
            QVERIFY2(opened.startsWith(p.fakes.tempFolder->path()) && opened.endsWith("/a.bmp"),
                     qPrintable(opened));
            QCOMPARE(readFile(opened), bmp(12, 8));
        }
    }
};

QTEST_MAIN(TestArchiveFolders)
#include "test_archive_folders.moc"
