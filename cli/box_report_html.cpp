// The box report written as HTML5 through the XML writer: everything taken from the folder's
// files is escaped by it, and the pictures are its own SVG.
#include "cli/box_report.h"
#include "cli/xml_writer.h"

namespace cli {
namespace {

// No '<', '>' or '&' in it: inside <style> a browser would not read them back from entities.
constexpr const char* kStyle =
    "body{font:14px/1.4 sans-serif;margin:24px;color:#222;background:#fff}"
    "h1{font-size:20px;margin:0 0 2px}"
    ".made{color:#666;margin:0 0 16px;font-size:12px}"
    ".totals{display:flex;flex-wrap:wrap;gap:10px;margin:0 0 20px;padding:0;list-style:none}"
    ".totals li{border:1px solid #ccc;border-radius:6px;padding:6px 14px;min-width:80px}"
    ".totals .n{display:block;font-size:22px;font-weight:bold}"
    ".totals .bad .n{color:#b3141a}"
    "table{border-collapse:collapse}"
    "th,td{border-bottom:1px solid #ddd;padding:6px 8px;text-align:left;vertical-align:top}"
    "th{background:#f3f3f3;font-weight:600}"
    "td.num{text-align:right}"
    "code{font:12px monospace;word-break:break-all;display:inline-block;max-width:16em}"
    "tr.failed td.result{color:#b3141a;font-weight:bold}"
    "tr.unreadable td.result{color:#9a5a00;font-weight:bold}"
    ".message{display:block;color:#555;font-weight:normal;font-size:12px;max-width:20em}"
    ".none{color:#888}";

// 1474560 as "1,474,560".
std::string Grouped(long long value) {
    std::string digits = std::to_string(value), text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

void Cell(XmlWriter& out, const std::string& text, const char* cls = nullptr) {
    out.Start("td");
    if (cls) out.Attribute("class", cls);
    out.Text(text);
    out.End(true);
}

void Total(XmlWriter& out, long long value, const std::string& what, bool bad = false) {
    out.Start("li");
    if (bad && value > 0) out.Attribute("class", "bad");
    out.Start("span");
    out.Attribute("class", "n");
    out.Text(Grouped(value));
    out.End(true);
    out.Element("span", what);
    out.End(true);
}

void Row(XmlWriter& out, const BoxDiskette& d) {
    out.Start("tr");
    out.Attribute("id", d.name);
    if (d.failed)
        out.Attribute("class", "failed");
    else if (d.unreadSectors > 0)
        out.Attribute("class", "unreadable");
    Cell(out, d.identifier);
    Cell(out, d.label);
    Cell(out, d.format);
    out.Start("td");
    out.Attribute("class", "result");
    out.Text(d.result);
    if (!d.message.empty()) {
        out.Start("span");
        out.Attribute("class", "message");
        out.Text(d.message);
        out.End(true);
    }
    out.End(true);
    out.Start("td");
    out.Attribute("class", "num");
    // Where they lie, "cylinder 5 head 1 sectors 4-6", on pointing at the count.
    const size_t where = d.unreadable.find(" (");
    if (where != std::string::npos && d.unreadable.back() == ')')
        out.Attribute("title", d.unreadable.substr(where + 2, d.unreadable.size() - where - 3));
    if (!d.unreadable.empty()) out.Text(std::to_string(d.unreadSectors));
    out.End(true);
    out.Start("td");
    if (!d.sha256.empty()) out.Element("code", d.sha256);
    out.End(true);
    // "2026-12-08 21:21:46Z": the date and the time may go on lines of their own.
    std::string time = d.time;
    if (time.size() > 10 && time[10] == 'T') time[10] = ' ';
    Cell(out, time);
    out.Start("td");
    out.Attribute("class", "picture");
    if (d.hasPicture) {
        out.Raw(SurfaceSvg(d.picture, d.identifier));
    } else {
        out.Start("span");
        out.Attribute("class", "none");
        out.Text("no image");
        out.End(true);
    }
    out.End(true);
    out.End(true);
}

}  // namespace

std::string BoxReportHtml(const BoxReport& report) {
    const BoxTotals totals = report.Totals();
    XmlWriter out;
    out.Doctype("html");
    out.Start("html");
    out.Attribute("lang", "en");
    out.Start("head");
    out.Start("meta");
    out.Attribute("charset", "utf-8");
    out.End();
    out.Element("title", "Box report: " + report.folder);
    out.Element("style", kStyle);
    out.End(true);
    out.Start("body");
    out.Start("h1");
    out.Text(report.folder);
    out.End(true);
    out.Start("p");
    out.Attribute("class", "made");
    out.Text("Made by tavrel-cli " TAVREL_VERSION
             " from the folder's info and map files. Point at a sector for its cylinder, head "
             "and sector.");
    out.End(true);

    out.Start("ul");
    out.Attribute("class", "totals");
    Total(out, totals.diskettes, totals.diskettes == 1 ? "diskette" : "diskettes");
    Total(out, totals.done, "done");
    Total(out, totals.failed, "failed", true);
    Total(out, totals.unreadSectors,
          totals.unreadSectors == 1 ? "unreadable sector" : "unreadable sectors", true);
    Total(out, totals.bytesRead, "bytes read");
    out.End(true);

    out.Start("table");
    out.Start("thead");
    out.Start("tr");
    for (const char* head : {"Identifier", "Label", "Format", "Result", "Unreadable sectors",
                             "Content SHA-256", "Time (UTC)", "Surface"})
        out.Element("th", head);
    out.End(true);
    out.End(true);
    out.Start("tbody");
    for (const BoxDiskette& d : report.diskettes) Row(out, d);
    out.End(true);
    out.End(true);
    // A .tvl's own bytes hash to something else; the raw image is what anyone can hash again.
    out.Start("p");
    out.Attribute("class", "made");
    out.Text(
        "Content SHA-256 is the hash of the diskette's sectors in order, that is of its raw "
        "image, not of a .tvl file: for NAME.tvl, tavrel-cli convert NAME.tvl NAME.img makes "
        "the raw image, and sha256sum NAME.img gives the hash in the table (a NAME.img in "
        "the folder is that raw image already).");
    out.End(true);
    out.End(true);
    out.End(true);
    return out.Finish();
}

}  // namespace cli
