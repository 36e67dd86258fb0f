// The archive library through its C entry points, on archives written by jlha
// and on hand-made headers.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <ctime>

#include "lzh_test_archives.h"
#include "unlha32.h"

using namespace kordel::test;

namespace {

const QByteArray kTopCat = QByteArray("top-level cat picture\n").repeated(40);
const QByteArray kPhotoCat = QByteArray("the cat kept under photos\n").repeated(300);
const QByteArray kDog = "dog";
const QByteArray kHyou = "hyou\n";
const time_t kStamp = 981173106;  // 2001-02-03 04:05:06 UTC

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

int unlha(const QString& command, QByteArray* output = nullptr) {
    char buf[2048] = {};
    const int rc = Unlha(nullptr, command.toUtf8().constData(), buf, sizeof buf);
    if (output)
        *output = buf;
    return rc;
}

// The command line the program sends to show a member.
QString extractCommand(const QString& archive,
                       const QString& folder,
                       const QString& member,
                       bool thumbnail = false) {
    return QStringLiteral("e -l0 -n1 %1\"%2\" \"%3\" \"%4\"")
        .arg(thumbnail ? QStringLiteral("-gm1 ") : QString(), archive, folder, member);
}

QStringList listNames(const QString& archive, const char* pattern = "*", uint32_t mode = 0x2200) {
    HARC h = UnlhaOpenArchive(nullptr, archive.toUtf8().constData(), mode);
    if (!h)
        return {QStringLiteral("<not opened>")};
    QStringList names;
    INDIVIDUALINFO info;
    for (int rc = UnlhaFindFirst(h, pattern, &info); rc == 0; rc = UnlhaFindNext(h, &info))
        names << QString::fromUtf8(info.fileName);
    UnlhaCloseArchive(h);
    return names;
}

HandMember member(int level, const QByteArray& name, const QByteArray& content) {
    HandMember m;
    m.level = level;
    m.name = name;
    m.content = content;
    return m;
}

// Little-endian words out of raw bytes; 0 past the end.
quint32 le32(const QByteArray& b, int at) {
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | (at + i < b.size() ? quint8(b.at(at + i)) : 0);
    return v;
}

quint16 le16(const QByteArray& b, int at) {
    return quint16(le32(b.left(at + 2), at));
}

QByteArray utf8(const char* s) {
    return QByteArray(s);
}

}  // namespace

class TestUnlha32 : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString dest_;       // fresh and empty for every test, with its trailing "/"
    QString jlhaError_;  // why the jlha archives are missing
    QMap<QString, QString> jlha_;

    QString path(const QString& name) const { return tmp_.filePath(name); }
    QString writeArchive(const QString& name, const QByteArray& bytes) {
        writeFile(path(name), bytes);
        return path(name);
    }
    // A small archive holding two folders and three header levels.
    QByteArray mixedArchive() const {
        HandMember deep = member(1, "dog.gif", kDog);
        deep.folder =
            "sub\xFF"
            "deep\xFF";
        return lzhArchive(
            {member(0, "cat.jpg", kTopCat), member(2, "photos\\cat.jpg", kPhotoCat), deep});
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp_.isValid());
        const QString src = path(QStringLiteral("src"));
        const QList<std::pair<QString, QByteArray>> files = {{"cat.jpg", kTopCat},
                                                             {"photos/cat.jpg", kPhotoCat},
                                                             {"sub/deep/dog.gif", kDog},
                                                             {"表/表.jpg", kHyou}};
        QStringList names;
        for (const auto& [name, data] : files) {
            writeFile(src + u'/' + name, data);
            const struct timespec times[2] = {{kStamp, 0}, {kStamp, 0}};
            utimensat(AT_FDCWD, QFile::encodeName(src + u'/' + name).constData(), times, 0);
            names << name;
        }
        if (!haveJlha()) {
            jlhaError_ = QStringLiteral("jlha (jlha-utils) is not installed");
            return;
        }
        // "y" stores the names in Shift-JIS, so "表" keeps its 0x5C second byte.
        const QList<std::pair<QString, QString>> kinds = {
            {"l0", "a0y"},   {"l1", "a1y"},   {"pics", "a2y"},   {"l0z", "a0zy"},
            {"l1z", "a1zy"}, {"l2z", "a2zy"}, {"l2o6", "a2o6y"}, {"l2o7", "a2o7y"}};
        for (const auto& [key, command] : kinds) {
            const QString archive = path(key + QStringLiteral(".lzh"));
            jlhaError_ = runJlha(src, QStringList{command, archive} + names);
            if (!jlhaError_.isEmpty())
                return;
            jlha_[key] = archive;
        }
    }

    void init() {
        dest_ = path(QStringLiteral("dest/"));
        QDir(dest_).removeRecursively();
        QVERIFY(QDir().mkpath(dest_));
    }

    void exportsEveryEntryPoint() {
        void* lib = dlopen(KORDEL_BIN_DIR "/libunlha32.so", RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(lib, dlerror());
        // The program's binding table, plus UnlhaIsSFXFile.
        const QByteArrayList names =
            QByteArray(
                "UnlhaGetVersion UnlhaGetSubVersion UnlhaGetRunning UnlhaGetBackGroundMode "
                "UnlhaSetBackGroundMode UnlhaGetCursorMode UnlhaSetCursorMode "
                "UnlhaGetCursorInterval UnlhaSetCursorInterval Unlha UnlhaCheckArchive "
                "UnlhaConfigDialog UnlhaGetFileCount UnlhaOpenArchive UnlhaCloseArchive "
                "UnlhaFindFirst UnlhaFindNext UnlhaGetArcFileName UnlhaGetArcFileSize "
                "UnlhaGetArcOriginalSize UnlhaGetArcCompressedSize UnlhaGetArcRatio "
                "UnlhaGetArcDate UnlhaGetArcTime UnlhaGetArcOSType UnlhaGetFileName "
                "UnlhaGetMethod UnlhaGetOriginalSize UnlhaGetCompressedSize UnlhaGetRatio "
                "UnlhaGetDate UnlhaGetTime UnlhaGetWriteTime UnlhaGetAccessTime "
                "UnlhaGetCreateTime UnlhaGetCRC UnlhaGetAttribute UnlhaGetOSType "
                "UnlhaQueryFunctionList UnlhaSetOwnerWindow UnlhaClearOwnerWindow "
                "UnlhaIsSFXFile")
                .split(' ');
        for (const QByteArray& name : names)
            QVERIFY2(dlsym(lib, name.constData()), name.constData());
        dlclose(lib);
    }

    void recordLayoutInRawBytes() {
        if (!jlha_.contains("l0"))
            QSKIP(qPrintable(jlhaError_));
        const QByteArray raw = readFile(jlha_["l0"]);
        // Level-0 header of the first member: sizes at 7 and 11, time and date at 15.
        QCOMPARE(raw.mid(22, raw[21]), QByteArray("cat.jpg"));
        const quint32 packed = le32(raw, 7);
        QVERIFY(raw.contains("photos\\cat.jpg"));  // stored with "\", reported with "/"

        HARC h = UnlhaOpenArchive(nullptr, QFile::encodeName(jlha_["l0"]).constData(), 0x2200);
        QVERIFY(h);
        QByteArray rec(sizeof(INDIVIDUALINFO), char(0xCC));
        auto* info = reinterpret_cast<INDIVIDUALINFO*>(rec.data());
        QCOMPARE(UnlhaFindFirst(h, "*.JPG", info), 0);
        const char* r = rec.constData();
        QCOMPARE(le32(rec, 0), quint32(kTopCat.size()));
        QCOMPARE(le32(rec, 4), packed);
        QVERIFY(packed < quint32(kTopCat.size()));
        QCOMPARE(le32(rec, 8), quint32(lzhCrc16(kTopCat)));
        QCOMPARE(le32(rec, 12), 0u);
        QCOMPARE(le32(rec, 16), quint32(UNLHA_OS_MSDOS));
        QCOMPARE(le16(rec, 20), quint16(packed * 1000 / kTopCat.size()));
        QCOMPARE(le16(rec, 22), le16(raw, 17));
        QCOMPARE(le16(rec, 24), le16(raw, 15));
        struct tm local;
        localtime_r(&kStamp, &local);
        QCOMPARE(le16(rec, 22),
                 quint16(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday));
        QCOMPARE(QByteArray(r + 26), QByteArray("cat.jpg"));
        QCOMPARE(rec.mid(539, 3), QByteArray(3, '\0'));
        QCOMPARE(QByteArray(r + 542), QByteArray("----A"));
        QCOMPARE(QByteArray(r + 550), QByteArray("-lh5-"));
        QCOMPARE(UnlhaFindNext(h, info), 0);
        QCOMPARE(QByteArray(r + 26), QByteArray("photos/cat.jpg"));
        QCOMPARE(UnlhaFindNext(h, info), 0);
        QCOMPARE(QString::fromUtf8(r + 26), QStringLiteral("表/表.jpg"));
        QCOMPARE(UnlhaFindNext(h, info), -1);
        QCOMPARE(UnlhaCloseArchive(h), 0);
    }

    void jlhaArchivesListAndExtract_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("method");  // of the compressible members
        QTest::newRow("level 0, -lh5-") << "l0"
                                        << "-lh5-";
        QTest::newRow("level 1, -lh5-") << "l1"
                                        << "-lh5-";
        QTest::newRow("level 2, -lh5-, lower-case pics.lzh") << "pics"
                                                             << "-lh5-";
        QTest::newRow("level 0, -lh0-") << "l0z"
                                        << "-lh0-";
        QTest::newRow("level 1, -lh0-") << "l1z"
                                        << "-lh0-";
        QTest::newRow("level 2, -lh0-") << "l2z"
                                        << "-lh0-";
        QTest::newRow("level 2, -lh6-") << "l2o6"
                                        << "-lh6-";
        QTest::newRow("level 2, -lh7-") << "l2o7"
                                        << "-lh7-";
    }

    void jlhaArchivesListAndExtract() {
        QFETCH(QString, key);
        QFETCH(QString, method);
        if (!jlha_.contains(key))
            QSKIP(qPrintable(jlhaError_));
        const QString archive = jlha_[key];
        QVERIFY(readFile(archive).contains("\x95\x5C"));  // "表" really is stored in Shift-JIS
        QVERIFY(UnlhaCheckArchive(archive.toUtf8().constData(), 0));
        QVERIFY(UnlhaCheckArchive(archive.toUtf8().constData(), 1));
        QCOMPARE(UnlhaGetFileCount(archive.toUtf8().constData()), 4);
        QCOMPARE(listNames(archive),
                 QStringList({"cat.jpg", "photos/cat.jpg", "sub/deep/dog.gif", "表/表.jpg"}));
        HARC h = UnlhaOpenArchive(nullptr, archive.toUtf8().constData(), 0x2200);
        INDIVIDUALINFO info;
        QCOMPARE(UnlhaFindFirst(h, "\"cat.jpg\"", &info), 0);
        QCOMPARE(QString::fromLatin1(info.method), method);
        UnlhaCloseArchive(h);

        const QList<std::pair<QString, QByteArray>> expected = {
            {"cat.jpg", kTopCat}, {"dog.gif", kDog}, {"表.jpg", kHyou}};
        for (const auto& [name, data] : expected) {
            QByteArray output;
            QCOMPARE(unlha(extractCommand(archive, dest_, name, name == "dog.gif"), &output), 0);
            QCOMPARE(readFile(dest_ + name), data);
            QVERIFY(output.contains(name.toUtf8()));
        }
        QCOMPARE(entries(dest_), QStringList({"cat.jpg", "dog.gif", "表.jpg"}));
    }

    void handMadeLevelsAndMethods_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("packed");  // empty: the content itself
        const QByteArray text = kPhotoCat.left(1000);
        QTest::newRow("level 3, -lh5- data from jlha") << 3 << QByteArray("-lh5-") << QByteArray();
        QTest::newRow("level 3, -lh0-") << 3 << QByteArray("-lh0-") << QByteArray();
        QTest::newRow("level 0, -lz4-") << 0 << QByteArray("-lz4-") << QByteArray();
        QTest::newRow("level 1, -lz5-") << 1 << QByteArray("-lz5-") << lz5Literals(text);
        QTest::newRow("level 2, -lzs-") << 2 << QByteArray("-lzs-") << lzsLiterals(text);
        QTest::newRow("level 3, -pm0-") << 3 << QByteArray("-pm0-") << QByteArray();
    }

    void handMadeLevelsAndMethods() {
        QFETCH(int, level);
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, packed);
        HandMember m = member(level, "picture.jpg", kPhotoCat.left(1000));
        m.method = method;
        m.packed = packed;
        m.folder = "album\xFF";
        if (method == "-lh5-") {
            if (!jlha_.contains("l0"))
                QSKIP(qPrintable(jlhaError_));
            // Rewrap the compressed data of jlha's first level-0 member.
            const QByteArray raw = readFile(jlha_["l0"]);
            m.content = kTopCat;
            m.packed = raw.mid(quint8(raw[0]) + 2, int(le32(raw, 7)));
        }
        const QString archive = writeArchive(QStringLiteral("hand.lzh"), lzhArchive({m}));
        QVERIFY(UnlhaCheckArchive(archive.toUtf8().constData(), 1));
        QCOMPARE(listNames(archive), QStringList{"album/picture.jpg"});
        QCOMPARE(unlha(extractCommand(archive, dest_, "picture.jpg")), 0);
        QCOMPARE(readFile(dest_ + "picture.jpg"), m.content);
    }

    void storedNamesBecomeUtf8() {
        HandMember withFolder = member(2, "写真.jpg", "b");
        withFolder.folder = "日本\xFF";
        HandMember sjisFolder = member(1, "\x95\x5C.jpg", "e");
        sjisFolder.folder = "\x95\x5C\xFF";
        const QString archive = writeArchive(
            QStringLiteral("names.lzh"),
            lzhArchive({member(0, "\x95\x5C\\\x95\x5C.jpg", "a"), withFolder,
                        member(1, "\xB6\xC5.jpg", "c"), member(0, "\x85\x5C.jpg", "d"), sjisFolder,
                        member(0, "caf\xC3\xA9\\x.jpg", "f"), member(0, "a/b\\c.jpg", "g")}));
        QCOMPARE(listNames(archive),
                 QStringList({"表/表.jpg", "日本/写真.jpg", "ｶﾅ.jpg", "\uFFFD.jpg", "表/表.jpg",
                              "café/x.jpg", "a/b/c.jpg"}));
        QCOMPARE(unlha(extractCommand(archive, dest_, "ｶﾅ.jpg")), 0);
        QCOMPARE(unlha(extractCommand(archive, dest_, "表.jpg")), 0);
        QCOMPARE(readFile(dest_ + "表.jpg"), QByteArray("a"));
        QCOMPARE(entries(dest_), QStringList({"表.jpg", "ｶﾅ.jpg"}));
    }

    void searchPatterns_data() {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<QStringList>("names");
        const QStringList all = {"cat.jpg", "photos/Cat.JPG", "dog.gif", "sub/ÄRGER.jpg",
                                 "my file.jpg"};
        QTest::newRow("*.JPG, base names, any case")
            << utf8("*.JPG") << 0x2200u
            << QStringList({"cat.jpg", "photos/Cat.JPG", "sub/ÄRGER.jpg", "my file.jpg"});
        QTest::newRow("?") << utf8("?at.jpg") << 0u << QStringList({"cat.jpg", "photos/Cat.JPG"});
        QTest::newRow("quoted exact name")
            << utf8("\"cat.jpg\"") << 0x2200u << QStringList({"cat.jpg", "photos/Cat.JPG"});
        QTest::newRow("quoted wildcard is literal") << utf8("\"c?t.jpg\"") << 0u << QStringList();
        QTest::newRow("non-ASCII case") << utf8("ärger.JPG") << 0u << QStringList{"sub/ÄRGER.jpg"};
        QTest::newRow("*.* lists everything") << utf8("*.*") << 0u << all;
        QTest::newRow("empty lists everything") << QByteArray() << 0u << all;
        QTest::newRow("several patterns")
            << utf8("*.gif \"my file.jpg\"") << 0u << QStringList({"dog.gif", "my file.jpg"});
        QTest::newRow("folder in the pattern")
            << utf8("photos/*") << 0u << QStringList{"photos/Cat.JPG"};
        QTest::newRow("whole path mode")
            << utf8("cat.jpg") << uint(UNLHA_M_CHECK_ALL_PATH) << QStringList{"cat.jpg"};
        QTest::newRow("no match") << utf8("*.bmp") << 0u << QStringList();
    }

    void searchPatterns() {
        QFETCH(QByteArray, pattern);
        QFETCH(uint, mode);
        QFETCH(QStringList, names);
        const QString archive =
            writeArchive(QStringLiteral("search.lzh"),
                         lzhArchive({member(0, "cat.jpg", "1"), member(0, "photos\\Cat.JPG", "2"),
                                     member(1, "dog.gif", "3"), member(2, "sub\\ÄRGER.jpg", "4"),
                                     member(3, "my file.jpg", "5")}));
        QCOMPARE(listNames(archive, pattern.isNull() ? nullptr : pattern.constData(), mode), names);
    }

    void memberAndArchiveQueries() {
        HandMember dog = member(2, "dog.gif", kDog);
        dog.os = 'U';
        const QByteArray body = lzhArchive({member(0, "cat.jpg", kTopCat), dog});
        const QString archive =
            writeArchive(QStringLiteral("sfx.exe"), "MZ" + QByteArray(300, '\0') + body);
        const QString plain = writeArchive(QStringLiteral("plain.lzh"), mixedArchive());
        HARC h = UnlhaOpenArchive(nullptr, archive.toUtf8().constData(), 0);
        HARC other = UnlhaOpenArchive(nullptr, plain.toUtf8().constData(), 0);
        QVERIFY(h && other);
        QCOMPARE(UnlhaIsSFXFile(h), int(UNLHA_SFX_EXECUTABLE));
        QCOMPARE(UnlhaIsSFXFile(other), int(UNLHA_SFX_NONE));
        QCOMPARE(UnlhaGetArcFileSize(h), uint32_t(302 + body.size()));
        QCOMPARE(UnlhaGetArcOriginalSize(h), uint32_t(kTopCat.size() + kDog.size()));
        char buf[8];
        QCOMPARE(UnlhaGetArcFileName(h, buf, sizeof buf), int(UNLHA_ERROR_LONG_FILE_NAME));
        QCOMPARE(qstrlen(buf), size_t(7));  // cut, but terminated

        INDIVIDUALINFO info;
        QCOMPARE(UnlhaFindNext(h, &info), int(UNLHA_ERROR_NOT_SEARCH_MODE));
        QCOMPARE(UnlhaGetOriginalSize(h), UINT32_MAX);
        QCOMPARE(UnlhaFindFirst(h, "*", &info), 0);
        QCOMPARE(UnlhaFindFirst(other, "*", &info), 0);
        QCOMPARE(UnlhaFindNext(h, nullptr), 0);  // both searches go on independently
        QCOMPARE(UnlhaGetFileName(h, buf, sizeof buf), 0);
        QCOMPARE(QByteArray(buf), QByteArray("dog.gif"));
        QCOMPARE(UnlhaGetMethod(h, buf, sizeof buf), 0);
        QCOMPARE(QByteArray(buf), QByteArray("-lh0-"));
        QCOMPARE(UnlhaGetOriginalSize(h), 3u);
        QCOMPARE(int(UnlhaGetRatio(h)), 1000);
        QCOMPARE(UnlhaGetCRC(h), uint32_t(lzhCrc16(kDog)));
        QCOMPARE(UnlhaGetOSType(h), uint32_t(UNLHA_OS_UNIX));
        QCOMPARE(UnlhaGetAttribute(h), int(UNLHA_FA_ARCH));
        QCOMPARE(UnlhaGetWriteTime(h), uint32_t(dog.unixTime));
        QCOMPARE(UnlhaGetCreateTime(h), UINT32_MAX);  // not stored
        QCOMPARE(UnlhaFindNext(h, &info), -1);
        QCOMPARE(UnlhaFindNext(other, &info), 0);
        QCOMPARE(QByteArray(info.fileName), QByteArray("photos/cat.jpg"));
        QCOMPARE(UnlhaCloseArchive(h), 0);
        QCOMPARE(UnlhaCloseArchive(other), 0);
        QCOMPARE(UnlhaCloseArchive(nullptr), int(UNLHA_ERROR_HARC_ISNOT_OPENED));
        QCOMPARE(unlha(QStringLiteral("e \"%1\" \"%2\" dog.gif").arg(archive, dest_)), 0);
    }

    void extractionPicksTheRightMember() {
        const QString archive = writeArchive(
            QStringLiteral("same.lzh"),
            lzhArchive({member(0, "photos\\cat.jpg", "first"), member(1, "cat.jpg", "second"),
                        member(2, "CAT.JPG", "upper"), member(0, "x\\Dog.gif", "dog")}));
        writeFile(dest_ + "cat.jpg", "old copy");
        QCOMPARE(unlha(extractCommand(archive, dest_, "cat.jpg")), 0);
        QCOMPARE(readFile(dest_ + "cat.jpg"), QByteArray("first"));
        QCOMPARE(unlha(extractCommand(archive, dest_, "CAT.JPG", true)), 0);
        QCOMPARE(readFile(dest_ + "CAT.JPG"), QByteArray("upper"));
        QCOMPARE(unlha(extractCommand(archive, dest_, "dog.gif")), 0);  // case differs
        QCOMPARE(entries(dest_), QStringList({"CAT.JPG", "Dog.gif", "cat.jpg"}));

        QVERIFY(QDir(dest_).removeRecursively() && QDir().mkpath(dest_));
        QCOMPARE(unlha(QStringLiteral("e \"%1\" \"%2\"").arg(archive, dest_)), 0);  // every member
        QCOMPARE(readFile(dest_ + "cat.jpg"), QByteArray("first"));
        QCOMPARE(entries(dest_), QStringList({"CAT.JPG", "Dog.gif", "cat.jpg"}));
        QCOMPARE(unlha(QStringLiteral("e \"%1\" \"%2\" *.GIF").arg(archive, dest_)), 0);
    }

    void outputBufferIsNeverOverrun() {
        const QString archive = writeArchive(QStringLiteral("out.lzh"), mixedArchive());
        const QByteArray command = extractCommand(archive, dest_, "dog.gif").toUtf8();
        QByteArray buf(64, 'Z');
        QCOMPARE(Unlha(nullptr, command.constData(), buf.data(), 8), 0);
        QCOMPARE(qstrlen(buf.constData()), size_t(7));
        QCOMPARE(buf.mid(8), QByteArray(56, 'Z'));
        QCOMPARE(Unlha(nullptr, command.constData(), buf.data(), 0), 0);
        QCOMPARE(Unlha(nullptr, command.constData(), nullptr, 100), 0);
    }

    void unsafeNamesStayInsideTheFolder() {
        const QString outer = path(QStringLiteral("outer"));
        const QString inner = outer + QStringLiteral("/dest/");
        QVERIFY(QDir().mkpath(inner));
        HandMember up = member(2, "up.jpg", "4");
        up.folder = "..\xFF..\xFF";
        const QString archive = writeArchive(
            QStringLiteral("evil.lzh"),
            lzhArchive({member(0, "..\\..\\evil.jpg", "1"), member(0, "/etc/abs.jpg", "2"),
                        member(1, "C:\\drive.jpg", "3"), up, member(0, "sub\\..", "5"),
                        member(0, ".", "6")}));
        QCOMPARE(listNames(archive), QStringList({"../../evil.jpg", "etc/abs.jpg", "C:/drive.jpg",
                                                  "../../up.jpg", "sub/..", ""}));
        for (const char* name : {"evil.jpg", "abs.jpg", "drive.jpg", "up.jpg"})
            QCOMPARE(unlha(extractCommand(archive, inner, name)), 0);
        QCOMPARE(unlha(extractCommand(archive, inner, "..")), int(UNLHA_ERROR_NOT_FILENAME));
        QCOMPARE(unlha(extractCommand(archive, inner, "")), int(UNLHA_ERROR_NOT_FILENAME));
        QCOMPARE(entries(outer), QStringList{"dest"});
        QCOMPARE(entries(inner), QStringList({"abs.jpg", "drive.jpg", "evil.jpg", "up.jpg"}));
    }

    void symlinkAtTargetIsReplaced() {
        const QString victim = path(QStringLiteral("victim.txt"));
        writeFile(victim, "precious");
        QVERIFY(QFile::link(victim, dest_ + "cat.jpg"));
        const QString archive = writeArchive(QStringLiteral("link.lzh"), mixedArchive());
        QCOMPARE(unlha(extractCommand(archive, dest_, "cat.jpg")), 0);
        QCOMPARE(readFile(victim), QByteArray("precious"));
        QVERIFY(!QFileInfo(dest_ + "cat.jpg").isSymLink());
        QCOMPARE(readFile(dest_ + "cat.jpg"), kTopCat);
    }

    void damagedArchivesFailCleanly() {
        // A wrong data CRC with a sound header: only the full check notices.
        QByteArray badCrc = lzhArchive({member(0, "cat.jpg", kTopCat)});
        badCrc[29] = char(badCrc[29] ^ 0x01);  // CRC follows the 7-byte name
        quint8 sum = 0;                        // keep the header checksum right
        for (int i = 2; i < quint8(badCrc[0]) + 2; ++i)
            sum += quint8(badCrc[i]);
        badCrc[1] = char(sum);
        const QString crcArchive = writeArchive(QStringLiteral("crc.lzh"), badCrc);
        QVERIFY(UnlhaCheckArchive(crcArchive.toUtf8().constData(), 0));
        QVERIFY(!UnlhaCheckArchive(crcArchive.toUtf8().constData(), 1));
        QCOMPARE(unlha(extractCommand(crcArchive, dest_, "cat.jpg")), int(UNLHA_ERROR_FILE_CRC));

        HandMember unknown = member(1, "new.jpg", "x");
        unknown.method = "-lh9-";
        const QString methodArchive = writeArchive(QStringLiteral("m.lzh"), lzhArchive({unknown}));
        QVERIFY(!UnlhaCheckArchive(methodArchive.toUtf8().constData(), 1));
        QCOMPARE(unlha(extractCommand(methodArchive, dest_, "new.jpg")), int(UNLHA_ERROR_METHOD));

        const QByteArray mixed = mixedArchive();
        const QString cut = writeArchive(QStringLiteral("cut.lzh"), mixed.left(mixed.size() - 60));
        QVERIFY(!UnlhaCheckArchive(cut.toUtf8().constData(), 0));
        QCOMPARE(listNames(cut), QStringList({"cat.jpg", "photos/cat.jpg"}));
        QVERIFY(unlha(extractCommand(cut, dest_, "cat.jpg")) == 0);
        QVERIFY(unlha(extractCommand(cut, dest_, "dog.gif")) != 0);
        QCOMPARE(unlha(QStringLiteral("e \"%1\" \"%2\"").arg(cut, dest_)),
                 int(UNLHA_ERROR_HEADER_BROKEN));  // "everything" cannot be had

        if (jlha_.contains("pics")) {  // damage inside -lh5- data
            QByteArray raw = readFile(jlha_["pics"]);
            const int at = le16(raw, 0) + 10;  // in cat.jpg's data
            raw[at] = char(raw[at] ^ 0x20);
            const QString flipped = writeArchive(QStringLiteral("flip.lzh"), raw);
            QVERIFY(!UnlhaCheckArchive(flipped.toUtf8().constData(), 1));
            QVERIFY(unlha(extractCommand(flipped, dest_, "cat.jpg")) != 0);
        }
        QCOMPARE(entries(dest_), QStringList{"cat.jpg"});  // only the sound one
        QCOMPARE(readFile(dest_ + "cat.jpg"), kTopCat);

        for (const QByteArray& junk : {QByteArray("not an archive at all"), QByteArray(),
                                       QByteArray(100, '\0'), QByteArray("\x16-lh5-")}) {
            const QString bad = writeArchive(QStringLiteral("junk.lzh"), junk);
            QVERIFY(!UnlhaCheckArchive(bad.toUtf8().constData(), 0));
            QVERIFY(!UnlhaOpenArchive(nullptr, bad.toUtf8().constData(), 0));
            QCOMPARE(UnlhaGetFileCount(bad.toUtf8().constData()), -1);
            QCOMPARE(unlha(extractCommand(bad, dest_, "cat.jpg")), int(UNLHA_ERROR_NOT_ARC_FILE));
        }
    }

    // Whatever is cut off or changed, an extraction yields whole, correct
    // files or nothing, and a sound verdict means everything extracts.
    void everyTruncationAndByteFlipFailsCleanly() {
        HandMember deep = member(1, "dog.gif", "woof");
        deep.folder = "sub\xFF";
        HandMember packed = member(2, "lz5.pic", "abcabcabcabc");
        packed.method = "-lz5-";
        packed.packed = lz5Literals(packed.content);
        const QByteArray good = lzhArchive(
            {member(0, "a\\cat.jpg", "meow"), deep, packed, member(3, "last.mag", "tail")});
        const QList<QByteArray> contents = {"meow", "woof", "abcabcabcabc", "tail"};
        const QString archive = path(QStringLiteral("fuzz.lzh"));
        for (int variant = 0; variant < 2 * good.size(); ++variant) {
            QByteArray bytes = good;
            if (variant < good.size())
                bytes.truncate(variant);
            else
                bytes[variant - good.size()] = char(bytes[variant - good.size()] ^ 0x5A);
            writeArchive(QStringLiteral("fuzz.lzh"), bytes);
            const bool sound = UnlhaCheckArchive(archive.toUtf8().constData(), 1);
            listNames(archive);
            const int rc = unlha(QStringLiteral("e \"%1\" \"%2\"").arg(archive, dest_));
            if (sound)
                QVERIFY2(rc == 0, qPrintable(QString::number(variant)));
            for (const QString& name : entries(dest_)) {
                QVERIFY2(contents.contains(readFile(dest_ + name)),
                         qPrintable(QString::number(variant) + u' ' + name));
                QFile::remove(dest_ + name);
            }
        }
    }

    void fullDiskLeavesNothingBehind() {
        const QString archive = writeArchive(
            QStringLiteral("big.lzh"), lzhArchive({member(0, "big.bmp", kPhotoCat.repeated(8))}));
        struct rlimit saved;
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const int rc = unlha(extractCommand(archive, dest_, "big.bmp"));
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(rc, int(UNLHA_ERROR_DISK_SPACE));
        QCOMPARE(entries(dest_), QStringList());
    }

    void badCommandsAndPaths() {
        const QString archive = writeArchive(QStringLiteral("ok.lzh"), mixedArchive());
        QCOMPARE(unlha(QStringLiteral("x \"%1\" \"%2\" cat.jpg").arg(archive, dest_)),
                 int(UNLHA_ERROR_COMMAND_NAME));
        QCOMPARE(unlha(QStringLiteral("e \"%1\" \"%2\" \"cat.jpg").arg(archive, dest_)),
                 int(UNLHA_ERROR_COMMAND_NAME));
        QCOMPARE(Unlha(nullptr, nullptr, nullptr, 0), int(UNLHA_ERROR_COMMAND_NAME));
        QCOMPARE(unlha(extractCommand(path("absent.lzh"), dest_, "cat.jpg")),
                 int(UNLHA_ERROR_NOT_FIND_ARC_FILE));
        QCOMPARE(unlha(extractCommand(tmp_.path(), dest_, "cat.jpg")),
                 int(UNLHA_ERROR_NOT_ARC_FILE));
        QCOMPARE(unlha(extractCommand(archive, path("nowhere/"), "cat.jpg")),
                 int(UNLHA_ERROR_MAKEDIRECTORY));
        QVERIFY(!QFileInfo::exists(path("nowhere")));
        QCOMPARE(unlha(extractCommand(archive, dest_, "absent.jpg")),
                 int(UNLHA_ERROR_NOT_FIND_FILE));
        QCOMPARE(entries(dest_), QStringList());
    }

    void busyWhileRunning() {
        // The worker blocks opening a pipe as its archive until we open the other end.
        const QString fifo = path(QStringLiteral("busy.lzh"));
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QCOMPARE(UnlhaGetRunning(), 0);
        std::atomic<int> rc{-1};
        const QByteArray command = extractCommand(fifo, dest_, "cat.jpg").toUtf8();
        QScopedPointer<QThread> worker(
            QThread::create([&] { rc = Unlha(nullptr, command.constData(), nullptr, 0); }));
        worker->start();
        for (int i = 0; i < 20000 && !UnlhaGetRunning(); ++i)
            QThread::msleep(1);
        QVERIFY(UnlhaGetRunning() != 0);
        QCOMPARE(unlha(command), int(UNLHA_ERROR_ALREADY_RUNNING));
        int fd = -1;
        for (int i = 0; i < 20000 && fd < 0; ++i) {
            fd = open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                QThread::msleep(1);
        }
        QVERIFY(fd >= 0);
        close(fd);
        QVERIFY(worker->wait());
        QCOMPARE(rc.load(), int(UNLHA_ERROR_NOT_ARC_FILE));  // a pipe is no archive
        QCOMPARE(UnlhaGetRunning(), 0);
    }

    void modeSwitches() {
        QCOMPARE(UnlhaSetBackGroundMode(0), 1);
        QCOMPARE(UnlhaGetBackGroundMode(), 0);
        QCOMPARE(UnlhaSetCursorMode(1), 1);
        QCOMPARE(UnlhaGetCursorMode(), 1);
        QCOMPARE(UnlhaSetCursorMode(0), 1);
        QCOMPARE(UnlhaGetCursorMode(), 0);
        QVERIFY(UnlhaQueryFunctionList(UNLHA_FN_FIND_FIRST));
        QVERIFY(!UnlhaQueryFunctionList(UNLHA_FN_CONFIG_DIALOG));
    }
};

QTEST_GUILESS_MAIN(TestUnlha32)
#include "test_unlha32.moc"
