// The tool's JSON documents: one object a line, keys in their order, numbers as numbers, and
// names of any bytes written as valid UTF-8 instead of making the tool fail.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli/batch_record.h"
#include "cli/json_output.h"
#include "tests/cli/cli_fixtures.h"
#include "tests/support/facility.h"

namespace {

using nlohmann::ordered_json;

// What a Linux file name may hold and UTF-8 may not: a lone continuation byte, a sequence cut
// short, an overlong one. Each bad sequence becomes U+FFFD; the rest is kept as it is.
const std::string kNotUtf8 = "a\x80 b\xE2\x82 c\xC0\xAF \xC3\xA9";
const std::string kReplaced = "a\xEF\xBF\xBD b\xEF\xBF\xBD c\xEF\xBF\xBD\xEF\xBF\xBD \xC3\xA9";

std::vector<std::string> Keys(const ordered_json& object) {
    std::vector<std::string> keys;
    for (const auto& item : object.items()) keys.push_back(item.key());
    return keys;
}

// Parsing checks what a strict reader does: nlohmann's parser rejects bytes that are no UTF-8.
ordered_json ParseOneLine(const std::string& text) {
    EXPECT_EQ(LineCount(text), 1) << text;
    EXPECT_EQ(text.back(), '\n');
    return ordered_json::parse(text, nullptr, false);
}

TEST(CliJson, BatchLineKeepsItsKeysAndTypesAndAnyNameBecomesValidText) {
    cli::BatchRecord record;
    record.name = kNotUtf8;
    record.message = "said \"no\"\\/\t\r\x01";
    record.unread = 5;
    ordered_json line = ParseOneLine(cli::JsonLine(record));
    ASSERT_FALSE(line.is_discarded()) << cli::JsonLine(record);
    EXPECT_EQ(Keys(line), (std::vector<std::string>{
                              "name",       "image",         "started",           "ended",
                              "format",     "result",        "unreadableSectors", "untriedSectors",
                              "verify",     "contentHashes", "sameContentAs",     "message",
                              "identifier", "labelText",     "operator",          "note",
                              "driveKind",  "driveSerial",   "geometry",          "imageKind"}));
    EXPECT_EQ(line["name"], kReplaced);
    EXPECT_EQ(line["message"], record.message);
    EXPECT_EQ(line["unreadableSectors"], 5);
    EXPECT_TRUE(line["untriedSectors"].is_number_integer());
    EXPECT_EQ(line["contentHashes"], ordered_json::object());

    record.content = {{"sha256", "ab"}, {"md5", "cd"}};
    line = ParseOneLine(cli::JsonLine(record));
    EXPECT_EQ(Keys(line["contentHashes"]), (std::vector<std::string>{"md5", "sha256"}));
    EXPECT_NE(cli::PrettyJson(line).find("\n  \"name\": "), std::string::npos);
}

TEST(CliJson, InfoOfAnImageNamedWithAnyBytesIsOneValidObject) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    ASSERT_TRUE(MakeFloppyImage(dir / "original.raw", kFloppyFormats[4]));
    const std::string image = dir / kNotUtf8;
    ASSERT_EQ(RunTool({"-q", "compress", dir / "original.raw", image}).exitCode, 0);

    ToolResult r = RunTool({"info", image, "--json", "--map", "--hash", "md5,sha256"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ordered_json info = ParseOneLine(r.out);
    ASSERT_FALSE(info.is_discarded()) << r.out;
    EXPECT_EQ(info["path"], dir / kReplaced);
    EXPECT_EQ(Keys(info), (std::vector<std::string>{
                              "path", "size", "complete", "wellFormed", "problem", "format",
                              "compression", "records", "encodings", "uncompressedSize", "ratio",
                              "trailingBytes", "badRecord", "map", "contentHashes"}));
    EXPECT_TRUE(info["problem"].is_null());
    EXPECT_EQ(info["size"], SizeOf(image));
    // Four decimals, a number: the text is the rounded decimal itself.
    EXPECT_TRUE(info["ratio"].is_number_float());
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, ",\"ratio\":%.4f",
                  static_cast<double>(SizeOf(image)) / info["uncompressedSize"].get<double>());
    std::string shortest = ratio;
    while (shortest.back() == '0') shortest.pop_back();
    if (shortest.back() == '.') shortest += '0';
    EXPECT_NE(r.out.find(shortest + ","), std::string::npos) << r.out;
    EXPECT_EQ(info["map"]["heads"].size(), 2u);
    EXPECT_EQ(Keys(info["contentHashes"]), (std::vector<std::string>{"md5", "sha256"}));
}

}  // namespace
