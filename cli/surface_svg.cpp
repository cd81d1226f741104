// The surface picture drawn as SVG: a square a sector, each with a tooltip naming it. Sectors
// alike are drawn as one: the sectors of a track side that follow each other, and the track
// sides of a head that are alike whole, so a clean diskette is a few rectangles and a box of
// hundreds makes a page a browser opens at once.
#include <cstring>
#include <vector>

#include "cli/surface_picture.h"
#include "cli/xml_writer.h"

namespace cli {
namespace {

constexpr int kPitch = 4;    // from one sector's square to the next
constexpr int kSquare = 3;   // a sector's square
constexpr int kLeft = 40;    // the heads' names
constexpr int kTop = 14;     // the cylinders' numbers
constexpr int kHeadGap = 6;  // between the heads' bands
constexpr int kLegendRow = 14;
constexpr int kLegendSquare = 8;

// Rules under the picture's own class, so that a page with other content keeps its colours.
// Colours a viewer with red-green colour blindness tells apart too: blue read, yellow, orange
// and purple for more tries, red unreadable, grey never tried.
constexpr const char* kStyle =
    ".surface text{font:9px sans-serif;fill:#333}"
    ".surface .read{fill:#3b6fb6}"
    ".surface .tries2{fill:#f6d04d}"
    ".surface .tries3{fill:#f08c2e}"
    ".surface .tries4{fill:#7b3294}"
    ".surface .unreadable{fill:#d7191c}"
    ".surface .untried{fill:#d4d4d4}";

std::string Tries(int count) {
    return count == 1 ? "1 try" : std::to_string(count) + " tries";
}

std::string Describe(const SectorMap& map, int index) {
    std::string text;
    switch (LookOf(map, index)) {
        case SectorLook::Read:
        case SectorLook::Retried:
            text = "read";
            break;
        case SectorLook::Unreadable:
            text = "unreadable";
            break;
        case SectorLook::NeverTried:
            return "never tried";
    }
    if (map.triesKnown && map.tries[index] > 0) text += ", " + Tries(map.tries[index]);
    return text;
}

void Square(XmlWriter& out, int x, int y, const std::string& cls, int size = kSquare) {
    out.Start("rect");
    out.Attribute("x", std::to_string(x));
    out.Attribute("y", std::to_string(y));
    out.Attribute("width", std::to_string(size));
    out.Attribute("height", std::to_string(size));
    out.Attribute("class", cls);
}

void Label(XmlWriter& out, int x, int y, const std::string& text, const char* anchor = nullptr) {
    out.Start("text");
    out.Attribute("x", std::to_string(x));
    out.Attribute("y", std::to_string(y));
    if (anchor) out.Attribute("text-anchor", anchor);
    out.Text(text);
    out.End();
}

}  // namespace

bool CanDrawPictures(const std::string& what, std::string* error) {
    std::string why;
    if (XmlWriter::Available(&why)) return true;
    *error = "tavrel-cli: " + what + " cannot draw: " + why;
    return false;
}

std::string SurfaceSvg(const SurfacePicture& picture, const std::string& title) {
    const SectorMap& map = picture.map;
    const int band = picture.sectorsPerTrack * kPitch;
    const int surfaceHeight = picture.heads * band + (picture.heads - 1) * kHeadGap;
    const int width = kLeft + picture.cylinders * kPitch + 10;

    // The legend: what each colour means, the tries only where the map counts them, in as
    // many rows as the width needs.
    struct Key {
        const char* cls;
        const char* text;
        int x = 0, y = 0;
    };
    std::vector<Key> legend;
    int x = 1, y = kTop + surfaceHeight + 8;
    for (Key key : {Key{"read", "read"}, Key{"read tries2", "2 tries"},
                    Key{"read tries3", "3 tries"}, Key{"read tries4", "4 or more tries"},
                    Key{"unreadable", "unreadable"}, Key{"untried", "never tried"}}) {
        if (std::strstr(key.cls, "tries") && !map.triesKnown) continue;
        // 9px text is about 4.6px a character.
        const int wide = kLegendSquare + 3 + static_cast<int>(std::strlen(key.text) * 46 / 10);
        if (x > 1 && x + wide > width) {
            x = 1;
            y += kLegendRow;
        }
        key.x = x;
        key.y = y;
        legend.push_back(key);
        x += wide + 10;
    }
    const int height = y + kLegendRow;

    XmlWriter out(false);
    out.Start("svg");
    out.Attribute("xmlns", "http://www.w3.org/2000/svg");
    out.Attribute("class", "surface");
    out.Attribute("width", std::to_string(width));
    out.Attribute("height", std::to_string(height));
    out.Attribute("viewBox", "0 0 " + std::to_string(width) + " " + std::to_string(height));
    out.Attribute("role", "img");
    out.Element("title", title);
    out.Element("style", kStyle);

    for (int cylinder = 0; cylinder < picture.cylinders; cylinder += 10)
        Label(out, kLeft + cylinder * kPitch, kTop - 4, std::to_string(cylinder));
    for (int head = 0; head < picture.heads; ++head) {
        const int top = kTop + head * (band + kHeadGap);
        Label(out, 1, top + band / 2 + 3, "head " + std::to_string(head));
        // What each sector shows: its class and its tooltip's words.
        auto look = [&](int cylinder, int sector) {
            const int index = picture.Index(cylinder, head, sector);
            return SectorClass(map, index) + "|" + Describe(map, index);
        };
        auto uniform = [&](int cylinder) {
            for (int sector = 2; sector <= picture.sectorsPerTrack; ++sector)
                if (look(cylinder, sector) != look(cylinder, 1)) return false;
            return true;
        };
        auto draw = [&](int x, int y, int columns, int rows, const std::string& how,
                        const std::string& what) {
            const size_t bar = how.find('|');
            out.Start("rect");
            out.Attribute("x", std::to_string(x));
            out.Attribute("y", std::to_string(y));
            out.Attribute("width", std::to_string(columns * kPitch - (kPitch - kSquare)));
            out.Attribute("height", std::to_string(rows * kPitch - (kPitch - kSquare)));
            out.Attribute("class", how.substr(0, bar));
            out.Element("title", what + ": " + how.substr(bar + 1));
            out.End();
        };
        const std::string onHead = " head " + std::to_string(head);
        for (int cylinder = 0; cylinder < picture.cylinders;) {
            const int x = kLeft + cylinder * kPitch;
            if (uniform(cylinder)) {
                int last = cylinder;
                while (last + 1 < picture.cylinders && uniform(last + 1) &&
                       look(last + 1, 1) == look(cylinder, 1))
                    ++last;
                draw(x, top, last - cylinder + 1, picture.sectorsPerTrack, look(cylinder, 1),
                     last > cylinder ? "cylinders " + std::to_string(cylinder) + "-" +
                                           std::to_string(last) + onHead
                                     : "cylinder " + std::to_string(cylinder) + onHead +
                                           " sectors 1-" + std::to_string(picture.sectorsPerTrack));
                cylinder = last + 1;
                continue;
            }
            for (int sector = 1; sector <= picture.sectorsPerTrack;) {
                int last = sector;
                while (last < picture.sectorsPerTrack &&
                       look(cylinder, last + 1) == look(cylinder, sector))
                    ++last;
                const std::string where = "cylinder " + std::to_string(cylinder) + onHead;
                draw(x, top + (sector - 1) * kPitch, 1, last - sector + 1, look(cylinder, sector),
                     last > sector
                         ? where + " sectors " + std::to_string(sector) + "-" + std::to_string(last)
                         : where + " sector " + std::to_string(sector));
                sector = last + 1;
            }
            ++cylinder;
        }
    }
    for (const Key& key : legend) {
        Square(out, key.x, key.y, key.cls, kLegendSquare);
        out.End();
        Label(out, key.x + kLegendSquare + 3, key.y + kLegendSquare, key.text);
    }
    out.End();
    return out.Finish();
}

}  // namespace cli
