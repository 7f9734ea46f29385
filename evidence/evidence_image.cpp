#include "evidence/evidence_image.h"

#include <fcntl.h>
#include <libewf.h>
#include <sys/stat.h>
#include <tsk/libtsk.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "base/error_codes.h"
#include "discover/cache_names.h"
#include "evidence/image_containers.h"
#include "evidence/shadow_copies.h"

namespace glintvane {
namespace {

constexpr std::array<uint8_t, 8> kEwfSignature = {'E', 'V', 'F', 0x09, 0x0D, 0x0A, 0xFF, 0x00};
// A split raw image rarely has more than a few thousand pieces; the bound
// keeps a folder of numbered files from being taken for one endless image.
constexpr int kMaxRawSegments = 100000;
// The head read to recognise an image: the boot sector, a GPT header behind
// it, and the ext superblock at 1024.
constexpr size_t kRecogniseBytes = 2048;
// The size The Sleuth Kit is told an image has when it looks again for a
// partition table (see EvidenceImage::Volumes). 2^50 bytes (1 PiB) is beyond
// any disk an examiner images.
constexpr uint64_t kTskClaimedImageSize = uint64_t{1} << 50;

// Raw segments read one after another as one image.
class RawReader final : public ImageByteSource::Reader {
 public:
  struct Segment {
    std::unique_ptr<FileByteSource> file;
    uint64_t start = 0;
    uint64_t size = 0;  // taken by seeking: a block device has no st_size
  };
  explicit RawReader(std::vector<Segment> segments, uint64_t size)
      : segments_(std::move(segments)), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    while (!out.empty()) {
      // The segment holding `offset`: the last one starting at or before it.
      auto it = std::upper_bound(segments_.begin(), segments_.end(), offset,
                                 [](uint64_t o, const Segment& s) { return o < s.start; });
      if (it == segments_.begin()) return false;
      --it;
      const uint64_t inside = offset - it->start;
      const uint64_t left = it->size - std::min(inside, it->size);
      const size_t want = static_cast<size_t>(std::min<uint64_t>(out.size(), left));
      if (want == 0) return false;
      const auto got = it->file->ReadAt(inside, out.first(want));
      if (!got || *got != want) return false;
      offset += want;
      out = out.subspan(want);
    }
    return true;
  }

 private:
  std::vector<Segment> segments_;
  uint64_t size_;
};

std::string EwfErrorText(libewf_error_t* error) {
  if (error == nullptr) return {};
  std::array<char, 1024> text{};
  libewf_error_sprint(error, text.data(), text.size());
  libewf_error_free(&error);
  std::string line(text.data());
  std::replace(line.begin(), line.end(), '\n', ' ');
  return line;
}

class EwfReader final : public ImageByteSource::Reader {
 public:
  ~EwfReader() override {
    if (handle_ != nullptr) {
      libewf_handle_close(handle_, nullptr);
      libewf_handle_free(&handle_, nullptr);
    }
  }
  // Opens the segment set that `path` starts. A set with a gap (E02 moved
  // away) opens in libewf as far as the gap and reads zeros behind it; here
  // it is an error that names the missing file.
  static ReadResult<std::unique_ptr<EwfReader>> Open(const std::string& path, size_t& segments,
                                                     std::vector<std::string>* files = nullptr) {
    libewf_error_t* error = nullptr;
    char** names = nullptr;
    int count = 0;
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &error) !=
        1) {
      return Fail(kErrImageOpen,
                  "Cannot find the segment files of " + path + ": " + EwfErrorText(error));
    }
    std::vector<std::string> found(names, names + count);
    auto reader = std::unique_ptr<EwfReader>(new EwfReader);
    if (libewf_handle_initialize(&reader->handle_, &error) != 1) {
      libewf_glob_free(names, count, nullptr);
      return Fail(kErrImageOpen, "Cannot read " + path + ": " + EwfErrorText(error));
    }
    const int opened = libewf_handle_open(reader->handle_, names, count, LIBEWF_OPEN_READ, &error);
    libewf_glob_free(names, count, nullptr);
    if (opened != 1) {
      return Fail(kErrImageOpen, "Cannot open the EWF image " + path + ": " + EwfErrorText(error));
    }
    segments = found.size();
    if (files != nullptr) *files = found;
    if (libewf_handle_segment_files_corrupted(reader->handle_, nullptr) == 1) {
      return Fail(kErrImageIncomplete, "The EWF image " + path + " is incomplete: segment file " +
                                           NextSegmentName(found.back()) + " is missing (" +
                                           std::to_string(found.size()) + " segment files found)");
    }
    size64_t size = 0;
    if (libewf_handle_get_media_size(reader->handle_, &size, &error) != 1) {
      return Fail(kErrImageOpen, "Cannot read the size of " + path + ": " + EwfErrorText(error));
    }
    reader->size_ = size;
    uint32_t sector_size = 0;
    if (libewf_handle_get_bytes_per_sector(reader->handle_, &sector_size, nullptr) == 1 &&
        sector_size > 0) {
      reader->sector_size_ = sector_size;
    }
    return reader;
  }

  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    libewf_error_t* error = nullptr;
    const ssize_t got = libewf_handle_read_random(handle_, out.data(), out.size(),
                                                  static_cast<off64_t>(offset), &error);
    if (error != nullptr) libewf_error_free(&error);
    if (got != static_cast<ssize_t>(out.size())) return false;
    // libewf hands back a chunk whose checksum failed as stored and only
    // notes the sectors; those are unreadable too, on this read and on any
    // later one that the chunk cache answers without a new note.
    uint32_t noted = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle_, &noted, nullptr) == 1) {
      for (; checksum_errors_ < noted; ++checksum_errors_) {
        uint64_t first = 0;
        uint64_t count = 0;
        if (libewf_handle_get_checksum_error(handle_, checksum_errors_, &first, &count, nullptr) ==
            1) {
          bad_.push_back({first * sector_size_, (first + count) * sector_size_});
        }
      }
    }
    for (const auto& [begin, end] : bad_) {
      if (offset < end && begin < offset + out.size()) return false;
    }
    return true;
  }

  // The file after `last` in the set: E01 -> E02, E99 -> EAA, as EnCase names them.
  static std::string NextSegmentName(const std::string& last) {
    std::string name = last;
    if (name.size() < 3) return name + "?";
    char* a = &name[name.size() - 2];
    char* b = &name[name.size() - 1];
    if (std::isdigit(static_cast<unsigned char>(*a)) &&
        std::isdigit(static_cast<unsigned char>(*b))) {
      int n = (*a - '0') * 10 + (*b - '0') + 1;
      if (n <= 99) {
        *a = static_cast<char>('0' + n / 10);
        *b = static_cast<char>('0' + n % 10);
      } else {
        *a = std::isupper(static_cast<unsigned char>(name[name.size() - 3])) ? 'A' : 'a';
        *b = *a;
      }
    } else if (*b != 'Z' && *b != 'z') {
      ++*b;
    } else {
      *b = *b == 'Z' ? 'A' : 'a';
      ++*a;
    }
    return std::filesystem::path(name).filename().string();
  }

 private:
  EwfReader() = default;
  libewf_handle_t* handle_ = nullptr;
  uint64_t size_ = 0;
  uint32_t sector_size_ = kImageSectorSize;
  uint32_t checksum_errors_ = 0;
  std::vector<std::pair<uint64_t, uint64_t>> bad_;  // byte ranges of noted sectors
};

// The Sleuth Kit's view of the image: an external image whose reads go to
// the ImageByteSource. TSK fills `info` and calls `Close` when done.
struct TskImage {
  TSK_IMG_INFO info;  // first: TSK hands back a pointer to it
  ImageByteSource* source;
};

ssize_t TskRead(TSK_IMG_INFO* img, TSK_OFF_T offset, char* buffer, size_t length) {
  auto* image = reinterpret_cast<TskImage*>(img);
  if (offset < 0) return -1;
  const auto got = image->source->ReadAt(static_cast<uint64_t>(offset),
                                         {reinterpret_cast<uint8_t*>(buffer), length});
  if (!got) return -1;
  return static_cast<ssize_t>(*got);
}

void TskClose(TSK_IMG_INFO* img) {
  std::free(reinterpret_cast<TskImage*>(img));
}

void TskStat(TSK_IMG_INFO*, FILE*) {}

bool IsBlockDeviceOrFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return S_ISREG(st.st_mode) || S_ISBLK(st.st_mode);
}

// The file system type its boot sector or superblock names. The Sleuth Kit's
// own detection opens the volume as every type it knows to make sure only
// one fits, which costs more than reading a small cache; a named type is
// tried alone first, and detection runs only when that fails.
TSK_FS_TYPE_ENUM NamedFsType(ImageByteSource& source, uint64_t offset) {
  std::array<uint8_t, kRecogniseBytes> head{};
  const auto got = source.ReadAt(offset, head);
  if (!got || *got < head.size()) return TSK_FS_TYPE_DETECT;
  const auto text = [&](size_t at, std::string_view want) {
    return std::equal(want.begin(), want.end(), head.begin() + static_cast<ptrdiff_t>(at));
  };
  if (text(3, "NTFS    ")) return TSK_FS_TYPE_NTFS_DETECT;
  if (text(3, "EXFAT   ")) return TSK_FS_TYPE_EXFAT;
  if (text(82, "FAT32   ") || text(54, "FAT12   ") || text(54, "FAT16   ")) {
    return TSK_FS_TYPE_FAT_DETECT;
  }
  if (head[1080] == 0x53 && head[1081] == 0xEF) return TSK_FS_TYPE_EXT_DETECT;
  return TSK_FS_TYPE_DETECT;
}

uint64_t Bytes(uint64_t count, uint64_t unit) {
  return unit != 0 && count > UINT64_MAX / unit ? UINT64_MAX : count * unit;
}

uint64_t EndOf(uint64_t offset, uint64_t length) {
  return length > UINT64_MAX - offset ? UINT64_MAX : offset + length;
}

uint64_t EndOf(const EvidenceVolume& volume) {
  return EndOf(volume.offset, volume.length);
}

// The partition table, or null (TSK's error reset). A GPT is asked for
// first: detection finds its protective MBR too, keeps the GPT, and loses
// the MBR's entries without freeing them.
TSK_VS_INFO* OpenTable(TSK_IMG_INFO* img) {
  TSK_VS_INFO* vs = tsk_vs_open(img, 0, TSK_VS_TYPE_GPT);
  if (vs == nullptr) {
    tsk_error_reset();
    vs = tsk_vs_open(img, 0, TSK_VS_TYPE_DETECT);
  }
  if (vs == nullptr) tsk_error_reset();
  return vs;
}

std::string FsTypeName(TSK_FS_TYPE_ENUM type) {
  const char* name = tsk_fs_type_toname(type);
  return name != nullptr ? name : "unknown";
}

}  // namespace

TSK_IMG_INFO* OpenTskImage(ImageByteSource& source, uint64_t size) {
  auto* tsk = static_cast<TskImage*>(std::calloc(1, sizeof(TskImage)));
  if (tsk == nullptr) return nullptr;
  tsk->source = &source;
  TSK_IMG_INFO* img = tsk_img_open_external(tsk, static_cast<TSK_OFF_T>(size), kImageSectorSize,
                                            TskRead, TskClose, TskStat);
  if (img == nullptr) std::free(tsk);
  return img;
}

TSK_FS_INFO* OpenTskFileSystem(TSK_IMG_INFO* img, ImageByteSource& source, uint64_t offset,
                               std::string& error) {
  const TSK_FS_TYPE_ENUM named = NamedFsType(source, offset);
  TSK_FS_INFO* fs = tsk_fs_open_img(img, static_cast<TSK_OFF_T>(offset), named);
  if (fs == nullptr && named != TSK_FS_TYPE_DETECT) {
    tsk_error_reset();
    fs = tsk_fs_open_img(img, static_cast<TSK_OFF_T>(offset), TSK_FS_TYPE_DETECT);
  }
  if (fs == nullptr) {
    error = TskErrorText();
    tsk_error_reset();
  }
  return fs;
}

std::string_view ImageFormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::kRaw:
      return "raw";
    case ImageFormat::kSplitRaw:
      return "split raw";
    case ImageFormat::kEwf:
      return "EWF";
    case ImageFormat::kVmdk:
      return "VMDK";
    case ImageFormat::kVhd:
      return "VHD";
    case ImageFormat::kVhdx:
      return "VHDX";
    case ImageFormat::kQcow2:
      return "QCOW2";
    case ImageFormat::kAff:
      return "AFF";
  }
  return "raw";
}

bool HasEwfSignature(std::span<const uint8_t> head) {
  return head.size() >= kEwfSignature.size() &&
         std::equal(kEwfSignature.begin(), kEwfSignature.end(), head.begin());
}

std::vector<std::string> RawSegmentPaths(const std::string& path) {
  std::vector<std::string> paths{path};
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot + 4 != path.size()) return paths;
  const std::string digits = path.substr(dot + 1);
  if (digits != "000" && digits != "001") return paths;
  const std::string stem = path.substr(0, dot + 1);
  for (int n = std::stoi(digits) + 1; n < kMaxRawSegments; ++n) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", n);
    const std::string next = stem + number;
    if (!IsBlockDeviceOrFile(next)) break;
    paths.push_back(next);
  }
  return paths;
}

std::string MissingRawSegment(const std::vector<std::string>& pieces) {
  // Only a run that starts as a split image does: "x.001" or "x.000".
  if (pieces.empty() || !(pieces.front().ends_with(".000") || pieces.front().ends_with(".001"))) {
    return {};
  }
  const std::filesystem::path last(pieces.back());
  const std::string name = last.filename().string();
  const size_t dot = name.rfind('.');
  // Up to nine digits: the number fits, and no split image has more pieces.
  if (dot == std::string::npos || name.size() - dot - 1 < 3 || name.size() - dot - 1 > 9) return {};
  const std::string stem = name.substr(0, dot + 1);
  const std::string digits = name.substr(dot + 1);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return {};
  const long long found = std::stoll(digits);
  // One listing of the folder: any numbered piece past the last one found
  // means the pieces between are missing.
  std::error_code error;
  std::filesystem::directory_iterator it(last.parent_path().empty() ? "." : last.parent_path(),
                                         error);
  bool later = false;
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::string other = it->path().filename().string();
    if (other.size() <= stem.size() || other.compare(0, stem.size(), stem) != 0) continue;
    const std::string number = other.substr(stem.size());
    if (number.size() < 3 || number.size() > 9 ||
        number.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    if (std::stoll(number) > found && IsBlockDeviceOrFile(it->path().string())) {
      later = true;
      break;
    }
  }
  if (!later) return {};
  char next[24];
  std::snprintf(next, sizeof next, "%03lld", found + 1);
  return stem + next;
}

tl::expected<size_t, IoError> ImageByteSource::ReadAt(uint64_t offset, std::span<uint8_t> out) {
  const uint64_t size = reader_->Size();
  if (offset >= size) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(out.size(), size - offset));
  out = out.first(n);
  std::lock_guard lock(mutex_);
  if (reader_->Read(offset, out)) return n;
  // Sector by sector: the good ones are kept, the bad ones read as zeros.
  uint64_t at = offset;
  while (at < offset + n) {
    const uint64_t sector_end =
        std::min<uint64_t>((at / kImageSectorSize + 1) * kImageSectorSize, offset + n);
    const auto piece =
        out.subspan(static_cast<size_t>(at - offset), static_cast<size_t>(sector_end - at));
    if (!reader_->Read(at, piece)) {
      std::fill(piece.begin(), piece.end(), uint8_t{0});
      NoteUnreadable(at / kImageSectorSize);
    }
    at = sector_end;
  }
  return n;
}

void ImageByteSource::NoteUnreadable(uint64_t sector) {
  // Bad sectors come in runs; the runs are kept merged, so a sector read
  // again (a walk reads metadata more than once) is not counted again and a
  // wholly unreadable disk costs one entry.
  auto next = bad_.upper_bound(sector);
  if (next != bad_.begin()) {
    auto before = std::prev(next);
    if (sector < before->second) return;  // counted already
    if (sector == before->second) {
      before->second = sector + 1;
      if (next != bad_.end() && next->first == sector + 1) {
        before->second = next->second;
        bad_.erase(next);
      }
      ++unreadable_;
      return;
    }
  }
  if (next != bad_.end() && next->first == sector + 1) {
    const uint64_t end = next->second;
    bad_.erase(next);
    bad_.emplace(sector, end);
  } else {
    bad_.emplace(sector, sector + 1);
  }
  if (unreadable_ == 0 || sector * kImageSectorSize < first_unreadable_) {
    first_unreadable_ = sector * kImageSectorSize;
  }
  ++unreadable_;
}

uint64_t ImageByteSource::unreadable_sectors() const {
  std::lock_guard lock(mutex_);
  return unreadable_;
}

uint64_t ImageByteSource::first_unreadable_offset() const {
  std::lock_guard lock(mutex_);
  return first_unreadable_;
}

EvidenceImage::~EvidenceImage() {
  // The stores read through the image's bytes: let go first.
  shadows_.clear();
  for (EvidenceVolume& volume : volumes_) {
    if (volume.fs != nullptr) tsk_fs_close(volume.fs);
  }
  if (img_ != nullptr) tsk_img_close(img_);
}

ReadResult<std::unique_ptr<EvidenceImage>> EvidenceImage::Open(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return Fail(kErrImageOpen, "Cannot open " + path + ": " + std::strerror(errno));
  }
  // A FIFO or a socket would block the first read; a folder has no bytes.
  if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) {
    return Fail(kErrImageOpen, "Cannot open " + path + ": not a file or a block device");
  }
  auto first = FileByteSource::Open(path);
  if (!first) return Fail(kErrImageOpen, "Cannot open " + path + ": " + first.error().message);
  std::array<uint8_t, 8> head{};
  if (const auto got = (*first)->ReadAt(0, head); !got) {
    return Fail(kErrImageOpen, "Cannot read " + path + ": " + got.error().message);
  }

  auto image = std::unique_ptr<EvidenceImage>(new EvidenceImage);
  image->path_ = path;
  const ImageFormat container = ContainerFormatOf(path);
  if (container == ImageFormat::kEwf) {
    image->format_ = ImageFormat::kEwf;
    auto reader = EwfReader::Open(path, image->segments_, &image->files_);
    if (!reader) return tl::unexpected(reader.error());
    image->source_ = std::make_unique<ImageByteSource>(std::move(*reader));
  } else if (container != ImageFormat::kRaw) {
    auto opened = OpenContainer(path, container);
    if (!opened) return tl::unexpected(opened.error());
    image->format_ = container;
    image->segments_ = opened->files;
    image->files_ = opened->paths;
    image->source_ = std::make_unique<ImageByteSource>(std::move(opened->reader));
  } else {
    std::vector<RawReader::Segment> segments;
    uint64_t size = 0;
    const std::vector<std::string> pieces = RawSegmentPaths(path);
    // As a missing EWF segment: the disk past the gap would silently be lost.
    if (const std::string missing = MissingRawSegment(pieces); !missing.empty()) {
      return Fail(kErrImageIncomplete, "The split raw image " + path + " is incomplete: piece " +
                                           missing + " is missing (" +
                                           std::to_string(pieces.size()) +
                                           " pieces found before it, more after it)");
    }
    for (const std::string& piece : pieces) {
      auto file = piece == path ? std::move(*first) : nullptr;
      if (!file) {
        auto opened = FileByteSource::Open(piece);
        if (!opened)
          return Fail(kErrImageOpen, "Cannot open " + piece + ": " + opened.error().message);
        file = std::move(*opened);
      }
      // A block device reports no size through fstat; seek to its end.
      uint64_t piece_size = file->Size();
      if (S_ISBLK(st.st_mode)) {
        const int fd = ::open(piece.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
          const off_t end = ::lseek(fd, 0, SEEK_END);
          if (end > 0) piece_size = static_cast<uint64_t>(end);
          ::close(fd);
        }
      }
      segments.push_back({std::move(file), size, piece_size});
      size += piece_size;
    }
    image->segments_ = segments.size();
    image->files_ = pieces;
    image->format_ = segments.size() > 1 ? ImageFormat::kSplitRaw : ImageFormat::kRaw;
    image->source_ =
        std::make_unique<ImageByteSource>(std::make_unique<RawReader>(std::move(segments), size));
  }

  image->img_ = OpenTskImage(*image->source_, image->source_->Size());
  if (image->img_ == nullptr)
    return Fail(kErrImageOpen, "Cannot open " + path + ": " + TskErrorText());
  return image;
}

std::vector<EvidenceVolume>& EvidenceImage::Volumes() {
  if (volumes_read_) return volumes_;
  volumes_read_ = true;
  TSK_VS_INFO* vs = OpenTable(img_);
  if (vs == nullptr) {
    // The Sleuth Kit refuses a table whose first entries start past the
    // image's end, which is what a truncated acquisition holds. Where the
    // image is no file system either, the table is read again with the
    // image said to be larger: its partitions are then listed, each checked
    // against the real size below, and reads past the end fail.
    if (!OpenFileSystem(volumes_.emplace_back(WholeImage())) && size() < kTskClaimedImageSize) {
      if (TSK_IMG_INFO* wide = OpenTskImage(*source_, kTskClaimedImageSize)) {
        vs = OpenTable(wide);
        if (vs != nullptr) {
          std::vector<EvidenceVolume> whole = std::move(volumes_);
          volumes_.clear();
          ListPartitions(vs);
          tsk_vs_close(vs);
          if (volumes_.empty()) {
            volumes_ = std::move(whole);
            partitioned_ = false;
          }
        }
        tsk_img_close(wide);
      }
      tsk_error_reset();
    }
  } else {
    ListPartitions(vs);
    tsk_vs_close(vs);
  }
  MarkSharedExtents();
  for (EvidenceVolume& volume : volumes_) {
    if (volume.duplicate_of != 0) continue;
    if (volume.partition != 0) OpenFileSystem(volume);
    // A partition or a file system that ends past the image's end: the
    // acquisition was cut short, and what lay past its end is not here.
    const std::string name =
        volume.partition == 0 ? "the file system" : "partition " + std::to_string(volume.partition);
    if (volume.partition != 0 && EndOf(volume) > size()) {
      volume.past_end = name + " ends at byte " + std::to_string(EndOf(volume)) +
                        ", past the image's end at byte " + std::to_string(size()) +
                        ": the image is truncated";
    } else if (volume.fs != nullptr) {
      const uint64_t fs_end =
          EndOf(volume.offset,
                Bytes(static_cast<uint64_t>(volume.fs->last_block) + 1, volume.fs->block_size));
      if (fs_end > size()) {
        volume.past_end = (volume.partition == 0 ? name : "the file system of " + name) +
                          " ends at byte " + std::to_string(fs_end) +
                          ", past the image's end at byte " + std::to_string(size()) +
                          ": the image is truncated";
      }
    }
  }
  return volumes_;
}

EvidenceVolume EvidenceImage::WholeImage() const {
  EvidenceVolume whole;
  whole.partition = 0;
  whole.length = size();
  whole.description = "whole image";
  return whole;
}

void EvidenceImage::ListPartitions(TSK_VS_INFO* vs) {
  partitioned_ = true;
  int number = 0;
  for (TSK_PNUM_T i = 0; i < vs->part_count; ++i) {
    const TSK_VS_PART_INFO* part = tsk_vs_part_get(vs, i);
    if (part == nullptr || (part->flags & TSK_VS_PART_FLAG_ALLOC) == 0) continue;
    EvidenceVolume volume;
    volume.partition = ++number;
    // A table's 64-bit sector numbers may not fit as byte offsets; such a
    // partition lies past any image.
    volume.offset = Bytes(part->start, vs->block_size);
    volume.length = Bytes(part->len, vs->block_size);
    volume.description = part->desc != nullptr ? part->desc : "";
    volumes_.push_back(std::move(volume));
  }
}

bool EvidenceImage::OpenFileSystem(EvidenceVolume& volume) {
  if (volume.offset >= size()) {
    volume.error = size() == 0 ? "the image is empty" : "it lies wholly past the image's end";
    return false;
  }
  volume.fs = OpenTskFileSystem(img_, *source_, volume.offset, volume.error);
  if (volume.fs == nullptr) return false;
  volume.fs_name = FsTypeName(volume.fs->ftype);
  return true;
}

void EvidenceImage::MarkSharedExtents() {
  // In offset order, each partition meets the one before it that reaches
  // farthest: the same extent is a duplicate, an extent that starts before
  // that one ends overlaps it. A table of thousands of entries costs a sort.
  std::vector<EvidenceVolume*> order;
  for (EvidenceVolume& volume : volumes_) order.push_back(&volume);
  std::stable_sort(order.begin(), order.end(),
                   [](const EvidenceVolume* a, const EvidenceVolume* b) {
                     return a->offset != b->offset ? a->offset < b->offset : a->length > b->length;
                   });
  const EvidenceVolume* reaching = nullptr;  // the farthest-reaching one so far
  const EvidenceVolume* previous = nullptr;
  for (EvidenceVolume* volume : order) {
    if (previous != nullptr && previous->offset == volume->offset &&
        previous->length == volume->length) {
      volume->duplicate_of = previous->partition;  // the lowest number: the sort is stable
      continue;
    }
    if (reaching != nullptr && volume->offset < EndOf(*reaching)) {
      volume->overlaps = reaching->partition;
    }
    if (reaching == nullptr || EndOf(*volume) > EndOf(*reaching)) reaching = volume;
    previous = volume;
  }
}

bool EvidenceImage::partitioned() {
  Volumes();
  return partitioned_;
}

bool EvidenceImage::truncated() {
  return std::any_of(Volumes().begin(), Volumes().end(),
                     [](const EvidenceVolume& v) { return !v.past_end.empty(); });
}

EvidenceVolume* EvidenceImage::Volume(int partition) {
  Volumes();
  for (EvidenceVolume& volume : volumes_) {
    if (volume.partition == partition) return &volume;
  }
  return nullptr;
}

tl::expected<ShadowCopies*, std::string> EvidenceImage::ShadowCopiesOf(int partition) {
  const auto known = shadows_.find(partition);
  if (known != shadows_.end()) {
    if (!known->second) return tl::unexpected(known->second.error());
    return known->second->get();
  }
  EvidenceVolume* volume = Volume(partition);
  tl::expected<std::unique_ptr<ShadowCopies>, std::string> opened;
  if (volume == nullptr || volume->fs == nullptr || !TSK_FS_TYPE_ISNTFS(volume->fs->ftype)) {
    opened = tl::unexpected("partition " + std::to_string(partition) +
                            " holds no NTFS file system, and so no shadow copies");
  } else {
    opened = ShadowCopies::Open(*source_, volume->offset, volume->length);
  }
  const auto& kept = shadows_.emplace(partition, std::move(opened)).first->second;
  if (!kept) return tl::unexpected(kept.error());
  return kept->get();
}

uint64_t EvidenceImage::unreadable_sectors() {
  uint64_t lost = source_->unreadable_sectors();
  for (const auto& [partition, copies] : shadows_) {
    if (copies) lost += (*copies)->unreadable_sectors();
  }
  return lost;
}

ReadResult<TSK_FS_INFO*> EvidenceImage::FileSystemAt(int partition, int store) {
  EvidenceVolume* volume = Volume(partition);
  if (volume == nullptr) {
    return Fail(kErrNoPartition,
                "The image " + path_ + " has no partition " + std::to_string(partition));
  }
  if (volume->fs == nullptr) {
    return Fail(kErrNoFileSystem, "No file system was recognised in partition " +
                                      std::to_string(partition) + " of " + path_ + ": " +
                                      volume->error);
  }
  if (store == 0) return volume->fs;
  auto copies = ShadowCopiesOf(partition);
  if (!copies) return Fail(kErrShadowCopy, "In " + path_ + ", " + copies.error());
  auto fs = (*copies)->FileSystem(store);
  if (!fs) {
    return Fail(fs.error().code, "In partition " + std::to_string(partition) + " of " + path_ +
                                     ", " + fs.error().detail);
  }
  return *fs;
}

bool LooksLikeEvidenceImage(const std::string& path) {
  if (!IsBlockDeviceOrFile(path)) return false;
  auto file = FileByteSource::Open(path);
  if (!file) return false;
  std::array<uint8_t, kRecogniseBytes> head{};
  const auto got = (*file)->ReadAt(0, head);
  if (!got) return false;
  const auto bytes = std::span(head).first(*got);
  // A cache is never a disk, whatever its header's last bytes hold.
  if (StartsLikeCache(bytes)) return false;
  if (ContainerFormatOf(path) != ImageFormat::kRaw) return true;
  // Boot sector or partition table signature; ext's superblock magic.
  if (bytes.size() >= 512 && bytes[510] == 0x55 && bytes[511] == 0xAA) return true;
  return bytes.size() >= 1082 && bytes[1080] == 0x53 && bytes[1081] == 0xEF;
}

std::string TskErrorText() {
  const char* text = tsk_error_get();
  std::string line = text != nullptr ? text : "unknown error";
  std::replace(line.begin(), line.end(), '\n', ' ');
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace glintvane
