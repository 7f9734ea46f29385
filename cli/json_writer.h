// The one way the command line writes its documents: JSON (and the tables
// beside it) gathered in a buffer and written to standard output in pieces,
// so that millions of rows stream out with memory that does not grow with
// them. Each command lays out its own document; the writer escapes its
// strings, adds the _hex twin of a name that is not UTF-8 and writes whole
// nlohmann documents the same way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace glintvane::cli {

// Output is written in pieces of this size: large enough that writing costs
// little per row, small enough to be nothing beside the rows themselves.
inline constexpr size_t kJsonChunk = size_t{64} << 10;

class JsonWriter {
 public:
  // kCompact writes "name":value, kSpaced "name": value.
  enum class Style { kCompact, kSpaced };

  explicit JsonWriter(Style style = Style::kSpaced, std::FILE* out = stdout);
  ~JsonWriter();
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  // Text as it is: the document's structure, a table's cells.
  JsonWriter& Raw(std::string_view text);
  JsonWriter& Number(int64_t value);
  JsonWriter& Number(uint64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();
  // A JSON string: quotes, backslashes and control characters escaped as
  // nlohmann escapes them; bytes that are not UTF-8 become U+FFFD.
  JsonWriter& String(std::string_view text);
  // "name": with the writer's spacing.
  JsonWriter& Key(std::string_view name);
  // "name": "text" and, when `text` is not UTF-8, `separator` and
  // "name_hex" with its exact bytes in hex.
  JsonWriter& TextField(std::string_view name, std::string_view text, std::string_view separator);
  // A whole document or value, indented by `indent` (-1: on one line).
  JsonWriter& Value(const nlohmann::json& value, int indent = -1);

  void Flush();
  // Drops what is not written yet: the head of a document whose input then
  // could not be read.
  void Discard() { text_.clear(); }

 private:
  std::FILE* out_;
  Style style_;
  std::string text_;
};

// A whole document, indented by two, and a line end: the form of the
// documents that are gathered before they are printed.
void PrintJsonDocument(const nlohmann::json& document);

// `text` as a JSON string, as JsonWriter::String writes it.
std::string JsonString(std::string_view text);

}  // namespace glintvane::cli
