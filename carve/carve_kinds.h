// Which kinds of picture a carving scan looks for, and the words that name
// them on the command line and in the window's setting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <tl/expected.hpp>

#include "cache/thumbnail_row.h"

namespace glintvane {

class CarveKinds {
 public:
  constexpr CarveKinds() = default;
  static constexpr CarveKinds Only(CarveKind kind) { return CarveKinds().With(kind); }
  static constexpr CarveKinds All() { return CarveKinds(kAllBits); }

  constexpr CarveKinds With(CarveKind kind) const {
    return CarveKinds(static_cast<uint8_t>(bits_ | Bit(kind)));
  }
  constexpr bool Has(CarveKind kind) const { return (bits_ & Bit(kind)) != 0; }
  constexpr bool empty() const { return bits_ == 0; }
  // Only the JFIF signature: the scan as it always was.
  constexpr bool JfifOnly() const { return bits_ == Bit(CarveKind::kJfif); }
  constexpr bool operator==(const CarveKinds&) const = default;

 private:
  static constexpr uint8_t kAllBits = (1u << kCarveKindCount) - 1;
  constexpr explicit CarveKinds(uint8_t bits) : bits_(bits) {}
  static constexpr uint8_t Bit(CarveKind kind) {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(kind));
  }
  uint8_t bits_ = 0;
};

// What a scan looks for unless told otherwise: JFIF images, as ever.
inline constexpr CarveKinds kDefaultCarveKinds = CarveKinds::Only(CarveKind::kJfif);

// "jfif,exif,png": kind names separated by commas, or "all". Spaces around a
// name are ignored, a name given twice counts once. The error names the
// word that is not a kind, or says the list is empty.
tl::expected<CarveKinds, std::string> ParseCarveKinds(std::string_view text);

// The names of the kinds, comma-separated in the order of CarveKind
// ("jfif,png"); ParseCarveKinds reads it back.
std::string CarveKindsText(CarveKinds kinds);

}  // namespace glintvane
