// A tool-bar button with a glyph, like the classic tool kit's speed button:
// plain push buttons, and toggles that are grouped by a group index. Within
// a group at most one button is down; all may be up.
#pragma once

#include <QToolButton>

namespace kordel {

class TSpeedButton : public QToolButton {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget* parent = nullptr);

    // 0: a push button; otherwise a toggle in that group.
    void setGroupIndex(int group);
    int groupIndex() const { return group_; }
    // Puts the button down or up without running its click handler; putting it
    // down raises the other buttons of its group.
    void setDown(bool down);
    bool isDown() const { return isChecked(); }

protected:
    void nextCheckState() override;

private:
    void raiseSiblings();
    int group_ = 0;
};

}  // namespace kordel
