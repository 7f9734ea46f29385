#include "cache/paged_reader.h"

#include <algorithm>
#include <string>

#include "base/byte_fields.h"
#include "base/error_codes.h"

namespace glintvane {

PagedReader::PagedReader(ByteSource& source) : source_(source), size_(source.Size()) {}

ReadResult<const PagedReader::Page*> PagedReader::Fetch(uint64_t page_index) {
  if (last_ != nullptr && last_->index == page_index) {
    last_->last_use = ++clock_;
    return last_;
  }
  Page* victim = &pages_[0];
  for (Page& page : pages_) {
    if (page.index == page_index) {
      page.last_use = ++clock_;
      last_ = &page;
      return last_;
    }
    if (page.last_use < victim->last_use) victim = &page;
  }
  if (!victim->bytes) victim->bytes = std::make_unique<uint8_t[]>(kPageSize);
  const uint64_t offset = page_index * kPageSize;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(kPageSize, size_ - offset));
  victim->index = UINT64_MAX;
  auto got = source_.ReadAt(offset, std::span<uint8_t>(victim->bytes.get(), want));
  if (!got) {
    return Fail(kErrPlatform,
                "Read error at offset " + std::to_string(offset) + ": " + got.error().message);
  }
  if (*got != want) {
    return Fail(kErrPlatform, "Read error at offset " + std::to_string(offset) +
                                  ": the file ended early (it changed while it was read?)");
  }
  victim->index = page_index;
  victim->length = want;
  victim->last_use = ++clock_;
  last_ = victim;
  return last_;
}

ReadResult<void> PagedReader::Read(uint64_t offset, std::span<uint8_t> out) {
  if (!Contains(offset, out.size())) {
    return Fail(kErrSectorOutsideFile, "the file ends inside the " + std::to_string(out.size()) +
                                           " bytes at offset " + std::to_string(offset) +
                                           " (file size " + std::to_string(size_) + ")");
  }
  size_t done = 0;
  while (done < out.size()) {
    const uint64_t at = offset + done;
    auto page = Fetch(at / kPageSize);
    if (!page) return tl::unexpected(page.error());
    const size_t in_page = static_cast<size_t>(at % kPageSize);
    const size_t n = std::min(out.size() - done, (*page)->length - in_page);
    std::memcpy(out.data() + done, (*page)->bytes.get() + in_page, n);
    done += n;
  }
  return {};
}

ReadResult<uint16_t> PagedReader::U16(uint64_t offset) {
  uint8_t b[2];
  if (auto r = Read(offset, b); !r) return tl::unexpected(r.error());
  return ByteFields(b).Le<uint16_t>(0);
}

ReadResult<uint32_t> PagedReader::U32(uint64_t offset) {
  uint8_t b[4];
  if (auto r = Read(offset, b); !r) return tl::unexpected(r.error());
  return ByteFields(b).Le<uint32_t>(0);
}

ReadResult<uint64_t> PagedReader::U64(uint64_t offset) {
  uint8_t b[8];
  if (auto r = Read(offset, b); !r) return tl::unexpected(r.error());
  return ByteFields(b).Le<uint64_t>(0);
}

}  // namespace glintvane
