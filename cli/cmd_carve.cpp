// glintvane-cli carve FILE [--kinds K,...] [--json] [--hash]: lists every JFIF
// image (or picture of the kinds asked for) found in FILE, and whether each
// decodes. Exit status 0 when the whole file was read (whether or not it held
// an image; "ok" tells that), 1 when it could not be, 2 for a wrong command
// line.
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/evidence_location.h"
#include "cache/raw_caches.h"
#include "cache/thumbnail_list.h"
#include "carve/carve_kinds.h"
#include "carve/carve_scan.h"
#include "carve/carve_verify.h"
#include "cli/cli_common.h"
#include "cli/cli_evidence.h"
#include "cli/commands.h"
#include "evidence/carve_source.h"
#include "export/digest.h"
#include "texts/error_list.h"

namespace glintvane::cli {
namespace {

// Output is built here and written in pieces of about this size, so a
// million rows stream out with memory that does not grow with them.
constexpr size_t kOutputChunk = size_t{64} << 10;
// Bytes hashed per read.
constexpr size_t kHashBlock = size_t{1} << 20;

class Output {
 public:
  ~Output() { Flush(); }
  void Add(std::string_view text) {
    if (text.size() > sizeof text_ - used_) {
      Flush();
      if (text.size() > sizeof text_) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
      }
    }
    std::memcpy(text_ + used_, text.data(), text.size());
    used_ += text.size();
  }
  void Add(int64_t number) {
    // Millions of rows print several numbers each: straight into the buffer.
    if (sizeof text_ - used_ < 24) Flush();
    const auto done = std::to_chars(text_ + used_, text_ + sizeof text_, number);
    used_ = static_cast<size_t>(done.ptr - text_);
  }
  void Flush() {
    std::fwrite(text_, 1, used_, stdout);
    used_ = 0;
  }

 private:
  char text_[kOutputChunk];
  size_t used_ = 0;
};

// The digests of [start, start + length) of the source; empty when the bytes
// cannot be read.
Digests HashRange(ByteSource& source, int64_t start, int64_t length, std::vector<uint8_t>& buffer) {
  MultiDigest digest;
  while (length > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(length, kHashBlock));
    const auto got = source.ReadAt(static_cast<uint64_t>(start), std::span(buffer).first(want));
    if (!got || *got == 0) return {};
    digest.Update(std::span(buffer).first(*got));
    start += static_cast<int64_t>(*got);
    length -= static_cast<int64_t>(*got);
  }
  return digest.Finish();
}

std::string JsonText(std::string_view text) {
  return nlohmann::json(std::string(text))
      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

struct CarveArgs {
  std::string path;
  bool json = false;
  bool hash = false;
  bool unallocated = false;
  std::string dfxml;
  size_t max_rows = kDefaultCarveRowLimit;
  std::string kinds = "jfif";
  bool no_verify = false;
  bool caches = false;
};

// A stretch of the scanned bytes that a found cache or entry holds: the
// pictures carved inside it are marked, not taken for loose ones.
struct Holder {
  int64_t start = 0;
  int64_t end = 0;
  std::string location;       // a Thumbs.db: its location's text
  int64_t entry_offset = -1;  // a thumbcache entry: where its header lies
};

// The holder whose stretch a picture starting at `start` starts in, in
// `holders` sorted by start and never overlapping; null when none.
const Holder* HolderOf(const std::vector<Holder>& holders, int64_t start) {
  auto it = std::upper_bound(holders.begin(), holders.end(), start,
                             [](int64_t at, const Holder& h) { return at < h.start; });
  if (it == holders.begin()) return nullptr;
  --it;
  return start < it->end ? &*it : nullptr;
}

// The picture's format, whichever start found it: "jpeg", "png" or "bmp".
std::string_view PictureKind(CarveKind kind) {
  switch (kind) {
    case CarveKind::kPng:
      return "png";
    case CarveKind::kBmp:
      return "bmp";
    default:
      return "jpeg";
  }
}

std::string_view DecodesWord(DecodeCheck decodes) {
  switch (decodes) {
    case DecodeCheck::kDecodes:
      return "yes";
    case DecodeCheck::kFails:
      return "no";
    case DecodeCheck::kUnchecked:
      break;
  }
  return "-";
}

std::string_view DecodesJson(DecodeCheck decodes) {
  switch (decodes) {
    case DecodeCheck::kDecodes:
      return "true";
    case DecodeCheck::kFails:
      return "false";
    case DecodeCheck::kUnchecked:
      break;
  }
  return "null";
}

// "after 262144 of 68719476736 bytes (0 %); 1 image found".
std::string HowFar(const CarveResult& result, size_t rows) {
  const uint64_t percent =
      result.file_size == 0
          ? 0
          : static_cast<uint64_t>(static_cast<unsigned __int128>(result.bytes_read) * 100 /
                                  result.file_size);
  return "after " + std::to_string(result.bytes_read) + " of " + std::to_string(result.file_size) +
         " bytes (" + std::to_string(percent) + " %); " + std::to_string(rows) +
         (rows == 1 ? " image" : " images") + " found; the output holds them";
}

int RunCarve(const CarveArgs& args) {
  const std::string& path = args.path;
  const bool json = args.json;
  const bool hash = args.hash;
  DfxmlRun run = ThisRun("carve", path);
  auto opened = OpenCarveSource(path, {.unallocated = args.unallocated});
  if (!opened) {
    std::fprintf(stderr, "glintvane-cli carve: %s\n", Printable(opened.error()).c_str());
    if (json) PrintJsonFailure("path", path, opened.error(), kExitFailed);
    return kExitFailed;
  }
  CarveSource& carved = **opened;
  const bool through_image = carved.kind() != CarveSource::Kind::kFile;
  const bool unallocated = carved.kind() == CarveSource::Kind::kUnallocated;
  // Checked by the option's validator already.
  const CarveKinds kinds = ParseCarveKinds(args.kinds).value_or(kDefaultCarveKinds);
  ThumbnailList list;
  ErrorList errors;
  CarveResult result;
  {
    TerminalProgress progress;
    CarveTarget target{list, errors, CliTexts(), &progress, InterruptStop(), args.max_rows, kinds};
    target.caches = args.caches;
    result = carved.Scan(target);
  }
  // What the caches found hold; a Thumbs.db takes its stretch before the
  // entries inside it would.
  std::vector<Holder> holders;
  std::vector<std::string> cache_paths;
  for (const RawThumbsDb& found : result.thumbs_dbs) {
    cache_paths.push_back(FormatEvidenceLocation(carved.CacheLocation(found.offset)));
    holders.push_back({static_cast<int64_t>(found.offset),
                       static_cast<int64_t>(found.offset + found.length()), cache_paths.back()});
  }
  for (size_t i = list.size() - result.thumbcache_rows; i < list.size(); ++i) {
    const ThumbnailRow& row = list[i];
    if (row.length > 0 && !HolderOf(holders, row.start)) {
      holders.push_back({row.start, row.end, "", static_cast<int64_t>(row.entry_offset)});
    }
  }
  std::sort(holders.begin(), holders.end(),
            [](const Holder& a, const Holder& b) { return a.start < b.start; });
  // Entries may lie one in another: the first of them holds.
  holders.erase(std::unique(holders.begin(), holders.end(),
                            [](const Holder& a, const Holder& b) { return b.start < a.end; }),
                holders.end());
  ByteSource* source = carved.bytes();
  // Each picture is decoded from the bytes just scanned; a stopped scan
  // lists what it found without checking it.
  const bool verify = !args.no_verify && source != nullptr && !result.stopped && !Interrupted();
  if (verify) {
    TerminalProgress progress;
    CheckCarvedRows(list, 0, *source, InterruptStop(), &progress);
  }
  const bool interrupted = result.stopped || Interrupted();
  const bool digests = hash || !args.dfxml.empty();
  std::vector<uint8_t> buffer;
  if (digests) buffer.resize(kHashBlock);
  std::vector<DfxmlFileObject> objects;

  Output out;
  if (json) {
    out.Add("{\"path\":");
    out.Add(JsonText(path));
    if (!IsUtf8(path)) {
      out.Add(",\"path_hex\":\"");
      out.Add(HexOf(path));
      out.Add("\"");
    }
    out.Add(result.ok ? ",\"ok\":true" : ",\"ok\":false");
    out.Add(",\"error_code\":");
    if (result.error_code == 0) {
      out.Add("null");
    } else {
      out.Add(result.error_code);
    }
    out.Add(",\"file_size\":");
    out.Add(static_cast<int64_t>(result.file_size));
    if (through_image) {
      out.Add(",\"image_format\":");
      out.Add(JsonText(carved.format()));
      out.Add(unallocated ? ",\"unallocated\":true" : ",\"unallocated\":false");
    }
    out.Add(",\"scanned\":");
    out.Add(JsonText(carved.description()));
    out.Add(",\"kinds\":");
    out.Add(JsonText(CarveKindsText(kinds)));
    out.Add(verify ? ",\"verified\":true" : ",\"verified\":false");
    out.Add(",\"errors\":[");
    for (size_t i = 0; i < errors.lines().size(); ++i) {
      if (i > 0) out.Add(",");
      out.Add(JsonText(errors.lines()[i]));
    }
    out.Add("],\"rows\":[");
  } else {
    out.Add(hash ? "key\tstart\tend\tlength\tcomplete\tsha256\tsignature\tdecodes"
                 : "key\tstart\tend\tlength\tcomplete\tsignature\tdecodes");
    out.Add(args.caches ? "\tinside\n" : "\n");
  }
  for (size_t i = 0; i < list.size(); ++i) {
    // Straight from the list's compact entries: a full record for each of
    // millions of rows would cost both memory and time.
    int64_t start = 0, end = 0, length = 0;
    bool complete = false;
    CarveKind kind = CarveKind::kJfif;
    DecodeCheck decodes = DecodeCheck::kUnchecked;
    std::string key;
    const ThumbnailRow* entry_row = nullptr;  // a thumbcache entry found by its header
    if (const CarvedEntry* entry = list.CarvedAt(i)) {
      start = entry->start;
      end = entry->end;
      length = entry->length;
      complete = entry->complete;
      kind = entry->kind;
      decodes = entry->decodes;
    } else {
      const ThumbnailRow& row = list[i];
      start = row.start;
      end = row.end;
      length = row.length;
      complete = row.complete;
      kind = row.carve_kind;
      decodes = row.decodes;
      key = row.key;
      if (row.thumbcache) entry_row = &row;
    }
    const Holder* holder = entry_row == nullptr ? HolderOf(holders, start) : nullptr;
    const auto add_key = [&] {
      if (key.empty()) {
        out.Add(static_cast<int64_t>(i));  // a carved row's key is its number
      } else {
        out.Add(key);  // decimal digits: nothing to escape
      }
    };
    const Digests sums =
        digests && source != nullptr ? HashRange(*source, start, length, buffer) : Digests{};
    const std::string& digest = sums.sha256;
    // Where the image lies in the file or the disk: the unallocated stream
    // joins stretches that need not be neighbours on the disk.
    // Asked for only where they are printed: a vector per row of millions
    // would cost more than the row.
    std::vector<DfxmlByteRun> runs;
    if (length > 0 && (unallocated || !args.dfxml.empty())) {
      for (const ImageRun& piece :
           carved.SourceRunsOf(static_cast<uint64_t>(start), static_cast<uint64_t>(length))) {
        runs.push_back({piece.stream_offset, piece.image_offset, piece.length});
      }
    }
    if (!args.dfxml.empty()) {
      DfxmlFileObject object;
      ThumbnailRow named;
      named.kind = CarvedImageKind(kind);
      object.filename = (key.empty() ? std::to_string(i) : key) + std::string(RowExtension(named));
      object.filesize = static_cast<uint64_t>(std::max<int64_t>(length, 0));
      object.byte_runs = runs;
      object.digests = sums;
      objects.push_back(std::move(object));
    }
    if (json) {
      out.Add(i > 0 ? ",\n{\"key\":\"" : "\n{\"key\":\"");
      add_key();
      out.Add("\",\"start\":");
      out.Add(start);
      out.Add(",\"end\":");
      out.Add(end);
      out.Add(",\"length\":");
      out.Add(length);
      out.Add(complete ? ",\"complete\":true" : ",\"complete\":false");
      out.Add(",\"kind\":\"");
      out.Add(entry_row ? ImageKindName(entry_row->kind) : PictureKind(kind));
      out.Add("\",\"signature\":\"");
      out.Add(entry_row ? std::string_view("thumbcache") : CarveKindName(kind));
      out.Add("\",\"decodes\":");
      out.Add(DecodesJson(decodes));
      if (entry_row != nullptr) {
        out.Add(",\"hash\":\"");
        out.Add(entry_row->key);
        out.Add("\",\"identifier\":");
        out.Add(JsonText(entry_row->name));
        out.Add(",\"size\":");
        out.Add(length);
        out.Add(",\"entry_offset\":");
        out.Add(static_cast<int64_t>(entry_row->entry_offset));
        out.Add(",\"recovered\":true");
      }
      if (holder != nullptr && !holder->location.empty()) {
        out.Add(",\"inside\":");
        out.Add(JsonText(holder->location));
      } else if (holder != nullptr) {
        out.Add(",\"inside_entry\":");
        out.Add(holder->entry_offset);
      }
      if (unallocated && !runs.empty()) {
        out.Add(",\"img_offset\":");
        out.Add(static_cast<int64_t>(runs.front().img_offset));
      }
      if (hash) {
        out.Add(",\"sha256\":\"");
        out.Add(digest);  // empty when the bytes could not be read
        out.Add("\"");
      }
      out.Add("}");
    } else {
      add_key();
      out.Add("\t");
      out.Add(start);
      out.Add("\t");
      out.Add(end);
      out.Add("\t");
      out.Add(length);
      out.Add(complete ? "\tyes" : "\tno");
      if (hash) {
        out.Add("\t");
        out.Add(digest);
      }
      out.Add("\t");
      out.Add(entry_row ? std::string_view("thumbcache") : CarveKindName(kind));
      out.Add("\t");
      out.Add(DecodesWord(decodes));
      if (args.caches) {
        out.Add("\t");
        if (holder != nullptr && !holder->location.empty()) {
          out.Add(holder->location);
        } else if (holder != nullptr) {
          out.Add("entry@");
          out.Add(holder->entry_offset);
        } else {
          out.Add("-");
        }
      }
      out.Add("\n");
    }
  }
  const uint64_t lost = carved.unreadable_sectors();
  const std::vector<std::string>& cut_short = carved.incomplete();
  const bool complete = result.finished && lost == 0 && cut_short.empty() && !interrupted;
  const std::string how_far = interrupted ? HowFar(result, list.size()) : std::string();

  // The record is written before the JSON document ends, so that the
  // document can say whether it was.
  bool recorded = true;
  if (!args.dfxml.empty()) {
    run.source_size = carved.source_size();
    run.complete = complete;
    run.interrupted = interrupted;
    if (interrupted) {
      run.status = "stopped by Ctrl-C " + how_far;
    } else if (!cut_short.empty()) {
      run.status = cut_short.front();
    } else if (lost > 0) {
      run.status = std::to_string(lost) + " unreadable sectors were read as zeros";
    }
    recorded = WriteDfxmlFile(args.dfxml, path, run, objects);
  }
  if (json) {
    out.Add("]");
    if (through_image) {
      out.Add(",\"unreadable_sectors\":");
      out.Add(static_cast<int64_t>(lost));
    }
    out.Add(",\"bytes_read\":");
    out.Add(static_cast<int64_t>(result.bytes_read));
    out.Add(complete ? ",\"complete\":true" : ",\"complete\":false");
    out.Add(interrupted ? ",\"interrupted\":true" : ",\"interrupted\":false");
    out.Add(",\"incomplete_reasons\":[");
    for (size_t i = 0; i < cut_short.size(); ++i) {
      if (i > 0) out.Add(",");
      out.Add(JsonText(cut_short[i]));
    }
    if (args.caches) {
      out.Add("],\"caches\":[");
      for (size_t k = 0; k < result.thumbs_dbs.size(); ++k) {
        const RawThumbsDb& found = result.thumbs_dbs[k];
        out.Add(k > 0 ? ",\n{\"path\":" : "\n{\"path\":");
        out.Add(JsonText(cache_paths[k]));
        out.Add(",\"name\":\"Thumbs.db\",\"offset\":");
        out.Add(static_cast<int64_t>(found.offset));
        out.Add(",\"length\":");
        out.Add(static_cast<int64_t>(found.length()));
        out.Add(",\"window\":");
        out.Add(static_cast<int64_t>(found.window));
        out.Add(found.complete() ? ",\"complete\":true,\"cut_short\":null}"
                                 : ",\"complete\":false,\"cut_short\":");
        if (!found.complete()) {
          out.Add(JsonText(found.measure.Text()));
          out.Add("}");
        }
      }
    }
    out.Add("],\"notes\":[");
    for (size_t i = 0; i < carved.notes().size(); ++i) {
      if (i > 0) out.Add(",");
      out.Add(JsonText(carved.notes()[i]));
    }
    out.Add("]");
    if (!args.dfxml.empty())
      out.Add(recorded ? ",\"dfxml_written\":true" : ",\"dfxml_written\":false");
    out.Add("}\n");
  }
  if (!json && args.caches && !result.thumbs_dbs.empty()) {
    out.Add("\ncache\toffset\tlength\tcomplete\tcut_short\n");
    for (size_t k = 0; k < result.thumbs_dbs.size(); ++k) {
      const RawThumbsDb& found = result.thumbs_dbs[k];
      out.Add(cache_paths[k]);
      out.Add("\t");
      out.Add(static_cast<int64_t>(found.offset));
      out.Add("\t");
      out.Add(static_cast<int64_t>(found.length()));
      out.Add(found.complete() ? "\tyes\t-\n" : "\tno\t");
      if (!found.complete()) {
        out.Add(found.measure.Text());
        out.Add("\n");
      }
    }
  }
  out.Flush();

  if (!json) PrintLines(stderr, errors.lines());
  for (const std::string& note : carved.notes()) {
    std::fprintf(stderr, "glintvane-cli carve: %s\n", Printable(note).c_str());
  }
  for (const std::string& reason : cut_short) {
    std::fprintf(stderr, "glintvane-cli carve: %s\n", Printable(reason).c_str());
  }
  if (lost > 0) {
    std::fprintf(stderr,
                 "glintvane-cli carve: %s: %llu unreadable sectors were read as zeros; carving "
                 "went on past them\n",
                 Printable(path).c_str(), static_cast<unsigned long long>(lost));
  }
  if (interrupted) SayInterrupted("carve", how_far);
  return result.finished && lost == 0 && cut_short.empty() && recorded ? kExitOk : kExitFailed;
}

}  // namespace

CLI::Option* AddKindsOption(CLI::App* command, std::string& kinds) {
  return command
      ->add_option("--kinds", kinds,
                   "the kinds of picture to carve, comma-separated: jfif (the default), exif, "
                   "jpeg, png, bmp, or all")
      ->check(CLI::Validator(
          [](std::string& text) {
            const auto parsed = ParseCarveKinds(text);
            return parsed ? std::string() : parsed.error();
          },
          "KINDS"));
}

void AddCarveCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand(
      "carve",
      "Find every JFIF image (or picture of the kinds asked for) in a file (pagefile.sys, "
      "hiberfil.sys, any file) and check that each decodes. Exit 0 when the whole file was "
      "read, 1 when it could not be.");
  auto args = std::make_shared<CarveArgs>();
  sub->add_option("FILE", args->path,
                  "the file to scan; a disk image in EWF, VMDK, VHD, VHDX, QCOW2, AFF or split raw "
                  "form is read as the disk")
      ->required();
  sub->add_flag("--json", args->json, "print one JSON document, rows streamed");
  sub->add_flag("--hash", args->hash, "add the SHA-256 of each image's bytes");
  sub->add_flag("--unallocated", args->unallocated,
                "FILE is a disk image: scan only the unallocated space of its file systems, "
                "where the thumbnails of deleted files lie");
  sub->add_option("--dfxml", args->dfxml,
                  "write a DFXML record of the run: each image's byte run in FILE, length and "
                  "MD5/SHA-1/SHA-256");
  AddKindsOption(sub, args->kinds);
  sub->add_flag("--caches", args->caches,
                "also find caches by their bytes: each Thumbs.db whose header lies at a sector "
                "boundary (listed under \"caches\", opened by list and extract as FILE#o<offset>), "
                "and each thumbcache entry whose header checksum holds (a row, \"recovered\")");
  sub->add_flag("--no-verify", args->no_verify,
                "do not decode the pictures found: \"decodes\" is null (quicker)");
  sub->add_option("--max-rows", args->max_rows,
                  "stop with an error after this many rows, keeping them (default " +
                      std::to_string(kDefaultCarveRowLimit) + ")")
      ->check(CLI::PositiveNumber);
  sub->callback([&exit_code, args] { exit_code = RunCarve(*args); });
}

}  // namespace glintvane::cli
