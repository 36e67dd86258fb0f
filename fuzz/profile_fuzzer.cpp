// Feeds arbitrary files to the settings-file parser (fuzz/profile_input.cpp).
#include <unistd.h>

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"

namespace {
QString path;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    path = QStringLiteral("/dev/shm/kordel-fuzz-profile-%1.ini").arg(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string fault = kordel::fuzz::runProfile(path, data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "profile: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
