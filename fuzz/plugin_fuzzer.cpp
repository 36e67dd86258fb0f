// Feeds arbitrary files to one decoder plug-in through its C interface, as the
// program does (fuzz_input.h says what is checked).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"

namespace {

kordel::fuzz::Plugin plugin;
std::string path;

void failOn(const std::string& fault) {
    if (fault.empty())
        return;
    std::fprintf(stderr, "%s: %s\n", KORDEL_FUZZ_PLUGIN, fault.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    failOn(kordel::fuzz::openPlugin(KORDEL_BIN_DIR "/" KORDEL_FUZZ_PLUGIN, plugin));
    path = "/dev/shm/kordel-fuzz-" + std::to_string(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    failOn(kordel::fuzz::runPlugin(plugin, path, data, size));
    return 0;
}
