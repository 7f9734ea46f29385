// A buffered view of a ByteSource: the file is read in aligned pages that a
// small cache keeps, so the many small field reads of a compound file cost a
// memcpy instead of a system call, and the file is never loaded whole.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "base/byte_source.h"
#include "cache/read_error.h"

namespace glintvane {

class PagedReader {
 public:
  // One page: large enough that a run of stream sectors is one read, small
  // enough that a few pages cover the FAT, directory and data of a cache.
  static constexpr uint64_t kPageSize = 64 * 1024;
  // Pages kept: the FAT, the mini FAT, the directory, the mini stream and the
  // stream being read each tend to hold one; twice that leaves room.
  static constexpr size_t kPageCount = 16;

  explicit PagedReader(ByteSource& source);

  uint64_t size() const { return size_; }

  // Reads exactly out.size() bytes at offset. A range that is not wholly
  // inside the source fails with kErrSectorOutsideFile; an I/O failure with
  // kErrPlatform.
  ReadResult<void> Read(uint64_t offset, std::span<uint8_t> out);

  // Little-endian fields; the field must lie wholly inside the source.
  ReadResult<uint16_t> U16(uint64_t offset);
  ReadResult<uint32_t> U32(uint64_t offset);
  ReadResult<uint64_t> U64(uint64_t offset);

  // True when [offset, offset + length) lies inside the source.
  bool Contains(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

 private:
  struct Page {
    uint64_t index = UINT64_MAX;  // page number, UINT64_MAX when empty
    uint64_t last_use = 0;
    size_t length = 0;  // bytes held (short for the last page)
    std::unique_ptr<uint8_t[]> bytes;
  };

  ReadResult<const Page*> Fetch(uint64_t page_index);

  ByteSource& source_;
  uint64_t size_;
  uint64_t clock_ = 0;
  Page* last_ = nullptr;
  std::array<Page, kPageCount> pages_;
};

}  // namespace glintvane
