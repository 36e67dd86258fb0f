// Feeds arbitrary files to the archive library through its C entry points, as
// the program does: every check mode, the listing with each member query, and
// the extraction of everything and of each member by name into a scratch
// folder. runArchive is also what the archive library's tests replay the
// saved inputs of fuzz/corpus/unlha32 through.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "unlha32.h"

namespace kordel::fuzz {

namespace {

uint16_t crc16(const std::string& data) {
    uint16_t crc = 0;
    for (unsigned char c : data) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                out.insert(e->d_name);
        }
        closedir(d);
    }
    return out;
}

std::string joined(const std::set<std::string>& names) {
    std::string out;
    for (const std::string& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

// What is wrong with the folders after an extraction; every file in dest must
// be a whole member ("size crc name"). The files are removed afterwards.
std::string checkAndEmpty(const std::string& outer, const std::set<std::string>& whole) {
    if (entries(outer) != std::set<std::string>{"dest"})
        return "wrote outside the destination";
    const std::string dest = outer + "/dest/";
    std::string fault;
    for (const std::string& name : entries(dest)) {
        const std::string file = dest + name;
        std::string data;
        struct stat st;
        if (lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            fault = "left something other than a file: " + name;
        else if (FILE* f = std::fopen(file.c_str(), "rb")) {
            char buf[65536];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
                data.append(buf, n);
            std::fclose(f);
        }
        const std::string size = std::to_string(data.size()) + ' ';
        if (fault.empty() && !whole.count(size + std::to_string(crc16(data)) + ' ' + name) &&
            !whole.count(size + "mac " + name))
            fault = "left a file that is not a whole member: " + name;
        unlink(file.c_str());
    }
    return fault;
}

}  // namespace

// Runs the archive through the library with outer/dest/ as the destination
// (made here). Returns what went wrong, or "" when the library kept its
// promises: nothing outside dest, only whole members written under their base
// names, and a sound archive extracts (but for names no file can have). Sums
// the results up in *summary as "verdict: names -> return code: files".
std::string runArchive(const std::string& archive, const std::string& outer, std::string* summary) {
    const std::string dest = outer + "/dest/";
    mkdir(outer.c_str(), 0700);
    mkdir(dest.c_str(), 0700);
    const char* name = archive.c_str();
    const bool headers = UnlhaCheckArchive(name, UNLHA_CHECK_BASIC);
    const bool sound = UnlhaCheckArchive(name, UNLHA_CHECK_FULLCRC);
    if (bool(UnlhaCheckArchive(name, UNLHA_CHECK_HEADERS)) != headers)
        return "check modes 0 and 1 disagree";
    if (sound && !headers)
        return "the full check passes what the header check refuses";
    UnlhaGetFileCount(name);

    std::set<std::string> whole;
    std::set<std::string> bases;
    std::string names;
    if (HARC h = UnlhaOpenArchive(nullptr, name, 0)) {
        char text[600];
        UnlhaGetArcFileName(h, text, sizeof text);
        UnlhaGetArcOriginalSize(h);
        UnlhaGetArcRatio(h);
        UnlhaIsSFXFile(h);
        INDIVIDUALINFO info;
        for (int rc = UnlhaFindFirst(h, "*", &info); rc == 0; rc = UnlhaFindNext(h, &info)) {
            UnlhaGetFileName(h, text, sizeof text);
            UnlhaGetMethod(h, text, sizeof text);
            UnlhaGetWriteTime(h);
            UnlhaGetAttribute(h);
            const std::string path(info.fileName);
            // The library writes what follows the last "/" or drive ":".
            const std::string base = path.substr(path.find_last_of("/:") + 1);
            // A classic Mac member's CRC covers the MacBinary header written with it.
            const std::string crc =
                info.osType == UNLHA_OS_MACOS ? "mac" : std::to_string(info.crc);
            whole.insert(std::to_string(info.originalSize) + ' ' + crc + ' ' + base);
            bases.insert(base);
            names += (names.empty() ? "" : ", ") + path;
        }
        UnlhaCloseArchive(h);
    }

    const int rc = Unlha(nullptr, ("e \"" + archive + "\" \"" + dest + "\"").c_str(), nullptr, 0);
    char code[16];
    std::snprintf(code, sizeof code, "%x", unsigned(rc));
    *summary = std::string(sound     ? "sound"
                           : headers ? "bad data"
                                     : "bad headers") +
               ": " + names + " -> " + code + ": " + joined(entries(dest));
    if (sound && rc != 0 && rc != UNLHA_ERROR_NOT_FILENAME)
        return "a sound archive does not extract";
    std::string fault = checkAndEmpty(outer, whole);
    for (const std::string& base : bases) {
        if (!fault.empty())
            break;
        if (base.find('"') != std::string::npos)
            continue;  // cannot be quoted on a command line
        char report[256];
        const std::string one = "e -l0 -n1 \"" + archive + "\" \"" + dest + "\" \"" + base + "\"";
        Unlha(nullptr, one.c_str(), report, sizeof report);
        fault = checkAndEmpty(outer, whole);
    }
    return fault;
}

}  // namespace kordel::fuzz

namespace {
std::string scratch;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/dev/shm/kordel-fuzz-unlha-XXXXXX";
    if (!mkdtemp(folder))
        std::abort();
    scratch = folder;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = scratch + ".lzh";
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || write(fd, data, size) != ssize_t(size) || close(fd) != 0) {
        std::fprintf(stderr, "unlha32: cannot write the input file\n");
        std::abort();
    }
    std::string summary;
    const std::string fault = kordel::fuzz::runArchive(path, scratch, &summary);
    if (!fault.empty()) {
        std::fprintf(stderr, "unlha32: %s (%s)\n", fault.c_str(), summary.c_str());
        std::abort();
    }
    return 0;
}
