#include "cli/json_output.h"

#include <nlohmann/json.hpp>

namespace cli {
namespace {

std::string Dump(const Json& document, int indent) {
    // ensure_ascii off: UTF-8 text is written as it is, not as \u escapes.
    return document.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string OneLineJson(const Json& document) {
    return Dump(document, -1);
}

std::string PrettyJson(const Json& document) {
    return Dump(document, 2);
}

}  // namespace cli
