// Places from mount tables as the kernel writes them, removable flags from a
// sysfs tree, and the readiness check that must not hang on a dead mount.
#include <sys/mount.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <future>

#include "file_io.h"
#include "linux_drives.h"

using namespace kordel;

namespace {

// One mountinfo line; the mount point and source are written as the kernel writes them.
QByteArray line(int id,
                int parent,
                const char* device,
                const char* mountPoint,
                const char* type,
                const char* source) {
    return QByteArray::number(id) + ' ' + QByteArray::number(parent) + ' ' + device + " / " +
           mountPoint + " rw,relatime shared:1 - " + type + ' ' + source + " rw\n";
}

const QByteArray kRoot = line(26, 1, "8:2", "/", "ext4", "/dev/sda2");

// "root|tab|type|label" for each place; 8:17 and /dev/sdf2 are removable devices.
QStringList places(const QByteArray& mountInfo,
                   const QString& home = QStringLiteral("/home/kay"),
                   const QHash<QString, QString>& labels = {}) {
    const auto removable = [](const QString& source, const QString& device) {
        return source == u"/dev/sdf2" || device == u"8:17";
    };
    const char* const types[] = {"?", "none", "removable", "fixed", "remote", "cd", "ram"};
    QStringList out;
    for (const Place& p : parsePlaces(mountInfo, labels, removable, home))
        out << QStringList{p.root, p.tabText, types[int(p.type)], p.label}.join(u'|');
    return out;
}

QByteArray table(const char* name) {
    return test::readFile(QFINDTESTDATA(QStringLiteral("data/") + QLatin1String(name)));
}

}  // namespace

class TestLinuxDrives : public QObject {
    Q_OBJECT

private slots:
    void mountInfoFields() {
        // Escapes, optional fields, lines of the wrong shape and a last line without a line end.
        QStringList fields;
        for (const MountEntry& e : parseMountInfo(table("odd.mountinfo")))
            fields << QStringList{e.root, e.mountPoint, e.fsType, e.source}.join(u'|');
        // An escape that is no byte value, or is cut short, is kept as written.
        QCOMPARE(
            fields,
            QStringList({"/sub|/mnt/My Disk\tx\\y|ext3|/dev/disk a", "/|/mnt/plain|vfat|/dev/sdb1",
                         "/|/mnt/odd\\777\\04|ext4|/dev/sdc1", "/|/mnt/a/b|ext4|/dev/sde1"}));
    }

    void laptop() {
        // A laptop's /proc/self/mountinfo: kernel and service mounts, snaps, a container,
        // an AppImage, a USB stick, a CD, a card with a Japanese name, a NAS and a bind mount.
        const QByteArray text = table("laptop.mountinfo");
        // Link names in /dev/disk/by-label, escaped as udev escapes them.
        const QHash<QString, QString> labels{{"259:2", "root"},
                                             {"/dev/nvme0n1p1", "ESP\\x5c1\\xZZ\\x4"},
                                             {"/dev/sdb1", "USB\\x20STICK"},
                                             {"/dev/sr0", "Debian\\x2012\\x20amd64"},
                                             {"/dev/sdc1", "\\xe5\\x86\\x99\\xe7\\x9c\\x9f"}};
        QCOMPARE(places(text, "/home/kay/", labels),
                 QStringList({"/|/|fixed|root", "/home/kay|~|fixed|",
                              "/boot/efi|efi|fixed|ESP\\1\\xZZ\\x4", "/devel|devel|fixed|",
                              "/home|home|fixed|",
                              "/media/kay/Debian 12 amd64|Debian 12 amd64|cd|Debian 12 amd64",
                              "/media/kay/USB STICK|USB STICK|removable|USB STICK",
                              "/mnt/nas|nas|remote|", "/run/media/kay/写真|写真|removable|写真",
                              "/srv/old\\share|old\\share|fixed|", "/tmp|tmp|ram|"}));
    }

    void types() {
        // Removable by the device's flag (8:17, /dev/sdf2) or under /media as a whole folder
        // name; remote before /media; FUSE is remote for network subtypes and host sources.
        const QByteArray text =
            kRoot + line(30, 26, "0:44", "/data", "btrfs", "/dev/sdf2") +
            line(31, 26, "8:33", "/mediathek", "ext4", "/dev/sdc1") +
            line(32, 26, "11:1", "/mnt/dvd", "udf", "/dev/sr1") +
            line(33, 26, "0:51", "/media/share", "nfs", "server:/") +
            line(34, 26, "0:55", "/mnt/ssh", "fuse.sshfs", "kay@host:/home/kay") +
            line(35, 26, "0:58", "/mnt/far", "fuse.newfs", "host:/data") +
            line(36, 26, "0:59", "/mnt/vault", "fuse.gocryptfs", "/home/kay/.vault");
        QCOMPARE(
            places(text).mid(2),
            QStringList({"/data|data|removable|", "/media/share|share|remote|",
                         "/mediathek|mediathek|fixed|", "/mnt/dvd|dvd|cd|", "/mnt/far|far|remote|",
                         "/mnt/ssh|ssh|remote|", "/mnt/vault|vault|fixed|"}));
    }

    void stackedAndCoveredMounts() {
        // a: stacked the usual way, the later mount hangs on the earlier one; b: listed out
        // of order, the parent numbers still say which is on top; c: nothing tells, the later
        // line wins; d: a mount over the folder hides what was mounted below it (d/inner);
        // e: a triggered automount shows the real file system, f: an untriggered one nothing;
        // g and h: parents that point at each other must not hang the walk.
        QCOMPARE(
            places(table("stacked.mountinfo")).mid(2),
            QStringList({"/mnt/a|a|ram|", "/mnt/b|b|fixed|", "/mnt/c|c|fixed|", "/mnt/d|d|ram|",
                         "/mnt/e|e|fixed|", "/mnt/g|g|fixed|", "/mnt/h|h|fixed|"}));
    }

    void homeFolder() {
        // Home on a mount of its own is listed once, as "~".
        QCOMPARE(places(kRoot + line(30, 26, "8:3", "/home/kay", "ext4", "/dev/sdb1"), "/home/kay",
                        {{"/dev/sdb1", "KAY"}}),
                 QStringList({"/|/|fixed|", "/home/kay|~|fixed|KAY"}));
        // The deepest mount holds home, not one beside it with a similar name.
        QCOMPARE(places(kRoot + line(30, 26, "0:40", "/home", "tmpfs", "tmpfs") +
                        line(31, 30, "8:3", "/home/kayla", "ext4", "/dev/sdb1"))[1],
                 QStringLiteral("/home/kay|~|ram|"));
        // A home that would only repeat "/" or names no folder gives no "~" tab.
        for (const QString& home : {QStringLiteral("//"), QString(), QStringLiteral("kay")})
            QCOMPARE(places(kRoot, home), QStringList({"/|/|fixed|"}));
        // Whatever the system says, "/" and home are there.
        QCOMPARE(places({}, "/root"), QStringList({"/|/|fixed|", "/root|~|fixed|"}));
    }

    void readOnlyMounts() {
        // "ro" in the mount's options or the file system's; "rom" or "errors=remount-ro" are not.
        QByteArray text = kRoot;
        for (const char* options : {"ro,nosuid - iso9660 /dev/sr0 ro", "rw - vfat /dev/sdb1 ro",
                                    "rw - ext4 /dev/sdc1 rw,errors=remount-ro", "rw,rom - x y rw"})
            text += "4" + QByteArray::number(text.count('\n')) + " 26 8:1 / /mnt/m" +
                    QByteArray::number(text.count('\n')) + ' ' + options + '\n';
        QList<bool> readOnly;
        for (const Place& p : parsePlaces(text, {}, {}, {}))
            readOnly << p.readOnly;
        QCOMPARE(readOnly, QList<bool>({false, true, true, false, false}));
    }

    void placeOfPath() {
        // The list order must not matter: "/home" comes before "/home/kay" here.
        QList<Place> list;
        for (const char* root : {"/", "/media/u/USB2", "/home", "/home/kay", "/media/u/USB", ""})
            list.append(Place{QString::fromUtf8(root), {}, DriveType::Fixed, {}});
        QCOMPARE(placeOf(list, "/home/kay/pics/"), QStringLiteral("/home/kay"));
        QCOMPARE(placeOf(list, "/home/kayla/x"), QStringLiteral("/home"));
        QCOMPARE(placeOf(list, "/media/u/USB/../USB2/x"), QStringLiteral("/media/u/USB2"));
        QCOMPARE(placeOf(list, "/etc"), QStringLiteral("/"));
        QCOMPARE(placeOf(list, "home/kay"), QString());
    }

    void removableFromSysfs() {
        // A USB stick, an internal disk and a card in a built-in reader, which reports
        // itself fixed; a partition has no flag of its own.
        QTemporaryDir dir;
        const QString sys = dir.path();
        const QString usb = sys + "/devices/usb1/block/sdb";
        const QString sata = sys + "/devices/ata1/block/sda";
        const QString mmc = sys + "/devices/mmc0/block/mmcblk0";
        for (const QString& disk : {usb, sata, mmc})
            QVERIFY(test::writeFile(disk + "/removable", disk == usb ? "1\n" : "0\n"));
        QVERIFY(test::writeFile(mmc + "/device/type", "SD\n"));
        for (const QString& partition : {usb + "/sdb1", sata + "/sda1", mmc + "/mmcblk0p1"})
            QVERIFY(test::writeFile(partition + "/partition", "1\n"));
        QVERIFY(QDir().mkpath(sys + "/dev/block") && QDir().mkpath(sys + "/class/block"));
        QVERIFY(QFile::link(usb + "/sdb1", sys + "/dev/block/8:17"));
        QVERIFY(QFile::link(sata + "/sda1", sys + "/dev/block/8:1"));
        QVERIFY(QFile::link(mmc + "/mmcblk0p1", sys + "/dev/block/179:1"));
        QVERIFY(QFile::link(usb + "/sdb1", sys + "/class/block/sdb1"));
        QVERIFY(sysfsRemovable({}, "8:17", sys));
        QVERIFY(!sysfsRemovable({}, "8:1", sys));
        QVERIFY(sysfsRemovable({}, "179:1", sys));
        QVERIFY(sysfsRemovable("/dev/sdb1", "0:45", sys));  // by the name of the source
        QVERIFY(!sysfsRemovable("/dev/nothing9", "0:1", sys));
    }

    void readiness() {
        QTemporaryDir dir;
        const QString empty = dir.filePath("empty");
        QVERIFY(QDir().mkpath(empty));
        for (const QString& root : {empty, dir.filePath("missing")})
            QVERIFY2(!LinuxDrives().isReady(root), qPrintable(root));
        QVERIFY(test::writeFile(empty + "/.hidden", ""));  // hidden entries count
        QVERIFY(LinuxDrives().isReady(empty));
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
        // Asked again while the first check still hangs: no second stuck thread.
        QVERIFY(!drives.isReady("/net"));
        QCOMPARE(calls->load(), 1);
        // Other places are not held up.
        QVERIFY(drives.isReady("/data"));
        // Once the file system answers again, a new question gets a fresh check.
        gate->set_value();
        QTRY_VERIFY_WITH_TIMEOUT(drives.isReady("/net"), 5000);
    }

    // A volume mounted and unmounted while the program runs is told, once the
    // burst settles, and places() follows.
    void mountsAreTold() {
        QTemporaryDir at;
        const QByteArray where = QFile::encodeName(at.path());
        LinuxDrives drives;
        int told = 0;
        drives.watchChanges([&told] { ++told; });
        const auto listed = [&] {
            for (const Place& place : drives.places())
                if (place.root == at.path())
                    return true;
            return false;
        };
        if (::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("mounting a small tmpfs needs root");
        QTRY_VERIFY_WITH_TIMEOUT(told >= 1, 5000);
        QVERIFY(listed());
        told = 0;
        ::umount(where.constData());
        QTRY_VERIFY_WITH_TIMEOUT(told >= 1, 5000);
        QVERIFY(!listed());
    }

    void thisSystem() {
        const QList<Place> found = createLinuxServices().drives->places();
        const QString home = QDir::cleanPath(QDir::homePath());
        QCOMPARE(found.first().root + found.first().tabText, QStringLiteral("//"));
        if (home != u"/")
            QCOMPARE(placeOf(found, home + "/pictures"), home);
    }
};

QTEST_GUILESS_MAIN(TestLinuxDrives)
#include "test_linux_drives.moc"
