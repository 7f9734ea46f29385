#include "cli/cli_common.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <thread>

#include "base/format_chars.h"
#include "cli/json_writer.h"

namespace glintvane::cli {
namespace {

std::stop_source& InterruptSource() {
  static std::stop_source source;
  return source;
}

}  // namespace

void WatchInterrupt() {
  // The signal is taken by a thread of its own with sigwait, so requesting
  // the stop runs as ordinary code, not inside a signal handler.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return;
  // A Ctrl-C that came while the program started, held pending by a parent
  // that blocked it, stops the work before it begins rather than whenever
  // the watching thread first runs.
  const timespec now{};
  if (sigtimedwait(&set, nullptr, &now) == SIGINT) {
    InterruptSource().request_stop();
    std::signal(SIGINT, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    return;
  }
  std::thread([set] {
    int signal_number = 0;
    if (sigwait(&set, &signal_number) != 0) return;
    InterruptSource().request_stop();
    // The next Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    for (;;) pause();
  }).detach();
}

std::stop_token InterruptStop() {
  return InterruptSource().get_token();
}

bool Interrupted() {
  return InterruptSource().stop_requested();
}

void SayInterrupted(std::string_view verb, const std::string& how_far) {
  std::fprintf(stderr, "glintvane-cli %.*s: stopped by Ctrl-C %s\n", static_cast<int>(verb.size()),
               verb.data(), Printable(how_far).c_str());
}

void PrintJsonFailure(std::string_view path_field, const std::string& path,
                      const std::string& error, int exit_code, int error_code) {
  nlohmann::json doc;
  if (!path_field.empty()) {
    doc[std::string(path_field)] = path;
    if (!IsUtf8(path)) doc[std::string(path_field) + "_hex"] = HexOf(path);
  }
  doc["ok"] = false;
  doc["complete"] = false;
  doc["interrupted"] = Interrupted();
  doc["error_code"] = nullptr;
  doc["error"] = error;
  doc["errors"] = nlohmann::json::array({error});
  doc["error_entries"] = ErrorEntriesJson({{Severity::kError, error_code, path, error}});
  doc["exit_code"] = exit_code;
  PrintJsonDocument(doc);
}

namespace {

// Length of the well-formed UTF-8 sequence at text[i], or 0 when none starts
// there (overlong forms, surrogates and values past U+10FFFF included).
size_t Utf8Length(std::string_view text, size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (b < 0x80) return 1;
  size_t extra = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    extra = 1;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2;
    if (b == 0xE0) low = 0xA0;
    if (b == 0xED) high = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3;
    if (b == 0xF0) low = 0x90;
    if (b == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + extra >= text.size()) return 0;
  for (size_t k = 1; k <= extra; ++k) {
    const auto t = static_cast<unsigned char>(text[i + k]);
    if (t < (k == 1 ? low : 0x80) || t > (k == 1 ? high : 0xBF)) return 0;
  }
  return extra + 1;
}

void AppendHexByte(std::string& out, unsigned char b) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[b >> 4];
  out += kHex[b & 15];
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    switch (b) {
      case 0x1B:
        out += "\\e";
        ++i;
        continue;
      case '\n':
        out += "\\n";
        ++i;
        continue;
      case '\r':
        out += "\\r";
        ++i;
        continue;
      case '\t':
        out += "\\t";
        ++i;
        continue;
      default:
        break;
    }
    const size_t length = b < 0x80 ? 0 : Utf8Length(text, i);
    const bool c1 = length == 2 && b == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c1) {
      // C0 controls, DEL, C1 controls and bytes that are not UTF-8.
      for (size_t k = 0; k < (c1 ? 2u : 1u); ++k) {
        AppendHexByte(out, static_cast<unsigned char>(text[i + k]));
      }
      i += c1 ? 2 : 1;
      continue;
    }
    char32_t code = 0;
    if (FormatCharAt(text, i, code) != 0) {
      char escaped[12];
      std::snprintf(escaped, sizeof escaped, code > 0xFFFF ? "\\U%08X" : "\\u%04X",
                    static_cast<unsigned>(code));
      out += escaped;
      i += length;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

void PrintLines(std::FILE* stream, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::fprintf(stream, "%s\n", Printable(line).c_str());
}

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t length = Utf8Length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string HexOf(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(2 * text.size());
  for (const char c : text) {
    out += kHex[static_cast<unsigned char>(c) >> 4];
    out += kHex[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

const UiTexts& CliTexts() {
  static const UiTexts texts;
  return texts;
}

nlohmann::json ErrorEntriesJson(const std::vector<ErrorEntry>& entries) {
  nlohmann::json list = nlohmann::json::array();
  for (const ErrorEntry& entry : entries) {
    list.push_back({{"severity", SeverityName(entry.severity)},
                    {"code", entry.code == 0 ? nlohmann::json() : nlohmann::json(entry.code)},
                    {"context", entry.context},
                    {"detail", entry.detail}});
  }
  return list;
}

TerminalProgress::TerminalProgress() : enabled_(isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
  if (enabled_ && last_ >= 0) std::fputs("\r\033[K", stderr);
}

void TerminalProgress::OnProgress(int position, const std::string& text) {
  if (!enabled_ || position == last_) return;
  last_ = position;
  // A bar of kBarWidth cells, full at kProgressFull.
  constexpr int kBarWidth = 30;
  const int filled = std::clamp(position, 0, kProgressFull) * kBarWidth / kProgressFull;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '-');
  std::fprintf(stderr, "\r[%s] %s", bar.c_str(), Printable(text).c_str());
  std::fflush(stderr);
}

namespace {
std::string& CommandLineStore() {
  static std::string line;
  return line;
}
}  // namespace

void SetCommandLine(int argc, char** argv) {
  std::string& line = CommandLineStore();
  line.clear();
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    const std::string word = argv[i];
    // Quoted as a shell would need it, so the line can be run again.
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789-_./=:,+@%") == std::string::npos;
    if (plain) {
      line += word;
      continue;
    }
    line += '\'';
    for (char c : word) {
      if (c == '\'') {
        line += "'\\''";
      } else {
        line += c;
      }
    }
    line += '\'';
  }
}

const std::string& CommandLine() {
  return CommandLineStore();
}

}  // namespace glintvane::cli
