#include "cli/json_output.h"

#include <nlohmann/json.hpp>

namespace cli {
namespace {

std::string Dump(const Json& document, int indent) {
    // ensure_ascii off: UTF-8 text is written as it is, not as \u escapes.
    std::string text = document.dump(indent, ' ', false, Json::error_handler_t::replace);
    // Except DEL, which a terminal may act on: outside strings the document is printable ASCII,
    // so every DEL is inside one.
    std::string out;
    out.reserve(text.size() + 1);
    for (char c : text) {
        if (c == '\x7f')
            out += "\\u007f";
        else
            out += c;
    }
    return out + "\n";
}

}  // namespace

std::string OneLineJson(const Json& document) {
    return Dump(document, -1);
}

std::string PrettyJson(const Json& document) {
    return Dump(document, 2);
}

}  // namespace cli
