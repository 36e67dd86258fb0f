// The archive library through its C entry points: names, patterns, queries,
// extraction, and hostile archives from the fuzz corpus.
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "file_io.h"
#include "lzh_test_archives.h"
#include "unlha32.h"

using namespace kordel::test;

namespace kordel::fuzz {
std::string runArchive(const std::string& archive, const std::string& outer, std::string* summary);
}

namespace {

const QString kCorpus = lzhCorpus();

QString entries(const QString& dir) {
    return QDir(dir)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name)
        .join(QStringLiteral(", "));
}

int unlha(const QString& command) {
    return Unlha(nullptr, command.toUtf8().constData(), nullptr, 0);
}

// The command line the program sends to show a member.
QString extractCommand(const QString& archive, const QString& folder, const QString& member) {
    return QStringLiteral("e -l0 -n1 \"%1\" \"%2\" \"%3\"").arg(archive, folder, member);
}

// The listed names, ", " between them.
QString names(const QString& archive, const char* pattern = "*", uint32_t mode = 0) {
    QStringList out;
    HARC h = UnlhaOpenArchive(nullptr, archive.toUtf8().constData(), mode);
    INDIVIDUALINFO info;
    for (int rc = UnlhaFindFirst(h, pattern, &info); rc == 0; rc = UnlhaFindNext(h, &info))
        out << QString::fromUtf8(info.fileName);
    UnlhaCloseArchive(h);
    return out.join(QStringLiteral(", "));
}

// Runs a file through the fuzz target's own checks (see there), with
// outer/dest/ as the destination.
void runThrough(const QString& archive, const QString& outer, QString* summary) {
    QDir(outer).removeRecursively();
    std::string text;
    const std::string fault = kordel::fuzz::runArchive(
        QFile::encodeName(archive).toStdString(), QFile::encodeName(outer).toStdString(), &text);
    *summary = QString::fromStdString(text);
    QVERIFY2(fault.empty(), fault.c_str());
}

}  // namespace

class TestUnlha32 : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString dest_;  // fresh and empty for every test, with its trailing "/"

private slots:
    void init() {
        dest_ = tmp_.filePath(QStringLiteral("dest/"));
        QDir(dest_).removeRecursively();
        QVERIFY(QDir().mkpath(dest_));
    }

    // A level-1 -lz5- member from Unix, then a level-2 one, behind a program;
    // another archive is searched at the same time.
    void memberAndArchiveQueries() {
        const QString sfx = kCorpus + "sound-self-extractor.exe";
        HARC h = UnlhaOpenArchive(nullptr, sfx.toUtf8().constData(), 0);
        HARC other =
            UnlhaOpenArchive(nullptr, (kCorpus + "sound-search-names.lzh").toUtf8().constData(), 0);
        QVERIFY(h && other);
        QCOMPARE(UnlhaFindNext(h, nullptr), int(UNLHA_ERROR_NOT_SEARCH_MODE));

        INDIVIDUALINFO info;
        std::memset(&info, 0xCC, sizeof info);
        QCOMPARE(UnlhaFindFirst(h, "*.JPG", &info), 0);
        QCOMPARE(UnlhaFindFirst(other, "*", nullptr), 0);
        QCOMPARE(info.originalSize, 880u);
        QCOMPARE(info.compressedSize, 990u);  // a flag byte before every 8 literals
        QCOMPARE(info.crc, 0x772du);          // CRC-16 of "top-level cat picture\n" 40 times
        QCOMPARE(info.osType, quint32(UNLHA_OS_UNIX));
        QCOMPARE(info.ratio, quint16(1125));
        QCOMPARE(info.date, quint16((21 << 9) | (2 << 5) | 3));  // 2001-02-03
        QCOMPARE(info.time, quint16((4 << 11) | (5 << 5) | 3));  // 04:05:06
        QCOMPARE(QByteArray(info.fileName), QByteArray("cat.jpg"));
        QCOMPARE(QByteArray(info.padding, 3), QByteArray(3, '\0'));
        QCOMPARE(QByteArray(info.attribute), QByteArray("----A"));
        QCOMPARE(QByteArray(info.method), QByteArray("-lz5-"));
        QCOMPARE(UnlhaFindFirst(h, "*", nullptr), 0);
        QCOMPARE(UnlhaFindNext(h, nullptr), 0);
        char buf[8];
        QCOMPARE(UnlhaGetFileName(h, buf, sizeof buf), 0);
        QCOMPARE(QByteArray(buf), QByteArray("dog.gif"));
        QCOMPARE(UnlhaGetOriginalSize(other), 1u);  // still on its first
        QCOMPARE(UnlhaFindNext(h, nullptr), -1);
        QCOMPARE(UnlhaCloseArchive(h), 0);
        QCOMPARE(UnlhaCloseArchive(other), 0);
    }

    void searchPatterns_data() {
        QTest::addColumn<QByteArray>("pattern");  // null: none
        QTest::addColumn<uint>("mode");
        QTest::addColumn<QString>("names");
        const QString all = "cat.jpg, photos/Cat.JPG, dog.gif, sub/ÄRGER.jpg, my file.jpg";
        QTest::newRow("base names, any case")
            << QByteArray("*.JPG") << 0x2200u
            << "cat.jpg, photos/Cat.JPG, sub/ÄRGER.jpg, my file.jpg";
        QTest::newRow("?") << QByteArray("?at.jpg") << 0u << "cat.jpg, photos/Cat.JPG";
        QTest::newRow("quoted") << QByteArray("\"cat.jpg\"") << 0u << "cat.jpg, photos/Cat.JPG";
        QTest::newRow("quoted wildcard") << QByteArray("\"c?t.jpg\"") << 0u << "";
        QTest::newRow("non-ASCII case") << QByteArray("ärger.JPG") << 0u << "sub/ÄRGER.jpg";
        QTest::newRow("*.*") << QByteArray("*.*") << 0u << all;
        QTest::newRow("none") << QByteArray() << 0u << all;
        QTest::newRow("several") << QByteArray("*.gif \"my file.jpg\"") << 0u
                                 << "dog.gif, my file.jpg";
        QTest::newRow("folder in the pattern") << QByteArray("photos/*") << 0u << "photos/Cat.JPG";
        QTest::newRow("whole path mode")
            << QByteArray("cat.jpg") << uint(UNLHA_M_CHECK_ALL_PATH) << "cat.jpg";
    }

    void searchPatterns() {
        QFETCH(QByteArray, pattern);
        QFETCH(uint, mode);
        QTEST(names(kCorpus + "sound-search-names.lzh",
                    pattern.isNull() ? nullptr : pattern.constData(), mode),
              "names");
    }

    // By name: the first member of a base name, else one differing in case; a
    // link planted at the target is replaced, never followed.
    void extractionPicksTheRightMember() {
        const QString archive = kCorpus + "sound-same-base-names.lzh";
        QFile victim(tmp_.filePath("victim.txt"));
        QVERIFY(writeFile(victim.fileName(), "precious"));
        QVERIFY(victim.link(dest_ + "cat.jpg"));
        QCOMPARE(unlha(extractCommand(archive, dest_, "cat.jpg")), 0);
        QCOMPARE(readFile(victim.fileName()), QByteArray("precious"));
        QCOMPARE(readFile(dest_ + "cat.jpg"), QByteArray("first"));
        QCOMPARE(unlha(extractCommand(archive, dest_, "CAT.JPG")), 0);
        QCOMPARE(readFile(dest_ + "CAT.JPG"), QByteArray("upper"));
        QCOMPARE(unlha(extractCommand(archive, dest_, "dog.gif")), 0);
        QCOMPARE(entries(dest_), QStringLiteral("CAT.JPG, Dog.gif, cat.jpg"));
    }

    // As lhasa extracts them: a classic Mac member without its MacBinary header
    // (the data fork, else the resource fork), names from UTF-16, "CAP" fields and Shift-JIS.
    void extractedContents_data() {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QByteArray>("contents");
        const QString mac = "mac-macbinary-levels-1-2.lzh";
        const QString names = "names-utf16-and-cap-level2.lzh";
        QTest::newRow("data fork") << mac << "pic.jpg" << QByteArray("data fork\n");
        QTest::newRow("resource fork") << mac << "icon.jpg" << QByteArray("rsrc\n");
        QTest::newRow("not MacBinary") << mac << "plain.jpg" << QByteArray("not MacBinary\n");
        QTest::newRow("UTF-16 name") << names << "写真.jpg" << QByteArray("utf16\n");
        QTest::newRow("CAP name") << names << "日本.jpg" << QByteArray("cap\n");
        QTest::newRow("Shift-JIS name") << "sound-names-shift-jis-utf8.lzh"
                                        << "表.jpg" << QByteArray("a");
    }

    void extractedContents() {
        QFETCH(QString, archive);
        QFETCH(QString, member);
        QCOMPARE(unlha(extractCommand(kCorpus + archive, dest_, member)), 0);
        QTEST(readFile(dest_ + member), "contents");
    }

    void outputBufferIsNeverOverrun() {
        const QByteArray command =
            extractCommand(kCorpus + "sound-level0-lh5.lzh", dest_, "cat.jpg").toUtf8();
        QByteArray buf(64, 'Z');
        QCOMPARE(Unlha(nullptr, command.constData(), buf.data(), 8), 0);
        QCOMPARE(qstrlen(buf.constData()), size_t(7));
        QCOMPARE(buf.mid(8), QByteArray(56, 'Z'));
        QCOMPARE(Unlha(nullptr, command.constData(), buf.data(), 0), 0);
    }

    void badCommandsAndPaths_data() {
        QTest::addColumn<QString>("command");  // {a} a sound archive, {d} the destination
        QTest::addColumn<int>("rc");
        QTest::newRow("unknown command") << "x {a} {d} cat.jpg" << int(UNLHA_ERROR_COMMAND_NAME);
        QTest::newRow("open quote") << "e {a} {d} \"cat.jpg" << int(UNLHA_ERROR_COMMAND_NAME);
        QTest::newRow("absent archive") << "e {a}.x {d} c" << int(UNLHA_ERROR_NOT_FIND_ARC_FILE);
        QTest::newRow("folder as archive") << "e {d} {d} cat.jpg" << int(UNLHA_ERROR_NOT_ARC_FILE);
        QTest::newRow("absent folder") << "e {a} {d}no/ cat.jpg" << int(UNLHA_ERROR_MAKEDIRECTORY);
        QTest::newRow("absent member") << "e {a} {d} absent.jpg" << int(UNLHA_ERROR_NOT_FIND_FILE);
    }

    void badCommandsAndPaths() {
        QFETCH(QString, command);
        const QString archive = kCorpus + "sound-level0-lh5.lzh";
        QTEST(unlha(command.replace("{a}", archive).replace("{d}", dest_)), "rc");
        QCOMPARE(entries(dest_), QString());
    }

    // A FIFO named like an archive is refused at once, never waited on.
    void specialFileIsRefused() {
        const QString fifo = tmp_.filePath("pipe.lzh");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(UnlhaCheckArchive(fifo.toUtf8().constData(), UNLHA_CHECK_HEADERS), 0);
        QVERIFY(!UnlhaOpenArchive(nullptr, fifo.toUtf8().constData(), 0));
        QCOMPARE(unlha(extractCommand(fifo, dest_, "cat.jpg")), int(UNLHA_ERROR_NOT_ARC_FILE));
    }

    // Two members declaring 2 GiB each in 1.7 KB: checking headers and listing
    // decompress nothing (that took half a minute; the bound leaves room for a busy
    // machine). Not in the fuzz corpus, whose replay extracts all.
    void checkAndListingAreCheap() {
        const QString file =
            QStringLiteral(KORDEL_SOURCE_DIR "/tests/unlha32/members-2gib-each.lzh");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(UnlhaCheckArchive(file.toUtf8().constData(), UNLHA_CHECK_BASIC), 1);
        QCOMPARE(names(file), QStringLiteral("a.txt, b.txt"));
        QVERIFY(clock.elapsed() < 5000);
    }

    // Every file of the fuzz corpus, within bounded time; rows name the results
    // that matter, the other files are held to the promises of runThrough.
    void corpus_data() {
        QTest::addColumn<QString>("expected");
        QStringList rest = QDir(kCorpus).entryList(QDir::Files);
        const auto row = [&rest](const char* file, const char* expected) {
            rest.removeOne(QLatin1String(file));
            QTest::newRow(file) << QString::fromUtf8(expected);
        };
        row("sound-names-shift-jis-utf8.lzh",
            "sound: 表/表.jpg, 日本/写真.jpg, ｶﾅ.jpg, \uFFFD.jpg, 表/表.jpg, café/x.jpg, a/b/c.jpg"
            " -> 0: c.jpg, x.jpg, 写真.jpg, 表.jpg, ｶﾅ.jpg, \uFFFD.jpg");
        row("member-path-dotdot.lzh", "sound: ../../evil.jpg, ../../up.jpg -> 0: evil.jpg, up.jpg");
        row("member-path-absolute.lzh",
            "sound: etc/abs.jpg, C:/drive.jpg -> 0: abs.jpg, drive.jpg");
        row("member-name-dotdot.lzh", "sound: sub/.. -> 802b: ");
        row("member-name-dot.lzh", "sound:  -> 802b: ");
        row("data-crc-wrong.lzh", "bad data: cat.jpg -> 800c: ");
        row("data-lh5-bit-flipped.lzh", "bad data: cat.jpg, photos/dog.gif -> 8048: dog.gif");
        row("method-unknown-lh9.lzh", "bad data: new.jpg -> 8009: ");
        row("original-size-4gib.lzh", "bad data: huge.jpg -> 8048: ");
        // Its data is whole: the member still extracts.
        row("compressed-size-past-end.lzh", "bad headers: cat.jpg -> 8017: cat.jpg");
        row("archive-cut-in-last-member.lzh",
            "bad headers: cat.jpg, photos/cat.jpg -> 8017: cat.jpg");
        row("not-an-archive.lzh", "bad headers:  -> 8019: ");
        row("header-checksum-wrong-level1.lzh", "bad headers: a.jpg -> 8017: a.jpg");
        row("header-crc-wrong-level2.lzh", "bad headers: a.jpg -> 8017: a.jpg");
        // PMarc's methods are not LZH: listed, never decoded.
        row("levels-0-3-lz-methods-pm-refused.lzh",
            "bad data: lz4.pic, 表/表.jpg, pm0.mag, album/album.pi, 表/表.jpg"
            " -> 8009: album.pi, lz4.pic, 表.jpg");
        row("mac-macbinary-levels-1-2.lzh",
            "sound: pic.jpg, icon.jpg, plain.jpg -> 0: icon.jpg, pic.jpg, plain.jpg");
        row("names-utf16-and-cap-level2.lzh", "sound: 写真.jpg, 日本.jpg -> 0: 写真.jpg, 日本.jpg");
        // Neither an empty folder entry nor a link is extracted.
        row("amiga-folder-as-empty-lh0-level1.lzh", "sound: dir, dir/b.jpg -> 0: b.jpg");
        row("symlink-without-target-level2.lzh",
            "sound: a.jpg, link.jpg, b.jpg -> 0: a.jpg, b.jpg");
        // Old archivers' level-1 folder entries without a trailing separator,
        // and a link without its target.
        row("folder-without-separator-level1.lzh",
            "sound: a.jpg, dir, dir/b.jpg, PICS, PICS/C.JPG -> 0: C.JPG, a.jpg, b.jpg");
        row("symlink-without-target-level1.lzh",
            "sound: a.jpg, link.jpg, b.jpg -> 0: a.jpg, b.jpg");
        row("symlink-level1-checksum-wrong.lzh", "bad headers: a.jpg -> 8017: a.jpg");
        for (const QString& file : rest)
            QTest::newRow(qPrintable(file)) << QString();
    }

    void corpus() {
        QFETCH(QString, expected);
        const QString file = kCorpus + QLatin1String(QTest::currentDataTag());
        QElapsedTimer clock;
        clock.start();
        QString summary;
        runThrough(file, tmp_.filePath("corpus"), &summary);
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(UnlhaGetRunning(), 0);  // the program waits for this to drop
        if (!expected.isEmpty())
            QCOMPARE(summary, expected);
    }
};

QTEST_GUILESS_MAIN(TestUnlha32)
#include "test_unlha32.moc"
