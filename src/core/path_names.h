// File-name helpers that work on the bytes of a name.
#pragma once

#include <QByteArray>
#include <QString>

namespace kordel {

enum class NameEncoding {
    Utf8,     // names of this platform: "/" separates folders
    ShiftJis  // names stored by older programs: "\" and ":" separate, and a
              // trail byte of a double-byte character is never a separator or a dot
};

// Whether a byte starts a two-byte Shift-JIS character.
constexpr bool isShiftJisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

// The extension of a name: from its last dot after the last separator, the
// dot included, upper-cased in ASCII only; empty when there is no such dot.
QByteArray fileExtension(const QByteArray& name, NameEncoding encoding = NameEncoding::Utf8);
// The same for a name as text, through its UTF-8 bytes.
QByteArray fileExtension(const QString& name);

// Whether a folder is where the desktop's trash keeps trashed files: "Trash/files"
// under the user's data folder `dataHome`, or a volume's ".Trash-<uid>/files" or
// ".Trash/<uid>/files" for the user `uid`.
bool isTrashFilesFolder(const QString& folder, const QString& dataHome, uint uid);

}  // namespace kordel
