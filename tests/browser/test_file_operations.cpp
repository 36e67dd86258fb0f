// Copy, move and delete with real files: from the menus and by dropping on the
// folder tree and the drive tabs, with the real file operations answering
// through the fake dialogs and a trash in a private data folder.
#include <sys/mount.h>

#include <QDir>
#include <QMimeData>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <memory>

#include "catalogue_window.h"
#include "control_array.h"
#include "drive_tab_set.h"
#include "linux_shell.h"
#include "list_view.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

const QString kGone = QStringLiteral("削除済みのファイルです");
const QString kOddName = QStringLiteral("写真 \"引用\" 'x'.bmp");

// Drive "d" is the scratch folder, where the program starts; "cd", "ro" and
// "gone" are a CD, a read-only mount and a place that is not ready.
class Files : public Browsing {
public:
    Files()
        : Browsing(pictures({"a.bmp", "b.bmp", "c.bmp", kOddName, "sub/", "RECYCLED/", "old.lzh/"}),
                   QStringLiteral("[Option]\nSortOpt=1\n"),
                   NotStarted) {
        fakes.drives->placeList = {{path(), "d", DriveType::Fixed, {}},
                                   {file("sub"), "cd", DriveType::CdRom, {}},
                                   {file("sub"), "ro", DriveType::Fixed, {}, true},
                                   {file("gone"), "gone", DriveType::Fixed, {}}};
        fakes.drives->notReady << file("gone");
        start();
        app().context().services->shell = std::make_unique<LinuxShell>(*fakes.dialogs);
    }
    QPoint node(const QString& text) const {
        const auto found = f->TreeView->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return f->TreeView->visualItemRect(found.value(0)).center();
    }
    // A drag of the picture on show (viewer) or, through the list's own drag, of a
    // list entry, after a drag from the viewer that ended elsewhere.
    std::unique_ptr<QMimeData> drag(const QString& name, bool shift) {
        const int row = f->ListView->findCaption(name);
        f->ListView->selectRow(row, false);
        f->dragMove = shift ? 1 : 0;
        form2()->dragSource = 2;
        if (f->fileNames[f->currentIndex] == name)
            return std::unique_ptr<QMimeData>(f->fileDragData(name));
        const QAbstractItemModel* list = f->ListView->reportView()->model();
        return std::unique_ptr<QMimeData>(list->mimeData({list->index(row, 0)}));
    }
};

// Where copies of a file are: "here", "sub" and "trash", joined by "+".
QString where(const Files& p, const QString& name, const QString& home) {
    const std::pair<QString, QString> places[] = {{"here", p.file(name)},
                                                  {"sub", p.file("sub/" + name)},
                                                  {"trash", home + "/data/Trash/files/" + name}};
    QStringList found;
    for (const auto& [place, path] : places)
        if (QFile::exists(path))
            found << place;
    return found.join(u'+');
}

}  // namespace

class TestFileOperations : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> home_;

private slots:
    void init() {
        // The trash of the machine stays untouched; each test has its own.
        home_ = std::make_unique<QTemporaryDir>();
        qputenv("HOME", QFile::encodeName(home_->path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_->path() + "/data"));
    }

    void dropOnTree_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("node");
        QTest::addColumn<int>("shift");  // 1: Shift held, 2: also dragged from another program
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QString>("outcome");  // dialog title | where | rows | status
        const QString rest = QStringLiteral("|a.bmp b.bmp c.bmp ") + kOddName + u'|';
        const auto row = [](const char* tag, const QString& name, const char* node, int shift,
                            QList<bool> answers, const QString& outcome) {
            QTest::newRow(tag) << name << node << shift << answers << outcome;
        };
        row("list entry copied", kOddName, "sub", 0, {}, "画像ファイルのコピー|here+sub" + rest);
        row("picture moved", "a.bmp", "sub", 1, {},
            "画像ファイルの移動|sub|b.bmp c.bmp " + kOddName + u'|' + kGone);
        row("moved by another program", "c.bmp", "sub", 2, {},
            "画像ファイルの移動|sub|a.bmp b.bmp " + kOddName + u'|');
        row("recycling declined", "a.bmp", "RECYCLED", 0, {false}, "-|here" + rest);
        row("recycled", "a.bmp", "RECYCLED", 0, {true},
            "-|trash|b.bmp c.bmp " + kOddName + u'|' + kGone);
        row("archive node", "a.bmp", "old.lzh", 0, {}, "-|here" + rest);
    }
    void dropOnTree() {
        QFETCH(QString, name);
        QFETCH(QString, node);
        QFETCH(int, shift);
        QFETCH(QList<bool>, answers);
        QFETCH(QString, outcome);
        Files p;
        p.fakes.dialogs->answers = answers;
        p.fakes.dialogs->saveNames = {name};
        std::unique_ptr<QMimeData> data = p.drag(name, shift == 1);
        if (shift == 2)
            data->removeFormat("application/x-kordel-drag");
        p.f->TreeViewDragDrop(data.get(), p.node(node),
                              shift == 2 ? Qt::ShiftModifier : Qt::NoModifier);
        const auto& asked = p.fakes.dialogs->saveRequests;
        if (!asked.isEmpty()) {
            QCOMPARE(asked[0].folder, p.file(node) + u'/');
            QCOMPARE(asked[0].name, name);
        }
        QCOMPARE(QStringList({asked.isEmpty() ? "-" : asked[0].title, where(p, name, home_->path()),
                              p.rows().join(u' '), p.status(3)})
                     .join(u'|'),
                 outcome);
    }

    // From a catalogue cell: its keys, and its drag onto the tree.
    void fromCatalogue_data() {
        QTest::addColumn<QString>("act");  // a key, or "drag" / "Drag" (with Shift) onto "sub"
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QString>(
            "outcome");  // where | rows | caption's end | cell's name | status
        const QString all = QStringLiteral("|a.bmp b.bmp c.bmp ") + kOddName + u'|';
        const QString gone = QStringLiteral("|Kordel||") + kGone;
        const auto row = [](const char* tag, const char* act, const char* name, QList<bool> answers,
                            const QString& outcome) {
            QTest::newRow(tag) << act << name << answers << outcome;
        };
        row("deleting the picture on show", "d", "a.bmp", {true},
            "trash|b.bmp c.bmp " + kOddName + gone);
        row("delete declined", "D", "a.bmp", {false}, "here" + all + "a.bmp]|a.bmp|");
        row("move cancelled", "m", "b.bmp", {}, "here" + all + "a.bmp]|b.bmp|");
        row("dragged", "drag", "b.bmp", {}, "here+sub" + all + "b.bmp]|b.bmp|");
        row("dragged with Shift", "Drag", "b.bmp", {}, "sub|a.bmp c.bmp " + kOddName + gone);
    }
    void fromCatalogue() {
        QFETCH(QString, act);
        QFETCH(QString, name);
        QFETCH(QList<bool>, answers);
        QFETCH(QString, outcome);
        Files p;
        TForm2* c = p.form2();
        p.makeThumbnails();
        c->show();
        c->FillPage();
        const int m = int(c->cellNames.indexOf(name));
        c->ArPanelMouseMove(m);
        p.fakes.dialogs->answers = answers;
        if (act.endsWith(u"rag")) {
            p.fakes.dialogs->saveNames = {name};
            QTest::mouseClick(c->ArImage->Members(m), Qt::LeftButton,
                              act == u"Drag" ? Qt::ShiftModifier : Qt::NoModifier);
            std::unique_ptr<QMimeData> data(p.f->fileDragData(c->dragName));
            p.f->TreeViewDragDrop(data.get(), p.node("sub"), Qt::NoModifier);
        } else {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, act);
            QApplication::sendEvent(c->ArPanel->Members(m), &press);
        }
        QCOMPARE(
            QStringList({where(p, name, home_->path()), p.rows().join(u' '),
                         p.caption().section(u'/', -1), c->cellNames[m], p.status(3).trimmed()})
                .join(u'|'),
            outcome);
        // The catalogue's own dialogs open above it.
        for (const auto& asked : p.fakes.dialogs->saveRequests)
            QCOMPARE(asked.parent, act.endsWith(u"rag") ? static_cast<QWidget*>(p.f) : c);
    }

    void dropOnTab_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("said");
        QTest::newRow("usable") << 0 << "";
        QTest::newRow("cd") << 1 << "指定のドライブは利用できません";
        QTest::newRow("read-only") << 2 << "指定のドライブは利用できません";
        QTest::newRow("not ready") << 3 << "指定のドライブは利用できません";
    }
    void dropOnTab() {
        QFETCH(int, tab);
        QFETCH(QString, said);
        Files p;
        p.f->DriveTabSetDragDrop(p.drag("a.bmp", false).get(),
                                 p.f->DriveTabSet->tabRect(tab).center(), Qt::NoModifier);
        QCOMPARE(p.messages().join(u'|'), said);
        QCOMPARE(p.fakes.dialogs->saveRequests.size(), said.isEmpty() ? 1 : 0);
    }

    void deleteThenStep() {
        Files p;
        p.f->G_stepClick();
        p.trigger("KD1");  // b.bmp, to the trash once confirmed
        QCOMPARE(where(p, "b.bmp", home_->path()), "trash");
        QCOMPARE(p.caption(), "Kordel");
        p.f->G_stepClick();
        QCOMPARE(p.caption(), p.captionFor("c.bmp"));
        p.f->G_backClick();
        QCOMPARE(p.status(3), kGone);
    }

    void overwrite_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("outcome");  // question or message | target's bytes
        QTest::newRow("kept") << "sub/a.bmp" << false << "既存のファイル:  3 バイト|old";
        QTest::newRow("replaced") << "sub/a.bmp" << true << "既存のファイル:  3 バイト|new";
        QTest::newRow("same file")
            << "a.bmp" << true << "コピー元とコピー先が同じファイルです。|new";
        QTest::newRow("no such folder") << "none/a.bmp" << true << "コピー先のフォルダ「|";
    }
    void overwrite() {
        QFETCH(QString, target);
        QFETCH(bool, answer);
        QFETCH(QString, outcome);
        Files p;
        p.write("sub/a.bmp", "old");
        p.write("a.bmp", "new");
        p.fakes.dialogs->answers = {answer};
        p.fakes.dialogs->saveNames = {p.file(target)};
        p.trigger("KD2");
        const QString said = (p.fakes.dialogs->confirmations + p.messages()).join(u'\n');
        const QString first = outcome.section(u'|', 0, 0);
        QVERIFY2(said.contains(first), qPrintable(said));
        QCOMPARE(readFile(p.file(target)), outcome.section(u'|', 1).toUtf8());
        QCOMPARE(QDir(p.file("sub")).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void moveToAnotherFileSystem_data() {
        QTest::addColumn<int>("kilobytes");
        QTest::addColumn<bool>("moved");
        QTest::newRow("fits") << 16 << true;
        QTest::newRow("disk full") << 200 << false;
    }
    void moveToAnotherFileSystem() {
        QTemporaryDir from, to;
        if (::mount("tmpfs", QFile::encodeName(to.path()).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mounting a small tmpfs needs root");
        QFETCH(int, kilobytes);
        QFETCH(bool, moved);
        const QByteArray data(kilobytes * 1024, 'k');
        QFile source(from.filePath("p.bmp"));
        QVERIFY(writeFile(source.fileName(), data));
        FakeDialogs dialogs;
        const bool done = LinuxShell(dialogs).moveFile(nullptr, source.fileName(), to.path());
        const QStringList left = QDir(to.path()).entryList(QDir::Files | QDir::Hidden);
        ::umount(QFile::encodeName(to.path()).constData());
        QCOMPARE(done, moved);
        QCOMPARE(source.exists(), !moved);
        QCOMPARE(source.size(), moved ? 0 : data.size());
        QCOMPARE(left, moved ? QStringList{"p.bmp"} : QStringList());
        QCOMPARE(dialogs.messages.size(), moved ? 0 : 1);
    }

    // What a restore from the trash reads back; a file the trash cannot take is
    // kept after a question about deleting for good.
    void deleteToTrash_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("trashed");
        QTest::addColumn<bool>("infoIsAFile");
        QTest::newRow("plain") << "p.bmp" << true << false;
        QTest::newRow("percent signs") << "100%41 %.bmp" << true << false;
        QTest::newRow("Japanese, quotes, $") << "$x " + kOddName << true << false;
        QTest::newRow("250 bytes") << QString(82, u'写') + ".bmp" << false << false;
        QTest::newRow("trash's info is a file") << "p.bmp" << false << true;
    }
    void deleteToTrash() {
        QFETCH(QString, name);
        QFETCH(bool, trashed);
        QFETCH(bool, infoIsAFile);
        QVERIFY(!infoIsAFile || writeFile(home_->path() + "/data/Trash/info", ""));
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(writeFile(path, "x"));
        FakeDialogs dialogs;
        dialogs.answers = {true, false};
        QCOMPARE(LinuxShell(dialogs).deleteFile(nullptr, path), trashed);
        QCOMPARE(dialogs.confirmations.size(), trashed ? 1 : 2);
        const QByteArray info = readFile(home_->path() + "/data/Trash/info/" + name + ".trashinfo");
        const qsizetype at = info.indexOf("\nPath=") + 6;
        const QByteArray value = info.mid(at, info.indexOf('\n', at) - at);
        QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(value)),
                 trashed ? path : QString());
    }

    // From a read-only place: the reason at once, no question that could only
    // fail, and no copy left behind by a move.
    void fromReadOnlyPlace_data() {
        QTest::addColumn<bool>("move");
        QTest::newRow("delete") << false;
        QTest::newRow("move") << true;
    }
    void fromReadOnlyPlace() {
        QFETCH(bool, move);
        QTemporaryDir dir, view, to;
        QVERIFY(writeFile(dir.filePath("p.bmp"), "x"));
        const QByteArray at = QFile::encodeName(view.path());
        if (::mount(QFile::encodeName(dir.path()).constData(), at, nullptr, MS_BIND, nullptr) != 0)
            QSKIP("a bind mount needs root");
        ::mount(nullptr, at, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
        FakeDialogs dialogs;
        LinuxShell shell(dialogs);
        move ? shell.moveFile(nullptr, view.filePath("p.bmp"), to.path())
             : shell.deleteFile(nullptr, view.filePath("p.bmp"));
        ::umount(at);
        QCOMPARE(dialogs.confirmations, QStringList());
        QCOMPARE(dialogs.texts().value(0).section(u'\n', 1), systemErrorText(EROFS));
        QVERIFY(!QFile::exists(to.filePath("p.bmp")));
    }

    // The card on show pulled out (its mount let go lazily) and another one
    // mounted in its place: its picture of the same name is left alone.
    void cardOnShowReplaced() {
        Browsing b({}, QStringLiteral("[Option]\nSortOpt=1\n"), Browsing::NotStarted);
        const QByteArray at = QFile::encodeName(b.path());
        if (::mount("tmpfs", at.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mounting a tmpfs needs root");
        b.write("a.bmp", bmp(4, 3));
        b.fakes.drives->placeList = {{b.path(), "card", DriveType::Removable, {}}};
        b.start();
        ::umount2(at.constData(), MNT_DETACH);
        b.write("a.bmp", "another card's");
        b.trigger("KD1");
        QCOMPARE(b.fakes.shell->calls.size(), 0);
        QCOMPARE(b.messages().size(), 1);
    }

    // The folder on show renamed meanwhile: the picture on show is deleted in
    // its new place, not looked for in vain at the old path.
    void folderRenamedMeanwhile() {
        Files p;
        const QString moved = p.path().chopped(1) + "-moved";
        QVERIFY(QDir().rename(p.path(), moved));
        p.f->G1Click();
        const QStringList rows = p.rows();
        QDir().rename(moved, p.path());
        QCOMPARE(p.fakes.dialogs->texts(), QStringList());
        QCOMPARE(rows, QStringList({"b.bmp", "c.bmp", kOddName}));
        QVERIFY(QFile::exists(home_->path() + "/data/Trash/files/a.bmp"));
    }

    void trashUnavailable_data() {
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("first answer no") << QList<bool>{false} << false;
        QTest::newRow("second answer no") << QList<bool>{true, false} << false;
        QTest::newRow("second answer yes") << QList<bool>{true, true} << true;
    }
    void trashUnavailable() {
        struct NoTrash : LinuxShell {
            using LinuxShell::LinuxShell;
            bool moveToTrash(const QString&, QString& why) override {
                why = "no trash here";
                return false;
            }
        };
        QTemporaryDir dir;
        QFile file(dir.filePath("p.bmp"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        FakeDialogs dialogs;
        QFETCH(QList<bool>, answers);
        QFETCH(bool, deleted);
        dialogs.answers = answers;
        QCOMPARE(NoTrash(dialogs).deleteFile(nullptr, file.fileName()), deleted);
        QCOMPARE(file.exists(), !deleted);
        QCOMPARE(dialogs.confirmDefaults, QList<bool>({true, false}).mid(0, answers.size()));
    }
};

QTEST_MAIN(TestFileOperations)
#include "test_file_operations.moc"
