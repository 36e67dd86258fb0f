// What the program needs from the operating system, as small interfaces.
// The composition root creates the Linux implementations; tests create
// recording fakes. No other code calls message boxes, file dialogs, the
// desktop's services, the trash or the wallpaper settings directly.
#pragma once

#include <QDir>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QDialog;
class QWidget;

namespace kordel {

// Kinds of places shown as drive tabs.
enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CdRom, RamDisk };

struct Place {
    QString root;     // folder path of the place, "/" for the root file system
    QString tabText;  // "/", "~" or the mount point's last folder name
    DriveType type = DriveType::Unknown;
    QString label;          // volume label, empty when none
    bool readOnly = false;  // mounted read-only: nothing can be written there

    bool operator==(const Place&) const = default;
};

class Drives {
public:
    virtual ~Drives() = default;
    // The places in tab order.
    virtual QList<Place> places() = 0;
    // Whether the place can be used now: its root can be listed and holds an entry.
    virtual bool isReady(const QString& root) = 0;
    // From now on `changed` is called from the event loop after volumes were
    // mounted or unmounted, so places() may answer differently.
    virtual void watchChanges(std::function<void()> changed) { (void)changed; }
};

// The root of the place that holds a path: of the places whose root contains it
// (by whole folder names), the one with the longest root; empty when none does.
inline QString placeOf(const QList<Place>& places, const QString& path) {
    const QString p = QDir::cleanPath(path);
    QString best;
    qsizetype bestLength = -1;
    for (const Place& place : places) {
        if (place.root.isEmpty())
            continue;
        const QString root = QDir::cleanPath(place.root);
        const bool holds = root == u"/"
                               ? p.startsWith(u'/')
                               : p == root || (p.size() > root.size() && p.startsWith(root) &&
                                               p[root.size()] == u'/');
        if (holds && root.size() > bestLength) {
            best = place.root;
            bestLength = root.size();
        }
    }
    return best;
}

// File operations standing in for the desktop shell's: they ask their own
// questions (overwrite, delete), show progress on long work and report every
// failure to the user themselves. A source is never lost: it stays in place
// unless the operation completed.
class Shell {
public:
    virtual ~Shell() = default;
    // Copies or moves one file to a path (not a folder); asks before replacing
    // an existing file. True when the file is now at the destination.
    virtual bool copyFile(QWidget* parent, const QString& source, const QString& destination) = 0;
    virtual bool moveFile(QWidget* parent, const QString& source, const QString& destination) = 0;
    // Moves a file to the trash after a confirmation; where the trash cannot
    // take it, deletes it only after a second, explicit answer. True when gone.
    virtual bool deleteFile(QWidget* parent, const QString& path) = 0;
    // Opens a file with the desktop's default application.
    virtual bool openWithDefault(const QString& path) = 0;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    // Whether the desktop tiles its wallpaper; nullopt when it does not say.
    virtual std::optional<bool> tileWallpaper() = 0;
    // The tiling applied with every following wallpaper change.
    virtual void setTileWallpaper(bool tile) = 0;
    // The wallpaper file the desktop shows; empty when none or not known.
    virtual QString wallpaper() = 0;
    // Makes a bitmap file the wallpaper with the tiling kept; an empty path applies
    // the tiling alone. False when it could not be done, with the reason in `why`.
    virtual bool setWallpaper(const QString& path, QString& why) = 0;
    // Folder that holds the program's own wallpaper bitmap, with a trailing "/";
    // empty when it cannot be made.
    virtual QString wallpaperFolder() = 0;
};

class Dialogs {
public:
    enum class Icon { Information, Warning, Error, Question };
    virtual ~Dialogs() = default;
    // A modal message box with one OK button.
    virtual void message(QWidget* parent, Icon icon, const QString& title, const QString& text) = 0;
    // A modal question with Yes and No; true for Yes. Return answers with the
    // default button (Yes unless `yesIsDefault` is false), Esc with No.
    virtual bool confirm(QWidget* parent,
                         const QString& title,
                         const QString& text,
                         bool yesIsDefault = true) = 0;
    // The save dialog; empty when cancelled. It returns the name as typed and asks
    // nothing about existing files: the caller adds the extension and asks.
    // `name` is the file name proposed in the dialog.
    virtual QString saveFileName(QWidget* parent,
                                 const QString& title,
                                 const QString& folder,
                                 const QString& filter,
                                 const QString& name = QString()) = 0;
    // Runs a dialog modally and returns its result code.
    virtual int runModal(QDialog* dialog) = 0;
};

class Screen {
public:
    virtual ~Screen() = default;
    virtual int bitsPerPixel() = 0;
    // Size of the screen the windows are centred on.
    virtual QSize size() = 0;
    // The area all screens cover together, where windows may be placed.
    virtual QRect desktop() { return {QPoint(0, 0), size()}; }
    // Logical resolution, for the size of metafile frames.
    virtual double dotsPerInch() = 0;
};

class Help {
public:
    virtual ~Help() = default;
    // Opens the contents page of the help file.
    virtual bool showContents(const QString& helpFile) = 0;
};

class TempFolder {
public:
    virtual ~TempFolder() = default;
    // The program's private folder for temporary files, with a trailing "/"; empty when
    // it could not be made.
    virtual QString path() = 0;
};

// The full set a composition root hands to the windows.
struct Services {
    std::unique_ptr<Drives> drives;
    std::unique_ptr<Shell> shell;
    std::unique_ptr<Desktop> desktop;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<Screen> screen;
    std::unique_ptr<Help> help;
    std::unique_ptr<TempFolder> tempFolder;
};

// The Linux implementations.
Services createLinuxServices();

}  // namespace kordel
