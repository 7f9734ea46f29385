// Raw-colour thumbnails: the rebuilt JPEG's exact layout, the pixel passes with clamping,
// and the conversion checked against pictures: synthetic ones and the
// originals that sit beside corpus file 003.
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

TEST(RawColourTest, RebuiltJpegLayoutIsExact) {
  const auto stream = MakeRawColourStream(PatternPicture(24, 16, 3));
  const size_t n = stream.size();
  const auto jpeg = RebuildRawJpeg(stream);
  ASSERT_EQ(jpeg.size(), 20 + 138 + 22 + 432 + (n - 52));
  const std::vector<uint8_t> jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46,
                                     0x00, 0x01, 0x01, 0x01, 0x00, 0x60, 0x00, 0x60, 0x00, 0x00};
  EXPECT_EQ(std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 20), jfif);
  // Quantisation tables.
  const std::vector<uint8_t> table0 = {
      5,  5,  5,  5,  5,  5,  6,  6,  6,  6,  7,  6,  7,  5,  6,  8,  8,  8,  9,  10, 10, 10,
      10, 10, 10, 10, 10, 10, 12, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16,
      16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
  std::vector<uint8_t> table1 = {5, 5, 5, 7, 6, 7, 14, 8, 8, 14, 30, 20, 17, 20};
  table1.resize(64, 30);
  std::vector<uint8_t> dqt = {0xFF, 0xDB, 0x00, 0x43, 0x00};
  dqt.insert(dqt.end(), table0.begin(), table0.end());
  dqt.insert(dqt.end(), {0xFF, 0xDB, 0x00, 0x43, 0x01});
  dqt.insert(dqt.end(), table1.begin(), table1.end());
  EXPECT_EQ(std::vector<uint8_t>(jpeg.begin() + 20, jpeg.begin() + 158), dqt);
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
  const auto jpeg = testsupport::MakeJpeg(16, 16, 1);
  std::vector<uint8_t> dht;
  for (size_t at = 2; at + 4 <= jpeg.size();) {
    const uint8_t marker = jpeg[at + 1];
    const size_t length = (static_cast<size_t>(jpeg[at + 2]) << 8) | jpeg[at + 3];
    if (marker == 0xC4) dht.insert(dht.end(), jpeg.begin() + at, jpeg.begin() + at + 2 + length);
    if (marker == 0xDA) break;
    at += 2 + length;
  }
  const auto& ours = RawHuffmanTables();
  EXPECT_EQ(dht, std::vector<uint8_t>(ours.begin(), ours.end()));
}

TEST(RawColourTest, RescaleWithAWhitePixel) {
  // S = 765, k = 0.90353.
  PixelImage p = Rgb({255, 255, 255, 100, 100, 100}, 2);
  RescaleBrightness(p);
  EXPECT_EQ(p.pixels, (std::vector<uint8_t>{230, 223, 205, 90, 87, 80}));
}

TEST(RawColourTest, RescaleClampsInsteadOfWrapping) {
  // S = 300, k = 2.304: a red of 100 gives 230; 120 gives 276, kept at 255.
  PixelImage p = Rgb({100, 100, 100, 120, 0, 0}, 2);
  RescaleBrightness(p);
  EXPECT_EQ(p.pixels[0], 230);
  EXPECT_EQ(p.pixels[3], 255);
  // Green and blue: trunc(trunc(100 * 2.304) * 0.97) = 223, * 0.895 = 205.
  EXPECT_EQ(p.pixels[1], 223);
  EXPECT_EQ(p.pixels[2], 205);
  // Bright reds stay bright: 200 of S = 200 becomes 255, not 179.
  PixelImage red = Rgb({200, 0, 0}, 1);
  RescaleBrightness(red);
  EXPECT_EQ(red.pixels, (std::vector<uint8_t>{255, 0, 0}));
}

TEST(RawColourTest, AllBlackStaysBlack) {
  PixelImage p = Rgb(std::vector<uint8_t>(3 * 12, 0), 4);
  RescaleBrightness(p);
  EXPECT_EQ(p.pixels, std::vector<uint8_t>(3 * 12, 0));
}

TEST(RawColourTest, NeutralGreyComesOutWarm) {
  PixelImage p = Rgb({200, 200, 200}, 1);
  RescaleBrightness(p);
  EXPECT_GT(p.pixels[0], p.pixels[1]);
  EXPECT_GT(p.pixels[1], p.pixels[2]);
}

TEST(RawColourTest, MirrorAndExchange) {
  PixelImage p = Rgb({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 2);
  MirrorTopToBottom(p);
  EXPECT_EQ(p.pixels, (std::vector<uint8_t>{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
  ExchangeRedBlue(p);
  EXPECT_EQ(p.pixels, (std::vector<uint8_t>{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
}

double MeanChannelCorrelation(const PixelImage& a, const PixelImage& b) {
  double total = 0;
  const size_t n = static_cast<size_t>(a.width) * a.height;
  for (int c = 0; c < 3; ++c) {
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = 0; i < n; ++i) {
      const double x = a.pixels[i * 3 + c];
      const double y = b.pixels[i * 3 + c];
      sa += x;
      sb += y;
      saa += x * x;
      sbb += y * y;
      sab += x * y;
    }
    const double cov = sab / n - (sa / n) * (sb / n);
    const double va = saa / n - (sa / n) * (sa / n);
    const double vb = sbb / n - (sb / n) * (sb / n);
    total += cov / std::sqrt(va * vb + 1e-9);
  }
  return total / 3;
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

// A 3 x 3 box blur. Both sides are blurred before they are compared: the
// thumbnails are small JPEGs with block noise, and Windows scaled the
// pictures down with a filter of its own, so pixel-level detail differs
// while the picture does not.
PixelImage Blur(const PixelImage& a) {
  PixelImage b = a;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        int sum = 0, n = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int yy = y + dy, xx = x + dx;
            if (yy < 0 || xx < 0 || yy >= a.height || xx >= a.width) continue;
            sum += a.pixels[(static_cast<size_t>(yy) * a.width + xx) * 3 + c];
            ++n;
          }
        }
        b.pixels[(static_cast<size_t>(y) * a.width + x) * 3 + c] = static_cast<uint8_t>(sum / n);
      }
    }
  }
  return b;
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
  EXPECT_GT(MeanChannelCorrelation(*decoded, picture), 0.95);
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
}

TEST(RawColourTest, GdiplusStatusTexts) {
  EXPECT_EQ(GdiplusStatusText(0), "");
  EXPECT_EQ(GdiplusStatusText(1), "Generic Error");
  EXPECT_EQ(GdiplusStatusText(13), "Unknown Image Format");
  EXPECT_EQ(GdiplusStatusText(20), "Property Not Supported");
  EXPECT_EQ(GdiplusStatusText(21), "");
  EXPECT_EQ(GdiplusStatusText(-1), "");
}

// The thumbnails of corpus file 003 against the pictures they were made from.
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
    const PixelImage original = Blur(ScaleTo(*picture, thumb->width, thumb->height));
    const double r = MeanChannelCorrelation(Blur(*thumb), original);
    EXPECT_GT(r, 0.9) << name;
    std::printf("%s: mean channel correlation %.3f\n", name.c_str(), r);
    if (name == "s2.jpg") {
      // The same thumbnail inverted is a negative of its picture.
      PixelImage negative = *thumb;
      for (uint8_t& v : negative.pixels) v = static_cast<uint8_t>(255 - v);
      EXPECT_LT(MeanChannelCorrelation(Blur(negative), original), -0.9);
      // Without the red/blue exchange, red and blue are swapped.
      PixelImage swapped = *thumb;
      ExchangeRedBlue(swapped);
      EXPECT_LT(MeanChannelCorrelation(Blur(swapped), original), 0.5);
    }
  }
}

}  // namespace
}  // namespace glintvane
