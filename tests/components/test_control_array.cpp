// Control arrays: member names and count, members leaving, the classes taken,
// and member events reaching the array's handlers with the member's index.
#include <QtTest>

#include "control_array.h"

using namespace kordel;

namespace {

QStringList names(const TArCntrl& a) {
    QStringList n;
    for (int i = 0; i < a.NumOfArry(); ++i)
        n << a.memberAt(i)->objectName();
    return n;
}

}  // namespace

class TestControlArray : public QObject {
    Q_OBJECT

private slots:
    void countAndNames_data() {
        QTest::addColumn<QList<int>>("counts");  // set one after the other
        QTest::addColumn<QString>("taken");      // a name already on the owner
        QTest::addColumn<QStringList>("names");
        QTest::newRow("taken name skipped")
            << QList<int>{4} << "A_2" << QStringList{"A_0", "A_1", "A_3", "A_4"};
        QTest::newRow("shrink frees the last")
            << QList<int>{5, 2} << "" << QStringList{"A_0", "A_1"};
        QTest::newRow("grow again") << QList<int>{3, 1, 2} << "" << QStringList{"A_0", "A_1"};
        QTest::newRow("negative is none") << QList<int>{3, -1} << "" << QStringList{};
    }
    void countAndNames() {
        QFETCH(QList<int>, counts);
        QFETCH(QString, taken);
        QFETCH(QStringList, names);
        QWidget owner;
        owner.resize(300, 200);
        QObject other(&owner);
        other.setObjectName(taken);
        TArPanel a(QStringLiteral("A"), &owner);
        for (int n : counts)
            a.setNumOfArry(n);
        QCOMPARE(::names(a), names);
        QCOMPARE(a.Members(int(names.size())), nullptr);
        // Freed members are gone from the owner as well.
        QCOMPARE(owner.findChildren<TPanel*>().size(), names.size());
    }

    void memberDestroyedLeaves() {
        QWidget owner;
        TArImage a(QStringLiteral("I"), &owner);
        a.setNumOfArry(6);
        TImage* fifth = a.Members(4);
        QList<int> clicks;
        a.OnClick = [&](QWidget* sender, int index) {
            QCOMPARE(sender, fifth);
            clicks << index;
        };
        delete a.Members(3);
        QCOMPARE(a.NumOfArry(), 5);
        QCOMPARE(a.Members(3), fifth);
        QTest::mouseClick(fifth, Qt::LeftButton);
        QCOMPARE(clicks, QList<int>{3});
    }

    void acceptance_data() {
        QTest::addColumn<int>("control");  // 0 label, 1 frame, 2 panel
        QTest::addColumn<QString>("error");
        QTest::newRow("other class") << 0 << "QLabel オブジェクトは受け入れられません";
        QTest::newRow("a base of the member class") << 1 << "";
        QTest::newRow("the member class") << 2 << "";
    }
    void acceptance() {
        QFETCH(int, control);
        QFETCH(QString, error);
        QWidget owner;
        TArPanel a(QStringLiteral("P"), &owner);
        a.setNumOfArry(1);
        QWidget* w = control == 0   ? static_cast<QWidget*>(new QLabel(&owner))
                     : control == 1 ? new QFrame(&owner)
                                    : new TPanel(&owner);
        QString why;
        const int index = a.AddMember(w, &why);
        QCOMPARE(why, error);
        QCOMPARE(index, error.isEmpty() ? 1 : -1);
        QCOMPARE(a.NumOfArry(), error.isEmpty() ? 2 : 1);
        a.RemoveMember(index);
        QCOMPARE(a.NumOfArry(), 1);
    }

    void eventsCarryTheIndex_data() {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("calls");
        QTest::newRow("click") << "click"
                               << "down 3|click 3|up 3";
        QTest::newRow("double click") << "double"
                                      << "dbl 3|down 3";
        QTest::newRow("move") << "move"
                              << "move 3";
        QTest::newRow("key swallowed") << "key"
                                       << "key 3";
    }
    void eventsCarryTheIndex() {
        QFETCH(QString, event);
        QFETCH(QString, calls);
        QWidget owner;
        owner.resize(400, 400);
        TArLabel labels(QStringLiteral("L"), &owner);
        TArPanel panels(QStringLiteral("P"), &owner);
        labels.setNumOfArry(5);
        panels.setNumOfArry(5);
        QStringList got;
        auto note = [&](const char* what) {
            return [&got, what](QWidget*, int i, auto&&...) {
                got << QStringLiteral("%1 %2").arg(what).arg(i);
            };
        };
        for (TArCntrl* a : {static_cast<TArCntrl*>(&labels), static_cast<TArCntrl*>(&panels)}) {
            a->OnClick = note("click");
            a->OnDblClick = note("dbl");
            a->OnMouseDown = note("down");
            a->OnMouseUp = note("up");
            a->OnMouseMove = note("move");
        }
        panels.OnKeyDown = [&](QWidget*, int i, int& key, Qt::KeyboardModifiers) {
            got << QStringLiteral("key %1").arg(i);
            key = 0;
        };
        panels.OnKeyPress = [&](QWidget*, int i, QString&) {
            got << QStringLiteral("press %1").arg(i);
        };
        QLabel* label = labels.Members(3);
        if (event == "click")
            QTest::mouseClick(label, Qt::LeftButton);
        else if (event == "double")
            QTest::mouseDClick(label, Qt::LeftButton);
        else if (event == "move") {
            QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)),
                             Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(label, &move);
        } else
            QTest::keyClick(panels.Members(3), Qt::Key_X);
        QCOMPARE(got.join(u'|'), calls);
    }
};

QTEST_MAIN(TestControlArray)
#include "test_control_array.moc"
