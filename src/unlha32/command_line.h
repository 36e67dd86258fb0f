// Command lines and search patterns: blank-separated arguments with double quotes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "name_text.h"

namespace kordel::unlha {

struct Argument {
    std::string text;          // quotes removed
    std::vector<bool> quoted;  // per byte of text: it stood inside quotes
    bool anyQuoted = false;
};

// Splits at blanks (space, tab, line breaks) outside double quotes. A quote may
// open and close anywhere inside an argument; "" gives an empty argument, and
// inside quotes a doubled quote gives one quote character. Fails on a quote that
// is never closed.
bool splitArguments(std::string_view line, std::vector<Argument>* out);

// A search pattern from an argument: unquoted "*" and "?" are wildcards.
Pattern toPattern(const Argument& arg);

}  // namespace kordel::unlha
