#include "linux_shell.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProgressDialog>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace kordel {

namespace {

constexpr size_t kChunk = 8 << 20;  // bytes per step, between two looks at the cancel flag

QString title(bool move) {
    return move ? QStringLiteral("ファイルの移動") : QStringLiteral("ファイルのコピー");
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool statOf(const QString& path, struct stat& st) {
    return ::stat(native(path).constData(), &st) == 0;
}

QString describe(const struct stat& st) {
    const QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).toLocalTime();
    return QStringLiteral("%1 バイト  %2")
        .arg(QLocale(QLocale::Japanese).toString(qint64(st.st_size)),
             modified.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss")));
}

// The copy itself, on a worker thread: the user-interface thread keeps painting
// and reads `done` for the progress window; `cancel` is looked at between steps.
struct Transfer {
    int in = -1, out = -1;
    std::atomic<qint64> done{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> finished{false};
    int error = 0;  // errno of the failure, ECANCELED when cancelled

    void run() {
        // File systems that share blocks between files (btrfs, XFS) copy at once.
        if (::ioctl(out, FICLONE, in) == 0) {
            if (::fsync(out) != 0)
                error = errno;
            return;
        }
        bool kernelCopy = true;
        std::vector<char> buffer;
        for (;;) {
            if (cancel) {
                error = ECANCELED;
                return;
            }
            ssize_t n = 0;
            if (kernelCopy) {
                n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
                // File systems (and kernels) that cannot copy between these two
                // files are served by reading and writing.
                if (n < 0 &&
                    (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                    kernelCopy = false;
                    continue;
                }
            } else {
                if (buffer.empty())
                    buffer.resize(1 << 20);
                n = ::read(in, buffer.data(), buffer.size());
                for (ssize_t written = 0; n > 0 && written < n;) {
                    const ssize_t w = ::write(out, buffer.data() + written, size_t(n - written));
                    if (w < 0 && errno == EINTR)
                        continue;
                    if (w <= 0) {
                        error = w < 0 ? errno : ENOSPC;
                        return;
                    }
                    written += w;
                }
            }
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                error = errno;
                return;
            }
            if (n == 0)
                break;
            done += n;
        }
        if (::fsync(out) != 0)
            error = errno;
    }
};

// Puts the finished temporary file at `to`; without `replace` an existing file
// there is never replaced, also one that appeared while the copy ran.
int renameInto(const QByteArray& from, const QByteArray& to, bool replace) {
    if (replace)
        return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the exclusive rename: a hard link fails on an existing name.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

// Which mounted file system a path lies on: the mount's id where the kernel
// tells it (a bind mount is a place of its own), else the device.
quint64 mountOf(const QString& path) {
    struct statx sx;
    if (::statx(AT_FDCWD, native(path).constData(), 0, STATX_MNT_ID, &sx) == 0)
        return (sx.stx_mask & STATX_MNT_ID) ? sx.stx_mnt_id
                                            : (quint64(sx.stx_dev_major) << 32) | sx.stx_dev_minor;
    return ~quint64(0);
}

// A folder of the trash made (or found) as the trash wants it: a real folder,
// not a link, of this user.
bool trashFolder(const QString& path) {
    ::mkdir(native(path).constData(), 0700);
    struct stat st;
    return ::lstat(native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid();
}

// The freedesktop trash for a file: the one in the data folder when the file
// lies on the same file system, else the one at the top of the file's own.
QString trashFor(const QString& folder) {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // A new account may not have its data folder yet.
    QDir().mkpath(data);
    const quint64 mount = mountOf(folder);
    if (mountOf(data) == mount)
        return data + QStringLiteral("/Trash");
    QString top = folder;
    for (QString up = QFileInfo(top).path(); up != top && mountOf(up) == mount;
         up = QFileInfo(top).path())
        top = up;
    const QString uid = QString::number(::getuid());
    struct stat st;
    const QString shared = QDir(top).filePath(QStringLiteral(".Trash"));
    if (::lstat(native(shared).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
        (st.st_mode & S_ISVTX))
        return shared + u'/' + uid;
    return QDir(top).filePath(QStringLiteral(".Trash-") + uid);
}

void syncFolder(const QString& folder) {
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

QString systemErrorText(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("ディスクの空き領域が足りません。");
        case EACCES:
        case EPERM:
            return QStringLiteral("アクセスが拒否されました。");
        case ENOENT:
            return QStringLiteral("ファイルまたはフォルダが見つかりません。");
        case EROFS:
            return QStringLiteral("読み取り専用の場所には書き込めません。");
        case EIO:
            return QStringLiteral("ディスクの読み書きでエラーが起きました。");
        case ENAMETOOLONG:
            return QStringLiteral("パスまたはファイル名が長すぎます。");
        case EFBIG:
            return QStringLiteral("この場所には大きすぎるファイルです。");
        case EBUSY:
        case ETXTBSY:
            return QStringLiteral("ファイルは使用中です。");
        case EEXIST:
            return QStringLiteral("同じ名前のファイルが既にあります。");
        case EISDIR:
            return QStringLiteral("同じ名前のフォルダがあります。");
        default:
            return QString::fromLocal8Bit(std::strerror(error));
    }
}

struct LinuxShell::Plan {
    QString source, destination;
    struct stat sourceStat {};
    bool replace = false;  // the user agreed to replace the destination
};

void LinuxShell::fail(QWidget* parent, Op op, const QString& text) {
    dialogs_.message(parent, Dialogs::Icon::Error, title(op == Op::Move), text);
}

bool LinuxShell::prepare(QWidget* parent,
                         Op op,
                         const QString& source,
                         const QString& destination,
                         Plan& plan) {
    const bool move = op == Op::Move;
    plan.source = QFileInfo(source).absoluteFilePath();
    plan.destination = QFileInfo(destination).absoluteFilePath();
    const QString cannot = move ? QStringLiteral("「%1」を移動できません。\n%2")
                                : QStringLiteral("「%1」をコピーできません。\n%2");
    if (!statOf(plan.source, plan.sourceStat)) {
        fail(parent, op, cannot.arg(plan.source, systemErrorText(errno)));
        return false;
    }
    if (!S_ISREG(plan.sourceStat.st_mode)) {
        fail(parent, op, cannot.arg(plan.source, QStringLiteral("ファイルではありません。")));
        return false;
    }
    // A move must take the file out of its folder: from a read-only medium it
    // would only leave a copy behind, after all the copying.
    if (move && ::access(native(QFileInfo(plan.source).absolutePath()).constData(), W_OK) != 0) {
        fail(parent, op, cannot.arg(plan.source, systemErrorText(errno)));
        return false;
    }
    struct stat target;
    if (statOf(plan.destination, target) && S_ISDIR(target.st_mode)) {
        // A folder as destination takes the file under its own name.
        plan.destination = QDir(plan.destination).filePath(QFileInfo(plan.source).fileName());
    }
    const QString folder = QFileInfo(plan.destination).path();
    struct stat folderStat;
    const int folderError = !statOf(folder, folderStat)   ? errno
                            : S_ISDIR(folderStat.st_mode) ? 0
                                                          : ENOTDIR;
    if (folderError != 0) {
        // The destination is what is missing, not the picture.
        fail(parent, op,
             cannot.arg(plan.source, (move ? QStringLiteral("移動先のフォルダ「%1」: %2")
                                           : QStringLiteral("コピー先のフォルダ「%1」: %2"))
                                         .arg(folder, systemErrorText(folderError))));
        return false;
    }
    if (!statOf(plan.destination, target))
        return true;
    if (target.st_dev == plan.sourceStat.st_dev && target.st_ino == plan.sourceStat.st_ino) {
        fail(parent, op,
             (move ? QStringLiteral("移動元と移動先が同じファイルです。\n%1")
                   : QStringLiteral("コピー元とコピー先が同じファイルです。\n%1"))
                 .arg(plan.destination));
        return false;
    }
    if (S_ISDIR(target.st_mode)) {
        fail(parent, op, cannot.arg(plan.source, systemErrorText(EISDIR)));
        return false;
    }
    const QString question =
        QStringLiteral(
            "このフォルダには「%1」という名前のファイルが既にあります。\n%2\n\n"
            "既存のファイル:  %3\n新しいファイル:  %4\n\n既存のファイルを置き換えますか?")
            .arg(QFileInfo(plan.destination).fileName(), folder, describe(target),
                 describe(plan.sourceStat));
    if (!dialogs_.confirm(parent, QStringLiteral("ファイルの上書きの確認"), question))
        return false;
    plan.replace = true;
    return true;
}

bool LinuxShell::copyContents(QWidget* parent, Op op, const Plan& plan) {
    const bool move = op == Op::Move;
    const QString folder = QFileInfo(plan.destination).path();
    const QString cannot = move ? QStringLiteral("「%1」を移動できませんでした。\n%2")
                                : QStringLiteral("「%1」をコピーできませんでした。\n%2");
    Transfer t;
    t.in = ::open(native(plan.source).constData(), O_RDONLY | O_CLOEXEC);
    if (t.in < 0) {
        fail(parent, op, cannot.arg(plan.source, systemErrorText(errno)));
        return false;
    }
    QByteArray temporary = native(QDir(folder).filePath(QStringLiteral(".kordel-XXXXXX")));
    t.out = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (t.out < 0) {
        const int error = errno;
        ::close(t.in);
        fail(parent, op, cannot.arg(plan.source, systemErrorText(error)));
        return false;
    }

    const qint64 total = plan.sourceStat.st_size;
    QProgressDialog progress((move ? QStringLiteral("「%1」を\n「%2」へ移動しています...")
                                   : QStringLiteral("「%1」を\n「%2」へコピーしています..."))
                                 .arg(QFileInfo(plan.source).fileName(), folder),
                             QStringLiteral("キャンセル"), 0, 1000, parent);
    progress.setWindowTitle(title(move));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(500);  // shows itself when the work runs that long
    QObject::connect(&progress, &QProgressDialog::canceled, [&t] { t.cancel = true; });
    QTimer tick;
    bool syncing = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (total > 0)
            progress.setValue(int(qMin<qint64>(1000, t.done * 1000 / total)));
        // At the end the copy waits for the disk; say so rather than stand at 100%.
        if (t.done >= total && !syncing) {
            syncing = true;
            progress.setLabelText(QStringLiteral("「%1」をディスクに書き込んでいます...")
                                      .arg(QFileInfo(plan.destination).fileName()));
        }
    });
    tick.start(100);

    std::thread worker([&t] {
        t.run();
        t.finished = true;
        // Wakes the waiting loop below.
        QMetaObject::invokeMethod(
            qApp, [] {}, Qt::QueuedConnection);
    });
    while (!t.finished) {
        // Until the progress window is up, clicks and keys wait for later
        // instead of starting other work in the middle of this one.
        QCoreApplication::processEvents(progress.isVisible()
                                            ? QEventLoop::WaitForMoreEvents
                                            : QEventLoop::WaitForMoreEvents |
                                                  QEventLoop::ExcludeUserInputEvents);
    }
    worker.join();
    tick.stop();
    progress.hide();

    int error = t.cancel ? ECANCELED : t.error;
    if (error == 0) {
        ::fchmod(t.out, plan.sourceStat.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID));
        const struct timespec times[2] = {plan.sourceStat.st_atim, plan.sourceStat.st_mtim};
        ::futimens(t.out, times);
    }
    ::close(t.in);
    if (::close(t.out) != 0 && error == 0)
        error = errno;
    if (error == 0)
        error = renameInto(temporary, native(plan.destination), plan.replace);
    if (error != 0) {
        ::unlink(temporary.constData());
        if (error != ECANCELED)
            fail(parent, op, cannot.arg(plan.source, systemErrorText(error)));
        return false;
    }
    syncFolder(folder);
    return true;
}

bool LinuxShell::copyFile(QWidget* parent, const QString& source, const QString& destination) {
    Plan plan;
    return prepare(parent, Op::Copy, source, destination, plan) &&
           copyContents(parent, Op::Copy, plan);
}

bool LinuxShell::moveFile(QWidget* parent, const QString& source, const QString& destination) {
    Plan plan;
    if (!prepare(parent, Op::Move, source, destination, plan))
        return false;
    const QByteArray from = native(plan.source), to = native(plan.destination);
    const int error = renameInto(from, to, plan.replace);
    if (error == 0) {
        syncFolder(QFileInfo(plan.destination).path());
        return true;
    }
    if (error != EXDEV) {
        fail(parent, Op::Move,
             QStringLiteral("「%1」を移動できませんでした。\n%2")
                 .arg(plan.source, systemErrorText(error)));
        return false;
    }
    // Another file system: the source goes only once its copy is complete.
    if (!copyContents(parent, Op::Move, plan))
        return false;
    if (::unlink(from.constData()) != 0) {
        fail(parent, Op::Move,
             QStringLiteral(
                 "「%1」へコピーしましたが、元のファイル「%2」を削除できませんでした。\n%3")
                 .arg(plan.destination, plan.source, systemErrorText(errno)));
        return false;
    }
    return true;
}

bool LinuxShell::moveToTrash(const QString& path, QString& why) {
    const QFileInfo source(path);
    const QString folder =
        source.canonicalPath().isEmpty() ? source.absolutePath() : source.canonicalPath();
    const QString trash = trashFor(folder);
    if (!trashFolder(trash) || !trashFolder(trash + QStringLiteral("/files")) ||
        !trashFolder(trash + QStringLiteral("/info"))) {
        why = QStringLiteral("ごみ箱のフォルダ「%1」を使えません。").arg(trash);
        return false;
    }
    // The information file names the original place in URL escapes, as the
    // file managers read it back on a restore.
    const QByteArray text =
        "[Trash Info]\nPath=" + native(source.absoluteFilePath()).toPercentEncoding("/") +
        "\nDeletionDate=" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
        "\n";
    // A name of its own in the trash, claimed by creating its information file.
    for (int n = 1; n <= 1000; ++n) {
        const QString name =
            n == 1 ? source.fileName() : QStringLiteral("%1.%2").arg(source.fileName()).arg(n);
        const QByteArray info = native(trash + QStringLiteral("/info/") + name + ".trashinfo");
        const int fd = ::open(info.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            why = systemErrorText(errno);
            return false;
        }
        const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
        int error = ::close(fd) == 0 && written ? 0 : EIO;
        if (error == 0)
            error =
                renameInto(native(path), native(trash + QStringLiteral("/files/") + name), false);
        if (error == 0)
            return true;
        ::unlink(info.constData());
        if (error != EEXIST) {
            why = systemErrorText(error);
            return false;
        }
    }
    why = systemErrorText(EEXIST);
    return false;
}

bool LinuxShell::deleteFile(QWidget* parent, const QString& path) {
    const QString title = QStringLiteral("ファイルの削除");
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        dialogs_.message(
            parent, Dialogs::Icon::Error, title,
            QStringLiteral("「%1」を削除できません。\n%2").arg(path, systemErrorText(ENOENT)));
        return false;
    }
    if (info.isDir()) {
        dialogs_.message(parent, Dialogs::Icon::Error, title,
                         QStringLiteral("「%1」はフォルダです。削除できません。").arg(path));
        return false;
    }
    // From a folder that cannot be written to (a read-only medium, say) a file
    // can go neither to the trash nor for good: say why, and ask nothing.
    if (::access(native(info.absolutePath()).constData(), W_OK) != 0) {
        dialogs_.message(
            parent, Dialogs::Icon::Error, title,
            QStringLiteral("「%1」を削除できません。\n%2").arg(path, systemErrorText(errno)));
        return false;
    }
    if (!dialogs_.confirm(parent, title,
                          QStringLiteral("「%1」をごみ箱に移動しますか?").arg(info.fileName())))
        return false;
    QString why;
    if (moveToTrash(path, why))
        return true;
    // Network shares and volumes without a usable trash folder: deleting for
    // good needs its own, explicit answer, with No as the default.
    if (!dialogs_.confirm(parent, title,
                          QStringLiteral("「%1」はごみ箱に移動できません。\n%2\n\n"
                                         "完全に削除しますか? 削除したファイルは元に戻せません。")
                              .arg(path, why),
                          false))
        return false;
    QFile file(path);
    if (file.remove())
        return true;
    dialogs_.message(
        parent, Dialogs::Icon::Error, title,
        QStringLiteral("「%1」を削除できませんでした。\n%2").arg(path, file.errorString()));
    return false;
}

bool LinuxShell::openWithDefault(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace kordel
