// XML text written through libxml2's xmlTextWriter, into memory: the file listing's DFXML, a
// diskette's surface picture (SVG) and the box report (HTML written as XML, which browsers
// read as HTML5 as long as no HTML element is written empty: End() closes those in full).
// libxml2 itself is loaded with the first writer, not at the program's start.
#pragma once

#include <string>

namespace cli {

class XmlWriter {
  public:
    // Whether libxml2 could be loaded (on the first call, from any thread); false with a
    // one-line reason, and then every writer's Finish gives "".
    static bool Available(std::string* error);

    // indent: each element on a line of its own, two spaces a level.
    explicit XmlWriter(bool indent = true);
    ~XmlWriter();
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;

    // The XML declaration, for a document of its own.
    void StartDocument();
    // <!DOCTYPE name>, first in an HTML page (without it browsers fall back to quirks mode).
    void Doctype(const char* name);
    void Start(const char* name);
    // Ends the element; an empty one as <name/> unless full (<name></name>), which HTML needs.
    void End(bool full = false);
    void Attribute(const char* name, const std::string& value);
    void Element(const char* name, const std::string& value);
    void Element(const char* name, long long value) { Element(name, std::to_string(value)); }
    void Text(const std::string& text);
    // Markup made by another XmlWriter (or a constant), written as it is.
    void Raw(const std::string& markup);
    void TimeElement(const char* name, const std::string& when, const char* precision);
    // The text written, "" when any call failed.
    std::string Finish();

  private:
    void Check(int result) { m_ok = m_ok && result >= 0; }
    // Once a call failed, or the text is finished, the others do nothing.
    bool Live() const;

    struct Handles;
    Handles* m_handles;
    bool m_ok = false;
};

}  // namespace cli
