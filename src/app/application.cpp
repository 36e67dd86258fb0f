#include "application.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <cstdio>

#include "catalogue_window.h"
#include "main.h"
#include "option_set.h"
#include "splash.h"
#include "version.h"

// The images live in a static library: make sure the linker keeps them.
static void initResources() {
    Q_INIT_RESOURCE(kordel);
}

namespace kordel {

void AppContext::splashStep(int progress) {
    if (splash)
        splash->setProgress(progress);
}

KordelApplication::KordelApplication(Services services,
                                     const QString& programDir,
                                     const QString& settingsDir,
                                     const QString& libraryDir)
    : services_(std::move(services)),
      startFolder_(QDir::currentPath()),
      archive_(std::make_unique<ArchiveLibrary>(services_.dialogs.get(),
                                                libraryDir.isEmpty() ? programDir : libraryDir)) {
    initResources();
    ctx_.services = &services_;
    ctx_.archive = archive_.get();
    ctx_.programDir = programDir;
    ctx_.settingsDir = settingsDir;
}

KordelApplication::~KordelApplication() {
    if (ctx_.splash)
        delete ctx_.splash;
    form2_.reset();
    form1_.reset();    // also takes the dialogs it owns
    archive_.reset();  // released at the end, before the services it reports through
}

void KordelApplication::openArgument(const QString& path) {
    if (!form1_ || path.isEmpty())
        return;
    const QString absolute = QDir(startFolder_).absoluteFilePath(path);
    if (!QFileInfo::exists(absolute)) {
        const QString text = path + QStringLiteral(": そのようなファイルやフォルダはありません");
        std::fputs(qPrintable(QStringLiteral("kordel: ") + text + u'\n'), stderr);
        ctx_.services->dialogs->message(form1_.get(), Dialogs::Icon::Warning,
                                        QStringLiteral("Kordel"), text);
        return;
    }
    form1_->openPath(absolute);
}

void KordelApplication::createWindows() {
    auto* splash = new TSplashWindow(ctx_);
    splash->show();
    // Let the window system put it on screen before the slow steps begin.
    QCoreApplication::processEvents();
    ctx_.splashStep(0);

    // The application is titled through its name only: a display name would make
    // the platform append " — Kordel" to every window title.
    QCoreApplication::setApplicationName(QStringLiteral("Kordel"));
    ctx_.splashStep(1);

    form1_ = std::make_unique<TForm1>(ctx_);
    ctx_.splashStep(3);
    form2_ = std::make_unique<TForm2>(ctx_);
    ctx_.splashStep(7);
    new TOptionPagesDlg(ctx_);
    ctx_.splashStep(8);
    new TAboutBox(ctx_);
    ctx_.splashStep(9);
}

void KordelApplication::showMainWindow() {
    form1_->show();
    form1_->raise();
    form1_->activateWindow();
}

QString installedDataFolder(const QString& programDir) {
    return QDir::cleanPath(programDir + QStringLiteral("/../share/kordel")) + u'/';
}

QString settingsFolderFor(const QString& programDir) {
    const QFileInfo dir(programDir);
    // An installed program keeps its settings per user even where its folder is writable
    // (run by root, /usr/bin is): the system folder is the package's, not the user's.
    if (dir.isDir() && dir.isWritable() && !QFileInfo(installedDataFolder(programDir)).isDir())
        return programDir;
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                     QStringLiteral("/Kordel/");
    QDir().mkpath(config);
    return config;
}

}  // namespace kordel
