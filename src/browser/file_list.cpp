// The file list: one row per entry of the file table, following the viewer,
// sorting by column, and handing keys to the file commands.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include "image.h"
#include "input_filter.h"
#include "list_view.h"
#include "main.h"
#include "panel.h"
#include "path_names.h"
#include "services.h"
#include "speed_button.h"
#include "status_bar.h"
#include "texts.h"

namespace kordel {

void TForm1::connectBrowsing() {
    connect(ComboBox, &QComboBox::activated, this, [this] { ComboBoxChange(); });
    connect(G_top, &QToolButton::clicked, this, &TForm1::G_topClick);
    connect(G_back, &QToolButton::clicked, this, &TForm1::G_backClick);
    connect(G_step, &QToolButton::clicked, this, &TForm1::G_stepClick);
    connect(G_end, &QToolButton::clicked, this, &TForm1::G_endClick);
    connect(G_play, &QToolButton::clicked, this, &TForm1::G_playClick);
    connect(G_rev, &QToolButton::clicked, this, &TForm1::G_revClick);
    connect(Timer, &QTimer::timeout, this, &TForm1::TimerTimer);
    // Esc stops a running show, as a click on its button does.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &TForm1::stopSlideshow);
    connect(KT1, &QAction::triggered, this, &TForm1::G_topClick);
    connect(KB1, &QAction::triggered, this, &TForm1::G_backClick);
    connect(KS1, &QAction::triggered, this, &TForm1::G_stepClick);
    connect(KE1, &QAction::triggered, this, &TForm1::G_endClick);
    connect(O_gazou, &QToolButton::clicked, this, &TForm1::O_gazouClick);
    connect(O_hiritu, &QToolButton::clicked, this, &TForm1::O_hirituClick);
    connect(O_stretch, &QToolButton::clicked, this, &TForm1::O_stretchClick);
    const std::pair<QAction*, QSize> canvases[] = {
        {N320x2401, {324, 244}}, {N640x4001, {644, 404}}, {N640x4801, {644, 484}},
        {N640x8001, {644, 804}}, {N800x6001, {804, 604}}, {N1024x7681, {1028, 772}}};
    for (const auto& [action, size] : canvases)
        connect(action, &QAction::triggered, this,
                [this, size = size] { SetCanvasSize(size.width(), size.height()); });
    connect(File1, &QMenu::aboutToShow, this, &TForm1::File1Click);
    connect(File1->menuAction(), &QAction::triggered, this, &TForm1::File1Click);
    connect(Edit, &QMenu::aboutToShow, this, &TForm1::EditClick);
    // Ctrl+C and Ctrl+V work without the menu being opened first: their enabled
    // states follow what is on show and what the clipboard holds.
    connect(this, &QWidget::windowTitleChanged, this, &TForm1::EditClick);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &TForm1::EditClick);
    connect(Show1, &QMenu::aboutToShow, this, &TForm1::Show1Click);
    connect(PopupMenu, &QMenu::aboutToShow, this, &TForm1::PopupMenuPopup);
    connect(PopupMenu3, &QMenu::aboutToShow, this, &TForm1::PopupMenu3Popup);
    connect(K3, &QAction::triggered, this, [this] {
        K3->setChecked(!K3->isChecked());  // the handler flips the checkmark itself
        K3Click();
    });
    K3->setCheckable(true);
    connect(ListView, &TListView::itemClicked, this, &TForm1::ListViewClick);
    connect(ListView, &TListView::itemDoubleClicked, this, &TForm1::ListViewDblClick);
    connect(ListView->reportView()->header(), &QHeaderView::sectionClicked, this,
            &TForm1::ListViewColumnClick);
    for (QWidget* w :
         {static_cast<QWidget*>(ListView->reportView()),
          static_cast<QWidget*>(ListView->iconView()), static_cast<QWidget*>(TreeView)})
        w->installEventFilter(this);
    ListView->reportView()->viewport()->installEventFilter(this);
    ListView->iconView()->viewport()->installEventFilter(this);
    PicView2->installEventFilter(this);
    ScrollBox->viewport()->installEventFilter(this);
    ViewPanel->installEventFilter(this);
    connect(PicView2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu->popup(PicView2->mapToGlobal(p)); });
    connectWallpaperClipboard();
    connectFileOperations();
}

void TForm1::FillFileList(bool archiveMode) {
    if (Panel6->isHidden())
        return;
    if (startingUp == 0)
        for (int i = 0; i < 4; ++i)
            savedColumnWidths[i] = ListView->columnWidth(i);
    // What the message slot said before (the outcome of the picture on show, which a
    // scan loads before the list is filled) is said again afterwards.
    const QString message = Status->panelText(3);
    Status->setPanelText(3, QStringLiteral("画像ﾌｧｲﾙ検索中"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct Finally {
        TForm1* f;
        QString message;
        ~Finally() {
            QApplication::restoreOverrideCursor();
            f->Status->setPanelText(3, message.trimmed().isEmpty() ? QString() : message);
        }
    } finally{this, message};

    ListView->setUpdatesEnabled(false);
    ListView->clear();
    const TListView::Style style = ListView->viewStyle();
    ListView->setViewStyle(TListView::vsList);
    const QString folder = currentFolder();
    const QHash<QString, MemberDetails> members =
        archiveMode ? memberDetailsByName() : QHash<QString, MemberDetails>();
    for (int i = 0; i <= lastIndex; ++i) {
        const QString& name = fileNames[i];
        if (name.isEmpty())
            continue;
        QString size, date;
        if (!archiveMode) {
            const QFileInfo info(folder + name);
            size = formatSizeKB(info.size() / 1024);
            date = formatListDate(info.lastModified().toLocalTime());
        } else {
            const MemberDetails m = members.value(name);
            size = formatSizeKB(m.size / 1024);
            date = formatDosDate(m.dosDate, m.dosTime);
        }
        const QByteArray ext = fileExtension(name);
        const int icon = kindIconIndex(ext);
        ListView->addItem(name, icon >= 0 ? QIcon(SmImageList.value(icon)) : QIcon(),
                          {size + QStringLiteral("KB"), date, kindText(ext)});
    }
    ListView->setViewStyle(style);
    for (int i = 0; i < 4; ++i)
        ListView->setColumnWidth(i, savedColumnWidths[i]);
    ListView->setUpdatesEnabled(true);
    // The row becomes the list's current one; the keyboard stays where the user is, so
    // that arrows and letters typed in the tree are not taken for the list's commands.
    if (ListView->count() > 0)
        ListView->selectRow(0, false);
}

void TForm1::SelectListEntry(const QString& name) {
    if (Panel6->isHidden() || name.isEmpty())
        return;
    const int row = ListView->findCaption(name);
    if (row >= 0)
        ListView->selectRow(row, false);
    else
        ListView->clearSelection();
}

void TForm1::ShowSelectedEntry() {
    const int row = ListView->selectedRow();
    if (row < 0)
        return;
    const QString caption = ListView->caption(row);
    if (caption == fileNames[currentIndex])
        return;
    if (isArchiveSelected() && loaderRunning == 1)
        return;
    if (foundAny == 1) {
        for (int i = 0; i <= lastIndex; ++i) {
            if (fileNames[i] == caption) {
                currentIndex = i;
                break;
            }
        }
        showEntry(currentIndex);
        PicView2->repaint();
        // During a show its loop owns the buttons; it continues from this entry.
        if (slideshowRunning())
            return;
        setNavigation({true, true, true, true, true, true});
        if (currentIndex == 0)
            for (TSpeedButton* b : {G_rev, G_top, G_back})
                b->setEnabled(false);
        if (currentIndex == lastIndex)
            for (TSpeedButton* b : {G_play, G_step, G_end})
                b->setEnabled(false);
    }
    dropQueuedInput(false);
    if (currentIndex != lastIndex)
        G_step->setEnabled(true);
}

int TForm1::CompareListItems(int row1, int row2, int direction) const {
    auto key = [this](int row) -> QByteArray {
        switch (sortColumn) {
            case 0:
                return ListView->caption(row).toUtf8();
            case 2:
            case 3:
                return ListView->subItem(row, sortColumn - 1).toUtf8();
            default:
                return {};
        }
    };
    int order = 0;
    if (sortColumn == 1) {
        auto size = [this](int row) {
            QString text = ListView->subItem(row, 0);
            text.chop(2);
            text.remove(u',');
            return text.toLongLong();
        };
        const qint64 a = size(row1), b = size(row2);
        order = a < b ? -1 : a > b ? 1 : 0;
    } else {
        order = key(row1).compare(key(row2));
    }
    return direction == 0 ? (order > 0 ? 1 : 0) : (order < 0 ? 1 : 0);
}

void TForm1::ListViewColumnClick(int column) {
    sortColumn = column;
    int direction;
    if (sortDirection == 0 || sortDirection == 2) {
        direction = 0;
        sortDirection = 1;
    } else {
        direction = 1;
        sortDirection = 2;
    }
    ListView->sortItems(
        [this, direction](int a, int b) { return CompareListItems(a, b, direction) == 1; });
}

void TForm1::ListViewClick() {
    ShowSelectedEntry();
}

void TForm1::ListViewDblClick() {
    const int row = ListView->selectedRow();
    if (row >= 0)
        openEntryWithDefault(ListView->caption(row));
}

void TForm1::ListViewKeyDown(QKeyEvent* e) {
    // Enter shows a member as a click does; only the file commands are off in an archive.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        ShowSelectedEntry();
    else if (e->key() == Qt::Key_Delete && !isArchiveSelected())
        K5Click();
}

bool TForm1::ListViewKeyPress(QKeyEvent* e) {
    const QString text = e->text();
    // Ctrl, Alt and the logo key with a letter are commands for the window and the
    // desktop, not typed letters: Alt+D must not delete the selected file.
    if (text.isEmpty() || !text[0].isPrint() ||
        (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    if (!isArchiveSelected()) {
        const QChar c = text[0].toLower();
        if (c == u'c')
            K2Click();
        else if (c == u'd')
            K5Click();
        else if (c == u'm')
            K6Click();
    }
    return true;  // no type-ahead search
}

void TForm1::ListViewMouseDown(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        dragMove = e->modifiers() == Qt::ShiftModifier && e->buttons() == Qt::LeftButton ? 1 : 0;
}

void TForm1::K3Click() {
    if (!K3->isChecked()) {
        K3->setChecked(true);
        ListView->setViewStyle(TListView::vsReport);
    } else {
        K3->setChecked(false);
        ListView->setViewStyle(TListView::vsList);
    }
    viewStyle = ListView->viewStyle();
    ListView->update();
}

void TForm1::PopupMenu3Popup() {
    K3->setChecked(ListView->viewStyle() != TListView::vsList);
    const bool on = ListView->selectedRow() >= 0 && !isArchiveSelected();
    for (QAction* a : {K2, K5, K6})
        a->setEnabled(on);
}

}  // namespace kordel
