// Debian's lhasa as an independent judge of the archive library: on archives of
// every header level and method, what lhasa lists we list alike (sizes, method,
// CRC, name), and what it extracts we extract byte for byte, with the same date,
// through the command line the program sends. ("lha" may be another archiver.)
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "file_io.h"
#include "lzh_test_archives.h"
#include "unlha32.h"

using namespace kordel::test;

namespace {

// Random bytes, or random picks from `alphabet` (which compress, unevenly).
QByteArray randomBytes(int size, quint32 seed, const QByteArray& alphabet = {}) {
    QRandomGenerator random(seed);
    QByteArray out(size, '\0');
    for (char& c : out)
        c = alphabet.isEmpty() ? char(random.bounded(256))
                               : alphabet[random.bounded(alphabet.size())];
    return out;
}

// By raw bytes: lhasa writes Shift-JIS names, which Qt cannot open.
QByteArray readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string data(std::istreambuf_iterator<char>(in), {});
    return in ? QByteArray::fromStdString(data) : QByteArray("<missing>");
}

// A name as lhasa writes it: a name from an MS-DOS header without lower-case
// letters in lower case (we keep the case), in Shift-JIS where it was stored so.
// Its listing shows every byte outside printable ASCII as "?".
QByteArray asLhasaWrites(const char* name, bool sjis) {
    QString n = QString::fromUtf8(name);
    if (!n.contains(QRegularExpression(QStringLiteral("[a-z]"))))
        n = n.toLower();
    return sjis ? QStringEncoder("windows-31j").encode(n) : n.toUtf8();
}

QDateTime fromDos(quint16 date, quint16 time) {
    return QDateTime(QDate(1980 + (date >> 9), (date >> 5) & 15, date & 31),
                     QTime(time >> 11, (time >> 5) & 63, (time & 31) * 2));
}

// Its output; a failure shows up as a listing or a file that differs.
QByteArray lhasa(const QString& dir, const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("lhasa"), args);
    p.waitForFinished(120000);
    return p.readAllStandardOutput() + p.readAllStandardError();
}

}  // namespace

class TestLhasaOracle : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString src_;       // the files jlha packs
    QStringList args_;  // their names

    // Through raw bytes: Qt cannot remove the Shift-JIS names lhasa writes.
    QString freshFolder(const QString& name) const {
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(tmp_.filePath(name)).toStdString(), ignored);
        QDir().mkpath(tmp_.filePath(name));
        return tmp_.filePath(name) + u'/';
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty() || !haveJlha())
            QSKIP("Debian's lhasa and jlha (packages lhasa, jlha-utils) are needed");
        qputenv("LC_ALL", "C.UTF-8");  // English month names from lhasa
        qputenv("TZ", "Asia/Tokyo");   // away from UTC, so a mix-up of local and UTC shows
        tzset();
        // Repeats 40000 bytes apart: beyond the window of -lh5- and -lh6-, within -lh7-'s.
        const QByteArray block = randomBytes(40000, 7);
        // No Shift-JIS character with the trail byte "\": lhasa takes that for a
        // folder separator in the older headers, which the library rightly does not.
        const QList<std::tuple<QString, QByteArray, time_t>> sources = {
            {"empty.txt", {}, 315532802},
            {"text/readme.txt", randomBytes(40000, 5, "eeeetaoin shrdlu\n"), 981137106},
            {"far/repeat.bin", block + block + block, 1118099350},
            {"sub/deep/random.bin", randomBytes(20000, 11), 1355281932},
            {"写真/日本語の名前.txt", randomBytes(30000, 9, "日本語の名前 \n"), 1582949655},
            {"ｶﾅ ﾌｧｲﾙ.jpg", randomBytes(3000, 3), 799617905},
            {"UPPER.JPG", "upper", 2208956400},
            {"odd/seconds.txt", "odd", 1278547811}};
        const QString src = freshFolder(QStringLiteral("src"));
        QStringList args = {QStringLiteral("sub"), QStringLiteral("emptydir")};  // with contents
        QVERIFY(QDir().mkpath(src + QStringLiteral("emptydir")));
        for (const auto& [name, data, stamp] : sources) {
            QVERIFY(writeFile(src + name, data) &&
                    setModified(src + name, QDateTime::fromSecsSinceEpoch(stamp)));
            if (!name.startsWith(QStringLiteral("sub/")))
                args << name;
        }
        src_ = src;
        args_ = args;
    }

    void cleanupTestCase() { freshFolder(QStringLiteral(".")); }

    void sameAsLhasa_data() {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("command");  // jlha's, "y" for Shift-JIS names; "": none
        QTest::newRow("UTF-8 names, levels 0-3") << lzhCorpus() + "sound-utf8-names-levels-0-3.lzh"
                                                 << "";
        for (int level = 0; level <= 2; ++level) {
            for (const char* option : {"z", "", "o6", "o7"}) {
                const QString name = QStringLiteral("l%1%2.lzh").arg(level).arg(option);
                QTest::newRow(qPrintable(name))
                    << name << QStringLiteral("a%1%2y").arg(level).arg(option);
            }
        }
    }

    void sameAsLhasa() {
        QFETCH(QString, archive);
        QFETCH(QString, command);
        archive = QDir(tmp_.path()).filePath(archive);
        const bool sjis = !command.isEmpty();
        if (sjis) {
            const QString error = runJlha(src_, QStringList{command, archive} + args_);
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        // The listings: packed and original size, method, CRC, name.
        const QByteArray text = lhasa(tmp_.path(), {QStringLiteral("v"), archive});
        static const QRegularExpression line(QStringLiteral(
            R"(^.{22}\s*(\d+)\s+(\d+)\s+\S+\s+(-\S{3}-)\s+([0-9a-f]{4})\s+\w{3}\s+\d+\s+\S+ (.*?)/?$)"));
        QStringList theirs, ours;
        for (const QByteArray& raw : text.split('\n')) {
            const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
            if (m.hasMatch())
                theirs << m.capturedTexts().mid(1).join(u' ');
        }
        QList<INDIVIDUALINFO> members;
        HARC h = UnlhaOpenArchive(nullptr, archive.toUtf8().constData(), 0);
        INDIVIDUALINFO info;
        for (int rc = UnlhaFindFirst(h, "*", &info); rc == 0; rc = UnlhaFindNext(h, &info)) {
            members << info;
            ours << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(info.compressedSize)
                        .arg(info.originalSize)
                        .arg(QLatin1String(info.method))
                        .arg(info.crc, 4, 16, QLatin1Char('0'))
                        .arg(QString::fromLatin1(asLhasaWrites(info.fileName, sjis))
                                 .replace(QRegularExpression(QStringLiteral("[^ -~]")), "?"));
        }
        UnlhaCloseArchive(h);
        QCOMPARE(ours, theirs);

        // What lhasa extracts, and ours with the program's command line.
        const QString ourFolder = freshFolder(QStringLiteral("ours"));
        const QString theirFolder = freshFolder(QStringLiteral("lhasa"));
        lhasa(theirFolder, {QStringLiteral("xqf"), archive});
        qsizetype files = 0;
        for (const INDIVIDUALINFO& m : std::as_const(members)) {
            if (m.attribute[3] == 'D')
                continue;
            ++files;
            const std::string theirs =
                (QFile::encodeName(theirFolder) + asLhasaWrites(m.fileName, sjis)).toStdString();
            struct stat st;
            QVERIFY2(stat(theirs.c_str(), &st) == 0, m.fileName + text);
            QCOMPARE(fromDos(m.date, m.time),
                     QDateTime::fromSecsSinceEpoch(st.st_mtime - st.st_mtime % 2));
            const QString base = QFileInfo(QString::fromUtf8(m.fileName)).fileName();
            const QByteArray line = QStringLiteral("e -l0 -n1 \"%1\" \"%2\" \"%3\"")
                                        .arg(archive, ourFolder, base)
                                        .toUtf8();
            QCOMPARE(Unlha(nullptr, line.constData(), nullptr, 0), 0);
            QVERIFY2(readFile((ourFolder + base).toStdString()) == readFile(theirs), m.fileName);
        }
        const std::filesystem::recursive_directory_iterator all(
            QFile::encodeName(theirFolder).toStdString());
        QCOMPARE(
            std::count_if(begin(all), end(all), [](const auto& e) { return e.is_regular_file(); }),
            files);
    }
};

QTEST_GUILESS_MAIN(TestLhasaOracle)
#include "test_lhasa_oracle.moc"
