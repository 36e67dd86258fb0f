// The places of this system shown as drive tabs: the root file system, the
// home folder and every mounted volume a user may keep pictures on.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "services.h"

namespace kordel {

// One line of /proc/self/mountinfo, escapes decoded.
struct MountEntry {
    int id = 0;
    int parentId = 0;
    QString device;         // "major:minor" of the mounted file system
    QString root;           // folder of the file system that appears at the mount point
    QString mountPoint;     // absolute, cleaned
    QString fsType;         // "ext4", "fuse.sshfs", ...
    QString source;         // "/dev/sdb1", "server:/export", "tmpfs", ...
    bool readOnly = false;  // "ro" in the mount's or the file system's options
};

// The lines of a mountinfo text in their order; lines that do not have the
// expected shape are left out.
QList<MountEntry> parseMountInfo(const QByteArray& text);

// A link name of /dev/disk/by-label as the label it stands for: "\x20" and
// the like are bytes, the result is UTF-8.
QString decodeLabelLinkName(const QString& linkName);

// Whether the block device behind a mount is removable: (source, "major:minor").
using RemovableLookup = std::function<bool(const QString& source, const QString& device)>;

// The places described by a mountinfo text, in tab order: "/", "~", then the
// other mounted volumes sorted by mount point. `labelLinks` maps a device,
// by path ("/dev/sdb1") or by number ("8:17"), to its link name in
// /dev/disk/by-label. `home` is the home folder.
QList<Place> parsePlaces(const QByteArray& mountInfo,
                         const QHash<QString, QString>& labelLinks,
                         const RemovableLookup& isRemovable,
                         const QString& home);

// Reads a folder like /dev/disk/by-label into the map parsePlaces takes: each
// link's resolved target path, and for block devices also their number.
QHash<QString, QString> readLabelLinks(
    const QString& folder = QStringLiteral("/dev/disk/by-label"));

// The removable flag of the device from sysfs (for a partition, of its disk);
// an SD card counts as removable too.
bool sysfsRemovable(const QString& source,
                    const QString& device,
                    const QString& sysRoot = QStringLiteral("/sys"));

class LinuxDrives : public Drives {
public:
    // Tells whether a root can be used; may block (dead network mounts).
    using Probe = std::function<bool(const QString& root)>;

    // A probe that has not answered within `readyLimit` counts as "not ready".
    explicit LinuxDrives(std::chrono::milliseconds readyLimit = std::chrono::seconds(2),
                         Probe probe = listsAnEntry);
    ~LinuxDrives() override;

    QList<Place> places() override;
    bool isReady(const QString& root) override;
    // Through the kernel's notice on /proc/self/mountinfo; a burst of changes
    // (a stick's partitions mounted one by one) is told once, a quarter second
    // after the last.
    void watchChanges(std::function<void()> changed) override;

    // The real probe: the file system's size can be read and its root holds at
    // least one entry other than "." and "..".
    static bool listsAnEntry(const QString& root);

private:
    struct Check;

    std::chrono::milliseconds readyLimit_;
    Probe probe_;
    std::mutex mutex_;
    QHash<QString, std::shared_ptr<Check>> pending_;  // checks that overran their limit
    struct Watch;
    std::unique_ptr<Watch> watch_;
};

}  // namespace kordel
