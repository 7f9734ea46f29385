// The text form of an evidence location read back, with every image or file
// part taken to be there: what parses is written again as text that reads back
// to the same place.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/evidence_location.h"
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using glintvane::fuzz::Require;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto anything = [](const std::string&) { return false; };
  const auto images = [](const std::string& path) {
    return path.find("#p") == std::string::npos && path.find("#o") == std::string::npos;
  };
  const glintvane::EvidenceLocation where = glintvane::ParseEvidenceLocation(text, images);
  const auto* inside = glintvane::InImage(where);
  const auto* at = glintvane::AtOffset(where);
  if (inside != nullptr) {
    Require(inside->partition >= 0 && inside->partition <= glintvane::kMaxLocationPartition);
    Require(inside->store >= 0 && inside->store <= glintvane::kMaxLocationStore);
    Require(!inside->inner_path.empty() && inside->inner_path.front() == '/');
  } else if (at != nullptr) {
    Require(at->partition == glintvane::OffsetLocation::kWholeFile ||
            (at->partition >= 0 && at->partition <= glintvane::kMaxLocationPartition));
  }
  if (inside != nullptr || at != nullptr) {
    const std::string again = glintvane::FormatEvidenceLocation(where);
    Require(glintvane::ParseEvidenceLocation(again, images) == where);
    Require(glintvane::EvidenceFolderText(where).size() <= again.size());
  } else {
    Require(std::get<glintvane::FileLocation>(where).path == text);
  }
  Require(glintvane::ParseEvidenceLocation(text, anything) ==
          glintvane::EvidenceLocation(glintvane::FileLocation{std::string(text)}));
  return 0;
}
