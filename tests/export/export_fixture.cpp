#include "tests/export/export_fixture.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace glintvane::testing {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  std::string pattern = (fs::temp_directory_path() / "glintvane-export-test-XXXXXX").string();
  path_ = std::string(mkdtemp(pattern.data())) + "/";
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string ScratchFolder::Sub(const std::string& name) const {
  fs::create_directories(path_ + name);
  return path_ + name + "/";
}

std::vector<uint8_t> FakeImage(int seed, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed * 31 + i * 7);
  bytes[0] = 0xFF;
  bytes[1] = 0xD8;
  bytes[size - 2] = 0xFF;
  bytes[size - 1] = 0xD9;
  return bytes;
}

ThumbnailRow& AddStoreRow(ThumbnailList& list, ImageStore& store, const std::string& key,
                          const std::string& name, const std::vector<uint8_t>& bytes,
                          bool checked) {
  const int64_t start = store.Append(bytes);
  const auto length = static_cast<int64_t>(bytes.size());
  ThumbnailRow& row = list.AddOrUpdate(key, name, SourceKind::kImageStore, start + length, length,
                                       start, "2004-08-17 12:21:45");
  row.kind = ImageKind::kJfif;
  row.filetime = 127372117050000000ULL;
  row.checked = checked;
  return row;
}

ThumbnailRow& AddCarvedRow(ThumbnailList& list, const std::string& source, const std::string& key,
                           int64_t start, int64_t length, std::shared_ptr<ByteSource> bytes) {
  ThumbnailRow row;
  row.key = key;
  row.start = start;
  row.length = length;
  row.end = start + length;
  row.carved = true;
  row.kind = ImageKind::kJfif;
  row.source_kind = SourceKind::kOpenFile;
  row.source = list.AddSource(source, std::move(bytes));
  row.checked = true;
  return list.Append(std::move(row));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& path) {
  const auto bytes = ReadBytes(path);
  return {bytes.begin(), bytes.end()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace glintvane::testing
