#include "tests/evidence/test_disk.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>

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
  for (const char* tool : {"mkfs.vfat", "mcopy", "mkntfs", "ntfscp", "sfdisk", "ewfacquire",
                           "qemu-img", "affconvert"}) {
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
  MakeDifferentialVhd(disk.Path("child.vhd"), disk.Path("disk.vhd"), u"C:\\VMs\\disk.vhd");
  MakeDifferentialVhdx(disk.Path("child.vhdx"), disk.Path("disk.vhdx"), u"C:\\VMs\\disk.vhdx");
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

namespace {

uint32_t Crc32(std::span<const uint8_t> bytes) {
  uint32_t crc = 0xFFFFFFFF;
  for (const uint8_t b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

void WriteGptDisk(const std::string& path, const std::vector<GptExtent>& extents,
                  const std::string& filling) {
  constexpr size_t kSector = 512;
  constexpr size_t kEntry = 128;
  constexpr uint64_t kFirstData = 2048;
  const uint64_t data_size = std::filesystem::file_size(filling);
  const uint64_t sectors = kFirstData + (data_size + kSector - 1) / kSector + 34;
  std::vector<uint8_t> head(kFirstData * kSector, 0);
  // The protective MBR: one partition of type 0xEE over the whole disk.
  head[446 + 4] = 0xEE;
  Put(head, 446 + 8, 1, 4);
  Put(head, 446 + 12, std::min<uint64_t>(sectors - 1, 0xFFFFFFFF), 4);
  head[510] = 0x55;
  head[511] = 0xAA;
  // The entries from sector 2, as many sectors as they need.
  std::vector<uint8_t> entries(extents.size() * kEntry, 0);
  for (size_t i = 0; i < extents.size(); ++i) {
    const size_t at = i * kEntry;
    // Type: Microsoft basic data; unique GUID: the entry's number.
    static constexpr uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                               0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
    std::copy(std::begin(kBasicData), std::end(kBasicData), entries.begin() + at);
    Put(entries, at + 16, i + 1, 8);
    Put(entries, at + 32, extents[i].first, 8);
    Put(entries, at + 40, extents[i].last, 8);
  }
  const size_t entry_sectors = (entries.size() + kSector - 1) / kSector;
  if (2 + entry_sectors > kFirstData) return;  // more entries than the gap before the data holds
  std::copy(entries.begin(), entries.end(), head.begin() + 2 * kSector);
  std::vector<uint8_t> header(92, 0);
  std::copy_n("EFI PART", 8, header.begin());
  Put(header, 8, 0x00010000, 4);  // revision 1.0
  Put(header, 12, 92, 4);
  Put(header, 24, 1, 8);            // this header's sector
  Put(header, 32, sectors - 1, 8);  // the backup's
  Put(header, 40, kFirstData, 8);
  Put(header, 48, sectors - 34, 8);
  Put(header, 56, 0x1234, 8);  // disk GUID
  Put(header, 72, 2, 8);       // entries start
  Put(header, 80, extents.size(), 4);
  Put(header, 84, kEntry, 4);
  Put(header, 88, Crc32(entries), 4);
  Put(header, 16, Crc32(header), 4);
  std::copy(header.begin(), header.end(), head.begin() + kSector);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(head.data()),
              static_cast<std::streamsize>(head.size()));
    std::ifstream in(filling, std::ios::binary);
    out << in.rdbuf();
  }
  // The last sectors, where the backup table would lie, are left as a hole.
  std::filesystem::resize_file(path, sectors * kSector);
}

namespace {

uint64_t BigEndian(std::span<const uint8_t> bytes, size_t at, int size) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) value = (value << 8) | bytes[at + i];
  return value;
}

void PutBigEndian(std::span<uint8_t> bytes, size_t at, uint64_t value, int size) {
  for (int i = size - 1; i >= 0; --i, value >>= 8) bytes[at + i] = static_cast<uint8_t>(value);
}

// A VHD structure's checksum: the one's complement of the sum of its bytes,
// the checksum's own four counted as zeros.
void SetVhdChecksum(std::span<uint8_t> structure, size_t at) {
  PutBigEndian(structure, at, 0, 4);
  uint32_t sum = 0;
  for (const uint8_t b : structure) sum += b;
  PutBigEndian(structure, at, ~sum, 4);
}

}  // namespace

void MakeDifferentialVhd(const std::string& child, const std::string& parent,
                         const std::u16string& parent_name) {
  constexpr size_t kFooter = 512;
  constexpr size_t kHeader = 1024;
  std::vector<uint8_t> bytes = ReadBytes(child);
  const std::vector<uint8_t> parent_bytes = ReadBytes(parent);
  if (bytes.size() < 2 * kFooter + kHeader || parent_bytes.size() < kFooter) return;
  const auto parent_footer = std::span(parent_bytes).last(kFooter);
  // Both copies of the footer: disk type 4, differencing.
  for (const size_t at : {size_t{0}, bytes.size() - kFooter}) {
    const auto footer = std::span(bytes).subspan(at, kFooter);
    PutBigEndian(footer, 60, 4, 4);
    SetVhdChecksum(footer, 64);
  }
  // The dynamic header: the parent's unique identifier and time, its name
  // in UTF-16 big-endian.
  const size_t header_at = BigEndian(bytes, 16, 8);
  if (header_at + kHeader > bytes.size()) return;
  const auto header = std::span(bytes).subspan(header_at, kHeader);
  std::copy_n(parent_footer.begin() + 68, 16, header.begin() + 40);
  std::copy_n(parent_footer.begin() + 24, 4, header.begin() + 56);
  std::fill_n(header.begin() + 64, 512, uint8_t{0});
  for (size_t i = 0; i < parent_name.size() && i < 256; ++i) {
    PutBigEndian(header, 64 + 2 * i, parent_name[i], 2);
  }
  SetVhdChecksum(header, 36);
  Write(child, bytes);
}

namespace {

uint64_t LittleEndian(std::span<const uint8_t> bytes, size_t at, int size) {
  uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes[at + i];
  return value;
}

// GUIDs as VHDX stores them: the first three fields little-endian.
constexpr uint8_t kMetadataRegion[16] = {0x06, 0xA2, 0x7C, 0x8B, 0x90, 0x47, 0x9A, 0x4B,
                                         0xB8, 0xFE, 0x57, 0x5F, 0x05, 0x0F, 0x88, 0x6E};
constexpr uint8_t kFileParameters[16] = {0x37, 0x67, 0xA1, 0xCA, 0x36, 0xFA, 0x43, 0x4D,
                                         0xB3, 0xB6, 0x33, 0xF0, 0xAA, 0x44, 0xE7, 0x6B};
constexpr uint8_t kParentLocator[16] = {0x2D, 0x5F, 0xD3, 0xA8, 0x0B, 0xB3, 0x4D, 0x45,
                                        0xAB, 0xF7, 0xD3, 0xD8, 0x48, 0x34, 0xAB, 0x0C};
constexpr uint8_t kVhdxLocatorType[16] = {0xB7, 0xEF, 0x4A, 0xB0, 0x9E, 0xD1, 0x81, 0x4A,
                                          0xB7, 0x89, 0x25, 0xB8, 0xE9, 0x44, 0x59, 0x13};

}  // namespace

void MakeDifferentialVhdx(const std::string& child, const std::string& parent,
                          const std::u16string& parent_name) {
  std::vector<uint8_t> bytes = ReadBytes(child);
  constexpr size_t kRegionTable = 192 * 1024;
  if (bytes.size() < kRegionTable + 64 * 1024) return;
  // The parent's data write identifier, from the header of the higher
  // sequence number, written as Windows writes a GUID.
  const std::vector<uint8_t> parent_bytes = ReadBytes(parent);
  if (parent_bytes.size() < 3 * 64 * 1024) return;
  const size_t header =
      LittleEndian(parent_bytes, 64 * 1024 + 8, 8) > LittleEndian(parent_bytes, 128 * 1024 + 8, 8)
          ? 64 * 1024
          : 128 * 1024;
  const auto guid = std::span(parent_bytes).subspan(header + 32, 16);
  char text[40];
  std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                static_cast<unsigned>(LittleEndian(guid, 0, 4)),
                static_cast<unsigned>(LittleEndian(guid, 4, 2)),
                static_cast<unsigned>(LittleEndian(guid, 6, 2)), guid[8], guid[9], guid[10],
                guid[11], guid[12], guid[13], guid[14], guid[15]);
  const std::u16string linkage(text, text + std::strlen(text));
  // The metadata region, from the region table.
  size_t metadata = 0;
  const uint64_t regions = LittleEndian(bytes, kRegionTable + 8, 4);
  for (uint64_t i = 0; i < regions && i < 16; ++i) {
    const size_t entry = kRegionTable + 16 + 32 * i;
    if (std::equal(std::begin(kMetadataRegion), std::end(kMetadataRegion), &bytes[entry])) {
      metadata = LittleEndian(bytes, entry + 16, 8);
    }
  }
  if (metadata == 0 || metadata + 1024 * 1024 > bytes.size()) return;
  // HasParent in the file parameters; a parent locator item behind the last item.
  const size_t items = LittleEndian(bytes, metadata + 10, 2);
  size_t free_at = 64 * 1024;
  for (size_t i = 0; i < items; ++i) {
    const size_t entry = metadata + 32 + 32 * i;
    const size_t offset = LittleEndian(bytes, entry + 16, 4);
    free_at = std::max<size_t>(free_at, offset + LittleEndian(bytes, entry + 20, 4));
    if (std::equal(std::begin(kFileParameters), std::end(kFileParameters), &bytes[entry])) {
      bytes[metadata + offset + 4] |= 2;
    }
  }
  free_at = (free_at + 7) / 8 * 8;
  const std::vector<std::pair<std::u16string, std::u16string>> pairs = {
      {u"parent_linkage", linkage}, {u"absolute_win32_path", parent_name}};
  std::vector<uint8_t> item(20 + 12 * pairs.size(), 0);
  std::copy(std::begin(kVhdxLocatorType), std::end(kVhdxLocatorType), item.begin());
  item[18] = static_cast<uint8_t>(pairs.size());
  const auto put_text = [&](const std::u16string& text) {
    const size_t at = item.size();
    for (char16_t c : text) {
      item.push_back(static_cast<uint8_t>(c));
      item.push_back(static_cast<uint8_t>(c >> 8));
    }
    return at;
  };
  for (size_t i = 0; i < pairs.size(); ++i) {
    const size_t key = put_text(pairs[i].first);
    const size_t value = put_text(pairs[i].second);
    Put(item, 20 + 12 * i, key, 4);
    Put(item, 20 + 12 * i + 4, value, 4);
    Put(item, 20 + 12 * i + 8, pairs[i].first.size() * 2, 2);
    Put(item, 20 + 12 * i + 10, pairs[i].second.size() * 2, 2);
  }
  std::copy(item.begin(), item.end(), bytes.begin() + static_cast<ptrdiff_t>(metadata + free_at));
  const size_t entry = metadata + 32 + 32 * items;
  std::copy(std::begin(kParentLocator), std::end(kParentLocator), bytes.begin() + entry);
  Put(bytes, entry + 16, free_at, 4);
  Put(bytes, entry + 20, item.size(), 4);
  Put(bytes, entry + 24, 4, 4);  // IsRequired
  Put(bytes, metadata + 10, items + 1, 2);
  Write(child, bytes);
}

std::string CorpusCache(const std::string& name) {
  return std::string(GLINTVANE_CORPUS_DIR) + "/real/" + name;
}

}  // namespace glintvane::testing
