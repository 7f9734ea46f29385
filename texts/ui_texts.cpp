#include "texts/ui_texts.h"

#include <fstream>

namespace glintvane {

const std::array<std::string_view, kUiTextCount>& DefaultUiTexts() {
  static constexpr std::array<std::string_view, kUiTextCount> kDefaults = {
#include "texts/ui_texts_defaults.inc"
  };
  return kDefaults;
}

void UiTexts::ResetToDefaults() {
  const auto& defaults = DefaultUiTexts();
  for (size_t i = 0; i < texts_.size(); ++i) texts_[i] = std::string(defaults[i]);
}

int UiTexts::ReadLanguageLines(std::istream& in) {
  int entry = 0;
  std::string line;
  while (std::getline(in, line)) {
    // Text mode drops the CR of a CR LF line end, and only that one.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A long line is read in pieces; each piece fills an entry of its own.
    size_t at = 0;
    do {
      const std::string piece = line.substr(at, kLanguageLinePiece);
      if (entry < kUiTextCount) texts_[static_cast<size_t>(entry)] = piece;
      ++entry;
      at += kLanguageLinePiece;
    } while (at < line.size());
  }
  return entry < kUiTextCount ? entry : kUiTextCount;
}

bool LoadLanguage(UiTexts& texts, std::string_view key, const std::string& directory) {
  texts.ResetToDefaults();
  if (key == "en") return true;
  std::string path = directory;
  if (!path.empty() && path.back() != '/') path += '/';
  path += key;
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  texts.ReadLanguageLines(in);
  return true;
}

}  // namespace glintvane
