// The run-time binding to the archive library: finding and binding it, the
// stand-by routines when it is missing, and the wrappers on real archives.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>
#include <memory>

#include "fakes.h"
#include "lzh_test_archives.h"
#include "unlha_binding.h"

using namespace kordel;
using namespace kordel::test;

namespace {

// The table as the program has always laid it out.
const QStringList kTableOrder = {"UnlhaGetVersion",
                                 "UnlhaGetSubVersion",
                                 "UnlhaGetRunning",
                                 "UnlhaGetBackGroundMode",
                                 "UnlhaSetBackGroundMode",
                                 "UnlhaGetCursorMode",
                                 "UnlhaSetCursorMode",
                                 "UnlhaGetCursorInterval",
                                 "UnlhaSetCursorInterval",
                                 "Unlha",
                                 "UnlhaCheckArchive",
                                 "UnlhaConfigDialog",
                                 "UnlhaGetFileCount",
                                 "UnlhaOpenArchive",
                                 "UnlhaCloseArchive",
                                 "UnlhaFindFirst",
                                 "UnlhaFindNext",
                                 "UnlhaGetArcFileName",
                                 "UnlhaGetArcFileSize",
                                 "UnlhaGetArcOriginalSize",
                                 "UnlhaGetArcCompressedSize",
                                 "UnlhaGetArcRatio",
                                 "UnlhaGetArcDate",
                                 "UnlhaGetArcTime",
                                 "UnlhaGetArcOSType",
                                 "UnlhaGetFileName",
                                 "UnlhaGetMethod",
                                 "UnlhaGetOriginalSize",
                                 "UnlhaGetCompressedSize",
                                 "UnlhaGetRatio",
                                 "UnlhaGetDate",
                                 "UnlhaGetTime",
                                 "UnlhaGetWriteTime",
                                 "UnlhaGetAccessTime",
                                 "UnlhaGetCreateTime",
                                 "UnlhaGetCRC",
                                 "UnlhaGetAttribute",
                                 "UnlhaGetOSType",
                                 "UnlhaQueryFunctionList",
                                 "UnlhaSetOwnerWindow",
                                 "UnlhaClearOwnerWindow"};

const QString kBinDir = QStringLiteral(KORDEL_BIN_DIR);
const QString kLibrary = kBinDir + QStringLiteral("/libunlha32.so");

const QByteArray kCat = QByteArray("a cat, compressible enough\n").repeated(200);
const QByteArray kDog = "a dog";
const QByteArray kNeko = QByteArray("猫の写真\n").repeated(50);
const QByteArray kKana = "kana";
const QByteArray kNotes = "not a picture";

struct Source {
    QString name;
    QByteArray data;
    time_t stamp;
};
const QList<Source> kSources = {
    {"cat.jpg", kCat, 981173106},            // 2001-02-03 04:05:06 UTC
    {"photos/dog.JPG", kDog, 946684798},     // 1999-12-31 23:59:58 UTC
    {"写真 の 猫.jpg", kNeko, 1278580210},   // 2010-07-08 09:10:10 UTC
    {"notes.txt", kNotes, 1000000000},       // 2001-09-09 01:46:40 UTC
    {"sub/deep/ｶﾅ.gif", kKana, 1500000000},  // 2017-07-14 02:40:00 UTC
};

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& data, time_t stamp = 0) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        return false;
    f.close();
    const struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
    return stamp == 0 || utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// MS-DOS date and time of a moment in local time, as the archive reports them.
std::pair<quint16, quint16> dosStamp(time_t t) {
    struct tm local;
    localtime_r(&t, &local);
    return {quint16(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday),
            quint16((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2))};
}

QStringList texts(const FakeDialogs& dialogs) {
    QStringList out;
    for (const FakeDialogs::Message& m : dialogs.messages)
        out << m.text;
    return out;
}

QString panicText(const QString& entry) {
    return entry + QStringLiteral(": LHA.DLL not loaded.");
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
    QString archive_;  // made by jlha from kSources
    QString jlhaError_;

    QString path(const QString& name) const { return tmp_.filePath(name); }

    // A fresh, empty folder under the temporary folder.
    QString freshFolder(const QString& name) const {
        const QString dir = path(name);
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        return dir;
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        // The library keeps a locale of its own that it never frees, so every
        // unload would leave one behind for the leak checker. The program loads
        // it once; here one reference stays for the whole run.
        QVERIFY(dlopen(QFile::encodeName(kLibrary).constData(), RTLD_NOW | RTLD_LOCAL));
        const QString src = freshFolder(QStringLiteral("src"));
        QStringList names;
        for (const Source& s : kSources) {
            QVERIFY(writeFile(src + u'/' + s.name, s.data, s.stamp));
            names << s.name;
        }
        if (!haveJlha()) {
            jlhaError_ = QStringLiteral("jlha (jlha-utils) is not installed");
            return;
        }
        archive_ = path(QStringLiteral("pics.lzh"));
        jlhaError_ = runJlha(src, QStringList{QStringLiteral("a2y"), archive_} + names);
        if (!jlhaError_.isEmpty())
            archive_.clear();
    }

    void tableKeepsTheLibrarysOrder() {
        QCOMPARE(ArchiveLibrary::kEntryCount, kTableOrder.size());
        for (int i = 0; i < ArchiveLibrary::kEntryCount; ++i)
            QCOMPARE(QString::fromLatin1(ArchiveLibrary::entryName(UnlhaEntry(i))), kTableOrder[i]);
    }

    void libraryFoundBoundAndReleased() {
        // A copy of its own, so no other reference keeps it loaded.
        const QString bin = freshFolder(QStringLiteral("copy/bin"));
        const QString copy = bin + QStringLiteral("/libunlha32.so");
        QVERIFY(QFile::copy(kLibrary, copy));
        FakeDialogs dialogs;
        auto lib = std::make_unique<ArchiveLibrary>(&dialogs, bin);
        QVERIFY2(lib->archiveLibraryLoaded(), qPrintable(lib->loadError()));
        QCOMPARE(lib->libraryPath(), copy);
        QVERIFY(lib->loadError().isEmpty());

        // Each entry holds exactly the library's symbol of its own name.
        void* same = dlopen(QFile::encodeName(copy).constData(), RTLD_NOW | RTLD_NOLOAD);
        QVERIFY(same);
        for (int i = 0; i < ArchiveLibrary::kEntryCount; ++i) {
            const UnlhaEntry entry = UnlhaEntry(i);
            QVERIFY2(lib->isBound(entry), ArchiveLibrary::entryName(entry));
            QCOMPARE(lib->entryAddress(entry),
                     static_cast<const void*>(dlsym(same, ArchiveLibrary::entryName(entry))));
        }
        dlclose(same);
        QCOMPARE(lib->table().UnlhaQueryFunctionList(UNLHA_FN_FIND_NEXT), 1);
        QVERIFY(dialogs.messages.isEmpty());

        lib.reset();
        QVERIFY2(!dlopen(QFile::encodeName(copy).constData(), RTLD_NOW | RTLD_NOLOAD),
                 "the library stays loaded after the binding ended");
    }

    void searchOrderAndForeignFiles() {
        const QString root = freshFolder(QStringLiteral("install"));
        const QString bin = root + QStringLiteral("/bin");
        const QString installed = root + QStringLiteral("/lib/kordel");
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(installed));
        QCOMPARE(ArchiveLibrary::searchFolders(bin + u'/'), QStringList({bin, installed}));
        FakeDialogs dialogs;

        // Only the installed folder has it.
        QVERIFY(QFile::link(kLibrary, installed + QStringLiteral("/libunlha32.so")));
        {
            ArchiveLibrary lib(&dialogs, bin);
            QVERIFY2(lib.archiveLibraryLoaded(), qPrintable(lib.loadError()));
            QCOMPARE(lib.libraryPath(), installed + QStringLiteral("/libunlha32.so"));
        }
        // A damaged copy in the program's folder does not hide the installed one.
        QVERIFY(writeFile(bin + QStringLiteral("/libunlha32.so"), "not a library"));
        {
            ArchiveLibrary lib(&dialogs, bin);
            QVERIFY(lib.archiveLibraryLoaded());
            QCOMPARE(lib.libraryPath(), installed + QStringLiteral("/libunlha32.so"));
            QVERIFY(lib.isBound(UnlhaEntry::Unlha));
        }
        // The program's own folder comes first.
        QVERIFY(QFile::remove(bin + QStringLiteral("/libunlha32.so")));
        QVERIFY(QFile::link(kLibrary, bin + QStringLiteral("/libunlha32.so")));
        {
            ArchiveLibrary lib(&dialogs, bin);
            QCOMPARE(lib.libraryPath(), bin + QStringLiteral("/libunlha32.so"));
        }
        QVERIFY(dialogs.messages.isEmpty());
    }

    void missingLibraryStandsBy() {
        // The current folder holds the library: it must not be found there.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(kBinDir));
        const auto restore = qScopeGuard([&before] { QDir::setCurrent(before); });
        const QString empty = freshFolder(QStringLiteral("nothing/bin"));
        FakeDialogs dialogs;
        ArchiveLibrary lib(&dialogs, empty);
        QVERIFY(!lib.archiveLibraryLoaded());
        QVERIFY(lib.libraryPath().isEmpty());
        QVERIFY(lib.loadError().contains(QStringLiteral("libunlha32.so")));
        for (int i = 0; i < ArchiveLibrary::kEntryCount; ++i)
            QVERIFY(!lib.isBound(UnlhaEntry(i)));

        QCOMPARE(lib.table().UnlhaCheckArchive("a.lzh", 1), 0);
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].icon, Dialogs::Icon::Error);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("PANIC!!"));
        QCOMPARE(dialogs.messages[0].text,
                 QStringLiteral("UnlhaCheckArchive: LHA.DLL not loaded."));

        // Every stand-by names its own entry and answers 0.
        dialogs.messages.clear();
        const UnlhaTable& t = lib.table();
#define KORDEL_CALL_WITH_ZEROS(name) QVERIFY2(answersZero(t.name), #name);
        KORDEL_UNLHA_ENTRIES(KORDEL_CALL_WITH_ZEROS)
#undef KORDEL_CALL_WITH_ZEROS
        QStringList expected;
        for (const QString& name : kTableOrder)
            expected << panicText(name);
        QCOMPARE(texts(dialogs), expected);

        ArchiveLibrary nowhere(&dialogs, QString());
        QVERIFY(!nowhere.archiveLibraryLoaded());
    }

    // A stand-by's 0 means "sound", "found" or "done" to the caller; the
    // wrappers show its box once and fail instead.
    void wrappersNeverTrustAStandBy() {
        FakeDialogs dialogs;
        {
            ArchiveLibrary lib(&dialogs, freshFolder(QStringLiteral("nothing/bin")));
            QVERIFY(!lib.check(path(QStringLiteral("a.lzh"))));
            QVERIFY(lib.listMembers(path(QStringLiteral("a.lzh")), QStringLiteral("*")).isEmpty());
            QVERIFY(!lib.extract(path(QStringLiteral("a.lzh")), tmp_.path(),
                                 QStringLiteral("cat.jpg"), false));
            QVERIFY(!lib.isRunning());
            QCOMPARE(texts(dialogs),
                     QStringList({panicText("UnlhaCheckArchive"), panicText("UnlhaOpenArchive"),
                                  panicText("Unlha"), panicText("UnlhaGetRunning")}));
        }
        // A library of that name without FindNext and Unlha: a stand-by FindNext
        // would report a further member for ever.
        dialogs.messages.clear();
        ArchiveLibrary partial(&dialogs, QStringLiteral(KORDEL_PARTIAL_LIBRARY_DIR));
        QVERIFY2(partial.archiveLibraryLoaded(), qPrintable(partial.loadError()));
        QVERIFY(partial.isBound(UnlhaEntry::UnlhaFindFirst));
        QVERIFY(!partial.isBound(UnlhaEntry::UnlhaFindNext));
        QCOMPARE(partial.table().UnlhaGetVersion(), quint16(42));
        QVERIFY(partial.listMembers(path(QStringLiteral("a.lzh")), QStringLiteral("*")).isEmpty());
        QVERIFY(!partial.extract(path(QStringLiteral("a.lzh")), tmp_.path(),
                                 QStringLiteral("cat.jpg"), true));
        QCOMPARE(texts(dialogs), QStringList({panicText("UnlhaFindNext"), panicText("Unlha")}));
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
        QCOMPARE(texts(third), QStringList{panicText("UnlhaFindNext")});
        c.reset();
        ArchiveLibrary::showStandByBox(UnlhaEntry::Unlha);  // nobody left to report: silent
        QCOMPARE(first.messages.size() + second.messages.size() + third.messages.size(), 3);
    }

    void checkAndListing() {
        if (archive_.isEmpty())
            QSKIP(qPrintable(jlhaError_));
        FakeDialogs dialogs;
        ArchiveLibrary lib(&dialogs, kBinDir);
        QVERIFY(lib.check(archive_));
        QVERIFY(!lib.check(path(QStringLiteral("absent.lzh"))));
        // Damage inside the compressed data: only a check of the CRCs notices.
        QByteArray raw = readFile(archive_);
        const int at = raw.indexOf("cat.jpg");
        QVERIFY(at > 0);
        raw[at + 60] = char(raw[at + 60] ^ 0x10);
        QVERIFY(writeFile(path(QStringLiteral("damaged.lzh")), raw));
        QVERIFY(lib.table().UnlhaCheckArchive(path("damaged.lzh").toUtf8().constData(), 0));
        QVERIFY(!lib.check(path(QStringLiteral("damaged.lzh"))));

        const QList<ArchiveMember> pictures = lib.listMembers(archive_, QStringLiteral("*.jpg"));
        QStringList names;
        for (const ArchiveMember& m : pictures)
            names << m.name;
        QCOMPARE(names, QStringList({"cat.jpg", "photos/dog.JPG", "写真 の 猫.jpg"}));
        for (const ArchiveMember& m : pictures) {
            const auto source = std::find_if(kSources.begin(), kSources.end(),
                                             [&m](const Source& s) { return s.name == m.name; });
            QCOMPARE(m.size, quint32(source->data.size()));
            const auto [date, time] = dosStamp(source->stamp);
            QCOMPARE(m.dosDate, date);
            QCOMPARE(m.dosTime, time);
        }

        const QList<ArchiveMember> exact =
            lib.listMembers(archive_, QStringLiteral("\"写真 の 猫.jpg\""));
        QCOMPARE(exact.size(), 1);
        QCOMPARE(exact[0].size, quint32(kNeko.size()));
        QCOMPARE(lib.listMembers(archive_, QStringLiteral("*.GIF")).value(0).name,
                 QStringLiteral("sub/deep/ｶﾅ.gif"));
        QVERIFY(lib.listMembers(archive_, QStringLiteral("*.bmp")).isEmpty());
        QVERIFY(lib.listMembers(path(QStringLiteral("absent.lzh")), QStringLiteral("*")).isEmpty());

        int visited = 0;
        lib.forEachMember(archive_, QStringLiteral("*"), [&visited](const ArchiveMember&) {
            ++visited;
            return false;
        });
        QCOMPARE(visited, 1);
        QCOMPARE(lib.listMembers(archive_, QStringLiteral("*")).size(), kSources.size());
        QVERIFY(dialogs.messages.isEmpty());
    }

    void commandLines() {
        QCOMPARE(ArchiveLibrary::extractCommand("/pics/a b/写真.LZH", "/tmp/k/", "写真 の 猫.jpg",
                                                false),
                 QByteArray("e -l0 -n1 \"/pics/a b/写真.LZH\" \"/tmp/k/\" \"写真 の 猫.jpg\""));
        QCOMPARE(ArchiveLibrary::extractCommand("/a.lzh", "/tmp/k", "x.jpg", true),
                 QByteArray("e -l0 -n1 -gm1 \"/a.lzh\" \"/tmp/k/\" \"x.jpg\""));
        QVERIFY(ArchiveLibrary::extractCommand("/a.lzh", "", "x.jpg", false).isEmpty());
        QVERIFY(ArchiveLibrary::extractCommand("/a\".lzh", "/tmp/", "x.jpg", false).isEmpty());
        QVERIFY(ArchiveLibrary::extractCommand("/a.lzh", "/tmp/", "x\".jpg", false).isEmpty());
        QVERIFY(ArchiveLibrary::extractCommand("/a.lzh", "/t\"mp/", "x.jpg", false).isEmpty());
        QVERIFY(
            ArchiveLibrary::extractCommand("/a.lzh", "/tmp/", QString::fromUtf8("x\0y", 3), false)
                .isEmpty());
    }

    void extraction() {
        if (archive_.isEmpty())
            QSKIP(qPrintable(jlhaError_));
        FakeDialogs dialogs;
        ArchiveLibrary lib(&dialogs, kBinDir);
        const QString dest = freshFolder(QStringLiteral("dest"));
        QString report;
        QVERIFY2(
            lib.extract(archive_, dest, QStringLiteral("写真 の 猫.jpg"), false, nullptr, &report),
            qPrintable(report));
        QVERIFY(report.contains(QStringLiteral("写真 の 猫.jpg")));
        QVERIFY(lib.extract(archive_, dest + u'/', QStringLiteral("ｶﾅ.gif"), true));
        QVERIFY(lib.extract(archive_, dest, QStringLiteral("DOG.jpg"), false));  // any case
        QVERIFY(
            !lib.extract(archive_, dest, QStringLiteral("absent.jpg"), false, nullptr, &report));
        QVERIFY(!report.isEmpty());
        QVERIFY(!lib.isRunning());
        QCOMPARE(readFile(dest + QStringLiteral("/写真 の 猫.jpg")), kNeko);
        QCOMPARE(readFile(dest + QStringLiteral("/ｶﾅ.gif")), kKana);
        QCOMPARE(readFile(dest + QStringLiteral("/dog.JPG")), kDog);
        QCOMPARE(entries(dest), QStringList({"dog.JPG", "写真 の 猫.jpg", "ｶﾅ.gif"}));
        QVERIFY(dialogs.messages.isEmpty());
    }

    // A folder name holding quotes must not smuggle in another destination.
    void quotesCannotRedirectExtraction() {
        if (archive_.isEmpty())
            QSKIP(qPrintable(jlhaError_));
        FakeDialogs dialogs;
        ArchiveLibrary lib(&dialogs, kBinDir);
        const QString victim = freshFolder(QStringLiteral("victim"));
        const QString dest = freshFolder(QStringLiteral("dest"));
        const QString parent = freshFolder(QStringLiteral("stick"));
        QVERIFY(QFile::copy(archive_, parent + QStringLiteral("/a")));
        // A path that can exist: folders named `a" "` and `" "` on some medium.
        const QString crafted =
            parent + QStringLiteral("/a\" \"") + victim + QStringLiteral("/\" \"/pics.lzh");
        QVERIFY(!lib.extract(crafted, dest, QStringLiteral("cat.jpg"), false));
        QVERIFY(!lib.extract(archive_, dest, QStringLiteral("cat\" \"notes.txt"), false));
        QCOMPARE(entries(victim), QStringList());
        QCOMPARE(entries(dest), QStringList());

        // Sent as it stands, that line really writes into the other folder.
        const QByteArray naive =
            "e -l0 -n1 \"" + crafted.toUtf8() + "\" \"" + dest.toUtf8() + "/\" \"cat.jpg\"";
        lib.table().Unlha(nullptr, naive.constData(), nullptr, 0);
        QCOMPARE(entries(victim), QStringList{"cat.jpg"});
    }

    void modeSwitchesReachTheLibrary() {
        FakeDialogs dialogs;
        ArchiveLibrary lib(&dialogs, kBinDir);
        lib.setCursorMode(true);
        QCOMPARE(lib.table().UnlhaGetCursorMode(), 1);
        lib.setCursorMode(false);
        QCOMPARE(lib.table().UnlhaGetCursorMode(), 0);
        lib.setBackGroundMode(true);
        QCOMPARE(lib.table().UnlhaGetBackGroundMode(), 1);
        lib.setBackGroundMode(false);
        QCOMPARE(lib.table().UnlhaGetBackGroundMode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestUnlhaBinding)
#include "test_unlha_binding.moc"
