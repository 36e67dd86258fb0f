// The C entry points. Only the running flag and the two mode switches are
// shared between calls; everything else lives in the handle or the call.
#include "unlha32.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "command_line.h"
#include "extract.h"
#include "lzh_archive.h"
#include "name_text.h"

using namespace kordel::unlha;

namespace {

std::atomic<int> running{0};
std::atomic<int> backgroundMode{0};
std::atomic<int> cursorMode{0};

constexpr uint16_t kVersion = 100;
constexpr uint16_t kCursorInterval = 80;
constexpr uint32_t kHandleTag = 0x4C5A4821;  // catches stale and foreign pointers early

struct Handle {
    uint32_t tag = kHandleTag;
    std::unique_ptr<Archive> archive;
    bool matchWholePath = false;
    std::vector<Pattern> patterns;
    bool searching = false;
    size_t next = 0;
    const Member* current = nullptr;
};

Handle* handleOf(HARC harc) {
    auto* h = static_cast<Handle*>(harc);
    return h && h->tag == kHandleTag ? h : nullptr;
}

const Member* currentOf(HARC harc) {
    const Handle* h = handleOf(harc);
    return h ? h->current : nullptr;
}

template <typename R, typename F>
R guarded(R onError, F&& f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return onError;
    } catch (...) {
        return onError;
    }
}

uint32_t clamp32(uint64_t v) {
    return v > UINT32_MAX ? UINT32_MAX : uint32_t(v);
}

uint16_t ratioOf(uint64_t compressed, uint64_t original) {
    if (original == 0)
        return 0;
    const unsigned __int128 r = static_cast<unsigned __int128>(compressed) * 1000 / original;
    return r > 0xFFFF ? 0xFFFF : uint16_t(r);
}

// Copies text with its terminating zero into size bytes, cut at a character.
void copyText(std::string_view text, char* out, size_t size) {
    if (!out || size == 0)
        return;
    const std::string_view cut = truncateUtf8(text, size - 1);
    std::memcpy(out, cut.data(), cut.size());
    out[cut.size()] = '\0';
}

int32_t copyToBuffer(std::string_view text, char* buffer, int32_t size) {
    if (!buffer || size <= 0)
        return UNLHA_ERROR_LONG_FILE_NAME;
    copyText(text, buffer, size_t(size));
    return text.size() < size_t(size) ? 0 : UNLHA_ERROR_LONG_FILE_NAME;
}

void fillRecord(const Member& m, INDIVIDUALINFO* info) {
    std::memset(info, 0, sizeof *info);
    info->originalSize = clamp32(m.originalSize);
    info->compressedSize = clamp32(m.compressedSize);
    info->crc = m.crc;
    info->osType = uint32_t(m.osType);
    info->ratio = ratioOf(m.compressedSize, m.originalSize);
    info->date = m.dosDate;
    info->time = m.dosTime;
    copyText(m.path, info->fileName, sizeof info->fileName);
    const struct {
        int bit;
        char letter;
    } letters[] = {{UNLHA_FA_RDONLY, 'R'},
                   {UNLHA_FA_HIDDEN, 'H'},
                   {UNLHA_FA_SYSTEM, 'S'},
                   {UNLHA_FA_DIREC, 'D'},
                   {UNLHA_FA_ARCH, 'A'}};
    for (size_t i = 0; i < std::size(letters); ++i)
        info->attribute[i] = (m.attribute & letters[i].bit) ? letters[i].letter : '-';
    copyText(m.method, info->method, sizeof info->method);
}

bool parsePatterns(const char* text, std::vector<Pattern>* out) {
    out->clear();
    std::vector<Argument> args;
    if (text && !splitArguments(text, &args))
        return false;
    for (const Argument& a : args)
        out->push_back(toPattern(a));
    return true;
}

bool memberMatches(const Handle& h, const Member& m) {
    if (h.patterns.empty())
        return true;
    for (const Pattern& p : h.patterns) {
        const std::string& subject = (h.matchWholePath || containsSlash(p)) ? m.path : m.baseName;
        if (matchesPattern(p, subject))
            return true;
    }
    return false;
}

int32_t findFrom(Handle& h, INDIVIDUALINFO* info) {
    const std::vector<Member>& members = h.archive->members();
    while (h.next < members.size()) {
        const Member& m = members[h.next++];
        if (memberMatches(h, m)) {
            h.current = &m;
            if (info)
                fillRecord(m, info);
            return 0;
        }
    }
    h.current = nullptr;
    return h.archive->damaged() ? UNLHA_ERROR_HEADER_BROKEN : -1;
}

const char* describe(int code) {
    switch (code) {
        case 0:
            return "extracted";
        case UNLHA_ERROR_DISK_SPACE:
            return "not enough disk space";
        case UNLHA_ERROR_METHOD:
            return "compression method not supported";
        case UNLHA_ERROR_FILE_CRC:
            return "CRC error";
        case UNLHA_ERROR_MAKEDIRECTORY:
            return "destination folder not found";
        case UNLHA_ERROR_CANNOT_WRITE:
            return "cannot write";
        case UNLHA_ERROR_HEADER_BROKEN:
            return "archive damaged";
        case UNLHA_ERROR_NOT_ARC_FILE:
            return "not an LZH archive";
        case UNLHA_ERROR_NOT_FIND_ARC_FILE:
            return "archive not found";
        case UNLHA_ERROR_NOT_FILENAME:
            return "unusable file name";
        case UNLHA_ERROR_NOT_FIND_FILE:
            return "not in the archive";
        case UNLHA_ERROR_BROKEN_DATA:
            return "data damaged";
        default:
            return "error";
    }
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

bool isSwitch(const Argument& a) {
    return !a.anyQuoted && a.text.size() > 1 && a.text[0] == '-';
}

// Picks the members a list of names asks for, in the order asked.
int selectMembers(const Archive& archive,
                  const std::vector<Argument>& names,
                  std::vector<const Member*>* chosen,
                  std::string* report) {
    const std::vector<Member>& members = archive.members();
    auto choose = [chosen](const Member& m) {
        if (std::find(chosen->begin(), chosen->end(), &m) == chosen->end())
            chosen->push_back(&m);
    };
    // Members past damage are lost, so a request for all of them cannot be met.
    auto damageCode = [&archive, report](std::string_view what) {
        if (!archive.damaged())
            return 0;
        *report += std::string(what) + ": " + describe(UNLHA_ERROR_HEADER_BROKEN) + "\n";
        return int(UNLHA_ERROR_HEADER_BROKEN);
    };
    if (names.empty()) {
        for (const Member& m : members) {
            if (m.isFile())
                choose(m);
        }
        return damageCode(archive.path());
    }
    int result = 0;
    for (const Argument& name : names) {
        const Pattern pattern = toPattern(name);
        const bool wholePath = containsSlash(pattern);
        auto subject = [wholePath](const Member& m) -> const std::string& {
            return wholePath ? m.path : m.baseName;
        };
        bool found = false;
        if (hasWildcard(pattern)) {
            for (const Member& m : members) {
                if (m.isFile() && matchesPattern(pattern, subject(m))) {
                    choose(m);
                    found = true;
                }
            }
            if (found && result == 0)
                result = damageCode(name.text);
        } else {
            // The exact name first, so "cat.jpg" never yields "CAT.JPG" while
            // the archive holds both.
            const Member* hit = nullptr;
            for (const Member& m : members) {
                if (m.isFile() && subject(m) == name.text) {
                    hit = &m;
                    break;
                }
            }
            for (size_t i = 0; !hit && i < members.size(); ++i) {
                if (members[i].isFile() && equalsIgnoreCase(subject(members[i]), name.text))
                    hit = &members[i];
            }
            if (hit) {
                choose(*hit);
                found = true;
            }
        }
        if (!found) {
            const int code =
                archive.damaged() ? UNLHA_ERROR_HEADER_BROKEN : UNLHA_ERROR_NOT_FIND_FILE;
            *report += name.text + ": " + describe(code) + "\n";
            if (result == 0)
                result = code;
        }
    }
    return result;
}

int runCommand(std::string_view line, std::string* report) {
    std::vector<Argument> args;
    if (!splitArguments(line, &args)) {
        *report = "unclosed quote in the command line\n";
        return UNLHA_ERROR_COMMAND_NAME;
    }
    std::vector<Argument> words;
    for (Argument& a : args) {
        if (!isSwitch(a))
            words.push_back(std::move(a));
    }
    if (words.empty() || (words[0].text != "e" && words[0].text != "E")) {
        *report = "unknown command\n";
        return UNLHA_ERROR_COMMAND_NAME;
    }
    if (words.size() < 2) {
        *report = "no archive named\n";
        return UNLHA_ERROR_NOT_FIND_ARC_FILE;
    }
    const std::string archivePath = words[1].text;
    size_t first = 2;
    std::string folder = ".";
    if (first < words.size() && !words[first].text.empty() && words[first].text.back() == '/')
        folder = words[first++].text;
    const std::vector<Argument> names(words.begin() + long(first), words.end());

    int error = 0;
    std::unique_ptr<Archive> archive = Archive::open(archivePath, &error);
    if (!archive) {
        *report = archivePath + ": " + describe(error) + "\n";
        return error;
    }
    const FileDescriptor folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0) {
        *report = folder + ": " + describe(UNLHA_ERROR_MAKEDIRECTORY) + "\n";
        return UNLHA_ERROR_MAKEDIRECTORY;
    }

    std::vector<const Member*> chosen;
    int result = selectMembers(*archive, names, &chosen, report);
    std::set<std::string> written;  // the first member of each base name wins
    for (const Member* m : chosen) {
        if (!written.insert(m->baseName).second)
            continue;
        const int rc = extractToFolder(*archive, *m, folderFd.get());
        *report += (m->baseName.empty() ? m->path : m->baseName) + ": " + describe(rc) + "\n";
        if (rc != 0 && result == 0)
            result = rc;
    }
    return result;
}

struct Totals {
    uint64_t original = 0;
    uint64_t compressed = 0;
};

Totals totalsOf(const Archive& a) {
    Totals t;
    for (const Member& m : a.members()) {
        t.original =
            m.originalSize > UINT64_MAX - t.original ? UINT64_MAX : t.original + m.originalSize;
        t.compressed = m.compressedSize > UINT64_MAX - t.compressed
                           ? UINT64_MAX
                           : t.compressed + m.compressedSize;
    }
    return t;
}

uint32_t unixTime32(int64_t t) {
    return t < 0 || t >= int64_t(UINT32_MAX) ? UINT32_MAX : uint32_t(t);
}

}  // namespace

extern "C" {

int32_t Unlha(void* hwnd, const char* commandLine, char* output, uint32_t outputSize) {
    (void)hwnd;
    int expected = 0;
    if (!running.compare_exchange_strong(expected, 1)) {
        copyText("busy\n", output, outputSize);
        return UNLHA_ERROR_ALREADY_RUNNING;
    }
    std::string report;
    const int32_t rc = guarded<int32_t>(UNLHA_ERROR_ENOUGH_MEMORY, [&] {
        return commandLine ? runCommand(commandLine, &report) : UNLHA_ERROR_COMMAND_NAME;
    });
    copyText(report, output, outputSize);
    running.store(0);
    return rc;
}

uint16_t UnlhaGetVersion(void) {
    return kVersion;
}

uint16_t UnlhaGetSubVersion(void) {
    return 0;
}

int32_t UnlhaGetRunning(void) {
    return running.load();
}

int32_t UnlhaGetBackGroundMode(void) {
    return backgroundMode.load();
}

int32_t UnlhaSetBackGroundMode(int32_t on) {
    backgroundMode.store(on ? 1 : 0);
    return 1;
}

int32_t UnlhaGetCursorMode(void) {
    return cursorMode.load();
}

int32_t UnlhaSetCursorMode(int32_t on) {
    cursorMode.store(on ? 1 : 0);
    return 1;
}

uint16_t UnlhaGetCursorInterval(void) {
    return kCursorInterval;
}

int32_t UnlhaSetCursorInterval(uint16_t) {
    return 0;
}

int32_t UnlhaConfigDialog(void*, char*, int32_t) {
    return 0;
}

int32_t UnlhaSetOwnerWindow(void*) {
    return 0;
}

int32_t UnlhaClearOwnerWindow(void) {
    return 0;
}

int32_t UnlhaQueryFunctionList(int32_t function) {
    switch (function) {
        case UNLHA_FN_SET_CURSOR_INTERVAL:
        case UNLHA_FN_CONFIG_DIALOG:
        case UNLHA_FN_SET_OWNER_WINDOW:
        case UNLHA_FN_CLEAR_OWNER_WINDOW:
            return 0;
        case UNLHA_FN_UNLHA:
        case UNLHA_FN_GET_VERSION:
        case UNLHA_FN_GET_CURSOR_INTERVAL:
        case UNLHA_FN_GET_BACK_GROUND_MODE:
        case UNLHA_FN_SET_BACK_GROUND_MODE:
        case UNLHA_FN_GET_CURSOR_MODE:
        case UNLHA_FN_SET_CURSOR_MODE:
        case UNLHA_FN_GET_RUNNING:
        case UNLHA_FN_CHECK_ARCHIVE:
        case UNLHA_FN_GET_FILE_COUNT:
        case UNLHA_FN_QUERY_FUNCTION_LIST:
        case UNLHA_FN_OPEN_ARCHIVE:
        case UNLHA_FN_CLOSE_ARCHIVE:
        case UNLHA_FN_FIND_FIRST:
        case UNLHA_FN_FIND_NEXT:
        case UNLHA_FN_GET_ARC_FILE_NAME:
        case UNLHA_FN_GET_ARC_FILE_SIZE:
        case UNLHA_FN_GET_ARC_ORIGINAL_SIZE:
        case UNLHA_FN_GET_ARC_COMPRESSED_SIZE:
        case UNLHA_FN_GET_ARC_RATIO:
        case UNLHA_FN_GET_ARC_DATE:
        case UNLHA_FN_GET_ARC_TIME:
        case UNLHA_FN_GET_ARC_OS_TYPE:
        case UNLHA_FN_IS_SFX_FILE:
        case UNLHA_FN_GET_FILE_NAME:
        case UNLHA_FN_GET_ORIGINAL_SIZE:
        case UNLHA_FN_GET_COMPRESSED_SIZE:
        case UNLHA_FN_GET_RATIO:
        case UNLHA_FN_GET_DATE:
        case UNLHA_FN_GET_TIME:
        case UNLHA_FN_GET_CRC:
        case UNLHA_FN_GET_ATTRIBUTE:
        case UNLHA_FN_GET_OS_TYPE:
        case UNLHA_FN_GET_METHOD:
        case UNLHA_FN_GET_WRITE_TIME:
        case UNLHA_FN_GET_CREATE_TIME:
        case UNLHA_FN_GET_ACCESS_TIME:
        case UNLHA_FN_GET_SUB_VERSION:
            return 1;
        default:
            return 0;
    }
}

int32_t UnlhaCheckArchive(const char* archive, int32_t mode) {
    if (!archive)
        return 0;
    return guarded<int32_t>(0, [&]() -> int32_t {
        int error = 0;
        const std::unique_ptr<Archive> a = Archive::open(archive, &error);
        if (!a || a->damaged())
            return 0;
        // Opening has read and verified every header. Decompressing is left to
        // the full check: a small archive can declare gigabytes.
        if ((mode & 0x03) < UNLHA_CHECK_FULLCRC)
            return 1;
        for (const Member& m : a->members()) {
            if (a->decode(m, {}) != 0)
                return 0;
        }
        return 1;
    });
}

int32_t UnlhaGetFileCount(const char* archive) {
    if (!archive)
        return -1;
    return guarded<int32_t>(-1, [&]() -> int32_t {
        int error = 0;
        const std::unique_ptr<Archive> a = Archive::open(archive, &error);
        if (!a)
            return -1;
        return int32_t(std::min<size_t>(a->members().size(), INT32_MAX));
    });
}

HARC UnlhaOpenArchive(void* hwnd, const char* archive, uint32_t mode) {
    (void)hwnd;
    if (!archive)
        return nullptr;
    return guarded<HARC>(nullptr, [&]() -> HARC {
        int error = 0;
        std::unique_ptr<Archive> a = Archive::open(archive, &error);
        if (!a)
            return nullptr;
        auto h = std::make_unique<Handle>();
        h->archive = std::move(a);
        h->matchWholePath = (mode & UNLHA_M_CHECK_ALL_PATH) != 0;
        return h.release();
    });
}

int32_t UnlhaCloseArchive(HARC archive) {
    Handle* h = handleOf(archive);
    if (!h)
        return UNLHA_ERROR_HARC_ISNOT_OPENED;
    h->tag = 0;
    delete h;
    return 0;
}

int32_t UnlhaFindFirst(HARC archive, const char* wildName, INDIVIDUALINFO* info) {
    Handle* h = handleOf(archive);
    if (!h)
        return UNLHA_ERROR_HARC_ISNOT_OPENED;
    return guarded<int32_t>(UNLHA_ERROR_ENOUGH_MEMORY, [&]() -> int32_t {
        h->searching = false;
        h->current = nullptr;
        if (!parsePatterns(wildName, &h->patterns))
            return UNLHA_ERROR_COMMAND_NAME;
        h->searching = true;
        h->next = 0;
        return findFrom(*h, info);
    });
}

int32_t UnlhaFindNext(HARC archive, INDIVIDUALINFO* info) {
    Handle* h = handleOf(archive);
    if (!h)
        return UNLHA_ERROR_HARC_ISNOT_OPENED;
    if (!h->searching)
        return UNLHA_ERROR_NOT_SEARCH_MODE;
    return guarded<int32_t>(UNLHA_ERROR_ENOUGH_MEMORY, [&] { return findFrom(*h, info); });
}

int32_t UnlhaGetArcFileName(HARC archive, char* buffer, int32_t size) {
    const Handle* h = handleOf(archive);
    return h ? copyToBuffer(h->archive->path(), buffer, size) : UNLHA_ERROR_HARC_ISNOT_OPENED;
}

uint32_t UnlhaGetArcFileSize(HARC archive) {
    const Handle* h = handleOf(archive);
    return h ? clamp32(h->archive->fileSize()) : UINT32_MAX;
}

uint32_t UnlhaGetArcOriginalSize(HARC archive) {
    const Handle* h = handleOf(archive);
    return h ? clamp32(totalsOf(*h->archive).original) : UINT32_MAX;
}

uint32_t UnlhaGetArcCompressedSize(HARC archive) {
    const Handle* h = handleOf(archive);
    return h ? clamp32(totalsOf(*h->archive).compressed) : UINT32_MAX;
}

uint16_t UnlhaGetArcRatio(HARC archive) {
    const Handle* h = handleOf(archive);
    if (!h)
        return UINT16_MAX;
    const Totals t = totalsOf(*h->archive);
    return ratioOf(t.compressed, t.original);
}

uint16_t UnlhaGetArcDate(HARC archive) {
    const Handle* h = handleOf(archive);
    if (!h)
        return UINT16_MAX;
    uint16_t date;
    uint16_t time;
    toDosTime(h->archive->modificationTime(), &date, &time);
    return date;
}

uint16_t UnlhaGetArcTime(HARC archive) {
    const Handle* h = handleOf(archive);
    if (!h)
        return UINT16_MAX;
    uint16_t date;
    uint16_t time;
    toDosTime(h->archive->modificationTime(), &date, &time);
    return time;
}

uint32_t UnlhaGetArcOSType(HARC archive) {
    const Handle* h = handleOf(archive);
    return h ? uint32_t(h->archive->members().front().osType) : UINT32_MAX;
}

int32_t UnlhaIsSFXFile(HARC archive) {
    const Handle* h = handleOf(archive);
    if (!h)
        return -1;
    if (h->archive->leadingBytes() == 0)
        return UNLHA_SFX_NONE;
    return h->archive->startsWithMz() ? UNLHA_SFX_EXECUTABLE : UNLHA_SFX_OTHER;
}

int32_t UnlhaGetFileName(HARC archive, char* buffer, int32_t size) {
    if (!handleOf(archive))
        return UNLHA_ERROR_HARC_ISNOT_OPENED;
    const Member* m = currentOf(archive);
    return m ? copyToBuffer(m->path, buffer, size) : UNLHA_ERROR_NOT_SEARCH_MODE;
}

int32_t UnlhaGetMethod(HARC archive, char* buffer, int32_t size) {
    if (!handleOf(archive))
        return UNLHA_ERROR_HARC_ISNOT_OPENED;
    const Member* m = currentOf(archive);
    return m ? copyToBuffer(m->method, buffer, size) : UNLHA_ERROR_NOT_SEARCH_MODE;
}

uint32_t UnlhaGetOriginalSize(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? clamp32(m->originalSize) : UINT32_MAX;
}

uint32_t UnlhaGetCompressedSize(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? clamp32(m->compressedSize) : UINT32_MAX;
}

uint16_t UnlhaGetRatio(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? ratioOf(m->compressedSize, m->originalSize) : UINT16_MAX;
}

uint16_t UnlhaGetDate(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? m->dosDate : UINT16_MAX;
}

uint16_t UnlhaGetTime(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? m->dosTime : UINT16_MAX;
}

uint32_t UnlhaGetWriteTime(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? unixTime32(m->writeTime) : UINT32_MAX;
}

uint32_t UnlhaGetCreateTime(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? unixTime32(m->createTime) : UINT32_MAX;
}

uint32_t UnlhaGetAccessTime(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? unixTime32(m->accessTime) : UINT32_MAX;
}

uint32_t UnlhaGetCRC(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? m->crc : UINT32_MAX;
}

int32_t UnlhaGetAttribute(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? m->attribute : -1;
}

uint32_t UnlhaGetOSType(HARC archive) {
    const Member* m = currentOf(archive);
    return m ? uint32_t(m->osType) : UINT32_MAX;
}

}  // extern "C"
