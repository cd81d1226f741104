// files IMAGE against the file walker of Debian's sleuthkit package on the same diskettes, and
// the damage a real rescue's map shows: sectors a faulty drive would not give, placed inside a
// known file, in the FAT and in free space.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "tests/cli/rescue_fixtures.h"

namespace {

struct WalkedFile {
    long long size = -1;
    bool allocated = false;
    std::string md5, sha1;
    long long firstOffset = -1;
    bool operator==(const WalkedFile& o) const {
        return size == o.size && allocated == o.allocated && md5 == o.md5 && sha1 == o.sha1;
    }
    friend void PrintTo(const WalkedFile& f, std::ostream* out) {
        *out << f.size << (f.allocated ? " alloc " : " unalloc ") << f.md5 << " " << f.sha1;
    }
};

std::string Child(xmlNode* node, const char* name) {
    for (xmlNode* c = node->children; c; c = c->next) {
        if (c->type != XML_ELEMENT_NODE || xmlStrcmp(c->name, BAD_CAST name) != 0) continue;
        xmlChar* text = xmlNodeGetContent(c);
        std::string value = reinterpret_cast<const char*>(text);
        xmlFree(text);
        return value;
    }
    return {};
}

// The fileobjects of a DFXML document by name, less the walker's own entries ($MBR, $FAT1,
// $FAT2, $OrphanFiles and the folders' "." and ".."). Fails the test when it is not XML.
std::map<std::string, WalkedFile> DfxmlFiles(const std::string& xml) {
    std::map<std::string, WalkedFile> files;
    xmlDoc* doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "listing.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOWARNING);
    if (!doc) {
        ADD_FAILURE() << "not well-formed XML:\n" << xml.substr(0, 2000);
        return files;
    }
    std::function<void(xmlNode*)> visit = [&](xmlNode* node) {
        for (xmlNode* n = node; n; n = n->next) {
            if (n->type != XML_ELEMENT_NODE) continue;
            if (xmlStrcmp(n->name, BAD_CAST "fileobject") != 0) {
                visit(n->children);
                continue;
            }
            const std::string name = Child(n, "filename");
            const std::string base = name.substr(name.find_last_of('/') + 1);
            if (base == "." || base == ".." || name == "$MBR" || name == "$FAT1" ||
                name == "$FAT2" || name == "$OrphanFiles")
                continue;
            WalkedFile file;
            file.size = std::stoll(Child(n, "filesize"));
            file.allocated = Child(n, "alloc") == "1";
            for (xmlNode* c = n->children; c; c = c->next) {
                if (c->type != XML_ELEMENT_NODE) continue;
                if (xmlStrcmp(c->name, BAD_CAST "hashdigest") == 0) {
                    xmlChar* type = xmlGetProp(c, BAD_CAST "type");
                    xmlChar* hex = xmlNodeGetContent(c);
                    const std::string kind = reinterpret_cast<char*>(type);
                    if (kind == "md5") file.md5 = reinterpret_cast<char*>(hex);
                    if (kind == "sha1") file.sha1 = reinterpret_cast<char*>(hex);
                    xmlFree(type);
                    xmlFree(hex);
                } else if (xmlStrcmp(c->name, BAD_CAST "byte_runs") == 0 && c->children) {
                    for (xmlNode* run = c->children; run; run = run->next) {
                        if (run->type != XML_ELEMENT_NODE) continue;
                        xmlChar* at = xmlGetProp(run, BAD_CAST "img_offset");
                        file.firstOffset = std::stoll(reinterpret_cast<char*>(at));
                        xmlFree(at);
                        break;
                    }
                }
            }
            files[name] = file;
        }
    };
    visit(xmlDocGetRootElement(doc));
    xmlFreeDoc(doc);
    return files;
}

std::map<std::string, WalkedFile> Fiwalk(const std::string& raw, const std::string& dir) {
    const std::string out = dir + "/fiwalk.xml";
    EXPECT_EQ(Shell("fiwalk -X '" + out + "' '" + raw + "' >/dev/null 2>&1"), 0);
    return DfxmlFiles(ReadFileBytes(out));
}

bool HaveFiwalk() {
    return Shell("command -v fiwalk >/dev/null") == 0;
}

// Long names, a subfolder, an empty file, a deleted file, a last file that takes every
// cluster left, and a volume label (an entry that is listed but is no file).
bool MakeFullDiskette(const std::string& raw, const FloppyFormat& format, const std::string& dir) {
    if (!MakeFloppyImage(raw, format)) return false;
    const std::string m = "MTOOLS_SKIP_CHECK=1 ", i = " -i '" + raw + "' ";
    return Shell("cd '" + dir +
                 "' && printf 'short\\n' >a && : >empty && head -c 5000 /dev/urandom >b" + " && " +
                 m + "mmd" + i + "'::/A folder with a long name'" + " && " + m + "mcopy" + i +
                 "b '::/A folder with a long name/Report of 1999.doc'" + " && " + m + "mcopy" + i +
                 "empty ::/EMPTY.TXT && " + m + "mcopy" + i + "a '::/soon gone.txt'" +
                 " && free=$(" + m + "mdir" + i + ":: | awk '/bytes free/ {gsub(\" \",\"\"); " +
                 "print $0+0}') && head -c $free /dev/urandom >fill && " + m + "mcopy" + i +
                 "fill ::/FILL.BIN && " + m + "mdel" + i + "'::/soon gone.txt' && " + m + "mlabel" +
                 i + "::BOX17") == 0;
}

class CliListing : public ::testing::TestWithParam<FloppyFormat> {};

TEST_P(CliListing, ListsWhatTheFileWalkerFindsInAnImageAndItsRawContent) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    if (!HaveFiwalk()) SKIP_OR_FAIL("fiwalk (package sleuthkit) is not installed");
    TempDir dir;
    const std::string raw = dir / "disk.raw", tvl = dir / "disk.tvl";
    ASSERT_TRUE(MakeFullDiskette(raw, GetParam(), dir.path()));
    ASSERT_EQ(RunTool({"compress", raw, tvl}).exitCode, 0);
    const auto walked = Fiwalk(raw, dir.path());
    ASSERT_TRUE(walked.count("A folder with a long name/Report of 1999.doc"));
    ASSERT_TRUE(walked.count("FILL.BIN"));
    ASSERT_TRUE(walked.count("EMPTY.TXT"));
    ASSERT_EQ(std::count_if(walked.begin(), walked.end(),
                            [](const auto& f) { return !f.second.allocated; }),
              1);

    for (const std::string& image : {raw, tvl}) {
        ToolResult xml = RunTool({"files", "--dfxml", image});
        ASSERT_EQ(xml.exitCode, 0) << xml.err;
        EXPECT_EQ(DfxmlFiles(xml.out), walked) << image;

        ToolResult json = RunTool({"files", "--json", image});
        ASSERT_EQ(json.exitCode, 0) << json.err;
        const auto listing = nlohmann::json::parse(json.out);
        EXPECT_EQ(listing["fileCount"], 6);  // README, PROGRAM, the report, EMPTY, FILL, gone
        EXPECT_EQ(listing["map"], nullptr);
    }
    // A name that is not UTF-8 (any bytes are a name here) still makes a valid document.
    const std::string odd = dir / "disk\xff\xfe.tvl";
    ASSERT_EQ(RunTool({"compress", raw, odd}).exitCode, 0);
    ToolResult oddJson = RunTool({"files", "--json", odd});
    ASSERT_EQ(oddJson.exitCode, 0) << oddJson.err;
    EXPECT_EQ(nlohmann::json::parse(oddJson.out)["fileCount"], 6);
    ToolResult plain = RunTool({"files", "--long", tvl});
    EXPECT_NE(plain.out.find("deleted file"), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("No rescue map beside the image"), std::string::npos) << plain.out;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, CliListing, ::testing::ValuesIn(kFloppyFormats),
                         [](const auto& info) { return FormatTestName(info.param); });

TEST(CliListingDamage, ARescuedImageNamesTheDamagedFileAndTheOtherUnreadableSectors) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    if (!HaveFiwalk()) SKIP_OR_FAIL("fiwalk (package sleuthkit) is not installed");
    TempDir dir;
    const FloppyFormat& k144 = kFloppyFormats[4];
    ASSERT_TRUE(MakeFloppyImage(dir / "original.raw", k144));
    const auto walked = Fiwalk(dir / "original.raw", dir.path());
    ASSERT_TRUE(walked.count("PROGRAM.BIN"));
    // Two sectors inside PROGRAM.BIN (30000 bytes), the first FAT's first sector, the last
    // sector of the diskette (free).
    const long long program = walked.at("PROGRAM.BIN").firstOffset / 512;
    const std::string plan = "bad " + std::to_string(program + 3) + " 2\nbad 1\nbad 2879\n";
    FaultyDrive drive(dir / "original.raw", dir.path(), plan);
    if (!drive.problem().empty()) SKIP_OR_FAIL(drive.problem());
    const std::string image = dir / "rescued.tvl";
    ToolResult rescue = RunTool({"rescue", "--retries", "0", drive.path(), image});
    ASSERT_EQ(rescue.exitCode, 4) << rescue.err;

    // The map is found beside the image, as rescue wrote it.
    ToolResult json = RunTool({"files", "--json", image});
    ASSERT_EQ(json.exitCode, 4) << json.err;
    const auto listing = nlohmann::json::parse(json.out);
    EXPECT_EQ(listing["unreadableSectors"], 4);
    EXPECT_EQ(listing["damagedFiles"], 1);
    for (const auto& file : listing["files"])
        EXPECT_EQ(file["unreadableBytes"], file["path"] == "PROGRAM.BIN" ? 1024 : 0)
            << file["path"];
    EXPECT_EQ(listing["unreadableOutsideFiles"],
              nlohmann::json::parse(R"([{"what":"FAT","sectors":1},)"
                                    R"({"what":"free space","sectors":1}])"));

    ToolResult plain = RunTool({"files", image});
    EXPECT_NE(plain.out.find("1 file damaged by 4 unreadable sectors: PROGRAM.BIN (1024 of 30000 "
                             "bytes); not in a file: FAT (1 sector, read from the second FAT), "
                             "free space (1 sector).\n"),
              std::string::npos)
        << plain.out;
    EXPECT_FALSE(DfxmlFiles(RunTool({"files", "--dfxml", image}).out).empty());
}

TEST(CliListingDamage, ADisketteWithoutAFileSystemIsListedAsSuchAndAMissingMapFails) {
    TempDir dir;
    const std::string blank = dir / "blank.img";
    ASSERT_EQ(Shell("head -c 1474560 /dev/zero >'" + blank + "'"), 0);
    ToolResult r = RunTool({"files", blank});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("No listing: no FAT file system", 0), 0u) << r.out;
    r = RunTool({"files", "--dfxml", blank});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(DfxmlFiles(r.out).empty());
    r = RunTool({"files", "--map", dir / "none.map", blank});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("none.map"), std::string::npos) << r.err;
}

}  // namespace
