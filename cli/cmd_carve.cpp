// glintvane-cli carve FILE [--kinds K,...] [--json] [--hash]: lists every JFIF
// image (or picture of the kinds asked for) found in FILE, and whether each
// decodes. Exit status 0 when the whole file was read (whether or not it held
// an image; "ok" tells that), 1 when it could not be, 2 for a wrong command
// line.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cache/thumbnail_list.h"
#include "carve/carve_kinds.h"
#include "carve/carve_scan.h"
#include "carve/carve_verify.h"
#include "cli/cli_common.h"
#include "cli/cli_evidence.h"
#include "cli/commands.h"
#include "cli/json_writer.h"
#include "evidence/carve_source.h"
#include "export/dfxml.h"
#include "export/digest.h"
#include "texts/error_list.h"

namespace glintvane::cli {
namespace {

struct CarveArgs {
  std::string path;
  bool json = false;
  bool hash = false;
  bool unallocated = false;
  std::string dfxml;
  size_t max_rows = kDefaultCarveRowLimit;
  std::string kinds = "jfif";
  bool no_verify = false;
};

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

// What a run found and how it ended, as the output and the record tell it.
struct CarveRun {
  CarveRun(const CarveArgs& a, CarveSource& c) : args(a), carved(c) {}
  const CarveArgs& args;
  CarveSource& carved;
  ThumbnailList list;
  ErrorList errors;
  CarveResult result;
  CarveKinds kinds = kDefaultCarveKinds;
  bool verified = false;  // each picture found was decoded
  bool interrupted = false;
  bool complete = false;
  std::string how_far;  // how far a stopped run got
  std::vector<DfxmlFileObject> objects;

  bool through_image() const { return carved.kind() != CarveSource::Kind::kFile; }
  bool unallocated() const { return carved.kind() == CarveSource::Kind::kUnallocated; }
};

// One row, straight from the list's compact entries: a full record for each
// of millions of rows would cost both memory and time.
struct CarvedRowView {
  int64_t start = 0, end = 0, length = 0;
  bool complete = false;
  CarveKind kind = CarveKind::kJfif;
  DecodeCheck decodes = DecodeCheck::kUnchecked;
  std::string key;  // empty for a carved row: its key is its number
};

CarvedRowView RowAt(const ThumbnailList& list, size_t i) {
  if (const CarvedEntry* entry = list.CarvedAt(i)) {
    return {entry->start,   entry->end, entry->length, entry->complete, entry->kind,
            entry->decodes, {}};
  }
  const ThumbnailRow& row = list[i];
  return {row.start, row.end, row.length, row.complete, row.carve_kind, row.decodes, row.key};
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

void WriteHead(JsonWriter& out, const CarveRun& run) {
  if (!run.args.json) {
    out.Raw(run.args.hash ? "key\tstart\tend\tlength\tcomplete\tsha256\tsignature\tdecodes\n"
                          : "key\tstart\tend\tlength\tcomplete\tsignature\tdecodes\n");
    return;
  }
  const CarveResult& result = run.result;
  out.Raw("{").TextField("path", run.args.path, ",");
  out.Raw(",").Key("ok").Bool(result.ok).Raw(",").Key("error_code");
  if (result.error_code == 0) {
    out.Null();
  } else {
    out.Number(int64_t{result.error_code});
  }
  out.Raw(",").Key("file_size").Number(result.file_size);
  if (run.through_image()) {
    out.Raw(",").Key("image_format").String(run.carved.format());
    out.Raw(",").Key("unallocated").Bool(run.unallocated());
  }
  out.Raw(",").Key("scanned").String(run.carved.description());
  out.Raw(",").Key("kinds").String(CarveKindsText(run.kinds));
  out.Raw(",").Key("verified").Bool(run.verified);
  out.Raw(",").Key("errors").Raw("[");
  const std::vector<std::string> lines = run.errors.Lines(CliTexts());
  for (size_t i = 0; i < lines.size(); ++i) out.Raw(i > 0 ? "," : "").String(lines[i]);
  out.Raw("],").Key("error_entries").Value(ErrorEntriesJson(run.errors.entries()));
  out.Raw(",").Key("rows").Raw("[");
}

// One row of the table or the document, and its record for the DFXML file.
void WriteRow(JsonWriter& out, CarveRun& run, size_t i, RangeDigester& digester) {
  const CarvedRowView row = RowAt(run.list, i);
  ByteSource* source = run.carved.bytes();
  const bool digests = run.args.hash || !run.args.dfxml.empty();
  const Digests sums = digests && source != nullptr
                           ? digester.Of(*source, static_cast<uint64_t>(row.start),
                                         static_cast<uint64_t>(std::max<int64_t>(row.length, 0)))
                           : Digests{};
  // Where the image lies in the file or the disk: the unallocated stream
  // joins stretches that need not be neighbours on the disk.
  // Asked for only where they are printed: a vector per row of millions
  // would cost more than the row.
  std::vector<DfxmlByteRun> runs;
  if (row.length > 0 && (run.unallocated() || !run.args.dfxml.empty())) {
    for (const ImageRun& piece : run.carved.SourceRunsOf(static_cast<uint64_t>(row.start),
                                                         static_cast<uint64_t>(row.length))) {
      runs.push_back({piece.stream_offset, piece.image_offset, piece.length});
    }
  }
  const std::optional<uint64_t> first_offset =
      runs.empty() ? std::nullopt : std::optional(runs.front().img_offset);
  if (!run.args.dfxml.empty()) {
    ThumbnailRow named;
    named.kind = CarvedImageKind(row.kind);
    run.objects.push_back(CarvedFileObject(
        (row.key.empty() ? std::to_string(i) : row.key) + std::string(RowExtension(named)),
        static_cast<uint64_t>(std::max<int64_t>(row.length, 0)), std::move(runs), sums));
  }
  const auto key = [&]() -> JsonWriter& {
    return row.key.empty() ? out.Number(static_cast<uint64_t>(i)) : out.Raw(row.key);
  };
  if (!run.args.json) {
    key().Raw("\t").Number(row.start).Raw("\t").Number(row.end).Raw("\t").Number(row.length);
    out.Raw(row.complete ? "\tyes" : "\tno");
    if (run.args.hash) out.Raw("\t").Raw(sums.sha256);
    out.Raw("\t").Raw(CarveKindName(row.kind)).Raw("\t").Raw(DecodesWord(row.decodes)).Raw("\n");
    return;
  }
  // The key holds decimal digits only: nothing to escape.
  out.Raw(i > 0 ? ",\n{" : "\n{").Key("key").Raw("\"");
  key().Raw("\",").Key("start").Number(row.start).Raw(",").Key("end").Number(row.end);
  out.Raw(",").Key("length").Number(row.length).Raw(",").Key("complete").Bool(row.complete);
  out.Raw(",").Key("kind").Raw("\"").Raw(PictureKind(row.kind)).Raw("\"");
  out.Raw(",").Key("signature").Raw("\"").Raw(CarveKindName(row.kind)).Raw("\"");
  out.Raw(",").Key("decodes").Raw(DecodesJson(row.decodes));
  if (run.unallocated() && first_offset) out.Raw(",").Key("img_offset").Number(*first_offset);
  // Empty when the bytes could not be read.
  if (run.args.hash) out.Raw(",").Key("sha256").String(sums.sha256);
  out.Raw("}");
}

// Writes the DFXML record, if one was asked for: false when it could not be.
bool Record(CarveRun& run, DfxmlRun& record) {
  if (run.args.dfxml.empty()) return true;
  const uint64_t lost = run.carved.unreadable_sectors();
  record.source_size = run.carved.source_size();
  record.complete = run.complete;
  record.interrupted = run.interrupted;
  if (run.interrupted) {
    record.status = "stopped by Ctrl-C " + run.how_far;
  } else if (!run.carved.incomplete().empty()) {
    record.status = run.carved.incomplete().front();
  } else if (lost > 0) {
    record.status = std::to_string(lost) + " unreadable sectors were read as zeros";
  }
  return WriteDfxmlFile(run.args.dfxml, run.args.path, record, run.objects);
}

void WriteTail(JsonWriter& out, const CarveRun& run, bool recorded) {
  if (!run.args.json) return;
  out.Raw("]");
  if (run.through_image()) {
    out.Raw(",").Key("unreadable_sectors").Number(run.carved.unreadable_sectors());
  }
  out.Raw(",").Key("bytes_read").Number(run.result.bytes_read);
  out.Raw(",").Key("complete").Bool(run.complete);
  out.Raw(",").Key("interrupted").Bool(run.interrupted);
  const auto strings = [&out](std::string_view name, const std::vector<std::string>& texts) {
    out.Raw(",").Key(name).Raw("[");
    for (size_t i = 0; i < texts.size(); ++i) out.Raw(i > 0 ? "," : "").String(texts[i]);
    out.Raw("]");
  };
  strings("incomplete_reasons", run.carved.incomplete());
  strings("notes", run.carved.notes());
  if (!run.args.dfxml.empty()) out.Raw(",").Key("dfxml_written").Bool(recorded);
  out.Raw("}\n");
}

void SayOnStderr(const CarveRun& run) {
  if (!run.args.json) PrintLines(stderr, run.errors.Lines(CliTexts()));
  for (const std::string& note : run.carved.notes()) {
    std::fprintf(stderr, "glintvane-cli carve: %s\n", Printable(note).c_str());
  }
  for (const std::string& reason : run.carved.incomplete()) {
    std::fprintf(stderr, "glintvane-cli carve: %s\n", Printable(reason).c_str());
  }
  if (const uint64_t lost = run.carved.unreadable_sectors(); lost > 0) {
    std::fprintf(stderr,
                 "glintvane-cli carve: %s: %llu unreadable sectors were read as zeros; carving "
                 "went on past them\n",
                 Printable(run.args.path).c_str(), static_cast<unsigned long long>(lost));
  }
  if (run.interrupted) SayInterrupted("carve", run.how_far);
}

// Scans for the kinds asked for, then decodes each picture from the bytes
// just scanned; a stopped scan lists what it found without checking it.
void Scan(CarveRun& run) {
  // Checked by the option's validator already.
  run.kinds = ParseCarveKinds(run.args.kinds).value_or(kDefaultCarveKinds);
  {
    TerminalProgress progress;
    run.result = run.carved.Scan({run.list, run.errors, CliTexts(), &progress, InterruptStop(),
                                  run.args.max_rows, run.kinds});
  }
  ByteSource* source = run.carved.bytes();
  run.verified = !run.args.no_verify && source != nullptr && !run.result.stopped && !Interrupted();
  if (run.verified) {
    TerminalProgress progress;
    CheckCarvedRows(run.list, 0, *source, InterruptStop(), &progress);
  }
}

int RunCarve(const CarveArgs& args) {
  DfxmlRun record = ThisRun("carve", args.path);
  auto opened = OpenCarveSource(args.path, {.unallocated = args.unallocated});
  if (!opened) {
    const ReadError& why = opened.error();
    std::fprintf(stderr, "glintvane-cli carve: %s\n", Printable(why.detail).c_str());
    if (args.json) PrintJsonFailure("path", args.path, why.detail, kExitFailed, why.code);
    return kExitFailed;
  }
  CarveRun run(args, **opened);
  Scan(run);
  run.interrupted = run.result.stopped || Interrupted();
  JsonWriter out(JsonWriter::Style::kCompact);
  WriteHead(out, run);
  RangeDigester digester;
  for (size_t i = 0; i < run.list.size(); ++i) WriteRow(out, run, i, digester);
  const bool whole = run.carved.unreadable_sectors() == 0 && run.carved.incomplete().empty();
  run.complete = run.result.finished && whole && !run.interrupted;
  if (run.interrupted) run.how_far = HowFar(run.result, run.list.size());
  // The record is written before the JSON document ends, so that the
  // document can say whether it was.
  const bool recorded = Record(run, record);
  WriteTail(out, run, recorded);
  out.Flush();
  SayOnStderr(run);
  return run.result.finished && whole && recorded ? kExitOk : kExitFailed;
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
  sub->add_flag("--no-verify", args->no_verify,
                "do not decode the pictures found: \"decodes\" is null (quicker)");
  sub->add_option("--max-rows", args->max_rows,
                  "stop with an error after this many rows, keeping them (default " +
                      std::to_string(kDefaultCarveRowLimit) + ")")
      ->check(CLI::PositiveNumber);
  sub->callback([&exit_code, args] { exit_code = RunCarve(*args); });
}

}  // namespace glintvane::cli
