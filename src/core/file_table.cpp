#include "file_table.h"

#include <dirent.h>
#include <QCollator>
#include <QFile>
#include <QLocale>
#include <algorithm>

namespace kordel {

void FileTable::append(const QString& name) {
    fileNames[nextFree] = name;
    lastIndex = nextFree;
    ++nextFree;
    if (nextFree < kTableSlots)
        fileNames[nextFree] = QStringLiteral(" ");
}

bool matchesKindMask(const QString& name, const QString& mask) {
    const qsizetype dot = mask.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QString maskExt = mask.mid(dot + 1);
    const qsizetype nameDot = name.lastIndexOf(u'.');
    if (nameDot < 0)
        return false;
    const QString ext = name.mid(nameDot + 1);
    if (ext.compare(maskExt, Qt::CaseInsensitive) == 0)
        return true;
    return ext.size() > 3 && ext.left(3).compare(maskExt, Qt::CaseInsensitive) == 0;
}

void sortNamesForUser(QStringList& names) {
    QCollator collator(QLocale::system());
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
}

void sortNamesPlainly(QStringList& names) {
    // Code points with ASCII letters folded to upper case, as the old file systems
    // listed a folder; anything beyond ASCII keeps its own value.
    auto key = [](const QString& name) {
        QList<uint> k = name.toUcs4();
        for (uint& c : k)
            if (c >= 'a' && c <= 'z')
                c -= 'a' - 'A';
        return k;
    };
    QList<std::pair<QList<uint>, QString>> keyed;
    keyed.reserve(names.size());
    for (const QString& n : names)
        keyed.append({key(n), n});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (qsizetype i = 0; i < keyed.size(); ++i)
        names[i] = keyed[i].second;
}

QStringList listFolderMask(const QString& folder, const QString& mask) {
    // Names only: a rescan lists the folder once per kind, and a look-up of every
    // entry each time costs dearly on a large or remote folder.
    QStringList out;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return out;
    while (const dirent* entry = ::readdir(dir)) {
        const char* raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
            continue;
        const QString name = QFile::decodeName(raw);
        // A name that is not valid text in the file-name encoding (Shift-JIS
        // from an old disc, say) turns into other bytes on the way back and
        // names no file: it could be neither shown nor copied, moved or deleted.
        if (QFile::encodeName(name) != raw)
            continue;
        if (matchesKindMask(name, mask))
            out.append(name);
    }
    ::closedir(dir);
    // The directory's own order is arbitrary on this platform.
    sortNamesPlainly(out);
    return out;
}

int scanNamesIntoTable(FileTable& table,
                       QStringList names,
                       bool sort,
                       const std::function<void()>& onLimit) {
    if (!names.isEmpty())
        table.foundAny |= 1;
    int result = 0;
    // The limit counts across all masks of one rescan.
    const qsizetype room = qMax(0, (kMaxEntries - 1) - table.nextFree + 1);
    if (names.size() + table.nextFree > kMaxEntries - 1) {
        names = names.mid(0, room);
        if (onLimit)
            onLimit();
        result = -1;
    }
    if (sort)
        sortNamesForUser(names);
    for (const QString& name : names)
        table.append(name);
    return result;
}

}  // namespace kordel
