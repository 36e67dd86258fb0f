// A settings file in the classic private-profile text format:
//
//   [Section]
//   Key=Value
//
// Sections and keys compare case-insensitively (ASCII), values are trimmed,
// a key that is written again is replaced where it stands, and a new key or
// section is appended. Lines the program does not know are kept as they are.
// Changes are held in memory and written in one go by save(), through a
// temporary file that replaces the old one, so a failed write never leaves a
// half-written file behind.
#pragma once

#include <QString>
#include <QStringList>

namespace kordel {

class ProfileFile {
public:
    explicit ProfileFile(const QString& path);

    const QString& path() const { return path_; }
    // Whether the file existed when it was loaded.
    bool existed() const { return existed_; }

    // Value of the key, trimmed and cut to 1023 characters; `fallback` when the key is absent.
    QString readString(const QString& section,
                       const QString& key,
                       const QString& fallback = QString()) const;
    // Integer in decimal, "0x"/"$" hexadecimal; `fallback` when absent or not a number.
    int readInteger(const QString& section, const QString& key, int fallback) const;
    // Any number but 0 is true.
    bool readBool(const QString& section, const QString& key, bool fallback) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);

    // Writes the file; false when it cannot be written (the old file stays as it was).
    bool save();
    // Whether save() would have something to write.
    bool isModified() const { return modified_; }

private:
    int findSection(const QString& section) const;           // index of the "[...]" line, or -1
    int sectionEnd(int sectionLine) const;                   // index after the section's last line
    int findKey(int sectionLine, const QString& key) const;  // line index, or -1

    QString path_;
    QStringList lines_;
    bool existed_ = false;
    bool modified_ = false;
    bool crlf_ = false;
    bool latin1_ = false;  // held byte for byte: the file was not UTF-8
};

// Converts profile text to an integer as the profile reader does: text longer
// than two characters that starts with "0x" or "0X" is hexadecimal; otherwise
// an optionally signed decimal number, or hexadecimal after a "$". Anything
// else, including empty text and values outside 32 bits, gives `fallback`.
int parseProfileInteger(const QString& text, int fallback);

}  // namespace kordel
