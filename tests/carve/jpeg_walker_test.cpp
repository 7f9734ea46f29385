#include "carve/jpeg_walker.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/carve/carve_fixtures.h"

namespace glintvane {
namespace {

using testing::MakeJpeg;
using testing::WithThumbnail;
using Status = JpegWalker::Status;

// A JPEG built by hand: headers, one scan whose data holds a stuffed FF, a
// restart marker and fill bytes before the end marker.
std::vector<uint8_t> HandMadeJpeg() {
  return {0xFF, 0xD8,                                                                       // SOI
          0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',  0,    1, 1, 0, 0, 1, 0, 1, 0, 0,  // APP0
          0xFF, 0xFF,                                            // fill before a marker
          0xFF, 0xDB, 0x00, 0x04, 0xFF, 0xD9,                    // DQT holding FF D9
          0xFF, 0xC0, 0x00, 0x05, 8,    0,    1,                 // SOF0
          0xFF, 0xDA, 0x00, 0x03, 0xFF,                          // SOS
          0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD3, 0x56, 0xFF, 0x00,  // data, FF 00, RST3
          0xFF, 0xFF, 0xFF, 0xD9};                               // fill, EOI
}

TEST(JpegWalkerTest, EndsAtTheRealEndMarker) {
  const auto baseline = MakeJpeg(64, 48, 1);
  const auto progressive = MakeJpeg(64, 48, 2, true);
  const auto hand = HandMadeJpeg();
  // The thumbnail's own FF D9 lies inside the outer image's APP1 segment.
  const auto nested = WithThumbnail(MakeJpeg(80, 60, 3), MakeJpeg(16, 16, 4));
  for (const auto* jpeg : {&baseline, &progressive, &hand, &nested}) {
    std::vector<uint8_t> bytes = *jpeg;
    bytes.insert(bytes.end(), {0xFF, 0xD9, 0x00, 0x11});  // what follows is not read
    const JpegWalkResult walked = WalkJpeg(bytes);
    EXPECT_EQ(walked.status, Status::kComplete);
    EXPECT_EQ(walked.length, jpeg->size());
  }
}

TEST(JpegWalkerTest, GivesTheSameResultWhenFedPieceByPiece) {
  const auto jpeg = WithThumbnail(MakeJpeg(96, 64, 5, true), MakeJpeg(16, 16, 6));
  for (const size_t piece : {size_t{1}, size_t{2}, size_t{7}, size_t{4096}}) {
    JpegWalker walker;
    size_t offset = 0;
    while (offset < jpeg.size() && walker.status() == Status::kWalking) {
      const size_t n = std::min(piece, jpeg.size() - offset);
      const size_t used = walker.Feed({jpeg.data() + offset, n});
      offset += used;
      if (walker.status() == Status::kWalking) {
        EXPECT_EQ(used, n);
      }
    }
    EXPECT_EQ(walker.status(), Status::kComplete) << piece;
    EXPECT_EQ(walker.length(), jpeg.size()) << piece;
  }
}

TEST(JpegWalkerTest, TruncatedOrDamagedImagesAreNotComplete) {
  const auto jpeg = MakeJpeg(64, 48, 7);
  // Cut anywhere: the walk runs out of bytes.
  for (const size_t cut : {size_t{1}, size_t{2}, size_t{20}, jpeg.size() / 2, jpeg.size() - 1}) {
    EXPECT_EQ(WalkJpeg({jpeg.data(), cut}).status, Status::kWalking) << cut;
  }
  // Cut inside the scan and followed by another image: its FF D8 breaks the
  // walk instead of lending its end marker.
  std::vector<uint8_t> two(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(jpeg.size() - 40));
  two.insert(two.end(), jpeg.begin(), jpeg.end());
  const auto walked = WalkJpeg(two);
  EXPECT_EQ(walked.status, Status::kBroken);
  EXPECT_LT(walked.length, jpeg.size());

  auto hand = HandMadeJpeg();
  const std::vector<std::vector<uint8_t>> broken = {
      {0x00, 0xD8, 0xFF, 0xD9},                          // no SOI
      {0xFF, 0xD8, 0x12},                                // no marker after SOI
      {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01},              // a length below 2
      {0xFF, 0xD8, 0xFF, 0xD9},                          // end before any scan
      {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02, 0xFF, 0xD9},  // a scan without a frame
      {0xFF, 0xD8, 0xFF, 0xD8},                          // a second SOI
  };
  for (const auto& bytes : broken) EXPECT_EQ(WalkJpeg(bytes).status, Status::kBroken);
}

}  // namespace
}  // namespace glintvane
