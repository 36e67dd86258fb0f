#include "fakes.h"

namespace kordel::test {

bool FakeDrives::isReady(const QString& root) {
    readyQueries.append(root);
    return !notReady.contains(root);
}

bool FakeShell::copyFiles(QWidget*, const QStringList& files, const QString& folder) {
    calls.append({QStringLiteral("copy"), files, folder});
    return answer;
}

bool FakeShell::moveFiles(QWidget*, const QStringList& files, const QString& folder) {
    calls.append({QStringLiteral("move"), files, folder});
    return answer;
}

bool FakeShell::deleteFiles(QWidget*, const QStringList& files) {
    calls.append({QStringLiteral("delete"), files, {}});
    return answer;
}

bool FakeShell::openWithDefault(const QString& path) {
    calls.append({QStringLiteral("open"), {path}, {}});
    return answer;
}

bool FakeDesktop::setWallpaper(const QString& path, bool t) {
    wallpapers.append({path, t});
    return true;
}

void FakeDialogs::message(QWidget*, Icon icon, const QString& title, const QString& text) {
    messages.append({icon, title, text});
}

bool FakeDialogs::confirm(QWidget*, const QString&, const QString& text) {
    confirmations.append(text);
    return confirmAnswers.isEmpty() ? true : confirmAnswers.takeFirst();
}

QString FakeDialogs::saveFileName(QWidget*, const QString& title, const QString&, const QString&) {
    saveRequests.append(title);
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

int FakeDialogs::runModal(QDialog* dialog) {
    modalRuns.append(dialog->objectName());
    dialog->setResult(QDialog::Rejected);
    dialog->show();
    if (onModal)
        onModal(dialog);
    if (dialog->isVisible())
        dialog->done(dialog->result());
    return dialog->result();
}

FakeServices FakeServices::create(Services& s) {
    FakeServices f;
    auto drives = std::make_unique<FakeDrives>();
    auto shell = std::make_unique<FakeShell>();
    auto desktop = std::make_unique<FakeDesktop>();
    auto dialogs = std::make_unique<FakeDialogs>();
    auto screen = std::make_unique<FakeScreen>();
    auto help = std::make_unique<FakeHelp>();
    auto temp = std::make_unique<FakeTempFolder>();
    f.drives = drives.get();
    f.shell = shell.get();
    f.desktop = desktop.get();
    f.dialogs = dialogs.get();
    f.screen = screen.get();
    f.help = help.get();
    f.tempFolder = temp.get();
    s.drives = std::move(drives);
    s.shell = std::move(shell);
    s.desktop = std::move(desktop);
    s.dialogs = std::move(dialogs);
    s.screen = std::move(screen);
    s.help = std::move(help);
    s.tempFolder = std::move(temp);
    return f;
}

}  // namespace kordel::test
