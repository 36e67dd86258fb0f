#include "main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QSlider>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

#include "drive_tab_set.h"
#include "image.h"
#include "list_view.h"

#include "app_style.h"
#include "application.h"
#include "catalogue_window.h"
#include "fit.h"
#include "option_set.h"
#include "panel.h"
#include "services.h"
#include "speed_button.h"
#include "split_pnl.h"
#include "status_bar.h"
#include "unlha_binding.h"
#include "version.h"

namespace kordel {

const std::array<const char*, kKindSlots> kKindMaskNames = {
    "*.BMP", "*.JPG", "*.JPE", "*.GIF", "*.TIF", "*.PIC", "*.P2",
    "*.MAG", "*.PI",  "*.Q4",  "*.ICO", "*.WMF", "*.EMF"};

const std::array<const char*, 14> kKindBoxItems = {
    "All Files", "BMP", "JPEG(JPG)", "JPEG(JPE)", "GIF",  "TIFF",          "PIC",
    "PIC2",      "MAG", "PI",        "XLD4",      "ICON", "MetaFile(WMF)", "MetaFile(EMF)"};

const std::array<const char*, 14> kIconMasks = {"*.BMP", "*.JPG", "*.JPE", "*.JPEG", "*.GIF",
                                                "*.TIF", "*.PIC", "*.P2",  "*.MAG",  "*.PI",
                                                "*.Q4",  "*.ICO", "*.WMF", "*.EMF"};

std::array<QString, kKindSlots> kindMasksForIndex(int index) {
    std::array<QString, kKindSlots> masks;
    masks.fill(QStringLiteral(" "));
    if (index == 0) {
        for (int i = 0; i < kKindSlots; ++i)
            masks[i] = QLatin1String(kKindMaskNames[i]);
    } else if (index >= 1 && index <= kKindSlots) {
        masks[index - 1] = QLatin1String(kKindMaskNames[index - 1]);
    }
    return masks;
}

namespace {

const QColor kTeal(0, 128, 128);
constexpr int kImageSize = 16;
// The file list's height in the design layout.
constexpr int kDesignListHeight = 65;
// Icon of each kind-box item: the picture image of the strip for "All Files",
// then small icons; the JPE item shows the icon of ".JPEG", as the kind list does.
constexpr std::array<int, 14> kKindBoxIcon = {-1, 0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};

TPanel* makePanel(QWidget* parent, Align align, int w, int h, const char* name) {
    auto* p = new TPanel(parent);
    p->setObjectName(QLatin1String(name));
    p->resize(w, h);
    p->setBevelOuter(TPanel::Bevel::None);
    appendAligned(p, align);
    return p;
}

// Draws the kind box's items: the icon at the top-left corner, the text 18 pixels in.
class KindBoxDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p,
               const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        p->fillRect(option.rect,
                    option.palette.color(selected ? QPalette::Highlight : QPalette::Base));
        const QPixmap icon = index.data(Qt::DecorationRole).value<QPixmap>();
        if (!icon.isNull())
            p->drawPixmap(option.rect.topLeft(), icon);
        p->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        p->drawText(option.rect.adjusted(18, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                    index.data(Qt::DisplayRole).toString());
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width() + 18, 17};
    }
};

}  // namespace

namespace {
// The main window as the picture components see it.
class MainPictureHost : public PictureHost {
public:
    explicit MainPictureHost(TForm1& form) : form_(form) {}
    void setStatusText(const QString& text) override { form_.setStatusText(text); }
    void setProgress(int percent) override { form_.setProgress(percent); }
    bool thumbLoading() const override { return form_.thumbLoading == 1; }
    Screen& screen() override { return *form_.context().services->screen; }

private:
    TForm1& form_;
};
}  // namespace

TForm1::TForm1(AppContext& context)
    : ctx_(context), pictureHost_(std::make_unique<MainPictureHost>(*this)) {
    ctx_.form1 = this;
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kordel"));
    setFont(uiFont(12));
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/images/kordel_%1.png").arg(size), QSize(size, size));
    // Every window of the program carries it: the catalogue and the dialogs too.
    QGuiApplication::setWindowIcon(icon);
    createControls();
    createMenus();
    connectBrowsing();
    connectTree();
    AppStart();
}

TForm1::~TForm1() = default;

void TForm1::createControls() {
    auto* client = new TPanel(this);
    client->setObjectName(QStringLiteral("Client"));
    client->setBevelOuter(TPanel::Bevel::None);
    Client = client;
    setCentralWidget(client);

    Panel1 = makePanel(client, Align::Top, 467, 31, "Panel1");
    Bevel1 = new TBevel(Panel1);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->resize(467, 2);
    setAlign(Bevel1, Align::Top);

    struct ButtonSpec {
        TSpeedButton** field;
        const char* name;
        int left;
        const char* hint;
        int group;
        const char* glyph;
    };
    const ButtonSpec buttons[] = {
        {&G_exit, "G_exit", 15, "終了", 0, "g_exit"},
        {&G_rev, "G_rev", 50, "連続表示(ﾘﾊﾞｰｽ)", 3, "g_rev"},
        {&G_play, "G_play", 75, "連続表示", 2, "g_play"},
        {&G_top, "G_top", 110, "先頭の画像", 0, "g_top"},
        {&G_back, "G_back", 135, "前の画像", 0, "g_back"},
        {&G_step, "G_step", 160, "次の画像", 0, "g_step"},
        {&G_end, "G_end", 185, "最後の画像", 0, "g_end"},
        {&O_gazou, "O_gazou", 220, "ｳｨﾝﾄﾞｳｻｲｽﾞの自動調整表示", 1, "o_gazou"},
        {&O_hiritu, "O_hiritu", 245, "画像の比率維持表示", 1, "o_hiritu"},
        {&O_stretch, "O_stretch", 270, "画像のstretch表示", 1, "o_stretch"},
        {&B_ichiran, "B_ichiran", 305, "イメージ一覧", 4, "b_ichiran"},
    };
    for (const ButtonSpec& b : buttons) {
        auto* button = new TSpeedButton(Panel1);
        button->setObjectName(QLatin1String(b.name));
        button->setGeometry(b.left, 4, 25, 25);
        button->setToolTip(QString::fromUtf8(b.hint));
        button->setGroupIndex(b.group);
        button->setIcon(QIcon(QStringLiteral(":/images/%1.png").arg(QLatin1String(b.glyph))));
        button->setIconSize(QSize(18, 18));
        *b.field = button;
    }
    connect(G_exit, &QToolButton::clicked, this, &TForm1::G_exitClick);

    ComboBox = new QComboBox(Panel1);
    ComboBox->setObjectName(QStringLiteral("ComboBox"));
    ComboBox->setGeometry(340, 5, 122, 21);
    ComboBox->setToolTip(QStringLiteral("検索対象画像"));
    ComboBox->setMaxVisibleItems(16);
    ComboBox->setItemDelegate(new KindBoxDelegate(ComboBox));
    ComboBox->setIconSize(QSize(kImageSize, kImageSize));
    for (const char* item : kKindBoxItems)
        ComboBox->addItem(QLatin1String(item));

    DrivePanel = makePanel(client, Align::Top, 467, 24, "DrivePanel");
    DrivePanel->setBevelInner(TPanel::Bevel::Lowered);
    DriveTabSet = new TDriveTabSet(DrivePanel);
    DriveTabSet->setObjectName(QStringLiteral("DriveTabSet"));
    setAlign(DriveTabSet, Align::Client);

    Panel2 = makePanel(client, Align::Top, 467, 2, "Panel2");

    Panel3 = makePanel(client, Align::Bottom, 467, 19, "Panel3");
    Panel4 = makePanel(Panel3, Align::Left, 127, 19, "Panel4");
    ProgressBar = new QProgressBar(Panel4);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(1, 2, 124, 16);
    ProgressBar->setRange(0, 100);
    ProgressBar->setValue(0);
    ProgressBar->setTextVisible(false);
    Status = new TStatusBar(Panel3);
    Status->setObjectName(QStringLiteral("Status"));
    // The widths suit the old platform's narrower font; each panel here is at least as
    // wide as the longest text it shows.
    const QFontMetrics metrics(font());
    const auto fit = [&metrics](int width, const QString& longest) {
        return qMax(width, metrics.horizontalAdvance(longest) + 6);
    };
    Status->setPanelWidths({fit(45, QStringLiteral("色不明")),
                            fit(65, QStringLiteral("32767x32767")),
                            fit(50, QStringLiteral("2000/2000")), 150});
    setAlign(Status, Align::Client);

    TreeViewPanel = makePanel(client, Align::Left, 125, 244, "TreeViewPanel");
    TreeViewPanel->setSingleBorder(true);
    TreeView = new QTreeWidget(TreeViewPanel);
    TreeView->setObjectName(QStringLiteral("TreeView"));
    TreeView->setHeaderHidden(true);
    TreeView->setRootIsDecorated(false);
    // Long names scroll sideways rather than being cut short.
    TreeView->setTextElideMode(Qt::ElideNone);
    TreeView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TreeView->header()->setStretchLastSection(false);
    TreeView->setIndentation(19);
    TreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView->setFrameShape(QFrame::NoFrame);
    setAlign(TreeView, Align::Client);

    Splitter = makePanel(client, Align::Left, 3, 244, "Splitter");
    Splitter->setCursor(Qt::SplitHCursor);
    Splitter->installEventFilter(this);

    Panel5 = makePanel(client, Align::Client, 339, 244, "Panel5");
    ViewPanel = makePanel(Panel5, Align::Top, 339, 177, "ViewPanel");
    ViewPanel->setSingleBorder(true);
    QPalette teal = ViewPanel->palette();
    teal.setColor(QPalette::Window, kTeal);
    ViewPanel->setPalette(teal);
    ScrollBox = new QScrollArea(ViewPanel);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    ScrollBox->setFrameShape(QFrame::NoFrame);
    ScrollBox->setPalette(teal);
    ScrollBox->setBackgroundRole(QPalette::Window);
    ScrollBox->setAutoFillBackground(true);
    ScrollBox->setContextMenuPolicy(Qt::CustomContextMenu);
    setAlign(ScrollBox, Align::Client);
    auto* canvas = new QWidget;
    canvas->setObjectName(QStringLiteral("ScrollBoxCanvas"));
    canvas->setPalette(teal);
    canvas->setAutoFillBackground(true);
    ScrollBox->setWidget(canvas);
    ScrollBox->setWidgetResizable(false);
    PicView = new TAll(*pictureHost_, canvas);
    PicView->setObjectName(QStringLiteral("PicView"));
    PicView2 = new TImage(canvas);
    PicView2->setObjectName(QStringLiteral("PicView2"));
    PicView2->setGeometry(0, 0, 0, 0);
    PicView2->setContextMenuPolicy(Qt::CustomContextMenu);
    del_image = new TImage(canvas);
    del_image->setObjectName(QStringLiteral("del_image"));
    del_image->setImage(QImage(QStringLiteral(":/images/del_image.png")));
    del_image->hide();

    SplitPanel = new TSplitPanel(Panel5);
    SplitPanel->setObjectName(QStringLiteral("SplitPanel"));
    SplitPanel->resize(339, 2);
    SplitPanel->setReSizeControl(ViewPanel);
    SplitPanel->setSplit(spHorizontalLine);
    SplitPanel->setParentBevelWidth(0);
    appendAligned(SplitPanel, Align::Top);

    Panel6 = makePanel(Panel5, Align::Client, 339, kDesignListHeight, "Panel6");
    Panel6->setSingleBorder(true);
    ListView = new TListView(Panel6);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView->setColumns({QStringLiteral("ﾌｧｲﾙ名"), QStringLiteral("ｻｲｽﾞ"), QStringLiteral("日付"),
                          QStringLiteral("種類")});
    ListView->setColumnAlignment(1, Qt::AlignRight);
    ListView->setColumnWidth(0, 100);
    setAlign(ListView, Align::Client);

    Timer = new QTimer(this);
    Timer->setObjectName(QStringLiteral("Timer"));

    // Client area of the design: 467 × 320 below the menu bar.
    client->resize(467, 320);
}

bool TForm1::archiveLibraryLoaded() const {
    return ctx_.archive && ctx_.archive->archiveLibraryLoaded();
}

void TForm1::setStatusText(const QString& text) {
    Status->setPanelText(3, text);
}

void TForm1::setProgress(int percent) {
    ProgressBar->setValue(percent);
    ProgressBar->repaint();
}

void TForm1::loadImageStrip() {
    const QPixmap strip(QStringLiteral(":/images/b_data.png"));
    ImageList.clear();
    for (int i = 0; i < 12; ++i)
        ImageList.append(strip.isNull() ? QPixmap()
                                        : strip.copy(i * kImageSize, 0, kImageSize, kImageSize));
}

void TForm1::loadKindIcons() {
    // The desktop's icon for each file type, through the MIME database and the
    // icon theme; the picture image of the strip where the theme has none.
    QMimeDatabase db;
    SmImageList.clear();
    for (const char* mask : kIconMasks) {
        const QString name = QStringLiteral("x") + QLatin1String(mask + 1).toString().toLower();
        const QMimeType type = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        QIcon icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
        QPixmap pixmap = icon.isNull() ? QPixmap() : icon.pixmap(kImageSize, kImageSize);
        if (pixmap.isNull() || pixmap.size() != QSize(kImageSize, kImageSize))
            pixmap = pixmap.isNull() ? ImageList.value(7)
                                     : pixmap.scaled(kImageSize, kImageSize, Qt::KeepAspectRatio,
                                                     Qt::SmoothTransformation);
        SmImageList.append(pixmap);
    }
    for (int i = 0; i < ComboBox->count(); ++i) {
        const int icon = kKindBoxIcon[i];
        ComboBox->setItemData(i, icon < 0 ? ImageList.value(7) : SmImageList.value(icon),
                              Qt::DecorationRole);
    }
}

void TForm1::setKindMasksFromIndex(int index) {
    kindMasks = kindMasksForIndex(index);
    currentKindIndex = index == 0 ? 0 : index;
}

void TForm1::AppStart() {
    loadImageStrip();
    splitControl = new TSplitControl(this);
    startingUp = 1;
    busy = stopRequest = catalogueActive = loaderRunning = thumbLoading = treeBuilding =
        sortDirection = firstIndex = 0;
    FileTable::reset();
    driveKinds = QList<int>(26, 3);
    loadKindIcons();

    // A missing tile setting counts as tiling on.
    const bool tile = ctx_.services->desktop->tileWallpaper().value_or(true);
    K_TILE->setChecked(tile);
    P_TILE->setChecked(tile);

    if (archiveLibraryLoaded())
        ctx_.archive->setBackGroundMode(false);
    tempFolder = ctx_.services->tempFolder->path();
    programFolder = ctx_.programDir;
    // Beside the program in a build or a portable copy, in the data folder once installed.
    helpFile = programFolder + QStringLiteral("help/index.html");
    if (!QFileInfo::exists(helpFile) &&
        QFileInfo::exists(installedDataFolder(programFolder) + QStringLiteral("help/index.html")))
        helpFile = installedDataFolder(programFolder) + QStringLiteral("help/index.html");
    settingsPath = ctx_.settingsDir + QStringLiteral("KDL.INI");

    const ProfileFile file(settingsPath);
    settingsFileExisted = file.existed();
    if (settingsFileExisted)
        applySettings(readMainSettings(file));
    else
        applyDefaults();

    for (TSpeedButton* b : {G_rev, G_play, G_top, G_back, G_step, G_end})
        b->setEnabled(false);
    B_ichiran->setEnabled(true);
    ctx_.splashStep(2);

    for (int i = 0; i < 4; ++i)
        ListView->setColumnWidth(i, savedColumnWidths[i]);
    archiveImage = optionsRead.lzhIcon;
    selectStartFolder();
    startingUp = 0;
}

void TForm1::applySettings(const MainSettings& s) {
    const QRect placed =
        keptOnDesktop(QRect(s.left, s.top, s.width, s.height), ctx_.services->screen->desktop());
    move(placed.topLeft());
    resize(placed.size());
    // A tree stored wider than the window (saved on a larger screen) would push the
    // splitter out of reach: the bar stays inside the window.
    TreeViewPanel->resize(qMin(s.dirWidth, placed.width() - Splitter->width()), s.dirHeight);
    // A window made lower to fit the desktop takes the difference from the viewer, so
    // the list below it keeps its height instead of being pushed out of the window.
    ViewPanel->resize(ViewPanel->width(),
                      qMax(0, s.vpHeight - qMax(0, s.height - placed.height())));
    viewStyle = s.viewStyle;
    ListView->setViewStyle(TListView::Style(qBound(0, s.viewStyle, 3)));
    savedColumnWidths = s.columnWidths;
    optionsRead = s;
    JpegOpt = s.jpegOpt ? 1 : 0;
    SortOpt = s.sortOpt ? 1 : 0;
    ActOpt = s.actOpt ? 1 : 0;
    displayMode = s.hyouji;
    pressDisplayButton(displayMode, false);
    ComboBox->setCurrentIndex(s.selIndex);
    setKindMasksFromIndex(ComboBox->currentIndex());
    N9->setChecked(s.toolBar);
    N7->setChecked(s.driveTab);
    N8->setChecked(s.dirTree);
    NA->setChecked(s.listView);
    if (!s.toolBar)
        Panel1->hide();
    if (!s.driveTab)
        DrivePanel->hide();
    if (!s.dirTree) {
        Splitter->hide();
        TreeViewPanel->hide();
    }
    if (!s.listView) {
        SplitPanel->hide();
        Panel6->hide();
        NA->setChecked(false);
        listHeight_ = Panel6->height();
        setAlign(ViewPanel, Align::Client);
    }
}

void TForm1::applyDefaults() {
    const QSize screen = ctx_.services->screen->size();
    const QSize design(467, 320 + menuBar()->sizeHint().height());
    resize(design);
    move((screen.width() - width()) / 2, (screen.height() - height()) / 2);
    AppStyle::setHintPause(400);
    savedColumnWidths = {60, 38, 50, 50};
    MainSettings s;
    s.disp = 3;
    s.timer = 0;
    s.lzhIcon = 8;
    s.jpegOpt = s.sortOpt = s.actOpt = false;
    s.hyouji = 3;
    s.selIndex = 0;
    s.dirWidth = TreeViewPanel->width();
    s.dirHeight = TreeViewPanel->height();
    s.vpHeight = ViewPanel->height();
    optionsRead = s;
    JpegOpt = SortOpt = ActOpt = 0;
    displayMode = 3;
    viewStyle = 3;
    ComboBox->setCurrentIndex(0);
    setKindMasksFromIndex(0);
}

void TForm1::N9Click() {
    if (N9->isChecked()) {
        Panel1->hide();
        N9->setChecked(false);
    } else {
        // Re-stack so that the tool bar comes back above the drive tabs and the separator.
        for (TPanel* p : {Panel1, DrivePanel, Panel2})
            setAlign(p, Align::None);
        Panel1->move(Panel1->x(), 0);
        DrivePanel->move(DrivePanel->x(), 31);
        Panel2->move(Panel2->x(), 55);
        for (TPanel* p : {Panel1, DrivePanel, Panel2})
            setAlign(p, Align::Top);
        Panel1->show();
        N9->setChecked(true);
    }
    afterLayoutToggle();
}

void TForm1::N7Click() {
    if (N7->isChecked()) {
        DrivePanel->hide();
        N7->setChecked(false);
    } else {
        DrivePanel->show();
        N7->setChecked(true);
    }
    afterLayoutToggle();
}

void TForm1::N8Click() {
    if (N8->isChecked()) {
        Splitter->hide();
        TreeViewPanel->hide();
        N8->setChecked(false);
    } else {
        TreeViewPanel->show();
        Splitter->show();
        N8->setChecked(true);
    }
    afterLayoutToggle();
}

void TForm1::NAClick() {
    if (NA->isChecked()) {
        listHeight_ = Panel6->height();
        SplitPanel->hide();
        Panel6->hide();
        NA->setChecked(false);
        resize(width(), height() - listHeight_);
        setAlign(ViewPanel, Align::Client);
        ListView->setUpdatesEnabled(false);
        ListView->clear();
        ListView->setUpdatesEnabled(true);
    } else {
        // A list hidden from the start was never laid out: it gets the room the saved
        // viewer height leaves below the viewer, and at least its design height.
        if (listHeight_ <= 0)
            listHeight_ = qMax(kDesignListHeight,
                               Panel5->height() - optionsRead.vpHeight - SplitPanel->height());
        setAlign(ViewPanel, Align::Top);
        SplitPanel->show();
        Panel6->show();
        // A maximised window cannot grow: the viewer makes the room instead.
        if (isMaximized() || isFullScreen())
            ViewPanel->resize(ViewPanel->width(),
                              qMax(0, ViewPanel->height() - listHeight_ - SplitPanel->height()));
        else
            resize(width(), height() + listHeight_ + 2);
        NA->setChecked(true);
        repaint();
        FillFileList(isArchiveSelected());
    }
    afterLayoutToggle();
}

void TForm1::afterLayoutToggle() {
    // The viewer changed size: lay the picture out again for the display mode.
    if (foundAny == 1)
        ShowPicture(fileNames[currentIndex], currentIndex, lastIndex, 0);
}

void TForm1::Contents1Click() {
    // Pages missing from an installation, or no program to show them: said, not silent.
    if (!ctx_.services->help->showContents(helpFile))
        ctx_.services->dialogs->message(this, Dialogs::Icon::Warning, QStringLiteral("Kordel"),
                                        QStringLiteral("ヘルプ「%1」を開けません。").arg(helpFile));
}

void TForm1::About1Click() {
    ctx_.services->dialogs->runModal(ctx_.aboutBox);
}

void TForm1::Exit1Click() {
    close();
}

void TForm1::G_exitClick() {
    close();
}

void TForm1::pressDisplayButton(int mode, bool raiseAllForMode3) {
    const std::array<TSpeedButton*, 3> buttons = {O_gazou, O_hiritu, O_stretch};
    if (mode >= 0 && mode <= 2)
        buttons[mode]->setDown(true);
    else if (mode == 3 && raiseAllForMode3)
        for (TSpeedButton* b : buttons)
            b->setChecked(false);
}

void TForm1::K1Click() {
    TOptionPagesDlg* dlg = ctx_.optionPagesDlg;
    ctx_.form2->setStaysOnTop(false);
    const int oldJpeg = JpegOpt, oldMode = displayMode, oldSort = SortOpt;
    ctx_.services->dialogs->runModal(dlg);
    pressDisplayButton(displayMode, true);
    // Only the first change that applies: a new order needs a rescan, a new JPEG
    // mode a reload, a new display mode a layout.
    if (foundAny == 1) {
        if (SortOpt != oldSort) {
            RescanFileList();
            StartCatalogueLoad();
        } else if (JpegOpt != oldJpeg)
            showEntry(currentIndex);
        else if (displayMode != oldMode)
            ShowPicture(fileNames[currentIndex], currentIndex, lastIndex, 0);
    }
    ctx_.form2->setStaysOnTop(ActOpt == 1);
}

MainSettings TForm1::currentSettings() const {
    MainSettings s;
    s.top = y();
    s.left = x();
    s.width = width();
    s.height = height();
    s.dirWidth = TreeViewPanel->width();
    s.dirHeight = TreeViewPanel->height();
    s.vpHeight = ViewPanel->height();
    s.viewStyle = ListView->viewStyle();
    for (int i = 0; i < 4; ++i)
        s.columnWidths[i] = ListView->columnWidth(i);
    const TOptionPagesDlg* dlg = ctx_.optionPagesDlg;
    s.disp = dlg->radioIndex();
    s.jpegOpt = dlg->JPEG_BOX->isChecked();
    s.sortOpt = dlg->SortBox->isChecked();
    s.actOpt = dlg->ActWin->isChecked();
    s.timer = dlg->TBar->value();
    s.lzhIcon = archiveImage;
    s.hyouji = displayMode;
    s.selIndex = ComboBox->currentIndex();
    s.toolBar = N9->isChecked();
    s.driveTab = N7->isChecked();
    s.dirTree = N8->isChecked();
    s.listView = NA->isChecked();
    return s;
}

void TForm1::FormClose() {
    stopRequest = 1;
    Timer->stop();
    if (loaderRunning == 1) {
        ctx_.form2->stopFill = 1;
        ctx_.form2->stopLoaderAndWait();
    }
    ProfileFile file(settingsPath);
    writeAllSettings(file, currentSettings(), ctx_.form2->currentSettings());
    if (!file.save()) {
        // The settings are lost, but the window still closes.
        ctx_.services->dialogs->message(this, Dialogs::Icon::Error, QStringLiteral("Kordel"),
                                        QStringLiteral("%1 に書き込めません").arg(settingsPath));
    }
}

void TForm1::closeEvent(QCloseEvent* e) {
    // A running show is a loop further down the stack: end it first, and close
    // once it has returned.
    if (slideshowRunning()) {
        closeAfterSlideshow_ = true;
        stopSlideshow();
        e->ignore();
        return;
    }
    if (!closing_) {
        closing_ = true;
        FormClose();
    }
    e->accept();
    emit closed();
}

void TForm1::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    // The size the window is created with stands; resizes from then on are checked.
    if (isVisible())
        FormResize();
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (fileDragEvent(watched, e))
        return true;
    const bool listView = watched == ListView->reportView() || watched == ListView->iconView();
    if ((listView || watched == TreeView) && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        // The item views would put their current row's text on the clipboard in place
        // of what it holds: Ctrl+C copies the picture on show, or nothing when it cannot.
        if (key->matches(QKeySequence::Copy))
            return true;
        // '*' would expand every folder below the node at once: below a drive's root,
        // the whole file system, read in one go while the window stands still.
        if (watched == TreeView && key->key() == Qt::Key_Asterisk)
            return true;
    }
    if (listView && e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        ListViewKeyDown(key);
        if (ListViewKeyPress(key))
            return true;
    }
    if ((watched == ListView->reportView()->viewport() ||
         watched == ListView->iconView()->viewport()) &&
        e->type() == QEvent::MouseButtonPress)
        ListViewMouseDown(static_cast<QMouseEvent*>(e));
    if (watched == PicView2 || watched == ScrollBox->viewport()) {
        if (e->type() == QEvent::MouseButtonPress)
            PicView2MouseDown(static_cast<QMouseEvent*>(e));
        else if (e->type() == QEvent::MouseButtonDblClick)
            PicView2DblClick();
    }
    if (watched == ScrollBox->viewport() && e->type() == QEvent::Resize && displayMode == 2 &&
        PicView2->hasPicture()) {
        // The stretched picture fills the viewer whatever its size.
        ScrollBox->widget()->resize(ScrollBox->viewport()->size());
        PicView2->setGeometry(ScrollBox->viewport()->rect());
    }
    if (watched == ViewPanel && e->type() == QEvent::Resize)
        ViewPanelResize();
    if (watched == Splitter) {
        switch (e->type()) {
            case QEvent::MouseButtonPress:
                SplitterMouseDown(static_cast<QMouseEvent*>(e));
                return true;
            case QEvent::MouseMove:
                SplitterMouseMove(static_cast<QMouseEvent*>(e));
                return true;
            case QEvent::MouseButtonRelease:
                SplitterMouseUp(static_cast<QMouseEvent*>(e));
                return true;
            default:
                break;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void TForm1::SplitterMouseDown(QMouseEvent* e) {
    // Only the left button with no key or other button held.
    if (e->button() == Qt::LeftButton && e->buttons() == Qt::LeftButton &&
        e->modifiers() == Qt::NoModifier)
        splitControl->BeginSizing(Splitter, TreeViewPanel);
}

void TForm1::SplitterMouseMove(QMouseEvent* e) {
    if (splitControl->IsSizing())
        splitControl->ChangeSizing(e->position().toPoint().x(), e->position().toPoint().y());
}

void TForm1::SplitterMouseUp(QMouseEvent*) {
    if (splitControl->IsSizing())
        splitControl->EndSizing();
    if (foundAny == 1 && displayMode != 3)
        ShowPicture(fileNames[currentIndex], currentIndex, lastIndex, 0);
}

}  // namespace kordel
