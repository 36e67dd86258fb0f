// Recording fakes of the platform services: each records its calls and
// answers from what the test scripted.
#pragma once

#include <QDialog>
#include <QList>
#include <QMap>
#include <QTemporaryDir>
#include <functional>

#include "services.h"

namespace kordel::test {

class FakeDrives : public Drives {
public:
    QList<Place> placeList;
    QStringList notReady;  // roots that answer "not ready"
    QList<QString> readyQueries;

    QList<Place> places() override { return placeList; }
    bool isReady(const QString& root) override;
};

class FakeShell : public Shell {
public:
    struct Call {
        QString op;  // "copy", "move", "delete", "open"
        QStringList files;
        QString folder;
    };
    QList<Call> calls;
    bool answer = true;  // what every operation returns

    bool copyFiles(QWidget*, const QStringList& files, const QString& folder) override;
    bool moveFiles(QWidget*, const QStringList& files, const QString& folder) override;
    bool deleteFiles(QWidget*, const QStringList& files) override;
    bool openWithDefault(const QString& path) override;
};

class FakeDesktop : public Desktop {
public:
    std::optional<bool> tile;  // what the desktop says about tiling
    QString folder;
    struct Wallpaper {
        QString path;
        bool tile;
    };
    QList<Wallpaper> wallpapers;

    std::optional<bool> tileWallpaper() override { return tile; }
    bool setWallpaper(const QString& path, bool t) override;
    QString wallpaperFolder() override { return folder; }
};

class FakeDialogs : public Dialogs {
public:
    struct Message {
        Icon icon;
        QString title;
        QString text;
    };
    QList<Message> messages;
    QList<QString> confirmations;  // texts asked
    QList<bool> confirmAnswers;    // answered in order; true when empty
    QList<QString> saveAnswers;    // answered in order; "" when empty
    QList<QString> saveRequests;   // titles asked
    QStringList modalRuns;         // object names of the dialogs run
    // Plays the user's part while a dialog runs: it is shown (not modal), the
    // handler acts on it, then the dialog's result is returned. Without a
    // handler the dialog is closed with Rejected at once.
    std::function<void(QDialog*)> onModal;

    void message(QWidget*, Icon icon, const QString& title, const QString& text) override;
    bool confirm(QWidget*, const QString& title, const QString& text) override;
    QString saveFileName(QWidget*,
                         const QString& title,
                         const QString& folder,
                         const QString& filter) override;
    int runModal(QDialog* dialog) override;
};

class FakeScreen : public Screen {
public:
    int palette = 0;
    int bits = 24;
    QSize screenSize{1024, 768};
    double dpi = 96;

    int paletteSize() override { return palette; }
    int bitsPerPixel() override { return bits; }
    QSize size() override { return screenSize; }
    double dotsPerInch() override { return dpi; }
};

class FakeHelp : public Help {
public:
    QStringList opened;
    bool showContents(const QString& helpFile) override {
        opened.append(helpFile);
        return true;
    }
};

class FakeTempFolder : public TempFolder {
public:
    QString path() override { return dir.path() + u'/'; }
    QTemporaryDir dir;
};

// One of each, with raw pointers kept for the test after the set is handed over.
struct FakeServices {
    FakeDrives* drives;
    FakeShell* shell;
    FakeDesktop* desktop;
    FakeDialogs* dialogs;
    FakeScreen* screen;
    FakeHelp* help;
    FakeTempFolder* tempFolder;

    // Makes the set; `services` receives the owning pointers.
    static FakeServices create(Services& services);
};

}  // namespace kordel::test
