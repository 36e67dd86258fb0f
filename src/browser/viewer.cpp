// The viewer panel: showing a picture, the display modes, canvas sizes,
// first/previous/next/last navigation and the menus' enabled states.
#include <fcntl.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTreeWidget>
#include <QtEndian>
#include <cerrno>

#include "catalogue_window.h"
#include "fit.h"
#include "image.h"
#include "input_filter.h"
#include "list_view.h"
#include "main.h"
#include "option_set.h"
#include "panel.h"
#include "path_names.h"
#include "services.h"
#include "speed_button.h"
#include "status_bar.h"
#include "texts.h"

namespace kordel {

namespace {

// Bits per pixel from a BMP file's information header; -1 with errno-style code when unreadable.
int bmpBitCount(const QString& path, int& errorCode) {
    // Without O_NONBLOCK, opening a named pipe would wait for a writer for good.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        errorCode = errno;
        return -1;
    }
    unsigned char header[54];
    ssize_t got = 0;
    while (got < ssize_t(sizeof header)) {
        const ssize_t n = ::read(fd, header + got, sizeof header - size_t(got));
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    // OS/2 1.x files have a 12-byte core header with the bit count at offset 24;
    // offset 28 would already be in their colour table.
    if (got >= 26 && qFromLittleEndian<quint32>(header + 14) == 12)
        return qFromLittleEndian<quint16>(header + 24);
    if (got < ssize_t(sizeof header)) {
        errorCode = 100;  // read past the end of the file
        return -1;
    }
    return qFromLittleEndian<quint16>(header + 28);
}

int errnoOf(const QString& path) {
    // Without O_NONBLOCK, opening a named pipe would wait for a writer for good.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return EIO;
    }
    return errno;
}

}  // namespace

QString TForm1::clipboardCaption() {
    return QStringLiteral("Kordel [ｸﾘｯﾌﾟﾎﾞｰﾄﾞﾃﾞｰﾀ]");
}

void TForm1::ShowPicture(const QString& name, int current, int last, int action) {
    if (action == 1) {
        if (name.isEmpty()) {
            PicView->setPictureName(QString());
            PicView2->clear();
            for (int i = 0; i < 3; ++i)
                Status->setPanelText(i, QString());
            Status->setPanelText(3, QStringLiteral("削除済みのファイルです"));
            return;
        }
        Status->setPanelText(3, QStringLiteral("展開中..."));
        QApplication::setOverrideCursor(Qt::BusyCursor);
        struct CursorGuard {
            ~CursorGuard() { QApplication::restoreOverrideCursor(); }
        } guard;

        PicView->setPreView(JpegOpt == 1);
        const bool read = PicView->setPictureName(name);
        PicView2->clear();
        if (!PicView->metafile() && !PicView->image().isNull())
            PicView2->setImage(PicView->image());
        else if (PicView->metafile())
            PicView2->setDrawing(PicView->metafile()->picture, PicView->metafile()->size);
        // A file that cannot be read ends the load with an error box; the status bar says
        // so too instead of "展開中..." and the previous picture's figures.
        const auto readError = [&](int code) {
            Status->setPanelText(0, QString());
            Status->setPanelText(1, QString());
            Status->setPanelText(2, QStringLiteral("%1/%2").arg(current + 1).arg(last + 1));
            Status->setPanelText(3, QStringLiteral("ファイルリードエラー"));
            ctx_.services->dialogs->message(this, Dialogs::Icon::Error, QStringLiteral("Kordel"),
                                            QStringLiteral("I/O ｴﾗｰ (%1)").arg(code));
        };
        if (!read) {
            readError(errnoOf(name));
            return;
        }
        decodedWidth = PicView2->naturalSize().width();
        decodedHeight = PicView2->naturalSize().height();
        fullWidth = PicView->OrgWidth();
        fullHeight = PicView->OrgHeight();

        const QByteArray ext = fileExtension(name);
        if (ext == ".ICO" && !PicView2->image().isNull())
            PicView2->setImage(opaqueOn(PicView2->image(), palette().color(QPalette::Window)));

        int bits = PicView->OrgColor();
        if (ext == ".BMP") {
            int code = 0;
            bits = bmpBitCount(name, code);
            if (bits < 0) {
                readError(code);
                return;
            }
        } else if (ext == ".ICO" || ext == ".WMF" || ext == ".EMF") {
            bits = 4;
        }
        Status->setPanelText(0, colourDepthText(bits));
        Status->setPanelText(1, QStringLiteral("%1x%2").arg(fullWidth).arg(fullHeight));
        Status->setPanelText(2, QStringLiteral("%1/%2").arg(current + 1).arg(last + 1));
        dropQueuedInput(true);
    }
    layoutPicture();
}

void TForm1::layoutPicture() {
    QWidget* canvas = ScrollBox->widget();
    PicView2->setStretch(false);
    ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    if (displayMode == 0 || displayMode == 1 || displayMode == 2) {
        ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    if (displayMode == 1 || displayMode == 2)
        PicView2->setStretch(true);

    const QByteArray ext = fileExtension(fileNames[currentIndex]);
    QSize picture(fullWidth, fullHeight);
    if ((ext == ".JPG" || ext == ".JPE") && JpegOpt == 1)
        picture = QSize(decodedWidth, decodedHeight);

    if (displayMode == 0)
        fitWindowToViewer(QSize(picture.width() + 4, picture.height() + 4), 2);

    const QSize viewport = ScrollBox->viewport()->size();
    QSize shown = PicView2->naturalSize();
    if (displayMode == 1)
        shown = ratioFit(QSize(fullWidth, fullHeight), ViewPanel->size());
    else if (displayMode == 2)
        shown = viewport;
    PicView2->setGeometry(QRect(QPoint(0, 0), shown));
    // A mode out of range (a hand-edited settings file) controls nothing, as mode 3.
    canvas->resize(displayMode == 1 || displayMode == 2 ? viewport : shown.expandedTo(viewport));
    // Only the visible copy keeps the picture.
    PicView->setPictureName(QString());
}

void TForm1::setNavigation(const std::array<bool, 6>& e) {
    const std::array<TSpeedButton*, 6> buttons = {G_rev, G_play, G_top, G_back, G_step, G_end};
    const bool held = ctx_.form2 && ctx_.form2->loaderHoldsControls();
    for (int i = 0; i < 6; ++i) {
        if (held)
            ctx_.form2->keepEnabledForLoaderEnd(buttons[i], e[i]);
        else
            buttons[i]->setEnabled(e[i]);
    }
}

void TForm1::dropQueuedInput(bool keyboard) {
    // A running show keeps its Esc; the menus, and so their shortcuts, are off meanwhile.
    discardQueuedInput(this, keyboard ? InputKind::Keyboard : InputKind::Mouse, slideshowRunning());
}

void TForm1::showEntry(int index) {
    if (isArchiveSelected()) {
        ExtractAndShowMember(index);
        return;
    }
    ShowPicture(fileNames[index], index, lastIndex, 1);
    // A deleted entry shows no file: the caption names none, as when the file on
    // show is deleted.
    setWindowTitle(fileNames[index].isEmpty() ? QStringLiteral("Kordel")
                                              : QStringLiteral("Kordel [") + currentFolder() +
                                                    fileNames[index] + QStringLiteral("]"));
}

void TForm1::G_stepClick() {
    if (foundAny != 1)
        return;
    G_step->setEnabled(false);
    ++currentIndex;
    if (currentIndex > lastIndex) {
        currentIndex = lastIndex;
    } else {
        showEntry(currentIndex);
        PicView2->repaint();
        SelectListEntry(fileNames[currentIndex]);
        for (TSpeedButton* b : {G_rev, G_play, G_top, G_back})
            b->setEnabled(true);
        if (currentIndex == lastIndex) {
            G_rev->setEnabled(true);
            for (TSpeedButton* b : {G_play, G_step, G_end})
                b->setEnabled(false);
        }
    }
    dropQueuedInput(false);
    if (currentIndex != lastIndex)
        G_step->setEnabled(true);
}

void TForm1::G_backClick() {
    if (foundAny != 1)
        return;
    G_back->setEnabled(false);
    --currentIndex;
    if (currentIndex < 0) {
        currentIndex = 0;
    } else {
        showEntry(currentIndex);
        PicView2->repaint();
        SelectListEntry(fileNames[currentIndex]);
        for (TSpeedButton* b : {G_rev, G_play, G_step, G_end})
            b->setEnabled(true);
        if (currentIndex == 0)
            for (TSpeedButton* b : {G_rev, G_top, G_back})
                b->setEnabled(false);
    }
    dropQueuedInput(false);
    if (currentIndex != 0)
        G_back->setEnabled(true);
}

void TForm1::G_topClick() {
    if (foundAny != 1 || currentIndex == 0)
        return;
    // The index moves first: the layout looks at the entry on show.
    currentIndex = 0;
    showEntry(0);
    setNavigation({false, true, false, false, true, true});
    SelectListEntry(fileNames[0]);
}

void TForm1::G_endClick() {
    if (foundAny != 1 || currentIndex == lastIndex)
        return;
    currentIndex = lastIndex;
    showEntry(lastIndex);
    setNavigation({true, false, true, true, false, false});
    SelectListEntry(fileNames[lastIndex]);
}

namespace {
int modeFromButton(const TSpeedButton* b, int mode) {
    return b->isDown() ? mode : 3;
}
}  // namespace

void TForm1::O_gazouClick() {
    displayMode = modeFromButton(O_gazou, 0);
    ctx_.optionPagesDlg->setRadioIndex(displayMode);
    if (foundAny == 1)
        ShowPicture(fileNames[currentIndex], currentIndex, lastIndex, 0);
}

void TForm1::O_hirituClick() {
    displayMode = modeFromButton(O_hiritu, 1);
    ctx_.optionPagesDlg->setRadioIndex(displayMode);
    if (foundAny == 1)
        ShowPicture(fileNames[currentIndex], currentIndex, lastIndex, 0);
}

void TForm1::O_stretchClick() {
    displayMode = modeFromButton(O_stretch, 2);
    ctx_.optionPagesDlg->setRadioIndex(displayMode);
    if (foundAny == 1)
        ShowPicture(fileNames[currentIndex], currentIndex, lastIndex, 0);
}

void TForm1::FormResize() {
    // A maximised window cannot be resized by its corner.
    Status->setSizeGrip(!isMaximized());
    if (width() < kMinimumWindowWidth)
        resize(kMinimumWindowWidth, height());
    if (foundAny == 1 && displayMode == 1)
        ShowPicture(fileNames[currentIndex], currentIndex, lastIndex, 0);
}

void TForm1::ViewPanelResize() {
    if (foundAny == 1 && displayMode == 1)
        ShowPicture(fileNames[currentIndex], currentIndex, lastIndex, 0);
}

// The window stays within the desktop (less the window manager's frame): on the
// old platform a window never grew past the screen either, and here one that did
// would put its own close box out of reach and cost a backing store of the
// picture's whole size.
void TForm1::fitWindowToViewer(QSize viewer, int gap) {
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize most = (ctx_.services->screen->desktop().size() - frame).expandedTo(minimumSize());
    if (!Panel6->isHidden()) {
        const WindowFit fit =
            limitedFit(fitWithList(size(), ViewPanel->size(), TreeViewPanel->height(),
                                   Panel6->height(), viewer, gap),
                       most);
        ViewPanel->resize(fit.viewPanel);
        resize(fit.window);
    } else {
        resize(fitWithoutList(size(), ViewPanel->size(), viewer).boundedTo(most));
    }
}

void TForm1::SetCanvasSize(int w, int h) {
    fitWindowToViewer(QSize(w, h), 0);
    if (O_gazou->isDown()) {
        O_gazou->setDown(false);
        displayMode = 3;
        ctx_.optionPagesDlg->setRadioIndex(3);
    }
}

namespace {
bool clipboardHasBitmap() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage();
}
}  // namespace

void TForm1::File1Click() {
    const QByteArray ext = fileExtension(fileNames[currentIndex]);
    const bool on = (foundAny == 1 && ext != ".ICO") || windowTitle() == clipboardCaption();
    SaveAs->setEnabled(on);
    Kabegami->menuAction()->setEnabled(on);
}

void TForm1::EditClick() {
    const QByteArray ext = fileExtension(fileNames[currentIndex]);
    const bool imageKind = ext != ".ICO" && ext != ".WMF" && ext != ".EMF";
    KV1->setEnabled(clipboardHasBitmap());
    K4->setEnabled(foundAny == 1 && imageKind);
    const bool files =
        PicView2->hasPicture() && windowTitle() != clipboardCaption() && !isArchiveSelected();
    for (QAction* a : {KD2, KD1, KD3})
        a->setEnabled(files);
}

void TForm1::Show1Click() {
    if (foundAny != 1)
        return;
    if (lastIndex == 0) {
        for (QAction* a : {KT1, KB1, KS1, KE1})
            a->setEnabled(false);
    } else if (currentIndex == 0) {
        KT1->setEnabled(false);
        KB1->setEnabled(false);
        KS1->setEnabled(true);
        KE1->setEnabled(true);
    } else if (currentIndex == lastIndex) {
        KT1->setEnabled(true);
        KB1->setEnabled(true);
        KS1->setEnabled(false);
        KE1->setEnabled(false);
    } else {
        for (QAction* a : {KT1, KB1, KS1, KE1})
            a->setEnabled(true);
    }
}

void TForm1::PopupMenuPopup() {
    const QString& name = fileNames[currentIndex];
    const QByteArray ext = fileExtension(name);
    const bool imageKind = ext != ".ICO" && ext != ".WMF" && ext != ".EMF";
    const bool clip = windowTitle() == clipboardCaption();
    K7->setEnabled(clipboardHasBitmap());
    Copy1->setEnabled(foundAny == 1 && imageKind && !name.isEmpty());
    const bool save = (foundAny == 1 && imageKind && !name.isEmpty()) || clip;
    SaveAs2->setEnabled(save);
    Kabegami2->menuAction()->setEnabled(save);
    const bool files = PicView2->hasPicture() && !clip && !isArchiveSelected();
    for (QAction* a : {G2, G1, G3})
        a->setEnabled(files);
}

void TForm1::PicView2MouseDown(QMouseEvent* e) {
    if (!PicView2->hasPicture() || windowTitle() == clipboardCaption() ||
        e->button() != Qt::LeftButton || isArchiveSelected())
        return;
    ctx_.form2->dragSource = 2;
    dragMove = e->modifiers() == Qt::ShiftModifier && e->buttons() == Qt::LeftButton ? 1 : 0;
    // The drag starts once the mouse moves; the folder tree and the drive tabs take it.
    viewerDragArmed_ = true;
    viewerDragFrom_ = e->globalPosition().toPoint();
}

void TForm1::PicView2DblClick() {
    // Only a file's picture opens: not pasted data, a deleted entry or an empty viewer,
    // whose entry would name some other file or the folder itself.
    const QString& name = fileNames[currentIndex];
    if (foundAny == 1 && !name.isEmpty() && windowTitle() != clipboardCaption())
        openEntryWithDefault(name);
}

}  // namespace kordel
