// The catalogue window: pages of thumbnails of the folder on show.
#pragma once

#include <QImage>
#include <QList>
#include <QMainWindow>

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

class TForm2 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm2(AppContext& context);

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
    QList<TPanel*> ArPanel;
    QList<QLabel*> ArImage;
    QList<QLabel*> ArLabel;

    // --- state ---
    int cellWidth = 128, cellHeight = 96;
    int shown = 0, filling = 0, stopFill = 0, dragSource = 0;
    QString dragName;  // the file of the cell a drag started on
    int savedWidth = 0, savedHeight = 0;

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

    // Keeps the window above all others, or not, without moving or resizing it.
    void setStaysOnTop(bool on);
    // Asks a page fill and the thumbnail loader to stop.
    void requestLoaderStop();
    // No pictures to show: every cell blank and hidden, the page buttons off.
    void blankAllCells();
    // A vanished file: its cell shows the removed-file picture and loses its name.
    void markCellDeleted(const QString& name);
    // Catalogue keys as they stand now, for the settings file.
    CatalogueSettings currentSettings() const;

private:
    void FormCreate();
    void createControls();
    void layoutCells();

    AppContext& ctx_;
};

}  // namespace kordel
