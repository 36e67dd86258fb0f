// The run-time binding to the archive library: finding and binding it, the
// stand-by routines when it is missing, and the wrappers on real archives.
#include <dlfcn.h>

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "fakes.h"
#include "file_io.h"
#include "lzh_test_archives.h"
#include "unlha_binding.h"

using namespace kordel;
using namespace kordel::test;

namespace {

const QString kBinDir = QStringLiteral(KORDEL_BIN_DIR);
const QString kLibrary = kBinDir + QStringLiteral("/libunlha32.so");
const QString kArchive = lzhCorpus() + QStringLiteral("sound-search-names.lzh");

QString panicText(const char* entry) {
    return QLatin1String(entry) + QStringLiteral(": LHA.DLL not loaded.");
}

// Calls an entry with zeros and nulls for every argument; true when it answers 0 or null.
template <typename R, typename... A>
bool answersZero(R (*entry)(A...)) {
    return entry(A()...) == R();
}

}  // namespace

class TestUnlhaBinding : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;

    // A fresh, empty folder under the temporary folder.
    QString freshFolder(const QString& name) const {
        QDir(tmp_.filePath(name)).removeRecursively();
        QDir().mkpath(tmp_.filePath(name));
        return tmp_.filePath(name);
    }

private slots:
    void initTestCase() {
        // The library keeps a locale of its own that it never frees, so every
        // unload would leave one behind for the leak checker. The program loads
        // it once; here one reference stays for the whole run.
        QVERIFY(dlopen(QFile::encodeName(kLibrary).constData(), RTLD_NOW | RTLD_LOCAL));
    }

    void libraryFoundBoundAndReleased() {
        // A copy of its own, so no other reference keeps it loaded.
        const QString copy = freshFolder(QStringLiteral("copy/bin")) + "/libunlha32.so";
        QVERIFY(QFile::copy(kLibrary, copy));
        FakeDialogs dialogs;
        auto lib = std::make_unique<ArchiveLibrary>(&dialogs, tmp_.filePath("copy/bin"));
        QVERIFY2(lib->archiveLibraryLoaded(), qPrintable(lib->loadError()));
        QCOMPARE(lib->libraryPath(), copy);
        // Each entry holds exactly the library's symbol of its own name.
        void* same = dlopen(QFile::encodeName(copy).constData(), RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(same);
        for (int i = 0; i < ArchiveLibrary::kEntryCount; ++i) {
            const char* name = ArchiveLibrary::entryName(UnlhaEntry(i));
            QVERIFY2(dlsym(same, name), name);
            QCOMPARE(lib->entryAddress(UnlhaEntry(i)), static_cast<const void*>(dlsym(same, name)));
        }
        dlclose(same);
        lib.reset();
        QVERIFY2(!dlopen(QFile::encodeName(copy).constData(), RTLD_NOW | RTLD_NOLOAD),
                 "the library stays loaded after the binding ended");
    }

    void searchOrderAndForeignFiles() {
        const QString root = freshFolder(QStringLiteral("install"));
        const QString bin = root + QStringLiteral("/bin");
        const QString installed = root + QStringLiteral("/lib/kordel/libunlha32.so");
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(root + QStringLiteral("/lib/kordel")));
        QVERIFY(QFile::link(kLibrary, installed));
        FakeDialogs dialogs;
        QCOMPARE(ArchiveLibrary(&dialogs, bin + u'/').libraryPath(), installed);
        // A damaged copy in the program's folder does not hide the installed one.
        QFile damaged(bin + QStringLiteral("/libunlha32.so"));
        QVERIFY(writeFile(damaged.fileName(), "not a library"));
        QCOMPARE(ArchiveLibrary(&dialogs, bin).libraryPath(), installed);
        // The program's own folder comes first.
        QVERIFY(damaged.remove() && QFile::link(kLibrary, damaged.fileName()));
        QCOMPARE(ArchiveLibrary(&dialogs, bin).libraryPath(), damaged.fileName());
    }

    // A stand-by names its own entry in an error box and answers 0, which means
    // "sound", "found" or "done" to a caller: the wrappers show the box once
    // and fail instead.
    void missingLibraryStandsBy() {
        // The current folder holds the library: it must not be found there.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(kBinDir));
        const auto restore = qScopeGuard([&before] { QDir::setCurrent(before); });
        FakeDialogs dialogs;
        ArchiveLibrary lib(&dialogs, freshFolder(QStringLiteral("nothing/bin")));
        const UnlhaTable& t = lib.table();
#define KORDEL_CALL_WITH_ZEROS(name) QVERIFY2(answersZero(t.name), #name);
        KORDEL_UNLHA_ENTRIES(KORDEL_CALL_WITH_ZEROS)
#undef KORDEL_CALL_WITH_ZEROS
        QStringList expected;
        for (int i = 0; i < ArchiveLibrary::kEntryCount; ++i)
            expected << panicText(ArchiveLibrary::entryName(UnlhaEntry(i)));
        QCOMPARE(dialogs.messages[0].icon, Dialogs::Icon::Error);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("PANIC!!"));
        QVERIFY(!lib.check(kArchive));
        QVERIFY(lib.listMembers(kArchive, QStringLiteral("*")).isEmpty());
        QVERIFY(!lib.extract(kArchive, tmp_.path(), QStringLiteral("cat.jpg"), false));
        QVERIFY(!lib.isRunning());
        QCOMPARE(
            dialogs.texts(),
            expected + QStringList({panicText("UnlhaCheckArchive"), panicText("UnlhaOpenArchive"),
                                    panicText("Unlha"), panicText("UnlhaGetRunning")}));
        // A library of that name without FindNext and Unlha: a stand-by FindNext
        // would report a further member for ever.
        dialogs.messages.clear();
        ArchiveLibrary partial(&dialogs, QStringLiteral(KORDEL_PARTIAL_LIBRARY_DIR));
        QCOMPARE(partial.table().UnlhaGetVersion(), quint16(42));
        QVERIFY(partial.listMembers(kArchive, QStringLiteral("*")).isEmpty());
        QVERIFY(!partial.extract(kArchive, tmp_.path(), QStringLiteral("cat.jpg"), true));
        QCOMPARE(dialogs.texts(), QStringList({panicText("UnlhaFindNext"), panicText("Unlha")}));
    }

    void standByReportsThroughTheLatestLiveBinding() {
        FakeDialogs first, second, third;
        const QString empty = freshFolder(QStringLiteral("nothing/bin"));
        auto a = std::make_unique<ArchiveLibrary>(&first, empty);
        auto b = std::make_unique<ArchiveLibrary>(&second, empty);
        a->table().UnlhaGetVersion();
        QCOMPARE(second.messages.size(), 1);
        b.reset();
        a->table().UnlhaGetVersion();
        QCOMPARE(first.messages.size(), 1);
        // Ended out of order: the survivor reports, nothing dangles.
        auto c = std::make_unique<ArchiveLibrary>(&third, empty);
        a.reset();
        c->table().UnlhaFindNext(nullptr, nullptr);
        QCOMPARE(third.texts(), QStringList{panicText("UnlhaFindNext")});
        c.reset();
        ArchiveLibrary::showStandByBox(UnlhaEntry::Unlha);  // nobody left to report: silent
        QCOMPARE(first.messages.size() + second.messages.size() + third.messages.size(), 3);
    }

    void wrappersOnARealArchive() {
        FakeDialogs dialogs;
        ArchiveLibrary lib(&dialogs, kBinDir);
        QVERIFY(lib.check(kArchive));
        // The check reads the headers only: damaged data passes, a bad header does not.
        QVERIFY(lib.check(lzhCorpus() + QStringLiteral("data-crc-wrong.lzh")));
        QVERIFY(!lib.check(lzhCorpus() + QStringLiteral("extended-header-size-past-end.lzh")));
        const QList<ArchiveMember> pictures = lib.listMembers(kArchive, QStringLiteral("*.jpg"));
        QCOMPARE(pictures.size(), 4);
        QCOMPARE(pictures[1].name, QStringLiteral("photos/Cat.JPG"));
        QCOMPARE(pictures[1].size, 1u);
        QCOMPARE(pictures[1].dosDate, quint16((21 << 9) | (2 << 5) | 3));  // 2001-02-03 04:05:06
        QCOMPARE(pictures[1].dosTime, quint16((4 << 11) | (5 << 5) | 3));
        int visited = 0;
        lib.forEachMember(kArchive, QStringLiteral("*"),
                          [&visited](const ArchiveMember&) { return ++visited < 2; });
        QCOMPARE(visited, 2);
        const QString dest = freshFolder(QStringLiteral("dest"));
        QString report;
        QVERIFY2(
            lib.extract(kArchive, dest, QStringLiteral("my file.jpg"), false, nullptr, &report),
            qPrintable(report));
        QVERIFY(report.contains(QStringLiteral("my file.jpg")));
        QVERIFY(
            !lib.extract(kArchive, dest, QStringLiteral("absent.jpg"), false, nullptr, &report));
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::Hidden), QStringList{"my file.jpg"});
        QVERIFY(dialogs.messages.isEmpty());
    }

    // Quotes in the archive's path, the folder or the member name are passed
    // doubled: the named member is written where asked, and nothing else.
    void quotedNamesExtract_data() {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("member");
        QTest::newRow("archive") << "a\" \"v\" \"b.lzh"
                                 << "d"
                                 << "y.jpg";
        QTest::newRow("folder") << "a.lzh"
                                << "t\" \"v\" \"d"
                                << "y.jpg";
        QTest::newRow("member") << "a.lzh"
                                << "d"
                                << "x\" \"y.jpg";
        QTest::newRow("lone quote") << "q\".lzh"
                                    << "d\""
                                    << "x\"y.jpg";
    }

    void quotedNamesExtract() {
        QFETCH(QString, archive);
        QFETCH(QString, folder);
        QFETCH(QString, member);
        if (!haveJlha())
            QSKIP("jlha is not installed");
        const QString src = freshFolder(QStringLiteral("quoted-src"));
        for (const QString& name :
             {QStringLiteral("y.jpg"), QStringLiteral("x\" \"y.jpg"), QStringLiteral("x\"y.jpg")})
            QVERIFY(writeFile(src + u'/' + name, name.toUtf8()));
        const QString path = src + u'/' + archive;
        QCOMPARE(runJlha(src, {"a", archive, "y.jpg", "x\" \"y.jpg", "x\"y.jpg"}), QString());
        const QString dest = freshFolder(QStringLiteral("quoted-out")) + u'/' + folder;
        QVERIFY(QDir().mkpath(dest + QStringLiteral("/v")));
        FakeDialogs dialogs;
        ArchiveLibrary lib(&dialogs, kBinDir);
        QString report;
        QVERIFY2(lib.extract(path, dest, member, false, nullptr, &report), qPrintable(report));
        QCOMPARE(QDir(dest).entryList(QDir::Files | QDir::Hidden), QStringList{member});
        QCOMPARE(readFile(dest + u'/' + member), member.toUtf8());
        QVERIFY(ArchiveLibrary::extractCommand(path, dest, QString::fromUtf8("x\0y", 3), false)
                    .isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestUnlhaBinding)
#include "test_unlha_binding.moc"
