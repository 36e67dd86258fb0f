// The viewer: status texts of a shown picture, navigation and its buttons, the
// display modes and canvas sizes, the menus' enabled states, and clicks on the picture.
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QScrollArea>
#include <QTest>
#include <QTimer>

#include "browse_helpers.h"
#include "catalogue_window.h"
#include "image.h"
#include "list_view.h"
#include "main.h"
#include "option_set.h"
#include "panel.h"
#include "speed_button.h"
#include "status_bar.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

// p1.bmp … p<count>.bmp, each n × 1 with n its number.
Browsing::Files numbered(int count) {
    Browsing::Files files;
    for (int i = 1; i <= count; ++i)
        files.append({QStringLiteral("p%1.bmp").arg(i), bmp(i, 1)});
    return files;
}

}  // namespace

class TestViewer : public QObject {
    Q_OBJECT

private slots:
    // At either end the button and the menu item are off, so the handler itself
    // is called ("next!", "previous!"): it must not wrap around.
    void navigation_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("action");  // a button, a View menu item or a handler
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("enabled");  // the buttons, then the View menu's items
        QTest::newRow("after the scan") << 0 << "" << 0 << "DEDDEE|DDEE";
        QTest::newRow("next onto an inner entry") << 0 << "G_step" << 1 << "EEEEEE|EEEE";
        QTest::newRow("next onto the last, menu") << 2 << "KS1" << 3 << "EDEEDD|EEDD";
        QTest::newRow("next at the last") << 3 << "next!" << 3 << "EDEEDD|EEDD";
        QTest::newRow("previous, menu") << 3 << "KB1" << 2 << "EEEEEE|EEEE";
        QTest::newRow("previous onto the first") << 1 << "G_back" << 0 << "DEDDEE|DDEE";
        QTest::newRow("previous at the first") << 0 << "previous!" << 0 << "DEDDEE|DDEE";
        QTest::newRow("first") << 2 << "G_top" << 0 << "DEDDEE|DDEE";
        QTest::newRow("first, menu") << 3 << "KT1" << 0 << "DEDDEE|DDEE";
        QTest::newRow("last") << 1 << "G_end" << 3 << "EDEEDD|EEDD";
        QTest::newRow("last, menu") << 0 << "KE1" << 3 << "EDEEDD|EEDD";
    }
    void navigation() {
        QFETCH(int, from);
        QFETCH(QString, action);
        QFETCH(int, to);
        Browsing p(numbered(4));
        for (int i = 0; i < from; ++i)
            TestProgram::click(p.f->G_step);
        if (auto* button = p.f->findChild<TSpeedButton*>(action))
            TestProgram::click(button);
        else if (action == QStringLiteral("next!"))
            p.f->G_stepClick();
        else if (action == QStringLiteral("previous!"))
            p.f->G_backClick();
        else if (!action.isEmpty())
            p.trigger(action);
        QTEST(
            p.navigation() + u'|' + p.enabled(p.f->Show1, {p.f->KT1, p.f->KB1, p.f->KS1, p.f->KE1}),
            "enabled");
        const QString name = QStringLiteral("p%1.bmp").arg(to + 1);
        QCOMPARE(p.caption(), p.captionFor(name));
        QCOMPARE(p.statuses(), QStringLiteral("16M色|%1x1|%1/4|").arg(to + 1));
        QCOMPARE(p.f->ListView->caption(p.f->ListView->selectedRow()), name);
    }

    // Status texts and menus of one picture of each kind. The menus are the File
    // menu's SaveAs and Kabegami; the Edit menu's K4, KD2, KD1 and KD3; the pop-up's
    // Copy1, SaveAs2, Kabegami2, G2, G1 and G3.
    void onePictureOfEachKind_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("texts");
        QTest::addColumn<QString>("menus");
        const QString all = QStringLiteral("EE|EEEE|EEEEEE");
        QTest::newRow("1-bit BMP") << "a.bmp" << bmpFile({9, 7}, 1) << "2色|9x7" << all;
        QTest::newRow("4-bit BMP") << "a.bmp" << bmpFile({9, 7}, 4) << "16色|9x7" << all;
        QTest::newRow("8-bit BMP") << "a.bmp" << bmpFile({9, 7}, 8) << "256色|9x7" << all;
        QTest::newRow("16-bit BMP") << "a.bmp" << bmpFile({9, 7}, 16) << "6万色|9x7" << all;
        QTest::newRow("24-bit BMP") << "a.BMP" << bmpFile({9, 7}, 24) << "16M色|9x7" << all;
        QTest::newRow("OS/2 BMP") << "a.bmp" << bmpFile({64, 48}, 24, true) << "16M色|64x48" << all;
        QTest::newRow("icon") << "a.ico" << icoFile(16) << "16色|16x16"
                              << "DD|DEEE|DDDEEE";
        QTest::newRow("EMF") << "a.emf" << emfFile() << "16色|192x96"
                             << "EE|DEEE|DDDEEE";
        QTest::newRow("WMF") << "a.wmf" << wmfFile() << "16色|200x100"
                             << "EE|DEEE|DDDEEE";
        QTest::newRow("JPEG") << "a.jpg" << jpegFile({20, 10}) << "16M色|20x10" << all;
    }
    void onePictureOfEachKind() {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QString, texts);
        QFETCH(QString, menus);
        Browsing p({{name, data}});
        TForm1* f = p.f;
        QCOMPARE(p.statuses(), texts + QStringLiteral("|1/1|"));
        QVERIFY(f->PicView2->hasPicture());
        QVERIFY(p.messages().isEmpty());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(p.enabled(f->File1, {f->SaveAs, f->Kabegami->menuAction()}) + u'|' +
                     p.enabled(f->Edit, {f->K4, f->KD2, f->KD1, f->KD3}) + u'|' +
                     p.enabled(f->PopupMenu, {f->Copy1, f->SaveAs2, f->Kabegami2->menuAction(),
                                              f->G2, f->G1, f->G3}),
                 menus);
    }

    // Filling the list after the scan's first picture leaves the load's outcome in place.
    void firstPictureOfAFolderReportsItsFailure() {
        Browsing p({{"a.bmp", QByteArray(64, 'x')}, {"b.bmp", bmp(2, 2)}}, "[Option]\nSortOpt=1\n");
        QCOMPARE(p.rows(), QStringList({"a.bmp", "b.bmp"}));
        QCOMPARE(p.status(3), QStringLiteral("未知のフォーマット"));
    }

    void unreadableOrUndecodablePictures() {
        Browsing p({{"a.jpg", QByteArray()},
                    {"b.bmp.jpg", "not a picture at all"},
                    {"short.bmp", bmpFile({2, 2}, 24).left(40)}},
                   "[Option]\nSortOpt=1\nHyouji=1\n");
        QCOMPARE(p.messages(), QStringList{"I/O ｴﾗｰ (100)"});
        // The rescan itself went on.
        QCOMPARE(p.rows(), QStringList({"short.bmp", "a.jpg", "b.bmp.jpg"}));
        // Nothing to show and a stored size of 0 × 0: laid out as nothing.
        TestProgram::click(p.f->G_step);
        QVERIFY(!p.f->PicView2->hasPicture());
        QCOMPARE(p.status(1), QStringLiteral("0x0"));
        QCOMPARE(p.f->PicView2->size(), QSize(0, 0));
        QCOMPARE(p.caption(), p.captionFor("a.jpg"));
        TestProgram::click(p.f->G_step);
        QVERIFY(!p.f->PicView2->hasPicture());
        QVERIFY(!p.status(3).trimmed().isEmpty());  // the decoder's complaint
        QVERIFY(!QApplication::overrideCursor());
    }

    void ratioFitInTheWindow() {
        Browsing p({{"a.bmp", bmp(100, 50)}, {"b.bmp", bmp(50, 100)}});
        p.trigger("N640x4801");
        TestProgram::click(p.f->O_hiritu);
        QCOMPARE(p.options()->radioIndex(), 1);
        QCOMPARE(p.f->PicView2->geometry(), QRect(0, 0, 640, 320));
        TestProgram::click(p.f->G_step);
        QCOMPARE(p.f->PicView2->geometry(), QRect(0, 0, 240, 480));

        // A smaller canvas keeps the mode and lays the picture out again.
        p.trigger("N320x2401");
        QCOMPARE(p.f->PicView2->size(), QSize(120, 240));

        // Stretch fills the viewer; no mode shows the natural size.
        TestProgram::click(p.f->O_stretch);
        QCOMPARE(p.f->PicView2->size(), p.f->ScrollBox->viewport()->size());
        TestProgram::click(p.f->O_stretch);
        QCOMPARE(p.options()->radioIndex(), 3);
        QCOMPARE(p.f->PicView2->size(), QSize(50, 100));
    }

    // A large picture scrolls without display control, also under a mode out of range.
    void largePictureScrolls_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("no control") << 3;
        QTest::newRow("out of range") << 7;
    }
    void largePictureScrolls() {
        QFETCH(int, mode);
        Browsing p({{"a.bmp", bmp(2000, 1500)}}, QStringLiteral("[Option]\nHyouji=%1\n").arg(mode));
        QCOMPARE(p.f->ScrollBox->widget()->size(), QSize(2000, 1500));
    }

    void windowFitsThePicture_data() {
        QTest::addColumn<bool>("listShown");
        QTest::addColumn<QSize>("picture");
        QTest::newRow("list shown") << true << QSize(600, 400);
        QTest::newRow("list hidden, small picture") << false << QSize(64, 64);
        // The window stops at the desktop (1024 x 768 here) and shows the picture's top left.
        QTest::newRow("list shown, larger than the desktop") << true << QSize(2000, 1500);
        QTest::newRow("list hidden, larger than the desktop") << false << QSize(2000, 1500);
    }
    void windowFitsThePicture() {
        QFETCH(bool, listShown);
        QFETCH(QSize, picture);
        Browsing p({{"a.bmp", bmp(picture.width(), picture.height())}});
        if (!listShown)
            p.trigger("NA");
        const int listHeight = p.f->Panel6->height();
        const int chrome = p.f->width() - p.f->ViewPanel->width();
        TestProgram::click(p.f->O_gazou);
        QCOMPARE(p.f->Panel6->height(), listHeight);
        QCOMPARE(p.f->PicView2->size(), picture);
        if (picture.width() > 1024) {
            const QSize frame = p.f->frameGeometry().size() - p.f->size();
            QCOMPARE(p.f->size(), p.fakes.screen->screenSize - frame);
            QCOMPARE(p.f->ViewPanel->width(), p.f->width() - chrome);
            return;
        }
        // The window is never narrower than 470 pixels: then the viewer is wider.
        QCOMPARE(p.f->width(), qMax(470, picture.width() + 4 + chrome));
        QCOMPARE(p.f->ViewPanel->size(), QSize(p.f->width() - chrome, picture.height() + 4));
    }

    void jpegPreviewsFitByTheirDecodedSize() {
        Browsing p({{"a.jpg", jpegFile({64, 48})}, {"b.jpeg", jpegFile({64, 48})}},
                   "[Option]\nSortOpt=1\nJpegOpt=1\nHyouji=0\n");
        // The size text is the stored size; the window fits the quarter-size preview.
        QCOMPARE(p.status(1), QStringLiteral("64x48"));
        QCOMPARE(p.f->PicView2->naturalSize(), QSize(16, 12));
        QCOMPARE(p.f->ViewPanel->height(), 16);
        // ".JPEG" is fitted by its stored size whatever it was decoded at.
        TestProgram::click(p.f->G_step);
        QCOMPARE(p.f->ViewPanel->height(), 52);
        TestProgram::click(p.f->G_top);
        QCOMPARE(p.f->ViewPanel->height(), 16);
        TestProgram::click(p.f->G_end);
        QCOMPARE(p.f->ViewPanel->height(), 52);
    }

    void canvasSizes_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<bool>("listShown");
        QTest::newRow("320 x 240") << "N320x2401" << QSize(324, 244) << true;
        QTest::newRow("640 x 400") << "N640x4001" << QSize(644, 404) << true;
        QTest::newRow("640 x 480") << "N640x4801" << QSize(644, 484) << true;
        QTest::newRow("800 x 600") << "N800x6001" << QSize(804, 604) << true;
        QTest::newRow("1024 x 768") << "N1024x7681" << QSize(1028, 772) << true;
        QTest::newRow("320 x 240, list hidden") << "N320x2401" << QSize(324, 244) << false;
    }
    void canvasSizes() {
        QFETCH(QString, item);
        QFETCH(QSize, outer);
        QFETCH(bool, listShown);
        Browsing p({{"a.bmp", bmp(30, 20)}}, "[Option]\nHyouji=0\n");
        p.fakes.screen->screenSize = {1600, 1200};
        if (!listShown)
            p.trigger("NA");
        const int listHeight = p.f->Panel6->height();
        const int chrome = p.f->width() - p.f->ViewPanel->width();
        const int otherHeight = p.f->height() - p.f->ViewPanel->height();

        p.trigger(item);
        QCOMPARE(p.f->ViewPanel->size(), QSize(qMax(outer.width(), 470 - chrome), outer.height()));
        // The splitter bar is not counted: a shown list loses its 2 pixels.
        const int lost = listShown ? 2 : 0;
        QCOMPARE(p.f->height(), otherHeight + outer.height() - lost);
        QCOMPARE(p.f->Panel6->height(), listHeight - lost);
        // Window fit gives way to no adjustment; the picture stays.
        QCOMPARE(p.options()->radioIndex(), 3);
        QCOMPARE(p.f->PicView2->size(), QSize(30, 20));
    }

    void menusForClipboardDataAndDeletedEntries() {
        Browsing p({{"a.bmp", bmp(4, 4)}});
        QImage pasted(5, 5, QImage::Format_RGB32);
        QGuiApplication::clipboard()->setImage(pasted);
        QCOMPARE(p.enabled(p.f->Edit, {p.f->KV1}) + p.enabled(p.f->PopupMenu, {p.f->K7}), "EE");
        QGuiApplication::clipboard()->clear();
        QCOMPARE(p.enabled(p.f->Edit, {p.f->KV1}) + p.enabled(p.f->PopupMenu, {p.f->K7}), "DD");

        // What a paste leaves: a picture that belongs to no file.
        p.f->PicView2->setImage(pasted);
        p.f->setWindowTitle(TForm1::clipboardCaption());
        QCOMPARE(p.enabled(p.f->File1, {p.f->SaveAs, p.f->Kabegami->menuAction()}), "EE");
        QCOMPARE(p.enabled(p.f->Edit, {p.f->KD2, p.f->KD1, p.f->KD3}), "DDD");
        QCOMPARE(p.enabled(p.f->PopupMenu,
                           {p.f->SaveAs2, p.f->Kabegami2->menuAction(), p.f->G2, p.f->G1, p.f->G3}),
                 "EEDDD");

        // The shown file deleted: the pop-up offers neither copying nor saving it.
        p.rescan();
        QVERIFY(QFile::remove(p.file("a.bmp")));
        p.f->MarkEntryDeleted(p.file("a.bmp"), "a.bmp");
        QCOMPARE(p.enabled(p.f->PopupMenu, {p.f->Copy1, p.f->SaveAs2, p.f->G2, p.f->G1, p.f->G3}),
                 "DDDDD");
        QCOMPARE(p.enabled(p.f->Edit, {p.f->KD2, p.f->KD1, p.f->KD3}), "DDD");
    }

    // Keys typed while a picture loads are dropped, shortcuts too: Ctrl+V pastes nothing.
    void keysTypedDuringALoad() {
        Browsing p({{"a.bmp", bmp(4, 4)}, {"b.bmp", bmp(4, 4)}});
        QGuiApplication::clipboard()->setImage(QImage(3, 1, QImage::Format_RGB32));
        QTimer::singleShot(0, p.f, [&] { QTest::keyClick(p.f, Qt::Key_V, Qt::ControlModifier); });
        p.f->showEntry(1);  // the key comes while it loads
        QCOMPARE(p.caption() + p.status(1), p.captionFor("b.bmp") + "4x4");
    }

    // Each click reaches one handler: the picture's, not the viewer's below it as well.
    void pictureMouse() {
        Browsing p({{"a.bmp", bmp(40, 40)}});
        QTest::mouseClick(p.f->PicView2, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
        QCOMPARE(p.form2()->dragSource, 2);
        QCOMPARE(p.f->dragMove, 1);
        QTest::mouseClick(p.f->PicView2, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(p.f->dragMove, 0);
        QTest::mouseDClick(p.f->PicView2, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(p.fakes.shell->calls.size(), 1);
        QCOMPARE(p.fakes.shell->calls[0].op, QStringLiteral("open"));
        QCOMPARE(p.fakes.shell->calls[0].files, QStringList{p.file("a.bmp")});
        // Pasted data is no file: a double-click opens nothing.
        QGuiApplication::clipboard()->setImage(QImage(3, 1, QImage::Format_RGB32));
        p.trigger("KV1");
        QTest::mouseDClick(p.f->ScrollBox->viewport(), Qt::LeftButton, {}, QPoint(50, 50));
        QCOMPARE(p.fakes.shell->calls.size(), 1);
    }
};

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
