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
    QStringList calls;                   // program and arguments joined by "|"
    QHash<QString, QByteArray> outputs;  // by the command line so joined
    QByteArray otherwise;                // the output of any other command line
    bool feh = true;

    Result run(const QString& program, const QStringList& arguments) override {
        calls << (QStringList{program} + arguments).join(u'|');
        return {true, 0, outputs.value(calls.last(), otherwise), {}};
    }
    bool installed(const QString& program) override { return feh && program == u"feh"; }
};

const QString kWorkspace =
    QStringLiteral("xfconf-query|-c|xfce4-desktop|-p|/backdrop/screen0/monitor1/workspace");

std::unique_ptr<RecordingRunner> scriptedRunner() {
    auto r = std::make_unique<RecordingRunner>();
    r->outputs.insert(QStringLiteral("xfconf-query|-c|xfce4-desktop|-l"),
                      "/backdrop/screen0/monitor1/workspace0/color-style\n"
                      "/backdrop/screen0/monitor1/workspace1/last-image\n"
                      "/backdrop/screen0/monitor1/workspace0/last-image\n"
                      "/backdrop/screen0/monitor2/workspace0/image-style\n");
    r->outputs.insert(kWorkspace + "0/last-image", "/p/x y.bmp\n");
    return r;
}

}  // namespace

class TestLinuxDesktop : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    // A file name with a blank, a quote, a double quote and a dollar sign.
    QString picture() const { return dir_.path() + QStringLiteral("/a b'c\"$x.bmp"); }

private slots:
    void initTestCase() { QVERIFY(QFile(picture()).open(QIODevice::WriteOnly)); }

    void runsTheDesktopsOwnTools_data() {
        QTest::addColumn<QString>("desktop");  // "!" before it: feh is not installed
        QTest::addColumn<bool>("tile");
        QTest::addColumn<QString>("path");          // "%P" is the picture, "%D" its folder
        QTest::addColumn<QStringList>("commands");  // arguments joined by "|"
        QTest::addColumn<QString>("refusal");       // part of the reason when refused
        const QString gnome = QStringLiteral("gsettings|set|org.gnome.desktop.background|");
        // A monitor whose workspace has settings but was never given a picture.
        const QString m2 =
            QString(kWorkspace).replace(QStringLiteral("monitor1"), QStringLiteral("monitor2")) +
            "0/";
        const QString uri = QStringLiteral("'file://%D/a%20b\\'c%22$x.bmp'");
        const QString kde = QStringLiteral(
            "dbus-send|--session|--dest=org.kde.plasmashell|--type=method_call|--print-reply|"
            "/PlasmaShell|org.kde.PlasmaShell.evaluateScript|string:var all = desktops();\n"
            "for (var i = 0; i < all.length; i++) {\n    var d = all[i];\n"
            "    d.wallpaperPlugin = \"org.kde.image\";\n"
            "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
            "    d.writeConfig(\"Image\", \"file://%D/a%20b'c%22$x.bmp\");\n"
            "    d.writeConfig(\"FillMode\", 6);\n}\n");
        // Plasma shows the picture already: it is read, cleared, then set again.
        const QString kdeRead =
            kde.section(u'|', 0, 6) +
            "|string:var d = desktops()[0];\n"
            "d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
            "print(d.readConfig(\"FillMode\") + \"\\n\" + d.readConfig(\"Image\"));\n";
        const QString kdeClear =
            QString(kde).replace(QStringLiteral("file://%D/a%20b'c%22$x.bmp"), "");
        // clang-format off
        QTest::newRow("GNOME, tiled") << "ubuntu:GNOME" << true << "%P" << QStringList{
            gnome + "picture-options|'wallpaper'", gnome + "picture-uri|" + uri, gnome + "picture-uri-dark|" + uri} << "";
        QTest::newRow("Budgie, no picture") << "Budgie:GNOME" << false << "" << QStringList{gnome + "picture-options|'centered'"} << "";
        QTest::newRow("Cinnamon") << "X-Cinnamon" << false << "%P" << QStringList{
            "gsettings|set|org.cinnamon.desktop.background|picture-options|'centered'",
            "gsettings|set|org.cinnamon.desktop.background|picture-uri|" + uri} << "";
        QTest::newRow("MATE") << "MATE" << true << "%P" << QStringList{
            "gsettings|set|org.mate.background|picture-options|'wallpaper'",
            "gsettings|set|org.mate.background|picture-filename|'%D/a b\\'c\"$x.bmp'"} << "";
        QTest::newRow("XFCE, every workspace") << "XFCE" << true << "%P" << QStringList{"xfconf-query|-c|xfce4-desktop|-l",
            kWorkspace + "0/last-image", kWorkspace + "0/last-image|-n|-t|string|-s|%P", kWorkspace + "0/image-style|-n|-t|int|-s|2",
            kWorkspace + "1/last-image", kWorkspace + "1/last-image|-n|-t|string|-s|", kWorkspace + "1/last-image|-n|-t|string|-s|%P",
            kWorkspace + "1/image-style|-n|-t|int|-s|2",
            m2 + "last-image", m2 + "last-image|-n|-t|string|-s|%P", m2 + "image-style|-n|-t|int|-s|2"} << "";
        QTest::newRow("KDE Plasma, centred") << "KDE" << false << "%P" << QStringList{kdeRead, kdeClear, kde} << "";
        QTest::newRow("LXQt") << "LXQt" << false << "%P" << QStringList{"pcmanfm-qt|--set-wallpaper=%P|--wallpaper-mode=center"} << "";
        QTest::newRow("LXDE") << "LXDE" << true << "%P" << QStringList{"pcmanfm|--set-wallpaper=%P|--wallpaper-mode=tile"} << "";
        QTest::newRow("feh elsewhere") << "i3" << true << "%P" << QStringList{"feh|--bg-tile|%P"} << "";
        QTest::newRow("nothing known, no feh") << "!i3" << true << "%P" << QStringList{} << "(i3)";
        QTest::newRow("missing file") << "GNOME" << true << "%D/gone.bmp" << QStringList{} << "/gone.bmp」";
        // clang-format on
    }

    void runsTheDesktopsOwnTools() {
        QFETCH(QString, desktop);
        QFETCH(bool, tile);
        QFETCH(QString, path);
        QFETCH(QStringList, commands);
        QFETCH(QString, refusal);
        auto runner = scriptedRunner();
        RecordingRunner* r = runner.get();
        // XFCE's second workspace and Plasma show the picture already.
        r->outputs.insert(kWorkspace + "1/last-image", picture().toUtf8() + '\n');
        r->otherwise = "string \"6\n" + QUrl::fromLocalFile(picture()).toEncoded() + "\"\n";
        r->feh = !desktop.startsWith(u'!');
        LinuxDesktop d(std::move(runner), desktop.remove(u'!'), dir_.path(), dir_.path());
        d.setTileWallpaper(tile);
        QString why;
        const auto place = [this](QString s) {
            return s.replace(QStringLiteral("%P"), picture())
                .replace(QStringLiteral("%D"), dir_.path());
        };
        QCOMPARE(d.setWallpaper(place(path), why), refusal.isEmpty());
        QVERIFY2(why.contains(refusal), qPrintable(why));
        for (QString& command : commands)
            command = place(command);
        QCOMPARE(r->calls, commands);
    }

    void readsBackFromTheDesktopsSettings_data() {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("source");  // command line answered, or a file under the folder
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("tile");
        // clang-format off
        QTest::newRow("XFCE") << "XFCE" << kWorkspace + "0/image-style" << QByteArray("2\n") << "/p/x y.bmp" << true;
        QTest::newRow("KDE Plasma") << "KDE" << "" << QByteArray("method return time=1 sender=:1.9 -> destination=:1.8\n"
            "   string \"3\nfile:///home/u/a%20b'c%22.bmp\"\n") << "/home/u/a b'c\".bmp" << true;
        QTest::newRow("LXQt") << "LXQt" << "pcmanfm-qt/lxqt/settings.conf"
            << QByteArray("[Desktop]\nWallpaper=/p/a b.bmp\nWallpaperMode=center\n") << "/p/a b.bmp" << false;
        QTest::newRow("feh") << "i3" << ".fehbg"
            << QByteArray("#!/bin/sh\nfeh --no-fehbg --bg-tile '/p/a b'\\''c\"$x.bmp' \n") << "/p/a b'c\"$x.bmp" << true;
        // clang-format on
    }

    void readsBackFromTheDesktopsSettings() {
        QFETCH(QString, desktop);
        QFETCH(QString, source);
        QFETCH(QByteArray, answer);
        QFETCH(QString, path);
        QFETCH(bool, tile);
        QTemporaryDir home;
        auto runner = scriptedRunner();
        if (source.isEmpty()) {
            runner->otherwise = answer;  // the plasmashell's reply to its reading script
        } else if (source.contains(u'|')) {
            runner->outputs.insert(source, answer);
        } else {
            QVERIFY(QDir(home.path()).mkpath(QFileInfo(source).path()));
            QFile file(home.path() + u'/' + source);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(answer) == answer.size());
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
        QTemporaryDir config;
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const auto gsettings = [](const QString& key) {
            QProcess p;
            p.start(QStringLiteral("gsettings"),
                    {QStringLiteral("get"), QStringLiteral("org.gnome.desktop.background"), key});
            return p.waitForFinished() && p.exitCode() == 0
                       ? QString::fromUtf8(p.readAllStandardOutput())
                       : QString();
        };
        if (gsettings(QStringLiteral("picture-uri")).isEmpty())
            QSKIP("needs libglib2.0-bin and gsettings-desktop-schemas");
        const auto gnome = [] {
            return LinuxDesktop(std::make_unique<SystemProcessRunner>(), QStringLiteral("GNOME"),
                                {}, {});
        };
        QString why;
        LinuxDesktop d = gnome();
        d.setTileWallpaper(tile);
        QVERIFY2(d.setWallpaper(picture(), why), qPrintable(why));
        LinuxDesktop again = gnome();
        QCOMPARE(again.wallpaper(), picture());
        QCOMPARE(again.tileWallpaper(), std::optional<bool>(tile));
        QCOMPARE(
            QUrl(parseGvariantString(gsettings(QStringLiteral("picture-uri-dark")))).toLocalFile(),
            picture());
        qunsetenv("GSETTINGS_BACKEND");
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_GUILESS_MAIN(TestLinuxDesktop)
#include "test_linux_desktop.moc"
