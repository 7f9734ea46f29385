#include "cache/png_codec.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace glintvane {
namespace {

// Neither side of a checked PNG is longer: the same bound JPEG's frame
// header gives, and a row buffer of at most 65535 * 8 bytes.
constexpr png_uint_32 kMaxSide = 65535;
// An ancillary chunk (a profile, compressed text) is never expanded past
// this: real ones are kilobytes, and libpng's own default is the same.
constexpr png_alloc_size_t kMaxChunkMemory = 8000000;

struct Reader {
  std::span<const uint8_t> bytes;
  size_t at = 0;
  char message[200] = {};
};

void OnRead(png_structp png, png_bytep out, size_t count) {
  auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
  if (count > reader->bytes.size() - reader->at) png_error(png, "the PNG's bytes end early");
  std::memcpy(out, reader->bytes.data() + reader->at, count);
  reader->at += count;
}

void OnError(png_structp png, png_const_charp message) {
  auto* reader = static_cast<Reader*>(png_get_error_ptr(png));
  std::snprintf(reader->message, sizeof reader->message, "%s", message);
  png_longjmp(png, 1);
}

// Warnings (an ancillary chunk dropped, a profile libpng finds odd) say
// nothing of the picture's rows.
void OnWarning(png_structp, png_const_charp) {}

class ReadStruct {
 public:
  ReadStruct() = default;
  ~ReadStruct() {
    if (png_ != nullptr)
      png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
  }
  ReadStruct(const ReadStruct&) = delete;
  ReadStruct& operator=(const ReadStruct&) = delete;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// The part that can longjmp. Returns false with the message in reader or
// `refusal`.
bool RunCheck(ReadStruct& r, Reader& reader, uint64_t max_pixels, std::vector<uint8_t>& row,
              const char*& refusal) {
  if (setjmp(png_jmpbuf(r.png_)) != 0) return false;
  png_set_read_fn(r.png_, &reader, OnRead);
  png_set_user_limits(r.png_, kMaxSide, kMaxSide);
  png_set_chunk_malloc_max(r.png_, kMaxChunkMemory);
  png_read_info(r.png_, r.info_);
  const uint64_t pixels =
      uint64_t{png_get_image_width(r.png_, r.info_)} * png_get_image_height(r.png_, r.info_);
  if (pixels == 0 || pixels > max_pixels) {
    refusal = "picture size out of range";
    return false;
  }
  const int passes = png_set_interlace_handling(r.png_);
  png_read_update_info(r.png_, r.info_);
  row.resize(png_get_rowbytes(r.png_, r.info_));
  const png_uint_32 height = png_get_image_height(r.png_, r.info_);
  for (int pass = 0; pass < passes; ++pass) {
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(r.png_, row.data(), nullptr);
  }
  png_read_end(r.png_, nullptr);
  return true;
}

}  // namespace

tl::expected<void, std::string> CheckPngDecodes(std::span<const uint8_t> png, uint64_t max_pixels) {
  Reader reader{png};
  ReadStruct r;
  r.png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, OnError, OnWarning);
  if (r.png_ == nullptr) return tl::unexpected(std::string("libpng could not start"));
  r.info_ = png_create_info_struct(r.png_);
  if (r.info_ == nullptr) return tl::unexpected(std::string("libpng could not start"));
  std::vector<uint8_t> row;
  const char* refusal = nullptr;
  if (!RunCheck(r, reader, max_pixels, row, refusal)) {
    return tl::unexpected(std::string(refusal != nullptr ? refusal : reader.message));
  }
  return {};
}

}  // namespace glintvane
