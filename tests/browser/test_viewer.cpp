// The viewer: status texts of a shown picture, navigation and its buttons, the
// display modes and canvas sizes, the menus' enabled states, and input that
// arrives while a picture loads.
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
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

// "E"/"D" for each action, in the given order.
QString enabled(std::initializer_list<const QAction*> actions) {
    QString state;
    for (const QAction* a : actions)
        state += a->isEnabled() ? u'E' : u'D';
    return state;
}

QString viewMenu(TForm1* f) {
    openMenu(f->Show1);
    return enabled({f->KT1, f->KB1, f->KS1, f->KE1});
}

// A folder of pictures named in scan order, each w × h with w = its number.
void writeNumbered(const ScratchFolder& folder, int count) {
    for (int i = 1; i <= count; ++i)
        folder.write(QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0')),
                     bmpFile({i, 1}, 24));
}

void postClick(QWidget* target) {
    const QPointF at = QRectF(target->rect()).center();
    const QPointF global = target->mapToGlobal(at);
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, global,
                                                        Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, global,
                                                        Qt::LeftButton, Qt::NoButton, {}));
}

void postKey(QWidget* target, int key) {
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

}  // namespace

class TestViewer : public QObject {
    Q_OBJECT

private slots:
    void navigationButtonsAndMenu() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        writeNumbered(folder, 4);
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();

        // At either end the button and the menu item are off, so the handler itself
        // is called ("next!", "previous!"): it must not wrap around.
        struct Step {
            const char* what;  // a button, or a View menu item when it starts with "K"
            int index;
            const char* buttons;
            const char* menu;
        };
        const Step steps[] = {
            {"", 0, "DEDDEE", "DDEE"},        // after the scan
            {"G_step", 1, "EEEEEE", "EEEE"},  // next onto an inner entry
            {"G_step", 2, "EEEEEE", "EEEE"},
            {"KS1", 3, "EDEEDD", "EEDD"},        // next onto the last entry
            {"next!", 3, "EDEEDD", "EEDD"},      // no wrap-around
            {"KB1", 2, "EEEEEE", "EEEE"},        // previous onto an inner entry
            {"G_top", 0, "DEDDEE", "DDEE"},      // first
            {"previous!", 0, "DEDDEE", "DDEE"},  // no wrap-around
            {"KE1", 3, "EDEEDD", "EEDD"},        // last
            {"KT1", 0, "DEDDEE", "DDEE"},
            {"G_end", 3, "EDEEDD", "EEDD"},
            {"G_back", 2, "EEEEEE", "EEEE"},
            {"G_back", 1, "EEEEEE", "EEEE"},
            {"G_back", 0, "DEDDEE", "DDEE"},  // previous onto entry 0
        };
        for (const Step& s : steps) {
            const QString what = QString::fromLatin1(s.what);
            if (what == QStringLiteral("next!"))
                f->G_stepClick();
            else if (what == QStringLiteral("previous!"))
                f->G_backClick();
            else if (what.startsWith(u'K'))
                p.trigger(what);
            else if (!what.isEmpty())
                TestProgram::click(f->findChild<TSpeedButton*>(what));
            const QString row = what + QStringLiteral(" to %1").arg(s.index);
            QVERIFY2(f->currentIndex == s.index, qPrintable(row));
            QVERIFY2(navigation(f) == QLatin1String(s.buttons), qPrintable(row));
            QVERIFY2(viewMenu(f) == QLatin1String(s.menu), qPrintable(row));
            const QString name = f->fileNames[s.index];
            QVERIFY2(p.caption() == QStringLiteral("Kordel [%1%2]").arg(folder.path(), name),
                     qPrintable(row));
            QVERIFY2(p.status(2) == QStringLiteral("%1/4").arg(s.index + 1), qPrintable(row));
            QVERIFY2(p.status(1) == QStringLiteral("%1x1").arg(s.index + 1), qPrintable(row));
            QVERIFY2(f->ListView->caption(f->ListView->selectedRow()) == name, qPrintable(row));
        }
    }

    void oneEntryDisablesAllNavigation() {
        TestProgram p;
        p.start();
        ScratchFolder three;
        writeNumbered(three, 3);
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        QCOMPARE(viewMenu(f), QStringLiteral("DDEE"));
        {
            // Nothing found: the View items stay as they were.
            ScratchFolder empty;
            f->RescanFileList();
            QCOMPARE(f->foundAny, 0);
            QCOMPARE(viewMenu(f), QStringLiteral("DDEE"));
        }
        ScratchFolder one;
        writeNumbered(one, 1);
        f->RescanFileList();
        QCOMPARE(navigation(f), QStringLiteral("DDDDDD"));
        QCOMPARE(viewMenu(f), QStringLiteral("DDDD"));
        // Called anyway, the handlers leave everything as it is.
        f->G_stepClick();
        f->G_endClick();
        f->G_backClick();
        f->G_topClick();
        QCOMPARE(f->currentIndex, 0);
        QCOMPARE(navigation(f), QStringLiteral("DDDDDD"));
        QCOMPARE(p.status(2), QStringLiteral("1/1"));
    }

    void colourDepthTexts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("size");
        QTest::newRow("1-bit BMP") << "a.bmp" << bmpFile({9, 7}, 1) << "2色"
                                   << "9x7";
        QTest::newRow("4-bit BMP") << "a.bmp" << bmpFile({9, 7}, 4) << "16色"
                                   << "9x7";
        QTest::newRow("8-bit BMP") << "a.bmp" << bmpFile({9, 7}, 8) << "256色"
                                   << "9x7";
        QTest::newRow("16-bit BMP") << "a.bmp" << bmpFile({9, 7}, 16) << "6万色"
                                    << "9x7";
        QTest::newRow("24-bit BMP") << "a.BMP" << bmpFile({9, 7}, 24) << "16M色"
                                    << "9x7";
        QTest::newRow("32-bit BMP") << "a.bmp" << bmpFile({9, 7}, 32) << "16M色"
                                    << "9x7";
        QTest::newRow("OS/2 BMP, 4 bits") << "a.bmp" << bmpFile({9, 7}, 4, true) << "16色"
                                          << "9x7";
        QTest::newRow("OS/2 BMP, 24 bits") << "a.bmp" << bmpFile({9, 7}, 24, true) << "16M色"
                                           << "9x7";
        QTest::newRow("icon") << "a.ico" << icoFile(16) << "16色"
                              << "16x16";
        QTest::newRow("EMF") << "a.emf" << emfFile() << "16色"
                             << "192x96";
        QTest::newRow("WMF") << "a.wmf" << wmfFile() << "16色"
                             << "200x100";
        QTest::newRow("JPEG through the plug-in") << "a.jpg" << jpegFile({20, 10}) << "16M色"
                                                  << "20x10";
    }
    void colourDepthTexts() {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QString, text);
        QFETCH(QString, size);
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write(name, data));
        TForm1* f = p.form1();
        f->RescanFileList();
        QCOMPARE(p.status(0), text);
        QCOMPARE(p.status(1), size);
        QCOMPARE(p.status(2), QStringLiteral("1/1"));
        QVERIFY(f->PicView2->hasPicture());
        QVERIFY(p.fakes.dialogs->messages.isEmpty());
        QVERIFY(!QApplication::overrideCursor());
    }

    void iconsAreShownOpaque() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QImage icon(16, 16, QImage::Format_ARGB32);
        icon.fill(Qt::transparent);
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(icon.save(&buffer, "ICO"));
        QVERIFY(folder.write("clear.ico", data));
        TForm1* f = p.form1();
        f->RescanFileList();
        const QImage shown = f->PicView2->image();
        QCOMPARE(shown.size(), QSize(16, 16));
        QCOMPARE(qAlpha(shown.pixel(3, 3)), 255);
        QCOMPARE(QColor(shown.pixel(3, 3)), f->palette().color(QPalette::Window));
    }

    void unreadableBmpHeader() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("short.bmp", bmpFile({2, 2}, 24).left(40)));
        TForm1* f = p.form1();
        f->RescanFileList();
        QCOMPARE(p.fakes.dialogs->messages.size(), 1);
        QCOMPARE(p.fakes.dialogs->messages[0].icon, Dialogs::Icon::Error);
        QVERIFY(p.fakes.dialogs->messages[0].text.startsWith(QStringLiteral("I/O ｴﾗｰ (")));
        QVERIFY(!QApplication::overrideCursor());
        // The rescan itself went on: the list is there and the window answers.
        QCOMPARE(f->ListView->count(), 1);
    }

    void positionAndSizeTexts() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        writeNumbered(folder, 12);
        QVERIFY(folder.write("p03.bmp", bmpFile({640, 480}, 1)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        TestProgram::click(f->G_step);
        TestProgram::click(f->G_step);
        QCOMPARE(p.status(2), QStringLiteral("3/12"));
        QCOMPARE(p.status(1), QStringLiteral("640x480"));
        QCOMPARE(p.status(0), QStringLiteral("2色"));
    }

    void ratioFitInTheWindow() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({100, 50}, 24)));
        QVERIFY(folder.write("b.bmp", bmpFile({50, 100}, 24)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        p.trigger("N640x4801");
        QCOMPARE(f->ViewPanel->size(), QSize(644, 484));
        TestProgram::click(f->O_hiritu);
        QCOMPARE(f->displayMode, 1);
        QCOMPARE(p.options()->radioIndex(), 1);
        QCOMPARE(f->PicView2->geometry(), QRect(0, 0, 640, 320));
        TestProgram::click(f->G_step);
        QCOMPARE(f->PicView2->geometry(), QRect(0, 0, 240, 480));

        // A smaller canvas keeps the mode and lays the picture out again, without loading.
        const QString size = p.status(1);
        QVERIFY(folder.write("b.bmp", bmpFile({8, 8}, 24)));
        p.trigger("N320x2401");
        QCOMPARE(f->displayMode, 1);
        QCOMPARE(f->ViewPanel->height(), 244);
        QCOMPARE(f->PicView2->size(), QSize(120, 240));
        QCOMPARE(p.status(1), size);

        // Stretch fills the viewer; no mode shows the natural size.
        TestProgram::click(f->O_stretch);
        QCOMPARE(f->displayMode, 2);
        QVERIFY(!f->O_hiritu->isDown());
        QCOMPARE(f->PicView2->size(), f->ScrollBox->viewport()->size());
        TestProgram::click(f->O_stretch);
        QCOMPARE(f->displayMode, 3);
        QCOMPARE(p.options()->radioIndex(), 3);
        QCOMPARE(f->PicView2->size(), QSize(50, 100));
    }

    void pictureThatCannotBeDecoded() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.touch({"a.jpg"}));
        QVERIFY(folder.write("b.bmp.jpg", QByteArray("not a picture at all")));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        TestProgram::click(f->O_hiritu);
        f->RescanFileList();
        // Nothing to show and a stored size of 0 × 0: laid out as nothing.
        QVERIFY(!f->PicView2->hasPicture());
        QCOMPARE(p.status(1), QStringLiteral("0x0"));
        QCOMPARE(f->PicView2->size(), QSize(0, 0));
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1a.jpg]").arg(folder.path()));
        TestProgram::click(f->G_step);
        QVERIFY(!f->PicView2->hasPicture());
        QCOMPARE(p.status(2), QStringLiteral("2/2"));
        QVERIFY(!p.status(3).trimmed().isEmpty());  // the decoder's complaint
        QVERIFY(!QApplication::overrideCursor());
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
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile(picture, 8)));
        TForm1* f = p.form1();
        if (!listShown)
            p.trigger("NA");
        const int listHeight = f->Panel6->height();
        const int chrome = f->width() - f->ViewPanel->width();
        f->RescanFileList();
        TestProgram::click(f->O_gazou);
        QCOMPARE(f->displayMode, 0);

        const QSize viewer = picture + QSize(4, 4);
        QCOMPARE(f->ViewPanel->height(), viewer.height());
        // The window is never narrower than 470 pixels: then the viewer is wider.
        QCOMPARE(f->width(), qMax(470, viewer.width() + chrome));
        QCOMPARE(f->ViewPanel->width(), f->width() - chrome);
        if (listShown) {
            QCOMPARE(f->Panel6->height(), listHeight);
            QCOMPARE(f->SplitPanel->y(), viewer.height());
        }
        QCOMPARE(f->PicView2->size(), picture);
    }

    void jpegPreviewsFitByTheirDecodedSize() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.jpg", jpegFile({64, 48})));
        QVERIFY(folder.write("b.jpeg", jpegFile({64, 48})));
        TForm1* f = p.form1();
        f->JpegOpt = 1;
        TestProgram::click(f->O_gazou);
        f->RescanFileList();
        QCOMPARE(tableNames(f), (QStringList{"a.jpg", "b.jpeg"}));
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
        const std::pair<const char*, QSize> items[] = {
            {"N320x2401", {324, 244}}, {"N640x4001", {644, 404}}, {"N640x4801", {644, 484}},
            {"N640x8001", {644, 804}}, {"N800x6001", {804, 604}}, {"N1024x7681", {1028, 772}}};
        for (const auto& [item, outer] : items) {
            QTest::addRow("%s, list shown", item) << item << outer << true;
            QTest::addRow("%s, list hidden", item) << item << outer << false;
        }
    }
    void canvasSizes() {
        QFETCH(QString, item);
        QFETCH(QSize, outer);
        QFETCH(bool, listShown);
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({30, 20}, 24)));
        TForm1* f = p.form1();
        f->RescanFileList();
        TestProgram::click(f->O_gazou);
        if (!listShown)
            p.trigger("NA");
        const int listHeight = f->Panel6->height();
        const int chrome = f->width() - f->ViewPanel->width();
        const int otherHeight = f->height() - f->ViewPanel->height();

        p.trigger(item);
        QCOMPARE(f->ViewPanel->height(), outer.height());
        QCOMPARE(f->ViewPanel->width(), qMax(outer.width(), 470 - chrome));
        if (listShown) {
            // The splitter bar is not counted: the list loses its 2 pixels.
            QCOMPARE(f->Panel6->height(), listHeight - 2);
            QCOMPARE(f->height(), otherHeight + outer.height() - 2);
        } else {
            QCOMPARE(f->height(), otherHeight + outer.height());
        }
        // Window fit gives way to no adjustment; the picture stays.
        QVERIFY(!f->O_gazou->isDown());
        QCOMPARE(f->displayMode, 3);
        QCOMPARE(p.options()->radioIndex(), 3);
        QCOMPARE(f->PicView2->size(), QSize(30, 20));
    }

    void menusFollowTheKindShown_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("file");   // SaveAs, Kabegami
        QTest::addColumn<QString>("edit");   // K4, KD2, KD1, KD3
        QTest::addColumn<QString>("popup");  // Copy1, SaveAs2, Kabegami2, G2, G1, G3
        QTest::newRow("BMP") << "a.bmp" << bmpFile({4, 4}, 24) << "EE"
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
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write(name, data));
        TForm1* f = p.form1();
        f->RescanFileList();
        QVERIFY(f->PicView2->hasPicture());
        openMenu(f->File1);
        QCOMPARE(enabled({f->SaveAs, f->Kabegami->menuAction()}), file);
        openMenu(f->Edit);
        QCOMPARE(enabled({f->K4, f->KD2, f->KD1, f->KD3}), edit);
        openMenu(f->PopupMenu);
        QCOMPARE(enabled({f->Copy1, f->SaveAs2, f->Kabegami2->menuAction(), f->G2, f->G1, f->G3}),
                 popup);
    }

    void menusForClipboardDataAndDeletedEntries() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({4, 4}, 24)));
        TForm1* f = p.form1();
        f->RescanFileList();

        // What a paste leaves: a picture that belongs to no file.
        QImage pasted(5, 5, QImage::Format_RGB32);
        pasted.fill(Qt::white);
        f->PicView2->setImage(pasted);
        f->setWindowTitle(TForm1::clipboardCaption());
        openMenu(f->File1);
        QCOMPARE(enabled({f->SaveAs, f->Kabegami->menuAction()}), QStringLiteral("EE"));
        openMenu(f->Edit);
        QCOMPARE(enabled({f->KD2, f->KD1, f->KD3}), QStringLiteral("DDD"));
        openMenu(f->PopupMenu);
        QCOMPARE(enabled({f->SaveAs2, f->Kabegami2->menuAction(), f->G2, f->G1, f->G3}),
                 QStringLiteral("EEDDD"));
        // A drag never starts from clipboard data.
        p.form2()->dragSource = 0;
        QTest::mousePress(f->PicView2, Qt::LeftButton);
        QTest::mouseRelease(f->PicView2, Qt::LeftButton);
        QCOMPARE(p.form2()->dragSource, 0);

        // The shown file deleted: the pop-up offers neither copying nor saving it.
        f->RescanFileList();
        QVERIFY(QFile::remove(folder.file("a.bmp")));
        f->MarkEntryDeleted(folder.file("a.bmp"), "a.bmp");
        openMenu(f->PopupMenu);
        QCOMPARE(enabled({f->Copy1, f->SaveAs2, f->G2, f->G1, f->G3}), QStringLiteral("DDDDD"));
        openMenu(f->Edit);
        QCOMPARE(enabled({f->KD2, f->KD1, f->KD3}), QStringLiteral("DDD"));
    }

    void pasteItemsFollowTheClipboard() {
        TestProgram p;
        p.start();
        TForm1* f = p.form1();
        QClipboard* clipboard = QGuiApplication::clipboard();
        QImage image(3, 3, QImage::Format_RGB32);
        image.fill(Qt::red);
        clipboard->setImage(image);
        openMenu(f->Edit);
        openMenu(f->PopupMenu);
        QCOMPARE(enabled({f->KV1, f->K7}), QStringLiteral("EE"));
        clipboard->setText(QStringLiteral("no picture"));
        openMenu(f->Edit);
        openMenu(f->PopupMenu);
        QCOMPARE(enabled({f->KV1, f->K7}), QStringLiteral("DD"));
        clipboard->clear();
    }

    void pictureMouse() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({40, 40}, 24)));
        TForm1* f = p.form1();
        f->RescanFileList();
        QTest::mousePress(f->PicView2, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
        QTest::mouseRelease(f->PicView2, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
        QCOMPARE(p.form2()->dragSource, 2);
        QCOMPARE(f->dragMove, 1);
        QTest::mousePress(f->PicView2, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(f->PicView2, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(f->dragMove, 0);

        QTest::mouseDClick(f->PicView2, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(p.fakes.shell->calls.size(), 1);
        QCOMPARE(p.fakes.shell->calls[0].op, QStringLiteral("open"));
        QCOMPARE(p.fakes.shell->calls[0].files, QStringList{folder.file("a.bmp")});
    }

    void keysTypedDuringALoadAreDropped() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        writeNumbered(folder, 5);
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        QTreeView* rows = f->ListView->reportView();
        QCOMPARE(f->ListView->selectedRow(), 0);

        // Without a load a waiting key moves the list's selection.
        postKey(rows, Qt::Key_Down);
        QCoreApplication::processEvents();
        QCOMPARE(f->ListView->selectedRow(), 1);
        f->ListView->selectRow(0, true);

        // Typed while the next picture loads: dropped, the list stays on the shown entry.
        postKey(rows, Qt::Key_Down);
        TestProgram::click(f->G_step);
        QCoreApplication::processEvents();
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(f->ListView->selectedRow(), 1);

        // The same for a load started from the list.
        postKey(rows, Qt::Key_Down);
        QTest::keyClick(rows, Qt::Key_Down);
        QTest::keyClick(rows, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(f->currentIndex, 2);
        QCOMPARE(f->ListView->selectedRow(), 2);
    }

    void clicksMadeDuringALoadAreDropped() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        writeNumbered(folder, 5);
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();

        // A click on "last" that waited while "next" loaded is not acted on.
        postClick(f->G_end);
        TestProgram::click(f->G_step);
        QCoreApplication::processEvents();
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(p.status(2), QStringLiteral("2/5"));
    }
};

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
