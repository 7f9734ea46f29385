// The bookkeeping of one carving scan: start signatures found in the blocks
// of a file become rows, and each row is closed where its JPEG ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "cache/thumbnail_list.h"
#include "carve/jpeg_walker.h"

namespace glintvane {

// No carved image is longer than this. Swap files hold mostly fragments, and
// an image that runs on further is taken to be cut off by unrelated bytes.
inline constexpr int64_t kCarveLengthCap = 10485760;

// Bytes before a block that the scanner may read back: a signature whose "J"
// lies in the last 4 bytes of a block is checked with the next block, and its
// image starts 6 bytes before the "J".
inline constexpr size_t kCarveHistory = 16;

// Images followed at once by their structure. Nested thumbnails make a few;
// a file full of JPEG headers whose scans never end would make thousands, and
// each would read every byte again, so past this the oldest is given up and
// ends by the signature rule.
inline constexpr size_t kMaxWalkedImages = 64;

// Rows one scan makes before it stops. A 20 MB file of back-to-back
// signatures makes four million; no real swap file comes near five.
inline constexpr size_t kDefaultCarveRowLimit = 5000000;

// Feeds the blocks of one file in order and keeps the rows of the images
// found in them. Rows of other files, or of earlier scans, are never touched.
class CarvedImageScanner {
 public:
  // `file_length` bounds the search: a signature whose "J" lies in the last 9
  // bytes of the file is not reported. The first block starts at
  // `first_offset` (a scan of the rest of a file).
  CarvedImageScanner(ThumbnailList& list, std::string path, int64_t file_length,
                     int64_t first_offset = 0, size_t row_limit = kDefaultCarveRowLimit);

  // Passes the file bytes [block_offset, block_offset + count) through the
  // signature search and the structure walks. Blocks come in file order with
  // no gap; block[-k] must be readable for k up to min(block_offset,
  // kCarveHistory).
  void DetectImageSignatures(const uint8_t* block, size_t count, int64_t block_offset);

  // After the last block: closes every image still open at the end of the
  // file, which lies at `file_end` (the length, unless the file shrank while
  // it was read).
  void CloseAtEnd(int64_t file_end);

  size_t rows_added() const { return rows_added_; }
  // True once a signature found no room under the row limit: the scan stops
  // there. The images still open were closed at that signature's start.
  bool stopped() const { return stopped_at_ >= 0; }
  int64_t stopped_at() const { return stopped_at_; }

 private:
  struct OpenImage {
    size_t row = 0;           // index in the list
    int64_t start = 0;        // offset of the image's first byte
    int64_t next_start = -1;  // start of the next image found after it, -1 until there is one
    int64_t walked_to = 0;    // the walker has seen the bytes before this offset
    int64_t wake = 0;         // bytes before this offset need not be fed: the walker skips them
    bool walking = false;     // the structure walk still runs
    JpegWalker walker;
  };

  // Appends the row of an image found with its "J" at `signature`. Images
  // still open learn where the next image starts.
  void StartCarvedImage(int64_t signature, const uint8_t* block, int64_t block_offset,
                        int64_t fed_to);
  // Sets the row's end and length by the signature rule: one byte before the
  // next start (`next_start` >= 0) or the end of the file, at most the cap.
  // A row left with no bytes is removed.
  void CloseCarvedImage(const OpenImage& image);
  // Removes open_[i].
  void Forget(size_t i);
  // Sets the row's end where the JPEG's own end marker is.
  void CloseCompleteImage(const OpenImage& image);
  // Feeds every walking image the bytes up to `to` and settles those whose
  // walk ended.
  void FeedWalkers(const uint8_t* block, int64_t block_offset, int64_t to);
  // Feeds one image; returns false when its walk is over.
  bool Walk(OpenImage& image, const uint8_t* block, int64_t block_offset, int64_t to);
  // Settles open_[i] after its walk ended: complete, or closed or waiting by
  // the signature rule. Returns true when open_[i] was removed.
  bool Settle(size_t i);
  // Ends the walk of open_[i] without an end marker: the image waits for the
  // next start, or is closed by the signature rule when that is known.
  // Returns true when open_[i] was removed.
  bool StopWalking(size_t i);

  ThumbnailList& list_;
  std::string path_;
  int64_t file_length_;
  uint32_t source_ = 0;
  bool source_added_ = false;
  int64_t next_candidate_ = 0;  // every "J" before this offset was tested
  size_t rows_added_ = 0;
  size_t row_limit_;
  int64_t stopped_at_ = -1;
  // In the order of their starts; a deque, as the oldest leave first.
  std::deque<OpenImage> open_;
  // No walker needs bytes before this offset (a lower bound).
  int64_t earliest_wake_ = 0;
  std::vector<size_t> found_;  // reused for each block's signatures

  // One walk over [from, to) in FeedWalkers: the walker before and after.
  // Images whose walkers stand in the same state at the same offset go the
  // same way, so the bytes are walked once for all of them (a file can make
  // every image's structure valid for all the images before it).
  struct SharedWalk {
    int64_t from = 0;
    int64_t limit = 0;
    int64_t walked_to = 0;
    JpegWalker before;
    JpegWalker after;
  };
  static constexpr size_t kMaxSharedWalks = 8;
  std::vector<SharedWalk> shared_;
  uint64_t bytes_walked_ = 0;

 public:
  // Bytes the structure walks read, over all images: stays near the file
  // length however many images are open.
  uint64_t bytes_walked() const { return bytes_walked_; }
};

}  // namespace glintvane
