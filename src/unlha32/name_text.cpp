#include "name_text.h"

#include <locale.h>
#include <wctype.h>

#include <cerrno>

namespace kordel::unlha {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the UTF-8 sequence at s[i], or 0 when it is broken.
size_t utf8SequenceLength(std::string_view s, size_t i, char32_t* out) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        *out = b0;
        return 1;
    }
    size_t len;
    char32_t c;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    *out = c;
    return len;
}

bool isSjisLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isSjisTrail(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

bool isSeparator(unsigned char b) {
    return b == '\\' || b == '/' || b == 0xFF;
}

// Immutable once made; towlower_l needs a locale with Unicode case tables. It is
// released when the library is unloaded.
struct Utf8Locale {
    locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    ~Utf8Locale() {
        if (loc)
            freelocale(loc);
    }
};

locale_t utf8Locale() {
    static const Utf8Locale holder;
    return holder.loc;
}

}  // namespace

bool isValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        char32_t c;
        const size_t n = utf8SequenceLength(s, i, &c);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

std::u32string decodeUtf8(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t c;
        const size_t n = utf8SequenceLength(s, i, &c);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else {
            out += c;
            i += n;
        }
    }
    return out;
}

std::string_view truncateUtf8(std::string_view s, size_t maxBytes) {
    if (s.size() <= maxBytes)
        return s;
    size_t end = maxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

char32_t foldCase(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (const locale_t loc = utf8Locale())
        return char32_t(towlower_l(wint_t(c), loc));
    return c;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    const std::u32string x = decodeUtf8(a);
    const std::u32string y = decodeUtf8(b);
    if (x.size() != y.size())
        return false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (foldCase(x[i]) != foldCase(y[i]))
            return false;
    }
    return true;
}

Cp932Decoder::Cp932Decoder() {
    cd_ = iconv_open("UTF-8", "CP932");
    if (cd_ == iconv_t(-1))
        cd_ = iconv_open("UTF-8", "SHIFT_JIS");
}

Cp932Decoder::~Cp932Decoder() {
    if (cd_ != iconv_t(-1))
        iconv_close(cd_);
}

bool isSjisPair(std::string_view s, size_t i) {
    return i + 1 < s.size() && isSjisLead(static_cast<unsigned char>(s[i])) &&
           isSjisTrail(static_cast<unsigned char>(s[i + 1]));
}

std::string Cp932Decoder::toUtf8(std::string_view sjis) {
    std::string out;
    out.reserve(sjis.size() * 3 / 2);
    for (size_t i = 0; i < sjis.size();) {
        const auto b = static_cast<unsigned char>(sjis[i]);
        if (b < 0x80) {
            out += char(b);
            ++i;
            continue;
        }
        // Convert one character at a time so a bad one costs only itself.
        const size_t len = isSjisPair(sjis, i) ? 2 : 1;
        bool done = false;
        if (cd_ != iconv_t(-1)) {
            char in[2] = {sjis[i], len == 2 ? sjis[i + 1] : '\0'};
            char buf[8];
            char* inPtr = in;
            size_t inLeft = len;
            char* outPtr = buf;
            size_t outLeft = sizeof buf;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) != size_t(-1) && inLeft == 0 &&
                outPtr != buf) {
                out.append(buf, size_t(outPtr - buf));
                done = true;
            }
        }
        if (!done)
            appendUtf8(out, kReplacement);
        i += len;
    }
    return out;
}

std::vector<std::string> splitStoredName(std::string_view raw, bool sjisAware) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < raw.size();) {
        if (sjisAware && isSjisPair(raw, i)) {
            parts.back().append(raw.substr(i, 2));
            i += 2;
        } else if (isSeparator(static_cast<unsigned char>(raw[i]))) {
            parts.emplace_back();
            ++i;
        } else {
            parts.back() += raw[i];
            ++i;
        }
    }
    return parts;
}

namespace {

int hexDigit(char c) {
    const size_t i = std::string_view("0123456789abcdef").find(c >= 'A' && c <= 'F' ? c + 32 : c);
    return i == std::string_view::npos ? -1 : int(i);
}

// LHa for UNIX can store bytes above 0x7F as ":" and two hex digits (the "CAP"
// encoding, ":93:fa" for a Shift-JIS pair). A ":" not followed so stays.
std::string decodeCap(std::string_view f) {
    std::string out;
    for (size_t i = 0; i < f.size(); ++i) {
        const int hi = i + 2 < f.size() && f[i] == ':' ? hexDigit(f[i + 1]) : -1;
        const int lo = hi >= 8 ? hexDigit(f[i + 2]) : -1;
        if (lo >= 0) {
            out += char(hi * 16 + lo);
            i += 2;
        } else {
            out += f[i];
        }
    }
    return out;
}

}  // namespace

std::string decodeStoredPath(const std::vector<std::string_view>& fields, Cp932Decoder& sjis) {
    std::vector<std::string> cut;
    bool utf8 = true;
    for (std::string_view field : fields) {
        const size_t zero = field.find('\0');
        if (zero != std::string_view::npos)
            field = field.substr(0, zero);
        cut.push_back(decodeCap(field));
        const std::string_view f = cut.back();
        // 0xFF separates folders in extended headers and is never part of a
        // character, so it does not count against UTF-8.
        size_t start = 0;
        while (utf8 && start <= f.size()) {
            size_t end = f.find('\xFF', start);
            if (end == std::string_view::npos)
                end = f.size();
            utf8 = isValidUtf8(f.substr(start, end - start));
            start = end + 1;
        }
    }
    std::string path;
    for (const std::string& f : cut) {
        for (std::string& part : splitStoredName(f, !utf8)) {
            if (part.empty() || part == ".")
                continue;
            if (!path.empty())
                path += '/';
            path += utf8 ? part : sjis.toUtf8(part);
        }
    }
    return path;
}

std::string_view baseNameOf(std::string_view path) {
    const size_t cut = path.find_last_of("/:");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool isUsableFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

bool hasWildcard(const Pattern& p) {
    for (const PatternChar& c : p) {
        if (c.wildcard)
            return true;
    }
    return false;
}

bool containsSlash(const Pattern& p) {
    for (const PatternChar& c : p) {
        if (c.c == U'/')
            return true;
    }
    return false;
}

bool matchesPattern(const Pattern& p, std::string_view nameUtf8) {
    if (p.size() == 3 && p[0].wildcard && p[0].c == U'*' && !p[1].wildcard && p[1].c == U'.' &&
        p[2].wildcard && p[2].c == U'*') {
        return true;
    }
    const std::u32string name = decodeUtf8(nameUtf8);
    const size_t npos = size_t(-1);
    size_t pi = 0;
    size_t ni = 0;
    size_t starP = npos;
    size_t starN = 0;
    while (ni < name.size()) {
        if (pi < p.size() && p[pi].wildcard && p[pi].c == U'*') {
            starP = pi++;
            starN = ni;
            continue;
        }
        if (pi < p.size() && ((p[pi].wildcard && p[pi].c == U'?') ||
                              (!p[pi].wildcard && foldCase(p[pi].c) == foldCase(name[ni])))) {
            ++pi;
            ++ni;
            continue;
        }
        if (starP == npos)
            return false;
        // Let the last "*" swallow one more character and try again.
        pi = starP + 1;
        ni = ++starN;
    }
    while (pi < p.size() && p[pi].wildcard && p[pi].c == U'*')
        ++pi;
    return pi == p.size();
}

}  // namespace kordel::unlha
