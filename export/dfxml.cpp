#include "export/dfxml.h"

#include <utility>

namespace glintvane {
namespace {

// The length of the UTF-8 sequence starting at text[i], 0 when it is not one.
size_t Utf8Length(std::string_view text, size_t i, uint32_t& code) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t b = byte(i);
  size_t n = 0;
  if (b < 0x80) {
    code = b;
    return 1;
  }
  if ((b & 0xE0) == 0xC0) {
    n = 2;
    code = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3;
    code = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4;
    code = b & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past Unicode are not characters.
  static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kMin[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

void Element(std::string& out, int indent, const char* name, std::string_view text) {
  out.append(static_cast<size_t>(indent), ' ');
  out += '<';
  out += name;
  out += '>';
  out += XmlEscape(text);
  out += "</";
  out += name;
  out += ">\n";
}

}  // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t code = 0;
    const size_t n = Utf8Length(text, i, code);
    const bool allowed = n > 0 && (code >= 0x20 || code == 0x09 || code == 0x0A || code == 0x0D) &&
                         code != 0xFFFE && code != 0xFFFF;
    if (!allowed) {
      out += "\xEF\xBF\xBD";
      i += n > 0 ? n : 1;
      continue;
    }
    switch (code) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out.append(text.substr(i, n));
    }
    i += n;
  }
  return out;
}

DfxmlFileObject CarvedFileObject(std::string filename, uint64_t length,
                                 std::vector<DfxmlByteRun> runs, Digests digests) {
  DfxmlFileObject object;
  object.filename = std::move(filename);
  object.filesize = length;
  object.byte_runs = std::move(runs);
  object.digests = std::move(digests);
  return object;
}

DfxmlFileObject ExtractedFileObject(const ExtractedImage& image) {
  std::vector<DfxmlByteRun> runs;
  if (image.offset) {
    runs.push_back({0, static_cast<uint64_t>(*image.offset), static_cast<uint64_t>(image.length)});
  }
  return CarvedFileObject(image.path, static_cast<uint64_t>(image.length), std::move(runs),
                          image.digests);
}

std::string BuildDfxml(const DfxmlRun& run, const std::vector<DfxmlFileObject>& objects) {
  std::string out =
      "<?xml version='1.0' encoding='UTF-8'?>\n"
      "<dfxml xmloutputversion='1.0' "
      "xmlns='http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML' "
      "xmlns:dc='http://purl.org/dc/elements/1.1/' "
      "xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'>\n"
      "  <metadata>\n";
  Element(out, 4, "dc:type", run.kind == "carve" ? "Carve Report" : "Extraction Report");
  out += "  </metadata>\n  <creator version='1.0'>\n";
  Element(out, 4, "program", run.program);
  Element(out, 4, "version", run.version);
  out += "    <execution_environment>\n";
  Element(out, 6, "command_line", run.command_line);
  Element(out, 6, "start_time", run.start_time);
  if (!run.end_time.empty()) Element(out, 6, "end_time", run.end_time);
  Element(out, 6, "complete", run.complete ? "true" : "false");
  Element(out, 6, "interrupted", run.interrupted ? "true" : "false");
  if (!run.status.empty()) Element(out, 6, "status", run.status);
  out += "    </execution_environment>\n  </creator>\n  <source>\n";
  Element(out, 4, "image_filename", run.source);
  if (run.source_size) Element(out, 4, "image_size", std::to_string(*run.source_size));
  out += "  </source>\n";
  for (const DfxmlFileObject& object : objects) {
    out += "  <fileobject>\n";
    Element(out, 4, "filename", object.filename);
    Element(out, 4, "filesize", std::to_string(object.filesize));
    if (!object.source_path.empty()) Element(out, 4, "original_source", object.source_path);
    if (!object.byte_runs.empty()) {
      out += "    <byte_runs>\n";
      for (const DfxmlByteRun& r : object.byte_runs) {
        out += "      <byte_run offset='" + std::to_string(r.file_offset) + "' img_offset='" +
               std::to_string(r.img_offset) + "' len='" + std::to_string(r.length) + "'/>\n";
      }
      out += "    </byte_runs>\n";
    }
    if (!object.digests.md5.empty()) {
      out += "    <hashdigest type='md5'>" + object.digests.md5 + "</hashdigest>\n";
    }
    if (!object.digests.sha1.empty()) {
      out += "    <hashdigest type='sha1'>" + object.digests.sha1 + "</hashdigest>\n";
    }
    if (!object.digests.sha256.empty()) {
      out += "    <hashdigest type='sha256'>" + object.digests.sha256 + "</hashdigest>\n";
    }
    out += "  </fileobject>\n";
  }
  out += "</dfxml>\n";
  return out;
}

}  // namespace glintvane
