#include "linux_drives.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace kordel {

namespace {

// mountinfo writes blanks, tabs, newlines and backslashes in paths as "\ooo".
QByteArray unescapeOctal(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            const int value =
                (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xff) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return out;
}

QString decodeField(const QByteArray& field) {
    return QFile::decodeName(unescapeOctal(field));
}

// Whether `path` is `folder` or lies below it, by whole folder names.
bool isUnder(const QString& path, const QString& folder) {
    if (folder == u"/")
        return path.startsWith(u'/');
    return path == folder ||
           (path.size() > folder.size() && path.startsWith(folder) && path[folder.size()] == u'/');
}

bool isStrictlyUnder(const QString& path, const QString& folder) {
    return path != folder && isUnder(path, folder);
}

QString lastFolderName(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// File systems of the kernel and of system services; nothing a user keeps pictures on.
const QSet<QString>& pseudoTypes() {
    static const QSet<QString> types{
        QStringLiteral("proc"),       QStringLiteral("sysfs"),       QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),    QStringLiteral("devpts"),      QStringLiteral("devtmpfs"),
        QStringLiteral("securityfs"), QStringLiteral("pstore"),      QStringLiteral("bpf"),
        QStringLiteral("tracefs"),    QStringLiteral("debugfs"),     QStringLiteral("configfs"),
        QStringLiteral("fusectl"),    QStringLiteral("mqueue"),      QStringLiteral("hugetlbfs"),
        QStringLiteral("autofs"),     QStringLiteral("binfmt_misc"), QStringLiteral("nsfs"),
        QStringLiteral("efivarfs"),   QStringLiteral("rpc_pipefs"),  QStringLiteral("selinuxfs"),
        QStringLiteral("nfsd"),       QStringLiteral("fuse.lxcfs"),
    };
    return types;
}

// Union file systems that assemble container images.
const QSet<QString>& layerTypes() {
    static const QSet<QString> types{QStringLiteral("overlay"), QStringLiteral("aufs"),
                                     QStringLiteral("fuse.fuse-overlayfs")};
    return types;
}

// Network file systems, and the network subtypes of FUSE ("fuse.<subtype>").
const QSet<QString>& networkTypes() {
    static const QSet<QString> types{
        QStringLiteral("nfs"),       QStringLiteral("nfs4"),       QStringLiteral("cifs"),
        QStringLiteral("smb3"),      QStringLiteral("smbfs"),      QStringLiteral("ncpfs"),
        QStringLiteral("sshfs"),     QStringLiteral("9p"),         QStringLiteral("afs"),
        QStringLiteral("ceph"),      QStringLiteral("ceph-fuse"),  QStringLiteral("glusterfs"),
        QStringLiteral("davfs"),     QStringLiteral("coda"),       QStringLiteral("lustre"),
        QStringLiteral("beegfs"),    QStringLiteral("gpfs"),       QStringLiteral("orangefs"),
        QStringLiteral("rclone"),    QStringLiteral("s3fs"),       QStringLiteral("gcsfuse"),
        QStringLiteral("curlftpfs"), QStringLiteral("smbnetfs"),   QStringLiteral("httpdirfs"),
        QStringLiteral("goofys"),    QStringLiteral("blobfuse"),   QStringLiteral("blobfuse2"),
        QStringLiteral("juicefs"),   QStringLiteral("gvfsd-fuse"),
    };
    return types;
}

// "host:/export", "user@host:", "remote:path", "//server/share", "https://..."
// name something on another machine; local sources are paths or plain words.
bool looksRemote(const QString& source) {
    if (source.startsWith(u"//") || source.contains(u"://"))
        return true;
    const qsizetype colon = source.indexOf(u':');
    if (colon <= 0)
        return false;
    const qsizetype slash = source.indexOf(u'/');
    return slash < 0 || colon < slash;
}

bool isRemote(const MountEntry& e) {
    if (networkTypes().contains(e.fsType))
        return true;
    if (e.fsType == u"fuse" || e.fsType.startsWith(u"fuse.")) {
        return networkTypes().contains(e.fsType.mid(5)) || looksRemote(e.source);
    }
    return false;
}

// A mount is left out when it cannot hold a user's pictures or is an
// implementation detail of the system:
// - kernel and service file systems (pseudoTypes);
// - container image layers, unless the whole system runs in one ("/");
// - snap packages (squashfs images under /snap);
// - anything under /proc, /sys, /dev and /run (runtime state; desktop
//   automounts under /run/media/<user>/ are kept), under /etc (containers
//   bind single files such as /etc/hosts there) and under /var/lib (state of
//   services: container storage, snapd);
// - mount points inside hidden folders (program-private mounts such as
//   /tmp/.mount_* of packaged applications or ~/.cache/doc).
bool isPseudo(const MountEntry& e) {
    const QString& mp = e.mountPoint;
    if (pseudoTypes().contains(e.fsType))
        return true;
    if (layerTypes().contains(e.fsType) && mp != u"/")
        return true;
    if (e.fsType == u"squashfs" && isUnder(mp, QStringLiteral("/snap")))
        return true;
    for (const char* folder : {"/proc", "/sys", "/dev", "/etc", "/var/lib"}) {
        if (isUnder(mp, QString::fromLatin1(folder)))
            return true;
    }
    if (isUnder(mp, QStringLiteral("/run")) && !isStrictlyUnder(mp, QStringLiteral("/run/media")))
        return true;
    return mp.contains(u"/.");
}

DriveType typeOf(const MountEntry& e, const RemovableLookup& isRemovable) {
    if (isRemote(e))
        return DriveType::Remote;
    if (e.fsType == u"iso9660" || e.fsType == u"udf")
        return DriveType::CdRom;
    if (e.fsType == u"tmpfs" || e.fsType == u"ramfs")
        return DriveType::RamDisk;
    // Desktops mount USB sticks and cards there; USB disks often lack the flag.
    if (isStrictlyUnder(e.mountPoint, QStringLiteral("/media")) ||
        isStrictlyUnder(e.mountPoint, QStringLiteral("/run/media")))
        return DriveType::Removable;
    if (isRemovable && isRemovable(e.source, e.device))
        return DriveType::Removable;
    return DriveType::Fixed;
}

QString labelOf(const MountEntry& e, const QHash<QString, QString>& labelLinks) {
    auto it = labelLinks.find(e.source);
    if (it == labelLinks.end())
        it = labelLinks.find(e.device);
    return it == labelLinks.end() ? QString() : decodeLabelLinkName(*it);
}

// Indices of the mounts that can be seen: the top one of each stack of mounts
// on the same folder, and only when the mount it hangs on can be seen too (a
// later mount over a folder above hides what was mounted below it). The kernel
// says which mount lies on which through the parent numbers; where they do not
// tell, the later line is the later mount.
std::vector<int> visibleMounts(const QList<MountEntry>& all) {
    const int n = int(all.size());
    QHash<int, int> byId;
    QHash<QString, QList<int>> byPoint;
    for (int i = 0; i < n; ++i) {
        byId.insert(all[i].id, i);
        byPoint[all[i].mountPoint].append(i);
    }

    std::vector<bool> top(n, false);
    for (const QList<int>& stack : std::as_const(byPoint)) {
        int chosen = stack.last();
        for (qsizetype k = stack.size() - 1; k >= 0; --k) {
            const int i = stack[k];
            const bool covered = std::any_of(stack.begin(), stack.end(), [&](int j) {
                return j != i && all[j].parentId == all[i].id;
            });
            if (!covered) {
                chosen = i;
                break;
            }
        }
        top[chosen] = true;
    }

    // Whether the folder a mount sits on can be reached: every mount on the way
    // up must be the top of its stack, except where the way leads through the
    // stack itself (a mount lying on the one below it at the same folder).
    enum : char { Unknown, OnWalk, Reachable, Unreachable };
    std::vector<char> state(n, Unknown);
    std::vector<int> walk;
    for (int start = 0; start < n; ++start) {
        walk.clear();
        char result = Reachable;
        for (int i = start;;) {
            if (state[i] == Reachable || state[i] == Unreachable) {
                result = state[i];
                break;
            }
            if (state[i] == OnWalk)  // a loop of parents: nothing above hides it
                break;
            walk.push_back(i);
            state[i] = OnWalk;
            const auto parent = byId.constFind(all[i].parentId);
            if (parent == byId.constEnd() || *parent == i)
                break;  // the mount the process's root hangs on
            if (!top[*parent] && all[*parent].mountPoint != all[i].mountPoint) {
                result = Unreachable;
                break;
            }
            i = *parent;
        }
        for (int i : walk)
            state[i] = result;
    }

    std::vector<int> visible;
    for (int i = 0; i < n; ++i) {
        if (top[i] && state[i] == Reachable)
            visible.push_back(i);
    }
    return visible;
}

QByteArray readAllOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Files under /proc claim a size of 0, so read until the end.
    QByteArray data;
    char buffer[16384];
    for (;;) {
        const qint64 got = file.read(buffer, sizeof buffer);
        if (got <= 0)
            break;
        data.append(buffer, got);
    }
    return data;
}

QByteArray readTrimmed(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(64).trimmed();
}

}  // namespace

QList<MountEntry> parseMountInfo(const QByteArray& text) {
    QList<MountEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        QList<QByteArray> fields;
        for (const QByteArray& f : line.split(' ')) {
            if (!f.isEmpty())
                fields.append(f);
        }
        // id parent major:minor root mount-point options [optional...] - type source
        // [super-options]
        const qsizetype separator = fields.indexOf("-", 6);
        if (separator < 0 || separator + 2 >= fields.size())
            continue;
        MountEntry e;
        bool idOk = false, parentOk = false;
        e.id = fields[0].toInt(&idOk);
        e.parentId = fields[1].toInt(&parentOk);
        if (!idOk || !parentOk)
            continue;
        e.device = QString::fromLatin1(fields[2]);
        e.root = decodeField(fields[3]);
        const QString mountPoint = decodeField(fields[4]);
        if (!mountPoint.startsWith(u'/'))
            continue;
        e.mountPoint = QDir::cleanPath(mountPoint);
        e.fsType = decodeField(fields[separator + 1]);
        e.source = decodeField(fields[separator + 2]);
        auto readOnly = [](const QByteArray& options) { return options.split(',').contains("ro"); };
        e.readOnly = readOnly(fields[5]) ||
                     (separator + 3 < fields.size() && readOnly(fields[separator + 3]));
        entries.append(e);
    }
    return entries;
}

QString decodeLabelLinkName(const QString& linkName) {
    const QByteArray in = linkName.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    auto hexValue = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            const int hi = hexValue(in[i + 2]);
            const int lo = hexValue(in[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out.append(char(hi * 16 + lo));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

QList<Place> parsePlaces(const QByteArray& mountInfo,
                         const QHash<QString, QString>& labelLinks,
                         const RemovableLookup& isRemovable,
                         const QString& home) {
    const QList<MountEntry> all = parseMountInfo(mountInfo);

    // "~" would only repeat "/" when home is the root itself, and a relative
    // home names no place at all.
    QString homePath = home.isEmpty() ? QString() : QDir::cleanPath(home);
    if (!homePath.startsWith(u'/') || homePath == u"/")
        homePath.clear();

    const MountEntry* rootMount = nullptr;
    const MountEntry* homeMount = nullptr;  // the mount that holds the home folder
    QList<const MountEntry*> others;
    for (int i : visibleMounts(all)) {
        const MountEntry& e = all[i];
        if (e.mountPoint == u"/")
            rootMount = &e;
        if (!homePath.isEmpty() && isUnder(homePath, e.mountPoint) &&
            (!homeMount || e.mountPoint.size() > homeMount->mountPoint.size()))
            homeMount = &e;
        if (e.mountPoint == u"/" || e.mountPoint == homePath || isPseudo(e))
            continue;
        others.append(&e);
    }
    std::sort(others.begin(), others.end(), [](const MountEntry* a, const MountEntry* b) {
        return a->mountPoint < b->mountPoint;
    });

    auto place = [&](const QString& root, const QString& tabText, const MountEntry* mount) {
        Place p;
        p.root = root;
        p.tabText = tabText;
        p.type = mount ? typeOf(*mount, isRemovable) : DriveType::Fixed;
        p.label = mount ? labelOf(*mount, labelLinks) : QString();
        p.readOnly = mount && mount->readOnly;
        return p;
    };

    QList<Place> places;
    places.append(place(QStringLiteral("/"), QStringLiteral("/"), rootMount));
    if (!homePath.isEmpty())
        places.append(place(homePath, QStringLiteral("~"), homeMount));
    for (const MountEntry* e : std::as_const(others))
        places.append(place(e->mountPoint, lastFolderName(e->mountPoint), e));
    return places;
}

QHash<QString, QString> readLabelLinks(const QString& folder) {
    QHash<QString, QString> links;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        const QString target = QFileInfo(folder + u'/' + name).canonicalFilePath();
        if (target.isEmpty())
            continue;
        if (!links.contains(target))
            links.insert(target, name);
        struct stat st;
        if (::stat(QFile::encodeName(target).constData(), &st) == 0 && S_ISBLK(st.st_mode)) {
            const QString number =
                QStringLiteral("%1:%2").arg(major(st.st_rdev)).arg(minor(st.st_rdev));
            if (!links.contains(number))
                links.insert(number, name);
        }
    }
    return links;
}

bool sysfsRemovable(const QString& source, const QString& device, const QString& sysRoot) {
    QStringList candidates;
    if (!device.isEmpty())
        candidates.append(sysRoot + QStringLiteral("/dev/block/") + device);
    if (source.startsWith(u"/dev/")) {
        const QString real = QFileInfo(source).canonicalFilePath();
        candidates.append(sysRoot + QStringLiteral("/class/block/") +
                          QFileInfo(real.isEmpty() ? source : real).fileName());
    }
    for (const QString& candidate : std::as_const(candidates)) {
        QString dir = QFileInfo(candidate).canonicalFilePath();
        if (dir.isEmpty())
            continue;
        // A partition has no flag of its own; its disk, the folder above, has.
        if (QFileInfo::exists(dir + QStringLiteral("/partition")))
            dir = QFileInfo(dir).path();
        if (readTrimmed(dir + QStringLiteral("/removable")) == "1")
            return true;
        // Built-in card readers report their cards as fixed.
        return QFileInfo(dir).fileName().startsWith(u"mmcblk") &&
               readTrimmed(dir + QStringLiteral("/device/type")) == "SD";
    }
    return false;
}

// One readiness check; shared with its worker thread, which may outlive the
// question (and the LinuxDrives) when the file system does not answer.
struct LinuxDrives::Check {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool ready = false;
};

struct LinuxDrives::Watch {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer settle;
    ~Watch() {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

LinuxDrives::LinuxDrives(std::chrono::milliseconds readyLimit, Probe probe)
    : readyLimit_(readyLimit), probe_(probe ? std::move(probe) : Probe(listsAnEntry)) {}

LinuxDrives::~LinuxDrives() = default;

void LinuxDrives::watchChanges(std::function<void()> changed) {
    watch_.reset();
    if (!changed)
        return;
    // The kernel marks the open mount table exceptional (POLLPRI) on every
    // mount and unmount; the mark is taken back by the poll that sees it.
    const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    watch_ = std::make_unique<Watch>();
    watch_->fd = fd;
    watch_->settle.setSingleShot(true);
    watch_->settle.setInterval(250);
    QObject::connect(&watch_->settle, &QTimer::timeout, std::move(changed));
    watch_->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Exception);
    QTimer* settle = &watch_->settle;
    QObject::connect(watch_->notifier.get(), &QSocketNotifier::activated, settle,
                     [settle] { settle->start(); });
}

QList<Place> LinuxDrives::places() {
    return parsePlaces(
        readAllOf(QStringLiteral("/proc/self/mountinfo")), readLabelLinks(),
        [](const QString& source, const QString& device) { return sysfsRemovable(source, device); },
        QDir::homePath());
}

// Listing the root of a dead network mount blocks in the kernel, and such a
// thread cannot be interrupted. So the probe runs on a detached thread and the
// caller waits for it at most `readyLimit_`; past that the place is "not
// ready" and the thread is left to finish on its own. While it still hangs,
// later questions about the same root answer "not ready" at once instead of
// piling up more stuck threads.
bool LinuxDrives::isReady(const QString& root) {
    auto check = std::make_shared<Check>();
    {
        std::lock_guard lock(mutex_);
        const auto it = pending_.constFind(root);
        if (it != pending_.constEnd()) {
            bool stillHangs;
            {
                const std::shared_ptr<Check>& earlier = *it;
                std::lock_guard checkLock(earlier->mutex);
                stillHangs = !earlier->done;
            }
            if (stillHangs)
                return false;
            pending_.erase(it);
        }
    }
    try {
        std::thread([check, probe = probe_, root] {
            const bool ready = probe(root);
            {
                std::lock_guard lock(check->mutex);
                check->ready = ready;
                check->done = true;
            }
            check->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    {
        std::unique_lock lock(check->mutex);
        if (check->finished.wait_for(lock, readyLimit_, [&] { return check->done; }))
            return check->ready;
    }
    std::lock_guard lock(mutex_);
    pending_.insert(root, check);
    return false;
}

bool LinuxDrives::listsAnEntry(const QString& root) {
    const QByteArray path = QFile::encodeName(root);
    struct statvfs vfs;
    if (path.isEmpty() || ::statvfs(path.constData(), &vfs) != 0)
        return false;
    DIR* dir = ::opendir(path.constData());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace kordel
