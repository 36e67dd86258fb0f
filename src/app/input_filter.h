// Dropping input that arrived while the window was busy.
#pragma once

class QWidget;

namespace kordel {

enum class InputKind { Keyboard, Mouse };

// Lets the event queue run once and drops the keyboard or mouse events waiting
// for `window` (and its children) meanwhile, so that keys typed or clicks made
// during a slow step are not acted on afterwards; the shortcuts of dropped keys
// fire only when `shortcuts` is set.
void discardQueuedInput(QWidget* window, InputKind kind, bool shortcuts = false);

}  // namespace kordel
