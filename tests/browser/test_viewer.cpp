// The viewer: status texts of a shown picture, navigation and its buttons, the
// display modes and canvas sizes, the menus' enabled states, and input that
// arrives while a picture loads.
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QTest>
#include <QTreeView>

#include "browse_helpers.h"
#include "catalogue_window.h"
#include "image.h"
#include "list_view.h"
#include "main.h"
#include "option_set.h"
#include "panel.h"
#include "speed_button.h"
#include "split_pnl.h"
#include "status_bar.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

QString viewMenu(TForm1* f) {
    return TestProgram::enabled(f->Show1, {f->KT1, f->KB1, f->KS1, f->KE1});
}

// p1.bmp … p<count>.bmp, each n × 1 with n its number.
Browsing::Files numbered(int count) {
    Browsing::Files files;
    for (int i = 1; i <= count; ++i)
        files.append({QStringLiteral("p%1.bmp").arg(i), bmp(i, 1)});
    return files;
}

// Queues a press and a release for `target`, to arrive while a picture loads.
template <typename Event, typename... Args>
void post(QWidget* target, QEvent::Type press, QEvent::Type release, Args... args) {
    QCoreApplication::postEvent(target, new Event(press, args...));
    QCoreApplication::postEvent(target, new Event(release, args...));
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
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QString>("menu");
        QTest::newRow("after the scan") << 0 << "" << 0 << "DEDDEE"
                                        << "DDEE";
        QTest::newRow("next onto an inner entry") << 0 << "G_step" << 1 << "EEEEEE"
                                                  << "EEEE";
        QTest::newRow("next onto the last, menu") << 2 << "KS1" << 3 << "EDEEDD"
                                                  << "EEDD";
        QTest::newRow("next at the last") << 3 << "next!" << 3 << "EDEEDD"
                                          << "EEDD";
        QTest::newRow("previous, menu") << 3 << "KB1" << 2 << "EEEEEE"
                                        << "EEEE";
        QTest::newRow("previous onto the first") << 1 << "G_back" << 0 << "DEDDEE"
                                                 << "DDEE";
        QTest::newRow("previous at the first") << 0 << "previous!" << 0 << "DEDDEE"
                                               << "DDEE";
        QTest::newRow("first") << 2 << "G_top" << 0 << "DEDDEE"
                               << "DDEE";
        QTest::newRow("first, menu") << 3 << "KT1" << 0 << "DEDDEE"
                                     << "DDEE";
        QTest::newRow("last") << 1 << "G_end" << 3 << "EDEEDD"
                              << "EEDD";
        QTest::newRow("last, menu") << 0 << "KE1" << 3 << "EDEEDD"
                                    << "EEDD";
    }
    void navigation() {
        QFETCH(int, from);
        QFETCH(QString, action);
        QFETCH(int, to);
        QFETCH(QString, buttons);
        QFETCH(QString, menu);
        Browsing p(numbered(4));
        TForm1* f = p.form1();
        for (int i = 0; i < from; ++i)
            TestProgram::click(f->G_step);
        if (auto* button = f->findChild<TSpeedButton*>(action))
            TestProgram::click(button);
        else if (action == QStringLiteral("next!"))
            f->G_stepClick();
        else if (action == QStringLiteral("previous!"))
            f->G_backClick();
        else if (!action.isEmpty())
            p.trigger(action);
        QCOMPARE(p.navigation(), buttons);
        QCOMPARE(viewMenu(f), menu);
        const QString name = QStringLiteral("p%1.bmp").arg(to + 1);
        QCOMPARE(p.caption(), p.captionFor(name));
        QCOMPARE(p.statuses(), QStringLiteral("16M色|%1x1|%1/4|").arg(to + 1));
        QCOMPARE(f->ListView->caption(f->ListView->selectedRow()), name);
    }

    void oneEntryDisablesAllNavigation() {
        Browsing p(numbered(3));
        TForm1* f = p.form1();
        QCOMPARE(viewMenu(f), QStringLiteral("DDEE"));
        // Nothing found: the View items stay as they were.
        for (const char* name : {"p1.bmp", "p2.bmp", "p3.bmp"})
            QVERIFY(QFile::remove(p.file(name)));
        p.rescan();
        QCOMPARE(viewMenu(f), QStringLiteral("DDEE"));

        QVERIFY(p.write("p1.bmp", bmp(1, 1)));
        p.rescan();
        // Called anyway, the handlers leave everything as it is.
        f->G_stepClick();
        f->G_endClick();
        f->G_backClick();
        f->G_topClick();
        QCOMPARE(p.navigation(), QStringLiteral("DDDDDD"));
        QCOMPARE(viewMenu(f), QStringLiteral("DDDD"));
        QCOMPARE(p.status(2), QStringLiteral("1/1"));
    }

    void colourDepthTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("texts");
        QTest::newRow("1-bit BMP") << "a.bmp" << bmpFile({9, 7}, 1) << "2色|9x7";
        QTest::newRow("4-bit BMP") << "a.bmp" << bmpFile({9, 7}, 4) << "16色|9x7";
        QTest::newRow("8-bit BMP") << "a.bmp" << bmpFile({9, 7}, 8) << "256色|9x7";
        QTest::newRow("16-bit BMP") << "a.bmp" << bmpFile({9, 7}, 16) << "6万色|9x7";
        QTest::newRow("24-bit BMP") << "a.BMP" << bmpFile({9, 7}, 24) << "16M色|9x7";
        QTest::newRow("32-bit BMP") << "a.bmp" << bmpFile({9, 7}, 32) << "16M色|9x7";
        QTest::newRow("OS/2 BMP, 4 bits") << "a.bmp" << bmpFile({9, 7}, 4, true) << "16色|9x7";
        QTest::newRow("OS/2 BMP, 24 bits")
            << "a.bmp" << bmpFile({64, 48}, 24, true) << "16M色|64x48";
        QTest::newRow("icon") << "a.ico" << icoFile(16) << "16色|16x16";
        QTest::newRow("EMF") << "a.emf" << emfFile() << "16色|192x96";
        QTest::newRow("WMF") << "a.wmf" << wmfFile() << "16色|200x100";
        QTest::newRow("JPEG through the plug-in") << "a.jpg" << jpegFile({20, 10}) << "16M色|20x10";
    }
    void colourDepthTexts() {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QString, texts);
        Browsing p({{name, data}});
        QCOMPARE(p.statuses(), texts + QStringLiteral("|1/1|"));
        QVERIFY(p.form1()->PicView2->hasPicture());
        QVERIFY(p.fakes.dialogs->messages.isEmpty());
        QVERIFY(!QApplication::overrideCursor());
    }

    void iconsAreShownOpaque() {
        Browsing p({{"clear.ico", icoFile(16, 0)}});
        const QImage shown = p.form1()->PicView2->image();
        QCOMPARE(shown.size(), QSize(16, 16));
        QCOMPARE(QColor(shown.pixel(3, 3)), p.form1()->palette().color(QPalette::Window));
    }

    void unreadableOrUndecodablePictures() {
        Browsing p({{"a.jpg", QByteArray()},
                    {"b.bmp.jpg", "not a picture at all"},
                    {"short.bmp", bmpFile({2, 2}, 24).left(40)}},
                   "[Option]\nSortOpt=1\nHyouji=1\n");
        TForm1* f = p.form1();
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].icon, Dialogs::Icon::Error);
        QVERIFY(p.fakes.dialogs->messages[0].text.startsWith(QStringLiteral("I/O ｴﾗｰ (")));
        // The rescan itself went on.
        QCOMPARE(p.rows(), QStringList({"short.bmp", "a.jpg", "b.bmp.jpg"}));
        // Nothing to show and a stored size of 0 × 0: laid out as nothing.
        TestProgram::click(f->G_step);
        QVERIFY(!f->PicView2->hasPicture());
        QCOMPARE(p.status(1), QStringLiteral("0x0"));
        QCOMPARE(f->PicView2->size(), QSize(0, 0));
        QCOMPARE(p.caption(), p.captionFor("a.jpg"));
        TestProgram::click(f->G_step);
        QVERIFY(!f->PicView2->hasPicture());
        QVERIFY(!p.status(3).trimmed().isEmpty());  // the decoder's complaint
        QVERIFY(!QApplication::overrideCursor());
    }

    void ratioFitInTheWindow() {
        Browsing p({{"a.bmp", bmp(100, 50)}, {"b.bmp", bmp(50, 100)}});
        TForm1* f = p.form1();
        p.trigger("N640x4801");
        TestProgram::click(f->O_hiritu);
        QCOMPARE(p.options()->radioIndex(), 1);
        QCOMPARE(f->PicView2->geometry(), QRect(0, 0, 640, 320));
        TestProgram::click(f->G_step);
        QCOMPARE(f->PicView2->geometry(), QRect(0, 0, 240, 480));

        // A smaller canvas keeps the mode and lays the picture out again, without loading.
        QVERIFY(p.write("b.bmp", bmp(8, 8)));
        p.trigger("N320x2401");
        QVERIFY(f->O_hiritu->isDown());
        QCOMPARE(f->PicView2->size(), QSize(120, 240));
        QCOMPARE(p.status(1), QStringLiteral("50x100"));

        // Stretch fills the viewer; no mode shows the natural size.
        TestProgram::click(f->O_stretch);
        QCOMPARE(f->PicView2->size(), f->ScrollBox->viewport()->size());
        TestProgram::click(f->O_stretch);
        QCOMPARE(p.options()->radioIndex(), 3);
        QCOMPARE(f->PicView2->size(), QSize(50, 100));
    }

    void sizeGripOnlyWhenNotMaximised() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        auto corner = [f] {
            const QRect r = f->Status->rect();
            return f->Status->grab(QRect(r.right() - 12, r.bottom() - 12, 13, 13)).toImage();
        };
        f->resize(f->width() + 10, f->height());
        const QImage grip = corner();
        const QSize normal = f->size();
        f->showMaximized();
        QTRY_VERIFY(f->size() != normal);
        QVERIFY(corner() != grip);
        f->showNormal();
        QTRY_COMPARE(f->size(), normal);
        QCOMPARE(corner(), grip);
    }

    void windowFitsThePicture_data() {
        QTest::addColumn<bool>("listShown");
        QTest::addColumn<QSize>("picture");
        QTest::newRow("list shown") << true << QSize(600, 400);
        QTest::newRow("list shown, small picture") << true << QSize(64, 64);
        QTest::newRow("list hidden") << false << QSize(600, 400);
        QTest::newRow("list hidden, small picture") << false << QSize(64, 64);
    }
    void windowFitsThePicture() {
        QFETCH(bool, listShown);
        QFETCH(QSize, picture);
        Browsing p({{"a.bmp", bmp(picture.width(), picture.height())}});
        TForm1* f = p.form1();
        if (!listShown)
            p.trigger("NA");
        const int listHeight = f->Panel6->height();
        const int chrome = f->width() - f->ViewPanel->width();
        TestProgram::click(f->O_gazou);
        // The window is never narrower than 470 pixels: then the viewer is wider.
        QCOMPARE(f->width(), qMax(470, picture.width() + 4 + chrome));
        QCOMPARE(f->ViewPanel->size(), QSize(f->width() - chrome, picture.height() + 4));
        QCOMPARE(f->Panel6->height(), listHeight);
        QCOMPARE(f->PicView2->size(), picture);
    }

    void jpegPreviewsFitByTheirDecodedSize() {
        Browsing p({{"a.jpg", jpegFile({64, 48})}, {"b.jpeg", jpegFile({64, 48})}},
                   "[Option]\nSortOpt=1\nJpegOpt=1\nHyouji=0\n");
        TForm1* f = p.form1();
        // The size text is the stored size; the window fits the quarter-size preview.
        QCOMPARE(p.status(1), QStringLiteral("64x48"));
        QCOMPARE(f->PicView2->naturalSize(), QSize(16, 12));
        QCOMPARE(f->ViewPanel->height(), 16);
        // ".JPEG" is fitted by its stored size whatever it was decoded at.
        TestProgram::click(f->G_step);
        QCOMPARE(f->ViewPanel->height(), 52);
        TestProgram::click(f->G_top);
        QCOMPARE(f->ViewPanel->height(), 16);
        TestProgram::click(f->G_end);
        QCOMPARE(f->ViewPanel->height(), 52);
    }

    void canvasSizes_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<bool>("listShown");
        QTest::newRow("320 x 240") << "N320x2401" << QSize(324, 244) << true;
        QTest::newRow("640 x 400") << "N640x4001" << QSize(644, 404) << true;
        QTest::newRow("640 x 480") << "N640x4801" << QSize(644, 484) << true;
        QTest::newRow("640 x 800") << "N640x8001" << QSize(644, 804) << true;
        QTest::newRow("800 x 600") << "N800x6001" << QSize(804, 604) << true;
        QTest::newRow("1024 x 768") << "N1024x7681" << QSize(1028, 772) << true;
        QTest::newRow("320 x 240, list hidden") << "N320x2401" << QSize(324, 244) << false;
    }
    void canvasSizes() {
        QFETCH(QString, item);
        QFETCH(QSize, outer);
        QFETCH(bool, listShown);
        Browsing p({{"a.bmp", bmp(30, 20)}}, "[Option]\nHyouji=0\n");
        TForm1* f = p.form1();
        if (!listShown)
            p.trigger("NA");
        const int listHeight = f->Panel6->height();
        const int chrome = f->width() - f->ViewPanel->width();
        const int otherHeight = f->height() - f->ViewPanel->height();

        p.trigger(item);
        QCOMPARE(f->ViewPanel->size(), QSize(qMax(outer.width(), 470 - chrome), outer.height()));
        // The splitter bar is not counted: a shown list loses its 2 pixels.
        const int lost = listShown ? 2 : 0;
        QCOMPARE(f->height(), otherHeight + outer.height() - lost);
        QCOMPARE(f->Panel6->height(), listHeight - lost);
        // Window fit gives way to no adjustment; the picture stays.
        QCOMPARE(p.options()->radioIndex(), 3);
        QCOMPARE(f->PicView2->size(), QSize(30, 20));
    }

    void menusFollowTheKindShown_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("file");   // SaveAs, Kabegami
        QTest::addColumn<QString>("edit");   // K4, KD2, KD1, KD3
        QTest::addColumn<QString>("popup");  // Copy1, SaveAs2, Kabegami2, G2, G1, G3
        QTest::newRow("BMP") << "a.bmp" << bmp(4, 4) << "EE"
                             << "EEEE"
                             << "EEEEEE";
        QTest::newRow("JPEG") << "a.jpg" << jpegFile({4, 4}) << "EE"
                              << "EEEE"
                              << "EEEEEE";
        QTest::newRow("EMF") << "a.emf" << emfFile() << "EE"
                             << "DEEE"
                             << "DDDEEE";
        QTest::newRow("WMF") << "a.wmf" << wmfFile() << "EE"
                             << "DEEE"
                             << "DDDEEE";
        QTest::newRow("icon") << "a.ico" << icoFile(16) << "DD"
                              << "DEEE"
                              << "DDDEEE";
    }
    void menusFollowTheKindShown() {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QString, file);
        QFETCH(QString, edit);
        QFETCH(QString, popup);
        Browsing p({{name, data}});
        TForm1* f = p.form1();
        QCOMPARE(p.enabled(f->File1, {f->SaveAs, f->Kabegami->menuAction()}), file);
        QCOMPARE(p.enabled(f->Edit, {f->K4, f->KD2, f->KD1, f->KD3}), edit);
        QCOMPARE(p.enabled(f->PopupMenu,
                           {f->Copy1, f->SaveAs2, f->Kabegami2->menuAction(), f->G2, f->G1, f->G3}),
                 popup);
    }

    void menusForClipboardDataAndDeletedEntries() {
        Browsing p({{"a.bmp", bmp(4, 4)}});
        TForm1* f = p.form1();
        QImage pasted(5, 5, QImage::Format_RGB32);
        pasted.fill(Qt::white);
        QGuiApplication::clipboard()->setImage(pasted);
        QCOMPARE(p.enabled(f->Edit, {f->KV1}) + p.enabled(f->PopupMenu, {f->K7}), "EE");
        QGuiApplication::clipboard()->setText(QStringLiteral("no picture"));
        QCOMPARE(p.enabled(f->Edit, {f->KV1}) + p.enabled(f->PopupMenu, {f->K7}), "DD");

        // What a paste leaves: a picture that belongs to no file.
        f->PicView2->setImage(pasted);
        f->setWindowTitle(TForm1::clipboardCaption());
        QCOMPARE(p.enabled(f->File1, {f->SaveAs, f->Kabegami->menuAction()}), "EE");
        QCOMPARE(p.enabled(f->Edit, {f->KD2, f->KD1, f->KD3}), "DDD");
        QCOMPARE(
            p.enabled(f->PopupMenu, {f->SaveAs2, f->Kabegami2->menuAction(), f->G2, f->G1, f->G3}),
            "EEDDD");
        // A drag never starts from clipboard data.
        p.form2()->dragSource = 0;
        QTest::mouseClick(f->PicView2, Qt::LeftButton);
        QCOMPARE(p.form2()->dragSource, 0);

        // The shown file deleted: the pop-up offers neither copying nor saving it.
        p.rescan();
        QVERIFY(QFile::remove(p.file("a.bmp")));
        f->MarkEntryDeleted(p.file("a.bmp"), "a.bmp");
        QCOMPARE(p.enabled(f->PopupMenu, {f->Copy1, f->SaveAs2, f->G2, f->G1, f->G3}), "DDDDD");
        QCOMPARE(p.enabled(f->Edit, {f->KD2, f->KD1, f->KD3}), "DDD");
    }

    // Each click reaches one handler: the picture's, not the viewer's below it as well.
    void pictureMouse() {
        Browsing p({{"a.bmp", bmp(40, 40)}});
        TForm1* f = p.form1();
        QTest::mouseClick(f->PicView2, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
        QCOMPARE(p.form2()->dragSource, 2);
        QCOMPARE(f->dragMove, 1);
        QTest::mouseClick(f->PicView2, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(f->dragMove, 0);
        QTest::mouseDClick(f->PicView2, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(p.fakes.shell->calls.size(), 1);
        QCOMPARE(p.fakes.shell->calls[0].op, QStringLiteral("open"));
        QCOMPARE(p.fakes.shell->calls[0].files, QStringList{p.file("a.bmp")});
    }

    void inputDuringALoadIsDropped() {
        Browsing p(numbered(5));
        TForm1* f = p.form1();
        QTreeView* rows = f->ListView->reportView();
        auto postDown = [rows] {
            post<QKeyEvent>(rows, QEvent::KeyPress, QEvent::KeyRelease, Qt::Key_Down,
                            Qt::NoModifier);
        };
        // Without a load a waiting key moves the list's selection.
        postDown();
        QCoreApplication::processEvents();
        QCOMPARE(f->ListView->selectedRow(), 1);
        f->ListView->selectRow(0, true);
        // Typed while the next picture loads: dropped, the list stays on the shown entry.
        postDown();
        TestProgram::click(f->G_step);
        QCoreApplication::processEvents();
        QCOMPARE(f->ListView->selectedRow(), 1);
        // The same for a load started from the list.
        postDown();
        QTest::keyClick(rows, Qt::Key_Down);
        QTest::keyClick(rows, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(f->ListView->selectedRow(), 2);

        // A click on "last" that waited while "next" loaded is not acted on.
        const QPointF at = QRectF(f->G_end->rect()).center();
        post<QMouseEvent>(f->G_end, QEvent::MouseButtonPress, QEvent::MouseButtonRelease, at,
                          f->G_end->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        TestProgram::click(f->G_step);
        QCoreApplication::processEvents();
        QCOMPARE(p.status(2), QStringLiteral("4/5"));
    }
};

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
