#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <future>

#include "linux_drives.h"

using namespace kordel;

Q_DECLARE_METATYPE(kordel::DriveType)

namespace {

// One mountinfo line; the mount point and source are written as the kernel
// writes them (escapes included).
QByteArray line(int id,
                int parent,
                const char* device,
                const char* mountPoint,
                const char* type,
                const char* source,
                const char* root = "/") {
    return QByteArray::number(id) + ' ' + QByteArray::number(parent) + ' ' + device + ' ' + root +
           ' ' + mountPoint + " rw,relatime shared:1 - " + type + ' ' + source + " rw\n";
}

const QByteArray kRoot = line(26, 1, "8:2", "/", "ext4", "/dev/sda2");

QStringList roots(const QList<Place>& places) {
    QStringList r;
    for (const Place& p : places)
        r.append(p.root);
    return r;
}

const Place* find(const QList<Place>& places, const QString& root) {
    for (const Place& p : places) {
        if (p.root == root)
            return &p;
    }
    return nullptr;
}

QList<Place> parse(const QByteArray& text,
                   const QString& home = QStringLiteral("/home/kay"),
                   const QHash<QString, QString>& labels = {},
                   const QStringList& removable = {}) {
    return parsePlaces(
        text, labels,
        [removable](const QString& source, const QString& device) {
            return removable.contains(source) || removable.contains(device);
        },
        home);
}

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

void link(const QString& target, const QString& linkPath) {
    QDir().mkpath(QFileInfo(linkPath).path());
    QVERIFY(QFile::link(target, linkPath));
}

}  // namespace

class TestLinuxDrives : public QObject {
    Q_OBJECT

private slots:
    void mountInfoFields() {
        const QByteArray text =
            "36 35 98:0 /sub /mnt/My\\040Disk\\011x\\134y rw,noatime master:1 shared:7 - ext3 "
            "/dev/disk\\040a rw,errors=continue\n"
            "37 35 98:1 / /mnt/plain rw - vfat /dev/sdb1\n"  // no optional fields nor super options
            "38 35 98:2 / /mnt/odd\\777\\04 rw - ext4 /dev/sdc1 rw\n"
            "\n"
            "garbage\n"
            "39 35 98:3 / /mnt/no-separator rw ext4 /dev/sdd1 rw\n"
            "x 35 98:3 / /mnt/bad-id rw - ext4 /dev/sdd1 rw\n"
            "40 35 98:3 / relative rw - ext4 /dev/sdd1 rw\n"
            "41 35 98:3 / /mnt/no-source rw - ext4\n"
            "42 35 98:4 / /mnt/a//b/ rw - ext4 /dev/sde1 rw";  // last line without newline

        const QList<MountEntry> entries = parseMountInfo(text);
        QCOMPARE(entries.size(), 4);

        QCOMPARE(entries[0].id, 36);
        QCOMPARE(entries[0].parentId, 35);
        QCOMPARE(entries[0].device, QStringLiteral("98:0"));
        QCOMPARE(entries[0].root, QStringLiteral("/sub"));
        QCOMPARE(entries[0].mountPoint, QStringLiteral("/mnt/My Disk\tx\\y"));
        QCOMPARE(entries[0].fsType, QStringLiteral("ext3"));
        QCOMPARE(entries[0].source, QStringLiteral("/dev/disk a"));

        QCOMPARE(entries[1].mountPoint, QStringLiteral("/mnt/plain"));
        QCOMPARE(entries[1].source, QStringLiteral("/dev/sdb1"));
        // Not a byte value, or cut short: kept as written.
        QCOMPARE(entries[2].mountPoint, QStringLiteral("/mnt/odd\\777\\04"));
        QCOMPARE(entries[3].mountPoint, QStringLiteral("/mnt/a/b"));
    }

    void mountInfoUtf8Names() {
        const QByteArray text =
            line(30, 26, "8:17", "/media/kay/\xe5\x86\x99\xe7\x9c\x9f\\040Z", "vfat", "/dev/sdb1");
        const QList<Place> places = parse(kRoot + text);
        QCOMPARE(places.size(), 3);
        QCOMPARE(places[2].root, QStringLiteral("/media/kay/写真 Z"));
        QCOMPARE(places[2].tabText, QStringLiteral("写真 Z"));
    }

    void pseudoFileSystemsAreLeftOut() {
        const QByteArray text =
            line(21, 26, "0:20", "/proc", "proc", "proc") +
            line(22, 26, "0:21", "/sys", "sysfs", "sysfs") +
            line(23, 26, "0:6", "/dev", "devtmpfs", "udev") +
            line(24, 23, "0:22", "/dev/shm", "tmpfs", "tmpfs") + kRoot +
            line(27, 22, "0:27", "/sys/fs/cgroup", "cgroup2", "cgroup2") +
            line(28, 21, "0:45", "/proc/sys/fs/binfmt_misc", "autofs", "systemd-1") +
            line(29, 26, "0:25", "/run", "tmpfs", "tmpfs") +
            line(30, 29, "0:50", "/run/user/1000", "tmpfs", "tmpfs") +
            line(31, 30, "0:51", "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse") +
            line(32, 29, "8:33", "/run/media/kay/CARD", "exfat", "/dev/sdc1") +
            line(33, 29, "0:60", "/run/media", "tmpfs", "tmpfs") +
            line(34, 29, "0:4", "/run/docker/netns/abc", "nsfs", "nsfs") +
            line(35, 26, "7:1", "/snap/core22/1033", "squashfs", "/dev/loop1") +
            line(36, 26, "7:2", "/opt/image", "squashfs", "/dev/loop2") +
            line(37, 26, "0:70", "/var/lib/docker/overlay2/x/merged", "overlay", "overlay") +
            line(38, 26, "0:71", "/mnt/layer", "overlay", "overlay") +
            line(39, 26, "8:2", "/etc/hosts", "ext4", "/dev/sda2", "/var/lib/docker/hosts") +
            line(40, 26, "0:72", "/tmp", "tmpfs", "tmpfs") +
            line(41, 40, "0:73", "/tmp/.mount_AppXyz", "fuse.AppXyz", "AppXyz") +
            line(42, 26, "0:74", "/home/kay/.cache/doc", "fuse.portal", "portal") +
            line(43, 26, "8:3", "/boot/efi", "vfat", "/dev/sda1") +
            line(44, 26, "8:4", "/procedures", "ext4", "/dev/sda4") +
            line(45, 26, "8:5", "/devices", "ext4", "/dev/sda5") +
            line(46, 26, "0:75", "/sys-backup", "ext4", "/dev/sda6") +
            line(47, 26, "0:76", "/var/lib/lxcfs", "fuse.lxcfs", "lxcfs") +
            line(48, 26, "0:77", "/var/media", "ext4", "/dev/sda7") +
            line(49, 26, "0:78", "/proc/fs/nfsd", "nfsd", "nfsd") +
            line(50, 26, "0:79", "/sys/firmware/efi/efivars", "efivarfs", "efivarfs") +
            line(51, 26, "0:80", "/var/lib/nfs/rpc_pipefs", "rpc_pipefs", "sunrpc");

        QCOMPARE(
            roots(parse(text)),
            QStringList({"/", "/home/kay", "/boot/efi", "/devices", "/opt/image", "/procedures",
                         "/run/media/kay/CARD", "/sys-backup", "/tmp", "/var/media"}));
    }

    void types_data() {
        QTest::addColumn<QByteArray>("mountPoint");
        QTest::addColumn<QByteArray>("fsType");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<DriveType>("expected");

        const auto row = [](const char* name, const char* mp, const char* type, const char* source,
                            const char* device, DriveType expected) {
            QTest::newRow(name) << QByteArray(mp) << QByteArray(type) << QByteArray(source)
                                << QByteArray(device) << expected;
        };
        // The lookup answers "removable" for 8:16..8:17 and for /dev/sdf2.
        row("disk partition", "/data", "ext4", "/dev/sda3", "8:3", DriveType::Fixed);
        row("usb flag by number", "/data", "vfat", "/dev/sdb1", "8:17", DriveType::Removable);
        row("usb flag by source", "/data", "btrfs", "/dev/sdf2", "0:44", DriveType::Removable);
        row("desktop automount", "/media/kay/DISK", "ext4", "/dev/sdc1", "8:33",
            DriveType::Removable);
        row("desktop automount in /run", "/run/media/kay/DISK", "exfat", "/dev/sdc1", "8:33",
            DriveType::Removable);
        row("/media is a name, not a prefix", "/mediathek", "ext4", "/dev/sdc1", "8:33",
            DriveType::Fixed);
        row("cd", "/media/kay/CD", "iso9660", "/dev/sr0", "8:16", DriveType::CdRom);
        row("dvd", "/mnt/dvd", "udf", "/dev/sr1", "11:1", DriveType::CdRom);
        row("tmpfs", "/tmp", "tmpfs", "tmpfs", "0:30", DriveType::RamDisk);
        row("ramfs", "/mnt/ram", "ramfs", "none", "0:31", DriveType::RamDisk);
        row("nfs", "/mnt/nfs", "nfs", "server:/export", "0:50", DriveType::Remote);
        row("nfs4 under /media", "/media/share", "nfs4", "server:/", "0:51", DriveType::Remote);
        row("cifs", "/mnt/smb", "cifs", "//server/share", "0:52", DriveType::Remote);
        row("smb3", "/mnt/smb3", "smb3", "//server/share", "0:53", DriveType::Remote);
        row("9p", "/mnt/9p", "9p", "hostshare", "0:54", DriveType::Remote);
        row("sshfs", "/mnt/ssh", "fuse.sshfs", "kay@host:/home/kay", "0:55", DriveType::Remote);
        row("rclone", "/mnt/cloud", "fuse.rclone", "gdrive:", "0:56", DriveType::Remote);
        row("davfs", "/mnt/dav", "fuse", "https://dav.example/remote.php", "0:57",
            DriveType::Remote);
        row("unknown fuse with host", "/mnt/far", "fuse.newfs", "host:/data", "0:58",
            DriveType::Remote);
        row("ntfs through fuse", "/mnt/win", "fuseblk", "/dev/sda5", "8:5", DriveType::Fixed);
        row("local fuse", "/mnt/vault", "fuse.gocryptfs", "/home/kay/.vault", "0:59",
            DriveType::Fixed);
    }

    void types() {
        QFETCH(QByteArray, mountPoint);
        QFETCH(QByteArray, fsType);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, device);
        QFETCH(DriveType, expected);

        const QByteArray text = kRoot + line(30, 26, device.constData(), mountPoint.constData(),
                                             fsType.constData(), source.constData());
        const QList<Place> places =
            parse(text, QStringLiteral("/home/kay"), {}, {"8:16", "8:17", "/dev/sdf2"});
        const Place* p = find(places, QString::fromUtf8(mountPoint));
        QVERIFY(p);
        QCOMPARE(p->type, expected);
    }

    void stackedAndCoveredMounts() {
        const QByteArray text =
            kRoot +
            // Stacked the usual way: the later one hangs on the earlier one.
            line(30, 26, "8:17", "/mnt/a", "ext4", "/dev/sdb1") +
            line(31, 30, "0:40", "/mnt/a", "tmpfs", "tmpfs") +
            // Listed out of order: the parent numbers still say which is on top.
            line(41, 40, "8:18", "/mnt/b", "ext4", "/dev/sdb2") +
            line(40, 26, "0:41", "/mnt/b", "nfs", "srv:/b") +
            // Nothing tells: the later line wins.
            line(50, 26, "0:42", "/mnt/c", "nfs", "srv:/c") +
            line(51, 26, "8:19", "/mnt/c", "ext4", "/dev/sdb3") +
            // A mount over a folder above hides what was mounted below it.
            line(60, 26, "8:20", "/mnt/d", "ext4", "/dev/sdb4") +
            line(61, 60, "8:21", "/mnt/d/inner", "ext4", "/dev/sdb5") +
            line(62, 60, "0:43", "/mnt/d", "tmpfs", "tmpfs") +
            // A triggered automount shows the real file system, an untriggered one nothing.
            line(70, 26, "0:44", "/mnt/e", "autofs", "systemd-1") +
            line(71, 70, "8:22", "/mnt/e", "vfat", "/dev/sdb6") +
            line(72, 26, "0:45", "/mnt/f", "autofs", "systemd-1") +
            // Parents that point at each other must not hang the walk.
            line(80, 81, "8:23", "/mnt/g", "ext4", "/dev/sdb7") +
            line(81, 80, "8:24", "/mnt/h", "ext4", "/dev/sdb8");

        const QList<Place> places = parse(text);
        QCOMPARE(roots(places), QStringList({"/", "/home/kay", "/mnt/a", "/mnt/b", "/mnt/c",
                                             "/mnt/d", "/mnt/e", "/mnt/g", "/mnt/h"}));
        QCOMPARE(find(places, "/mnt/a")->type, DriveType::RamDisk);
        QCOMPARE(find(places, "/mnt/b")->type, DriveType::Fixed);
        QCOMPARE(find(places, "/mnt/c")->type, DriveType::Fixed);
        QCOMPARE(find(places, "/mnt/d")->type, DriveType::RamDisk);
        QCOMPARE(find(places, "/mnt/e")->type, DriveType::Fixed);
    }

    void orderAndTabTexts() {
        const QByteArray text = line(40, 26, "8:49", "/srv/b", "ext4", "/dev/sdd1") +
                                line(41, 26, "8:33", "/media/u/My\\040Disk", "vfat", "/dev/sdc1") +
                                line(42, 26, "8:3", "/home", "ext4", "/dev/sda3") +
                                line(43, 26, "8:1", "/boot/efi", "vfat", "/dev/sda1") + kRoot +
                                line(44, 26, "8:50", "/srv/a", "ext4", "/dev/sdd2");
        const QList<Place> places = parse(text, QStringLiteral("/home/kay/"));

        QCOMPARE(roots(places), QStringList({"/", "/home/kay", "/boot/efi", "/home",
                                             "/media/u/My Disk", "/srv/a", "/srv/b"}));
        QStringList tabs;
        for (const Place& p : places)
            tabs.append(p.tabText);
        QCOMPARE(tabs, QStringList({"/", "~", "efi", "home", "My Disk", "a", "b"}));
        QCOMPARE(places[0].type, DriveType::Fixed);
        QCOMPARE(places[1].type, DriveType::Fixed);
        QCOMPARE(places[4].type, DriveType::Removable);
    }

    void labels() {
        const QHash<QString, QString> links{
            {"/dev/sda2", "ROOT"},
            {"254:1", "My\\x20Photos"},  // a mapper device, found by number
            {"/dev/sdb1", "\\xe5\\x86\\x99\\xe7\\x9c\\x9f"},
            {"/dev/sdc1", "A\\x5cB\\xZZ\\x4"},
            {"/dev/sde1", "日記\\x2f2024"},
        };
        const QByteArray text = kRoot +
                                line(30, 26, "254:1", "/home", "ext4", "/dev/mapper/vg-home") +
                                line(31, 26, "8:17", "/mnt/pics", "ext4", "/dev/sdb1") +
                                line(32, 26, "8:33", "/mnt/odd", "ext4", "/dev/sdc1") +
                                line(33, 26, "8:49", "/mnt/none", "ext4", "/dev/sdd1") +
                                line(34, 26, "8:65", "/mnt/diary", "ext4", "/dev/sde1") +
                                line(35, 26, "0:40", "/tmp", "tmpfs", "tmpfs");
        const QList<Place> places = parse(text, QStringLiteral("/home/kay"), links);

        QCOMPARE(find(places, "/")->label, QStringLiteral("ROOT"));
        QCOMPARE(find(places, "/home/kay")->label, QStringLiteral("My Photos"));
        QCOMPARE(find(places, "/home")->label, QStringLiteral("My Photos"));
        QCOMPARE(find(places, "/mnt/pics")->label, QStringLiteral("写真"));
        QCOMPARE(find(places, "/mnt/odd")->label, QStringLiteral("A\\B\\xZZ\\x4"));
        QCOMPARE(find(places, "/mnt/none")->label, QString());
        QCOMPARE(find(places, "/mnt/diary")->label, QStringLiteral("日記/2024"));
        QCOMPARE(find(places, "/tmp")->label, QString());
    }

    void homeFolder() {
        // Home that is a mount point of its own is listed once, as "~".
        const QByteArray own = kRoot + line(30, 26, "8:17", "/home/kay", "ext4", "/dev/sdb1");
        QList<Place> places = parse(own, QStringLiteral("/home/kay"), {{"/dev/sdb1", "KAY"}});
        QCOMPARE(roots(places), QStringList({"/", "/home/kay"}));
        QCOMPARE(places[1].tabText, QStringLiteral("~"));
        QCOMPARE(places[1].label, QStringLiteral("KAY"));

        // The deepest mount holds home, not one beside it with a similar name.
        const QByteArray live = kRoot + line(30, 26, "0:40", "/home", "tmpfs", "tmpfs") +
                                line(31, 30, "8:17", "/home/kayla", "ext4", "/dev/sdb1");
        places = parse(live, QStringLiteral("/home/kay"));
        QCOMPARE(places[1].type, DriveType::RamDisk);

        // A home that would only repeat "/" or names no folder gives no "~" tab.
        for (const QString& home :
             {QStringLiteral("/"), QStringLiteral("//"), QString(), QStringLiteral("kay")})
            QCOMPARE(roots(parse(kRoot, home)), QStringList({"/"}));

        // Whatever the system says, "/" and home are there.
        places = parse(QByteArray(), QStringLiteral("/root"));
        QCOMPARE(roots(places), QStringList({"/", "/root"}));
        QCOMPARE(places[0].type, DriveType::Fixed);
        QCOMPARE(places[1].type, DriveType::Fixed);

        // Inside a container the root is an overlay; it is still the root file system.
        places = parse(line(500, 400, "0:60", "/", "overlay", "overlay") +
                           line(501, 500, "0:61", "/mnt/up", "overlay", "overlay"),
                       QStringLiteral("/root"));
        QCOMPARE(roots(places), QStringList({"/", "/root"}));
        QCOMPARE(places[0].type, DriveType::Fixed);
    }

    void placeOfPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("in home") << "/home/kay/pics/"
                                 << "/home/kay";
        QTest::newRow("home itself") << "/home/kay"
                                     << "/home/kay";
        QTest::newRow("similar name") << "/home/kayla/x"
                                      << "/home";
        QTest::newRow("longer of two roots") << "/media/u/USB2/a"
                                             << "/media/u/USB2";
        QTest::newRow("shorter of two roots") << "/media/u/USB/"
                                              << "/media/u/USB";
        QTest::newRow("dot-dot") << "/media/u/USB/../USB2/x"
                                 << "/media/u/USB2";
        QTest::newRow("elsewhere") << "/etc"
                                   << "/";
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("relative") << "home/kay"
                                  << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void placeOfPath() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        // The list order must not matter: "/home" comes before "/home/kay" here.
        QList<Place> places;
        for (const char* root : {"/", "/media/u/USB2", "/home", "/home/kay", "/media/u/USB", ""}) {
            Place p;
            p.root = QString::fromUtf8(root);
            places.append(p);
        }
        QCOMPARE(placeOf(places, path), expected);
        places.removeFirst();
        QCOMPARE(placeOf(places, QStringLiteral("/etc")), QString());
    }

    void labelLinksFromFolder() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        writeFile(dir.filePath("disks/sdb1"), "");
        link("../disks/sdb1", dir.filePath("by-label/My\\x20Disk"));
        link("../disks/gone", dir.filePath("by-label/Broken"));

        const QHash<QString, QString> links = readLabelLinks(dir.filePath("by-label"));
        const QString device = QFileInfo(dir.filePath("disks/sdb1")).canonicalFilePath();
        QCOMPARE(links, (QHash<QString, QString>{{device, "My\\x20Disk"}}));

        const QByteArray text = kRoot + line(30, 26, "8:17", "/mnt/disk", "ext4",
                                             QFile::encodeName(device).constData());
        QCOMPARE(find(parse(text, {}, links), "/mnt/disk")->label, QStringLiteral("My Disk"));
        QVERIFY(readLabelLinks(dir.filePath("missing")).isEmpty());
    }

    void removableFromSysfs_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("expected");
        QTest::newRow("usb partition") << ""
                                       << "8:17" << true;
        QTest::newRow("usb disk") << ""
                                  << "8:16" << true;
        QTest::newRow("internal partition") << ""
                                            << "8:1" << false;
        QTest::newRow("sd card partition") << ""
                                           << "179:1" << true;
        QTest::newRow("emmc") << ""
                              << "179:256" << false;
        QTest::newRow("by source name") << "/dev/sdb1"
                                        << "0:45" << true;
        QTest::newRow("unknown device") << "/dev/nothing9"
                                        << "0:1" << false;
        QTest::newRow("not a device") << "tmpfs"
                                      << "0:22" << false;
    }

    void removableFromSysfs() {
        QFETCH(QString, source);
        QFETCH(QString, device);
        QFETCH(bool, expected);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString sys = dir.path();
        const QString usb = sys + "/devices/usb1/block/sdb";
        const QString sata = sys + "/devices/ata1/block/sda";
        const QString mmc = sys + "/devices/mmc0/block/mmcblk0";
        const QString emmc = sys + "/devices/mmc1/block/mmcblk1";
        writeFile(usb + "/removable", "1\n");
        writeFile(usb + "/sdb1/partition", "1\n");
        writeFile(sata + "/removable", "0\n");
        writeFile(sata + "/sda1/partition", "1\n");
        writeFile(mmc + "/removable", "0\n");
        writeFile(mmc + "/device/type", "SD\n");
        writeFile(mmc + "/mmcblk0p1/partition", "1\n");
        writeFile(emmc + "/removable", "0\n");
        writeFile(emmc + "/device/type", "MMC\n");
        link(usb + "/sdb1", sys + "/dev/block/8:17");
        link(usb, sys + "/dev/block/8:16");
        link(sata + "/sda1", sys + "/dev/block/8:1");
        link(mmc + "/mmcblk0p1", sys + "/dev/block/179:1");
        link(emmc, sys + "/dev/block/179:256");
        link(usb + "/sdb1", sys + "/class/block/sdb1");

        QCOMPARE(sysfsRemovable(source, device, sys), expected);
    }

    void listingProbe() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString empty = dir.filePath("empty");
        QVERIFY(QDir().mkpath(empty));
        QVERIFY(!LinuxDrives::listsAnEntry(empty));
        QVERIFY(!LinuxDrives::listsAnEntry(dir.filePath("missing")));
        QVERIFY(!LinuxDrives::listsAnEntry(QString()));
        writeFile(dir.filePath("file"), "x");
        QVERIFY(!LinuxDrives::listsAnEntry(dir.filePath("file")));
        // Hidden entries count: the folder is not empty.
        writeFile(empty + "/.hidden", "");
        QVERIFY(LinuxDrives::listsAnEntry(empty));

        LinuxDrives drives;
        QVERIFY(drives.isReady(empty));
        QVERIFY(!drives.isReady(dir.filePath("missing")));
    }

    void probeThatHangs() {
        // A root whose listing never answers until released, as a dead network mount.
        auto gate = std::make_shared<std::promise<void>>();
        std::shared_future<void> opened = gate->get_future().share();
        auto calls = std::make_shared<std::atomic<int>>(0);
        LinuxDrives drives(std::chrono::milliseconds(1000), [opened, calls](const QString& root) {
            if (root == u"/net") {
                ++*calls;
                opened.wait();
            }
            return true;
        });

        QVERIFY(!drives.isReady("/net"));
        QCOMPARE(calls->load(), 1);
        // Asked again while the first check still hangs: no second stuck thread.
        QVERIFY(!drives.isReady("/net"));
        QCOMPARE(calls->load(), 1);
        // Other places are not held up.
        QVERIFY(drives.isReady("/data"));

        // Once the file system answers again, a new question gets a fresh check.
        gate->set_value();
        bool ready = false;
        for (int i = 0; i < 500 && !ready; ++i) {
            ready = drives.isReady("/net");
            if (!ready)
                QTest::qWait(10);
        }
        QVERIFY(ready);
        QCOMPARE(calls->load(), 2);
    }

    void thisSystem() {
        const QString home = QDir::cleanPath(QDir::homePath());
        const QList<Place> places = createLinuxServices().drives->places();
        QVERIFY(!places.isEmpty());
        QCOMPARE(places[0].root, QStringLiteral("/"));
        QCOMPARE(places[0].tabText, QStringLiteral("/"));
        if (home != u"/") {
            QVERIFY(places.size() >= 2);
            QCOMPARE(places[1].root, home);
            QCOMPARE(places[1].tabText, QStringLiteral("~"));
            QCOMPARE(placeOf(places, home + "/pictures"), home);
        }
        const QList<DriveType> sound{DriveType::Removable, DriveType::Fixed, DriveType::Remote,
                                     DriveType::CdRom, DriveType::RamDisk};
        QSet<QString> seen;
        for (const Place& p : places) {
            QVERIFY2(sound.contains(p.type), qPrintable(p.root));
            QVERIFY2(!p.tabText.isEmpty(), qPrintable(p.root));
            QVERIFY2(!seen.contains(p.root), qPrintable(p.root));
            seen.insert(p.root);
        }
        QVERIFY(LinuxDrives().isReady(QStringLiteral("/")));
    }
};

QTEST_GUILESS_MAIN(TestLinuxDrives)
#include "test_linux_drives.moc"
