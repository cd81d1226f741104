#include "cli/xml_writer.h"

#include <libxml/parser.h>
#include <libxml/xmlwriter.h>

#include <mutex>

namespace cli {

namespace {

const xmlChar* X(const char* text) {
    return reinterpret_cast<const xmlChar*>(text);
}

}  // namespace

struct XmlWriter::Handles {
    xmlBufferPtr buffer = nullptr;
    xmlTextWriterPtr writer = nullptr;
};

XmlWriter::XmlWriter(bool indent) : m_handles(new Handles) {
    // libxml2 sets up its globals on first use, unguarded: once, before any writer, since the
    // drives of a batch write their listings and pictures on threads of their own.
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });
    m_handles->buffer = xmlBufferCreate();
    if (m_handles->buffer) m_handles->writer = xmlNewTextWriterMemory(m_handles->buffer, 0);
    m_ok = m_handles->writer != nullptr;
    if (m_ok && indent) {
        xmlTextWriterSetIndent(m_handles->writer, 1);
        xmlTextWriterSetIndentString(m_handles->writer, X("  "));
    }
}

XmlWriter::~XmlWriter() {
    if (m_handles->writer) xmlFreeTextWriter(m_handles->writer);
    if (m_handles->buffer) xmlBufferFree(m_handles->buffer);
    delete m_handles;
}

bool XmlWriter::Live() const {
    return m_ok && m_handles->writer;
}

void XmlWriter::StartDocument() {
    if (Live()) Check(xmlTextWriterStartDocument(m_handles->writer, "1.0", "UTF-8", nullptr));
}

void XmlWriter::Doctype(const char* name) {
    if (Live()) Check(xmlTextWriterWriteDTD(m_handles->writer, X(name), nullptr, nullptr, nullptr));
}

void XmlWriter::Start(const char* name) {
    if (Live()) Check(xmlTextWriterStartElement(m_handles->writer, X(name)));
}

void XmlWriter::End(bool full) {
    if (Live())
        Check(full ? xmlTextWriterFullEndElement(m_handles->writer)
                   : xmlTextWriterEndElement(m_handles->writer));
}

void XmlWriter::Attribute(const char* name, const std::string& value) {
    if (Live()) Check(xmlTextWriterWriteAttribute(m_handles->writer, X(name), X(value.c_str())));
}

void XmlWriter::Element(const char* name, const std::string& value) {
    if (Live()) Check(xmlTextWriterWriteElement(m_handles->writer, X(name), X(value.c_str())));
}

void XmlWriter::Text(const std::string& text) {
    if (Live()) Check(xmlTextWriterWriteString(m_handles->writer, X(text.c_str())));
}

void XmlWriter::Raw(const std::string& markup) {
    if (Live()) Check(xmlTextWriterWriteRaw(m_handles->writer, X(markup.c_str())));
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
    Check(xmlTextWriterEndDocument(m_handles->writer));
    xmlFreeTextWriter(m_handles->writer);  // flushes into the buffer
    m_handles->writer = nullptr;
    if (!m_ok) return {};
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(m_handles->buffer)),
                       static_cast<size_t>(xmlBufferLength(m_handles->buffer)));
}

}  // namespace cli
