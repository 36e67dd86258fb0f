// The catalogue cells' commands: the highlight under the mouse, showing a
// cell's picture in the main window, dragging it onto the folder tree or a
// drive tab, opening it with the desktop's program, the keys, the context menu
// with copy, move, delete and wallpaper.
#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>

#include "catalogue_window.h"
#include "control_array.h"
#include "image.h"
#include "main.h"
#include "panel.h"
#include "path_names.h"
#include "services.h"
#include "speed_button.h"
#include "unlha_binding.h"

namespace kordel {

namespace {

void paint(QWidget* w, const QColor& face, const QColor& text) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, face);
    pal.setColor(QPalette::WindowText, text);
    w->setPalette(pal);
}

QAction* item(QMenu* menu, const char* name, const char* caption) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

}  // namespace

void TForm2::createCommands() {
    kabegami3 = PopupMenu2->addMenu(QStringLiteral("壁紙にする"));
    kabegami3->setObjectName(QStringLiteral("kabegami3"));
    P_NOMAL = item(kabegami3, "P_NOMAL", "そのまま壁紙にする(BMP時のみ)");
    P_KORDEL = item(kabegami3, "P_KORDEL", "KORDEL.BMPの名前で壁紙にする");
    P_NAME = item(kabegami3, "P_NAME", "名前を付けて保存後に壁紙にする");
    K_TILE = item(kabegami3, "K_TILE", "タイルで表示");
    K_TILE->setCheckable(true);
    K_TILE->setChecked(ctx_.form1->K_TILE->isChecked());
    PopupMenu2->addSeparator()->setObjectName(QStringLiteral("N2"));
    K2 = item(PopupMenu2, "K2", "画像ファイルコピー");
    K1 = item(PopupMenu2, "K1", "画像ファイル削除");
    K3 = item(PopupMenu2, "K3", "画像ファイル移動");
}

void TForm2::connectCommands() {
    ArPanel->OnMouseDown =
        ArImage->OnMouseDown = [this](QWidget*, int m, Qt::MouseButton b, Qt::KeyboardModifiers k,
                                      int, int) { ArPanelMouseDown(m, b, k); };
    auto moved = [this](QWidget*, int m, Qt::KeyboardModifiers, int, int) {
        ArPanelMouseMove(m);
        // A drag begins once the pressed mouse has moved far enough.
        if (dragArmed_ == m && (QApplication::mouseButtons() & Qt::LeftButton) &&
            (QCursor::pos() - dragFrom_).manhattanLength() >= QApplication::startDragDistance())
            startCellDrag(m);
    };
    ArPanel->OnMouseMove = ArImage->OnMouseMove = ArLabel->OnMouseMove = moved;
    ArPanel->OnMouseUp =
        ArImage->OnMouseUp = [this](QWidget*, int, Qt::MouseButton, Qt::KeyboardModifiers, int,
                                    int) { dragArmed_ = -1; };
    ArImage->OnDblClick = [this](QWidget*, int m) { ArImageDblClick(m); };
    connect(PopupMenu2, &QMenu::aboutToShow, this, &TForm2::PopupMenu2Popup);
    connect(kabegami3, &QMenu::aboutToShow, this, &TForm2::kabegami3Click);
    connect(P_NOMAL, &QAction::triggered, this, &TForm2::P_NOMALClick);
    connect(P_KORDEL, &QAction::triggered, this, &TForm2::P_KORDELClick);
    connect(P_NAME, &QAction::triggered, this, &TForm2::P_NAMEClick);
    // The toggle reads the mark as it stood before the click and sets every copy itself.
    connect(K_TILE, &QAction::triggered, this, [this] {
        K_TILE->setChecked(!K_TILE->isChecked());
        K_TILEClick();
    });
    connect(K1, &QAction::triggered, this, &TForm2::K1Click);
    connect(K2, &QAction::triggered, this, &TForm2::K2Click);
    connect(K3, &QAction::triggered, this, &TForm2::K3Click);
    // The window sees the keys before the control that has the focus.
    qApp->installEventFilter(this);
}

int TForm2::selectedEntry() const {
    return selectedCell >= 0 && selectedCell < kCells ? cellEntry[selectedCell] : -1;
}

void TForm2::ArPanelMouseMove(int m) {
    if (m == selectedCell || ArPanel->Members(m)->isHidden())
        return;
    if (selectedCell >= 0)
        for (QWidget* w : {static_cast<QWidget*>(ArPanel->Members(selectedCell)),
                           static_cast<QWidget*>(ArLabel->Members(selectedCell))})
            paint(w, palette().color(QPalette::Button), Qt::black);
    paint(ArPanel->Members(m), QColor(255, 0, 0), Qt::black);
    paint(ArLabel->Members(m), QColor(0, 0, 128), Qt::white);
    selectedCell = m;
}

void TForm2::ArPanelMouseDown(int m, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    if (button != Qt::LeftButton)
        return;
    ArImageMouseDown(m, button, modifiers);
    ArImageClick(m);
}

void TForm2::ArImageMouseDown(int m, Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    TForm1* f = ctx_.form1;
    const QString name = f->fileNames[cellEntry[m]];
    // Files inside an archive and deleted entries cannot be dragged.
    if (button != Qt::LeftButton || f->isArchiveSelected() || name.isEmpty())
        return;
    dragSource = 1;
    dragName = name;
    f->dragMove = modifiers == Qt::ShiftModifier ? 1 : 0;
    dragArmed_ = m;
    dragFrom_ = QCursor::pos();
}

void TForm2::startCellDrag(int m) {
    dragArmed_ = -1;
    auto* drag = new QDrag(ArImage->Members(m));
    drag->setMimeData(ctx_.form1->fileDragData(dragName));
    if (ArImage->Members(m)->hasPicture())
        drag->setPixmap(ArImage->Members(m)->grab().scaled(48, 48, Qt::KeepAspectRatio));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void TForm2::ArImageClick(int m) {
    TForm1* f = ctx_.form1;
    const int e = cellEntry[m];
    const QString name = f->fileNames[e];
    const bool archive = f->isArchiveSelected();
    if (name == f->fileNames[f->currentIndex] || (archive && f->loaderRunning == 1) ||
        (f->archiveLibraryLoaded() && ctx_.archive->isRunning()) ||
        !ArImage->Members(m)->hasPicture())
        return;
    f->currentIndex = e;
    if (!name.isEmpty() && f->ActOpt == 0) {
        f->raise();
        f->activateWindow();
    }
    f->showEntry(e);
    f->PicView2->repaint();
    f->SelectListEntry(name);
    // During a slide show its loop owns the buttons; it goes on from this entry.
    if (f->slideshowRunning())
        return;
    f->setNavigation({true, true, true, true, true, true});
    if (e == 0 && f->lastIndex != 0)
        f->setNavigation({false, true, false, false, true, true});
    else if (e == 0)
        f->setNavigation({false, false, false, false, false, false});
    else if (e == f->lastIndex)
        f->setNavigation({true, false, true, true, false, false});
}

void TForm2::ArImageDblClick(int m) {
    TForm1* f = ctx_.form1;
    const QString& name = f->fileNames[cellEntry[m]];
    // A member opens as a copy of its own, never a file of its name beside the archive.
    if (f->isArchiveSelected()) {
        if (!name.isEmpty())
            f->openMemberWithDefault(name);
        return;
    }
    const QString path = f->currentFolder() + name;
    // A file removed meanwhile, or the placeholder of a deleted one, cannot be opened.
    const bool opened = QFileInfo(path).isFile() && ctx_.services->shell->openWithDefault(path);
    if (!opened)
        ctx_.services->dialogs->message(this, Dialogs::Icon::Warning, QStringLiteral("Kordel"),
                                        QStringLiteral("「%1」を開けませんでした。").arg(path));
}

bool TForm2::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this)
        return QMainWindow::eventFilter(watched, e);
    auto* key = static_cast<QKeyEvent*>(e);
    if (FormKeyDown(key->key()))
        return true;
    // Alt and the logo key with a letter are commands for the window and the
    // desktop, not typed letters: Alt+D must not delete the highlighted file.
    if (key->modifiers() & (Qt::AltModifier | Qt::MetaModifier))
        return false;
    return !key->text().isEmpty() && FormKeyPress(key->text());
}

bool TForm2::FormKeyDown(int key) {
    if (key != Qt::Key_Delete || selectedCell < 0 || ctx_.form1->isArchiveSelected())
        return false;
    K1Click();
    return true;
}

bool TForm2::FormKeyPress(const QString& text) {
    if (selectedCell < 0)
        return false;
    if (ctx_.form1->isArchiveSelected())
        return true;
    const QChar c = text.at(0).toLower();
    if (c == u'c')
        K2Click();
    else if (c == u'd')
        K1Click();
    else if (c == u'm')
        K3Click();
    return true;
}

void TForm2::PopupMenu2Popup() {
    const bool files = !ctx_.form1->isArchiveSelected();
    for (QAction* a : {K1, K2, K3})
        a->setEnabled(files);
}

void TForm2::kabegami3Click() {
    TForm1* f = ctx_.form1;
    const int e = selectedEntry();
    P_NAME->setEnabled(true);
    P_NOMAL->setEnabled(e >= 0 && fileExtension(f->fileNames[e]).toUpper() == ".BMP");
    if (f->isArchiveSelected()) {
        P_NOMAL->setEnabled(false);
        P_NAME->setEnabled(false);
    }
}

void TForm2::P_NOMALClick() {
    const int e = selectedEntry();
    if (e >= 0 && !ctx_.form1->fileNames[e].isEmpty())
        ctx_.form1->SetWallpaperAsIs(e);
}

void TForm2::P_KORDELClick() {
    TForm1* f = ctx_.form1;
    const int e = selectedEntry();
    if (e < 0 || f->fileNames[e].isEmpty())
        return;
    const bool archive = f->isArchiveSelected();
    if (archive && !f->ExtractMember(e))
        return;
    f->SetWallpaperNamed(e, 1);
    if (archive)
        QFile::remove(f->tempFolder + f->fileNames[e]);
}

void TForm2::P_NAMEClick() {
    const int e = selectedEntry();
    if (e >= 0 && !ctx_.form1->fileNames[e].isEmpty())
        ctx_.form1->SaveThenSetWallpaper(e, 1);
}

void TForm2::K_TILEClick() {
    ctx_.form1->ToggleTileWallpaper();
}

// The dialogs and the questions of these belong to this window, above it.
void TForm2::K1Click() {
    const int e = selectedEntry();
    if (e >= 0)
        ctx_.form1->deleteEntry(ctx_.form1->fileNames[e], true, this);
}

void TForm2::K2Click() {
    const int e = selectedEntry();
    if (e >= 0)
        ctx_.form1->transferEntry(ctx_.form1->fileNames[e], false, this);
}

void TForm2::K3Click() {
    const int e = selectedEntry();
    if (e >= 0)
        ctx_.form1->transferEntry(ctx_.form1->fileNames[e], true, this);
}

}  // namespace kordel
