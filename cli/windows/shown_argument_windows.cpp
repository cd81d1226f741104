#include "cli/shown_argument.h"

namespace cli {

// cmd.exe and PowerShell both take a double-quoted word whole; a double quote cannot be in a
// Windows path, and a control character is shown as a space rather than sent to the console.
std::string ShownArgument(const std::string& word) {
    bool plain = !word.empty();
    std::string shown;
    for (unsigned char c : word) {
        if (c < 0x20 || c == 0x7F) c = ' ';
        if (c == ' ' || c == '&' || c == '|' || c == '^' || c == '<' || c == '>' || c == '(' ||
            c == ')' || c == '%' || c == '!' || c == ';' || c == ',' || c == '\'' || c == '`' ||
            c == '$' || c == '"')
            plain = false;
        if (c != '"') shown += static_cast<char>(c);
    }
    return plain ? shown : "\"" + shown + "\"";
}

}  // namespace cli
