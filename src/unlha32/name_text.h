// Member names: stored bytes to UTF-8, base names, case-insensitive wildcards.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kordel::unlha {

bool isValidUtf8(std::string_view s);
void appendUtf8(std::string& out, char32_t c);
// Each byte of a broken sequence becomes U+FFFD.
std::u32string decodeUtf8(std::string_view s);
// At most maxBytes of s, never ending inside a character.
std::string_view truncateUtf8(std::string_view s, size_t maxBytes);

char32_t foldCase(char32_t c);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// Shift-JIS (code page 932) to UTF-8; one instance per thread.
class Cp932Decoder {
public:
    Cp932Decoder();
    ~Cp932Decoder();
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;

    // Undecodable bytes become U+FFFD; a two-byte character is never split.
    std::string toUtf8(std::string_view sjis);

private:
    iconv_t cd_;
};

// True for the first byte of a two-byte Shift-JIS character followed by a
// valid second byte at s[i + 1].
bool isSjisPair(std::string_view s, size_t i);

// Splits one stored name field at its folder separators: 0xFF always, "\" and
// "/" too unless (with sjisAware) they are the second byte of a Shift-JIS
// character. Empty elements are kept.
std::vector<std::string> splitStoredName(std::string_view raw, bool sjisAware);

// Joins the raw name fields of a header (folder field first, then the name)
// into one UTF-8 path with "/" between folders. Fields that are all valid
// UTF-8 stay as they are; otherwise every field is read as Shift-JIS. Empty
// and "." elements are dropped; everything from a zero byte on is ignored.
std::string decodeStoredPath(const std::vector<std::string_view>& fields, Cp932Decoder& sjis);

// The last element of a "/" separated path, also cut after a ":" so a drive
// prefix such as "C:" never reaches a file name.
std::string_view baseNameOf(std::string_view path);
// A base name that may be created in a folder: not empty, not "." or "..".
bool isUsableFileName(std::string_view name);

struct PatternChar {
    char32_t c;
    bool wildcard;  // an unquoted "*" or "?"
};
using Pattern = std::vector<PatternChar>;

bool hasWildcard(const Pattern& p);
bool containsSlash(const Pattern& p);
// "*" and "?" where marked as wildcards, everything else compared without case.
// The classic "*.*" matches every name, with or without a dot.
bool matchesPattern(const Pattern& p, std::string_view name);

}  // namespace kordel::unlha
