// One file inside a disk image, read through The Sleuth Kit as a ByteSource:
// a cache found by an image's search opens like a cache on disk, without
// mounting the image or copying it anywhere.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tl/expected.hpp>

#include "base/byte_source.h"
#include "base/evidence_location.h"
#include "base/file_time.h"
#include "evidence/evidence_image.h"

struct TSK_FS_FILE;

namespace glintvane {

class EvidenceFileSource final : public ByteSource {
 public:
  ~EvidenceFileSource() override;
  EvidenceFileSource(const EvidenceFileSource&) = delete;
  EvidenceFileSource& operator=(const EvidenceFileSource&) = delete;

  // Opens the file at `where` in `image`, the image `where` names, opened
  // once and shared by every file read from it. The error is
  // kErrNoPartition, kErrNoFileSystem or kErrImageEntry.
  static ReadResult<std::unique_ptr<EvidenceFileSource>> Open(const ImageFileLocation& where,
                                                              std::shared_ptr<EvidenceImage> image);

  uint64_t Size() const override { return size_; }
  tl::expected<size_t, IoError> ReadAt(uint64_t offset, std::span<uint8_t> out) override;

  int64_t modified() const { return modified_; }  // seconds since 1970 UTC
  // Every time the file system keeps for the file.
  const FileTimes& times() const { return times_; }
  bool deleted() const { return deleted_; }  // the entry is not allocated
  EvidenceImage& image() { return *image_; }

 private:
  EvidenceFileSource() = default;
  bool Fill(uint64_t block_start);

  std::shared_ptr<EvidenceImage> image_;
  TSK_FS_FILE* file_ = nullptr;
  uint64_t size_ = 0;
  int64_t modified_ = 0;
  FileTimes times_;
  bool deleted_ = false;
  // Parsers read a few hundred bytes at a time; each read of a file in an
  // image walks its run list, so reads go through one block kept here.
  std::vector<uint8_t> block_;
  uint64_t block_start_ = 0;
  size_t block_length_ = 0;
  bool block_valid_ = false;
  std::string error_;  // why the last block could not be read
};

// The metadata address of the entry called `name` (any letter case) in the
// folder `folder` ("/"-separated, from "/") of a partition as it is or as
// shadow-copy store `store` holds it (0: as it is); a live entry before a
// deleted one. Nothing when the folder or the name is not there.
std::optional<uint64_t> FindEvidenceEntry(EvidenceImage& image, int partition, int store,
                                          const std::string& folder, std::string_view name);

}  // namespace glintvane
