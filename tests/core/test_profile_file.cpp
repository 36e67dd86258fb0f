// The settings file as editors and older versions leave it.
#include <sys/resource.h>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "file_io.h"
#include "profile_file.h"

using namespace kordel;

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    int files_ = 0;

    QString write(const QByteArray& content) {
        const QString path = dir_.filePath(QStringLiteral("%1.ini").arg(++files_));
        test::writeFile(path, content);
        return path;
    }

private slots:
    void integerText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("hex sets the top bit") << "0xFFFFFFFF" << -1;
        QTest::newRow("0x alone is no number") << "0x" << -99;
        QTest::newRow("past int") << "2147483648" << -99;
        QTest::newRow("smallest int") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("hex past 32 bits") << "0x100000000" << -99;
        QTest::newRow("full-width digits") << "１２" << -99;
    }
    void integerText() {
        QFETCH(QString, text);
        QTEST(parseProfileInteger(text, -99), "expected");
    }

    void reading() {
        // A byte-order mark, lines without "=" and a section name with blanks around it
        // neither hide a section nor count as keys.
        ProfileFile f(write(
            "\xEF\xBB\xBF[option]\n  timer =  0x1E  \nno equals sign\n[ Other ]\nTimer=5\nLong=" +
            QByteArray(2000, '7') + "\n"));
        QCOMPARE(f.readInteger("OPTION", "TIMER", 0), 30);
        QCOMPARE(f.readString("Option", "Timer"), QStringLiteral("0x1E"));
        QCOMPARE(f.readInteger("Nowhere", "Timer", 9), 9);
        QCOMPARE(f.readInteger("Other", "Timer", 0), 5);
        QCOMPARE(f.readString("Other", "Long").size(), 1023);
    }

    void rewritingOneKey_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        // The key is replaced where it stands, as written now; a new key goes after the
        // section's last key, a new section at the end.
        QTest::newRow("key in other case") << QByteArray("[a]\nx=1\n; note\nodd line\nY=3\n")
                                           << QByteArray("[a]\nX=2\n; note\nodd line\nY=3\n");
        QTest::newRow("new key") << QByteArray("[A]\nY=1\n\n; keep me\n[B]\n")
                                 << QByteArray("[A]\nY=1\nX=2\n\n; keep me\n[B]\n");
        QTest::newRow("dos line ends")
            << QByteArray("[A]\r\nX=1\r\n") << QByteArray("[A]\r\nX=2\r\n");
        QTest::newRow("same key in the next section")
            << QByteArray("[A]\nY=1\n[B]\nX=1\n") << QByteArray("[A]\nY=1\nX=2\n[B]\nX=1\n");
        QTest::newRow("longer section name")
            << QByteArray("[AB]\nX=1") << QByteArray("[AB]\nX=1\n\n[A]\nX=2\n");
        // A comment an older editor saved in Shift-JIS ("写真") comes back byte for byte.
        QTest::newRow("Shift-JIS comment") << QByteArray("; \x8e\xca\x90\x5e\n[A]\nX=1\n")
                                           << QByteArray("; \x8e\xca\x90\x5e\n[A]\nX=2\n");
    }
    void rewritingOneKey() {
        QFETCH(QByteArray, before);
        const QString path = write(before);
        ProfileFile f(path);
        f.writeInteger("A", "X", 2);
        QVERIFY(f.save());
        QTEST(test::readFile(path), "after");
    }

    // A file the user made read-only is left as it was, also for the superuser.
    void unwritableFileIsLeftAlone() {
        const QString path = write("[A]\nX=1\n");
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
        ProfileFile f(path);
        f.writeInteger("A", "X", 2);
        QVERIFY(!f.save());
        QCOMPARE(test::readFile(path), QByteArray("[A]\nX=1\n"));
        // So is a file that cannot be written out in full (a full disk, a size limit).
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner));
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit small{4, limit.rlim_max};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool saved = f.save();
        setrlimit(RLIMIT_FSIZE, &limit);
        QVERIFY(!saved);
        QCOMPARE(test::readFile(path), QByteArray("[A]\nX=1\n"));
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "test_profile_file.moc"
