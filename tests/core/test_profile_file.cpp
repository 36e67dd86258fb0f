#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "profile_file.h"

using namespace kordel;

class TestProfileFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString write(const QString& name, const QByteArray& content) {
        const QString path = dir_.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return path;
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private slots:
    void integerText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << "125" << 125;
        QTest::newRow("negative") << "-40" << -40;
        QTest::newRow("plus sign") << "+7" << 7;
        QTest::newRow("0x hex") << "0x1E" << 30;
        QTest::newRow("0X hex") << "0X1e" << 30;
        QTest::newRow("dollar hex") << "$FF" << 255;
        QTest::newRow("hex all bits") << "0xFFFFFFFF" << -1;
        QTest::newRow("just 0x is not hex") << "0x" << -99;
        QTest::newRow("letters") << "abc" << -99;
        QTest::newRow("empty") << "" << -99;
        QTest::newRow("trailing junk") << "12px" << -99;
        QTest::newRow("too large") << "2147483648" << -99;
        QTest::newRow("smallest") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("hex past 32 bits") << "0x100000000" << -99;
        QTest::newRow("full-width digits") << "１２" << -99;
    }
    void integerText() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(parseProfileInteger(text, -99), expected);
    }

    void readsCaseInsensitivelyAndTrims() {
        const QString path = write("a.ini",
                                   "; comment\n[option]\n  timer =  0x1E  \nJpegOpt=2\n"
                                   "Empty=\n[Other]\nTimer=5\n");
        ProfileFile f(path);
        QVERIFY(f.existed());
        QCOMPARE(f.readInteger("Option", "Timer", 0), 30);
        QCOMPARE(f.readInteger("OPTION", "TIMER", 0), 30);
        QCOMPARE(f.readString("Option", "Timer"), QStringLiteral("0x1E"));
        QCOMPARE(f.readBool("Option", "JpegOpt", false), true);
        QCOMPARE(f.readInteger("Option", "Empty", 7), 7);
        QCOMPARE(f.readInteger("Option", "Missing", 8), 8);
        QCOMPARE(f.readBool("Option", "Missing", true), true);
        QCOMPARE(f.readInteger("Nowhere", "Timer", 9), 9);
        QCOMPARE(f.readInteger("Other", "Timer", 0), 5);
    }

    void longValuesAreCut() {
        const QString path = write("long.ini", "[S]\nK=" + QByteArray(2000, '7') + "\n");
        ProfileFile f(path);
        QCOMPARE(f.readString("S", "K").size(), 1023);
    }

    void writesInPlaceAndKeepsTheRest() {
        const QString path =
            write("b.ini", "[FormSize]\nTop=1\nLeft=2\n\n; keep me\n[Option]\nDisp=3\n");
        ProfileFile f(path);
        f.writeInteger("formsize", "left", 20);    // replaced where it stands, key as written
        f.writeInteger("FormSize", "Width", 460);  // new key at the end of its section
        f.writeInteger("Option", "Disp", 3);       // unchanged value
        f.writeBool("Object", "ToolBar", false);   // new section at the end
        QVERIFY(f.save());
        QCOMPARE(read(path), QByteArray("[FormSize]\nTop=1\nleft=20\nWidth=460\n\n; keep me\n"
                                        "[Option]\nDisp=3\n\n[Object]\nToolBar=0\n"));
    }

    void createsTheFileOnFirstWriteAndKeepsLineEnds() {
        const QString path = dir_.filePath("new.ini");
        ProfileFile f(path);
        QVERIFY(!f.existed());
        f.writeInteger("A", "X", -5);
        QVERIFY(f.save());
        QCOMPARE(read(path), QByteArray("[A]\nX=-5\n"));

        const QString dos = write("dos.ini", "[A]\r\nX=1\r\n");
        ProfileFile g(dos);
        g.writeInteger("A", "X", 2);
        QVERIFY(g.save());
        QCOMPARE(read(dos), QByteArray("[A]\r\nX=2\r\n"));
    }

    void failedSaveLeavesTheOldFile() {
        // A folder standing where the file should be cannot be replaced.
        const QString path = dir_.filePath("blocked.ini");
        QVERIFY(QDir().mkdir(path));
        ProfileFile f(path);
        QVERIFY(!f.existed());
        f.writeInteger("A", "X", 1);
        QVERIFY(!f.save());
        QVERIFY(QFileInfo(path).isDir());

        // A folder that does not exist.
        ProfileFile g(dir_.filePath("missing/KDL.INI"));
        g.writeInteger("A", "X", 1);
        QVERIFY(!g.save());
        // No temporary file is left behind.
        QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).filter("blocked"),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "test_profile_file.moc"
