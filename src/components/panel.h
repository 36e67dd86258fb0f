// Panels that lay out their children by alignment, the way the classic
// desktop tool kit does: top-aligned children are stacked from the top in the
// order of their current top edges, bottom-aligned ones from the bottom, then
// left and right ones, and a client-aligned child fills what is left. An
// aligned child keeps its own height (top/bottom) or width (left/right); when
// code resizes it, shows or hides it, its siblings are laid out again.
#pragma once

#include <QFrame>

namespace kordel {

enum class Align { None, Top, Bottom, Left, Right, Client };

// Alignment of any widget inside a TPanel.
void setAlign(QWidget* widget, Align align);
// Aligns a new child after the siblings that already have the same alignment
// (below the top ones, above the bottom ones, and so on), as controls placed
// one after the other in a window's design.
void appendAligned(QWidget* widget, Align align);
Align alignOf(const QWidget* widget);

class TPanel : public QFrame {
    Q_OBJECT
public:
    enum class Bevel { None, Lowered, Raised };

    explicit TPanel(QWidget* parent = nullptr);

    void setBevelOuter(Bevel b);
    void setBevelInner(Bevel b);
    void setBevelWidth(int w);
    // The single-line border: a sunken edge two pixels wide on each side.
    void setSingleBorder(bool on);
    void setCaption(const QString& text);
    QString caption() const { return caption_; }

    // The area left for aligned children.
    QRect alignRect() const;
    // Lays the aligned children out now.
    void alignControls();

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    int frameInset() const;

    Bevel outer_ = Bevel::Raised;
    Bevel inner_ = Bevel::None;
    int bevelWidth_ = 1;
    bool singleBorder_ = false;
    bool aligning_ = false;
    QString caption_;
};

// A bevel line, like the tool kit's bevel shape "top line" or "bottom line".
class TBevel : public QWidget {
    Q_OBJECT
public:
    explicit TBevel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* e) override;
};

}  // namespace kordel
