// The file table: the picture files of the folder on show, grouped by kind,
// and the scan that fills it one kind mask at a time.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace kordel {

// 2000 entries and the end marker after the last one.
constexpr int kTableSlots = 2001;
constexpr int kMaxEntries = 2000;

struct FileTable {
    std::array<QString, kTableSlots> fileNames;  // "" marks a vanished file, " " the end
    std::array<int, kTableSlots> thumbWidth{};
    std::array<int, kTableSlots> thumbHeight{};
    int lastIndex = 0;     // -1 after a scan that found nothing
    int currentIndex = 0;  // the entry on show
    int foundAny = 0;      // 1 when the last scan found a file
    int nextFree = 0;      // next free slot while scanning

    void reset() { foundAny = lastIndex = currentIndex = nextFree = 0; }
    // Appends a name and moves the end marker behind it.
    void append(const QString& name);
};

// Whether a name matches a kind mask such as "*.JPE": its extension equals the
// mask's, ignoring case; an extension longer than three characters also matches
// by its first three (as the short 8.3 alias of a name does), so "a.jpeg"
// matches "*.JPE".
bool matchesKindMask(const QString& name, const QString& mask);

// Sorts names case-insensitively by the user locale's collation.
void sortNamesForUser(QStringList& names);

// Sorts names by their code points, ignoring the case of ASCII letters only.
void sortNamesPlainly(QStringList& names);

// Lists the entries of a folder that match a mask, files and folders alike,
// hidden ones included, in plain name order (sortNamesPlainly).
QStringList listFolderMask(const QString& folder, const QString& mask);

// Appends the names of one mask to the table (sorted when `sort`). When the
// table would pass 1999 entries, `onLimit` is called once, the name that
// reached the limit is still stored and the scan answers -1; otherwise 0.
// Bit 0 of foundAny is set when the mask matched anything.
int scanNamesIntoTable(FileTable& table,
                       QStringList names,
                       bool sort,
                       const std::function<void()>& onLimit);

}  // namespace kordel
