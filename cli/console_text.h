// Small text helpers shared by the commands' output.
#pragma once

#include <string>

namespace cli {

// Without the spaces the job's message texts open and close with.
std::string Trim(const std::string& text);
// 1474884 -> "1,474,884".
std::string WithThousands(long long value);
// Seconds as "0.42 s" below a minute, "1:05" above.
std::string Duration(double seconds);
// part / whole as "8.4%"; "-" when whole is 0.
std::string Percent(long long part, long long whole);

}  // namespace cli
