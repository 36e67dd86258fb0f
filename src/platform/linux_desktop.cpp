#include "linux_desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

namespace kordel {

struct GsettingsKeys {
    const char* schema;
    const char* pictureKey;
    bool uri;             // the key holds a file URI rather than a path
    const char* darkKey;  // the picture for the dark style; null when the desktop has none
};

namespace {

const GsettingsKeys kGnome{"org.gnome.desktop.background", "picture-uri", true, "picture-uri-dark"};
const GsettingsKeys kCinnamon{"org.cinnamon.desktop.background", "picture-uri", true, nullptr};
const GsettingsKeys kMate{"org.mate.background", "picture-filename", false, nullptr};

const QString kXfceChannel = QStringLiteral("xfce4-desktop");

QString fileUri(const QString& path) {
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

// A path from a setting that may hold a file URI or a plain path.
QString pathFromSetting(const QString& value) {
    if (value.startsWith(u'/'))
        return value;
    const QUrl url(value);
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

// The first value of `key` in an INI-style file, in any section; quotes around it dropped.
QString keyFileValue(const QString& file, const QString& key) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString prefix = key + u'=';
    while (!in.atEnd()) {
        const QString line = QString::fromUtf8(in.readLine()).trimmed();
        if (!line.startsWith(prefix))
            continue;
        QString value = line.mid(prefix.size()).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

// The plasmashell scripting call through dbus-send.
const QString kDbusSend = QStringLiteral("dbus-send");
QStringList plasmaScriptArguments(const QString& script) {
    return {
        QStringLiteral("--session"),          QStringLiteral("--dest=org.kde.plasmashell"),
        QStringLiteral("--type=method_call"), QStringLiteral("--print-reply"),
        QStringLiteral("/PlasmaShell"),       QStringLiteral("org.kde.PlasmaShell.evaluateScript"),
        QStringLiteral("string:") + script};
}

// Fill modes of the Plasma image wallpaper.
constexpr int kPlasmaTiled = 3;
constexpr int kPlasmaCentred = 6;

}  // namespace

QString gvariantString(const QString& text) {
    QString out = QStringLiteral("'");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'\'')
            out += u'\\';
        if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'\'';
}

QString parseGvariantString(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || (t[0] != u'\'' && t[0] != u'"'))
        return {};
    const QChar quote = t[0];
    QString out;
    for (qsizetype i = 1; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == quote)
            return out;
        if (c != u'\\' || i + 1 >= t.size()) {
            out += c;
            continue;
        }
        const QChar e = t[++i];
        const int digits = e == u'u' ? 4 : e == u'U' ? 8 : 0;
        if (digits && i + digits < t.size()) {
            const char32_t code = t.mid(i + 1, digits).toUInt(nullptr, 16);
            out += QString::fromUcs4(&code, 1);
            i += digits;
        } else {
            out += e == u'n'   ? QChar(u'\n')
                   : e == u't' ? QChar(u'\t')
                   : e == u'r' ? QChar(u'\r')
                               : e;
        }
    }
    return {};  // no closing quote
}

QString scriptString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        if (c.unicode() < 0x20 || c.unicode() == 0x2028 || c.unicode() == 0x2029)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + u'"';
}

QStringList shellWords(const QString& line) {
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else if (c == u'#' && !inWord) {
            break;
        } else if (c == u'\'') {
            const qsizetype end = line.indexOf(u'\'', i + 1);
            word += line.mid(i + 1, (end < 0 ? line.size() : end) - i - 1);
            i = end < 0 ? line.size() : end;
            inWord = true;
        } else if (c == u'"') {
            for (++i; i < line.size() && line[i] != u'"'; ++i) {
                if (line[i] == u'\\' && i + 1 < line.size() &&
                    QStringLiteral("$`\"\\").contains(line[i + 1]))
                    ++i;
                word += line[i];
            }
            inWord = true;
        } else if (c == u'\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

ProcessRunner::Result SystemProcessRunner::run(const QString& program,
                                               const QStringList& arguments) {
    Result result;
    const QString executable = QStandardPaths::findExecutable(program);
    if (executable.isEmpty())
        return result;
    QProcess process;
    process.start(executable, arguments);
    if (!process.waitForStarted(5000))
        return result;
    process.closeWriteChannel();
    // A desktop tool answers at once; one that hangs must not freeze the program.
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.started = true;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = process.readAllStandardOutput();
    result.errors = process.readAllStandardError();
    return result;
}

bool SystemProcessRunner::installed(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

LinuxDesktop::LinuxDesktop(std::unique_ptr<ProcessRunner> runner,
                           const QString& desktopNames,
                           const QString& configHome,
                           const QString& homeFolder)
    : runner_(std::move(runner)),
      desktopNames_(desktopNames),
      configHome_(configHome),
      homeFolder_(homeFolder) {}

LinuxDesktop::LinuxDesktop()
    : LinuxDesktop(std::make_unique<SystemProcessRunner>(),
                   qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                   QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                   QDir::homePath()) {}

LinuxDesktop::Backend LinuxDesktop::backend() {
    // XDG_CURRENT_DESKTOP names the desktop first and what it derives from after,
    // as in "Budgie:GNOME": the first name known here decides.
    for (const QString& name : desktopNames_.split(u':', Qt::SkipEmptyParts)) {
        const QString n = name.trimmed().toUpper();
        if (n == u"GNOME" || n == u"BUDGIE" || n == u"UNITY" || n == u"PANTHEON")
            return Backend::Gnome;
        if (n == u"X-CINNAMON" || n == u"CINNAMON")
            return Backend::Cinnamon;
        if (n == u"MATE")
            return Backend::Mate;
        if (n == u"XFCE")
            return Backend::Xfce;
        if (n == u"KDE")
            return Backend::Plasma;
        if (n == u"LXQT")
            return Backend::Lxqt;
        if (n == u"LXDE")
            return Backend::Lxde;
    }
    return runner_->installed(QStringLiteral("feh")) ? Backend::Feh : Backend::None;
}

std::optional<bool> LinuxDesktop::tileWallpaper() {
    const Current current = readCurrent();
    if (current.tile)
        tile_ = *current.tile;
    return current.tile;
}

QString LinuxDesktop::wallpaper() {
    return readCurrent().path;
}

bool LinuxDesktop::setWallpaper(const QString& path, QString& why) {
    if (!path.isEmpty() && !QFileInfo(path).isFile()) {
        why = QStringLiteral("「%1」が見つかりません。").arg(path);
        return false;
    }
    switch (backend()) {
        case Backend::Gnome:
            return setGsettings(kGnome, path, why);
        case Backend::Cinnamon:
            return setGsettings(kCinnamon, path, why);
        case Backend::Mate:
            return setGsettings(kMate, path, why);
        case Backend::Xfce:
            return setXfce(path, why);
        case Backend::Plasma:
            return setPlasma(path, why);
        case Backend::Lxqt:
        case Backend::Lxde: {
            QStringList arguments;
            if (!path.isEmpty())
                arguments << QStringLiteral("--set-wallpaper=") + path;
            arguments << QStringLiteral("--wallpaper-mode=") +
                             (tile_ ? QStringLiteral("tile") : QStringLiteral("center"));
            return runChecked(backend() == Backend::Lxqt ? QStringLiteral("pcmanfm-qt")
                                                         : QStringLiteral("pcmanfm"),
                              arguments, why);
        }
        case Backend::Feh:
            // feh keeps no tiling of its own: without a picture there is nothing to redraw.
            return path.isEmpty() ||
                   runChecked(
                       QStringLiteral("feh"),
                       {tile_ ? QStringLiteral("--bg-tile") : QStringLiteral("--bg-center"), path},
                       why);
        case Backend::None:
            break;
    }
    why = QStringLiteral(
              "このデスクトップ (%1) の壁紙を変える方法がわかりません。feh "
              "もインストールされていません。")
              .arg(desktopNames_.isEmpty() ? QStringLiteral("不明") : desktopNames_);
    return false;
}

QString LinuxDesktop::wallpaperFolder() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty() || !QDir().mkpath(dir))
        return {};
    return dir + u'/';
}

bool LinuxDesktop::runChecked(const QString& program, const QStringList& arguments, QString& why) {
    const ProcessRunner::Result r = runner_->run(program, arguments);
    if (!r.started) {
        why = QStringLiteral("%1 を実行できません。").arg(program);
        return false;
    }
    if (r.exitCode != 0) {
        why = QStringLiteral("%1 が失敗しました (%2)。%3")
                  .arg(program)
                  .arg(r.exitCode)
                  .arg(QString::fromLocal8Bit(r.errors).trimmed());
        return false;
    }
    return true;
}

LinuxDesktop::Current LinuxDesktop::readCurrent() {
    switch (backend()) {
        case Backend::Gnome:
            return readGsettings(kGnome);
        case Backend::Cinnamon:
            return readGsettings(kCinnamon);
        case Backend::Mate:
            return readGsettings(kMate);
        case Backend::Xfce:
            return readXfce();
        case Backend::Plasma:
            return readPlasma();
        case Backend::Lxqt:
            return readPcmanfm(true);
        case Backend::Lxde:
            return readPcmanfm(false);
        case Backend::Feh:
            return readFeh();
        case Backend::None:
            break;
    }
    return {};
}

bool LinuxDesktop::setGsettings(const GsettingsKeys& keys, const QString& path, QString& why) {
    const QString gsettings = QStringLiteral("gsettings");
    const QString schema = QLatin1String(keys.schema);
    const QString options =
        gvariantString(tile_ ? QStringLiteral("wallpaper") : QStringLiteral("centered"));
    if (!runChecked(gsettings,
                    {QStringLiteral("set"), schema, QStringLiteral("picture-options"), options},
                    why))
        return false;
    if (path.isEmpty())
        return true;
    const QString value = gvariantString(keys.uri ? fileUri(path) : path);
    if (!runChecked(gsettings,
                    {QStringLiteral("set"), schema, QLatin1String(keys.pictureKey), value}, why))
        return false;
    // Desktops older than the dark style lack this key; the picture is set all the same.
    if (keys.darkKey)
        runner_->run(gsettings,
                     {QStringLiteral("set"), schema, QLatin1String(keys.darkKey), value});
    return true;
}

LinuxDesktop::Current LinuxDesktop::readGsettings(const GsettingsKeys& keys) {
    Current current;
    const QString gsettings = QStringLiteral("gsettings");
    const QString schema = QLatin1String(keys.schema);
    const auto picture =
        runner_->run(gsettings, {QStringLiteral("get"), schema, QLatin1String(keys.pictureKey)});
    if (picture.ok()) {
        const QString value = parseGvariantString(QString::fromUtf8(picture.output));
        current.path = keys.uri ? pathFromSetting(value) : value;
    }
    const auto options =
        runner_->run(gsettings, {QStringLiteral("get"), schema, QStringLiteral("picture-options")});
    if (options.ok())
        current.tile = parseGvariantString(QString::fromUtf8(options.output)) == u"wallpaper";
    return current;
}

QStringList LinuxDesktop::xfceImageProperties(bool withPicture) {
    const auto list = runner_->run(QStringLiteral("xfconf-query"),
                                   {QStringLiteral("-c"), kXfceChannel, QStringLiteral("-l")});
    if (!list.ok())
        return {};
    // A workspace that has settings of its own but was never given a picture (a
    // monitor plugged in later, a workspace not visited) gets its picture too.
    static const QRegularExpression workspace(QStringLiteral("^(/backdrop/.*/workspace\\d+/)"));
    QStringList properties;
    for (const QString& line : QString::fromUtf8(list.output).split(u'\n', Qt::SkipEmptyParts)) {
        const auto folder = workspace.match(line);
        if (line.endsWith(QStringLiteral("/last-image")))
            properties << line;
        else if (!withPicture && folder.hasMatch())
            properties << folder.captured(1) + QStringLiteral("last-image");
    }
    properties.sort();
    properties.removeDuplicates();
    return properties;
}

namespace {
QString xfceStyleProperty(const QString& imageProperty) {
    return imageProperty.chopped(int(qstrlen("last-image"))) + QStringLiteral("image-style");
}
}  // namespace

bool LinuxDesktop::setXfce(const QString& path, QString& why) {
    const QStringList properties = xfceImageProperties(false);
    if (properties.isEmpty()) {
        why = QStringLiteral("xfce4-desktop に壁紙の設定が見つかりません。");
        return false;
    }
    // Every monitor and workspace shows the picture; XFCE's styles are 1 centred, 2 tiled.
    const QString program = QStringLiteral("xfconf-query");
    for (const QString& property : properties) {
        const auto setImage = [&](const QString& value) {
            return runChecked(program,
                              {QStringLiteral("-c"), kXfceChannel, QStringLiteral("-p"), property,
                               QStringLiteral("-n"), QStringLiteral("-t"), QStringLiteral("string"),
                               QStringLiteral("-s"), value},
                              why);
        };
        if (!path.isEmpty()) {
            // xfconf says nothing of a value set again unchanged, and the desktop
            // keeps what it drew: a new picture under the same name goes through
            // an empty value, so that the desktop reads the file again.
            const auto current = runner_->run(
                program, {QStringLiteral("-c"), kXfceChannel, QStringLiteral("-p"), property});
            const bool same = current.ok() && QString::fromUtf8(current.output).trimmed() == path;
            if ((same && !setImage(QString())) || !setImage(path))
                return false;
        }
        if (!runChecked(program,
                        {QStringLiteral("-c"), kXfceChannel, QStringLiteral("-p"),
                         xfceStyleProperty(property), QStringLiteral("-n"), QStringLiteral("-t"),
                         QStringLiteral("int"), QStringLiteral("-s"),
                         tile_ ? QStringLiteral("2") : QStringLiteral("1")},
                        why))
            return false;
    }
    return true;
}

LinuxDesktop::Current LinuxDesktop::readXfce() {
    Current current;
    const QStringList properties = xfceImageProperties(true);
    if (properties.isEmpty())
        return current;
    const QString program = QStringLiteral("xfconf-query");
    const auto image = runner_->run(
        program, {QStringLiteral("-c"), kXfceChannel, QStringLiteral("-p"), properties.first()});
    if (image.ok())
        current.path = QString::fromUtf8(image.output).trimmed();
    const auto style =
        runner_->run(program, {QStringLiteral("-c"), kXfceChannel, QStringLiteral("-p"),
                               xfceStyleProperty(properties.first())});
    if (style.ok())
        current.tile = QString::fromUtf8(style.output).trimmed() == u"2";
    return current;
}

bool LinuxDesktop::setPlasma(const QString& path, QString& why) {
    // Every desktop of the shell; the wallpaper plug-in is switched to the image
    // only when there is a picture to show. `image` is a file URI, or empty.
    const auto apply = [&](const QString& image) {
        QString script = QStringLiteral(
            "var all = desktops();\n"
            "for (var i = 0; i < all.length; i++) {\n"
            "    var d = all[i];\n");
        if (!path.isEmpty())
            script += QStringLiteral("    d.wallpaperPlugin = \"org.kde.image\";\n");
        script += QStringLiteral(
            "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n");
        if (!path.isEmpty())
            script +=
                QStringLiteral("    d.writeConfig(\"Image\", %1);\n").arg(scriptString(image));
        script += QStringLiteral("    d.writeConfig(\"FillMode\", %1);\n}\n")
                      .arg(tile_ ? kPlasmaTiled : kPlasmaCentred);
        return runChecked(kDbusSend, plasmaScriptArguments(script), why);
    };
    // Plasma keeps drawing the picture it has while its name stays the same: a new
    // picture under the same name goes through an empty one, in a call of its own.
    if (!path.isEmpty() && readPlasma().path == path && !apply(QString()))
        return false;
    return apply(path.isEmpty() ? QString() : fileUri(path));
}

LinuxDesktop::Current LinuxDesktop::readPlasma() {
    Current current;
    const QStringList arguments = plasmaScriptArguments(
        QStringLiteral("var d = desktops()[0];\n"
                       "d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
                       "print(d.readConfig(\"FillMode\") + \"\\n\" + d.readConfig(\"Image\"));\n"));
    const auto reply = runner_->run(kDbusSend, arguments);
    if (!reply.ok())
        return current;
    // The reply reads: a header line, then   string "<printed text>"
    const QString text = QString::fromUtf8(reply.output);
    const qsizetype start = text.indexOf(QStringLiteral("string \""));
    const qsizetype end = text.lastIndexOf(u'"');
    if (start < 0 || end <= start + 7)
        return current;
    const QString printed = text.mid(start + 8, end - start - 8);
    const QString fill = printed.section(u'\n', 0, 0).trimmed();
    if (!fill.isEmpty())
        current.tile = fill.toInt() == kPlasmaTiled;
    current.path = pathFromSetting(printed.section(u'\n', 1).trimmed());
    return current;
}

LinuxDesktop::Current LinuxDesktop::readPcmanfm(bool qt) {
    Current current;
    const QStringList files =
        qt ? QStringList{configHome_ + QStringLiteral("/pcmanfm-qt/lxqt/settings.conf"),
                         configHome_ + QStringLiteral("/pcmanfm-qt/default/settings.conf")}
           : QStringList{configHome_ + QStringLiteral("/pcmanfm/LXDE/desktop-items-0.conf"),
                         configHome_ + QStringLiteral("/pcmanfm/default/desktop-items-0.conf")};
    for (const QString& file : files) {
        if (!QFileInfo::exists(file))
            continue;
        current.path =
            keyFileValue(file, qt ? QStringLiteral("Wallpaper") : QStringLiteral("wallpaper"));
        const QString mode = keyFileValue(
            file, qt ? QStringLiteral("WallpaperMode") : QStringLiteral("wallpaper_mode"));
        if (!mode.isEmpty())
            current.tile = mode == u"tile";
        break;
    }
    return current;
}

LinuxDesktop::Current LinuxDesktop::readFeh() {
    Current current;
    QFile script(homeFolder_ + QStringLiteral("/.fehbg"));
    if (!script.open(QIODevice::ReadOnly | QIODevice::Text))
        return current;
    // feh writes one command line: feh --no-fehbg --bg-tile '/path/picture.bmp'
    while (!script.atEnd()) {
        const QStringList words = shellWords(QString::fromUtf8(script.readLine()));
        if (words.isEmpty() || !words.first().endsWith(QStringLiteral("feh")))
            continue;
        for (const QString& word : words)
            if (word.startsWith(QStringLiteral("--bg-")))
                current.tile = word == u"--bg-tile";
        if (current.tile && !words.last().startsWith(u'-'))
            current.path = words.last();
    }
    return current;
}

}  // namespace kordel
