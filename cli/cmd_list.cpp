// glintvane-cli list FILE [--json]: the thumbnails of one Thumbs.db, as a
// table or as one JSON object with the image hashes.
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/file_time.h"
#include "cache/thumbcache_reader.h"
#include "cache/thumbs_reader.h"
#include "cli/cli_common.h"
#include "cli/cli_evidence.h"
#include "cli/commands.h"
#include "evidence/evidence_open.h"

namespace glintvane::cli {
namespace {

std::string Sha256Hex(std::span<const uint8_t> bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    return {};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out(2 * length, '0');
  for (unsigned int i = 0; i < length; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0xF];
  }
  return out;
}

std::string HashHex(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// Characters shown, for lining up columns (UTF-8 continuation bytes do not
// count).
size_t DisplayWidth(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string SizeText(const ThumbnailRow& row) {
  if (row.width <= 0 || row.height <= 0) return "";
  return std::to_string(row.width) + "x" + std::to_string(row.height);
}

std::vector<std::string> Cells(const ThumbnailRow& row, bool paths) {
  std::vector<std::string> cells = {Printable(row.key),
                                    Printable(row.name),
                                    Printable(row.time_text),
                                    std::string(ImageKindName(row.kind)),
                                    SizeText(row),
                                    std::to_string(row.length)};
  if (paths) cells.push_back(Printable(row.original_path));
  return cells;
}

// Two passes over the rows, one for the column widths and one to print: a
// table of a million rows is never held as text.
void PrintTable(const CacheReadResult& result, const ThumbnailList& list) {
  const UiTexts& texts = CliTexts();
  PrintLines(stdout, result.details);
  std::printf("\n");
  // The original paths, last, when a search index named any row.
  const bool paths = result.search_index && result.search_index->named > 0;
  std::vector<std::string> heading = {texts[kTextNumber],
                                      texts[kTextOriginalName],
                                      texts[kTextModified],
                                      "Kind",
                                      "Picture",
                                      "Bytes"};
  if (paths) heading.push_back(texts[kTextOriginalPath]);
  const size_t bytes_column = 5;
  std::vector<size_t> widths(heading.size(), 0);
  auto measure = [&](const std::vector<std::string>& line) {
    for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
  };
  auto print = [&](const std::vector<std::string>& line) {
    std::string out;
    for (size_t c = 0; c < line.size(); ++c) {
      const bool right = c == bytes_column;  // byte counts line up on the right
      const std::string pad(widths[c] - DisplayWidth(line[c]), ' ');
      out += right ? pad + line[c] : line[c];
      if (c + 1 < line.size()) out += right ? "  " : pad + "  ";
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    std::printf("%s\n", out.c_str());
  };
  measure(heading);
  for (size_t i = 0; i < list.size(); ++i) measure(Cells(list.RowCopy(i), paths));
  print(heading);
  for (size_t i = 0; i < list.size(); ++i) print(Cells(list.RowCopy(i), paths));
  std::printf("\n%s: %zu\n", texts[kTextFiles].c_str(), list.size());
}

// A JSON string. Texts the reader makes are UTF-8; anything else (a path
// from the command line, say) goes through nlohmann, which replaces bytes
// that are not UTF-8.
void AppendJsonString(std::string& out, std::string_view text) {
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x80 && c != '"' && c != '\\';
  });
  if (plain) {
    out += '"';
    out += text;
    out += '"';
    return;
  }
  out += nlohmann::json(std::string(text))
             .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AppendField(std::string& out, const char* name, std::string_view text) {
  out += '"';
  out += name;
  out += "\": ";
  AppendJsonString(out, text);
}

void AppendField(std::string& out, const char* name, int64_t value) {
  out += '"';
  out += name;
  out += "\": ";
  out += std::to_string(value);
}

void AppendTimeOrNull(std::string& out, const char* name, uint64_t filetime) {
  out += ", \"";
  out += name;
  out += "\": ";
  const std::string iso = FileTimeUtcIso(filetime);
  if (iso.empty()) {
    out += "null";
  } else {
    AppendJsonString(out, iso);
  }
}

void AppendOriginJson(std::string& out, const ThumbnailRow& row) {
  if (!row.from_search_index) {
    out +=
        ", \"original_path\": null, \"original_size\": null, \"original_modified_utc\": null, "
        "\"original_created_utc\": null, \"original_accessed_utc\": null";
    return;
  }
  out += ", ";
  AppendField(out, "original_path", row.original_path);
  out += ", \"original_size\": ";
  out += row.original_size < 0 ? "null" : std::to_string(row.original_size);
  AppendTimeOrNull(out, "original_modified_utc", row.filetime);
  AppendTimeOrNull(out, "original_created_utc", row.original_created);
  AppendTimeOrNull(out, "original_accessed_utc", row.original_accessed);
}

// One row as a JSON object on one line. Written directly rather than through
// a JSON tree: a cache of thousands of rows lists several times faster.
void AppendRowJson(std::string& out, const ThumbnailRow& row, const ImageStore& store) {
  const auto bytes =
      row.length > 0 ? store.View(row.start, row.length) : std::span<const uint8_t>{};
  out += "    {";
  AppendField(out, "key", row.key);
  out += ", ";
  AppendField(out, "name", row.name);
  out += ", ";
  AppendField(out, "modified", row.time_text);
  out += ", \"filetime\": ";
  out += std::to_string(row.filetime);
  out += ", ";
  AppendField(out, "modified_utc", FileTimeUtcIso(row.filetime));
  out += ", ";
  AppendField(out, "start", row.start);
  out += ", ";
  AppendField(out, "end", row.end);
  out += ", ";
  AppendField(out, "length", row.length);
  out += ", ";
  AppendField(out, "source_kind", static_cast<int64_t>(row.source_kind));
  out += ", ";
  AppendField(out, "kind", ImageKindName(row.kind));
  out += ", ";
  AppendField(out, "width", row.width);
  out += ", ";
  AppendField(out, "height", row.height);
  out += ", ";
  AppendField(out, "sha256", bytes.empty() ? std::string() : Sha256Hex(bytes));
  // Entries of a thumbcache_*.db: whether the index beside it still points at
  // the entry (null without an index, or for other caches), the header
  // checksum's verdict and the stored data checksum.
  out += ", \"indexed\": ";
  out += row.indexed < 0 ? "null" : (row.indexed > 0 ? "true" : "false");
  out += ", \"checksum_ok\": ";
  out += !row.thumbcache ? "null" : (row.checksum_ok ? "true" : "false");
  // The data checksum is shown but cannot be checked (its algorithm is not
  // known): null for every row, and a note on the rows that carry one.
  out += ", \"data_checksum_ok\": null";
  if (row.thumbcache) {
    out += ", ";
    AppendField(out, "entry_offset", static_cast<int64_t>(row.entry_offset));
    out += ", ";
    AppendField(out, "data_checksum", HashHex(row.data_checksum));
    out += ", ";
    AppendField(out, "data_checksum_note", kThumbcacheDataNotVerified);
  }
  // A thumbcache entry found outside the chain of entries (a deleted one).
  out += row.recovered ? ", \"recovered\": true" : ", \"recovered\": false";
  // What the Windows Search index says of the item (null when it does not
  // know the row's hash, or no index was read).
  AppendOriginJson(out, row);
  out += ", ";
  // The code that ended this row's stream (the walk went on past it); 0 if none.
  AppendField(out, "error_code", static_cast<int64_t>(row.error));
  out += '}';
}

void AppendStringArray(std::string& out, const std::vector<std::string>& lines) {
  out += '[';
  for (size_t i = 0; i < lines.size(); ++i) {
    out += i == 0 ? "\n    " : ",\n    ";
    AppendJsonString(out, lines[i]);
  }
  out += lines.empty() ? "]" : "\n  ]";
}

void AppendSearchIndexJson(std::string& out, const std::optional<SearchIndexUse>& use) {
  if (!use) {
    out += "null";
    return;
  }
  const auto text_or_null = [&out](const char* name, const std::string& text) {
    out += ", \"";
    out += name;
    out += "\": ";
    if (text.empty()) {
      out += "null";
    } else {
      AppendJsonString(out, text);
    }
  };
  out += "{\"path\": ";
  if (use->path.empty()) {
    out += "null";
  } else {
    AppendJsonString(out, use->path);
  }
  text_or_null("sought", use->sought);
  out += use->chosen ? ", \"chosen\": true" : ", \"chosen\": false";
  out += use->read ? ", \"read\": true" : ", \"read\": false";
  text_or_null("error", use->error);
  text_or_null("format", use->format);
  text_or_null("state", use->state);
  out += use->complete ? ", \"complete\": true" : ", \"complete\": false";
  out += ", \"rows\": " + std::to_string(use->rows);
  out += ", \"named_rows\": " + std::to_string(use->named);
  out += ", \"reasons\": ";
  AppendStringArray(out, use->reasons);
  out += ", \"notes\": ";
  AppendStringArray(out, use->notes);
  out += "}";
}

void PrintJson(const std::string& path, const CacheReadResult& result, bool interrupted,
               const ErrorList& errors, const ThumbnailList& list, const ImageStore& store) {
  std::string out = "{\n  ";
  AppendField(out, "path", path);
  if (!IsUtf8(path)) {
    out += ",\n  ";
    AppendField(out, "path_hex", HexOf(path));
  }
  out += result.ok ? ",\n  \"ok\": true" : ",\n  \"ok\": false";
  out += ",\n  \"error_code\": ";
  out += result.ok ? "null" : std::to_string(result.error_code);
  // Ctrl-C leaves a document as whole as any other, and says it stopped.
  out += result.ok && !interrupted ? ",\n  \"complete\": true" : ",\n  \"complete\": false";
  out += interrupted ? ",\n  \"interrupted\": true" : ",\n  \"interrupted\": false";
  out += ",\n  \"errors\": ";
  AppendStringArray(out, errors.lines());
  out += ",\n  \"details\": ";
  AppendStringArray(out, result.details);
  // A Thumbs.db shorter than its own structures call for: its size, the size
  // they call for (the least it was, when FAT sectors went with the cut) and
  // what lies past the end.
  out += ",\n  \"cut_short\": ";
  if (!result.cut_short) {
    out += "null";
  } else {
    const CutShort& cut = *result.cut_short;
    out += "{\"size\": " + std::to_string(cut.size) + ", \"expected_size\": ";
    out += cut.expected == 0 ? "null" : std::to_string(cut.expected);
    out += cut.at_least ? ", \"at_least\": true" : ", \"at_least\": false";
    out += ", \"past_the_end\": ";
    AppendStringArray(out, cut.past_the_end);
    out += "}";
  }
  // The Windows Search index looked for beside a thumbcache; null when none
  // was (another kind of cache, or a thumbcache outside a profile).
  out += ",\n  \"search_index\": ";
  AppendSearchIndexJson(out, result.search_index);
  out += ",\n  \"rows\": [";
  for (size_t i = 0; i < list.size(); ++i) {
    out += i == 0 ? "\n" : ",\n";
    // A copy: asking the list for row i would keep a full record of every
    // compact row.
    AppendRowJson(out, list.RowCopy(i), store);
    // Written in pieces: the text of a large cache need not be held whole.
    if (out.size() > (1u << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  out += list.empty() ? "]\n}\n" : "\n  ]\n}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}

int RunList(const std::string& path, bool json, const std::string& search_index) {
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  TerminalProgress progress;
  CacheReadOptions options;
  options.date_time_format = DefaultDateTimeFormat();
  options.open.search_index = search_index;
  OpenImages images;
  const CacheReadResult result = ReadCacheAt(
      EvidenceLocationOfText(path), images,
      CacheReadTarget{list, store, errors, CliTexts(), &progress, InterruptStop()}, options);
  const bool interrupted = result.stopped || Interrupted();
  if (json) {
    PrintJson(path, result, interrupted, errors, list, store);
  } else {
    PrintTable(result, list);
    PrintLines(stderr, errors.lines());
  }
  if (interrupted) {
    SayInterrupted("list", "after " + std::to_string(list.size()) + " rows" +
                               (result.stopped ? "; the cache was not read to its end" : ""));
  } else if (!result.ok) {
    HintAtImage(path);
  }
  if (result.cut_short) {
    // The thumbnails' bytes before the cut are still in the file.
    std::fprintf(stderr,
                 "glintvane-cli: %s is cut short (%s); \"glintvane-cli carve %s\" still finds "
                 "the thumbnails in it\n",
                 Printable(path).c_str(), Printable(result.cut_short->Text()).c_str(),
                 Printable(path).c_str());
  }
  return result.ok ? kExitOk : kExitFailed;
}

}  // namespace

void AddListCommand(CLI::App& app, int& exit_code) {
  auto* sub =
      app.add_subcommand("list", "List the thumbnails of a Thumbs.db or thumbcache_*.db file");
  auto path = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  sub->add_option("FILE", *path,
                  "the Thumbs.db or thumbcache_*.db file, or a cache inside a disk image as "
                  "search names it")
      ->required();
  sub->add_flag("--json", *json, "one JSON object with every row and the image hashes");
  auto search_index = std::make_shared<std::string>();
  AddSearchIndexOption(*sub, *search_index);
  sub->callback(
      [&exit_code, path, json, search_index] { exit_code = RunList(*path, *json, *search_index); });
}

}  // namespace glintvane::cli
