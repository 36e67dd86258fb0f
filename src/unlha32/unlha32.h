// LZH archive library: C entry points of libunlha32.so.
//
// Every text crossing this interface is UTF-8: paths, command lines, search
// patterns and the member names in the records. Stored member names are
// converted by the library (UTF-8 stays, anything else is read as Shift-JIS)
// and use "/" between folders.
//
// A handle (HARC) belongs to one thread at a time; different handles may be
// used on different threads at once.
#ifndef KORDEL_UNLHA32_H
#define KORDEL_UNLHA32_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define UNLHA_EXPORT __attribute__((visibility("default")))
#else
#define UNLHA_EXPORT
#endif

typedef void* HARC;

#define UNLHA_NAME_MAX 512  // bytes of a member name in a record, without the terminating zero

// One member as FindFirst/FindNext report it. Packed: 558 bytes.
#pragma pack(push, 1)
typedef struct INDIVIDUALINFO {
    uint32_t originalSize;              // 0: uncompressed size (0xFFFFFFFF beyond 4 GiB)
    uint32_t compressedSize;            // 4
    uint32_t crc;                       // 8: CRC-16 of the member's data
    uint32_t flag;                      // 12: always 0
    uint32_t osType;                    // 16: UNLHA_OS_*
    uint16_t ratio;                     // 20: compressed / original in per mille
    uint16_t date;                      // 22: MS-DOS date of the member
    uint16_t time;                      // 24: MS-DOS time of the member
    char fileName[UNLHA_NAME_MAX + 1];  // 26: UTF-8, "/" between folders
    char padding[3];                    // 539
    char attribute[8];                  // 542: "RHSDA" letters, "-" where the bit is clear
    char method[8];                     // 550: such as "-lh5-"
} INDIVIDUALINFO;
#pragma pack(pop)

#ifdef __cplusplus
#define UNLHA_STATIC_ASSERT(cond, text) static_assert(cond, text)
#else
#define UNLHA_STATIC_ASSERT(cond, text) _Static_assert(cond, text)
#endif
UNLHA_STATIC_ASSERT(sizeof(INDIVIDUALINFO) == 558, "member record is 558 bytes");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, compressedSize) == 4, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, crc) == 8, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, flag) == 12, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, osType) == 16, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, ratio) == 20, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, date) == 22, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, time) == 24, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, fileName) == 26, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, attribute) == 542, "record layout");
UNLHA_STATIC_ASSERT(offsetof(INDIVIDUALINFO, method) == 550, "record layout");

// Error codes returned by Unlha and the handle functions.
enum {
    UNLHA_ERROR_DISK_SPACE = 0x8005,       // not enough room in the destination
    UNLHA_ERROR_METHOD = 0x8009,           // compression method not supported
    UNLHA_ERROR_FILE_CRC = 0x800C,         // member data does not match its CRC
    UNLHA_ERROR_MAKEDIRECTORY = 0x8012,    // destination folder missing (it is not created)
    UNLHA_ERROR_CANNOT_WRITE = 0x8013,     // writing the extracted file failed
    UNLHA_ERROR_HEADER_BROKEN = 0x8017,    // a header is damaged or the archive is cut short
    UNLHA_ERROR_ARC_FILE_OPEN = 0x8018,    // the archive cannot be opened
    UNLHA_ERROR_NOT_ARC_FILE = 0x8019,     // the file is not an LZH archive
    UNLHA_ERROR_CANNOT_READ = 0x801A,      // reading the archive failed
    UNLHA_ERROR_COMMAND_NAME = 0x801C,     // command line not understood
    UNLHA_ERROR_ENOUGH_MEMORY = 0x801E,    // out of memory
    UNLHA_ERROR_ALREADY_RUNNING = 0x801F,  // Unlha is busy with another call
    UNLHA_ERROR_HARC_ISNOT_OPENED = 0x8021,
    UNLHA_ERROR_NOT_SEARCH_MODE = 0x8022,  // member query without FindFirst
    UNLHA_ERROR_NOT_SUPPORT = 0x8023,
    UNLHA_ERROR_LONG_FILE_NAME = 0x8026,  // buffer too small for the name
    UNLHA_ERROR_NOT_FIND_ARC_FILE = 0x8029,
    UNLHA_ERROR_NOT_FILENAME = 0x802B,   // member name is empty, "." or ".."
    UNLHA_ERROR_NOT_FIND_FILE = 0x8031,  // no member of that name
    UNLHA_ERROR_BROKEN_DATA = 0x8048     // member data ends early or runs long
};

// OS types of a member (record field osType, UnlhaGetOSType).
enum {
    UNLHA_OS_MSDOS = 0,  // also headers that name no system
    UNLHA_OS_PRIMOS = 1,
    UNLHA_OS_UNIX = 2,
    UNLHA_OS_AMIGA = 3,
    UNLHA_OS_MACOS = 4,
    UNLHA_OS_OS2 = 5,
    UNLHA_OS_APPLE_GS = 6,
    UNLHA_OS_ATARI_ST = 7,
    UNLHA_OS_NEXT = 8,
    UNLHA_OS_VAX_VMS = 9,
    UNLHA_OS_OTHER = 10,
    UNLHA_OS_OS9 = 11,
    UNLHA_OS_OS9_68K = 12,
    UNLHA_OS_OS386 = 13,
    UNLHA_OS_HUMAN68K = 14,
    UNLHA_OS_CPM = 15,
    UNLHA_OS_FLEX = 16,
    UNLHA_OS_RUNSER = 17,
    UNLHA_OS_WINDOWS_NT = 18,
    UNLHA_OS_WINDOWS_95 = 19
};

// MS-DOS attribute bits (UnlhaGetAttribute).
enum {
    UNLHA_FA_RDONLY = 0x01,
    UNLHA_FA_HIDDEN = 0x02,
    UNLHA_FA_SYSTEM = 0x04,
    UNLHA_FA_LABEL = 0x08,
    UNLHA_FA_DIREC = 0x10,
    UNLHA_FA_ARCH = 0x20
};

// UnlhaCheckArchive modes: 0 and 1 read and verify every header (checksum or
// CRC where the level has one, data within the file) without decompressing;
// 2 also decompresses every member and compares its CRC.
enum { UNLHA_CHECK_HEADERS = 0, UNLHA_CHECK_BASIC = 1, UNLHA_CHECK_FULLCRC = 2 };

// UnlhaOpenArchive mode bits that change the search: by default patterns match
// a member's base name; with UNLHA_M_CHECK_ALL_PATH they match the whole stored
// path. A pattern that itself holds "/" always matches the whole path.
enum { UNLHA_M_CHECK_ALL_PATH = 0x100, UNLHA_M_CHECK_FILENAME_ONLY = 0x200 };

// UnlhaIsSFXFile answers.
enum { UNLHA_SFX_NONE = 0, UNLHA_SFX_EXECUTABLE = 1, UNLHA_SFX_OTHER = 2 };

// Function numbers for UnlhaQueryFunctionList.
enum {
    UNLHA_FN_UNLHA = 0,
    UNLHA_FN_GET_VERSION = 1,
    UNLHA_FN_GET_CURSOR_INTERVAL = 2,
    UNLHA_FN_SET_CURSOR_INTERVAL = 3,
    UNLHA_FN_GET_BACK_GROUND_MODE = 4,
    UNLHA_FN_SET_BACK_GROUND_MODE = 5,
    UNLHA_FN_GET_CURSOR_MODE = 6,
    UNLHA_FN_SET_CURSOR_MODE = 7,
    UNLHA_FN_GET_RUNNING = 8,
    UNLHA_FN_CHECK_ARCHIVE = 16,
    UNLHA_FN_CONFIG_DIALOG = 17,
    UNLHA_FN_GET_FILE_COUNT = 18,
    UNLHA_FN_QUERY_FUNCTION_LIST = 19,
    UNLHA_FN_OPEN_ARCHIVE = 23,
    UNLHA_FN_CLOSE_ARCHIVE = 24,
    UNLHA_FN_FIND_FIRST = 25,
    UNLHA_FN_FIND_NEXT = 26,
    UNLHA_FN_SET_OWNER_WINDOW = 31,
    UNLHA_FN_CLEAR_OWNER_WINDOW = 32,
    UNLHA_FN_GET_ARC_FILE_NAME = 40,
    UNLHA_FN_GET_ARC_FILE_SIZE = 41,
    UNLHA_FN_GET_ARC_ORIGINAL_SIZE = 42,
    UNLHA_FN_GET_ARC_COMPRESSED_SIZE = 43,
    UNLHA_FN_GET_ARC_RATIO = 44,
    UNLHA_FN_GET_ARC_DATE = 45,
    UNLHA_FN_GET_ARC_TIME = 46,
    UNLHA_FN_GET_ARC_OS_TYPE = 47,
    UNLHA_FN_IS_SFX_FILE = 48,
    UNLHA_FN_GET_FILE_NAME = 57,
    UNLHA_FN_GET_ORIGINAL_SIZE = 58,
    UNLHA_FN_GET_COMPRESSED_SIZE = 59,
    UNLHA_FN_GET_RATIO = 60,
    UNLHA_FN_GET_DATE = 61,
    UNLHA_FN_GET_TIME = 62,
    UNLHA_FN_GET_CRC = 63,
    UNLHA_FN_GET_ATTRIBUTE = 64,
    UNLHA_FN_GET_OS_TYPE = 65,
    UNLHA_FN_GET_METHOD = 66,
    UNLHA_FN_GET_WRITE_TIME = 67,
    UNLHA_FN_GET_CREATE_TIME = 68,
    UNLHA_FN_GET_ACCESS_TIME = 69,
    UNLHA_FN_GET_SUB_VERSION = 82
};

// Runs a command line. Understood: "e [switches] archive [folder/] [names...]",
// every argument optionally in double quotes (a quote inside quotes doubled:
// "a""b.jpg" names a"b.jpg). Each named member is written
// under its base name into the folder (default: the current folder), without
// its stored path and without asking; an existing file of that name is
// replaced. A quoted name is taken literally: the member with exactly that
// base name (the first one when several folders hold it), else the first whose
// base name differs only in case. Unquoted "*" and "?" are wildcards. Without
// names every member is written, the first of each base name. Switches are
// accepted and have no effect. Returns 0 when everything was written, else an
// UNLHA_ERROR_* code; `output` (may be null) receives a short report, cut to
// outputSize bytes including the terminating zero.
UNLHA_EXPORT int32_t Unlha(void* hwnd, const char* commandLine, char* output, uint32_t outputSize);

UNLHA_EXPORT uint16_t UnlhaGetVersion(void);     // 100 for 1.00
UNLHA_EXPORT uint16_t UnlhaGetSubVersion(void);  // 0
UNLHA_EXPORT int32_t UnlhaGetRunning(void);      // non-zero while Unlha works
UNLHA_EXPORT int32_t UnlhaGetBackGroundMode(void);
UNLHA_EXPORT int32_t UnlhaSetBackGroundMode(int32_t on);  // stored; returns 1
UNLHA_EXPORT int32_t UnlhaGetCursorMode(void);
UNLHA_EXPORT int32_t UnlhaSetCursorMode(int32_t on);  // stored (no cursor is shown); returns 1
UNLHA_EXPORT uint16_t UnlhaGetCursorInterval(void);   // 80, fixed
UNLHA_EXPORT int32_t UnlhaSetCursorInterval(uint16_t interval);                  // not supported: 0
UNLHA_EXPORT int32_t UnlhaConfigDialog(void* hwnd, char* buffer, int32_t mode);  // not supported: 0
UNLHA_EXPORT int32_t UnlhaQueryFunctionList(int32_t function);  // 1 when implemented
UNLHA_EXPORT int32_t UnlhaSetOwnerWindow(void* hwnd);           // not supported: 0
UNLHA_EXPORT int32_t UnlhaClearOwnerWindow(void);               // not supported: 0

// Non-zero when the file is a sound LZH archive (see UNLHA_CHECK_*).
UNLHA_EXPORT int32_t UnlhaCheckArchive(const char* archive, int32_t mode);
// Number of members, or -1 when the file is not an LZH archive.
UNLHA_EXPORT int32_t UnlhaGetFileCount(const char* archive);

// Null when the file cannot be opened or holds no LZH member.
UNLHA_EXPORT HARC UnlhaOpenArchive(void* hwnd, const char* archive, uint32_t mode);
UNLHA_EXPORT int32_t UnlhaCloseArchive(HARC archive);  // 0, or an error for a null handle
// wildName: blank-separated patterns ("*", "?" wildcards, case-insensitive;
// text in double quotes is literal); null or empty lists every member, and so
// does "*.*". Returns 0 with `info` filled (info may be null), -1 when no
// (further) member matches, or UNLHA_ERROR_HEADER_BROKEN when the archive is
// damaged past the members already returned.
UNLHA_EXPORT int32_t UnlhaFindFirst(HARC archive, const char* wildName, INDIVIDUALINFO* info);
UNLHA_EXPORT int32_t UnlhaFindNext(HARC archive, INDIVIDUALINFO* info);

// Archive queries. Sizes and ratio sum up every member; date and time are the
// archive file's own; the OS type is the first member's.
UNLHA_EXPORT int32_t UnlhaGetArcFileName(HARC archive, char* buffer, int32_t size);
UNLHA_EXPORT uint32_t UnlhaGetArcFileSize(HARC archive);
UNLHA_EXPORT uint32_t UnlhaGetArcOriginalSize(HARC archive);
UNLHA_EXPORT uint32_t UnlhaGetArcCompressedSize(HARC archive);
UNLHA_EXPORT uint16_t UnlhaGetArcRatio(HARC archive);
UNLHA_EXPORT uint16_t UnlhaGetArcDate(HARC archive);
UNLHA_EXPORT uint16_t UnlhaGetArcTime(HARC archive);
UNLHA_EXPORT uint32_t UnlhaGetArcOSType(HARC archive);
UNLHA_EXPORT int32_t UnlhaIsSFXFile(HARC archive);  // UNLHA_SFX_*, or -1

// Queries about the member last found by FindFirst/FindNext. Errors: -1
// (0xFFFF, 0xFFFFFFFF) for the numeric ones, an UNLHA_ERROR_* code for those
// filling a buffer (0 on success). Times are seconds since 1970 (UTC); create
// and access times exist only where the archive stored them.
UNLHA_EXPORT int32_t UnlhaGetFileName(HARC archive, char* buffer, int32_t size);
UNLHA_EXPORT int32_t UnlhaGetMethod(HARC archive, char* buffer, int32_t size);
UNLHA_EXPORT uint32_t UnlhaGetOriginalSize(HARC archive);
UNLHA_EXPORT uint32_t UnlhaGetCompressedSize(HARC archive);
UNLHA_EXPORT uint16_t UnlhaGetRatio(HARC archive);
UNLHA_EXPORT uint16_t UnlhaGetDate(HARC archive);
UNLHA_EXPORT uint16_t UnlhaGetTime(HARC archive);
UNLHA_EXPORT uint32_t UnlhaGetWriteTime(HARC archive);
UNLHA_EXPORT uint32_t UnlhaGetCreateTime(HARC archive);
UNLHA_EXPORT uint32_t UnlhaGetAccessTime(HARC archive);
UNLHA_EXPORT uint32_t UnlhaGetCRC(HARC archive);
UNLHA_EXPORT int32_t UnlhaGetAttribute(HARC archive);  // UNLHA_FA_* bits
UNLHA_EXPORT uint32_t UnlhaGetOSType(HARC archive);

#ifdef __cplusplus
}
#endif

#endif  // KORDEL_UNLHA32_H
