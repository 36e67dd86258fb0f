// The wallpaper on each desktop: the commands run for it, argument by argument,
// what is read back from each desktop's own settings, and GNOME's settings for
// real through gsettings with a private key file.
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "linux_desktop.h"

using namespace kordel;

namespace {

// Answers every program with success and the output scripted for its command line.
class RecordingRunner : public ProcessRunner {
public:
    QList<QStringList> calls;
    QHash<QString, QByteArray> outputs;  // by the command line joined with blanks
    QByteArray otherwise;                // the output of any other command line
    bool fehInstalled = false;

    Result run(const QString& program, const QStringList& arguments) override {
        const QStringList call = QStringList{program} + arguments;
        calls << call;
        return {true, 0, outputs.value(call.join(u' '), otherwise), {}};
    }
    bool installed(const QString& program) override { return program == u"feh" && fehInstalled; }
};

const QByteArray kXfceList =
    "/backdrop/screen0/monitorVirtual1/workspace0/color-style\n"
    "/backdrop/screen0/monitorVirtual1/workspace1/last-image\n"
    "/backdrop/screen0/monitorVirtual1/workspace0/last-image\n";

}  // namespace

class TestLinuxDesktop : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    // A file name with a blank, a quote, a double quote and a dollar sign.
    QString picture() const { return dir_.path() + QStringLiteral("/a b'c\"$x.bmp"); }

private slots:
    void initTestCase() {
        QFile file(picture());
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void runsTheDesktopsOwnTools_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<bool>("tile");
        QTest::addColumn<bool>("withPicture");
        QTest::addColumn<QList<QStringList>>("commands");  // "%D" stands for the folder
        const QString options = QStringLiteral("org.gnome.desktop.background");
        const QString uri = QStringLiteral("'file://%D/a%20b\\'c%22$x.bmp'");
        QTest::newRow("GNOME, tiled")
            << "ubuntu:GNOME" << true << true
            << QList<QStringList>{{"gsettings", "set", options, "picture-options", "'wallpaper'"},
                                  {"gsettings", "set", options, "picture-uri", uri},
                                  {"gsettings", "set", options, "picture-uri-dark", uri}};
        QTest::newRow("Budgie, centred, no picture")
            << "Budgie:GNOME" << false << false
            << QList<QStringList>{{"gsettings", "set", options, "picture-options", "'centered'"}};
        QTest::newRow("Cinnamon") << "X-Cinnamon" << false << true
                                  << QList<QStringList>{
                                         {"gsettings", "set", "org.cinnamon.desktop.background",
                                          "picture-options", "'centered'"},
                                         {"gsettings", "set", "org.cinnamon.desktop.background",
                                          "picture-uri", uri}};
        QTest::newRow("MATE") << "MATE" << true << true
                              << QList<QStringList>{{"gsettings", "set", "org.mate.background",
                                                     "picture-options", "'wallpaper'"},
                                                    {"gsettings", "set", "org.mate.background",
                                                     "picture-filename", "'%D/a b\\'c\"$x.bmp'"}};
        const QStringList xfce{"xfconf-query", "-c", "xfce4-desktop", "-p"};
        const QString ws = QStringLiteral("/backdrop/screen0/monitorVirtual1/workspace");
        QTest::newRow("XFCE, every workspace")
            << "XFCE" << true << true
            << QList<QStringList>{
                   {"xfconf-query", "-c", "xfce4-desktop", "-l"},
                   xfce + QStringList{ws + "0/last-image", "-n", "-t", "string", "-s",
                                      "%D/a b'c\"$x.bmp"},
                   xfce + QStringList{ws + "0/image-style", "-n", "-t", "int", "-s", "2"},
                   xfce + QStringList{ws + "1/last-image", "-n", "-t", "string", "-s",
                                      "%D/a b'c\"$x.bmp"},
                   xfce + QStringList{ws + "1/image-style", "-n", "-t", "int", "-s", "2"}};
        QTest::newRow("KDE Plasma, centred")
            << "KDE" << false << true
            << QList<QStringList>{{"dbus-send", "--session", "--dest=org.kde.plasmashell",
                                   "--type=method_call", "--print-reply", "/PlasmaShell",
                                   "org.kde.PlasmaShell.evaluateScript",
                                   "string:var all = desktops();\n"
                                   "for (var i = 0; i < all.length; i++) {\n"
                                   "    var d = all[i];\n"
                                   "    d.wallpaperPlugin = \"org.kde.image\";\n"
                                   "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", "
                                   "\"General\"];\n"
                                   "    d.writeConfig(\"Image\", \"file://%D/a%20b'c%22$x.bmp\");\n"
                                   "    d.writeConfig(\"FillMode\", 6);\n}\n"}};
        QTest::newRow("LXQt") << "LXQt" << false << true
                              << QList<QStringList>{{"pcmanfm-qt",
                                                     "--set-wallpaper=%D/a b'c\"$x.bmp",
                                                     "--wallpaper-mode=center"}};
        QTest::newRow("LXDE") << "LXDE" << true << true
                              << QList<QStringList>{{"pcmanfm", "--set-wallpaper=%D/a b'c\"$x.bmp",
                                                     "--wallpaper-mode=tile"}};
        QTest::newRow("feh elsewhere")
            << "i3" << true << true << QList<QStringList>{{"feh", "--bg-tile", "%D/a b'c\"$x.bmp"}};
    }

    void runsTheDesktopsOwnTools() {
        QFETCH(QString, desktop);
        QFETCH(bool, tile);
        QFETCH(bool, withPicture);
        QFETCH(QList<QStringList>, commands);
        auto runner = std::make_unique<RecordingRunner>();
        RecordingRunner* r = runner.get();
        r->fehInstalled = true;
        r->outputs.insert(QStringLiteral("xfconf-query -c xfce4-desktop -l"), kXfceList);
        LinuxDesktop d(std::move(runner), desktop, dir_.path(), dir_.path());
        d.setTileWallpaper(tile);
        QString why;
        QVERIFY2(d.setWallpaper(withPicture ? picture() : QString(), why), qPrintable(why));
        for (QStringList& command : commands)
            command.replaceInStrings(QStringLiteral("%D"), dir_.path());
        QCOMPARE(r->calls, commands);
    }

    void refusesWhatItCannotDo_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no desktop known, no feh") << "i3"
                                                  << "picture"
                                                  << "(i3)";
        QTest::newRow("missing file") << "GNOME"
                                      << "/nonexistent/x.bmp"
                                      << "/nonexistent/x.bmp";
    }

    void refusesWhatItCannotDo() {
        QFETCH(QString, desktop);
        QFETCH(QString, path);
        QFETCH(QString, reason);
        auto runner = std::make_unique<RecordingRunner>();
        RecordingRunner* r = runner.get();
        LinuxDesktop d(std::move(runner), desktop, dir_.path(), dir_.path());
        QString why;
        QVERIFY(!d.setWallpaper(path == u"picture" ? picture() : path, why));
        QVERIFY2(why.contains(reason), qPrintable(why));
        QVERIFY(r->calls.isEmpty());
    }

    void readsBackFromTheDesktopsSettings_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("source");  // command line answered, or a file under the folder
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("tile");
        QTest::newRow("XFCE") << "XFCE"
                              << "xfconf-query -c xfce4-desktop -p "
                                 "/backdrop/screen0/monitorVirtual1/workspace0/image-style"
                              << QByteArray("2\n") << "/p/x y.bmp" << true;
        QTest::newRow("KDE Plasma") << "KDE"
                                    << "dbus-send"
                                    << QByteArray(
                                           "method return time=1 sender=:1.9 -> destination=:1.8\n"
                                           "   string \"3\nfile:///home/u/a%20b'c%22.bmp\"\n")
                                    << "/home/u/a b'c\".bmp" << true;
        QTest::newRow("LXQt") << "LXQt"
                              << "pcmanfm-qt/lxqt/settings.conf"
                              << QByteArray(
                                     "[Desktop]\nWallpaper=/p/a b.bmp\nWallpaperMode=center\n")
                              << "/p/a b.bmp" << false;
        QTest::newRow("feh") << "i3"
                             << ".fehbg"
                             << QByteArray(
                                    "#!/bin/sh\nfeh --no-fehbg --bg-tile '/p/a b'\\''c\"$x.bmp' \n")
                             << "/p/a b'c\"$x.bmp" << true;
    }

    void readsBackFromTheDesktopsSettings() {
        QFETCH(QString, desktop);
        QFETCH(QString, source);
        QFETCH(QByteArray, answer);
        QFETCH(QString, path);
        QFETCH(bool, tile);
        QTemporaryDir home;
        auto runner = std::make_unique<RecordingRunner>();
        runner->fehInstalled = true;
        runner->outputs.insert(QStringLiteral("xfconf-query -c xfce4-desktop -l"), kXfceList);
        runner->outputs.insert(
            QStringLiteral("xfconf-query -c xfce4-desktop -p "
                           "/backdrop/screen0/monitorVirtual1/workspace0/last-image"),
            "/p/x y.bmp\n");
        if (source == u"dbus-send") {
            // The reading script is the shell's business; only its reply is scripted.
            runner->otherwise = answer;
        } else if (source.contains(u' ')) {
            runner->outputs.insert(source, answer);
        } else {
            QVERIFY(QDir(home.path()).mkpath(QFileInfo(source).path()));
            QFile file(home.path() + u'/' + source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(answer);
        }
        LinuxDesktop d(std::move(runner), desktop, home.path(), home.path());
        QCOMPARE(d.wallpaper(), path);
        QCOMPARE(d.tileWallpaper(), std::optional<bool>(tile));
    }

    // GNOME for real: gsettings with a private key file instead of the user's settings.
    void gnomeKeepsThePictureAndTiling_data() {
        QTest::addColumn<bool>("tile");
        QTest::newRow("tiled") << true;
        QTest::newRow("centred") << false;
    }

    void gnomeKeepsThePictureAndTiling() {
        QFETCH(bool, tile);
        if (QStandardPaths::findExecutable(QStringLiteral("gsettings")).isEmpty())
            QSKIP("gsettings is not installed (libglib2.0-bin)");
        QTemporaryDir config;
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        QProcess probe;
        probe.start(QStringLiteral("gsettings"),
                    {QStringLiteral("list-keys"), QStringLiteral("org.gnome.desktop.background")});
        if (!probe.waitForFinished() || probe.exitCode() != 0)
            QSKIP("the GNOME schemas are not installed (gsettings-desktop-schemas)");

        QString why;
        {
            LinuxDesktop d(std::make_unique<SystemProcessRunner>(), QStringLiteral("GNOME"),
                           config.path(), config.path());
            d.setTileWallpaper(tile);
            QVERIFY2(d.setWallpaper(picture(), why), qPrintable(why));
        }
        LinuxDesktop again(std::make_unique<SystemProcessRunner>(), QStringLiteral("GNOME"),
                           config.path(), config.path());
        QCOMPARE(again.wallpaper(), picture());
        QCOMPARE(again.tileWallpaper(), std::optional<bool>(tile));
        QProcess dark;
        dark.start(QStringLiteral("gsettings"),
                   {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"),
                    QStringLiteral("picture-uri-dark")});
        QVERIFY(dark.waitForFinished());
        QCOMPARE(QUrl(parseGvariantString(QString::fromUtf8(dark.readAllStandardOutput())))
                     .toLocalFile(),
                 picture());
        qunsetenv("GSETTINGS_BACKEND");
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_GUILESS_MAIN(TestLinuxDesktop)
#include "test_linux_desktop.moc"
