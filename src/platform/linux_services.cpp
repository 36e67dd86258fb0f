#include "linux_services.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include "linux_drives.h"

namespace kordel {

namespace {

// Services still to be mapped onto this platform answer "nothing there": no
// shell operations, the tile setting unknown.
class LinuxShell : public Shell {
public:
    bool copyFiles(QWidget*, const QStringList&, const QString&) override { return false; }
    bool moveFiles(QWidget*, const QStringList&, const QString&) override { return false; }
    bool deleteFiles(QWidget*, const QStringList&) override { return false; }
    bool openWithDefault(const QString& path) override {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
};

class LinuxDesktop : public Desktop {
public:
    std::optional<bool> tileWallpaper() override { return std::nullopt; }
    bool setWallpaper(const QString&, bool) override { return false; }
    QString wallpaperFolder() override { return {}; }
};

}  // namespace

void LinuxDialogs::message(QWidget* parent, Icon icon, const QString& title, const QString& text) {
    QMessageBox::Icon i = QMessageBox::Information;
    switch (icon) {
        case Icon::Information:
            i = QMessageBox::Information;
            break;
        case Icon::Warning:
            i = QMessageBox::Warning;
            break;
        case Icon::Error:
            i = QMessageBox::Critical;
            break;
        case Icon::Question:
            i = QMessageBox::Question;
            break;
    }
    QMessageBox box(i, title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool LinuxDialogs::confirm(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString LinuxDialogs::saveFileName(QWidget* parent,
                                   const QString& title,
                                   const QString& folder,
                                   const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, folder, filter);
}

int LinuxDialogs::runModal(QDialog* dialog) {
    return dialog->exec();
}

int LinuxScreen::bitsPerPixel() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->depth() : 24;
}

QSize LinuxScreen::size() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->size() : QSize(1024, 768);
}

double LinuxScreen::dotsPerInch() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}

bool LinuxHelp::showContents(const QString& helpFile) {
    if (!QFile::exists(helpFile))
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(helpFile));
}

LinuxTempFolder::LinuxTempFolder() : dir_(QDir::tempPath() + QStringLiteral("/kordel-XXXXXX")) {}

QString LinuxTempFolder::path() {
    return dir_.isValid() ? dir_.path() + u'/' : QString();
}

Services createLinuxServices() {
    Services s;
    s.drives = std::make_unique<LinuxDrives>();
    s.shell = std::make_unique<LinuxShell>();
    s.desktop = std::make_unique<LinuxDesktop>();
    s.dialogs = std::make_unique<LinuxDialogs>();
    s.screen = std::make_unique<LinuxScreen>();
    s.help = std::make_unique<LinuxHelp>();
    s.tempFolder = std::make_unique<LinuxTempFolder>();
    return s;
}

}  // namespace kordel
