// glintvane-cli list FILE [--json]: the thumbnails of one Thumbs.db, as a
// table or as one JSON object with the image hashes.
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/file_time.h"
#include "cache/thumbcache_reader.h"
#include "cache/thumbs_reader.h"
#include "cli/cli_common.h"
#include "cli/cli_evidence.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
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

std::vector<std::string> Cells(const ThumbnailRow& row) {
  return {Printable(row.key),
          Printable(row.name),
          Printable(row.time_text),
          std::string(ImageKindName(row.kind)),
          SizeText(row),
          std::to_string(row.length)};
}

// Two passes over the rows, one for the column widths and one to print: a
// table of a million rows is never held as text.
void PrintTable(const CacheReadResult& result, const ThumbnailList& list) {
  const UiTexts& texts = CliTexts();
  PrintLines(stdout, result.details);
  std::printf("\n");
  const std::vector<std::string> heading = {texts[kTextNumber],
                                            texts[kTextOriginalName],
                                            texts[kTextModified],
                                            "Kind",
                                            "Picture",
                                            "Bytes"};
  std::vector<size_t> widths(heading.size(), 0);
  auto measure = [&](const std::vector<std::string>& line) {
    for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
  };
  auto print = [&](const std::vector<std::string>& line) {
    std::string out;
    for (size_t c = 0; c < line.size(); ++c) {
      const bool right = c == line.size() - 1;  // byte counts line up on the right
      const std::string pad(widths[c] - DisplayWidth(line[c]), ' ');
      out += right ? pad + line[c] : line[c];
      if (c + 1 < line.size()) out += right ? "" : pad + "  ";
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    std::printf("%s\n", out.c_str());
  };
  measure(heading);
  for (size_t i = 0; i < list.size(); ++i) measure(Cells(list.RowCopy(i)));
  print(heading);
  for (size_t i = 0; i < list.size(); ++i) print(Cells(list.RowCopy(i)));
  std::printf("\n%s: %zu\n", texts[kTextFiles].c_str(), list.size());
}

// One row as a JSON object on one line. Written directly rather than through
// a JSON tree: a cache of thousands of rows lists several times faster.
void WriteRowJson(JsonWriter& out, const ThumbnailRow& row, const ImageStore& store) {
  const auto bytes =
      row.length > 0 ? store.View(row.start, row.length) : std::span<const uint8_t>{};
  out.Raw("    {").Key("key").String(row.key);
  out.Raw(", ").Key("name").String(row.name);
  out.Raw(", ").Key("modified").String(row.time_text);
  out.Raw(", ").Key("filetime").Number(uint64_t{row.filetime});
  out.Raw(", ").Key("modified_utc").String(FileTimeUtcIso(row.filetime));
  out.Raw(", ").Key("start").Number(int64_t{row.start});
  out.Raw(", ").Key("end").Number(int64_t{row.end});
  out.Raw(", ").Key("length").Number(int64_t{row.length});
  out.Raw(", ").Key("source_kind").Number(static_cast<int64_t>(row.source_kind));
  out.Raw(", ").Key("kind").String(ImageKindName(row.kind));
  out.Raw(", ").Key("width").Number(int64_t{row.width});
  out.Raw(", ").Key("height").Number(int64_t{row.height});
  out.Raw(", ").Key("sha256").String(bytes.empty() ? std::string() : Sha256Hex(bytes));
  // Entries of a thumbcache_*.db: whether the index beside it still points at
  // the entry (null without an index, or for other caches), the header
  // checksum's verdict and the stored data checksum.
  out.Raw(", ").Key("indexed");
  row.indexed < 0 ? out.Null() : out.Bool(row.indexed > 0);
  out.Raw(", ").Key("checksum_ok");
  !row.thumbcache ? out.Null() : out.Bool(row.checksum_ok);
  // The data checksum is shown but cannot be checked (its algorithm is not
  // known): null for every row, and a note on the rows that carry one.
  out.Raw(", ").Key("data_checksum_ok").Null();
  if (row.thumbcache) {
    out.Raw(", ").Key("entry_offset").Number(static_cast<int64_t>(row.entry_offset));
    out.Raw(", ").Key("data_checksum").String(HashHex(row.data_checksum));
    out.Raw(", ").Key("data_checksum_note").String(kThumbcacheDataNotVerified);
  }
  // A thumbcache entry found outside the chain of entries (a deleted one).
  out.Raw(", ").Key("recovered").Bool(row.recovered);
  // The code that ended this row's stream (the walk went on past it); 0 if none.
  out.Raw(", ").Key("error_code").Number(static_cast<int64_t>(row.error));
  out.Raw("}");
}

void WriteStringArray(JsonWriter& out, const std::vector<std::string>& lines) {
  out.Raw("[");
  for (size_t i = 0; i < lines.size(); ++i) out.Raw(i == 0 ? "\n    " : ",\n    ").String(lines[i]);
  out.Raw(lines.empty() ? "]" : "\n  ]");
}

// A Thumbs.db shorter than its own structures call for: its size, the size
// they call for (the least it was, when FAT sectors went with the cut) and
// what lies past the end.
void WriteCutShort(JsonWriter& out, const std::optional<CutShort>& cut) {
  out.Raw(",\n  ").Key("cut_short");
  if (!cut) {
    out.Null();
    return;
  }
  out.Raw("{").Key("size").Number(uint64_t{cut->size}).Raw(", ").Key("expected_size");
  cut->expected == 0 ? out.Null() : out.Number(uint64_t{cut->expected});
  out.Raw(", ").Key("at_least").Bool(cut->at_least).Raw(", ").Key("past_the_end");
  WriteStringArray(out, cut->past_the_end);
  out.Raw("}");
}

void PrintJson(const std::string& path, const CacheReadResult& result, bool interrupted,
               const ErrorList& errors, const ThumbnailList& list, const ImageStore& store) {
  JsonWriter out;
  out.Raw("{\n  ").TextField("path", path, ",\n  ");
  out.Raw(",\n  ").Key("ok").Bool(result.ok).Raw(",\n  ").Key("error_code");
  result.ok ? out.Null() : out.Number(int64_t{result.error_code});
  // Ctrl-C leaves a document as whole as any other, and says it stopped.
  out.Raw(",\n  ").Key("complete").Bool(result.ok && !interrupted);
  out.Raw(",\n  ").Key("interrupted").Bool(interrupted);
  out.Raw(",\n  ").Key("errors");
  WriteStringArray(out, errors.Lines(CliTexts()));
  out.Raw(",\n  ").Key("error_entries").Value(ErrorEntriesJson(errors.entries()));
  out.Raw(",\n  ").Key("details");
  WriteStringArray(out, result.details);
  WriteCutShort(out, result.cut_short);
  out.Raw(",\n  ").Key("rows").Raw("[");
  for (size_t i = 0; i < list.size(); ++i) {
    out.Raw(i == 0 ? "\n" : ",\n");
    // A copy: asking the list for row i would keep a full record of every
    // compact row.
    WriteRowJson(out, list.RowCopy(i), store);
  }
  out.Raw(list.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

int RunList(const std::string& path, bool json) {
  ThumbnailList list;
  ImageStore store;
  ErrorList errors;
  TerminalProgress progress;
  CacheReadOptions options;
  options.date_time_format = DefaultDateTimeFormat();
  OpenImages images;
  const CacheReadResult result = ReadCacheAt(
      EvidenceLocationOfText(path), images,
      CacheReadTarget{list, store, errors, CliTexts(), &progress, InterruptStop()}, options);
  const bool interrupted = result.stopped || Interrupted();
  if (json) {
    PrintJson(path, result, interrupted, errors, list, store);
  } else {
    PrintTable(result, list);
    PrintLines(stderr, errors.Lines(CliTexts()));
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
  sub->callback([&exit_code, path, json] { exit_code = RunList(*path, *json); });
}

}  // namespace glintvane::cli
