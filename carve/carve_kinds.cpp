#include "carve/carve_kinds.h"

namespace glintvane {
namespace {

std::string_view Trim(std::string_view word) {
  while (!word.empty() && (word.front() == ' ' || word.front() == '\t')) word.remove_prefix(1);
  while (!word.empty() && (word.back() == ' ' || word.back() == '\t')) word.remove_suffix(1);
  return word;
}

}  // namespace

tl::expected<CarveKinds, std::string> ParseCarveKinds(std::string_view text) {
  CarveKinds kinds;
  while (true) {
    const size_t comma = text.find(',');
    const std::string_view word = Trim(text.substr(0, comma));
    if (word == "all") {
      kinds = CarveKinds::All();
    } else {
      bool known = false;
      for (int k = 0; k < kCarveKindCount; ++k) {
        const auto kind = static_cast<CarveKind>(k);
        if (word == CarveKindName(kind)) {
          kinds = kinds.With(kind);
          known = true;
        }
      }
      if (!known) {
        if (word.empty()) return tl::unexpected(std::string("an empty kind in the list"));
        return tl::unexpected("\"" + std::string(word) +
                              "\" is not a kind; the kinds are jfif, exif, jpeg, png, bmp "
                              "and all");
      }
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return kinds;
}

std::string CarveKindsText(CarveKinds kinds) {
  std::string text;
  for (int k = 0; k < kCarveKindCount; ++k) {
    const auto kind = static_cast<CarveKind>(k);
    if (!kinds.Has(kind)) continue;
    if (!text.empty()) text += ',';
    text += CarveKindName(kind);
  }
  return text;
}

}  // namespace glintvane
