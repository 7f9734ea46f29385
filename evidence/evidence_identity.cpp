#include "evidence/evidence_identity.h"

#include <filesystem>

#include "evidence/evidence_image.h"
#include "evidence/evidence_open.h"

namespace glintvane {
namespace {

std::string Absolute(const std::string& path) {
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace

std::vector<std::string> EvidenceImageFiles(const std::string& path, std::string* error) {
  auto image = EvidenceImage::Open(path);
  if (!image) {
    if (error != nullptr) *error = image.error().detail;
    return {};
  }
  std::vector<std::string> files = (*image)->files();
  if (files.empty()) files.push_back(path);
  for (std::string& file : files) file = Absolute(file);
  return files;
}

EvidenceSource IdentifyEvidence(const std::string& path, bool carved) {
  EvidenceSource source;
  const EvidenceLocation where = EvidenceLocationOfText(path);
  if (const ImageFileLocation* inside = InImage(where)) {
    source.files = EvidenceImageFiles(inside->image, &source.error);
    source.location = carved ? std::string(kCarvedLocation)
                             : "p" + std::to_string(inside->partition) + ":i" +
                                   std::to_string(inside->inode) + ":" + inside->inner_path;
    return source;
  }
  // A whole disk image carved is read through its container, so it is
  // named by every file it is made of.
  if (carved && LooksLikeEvidenceImage(path)) {
    source.files = EvidenceImageFiles(path, &source.error);
  } else {
    source.files = {Absolute(path)};
  }
  if (carved) source.location = kCarvedLocation;
  return source;
}

}  // namespace glintvane
