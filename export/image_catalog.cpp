#include "export/image_catalog.h"

#include <cstdio>

namespace glintvane {

std::string CsvField(std::string_view text, bool is_text) {
  std::string value;
  if (is_text && !text.empty() &&
      (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' || text[0] == '\t' ||
       text[0] == '\r')) {
    value += '\'';
  }
  value += text;
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string quoted = "\"";
  for (const char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0.
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  size_t n = 0;
  uint32_t min = 0;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) {
    n = 2;
    min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3;
    min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  uint32_t code = c & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    const auto t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    code = (code << 6) | (t & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return n;
}

void AppendJsonNumber(std::string& out, std::string_view key, int64_t value, bool comma = true) {
  out += JsonString(key) + ": " + std::to_string(value);
  if (comma) out += ", ";
}

void AppendJsonText(std::string& out, std::string_view key, std::string_view value,
                    bool comma = true) {
  out += JsonString(key) + ": " + JsonString(value);
  if (comma) out += ", ";
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
      ++i;
    } else {
      const size_t n = Utf8SequenceLength(text, i);
      if (n == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(text.substr(i, n));
        i += n;
      }
    }
  }
  out += '"';
  return out;
}

std::string BuildImageCsv(const std::vector<ExtractedImage>& images) {
  std::string csv =
      "file,number,name,time_text,time_utc,source,offset,length,md5,sha1,sha256,"
      "data_checksum_ok,data_check,recovered,original_path\r\n";
  for (const ExtractedImage& image : images) {
    csv += CsvField(image.path, true) + ",";
    csv += CsvField(image.key, true) + ",";
    csv += CsvField(image.name, true) + ",";
    csv += CsvField(image.time_text, true) + ",";
    csv += CsvField(image.time_utc, false) + ",";
    csv += CsvField(image.source, true) + ",";
    csv += (image.offset ? std::to_string(*image.offset) : std::string()) + ",";
    csv += std::to_string(image.length) + ",";
    csv += image.digests.md5 + "," + image.digests.sha1 + "," + image.digests.sha256 + ",";
    csv += (image.data_checksum_ok ? (*image.data_checksum_ok ? "true" : "false") : "") +
           std::string(",");
    csv += CsvField(image.data_check, true) + ",";
    csv += image.recovered ? "true," : "false,";
    csv += CsvField(image.original_path, true) + "\r\n";
  }
  return csv;
}

std::string BuildImageJson(const CatalogHead& head, const std::vector<ExtractedImage>& images) {
  std::string json = "{\n  ";
  AppendJsonText(json, "program", "Glintvane");
  AppendJsonText(json, "version", head.version);
  AppendJsonText(json, "run_time_utc", head.run_time_utc, false);
  json += ",\n  \"source\": {";
  AppendJsonText(json, "path", head.source_path);
  if (head.source_size) {
    AppendJsonNumber(json, "size", static_cast<int64_t>(*head.source_size));
    AppendJsonText(json, "sha256", head.source_sha256, false);
  } else {
    json += "\"size\": null, \"sha256\": null";
  }
  json += "},\n  ";
  AppendJsonText(json, "destination", head.destination);
  AppendJsonNumber(json, "checked", head.checked, false);
  json += ",\n  \"images\": [";
  for (size_t i = 0; i < images.size(); ++i) {
    const ExtractedImage& image = images[i];
    json += i == 0 ? "\n    {" : ",\n    {";
    AppendJsonText(json, "file", image.path);
    AppendJsonText(json, "number", image.key);
    AppendJsonText(json, "name", image.name);
    AppendJsonText(json, "time_text", image.time_text);
    if (image.time_utc.empty()) {
      json += "\"time_utc\": null, ";
    } else {
      AppendJsonText(json, "time_utc", image.time_utc);
    }
    AppendJsonText(json, "source", image.source);
    if (image.offset) {
      AppendJsonNumber(json, "offset", *image.offset);
    } else {
      json += "\"offset\": null, ";
    }
    AppendJsonNumber(json, "length", image.length);
    AppendJsonText(json, "md5", image.digests.md5);
    AppendJsonText(json, "sha1", image.digests.sha1);
    AppendJsonText(json, "sha256", image.digests.sha256);
    json += "\"data_checksum_ok\": ";
    json += image.data_checksum_ok ? (*image.data_checksum_ok ? "true, " : "false, ") : "null, ";
    AppendJsonText(json, "data_check", image.data_check);
    json += image.recovered ? "\"recovered\": true, " : "\"recovered\": false, ";
    if (image.original_path.empty()) {
      json += "\"original_path\": null}";
    } else {
      AppendJsonText(json, "original_path", image.original_path, false);
      json += '}';
    }
  }
  json += images.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return json;
}

}  // namespace glintvane
