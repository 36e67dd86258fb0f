#include "input_filter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace kordel {

namespace {

bool isKind(QEvent::Type t, InputKind kind) {
    if (kind == InputKind::Keyboard)
        return t == QEvent::KeyPress || t == QEvent::KeyRelease || t == QEvent::ShortcutOverride;
    return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease ||
           t == QEvent::MouseButtonDblClick || t == QEvent::MouseMove || t == QEvent::Wheel;
}

class Eater : public QObject {
public:
    Eater(QWidget* window, InputKind kind) : window_(window), kind_(kind) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (!isKind(e->type(), kind_) || !watched->isWidgetType())
            return false;
        return static_cast<QWidget*>(watched)->window() == window_;
    }

private:
    QWidget* window_;
    InputKind kind_;
};

}  // namespace

void discardQueuedInput(QWidget* window, InputKind kind) {
    Eater eater(window, kind);
    QCoreApplication::instance()->installEventFilter(&eater);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::instance()->removeEventFilter(&eater);
}

}  // namespace kordel
