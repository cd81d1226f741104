#include "cli/listing_names.h"

#include <cstdio>

namespace cli {

namespace {

// The code point of the sequence at text[at], and its length; length 0 when the bytes there are
// no UTF-8. Half a pair (ED A0..BF xx) is decoded, for the caller to tell apart.
char32_t Decode(const std::string& text, size_t at, size_t* length) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    *length = 0;
    if (lead < 0x80) {
        *length = 1;
        return lead;
    }
    size_t n;
    char32_t code;
    char32_t least;
    if ((lead & 0xE0) == 0xC0) {
        n = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        n = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        n = 4, code = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + n > text.size()) return 0;
    for (size_t i = 1; i < n; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < least || code > 0x10FFFF) return 0;
    *length = n;
    return code;
}

bool IsHalfPair(char32_t code) {
    return code >= 0xD800 && code <= 0xDFFF;
}

std::string Escaped(const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void AppendUtf8(char32_t code, std::string* out) {
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

std::string VisibleName(const std::string& name) {
    std::string out;
    for (size_t at = 0; at < name.size();) {
        size_t length;
        const char32_t code = Decode(name, at, &length);
        if (length == 0) {
            out += Escaped("\\x%02x", static_cast<unsigned char>(name[at]));
            ++at;
            continue;
        }
        if (code < 0x20 || code == 0x7F) {
            out += Escaped("\\x%02x", static_cast<unsigned>(code));
        } else if ((code >= 0x80 && code <= 0x9F) || IsHalfPair(code) || code == 0xFFFE ||
                   code == 0xFFFF) {
            // XML cannot carry U+FFFE and U+FFFF either.
            out += Escaped(IsHalfPair(code) ? "\\u%04X" : "\\u%04x", static_cast<unsigned>(code));
        } else if (code == '\\') {
            out += "\\\\";
        } else {
            out.append(name, at, length);
        }
        at += length;
    }
    return out;
}

bool IsUtf8(const std::string& name) {
    for (size_t at = 0; at < name.size();) {
        size_t length;
        const char32_t code = Decode(name, at, &length);
        if (length == 0 || IsHalfPair(code)) return false;
        at += length;
    }
    return true;
}

std::string HexBytes(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 0x0F];
    }
    return hex;
}

std::string Utf16Name(const std::vector<std::uint16_t>& units) {
    std::string out;
    for (size_t i = 0; i < units.size() && units[i] != 0; ++i) {
        const char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00), &out);
            ++i;
        } else {
            AppendUtf8(unit, &out);  // a half pair too, in its three-byte form
        }
    }
    return out;
}

}  // namespace cli
