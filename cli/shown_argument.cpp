#include "cli/shown_argument.h"

#include <cstdio>

namespace cli {

std::string ShownArgument(const std::string& word) {
    bool plain = !word.empty(), control = false;
    for (unsigned char c : word) {
        if (c < 0x20 || c == 0x7F) control = true;
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c >= 0x80 || c == '_' || c == '-' || c == '.' ||
                          c == '/' || c == ':' || c == ',' || c == '+' || c == '@' || c == '%' ||
                          c == '=';
        plain &= safe;
    }
    if (plain && word[0] != '-' && word[0] != '=') return word;
    std::string quoted;
    if (!control) {
        // Inside single quotes only the quote itself needs care.
        for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return "'" + quoted + "'";
    }
    // A terminal shows no raw control character, and the shell reads $'...' back to the same
    // bytes.
    for (unsigned char c : word) {
        char hex[8];
        if (c < 0x20 || c == 0x7F || c == '\'' || c == '\\') {
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            quoted += hex;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return "$'" + quoted + "'";
}

}  // namespace cli
