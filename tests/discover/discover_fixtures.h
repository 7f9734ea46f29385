// Fixtures for the discovery tests: recycle-bin indexes built byte by byte,
// and folder trees in a temporary folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glintvane::testing {

struct IndexRecordSpec {
  std::string path8;      // the 8-bit path field, bytes as written
  std::u16string path16;  // the UTF-16 copy (800-byte records only)
  uint32_t number = 0;
  uint32_t drive = 2;  // C
  uint64_t deleted = 0;
};

// An INFO2 file: 20-byte header with the record size, then the records.
std::vector<uint8_t> MakeIndex(uint32_t record_size, const std::vector<IndexRecordSpec>& records);

// The smallest file that starts like a compound file.
std::vector<uint8_t> CompoundBytes();

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  // Creates the folders leading to `relative` and the file itself.
  void File(const std::string& relative, const std::vector<uint8_t>& bytes = {});
  void Folder(const std::string& relative);
  void Link(const std::string& relative, const std::string& target);

 private:
  std::string root_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);

}  // namespace glintvane::testing
