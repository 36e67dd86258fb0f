// LZH archives as folders: listing the members of one kind, and extracting a
// member into the private temporary folder to show or use it.
#include <QApplication>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "main.h"
#include "unlha_binding.h"

namespace kordel {

namespace {

// What the file table keeps of a member: its base name. The library writes the
// same base name when it extracts the member.
QString memberBaseName(const QString& stored) {
    qsizetype cut = -1;
    for (qsizetype i = 0; i < stored.size(); ++i)
        if (stored[i] == u'/' || stored[i] == u'\\' || stored[i] == u':')
            cut = i;
    return stored.mid(cut + 1);
}

}  // namespace

QString TForm1::selectedArchivePath() const {
    const QTreeWidgetItem* node = TreeView->currentItem();
    if (!isArchiveNode(node))
        return {};
    return JoinPath(NodePath(node), node->text(0));
}

int TForm1::ScanArchiveMask(const QString& archivePath, const QString& mask) {
    QStringList names;
    bool limit = false;
    ctx_.archive->forEachMember(archivePath, mask, [&](const ArchiveMember& member) {
        foundAny |= 1;
        names.append(memberBaseName(member.name));
        if (names.size() + nextFree > kMaxEntries - 1) {
            limit = true;
            return false;
        }
        return true;
    });
    int result = 0;
    if (limit) {
        ctx_.services->dialogs->message(
            this, Dialogs::Icon::Warning, QStringLiteral("Kordel"),
            QStringLiteral("画像ﾌｧｲﾙが2000以上あります。2001ﾌｧｲﾙ以降は表示できません。"));
        result = -1;
    }
    if (SortOpt == 1)
        sortNamesForUser(names);
    for (const QString& name : names)
        append(name);
    return result;
}

bool TForm1::ExtractMember(int index) {
    const QString archive = selectedArchivePath();
    if (archive.isEmpty() || tempFolder.isEmpty())
        return false;
    ctx_.archive->setCursorMode(true);
    const bool done = ctx_.archive->extract(archive, tempFolder, fileNames[index], false);
    while (ctx_.archive->isRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done;
}

void TForm1::ExtractAndShowMember(int index) {
    const QString copy = tempFolder + fileNames[index];
    // The copy goes whatever happens to the load.
    struct Remove {
        QString path;
        ~Remove() {
            if (!path.isEmpty())
                QFile::remove(path);
        }
    } remove{tempFolder.isEmpty() ? QString() : copy};
    if (fileNames[index].isEmpty()) {
        ShowPicture(QString(), currentIndex, lastIndex, 1);
        return;
    }
    ExtractMember(index);
    ShowPicture(copy, currentIndex, lastIndex, 1);
    setWindowTitle(QStringLiteral("Kordel [") + selectedArchivePath() + u'/' + fileNames[index] +
                   u']');
}

void TForm1::openEntryWithDefault(const QString& name) {
    // A member is no file of the folder: a file of the same name beside the
    // archive must not open in its place.
    if (isArchiveSelected())
        openMemberWithDefault(name);
    else
        ctx_.services->shell->openWithDefault(currentFolder() + name);
}

void TForm1::openMemberWithDefault(const QString& name) {
    // The library is not called while the thumbnail loader uses it.
    const QString archive = selectedArchivePath();
    if (archive.isEmpty() || tempFolder.isEmpty() || loaderRunning == 1)
        return;
    // A folder of its own: the viewer's copies come and go under the same names
    // in the temporary folder, which takes this one along when the program ends.
    QTemporaryDir folder(tempFolder + QStringLiteral("open-XXXXXX"));
    folder.setAutoRemove(false);
    ctx_.archive->setCursorMode(true);
    if (!folder.isValid() || !ctx_.archive->extract(archive, folder.path(), name, false)) {
        folder.remove();
        ctx_.services->dialogs->message(this, Dialogs::Icon::Error, QStringLiteral("Kordel"),
                                        QStringLiteral("書庫が異常です"));
        return;
    }
    ctx_.services->shell->openWithDefault(folder.filePath(name));
}

QHash<QString, TForm1::MemberDetails> TForm1::memberDetailsByName() {
    // One pass over the archive; the first member of a base name wins, as a
    // lookup by name finds it.
    QHash<QString, MemberDetails> details;
    ctx_.archive->forEachMember(
        selectedArchivePath(), QStringLiteral("*"), [&details](const ArchiveMember& member) {
            const QString name = memberBaseName(member.name);
            if (!details.contains(name))
                details.insert(name, {member.size, member.dosDate, member.dosTime});
            return true;
        });
    return details;
}

bool TForm1::checkSelectedArchive() {
    const QString archive = selectedArchivePath();
    if (!ctx_.archive->check(archive))
        return false;
    // That checked the headers. Comparing the members' CRCs means decompressing
    // them all, which this user-interface thread does only while the members
    // are small; in a larger archive a damaged member shows when its
    // extraction fails.
    constexpr quint64 kCrcCheckBytes = 8 << 20;
    quint64 total = 0;
    ctx_.archive->forEachMember(archive, QStringLiteral("*"), [&total](const ArchiveMember& m) {
        total += m.size;
        return total <= kCrcCheckBytes;
    });
    return total > kCrcCheckBytes || ctx_.archive->table().UnlhaCheckArchive(
                                         archive.toUtf8().constData(), UNLHA_CHECK_FULLCRC) != 0;
}

}  // namespace kordel
