#include "cache/jpeg_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
// After jpeglib.h: the message codes.
#include <jerror.h>

namespace glintvane {
namespace {

// Largest picture decoded: far above any thumbnail or photograph here, and
// small enough that a hostile header cannot ask for gigabytes.
constexpr uint64_t kMaxDecodedPixels = 64ull * 1024 * 1024;

// The zigzag scan order: entry k of a DQT segment is coefficient kZigzag[k]
// in natural (row-major) order. libjpeg's own table is not exported.
constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Bytes of decoder memory per pixel that a check allows: the coefficients
// of a progressive picture of four full-resolution components (2 bytes
// each), with room for libjpeg's row buffers.
constexpr uint64_t kCheckMemoryPerPixel = 10;
constexpr uint64_t kCheckMemoryFixed = uint64_t{4} << 20;
// Scans of a progressive picture that a check reads. Encoders write about
// ten; libjpeg reworks every coefficient at each scan, so a crafted file of
// thousands of tiny scans would take minutes to check.
constexpr int kMaxCheckedScans = 200;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  // A warning that the data is corrupt was given; its text.
  bool corrupt = false;
  char warning[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, mgr->message);
  std::longjmp(mgr->jump, 1);
}

// Warnings are counted by libjpeg; nothing is printed.
void OnMessage(j_common_ptr) {}

// Notes the first warning that says the data is corrupt. Warnings about a
// JFIF revision, an Adobe transform code or an ICC marker say nothing of
// the picture's data.
void OnEmit(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  auto* mgr = reinterpret_cast<ErrorManager*>(cinfo->err);
  ++cinfo->err->num_warnings;
  const int code = cinfo->err->msg_code;
  if (code == JWRN_JFIF_MAJOR || code == JWRN_ADOBE_XFORM || code == JWRN_BOGUS_ICC) return;
  if (!mgr->corrupt) (*cinfo->err->format_message)(cinfo, mgr->warning);
  mgr->corrupt = true;
}

void InstallErrorManager(ErrorManager& mgr) {
  jpeg_std_error(&mgr.pub);
  mgr.pub.error_exit = OnError;
  mgr.pub.output_message = OnMessage;
  mgr.message[0] = '\0';
}

class Decompressor {
 public:
  Decompressor() = default;
  ~Decompressor() {
    if (created_) jpeg_destroy_decompress(&info_);
  }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
  void Create() {
    jpeg_create_decompress(&info_);
    created_ = true;
  }
  jpeg_decompress_struct info_{};
  bool created_ = false;
};

class Compressor {
 public:
  Compressor() = default;
  ~Compressor() {
    if (created_) jpeg_destroy_compress(&info_);
    std::free(buffer_);
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  void Create() {
    jpeg_create_compress(&info_);
    created_ = true;
  }
  jpeg_compress_struct info_{};
  bool created_ = false;
  unsigned char* buffer_ = nullptr;  // libjpeg's mem destination, malloc'ed
  unsigned long buffer_size_ = 0;
};

// The part that can longjmp. Returns false with the message in mgr.
bool RunDecode(Decompressor& d, ErrorManager& mgr, std::span<const uint8_t> jpeg, JpegPixels mode,
               uint64_t max_pixels, PixelImage& out, const char*& refusal) {
  if (setjmp(mgr.jump) != 0) return false;
  d.info_.err = &mgr.pub;
  d.Create();
  jpeg_mem_src(&d.info_, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&d.info_, TRUE);
  const bool four = d.info_.num_components == 4;
  if (mode == JpegPixels::kRgb) {
    if (four) {
      refusal = "four-component JPEG cannot be given as RGB";
      return false;
    }
    d.info_.out_color_space = JCS_RGB;
  } else if (four) {
    // Neither CMYK nor YCCK: the samples exactly as encoded.
    d.info_.jpeg_color_space = JCS_UNKNOWN;
    d.info_.out_color_space = JCS_UNKNOWN;
  } else {
    d.info_.out_color_space = JCS_RGB;
  }
  jpeg_start_decompress(&d.info_);
  const uint64_t pixels = static_cast<uint64_t>(d.info_.output_width) * d.info_.output_height;
  if (pixels == 0 || pixels > max_pixels) {
    refusal = "picture size out of range";
    return false;
  }
  out.width = static_cast<int>(d.info_.output_width);
  out.height = static_cast<int>(d.info_.output_height);
  out.channels = d.info_.output_components;
  const size_t stride = static_cast<size_t>(out.width) * out.channels;
  out.pixels.resize(stride * out.height);
  while (d.info_.output_scanline < d.info_.output_height) {
    JSAMPROW row = out.pixels.data() + stride * d.info_.output_scanline;
    jpeg_read_scanlines(&d.info_, &row, 1);
  }
  jpeg_finish_decompress(&d.info_);
  return true;
}

// Stops a check at its scan limit, from libjpeg's progress callback.
struct ScanLimit {
  jpeg_progress_mgr pub;
  ErrorManager* mgr;
  bool exceeded = false;
};

void OnProgress(j_common_ptr cinfo) {
  auto* limit = reinterpret_cast<ScanLimit*>(cinfo->progress);
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number <= kMaxCheckedScans) return;
  limit->exceeded = true;
  std::longjmp(limit->mgr->jump, 1);
}

// The part of a check that can longjmp. Returns false with the message in
// mgr or `refusal`.
bool RunCheck(Decompressor& d, ErrorManager& mgr, ScanLimit& limit, std::span<const uint8_t> jpeg,
              uint64_t max_pixels, std::vector<uint8_t>& row, const char*& refusal) {
  if (setjmp(mgr.jump) != 0) {
    if (limit.exceeded) refusal = "too many scans";
    return false;
  }
  d.info_.err = &mgr.pub;
  d.Create();
  d.info_.progress = &limit.pub;
  d.info_.mem->max_memory_to_use = static_cast<long>(
      std::min<uint64_t>(kCheckMemoryFixed + kCheckMemoryPerPixel * max_pixels, uint64_t{1} << 40));
  jpeg_mem_src(&d.info_, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  jpeg_read_header(&d.info_, TRUE);
  const uint64_t pixels = static_cast<uint64_t>(d.info_.image_width) * d.info_.image_height;
  if (pixels == 0 || pixels > max_pixels) {
    refusal = "picture size out of range";
    return false;
  }
  d.info_.scale_num = 1;
  d.info_.scale_denom = 8;
  d.info_.dct_method = JDCT_IFAST;
  d.info_.do_fancy_upsampling = FALSE;
  jpeg_start_decompress(&d.info_);
  row.resize(static_cast<size_t>(d.info_.output_width) * d.info_.output_components);
  while (d.info_.output_scanline < d.info_.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&d.info_, rows, 1);
  }
  jpeg_finish_decompress(&d.info_);
  return true;
}

bool RunEncode(Compressor& c, ErrorManager& mgr, const PixelImage& image,
               const JpegEncodeSettings& settings) {
  if (setjmp(mgr.jump) != 0) return false;
  c.info_.err = &mgr.pub;
  c.Create();
  jpeg_mem_dest(&c.info_, &c.buffer_, &c.buffer_size_);
  c.info_.image_width = static_cast<JDIMENSION>(image.width);
  c.info_.image_height = static_cast<JDIMENSION>(image.height);
  if (settings.four_components_as_is) {
    c.info_.input_components = 4;
    c.info_.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c.info_);
    jpeg_set_colorspace(&c.info_, JCS_CMYK);
    c.info_.write_Adobe_marker = FALSE;
    c.info_.write_JFIF_header = FALSE;
    for (int i = 0; i < 4; ++i) {
      jpeg_component_info& comp = c.info_.comp_info[i];
      if (settings.component_ids[i] != 0) comp.component_id = settings.component_ids[i];
      comp.h_samp_factor = 1;
      comp.v_samp_factor = 1;
      comp.quant_tbl_no = 0;
      comp.dc_tbl_no = 0;
      comp.ac_tbl_no = 0;
    }
  } else {
    c.info_.input_components = 3;
    c.info_.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c.info_);
    if (settings.full_chroma) {
      for (int i = 0; i < c.info_.num_components; ++i) {
        c.info_.comp_info[i].h_samp_factor = 1;
        c.info_.comp_info[i].v_samp_factor = 1;
      }
    }
  }
  if (settings.quant_table_zigzag != nullptr) {
    unsigned int natural[64];
    for (int k = 0; k < 64; ++k) natural[kZigzag[k]] = settings.quant_table_zigzag[k];
    jpeg_add_quant_table(&c.info_, 0, natural, 100, TRUE);
  } else {
    jpeg_set_quality(&c.info_, settings.quality, TRUE);
  }
  jpeg_start_compress(&c.info_, TRUE);
  const size_t stride = static_cast<size_t>(image.width) * image.channels;
  while (c.info_.next_scanline < c.info_.image_height) {
    auto row = const_cast<JSAMPROW>(image.pixels.data() + stride * c.info_.next_scanline);
    jpeg_write_scanlines(&c.info_, &row, 1);
  }
  jpeg_finish_compress(&c.info_);
  return true;
}

}  // namespace

tl::expected<PixelImage, std::string> DecodeJpeg(std::span<const uint8_t> jpeg, JpegPixels mode) {
  return DecodeJpeg(jpeg, mode, kMaxDecodedPixels);
}

tl::expected<PixelImage, std::string> DecodeJpeg(std::span<const uint8_t> jpeg, JpegPixels mode,
                                                 uint64_t max_pixels) {
  if (jpeg.empty()) return tl::unexpected(std::string("empty JPEG"));
  Decompressor decompressor;
  ErrorManager mgr;
  InstallErrorManager(mgr);
  PixelImage out;
  const char* refusal = nullptr;
  if (!RunDecode(decompressor, mgr, jpeg, mode, std::min(max_pixels, kMaxDecodedPixels), out,
                 refusal)) {
    return tl::unexpected(std::string(refusal != nullptr ? refusal : mgr.message));
  }
  return out;
}

tl::expected<void, std::string> CheckJpegDecodes(std::span<const uint8_t> jpeg,
                                                 uint64_t max_pixels) {
  if (jpeg.empty()) return tl::unexpected(std::string("empty JPEG"));
  Decompressor decompressor;
  ErrorManager mgr;
  InstallErrorManager(mgr);
  mgr.pub.emit_message = OnEmit;
  ScanLimit limit{};
  limit.pub.progress_monitor = OnProgress;
  limit.mgr = &mgr;
  std::vector<uint8_t> row;
  const char* refusal = nullptr;
  if (!RunCheck(decompressor, mgr, limit, jpeg, std::min(max_pixels, kMaxDecodedPixels), row,
                refusal)) {
    return tl::unexpected(std::string(refusal != nullptr ? refusal : mgr.message));
  }
  if (mgr.corrupt) return tl::unexpected(std::string(mgr.warning));
  return {};
}

tl::expected<std::vector<uint8_t>, std::string> EncodeJpeg(const PixelImage& image,
                                                           const JpegEncodeSettings& settings) {
  const int want_channels = settings.four_components_as_is ? 4 : 3;
  if (image.width <= 0 || image.height <= 0 || image.channels != want_channels ||
      image.pixels.size() != static_cast<size_t>(image.width) * image.height * image.channels) {
    return tl::unexpected(std::string("picture does not match its size"));
  }
  Compressor compressor;
  ErrorManager mgr;
  InstallErrorManager(mgr);
  if (!RunEncode(compressor, mgr, image, settings)) return tl::unexpected(std::string(mgr.message));
  return std::vector<uint8_t>(compressor.buffer_, compressor.buffer_ + compressor.buffer_size_);
}

}  // namespace glintvane
