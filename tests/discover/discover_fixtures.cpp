#include "tests/discover/discover_fixtures.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace glintvane::testing {
namespace {

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> MakeIndex(uint32_t record_size, const std::vector<IndexRecordSpec>& records) {
  std::vector<uint8_t> out(20 + records.size() * record_size, 0);
  Put32(out, 0, 5);
  Put32(out, 12, record_size);
  for (size_t k = 0; k < records.size(); ++k) {
    const IndexRecordSpec& r = records[k];
    const size_t at = 20 + k * record_size;
    for (size_t i = 0; i < r.path8.size() && i < 260; ++i) out[at + i] = r.path8[i];
    Put32(out, at + 260, r.number);
    Put32(out, at + 264, r.drive);
    Put32(out, at + 268, static_cast<uint32_t>(r.deleted));
    Put32(out, at + 272, static_cast<uint32_t>(r.deleted >> 32));
    for (size_t i = 0; record_size >= 800 && i < r.path16.size() && i < 260; ++i) {
      out[at + 280 + 2 * i] = static_cast<uint8_t>(r.path16[i]);
      out[at + 281 + 2 * i] = static_cast<uint8_t>(r.path16[i] >> 8);
    }
  }
  return out;
}

std::vector<uint8_t> CompoundBytes() {
  std::vector<uint8_t> bytes = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  bytes.resize(512, 0);
  return bytes;
}

TempTree::TempTree() {
  char name[] = "/tmp/glintvane-discover-XXXXXX";
  root_ = mkdtemp(name);
}

TempTree::~TempTree() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

void TempTree::File(const std::string& relative, const std::vector<uint8_t>& bytes) {
  const std::filesystem::path path = Path(relative);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void TempTree::Folder(const std::string& relative) {
  std::filesystem::create_directories(Path(relative));
}

void TempTree::Link(const std::string& relative, const std::string& target) {
  const std::filesystem::path path = Path(relative);
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::create_symlink(target, path);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace glintvane::testing
