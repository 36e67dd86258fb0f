#include "input_filter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QPointer>
#include <QWidget>

namespace kordel {

namespace {

bool isKind(QEvent::Type t, InputKind kind) {
    if (kind == InputKind::Keyboard)
        return t == QEvent::KeyPress || t == QEvent::KeyRelease || t == QEvent::ShortcutOverride;
    return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease ||
           t == QEvent::MouseButtonDblClick || t == QEvent::MouseMove || t == QEvent::Wheel;
}

bool isInput(QEvent::Type t) {
    return isKind(t, InputKind::Keyboard) || isKind(t, InputKind::Mouse);
}

// Eats the waiting input of `window` of the dropped kind for good; every other
// input, of that window or another, only for the moment, to be queued again
// afterwards in its order, so that the queue running here does not act on it
// inside the slow step (a second click in the catalogue would otherwise show its
// picture in the middle of showing the first one).
class Eater : public QObject {
public:
    Eater(QWidget* window, InputKind kind, bool shortcuts)
        : window_(window), kind_(kind), shortcuts_(shortcuts) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (!isInput(e->type()) || !watched->isWidgetType())
            return false;
        if (static_cast<QWidget*>(watched)->window() != window_ || !isKind(e->type(), kind_))
            kept_.append({QPointer<QObject>(watched), e->clone()});
        else if (e->type() == QEvent::ShortcutOverride && !shortcuts_)
            e->accept();  // as if the focus took the key: its shortcut is dropped too
        return true;
    }
    void requeue() {
        for (auto& [receiver, event] : kept_) {
            if (receiver)
                QCoreApplication::postEvent(receiver, event);
            else
                delete event;
        }
        kept_.clear();
    }

private:
    QWidget* window_;
    InputKind kind_;
    bool shortcuts_;
    QList<std::pair<QPointer<QObject>, QEvent*>> kept_;
};

}  // namespace

void discardQueuedInput(QWidget* window, InputKind kind, bool shortcuts) {
    Eater eater(window, kind, shortcuts);
    QCoreApplication::instance()->installEventFilter(&eater);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::instance()->removeEventFilter(&eater);
    eater.requeue();
}

}  // namespace kordel
