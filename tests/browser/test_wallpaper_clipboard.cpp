// The picture taken out of the program: the wallpaper submenu and its commands,
// the tiling marks, saving as BMP with its questions and refusals, and the
// clipboard both ways.
#include <sys/resource.h>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTreeWidget>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "bmp_decoder.h"
#include "browse_helpers.h"
#include "image.h"
#include "main.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage rgb(const QByteArray& bmpData) {
    return decodeBmpData(bmpData).convertToFormat(QImage::Format_RGB32);
}

// The wallpapers the desktop was given, each with "+" when tiled, "-" when centred.
QStringList applied(const Browsing& p) {
    QStringList paths;
    for (const FakeDesktop::Call& call : p.fakes.desktop->calls)
        paths << call.path + (call.tile ? u'+' : u'-');
    return paths;
}

}  // namespace

class TestWallpaperClipboard : public QObject {
    Q_OBJECT

private slots:
    void wallpaperSubmenu_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("situation");  // "", "pasted" or "archive"
        QTest::addColumn<QString>("enabled");    // K_NOMAL K_KORDEL K_NAME, then the P_ items
        QTest::newRow("BMP file") << "a.bmp"
                                  << ""
                                  << "EEE|EEE";
        QTest::newRow("JPEG file") << "a.jpg"
                                   << ""
                                   << "DEE|DEE";
        QTest::newRow("clipboard data") << "a.bmp"
                                        << "pasted"
                                        << "DEE|DEE";
        QTest::newRow("archive member") << "a.bmp"
                                        << "archive"
                                        << "DED|DED";
    }

    void wallpaperSubmenu() {
        QFETCH(QString, name);
        QFETCH(QString, situation);
        QFETCH(QString, enabled);
        Browsing p({{name, name.endsWith(u"jpg") ? jpegFile(QSize(4, 3)) : bmp(4, 3)}});
        if (situation == u"pasted")
            p.f->setWindowTitle(TForm1::clipboardCaption());
        if (situation == u"archive") {
            // An archive node selected, without the scan a real one would start.
            auto* node = new QTreeWidgetItem(p.f->TreeView, {QStringLiteral("a.lzh")});
            node->setData(0, TForm1::kArchiveNodeRole, true);
            const QSignalBlocker quiet(p.f->TreeView);
            p.f->TreeView->setCurrentItem(node);
        }
        QCOMPARE(p.enabled(p.f->Kabegami, {p.f->K_NOMAL, p.f->K_KORDEL, p.f->K_NAME}) + u'|' +
                     p.enabled(p.f->Kabegami2, {p.f->P_NOMAL, p.f->P_KORDEL, p.f->P_NAME}),
                 enabled);
    }

    // KORDEL.BMP holds the picture on show, dot for dot; a colour-table picture keeps
    // its table.
    void namedWallpaper_data() {
        QTest::addColumn<QByteArray>("picture");
        QTest::addColumn<int>("bits");  // of the file written
        QTest::newRow("24-bit, odd width") << bmpFile(QSize(5, 3), 24) << 24;
        QTest::newRow("8-bit") << bmpFile(QSize(7, 2), 8) << 8;
        QTest::newRow("1-bit") << bmpFile(QSize(9, 2), 1) << 8;
    }

    void namedWallpaper() {
        QFETCH(QByteArray, picture);
        QFETCH(int, bits);
        Browsing p({{"a.bmp", picture}}, QStringLiteral("[Option]\n"), Browsing::NotStarted);
        p.start();
        p.rescan();
        QTemporaryDir data;
        p.fakes.desktop->folder = data.path() + u'/';
        const QString kordel = data.path() + QStringLiteral("/KORDEL.BMP");
        p.trigger("K_KORDEL");
        const QByteArray written = readAll(kordel);
        QCOMPARE(int(written[28]), bits);
        QCOMPARE(rgb(written), rgb(picture));
        // Loaded from its file, as the catalogue asks, the picture is the same.
        QVERIFY(QFile::remove(kordel));
        p.f->SetWallpaperNamed(0, 1);
        QCOMPARE(readAll(kordel), written);
        // The same name again is applied again; a desktop that refuses says why.
        p.fakes.desktop->failure = QStringLiteral("no way");
        p.trigger("P_KORDEL");
        QCOMPARE(applied(p), QStringList(3, kordel + u'+'));
        QCOMPARE(p.messages(), QStringList{"壁紙を設定できません。\nno way"});
    }

    void toggleTileWithNoWallpaper() {
        Browsing p({{"a.bmp", bmp(4, 3)}}, QStringLiteral("[Option]\n"), Browsing::NotStarted);
        p.fakes.desktop->tile = false;
        p.start();
        QVERIFY(!p.f->K_TILE->isChecked() && !p.f->P_TILE->isChecked());
        p.trigger("K_TILE");
        QVERIFY(p.f->K_TILE->isChecked() && p.f->P_TILE->isChecked());
        // A wallpaper the desktop names but that is gone counts as none.
        p.fakes.desktop->current = p.file("gone.bmp");
        p.trigger("P_TILE");
        QVERIFY(!p.f->K_TILE->isChecked() && !p.f->P_TILE->isChecked());
        QCOMPARE(applied(p), QStringList({"+", "-"}));
    }

    void saveAs_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("written");  // the file saved; empty when none
        QTest::addColumn<QString>("message");  // "%1" is the folder, "%2" the cause
        // clang-format off
        QTest::newRow("not BMP") << "SaveAs" << QStringList{"A.JPG"} << "" << "拡張子が\"BMP\"ではありません。保存されませんでした。";
        QTest::newRow("extension added") << "SaveAs2" << QStringList{"A"} << "A.BMP" << "";
        QTest::newRow("overwrite declined, another name") << "SaveAs" << QStringList{"old.bmp", "B.BMP"} << "B.BMP" << "";
        QTest::newRow("read-only refused") << "SaveAs" << QStringList{"locked.BMP"} << "" << "%1locked.BMP";
        QTest::newRow("folder missing") << "SaveAs" << QStringList{"no/A.BMP"} << "" << "「%1no/A.BMP」に保存できませんでした。";
        QTest::newRow("write fails half way") << "SaveAs" << QStringList{"old.bmp"} << "" << "「%1old.bmp」に保存できませんでした。\n%2";
        QTest::newRow("wallpaper, not BMP") << "K_NAME" << QStringList{"W.JPG"} << "" << "拡張子が\"BMP\"ではありません。";
        QTest::newRow("wallpaper") << "P_NAME" << QStringList{"W"} << "W.BMP" << "";
        // clang-format on
    }

    void saveAs() {
        QFETCH(QString, item);
        QFETCH(QStringList, typed);
        QFETCH(QString, written);
        QFETCH(QString, message);
        const QByteArray picture = bmpFile(QSize(6, 5), 24);
        Browsing p({{"a.bmp", picture}, {"old.bmp", "old"}, {"locked.BMP", "old"}});
        QFile::setPermissions(p.file("locked.BMP"), QFile::ReadOwner);
        p.fakes.dialogs->saveNames = typed;
        // A write that fails half way: a size limit here, a full disk for a user.
        const bool failing = message.contains(QStringLiteral("%2"));
        p.fakes.dialogs->answers = {failing};
        rlimit limit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit small{failing ? 100 : limit.rlim_cur, limit.rlim_max};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        p.trigger(item);
        setrlimit(RLIMIT_FSIZE, &limit);

        const auto& asked = p.fakes.dialogs->saveRequests.first();
        QCOMPARE(asked.title + asked.filter + asked.folder,
                 "名前をつけて保存BMP (*.BMP)" + p.path());
        QCOMPARE(p.messages().join(u'\n').section(u'\n', 0, int(message.count(u'\n'))),
                 message.replace(QStringLiteral("%1"), p.path())
                     .replace(QStringLiteral("%2"), QString::fromLocal8Bit(strerror(EFBIG))));
        // What was refused or declined keeps its old contents.
        QCOMPARE(readAll(p.file("old.bmp")) + readAll(p.file("locked.BMP")), "oldold");
        QCOMPARE(QDir(p.path()).entryList(QDir::Files).size(), written.isEmpty() ? 3 : 4);
        if (!written.isEmpty())
            QCOMPARE(rgb(readAll(p.file(written))), rgb(picture));
        const bool wallpaper = item.endsWith(u"_NAME") && !written.isEmpty();
        QCOMPARE(applied(p), wallpaper ? QStringList{p.file(written) + u'+'} : QStringList());
    }

    void pasteInModeThree_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QByteArray>("dib");  // a BMP the clipboard offers beside the image
        QTest::addColumn<QString>("depth");
        QTest::newRow("true colour") << int(QImage::Format_RGB32) << QByteArray() << "16M色";
        QTest::newRow("palette") << int(QImage::Format_Indexed8) << QByteArray() << "256色";
        QTest::newRow("BMP header says 4 bits")
            << int(QImage::Format_RGB32) << bmpFile(QSize(100, 50), 4) << "16色";
    }

    void pasteInModeThree() {
        QFETCH(int, format);
        QFETCH(QByteArray, dib);
        QFETCH(QString, depth);
        Browsing p({{"a.bmp", bmp(4, 3)}}, QStringLiteral("[Option]\nHyouji=3\n"));
        QImage picture(100, 50, QImage::Format(format));
        if (picture.format() == QImage::Format_Indexed8)
            picture.setColorTable({qRgb(1, 2, 3)});
        picture.fill(0);
        auto* data = new QMimeData;
        data->setImageData(picture);
        if (!dib.isEmpty())
            data->setData(QStringLiteral("image/bmp"), dib);
        // Ctrl+V follows the clipboard without the menu being opened first.
        QGuiApplication::clipboard()->clear();
        QVERIFY(!p.f->KV1->isEnabled());
        QGuiApplication::clipboard()->setMimeData(data);
        QVERIFY(p.f->KV1->isEnabled());
        p.trigger("KV1");
        QCOMPARE(p.f->PicView2->size(), QSize(100, 50));
        QCOMPARE(p.statuses(), depth + "|100x50||");
        QCOMPARE(p.caption(), TForm1::clipboardCaption());

        // Copied back, the same dots reach the clipboard.
        QGuiApplication::clipboard()->clear();
        p.trigger("Copy1");
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 picture.convertToFormat(QImage::Format_RGB32));
    }
};

QTEST_MAIN(TestWallpaperClipboard)
#include "test_wallpaper_clipboard.moc"
