#include "carve/carved_images.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "carve/bmp_header.h"
#include "carve/jfif_signature.h"

namespace glintvane {
namespace {

// The identifier of the APP1 segment that a camera's JPEG starts with.
constexpr uint8_t kExifIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};

// Markers that can follow a JPEG's start marker: a frame or table segment,
// an application segment or a comment (ITU-T T.81, B.2.4). After any other
// byte, FF D8 FF is not taken for the start of a picture.
bool FirstMarkerFits(uint8_t code) {
  return (code >= 0xC0 && code <= 0xCF && code != 0xC8) || code == 0xDB || code == 0xDD ||
         (code >= 0xE0 && code <= 0xEF) || code == 0xFE;
}

// JFIF and Exif images are listed where they start: their identifiers say
// enough. Other JPEGs and PNGs wait until their structure ends.
bool ListedAtStart(CarveKind kind) {
  return kind == CarveKind::kJfif || kind == CarveKind::kExif;
}

SignatureSet SignaturesOf(CarveKinds kinds) {
  SignatureSet set;
  set.jfif = kinds.Has(CarveKind::kJfif);
  if (kinds.Has(CarveKind::kExif) || kinds.Has(CarveKind::kJpeg)) set.AddPair(0xFF, 0xD8);
  if (kinds.Has(CarveKind::kPng)) set.AddPair(0x89, 'P');
  if (kinds.Has(CarveKind::kBmp)) set.AddPair('B', 'M');
  return set;
}

}  // namespace

CarvedImageScanner::CarvedImageScanner(ThumbnailList& list, std::string path, int64_t file_length,
                                       int64_t first_offset, size_t row_limit, CarveKinds kinds)
    : list_(list),
      path_(std::move(path)),
      file_length_(file_length),
      next_candidate_(first_offset),
      row_limit_(row_limit),
      kinds_(kinds),
      signatures_(SignaturesOf(kinds)),
      lookahead_(kinds.JfifOnly() ? 4 : kCarveLookahead),
      first_row_(list.size()) {}

uint32_t CarvedImageScanner::Source() {
  if (!source_added_) {
    source_ = list_.AddSource(path_);
    source_added_ = true;
  }
  return source_;
}

void CarvedImageScanner::DetectImageSignatures(const uint8_t* block, size_t count,
                                               int64_t block_offset) {
  if (stopped()) return;
  const int64_t end = block_offset + static_cast<int64_t>(count);
  // A start is tested once the bytes that judge it are in (4 after a JFIF
  // "J"; kCarveLookahead when other kinds are looked for), or the file ends.
  // One whose first byte lies in the last 9 bytes of the file is never
  // reported: carved files have always ended that way, and no picture fits
  // in 9 bytes anyway.
  // Starts never lie further back than the history holds with their lead:
  // blocks shorter than the lookahead come only at the end of a source.
  const int64_t from = std::max<int64_t>(
      next_candidate_, block_offset - static_cast<int64_t>(kCarveHistory) + kJfifSignatureLead);
  const int64_t horizon = file_length_ - 9;
  const int64_t to =
      end >= file_length_ ? horizon : std::min(end - static_cast<int64_t>(lookahead_), horizon);
  found_.clear();
  if (to > from) {
    // The first candidates may lie in the history.
    const uint8_t* first = block + (from - block_offset);
    const auto length = static_cast<size_t>(to - from);
    if (kinds_.JfifOnly()) {
      FindJfifSignatures(first, length, found_);
    } else if (!signatures_.empty()) {
      FindImageSignatures(first, length, signatures_, found_);
    }
    next_candidate_ = to;
  }
  int64_t fed_to = block_offset;
  for (const size_t index : found_) {
    JudgeStart(from + static_cast<int64_t>(index), block, block_offset, end, fed_to);
    if (stopped()) return;
  }
  FeedWalkers(block, block_offset, end);
}

void CarvedImageScanner::JudgeStart(int64_t at, const uint8_t* block, int64_t block_offset,
                                    int64_t end, int64_t& fed_to) {
  const uint8_t* p = block + (at - block_offset);
  const auto available = static_cast<size_t>(end - at);
  // Walks reach the new start first, so images that end before it are
  // settled before it opens another.
  const auto reach = [&] {
    if (at > fed_to) {
      FeedWalkers(block, block_offset, at);
      fed_to = at;
    }
    return !stopped();
  };
  switch (p[0]) {
    case 'J': {
      if (p[2] != 'I' || p[3] != 'F') return;  // "JF", a zero byte, but not "JFIF"
      const int64_t lead = at - kJfifSignatureLead;
      // A signature less than 6 bytes into the file starts its image at the
      // file's first byte: there is nothing before it.
      const int64_t start = std::max<int64_t>(lead, 0);
      if (!reach() || AtRowLimit(start)) return;
      // Bare signatures (no FF D8 before them) are most of what a hostile
      // file holds: such a walk would break on its first byte, so none is
      // begun; nor when the FF D8 would lie before the file.
      const bool walk = lead >= 0 && p[-6] == 0xFF && p[-5] == 0xD8;
      StartListedImage(CarveKind::kJfif, start, walk, block, block_offset, fed_to);
      return;
    }
    case 0xFF: {
      if (available < 4 || p[2] != 0xFF) return;
      const uint8_t code = p[3];
      // A JFIF signature 6 bytes on (after FF E0, or any segment's header)
      // makes a JFIF image of this start, walked the same way: one row.
      if (available >= 6 + kJfifSignature.size() &&
          std::memcmp(p + 6, kJfifSignature.data(), kJfifSignature.size()) == 0) {
        return;
      }
      if (code == 0xE1 && available >= 6 + sizeof kExifIdentifier &&
          std::memcmp(p + 6, kExifIdentifier, sizeof kExifIdentifier) == 0) {
        if (!kinds_.Has(CarveKind::kExif) || !reach() || AtRowLimit(at)) return;
        // Its walk takes the start and the APP1 segment's header at once, as
        // a JFIF image's does before its signature: it then waits inside
        // the segment instead of being fed again at the next start.
        StartListedImage(CarveKind::kExif, at, true, block, block_offset, at + 6);
        return;
      }
      if (!kinds_.Has(CarveKind::kJpeg) || !FirstMarkerFits(code) || !reach()) return;
      StartWalkedImage(CarveKind::kJpeg, at, end, block, block_offset);
      return;
    }
    case 0x89:
      if (!LooksLikePngStart(p, available) || !reach()) return;
      StartWalkedImage(CarveKind::kPng, at, end, block, block_offset);
      return;
    case 'B': {
      const auto layout = ReadBmpHeader(p, available);
      if (!layout || !reach() || AtRowLimit(at)) return;
      ListBmp(at, layout->file_size);
      return;
    }
    default:
      return;
  }
}

bool CarvedImageScanner::AtRowLimit(int64_t at) {
  if (rows_added_ < row_limit_) return false;
  StopAt(at);
  return true;
}

void CarvedImageScanner::StopAt(int64_t at) {
  // The images still open end where this one would have started, as they
  // would have without the limit unless their own end came first.
  stopped_at_ = at;
  for (OpenImage& image : open_) {
    if (image.row != kNoRow && image.next_start < 0) image.next_start = stopped_at_;
  }
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    if (it->row != kNoRow) CloseCarvedImage(*it);
  }
  open_.clear();
  finished_.clear();
  jpeg_walks_ = 0;
  png_walks_ = 0;
}

void CarvedImageScanner::HandStart(int64_t start) {
  // Every start hands itself to the images open before it, so only the
  // newest ones can still be waiting for a next start.
  for (size_t i = open_.size(); i-- > 0;) {
    OpenImage& image = open_[i];
    if (image.row == kNoRow) continue;  // listed at its end, by its own structure
    if (image.next_start >= 0) break;
    image.next_start = start;
    if (!image.walking) {
      CloseCarvedImage(image);
      Forget(i);
    }
  }
}

void CarvedImageScanner::StartListedImage(CarveKind kind, int64_t start, bool walk,
                                          const uint8_t* block, int64_t block_offset,
                                          int64_t walk_to) {
  HandStart(start);
  const size_t row = list_.AppendCarved(start, Source(), kind);
  ++rows_added_;
  if (start < last_row_start_) out_of_order_ = true;
  last_row_start_ = std::max(last_row_start_, start);
  newest_listed_ = row;

  OpenImage image;
  image.row = row;
  image.start = start;
  image.walking = walk;
  image.kind = kind;
  Open(image, block, block_offset, walk_to);
}

void CarvedImageScanner::StartWalkedImage(CarveKind kind, int64_t start, int64_t walk_to,
                                          const uint8_t* block, int64_t block_offset) {
  OpenImage image;
  image.start = start;
  image.walking = true;
  image.kind = kind;
  image.cut_row = newest_listed_;
  Open(image, block, block_offset, walk_to);
}

void CarvedImageScanner::Open(OpenImage image, const uint8_t* block, int64_t block_offset,
                              int64_t walk_to) {
  image.walked_to = image.start;
  open_.push_back(image);
  if (image.walking) {
    ++(image.kind == CarveKind::kPng ? png_walks_ : jpeg_walks_);
    // The bytes from the start on are in the block or its history.
    BeginWalk(block, block_offset, walk_to);
  }
  LimitWalks();
  ListFinished(image.start);
}

void CarvedImageScanner::ListBmp(int64_t start, int64_t file_size) {
  HandStart(start);
  // A BMP says its own length; the file may end before it, or it may be
  // longer than any carved image.
  const int64_t length = std::min({file_size, kCarveLengthCap, file_length_ - start});
  const size_t row = list_.AppendCarved(start, Source(), CarveKind::kBmp);
  list_.CloseCarved(row, start + length, length, length == file_size);
  ++rows_added_;
  if (start < last_row_start_) out_of_order_ = true;
  last_row_start_ = std::max(last_row_start_, start);
}

void CarvedImageScanner::BeginWalk(const uint8_t* block, int64_t block_offset, int64_t walk_to) {
  if (!Walk(open_.back(), block, block_offset, walk_to)) {
    Settle(open_.size() - 1);
  } else {
    earliest_wake_ = std::min(earliest_wake_, open_.back().wake);
  }
}

void CarvedImageScanner::EndWalk(OpenImage& image) {
  if (!image.walking) return;
  image.walking = false;
  --(image.kind == CarveKind::kPng ? png_walks_ : jpeg_walks_);
}

void CarvedImageScanner::LimitWalks() {
  // The oldest walks are nearly always at the front: each one given up
  // leaves from there.
  const auto stop_oldest = [this](bool png) {
    for (size_t i = 0; i < open_.size(); ++i) {
      if (open_[i].walking && (open_[i].kind == CarveKind::kPng) == png) {
        StopWalking(i);
        return;
      }
    }
  };
  if (jpeg_walks_ > kMaxWalkedImages) stop_oldest(false);
  if (png_walks_ > kMaxWalkedPngs) stop_oldest(true);
}

void CarvedImageScanner::Forget(size_t i) {
  // Open images nearly always leave from one end: the newest when its walk
  // broke at once, the oldest when its walk is over.
  if (i + 1 == open_.size()) {
    open_.pop_back();
  } else if (i == 0) {
    open_.pop_front();
  } else {
    open_.erase(open_.begin() + static_cast<ptrdiff_t>(i));
  }
}

void CarvedImageScanner::CloseCarvedImage(const OpenImage& image) {
  int64_t end = file_length_;
  if (image.next_start >= 0) {
    // One byte short of the next start, as carved rows have always been.
    end = image.next_start - 1;
  }
  const int64_t length = std::min(end - image.start, kCarveLengthCap);
  if (length <= 0) {
    // Two signatures at the very start of the file both start at offset 0:
    // the first image holds nothing. It is the last row, so it can go.
    if (image.row + 1 == list_.size()) {
      list_.RemoveLast();
      --rows_added_;
      return;
    }
  }
  list_.CloseCarved(image.row, end, std::max<int64_t>(length, 0), false);
}

void CarvedImageScanner::CloseCompleteImage(const OpenImage& image) {
  const auto length = static_cast<int64_t>(image.walker.length());
  list_.CloseCarved(image.row, image.start + length, length, true);
}

bool CarvedImageScanner::Walk(OpenImage& image, const uint8_t* block, int64_t block_offset,
                              int64_t to) {
  const int64_t limit = std::min(to, image.start + kCarveLengthCap);
  if (image.kind == CarveKind::kPng) {
    // Every byte goes through the chunks' CRCs: nothing to step over, and
    // no two PNG walks share their bytes.
    if (limit > image.walked_to) {
      const size_t used = image.png.Feed(
          {block + (image.walked_to - block_offset), static_cast<size_t>(limit - image.walked_to)});
      image.walked_to += static_cast<int64_t>(used);
      bytes_walked_ += used;
    }
    image.wake = image.walked_to;
    return image.png.status() == PngWalker::Status::kWalking &&
           image.walked_to - image.start < kCarveLengthCap;
  }
  // Inside a segment the walker only counts bytes: it is fed once the
  // segment's end is in, in one step (dozens of images each inside the
  // segments of the others cost nothing per signature then).
  if (limit < image.wake) return true;
  if (limit > image.walked_to) {
    SharedWalk* same = nullptr;
    for (SharedWalk& walk : shared_) {
      if (walk.from == image.walked_to && walk.limit == limit &&
          walk.before.SameState(image.walker)) {
        same = &walk;
        break;
      }
    }
    if (same != nullptr) {
      image.walker.Follow(same->before, same->after);
      image.walked_to = same->walked_to;
    } else {
      const JpegWalker before = image.walker;
      const int64_t from = image.walked_to;
      const size_t used = image.walker.Feed(
          {block + (image.walked_to - block_offset), static_cast<size_t>(limit - image.walked_to)});
      image.walked_to += static_cast<int64_t>(used);
      bytes_walked_ += used - (image.walker.skipped() - before.skipped());
      if (shared_.size() < kMaxSharedWalks) {
        shared_.push_back(SharedWalk{from, limit, image.walked_to, before, image.walker});
      }
    }
  }
  image.wake = std::min<int64_t>(image.walked_to + image.walker.pending_skip(),
                                 image.start + kCarveLengthCap);
  return image.walker.status() == JpegWalker::Status::kWalking &&
         image.walked_to - image.start < kCarveLengthCap;
}

bool CarvedImageScanner::Settle(size_t i) {
  OpenImage& image = open_[i];
  const bool complete = image.kind == CarveKind::kPng
                            ? image.png.status() == PngWalker::Status::kComplete
                            : image.walker.status() == JpegWalker::Status::kComplete;
  if (!complete) return StopWalking(i);
  EndWalk(image);
  if (image.row != kNoRow) {
    CloseCompleteImage(image);
  } else {
    const uint64_t length =
        image.kind == CarveKind::kPng ? image.png.length() : image.walker.length();
    finished_.push_back(Finished{image.start, static_cast<int64_t>(length), image.walked_to, true,
                                 image.kind, image.cut_row});
  }
  Forget(i);
  return true;
}

bool CarvedImageScanner::StopWalking(size_t i) {
  OpenImage& image = open_[i];
  EndWalk(image);
  if (image.row == kNoRow) {
    // A JPEG without its end marker is not listed; a PNG is, up to the end
    // of its last chunk whose CRC matched.
    if (image.kind == CarveKind::kPng && image.png.checked_length() > 0) {
      finished_.push_back(Finished{image.start, static_cast<int64_t>(image.png.checked_length()),
                                   image.walked_to, false, image.kind, image.cut_row});
    }
    Forget(i);
    return true;
  }
  if (image.next_start < 0) return false;  // waits for the next start or the end of the file
  CloseCarvedImage(image);
  Forget(i);
  return true;
}

void CarvedImageScanner::ListFinished(int64_t upto) {
  size_t kept = 0;
  for (size_t k = 0; k < finished_.size(); ++k) {
    const Finished f = finished_[k];
    if (f.found_at > upto) {
      finished_[kept++] = f;  // found by a walk that ran ahead: listed once the scan is there
      continue;
    }
    if (AtRowLimit(f.found_at)) return;  // drops the rest
    const size_t row = list_.AppendCarved(f.start, Source(), f.kind);
    list_.CloseCarved(row, f.start + f.length, f.length, f.complete);
    ++rows_added_;
    if (f.start < last_row_start_) out_of_order_ = true;
    last_row_start_ = std::max(last_row_start_, f.start);
    CutAt(f.cut_row, f.start);
  }
  finished_.resize(kept);
}

void CarvedImageScanner::CutAt(size_t row, int64_t start) {
  if (row == kNoRow) return;
  for (size_t i = 0; i < open_.size(); ++i) {
    OpenImage& image = open_[i];
    if (image.row != row) continue;
    if (image.start + 1 >= start) return;
    if (image.next_start < 0 || image.next_start > start) {
      image.next_start = start;
      if (!image.walking) {
        CloseCarvedImage(image);
        Forget(i);
      }
    }
    return;
  }
  // Closed already: complete, or by the signature rule at a later start or
  // the end of the file.
  const CarvedEntry* entry = list_.CarvedEntryAt(row);
  if (entry == nullptr || !ListedAtStart(entry->kind) || entry->complete) return;
  if (entry->start + 1 >= start || entry->end < start) return;
  const int64_t end = start - 1;
  list_.CloseCarved(row, end, std::min(end - entry->start, kCarveLengthCap), false);
}

void CarvedImageScanner::FeedWalkers(const uint8_t* block, int64_t block_offset, int64_t to) {
  // Every walker is inside a segment that ends past `to`: nothing to do.
  if (to < earliest_wake_) return;
  shared_.clear();
  earliest_wake_ = INT64_MAX;
  for (size_t i = 0; i < open_.size();) {
    OpenImage& image = open_[i];
    if (!image.walking) {
      ++i;
    } else if (Walk(image, block, block_offset, to)) {
      earliest_wake_ = std::min(earliest_wake_, image.wake);
      ++i;
    } else if (!Settle(i)) {
      ++i;
    }
  }
  ListFinished(to);
}

void CarvedImageScanner::CloseAtEnd(int64_t file_end) {
  file_length_ = file_end;
  // Latest first, so a row that ends up empty is the last row when removed.
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
    if (it->row != kNoRow) CloseCarvedImage(*it);
  }
  // A PNG that the file ends inside is listed up to the end; a JPEG whose
  // end marker never came is not.
  for (const OpenImage& image : open_) {
    if (image.row != kNoRow || image.kind != CarveKind::kPng) continue;
    const int64_t length = std::min(file_end - image.start, kCarveLengthCap);
    finished_.push_back(Finished{image.start, length, file_end, false, image.kind, image.cut_row});
  }
  open_.clear();
  jpeg_walks_ = 0;
  png_walks_ = 0;
  ListFinished(INT64_MAX);
  if (out_of_order_) list_.SortCarvedByStart(first_row_);
}

}  // namespace glintvane
