// Writing one member into a folder, safely.
#pragma once

#include "lzh_archive.h"

namespace kordel::unlha {

// Writes member m of archive a under its base name into the folder open as
// folderFd. Nothing outside that folder is touched: the stored path is
// ignored, the data goes to a fresh hidden file that is renamed over the
// target only after length and CRC matched (a link planted at the target is
// replaced, never followed), and a failed attempt leaves nothing behind.
// Returns 0 or an UNLHA_ERROR_* code.
int extractToFolder(Archive& a, const Member& m, int folderFd);

}  // namespace kordel::unlha
