// Splitter bars: the line that follows the mouse, where the resized control
// ends up, and drags that end because the bar, the control or the window goes.
#include <QMouseEvent>
#include <QtTest>
#include <memory>

#include "split_pnl.h"

using namespace kordel;

namespace {

QWidget* coloured(QWidget* parent, const QRect& geometry, const QColor& color) {
    auto* widget = new QWidget(parent);
    widget->setGeometry(geometry);
    widget->setPalette(QPalette(color));
    widget->setAutoFillBackground(true);
    return widget;
}

QtMessageHandler previousHandler = nullptr;

// The offscreen platform cannot grab the real mouse and says so on every grab;
// the widget-level grab the tests check works regardless.
void quietAboutGrabs(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.contains(QLatin1String("does not support grabbing the mouse")))
        previousHandler(type, context, message);
}

// A bar whose mouse handlers drive a TSplitControl, as a window's handlers do.
class Splitter : public QWidget {
public:
    Splitter(QWidget* parent, TSplitControl& sizer, QWidget* sized)
        : QWidget(parent), sizer_(sizer), sized_(sized) {}

protected:
    void mousePressEvent(QMouseEvent*) override { sizer_.BeginSizing(this, sized_); }
    void mouseMoveEvent(QMouseEvent* event) override {
        sizer_.ChangeSizing(event->position().toPoint().x(), event->position().toPoint().y());
    }
    void mouseReleaseEvent(QMouseEvent*) override { sizer_.EndSizing(); }

private:
    TSplitControl& sizer_;
    QPointer<QWidget> sized_;
};

}  // namespace

class TestSplitPnl : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> form_;
    // Inside the form at (20, 30), so form and bar coordinates differ.
    QWidget* area_ = nullptr;

    // A panel bar, or a plain bar driven by a TSplitControl, that resizes `sized`.
    QWidget* makeBar(bool panel, const QRect& geometry, QWidget* sized, int bevel = 0) {
        QWidget* bar;
        if (panel) {
            auto* splitPanel = new TSplitPanel(area_);
            splitPanel->setSplit(geometry.width() > geometry.height() ? spHorizontalLine
                                                                      : spVerticalLine);
            splitPanel->setParentBevelWidth(bevel);
            splitPanel->setReSizeControl(sized);
            bar = splitPanel;
        } else {
            bar = new Splitter(area_, *new TSplitControl(form_.get()), sized);
        }
        bar->setGeometry(geometry);
        form_->show();
        return bar;
    }
    // The drag line, a child of the form beside the area; null when there is none.
    QWidget* line() const {
        for (QWidget* child : form_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child != area_)
                return child;
        return nullptr;
    }

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(quietAboutGrabs); }
    void init() {
        form_ = std::make_unique<QWidget>();
        form_->resize(400, 340);
        area_ = coloured(form_.get(), QRect(20, 30, 300, 300), QColor(200, 100, 50));
    }
    void cleanup() { form_.reset(); }

    void drag_data() {
        QTest::addColumn<bool>("panel");
        QTest::addColumn<QRect>("bar");
        QTest::addColumn<QRect>("sized");
        QTest::addColumn<int>("bevel");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QRect>("lineAt");
        QTest::addColumn<QSize>("size");
        const QRect tree(0, 0, 125, 300), treeBar(125, 0, 3, 300);
        // The plain bar's line is centred on its first column plus the move.
        QTest::newRow("right") << false << treeBar << tree << 0 << QPoint(40, 12)
                               << QRect(184, 30, 3, 300) << QSize(165, 300);
        // Past the parent's edge the bar stops at it, where it can still be caught.
        QTest::newRow("past the right edge") << false << treeBar << tree << 0 << QPoint(240, 12)
                                             << QRect(384, 30, 3, 300) << QSize(297, 300);
        // The panel's line starts one pixel into the bar and stays within the parent,
        // bevel + 1 from its top and the bar's height more from its bottom.
        const QRect view(0, 0, 300, 100), viewBar(0, 100, 300, 2);
        QTest::newRow("panel, no move grows by one pixel")
            << true << viewBar << view << 0 << QPoint(1, 1) << QRect(21, 131, 299, 2)
            << QSize(300, 101);
        QTest::newRow("panel, up to the limit") << true << viewBar << view << 5 << QPoint(1, -500)
                                                << QRect(21, 36, 299, 2) << QSize(300, 6);
        QTest::newRow("panel, down to the limit") << true << viewBar << view << 5 << QPoint(1, 500)
                                                  << QRect(21, 322, 299, 2) << QSize(300, 292);
        // Left of the control, moving left widens it.
        QTest::newRow("panel left of the control")
            << true << QRect(100, 0, 3, 300) << QRect(103, 0, 97, 300) << 0 << QPoint(-39, 1)
            << QRect(81, 31, 3, 299) << QSize(136, 300);
    }
    void drag() {
        QFETCH(bool, panel);
        QFETCH(QRect, bar);
        QFETCH(QRect, sized);
        QFETCH(int, bevel);
        QFETCH(QPoint, to);
        QFETCH(QRect, lineAt);
        QFETCH(QSize, size);
        QWidget* control = coloured(area_, sized, QColor(10, 20, 30));
        QWidget* splitter = makeBar(panel, bar, control, bevel);
        const QImage before = form_->grab().toImage();

        QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(QWidget::mouseGrabber(), splitter);
        QTest::mouseMove(splitter, to);
        // The line shows the inverse of the form beneath it, above all of its children.
        QCOMPARE(form_->children().last(), line());
        QCOMPARE(line()->geometry(), lineAt);
        const QPoint middle = lineAt.center();
        QCOMPARE(line()->grab().toImage().pixel(middle - lineAt.topLeft()) & 0xffffff,
                 ~before.pixel(middle) & 0xffffff);
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, to);
        QCOMPARE(control->size(), size);
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QVERIFY(!line());
    }

    void interrupted_data() {
        QTest::addColumn<bool>("panel");
        QTest::addColumn<QString>("what");
        for (const bool panel : {false, true})
            for (const char* what : {"hide window", "delete bar", "delete control"})
                QTest::addRow("%s, %s", panel ? "panel" : "plain bar", what)
                    << panel << QString(what);
    }
    void interrupted() {
        // Drags that end without a release on the bar give the mouse back and resize nothing.
        QFETCH(bool, panel);
        QFETCH(QString, what);
        QPointer<QWidget> tree = coloured(area_, QRect(0, 0, 125, 300), Qt::black);
        QPointer<QWidget> bar = makeBar(panel, QRect(125, 0, 3, 300), tree);
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 10));
        QTest::mouseMove(bar, QPoint(30, 10));
        QVERIFY(line());
        if (what == "hide window")
            form_->hide();
        else if (what == "delete bar")
            delete bar;
        else
            delete tree;
        QWidget elsewhere;
        QTest::mouseRelease(bar ? bar.data() : &elsewhere, Qt::LeftButton, {}, QPoint(30, 10));
        QVERIFY(!line());
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QVERIFY(!tree || tree->width() == 125);
        if (what == "hide window") {  // a hidden bar does not start a drag either
            QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 10));
            QCOMPARE(QWidget::mouseGrabber(), nullptr);
        }
    }
};

QTEST_MAIN(TestSplitPnl)
#include "test_split_pnl.moc"
