// Kordel: a picture browser and viewer.
#include <QApplication>
#include <QImageReader>
#include <QTimer>

#include "app_style.h"
#include "application.h"
#include "main.h"
#include "spi.h"

using namespace kordel;

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(new AppStyle);
    QApplication::setFont(uiFont(12));
    QApplication::setApplicationName(QStringLiteral("Kordel"));
    // Qt's own readers may decode as large a picture as the decoder plug-ins do.
    QImageReader::setAllocationLimit(int(quint64(SPI_MAX_PIXELS) * 4 / (1024 * 1024)));

    const QString programDir = QCoreApplication::applicationDirPath() + u'/';
    KordelApplication kordel(createLinuxServices(), programDir, settingsFolderFor(programDir));
    kordel.createWindows();
    QObject::connect(kordel.context().form1, &TForm1::closed, &app, &QCoreApplication::quit);
    kordel.showMainWindow();
    // A folder or file given by the desktop or the user opens there.
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1)
        kordel.openArgument(args.at(1));

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
