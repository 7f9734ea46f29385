#include "carve/carved_images.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "carve/jfif_signature.h"

namespace glintvane {

CarvedImageScanner::CarvedImageScanner(ThumbnailList& list, std::string path, int64_t file_length,
                                       int64_t first_offset, size_t row_limit)
    : list_(list),
      path_(std::move(path)),
      file_length_(file_length),
      next_candidate_(first_offset),
      row_limit_(row_limit) {}

void CarvedImageScanner::DetectImageSignatures(const uint8_t* block, size_t count,
                                               int64_t block_offset) {
  if (stopped()) return;
  const int64_t end = block_offset + static_cast<int64_t>(count);
  // A "J" is tested once the 4 bytes after it are in. One in the last 9 bytes
  // of the file is never reported: carved files have always ended that way,
  // and no JPEG fits in 9 bytes anyway.
  const int64_t from = next_candidate_;
  const int64_t to = std::min(end - 4, file_length_ - 9);
  found_.clear();
  if (to > from) {
    // from >= block_offset - 4: the first candidates may lie in the history.
    FindJfifSignatures(block + (from - block_offset), static_cast<size_t>(to - from), found_);
    next_candidate_ = to;
  }
  int64_t fed_to = block_offset;
  for (const size_t index : found_) {
    const int64_t signature = from + static_cast<int64_t>(index);
    // Walks reach the new signature first, so images that end before it are
    // settled before it opens another.
    if (signature > fed_to) {
      FeedWalkers(block, block_offset, signature);
      fed_to = signature;
    }
    if (rows_added_ >= row_limit_) {
      // The images still open end where this one would have started, as
      // they would have without the limit unless their own end came first.
      stopped_at_ = std::max<int64_t>(signature - kJfifSignatureLead, 0);
      for (OpenImage& image : open_) {
        if (image.next_start < 0) image.next_start = stopped_at_;
      }
      for (auto it = open_.rbegin(); it != open_.rend(); ++it) CloseCarvedImage(*it);
      open_.clear();
      return;
    }
    StartCarvedImage(signature, block, block_offset, fed_to);
  }
  FeedWalkers(block, block_offset, end);
}

void CarvedImageScanner::StartCarvedImage(int64_t signature, const uint8_t* block,
                                          int64_t block_offset, int64_t fed_to) {
  const int64_t lead = signature - kJfifSignatureLead;
  // A signature less than 6 bytes into the file starts its image at the
  // file's first byte: there is nothing before it.
  const int64_t start = std::max<int64_t>(lead, 0);
  // Every start hands itself to the images open before it, so only the
  // newest ones can still be waiting for a next start.
  for (size_t i = open_.size(); i-- > 0;) {
    OpenImage& image = open_[i];
    if (image.next_start >= 0) break;
    image.next_start = start;
    if (!image.walking) {
      CloseCarvedImage(image);
      Forget(i);
    }
  }

  if (!source_added_) {
    source_ = list_.AddSource(path_);
    source_added_ = true;
  }
  const size_t row = list_.AppendCarved(start, source_);
  ++rows_added_;

  OpenImage image;
  image.row = row;
  image.start = start;
  image.walked_to = start;
  // When the FF D8 would lie before the file, the image has no structure to
  // follow.
  image.walking = lead >= 0;
  // Bare signatures (no FF D8 before them) are most of what a hostile file
  // holds: such a walk would break on its first byte, so none is begun.
  if (image.walking) {
    const uint8_t* soi = block + (lead - block_offset);
    image.walking = soi[0] == 0xFF && soi[1] == 0xD8;
  }
  open_.push_back(image);
  if (image.walking) {
    // The 6 bytes before the "J" were passed already; they are in the block
    // or its history.
    if (!Walk(open_.back(), block, block_offset, fed_to)) {
      Settle(open_.size() - 1);
    } else {
      earliest_wake_ = std::min(earliest_wake_, open_.back().wake);
    }
  }

  size_t walking = 0;
  for (const OpenImage& open : open_) walking += open.walking ? 1 : 0;
  if (walking > kMaxWalkedImages) {
    for (size_t i = 0; i < open_.size(); ++i) {
      if (open_[i].walking) {
        StopWalking(i);
        break;
      }
    }
  }
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
      bytes_walked_ += used;
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
  if (open_[i].walker.status() == JpegWalker::Status::kComplete) {
    CloseCompleteImage(open_[i]);
    Forget(i);
    return true;
  }
  return StopWalking(i);
}

bool CarvedImageScanner::StopWalking(size_t i) {
  OpenImage& image = open_[i];
  image.walking = false;
  if (image.next_start < 0) return false;  // waits for the next start or the end of the file
  CloseCarvedImage(image);
  Forget(i);
  return true;
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
}

void CarvedImageScanner::CloseAtEnd(int64_t file_end) {
  file_length_ = file_end;
  // Latest first, so a row that ends up empty is the last row when removed.
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) CloseCarvedImage(*it);
  open_.clear();
}

}  // namespace glintvane
