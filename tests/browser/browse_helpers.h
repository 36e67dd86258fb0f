// Helpers for the browsing tests: a scratch folder made current for the
// duration of a test, small picture files, and readers of the main window's state.
#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QComboBox;
class QMenu;

namespace kordel {
class TForm1;
class TListView;
}  // namespace kordel

namespace kordel::test {

// A temporary folder that is the current folder while the object lives; the
// folder that was current before comes back afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    bool isValid() const { return valid_; }
    // The folder as the program sees it (the resolved current path), with a trailing "/".
    QString path() const { return path_; }
    QString file(const QString& name) const { return path_ + name; }
    bool write(const QString& name, const QByteArray& data) const;
    // Empty files, for entries that are listed but never shown.
    bool touch(const QStringList& names) const;

private:
    QString previous_;
    QTemporaryDir dir_;
    QString path_;
    bool valid_ = false;
};

// An uncompressed BMP of 1, 4, 8, 16, 24 or 32 bits per pixel; with `core` the
// 12-byte information header of OS/2 1.x files (1 to 24 bits).
QByteArray bmpFile(QSize size, int bits, bool core = false);
// A 32-bit icon through Qt's writer.
QByteArray icoFile(int size);
// A metafile of about 2 × 1 inches with a filled rectangle.
QByteArray emfFile();
QByteArray wmfFile();
// A baseline JPEG through Qt's writer.
QByteArray jpegFile(QSize size);

// Opens a menu as the user does (its about-to-show handler runs) and closes it again.
void openMenu(QMenu* menu);
// Chooses an item of the kind box in its drop-down list with the mouse.
void chooseKind(QComboBox* box, int index);

// The six navigation buttons G_rev, G_play, G_top, G_back, G_step, G_end as
// "E" (enabled) or "D" (disabled), in that order.
QString navigation(const TForm1* form);
// Names of the table from 0 to lastIndex.
QStringList tableNames(const TForm1* form);
// Captions of the list rows, top to bottom.
QStringList listCaptions(const TListView* list);

}  // namespace kordel::test
