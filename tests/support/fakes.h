// Recording fakes of the platform services: each records its calls and
// answers from what the test scripted.
#pragma once

#include <QDialog>
#include <QFile>
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
    void watchChanges(std::function<void()> call) override { changed = std::move(call); }
    std::function<void()> changed;  // what the program asked to be told of mounts
};

// Every file operation succeeds without touching a file.
class FakeShell : public Shell {
public:
    struct Call {
        QString op;  // "copy", "move", "delete", "open"
        QStringList files;
        QString folder;
    };
    QList<Call> calls;

    bool copyFile(QWidget*, const QString& source, const QString& destination) override {
        return record("copy", {source}, destination);
    }
    bool moveFile(QWidget*, const QString& source, const QString& destination) override {
        return record("move", {source}, destination);
    }
    bool deleteFile(QWidget*, const QString& path) override { return record("delete", {path}, {}); }
    bool openWithDefault(const QString& path) override { return record("open", {path}, {}); }

private:
    bool record(const char* op, const QStringList& files, const QString& folder) {
        calls.append({QString::fromLatin1(op), files, folder});
        return true;
    }
};

// Records every change; the wallpaper is what was last set.
class FakeDesktop : public Desktop {
public:
    struct Call {
        QString path;
        bool tile;
    };
    QList<Call> calls;         // the wallpapers set, with the tiling in force
    std::optional<bool> tile;  // what the desktop says about tiling
    QString current;           // the wallpaper it shows
    QString failure;           // when set, changes fail with this reason
    QString folder;            // where the program's own wallpaper goes

    std::optional<bool> tileWallpaper() override { return tile; }
    void setTileWallpaper(bool on) override { kept_ = on; }
    QString wallpaper() override { return current; }
    bool setWallpaper(const QString& path, QString& why) override {
        calls.append({path, kept_});
        why = failure;
        if (failure.isEmpty() && !path.isEmpty())
            current = path;
        return failure.isEmpty();
    }
    QString wallpaperFolder() override { return folder; }

private:
    bool kept_ = true;
};

// Questions are answered from `answers` ("yes" once it is empty), file names
// asked for from `saveNames` (none once it is empty).
class FakeDialogs : public Dialogs {
public:
    struct Message {
        Icon icon;
        QString title;
        QString text;
    };
    QList<Message> messages;
    QList<QString> confirmations;  // texts asked
    QList<bool> confirmDefaults;   // whether Yes was the default of each
    QList<bool> answers;
    QStringList saveNames;
    struct SaveRequest {
        QString title, folder, filter, name;
        QWidget* parent;
    };
    QList<SaveRequest> saveRequests;
    // Plays the user's part while a dialog runs: it is shown (not modal), the
    // handler acts on it, then the dialog's result is returned. Without a
    // handler the dialog is closed with Rejected at once.
    std::function<void(QDialog*)> onModal;

    void message(QWidget*, Icon icon, const QString& title, const QString& text) override {
        messages.append({icon, title, text});
    }
    bool confirm(QWidget*, const QString&, const QString& text, bool yesIsDefault) override {
        confirmations.append(text);
        confirmDefaults.append(yesIsDefault);
        return answers.isEmpty() || answers.takeFirst();
    }
    QString saveFileName(QWidget* parent,
                         const QString& title,
                         const QString& folder,
                         const QString& filter,
                         const QString& name) override {
        saveRequests.append({title, folder, filter, name, parent});
        return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
    }
    int runModal(QDialog* dialog) override;
    // The texts of the messages shown so far.
    QStringList texts() const {
        QStringList out;
        for (const Message& m : messages)
            out << m.text;
        return out;
    }
};

class FakeScreen : public Screen {
public:
    int bits = 24;
    QSize screenSize{1024, 768};
    double dpi = 96;

    int bitsPerPixel() override { return bits; }
    QSize size() override { return screenSize; }
    double dotsPerInch() override { return dpi; }
};

class FakeHelp : public Help {
public:
    QStringList opened;
    bool showContents(const QString& helpFile) override {
        opened.append(helpFile);
        return QFile::exists(helpFile);  // as the desktop's: pages that are not there fail
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
