// The Volume Shadow Copy stores of an NTFS volume: the volume as it was when
// Windows made each copy, where the older copies of every cache lie. They are
// read through Debian's libvshadow over the image's own bytes (so a bad
// sector under a store counts where every other one does), and each store is
// one more ImageByteSource that The Sleuth Kit opens a file system on, as it
// does a partition.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <tl/expected.hpp>

#include "evidence/evidence_image.h"

struct TSK_IMG_INFO;
struct TSK_FS_INFO;

namespace glintvane {

// What a store says of itself.
struct ShadowStoreFacts {
  int number = 0;               // 1-based, oldest first, as vshadowinfo numbers them
  std::string created_utc;      // when the copy was made, ISO 8601 in UTC; "" when unknown
  std::string identifier;       // the store's GUID, as vshadowinfo writes it
  std::string copy_identifier;  // the shadow copy's GUID ("Shadow Copy ID" in Windows)
  uint64_t volume_size = 0;     // the volume's size when the copy was made
};

class ShadowCopies {
 public:
  ~ShadowCopies();
  ShadowCopies(const ShadowCopies&) = delete;
  ShadowCopies& operator=(const ShadowCopies&) = delete;

  // The stores of the volume at [offset, offset + length) of `image`; an
  // empty list when the volume holds no shadow copies. The error is for
  // people: the copies are there, but their catalog or a store's header
  // cannot be read. `image` outlives the result.
  static tl::expected<std::unique_ptr<ShadowCopies>, std::string> Open(ImageByteSource& image,
                                                                       uint64_t offset,
                                                                       uint64_t length);

  size_t count() const { return stores_.size(); }
  // The facts of store `number` (1..count()).
  const ShadowStoreFacts& facts(int number) const;
  // The store's bytes: the whole volume as it was.
  ImageByteSource& bytes(int number);
  // Reads of any store that libvshadow refused, in sectors.
  uint64_t unreadable_sectors() const;
  // The file system in store `number`, opened on first use and kept. The
  // error is kErrShadowCopy when the store cannot be read, kErrNoFileSystem
  // when no file system is recognised in it; its detail is for people.
  ReadResult<TSK_FS_INFO*> FileSystem(int number);

 private:
  struct Store;
  struct Volume;
  ShadowCopies() = default;

  std::unique_ptr<Volume> volume_;
  std::vector<std::unique_ptr<Store>> stores_;
};

// The GUID of 16 bytes as Windows writes it: the first three fields
// little-endian, "600f0b69-5bdf-11e3-9d6c-005056c00008".
std::string GuidText(const uint8_t (&bytes)[16]);

}  // namespace glintvane
