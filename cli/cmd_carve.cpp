// glintvane-cli carve FILE [--json] [--hash]: lists every JFIF image found in
// FILE. Exit status 0 when the whole file was read (whether or not it held an
// image; "ok" tells that), 1 when it could not be, 2 for a wrong command line.
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/byte_source.h"
#include "cache/thumbnail_list.h"
#include "carve/carve_scan.h"
#include "cli/cli_common.h"
#include "cli/commands.h"
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

// The SHA-256 of the bytes [start, start + length) of the open file, in hex;
// empty when they cannot be read.
std::string HashRange(int fd, int64_t start, int64_t length, std::vector<uint8_t>& buffer) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return "";
  while (length > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(length, kHashBlock));
    const ssize_t got = ::pread(fd, buffer.data(), want, start);
    if (got <= 0) return "";
    EVP_DigestUpdate(context.get(), buffer.data(), static_cast<size_t>(got));
    start += got;
    length -= got;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &size) != 1) return "";
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 15]);
  }
  return hex;
}

std::string JsonText(std::string_view text) {
  return nlohmann::json(std::string(text))
      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

int RunCarve(const std::string& path, bool json, bool hash, size_t max_rows) {
  ThumbnailList list;
  ErrorList errors;
  TerminalProgress progress;
  const CarveResult result =
      ScanFileForImages(path, {list, errors, CliTexts(), &progress, InterruptStop(), max_rows});

  int fd = -1;
  std::vector<uint8_t> buffer;
  if (hash) {
    if (auto opened = OpenEvidence(path)) fd = opened->fd;
    buffer.resize(kHashBlock);
  }

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
    out.Add(",\"errors\":[");
    for (size_t i = 0; i < errors.lines().size(); ++i) {
      if (i > 0) out.Add(",");
      out.Add(JsonText(errors.lines()[i]));
    }
    out.Add("],\"rows\":[");
  } else {
    out.Add(hash ? "key\tstart\tend\tlength\tcomplete\tsha256\n"
                 : "key\tstart\tend\tlength\tcomplete\n");
  }
  for (size_t i = 0; i < list.size(); ++i) {
    // Straight from the list's compact entries: a full record for each of
    // millions of rows would cost both memory and time.
    int64_t start = 0, end = 0, length = 0;
    bool complete = false;
    std::string key;
    if (const CarvedEntry* carved = list.CarvedAt(i)) {
      start = carved->start;
      end = carved->end;
      length = carved->length;
      complete = carved->complete;
    } else {
      const ThumbnailRow& row = list[i];
      start = row.start;
      end = row.end;
      length = row.length;
      complete = row.complete;
      key = row.key;
    }
    const auto add_key = [&] {
      if (key.empty()) {
        out.Add(static_cast<int64_t>(i));  // a carved row's key is its number
      } else {
        out.Add(key);  // decimal digits: nothing to escape
      }
    };
    const std::string digest = fd >= 0 ? HashRange(fd, start, length, buffer) : "";
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
      out.Add("\n");
    }
  }
  if (json) out.Add("]}\n");
  out.Flush();
  if (fd >= 0) ::close(fd);

  if (!json) {
    PrintLines(stderr, errors.lines());
  }
  return result.finished ? kExitOk : kExitFailed;
}

}  // namespace

void AddCarveCommand(CLI::App& app, int& exit_code) {
  auto* sub = app.add_subcommand(
      "carve",
      "Find every JFIF image in a file (pagefile.sys, hiberfil.sys, any file). Exit 0 when "
      "the whole file was read, 1 when it could not be.");
  auto path = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto hash = std::make_shared<bool>(false);
  sub->add_option("FILE", *path, "the file to scan")->required();
  sub->add_flag("--json", *json, "print one JSON document, rows streamed");
  auto max_rows = std::make_shared<size_t>(kDefaultCarveRowLimit);
  sub->add_flag("--hash", *hash, "add the SHA-256 of each image's bytes");
  sub->add_option("--max-rows", *max_rows,
                  "stop with an error after this many rows, keeping them (default 5000000)")
      ->check(CLI::PositiveNumber);
  sub->callback([&exit_code, path, json, hash, max_rows] {
    exit_code = RunCarve(*path, *json, *hash, *max_rows);
  });
}

}  // namespace glintvane::cli
