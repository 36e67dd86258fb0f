#include "speed_button.h"

namespace kordel {

TSpeedButton::TSpeedButton(QWidget* parent) : QToolButton(parent) {
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(false);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

void TSpeedButton::setGroupIndex(int group) {
    group_ = group;
    setCheckable(group != 0);
}

void TSpeedButton::setDown(bool down) {
    if (!isCheckable())
        return;
    setChecked(down);
    if (down)
        raiseSiblings();
}

void TSpeedButton::nextCheckState() {
    QToolButton::nextCheckState();
    if (isChecked())
        raiseSiblings();
}

void TSpeedButton::raiseSiblings() {
    if (!parentWidget())
        return;
    for (auto* b : parentWidget()->findChildren<TSpeedButton*>(Qt::FindDirectChildrenOnly))
        if (b != this && b->group_ == group_ && group_ != 0)
            b->setChecked(false);
}

}  // namespace kordel
