#include <QMouseEvent>
#include <QtTest>
#include <memory>

#include "split_pnl.h"

using namespace kordel;

namespace {

QWidget* coloured(QWidget* parent, const QRect& geometry, const QColor& color) {
    auto* widget = new QWidget(parent);
    widget->setGeometry(geometry);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
    return widget;
}

QRgb inverse(const QColor& color) {
    return ~color.rgb() & 0xffffff;
}

QRgb pixelOf(QWidget* widget, int x, int y) {
    return widget->grab().toImage().pixel(x, y) & 0xffffff;
}

// A move with no button held, as the mouse passing over the bar.
void hover(QWidget* widget, const QPoint& pos) {
    QMouseEvent event(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QtMessageHandler previousHandler = nullptr;

// The offscreen platform cannot grab the real mouse and says so on every grab;
// the widget-level grab the tests check works regardless.
void quietAboutGrabs(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("does not support grabbing the mouse")))
        return;
    previousHandler(type, context, message);
}

const QColor kFormColor(200, 100, 50);
const QColor kPanelColor(10, 20, 30);
const QColor kBarColor(90, 90, 200);

// A bar whose mouse handlers drive a TSplitControl, as a window's handlers do.
class Splitter : public QWidget {
public:
    Splitter(QWidget* parent, TSplitControl& sizer, QWidget* sized)
        : QWidget(parent), sizer_(sizer), sized_(sized) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            sizer_.BeginSizing(this, sized_);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (sizer_.IsSizing())
            sizer_.ChangeSizing(event->position().toPoint().x(), event->position().toPoint().y());
    }
    void mouseReleaseEvent(QMouseEvent*) override {
        if (sizer_.IsSizing())
            sizer_.EndSizing();
    }

private:
    TSplitControl& sizer_;
    QPointer<QWidget> sized_;
};

}  // namespace

class TestSplitPnl : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { previousHandler = qInstallMessageHandler(quietAboutGrabs); }
    void init();
    void cleanup();

    void controlDragResizesOnRelease();
    void controlLineShowsTheInverse();
    void controlHorizontalBarSetsTheHeight();
    void controlEndsCleanlyWhenTheBarGoesAway();
    void controlIsOwnedByTheForm();

    void panelPressWithoutMovingGrowsByOnePixel();
    void panelDragResizesOnRelease();
    void panelLimitsKeepTheLineInsideTheParent();
    void panelControlRightOfTheBar();
    void panelCursorRule();
    void panelWithoutControlIgnoresTheMouse();
    void panelControlDestroyed();
    void panelHiddenMidDragReleasesTheMouse();

private:
    // The tree panel, 125 wide, and the 3-pixel bar right of it, driven by sizer.
    Splitter* treeAndSplitter(TSplitControl& sizer, QWidget*& tree);

    std::unique_ptr<QWidget> form_;
    // Panel inside the form at (20, 30), so form and bar coordinates differ.
    QWidget* area_ = nullptr;
};

void TestSplitPnl::init() {
    form_ = std::make_unique<QWidget>();
    form_->resize(400, 340);
    QPalette palette = form_->palette();
    palette.setColor(QPalette::Window, kFormColor);
    form_->setPalette(palette);
    form_->setAutoFillBackground(true);
    area_ = new QWidget(form_.get());
    area_->setGeometry(20, 30, 300, 300);
}

void TestSplitPnl::cleanup() {
    form_.reset();
}

Splitter* TestSplitPnl::treeAndSplitter(TSplitControl& sizer, QWidget*& tree) {
    tree = coloured(area_, QRect(0, 0, 125, 300), kPanelColor);
    auto* bar = new Splitter(area_, sizer, tree);
    bar->setGeometry(125, 0, 3, 300);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, kBarColor);
    bar->setPalette(palette);
    bar->setAutoFillBackground(true);
    form_->show();
    return bar;
}

void TestSplitPnl::controlDragResizesOnRelease() {
    TSplitControl sizer(form_.get());
    QWidget* tree;
    Splitter* bar = treeAndSplitter(sizer, tree);

    // Pressing and releasing without moving keeps the width.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 10));
    QVERIFY(sizer.IsSizing());
    QCOMPARE(QWidget::mouseGrabber(), bar);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(1, 10));
    QVERIFY(!sizer.IsSizing());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(tree->size(), QSize(125, 300));

    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::mouseMove(bar, QPoint(40, 12));
    // The line follows the mouse, centred on the bar's left edge plus 40, from
    // the bar's top to its bottom; nothing is resized yet.
    QWidget* line = sizer.dragLine();
    QVERIFY(line && line->isVisible());
    QCOMPARE(line->geometry(), QRect(20 + 125 + 40 - 1, 30, 3, 300));
    QCOMPARE(sizer.linePosition(), QPoint(40, 0));
    QCOMPARE(tree->width(), 125);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(40, 12));
    QCOMPARE(tree->size(), QSize(165, 300));
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QVERIFY(!sizer.dragLine());

    // No limits; a drag far past the control's left edge leaves it empty.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::mouseMove(bar, QPoint(-1000, 10));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(-1000, 10));
    QCOMPARE(tree->width(), 0);
}

void TestSplitPnl::controlLineShowsTheInverse() {
    TSplitControl sizer(form_.get());
    QWidget* tree;
    Splitter* bar = treeAndSplitter(sizer, tree);

    // At the start the 3-pixel line straddles the tree's last column and the bar.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
    QWidget* line = sizer.dragLine();
    QVERIFY(line);
    QCOMPARE(line->geometry(), QRect(20 + 124, 30, 3, 300));
    QCOMPARE(pixelOf(line, 0, 50), inverse(kPanelColor));
    QCOMPARE(pixelOf(line, 2, 50), inverse(kBarColor));
    // Over the form itself, above all of the form's children.
    QTest::mouseMove(bar, QPoint(250, 10));
    QCOMPARE(pixelOf(line, 1, 50), inverse(kFormColor));
    QCOMPARE(form_->children().last(), line);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(250, 10));
}

void TestSplitPnl::controlHorizontalBarSetsTheHeight() {
    TSplitControl sizer(form_.get());
    QWidget* top = coloured(area_, QRect(0, 0, 300, 100), kPanelColor);
    auto* bar = new Splitter(area_, sizer, top);
    bar->setGeometry(0, 100, 300, 3);
    form_->show();

    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(5, 0));
    QTest::mouseMove(bar, QPoint(80, 25));
    QCOMPARE(sizer.linePosition(), QPoint(0, 25));
    QCOMPARE(sizer.dragLine()->geometry(), QRect(20, 30 + 100 + 25 - 1, 300, 3));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(80, 25));
    QCOMPARE(top->size(), QSize(300, 125));
}

void TestSplitPnl::controlEndsCleanlyWhenTheBarGoesAway() {
    TSplitControl sizer(form_.get());
    QWidget* tree;
    Splitter* bar = treeAndSplitter(sizer, tree);

    // Hidden mid-drag: the mouse is given back and nothing is resized.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::mouseMove(bar, QPoint(30, 10));
    QPointer<QWidget> line = sizer.dragLine();
    bar->hide();
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(30, 10));
    QVERIFY(!sizer.IsSizing());
    QVERIFY(!line);
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(tree->width(), 125);
    // A hidden bar does not start a drag.
    sizer.BeginSizing(bar, tree);
    QVERIFY(!sizer.IsSizing());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);

    // Destroyed mid-drag.
    bar->show();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
    line = sizer.dragLine();
    QVERIFY(line);
    delete bar;
    QVERIFY(!sizer.IsSizing());
    QVERIFY(!line);
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QTest::mouseRelease(form_.get(), Qt::LeftButton, {}, QPoint(5, 5));

    // The sized control destroyed mid-drag: the release resizes nothing.
    auto* bar2 = new Splitter(area_, sizer, tree);
    bar2->setGeometry(125, 0, 3, 300);
    bar2->show();
    QTest::mousePress(bar2, Qt::LeftButton, {}, QPoint(0, 10));
    delete tree;
    QTest::mouseRelease(bar2, Qt::LeftButton, {}, QPoint(20, 10));
    QVERIFY(!sizer.IsSizing());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
}

void TestSplitPnl::controlIsOwnedByTheForm() {
    QPointer<TSplitControl> sizer = new TSplitControl(form_.get());
    QWidget* tree;
    Splitter* bar = treeAndSplitter(*sizer, tree);
    // Closing the window mid-drag destroys the object and gives the mouse back.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(0, 10));
    QVERIFY(sizer->IsSizing());
    form_.reset();
    QVERIFY(!sizer);
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QWidget elsewhere;
    QTest::mouseRelease(&elsewhere, Qt::LeftButton, {}, QPoint(1, 1));
}

// The panel arranged as below a viewer: the viewer panel at the top of the
// area, the 2-pixel bar beneath it.
struct PanelSetUp {
    QWidget* view;
    TSplitPanel* bar;
};

static PanelSetUp horizontalPanel(QWidget* area) {
    QWidget* view = coloured(area, QRect(0, 0, 300, 100), kPanelColor);
    auto* bar = new TSplitPanel(area);
    bar->setGeometry(0, 100, 300, 2);
    bar->setSplit(spHorizontalLine);
    bar->setReSizeControl(view);
    return {view, bar};
}

void TestSplitPnl::panelPressWithoutMovingGrowsByOnePixel() {
    auto [view, bar] = horizontalPanel(area_);
    form_->show();
    // Any button drags.
    QTest::mousePress(bar, Qt::RightButton, {}, QPoint(150, 0));
    QVERIFY(bar->isDragging());
    QCOMPARE(bar->linePosition(), QPoint(1, 1));
    QCOMPARE(QWidget::mouseGrabber(), bar);
    QTest::mouseRelease(bar, Qt::RightButton, {}, QPoint(150, 0));
    QVERIFY(!bar->isDragging());
    QCOMPARE(view->size(), QSize(300, 101));
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
}

void TestSplitPnl::panelDragResizesOnRelease() {
    auto [view, bar] = horizontalPanel(area_);
    form_->show();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(bar, QPoint(90, 41));
    QCOMPARE(bar->linePosition(), QPoint(1, 41));
    // Along the middle of the bar (2 high), from one pixel in to its right edge.
    QWidget* line = bar->dragLine();
    QVERIFY(line && line->isVisible());
    QCOMPARE(line->geometry(), QRect(20 + 1, 30 + 100 + 41, 299, 2));
    QCOMPARE(pixelOf(line, 10, 0), inverse(kFormColor));
    QCOMPARE(view->height(), 100);

    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(90, 41));
    QCOMPARE(view->size(), QSize(300, 141));
    QVERIFY(!bar->dragLine());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
}

void TestSplitPnl::panelLimitsKeepTheLineInsideTheParent() {
    auto [view, bar] = horizontalPanel(area_);
    bar->setParentBevelWidth(5);
    form_->show();

    // Up: no closer than bevel + 1 to the parent's top.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(bar, QPoint(1, -500));
    QCOMPARE(bar->linePosition(), QPoint(1, 6 - 100));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(1, -500));
    QCOMPARE(view->height(), 6);

    // Down: the bar's own height and bevel + 1 from the bottom (300 - 2 - 5 - 1).
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(bar, QPoint(1, 500));
    QCOMPARE(bar->linePosition(), QPoint(1, 292 - 100));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(1, 500));
    QCOMPARE(view->height(), 292);

    // Inside the limits the line follows the mouse, up to the limit itself.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(bar, QPoint(1, -93));
    QCOMPARE(bar->linePosition(), QPoint(1, -93));
    QTest::mouseMove(bar, QPoint(1, 191));
    QCOMPARE(bar->linePosition(), QPoint(1, 191));
    QTest::mouseMove(bar, QPoint(1, 192));
    QCOMPARE(bar->linePosition(), QPoint(1, 192));
    QTest::mouseMove(bar, QPoint(1, -93));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(1, -93));
    QCOMPARE(view->height(), 7);
}

void TestSplitPnl::panelControlRightOfTheBar() {
    QWidget* right = coloured(area_, QRect(103, 0, 97, 300), kPanelColor);
    auto* bar = new TSplitPanel(area_);
    bar->setGeometry(100, 0, 3, 300);
    bar->setReSizeControl(right);
    form_->show();

    // 40 to the left of the start, one pixel into the bar: 97 + 40 - 1.
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(bar, QPoint(-39, 1));
    QCOMPARE(bar->dragLine()->geometry(), QRect(20 + 100 - 39, 30 + 1, 3, 299));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(-39, 1));
    QCOMPARE(right->size(), QSize(136, 300));
}

void TestSplitPnl::panelCursorRule() {
    auto [view, bar] = horizontalPanel(area_);
    form_->show();
    hover(bar, QPoint(10, 1));
    QCOMPARE(bar->cursor().shape(), Qt::SplitVCursor);
    bar->setSplit(spVerticalLine);
    hover(bar, QPoint(11, 1));
    QCOMPARE(bar->cursor().shape(), Qt::SplitHCursor);
    // Hovering neither starts a drag nor takes the mouse.
    QVERIFY(!bar->isDragging());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QCOMPARE(view->height(), 100);
}

void TestSplitPnl::panelWithoutControlIgnoresTheMouse() {
    auto* bar = new TSplitPanel(area_);
    bar->setGeometry(0, 100, 300, 2);
    bar->setSplit(spHorizontalLine);
    form_->show();
    const int childrenBefore = form_->findChildren<QWidget*>().size();

    hover(bar, QPoint(10, 1));
    QVERIFY(!bar->testAttribute(Qt::WA_SetCursor));
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(10, 1));
    QVERIFY(!bar->isDragging());
    QVERIFY(!bar->dragLine());
    QCOMPARE(form_->findChildren<QWidget*>().size(), childrenBefore);
    QTest::mouseMove(bar, QPoint(10, 40));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(10, 40));
    QVERIFY(!bar->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    // Called directly it does nothing either.
    bar->BeginSplit();
    QVERIFY(!bar->isDragging());
}

void TestSplitPnl::panelControlDestroyed() {
    auto [view, bar] = horizontalPanel(area_);
    form_->show();
    delete view;
    QCOMPARE(bar->reSizeControl(), nullptr);

    // Destroyed mid-drag: the release only ends the drag.
    QWidget* view2 = coloured(area_, QRect(0, 0, 300, 100), kPanelColor);
    view2->show();
    bar->setReSizeControl(view2);
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(bar, QPoint(1, 20));
    delete view2;
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(1, 20));
    QVERIFY(!bar->isDragging());
    QVERIFY(!bar->dragLine());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
}

void TestSplitPnl::panelHiddenMidDragReleasesTheMouse() {
    auto [view, bar] = horizontalPanel(area_);
    form_->show();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(bar, QPoint(1, 30));
    QPointer<QWidget> line = bar->dragLine();
    QVERIFY(line);
    // Hiding the window hides the bar with it.
    form_->hide();
    QVERIFY(!bar->isDragging());
    QVERIFY(!line);
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(1, 30));
    QCOMPARE(view->height(), 100);

    // Destroyed mid-drag.
    form_->show();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 1));
    line = bar->dragLine();
    QCOMPARE(QWidget::mouseGrabber(), bar);
    delete bar;
    QVERIFY(!line);
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
    QTest::mouseRelease(form_.get(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(view->height(), 100);
}

QTEST_MAIN(TestSplitPnl)
#include "test_split_pnl.moc"
