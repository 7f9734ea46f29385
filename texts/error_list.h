// The error list: problems collected as text lines while a file is read,
// scanned or written, and shown together when the operation fails.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "texts/ui_texts.h"

namespace glintvane {

// Separates one entry from the next.
inline constexpr std::string_view kErrorSeparator = "===================================";

class ErrorList {
 public:
  // Appends one entry: the heading ("Fatal error!"), the context (usually the
  // path), a details line when the code has a fixed detail text (501 to 507)
  // or the detail text is not empty, and the separator. Texts are taken from
  // `texts` now, so entries keep the language they were written in.
  void AddError(int code, std::string_view context, std::string_view detail, const UiTexts& texts);

  // Appends a warning entry that does not count as a failure (heading
  // "Warning!").
  void AddWarning(std::string_view context, std::string_view detail, const UiTexts& texts);

  // Appends one line as it is (extraction writes its own result lines).
  void AddLine(std::string line) { lines_.push_back(std::move(line)); }

  void Clear() { lines_.clear(); }
  bool empty() const { return lines_.empty(); }
  size_t size() const { return lines_.size(); }
  const std::vector<std::string>& lines() const { return lines_; }

  // Called after every AddError; the window refreshes its commands there.
  void SetChangedCallback(std::function<void()> callback) { changed_ = std::move(callback); }

 private:
  std::vector<std::string> lines_;
  std::function<void()> changed_;
};

}  // namespace glintvane
