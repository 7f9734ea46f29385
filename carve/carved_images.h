// The bookkeeping of one carving scan: starts found in the blocks of a file
// become rows, and each row is closed where its picture ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "cache/thumbnail_list.h"
#include "carve/carve_kinds.h"
#include "carve/image_signatures.h"
#include "carve/jpeg_walker.h"
#include "carve/png_walker.h"

namespace glintvane {

// No carved image is longer than this. Swap files hold mostly fragments, and
// an image that runs on further is taken to be cut off by unrelated bytes.
inline constexpr int64_t kCarveLengthCap = 10485760;

// Bytes after a start that are read to judge it (a BMP's headers, a PNG's
// signature and header chunk); a start closer than this to the end of a
// block is judged with the next block. A JFIF-only scan reads 4.
inline constexpr size_t kCarveLookahead = 64;

// Bytes before a block that the scanner may read back: a start judged with
// the next block, and a JFIF image's 6 bytes before its "J".
inline constexpr size_t kCarveHistory = 128;
static_assert(kCarveHistory >= kCarveLookahead + 6, "a late start and its lead stay readable");

// Images followed at once by their structure. Nested thumbnails make a few;
// a file full of JPEG headers whose scans never end would make thousands, and
// each would read every byte again, so past this the oldest is given up: it
// ends by the signature rule, or is dropped when only its end would list it.
inline constexpr size_t kMaxWalkedImages = 64;

// PNGs followed at once. A PNG walk reads every byte for the chunks' CRCs,
// where a JPEG walk steps over segments; real PNGs do not nest, so past this
// the oldest is cut at its last checked chunk.
inline constexpr size_t kMaxWalkedPngs = 8;

// Rows one scan makes before it stops. A 20 MB file of back-to-back
// signatures makes four million; no real swap file comes near five.
inline constexpr size_t kDefaultCarveRowLimit = 5000000;

// Feeds the blocks of one file in order and keeps the rows of the images
// found in them. Rows of other files, or of earlier scans, are never touched.
//
// JFIF and Exif images are listed where they start and end at their JPEG's
// end marker or, when their structure breaks, one byte before the next start
// found (the signature rule). Other JPEGs are listed only once their
// structure reaches its end marker, and PNGs once their chunks end (cut at
// the last chunk whose CRC matched when they break); a BMP is listed at its
// start, its length from its header. Rows are in the order of their starts.
class CarvedImageScanner {
 public:
  // `file_length` bounds the search: a start whose first byte (the "J" of a
  // JFIF signature) lies in the last 9 bytes of the file is not reported.
  // The first block starts at `first_offset` (a scan of the rest of a file).
  CarvedImageScanner(ThumbnailList& list, std::string path, int64_t file_length,
                     int64_t first_offset = 0, size_t row_limit = kDefaultCarveRowLimit,
                     CarveKinds kinds = kDefaultCarveKinds);

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
  static constexpr size_t kNoRow = SIZE_MAX;

  struct OpenImage {
    size_t row = kNoRow;      // index in the list; kNoRow while only its end would list it
    int64_t start = 0;        // offset of the image's first byte
    int64_t next_start = -1;  // start of the next image found after it, -1 until there is one
    int64_t walked_to = 0;    // the walker has seen the bytes before this offset
    int64_t wake = 0;         // bytes before this offset need not be fed: the walker skips them
    bool walking = false;     // the structure walk still runs
    CarveKind kind = CarveKind::kJfif;
    // Listed at its end: the row of the newest image listed at its start
    // when this one started, which it cuts short when it is listed.
    size_t cut_row = kNoRow;
    JpegWalker walker;
    PngWalker png{static_cast<uint64_t>(kCarveLengthCap)};
  };
  // An image listed at its end, waiting until the scan reaches its end and
  // no walk is being iterated.
  struct Finished {
    int64_t start = 0;
    int64_t length = 0;
    int64_t found_at = 0;  // where its end was found
    bool complete = false;
    CarveKind kind = CarveKind::kJpeg;
    size_t cut_row = kNoRow;
  };

  // Judges the start that the search found at `at` (bytes up to `end` may be
  // read): when it is one of the kinds looked for, starts or lists its image.
  void JudgeStart(int64_t at, const uint8_t* block, int64_t block_offset, int64_t end,
                  int64_t& fed_to);
  // True when no row may be added: stops the scan at `at` first.
  bool AtRowLimit(int64_t at);
  // Stops the scan at `at`: images still open end there when they have no
  // end yet; images listed at their end are dropped.
  void StopAt(int64_t at);
  // Gives `start` to the images listed at their start that wait for a next
  // start, closing those whose walk is over.
  void HandStart(int64_t start);
  // Appends the row of an image listed at its start (JFIF, Exif) and begins
  // its walk, up to `walk_to`, when `walk`.
  void StartListedImage(CarveKind kind, int64_t start, bool walk, const uint8_t* block,
                        int64_t block_offset, int64_t walk_to);
  // Begins the walk of an image listed at its end (other JPEGs, PNG), up to
  // `walk_to`, the end of the block: such a walk changes nothing before its
  // end is listed, so it may run ahead of the others, and a file of
  // thousands of such starts does not make every walk run again for each.
  void StartWalkedImage(CarveKind kind, int64_t start, int64_t walk_to, const uint8_t* block,
                        int64_t block_offset);
  // Appends the row of a BMP whose headers hold.
  void ListBmp(int64_t start, int64_t file_size);
  // Begins the walk of open_.back() up to `walk_to`, settling it when it ends.
  void BeginWalk(const uint8_t* block, int64_t block_offset, int64_t walk_to);
  // Past kMaxWalkedImages JPEG walks or kMaxWalkedPngs PNG walks, the
  // oldest of that kind is given up.
  void LimitWalks();
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
  // the signature rule, or finished. Returns true when open_[i] was removed.
  bool Settle(size_t i);
  // Ends the walk of open_[i] without an end marker: the image waits for the
  // next start, or is closed by the signature rule when that is known; an
  // image listed at its end is finished (a PNG, cut) or dropped. Returns
  // true when open_[i] was removed.
  bool StopWalking(size_t i);
  // Lists the finished images whose end was found before `upto` (the scan
  // has reached it), in the order they finished.
  void ListFinished(int64_t upto);
  // Ends the row `row` (listed at its start) one byte before `start` when
  // the signature rule made it run on over that start.
  void CutAt(size_t row, int64_t start);
  // Adds `image` to open_ and walks it up to `walk_to` when it walks.
  void Open(OpenImage image, const uint8_t* block, int64_t block_offset, int64_t walk_to);
  // The walk of `image` ends (it is given up, or settled).
  void EndWalk(OpenImage& image);
  uint32_t Source();

  ThumbnailList& list_;
  std::string path_;
  int64_t file_length_;
  uint32_t source_ = 0;
  bool source_added_ = false;
  int64_t next_candidate_ = 0;  // every start before this offset was tested
  size_t rows_added_ = 0;
  size_t row_limit_;
  int64_t stopped_at_ = -1;
  CarveKinds kinds_;
  SignatureSet signatures_;
  size_t lookahead_;
  size_t first_row_;               // the list's size when the scan began
  size_t newest_listed_ = kNoRow;  // the row of the newest image listed at its start
  int64_t last_row_start_ = -1;    // start of the last row appended
  bool out_of_order_ = false;      // a row was appended before an earlier-starting one
  // In the order of their starts; a deque, as the oldest leave first.
  std::deque<OpenImage> open_;
  std::vector<Finished> finished_;
  size_t jpeg_walks_ = 0;  // open images whose JPEG walk runs
  size_t png_walks_ = 0;   // and whose PNG walk runs
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
