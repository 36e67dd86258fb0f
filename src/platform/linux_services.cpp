#include "linux_services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QSpacerItem>
#include <QThread>
#include <QUrl>
#include <QWindow>

#include "linux_desktop.h"
#include "linux_drives.h"
#include "linux_shell.h"

namespace kordel {

namespace {

// A box raised before its parent window has been painted (at start-up) would sit
// over an empty rectangle: let the parent appear first.
void paintParentFirst(QWidget* parent) {
    if (!parent || !parent->isVisible())
        return;
    QWidget* top = parent->window();
    QElapsedTimer waited;
    waited.start();
    while (top->windowHandle() && !top->windowHandle()->isExposed() && waited.elapsed() < 1000) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
    top->repaint();
}

// A box as wide as its title needs, with room for the window manager's buttons,
// so that a short text does not cut the title off.
void fitTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) * 3 / 2 + 120;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

// File names here are case-sensitive where the old system's were not: "*.BMP"
// also offers "*.bmp" (and the other way round), or the dialog would hide most files.
QString anyCaseFilter(const QString& filter) {
    static const QRegularExpression group(QStringLiteral("\\(([^)]*)\\)"));
    QString out = filter;
    for (auto it = group.globalMatch(filter); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QStringList patterns = m.captured(1).split(u' ', Qt::SkipEmptyParts);
        for (const QString& p : QStringList(patterns))
            for (const QString& variant : {p.toLower(), p.toUpper()})
                if (!patterns.contains(variant))
                    patterns << variant;
        out.replace(m.captured(0), u'(' + patterns.join(u' ') + u')');
    }
    return out;
}

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
    paintParentFirst(parent);
    QMessageBox box(i, title, text, QMessageBox::Ok, parent);
    fitTitle(box);
    box.exec();
}

bool LinuxDialogs::confirm(QWidget* parent,
                           const QString& title,
                           const QString& text,
                           bool yesIsDefault) {
    paintParentFirst(parent);
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    fitTitle(box);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString LinuxDialogs::saveFileName(QWidget* parent,
                                   const QString& title,
                                   const QString& folder,
                                   const QString& filter,
                                   const QString& name) {
    const QString start = name.isEmpty() ? folder : QDir(folder).filePath(name);
    return QFileDialog::getSaveFileName(parent, title, start, anyCaseFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
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

QRect LinuxScreen::desktop() {
    QRect all;
    for (const QScreen* s : QGuiApplication::screens())
        all |= s->availableGeometry();
    return all.isEmpty() ? Screen::desktop() : all;
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
    s.desktop = std::make_unique<LinuxDesktop>();
    s.dialogs = std::make_unique<LinuxDialogs>();
    s.shell = std::make_unique<LinuxShell>(*s.dialogs);
    s.screen = std::make_unique<LinuxScreen>();
    s.help = std::make_unique<LinuxHelp>();
    s.tempFolder = std::make_unique<LinuxTempFolder>();
    return s;
}

}  // namespace kordel
