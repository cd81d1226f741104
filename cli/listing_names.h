// The names on a diskette are whatever bytes its folders hold: an escape sequence, a line break,
// half of a UTF-16 pair, bytes that are no UTF-8. These turn them into text each output can
// carry, without two different names ending up alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// The name for a person (and for XML, which cannot carry control characters at all): each
// control character (C0, DEL, C1) as \x1b or \u009b, a byte that is no UTF-8 as \xff, half a
// UTF-16 pair (held as its three-byte form) as \uD800, and a backslash as \\. Plain names, which
// have none of these, come back as they are.
std::string VisibleName(const std::string& name);

// True when the name is UTF-8 through and through (no half pairs), so JSON carries it exactly.
bool IsUtf8(const std::string& name);

// The bytes as lowercase hexadecimal, two digits each: "611b62".
std::string HexBytes(const std::string& bytes);

// A long name's UTF-16 code units as UTF-8, up to the first 0; half of a pair is kept in its
// three-byte form (ED A0 80 for D800) rather than dropped, so "a\uD800b" stays apart from "a".
std::string Utf16Name(const std::vector<std::uint16_t>& units);

}  // namespace cli
