// Control arrays: a non-visual object that owns a numbered set of like
// controls (its members), makes or frees them when its member count is set,
// and funnels every member's events into one handler per event kind, with the
// member's index passed along.
//
// There are no form files here: members are made in code and wired the moment
// they join the array, so nothing ever waits to be hooked up later.
//
// Qt joins ownership and parenthood: a member belongs to the widget it lies on,
// and it moves with its owner when the array's parent changes.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

#include <QLabel>

#include "image.h"
#include "panel.h"

class QDrag;
class QMimeData;

namespace kordel {

// One member of an array.
struct TCntrlItem {
    QWidget* Cntrl = nullptr;
    bool EventSeted = false;  // its events are wired to the array
};

// The event kinds an array can forward.
enum ArrayEvent : unsigned {
    kEvClick = 1u << 0,
    kEvDblClick = 1u << 1,
    kEvMouse = 1u << 2,  // down, move and up
    kEvDrag = 1u << 3,   // start, over, drop and end
    kEvKeys = 1u << 4,   // down, press and up
    kEvFocus = 1u << 5,  // enter and exit
    kEvResize = 1u << 6,
};

enum class DragState { Enter, Leave, Move };

class TArCntrl : public QObject {
    Q_OBJECT
public:
    // Handlers get the member (Sender) and its index, then the event's own values.
    using NotifyEvent = std::function<void(QWidget* sender, int index)>;
    using MouseEvent = std::function<
        void(QWidget* sender, int index, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)>;
    using MouseMoveEvent =
        std::function<void(QWidget* sender, int index, Qt::KeyboardModifiers, int x, int y)>;
    using DragOverEvent = std::function<void(QWidget* sender,
                                             int index,
                                             QObject* source,
                                             int x,
                                             int y,
                                             DragState state,
                                             bool& accept)>;
    using DragDropEvent =
        std::function<void(QWidget* sender, int index, QObject* source, int x, int y)>;
    using EndDragEvent =
        std::function<void(QWidget* sender, int index, QObject* target, int x, int y)>;
    using StartDragEvent = std::function<void(QWidget* sender, int index, QDrag*& dragObject)>;
    // Setting `key` to 0 (or the text to empty for a key press) swallows the key.
    using KeyEvent =
        std::function<void(QWidget* sender, int index, int& key, Qt::KeyboardModifiers)>;
    using KeyPressEvent = std::function<void(QWidget* sender, int index, QString& key)>;

    // `owner` is the widget the members belong to unless ArryParent says otherwise.
    TArCntrl(const QMetaObject* memberClass, unsigned events, const QString& name, QWidget* owner);
    ~TArCntrl() override;

    int NumOfArry() const { return int(items_.size()); }
    void setNumOfArry(int n);

    // The member at `i`, or null outside 0..NumOfArry-1.
    QWidget* memberAt(int i) const;
    // The index of `control`, -1 when it is no member.
    int indexOf(const QObject* control) const;
    const QList<TCntrlItem>& Collection() const { return items_; }

    QWidget* ArryParent() const { return parent_; }
    // Moves every member onto `parent` (null: the owner).
    void setArryParent(QWidget* parent);

    // Position of the array itself; the first member's cascade starts from it.
    void setDesignPos(QPoint p) { designPos_ = p; }

    // Adds an existing control and answers its index; -1 when its class is not
    // accepted, with the reason in `error` ("<class> オブジェクトは受け入れられません").
    int AddMember(QWidget* control, QString* error = nullptr);
    // Drops a member from the array without freeing it.
    void RemoveMember(int index);
    // Whether a control's class fits the array: an instance of the member class
    // or of a class derived from it, or a base class of the member class.
    bool AcceptsMember(const QObject* control) const;

    // Starts a drag from a member: OnStartDrag may supply the drag object, the
    // drag runs, and OnEndDrag tells where it ended (a null target when nowhere).
    Qt::DropAction BeginDrag(QWidget* member, QMimeData* data, Qt::DropActions actions);

    NotifyEvent OnClick, OnDblClick, OnEnter, OnExit, OnResize;
    MouseEvent OnMouseDown, OnMouseUp;
    MouseMoveEvent OnMouseMove;
    DragOverEvent OnDragOver;
    DragDropEvent OnDragDrop;
    EndDragEvent OnEndDrag;
    StartDragEvent OnStartDrag;
    KeyEvent OnKeyDown, OnKeyUp;
    KeyPressEvent OnKeyPress;

protected:
    // Makes member `i`, an instance of the member class.
    virtual QWidget* NewMember(int i, QWidget* owner) = 0;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    bool SetMemberEvents(QWidget* member);
    void ClearMemberEvents(QWidget* member);
    void memberDestroyed(QObject* member);
    QWidget* owner() const;
    bool nameTaken(const QString& name) const;
    bool forwardInput(QWidget* member, int index, QEvent* e);

    const QMetaObject* memberClass_;
    unsigned events_;
    QPointer<QWidget> parent_;
    QPoint designPos_;
    QList<TCntrlItem> items_;
    QPointer<QWidget> pressed_;  // the member a left button went down on
};

// Arrays with typed member access.
template <class Member, unsigned Events>
class TArTyped : public TArCntrl {
public:
    TArTyped(const QString& name, QWidget* owner)
        : TArCntrl(&Member::staticMetaObject, Events, name, owner) {}
    Member* Members(int i) const { return static_cast<Member*>(memberAt(i)); }

protected:
    QWidget* NewMember(int, QWidget* owner) override { return new Member(owner); }
};

constexpr unsigned kLabelEvents = kEvClick | kEvDblClick | kEvMouse | kEvDrag;
constexpr unsigned kPanelEvents = kEvClick | kEvMouse | kEvDrag | kEvKeys | kEvFocus | kEvResize;

class TArLabel : public TArTyped<QLabel, kLabelEvents> {
public:
    using TArTyped::TArTyped;
};
class TArImage : public TArTyped<TImage, kLabelEvents> {
public:
    using TArTyped::TArTyped;
};
class TArPanel : public TArTyped<TPanel, kPanelEvents> {
public:
    using TArTyped::TArTyped;
};

}  // namespace kordel
