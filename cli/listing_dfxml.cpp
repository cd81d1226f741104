// The listing as Digital Forensics XML, element for element as the common file walker writes a
// FAT volume, so the tools that read its output read this; the unreadable bytes of a file go
// in an element of Tavrel's own namespace, which those tools pass over.
#include <cctype>
#include <utility>

#include "cli/file_listing.h"
#include "cli/listing_names.h"
#include "cli/xml_writer.h"

namespace cli {

namespace {

constexpr const char* kDfxmlNamespace =
    "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML";
constexpr const char* kTavrelNamespace = "urn:x-tavrel:dfxml:1";

using Writer = XmlWriter;

// A name as XML 1.0 can carry it: one with characters it cannot (ESC, BEL, bytes that are no
// UTF-8, half a UTF-16 pair) readable instead (\x1b), with its exact bytes in an attribute of
// Tavrel's namespace, which the readers of the walker's output pass over.
void WriteName(Writer& out, const char* element, const std::string& name) {
    const std::string visible = VisibleName(name);
    out.Start(element);
    if (visible != name) out.Attribute("tavrel:bytes", HexBytes(name));
    out.Text(visible);
    out.End();
}

void WriteFile(Writer& out, const ListedFile& file) {
    out.Start("fileobject");
    WriteName(out, "filename", file.path);
    out.Element("name_type", file.folder ? "d" : "r");
    out.Element("filesize", file.size);
    out.Element(file.allocated ? "alloc" : "unalloc", "1");
    out.Element("inode", static_cast<long long>(file.inode));
    out.Element("meta_type", file.metaType);
    out.Element("mode", file.mode);
    out.TimeElement("mtime", file.written, "2");
    out.TimeElement("atime", file.accessed, "86400");
    out.TimeElement("crtime", file.created, "2");
    if (!file.runs.empty()) {
        out.Start("byte_runs");
        for (const ByteRun& run : file.runs) {
            out.Start("byte_run");
            out.Attribute("file_offset", std::to_string(run.fileOffset));
            out.Attribute("fs_offset", std::to_string(run.imageOffset));
            out.Attribute("img_offset", std::to_string(run.imageOffset));
            out.Attribute("len", std::to_string(run.length));
            out.End();
        }
        out.End();
    }
    // The walker gives an empty file no digests.
    if (file.hashed && file.size > 0) {
        const std::pair<const char*, const std::string*> digests[] = {
            {"md5", &file.md5}, {"sha1", &file.sha1}, {"sha256", &file.sha256}};
        for (const auto& [type, hex] : digests) {
            out.Start("hashdigest");
            out.Attribute("type", type);
            out.Text(*hex);
            out.End();
        }
    }
    if (file.damagedBytes > 0) out.Element("tavrel:unreadable_bytes", file.damagedBytes);
    out.End();
}

}  // namespace

bool CanWriteDfxml(std::string* why) {
    return XmlWriter::Available(why);
}

std::string ListingDfxml(const DisketteListing& listing, const std::string& imageName) {
    Writer out;
    out.StartDocument();
    out.Start("dfxml");
    out.Attribute("xmlns", kDfxmlNamespace);
    out.Attribute("xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance");
    out.Attribute("xmlns:dc", "http://purl.org/dc/elements/1.1/");
    out.Attribute("xmlns:tavrel", kTavrelNamespace);
    out.Attribute("version", "1.0");
    out.Start("metadata");
    out.Element("dc:type", "Disk Image");
    out.End();
    out.Start("creator");
    out.Attribute("version", "1.0");
    out.Element("program", "tavrel-cli");
    out.Element("version", TAVREL_VERSION);
    out.Start("build_environment");
    out.Start("library");
    out.Attribute("name", "libtsk");
    out.Attribute("version", listing.tskVersion);
    out.End();
    out.End();
    out.End();
    out.Start("source");
    WriteName(out, "image_filename", imageName);
    out.End();
    if (listing.hasFileSystem) {
        out.Start("volume");
        out.Attribute("offset", "0");
        out.Element("partition_offset", 0);
        out.Element("sector_size", 512);
        out.Element("block_size", 512);
        std::string type = listing.fileSystem;
        for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        out.Element("ftype_str", type);
        out.Element("block_count", listing.imageBytes / 512);
        for (const ListedFile& file : listing.files) WriteFile(out, file);
        for (const LeftOut& left : listing.leftOut) {
            out.Start("tavrel:left_out");
            out.Attribute("what", LeftOutKindName(left.kind));
            out.Attribute("why", left.why);
            WriteName(out, "tavrel:path", left.path);
            out.End();
        }
        out.End();
    } else {
        out.Element("tavrel:no_file_system", VisibleName(listing.why));
    }
    out.End();
    return out.Finish();
}

}  // namespace cli
