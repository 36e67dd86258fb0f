// The desktop wallpaper on Linux, through the running desktop's own settings:
// gsettings for GNOME, Budgie, Cinnamon and MATE, xfconf-query for XFCE, the
// plasmashell scripting call for KDE Plasma, pcmanfm for LXQt and LXDE, feh
// elsewhere. Tools are run with argument lists, never through a shell, so any
// file name reaches them as it is.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

#include "services.h"

namespace kordel {

// Starts external programs; tests put a recording one in its place.
class ProcessRunner {
public:
    struct Result {
        bool started = false;  // false when the program is missing or hung
        int exitCode = -1;
        QByteArray output;
        QByteArray errors;
        bool ok() const { return started && exitCode == 0; }
    };
    virtual ~ProcessRunner() = default;
    virtual Result run(const QString& program, const QStringList& arguments) = 0;
    // Whether the program can be found on the search path.
    virtual bool installed(const QString& program) = 0;
};

// Runs programs through QProcess, waiting a few seconds at most for each.
class SystemProcessRunner : public ProcessRunner {
public:
    Result run(const QString& program, const QStringList& arguments) override;
    bool installed(const QString& program) override;
};

// Schema and keys of a desktop that keeps its wallpaper in GSettings.
struct GsettingsKeys;

class LinuxDesktop : public Desktop {
public:
    enum class Backend { None, Gnome, Cinnamon, Mate, Xfce, Plasma, Lxqt, Lxde, Feh };

    // `desktopNames` is XDG_CURRENT_DESKTOP; `configHome` the user's configuration
    // folder, where pcmanfm and feh keep what they set.
    LinuxDesktop(std::unique_ptr<ProcessRunner> runner,
                 const QString& desktopNames,
                 const QString& configHome,
                 const QString& homeFolder);
    // The real desktop of this session.
    LinuxDesktop();

    Backend backend();

    std::optional<bool> tileWallpaper() override;
    void setTileWallpaper(bool tile) override { tile_ = tile; }
    QString wallpaper() override;
    bool setWallpaper(const QString& path, QString& why) override;
    QString wallpaperFolder() override;

private:
    struct Current {
        QString path;
        std::optional<bool> tile;
    };
    Current readCurrent();
    Current readGsettings(const GsettingsKeys& keys);
    Current readXfce();
    Current readPlasma();
    Current readPcmanfm(bool qt);
    Current readFeh();
    bool setGsettings(const GsettingsKeys& keys, const QString& path, QString& why);
    bool setXfce(const QString& path, QString& why);
    bool setPlasma(const QString& path, QString& why);
    bool runChecked(const QString& program, const QStringList& arguments, QString& why);
    // The picture properties of every workspace, or of those that have a picture.
    QStringList xfceImageProperties(bool withPicture);

    std::unique_ptr<ProcessRunner> runner_;
    QString desktopNames_;
    QString configHome_;
    QString homeFolder_;
    bool tile_ = true;
};

// Text forms the tools read and write, exposed for their tests.
// A GVariant string literal, quoted and escaped.
QString gvariantString(const QString& text);
// The string of a GVariant text such as 'file:///a' or "it's"; empty when it is none.
QString parseGvariantString(const QString& text);
// A JavaScript string literal for the plasmashell script.
QString scriptString(const QString& text);
// The words of a shell command line, as the shell would split them (quotes and
// backslashes; no expansions).
QStringList shellWords(const QString& line);

}  // namespace kordel
