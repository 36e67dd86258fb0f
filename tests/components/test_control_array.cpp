// Control arrays: member names and count, members leaving, the classes taken,
// and member events reaching the array's handlers with the member's index.
#include <QtTest>

#include "control_array.h"

using namespace kordel;

class TestControlArray : public QObject {
    Q_OBJECT

private slots:
    void countAndNames_data() {
        QTest::addColumn<QList<int>>("counts");  // set one after the other
        QTest::addColumn<QString>("taken");      // a name already on the owner
        QTest::addColumn<QString>("names");
        QTest::newRow("taken name skipped") << QList<int>{4} << "A_2"
                                            << "A_0 A_1 A_3 A_4";
        QTest::newRow("shrink frees the last") << QList<int>{5, 2} << ""
                                               << "A_0 A_1";
        QTest::newRow("grow again") << QList<int>{3, 1, 2} << ""
                                    << "A_0 A_1";
        QTest::newRow("negative is none") << QList<int>{3, -1} << ""
                                          << "";
    }
    void countAndNames() {
        QFETCH(QList<int>, counts);
        QFETCH(QString, taken);
        QWidget owner;
        QObject other(&owner);
        other.setObjectName(taken);
        TArPanel a(QStringLiteral("A"), &owner);
        for (int n : counts)
            a.setNumOfArry(n);
        QStringList got;
        for (int i = 0; i <= a.NumOfArry(); ++i)
            got << (a.Members(i) ? a.Members(i)->objectName() : QString());
        QTEST(got.join(u' ').trimmed(), "names");
        // Freed members are gone from the owner as well.
        QCOMPARE(owner.findChildren<TPanel*>().size(), a.NumOfArry());
    }

    void acceptance_data() {
        QTest::addColumn<QWidget*>("control");
        QTest::addColumn<QString>("error");
        QTest::newRow("other class")
            << (QWidget*)new QLabel << "QLabel オブジェクトは受け入れられません";
        QTest::newRow("a base of the member class") << (QWidget*)new QFrame << "";
        QTest::newRow("the member class") << (QWidget*)new TPanel << "";
    }
    void acceptance() {
        QFETCH(QWidget*, control);
        QFETCH(QString, error);
        std::unique_ptr<QWidget> owned(control);
        TArPanel a(QStringLiteral("P"), nullptr);
        QString why;
        QCOMPARE(a.AddMember(control, &why), error.isEmpty() ? 0 : -1);
        QCOMPARE(why, error);
        QCOMPARE(a.NumOfArry(), error.isEmpty() ? 1 : 0);
    }

    // Member 3 is destroyed: the one after it becomes member 3 and its events say so.
    void eventsCarryTheIndex_data() {
        QTest::addColumn<int>("event");
        QTest::addColumn<QString>("calls");
        QTest::newRow("click") << 0 << "down 3|click 3|up 3";
        QTest::newRow("double click") << 1 << "dbl 3|down 3";
        QTest::newRow("move") << 2 << "move 3";
        QTest::newRow("key swallowed") << 3 << "key 3";
    }
    void eventsCarryTheIndex() {
        QFETCH(int, event);
        QWidget owner;
        TArImage images(QStringLiteral("I"), &owner);
        TArPanel panels(QStringLiteral("P"), &owner);
        images.setNumOfArry(5);
        panels.setNumOfArry(5);
        QWidget* member = event == 3 ? (QWidget*)panels.Members(4) : images.Members(4);
        delete images.Members(3);
        delete panels.Members(3);
        QStringList got;
        auto note = [&got](const char* what) {
            return [&got, what](QWidget*, int i, auto&&...) {
                got << QStringLiteral("%1 %2").arg(what).arg(i);
            };
        };
        images.OnClick = note("click");
        images.OnDblClick = note("dbl");
        images.OnMouseDown = note("down");
        images.OnMouseUp = note("up");
        images.OnMouseMove = note("move");
        panels.OnKeyDown = [&](QWidget*, int i, int& key, Qt::KeyboardModifiers) {
            got << QStringLiteral("key %1").arg(i);
            key = 0;
        };
        panels.OnKeyPress = note("press");
        QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        if (event == 0)
            QTest::mouseClick(member, Qt::LeftButton);
        else if (event == 1)
            QTest::mouseDClick(member, Qt::LeftButton);
        else if (event == 2)
            QApplication::sendEvent(member, &move);
        else
            QTest::keyClick(member, Qt::Key_X);
        QTEST(got.join(u'|'), "calls");
    }
};

QTEST_MAIN(TestControlArray)
#include "test_control_array.moc"
