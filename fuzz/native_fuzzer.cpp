// Feeds arbitrary files of one native kind (BMP, ICO, WMF or EMF) to the shared
// decode routine (fuzz_input.h says what is checked).
#include <unistd.h>

#include <QGuiApplication>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"

namespace {

QString path;

}  // namespace

// fontconfig keeps its configuration to the end of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(*argc, *argv);
    path = QStringLiteral("/dev/shm/kordel-fuzz-%1" KORDEL_FUZZ_EXTENSION).arg(getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string fault = kordel::fuzz::runNative(path, data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
