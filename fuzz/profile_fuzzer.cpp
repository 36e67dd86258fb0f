// Feeds arbitrary files to the settings-file parser as the program uses it: the
// file is loaded and every key the windows read is read; the keys the main
// window writes on closing are written, the file saved and loaded again, and
// every written value must read back unchanged. Keys and lines the program does
// not know must not disturb that.
#include <fcntl.h>
#include <unistd.h>

#include <QList>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "profile_file.h"
#include "settings.h"

using namespace kordel;

namespace {

std::string path;

QList<int> valuesOf(const MainSettings& m, const CatalogueSettings& c) {
    return {m.top,
            m.left,
            m.width,
            m.height,
            m.dirWidth,
            m.dirHeight,
            m.vpHeight,
            m.viewStyle,
            m.columnWidths[0],
            m.columnWidths[1],
            m.columnWidths[2],
            m.columnWidths[3],
            m.disp,
            m.timer,
            m.lzhIcon,
            m.jpegOpt,
            m.sortOpt,
            m.actOpt,
            m.hyouji,
            m.selIndex,
            m.toolBar,
            m.driveTab,
            m.dirTree,
            m.listView,
            c.top,
            c.left,
            c.width,
            c.height,
            c.picX,
            c.picY};
}

void fail(const char* what) {
    std::fprintf(stderr, "profile: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    path = "/dev/shm/kordel-fuzz-profile-" + std::to_string(getpid()) + ".ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || write(fd, data, size) != ssize_t(size) || close(fd) != 0)
        fail("cannot write the input file");
    const QString file = QString::fromStdString(path);
    const ProfileFile loaded(file);
    MainSettings main = readMainSettings(loaded);
    CatalogueSettings catalogue = readCatalogueSettings(loaded);
    // New values, so that every key is really replaced or added; the extremes
    // of the number format among them.
    main.top = INT32_MIN;
    main.left = INT32_MAX;
    main.timer = int(size);
    main.jpegOpt = !main.jpegOpt;
    catalogue.picX = size > 0 ? -int(data[0]) : 1;
    ProfileFile written(file);
    writeAllSettings(written, main, catalogue);
    if (!written.save())
        fail("cannot save");
    const ProfileFile again(file);
    if (valuesOf(readMainSettings(again), readCatalogueSettings(again)) !=
        valuesOf(main, catalogue))
        fail("a written key does not read back");
    return 0;
}
