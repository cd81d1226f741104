// JSON documents as the tool prints them: built as nlohmann's ordered_json (keys stay in the
// order they are set), written out here under one policy for text that is not UTF-8.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>

namespace cli {

using Json = nlohmann::ordered_json;

// File names and the system's messages can be any bytes: each sequence that is not UTF-8 is
// written as U+FFFD, so the document stays valid JSON and writing it never throws. Control
// characters, DEL among them, are written as \u escapes.
// The document on one line, with its newline: the framing of batch --json and info --json.
std::string OneLineJson(const Json& document);
// Indented by two spaces, with a final newline, for documents a person reads.
std::string PrettyJson(const Json& document);

}  // namespace cli
