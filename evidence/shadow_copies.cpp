#include "evidence/shadow_copies.h"

#include <libbfio.h>
#include <libvshadow.h>
#include <tsk/libtsk.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "base/error_codes.h"
#include "base/evidence_location.h"
#include "base/file_time.h"

namespace glintvane {
namespace {

// Stores of one volume that are read: Windows keeps at most 512, and a
// catalog that counts more is damaged.
constexpr int kMaxShadowStores = kMaxLocationStore;

std::string VshadowError(libvshadow_error_t* error) {
  if (error == nullptr) return "unknown error";
  std::array<char, 2048> text{};
  libvshadow_error_backtrace_sprint(error, text.data(), text.size());
  libvshadow_error_free(&error);
  // The first line is the deepest call's, the one that says what was wrong.
  std::string line(text.data());
  line = line.substr(0, line.find('\n'));
  while (!line.empty() && (line.back() == '.' || line.back() == ' ')) line.pop_back();
  return line.empty() ? "unknown error" : line;
}

// The volume's stretch of the image, as libbfio asks for it: a position
// moved by seeks and reads, reads going to the image's byte source.
struct VolumeIo {
  ImageByteSource* image = nullptr;
  uint64_t offset = 0;
  uint64_t length = 0;
  uint64_t position = 0;
  bool open = false;
};

int IoOpen(intptr_t* io, int, libbfio_error_t**) {
  reinterpret_cast<VolumeIo*>(io)->open = true;
  return 1;
}

int IoClose(intptr_t* io, libbfio_error_t**) {
  reinterpret_cast<VolumeIo*>(io)->open = false;
  return 0;
}

ssize_t IoRead(intptr_t* handle, uint8_t* buffer, size_t size, libbfio_error_t**) {
  auto& io = *reinterpret_cast<VolumeIo*>(handle);
  if (io.position >= io.length) return 0;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(size, io.length - io.position));
  const auto got = io.image->ReadAt(io.offset + io.position, {buffer, want});
  if (!got) return -1;
  io.position += *got;
  return static_cast<ssize_t>(*got);
}

ssize_t IoWrite(intptr_t*, const uint8_t*, size_t, libbfio_error_t**) {
  return -1;  // evidence is never written
}

off64_t IoSeek(intptr_t* handle, off64_t offset, int whence, libbfio_error_t**) {
  auto& io = *reinterpret_cast<VolumeIo*>(handle);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = static_cast<int64_t>(io.position);
  if (whence == SEEK_END) base = static_cast<int64_t>(io.length);
  if (offset < 0 ? base < -offset : false) return -1;
  io.position = static_cast<uint64_t>(base + offset);
  return static_cast<off64_t>(io.position);
}

int IoExists(intptr_t*, libbfio_error_t**) {
  return 1;
}

int IoIsOpen(intptr_t* io, libbfio_error_t**) {
  return reinterpret_cast<VolumeIo*>(io)->open ? 1 : 0;
}

int IoGetSize(intptr_t* io, size64_t* size, libbfio_error_t**) {
  *size = reinterpret_cast<VolumeIo*>(io)->length;
  return 1;
}

// One store's bytes, read through libvshadow under the volume's lock.
class StoreReader final : public ImageByteSource::Reader {
 public:
  StoreReader(libvshadow_store_t* store, std::mutex& mutex, uint64_t size)
      : store_(store), mutex_(mutex), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override {
    const std::lock_guard lock(mutex_);
    libvshadow_error_t* error = nullptr;
    const ssize_t got = libvshadow_store_read_buffer_at_offset(
        store_, out.data(), out.size(), static_cast<off64_t>(offset), &error);
    if (error != nullptr) last_error_ = VshadowError(error);
    return got == static_cast<ssize_t>(out.size());
  }
  // Why the last read failed.
  std::string last_error() const {
    const std::lock_guard lock(mutex_);
    return last_error_;
  }

 private:
  libvshadow_store_t* store_;
  std::mutex& mutex_;
  uint64_t size_;
  std::string last_error_;
};

}  // namespace

// The libvshadow volume over the image, and the lock its reads take: every
// store reads through the one handle.
struct ShadowCopies::Volume {
  ~Volume() {
    for (libvshadow_store_t*& store : stores) libvshadow_store_free(&store, nullptr);
    if (volume != nullptr) {
      libvshadow_volume_close(volume, nullptr);
      libvshadow_volume_free(&volume, nullptr);
    }
    if (handle != nullptr) libbfio_handle_free(&handle, nullptr);
  }
  VolumeIo io;
  libbfio_handle_t* handle = nullptr;
  libvshadow_volume_t* volume = nullptr;
  std::vector<libvshadow_store_t*> stores;
  std::mutex mutex;
};

struct ShadowCopies::Store {
  ~Store() {
    if (fs != nullptr) tsk_fs_close(fs);
    if (img != nullptr) tsk_img_close(img);
  }
  ShadowStoreFacts facts;
  std::unique_ptr<ImageByteSource> bytes;
  StoreReader* reader = nullptr;  // owned by `bytes`
  TSK_IMG_INFO* img = nullptr;
  TSK_FS_INFO* fs = nullptr;
  bool tried = false;
  ReadError error;
};

ShadowCopies::~ShadowCopies() {
  // The stores' file systems read through the volume: closed first.
  stores_.clear();
}

std::string GuidText(const uint8_t (&b)[16]) {
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[3], b[2],
                b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
                b[15]);
  return text;
}

tl::expected<std::unique_ptr<ShadowCopies>, std::string> ShadowCopies::Open(ImageByteSource& image,
                                                                            uint64_t offset,
                                                                            uint64_t length) {
  auto copies = std::unique_ptr<ShadowCopies>(new ShadowCopies);
  copies->volume_ = std::make_unique<Volume>();
  Volume& volume = *copies->volume_;
  volume.io.image = &image;
  volume.io.offset = offset;
  volume.io.length = std::min(length, image.Size() - std::min(offset, image.Size()));
  libbfio_error_t* bfio_error = nullptr;
  if (libbfio_handle_initialize(&volume.handle, reinterpret_cast<intptr_t*>(&volume.io), nullptr,
                                nullptr, IoOpen, IoClose, IoRead, IoWrite, IoSeek, IoExists,
                                IoIsOpen, IoGetSize, LIBBFIO_FLAG_IO_HANDLE_CLONE_BY_REFERENCE,
                                &bfio_error) != 1) {
    if (bfio_error != nullptr) libbfio_error_free(&bfio_error);
    return tl::unexpected(std::string("the shadow copies cannot be read: out of memory"));
  }
  libvshadow_error_t* error = nullptr;
  // No volume header: no shadow copies, which is not an error.
  const int signature = libvshadow_check_volume_signature_file_io_handle(volume.handle, &error);
  if (signature != 1) {
    if (error != nullptr) libvshadow_error_free(&error);
    return copies;
  }
  if (libvshadow_volume_initialize(&volume.volume, &error) != 1 ||
      libvshadow_volume_open_file_io_handle(volume.volume, volume.handle, LIBVSHADOW_OPEN_READ,
                                            &error) != 1) {
    return tl::unexpected("the shadow copies cannot be read: " + VshadowError(error));
  }
  int count = 0;
  if (libvshadow_volume_get_number_of_stores(volume.volume, &count, &error) != 1) {
    return tl::unexpected("the shadow copies cannot be read: " + VshadowError(error));
  }
  if (count < 0 || count > kMaxShadowStores) {
    return tl::unexpected("the shadow copies cannot be read: the catalog lists " +
                          std::to_string(count) + " stores, more than Windows keeps");
  }
  for (int i = 0; i < count; ++i) {
    libvshadow_store_t* handle = nullptr;
    if (libvshadow_volume_get_store(volume.volume, i, &handle, &error) != 1) {
      return tl::unexpected("the shadow copies cannot be read: store " + std::to_string(i + 1) +
                            ": " + VshadowError(error));
    }
    volume.stores.push_back(handle);
    auto store = std::make_unique<Store>();
    store->facts.number = i + 1;
    uint64_t filetime = 0;
    if (libvshadow_store_get_creation_time(handle, &filetime, nullptr) == 1) {
      store->facts.created_utc = FileTimeUtcIso(filetime);
    }
    uint8_t guid[16] = {};
    if (libvshadow_store_get_identifier(handle, guid, sizeof guid, nullptr) == 1) {
      store->facts.identifier = GuidText(guid);
    }
    if (libvshadow_store_get_copy_identifier(handle, guid, sizeof guid, nullptr) == 1) {
      store->facts.copy_identifier = GuidText(guid);
    }
    size64_t size = 0;
    if (libvshadow_store_get_volume_size(handle, &size, nullptr) != 1) size = volume.io.length;
    store->facts.volume_size = size;
    auto reader = std::make_unique<StoreReader>(handle, volume.mutex, size);
    store->reader = reader.get();
    store->bytes = std::make_unique<ImageByteSource>(std::move(reader));
    copies->stores_.push_back(std::move(store));
  }
  return copies;
}

const ShadowStoreFacts& ShadowCopies::facts(int number) const {
  return stores_.at(static_cast<size_t>(number - 1))->facts;
}

ImageByteSource& ShadowCopies::bytes(int number) {
  return *stores_.at(static_cast<size_t>(number - 1))->bytes;
}

uint64_t ShadowCopies::unreadable_sectors() const {
  uint64_t lost = 0;
  for (const auto& store : stores_) lost += store->bytes->unreadable_sectors();
  return lost;
}

ReadResult<TSK_FS_INFO*> ShadowCopies::FileSystem(int number) {
  if (number < 1 || static_cast<size_t>(number) > stores_.size()) {
    return Fail(kErrShadowCopy, "there is no shadow-copy store " + std::to_string(number));
  }
  Store& store = *stores_[static_cast<size_t>(number - 1)];
  if (!store.tried) {
    store.tried = true;
    std::string why;
    // A store whose block list is damaged fails every read: its first
    // sector tells, before a file system's detection asks for thousands.
    std::array<uint8_t, kImageSectorSize> first{};
    if (!store.reader->Read(0, first)) {
      store.error = {kErrShadowCopy, "shadow-copy store " + std::to_string(number) + " (" +
                                         store.facts.identifier +
                                         ") cannot be read: " + store.reader->last_error()};
      return tl::unexpected(store.error);
    }
    store.img = OpenTskImage(*store.bytes, store.bytes->Size());
    if (store.img == nullptr) {
      why = TskErrorText();
      tsk_error_reset();
    } else {
      store.fs = OpenTskFileSystem(store.img, *store.bytes, 0, why);
    }
    if (store.fs == nullptr) {
      store.error.code = kErrNoFileSystem;
      store.error.detail = "the file system of shadow-copy store " + std::to_string(number) + " (" +
                           store.facts.identifier + ") cannot be read: " + why;
    }
  }
  if (store.fs == nullptr) return tl::unexpected(store.error);
  return store.fs;
}

}  // namespace glintvane
