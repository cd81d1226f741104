#include "cli/xml_writer.h"

#include <libxml/parser.h>
#include <libxml/xmlwriter.h>

#include <mutex>

#include "platform/module_load.h"

namespace cli {

namespace {

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

// libxml2 is loaded when the first writer is made, not linked: it brings ICU, about a
// millisecond and 2.6 MB of every start, though only the listing's DFXML, the pictures and the
// report write XML. Its headers still give each function's type, so a call through the table
// is checked as a direct one would be.
// clang-format off
#define TAVREL_LIBXML2_FUNCTIONS(F) \
    F(xmlInitParser) \
    F(xmlBufferCreate) \
    F(xmlBufferFree) \
    F(xmlBufferContent) \
    F(xmlBufferLength) \
    F(xmlNewTextWriterMemory) \
    F(xmlFreeTextWriter) \
    F(xmlTextWriterSetIndent) \
    F(xmlTextWriterSetIndentString) \
    F(xmlTextWriterStartDocument) \
    F(xmlTextWriterEndDocument) \
    F(xmlTextWriterWriteDTD) \
    F(xmlTextWriterStartElement) \
    F(xmlTextWriterEndElement) \
    F(xmlTextWriterFullEndElement) \
    F(xmlTextWriterWriteAttribute) \
    F(xmlTextWriterWriteElement) \
    F(xmlTextWriterWriteString) \
    F(xmlTextWriterWriteRaw)
// clang-format on

struct LibXml2 {
#define TAVREL_POINTER(name) decltype(&::name) name = nullptr;
    TAVREL_LIBXML2_FUNCTIONS(TAVREL_POINTER)
#undef TAVREL_POINTER
    std::string error;  // why it could not be loaded, "" once loaded
};

LibXml2 Load() {
    LibXml2 xml;
#define TAVREL_NAME(name) #name,
    const char* const names[] = {TAVREL_LIBXML2_FUNCTIONS(TAVREL_NAME)};
#undef TAVREL_NAME
    constexpr size_t count = sizeof names / sizeof names[0];
    void* addresses[count] = {};
    std::string why;
    if (!platform::LoadLibraryFunctions(TAVREL_LIBXML2_SONAME, names, count, addresses, &why)) {
        xml.error = "libxml2 (" TAVREL_LIBXML2_SONAME ") cannot be loaded: " + why;
        return xml;
    }
    size_t i = 0;
#define TAVREL_BIND(name) xml.name = reinterpret_cast<decltype(xml.name)>(addresses[i++]);
    TAVREL_LIBXML2_FUNCTIONS(TAVREL_BIND)
#undef TAVREL_BIND
    // libxml2 sets up its globals on first use, unguarded: once, before any writer, since the
    // drives of a batch write their listings and pictures on threads of their own.
    xml.xmlInitParser();
    return xml;
}
#undef TAVREL_LIBXML2_FUNCTIONS

// Loaded once, by whichever thread writes first; a library that failed is not tried again.
const LibXml2& Xml() {
    static std::once_flag loaded;
    static LibXml2 xml;
    std::call_once(loaded, [] { xml = Load(); });
    return xml;
}

}  // namespace

bool XmlWriter::Available(std::string* error) {
    const LibXml2& xml = Xml();
    if (!xml.error.empty() && error) *error = xml.error;
    return xml.error.empty();
}

struct XmlWriter::Handles {
    xmlBufferPtr buffer = nullptr;
    xmlTextWriterPtr writer = nullptr;
};

XmlWriter::XmlWriter(bool indent) : m_handles(new Handles) {
    const LibXml2& xml = Xml();
    // Without libxml2 every call does nothing and Finish gives "", as after a failed call.
    if (!xml.error.empty()) return;
    m_handles->buffer = xml.xmlBufferCreate();
    if (m_handles->buffer) m_handles->writer = xml.xmlNewTextWriterMemory(m_handles->buffer, 0);
    m_ok = m_handles->writer != nullptr;
    if (m_ok && indent) {
        xml.xmlTextWriterSetIndent(m_handles->writer, 1);
        xml.xmlTextWriterSetIndentString(m_handles->writer, X("  "));
    }
}

XmlWriter::~XmlWriter() {
    if (m_handles->writer) Xml().xmlFreeTextWriter(m_handles->writer);
    if (m_handles->buffer) Xml().xmlBufferFree(m_handles->buffer);
    delete m_handles;
}

bool XmlWriter::Live() const {
    return m_ok && m_handles->writer;
}

void XmlWriter::StartDocument() {
    if (Live()) Check(Xml().xmlTextWriterStartDocument(m_handles->writer, "1.0", "UTF-8", nullptr));
}

void XmlWriter::Doctype(const char* name) {
    if (Live())
        Check(Xml().xmlTextWriterWriteDTD(m_handles->writer, X(name), nullptr, nullptr, nullptr));
}

void XmlWriter::Start(const char* name) {
    if (Live()) Check(Xml().xmlTextWriterStartElement(m_handles->writer, X(name)));
}

void XmlWriter::End(bool full) {
    if (Live())
        Check(full ? Xml().xmlTextWriterFullEndElement(m_handles->writer)
                   : Xml().xmlTextWriterEndElement(m_handles->writer));
}

void XmlWriter::Attribute(const char* name, const std::string& value) {
    if (Live())
        Check(Xml().xmlTextWriterWriteAttribute(m_handles->writer, X(name), X(value.c_str())));
}

void XmlWriter::Element(const char* name, const std::string& value) {
    if (Live())
        Check(Xml().xmlTextWriterWriteElement(m_handles->writer, X(name), X(value.c_str())));
}

void XmlWriter::Text(const std::string& text) {
    if (Live()) Check(Xml().xmlTextWriterWriteString(m_handles->writer, X(text.c_str())));
}

void XmlWriter::Raw(const std::string& markup) {
    if (Live()) Check(Xml().xmlTextWriterWriteRaw(m_handles->writer, X(markup.c_str())));
}

void XmlWriter::TimeElement(const char* name, const std::string& when, const char* precision) {
    if (when.empty()) return;
    Start(name);
    Attribute("prec", precision);
    // A date alone stands for its midnight, as the walker writes an access date.
    Text(when.size() == 10 ? when + "T00:00:00" : when);
    End();
}

std::string XmlWriter::Finish() {
    if (!m_handles->writer) return {};
    Check(Xml().xmlTextWriterEndDocument(m_handles->writer));
    Xml().xmlFreeTextWriter(m_handles->writer);  // flushes into the buffer
    m_handles->writer = nullptr;
    if (!m_ok) return {};
    return std::string(reinterpret_cast<const char*>(Xml().xmlBufferContent(m_handles->buffer)),
                       static_cast<size_t>(Xml().xmlBufferLength(m_handles->buffer)));
}

}  // namespace cli
