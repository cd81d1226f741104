#include "cli/console_text.h"

#include <cstdio>

namespace cli {

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string WithThousands(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

std::string Duration(double seconds) {
    char text[32];
    if (seconds < 60)
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    else
        std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds) / 60,
                      static_cast<int>(seconds) % 60);
    return text;
}

std::string Percent(long long part, long long whole) {
    if (whole == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%",
                  100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

}  // namespace cli
