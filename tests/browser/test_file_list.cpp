// The file list: its rows and texts, sorting by a column, showing the entry
// the user picks, the keys it swallows, and its two view styles.
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeView>

#include "browse_helpers.h"
#include "image.h"
#include "list_view.h"
#include "main.h"
#include "speed_button.h"
#include "status_bar.h"
#include "test_program.h"

using namespace kordel;
using namespace kordel::test;

namespace {

// A valid picture padded with zeros to the given size.
QByteArray jpegOfSize(qint64 bytes) {
    QByteArray data = jpegFile({4, 4});
    if (data.size() < bytes)
        data.append(QByteArray(bytes - data.size(), '\0'));
    return data;
}

QRect rowRect(TListView* list, int row) {
    QTreeView* view = list->reportView();
    return view->visualRect(view->model()->index(row, 0));
}

void clickRow(TListView* list, int row) {
    list->reportView()->scrollTo(list->reportView()->model()->index(row, 0));
    QTest::mouseClick(list->reportView()->viewport(), Qt::LeftButton, {},
                      rowRect(list, row).center());
}

void clickColumn(TListView* list, int column) {
    QHeaderView* header = list->reportView()->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class TestFileList : public QObject {
    Q_OBJECT

private slots:
    void rowTexts() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({2, 2}, 24)));
        QVERIFY(folder.touch({"empty.jpg"}));
        QVERIFY(folder.write("k.jpg", QByteArray(1023, 'x')));
        QVERIFY(folder.write("m.jpg", QByteArray(1234567, 'x')));
        QVERIFY(folder.write("x.jpeg", QByteArray(2048, 'x')));
        const QDateTime stamp(QDate(2005, 3, 7), QTime(14, 5, 42));
        for (const char* name : {"a.bmp", "empty.jpg", "k.jpg", "m.jpg", "x.jpeg"}) {
            QFile file(folder.file(name));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->ListView->setColumnWidth(0, 123);
        f->RescanFileList();

        TListView* list = f->ListView;
        QCOMPARE(listCaptions(list),
                 (QStringList{"a.bmp", "empty.jpg", "k.jpg", "m.jpg", "x.jpeg"}));
        const QStringList sizes = {"1KB", "1KB", "1KB", "1,205KB", "2KB"};
        const QStringList kinds = {"BMP ﾌｧｲﾙ", "JPG ﾌｧｲﾙ", "JPG ﾌｧｲﾙ", "JPG ﾌｧｲﾙ", "JPEG ﾌｧｲﾙ"};
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(list->subItem(row, 0), sizes[row]);
            QCOMPARE(list->subItem(row, 1), QStringLiteral("05/03/07 14:05"));
            QCOMPARE(list->subItem(row, 2), kinds[row]);
        }
        // The fill keeps the user's column widths and style, and leaves no message behind.
        QCOMPARE(list->columnWidth(0), 123);
        QCOMPARE(list->viewStyle(), TListView::vsReport);
        QCOMPARE(p.status(3), QString());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(list->selectedRow(), 0);
    }

    void sortingByAColumn() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.jpg", jpegOfSize(1000 * 1024)));
        QVERIFY(folder.write("B.jpg", jpegOfSize(9 * 1024)));
        QVERIFY(folder.write("c.jpg", jpegOfSize(10 * 1024)));
        QVERIFY(folder.write("d.jpg", jpegOfSize(999 * 1024)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        TListView* list = f->ListView;
        const QStringList scanOrder = {"a.jpg", "B.jpg", "c.jpg", "d.jpg"};
        QCOMPARE(listCaptions(list), scanOrder);

        clickColumn(list, 1);  // size, ascending by number: 9, 10, 999, 1,000
        QCOMPARE(f->sortDirection, 1);
        QCOMPARE(listCaptions(list), (QStringList{"B.jpg", "c.jpg", "d.jpg", "a.jpg"}));
        QCOMPARE(list->subItem(3, 0), QStringLiteral("1,000KB"));
        clickColumn(list, 0);  // the direction alternates over all columns: descending
        QCOMPARE(f->sortDirection, 2);
        QCOMPARE(listCaptions(list), (QStringList{"d.jpg", "c.jpg", "a.jpg", "B.jpg"}));
        clickColumn(list, 0);  // names byte by byte: capitals first
        QCOMPARE(listCaptions(list), (QStringList{"B.jpg", "a.jpg", "c.jpg", "d.jpg"}));
        clickColumn(list, 1);
        QCOMPARE(listCaptions(list), (QStringList{"a.jpg", "d.jpg", "c.jpg", "B.jpg"}));
        QCOMPARE(list->subItem(0, 0), QStringLiteral("1,000KB"));

        // The table keeps its scan order: "next" goes to the second scanned entry.
        QCOMPARE(tableNames(f), scanOrder);
        TestProgram::click(f->G_step);
        QCOMPARE(f->currentIndex, 1);
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1B.jpg]").arg(folder.path()));
        QCOMPARE(list->caption(list->selectedRow()), QStringLiteral("B.jpg"));
        QCOMPARE(list->selectedRow(), 3);

        // A rescan from the kind box keeps the direction.
        chooseKind(f->ComboBox, 2);
        QCOMPARE(f->sortDirection, 2);
        QCOMPARE(listCaptions(list), scanOrder);
    }

    void equalKeysKeepTheirOrder() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
            QVERIFY(folder.write(name, jpegOfSize(3000)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        clickColumn(f->ListView, 3);
        QCOMPARE(listCaptions(f->ListView), (QStringList{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
        clickColumn(f->ListView, 2);
        QCOMPARE(listCaptions(f->ListView), (QStringList{"a.jpg", "b.jpg", "c.jpg", "d.jpg"}));
    }

    void onlyClicksAndEnterShowAnEntry() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        for (int i = 1; i <= 5; ++i)
            QVERIFY(folder.write(QStringLiteral("p%1.bmp").arg(i), bmpFile({i, i}, 24)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        TListView* list = f->ListView;
        QTreeView* rows = list->reportView();
        const QString first = p.caption();

        QTest::keyClick(rows, Qt::Key_Down);
        QTest::keyClick(rows, Qt::Key_Down);
        QCOMPARE(list->selectedRow(), 2);
        QCOMPARE(f->currentIndex, 0);
        QCOMPARE(p.caption(), first);

        QTest::keyClick(rows, Qt::Key_Return);
        QCOMPARE(f->currentIndex, 2);
        QCOMPARE(p.caption(), QStringLiteral("Kordel [%1p3.bmp]").arg(folder.path()));
        QCOMPARE(p.status(2), QStringLiteral("3/5"));
        QCOMPARE(navigation(f), QStringLiteral("EEEEEE"));

        clickRow(list, 4);
        QCOMPARE(f->currentIndex, 4);
        QCOMPARE(p.status(1), QStringLiteral("5x5"));
        QCOMPARE(navigation(f), QStringLiteral("EDEEDD"));
        clickRow(list, 0);
        QCOMPARE(f->currentIndex, 0);
        QCOMPARE(navigation(f), QStringLiteral("DEDDEE"));

        // The entry on show is not loaded again: a changed file shows only once another
        // entry was shown in between.
        QVERIFY(folder.write("p1.bmp", bmpFile({7, 3}, 24)));
        clickRow(list, 0);
        QCOMPARE(p.status(1), QStringLiteral("1x1"));
        clickRow(list, 1);
        clickRow(list, 0);
        QCOMPARE(p.status(1), QStringLiteral("7x3"));

        // A double click: the first click shows the entry, the second opens its file.
        clickRow(list, 3);
        QTest::mouseDClick(rows->viewport(), Qt::LeftButton, {}, rowRect(list, 3).center());
        QVERIFY(!p.fakes.shell->calls.isEmpty());
        QCOMPARE(p.fakes.shell->calls.last().op, QStringLiteral("open"));
        QCOMPARE(p.fakes.shell->calls.last().files, QStringList{folder.file("p4.bmp")});
    }

    void typedCharactersAreSwallowed() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        for (const char* name : {"a.bmp", "c.bmp", "d.bmp", "m.bmp", "x.bmp"})
            QVERIFY(folder.write(name, bmpFile({2, 2}, 24)));
        TForm1* f = p.form1();
        f->SortOpt = 1;
        f->RescanFileList();
        QTreeView* rows = f->ListView->reportView();
        const QString caption = p.caption();
        // "c", "d" and "m" are the copy, delete and move keys; nothing else types ahead.
        for (const char* keys : {"c", "d", "m", "C", "D", "M", "x"}) {
            QTest::keyClicks(rows, QString::fromLatin1(keys));
            QVERIFY2(f->ListView->selectedRow() == 0, keys);
        }
        QCOMPARE(f->currentIndex, 0);
        QCOMPARE(p.caption(), caption);
        QVERIFY(p.fakes.shell->calls.isEmpty());
        QVERIFY(p.fakes.dialogs->messages.isEmpty());
        QVERIFY(p.fakes.dialogs->confirmations.isEmpty());
        // The arrow keys still move.
        QTest::keyClick(rows, Qt::Key_End);
        QCOMPARE(f->ListView->selectedRow(), 4);
    }

    void listPopupAndShiftDrag() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        TForm1* f = p.form1();
        f->RescanFileList();
        openMenu(f->PopupMenu3);
        QVERIFY(!f->K2->isEnabled() && !f->K5->isEnabled() && !f->K6->isEnabled());

        QVERIFY(folder.write("a.bmp", bmpFile({2, 2}, 24)));
        f->RescanFileList();
        openMenu(f->PopupMenu3);
        QVERIFY(f->K2->isEnabled() && f->K5->isEnabled() && f->K6->isEnabled());
        QVERIFY(f->K3->isChecked());

        QTreeView* rows = f->ListView->reportView();
        const QPoint at = rowRect(f->ListView, 0).center();
        QTest::mousePress(rows->viewport(), Qt::LeftButton, Qt::ShiftModifier, at);
        QTest::mouseRelease(rows->viewport(), Qt::LeftButton, Qt::ShiftModifier, at);
        QCOMPARE(f->dragMove, 1);
        QTest::mousePress(rows->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(rows->viewport(), Qt::RightButton, {}, at);
        QCOMPARE(f->dragMove, 1);
        clickRow(f->ListView, 0);
        QCOMPARE(f->dragMove, 0);
    }

    void detailsOrPlainListIsKept() {
        TestProgram p;
        p.start();
        ScratchFolder folder;
        QVERIFY(folder.write("a.bmp", bmpFile({2, 2}, 24)));
        QVERIFY(folder.write("b.bmp", bmpFile({2, 2}, 24)));
        TForm1* f = p.form1();
        f->RescanFileList();
        QCOMPARE(f->ListView->viewStyle(), TListView::vsReport);

        // The item is reached through the list's pop-up menu, which sets its checkmark.
        auto chooseDetails = [&] {
            openMenu(f->PopupMenu3);
            p.trigger("K3");
        };
        chooseDetails();
        QCOMPARE(f->ListView->viewStyle(), TListView::vsList);
        QVERIFY(!f->K3->isChecked());
        openMenu(f->PopupMenu3);
        QVERIFY(!f->K3->isChecked());
        // A rescan fills the list in its own style and puts it back.
        f->RescanFileList();
        QCOMPARE(f->ListView->viewStyle(), TListView::vsList);
        QCOMPARE(f->ListView->count(), 2);

        chooseDetails();
        QCOMPARE(f->ListView->viewStyle(), TListView::vsReport);
        QVERIFY(f->K3->isChecked());
        chooseDetails();
        f->close();
        QVERIFY(p.readIni().contains(QStringLiteral("ViewStyle=2")));
    }
};

QTEST_MAIN(TestFileList)
#include "test_file_list.moc"
