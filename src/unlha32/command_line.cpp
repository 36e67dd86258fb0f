#include "command_line.h"

namespace kordel::unlha {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

bool splitArguments(std::string_view line, std::vector<Argument>* out) {
    out->clear();
    size_t i = 0;
    while (true) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i >= line.size())
            return true;
        Argument arg;
        bool inQuotes = false;
        for (; i < line.size() && (inQuotes || !isBlank(line[i])); ++i) {
            if (line[i] == '"') {
                // Inside quotes a doubled quote stands for one quote character.
                if (inQuotes && i + 1 < line.size() && line[i + 1] == '"') {
                    arg.text += '"';
                    arg.quoted.push_back(true);
                    ++i;
                    continue;
                }
                inQuotes = !inQuotes;
                arg.anyQuoted = true;
                continue;
            }
            arg.text += line[i];
            arg.quoted.push_back(inQuotes);
        }
        if (inQuotes)
            return false;
        out->push_back(std::move(arg));
    }
}

Pattern toPattern(const Argument& arg) {
    Pattern p;
    const std::string_view s = arg.text;
    for (size_t i = 0; i < s.size();) {
        // Decode one character; its quoting is that of its first byte.
        size_t len = 1;
        const auto b = static_cast<unsigned char>(s[i]);
        if (b >= 0xC0)
            len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        if (i + len > s.size())
            len = s.size() - i;
        const std::u32string c = decodeUtf8(s.substr(i, len));
        const bool quoted = arg.quoted[i];
        for (char32_t ch : c)
            p.push_back({ch, !quoted && (ch == U'*' || ch == U'?')});
        i += len;
    }
    return p;
}

}  // namespace kordel::unlha
