// A library of the archive library's file name that exports only part of its
// entry points, as an outdated or unrelated library of that name might.
#include <cstring>

#include "unlha32.h"

namespace {
int openedArchive;
}

extern "C" {

uint16_t UnlhaGetVersion(void) {
    return 42;
}

HARC UnlhaOpenArchive(void*, const char*, uint32_t) {
    return &openedArchive;
}

int32_t UnlhaCloseArchive(HARC) {
    return 0;
}

int32_t UnlhaFindFirst(HARC, const char*, INDIVIDUALINFO* info) {
    if (info) {
        std::memset(info, 0, sizeof *info);
        std::strcpy(info->fileName, "only.jpg");
    }
    return 0;
}

}  // extern "C"
