#include "tests/evidence/test_disk.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/discover/discover_fixtures.h"
#include "testsupport/synthetic_pictures.h"

namespace glintvane::testing {
namespace {

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// A $I record as Windows 10 writes it: version 2, the item's size, the
// deletion time, the path's length with its terminator, the path.
std::vector<uint8_t> VistaRecord(const std::u16string& path) {
  std::vector<uint8_t> bytes;
  const auto put = [&](uint64_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  put(2, 8);
  put(8192, 8);
  put(132000000000000000ULL, 8);
  put(path.size() + 1, 4);
  for (char16_t c : path) put(c, 2);
  put(0, 2);
  return bytes;
}

bool HaveTool(const char* name) {
  const std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

struct DiskHolder {
  TestDisk disk;
  ~DiskHolder() {
    if (!disk.folder.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(disk.folder, ignored);
    }
  }
};

void Build(TestDisk& disk) {
  for (const char* tool : {"mkfs.vfat", "mcopy", "mkntfs", "ntfscp", "sfdisk", "ewfacquire"}) {
    if (!HaveTool(tool)) {
      disk.why_not = std::string(tool) + " is not installed";
      return;
    }
  }
  char name[] = "/tmp/glintvane-evidence-XXXXXX";
  if (mkdtemp(name) == nullptr) {
    disk.why_not = "no temporary folder";
    return;
  }
  disk.folder = name;
  // The recycle bin's index names Dc1.db as the recycled Thumbs.db of a
  // picture folder.
  IndexRecordSpec record;
  record.path8 = "C:\\Documents and Settings\\eve\\My Pictures\\Thumbs.db";
  record.path16 = u"C:\\Documents and Settings\\eve\\My Pictures\\Thumbs.db";
  record.number = 1;
  record.drive = 2;
  record.deleted = 128166372000000000ULL;  // 2007-02-22 17:00 UTC
  Write(disk.Path("info2.bin"), MakeIndex(800, {record}));
  Write(disk.Path("vista_i.bin"), VistaRecord(u"C:\\Users\\eve\\Pictures\\Thumbs.db"));
  disk.kept_jpeg = testsupport::MakeJpeg(64, 48, 7);
  disk.deleted_jpeg = testsupport::MakeJpeg(80, 60, 11);
  Write(disk.Path("kept.jpg"), disk.kept_jpeg);
  Write(disk.Path("deleted.jpg"), disk.deleted_jpeg);
  const std::string command = std::string(GLINTVANE_TEST_DISK_SCRIPT) + " '" + disk.folder + "' '" +
                              GLINTVANE_CORPUS_DIR + "' >" + disk.folder + "/script.log 2>&1";
  if (std::system(command.c_str()) != 0) {
    std::ifstream log(disk.Path("script.log"));
    disk.why_not =
        "make_test_disk.sh failed: " + std::string(std::istreambuf_iterator<char>(log), {});
    return;
  }
  std::ifstream layout(disk.Path("layout.txt"));
  std::string line;
  std::getline(layout, line);
  disk.ntfs_tree = line == "ntfs_tree=yes";
  disk.built = true;
}

}  // namespace

const TestDisk& GetTestDisk() {
  static DiskHolder holder;
  static const bool once = (Build(holder.disk), true);
  (void)once;
  return holder.disk;
}

std::string CorpusCache(const std::string& name) {
  return std::string(GLINTVANE_CORPUS_DIR) + "/real/" + name;
}

}  // namespace glintvane::testing
