// The error list: problems (and the results worth a line) collected while a
// file is read, scanned or written, kept as entries and shown together when
// the operation fails. An entry becomes text only where it is shown, through
// the text table: in the window's language, or the command line's English.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "texts/ui_texts.h"

namespace glintvane {

// Separates one entry from the next.
inline constexpr std::string_view kErrorSeparator = "===================================";

enum class Severity : uint8_t {
  kError,    // what was asked was not, or not wholly, done
  kWarning,  // a finding that does not make the operation fail
  kInfo,     // a result worth a line of its own: a file an extraction wrote
};

struct ErrorEntry {
  Severity severity = Severity::kError;
  int code = 0;         // base/error_codes.h; 0 for a warning that has none
  std::string context;  // what it is about, usually a path
  std::string detail;   // what was found; a code's own text stands for it or frames it
};

class ErrorList {
 public:
  void AddError(int code, std::string_view context, std::string_view detail);
  // A finding that does not count as a failure.
  void AddWarning(std::string_view context, std::string_view detail);
  void Add(ErrorEntry entry);
  // The entries of `other` after these, in their order.
  void Append(const ErrorList& other);

  void Clear() { entries_.clear(); }
  bool empty() const { return entries_.empty(); }
  const std::vector<ErrorEntry>& entries() const { return entries_; }

  // Every entry as the error list shows it, in the language of `texts`
  // (see EntryLines).
  std::vector<std::string> Lines(const UiTexts& texts) const;

  // Called after every entry added; the window refreshes its commands there.
  void SetChangedCallback(std::function<void()> callback) { changed_ = std::move(callback); }

 private:
  std::vector<ErrorEntry> entries_;
  std::function<void()> changed_;
};

// The lines of one entry. An error or a warning: the heading ("Fatal
// error!", "Warning!"), the context, a details line when EntryDetailText is
// not empty, and the separator. An extraction's row written or not written:
// one line, "Operation complete. File:" + path or "Fatal error!\nFile:\n" +
// path.
std::vector<std::string> EntryLines(const ErrorEntry& entry, const UiTexts& texts);

// What the details line says: the code's fixed text (501 to 507, 509), the
// code's text with "%1" replaced by the detail or followed by it (disk
// images), or the detail itself.
std::string EntryDetailText(const ErrorEntry& entry, const UiTexts& texts);

// "error", "warning" or "info": the severity as JSON names it.
std::string_view SeverityName(Severity severity);

}  // namespace glintvane
