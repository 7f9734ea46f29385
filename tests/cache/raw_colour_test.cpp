// Raw-colour thumbnails: the rebuilt JPEG's exact layout and tables, the pixel steps,
// and the conversion checked against pictures by their absolute difference:
// synthetic ones and the originals that sit beside corpus file 003.
#include "cache/raw_colour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "cache/gdiplus_status.h"
#include "cache/image_info.h"
#include "tests/cache/cache_test_util.h"
#include "testsupport/synthetic_pictures.h"

namespace glintvane {
namespace {

using testsupport::MakeRawColourStream;
using testsupport::PatternPicture;

PixelImage Rgb(std::vector<uint8_t> pixels, int width) {
  PixelImage p;
  p.width = width;
  p.channels = 3;
  p.height = static_cast<int>(pixels.size() / 3 / width);
  p.pixels = std::move(pixels);
  return p;
}

// The segments with `marker` of a JPEG, in file order, up to its scan.
std::vector<uint8_t> Segments(const std::vector<uint8_t>& jpeg, uint8_t marker) {
  std::vector<uint8_t> out;
  for (size_t at = 2; at + 4 <= jpeg.size();) {
    const uint8_t here = jpeg[at + 1];
    const size_t length = (static_cast<size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
    if (here == marker) out.insert(out.end(), jpeg.begin() + at, jpeg.begin() + at + 2 + length);
    if (here == 0xDA) break;
    at += 2 + length;
  }
  return out;
}

TEST(RawColourTest, RebuiltJpegLayoutIsExact) {
  const auto stream = MakeRawColourStream(PatternPicture(24, 16, 3));
  const size_t n = stream.size();
  const auto jpeg = RebuildRawJpeg(stream);
  ASSERT_EQ(jpeg.size(), 20 + 138 + 22 + 432 + (n - 52));
  const std::vector<uint8_t> jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46,
                                     0x00, 0x01, 0x01, 0x01, 0x00, 0x60, 0x00, 0x60, 0x00, 0x00};
  EXPECT_EQ(std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 20), jfif);
  // Quantisation tables 0 and 1, as libjpeg writes them at its default quality.
  EXPECT_EQ(std::vector<uint8_t>(jpeg.begin() + 20, jpeg.begin() + 158),
            Segments(testsupport::MakeJpeg(16, 16, 1, 75), 0xDB));
  // The frame header, copied from offsets 30 to 51.
  EXPECT_EQ(std::vector<uint8_t>(jpeg.begin() + 158, jpeg.begin() + 180),
            std::vector<uint8_t>(stream.begin() + 30, stream.begin() + 52));
  EXPECT_EQ(jpeg[158], 0xFF);
  EXPECT_EQ(jpeg[159], 0xC0);
  // Four Huffman segments: classes 00, 10, 01, 11 with lengths 31, 181, 31, 181.
  const size_t h = 180;
  const std::vector<std::pair<size_t, uint8_t>> segments = {
      {h, 0x00}, {h + 33, 0x10}, {h + 216, 0x01}, {h + 249, 0x11}};
  const std::vector<int> lengths = {31, 181, 31, 181};
  for (size_t i = 0; i < segments.size(); ++i) {
    const size_t at = segments[i].first;
    EXPECT_EQ(jpeg[at], 0xFF);
    EXPECT_EQ(jpeg[at + 1], 0xC4);
    EXPECT_EQ((jpeg[at + 2] << 8) | jpeg[at + 3], lengths[i]);
    EXPECT_EQ(jpeg[at + 4], segments[i].second);
  }
  // The rest of the stream from offset 52.
  EXPECT_EQ(std::vector<uint8_t>(jpeg.begin() + 612, jpeg.end()),
            std::vector<uint8_t>(stream.begin() + 52, stream.end()));
  EXPECT_TRUE(RebuildRawJpeg(std::vector<uint8_t>(51, 0)).empty());
}

TEST(RawColourTest, HuffmanTablesAreTheAnnexKTablesLibjpegWrites) {
  // libjpeg writes the typical tables, in this order, for a YCbCr picture
  // encoded without optimisation.
  const auto& ours = RawHuffmanTables();
  EXPECT_EQ(Segments(testsupport::MakeJpeg(16, 16, 1), 0xC4),
            std::vector<uint8_t>(ours.begin(), ours.end()));
  // The first values of table 0 at quality 75, as measured on real thumbnails.
  EXPECT_EQ(std::vector<uint8_t>(RawQuantTable0().begin(), RawQuantTable0().begin() + 8),
            (std::vector<uint8_t>{8, 6, 6, 7, 6, 5, 8, 7}));
}

TEST(RawColourTest, MirrorAndExchange) {
  PixelImage p = Rgb({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 2);
  MirrorTopToBottom(p);
  EXPECT_EQ(p.pixels, (std::vector<uint8_t>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
  ExchangeRedBlue(p);
  EXPECT_EQ(p.pixels, (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

// The mean absolute difference of two RGB pictures of one size, per channel
// value (0 to 255).
double MeanAbsoluteDifference(const PixelImage& a, const PixelImage& b) {
  double total = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) total += std::abs(a.pixels[i] - b.pixels[i]);
  return total / static_cast<double>(a.pixels.size());
}

// Area-average scaling of an RGB picture to w x h.
PixelImage ScaleTo(const PixelImage& src, int w, int h) {
  PixelImage out;
  out.width = w;
  out.height = h;
  out.channels = 3;
  out.pixels.resize(static_cast<size_t>(w) * h * 3);
  const double fx = static_cast<double>(src.width) / w;
  const double fy = static_cast<double>(src.height) / h;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      double sum[3] = {0, 0, 0};
      double weight = 0;
      const double x0 = x * fx, x1 = (x + 1) * fx, y0 = y * fy, y1 = (y + 1) * fy;
      for (int sy = static_cast<int>(y0); sy < std::min<double>(std::ceil(y1), src.height); ++sy) {
        const double wy = std::min<double>(sy + 1, y1) - std::max<double>(sy, y0);
        for (int sx = static_cast<int>(x0); sx < std::min<double>(std::ceil(x1), src.width); ++sx) {
          const double wx = std::min<double>(sx + 1, x1) - std::max<double>(sx, x0);
          const uint8_t* p = &src.pixels[(static_cast<size_t>(sy) * src.width + sx) * src.channels];
          for (int c = 0; c < 3; ++c) sum[c] += p[c] * wx * wy;
          weight += wx * wy;
        }
      }
      for (int c = 0; c < 3; ++c) {
        out.pixels[(static_cast<size_t>(y) * w + x) * 3 + c] =
            static_cast<uint8_t>(sum[c] / weight + 0.5);
      }
    }
  }
  return out;
}

TEST(RawColourTest, SyntheticRawThumbnailComesBackAsItsPicture) {
  const PixelImage picture = PatternPicture(60, 45, 7);
  const auto converted = ConvertRawThumbnail(RebuildRawJpeg(MakeRawColourStream(picture)));
  ASSERT_TRUE(converted) << converted.error();
  const ImageInfo info = SniffImage(*converted);
  EXPECT_EQ(info.format, ImageFormat::kJpeg);
  EXPECT_EQ(info.width, 60);
  EXPECT_EQ(info.height, 45);
  const auto decoded = DecodeJpeg(*converted, JpegPixels::kRgb);
  ASSERT_TRUE(decoded);
  // Two JPEG generations of a picture full of sharp edges: small losses only.
  const double difference = MeanAbsoluteDifference(*decoded, picture);
  EXPECT_LT(difference, 4.0) << difference;
}

TEST(RawColourTest, UndecodableJpegFailsWithTheStatusText) {
  const std::vector<uint8_t> junk(700, 0x42);
  const auto converted = ConvertRawThumbnail(junk);
  ASSERT_FALSE(converted);
  EXPECT_EQ(converted.error().rfind("Unknown Image Format: ", 0), 0u);
}

TEST(RawColourTest, HugeFrameHeaderIsRefusedBeforeDecoding) {
  auto stream = MakeRawColourStream(PatternPicture(16, 16, 1));
  // Frame header: FF C0, length, precision, then height and width.
  stream[35] = 0xFF;
  stream[36] = 0xFF;
  stream[37] = 0xFF;
  stream[38] = 0xFF;
  const auto converted = ConvertRawThumbnail(RebuildRawJpeg(stream));
  ASSERT_FALSE(converted);
  EXPECT_EQ(converted.error(), "Out Of Memory: a 65535 x 65535 picture is no thumbnail");

  // One bound for the look at the header and for the decoder: 512 x 512 is
  // within it, 600 x 600 is refused by the look, not by the decoder.
  const auto frame = [&](uint16_t side) {
    stream[35] = stream[37] = static_cast<uint8_t>(side >> 8);
    stream[36] = stream[38] = static_cast<uint8_t>(side & 0xFF);
    return ConvertRawThumbnail(RebuildRawJpeg(stream));
  };
  const auto within = frame(512);
  if (!within) {
    EXPECT_EQ(within.error().find("Out Of Memory"), std::string::npos) << within.error();
    EXPECT_EQ(within.error().find("size out of range"), std::string::npos) << within.error();
  }
  const auto beyond = frame(600);
  ASSERT_FALSE(beyond);
  EXPECT_EQ(beyond.error(), "Out Of Memory: a 600 x 600 picture is no thumbnail");
}

TEST(RawColourTest, GdiplusStatusTexts) {
  EXPECT_EQ(GdiplusStatusText(0), "");
  EXPECT_EQ(GdiplusStatusText(1), "Generic Error");
  EXPECT_EQ(GdiplusStatusText(13), "Unknown Image Format");
  EXPECT_EQ(GdiplusStatusText(20), "Property Not Supported");
  EXPECT_EQ(GdiplusStatusText(21), "");
  EXPECT_EQ(GdiplusStatusText(-1), "");
}

// The thumbnails of corpus file 003 against the pictures they were made from,
// scaled to the thumbnail's size. The other originals beside it are not the
// pictures the thumbnails show (123018.jpg has another aspect ratio, text2.png
// another text), and PNG and GIF are not decoded here.
TEST(RawColourTest, CorpusThumbnailsMatchTheirOriginals) {
  const std::string corpus = GLINTVANE_CORPUS_DIR "/real";
  const std::string cache = corpus + "/003-sabhaadv-Thumbs.db";
  if (!std::filesystem::exists(cache)) GTEST_SKIP() << "corpus not present";
  const auto out = testing::ReadPath(cache);
  ASSERT_TRUE(out.result.ok);
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"art.jpg", "ART.JPG"},
      {"s2.jpg", "s2.jpg"},
      {"back2 copy.jpg", "back2 copy.jpg"},
      {"Poster Matic Logo.jpg", "Poster Matic Logo.jpg"}};
  double sum = 0;
  for (const auto& [name, original_name] : pairs) {
    const ThumbnailRow* row = nullptr;
    for (size_t i = 0; i < out.list.size(); ++i) {
      if (out.list[i].name == name) row = &out.list[i];
    }
    ASSERT_NE(row, nullptr) << name;
    ASSERT_EQ(row->kind, ImageKind::kRaw);
    const auto thumb = DecodeJpeg(testing::StoredBytes(out, *row), JpegPixels::kRgb);
    ASSERT_TRUE(thumb) << name;
    const auto bytes = ReadWholeFile(corpus + "/originals/003/" + original_name);
    ASSERT_TRUE(bytes) << original_name;
    const auto picture = DecodeJpeg(*bytes, JpegPixels::kRgb);
    ASSERT_TRUE(picture) << original_name;
    const PixelImage original = ScaleTo(*picture, thumb->width, thumb->height);
    const double difference = MeanAbsoluteDifference(*thumb, original);
    std::printf("%s: mean absolute difference %.2f\n", name.c_str(), difference);
    EXPECT_LE(difference, 15.0) << name;
    sum += difference;
    // Each step is needed: without the exchange red and blue are swapped,
    // without the mirror the picture stands on its head.
    PixelImage swapped = *thumb;
    ExchangeRedBlue(swapped);
    EXPECT_GT(MeanAbsoluteDifference(swapped, original), 30.0) << name;
    PixelImage upside_down = *thumb;
    MirrorTopToBottom(upside_down);
    EXPECT_GT(MeanAbsoluteDifference(upside_down, original), 20.0) << name;
  }
  EXPECT_LE(sum / static_cast<double>(pairs.size()), 10.0);
}

// Every raw-colour thumbnail of the corpus (175 in files 001 to 005) is
// converted and decodes as a JPEG of its stated size.
TEST(RawColourTest, EveryCorpusRawThumbnailDecodes) {
  const std::string corpus = GLINTVANE_CORPUS_DIR "/real";
  if (!std::filesystem::exists(corpus)) GTEST_SKIP() << "corpus not present";
  size_t raw = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    const std::string file = entry.path().filename().string();
    if (file.size() < 4 || file[0] != '0' || file[1] != '0' || file[2] < '1' || file[2] > '5' ||
        file[3] != '-') {
      continue;
    }
    const auto out = testing::ReadPath(entry.path().string());
    EXPECT_TRUE(out.result.ok) << file;
    for (size_t i = 0; i < out.list.size(); ++i) {
      const ThumbnailRow& row = out.list[i];
      if (row.kind != ImageKind::kRaw) continue;
      ++raw;
      const auto decoded = DecodeJpeg(testing::StoredBytes(out, row), JpegPixels::kRgb);
      ASSERT_TRUE(decoded) << file << " " << row.key;
      EXPECT_EQ(decoded->width, row.width);
      EXPECT_EQ(decoded->height, row.height);
    }
  }
  EXPECT_EQ(raw, 175u);
}

}  // namespace
}  // namespace glintvane
