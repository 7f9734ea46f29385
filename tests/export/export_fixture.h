// A scratch folder per test and rows built in the test itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cache/thumbnail_list.h"
#include "texts/error_list.h"
#include "texts/ui_texts.h"

namespace glintvane::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  // The folder, ending with "/".
  const std::string& path() const { return path_; }
  std::string Sub(const std::string& name) const;  // creates path() + name + "/"

 private:
  std::string path_;
};

// Bytes that differ from one seed to the next, shaped like a JPEG.
std::vector<uint8_t> FakeImage(int seed, size_t size = 300);

// Appends a cache row (image in the store) and returns it.
ThumbnailRow& AddStoreRow(ThumbnailList& list, ImageStore& store, const std::string& key,
                          const std::string& name, const std::vector<uint8_t>& bytes,
                          bool checked = true);

// Appends a carved row reading [start, start + length) of `source`, or of
// `bytes` (the disk inside the image `source`) when given.
ThumbnailRow& AddCarvedRow(ThumbnailList& list, const std::string& source, const std::string& key,
                           int64_t start, int64_t length,
                           std::shared_ptr<ByteSource> bytes = nullptr);

std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// Names of the entries of a folder, sorted.
std::vector<std::string> ListFolder(const std::string& path);

}  // namespace glintvane::testing
