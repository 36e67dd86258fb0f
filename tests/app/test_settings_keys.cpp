// The keys of the settings file, without windows.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "settings.h"

using namespace kordel;

class TestSettingsKeys : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void missingKeysGiveTheirDefaults() {
        ProfileFile f(dir_.filePath("none.ini"));
        const MainSettings s = readMainSettings(f);
        QCOMPARE(s.top, 0);
        QCOMPARE(s.width, 460);
        QCOMPARE(s.height, 366);
        QCOMPARE(s.dirWidth, 125);
        QCOMPARE(s.dirHeight, 244);
        QCOMPARE(s.vpHeight, 173);
        QCOMPARE(s.viewStyle, 3);
        QCOMPARE(s.columnWidths, (std::array<int, 4>{60, 38, 50, 50}));
        QCOMPARE(s.disp, 3);
        QCOMPARE(s.lzhIcon, 8);
        QCOMPARE(s.actOpt, true);
        QCOMPARE(s.jpegOpt, false);
        QCOMPARE(s.hyouji, 3);
        QVERIFY(s.toolBar && s.driveTab && s.dirTree && s.listView);
        const CatalogueSettings c = readCatalogueSettings(f);
        QCOMPARE(c.width, 460);
        QCOMPARE(c.picX, 128);
        QCOMPARE(c.picY, 96);
    }

    void badValuesFallBackPerKey() {
        const QString path = dir_.filePath("bad.ini");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "[Option]\nTimer=abc\nLzhIcon=\nHyouji=0x2\nJpegOpt=2\nSortOpt=x\n"
            "[object]\nlistview=0\n[PicSize]\nX=$40\n");
        file.close();
        ProfileFile f(path);
        const MainSettings s = readMainSettings(f);
        QCOMPARE(s.timer, 0);
        QCOMPARE(s.lzhIcon, 8);
        QCOMPARE(s.hyouji, 2);
        QCOMPARE(s.jpegOpt, true);
        QCOMPARE(s.sortOpt, false);
        QCOMPARE(s.listView, false);
        QCOMPARE(readCatalogueSettings(f).picX, 64);
    }

    void freshFileHoldsEveryKeyInItsOrder() {
        const QString path = dir_.filePath("fresh.ini");
        ProfileFile f(path);
        MainSettings s;
        s.jpegOpt = true;
        s.columnWidths = {1, 2, 3, 4};
        CatalogueSettings c;
        writeAllSettings(f, s, c);
        QVERIFY(f.save());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 QStringLiteral("[FormSize]\nTop=0\nLeft=0\nWidth=460\nHeight=366\n\n"
                                "[DirSize]\nWidth=125\nHeight=244\nVP_Height=173\nViewStyle=3\n"
                                "Sub1_W=1\nSub2_W=2\nSub3_W=3\nSub4_W=4\n\n"
                                "[Option]\nDisp=3\nJpegOpt=1\nSortOpt=0\nActOpt=1\nTimer=0\n"
                                "LzhIcon=8\nHyouji=3\nSelIndex=0\n\n"
                                "[Object]\nToolBar=1\nDriveTab=1\nDirTree=1\nListView=1\n\n"
                                "[SubFormSize]\nTop=0\nLeft=0\nWidth=460\nHeight=366\n\n"
                                "[PicSize]\nX=128\nY=96\n"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsKeys)
#include "test_settings_keys.moc"
