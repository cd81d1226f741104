// The surface pictures and the box report, read back as a viewer reads them: the SVG's sectors
// by their tooltips, the page as the XML it is written as. A picture marks exactly the sectors
// a map marks; a batch folder's report lists every diskette and loads nothing; report makes
// both again, byte for byte, in a plain folder and in a bag that stays valid.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "tests/cli/batch_fixture.h"
#include "tests/cli/slow_mount.h"

namespace {

const std::string kValidator =
    std::string(TAVREL_SOURCE_DIR) + "/../shared/tools/bagit_validate.py";
const FloppyFormat& k144 = kFloppyFormats[4];

std::string Text(const xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

std::string Attribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

bool Named(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name);
}

void Walk(const xmlNode* node, const std::function<void(const xmlNode*)>& visit) {
    for (; node; node = node->next) {
        visit(node);
        Walk(node->children, visit);
    }
}

// A document parsed without the network; nullptr (and a failure) when it is not well-formed.
xmlDocPtr Parse(const std::string& text) {
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    EXPECT_NE(doc, nullptr) << text.substr(0, 300);
    return doc;
}

// A picture's sectors as its tooltips name them: logical sector -> (class, what it says).
struct Sector {
    std::string cls, said;
};
std::map<int, Sector> PictureSectors(const std::string& svg, const FloppyFormat& f) {
    std::map<int, Sector> sectors;
    xmlDocPtr doc = Parse(svg);
    if (!doc) return sectors;
    Walk(xmlDocGetRootElement(doc), [&](const xmlNode* node) {
        if (!Named(node, "rect") || !node->children || !Named(node->children, "title")) return;
        // "cylinder C head H sector S: ", "... sectors S-T: ", "cylinders C-D head H: ".
        const std::string title = Text(node->children);
        int c = -1, d = -1, h = -1, s = 1, t = f.sectorsPerTrack, used = 0;
        const char* text = title.c_str();
        if (std::sscanf(text, "cylinders %d-%d head %d: %n", &c, &d, &h, &used) == 3) {
        } else if (std::sscanf(text, "cylinder %d head %d sectors %d-%d: %n", &c, &h, &s, &t,
                               &used) == 4) {
            d = c;
        } else if (std::sscanf(text, "cylinder %d head %d sector %d: %n", &c, &h, &s, &used) == 3) {
            d = c;
            t = s;
        } else {
            return;  // the legend
        }
        for (int cylinder = c; cylinder <= d; ++cylinder)
            for (int sector = s; sector <= t; ++sector) {
                const int logical = (2 * cylinder + h) * f.sectorsPerTrack + sector - 1;
                EXPECT_FALSE(sectors.count(logical)) << title;
                sectors[logical] = {Attribute(node, "class"),
                                    title.substr(static_cast<size_t>(used))};
            }
    });
    xmlFreeDoc(doc);
    return sectors;
}

std::set<int> WithClass(const std::map<int, Sector>& sectors, const std::string& cls) {
    std::set<int> found;
    for (const auto& [logical, sector] : sectors)
        if (sector.cls == cls) found.insert(logical);
    return found;
}

// A ddrescue map of a 1.44 MB diskette: '+' but for the sectors given, and its tries line.
std::string HandMap(const std::map<int, char>& states, const std::string& tries) {
    std::string map = "# Mapfile. Created by hand\n" + tries + "0x00000000  +  1\n";
    char line[64];
    for (int s = 0; s < 2880;) {
        const char state = states.count(s) ? states.at(s) : '+';
        int run = s;
        while (run < 2880 && (states.count(run) ? states.at(run) : '+') == state) ++run;
        std::snprintf(line, sizeof line, "0x%08X  0x%08X  %c\n", s * 512, (run - s) * 512, state);
        map += line;
        s = run;
    }
    return map;
}

TEST(CliPicture, APictureMarksExactlyTheSectorsItsMapMarksAndTheirTries) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    ASSERT_TRUE(MakeFloppyImage(dir / "disk.raw", k144));
    const std::string image = dir / "disk.tvl";
    ASSERT_EQ(RunTool({"compress", dir / "disk.raw", image}).exitCode, 0);

    // Without a map every sector of the complete image was read.
    ToolResult r = RunTool({"info", image, "--picture", dir / "whole.svg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<int, Sector> sectors = PictureSectors(ReadFileBytes(dir / "whole.svg"), k144);
    EXPECT_EQ(sectors.size(), 2880u);
    EXPECT_EQ(WithClass(sectors, "read").size(), 2880u);

    // The map beside the image: three sectors on one side, one alone and the last unreadable,
    // a side never tried, one sector read at the third try.
    const std::set<int> bad = {19, 20, 21, 1000, 2879};
    std::map<int, char> states;
    for (int s : bad) states[s] = '-';
    for (int s = 1512; s < 1530; ++s) states[s] = '?';
    const std::string tries = "# Sector tries: 1*19 4*3 1*1 3 1*976 4 1*511 0*18 1*1349 4\n";
    WriteFileBytes(dir / "disk.map", HandMap(states, tries));
    r = RunTool({"info", image, "--picture", dir / "damaged.svg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    sectors = PictureSectors(ReadFileBytes(dir / "damaged.svg"), k144);
    ASSERT_EQ(sectors.size(), 2880u);
    EXPECT_EQ(WithClass(sectors, "unreadable"), bad);
    EXPECT_EQ(WithClass(sectors, "untried").size(), 18u);
    EXPECT_EQ(*WithClass(sectors, "untried").begin(), 1512);
    EXPECT_EQ(WithClass(sectors, "read tries3"), std::set<int>{23});
    EXPECT_EQ(WithClass(sectors, "read").size(), 2880u - 5 - 18 - 1);
    EXPECT_EQ(sectors[20].said, "unreadable, 4 tries");
    EXPECT_EQ(sectors[1512].said, "never tried");
    EXPECT_EQ(sectors[0].said, "read, 1 try");
    if (Shell("command -v ddrescuelog >/dev/null") == 0) {
        EXPECT_EQ(Shell("ddrescuelog -t '" + dir / "disk.map" + "' >/dev/null 2>&1"), 0)
            << "the tries line keeps the map a ddrescue map";
    }

    // A tries line that does not cover the map is no count at all; a map of another size no map.
    WriteFileBytes(dir / "disk.map", HandMap(states, "# Sector tries: 1*100\n"));
    ASSERT_EQ(RunTool({"info", image, "--picture", dir / "short.svg"}).exitCode, 0);
    sectors = PictureSectors(ReadFileBytes(dir / "short.svg"), k144);
    EXPECT_EQ(sectors[20].said, "unreadable");
    EXPECT_EQ(WithClass(sectors, "unreadable"), bad);
    WriteFileBytes(dir / "other.map", "0x0 + 1\n0x0 0x1000 +\n");
    r = RunTool({"info", image, "--bad", dir / "other.map", "--picture", dir / "none.svg"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_FALSE(FileExists(dir / "none.svg"));
}

TEST(CliPicture, ARescueCountsEachSectorsTriesIntoItsMapAndPicture) {
    if (!HaveFatTools()) SKIP_OR_FAIL("mkfs.fat and mtools are not installed");
    TempDir dir;
    ASSERT_TRUE(MakeFloppyImage(dir / "disk.raw", k144));
    // Two sectors that never read; a sector on another side that fails twice, then reads.
    WriteFileBytes(dir / "plan", "bad 100 2\nweak 400 2\n");
    SlowMount drive(dir / "disk.raw", dir / "mnt", dir / "plan");
    if (!drive.mounted()) SKIP_OR_FAIL("FUSE is not usable here");
    const std::string image = dir / "rescued.tvl";
    ToolResult r = RunTool({"rescue", "--retries", "3", drive.file(), image});
    ASSERT_EQ(r.exitCode, 4) << r.err;
    ASSERT_EQ(RunTool({"info", image, "--picture", dir / "rescued.svg"}).exitCode, 0);
    const std::map<int, Sector> sectors = PictureSectors(ReadFileBytes(dir / "rescued.svg"), k144);
    EXPECT_EQ(WithClass(sectors, "unreadable"), (std::set<int>{100, 101}));
    // Each bad sector read alone, four times; its side's others once each, alone.
    EXPECT_EQ(sectors.at(100).said, "unreadable, 4 tries");
    EXPECT_EQ(sectors.at(102).said, "read, 1 try");
    // The weak sector's side read whole at the third try: every sector of it took three.
    std::set<int> side;
    for (int s = 396; s < 414; ++s) side.insert(s);
    EXPECT_EQ(WithClass(sectors, "read tries3"), side);
    EXPECT_EQ(sectors.at(0).said, "read, 1 try");
}

class CliReport : public BatchFixture {
  protected:
    std::string Payload(const std::string& file) const {
        return box + (bag ? "/data/" : "/") + file;
    }
    // The names of the page's rows; a failure for anything it would load or run.
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        const std::string html = ReadFileBytes(Payload("report.html"));
        EXPECT_EQ(html.rfind("<!DOCTYPE html>\n", 0), 0u);
        xmlDocPtr doc = Parse(html);
        if (!doc) return rows;
        Walk(xmlDocGetRootElement(doc), [&](const xmlNode* node) {
            if (node->type != XML_ELEMENT_NODE) return;
            EXPECT_FALSE(Named(node, "script") || Named(node, "link") || Named(node, "img") ||
                         Named(node, "iframe") || Named(node, "object"))
                << node->name;
            for (const char* loads : {"src", "href", "xlink:href", "style"})
                EXPECT_EQ(Attribute(node, loads), "") << node->name << " " << loads;
            if (Named(node, "tr") && !Attribute(node, "id").empty()) {
                rows.push_back(Attribute(node, "id"));
                int pictures = 0;
                Walk(node->children, [&](const xmlNode* n) { pictures += Named(n, "svg"); });
                EXPECT_EQ(pictures, 1) << rows.back();
            }
        });
        xmlFreeDoc(doc);
        EXPECT_EQ(html.find("url("), std::string::npos);
        EXPECT_EQ(html.find("@import"), std::string::npos);
        return rows;
    }
    // The totals as the page shows them, one after the other.
    static std::string Totals(const std::string& html) {
        std::string totals;
        xmlDocPtr doc = Parse(html);
        if (!doc) return totals;
        Walk(xmlDocGetRootElement(doc), [&](const xmlNode* node) {
            if (!Named(node, "li")) return;
            std::string item;
            for (const xmlNode* span = node->children; span; span = span->next)
                if (Named(span, "span")) item += (item.empty() ? "" : " ") + Text(span);
            totals += (totals.empty() ? "" : ", ") + item;
        });
        xmlFreeDoc(doc);
        return totals;
    }
    void ExpectChecked(const std::string& when) {
        ToolResult r = RunTool({"check", box});
        EXPECT_EQ(r.exitCode, 0) << when << ": " << r.out << r.err;
        if (!bag) return;
        const std::string out = dir / "validator.txt";
        EXPECT_EQ(Shell("python3 '" + kValidator + "' '" + box + "' >'" + out + "' 2>&1"), 0)
            << when << ": " << ReadFileBytes(out);
    }
    // Removes the pictures and the page, and their manifest lines, as a box from a run that
    // made none has it.
    void MakeOlder() {
        for (const char* file : {"disk-001.svg", "disk-002.svg", "report.html"})
            ASSERT_EQ(::unlink(Payload(file).c_str()), 0) << file;
        for (const char* manifest : {"/manifest-sha256.txt", "/manifest-md5.txt"}) {
            if (!FileExists(box + manifest)) continue;
            ASSERT_EQ(Shell("sed -i '/\\.svg$/d; /report\\.html$/d' '" + box + manifest + "'"), 0);
        }
    }
    // Two diskettes filed, the first rescued.
    void FileTwo(const std::vector<std::string>& more) {
        std::vector<std::string> first = {"batch", Disk(0), box, "--count", "1", "--rescue"};
        first.insert(first.end(), more.begin(), more.end());
        ASSERT_EQ(RunTool(first).exitCode, 0);
        ASSERT_EQ(RunTool({"batch", Disk(1), box, "--count", "1"}).exitCode, 0);
    }
    bool bag = false;
    std::string box = folder;
};

TEST_F(CliReport, ABatchFilesPicturesAndAPageOfItsOwnThatReportMakesAgain) {
    FileTwo({});
    for (const char* file : {"disk-001.svg", "disk-002.svg", "report.html"})
        EXPECT_TRUE(FileExists(Payload(file))) << file;
    EXPECT_NE(ReadFileBytes(box + "/manifest-sha256.txt").find("  disk-002.svg\n"),
              std::string::npos);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"disk-001", "disk-002"}));
    const std::string page = ReadFileBytes(Payload("report.html"));
    EXPECT_EQ(Totals(page),
              "2 diskettes, 2 done, 0 failed, 0 unreadable sectors, "
              "2,211,840 bytes read");
    // The page says what its hashes are of, and how to make them again.
    EXPECT_NE(page.find("Content SHA-256 is the hash of the diskette's sectors in order, that is "
                        "of its raw image, not of a .tvl file"),
              std::string::npos);
    EXPECT_EQ(PictureSectors(ReadFileBytes(Payload("disk-002.svg")), kFloppyFormats[2]).size(),
              1440u);
    ExpectChecked("after the batch");

    // A box from a run that made none: report makes them as the batch would have.
    const std::string picture = ReadFileBytes(Payload("disk-001.svg"));
    MakeOlder();
    ExpectChecked("without the report");
    ToolResult r = RunTool({"report", box});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, Payload("report.html") + ": 2 diskettes, 2 pictures\n");
    EXPECT_EQ(ReadFileBytes(Payload("report.html")), page);
    EXPECT_EQ(ReadFileBytes(Payload("disk-001.svg")), picture);
    ExpectChecked("after report");

    // What the info files say is only ever text on the page.
    std::string info = ReadFileBytes(Payload("disk-002.info"));
    const size_t id = info.find("identifier: disk-002\n");
    ASSERT_NE(id, std::string::npos) << info;
    info.replace(id, 21, "identifier: box 17 <b>&amp;\nlabel-text: <script>alert(1)</script>\n");
    WriteFileBytes(Payload("disk-002.info"), info);
    ASSERT_EQ(RunTool({"report", box}).exitCode, 0);
    const std::string escaped = ReadFileBytes(Payload("report.html"));
    EXPECT_EQ(escaped.find("<script"), std::string::npos);
    EXPECT_NE(escaped.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(escaped.find("box 17 &lt;b&gt;&amp;amp;"), std::string::npos);
    EXPECT_EQ(Rows().size(), 2u);

    EXPECT_EQ(RunTool({"report", dir / "nothing"}).exitCode, 2);
}

// The sectors a ddrescue map marks finished ('+'): what the page counts as read.
long long FinishedSectors(const std::string& map) {
    std::istringstream lines(map);
    std::string line;
    bool status = false;  // the status line, before the blocks
    long long sectors = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (!status) {
            status = true;
            continue;
        }
        std::istringstream fields(line);
        std::string position, size, state;
        if (fields >> position >> size >> state && state == "+")
            sectors += std::stoll(size, nullptr, 16) / 512;
    }
    return sectors;
}

// A box as rescues leave it: two diskettes with unreadable sectors and one cancelled between
// them. Every diskette's sectors are added up, and a cancelled one counts as failed, as the
// batch itself counts it.
TEST_F(CliReport, TheTotalsAddUpEveryDisketteAndCountACancelledOneAsFailed) {
    const std::string plan = dir / "plan";
    auto setPlan = [&](const std::string& text) {
        // Under a new inode, so the drive reads it again.
        WriteFileBytes(plan + ".new", text);
        ASSERT_EQ(std::rename((plan + ".new").c_str(), plan.c_str()), 0);
    };
    setPlan("bad 100 2\n");
    SlowMount drive(Disk(0), dir / "mnt", plan);
    if (!drive.mounted()) SKIP_OR_FAIL("FUSE is not usable here");
    const std::vector<std::string> rescue = {"batch", drive.file(), box, "--count=1", "--rescue"};
    ASSERT_EQ(RunTool(rescue).exitCode, 0);
    setPlan("delay 15\n");
    {
        ToolProcess tool;
        ASSERT_TRUE(tool.Start(rescue));
        ASSERT_TRUE(
            WaitWhileRunning(tool, [&] { return SizeOf(box + "/.disk-002.part.tvl") > 0; }));
        tool.Signal(SIGINT);
        tool.Signal(SIGTERM);
        ASSERT_EQ(tool.Wait().exitCode, 2);
    }
    setPlan("bad 1000 3\n");
    ASSERT_EQ(RunTool(rescue).exitCode, 0);
    ASSERT_NE(ReadFileBytes(box + "/disk-002.info").find("result: cancelled\n"), std::string::npos);

    long long read = 0;
    for (const char* name : {"disk-001", "disk-002", "disk-003"})
        read += FinishedSectors(ReadFileBytes(box + "/" + name + ".map"));
    ASSERT_EQ(read - FinishedSectors(ReadFileBytes(box + "/disk-002.map")), 2 * 2880 - 5);
    std::string bytes = std::to_string(read * 512);
    for (int at = static_cast<int>(bytes.size()) - 3; at > 0; at -= 3) bytes.insert(at, ",");
    const std::string page = ReadFileBytes(box + "/report.html");
    EXPECT_EQ(Totals(page),
              "3 diskettes, 2 done, 1 failed, 5 unreadable sectors, " + bytes + " bytes read");
    ASSERT_EQ(::unlink((box + "/report.html").c_str()), 0);
    ASSERT_EQ(RunTool({"report", box}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(box + "/report.html"), page);
}

TEST_F(CliReport, ABagListsThePageAndPicturesAndStaysValidWhenReportMakesThemAgain) {
    if (!FileExists(kValidator)) SKIP_OR_FAIL("the BagIt validator is not at " + kValidator);
    bag = true;
    FileTwo({"--bag", "--hash", "md5,sha256"});
    EXPECT_EQ(Rows(), (std::vector<std::string>{"disk-001", "disk-002"}));
    ExpectChecked("after the batch");
    const std::string page = ReadFileBytes(Payload("report.html"));
    MakeOlder();
    ASSERT_EQ(RunTool({"report", box}).exitCode, 0);
    EXPECT_EQ(ReadFileBytes(Payload("report.html")), page);
    ExpectChecked("after report");

    // A plain folder made a bag: its page goes under data/ and is listed there.
    bag = false;
    box = dir / "plain";
    FileTwo({});
    ASSERT_EQ(RunTool({"bag", box}).exitCode, 0);
    bag = true;
    EXPECT_TRUE(FileExists(Payload("report.html")));
    ExpectChecked("after bag");
}

}  // namespace
