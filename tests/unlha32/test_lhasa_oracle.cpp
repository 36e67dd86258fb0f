// Debian's lhasa as an independent judge of the archive library: on archives of
// every header level and method, whatever lhasa lists we list alike (name,
// sizes, method, CRC, date), and whatever it extracts we extract byte for byte
// with the command line the program sends.
//
// Only the "lhasa" command is asked: "lha" may be another archiver installed
// under that name.
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>
#include <filesystem>

#include "lzh_test_archives.h"
#include "unlha32.h"

using namespace kordel::test;

namespace {

struct Source {
    QString name;
    QByteArray data;
    struct tm when;  // local time
};

QByteArray randomBytes(int size, quint32 seed) {
    QRandomGenerator random(seed);
    QByteArray out(size, '\0');
    for (char& c : out)
        c = char(random.bounded(256));
    return out;
}

QByteArray numberedText(int lines, const char* word) {
    QByteArray out;
    for (int i = 0; i < lines; ++i)
        out += QByteArray(word) + ' ' + QByteArray::number(i * 7 % 1000) + '\n';
    return out;
}

struct tm localTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}

// Names hold no Shift-JIS character with the trail byte "\": lhasa takes that
// byte for a folder separator in the older headers, which the library rightly
// does not (its own tests cover those names).
QList<Source> sources() {
    const QByteArray block = randomBytes(40000, 7);
    return {
        {"empty.txt", {}, localTime(1980, 1, 1, 0, 0, 2)},
        {"one.bin", "Z", localTime(1999, 12, 31, 23, 59, 58)},
        {"text/readme.txt", numberedText(4000, "line"), localTime(2001, 2, 3, 4, 5, 6)},
        // Repeats 40000 bytes apart: beyond the window of -lh5- and -lh6-, within -lh7-'s.
        {"far/repeat.bin", block + block + block, localTime(2005, 6, 7, 8, 9, 10)},
        {"sub/deep/random.bin", randomBytes(20000, 11), localTime(2012, 12, 12, 12, 12, 12)},
        {"写真/日本語の名前.txt", numberedText(2000, "日本語"), localTime(2020, 2, 29, 13, 14, 16)},
        {"ｶﾅ ﾌｧｲﾙ.jpg", randomBytes(3000, 3), localTime(1995, 5, 5, 5, 5, 4)},
        {"my file.jpg", numberedText(300, "blank"), localTime(2023, 3, 4, 5, 6, 8)},
        {"UPPER.JPG", "upper", localTime(2040, 1, 1, 0, 0, 0)},
        {"odd/seconds.txt", "odd", localTime(2010, 7, 8, 9, 10, 11)},
    };
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray readFile(const std::filesystem::path& path) {
    QByteArray out;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<missing>";
    char buf[65536];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, n);
    close(fd);
    return out;
}

bool writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

bool setTime(const QString& path, time_t t) {
    const struct timespec times[2] = {{t, 0}, {t, 0}};
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

QByteArray convert(const QByteArray& in, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return {};
    QByteArray out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.constData());
    size_t left = size_t(in.size());
    char* dst = out.data();
    size_t room = size_t(out.size());
    const size_t rc = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    if (rc == size_t(-1))
        return {};
    out.truncate(out.size() - qsizetype(room));
    return out;
}

// A stored name as the program sees it: UTF-8 stays, anything else is Shift-JIS.
QByteArray toUtf8(const QByteArray& raw) {
    const QString text = QString::fromUtf8(raw);
    if (text.toUtf8() == raw && !text.contains(QChar::ReplacementCharacter))
        return raw;
    return convert(raw, "UTF-8", "CP932");
}

// lhasa prints every byte outside printable ASCII as "?".
QByteArray masked(QByteArray name) {
    for (char& c : name) {
        if (quint8(c) < 0x20 || quint8(c) >= 0x7F)
            c = '?';
    }
    return name;
}

// lhasa, like the Unix archivers before it, shows and writes a name from an
// MS-DOS header that has no lower-case letter in lower case; the library keeps
// the stored case, as the program shows it.
QByteArray lhasaCase(const QByteArray& name) {
    for (char c : name) {
        if (c >= 'a' && c <= 'z')
            return name;
    }
    return name.toLower();
}

struct DosStamp {
    int year, month, day, hour, minute, second;
};

DosStamp fromDos(quint16 date, quint16 time) {
    return {1980 + (date >> 9), (date >> 5) & 15, date & 31,
            time >> 11,         (time >> 5) & 63, (time & 31) * 2};
}

DosStamp fromUnix(time_t t) {
    struct tm local;
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec / 2 * 2};
}

QString describe(const DosStamp& s) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", s.year, s.month, s.day, s.hour,
                             s.minute, s.second);
}

// One line of "lhasa v".
struct Listed {
    quint64 packed = 0;
    quint64 size = 0;
    QByteArray method;
    quint32 crc = 0;
    int month = 0, day = 0;
    int year = -1;  // or, for recent stamps, the time of day
    int hour = -1, minute = -1;
    QByteArray name;
};

// One member as the library reports it.
struct Record {
    QByteArray name;
    INDIVIDUALINFO info;
};

QString runLhasa(const QString& workDir, const QStringList& args, QByteArray* output) {
    QProcess p;
    p.setWorkingDirectory(workDir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));  // English month names
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("lhasa"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("lhasa %1 failed: %2")
            .arg(args.join(u' '), QString::fromLocal8Bit(p.readAllStandardError()));
    if (output)
        *output = p.readAllStandardOutput();
    return {};
}

bool parseListing(const QByteArray& text, QList<Listed>* out, QString* error) {
    static const QRegularExpression line(
        QStringLiteral(R"(^.{22}\s*(\d+)\s+(\d+)\s+\S+\s+(-[^ ]{3}-)\s+([0-9a-f]{4})\s+)"
                       R"(([A-Z][a-z]{2})\s+(\d{1,2})\s+(?:(\d{4})|(\d\d):(\d\d)) (.*)$)"));
    static const QStringList months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QList<QByteArray> lines = text.split('\n');
    int rule = 0;  // the member lines lie between the first two rules
    for (const QByteArray& raw : lines) {
        if (raw.startsWith("----------")) {
            if (++rule == 2)
                return true;
            continue;
        }
        if (rule != 1)
            continue;
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
        if (!m.hasMatch()) {
            *error = QStringLiteral("unexpected lhasa line: ") + QString::fromLatin1(raw);
            return false;
        }
        Listed l;
        l.packed = m.captured(1).toULongLong();
        l.size = m.captured(2).toULongLong();
        l.method = m.captured(3).toLatin1();
        l.crc = m.captured(4).toUInt(nullptr, 16);
        l.month = int(months.indexOf(m.captured(5))) + 1;
        l.day = m.captured(6).toInt();
        if (m.hasCaptured(7) && !m.captured(7).isEmpty()) {
            l.year = m.captured(7).toInt();
        } else {
            l.hour = m.captured(8).toInt();
            l.minute = m.captured(9).toInt();
        }
        l.name = m.captured(10).toLatin1();
        out->append(l);
    }
    *error = QStringLiteral("no member table in lhasa's listing");
    return false;
}

QList<Record> listOurs(const QString& archive) {
    QList<Record> out;
    HARC h = UnlhaOpenArchive(nullptr, archive.toUtf8().constData(), 0x2200);
    if (!h)
        return out;
    Record r;
    for (int rc = UnlhaFindFirst(h, "*", &r.info); rc == 0; rc = UnlhaFindNext(h, &r.info)) {
        r.name = QByteArray(r.info.fileName);
        out.append(r);
    }
    UnlhaCloseArchive(h);
    return out;
}

bool isDirectory(const INDIVIDUALINFO& info) {
    return info.attribute[3] == 'D';
}

}  // namespace

class TestLhasaOracle : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QMap<QString, QString> archives_;  // row name to archive path
    QString jlhaError_;

    QString path(const QString& name) const { return tmp_.filePath(name); }

    // Removed through raw bytes: Qt cannot remove names that are not UTF-8,
    // and lhasa writes Shift-JIS names as they are stored.
    QString freshFolder(const QString& name) const {
        const QString dir = path(name);
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(dir).toStdString(), ignored);
        QDir().mkpath(dir);
        return dir + u'/';
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty())
            QSKIP("Debian's lhasa (package lhasa) is not installed: no oracle to compare with");
        QVERIFY(tmp_.isValid());
        // A zone away from UTC, so any mix-up of local and universal time shows.
        if (QFileInfo::exists(QStringLiteral("/usr/share/zoneinfo/Asia/Tokyo"))) {
            qputenv("TZ", "Asia/Tokyo");
            tzset();
        }

        const QString src = freshFolder(QStringLiteral("src"));
        QStringList args;
        for (const Source& s : sources()) {
            QVERIFY(writeFile(src + s.name, s.data));
            struct tm when = s.when;
            QVERIFY(setTime(src + s.name, mktime(&when)));
            if (!s.name.startsWith(QStringLiteral("sub/")))
                args << s.name;
        }
        // Folders given as such become folder entries; sub/ is added with its contents.
        QVERIFY(QDir().mkpath(src + QStringLiteral("emptydir")));
        const time_t folderTime = 1234567890;
        for (const char* folder : {"emptydir", "sub", "sub/deep"})
            QVERIFY(setTime(src + QLatin1String(folder), folderTime));
        args << QStringLiteral("sub") << QStringLiteral("emptydir");

        // Hand-made: names stored as UTF-8, levels 0 to 3, "\" between folders.
        HandMember utf8Folder;
        utf8Folder.level = 2;
        utf8Folder.folder = "ünïcödé\xFF";
        utf8Folder.name = "写真.txt";
        utf8Folder.content = "stored as UTF-8";
        HandMember dosPath;
        dosPath.name = "dos\\path\\file.txt";
        dosPath.content = numberedText(10, "dos");
        HandMember level1;
        level1.level = 1;
        level1.folder = "one\xFF";
        level1.name = "level1.bin";
        level1.content = randomBytes(500, 5);
        HandMember level3;
        level3.level = 3;
        level3.name = "Ελληνικά.txt";
        level3.content = "level 3";
        level3.unixTime = 1600000000;
        archives_[QStringLiteral("hand-made UTF-8 names, levels 0-3")] = path("hand.lzh");
        QVERIFY(writeFile(path("hand.lzh"), lzhArchive({utf8Folder, dosPath, level1, level3})));

        if (!haveJlha()) {
            jlhaError_ = QStringLiteral("jlha (jlha-utils) is not installed");
            return;
        }
        const QList<std::pair<QString, QString>> methods = {
            {"-lh0-", "z"}, {"-lh5-", ""}, {"-lh6-", "o6"}, {"-lh7-", "o7"}};
        for (int level = 0; level <= 2; ++level) {
            for (const auto& [method, option] : methods) {
                const QString name = QStringLiteral("level %1, %2").arg(level).arg(method);
                const QString archive =
                    path(QStringLiteral("l%1%2.lzh").arg(level).arg(method.mid(1, 3)));
                // "y": names in Shift-JIS, as the archivers of the time wrote them.
                const QString command = QStringLiteral("a%1%2y").arg(level).arg(option);
                jlhaError_ = runJlha(src, QStringList{command, archive} + args);
                if (!jlhaError_.isEmpty())
                    return;
                archives_[name] = archive;
            }
        }
    }

    void cleanupTestCase() {
        std::error_code ignored;
        std::filesystem::remove_all(QFile::encodeName(tmp_.path()).toStdString(), ignored);
    }

    void sameAsLhasa_data() {
        QTest::addColumn<QString>("key");
        QTest::newRow("hand-made UTF-8 names, levels 0-3") << "hand-made UTF-8 names, levels 0-3";
        for (int level = 0; level <= 2; ++level) {
            for (const char* method : {"-lh0-", "-lh5-", "-lh6-", "-lh7-"}) {
                const QString name = QStringLiteral("level %1, %2").arg(level).arg(method);
                QTest::newRow(qPrintable(name)) << name;
            }
        }
    }

    void sameAsLhasa() {
        QFETCH(QString, key);
        if (!archives_.contains(key))
            QSKIP(qPrintable(jlhaError_));
        const QString archive = archives_[key];

        // The listing.
        QByteArray text;
        QString error = runLhasa(tmp_.path(), {QStringLiteral("v"), archive}, &text);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QList<Listed> listed;
        QVERIFY2(parseListing(text, &listed, &error), qPrintable(error));
        const QList<Record> ours = listOurs(archive);
        QCOMPARE(ours.size(), listed.size());
        QVERIFY(!ours.isEmpty());
        bool sawMethod = false;
        for (int i = 0; i < listed.size(); ++i) {
            const Listed& l = listed[i];
            const INDIVIDUALINFO& info = ours[i].info;
            const QByteArray& name = ours[i].name;
            const QByteArray what = "member " + QByteArray::number(i) + " " + name;
            QByteArray theirs = l.name;
            if (l.method == "-lhd-" && theirs.endsWith('/'))
                theirs.chop(1);
            const QByteArray shown = lhasaCase(name);
            QVERIFY2(theirs == masked(shown) || theirs == masked(convert(shown, "CP932", "UTF-8")),
                     what + " is listed by lhasa as " + l.name);
            QCOMPARE(QByteArray(info.method), l.method);
            QCOMPARE(isDirectory(info), l.method == "-lhd-");
            QCOMPARE(quint64(info.originalSize), l.size);
            QCOMPARE(quint64(info.compressedSize), l.packed);
            QCOMPARE(info.crc, l.crc);
            const DosStamp stamp = fromDos(info.date, info.time);
            QVERIFY2(stamp.month == l.month && stamp.day == l.day &&
                         (l.year >= 0 ? stamp.year == l.year
                                      : stamp.hour == l.hour && stamp.minute == l.minute),
                     what + " dated " + describe(stamp).toLatin1());
            sawMethod |= key.endsWith(QLatin1String(info.method));
        }
        QVERIFY2(key.startsWith(QLatin1String("hand")) || sawMethod, "method not used by jlha");

        // The members lhasa extracts, and ours with the program's command line.
        const QString theirFolder = freshFolder(QStringLiteral("lhasa"));
        const QString ourFolder = freshFolder(QStringLiteral("ours"));
        error = runLhasa(theirFolder, {QStringLiteral("xqf"), archive}, nullptr);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        int files = 0;
        const std::filesystem::path root(QFile::encodeName(theirFolder).toStdString());
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file())
                continue;
            ++files;
            const std::string relative = entry.path().lexically_relative(root).native();
            const QByteArray name = toUtf8(QByteArray::fromStdString(relative));
            const auto match = std::find_if(ours.begin(), ours.end(), [&name](const Record& r) {
                return lhasaCase(r.name) == name;
            });
            QVERIFY2(match != ours.end(), "lhasa extracted " + name + ", which we do not list");
            QVERIFY(!isDirectory(match->info));

            struct stat st;
            QVERIFY(stat(entry.path().c_str(), &st) == 0);
            QCOMPARE(describe(fromDos(match->info.date, match->info.time)),
                     describe(fromUnix(st.st_mtime)));

            const QByteArray base = match->name.mid(match->name.lastIndexOf('/') + 1);
            const QByteArray command = "e -l0 -n1 \"" + archive.toUtf8() + "\" \"" +
                                       ourFolder.toUtf8() + "\" \"" + base + "\"";
            char report[512] = {};
            QVERIFY2(Unlha(nullptr, command.constData(), report, sizeof report) == 0, report);
            QVERIFY2(readFile(ourFolder + QString::fromUtf8(base)) == readFile(entry.path()),
                     "contents differ: " + name);
        }
        const qsizetype fileMembers = std::count_if(
            ours.begin(), ours.end(), [](const Record& r) { return !isDirectory(r.info); });
        QCOMPARE(files, int(fileMembers));
        QCOMPARE(int(QDir(ourFolder).entryList(QDir::Files | QDir::Hidden).size()), files);
    }
};

QTEST_GUILESS_MAIN(TestLhasaOracle)
#include "test_lhasa_oracle.moc"
