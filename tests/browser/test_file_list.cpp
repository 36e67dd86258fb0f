// The file list: its rows and texts, sorting by a column, showing the entry
// the user picks, the keys it swallows, and its two view styles.
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>

#include "browse_helpers.h"
#include "list_view.h"
#include "main.h"
#include "speed_button.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

QPoint rowCentre(TListView* list, int row) {
    QTreeView* view = list->reportView();
    view->scrollTo(view->model()->index(row, 0));
    return view->visualRect(view->model()->index(row, 0)).center();
}

void clickRow(TListView* list, int row) {
    QTest::mouseClick(list->reportView()->viewport(), Qt::LeftButton, {}, rowCentre(list, row));
}

void clickColumn(TListView* list, int column) {
    QHeaderView* header = list->reportView()->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

Browsing::Files jpegs(const QStringList& names, const QList<int>& kilobytes) {
    Browsing::Files files;
    for (int i = 0; i < names.size(); ++i)
        files.append({names[i], jpegFile({4, 4}, kilobytes.value(i, 3) * 1024)});
    return files;
}

}  // namespace

class TestFileList : public QObject {
    Q_OBJECT

private slots:
    void rowTexts() {
        Browsing p({{"a.bmp", bmp(2, 2)},
                    {"empty.jpg", {}},
                    {"k.jpg", QByteArray(1023, 'x')},
                    {"m.jpg", QByteArray(1234567, 'x')},
                    {"x.jpeg", QByteArray(2048, 'x')}},
                   QStringLiteral("[Option]\nSortOpt=1\n[DirSize]\nSub1_W=123\n"));
        for (const char* name : {"a.bmp", "empty.jpg", "k.jpg", "m.jpg", "x.jpeg"})
            QVERIFY(setModified(p.file(name), QDateTime(QDate(2005, 3, 7), QTime(14, 5, 42))));
        p.rescan();
        TListView* list = p.f->ListView;
        QStringList rows;
        for (int r = 0; r < list->count(); ++r)
            rows << QStringList({list->caption(r), list->subItem(r, 0), list->subItem(r, 1),
                                 list->subItem(r, 2)})
                        .join(u'|');
        QCOMPARE(rows,
                 QStringList(
                     {"a.bmp|1KB|05/03/07 14:05|BMP ﾌｧｲﾙ", "empty.jpg|1KB|05/03/07 14:05|JPG ﾌｧｲﾙ",
                      "k.jpg|1KB|05/03/07 14:05|JPG ﾌｧｲﾙ", "m.jpg|1,205KB|05/03/07 14:05|JPG ﾌｧｲﾙ",
                      "x.jpeg|2KB|05/03/07 14:05|JPEG ﾌｧｲﾙ"}));
        // The fill keeps the user's column widths.
        QCOMPARE(list->columnWidth(0), 123);
    }

    void sortingByAColumn() {
        const QStringList scanOrder = {"a.jpg", "B.jpg", "c.jpg", "d.jpg"};
        Browsing p(jpegs(scanOrder, {1000, 9, 10, 999}));
        TListView* list = p.f->ListView;
        clickColumn(list, 1);  // size, ascending by number: 9, 10, 999, 1,000
        QCOMPARE(p.rows(), (QStringList{"B.jpg", "c.jpg", "d.jpg", "a.jpg"}));
        QCOMPARE(list->subItem(3, 0), QStringLiteral("1,000KB"));
        clickColumn(list, 0);  // the direction alternates over all columns: descending
        QCOMPARE(p.rows(), (QStringList{"d.jpg", "c.jpg", "a.jpg", "B.jpg"}));
        clickColumn(list, 0);  // names byte by byte: capitals first
        QCOMPARE(p.rows(), (QStringList{"B.jpg", "a.jpg", "c.jpg", "d.jpg"}));

        // The table keeps its scan order: "next" goes to the second scanned entry.
        QCOMPARE(p.table(), scanOrder);
        TestProgram::click(p.f->G_step);
        QCOMPARE(p.caption(), p.captionFor("B.jpg"));
        QCOMPARE(list->selectedRow(), 0);

        // A rescan from the kind box keeps the direction.
        chooseKind(p.f->ComboBox, 2);
        QCOMPARE(p.rows(), scanOrder);
        clickColumn(list, 1);
        QCOMPARE(p.rows(), (QStringList{"a.jpg", "d.jpg", "c.jpg", "B.jpg"}));
    }

    void onlyClicksAndEnterShowAnEntry() {
        Browsing p({{"p1.bmp", bmp(1, 1)},
                    {"p2.bmp", bmp(2, 2)},
                    {"p3.bmp", bmp(3, 3)},
                    {"p4.bmp", bmp(4, 4)},
                    {"p5.bmp", bmp(5, 5)}});
        TListView* list = p.f->ListView;
        QTreeView* rows = list->reportView();

        QTest::keyClick(rows, Qt::Key_Down);
        QTest::keyClick(rows, Qt::Key_Down);
        QCOMPARE(list->selectedRow(), 2);
        QCOMPARE(p.caption(), p.captionFor("p1.bmp"));

        QTest::keyClick(rows, Qt::Key_Return);
        QCOMPARE(p.caption(), p.captionFor("p3.bmp"));
        QCOMPARE(p.status(2), QStringLiteral("3/5"));
        clickRow(list, 4);
        QCOMPARE(p.statuses(), QStringLiteral("16M色|5x5|5/5|"));
        QCOMPARE(p.navigation(), QStringLiteral("EDEEDD"));
        clickRow(list, 0);

        // The entry on show is not loaded again: a changed file shows only once another
        // entry was shown in between.
        QVERIFY(p.write("p1.bmp", bmp(7, 3)));
        clickRow(list, 0);
        QCOMPARE(p.status(1), QStringLiteral("1x1"));
        clickRow(list, 1);
        clickRow(list, 0);
        QCOMPARE(p.status(1), QStringLiteral("7x3"));

        // A double click: the first click shows the entry, the second opens its file.
        clickRow(list, 3);
        QTest::mouseDClick(rows->viewport(), Qt::LeftButton, {}, rowCentre(list, 3));
        QCOMPARE(p.fakes.shell->calls.size(), 1);
        QCOMPARE(p.fakes.shell->calls[0].op, QStringLiteral("open"));
        QCOMPARE(p.fakes.shell->calls[0].files, QStringList{p.file("p4.bmp")});
    }

    // Letters with Alt are commands for the window, not the list's file commands, and
    // Ctrl+C never puts a row's name on the clipboard in place of its picture.
    void keysWithModifiers() {
        Browsing p({{"a.ico", icoFile(16)}, {"b.bmp", bmp(2, 2)}});
        QGuiApplication::clipboard()->setImage(QImage(3, 1, QImage::Format_RGB32));
        clickRow(p.f->ListView, 1);  // the icon, which cannot be copied
        QWidget* list = p.f->ListView->reportView();
        QTest::sendKeyEvent(QTest::Click, list, Qt::Key_D, QStringLiteral("d"), Qt::AltModifier);
        QTest::sendKeyEvent(QTest::Click, list, Qt::Key_C, QStringLiteral("\x03"),
                            Qt::ControlModifier);
        QTest::sendKeyEvent(QTest::Click, list, Qt::Key_Delete, QStringLiteral("\x7f"), {});
        QCOMPARE(p.fakes.shell->calls.size(), 1);  // Delete's alone
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(3, 1));
    }

    void popupAndDetailsOrPlainList() {
        Browsing p;
        QCOMPARE(p.enabled(p.f->PopupMenu3, {p.f->K2, p.f->K5, p.f->K6}), "DDD");
        p.write("a.bmp", bmp(2, 2));
        p.write("b.bmp", bmp(2, 2));
        p.rescan();
        QCOMPARE(p.enabled(p.f->PopupMenu3, {p.f->K2, p.f->K5, p.f->K6}), "EEE");
        QVERIFY(p.f->K3->isChecked());
        // The item is reached through the list's pop-up menu, which sets its checkmark.
        auto chooseDetails = [&] {
            TestProgram::openMenu(p.f->PopupMenu3);
            p.trigger("K3");
        };
        chooseDetails();
        QCOMPARE(p.f->ListView->viewStyle(), TListView::vsList);
        TestProgram::openMenu(p.f->PopupMenu3);
        QVERIFY(!p.f->K3->isChecked());
        // A rescan fills the list in its own style and puts it back.
        p.rescan();
        QCOMPARE(p.f->ListView->viewStyle(), TListView::vsList);
        QCOMPARE(p.f->ListView->count(), 2);

        chooseDetails();
        QCOMPARE(p.f->ListView->viewStyle(), TListView::vsReport);
        QVERIFY(p.f->K3->isChecked());
        chooseDetails();
        p.f->close();
        QVERIFY(p.readIni().contains(QStringLiteral("ViewStyle=2")));
    }
};

QTEST_MAIN(TestFileList)
#include "test_file_list.moc"
