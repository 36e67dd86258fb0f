// The catalogue window: its grid, its pages as they fill, its settings and its
// opening and closing. The thumbnails are put in place here, as the loader
// would leave them, so that the pages are seen on their own.
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "catalogue_window.h"
#include "control_array.h"
#include "speed_button.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

// A folder of n pictures whose thumbnails are all made, the grid 3 x 2.
struct Catalogue : Browsing {
    TForm2* c;
    explicit Catalogue(int n) : Browsing(pictures(namesOf(n))), c(form2()) {
        makeThumbnails();
        setArea(QSize(425, 282));
    }
    static QStringList namesOf(int n) {
        QStringList names;
        for (int i = 0; i < n; ++i)
            names << QStringLiteral("p%1.bmp").arg(i, 2, 10, QLatin1Char('0'));
        return names;
    }
    void setArea(QSize area) {
        c->layOutNow();
        c->resize(c->size() + area - c->Panel2->size());
        c->layOutNow();
    }
    // A real key press on cell 0's panel; true when the window kept it from the panel.
    bool key(const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const {
        QKeyEvent press(QEvent::KeyPress, 0, modifiers, text);
        QApplication::sendEvent(c->ArPanel->Members(0), &press);
        return press.isAccepted();  // the panel would have ignored it
    }
    int cellsShown() const {
        int shown = 0;
        for (int m = 0; m < TForm2::kCells; ++m)
            shown += c->ArPanel->Members(m)->isVisible();
        return shown;
    }
};

}  // namespace

class TestCatalogueWindow : public QObject {
    Q_OBJECT

private slots:
    void pagesFillAndTurn() {
        Catalogue p(25);
        TForm2* c = p.c;
        p.f->fileNames[1].clear();  // a file deleted meanwhile
        const QSize before = c->size();
        c->CalcGrid();
        QCOMPARE(QSize(c->columns, c->rows), QSize(3, 2));
        QCOMPARE(before - c->size(), QSize(41, 64));
        c->BuildCellMap();
        c->show();
        const QSize held = c->size();
        QStringList captions;
        connect(c, &QWidget::windowTitleChanged, c, [&](const QString& title) {
            captions << title.mid(QStringLiteral("Kordel [イメージ一覧] ").size());
            if (captions.size() == 1)  // dragging the border meanwhile
                c->resize(held + QSize(300, 200));
        });
        c->FillPage();
        QCOMPARE(captions.join(u'|'), QStringLiteral("16%|33%|50%|66%|83%|100%|"));
        QCOMPARE(c->size(), held);
        QCOMPARE(c->ArImage->Members(1)->geometry(), QRect(2, 2, 124, 92));
        QCOMPARE(c->ArPanel->Members(1)->contextMenuPolicy(), Qt::NoContextMenu);
        QCOMPARE(c->ArPanel->Members(0)->contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(c->ArImage->Members(0)->geometry(), QRect(5, 5, 118, 86));
        QCOMPARE(c->cellNames[10], QStringLiteral("p03.bmp"));  // second row, first cell

        c->NextPage->setEnabled(true);
        QList<int> starts{c->pageStart};
        while (c->NextPage->isEnabled()) {
            TestProgram::click(c->NextPage);
            starts << c->pageStart;
        }
        QCOMPARE(starts, QList<int>({0, 6, 12, 18, 24}));
        QCOMPARE(p.cellsShown(), 1);
        QCOMPARE(c->cellNames[0], QStringLiteral("p24.bmp"));
        QVERIFY(c->PrePage->isEnabled());
        TestProgram::click(c->PrePage);
        QCOMPARE(c->pageStart, 18);
        QCOMPARE(p.cellsShown(), 6);
        QVERIFY(c->NextPage->isEnabled());

        // Smaller cells: more of them, the first page again.
        c->S2->trigger();
        QCOMPARE(QSize(c->columns, c->rows), QSize(6, 3));
        QCOMPARE(p.cellsShown(), 18);
        QCOMPARE(c->pageStart, 0);
        QVERIFY(c->S2->isChecked() && !c->S3->isChecked());
        TestProgram::click(c->NextPage);
        c->S2->trigger();  // already the size: nothing changes
        QVERIFY(c->pageStart == 18 && c->S2->isChecked());
        // A window lower than its strips grows to hold one whole cell with its name.
        c->resize(30, 30);
        c->layOutNow();
        QCOMPARE(c->Panel2->size(), QSize(64, 48 + 13));
    }

    // The highlight follows the mouse; it is the selection the keys and the menus act on.
    void cellCommands() {
        Catalogue p(2);
        TForm2* c = p.c;
        c->show();
        c->FillPage();
        QVERIFY(!p.key("x"));  // nothing highlighted: the key goes on
        for (int m : {0, 1, 1})
            c->ArPanelMouseMove(m);
        auto colours = [&](int m) {
            return QList<QColor>{c->ArPanel->Members(m)->palette().color(QPalette::Window),
                                 c->ArLabel->Members(m)->palette().color(QPalette::Window),
                                 c->ArLabel->Members(m)->palette().color(QPalette::WindowText)};
        };
        QCOMPARE(colours(1), QList<QColor>({Qt::red, QColor(0, 0, 128), Qt::white}));
        const QColor face = c->palette().color(QPalette::Button);
        QCOMPARE(colours(0), QList<QColor>({face, face, Qt::black}));
        QVERIFY(p.key("x"));
        // Alt with a letter is no typed letter: it goes on and deletes nothing.
        QVERIFY(!p.key("d", Qt::AltModifier) && p.fakes.shell->calls.isEmpty());
        auto menus = [&] {
            return p.enabled(c->PopupMenu2, {c->K2, c->K1, c->K3}) + u'|' +
                   p.enabled(c->kabegami3, {c->P_NOMAL, c->P_KORDEL, c->P_NAME, c->K_TILE});
        };
        QCOMPARE(menus(), "EEE|EEEE");

        p.f->setNavigation({true, true, true, true, true, true});
        // p00 is on show: clicking it changes nothing.
        for (const auto& [m, buttons] : {std::pair{0, "EEEEEE"}, {1, "EDEEDD"}, {0, "DEDDEE"}}) {
            QTest::mouseClick(c->ArImage->Members(m), Qt::LeftButton);
            QCOMPARE(p.navigation(), QString::fromLatin1(buttons));
            QCOMPARE(p.caption(), p.captionFor(QStringLiteral("p0%1.bmp").arg(m)));
        }

        // A click made while a picture loads waits until that picture is shown.
        QTimer::singleShot(0, c,
                           [c] { QTest::mouseClick(c->ArImage->Members(0), Qt::LeftButton); });
        c->ArImageClick(1);
        QCoreApplication::processEvents();
        QCOMPARE(p.caption() + p.status(2), p.captionFor("p00.bmp") + "1/2");

        QTest::mouseDClick(c->ArImage->Members(1), Qt::LeftButton);
        QCOMPARE(p.fakes.shell->calls.value(0).files, QStringList{p.file("p01.bmp")});

        // In an archive folder the file commands are off and every key is swallowed.
        auto* node = new QTreeWidgetItem(p.f->TreeView, {QStringLiteral("a.lzh")});
        node->setData(0, TForm1::kArchiveNodeRole, true);
        const QSignalBlocker quiet(p.f->TreeView);
        p.f->TreeView->setCurrentItem(node);
        QVERIFY(p.key("d"));
        QCOMPARE(menus() + QString::number(p.fakes.shell->calls.size()), "DDD|DEDE1");
        // There a click while the loader runs shows nothing.
        p.f->loaderRunning = 1;
        QTest::mouseClick(c->ArImage->Members(0), Qt::LeftButton);
        p.f->loaderRunning = 0;
        QCOMPARE(p.f->currentIndex, 1);  // p01, shown by the double-click
    }

    void settings_data() {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<int>("cellWidth");
        QTest::newRow("first start, centred") << QString() << QPoint(282, 201) << 128;
        QTest::newRow("stored") << "[SubFormSize]\nTop=20\nLeft=30\n[PicSize]\nX=64\nY=48\n"
                                << QPoint(30, 20) << 64;
        QTest::newRow("no such cell size") << "[PicSize]\nX=0\nY=0\n" << QPoint(0, 0) << 128;
    }
    void settings() {
        QFETCH(QString, ini);
        QFETCH(QPoint, pos);
        QFETCH(int, cellWidth);
        TestProgram p;
        if (!ini.isNull())
            p.writeIni(ini);
        p.start();
        QCOMPARE(p.form2()->pos(), pos);
        QCOMPARE(p.form2()->cellWidth, cellWidth);
        QCOMPARE(p.form2()->S2->isChecked(), cellWidth == 64);
    }

    // Opened with its button, the first page waits for the loader's thumbnails.
    void openAndClose() {
        Browsing p(Browsing::pictures({"a.bmp", "b.bmp"}));
        TForm2* c = p.form2();
        for (int round = 0; round < 2; ++round) {
            TestProgram::click(p.f->B_ichiran);
            QVERIFY(c->isVisible() && p.f->catalogueActive == 1);
            QCOMPARE(c->windowTitle(), QStringLiteral("Kordel [イメージ一覧] "));
            QCOMPARE(c->cellNames.mid(0, 3), QStringList({"a.bmp", "b.bmp", " "}));
            QVERIFY(!c->NextPage->isEnabled());
            if (round == 0)
                TestProgram::click(p.f->B_ichiran);
            else
                c->close();
            QVERIFY(!c->isVisible() && p.f->catalogueActive == 0 && c->shown == 0);
            QVERIFY(!p.f->B_ichiran->isDown());
        }
    }
};

QTEST_MAIN(TestCatalogueWindow)
#include "test_catalogue_window.moc"
