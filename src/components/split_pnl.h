// Splitter bars that resize a neighbouring control. While the bar is dragged
// only a line follows the mouse; the neighbour is resized once, on release.
#pragma once

#include <QFrame>
#include <QObject>
#include <QPoint>
#include <QPointer>

namespace kordel {

// spVerticalLine: the bar moves left and right and sets the control's width;
// spHorizontalLine: it moves up and down and sets the height.
enum TSplitType { spVerticalLine, spHorizontalLine };

class TSplitLine;

// A panel that is itself the bar. Without a control to resize it ignores the
// mouse.
class TSplitPanel : public QFrame {
    Q_OBJECT

public:
    explicit TSplitPanel(QWidget* parent = nullptr);
    ~TSplitPanel() override;

    // ReSizeControl: cleared when that widget is destroyed.
    QWidget* reSizeControl() const { return reSizeControl_; }
    void setReSizeControl(QWidget* control) { reSizeControl_ = control; }
    // Split
    TSplitType split() const { return split_; }
    void setSplit(TSplitType split) { split_ = split; }
    // ParentBevelWidth: margin kept free at each edge of the parent.
    int parentBevelWidth() const { return parentBevelWidth_; }
    void setParentBevelWidth(int width) { parentBevelWidth_ = width; }

    // Starts a drag: captures the mouse and shows the line one pixel into the bar.
    void BeginSplit();
    // Moves the line by (dx, dy) along the bar's axis, kept inside the parent
    // less ParentBevelWidth + 1 pixels (and the bar's own size at the far end).
    void MoveSplit(int dx, int dy);
    // Ends a drag: hides the line, releases the mouse and, when apply is true,
    // resizes ReSizeControl so that its edge meets the line.
    void EndSplit(bool apply);

    bool isDragging() const { return dragging_; }
    // Line position in the bar's own coordinates.
    QPoint linePosition() const { return linePos_; }
    // The line shown on the form while dragging; null when idle.
    QWidget* dragLine() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void drawLine();

    QPointer<QWidget> drawingForm_;
    QPointer<QWidget> reSizeControl_;
    TSplitType split_ = spVerticalLine;
    QPoint linePos_;
    bool dragging_ = false;
    int parentBevelWidth_ = 0;
    QPointer<TSplitLine> line_;
};

// Drives a bar made of any widget from that widget's mouse handlers: the owner
// calls BeginSizing on press, ChangeSizing on move and EndSizing on release.
// A bar wider than high moves up and down and sets the sized widget's height;
// otherwise it moves left and right and sets the width. The line is not limited.
class TSplitControl : public QObject {
    Q_OBJECT

public:
    // form: the window the line is shown on; it owns the object.
    explicit TSplitControl(QWidget* form);
    ~TSplitControl() override;

    void BeginSizing(QWidget* bar, QWidget* sized);
    bool IsSizing() const { return !bar_.isNull(); }
    // (x, y): mouse position in the bar's coordinates.
    void ChangeSizing(int x, int y);
    void EndSizing();

    // Line position in the bar's own coordinates.
    QPoint linePosition() const { return linePos_; }
    // The line shown on the form while sizing; null when idle.
    QWidget* dragLine() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void drawLine();
    // Ends a drag without resizing anything.
    void abandon();

    QPointer<QWidget> form_;
    QPointer<QWidget> bar_;
    QPointer<QWidget> sized_;
    bool horizontal_ = false;
    QPoint linePos_;
    QPointer<TSplitLine> line_;
    QMetaObject::Connection barDestroyed_;
};

}  // namespace kordel
