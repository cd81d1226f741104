// files IMAGE against the file walker of Debian's sleuthkit package on the same diskettes, and
// the damage a real rescue's map shows: sectors a faulty drive would not give, placed inside a
// known file, in the FAT and in free space.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "tests/cli/hostile_fat.h"
#include "tests/cli/rescue_fixtures.h"
#include "tests/cli/slow_mount.h"

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
        // Each digest under its own name, file by file, as the walker hashed it.
        int compared = 0;
        for (const auto& file : listing["files"]) {
            const auto found = walked.find(file["path"].get<std::string>());
            if (found == walked.end() || found->second.md5.empty()) continue;
            EXPECT_EQ(file["md5"], found->second.md5) << file["path"];
            EXPECT_EQ(file["sha1"], found->second.sha1) << file["path"];
            ++compared;
        }
        EXPECT_GE(compared, 5) << json.out;
    }
    // A name that is not UTF-8 (any bytes are a name here) still makes a valid document.
    const std::string odd = dir / "disk\xff\xfe.tvl";
    ASSERT_EQ(RunTool({"compress", raw, odd}).exitCode, 0);
    ToolResult oddJson = RunTool({"files", "--json", odd});
    ASSERT_EQ(oddJson.exitCode, 0) << oddJson.err;
    EXPECT_EQ(nlohmann::json::parse(oddJson.out)["fileCount"], 6);
    ToolResult plain = RunTool({"files", "--long", tvl});
    EXPECT_NE(plain.out.find("deleted file"), std::string::npos) << plain.out;
    // A compress's image holds every sector: nothing reads as a warning.
    EXPECT_NE(plain.out.find("No damage recorded: no rescue map is beside the image (a compress "
                             "reads every sector or makes no image).\n"),
              std::string::npos)
        << plain.out;
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

// The text for a person holds no control character but its line ends.
void ExpectPrintable(const std::string& text) {
    for (unsigned char c : text)
        ASSERT_TRUE(c >= 0x20 ? c != 0x7F : c == '\n') << "byte " << int(c) << " in:\n" << text;
}

std::string ListedName(const nlohmann::json& file) {
    return file.value("pathBytes", std::string()).empty()
               ? file["path"].get<std::string>()
               : "bytes:" + file["pathBytes"].get<std::string>();
}

// Names with every control character, DEL, bytes that are no UTF-8 and half UTF-16 pairs, and
// entries DOS lists that The Sleuth Kit refuses.
HostileFat OddNames() {
    HostileFat fat;
    fat.Write(HostileFat::Cluster(2), "hello");
    fat.SetFat(2, 0xFFF);
    std::string root;
    auto add = [&](const std::vector<std::uint16_t>& units, const std::string& name11) {
        if (!units.empty()) root += HostileFat::LongParts(units, name11);
        root += HostileFat::Entry(name11, 0x20, 2, 5);
    };
    for (int c = 1; c <= 0x20; ++c) {
        const int byte = c == 0x20 ? 0x7F : c;
        char name[12];
        std::snprintf(name, sizeof name, "C%02X     TXT", byte);
        add({'c', static_cast<std::uint16_t>(byte), 'x'}, name);
    }
    add({'a', 0xD800, 'b'}, "HALF1   TXT");
    add({'a', 0xD800, 'c'}, "HALF2   TXT");
    add({'a', 0xDC00}, "HALF3   TXT");
    add({}, std::string("HI\xff\xfe    TXT", 11));  // short name bytes that are no UTF-8
    add({'e', 0x1B, ']', '0', ';', 'T', 7}, "TITLE   TXT");
    add({}, "NL\nX    TXT");
    add({}, "ES\x1bX    TXT");
    root += HostileFat::Entry("FAR     TXT", 0x20, 3000, 5);
    fat.Write(HostileFat::kRoot, root);
    return fat;
}

TEST(CliListingHostile, EveryNameIsListedApartAndPrintableAndTheRefusedOnesAreNamed) {
    TempDir dir;
    const std::string image = dir / "odd.img";
    WriteFileBytes(image, OddNames().bytes());

    ToolResult json = RunTool({"files", "--json", image});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.find('\x7f'), std::string::npos) << "DEL not escaped";
    const auto listing = nlohmann::json::parse(json.out);
    std::set<std::string> names;
    for (const auto& file : listing["files"]) names.insert(ListedName(file));
    EXPECT_EQ(names.size(), listing["files"].size()) << json.out;
    EXPECT_EQ(listing["fileCount"], 37);
    EXPECT_TRUE(names.count(std::string("c\x1bx"))) << json.out;
    EXPECT_TRUE(names.count("bytes:61eda08062")) << json.out;  // a, D800 as ED A0 80, b
    EXPECT_TRUE(names.count("bytes:61eda08063")) << json.out;
    EXPECT_EQ(listing["leftOutEntries"], 3);
    std::set<std::string> left;
    for (const auto& item : listing["leftOut"])
        left.insert(item["path"].get<std::string>() + ": " + item["why"].get<std::string>());
    EXPECT_TRUE(
        left.count("NL\nX.TXT: not listed: its short name holds the control character 0x0A, which "
                   "The Sleuth Kit refuses"))
        << json.out;
    EXPECT_TRUE(
        left.count("ES\x1bX.TXT: not listed: its short name holds the control character 0x1B, "
                   "which The Sleuth Kit refuses"))
        << json.out;
    EXPECT_TRUE(
        left.count("FAR.TXT: not listed: its first cluster 3000 lies past the diskette's last "
                   "cluster 2848, which The Sleuth Kit refuses"))
        << json.out;

    ToolResult text = RunTool({"files", "--long", image});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    ExpectPrintable(text.out);
    EXPECT_NE(text.out.find("FAT12, 37 files (0 deleted), 0 folders, 3 entries not listed\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find("  e\\x1b]0;T\\x07\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  a\\uD800b\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  HI\\xff\\xfe.TXT\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Left out: NL\\x0aX.TXT: not listed"), std::string::npos) << text.out;

    ToolResult xml = RunTool({"files", "--dfxml", image});
    ASSERT_EQ(xml.exitCode, 0) << xml.err;
    WriteFileBytes(dir / "odd.xml", xml.out);
    EXPECT_EQ(Shell("xmllint --noout '" + dir / "odd.xml" + "'"), 0) << xml.out;
    const auto files = DfxmlFiles(xml.out);
    EXPECT_EQ(files.size(), 37u);
    EXPECT_NE(xml.out.find("<filename tavrel:bytes=\"630178\">c\\x01x</filename>"),
              std::string::npos)
        << xml.out;
    EXPECT_NE(xml.out.find("<filename tavrel:bytes=\"637f78\">c\\x7fx</filename>"),
              std::string::npos)
        << xml.out;
    EXPECT_NE(xml.out.find("<tavrel:left_out what=\"entry\""), std::string::npos) << xml.out;
}

TEST(CliListingHostile, AFolderWhoseEntriesAllClaimTheDisketteListsEachChainOnce) {
    TempDir dir;
    const std::string image = dir / "hostile.img";
    const HostileFat fat = OneChainFolder(1 << 20);
    WriteFileBytes(image, fat.bytes());
    ToolResult r = RunTool({"files", "--json", image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto listing = nlohmann::json::parse(r.out);
    EXPECT_EQ(listing["fileCount"], 45552);
    // The chain's content is the folder itself: every entry hashes to it.
    WriteFileBytes(dir / "chain", fat.bytes().substr(HostileFat::kData, 2847 * 512));
    TempDir scratch;
    const std::string chain = Sha256Sum(dir / "chain", scratch);
    int same = 0;
    for (const auto& file : listing["files"]) same += file.value("sha256", "") == chain;
    EXPECT_EQ(same, 45552 + 1);  // and the folder BIG
    EXPECT_EQ(listing["leftOut"].size(), 0u);

    // Each entry its own chain: more than the listing reads for one diskette; the rest is named.
    WriteFileBytes(image, OneChainFolder(1 << 20, true).bytes());
    r = RunTool({"files", "--json", image});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto limited = nlohmann::json::parse(r.out);
    EXPECT_EQ(limited["fileCount"], 2847);
    int notRead = 0;
    for (const auto& item : limited["leftOut"])
        notRead +=
            item["what"] == "content" &&
            item["why"].get<std::string>().find("its limit for a diskette") != std::string::npos;
    EXPECT_GT(notRead, 2000) << r.out.substr(r.out.size() - 2000);
    ToolResult text = RunTool({"files", image});
    EXPECT_NE(text.out.find("Left out: BIG/F02846.BIN: content not read"), std::string::npos);
}

TEST(CliListingHostile, SigtermAndCtrlCEndTheListingAndSaySo) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    for (int signal : {SIGTERM, SIGINT}) {
        TempDir dir;
        ASSERT_TRUE(MakeFloppyImage(dir / "disk.raw", kFloppyFormats[4]));
        // Every read waits: the raw image takes seconds to load, time to be interrupted.
        SlowMount slow(dir / "disk.raw", dir / "mnt", 400);
        if (!slow.mounted())
            SKIP_OR_FAIL("FUSE is not usable here (no /dev/fuse or no permission to mount)");
        ToolProcess tool;
        ASSERT_TRUE(tool.Start({"files", "--json", slow.file()}));
        ASSERT_TRUE(WaitWhileRunning(tool, [&] { return tool.DescriptorsOn(slow.file()) > 0; }));
        tool.Signal(signal);
        ToolResult r = tool.Wait();
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.err, "Cancelled: nothing was listed\n");
        EXPECT_EQ(r.out, "");
    }
}

}  // namespace
