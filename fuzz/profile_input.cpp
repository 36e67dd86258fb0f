// The settings-file parser as the program uses it: the file is loaded and every
// key the windows read is read; the keys the main window writes on closing are
// written, the file saved and loaded again, and every written value must read back
// unchanged. Keys and lines the program does not know must not disturb that.
#include <fcntl.h>
#include <unistd.h>

#include <QList>
#include <QString>
#include <climits>

#include "fuzz_input.h"
#include "profile_file.h"
#include "settings.h"

namespace kordel::fuzz {

namespace {

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

}  // namespace

std::string runProfile(const QString& file, const uint8_t* data, size_t size) {
    const int fd = open(file.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || write(fd, data, size) != ssize_t(size) || close(fd) != 0)
        return "cannot write the input file";
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
        return "cannot save";
    const ProfileFile again(file);
    if (valuesOf(readMainSettings(again), readCatalogueSettings(again)) !=
        valuesOf(main, catalogue))
        return "a written key does not read back";
    return {};
}

}  // namespace kordel::fuzz
