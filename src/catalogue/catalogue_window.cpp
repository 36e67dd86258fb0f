#include "catalogue_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QShortcut>

#include "all.h"
#include "app_style.h"
#include "catalogue_grid.h"
#include "control_array.h"
#include "drive_tab_set.h"
#include "fit.h"
#include "image.h"
#include "input_filter.h"
#include "main.h"
#include "panel.h"
#include "path_names.h"
#include "profile_file.h"
#include "services.h"
#include "speed_button.h"
#include "status_bar.h"
#include "thumbnail_loader.h"

namespace kordel {

namespace {
// Window size of the design, used when there is no settings file.
constexpr QSize kDesignSize(460, 366);
// Display size of an entry that has no thumbnail (an icon or a metafile).
constexpr int kOwnPicture = 65535;

QFont labelFont(bool bold, int pointSize) {
    QFont font = uiFont(12);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

void paintCell(QWidget* panel, QWidget* label, const QColor& face, const QColor& text) {
    for (QWidget* w : {panel, label}) {
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, face);
        pal.setColor(QPalette::WindowText, text);
        w->setPalette(pal);
    }
}
}  // namespace

TForm2::TForm2(AppContext& context) : QMainWindow(nullptr), ctx_(context) {
    ctx_.form2 = this;
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Kordel [イメージ一覧]"));
    setFont(uiFont(12));
    createControls();
    FormCreate();

    TForm1* f = ctx_.form1;
    connect(NextPage, &QToolButton::clicked, this, &TForm2::NextPageClick);
    connect(PrePage, &QToolButton::clicked, this, &TForm2::PrePageClick);
    connect(S2, &QAction::triggered, this, &TForm2::S2Click);
    connect(S3, &QAction::triggered, this, &TForm2::S3Click);
    connect(f->B_ichiran, &QToolButton::clicked, f, &TForm1::B_ichiranClick);
    connectCommands();
}

TForm2::~TForm2() {
    stopLoaderAndWait();
}

void TForm2::createControls() {
    GSize = menuBar()->addMenu(QStringLiteral("画像ｻｲｽﾞ(&S)"));
    GSize->setObjectName(QStringLiteral("GSize"));
    S2 = GSize->addAction(QStringLiteral("64 x 48"));
    S2->setObjectName(QStringLiteral("S2"));
    S3 = GSize->addAction(QStringLiteral("128 x 96"));
    S3->setObjectName(QStringLiteral("S3"));
    S2->setCheckable(true);
    S3->setCheckable(true);

    auto* client = new TPanel(this);
    client->setBevelOuter(TPanel::Bevel::None);
    setCentralWidget(client);

    Panel1 = new TPanel(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setBevelOuter(TPanel::Bevel::None);
    Panel1->resize(kDesignSize.width(), 33);
    appendAligned(Panel1, Align::Top);
    Bevel3 = new TBevel(Panel1);
    Bevel3->resize(kDesignSize.width(), 2);
    appendAligned(Bevel3, Align::Top);
    Bevel1 = new TBevel(Panel1);
    Bevel1->resize(kDesignSize.width(), 2);
    appendAligned(Bevel1, Align::Bottom);
    PrePage = new TSpeedButton(Panel1);
    PrePage->setObjectName(QStringLiteral("PrePage"));
    PrePage->setGeometry(40, 5, 25, 25);
    PrePage->setToolTip(QStringLiteral("前の一覧"));
    PrePage->setEnabled(false);
    NextPage = new TSpeedButton(Panel1);
    NextPage->setObjectName(QStringLiteral("NextPage"));
    NextPage->setGeometry(65, 5, 25, 25);
    NextPage->setToolTip(QStringLiteral("次の一覧"));

    Panel3 = new TPanel(client);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setBevelOuter(TPanel::Bevel::None);
    Panel3->resize(kDesignSize.width(), 19);
    appendAligned(Panel3, Align::Bottom);
    Panel5 = new TPanel(Panel3);
    Panel5->setBevelOuter(TPanel::Bevel::None);
    Panel5->resize(16, 19);
    appendAligned(Panel5, Align::Right);
    SBar = new TStatusBar(Panel5);
    SBar->setObjectName(QStringLiteral("SBar"));
    SBar->setPanelWidths({50});
    SBar->setSizeGrip(true);
    appendAligned(SBar, Align::Client);
    Panel4 = new TPanel(Panel3);
    Panel4->setBevelOuter(TPanel::Bevel::None);
    appendAligned(Panel4, Align::Client);
    PBar = new QProgressBar(Panel4);
    PBar->setObjectName(QStringLiteral("PBar"));
    PBar->setRange(0, 100);
    PBar->setTextVisible(false);
    appendAligned(PBar, Align::Client);

    Bevel2 = new TBevel(client);
    Bevel2->resize(kDesignSize.width(), 5);
    appendAligned(Bevel2, Align::Bottom);

    Panel2 = new TPanel(client);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setBevelOuter(TPanel::Bevel::None);
    appendAligned(Panel2, Align::Client);

    cellPicture_ = new TAll(ctx_.form1->pictureHost(), Panel2);
    cellPicture_->hide();
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    createCommands();
}

void TForm2::FormCreate() {
    TForm1* f = ctx_.form1;
    shown = 0;
    f->catalogueActive = 0;
    filling = 0;
    dragSource = 0;
    // Esc stops a running show here too, as it does in the main window.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, f,
            &TForm1::stopSlideshow);

    // The cells: 100 panels on the window, then the images, then the labels.
    QWidget* client = centralWidget();
    ArPanel = new TArPanel(QStringLiteral("ArPanel"), client);
    ArPanel->setNumOfArry(kCells);
    ctx_.splashStep(4);
    ArImage = new TArImage(QStringLiteral("ArImage"), client);
    ArImage->setNumOfArry(kCells);
    ctx_.splashStep(5);
    ArLabel = new TArLabel(QStringLiteral("ArLabel"), client);
    ArLabel->setNumOfArry(kCells);
    ctx_.splashStep(6);
    for (int m = 0; m < kCells; ++m) {
        TPanel* p = ArPanel->Members(m);
        p->hide();
        p->setBevelWidth(2);
        p->setCaption(QStringLiteral(" "));
        p->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(p, &QWidget::customContextMenuRequested, this, [this, p](QPoint at) {
            if (p->contextMenuPolicy() == Qt::CustomContextMenu && !PopupMenu2->isEmpty())
                PopupMenu2->popup(p->mapToGlobal(at));
        });
        TImage* i = ArImage->Members(m);
        i->setParent(p);
        i->setStretch(true);
        i->show();
        QLabel* l = ArLabel->Members(m);
        l->setParent(Panel2);
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l->setAutoFillBackground(true);
        l->show();
    }

    NextPage->setIcon(f->G_step->icon());
    NextPage->setIconSize(f->G_step->iconSize());
    PrePage->setIcon(f->G_back->icon());
    PrePage->setIconSize(f->G_back->iconSize());

    const ProfileFile file(f->settingsPath);
    if (file.existed()) {
        const CatalogueSettings s = readCatalogueSettings(file);
        const QRect placed = keptOnDesktop(QRect(s.left, s.top, s.width, s.height),
                                           ctx_.services->screen->desktop());
        move(placed.topLeft());
        resize(placed.size());
        savedWidth = width();
        savedHeight = height();
        // Only the two sizes the menu offers: anything else (a hand-edited
        // file, a zero that would divide) gives the larger one.
        const bool small = s.picX == 64 && s.picY == 48;
        cellWidth = small ? 64 : 128;
        cellHeight = small ? 48 : 96;
    } else {
        resize(kDesignSize);
        const QSize screen = ctx_.services->screen->size();
        move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
        cellWidth = 128;
        cellHeight = 96;
    }
    layOutNow();
    placeCells(labelFont(cellWidth == 64 ? false : true, cellWidth == 64 ? 7 : 9));
    S2->setChecked(cellWidth == 64);
    S3->setChecked(cellWidth == 128);
    setStaysOnTop(f->ActOpt != 0);
    CalcGrid();
    BuildCellMap();
}

void TForm2::layOutNow() {
    // The client and Panel2 get their sizes now, also while the window is hidden.
    if (layout()) {
        layout()->invalidate();
        layout()->activate();
    }
    static_cast<TPanel*>(centralWidget())->alignControls();
}

void TForm2::placeCells(const QFont& font) {
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            const int m = 10 * r + c;
            TPanel* p = ArPanel->Members(m);
            p->setGeometry(c * cellWidth, Panel2->y() + r * (cellHeight + kCellLabelHeight),
                           cellWidth, cellHeight);
            p->hide();
            QLabel* l = ArLabel->Members(m);
            l->setGeometry(c * cellWidth, cellHeight + r * (cellHeight + kCellLabelHeight),
                           cellWidth, kCellLabelHeight);
            l->setFont(font);
            l->clear();
            ArImage->Members(m)->move(2, 2);
        }
    }
}

void TForm2::RelayoutCells(bool bold, int pointSize) {
    placeCells(labelFont(bold, pointSize));
}

void TForm2::CalcGrid() {
    layOutNow();
    // Panel2 is never less than empty: in a window lower than the strips above
    // and below it, its height is counted from them, so that the snap makes room
    // for a whole cell with its name and for the strips.
    const int top = Panel2->mapTo(this, QPoint(0, 0)).y();
    const QSize area(Panel2->width(), height() - top - Bevel2->height() - Panel3->height());
    const CatalogueGrid g = catalogueGrid(size(), area, QSize(cellWidth, cellHeight));
    columns = g.columns;
    rows = g.rows;
    snapping_ = true;
    resize(g.window);
    snapping_ = false;
    savedWidth = width();
    savedHeight = height();
}

void TForm2::BuildCellMap() {
    int k = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            cellMap[k++] = 10 * r + c;
    cellMap[k] = -1;
}

void TForm2::resetCell(int m) {
    TPanel* p = ArPanel->Members(m);
    QLabel* l = ArLabel->Members(m);
    ArImage->Members(m)->clear();
    paintCell(p, l, palette().color(QPalette::Button), Qt::black);
    l->clear();
    p->hide();
    cellNames[m] = QStringLiteral(" ");
}

void TForm2::resetAllCells() {
    for (int m = 0; m < kCells; ++m)
        resetCell(m);
}

void TForm2::blankAllCells() {
    resetAllCells();
    selectedCell = -1;
    PrePage->setEnabled(false);
    NextPage->setEnabled(false);
}

void TForm2::removeHighlight() {
    if (selectedCell >= 0 && selectedCell < kCells)
        paintCell(ArPanel->Members(selectedCell), ArLabel->Members(selectedCell),
                  palette().color(QPalette::Button), Qt::black);
    selectedCell = -1;
}

void TForm2::discardMouse() {
    discardQueuedInput(this, InputKind::Mouse);
}

void TForm2::FillPage() {
    TForm1* f = ctx_.form1;
    const int run = ++fillRun_;
    filling = 1;
    lastCell = -1;
    for (QWidget* w : {static_cast<QWidget*>(f->DriveTabSet), static_cast<QWidget*>(f->ComboBox),
                       static_cast<QWidget*>(f->ScrollBox)})
        w->setEnabled(false);
    GSize->setEnabled(false);
    // Whatever ends the fill, the controls come back and the progress goes.
    struct Restore {
        TForm2* w;
        ~Restore() {
            TForm1* f = w->ctx_.form1;
            w->filling = 0;
            // A slide show running meanwhile keeps the folder and the drive tabs
            // until it ends.
            const bool show = f->slideshowRunning();
            f->busy = show ? 1 : 0;
            f->ScrollBox->setEnabled(true);
            w->GSize->setEnabled(true);
            f->DriveTabSet->setEnabled(!show);
            f->ComboBox->setEnabled(true);
            w->PBar->setValue(0);
            w->setWindowTitle(QStringLiteral("Kordel [イメージ一覧] "));
        }
    } restore{this};

    auto stopped = [&] { return f->catalogueActive == 0 || stopFill == 1 || run != fillRun_; };
    if (f->foundAny == 1) {
        f->busy = 1;
        const int capacity = columns * rows;
        int n = 0;
        while (n < capacity && nextStart + n < kTableSlots &&
               f->fileNames[nextStart + n] != QStringLiteral(" "))
            ++n;
        n = std::max(n, 1);
        for (int k = 0; k < capacity; ++k) {
            const int m = cellMap[k], e = nextStart;
            if (m < 0 || e >= kTableSlots || f->fileNames[e] == QStringLiteral(" ") || stopped()) {
                cellPicture_->setPreView(false);
                return;
            }
            cellEntry[m] = e;
            // The thumbnail may not be made yet: the loader's steps run meanwhile.
            // Without a loader it never comes, and waiting would hang the page.
            while (ThrIL.size() <= e) {
                if (f->loaderRunning == 0) {
                    cellPicture_->setPreView(false);
                    return;
                }
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                if (stopped()) {
                    cellPicture_->setPreView(false);
                    return;
                }
            }
            fillCell(m, e);
            QCoreApplication::processEvents();
            cellNames[m] = f->fileNames[e];
            lastCell = m;
            nextStart = e + 1;
            const int p = (k + 1) * 100 / n;
            setWindowTitle(QStringLiteral("Kordel [イメージ一覧] %1%").arg(p));
            PBar->setValue(p);
            PBar->repaint();
        }
    }
    discardMouse();
}

void TForm2::fillCell(int m, int e) {
    TForm1* f = ctx_.form1;
    const QString name = f->fileNames[e];
    const QByteArray ext = fileExtension(name).toUpper();
    TPanel* panel = ArPanel->Members(m);
    TImage* image = ArImage->Members(m);

    QSize shown;
    QImage thumb;
    const bool own =
        f->thumbWidth.value(e) == kOwnPicture || f->thumbHeight.value(e) == kOwnPicture;
    if (!own) {
        shown = QSize(f->thumbWidth.value(e), f->thumbHeight.value(e));
        thumb = ThrIL[e];
    } else {
        // Icons and metafiles have no thumbnail: the picture itself is shown.
        f->thumbLoading = 1;
        if (name.isEmpty()) {
            cellPicture_->setPictureName(QString());  // deleted: nothing to load
        } else if (!f->isArchiveSelected()) {
            cellPicture_->setPictureName(name);
        } else if (f->ExtractMember(e)) {
            const QString copy = f->tempFolder + name;
            cellPicture_->setPictureName(copy);
            QFile::remove(copy);
        } else {
            cellPicture_->setPictureName(QString());
        }
        f->thumbLoading = 0;
        cellPicture_->setPreView(false);
        shown = QSize(cellPicture_->OrgWidth(), cellPicture_->OrgHeight());
    }
    panel->show();
    ArLabel->Members(m)->setText(name);

    image->clear();
    image->setGeometry(cellImageRect(shown, QSize(cellWidth, cellHeight), ext == ".ICO"));
    if (name.isEmpty()) {
        showPlaceholder(m);
        return;
    }
    if (!own)
        image->setImage(thumb);
    else if (cellPicture_->metafile())
        image->setDrawing(cellPicture_->metafile()->picture, cellPicture_->metafile()->size);
    else
        image->setImage(cellPicture_->image());
    panel->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TForm2::showPlaceholder(int m) {
    TImage* image = ArImage->Members(m);
    image->setImage(ctx_.form1->del_image->image());
    image->setGeometry(QRect(QPoint(2, 2), cellWidth == 128 ? QSize(124, 92) : QSize(60, 44)));
    ArPanel->Members(m)->setContextMenuPolicy(Qt::NoContextMenu);
}

void TForm2::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    if (!snapping_)
        FormResize();
}

void TForm2::FormResize() {
    SBar->setSizeGrip(!isMaximized());
    if (isMinimized())
        return;
    if (filling == 1) {
        // The grid stays as it is while a page fills.
        resize(savedWidth, savedHeight);
        discardMouse();
        return;
    }
    removeHighlight();
    if (shown == 1)
        regrid(false);
}

void TForm2::regrid(bool force) {
    const int oldColumns = columns, oldRows = rows;
    CalcGrid();
    if (opening_) {
        BuildCellMap();
        return;
    }
    if (!force && columns == oldColumns && rows == oldRows) {
        discardMouse();
        return;
    }
    BuildCellMap();
    nextStart = pageStart = 0;
    PrePage->setEnabled(false);
    NextPage->setEnabled(false);
    FillPage();
    for (int m = lastCell + 1; m < kCells; ++m)
        resetCell(m);
    PrePage->setEnabled(false);
    NextPage->setEnabled(nextStart <= ctx_.form1->lastIndex);
    discardMouse();
}

void TForm2::ApplyGridChange() {
    removeHighlight();
    // The cells were emptied for their new size: they are filled again even
    // when the number of cells stays the same.
    if (shown == 1)
        regrid(true);
}

void TForm2::S2Click() {
    chooseCellSize(false);
}

void TForm2::S3Click() {
    chooseCellSize(true);
}

// 128 x 96 cells with 9-point bold names, or 64 x 48 with 7-point regular ones.
void TForm2::chooseCellSize(bool large) {
    S2->setChecked(!large);
    S3->setChecked(large);
    const int width = large ? 128 : 64;
    if (cellWidth == width)
        return;
    cellWidth = width;
    cellHeight = large ? 96 : 48;
    RelayoutCells(large, large ? 9 : 7);
    ApplyGridChange();
}

void TForm2::NextPageClick() {
    pageStart = nextStart;
    turnPage();
    PrePage->setEnabled(true);
    NextPage->setEnabled(nextStart <= ctx_.form1->lastIndex);
    discardMouse();
}

void TForm2::PrePageClick() {
    nextStart = pageStart = std::max(pageStart - columns * rows, 0);
    turnPage();
    NextPage->setEnabled(true);
    PrePage->setEnabled(pageStart != 0);
    discardMouse();
}

void TForm2::turnPage() {
    PrePage->setEnabled(false);
    NextPage->setEnabled(false);
    resetAllCells();
    selectedCell = -1;
    FillPage();
}

void TForm2::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // Coming back from the task bar, or a change of stacking, is no opening.
    if (!e->spontaneous() && !restacking_)
        FormShow();
}

void TForm2::hideEvent(QHideEvent* e) {
    QMainWindow::hideEvent(e);
    if (!e->spontaneous() && !restacking_)
        FormHide();
}

void TForm2::closeEvent(QCloseEvent* e) {
    QMainWindow::closeEvent(e);
    FormHide();
}

void TForm2::FormShow() {
    resetAllCells();
    ctx_.form1->catalogueActive = 1;
    stopFill = 0;
    selectedCell = -1;
    nextStart = pageStart = 0;
    PrePage->setEnabled(false);
    NextPage->setEnabled(false);
    shown = 1;
}

void TForm2::FormHide() {
    ctx_.form1->catalogueActive = 0;
    stopFill = 1;
    resetAllCells();
    selectedCell = -1;
    shown = 0;
    ctx_.form1->B_ichiran->setDown(false);
}

void TForm1::B_ichiranClick() {
    if (B_ichiran->isDown())
        ctx_.form2->openCatalogue();
    else
        ctx_.form2->closeCatalogue();
}

void TForm2::openCatalogue() {
    TForm1* f = ctx_.form1;
    // Until the first page is under way, a resize only recounts the cells:
    // the page it would fill is the one filled below.
    opening_ = true;
    show();
    raise();
    stopLoaderAndWait();
    ThrIL.clear();
    f->catalogueActive = 1;
    stopFill = 0;
    startLoader();
    opening_ = false;
    FillPage();
    NextPage->setEnabled(nextStart <= f->lastIndex);
    f->B_ichiran->setEnabled(true);
}

void TForm2::closeCatalogue() {
    hide();
    stopLoaderAndWait();
    ThrIL.clear();
}

void TForm2::markCellDeleted(const QString& name) {
    int m = -1;
    for (int i = 0; i < kCells; ++i)
        if (cellNames[i] == name)
            m = i;
    if (m < 0)
        return;
    showPlaceholder(m);
    ArLabel->Members(m)->clear();
    cellNames[m] = QString();
    paintCell(ArPanel->Members(m), ArLabel->Members(m), palette().color(QPalette::Button),
              Qt::black);
}

void TForm2::setStaysOnTop(bool on) {
    if (bool(windowFlags() & Qt::WindowStaysOnTopHint) == on)
        return;
    // pos() and move() speak of the frame, as the stored position does; placing
    // the client instead would push the title bar of a window at 0, 0 off the
    // screen, out of the user's reach.
    const QPoint place = pos();
    const QSize size = this->size();
    const bool visible = isVisible();
    // The window is hidden and shown again for the new flag: its pages stay.
    restacking_ = true;
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    resize(size);
    move(place);
    if (visible)
        show();
    restacking_ = false;
}

void TForm2::startLoader() {
    stopLoaderAndWait();
    ThrIL.clear();
    // The previous loader has ended its last step; its thread only returns.
    loader_.reset();
    ctx_.form1->loaderRunning = 1;
    loader_ = std::make_unique<TViewThr>(*ctx_.form1, *this);
    loader_->start();
}

void TForm2::requestLoaderStop() {
    if (loader_)
        loader_->requestStop();
}

void TForm2::stopLoaderAndWait() {
    if (ctx_.form1->loaderRunning == 0)
        return;
    requestLoaderStop();
    // The loader's last steps run on this thread: events go on meanwhile.
    while (ctx_.form1->loaderRunning == 1)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

CatalogueSettings TForm2::currentSettings() const {
    CatalogueSettings s;
    s.top = y();
    s.left = x();
    s.width = width();
    s.height = height();
    s.picX = cellWidth;
    s.picY = cellHeight;
    return s;
}

}  // namespace kordel
