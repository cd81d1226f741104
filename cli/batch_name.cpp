#include "cli/batch_name.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace cli {
namespace {

// Wide enough for any int; a wider field would only pad every name alike.
constexpr int kMaxWidth = 10;
constexpr size_t kMaxNameLength = 200;

// What a name may not hold: folder separators, what Windows refuses in a name, the backslash
// and the line ends that sha256sum -c would read as an escaped name or as a line of its own.
bool UnsafeCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr;
}

// A % before two hexadecimal digits: in a bag's manifest the name is written with the % encoded,
// which most bag readers (the reference validator among them) do not decode, and a % left as
// it is would read as the character it encodes.
bool LooksEncoded(const std::string& name) {
    for (size_t at = name.find('%'); at != std::string::npos; at = name.find('%', at + 1))
        if (at + 2 < name.size() && std::isxdigit(static_cast<unsigned char>(name[at + 1])) &&
            std::isxdigit(static_cast<unsigned char>(name[at + 2])))
            return true;
    return false;
}

constexpr const char* kEncodedWhy =
    "a % before two hexadecimal digits, which a bag's readers disagree on";

bool Fixed(const std::string& text, std::string* why) {
    for (char c : text) {
        if (c == '{' || c == '}') {
            *why = "only one {n} may stand in it";
            return false;
        }
        if (UnsafeCharacter(c)) {
            *why = "a name may not hold control characters or any of / \\ : * ? \" < > |";
            return false;
        }
    }
    return true;
}

}  // namespace

bool CheckNamePattern(const std::string& pattern, std::string* why) {
    const size_t open = pattern.find("{n");
    const size_t close = open == std::string::npos ? open : pattern.find('}', open);
    if (close == std::string::npos) {
        *why = "it must hold {n} or {n:0W}";
        return false;
    }
    const std::string format = pattern.substr(open + 2, close - open - 2);
    if (!format.empty()) {
        const bool digits = format.size() >= 2 && format[0] == ':' &&
                            format.find_first_not_of("0123456789", 1) == std::string::npos;
        // The width's digits, a leading zero aside, make a number of at most two digits.
        const size_t first = format.size() > 2 && format[1] == '0' ? 2 : 1;
        if (!digits || format.size() - first > 2 || std::atoi(format.c_str() + first) > kMaxWidth) {
            *why = "the number's form must be {n}, {n:W} or {n:0W} with W at most " +
                   std::to_string(kMaxWidth);
            return false;
        }
    }
    const std::string before = pattern.substr(0, open), after = pattern.substr(close + 1);
    if (!Fixed(before, why) || !Fixed(after, why)) return false;
    if (!before.empty() && (before[0] == '.' || before[0] == ' ')) {
        *why =
            "a name may not begin with a space or a dot (names beginning with a dot are the "
            "batch's own unfinished files)";
        return false;
    }
    // Any number counts, so a number of two digits stands in for all of them.
    if (LooksEncoded(before + "00" + after)) {
        *why = std::string("a name may not hold ") + kEncodedWhy;
        return false;
    }
    if (before.size() + after.size() > kMaxNameLength) {
        *why = "it is too long";
        return false;
    }
    return true;
}

std::string NameFor(const std::string& pattern, int n) {
    const size_t open = pattern.find("{n");
    const size_t close = pattern.find('}', open);
    const std::string format = pattern.substr(open + 2, close - open - 2);
    int width = 0;
    bool zeros = false;
    if (!format.empty()) {
        zeros = format.size() > 2 && format[1] == '0';
        width = std::atoi(format.c_str() + 1);
    }
    char number[32];
    std::snprintf(number, sizeof number, zeros ? "%0*d" : "%*d", width, n);
    return pattern.substr(0, open) + number + pattern.substr(close + 1);
}

bool CheckDisketteName(const std::string& name, std::string* why) {
    if (name.empty()) {
        *why = "a diskette's name cannot be empty";
        return false;
    }
    // Hidden names are the batch's own; Windows drops a dot or space at a name's end.
    if (name[0] == '.' || name[0] == ' ' || name.back() == '.' || name.back() == ' ') {
        *why = "a diskette's name may not begin with a dot or a space, nor end with one";
        return false;
    }
    if (name.size() > kMaxNameLength + 12) {
        *why = "a diskette's name may be at most " + std::to_string(kMaxNameLength + 12) +
               " bytes long";
        return false;
    }
    for (char c : name)
        if (UnsafeCharacter(c) || c == '{' || c == '}') {
            *why =
                "a diskette's name may not hold control characters or any of / \\ : * ? \" "
                "< > | { }";
            return false;
        }
    if (LooksEncoded(name)) {
        *why = std::string("a diskette's name may not hold ") + kEncodedWhy;
        return false;
    }
    return true;
}

}  // namespace cli
