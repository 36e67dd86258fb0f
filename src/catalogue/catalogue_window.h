// The catalogue window: pages of thumbnails of the folder on show.
#pragma once

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <array>
#include <memory>

#include "app_context.h"
#include "settings.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;

namespace kordel {

class TPanel;
class TBevel;
class TSpeedButton;
class TStatusBar;
class TAll;
class TArPanel;
class TArImage;
class TArLabel;
class TViewThr;

class TForm2 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm2(AppContext& context);
    ~TForm2() override;

    static constexpr int kCells = 100;

    // --- controls ---
    QMenu* GSize = nullptr;
    QAction *S2 = nullptr, *S3 = nullptr;
    TPanel* Panel1 = nullptr;
    TBevel *Bevel1 = nullptr, *Bevel2 = nullptr, *Bevel3 = nullptr;
    TSpeedButton *PrePage = nullptr, *NextPage = nullptr;
    TPanel* Panel2 = nullptr;
    TPanel *Panel3 = nullptr, *Panel4 = nullptr, *Panel5 = nullptr;
    QProgressBar* PBar = nullptr;
    TStatusBar* SBar = nullptr;
    // The cells: panel m holds image m; label m lies under it on Panel2.
    TArPanel* ArPanel = nullptr;
    TArImage* ArImage = nullptr;
    TArLabel* ArLabel = nullptr;
    QMenu* PopupMenu2 = nullptr;  // the cells' context menu
    QMenu* kabegami3 = nullptr;   // its wallpaper submenu
    QAction *P_NOMAL = nullptr, *P_KORDEL = nullptr, *P_NAME = nullptr, *K_TILE = nullptr;
    QAction *K2 = nullptr, *K1 = nullptr, *K3 = nullptr;

    // --- state ---
    int cellWidth = 128, cellHeight = 96;
    int shown = 0, filling = 0, stopFill = 0, dragSource = 0;
    QString dragName;  // the file of the cell a drag started on
    int savedWidth = 0, savedHeight = 0;
    // By member index: the name shown (" " for none) and its file-table entry.
    QStringList cellNames = QStringList(kCells, QStringLiteral(" "));
    QList<int> cellEntry = QList<int>(kCells, 0);
    // Member indices of the cells in use, in reading order, then -1.
    std::array<int, kCells + 1> cellMap{};

    // The thumbnails of the file table: image i always belongs to entry i,
    // each squeezed to 96 × 72 (the display size is kept by the main window).
    QList<QImage> ThrIL;

    // Starts the thumbnail loader over the main window's file table; ThrIL is
    // emptied first. Only when no loader runs.
    void startLoader();
    // Shows the page that begins at nextStart, waiting for the thumbnails it needs.
    void FillPage();
    // Every cell back to empty: hidden, button-face colours, no image, no name.
    void resetAllCells();
    int nextStart = 0, pageStart = 0, selectedCell = -1, lastCell = -1;
    int columns = 1, rows = 1;

    // Cells that fit Panel2, with the window snapped to whole cells.
    void CalcGrid();
    void BuildCellMap();
    // Places all 100 cells for the cell size, hidden and empty, names in this font.
    void RelayoutCells(bool bold, int pointSize);
    // After a change of the cell size: back to the first page of the new grid.
    void ApplyGridChange();
    void NextPageClick();
    void PrePageClick();
    void S2Click();
    void S3Click();

    // The catalogue button went down: show the window, restart the loader, fill
    // the first page. Up again: hide it and stop the loader.
    void openCatalogue();
    void closeCatalogue();
    // Lays the window's controls out now, also while it is hidden.
    void layOutNow();

    // Keeps the window above all others, or not, without moving or resizing it.
    void setStaysOnTop(bool on);
    // While the loader holds the main window's navigation buttons and menus for
    // an archive folder, a button's new state is kept for the loader's end.
    bool loaderHoldsControls() const;
    void keepEnabledForLoaderEnd(const TSpeedButton* button, bool enabled);
    // Asks the thumbnail loader to stop; it ends after its current entry.
    void requestLoaderStop();
    // Asks a running loader to stop and lets events run until it has ended.
    void stopLoaderAndWait();
    // No pictures to show: every cell blank and hidden, the page buttons off.
    void blankAllCells();
    // A vanished file: its cell shows the removed-file picture and loses its name.
    void markCellDeleted(const QString& name);

    // --- the cells' commands; `m` is a cell's member index ---
    // The cell under the mouse becomes the highlighted one, the selection.
    void ArPanelMouseMove(int m);
    void ArPanelMouseDown(int m, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    void ArImageMouseDown(int m, Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    // Shows the cell's picture in the main window.
    void ArImageClick(int m);
    // Opens the cell's file with the desktop's default application.
    void ArImageDblClick(int m);
    // The window's keys, before its controls; true when the key was taken.
    bool FormKeyDown(int key);
    bool FormKeyPress(const QString& text);
    void PopupMenu2Popup();
    void kabegami3Click();
    void P_NOMALClick();
    void P_KORDELClick();
    void P_NAMEClick();
    void K_TILEClick();
    void K1Click();  // delete
    void K2Click();  // copy
    void K3Click();  // move

    // Catalogue keys as they stand now, for the settings file.
    CatalogueSettings currentSettings() const;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void chooseCellSize(bool large);
    void FormCreate();
    void FormShow();
    void FormHide();
    void FormResize();
    void createControls();
    void placeCells(const QFont& labelFont);
    void showPlaceholder(int m);
    void turnPage();
    void resetCell(int m);
    void removeHighlight();
    void regrid(bool force);
    void fillCell(int m, int e);
    void discardMouse();
    void createCommands();
    void connectCommands();
    // The file-table entry of the highlighted cell, -1 when none.
    int selectedEntry() const;
    void startCellDrag(int m);
    bool eventFilter(QObject* watched, QEvent* e) override;

    TAll* cellPicture_ = nullptr;  // icons and metafiles of the cells are loaded here
    int fillRun_ = 0;              // counts page fills; a newer one ends an older one
    bool snapping_ = false;        // the window is being snapped to whole cells
    bool opening_ = false;         // the catalogue button's opening is under way
    bool restacking_ = false;      // hidden and shown only to change the stacking
    int dragArmed_ = -1;           // the cell a left press may drag, -1 when none
    QPoint dragFrom_;              // where that press was, on the screen

    AppContext& ctx_;
    std::unique_ptr<TViewThr> loader_;
};

}  // namespace kordel
