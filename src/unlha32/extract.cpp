#include "extract.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "name_text.h"
#include "unlha32.h"

namespace kordel::unlha {

namespace {

int writeErrorCode(int err) {
    return (err == ENOSPC || err == EDQUOT || err == EFBIG) ? UNLHA_ERROR_DISK_SPACE
                                                            : UNLHA_ERROR_CANNOT_WRITE;
}

int writeAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return writeErrorCode(errno);
        }
        p += w;
        n -= size_t(w);
    }
    return 0;
}

// A new, empty file with an unpredictable hidden name in the folder.
int createTemporary(int folderFd, std::string* name) {
    for (int attempt = 0; attempt < 64; ++attempt) {
        uint64_t r = 0;
        if (getrandom(&r, sizeof r, 0) != ssize_t(sizeof r))
            r ^= uint64_t(getpid()) * 0x9E3779B97F4A7C15ull + uint64_t(attempt);
        char buf[40];
        snprintf(buf, sizeof buf, ".unlha-%016llx.tmp", static_cast<unsigned long long>(r));
        const int fd =
            openat(folderFd, buf, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            *name = buf;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

int extractToFolder(Archive& a, const Member& m, int folderFd) {
    if (!m.isFile())
        return UNLHA_ERROR_NOT_FIND_FILE;
    if (!isUsableFileName(m.baseName))
        return UNLHA_ERROR_NOT_FILENAME;

    struct statvfs fs;
    if (fstatvfs(folderFd, &fs) == 0 && fs.f_frsize > 0 &&
        uint64_t(fs.f_bavail) <
            m.originalSize / fs.f_frsize + (m.originalSize % fs.f_frsize != 0 ? 1 : 0)) {
        return UNLHA_ERROR_DISK_SPACE;
    }

    std::string temporary;
    const int fd = createTemporary(folderFd, &temporary);
    if (fd < 0)
        return writeErrorCode(errno);

    int rc =
        a.decode(m, [fd](const uint8_t* data, size_t size) { return writeAll(fd, data, size); });
    if (rc == 0 && m.writeTime > 0) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(m.writeTime), 0}};
        futimens(fd, times);  // the stamp is a courtesy; the data is what counts
    }
    if (close(fd) != 0 && rc == 0)
        rc = writeErrorCode(errno);
    if (rc == 0 && renameat(folderFd, temporary.c_str(), folderFd, m.baseName.c_str()) != 0)
        rc = UNLHA_ERROR_CANNOT_WRITE;
    if (rc != 0)
        unlinkat(folderFd, temporary.c_str(), 0);
    return rc;
}

}  // namespace kordel::unlha
