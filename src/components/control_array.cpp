#include "control_array.h"

#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>

namespace kordel {

namespace {

// Offsets of the cascade in which new members are placed.
constexpr int kStepX = 15, kStepY = 30;

QString bareClassName(const QObject* o) {
    const QString name = QString::fromLatin1(o->metaObject()->className());
    const int colon = name.lastIndexOf(u':');
    return colon < 0 ? name : name.mid(colon + 1);
}

}  // namespace

TArCntrl::TArCntrl(const QMetaObject* memberClass,
                   unsigned events,
                   const QString& name,
                   QWidget* owner)
    : QObject(owner), memberClass_(memberClass), events_(events) {
    setObjectName(name);
}

TArCntrl::~TArCntrl() {
    // The members stay: their owner frees them.
    for (const TCntrlItem& item : items_)
        ClearMemberEvents(item.Cntrl);
}

QWidget* TArCntrl::owner() const {
    return qobject_cast<QWidget*>(parent());
}

QWidget* TArCntrl::memberAt(int i) const {
    return i >= 0 && i < items_.size() ? items_[i].Cntrl : nullptr;
}

int TArCntrl::indexOf(const QObject* control) const {
    for (int i = 0; i < items_.size(); ++i)
        if (items_[i].Cntrl == control)
            return i;
    return -1;
}

bool TArCntrl::nameTaken(const QString& name) const {
    for (const QObject* root :
         {static_cast<const QObject*>(owner()), static_cast<const QObject*>(parent_.data())}) {
        if (root && (root->objectName() == name || root->findChild<QObject*>(name)))
            return true;
    }
    return false;
}

void TArCntrl::setNumOfArry(int n) {
    n = std::max(n, 0);
    if (n == NumOfArry())
        return;
    if (!parent_)
        parent_ = owner();
    QPoint at =
        items_.isEmpty() ? designPos_ + QPoint(kStepX, -kStepY) : items_.last().Cntrl->pos();
    for (int i = NumOfArry(); i < n; ++i) {
        QWidget* m = NewMember(i, parent_);
        int number = i;
        while (nameTaken(QStringLiteral("%1_%2").arg(objectName()).arg(number)))
            ++number;
        m->setObjectName(QStringLiteral("%1_%2").arg(objectName()).arg(number));
        // A cascade down and to the right, starting again at the parent's edges.
        if (parent_ && parent_->height() < at.y() + kStepY + m->height())
            at.setY(0);
        if (parent_ && parent_->width() < at.x() + kStepX + m->width())
            at.setX(0);
        m->move(at.x() + kStepX, at.y() + kStepY);
        m->show();
        AddMember(m);
        at += QPoint(kStepX, kStepY);
    }
    for (int i = NumOfArry() - 1; i >= n; --i) {
        QWidget* m = items_[i].Cntrl;
        RemoveMember(i);
        delete m;
    }
}

bool TArCntrl::AcceptsMember(const QObject* control) const {
    const QMetaObject* c = control->metaObject();
    return c->inherits(memberClass_) || memberClass_->inherits(c);
}

int TArCntrl::AddMember(QWidget* control, QString* error) {
    if (!control || !AcceptsMember(control)) {
        if (error)
            *error = (control ? bareClassName(control) : QStringLiteral("nil")) +
                     QStringLiteral(" オブジェクトは受け入れられません");
        return -1;
    }
    if (const int known = indexOf(control); known >= 0)
        return known;
    const bool wired = SetMemberEvents(control);
    items_.append({control, wired});
    return int(items_.size()) - 1;
}

void TArCntrl::RemoveMember(int index) {
    if (index < 0 || index >= items_.size())
        return;
    ClearMemberEvents(items_[index].Cntrl);
    items_.removeAt(index);
}

bool TArCntrl::SetMemberEvents(QWidget* member) {
    if (!member)
        return false;
    connect(member, &QObject::destroyed, this, &TArCntrl::memberDestroyed);
    member->installEventFilter(this);
    if (events_ & kEvMouse)
        member->setMouseTracking(true);
    if (events_ & kEvDrag)
        member->setAcceptDrops(true);
    return true;
}

void TArCntrl::ClearMemberEvents(QWidget* member) {
    disconnect(member, &QObject::destroyed, this, &TArCntrl::memberDestroyed);
    member->removeEventFilter(this);
}

void TArCntrl::memberDestroyed(QObject* member) {
    // Only the pointer is compared: the member is half gone by now.
    if (const int i = indexOf(member); i >= 0)
        items_.removeAt(i);
}

void TArCntrl::setArryParent(QWidget* p) {
    if (!p)
        p = owner();
    if (p == parent_)
        return;
    QWidget* old = parent_;
    for (const TCntrlItem& item : items_) {
        QWidget* m = item.Cntrl;
        // Members that were put somewhere else on purpose stay there.
        if (m->parentWidget() != old && m->parentWidget() != p->parentWidget())
            continue;
        const bool visible = !m->isHidden();
        const QPoint pos = m->pos();
        m->setParent(p);
        m->move(pos);
        m->setVisible(visible);
    }
    if (old)
        old->update();
    p->update();
    parent_ = p;
}

Qt::DropAction TArCntrl::BeginDrag(QWidget* member, QMimeData* data, Qt::DropActions actions) {
    const int index = indexOf(member);
    QDrag* drag = nullptr;
    if (index >= 0 && (events_ & kEvDrag) && OnStartDrag)
        OnStartDrag(member, index, drag);
    if (!drag)
        drag = new QDrag(member);
    if (!drag->mimeData())
        drag->setMimeData(data);
    else
        delete data;
    const Qt::DropAction result = drag->exec(actions);
    QObject* target = drag->target();
    if (index >= 0 && (events_ & kEvDrag) && OnEndDrag) {
        auto* w = qobject_cast<QWidget*>(target);
        const QPoint at = w ? w->mapFromGlobal(QCursor::pos()) : QPoint();
        OnEndDrag(member, indexOf(member), target, at.x(), at.y());
    }
    return result;
}

bool TArCntrl::eventFilter(QObject* watched, QEvent* e) {
    const int index = indexOf(watched);
    if (index < 0)
        return false;
    return forwardInput(items_[index].Cntrl, index, e);
}

bool TArCntrl::forwardInput(QWidget* w, int index, QEvent* e) {
    const bool mouse = events_ & kEvMouse, drag = events_ & kEvDrag, keys = events_ & kEvKeys,
               focus = events_ & kEvFocus;
    switch (e->type()) {
        case QEvent::MouseButtonPress: {
            auto* me = static_cast<QMouseEvent*>(e);
            if (me->button() == Qt::LeftButton)
                pressed_ = w;
            if (mouse && OnMouseDown)
                OnMouseDown(w, index, me->button(), me->modifiers(), int(me->position().x()),
                            int(me->position().y()));
            return false;
        }
        case QEvent::MouseButtonDblClick: {
            // A double click is no second click: its release clicks nothing.
            auto* me = static_cast<QMouseEvent*>(e);
            pressed_ = nullptr;
            if ((events_ & kEvDblClick) && OnDblClick && me->button() == Qt::LeftButton)
                OnDblClick(w, index);
            if (mouse && OnMouseDown)
                OnMouseDown(w, index, me->button(), me->modifiers(), int(me->position().x()),
                            int(me->position().y()));
            return false;
        }
        case QEvent::MouseButtonRelease: {
            auto* me = static_cast<QMouseEvent*>(e);
            const QPoint at = me->position().toPoint();
            if (me->button() == Qt::LeftButton) {
                const bool clicked = pressed_ == w && w->rect().contains(at);
                pressed_ = nullptr;
                if (clicked && (events_ & kEvClick) && OnClick)
                    OnClick(w, index);
            }
            if (mouse && OnMouseUp)
                OnMouseUp(w, indexOf(w), me->button(), me->modifiers(), at.x(), at.y());
            return false;
        }
        case QEvent::MouseMove: {
            auto* me = static_cast<QMouseEvent*>(e);
            if (mouse && OnMouseMove)
                OnMouseMove(w, index, me->modifiers(), int(me->position().x()),
                            int(me->position().y()));
            return false;
        }
        case QEvent::KeyPress: {
            if (!keys)
                return false;
            auto* ke = static_cast<QKeyEvent*>(e);
            int key = ke->key();
            if (OnKeyDown) {
                OnKeyDown(w, index, key, ke->modifiers());
                if (key == 0)
                    return true;
            }
            QString text = ke->text();
            if (!text.isEmpty() && OnKeyPress) {
                OnKeyPress(w, index, text);
                if (text.isEmpty())
                    return true;
            }
            return false;
        }
        case QEvent::KeyRelease: {
            if (!keys || !OnKeyUp)
                return false;
            auto* ke = static_cast<QKeyEvent*>(e);
            int key = ke->key();
            OnKeyUp(w, index, key, ke->modifiers());
            return key == 0;
        }
        case QEvent::FocusIn:
            if (focus && OnEnter)
                OnEnter(w, index);
            return false;
        case QEvent::FocusOut:
            if (focus && OnExit)
                OnExit(w, index);
            return false;
        case QEvent::Resize:
            if ((events_ & kEvResize) && OnResize)
                OnResize(w, index);
            return false;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            if (!drag)
                return false;
            auto* de = static_cast<QDragMoveEvent*>(e);
            bool accept = false;
            if (OnDragOver) {
                accept = true;
                const QPoint at = de->position().toPoint();
                OnDragOver(w, index, de->source(), at.x(), at.y(),
                           e->type() == QEvent::DragEnter ? DragState::Enter : DragState::Move,
                           accept);
            }
            if (accept)
                de->acceptProposedAction();
            else
                de->ignore();
            return true;
        }
        case QEvent::DragLeave: {
            if (drag && OnDragOver) {
                bool accept = false;
                OnDragOver(w, index, nullptr, 0, 0, DragState::Leave, accept);
            }
            return false;
        }
        case QEvent::Drop: {
            if (!drag)
                return false;
            auto* de = static_cast<QDropEvent*>(e);
            if (OnDragDrop) {
                const QPoint at = de->position().toPoint();
                OnDragDrop(w, index, de->source(), at.x(), at.y());
            }
            de->acceptProposedAction();
            return true;
        }
        default:
            return false;
    }
}

}  // namespace kordel
