// Picture sizes and kinds from image headers.
#include "cache/image_info.h"

#include <gtest/gtest.h>

#include "base/error_codes.h"
#include "cache/paged_reader.h"
#include "cache/text_convert.h"
#include "testsupport/synthetic_pictures.h"

namespace glintvane {
namespace {

TEST(ImageInfoTest, JpegFrameHeader) {
  const auto jpeg = testsupport::MakeJpeg(123, 45, 1);
  const ImageInfo info = SniffImage(jpeg);
  EXPECT_EQ(info.format, ImageFormat::kJpeg);
  EXPECT_EQ(info.width, 123);
  EXPECT_EQ(info.height, 45);
}

TEST(ImageInfoTest, PngHeader) {
  const auto png = testsupport::MakePng(7, 300, 2);
  const ImageInfo info = SniffImage(png);
  EXPECT_EQ(info.format, ImageFormat::kPng);
  EXPECT_EQ(info.width, 7);
  EXPECT_EQ(info.height, 300);
}

TEST(ImageInfoTest, TruncatedAndForeignBytes) {
  const auto jpeg = testsupport::MakeJpeg(20, 10, 1);
  for (size_t n = 0; n < 200 && n < jpeg.size(); ++n) {
    const ImageInfo info = SniffImage(std::span<const uint8_t>(jpeg.data(), n));
    EXPECT_TRUE(info.width == 0 || info.width == 20);
  }
  const std::vector<uint8_t> junk(100, 0xFF);
  EXPECT_EQ(SniffImage(junk).format, ImageFormat::kUnknown);
  const std::vector<uint8_t> bad_length = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0, 0};
  EXPECT_EQ(SniffImage(bad_length).width, 0);
}

TEST(TextConvertTest, Utf16NamesAndReversal) {
  const std::vector<uint8_t> name = {'A',  0,    0x34, 0x12, 0x3D, 0xD8, 0x00, 0xDE,
                                     0x00, 0xD8, 'B',  0,    0,    0,    'C',  0};
  EXPECT_EQ(Utf16LeToUtf8(name, 8),
            "A\xE1\x88\xB4\xF0\x9F\x98\x80\xEF\xBF\xBD"
            "B");
  EXPECT_EQ(Utf16LeToUtf8(name, 1), "A");
  EXPECT_EQ(Utf16LeToUtf8(std::span<const uint8_t>(name.data(), 3), 8), "A");
  EXPECT_EQ(ReverseUtf8("12\xE1\x88\xB4"),
            "\xE1\x88\xB4"
            "21");
}

TEST(PagedReaderTest, ReadsAcrossPagesAndRefusesOutside) {
  std::vector<uint8_t> bytes(PagedReader::kPageSize * 3 + 17);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + (i >> 16));
  MemoryByteSource source(bytes);
  PagedReader reader(source);
  std::vector<uint8_t> out(PagedReader::kPageSize + 100);
  const uint64_t at = PagedReader::kPageSize - 50;
  ASSERT_TRUE(reader.Read(at, out));
  EXPECT_TRUE(std::equal(out.begin(), out.end(), bytes.begin() + at));
  EXPECT_EQ(*reader.U32(bytes.size() - 4),
            static_cast<uint32_t>(bytes[bytes.size() - 4]) | (bytes[bytes.size() - 3] << 8) |
                (bytes[bytes.size() - 2] << 16) |
                (static_cast<uint32_t>(bytes[bytes.size() - 1]) << 24));
  EXPECT_EQ(reader.U32(bytes.size() - 3).error().code, kErrSectorOutsideFile);
  EXPECT_EQ(reader.U16(UINT64_MAX - 1).error().code, kErrSectorOutsideFile);
  // Many pages in turn: the cache evicts and still reads right.
  for (int round = 0; round < 3; ++round) {
    for (uint64_t p = 0; p < 4; ++p) {
      uint8_t b = 0;
      const uint64_t o = std::min<uint64_t>(p * PagedReader::kPageSize + 5, bytes.size() - 1);
      ASSERT_TRUE(reader.Read(o, std::span<uint8_t>(&b, 1)));
      EXPECT_EQ(b, bytes[o]);
    }
  }
}

}  // namespace
}  // namespace glintvane
