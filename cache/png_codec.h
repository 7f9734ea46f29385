// The one seam to libpng: whether a PNG held in memory decodes. The setjmp
// that libpng's error handling needs stays inside png_codec.cpp.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <tl/expected.hpp>

namespace glintvane {

// Whether a PNG decodes whole: its header, every row of every interlace
// pass (into one row buffer, never the whole picture) and its chunks up to
// IEND, with libpng's checks of the CRCs and of the compressed data. A
// picture of more than `max_pixels` pixels is refused from its header. The
// error says why not.
tl::expected<void, std::string> CheckPngDecodes(std::span<const uint8_t> png, uint64_t max_pixels);

}  // namespace glintvane
