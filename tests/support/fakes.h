// Recording fakes of the platform services: each records its calls and
// answers from what the test scripted.
#pragma once

#include <QDialog>
#include <QList>
#include <QTemporaryDir>
#include <functional>

#include "services.h"

namespace kordel::test {

class FakeDrives : public Drives {
public:
    QList<Place> placeList;
    QStringList notReady;  // roots that answer "not ready"

    QList<Place> places() override { return placeList; }
    bool isReady(const QString& root) override { return !notReady.contains(root); }
};

// Every file operation succeeds.
class FakeShell : public Shell {
public:
    struct Call {
        QString op;  // "copy", "move", "delete", "open"
        QStringList files;
        QString folder;
    };
    QList<Call> calls;

    bool copyFiles(QWidget*, const QStringList& files, const QString& folder) override {
        return record("copy", files, folder);
    }
    bool moveFiles(QWidget*, const QStringList& files, const QString& folder) override {
        return record("move", files, folder);
    }
    bool deleteFiles(QWidget*, const QStringList& files) override {
        return record("delete", files, {});
    }
    bool openWithDefault(const QString& path) override { return record("open", {path}, {}); }

private:
    bool record(const char* op, const QStringList& files, const QString& folder) {
        calls.append({QString::fromLatin1(op), files, folder});
        return true;
    }
};

class FakeDesktop : public Desktop {
public:
    std::optional<bool> tile;  // what the desktop says about tiling

    std::optional<bool> tileWallpaper() override { return tile; }
    bool setWallpaper(const QString&, bool) override { return true; }
    QString wallpaperFolder() override { return {}; }
};

// Questions are answered "yes", file names asked for "none".
class FakeDialogs : public Dialogs {
public:
    struct Message {
        Icon icon;
        QString title;
        QString text;
    };
    QList<Message> messages;
    QList<QString> confirmations;  // texts asked
    QStringList modalRuns;         // object names of the dialogs run
    // Plays the user's part while a dialog runs: it is shown (not modal), the
    // handler acts on it, then the dialog's result is returned. Without a
    // handler the dialog is closed with Rejected at once.
    std::function<void(QDialog*)> onModal;

    void message(QWidget*, Icon icon, const QString& title, const QString& text) override {
        messages.append({icon, title, text});
    }
    bool confirm(QWidget*, const QString&, const QString& text) override {
        confirmations.append(text);
        return true;
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
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
