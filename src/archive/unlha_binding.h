// Run-time binding to the LZH archive library "libunlha32.so".
//
// The library is optional: without it the program simply shows no archives.
// Every entry of the table therefore always holds something callable. Until
// the library is bound, and for entries the library does not export, that is
// a stand-by routine which shows the box "PANIC!!" naming the entry and
// answers 0 (null for a handle).
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "unlha32.h"

namespace kordel {

class Dialogs;

// The library's entry points, in the order of its table.
#define KORDEL_UNLHA_ENTRIES(X)  \
    X(UnlhaGetVersion)           \
    X(UnlhaGetSubVersion)        \
    X(UnlhaGetRunning)           \
    X(UnlhaGetBackGroundMode)    \
    X(UnlhaSetBackGroundMode)    \
    X(UnlhaGetCursorMode)        \
    X(UnlhaSetCursorMode)        \
    X(UnlhaGetCursorInterval)    \
    X(UnlhaSetCursorInterval)    \
    X(Unlha)                     \
    X(UnlhaCheckArchive)         \
    X(UnlhaConfigDialog)         \
    X(UnlhaGetFileCount)         \
    X(UnlhaOpenArchive)          \
    X(UnlhaCloseArchive)         \
    X(UnlhaFindFirst)            \
    X(UnlhaFindNext)             \
    X(UnlhaGetArcFileName)       \
    X(UnlhaGetArcFileSize)       \
    X(UnlhaGetArcOriginalSize)   \
    X(UnlhaGetArcCompressedSize) \
    X(UnlhaGetArcRatio)          \
    X(UnlhaGetArcDate)           \
    X(UnlhaGetArcTime)           \
    X(UnlhaGetArcOSType)         \
    X(UnlhaGetFileName)          \
    X(UnlhaGetMethod)            \
    X(UnlhaGetOriginalSize)      \
    X(UnlhaGetCompressedSize)    \
    X(UnlhaGetRatio)             \
    X(UnlhaGetDate)              \
    X(UnlhaGetTime)              \
    X(UnlhaGetWriteTime)         \
    X(UnlhaGetAccessTime)        \
    X(UnlhaGetCreateTime)        \
    X(UnlhaGetCRC)               \
    X(UnlhaGetAttribute)         \
    X(UnlhaGetOSType)            \
    X(UnlhaQueryFunctionList)    \
    X(UnlhaSetOwnerWindow)       \
    X(UnlhaClearOwnerWindow)

// Positions in the table.
enum class UnlhaEntry {
#define KORDEL_UNLHA_ENUMERATOR(name) name,
    KORDEL_UNLHA_ENTRIES(KORDEL_UNLHA_ENUMERATOR)
#undef KORDEL_UNLHA_ENUMERATOR
};

// The table: one typed pointer per entry, typed after the library's own header.
struct UnlhaTable {
#define KORDEL_UNLHA_POINTER(name) decltype(&::name) name = nullptr;
    KORDEL_UNLHA_ENTRIES(KORDEL_UNLHA_POINTER)
#undef KORDEL_UNLHA_POINTER
};

// One member as the library reports it.
struct ArchiveMember {
    QString name;      // stored path, "/" between folders; the caller cuts the base name
    quint32 size = 0;  // uncompressed
    quint16 dosDate = 0;
    quint16 dosTime = 0;
};

// Used on the user-interface thread only: stand-by routines show a modal box.
class ArchiveLibrary {
public:
    static constexpr int kEntryCount = 41;
    static constexpr int kOutputSize = 32000;  // report buffer handed to Unlha
    static constexpr uint32_t kListMode = 0x2200;
    static constexpr int32_t kCheckMode = 1;

    // Binds the library found first in searchFolders(programFolder). Stand-by
    // routines report through `dialogs`, which must outlive the binding (it may
    // be null: then they stay silent).
    ArchiveLibrary(Dialogs* dialogs, const QString& programFolder);
    // Releases the library; the table goes with the object.
    ~ArchiveLibrary();
    ArchiveLibrary(const ArchiveLibrary&) = delete;
    ArchiveLibrary& operator=(const ArchiveLibrary&) = delete;

    // Where the library is looked for, in order: the program's own folder, then
    // the installed library folder <prefix>/lib/kordel beside <prefix>/bin.
    // Only these absolute paths are tried, never the system's library search,
    // so an unrelated library of the same name is not picked up by accident.
    static QStringList searchFolders(const QString& programFolder);
    static const char* entryName(UnlhaEntry entry);

    bool archiveLibraryLoaded() const { return handle_ != nullptr; }
    // The file that was loaded; empty when none.
    QString libraryPath() const { return path_; }
    // Why nothing was loaded; empty when loaded.
    QString loadError() const { return loadError_; }

    const UnlhaTable& table() const { return table_; }
    // The entry leads into the library rather than to its stand-by routine.
    bool isBound(UnlhaEntry entry) const;
    // The code the entry points at.
    const void* entryAddress(UnlhaEntry entry) const;

    // A stand-by routine answers 0, which for several entries means success
    // ("found", "done"). The wrappers below therefore never take a stand-by's
    // answer for a result: they show its box once and fail.

    // A sound archive: every header checked and every member within the file
    // (the library's header check; members are not decompressed).
    bool check(const QString& archive);
    // Hands each member matching `pattern` to `visit` in archive order, until
    // `visit` answers false. Nothing is visited when the archive cannot be opened.
    void forEachMember(const QString& archive,
                       const QString& pattern,
                       const std::function<bool(const ArchiveMember&)>& visit,
                       void* window = nullptr);
    QList<ArchiveMember> listMembers(const QString& archive,
                                     const QString& pattern,
                                     void* window = nullptr);
    // The command line the program sends to extract one member (base name)
    // into a folder: e -l0 -n1 [-gm1] "archive" "folder/" "member", a quote
    // inside an argument doubled so that it cannot end the argument. Empty when
    // the folder is empty or an argument holds a zero, which cannot be passed.
    static QByteArray extractCommand(const QString& archive,
                                     const QString& destFolder,
                                     const QString& member,
                                     bool useGm1);
    // Writes the member into destFolder; true when the library reports success.
    // `report` receives the library's output text.
    bool extract(const QString& archive,
                 const QString& destFolder,
                 const QString& member,
                 bool useGm1,
                 void* window = nullptr,
                 QString* report = nullptr);
    bool isRunning();
    void setBackGroundMode(bool on);
    void setCursorMode(bool on);

    // What a stand-by routine does: shows "<entry>: LHA.DLL not loaded." with
    // the caption "PANIC!!" through the Dialogs service of the binding created
    // last among those alive; silent when there is none.
    static void showStandByBox(UnlhaEntry entry);

private:
    // Shows the stand-by box when the entry is not bound; true when it is.
    bool ready(UnlhaEntry entry) const;
    void load(const QString& programFolder);

    UnlhaTable table_;
    Dialogs* dialogs_;
    void* handle_ = nullptr;
    QString path_;
    QString loadError_;
    ArchiveLibrary* outer_ = nullptr;  // the binding that was reporting before this one
};

}  // namespace kordel
