// Kordel: a picture browser and viewer.
#include <QApplication>
#include <QDialog>
#include <QImageReader>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <cstring>

#include "app_style.h"
#include "application.h"
#include "main.h"
#include "quit_signals.h"
#include "spi.h"

using namespace kordel;

namespace {

// --help and --version answer without a display, so they are looked at before Qt starts.
bool answeredInfoOption(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(
                "Usage: kordel [FOLDER|FILE]...\n"
                "A picture browser and viewer.\n"
                "\n"
                "  FOLDER   open that folder\n"
                "  FILE     open the file's folder and show the file; an LZH archive opens\n"
                "           as a folder\n"
                "Only the first path is opened when several are given.\n"
                "\n"
                "  -h, --help   show this help and exit\n"
                "  --version    show the version and exit\n",
                stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("kordel " KORDEL_VERSION "\n", stdout);
            return true;
        }
    }
    return false;
}

// A logout, a shutdown or Ctrl+C ends the program as its close box does, so the
// settings are written and the temporary files go. Boxes and dialogs waiting for
// an answer are cancelled first, and the window closes once their loops have
// returned.
void closeWhenNothingWaits(QPointer<TForm1> form, int tries = 40) {
    if (!form)
        return;
    if (QWidget* waiting = QApplication::activeModalWidget(); waiting && tries > 0) {
        if (auto* dialog = qobject_cast<QDialog*>(waiting))
            dialog->reject();
        else
            waiting->close();
        QTimer::singleShot(50, form, [form, tries] { closeWhenNothingWaits(form, tries - 1); });
        return;
    }
    form->close();
}

}  // namespace

int main(int argc, char* argv[]) {
    if (answeredInfoOption(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setStyle(new AppStyle);
    QApplication::setFont(uiFont(12));
    QApplication::setApplicationName(QStringLiteral("Kordel"));
    // The interface is Japanese whatever the locale, and so are the buttons and
    // labels of Qt's own file dialogs and message boxes.
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    // Wayland compositors and task bars match the window to the menu entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("kordel"));
    // Qt's own readers may decode as large a picture as the decoder plug-ins do.
    QImageReader::setAllocationLimit(int(quint64(SPI_MAX_PHOTO_PIXELS) * 4 / (1024 * 1024)));

    const QString programDir = QCoreApplication::applicationDirPath() + u'/';
    KordelApplication kordel(createLinuxServices(), programDir, settingsFolderFor(programDir));
    kordel.createWindows();
    QObject::connect(kordel.context().form1, &TForm1::closed, &app, &QCoreApplication::quit);
    QuitSignals quitSignals(
        [form = QPointer<TForm1>(kordel.context().form1)] { closeWhenNothingWaits(form); });
    kordel.showMainWindow();
    // A folder or file given by the desktop or the user opens there; of several
    // (a file manager may pass a whole selection) the first.
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (!args.at(i).startsWith(u'-')) {
            kordel.openArgument(args.at(i));
            break;
        }
    }

    // Without a display the run script asks for a picture of the main window instead.
    const QString shot = qEnvironmentVariable("KORDEL_SCREENSHOT");
    if (!shot.isEmpty()) {
        const int delay = qEnvironmentVariableIntValue("KORDEL_SCREENSHOT_DELAY_MS");
        QTimer::singleShot(delay > 0 ? delay : 1000, &app, [&kordel, shot] {
            TForm1* form = kordel.context().form1;
            form->grab().save(shot);
            form->close();
        });
    }
    return app.exec();
}
