#include "cli/json_writer.h"

#include <charconv>

#include "cli/cli_common.h"

namespace glintvane::cli {
namespace {

void AppendEscaped(std::string& out, std::string_view text) {
  if (!IsUtf8(text)) {
    // nlohmann knows how many U+FFFD a broken sequence becomes.
    out += nlohmann::json(std::string(text))
               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u >= 0x20 && u != '"' && u != '\\') continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
    switch (u) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default: {
        const char escape[] = {'\\', 'u', '0', '0', kHex[u >> 4], kHex[u & 0xF]};
        out.append(escape, sizeof escape);
      }
    }
  }
  out.append(text.substr(run));
  out += '"';
}

}  // namespace

JsonWriter::JsonWriter(Style style, std::FILE* out) : out_(out), style_(style) {
  text_.reserve(kJsonChunk + kJsonChunk / 4);
}

JsonWriter::~JsonWriter() {
  Flush();
}

JsonWriter& JsonWriter::Raw(std::string_view text) {
  text_.append(text);
  if (text_.size() >= kJsonChunk) Flush();
  return *this;
}

JsonWriter& JsonWriter::Number(int64_t value) {
  char digits[24];
  const auto done = std::to_chars(digits, digits + sizeof digits, value);
  return Raw(std::string_view(digits, static_cast<size_t>(done.ptr - digits)));
}

JsonWriter& JsonWriter::Number(uint64_t value) {
  char digits[24];
  const auto done = std::to_chars(digits, digits + sizeof digits, value);
  return Raw(std::string_view(digits, static_cast<size_t>(done.ptr - digits)));
}

JsonWriter& JsonWriter::Bool(bool value) {
  return Raw(value ? "true" : "false");
}

JsonWriter& JsonWriter::Null() {
  return Raw("null");
}

JsonWriter& JsonWriter::String(std::string_view text) {
  AppendEscaped(text_, text);
  if (text_.size() >= kJsonChunk) Flush();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  text_ += '"';
  text_.append(name);
  return Raw(style_ == Style::kCompact ? "\":" : "\": ");
}

JsonWriter& JsonWriter::TextField(std::string_view name, std::string_view text,
                                  std::string_view separator) {
  Key(name).String(text);
  if (IsUtf8(text)) return *this;
  Raw(separator).Key(std::string(name) + "_hex").Raw("\"").Raw(HexOf(text)).Raw("\"");
  return *this;
}

JsonWriter& JsonWriter::Value(const nlohmann::json& value, int indent) {
  return Raw(value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace));
}

void JsonWriter::Flush() {
  if (text_.empty()) return;
  std::fwrite(text_.data(), 1, text_.size(), out_);
  text_.clear();
}

void PrintJsonDocument(const nlohmann::json& document) {
  JsonWriter out;
  out.Value(document, 2).Raw("\n");
}

std::string JsonString(std::string_view text) {
  std::string out;
  AppendEscaped(out, text);
  return out;
}

}  // namespace glintvane::cli
