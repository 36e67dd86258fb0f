// The main window: tool bar, drive tabs, folder tree, viewer, file list and
// status bar, with its menus. This file holds the window's structure, its
// creation (AppStart), the layout toggles and its closing; the browsing
// behaviour lives in src/browser.
#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <array>
#include <atomic>
#include <memory>

#include "all.h"
#include "app_context.h"
#include "file_table.h"
#include "services.h"
#include "settings.h"

class QAction;
class QComboBox;
class QMimeData;
class QLabel;
class QMenu;
class QProgressBar;
class QScrollArea;
class QTabBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace kordel {

class TPanel;
class TBevel;
class TDriveTabSet;
class TImage;
class TListView;
class TSpeedButton;
class TStatusBar;
class TSplitPanel;
class TSplitControl;

// Number of picture-kind slots and the masks in scan order.
constexpr int kKindSlots = 13;
extern const std::array<const char*, kKindSlots> kKindMaskNames;
// The kind box's items and the masks of the small icons, in their orders.
extern const std::array<const char*, 14> kKindBoxItems;
extern const std::array<const char*, 14> kIconMasks;

// Kind masks for an index of the kind box: 0 all on, 1..13 one slot, else all off.
std::array<QString, kKindSlots> kindMasksForIndex(int index);

class TForm1 : public QMainWindow, public FileTable {
    Q_OBJECT
public:
    explicit TForm1(AppContext& context);
    ~TForm1() override;

    AppContext& context() { return ctx_; }

    // --- state ---
    QString settingsPath;
    QString helpFile;
    QString tempFolder;
    QString programFolder;
    MainSettings optionsRead;  // the values as read, for the settings dialog
    bool settingsFileExisted = false;
    int JpegOpt = 0, SortOpt = 0, ActOpt = 0;  // in force
    int displayMode = 3;
    int archiveImage = 8;
    std::array<int, 4> savedColumnWidths{60, 38, 50, 50};
    std::array<QString, kKindSlots> kindMasks;
    int currentKindIndex = 0;
    QList<int> driveKinds = QList<int>(26, 3);
    int currentDriveTab = 0;
    int viewStyle = 3;
    int startingUp = 0, busy = 0, stopRequest = 0, thumbLoading = 0, treeBuilding = 0,
        sortDirection = 0, firstIndex = 0;
    // Also read by the thumbnail loader's thread.
    std::atomic<int> catalogueActive{0}, loaderRunning{0};
    int sortColumn = 0;
    // Display size of each entry's thumbnail (at most 96 × 72, the picture's
    // aspect kept); 65535 in both for icons and metafiles.
    QList<int> thumbWidth = QList<int>(kTableSlots, 0), thumbHeight = QList<int>(kTableSlots, 0);
    int dragMove = 0;
    // Sizes of the picture on show, kept so that a re-layout never reloads it.
    int decodedWidth = 0, decodedHeight = 0, fullWidth = 0, fullHeight = 0;

    // --- controls ---
    QWidget* Client = nullptr;  // the client area: a panel aligning the rest
    TPanel* Panel1 = nullptr;
    TBevel* Bevel1 = nullptr;
    TSpeedButton *G_exit = nullptr, *G_rev = nullptr, *G_play = nullptr, *G_top = nullptr,
                 *G_back = nullptr, *G_step = nullptr, *G_end = nullptr, *O_gazou = nullptr,
                 *O_hiritu = nullptr, *O_stretch = nullptr, *B_ichiran = nullptr;
    QComboBox* ComboBox = nullptr;
    TPanel* DrivePanel = nullptr;
    TDriveTabSet* DriveTabSet = nullptr;
    TPanel* Panel2 = nullptr;
    TPanel* Panel3 = nullptr;
    TPanel* Panel4 = nullptr;
    QProgressBar* ProgressBar = nullptr;
    TStatusBar* Status = nullptr;
    TPanel* TreeViewPanel = nullptr;
    QTreeWidget* TreeView = nullptr;
    TPanel* Splitter = nullptr;
    TPanel* Panel5 = nullptr;
    TPanel* ViewPanel = nullptr;
    QScrollArea* ScrollBox = nullptr;
    TAll* PicView = nullptr;
    TImage* PicView2 = nullptr;
    TImage* del_image = nullptr;
    TSplitPanel* SplitPanel = nullptr;
    TPanel* Panel6 = nullptr;
    TListView* ListView = nullptr;
    QTimer* Timer = nullptr;
    QList<QPixmap> ImageList;    // the 16 × 16 image strip
    QList<QPixmap> SmImageList;  // small icons of the picture kinds
    TSplitControl* splitControl = nullptr;

    // --- menus ---
    QMenu *File1 = nullptr, *Kabegami = nullptr, *Edit = nullptr, *Show1 = nullptr,
          *K_canvas = nullptr, *O1 = nullptr, *Help1 = nullptr;
    QAction *SaveAs = nullptr, *K_NOMAL = nullptr, *K_KORDEL = nullptr, *K_NAME = nullptr,
            *K_TILE = nullptr, *Exit1 = nullptr;
    QAction *K4 = nullptr, *KV1 = nullptr, *KD2 = nullptr, *KD1 = nullptr, *KD3 = nullptr;
    QAction *KT1 = nullptr, *KB1 = nullptr, *KS1 = nullptr, *KE1 = nullptr;
    QAction *N320x2401 = nullptr, *N640x4001 = nullptr, *N640x4801 = nullptr, *N640x8001 = nullptr,
            *N800x6001 = nullptr, *N1024x7681 = nullptr;
    QAction *K1 = nullptr, *N9 = nullptr, *N7 = nullptr, *N8 = nullptr, *NA = nullptr;
    QAction *Contents1 = nullptr, *About1 = nullptr;
    QMenu* PopupMenu = nullptr;
    QMenu* Kabegami2 = nullptr;
    QAction *SaveAs2 = nullptr, *P_NOMAL = nullptr, *P_KORDEL = nullptr, *P_NAME = nullptr,
            *P_TILE = nullptr, *Copy1 = nullptr, *K7 = nullptr, *G2 = nullptr, *G1 = nullptr,
            *G3 = nullptr;
    QMenu* PopupMenu3 = nullptr;
    QAction *K3 = nullptr, *K2 = nullptr, *K5 = nullptr, *K6 = nullptr;

    // --- handlers ---
    // The file table was rebuilt while the catalogue may be open: its cells are
    // reset, the loader restarted and the first page shown.
    void StartCatalogueLoad();
    // Opens the catalogue when the button goes down, closes it when it comes up.
    void B_ichiranClick();
    void N9Click();
    void N7Click();
    void N8Click();
    void NAClick();
    void Contents1Click();
    void About1Click();
    void Exit1Click();
    void G_exitClick();
    void K1Click();

    // --- file table and scan ---
    void RescanFileList();
    int ScanFolderMask(const QString& folder, const QString& mask);
    void ComboBoxChange();
    void MarkEntryDeleted(const QString& fullPath, const QString& name);
    // The current folder with a trailing "/" (none added to the root), as the user
    // reached it: through a symbolic link it keeps the link's path.
    QString currentFolder() const;
    // Makes `folder` the current folder; false, with errno set, when it cannot be.
    bool enterFolder(const QString& folder);
    // Whether the selected tree node is an archive.
    bool isArchiveSelected() const;
    // Opens a folder, or the folder of a file and shows that file (the program's argument).
    void openPath(const QString& path);

    // --- drive tabs and folder tree ---
    QList<Place> drivePlaces;  // by tab index
    // Tabs for the places that get one; the current folder's place becomes the current tab.
    void buildDriveTabs();
    // After volumes were mounted or unmounted: tabs for the places now, the one on
    // show kept current.
    void refreshDriveTabs();
    QList<Place> tabbedPlaces() const;
    void setDriveTabs(const QList<Place>& places, int current);
    bool DriveReady(int tab);
    void DriveTabSetClick(int tab);
    void BuildDriveTree(const Place& place);
    void AddSubfolders(const QString& folder, QTreeWidgetItem* parent, bool withGrandchildren);
    void ExpandNode(QTreeWidgetItem* node);
    QString NodePath(const QTreeWidgetItem* node) const;
    static QString JoinPath(const QString& folder, const QString& name);
    void TreeViewExpanding(QTreeWidgetItem* node);
    bool TreeViewChanging(QTreeWidgetItem* node) const;
    void TreeViewChange(QTreeWidgetItem* node);
    static bool isArchiveNode(const QTreeWidgetItem* node);
    // Data role marking archive nodes of the tree.
    static constexpr int kArchiveNodeRole = Qt::UserRole + 2;
    // Whether the archive library could be loaded.
    bool archiveLibraryLoaded() const;

    // --- archive folders ---
    // The selected archive's path; empty when the selected node is no archive.
    QString selectedArchivePath() const;
    int ScanArchiveMask(const QString& archivePath, const QString& mask);
    // Extracts entry `index` of the selected archive into the temporary folder;
    // the caller uses and deletes the copy.
    bool ExtractMember(int index);
    // Extracts, shows and deletes entry `index`; the caption names the member.
    void ExtractAndShowMember(int index);
    // Hands a member of the selected archive to the desktop's default program,
    // as a copy of its own that stays until this program ends.
    void openMemberWithDefault(const QString& name);
    // An entry of the folder or archive on show, handed to the desktop's default program.
    void openEntryWithDefault(const QString& name);
    // Size and MS-DOS date and time of the members of the selected archive, by base name.
    struct MemberDetails {
        quint32 size = 0;
        quint16 dosDate = 0, dosTime = 0;
    };
    QHash<QString, MemberDetails> memberDetailsByName();
    // Whether the selected archive is sound: its headers, and the members' CRCs
    // while the archive is small enough to decompress at once.
    bool checkSelectedArchive();
    // Selects the tree node of a folder, building its drive's tree and expanding
    // the way down; null when the folder lies on no place.
    QTreeWidgetItem* selectFolderNode(const QString& folder);

    // --- viewer and navigation ---
    // Action 1 loads and shows; any other value lays the picture out again.
    void ShowPicture(const QString& name, int current, int last, int action);
    void showEntry(int index);
    // G_rev, G_play, G_top, G_back, G_step, G_end on or off.
    void setNavigation(const std::array<bool, 6>& enabled);
    void G_topClick();
    void G_backClick();
    void G_stepClick();
    void G_endClick();
    void O_gazouClick();
    void O_hirituClick();
    void O_stretchClick();
    void FormResize();
    void ViewPanelResize();
    void SetCanvasSize(int width, int height);
    // Resizes the window so that the viewer panel gets `viewer` (outer size), `gap`
    // pixels above a shown list, within the desktop.
    void fitWindowToViewer(QSize viewer, int gap);
    void File1Click();
    void EditClick();
    void Show1Click();
    void PopupMenuPopup();
    void PicView2MouseDown(QMouseEvent* e);
    void PicView2DblClick();
    // The caption when the viewer holds pasted clipboard data.
    static QString clipboardCaption();

    // --- slideshow ---
    int slideInterval = 0;  // milliseconds between two pictures of the running show
    int waitPending = 0;
    // Milliseconds the show counts for one second of the settings dialog's interval;
    // tests shorten it.
    int slideSecondMs = 1000;
    void G_playClick();
    void G_revClick();
    void TimerTimer();
    // Whether a show runs; Esc and closing the window stop it as its button does.
    bool slideshowRunning() const { return slideRunning_ != nullptr; }
    void stopSlideshow();

    // --- file list ---
    void FillFileList(bool archiveMode);
    void ShowSelectedEntry();
    void SelectListEntry(const QString& name);
    int CompareListItems(int row1, int row2, int direction) const;
    void ListViewClick();
    void ListViewDblClick();
    void ListViewKeyDown(QKeyEvent* e);
    bool ListViewKeyPress(QKeyEvent* e);
    void ListViewMouseDown(QMouseEvent* e);
    void ListViewColumnClick(int column);
    void K3Click();
    void PopupMenu3Popup();

    // --- file operations and drag-and-drop ---
    QString sourcePath;  // full path of the file last worked on
    // The save dialog of copy and move, set up for one use: the chosen full
    // path (a bare name lies in `folder`), empty when cancelled.
    QString RunCopyDialog(QWidget* owner,
                          const QString& title,
                          const QString& folder,
                          const QString& name);
    // The shell's copy and move of `sourcePath`, and its delete; true when done.
    bool ShellCopyFile(const QString& destination, QWidget* owner = nullptr);
    bool ShellMoveFile(const QString& destination, QWidget* owner = nullptr);
    bool ShellDeleteFile(const QString& path, QWidget* owner = nullptr);
    // The catalogue window topmost again when the settings ask for it.
    void RestoreCatalogueStacking();
    // Copies or moves an entry of the current folder through the save dialog;
    // the dialogs and questions belong to `owner` (null: this window).
    void transferEntry(const QString& name, bool move, QWidget* owner = nullptr);
    void deleteEntry(const QString& name, bool lowerCatalogue, QWidget* owner = nullptr);
    void KD2Click();
    void G1Click();
    void KD3Click();
    void K2Click();
    void K5Click();
    void K6Click();
    // What a drag of the file `name` of the current folder carries: the file's
    // address for other programs and a mark telling this program its own drags.
    QMimeData* fileDragData(const QString& name) const;
    // Whether the folder tree and the drive tabs take a drop of this data.
    bool TreeViewDragOver(const QMimeData* data) const;
    // Drops at a point of the tree's viewport or of the tab strip.
    void TreeViewDragDrop(const QMimeData* data, QPoint pos, Qt::KeyboardModifiers modifiers);
    void DriveTabSetDragDrop(const QMimeData* data, QPoint pos, Qt::KeyboardModifiers modifiers);

    // --- wallpaper, clipboard and save ---
    void KabegamiClick();
    void K_NOMALClick() { SetWallpaperAsIs(currentIndex); }
    void K_KORDELClick() { SetWallpaperNamed(0, 0); }
    void K_NAMEClick() { SaveThenSetWallpaper(0, 0); }
    void K_TILEClick() { ToggleTileWallpaper(); }
    void K4Click();
    void KV1Click();
    void SaveAsClick();
    // Source 0 is the picture on show; 1 loads entry `index` from its file.
    void SetWallpaperAsIs(int index);
    void SetWallpaperNamed(int index, int source);
    void SaveThenSetWallpaper(int index, int source);
    void ToggleTileWallpaper();

    // What the picture components report into: status panel 3 and the progress bar.
    void setStatusText(const QString& text);
    void setProgress(int percent);
    PictureHost& pictureHost() { return *pictureHost_; }

    // Main-window keys as they stand now, for the settings file.
    MainSettings currentSettings() const;

signals:
    // The window has closed and written its settings; the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void createControls();
    void createMenus();
    void AppStart();
    void applySettings(const MainSettings& s);
    void applyDefaults();
    void loadImageStrip();
    void loadKindIcons();
    void setKindMasksFromIndex(int index);
    void FormClose();
    void SplitterMouseDown(QMouseEvent* e);
    void SplitterMouseMove(QMouseEvent* e);
    void SplitterMouseUp(QMouseEvent* e);
    void layoutPicture();
    void afterLayoutToggle();
    // Puts the button of a display mode down (0 to 2); mode 3 raises all three when asked.
    void pressDisplayButton(int mode, bool raiseAllForMode3);
    QIcon nodeIcon(int normal, int selected) const;
    bool leadsBackIntoAncestry(const QString& path, QTreeWidgetItem* parent) const;
    void connectTree();
    void selectStartFolder();
    void dropQueuedInput(bool keyboard);
    void connectBrowsing();
    void runSlideshow(TSpeedButton* button, int step);
    void connectWallpaperClipboard();
    void connectFileOperations();
    // Drag starts from the viewer and drops on the tree and the tabs; true when taken.
    bool fileDragEvent(QObject* watched, QEvent* e);
    struct Dragged;
    QList<Dragged> draggedFiles(const QMimeData* data, Qt::KeyboardModifiers modifiers);
    void dropOnFolder(const QMimeData* data,
                      Qt::KeyboardModifiers modifiers,
                      const QString& folder,
                      bool recycle);
    void applyWallpaper(const QString& path);
    QImage pictureToWrite(int index, int source);
    bool writeBmp(const QImage& picture, const QString& path);
    // The BMP file to write, asked in a dialog owned by `owner`; empty when cancelled.
    QString askBmpName(QWidget* owner);
    void setSlideshowControls(bool idle);
    void setEndNavigation();  // the buttons and View items where a show ended

    AppContext& ctx_;
    std::unique_ptr<PictureHost> pictureHost_;
    QString enteredFolder_;  // the folder last entered, as named; empty before the first
    bool closing_ = false;
    TSpeedButton* slideRunning_ = nullptr;  // the button of the running show
    bool closeAfterSlideshow_ = false;
    bool slideTableRebuilt_ = false;  // a rescan replaced the table the show walks
    bool viewerDragArmed_ = false;    // the left button went down on the viewer's picture
    QPoint viewerDragFrom_;
    // Height of the list area when it was last hidden; it gets it back when shown.
    int listHeight_ = 0;
};

}  // namespace kordel
