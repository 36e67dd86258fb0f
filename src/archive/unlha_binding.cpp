#include "unlha_binding.h"

#include <dlfcn.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <utility>
#include <vector>

#include "services.h"

namespace kordel {

namespace {

constexpr char kFileName[] = "libunlha32.so";

// The only process-wide state of the binding. A stand-by routine is a plain C
// function pointer and cannot carry its binding, so the binding that reports
// is registered here for its lifetime. A binding made while another is alive
// (tests do that) takes over and hands back on its end; see `outer_`.
ArchiveLibrary* reportingBinding = nullptr;

constexpr const char* kEntryNames[] = {
#define KORDEL_UNLHA_NAME(name) #name,
    KORDEL_UNLHA_ENTRIES(KORDEL_UNLHA_NAME)
#undef KORDEL_UNLHA_NAME
};
static_assert(std::size(kEntryNames) == ArchiveLibrary::kEntryCount);
static_assert(sizeof(UnlhaTable) == ArchiveLibrary::kEntryCount * sizeof(void (*)()));

// One stand-by routine per entry, with the entry's own signature; the entry
// it stands for is fixed at compile time, so it knows its name.
template <UnlhaEntry E, typename F>
struct StandBy;

template <UnlhaEntry E, typename R, typename... A>
struct StandBy<E, R (*)(A...)> {
    static R call(A...) {
        ArchiveLibrary::showStandByBox(E);
        return R();  // 0, or a null handle
    }
};

// What the binding does with one entry, whatever its type.
struct Slot {
    void (*standBy)(UnlhaTable&);
    void (*bind)(UnlhaTable&, void* symbol);
    bool (*isStandBy)(const UnlhaTable&);
    const void* (*address)(const UnlhaTable&);
};

template <UnlhaEntry E, auto Member>
constexpr Slot makeSlot() {
    using Pointer = std::remove_reference_t<decltype(std::declval<UnlhaTable&>().*Member)>;
    constexpr Pointer routine = &StandBy<E, Pointer>::call;
    return Slot{
        [](UnlhaTable& t) { t.*Member = routine; },
        [](UnlhaTable& t, void* symbol) { t.*Member = reinterpret_cast<Pointer>(symbol); },
        [](const UnlhaTable& t) { return t.*Member == routine; },
        [](const UnlhaTable& t) { return reinterpret_cast<const void*>(t.*Member); },
    };
}

constexpr Slot kSlots[] = {
#define KORDEL_UNLHA_SLOT(name) makeSlot<UnlhaEntry::name, &UnlhaTable::name>(),
    KORDEL_UNLHA_ENTRIES(KORDEL_UNLHA_SLOT)
#undef KORDEL_UNLHA_SLOT
};

const Slot& slotOf(UnlhaEntry entry) {
    return kSlots[static_cast<int>(entry)];
}

// One argument in quotes; a quote inside it is doubled, as the library reads it.
QString quoted(QString argument) {
    return u'"' + argument.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

}  // namespace

ArchiveLibrary::ArchiveLibrary(Dialogs* dialogs, const QString& programFolder)
    : dialogs_(dialogs), outer_(reportingBinding) {
    reportingBinding = this;
    for (const Slot& slot : kSlots)
        slot.standBy(table_);
    load(programFolder);
}

ArchiveLibrary::~ArchiveLibrary() {
    // Nothing in the table may point into the library once it is gone.
    for (const Slot& slot : kSlots)
        slot.standBy(table_);
    if (handle_)
        dlclose(handle_);
    if (reportingBinding == this) {
        reportingBinding = outer_;
    } else {
        for (ArchiveLibrary* b = reportingBinding; b; b = b->outer_) {
            if (b->outer_ == this) {
                b->outer_ = outer_;
                break;
            }
        }
    }
}

QStringList ArchiveLibrary::searchFolders(const QString& programFolder) {
    if (programFolder.isEmpty())
        return {};
    const QString program = QDir::cleanPath(QDir(programFolder).absolutePath());
    const QString installed = QDir::cleanPath(program + QStringLiteral("/../lib/kordel"));
    return installed == program ? QStringList{program} : QStringList{program, installed};
}

const char* ArchiveLibrary::entryName(UnlhaEntry entry) {
    return kEntryNames[static_cast<int>(entry)];
}

void ArchiveLibrary::load(const QString& programFolder) {
    const QStringList folders = searchFolders(programFolder);
    QStringList errors;
    for (const QString& folder : folders) {
        // Always an absolute path, so dlopen never searches on its own.
        const QString candidate = QDir(folder).absoluteFilePath(QLatin1String(kFileName));
        if (!QFileInfo(candidate).isFile())
            continue;
        // Local binding: the library's symbols never mix with the program's.
        void* handle = dlopen(QFile::encodeName(candidate).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            errors << QString::fromLocal8Bit(dlerror());
            continue;  // a broken copy does not hide the installed one
        }
        handle_ = handle;
        path_ = candidate;
        break;
    }
    if (!handle_) {
        loadError_ = errors.isEmpty()
                         ? QStringLiteral("%1 not found in: %2")
                               .arg(QLatin1String(kFileName), folders.join(QStringLiteral(", ")))
                         : errors.join(QStringLiteral("; "));
        return;
    }
    for (int i = 0; i < kEntryCount; ++i) {
        if (void* symbol = dlsym(handle_, kEntryNames[i]))
            kSlots[i].bind(table_, symbol);
    }
}

bool ArchiveLibrary::isBound(UnlhaEntry entry) const {
    return !slotOf(entry).isStandBy(table_);
}

const void* ArchiveLibrary::entryAddress(UnlhaEntry entry) const {
    return slotOf(entry).address(table_);
}

void ArchiveLibrary::showStandByBox(UnlhaEntry entry) {
    if (!reportingBinding || !reportingBinding->dialogs_)
        return;
    reportingBinding->dialogs_->message(
        nullptr, Dialogs::Icon::Error, QStringLiteral("PANIC!!"),
        QLatin1String(entryName(entry)) + QStringLiteral(": LHA.DLL not loaded."));
}

bool ArchiveLibrary::ready(UnlhaEntry entry) const {
    if (isBound(entry))
        return true;
    showStandByBox(entry);
    return false;
}

bool ArchiveLibrary::check(const QString& archive) {
    if (!ready(UnlhaEntry::UnlhaCheckArchive))
        return false;
    return table_.UnlhaCheckArchive(archive.toUtf8().constData(), kCheckMode) != 0;
}

void ArchiveLibrary::forEachMember(const QString& archive,
                                   const QString& pattern,
                                   const std::function<bool(const ArchiveMember&)>& visit,
                                   void* window) {
    // A stand-by FindNext would answer "one more member" for ever.
    for (UnlhaEntry entry : {UnlhaEntry::UnlhaOpenArchive, UnlhaEntry::UnlhaFindFirst,
                             UnlhaEntry::UnlhaFindNext, UnlhaEntry::UnlhaCloseArchive}) {
        if (!ready(entry))
            return;
    }
    HARC harc = table_.UnlhaOpenArchive(window, archive.toUtf8().constData(), kListMode);
    if (!harc)
        return;
    const auto close = qScopeGuard([this, harc] { table_.UnlhaCloseArchive(harc); });
    const QByteArray wildName = pattern.toUtf8();
    INDIVIDUALINFO info;
    std::memset(&info, 0, sizeof info);
    for (int32_t rc = table_.UnlhaFindFirst(harc, wildName.constData(), &info); rc == 0;
         rc = table_.UnlhaFindNext(harc, &info)) {
        ArchiveMember member;
        member.name =
            QString::fromUtf8(info.fileName, qstrnlen(info.fileName, sizeof info.fileName));
        member.size = info.originalSize;
        member.dosDate = info.date;
        member.dosTime = info.time;
        if (!visit(member))
            break;
        std::memset(&info, 0, sizeof info);
    }
}

QList<ArchiveMember> ArchiveLibrary::listMembers(const QString& archive,
                                                 const QString& pattern,
                                                 void* window) {
    QList<ArchiveMember> members;
    forEachMember(
        archive, pattern,
        [&members](const ArchiveMember& m) {
            members.append(m);
            return true;
        },
        window);
    return members;
}

QByteArray ArchiveLibrary::extractCommand(const QString& archive,
                                          const QString& destFolder,
                                          const QString& member,
                                          bool useGm1) {
    // The library takes an argument ending in "/" for the destination folder.
    const QString folder = destFolder.endsWith(u'/') ? destFolder : destFolder + u'/';
    const QChar zero(u'\0');
    if (destFolder.isEmpty() || archive.contains(zero) || folder.contains(zero) ||
        member.contains(zero))
        return {};
    const QString head = useGm1 ? QStringLiteral("e -l0 -n1 -gm1 ") : QStringLiteral("e -l0 -n1 ");
    return (head + quoted(archive) + u' ' + quoted(folder) + u' ' + quoted(member)).toUtf8();
}

bool ArchiveLibrary::extract(const QString& archive,
                             const QString& destFolder,
                             const QString& member,
                             bool useGm1,
                             void* window,
                             QString* report) {
    if (report)
        report->clear();
    if (!ready(UnlhaEntry::Unlha))
        return false;
    const QByteArray commandLine = extractCommand(archive, destFolder, member, useGm1);
    if (commandLine.isEmpty()) {
        if (report)
            *report = QStringLiteral("no command line for this name or folder");
        return false;
    }
    std::vector<char> output(kOutputSize, '\0');
    const int32_t rc =
        table_.Unlha(window, commandLine.constData(), output.data(), uint32_t(output.size()));
    if (report)
        *report =
            QString::fromUtf8(output.data(), qsizetype(strnlen(output.data(), output.size())));
    return rc == 0;
}

bool ArchiveLibrary::isRunning() {
    return table_.UnlhaGetRunning() != 0;
}

void ArchiveLibrary::setBackGroundMode(bool on) {
    table_.UnlhaSetBackGroundMode(on ? 1 : 0);
}

void ArchiveLibrary::setCursorMode(bool on) {
    table_.UnlhaSetCursorMode(on ? 1 : 0);
}

}  // namespace kordel
