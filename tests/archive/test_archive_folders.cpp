// LZH archives in the folder tree, their members in the file list and the viewer.
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "list_view.h"
#include "lzh_test_archives.h"
#include "main.h"
#include "speed_button.h"
#include "status_bar.h"
#include "test_program.h"
#include "unlha_binding.h"

using namespace kordel;
using namespace kordel::test;

namespace {

QByteArray bmpBytes(QColor colour, QSize size = QSize(6, 4)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return out;
}

void writeFile(const QString& path, const QByteArray& data, const QDateTime& time = {}) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.flush();
    if (time.isValid())
        QVERIFY(f.setFileTime(time, QFileDevice::FileModificationTime));
}

QTreeWidgetItem* child(QTreeWidgetItem* node, const QString& text) {
    for (int i = 0; i < node->childCount(); ++i)
        if (node->child(i)->text(0) == text)
            return node->child(i);
    return nullptr;
}

}  // namespace

class TestArchiveFolders : public QObject {
    Q_OBJECT

    QString startDir_;
    QTemporaryDir work_;
    QString drive_;

    QString src(const QString& name) const { return work_.path() + "/src/" + name; }

    // Builds an archive from files under src/ with jlha.
    void archive(const QString& name, const QString& command, const QStringList& members) {
        const QString error =
            runJlha(work_.path() + "/src", QStringList{command, drive_ + "/" + name} + members);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void prepare(TestProgram& p, bool withLibrary = true) {
        p.fakes.drives->placeList = {{drive_, "d", DriveType::Fixed, {}}};
        if (withLibrary)
            p.useArchiveLibrary();
    }

private slots:
    void initTestCase() {
        if (!haveJlha())
            QSKIP("jlha (jlha-utils) is not installed");
        startDir_ = QDir::currentPath();
        drive_ = work_.path() + "/drive";
        QDir().mkpath(drive_ + "/Folder");
        QDir().mkpath(drive_ + "/Photos.lzh");
        // 2005-03-07 14:05 local time, as the level-1 header stores it.
        const QDateTime stamp(QDate(2005, 3, 7), QTime(14, 5, 0));
        writeFile(src("b.bmp"), bmpBytes(Qt::red), stamp);
        writeFile(src("a.bmp"), bmpBytes(Qt::green, QSize(12, 8)), stamp);
        writeFile(src("c.jpg.txt"), "not a picture", stamp);
        writeFile(src("sub/deep/dog.bmp"), bmpBytes(Qt::blue), stamp);
        writeFile(src("photos/a.bmp"), bmpBytes(Qt::yellow), stamp);
        archive("pics.lzh", "a1", {"b.bmp", "a.bmp", "c.jpg.txt", "sub/deep/dog.bmp"});
        archive("TWINS.LZH", "a2", {"a.bmp", "photos/a.bmp"});
        archive("level0.lzh", "a0z", {"b.bmp"});
        QByteArray broken;
        {
            QFile f(drive_ + "/pics.lzh");
            QVERIFY(f.open(QIODevice::ReadOnly));
            broken = f.readAll();
        }
        broken[broken.size() - 20] = char(broken[broken.size() - 20] ^ 0x5a);
        writeFile(drive_ + "/broken.lzh", broken);
        writeFile(drive_ + "/fake.lzh", "this is no archive at all");
        QVERIFY(QDir::setCurrent(drive_));
    }
    void cleanupTestCase() { QDir::setCurrent(startDir_); }
    void init() { QDir::setCurrent(drive_); }

    void archivesAppearAfterTheFoldersOnlyWithTheLibrary() {
        {
            TestProgram p;
            prepare(p);
            p.start();
            TForm1* f = p.form1();
            QVERIFY(f->archiveLibraryLoaded());
            QTreeWidgetItem* root = f->TreeView->topLevelItem(0);
            QStringList texts;
            for (int i = 0; i < root->childCount(); ++i)
                texts << root->child(i)->text(0);
            QCOMPARE(texts, QStringList({"Folder", "Photos.lzh", "broken.lzh", "fake.lzh",
                                         "level0.lzh", "pics.lzh", "TWINS.LZH"}));
            QVERIFY(!TForm1::isArchiveNode(child(root, "Photos.lzh")));
            QTreeWidgetItem* pics = child(root, "pics.lzh");
            QVERIFY(TForm1::isArchiveNode(pics));
            QCOMPARE(pics->childCount(), 0);
            const QImage closed = pics->icon(0).pixmap(16, 16).toImage();
            QCOMPARE(closed.convertToFormat(QImage::Format_ARGB32),
                     f->ImageList[8].toImage().convertToFormat(QImage::Format_ARGB32));
            QCOMPARE(f->NodePath(pics), drive_);
        }
        TestProgram without;
        prepare(without, false);
        without.start();
        QVERIFY(!without.form1()->archiveLibraryLoaded());
        QCOMPARE(without.form1()->TreeView->topLevelItem(0)->childCount(), 2);
        // Any call through the table then shows the stand-by box.
        QCOMPARE(without.app().context().archive->table().UnlhaCheckArchive("x", 1), 0);
        QCOMPARE(without.fakes.dialogs->messages.size(), 1);
        QCOMPARE(without.fakes.dialogs->messages[0].title, QStringLiteral("PANIC!!"));
        QCOMPARE(without.fakes.dialogs->messages[0].text,
                 QStringLiteral("UnlhaCheckArchive: LHA.DLL not loaded."));
    }

    void membersAreListedShownAndCleanedUp() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        QTreeWidgetItem* pics = child(f->TreeView->topLevelItem(0), "pics.lzh");
        f->TreeView->setCurrentItem(pics);
        QVERIFY(f->isArchiveSelected());
        QCOMPARE(QDir::currentPath(), drive_);
        // Stored order within the kind; the member in a sub-folder by its base name.
        QCOMPARE(f->lastIndex, 2);
        QCOMPARE(f->fileNames[0], QStringLiteral("b.bmp"));
        QCOMPARE(f->fileNames[1], QStringLiteral("a.bmp"));
        QCOMPARE(f->fileNames[2], QStringLiteral("dog.bmp"));
        QCOMPARE(f->ListView->count(), 3);
        QCOMPARE(f->ListView->subItem(0, 1), QStringLiteral("05/03/07 14:05"));
        QCOMPARE(f->ListView->subItem(0, 0), QStringLiteral("1KB"));
        QCOMPARE(f->ListView->subItem(0, 2), QStringLiteral("BMP ﾌｧｲﾙ"));
        QCOMPARE(p.caption(), "Kordel [" + drive_ + "/pics.lzh/b.bmp]");
        QCOMPARE(p.status(1), QStringLiteral("6x4"));
        QVERIFY(!f->ListView->automaticDrag());
        // Next shows the next member; no copy stays in the temporary folder.
        TestProgram::click(f->G_step);
        QCOMPARE(p.caption(), "Kordel [" + drive_ + "/pics.lzh/a.bmp]");
        QCOMPARE(p.status(1), QStringLiteral("12x8"));
        QCOMPARE(QDir(p.fakes.tempFolder->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList());
        // Inside an archive the file commands are off.
        f->PopupMenu3Popup();
        QVERIFY(!f->K2->isEnabled() && !f->K5->isEnabled() && !f->K6->isEnabled());
    }

    void sortedMembers() {
        TestProgram p;
        prepare(p);
        p.start();
        p.form1()->SortOpt = 1;
        p.form1()->TreeView->setCurrentItem(
            child(p.form1()->TreeView->topLevelItem(0), "pics.lzh"));
        QCOMPARE(p.form1()->fileNames[0], QStringLiteral("a.bmp"));
        QCOMPARE(p.form1()->fileNames[1], QStringLiteral("b.bmp"));
        QCOMPARE(p.form1()->fileNames[2], QStringLiteral("dog.bmp"));
    }

    void twoMembersWithOneBaseNameShowTheFirst() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        f->TreeView->setCurrentItem(child(f->TreeView->topLevelItem(0), "TWINS.LZH"));
        QCOMPARE(f->ListView->count(), 2);
        QCOMPARE(f->ListView->caption(0), QStringLiteral("a.bmp"));
        QCOMPARE(f->ListView->caption(1), QStringLiteral("a.bmp"));
        QCOMPARE(p.status(1), QStringLiteral("12x8"));
        TestProgram::click(f->G_step);
        // The second entry extracts the first member of that name again.
        QCOMPARE(p.status(1), QStringLiteral("12x8"));
        QCOMPARE(p.status(2), QStringLiteral("2/2"));
    }

    void damagedAndForeignArchives() {
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        for (const char* name : {"broken.lzh", "fake.lzh"}) {
            f->TreeView->setCurrentItem(child(f->TreeView->topLevelItem(0), name));
            QCOMPARE(p.status(3), QStringLiteral("書庫が異常です"));
            QCOMPARE(f->ListView->count(), 0);
            QCOMPARE(f->foundAny, 0);
            QVERIFY(!f->G_play->isEnabled() && !f->G_step->isEnabled());
            QCOMPARE(p.caption(), QStringLiteral("Kordel"));
        }
        // A level-0 archive lists too.
        f->TreeView->setCurrentItem(child(f->TreeView->topLevelItem(0), "level0.lzh"));
        QCOMPARE(f->ListView->count(), 1);
    }

    void limitOf2000Members() {
        const QString many = work_.path() + "/src/many";
        QDir().mkpath(many);
        QStringList names;
        writeFile(many + "/0000.bmp", bmpBytes(Qt::red));
        names << "0000.bmp";
        for (int i = 1; i <= 2001; ++i) {
            const QString name = QStringLiteral("%1.bmp").arg(i, 4, 10, QLatin1Char('0'));
            writeFile(many + "/" + name, QByteArray());
            names << name;
        }
        const QString error = runJlha(many, QStringList{"a1", drive_ + "/many.lzh"} + names);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        TestProgram p;
        prepare(p);
        p.start();
        TForm1* f = p.form1();
        f->TreeView->setCurrentItem(child(f->TreeView->topLevelItem(0), "many.lzh"));
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].text,
                 QStringLiteral("画像ﾌｧｲﾙが2000以上あります。2001ﾌｧｲﾙ以降は表示できません。"));
        QCOMPARE(f->lastIndex, 1999);
        QCOMPARE(f->ListView->count(), 2000);
        QFile::remove(drive_ + "/many.lzh");
    }
};

QTEST_MAIN(TestArchiveFolders)
#include "test_archive_folders.moc"
