// One input through one decoder, as the program runs it: shared by the fuzz targets
// and the regression test that replays the saved inputs of fuzz/corpus. Each run
// answers what went wrong, empty when the decoder behaved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "spi.h"

class QString;

namespace kordel::fuzz {

struct Plugin {
    SpiIsSupported isSupported = nullptr;
    SpiGetPictureInfo getPictureInfo = nullptr;
    SpiGetPicture getPicture = nullptr;
    SpiGetPicture getPreview = nullptr;  // optional
};

// Loads a plug-in module and its entry points; the error text, empty on success.
std::string openPlugin(const std::string& module, Plugin& plugin);

// Writes the input to `path` (decoders read files) and hands it to every entry point.
// Each delivered picture is read to its last byte, so that a block smaller than its
// header says shows under the address sanitizer, and must agree with the info.
std::string runPlugin(const Plugin& plugin,
                      const std::string& path,
                      const uint8_t* data,
                      size_t size);

// Writes the input to `path`, whose extension picks the native kind, decodes it
// through the shared decode routine and draws the result, stretched as the viewer
// draws thumbnails and at its stored size.
std::string runNative(const QString& path, const uint8_t* data, size_t size);

// Writes the input to `path` as the settings file and reads, writes, saves and reads
// back every key the program keeps there.
std::string runProfile(const QString& path, const uint8_t* data, size_t size);

}  // namespace kordel::fuzz
