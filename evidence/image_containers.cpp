#include "evidence/image_containers.h"

#include <fcntl.h>
#include <sys/stat.h>

// afflib's header uses the fixed-width integer types without including them.
#include <cstdint>

#include <afflib/afflib.h>
#include <libbfio.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "base/error_codes.h"

namespace glintvane {
namespace {

constexpr std::string_view kVmdkSparse = "KDMV";
constexpr std::string_view kVmdkEsxSparse = "COWD";
constexpr std::string_view kVmdkDescriptor = "# disk descriptorfile";  // compared ignoring case
constexpr std::string_view kVhdCookie = "conectix";
constexpr std::string_view kVhdxSignature = "vhdxfile";
constexpr std::string_view kQcowSignature = "QFI\xFB";
constexpr std::string_view kAffSignature{"AFF10\r\n\0", 8};
// A VHD footer, the whole of a fixed VHD's own structure, at the file's end.
constexpr size_t kVhdFooterBytes = 512;
// Files in one chain of differential disks (a child, its parent, the
// parent's parent...). Snapshot chains stay far below it; a longer one is
// taken for a loop that the files' identities did not show.
constexpr size_t kMaxChainFiles = 64;
// Extents of one VMDK: a disk at the format's 62 TiB limit in 2 GiB pieces
// has 31,744.
constexpr int kMaxVmdkExtents = 32768;
// Extent files held open at once; libbfio opens and closes the rest in turn.
constexpr int kMaxOpenExtentFiles = 64;
// The longest name a container may give a file it links to: PATH_MAX of the
// systems that write them.
constexpr size_t kMaxLinkedNameBytes = 4096;
// The VMDK content identifier that means "no parent".
constexpr uint32_t kVmdkNoParent = 0xFFFFFFFF;
// An AFF segment: a 16-byte head ("AFF\0", then the name's length, the
// data's length and an argument, big-endian), the name, the data and an
// 8-byte tail ("ATT\0" and the segment's whole length).
constexpr size_t kAffSegmentHead = 16;
constexpr size_t kAffSegmentTail = 8;
constexpr uint32_t kAffMaxName = AF_MAX_NAME_LEN;

bool StartsWith(std::span<const uint8_t> bytes, std::string_view text) {
  return bytes.size() >= text.size() &&
         std::equal(text.begin(), text.end(), bytes.begin(),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// A VMDK descriptor written as its own file: text that opens with the
// descriptor's comment line, after any spaces or a UTF-8 byte-order mark.
bool IsVmdkDescriptor(std::span<const uint8_t> head) {
  size_t at = StartsWith(head, "\xEF\xBB\xBF") ? 3 : 0;
  while (at < head.size() &&
         (head[at] == ' ' || head[at] == '\t' || head[at] == '\r' || head[at] == '\n')) {
    ++at;
  }
  const auto rest = head.subspan(at);
  return rest.size() >= kVmdkDescriptor.size() &&
         std::equal(kVmdkDescriptor.begin(), kVmdkDescriptor.end(), rest.begin(),
                    [](char a, uint8_t b) { return a == std::tolower(b); });
}

// The libyal libraries' errors: the first line of the backtrace is the
// deepest call's, the one that says what was wrong ("no such file",
// "unsupported signature").
template <typename Error>
std::string LibraryErrorText(Error* error, int (*backtrace)(Error*, char*, size_t),
                             void (*release)(Error**)) {
  if (error == nullptr) return "unknown error";
  std::array<char, 2048> text{};
  backtrace(error, text.data(), text.size());
  release(&error);
  std::string line(text.data());
  line = line.substr(0, line.find('\n'));
  while (!line.empty() && (line.back() == '.' || line.back() == ' ')) line.pop_back();
  return line.empty() ? "unknown error" : line;
}

std::string VhdiError(libvhdi_error_t* error) {
  return LibraryErrorText(error, libvhdi_error_backtrace_sprint, libvhdi_error_free);
}
std::string QcowError(libqcow_error_t* error) {
  return LibraryErrorText(error, libqcow_error_backtrace_sprint, libqcow_error_free);
}
std::string VmdkError(libvmdk_error_t* error) {
  return LibraryErrorText(error, libvmdk_error_backtrace_sprint, libvmdk_error_free);
}
std::string BfioError(libbfio_error_t* error) {
  return LibraryErrorText(error, libbfio_error_backtrace_sprint, libbfio_error_free);
}

// A UTF-8 name a library hands out through a size call and a copy call;
// empty when there is none or it is longer than any file name.
template <typename Handle, typename Error>
std::string LinkedName(Handle* handle, int (*get_size)(Handle*, size_t*, Error**),
                       int (*get)(Handle*, uint8_t*, size_t, Error**), void (*release)(Error**)) {
  Error* error = nullptr;
  size_t size = 0;
  std::string name;
  if (get_size(handle, &size, &error) == 1 && size > 1 && size <= kMaxLinkedNameBytes) {
    name.resize(size);
    if (get(handle, reinterpret_cast<uint8_t*>(name.data()), size, &error) == 1) {
      name.resize(std::strlen(name.c_str()));
    } else {
      name.clear();
    }
  }
  if (error != nullptr) release(&error);
  return name;
}

// Identifies a file however it is named, so that a chain that comes back
// to one of its own files is seen.
using FileKey = std::pair<dev_t, ino_t>;

// Where a file the container names lies, checked before any library opens
// it: beside the naming file, a regular file (a FIFO would block the open),
// and, for a parent, not one of the chain's own files.
class LinkedFiles {
 public:
  explicit LinkedFiles(ImageFormat format) : format_(ImageFormatName(format)) {}

  // Starts a chain at the image itself.
  bool Start(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    chain_.insert({st.st_dev, st.st_ino});
    files_.insert(path);
    return true;
  }

  // The path of the `what` ("extent file", "parent", "backing file") that
  // `naming` names as `named`; a parent must not be a file of the chain.
  ReadResult<std::string> Find(const std::string& naming, std::string_view what,
                               std::string_view named, bool parent) {
    const std::string subject = "The " + format_ + " image " + naming;
    const std::string path = LinkedFilePath(naming, named);
    if (path.empty()) {
      return Fail(kErrImageOpen, subject + " names its " + std::string(what) + " \"" +
                                     std::string(named) + "\", which is no file name");
    }
    const std::filesystem::path where(path);
    const std::string name = where.filename().string();
    const std::string folder = where.parent_path().empty() ? "." : where.parent_path().string();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      return Fail(kErrImageIncomplete, subject + " is incomplete: its " + std::string(what) + " " +
                                           name + " is missing (looked for beside it, in " +
                                           folder + ")");
    }
    if (!S_ISREG(st.st_mode)) {
      return Fail(kErrImageOpen, subject + " names " + path + " as its " + std::string(what) +
                                     ", which is not a regular file");
    }
    if (parent && !chain_.insert({st.st_dev, st.st_ino}).second) {
      return Fail(kErrImageOpen, subject + " names " + path + " as its " + std::string(what) +
                                     ", which is the image itself or one of its own parents");
    }
    files_.insert(path);
    return path;
  }

  size_t files() const { return files_.size(); }

 private:
  std::string format_;
  std::set<FileKey> chain_;
  std::set<std::string> files_;
};

std::string TooLong(const std::string& path, std::string_view format) {
  return "The " + std::string(format) + " image " + path + " has more than " +
         std::to_string(kMaxChainFiles) + " files in its chain of parents";
}

// ---- VHD and VHDX (libvhdi) ----

class VhdiReader final : public ImageByteSource::Reader {
 public:
  ~VhdiReader() override {
    // The child first: it reads through its parent.
    for (libvhdi_file_t*& file : files_) {
      libvhdi_file_close(file, nullptr);
      libvhdi_file_free(&file, nullptr);
    }
  }
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    libvhdi_error_t* error = nullptr;
    const ssize_t got = libvhdi_file_read_buffer_at_offset(files_.front(), out.data(), out.size(),
                                                           static_cast<off64_t>(offset), &error);
    if (error != nullptr) libvhdi_error_free(&error);
    return got == static_cast<ssize_t>(out.size());
  }

  std::vector<libvhdi_file_t*> files_;  // the image, then each one's parent
  uint64_t size_ = 0;
};

ReadResult<OpenedContainer> OpenVhdi(const std::string& path, ImageFormat format) {
  auto reader = std::make_unique<VhdiReader>();
  LinkedFiles linked(format);
  linked.Start(path);
  std::string current = path;
  // What the child before says its parent is: a VHD names the unique
  // identifier in its parent's footer, a VHDX its parent's data write
  // identifier; libvhdi hands either out as the file's identifier.
  std::optional<std::array<uint8_t, 16>> want;
  while (true) {
    const std::string format_name(ImageFormatName(
        ContainerFormatOf(current) == ImageFormat::kVhdx ? ImageFormat::kVhdx : ImageFormat::kVhd));
    libvhdi_file_t* file = nullptr;
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_initialize(&file, &error) != 1) {
      return Fail(kErrImageOpen, "Cannot read " + current + ": " + VhdiError(error));
    }
    if (libvhdi_file_open(file, current.c_str(), LIBVHDI_OPEN_READ, &error) != 1) {
      libvhdi_file_free(&file, nullptr);
      return Fail(kErrImageOpen,
                  "Cannot open the " + format_name + " image " + current + ": " + VhdiError(error));
    }
    reader->files_.push_back(file);
    if (want) {
      std::array<uint8_t, 16> id{};
      if (libvhdi_file_get_identifier(file, id.data(), id.size(), nullptr) != 1 || id != *want) {
        return Fail(kErrImageOpen,
                    "The " + format_name + " image " + current +
                        " is not the parent its child names: its identifier differs");
      }
    }
    uint32_t type = 0;
    if (libvhdi_file_get_disk_type(file, &type, &error) != 1) {
      return Fail(kErrImageOpen,
                  "Cannot read the disk type of " + current + ": " + VhdiError(error));
    }
    if (type != LIBVHDI_DISK_TYPE_DIFFERENTIAL) break;
    if (reader->files_.size() >= kMaxChainFiles)
      return Fail(kErrImageOpen, TooLong(path, format_name));
    const std::string named = LinkedName(file, libvhdi_file_get_utf8_parent_filename_size,
                                         libvhdi_file_get_utf8_parent_filename, libvhdi_error_free);
    if (named.empty()) {
      return Fail(kErrImageOpen, "The differential " + format_name + " image " + current +
                                     " does not name its parent");
    }
    auto parent = linked.Find(current, "parent", named, true);
    if (!parent) return tl::unexpected(parent.error());
    const ImageFormat parent_format = ContainerFormatOf(*parent);
    if (parent_format != ImageFormat::kVhd && parent_format != ImageFormat::kVhdx) {
      return Fail(kErrImageOpen, "The differential " + format_name + " image " + current +
                                     " names " + *parent +
                                     " as its parent, which is no VHD or VHDX image");
    }
    want.reset();
    std::array<uint8_t, 16> id{};
    if (libvhdi_file_get_parent_identifier(file, id.data(), id.size(), nullptr) == 1) {
      want = id;
    }
    current = *parent;
  }
  for (size_t i = reader->files_.size() - 1; i > 0; --i) {
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_set_parent_file(reader->files_[i - 1], reader->files_[i], &error) != 1) {
      return Fail(kErrImageOpen, "Cannot join " + path + " to its parent: " + VhdiError(error));
    }
  }
  size64_t size = 0;
  libvhdi_error_t* error = nullptr;
  if (libvhdi_file_get_media_size(reader->files_.front(), &size, &error) != 1) {
    return Fail(kErrImageOpen, "Cannot read the size of " + path + ": " + VhdiError(error));
  }
  reader->size_ = size;
  return OpenedContainer{std::move(reader), linked.files()};
}

// ---- QCOW (libqcow) ----

class QcowReader final : public ImageByteSource::Reader {
 public:
  ~QcowReader() override {
    for (libqcow_file_t*& file : files_) {
      libqcow_file_close(file, nullptr);
      libqcow_file_free(&file, nullptr);
    }
  }
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    libqcow_error_t* error = nullptr;
    const ssize_t got = libqcow_file_read_buffer_at_offset(files_.front(), out.data(), out.size(),
                                                           static_cast<off64_t>(offset), &error);
    if (error != nullptr) libqcow_error_free(&error);
    return got == static_cast<ssize_t>(out.size());
  }

  std::vector<libqcow_file_t*> files_;  // the image, then each one's backing file
  uint64_t size_ = 0;
};

ReadResult<OpenedContainer> OpenQcow(const std::string& path) {
  auto reader = std::make_unique<QcowReader>();
  LinkedFiles linked(ImageFormat::kQcow2);
  linked.Start(path);
  std::string current = path;
  while (true) {
    libqcow_file_t* file = nullptr;
    libqcow_error_t* error = nullptr;
    if (libqcow_file_initialize(&file, &error) != 1) {
      return Fail(kErrImageOpen, "Cannot read " + current + ": " + QcowError(error));
    }
    if (libqcow_file_open(file, current.c_str(), LIBQCOW_OPEN_READ, &error) != 1) {
      libqcow_file_free(&file, nullptr);
      return Fail(kErrImageOpen,
                  "Cannot open the QCOW2 image " + current + ": " + QcowError(error));
    }
    reader->files_.push_back(file);
    uint32_t method = LIBQCOW_ENCRYPTION_METHOD_NONE;
    libqcow_file_get_encryption_method(file, &method, nullptr);
    if (method != LIBQCOW_ENCRYPTION_METHOD_NONE) {
      return Fail(kErrImageOpen,
                  "The QCOW2 image " + current + " is encrypted; encrypted images are not read");
    }
    const std::string named =
        LinkedName(file, libqcow_file_get_utf8_backing_filename_size,
                   libqcow_file_get_utf8_backing_filename, libqcow_error_free);
    if (named.empty()) break;
    if (reader->files_.size() >= kMaxChainFiles) return Fail(kErrImageOpen, TooLong(path, "QCOW2"));
    auto backing = linked.Find(current, "backing file", named, true);
    if (!backing) return tl::unexpected(backing.error());
    if (ContainerFormatOf(*backing) != ImageFormat::kQcow2) {
      return Fail(kErrImageOpen, "The QCOW2 image " + current + " has " + *backing +
                                     " as its backing file, which is no QCOW image (a raw or other "
                                     "backing file is not read)");
    }
    current = *backing;
  }
  for (size_t i = reader->files_.size() - 1; i > 0; --i) {
    libqcow_error_t* error = nullptr;
    if (libqcow_file_set_parent_file(reader->files_[i - 1], reader->files_[i], &error) != 1) {
      return Fail(kErrImageOpen,
                  "Cannot join " + path + " to its backing file: " + QcowError(error));
    }
  }
  size64_t size = 0;
  libqcow_error_t* error = nullptr;
  if (libqcow_file_get_media_size(reader->files_.front(), &size, &error) != 1) {
    return Fail(kErrImageOpen, "Cannot read the size of " + path + ": " + QcowError(error));
  }
  reader->size_ = size;
  return OpenedContainer{std::move(reader), linked.files()};
}

// ---- VMDK (libvmdk) ----

class VmdkReader final : public ImageByteSource::Reader {
 public:
  struct Link {
    libvmdk_handle_t* handle = nullptr;
    libbfio_pool_t* extents = nullptr;  // opened here, so closed here
  };
  ~VmdkReader() override {
    for (Link& link : links_) {
      if (link.handle != nullptr) {
        libvmdk_handle_close(link.handle, nullptr);
        libvmdk_handle_free(&link.handle, nullptr);
      }
    }
    for (Link& link : links_) {
      if (link.extents != nullptr) {
        libbfio_pool_close_all(link.extents, nullptr);
        libbfio_pool_free(&link.extents, nullptr);
      }
    }
  }
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    libvmdk_error_t* error = nullptr;
    const ssize_t got = libvmdk_handle_read_buffer_at_offset(
        links_.front().handle, out.data(), out.size(), static_cast<off64_t>(offset), &error);
    if (error != nullptr) libvmdk_error_free(&error);
    return got == static_cast<ssize_t>(out.size());
  }

  std::vector<Link> links_;  // the image, then each one's parent
  uint64_t size_ = 0;
};

// Hands libvmdk the extent files of `handle` (opened from `descriptor`) as
// found beside it, rather than letting it join the names to a folder itself.
ReadResult<libbfio_pool_t*> OpenVmdkExtents(libvmdk_handle_t* handle, const std::string& descriptor,
                                            LinkedFiles& linked) {
  libvmdk_error_t* error = nullptr;
  int count = 0;
  if (libvmdk_handle_get_number_of_extents(handle, &count, &error) != 1) {
    return Fail(kErrImageOpen,
                "Cannot read the extents of " + descriptor + ": " + VmdkError(error));
  }
  if (count < 1 || count > kMaxVmdkExtents) {
    return Fail(kErrImageOpen,
                "The VMDK image " + descriptor + " lists " + std::to_string(count) + " extents");
  }
  libbfio_pool_t* pool = nullptr;
  libbfio_error_t* bfio_error = nullptr;
  if (libbfio_pool_initialize(&pool, 0, kMaxOpenExtentFiles, &bfio_error) != 1) {
    return Fail(kErrImageOpen, "Cannot read " + descriptor + ": " + BfioError(bfio_error));
  }
  const auto fail = [&](ReadError why) -> ReadResult<libbfio_pool_t*> {
    libbfio_pool_close_all(pool, nullptr);
    libbfio_pool_free(&pool, nullptr);
    return tl::unexpected(std::move(why));
  };
  for (int i = 0; i < count; ++i) {
    libvmdk_extent_descriptor_t* extent = nullptr;
    if (libvmdk_handle_get_extent_descriptor(handle, i, &extent, &error) != 1) {
      return fail({kErrImageOpen, "Cannot read extent " + std::to_string(i + 1) + " of " +
                                      descriptor + ": " + VmdkError(error)});
    }
    int type = 0;
    libvmdk_extent_descriptor_get_type(extent, &type, nullptr);
    std::string named = LinkedName(extent, libvmdk_extent_descriptor_get_utf8_filename_size,
                                   libvmdk_extent_descriptor_get_utf8_filename, libvmdk_error_free);
    libvmdk_extent_descriptor_free(&extent, nullptr);
    // A sparse extent of zeros has no file, and libvmdk reads none.
    if (type == LIBVMDK_EXTENT_TYPE_ZERO) {
      return fail({kErrImageOpen, "The VMDK image " + descriptor +
                                      " has an extent of type ZERO (extent " +
                                      std::to_string(i + 1) + "), which is not read"});
    }
    auto found = linked.Find(descriptor, "extent file", named, false);
    if (!found) return fail(found.error());
    const std::string& path = *found;
    libbfio_handle_t* file = nullptr;
    int entry = 0;
    if (libbfio_file_initialize(&file, &bfio_error) != 1 ||
        libbfio_file_set_name(file, path.c_str(), path.size() + 1, &bfio_error) != 1 ||
        libbfio_pool_append_handle(pool, &entry, file, LIBBFIO_OPEN_READ, &bfio_error) != 1) {
      if (file != nullptr) libbfio_handle_free(&file, nullptr);
      return fail({kErrImageOpen, "Cannot open " + path + ": " + BfioError(bfio_error)});
    }
  }
  if (libvmdk_handle_open_extent_data_files_file_io_pool(handle, pool, &error) != 1) {
    return fail({kErrImageOpen, "Cannot open the extent files of the VMDK image " + descriptor +
                                    ": " + VmdkError(error)});
  }
  return pool;
}

// True for a sparse extent of a VMDK split into pieces: a sparse header
// whose descriptor (its place and size in sectors at 28 and 36) is not
// there or holds no description of the disk.
bool IsExtentWithoutDescriptor(const std::string& path) {
  auto file = FileByteSource::Open(path);
  if (!file) return false;
  std::array<uint8_t, 44> head{};
  const auto got = (*file)->ReadAt(0, head);
  if (!got || *got < head.size() || !StartsWith(head, kVmdkSparse)) return false;
  uint64_t sector = 0;
  for (int i = 7; i >= 0; --i) sector = sector << 8 | head[28 + i];
  if (sector >= (*file)->Size() / kImageSectorSize) return true;
  std::array<uint8_t, kContainerHeadBytes> text{};
  const auto read = (*file)->ReadAt(sector * kImageSectorSize, text);
  return !read || !IsVmdkDescriptor(std::span(text).first(*read));
}

ReadResult<OpenedContainer> OpenVmdk(const std::string& path) {
  if (IsExtentWithoutDescriptor(path)) {
    return Fail(kErrImageOpen,
                path +
                    " is one extent of a VMDK image and holds no description of the disk: "
                    "open the .vmdk descriptor file that names it");
  }
  auto reader = std::make_unique<VmdkReader>();
  LinkedFiles linked(ImageFormat::kVmdk);
  linked.Start(path);
  std::string current = path;
  std::optional<uint32_t> want;  // the parent content identifier the child names
  while (true) {
    VmdkReader::Link& link = reader->links_.emplace_back();
    libvmdk_error_t* error = nullptr;
    if (libvmdk_handle_initialize(&link.handle, &error) != 1) {
      return Fail(kErrImageOpen, "Cannot read " + current + ": " + VmdkError(error));
    }
    if (libvmdk_handle_open(link.handle, current.c_str(), LIBVMDK_OPEN_READ, &error) != 1) {
      libvmdk_handle_free(&link.handle, nullptr);
      return Fail(kErrImageOpen, "Cannot open the VMDK image " + current + ": " + VmdkError(error));
    }
    auto pool = OpenVmdkExtents(link.handle, current, linked);
    if (!pool) return tl::unexpected(pool.error());
    link.extents = *pool;
    uint32_t content = 0;
    if (want && (libvmdk_handle_get_content_identifier(link.handle, &content, nullptr) != 1 ||
                 content != *want)) {
      return Fail(kErrImageOpen,
                  "The VMDK image " + current +
                      " is not the parent its child names: its content identifier differs "
                      "(it was changed after the child was made)");
    }
    uint32_t parent_content = kVmdkNoParent;
    libvmdk_handle_get_parent_content_identifier(link.handle, &parent_content, nullptr);
    if (parent_content == kVmdkNoParent) break;
    if (reader->links_.size() >= kMaxChainFiles) return Fail(kErrImageOpen, TooLong(path, "VMDK"));
    const std::string named =
        LinkedName(link.handle, libvmdk_handle_get_utf8_parent_filename_size,
                   libvmdk_handle_get_utf8_parent_filename, libvmdk_error_free);
    if (named.empty()) {
      return Fail(kErrImageOpen,
                  "The VMDK image " + current + " has a parent but does not name its file");
    }
    auto parent = linked.Find(current, "parent", named, true);
    if (!parent) return tl::unexpected(parent.error());
    if (ContainerFormatOf(*parent) != ImageFormat::kVmdk) {
      return Fail(kErrImageOpen, "The VMDK image " + current + " names " + *parent +
                                     " as its parent, which is no VMDK image");
    }
    want = parent_content;
    current = *parent;
  }
  for (size_t i = reader->links_.size() - 1; i > 0; --i) {
    libvmdk_error_t* error = nullptr;
    if (libvmdk_handle_set_parent_handle(reader->links_[i - 1].handle, reader->links_[i].handle,
                                         &error) != 1) {
      return Fail(kErrImageOpen, "Cannot join " + path + " to its parent: " + VmdkError(error));
    }
  }
  size64_t size = 0;
  libvmdk_error_t* error = nullptr;
  if (libvmdk_handle_get_media_size(reader->links_.front().handle, &size, &error) != 1) {
    return Fail(kErrImageOpen, "Cannot read the size of " + path + ": " + VmdkError(error));
  }
  reader->size_ = size;
  return OpenedContainer{std::move(reader), linked.files()};
}

// ---- AFF (afflib) ----

class AffReader final : public ImageByteSource::Reader {
 public:
  explicit AffReader(AFFILE* af, uint64_t size) : af_(af), size_(size) {}
  ~AffReader() override { af_close(af_); }
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    // Whole sectors, so that each can be held against the image's mark
    // for a sector the acquisition could not read.
    const uint64_t first = offset / kImageSectorSize * kImageSectorSize;
    const uint64_t end = std::min<uint64_t>(
        size_, (offset + out.size() + kImageSectorSize - 1) / kImageSectorSize * kImageSectorSize);
    if (end < offset + out.size()) return false;
    std::span<uint8_t> sectors = out;
    if (first != offset || end != offset + out.size()) {
      scratch_.resize(static_cast<size_t>(end - first));
      sectors = scratch_;
    }
    if (af_seek(af_, static_cast<int64_t>(first), SEEK_SET) != first) return false;
    const ssize_t got = af_read(af_, sectors.data(), static_cast<ssize_t>(sectors.size()));
    if (got != static_cast<ssize_t>(sectors.size())) return false;
    for (size_t at = 0; at + kImageSectorSize <= sectors.size(); at += kImageSectorSize) {
      if (af_is_badsector(af_, sectors.data() + at) == 1) return false;
    }
    if (sectors.data() != out.data()) {
      std::copy_n(sectors.begin() + static_cast<ptrdiff_t>(offset - first), out.size(),
                  out.begin());
    }
    return true;
  }

 private:
  AFFILE* af_;
  uint64_t size_;
  std::vector<uint8_t> scratch_;
};

uint32_t BigEndian32(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
         static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

// Why the segments of the AFF file are not whole, or empty. afflib refuses
// such a file too, but loses memory on the way out; each segment's frame
// is checked here first, one head and one tail read each.
std::string AffFrameError(const std::string& path) {
  auto file = FileByteSource::Open(path);
  if (!file) return file.error().message;
  const uint64_t size = (*file)->Size();
  uint64_t at = kAffSignature.size();
  while (at < size) {
    const std::string where = "the segment at byte " + std::to_string(at);
    std::array<uint8_t, kAffSegmentHead + kAffMaxName> head{};
    const auto got = (*file)->ReadAt(at, head);
    if (!got || *got < kAffSegmentHead) return where + " is cut short";
    if (!StartsWith(head, std::string_view("AFF\0", 4))) return where + " is not a segment";
    const uint32_t name = BigEndian32(head, 4);
    if (name > kAffMaxName) return where + " has a name of " + std::to_string(name) + " bytes";
    // afflib takes the name for a C string and its length for the name's.
    if (*got < kAffSegmentHead + name ||
        std::find(head.begin() + kAffSegmentHead, head.begin() + kAffSegmentHead + name, 0) !=
            head.begin() + kAffSegmentHead + name) {
      return where + " has a broken name";
    }
    const uint64_t length = kAffSegmentHead + name + BigEndian32(head, 8) + kAffSegmentTail;
    if (length > size - at) return where + " ends past the file's end";
    std::array<uint8_t, kAffSegmentTail> tail{};
    const auto tail_got = (*file)->ReadAt(at + length - kAffSegmentTail, tail);
    if (!tail_got || *tail_got < tail.size() || !StartsWith(tail, std::string_view("ATT\0", 4)) ||
        BigEndian32(tail, 4) != length) {
      return where + " has no tail";
    }
    at += length;
  }
  return {};
}

ReadResult<OpenedContainer> OpenAff(const std::string& path) {
  if (const std::string damage = AffFrameError(path); !damage.empty()) {
    return Fail(kErrImageOpen, "The AFF image " + path + " is damaged: " + damage);
  }
  AFFILE* af = af_open(path.c_str(), O_RDONLY, 0);
  if (af == nullptr) {
    return Fail(kErrImageOpen, "Cannot open the AFF image " + path + ": " + std::strerror(errno));
  }
  // afflib picks its reader by the file's name as well as its content; only
  // its reader of single-file AFF images is wanted here.
  if (af_identify(af) != AF_IDENTIFY_AFF) {
    af_close(af);
    return Fail(kErrImageOpen, "Cannot open " + path + " as an AFF image");
  }
  if (af_cannot_decrypt(af) == 1) {
    af_close(af);
    return Fail(kErrImageOpen,
                "The AFF image " + path + " is encrypted; encrypted images are not read");
  }
  const int64_t size = af_get_imagesize(af);
  if (size < 0) {
    af_close(af);
    return Fail(kErrImageOpen, "Cannot read the size of the AFF image " + path);
  }
  return OpenedContainer{std::make_unique<AffReader>(af, static_cast<uint64_t>(size)), 1};
}

}  // namespace

ImageFormat RecogniseContainer(std::span<const uint8_t> head, std::span<const uint8_t> tail) {
  if (HasEwfSignature(head)) return ImageFormat::kEwf;
  if (StartsWith(head, kVmdkSparse) || StartsWith(head, kVmdkEsxSparse) || IsVmdkDescriptor(head)) {
    return ImageFormat::kVmdk;
  }
  if (StartsWith(head, kVhdxSignature)) return ImageFormat::kVhdx;
  if (StartsWith(head, kVhdCookie)) return ImageFormat::kVhd;
  if (StartsWith(head, kQcowSignature)) return ImageFormat::kQcow2;
  if (StartsWith(head, kAffSignature)) return ImageFormat::kAff;
  // A fixed VHD is the disk as it lies with the footer behind it.
  if (tail.size() >= kVhdFooterBytes &&
      StartsWith(tail.subspan(tail.size() - kVhdFooterBytes), kVhdCookie)) {
    return ImageFormat::kVhd;
  }
  return ImageFormat::kRaw;
}

ImageFormat ContainerFormatOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    return ImageFormat::kRaw;
  }
  auto file = FileByteSource::Open(path);
  if (!file) return ImageFormat::kRaw;
  std::array<uint8_t, kContainerHeadBytes> head{};
  const auto got = (*file)->ReadAt(0, head);
  if (!got) return ImageFormat::kRaw;
  // Only a file has a footer to look for; a block device reports no size.
  std::array<uint8_t, kVhdFooterBytes> tail{};
  size_t tail_size = 0;
  const uint64_t size = (*file)->Size();
  if (S_ISREG(st.st_mode) && size > kVhdFooterBytes) {
    const auto read = (*file)->ReadAt(size - kVhdFooterBytes, tail);
    if (read) tail_size = *read;
  }
  return RecogniseContainer(std::span(head).first(*got), std::span(tail).first(tail_size));
}

ReadResult<OpenedContainer> OpenContainer(const std::string& path, ImageFormat format) {
  switch (format) {
    case ImageFormat::kVhd:
    case ImageFormat::kVhdx:
      return OpenVhdi(path, format);
    case ImageFormat::kQcow2:
      return OpenQcow(path);
    case ImageFormat::kVmdk:
      return OpenVmdk(path);
    case ImageFormat::kAff:
      return OpenAff(path);
    default:
      break;
  }
  return Fail(kErrImageOpen, "Cannot open " + path + ": not a VMDK, VHD, VHDX, QCOW2 or AFF image");
}

std::string LinkedFilePath(const std::string& naming_file, std::string_view named) {
  const size_t cut = named.find_last_of("/\\");
  const std::string_view name = cut == std::string_view::npos ? named : named.substr(cut + 1);
  if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string_view::npos) {
    return {};
  }
  const std::filesystem::path folder = std::filesystem::path(naming_file).parent_path();
  return (folder / std::string(name)).string();
}

}  // namespace glintvane
