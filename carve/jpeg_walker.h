// Finding where a JPEG ends by following its own structure: marker segments
// from FF D8 (their lengths step over embedded Exif and JFXX thumbnails), the
// entropy-coded data of each scan, and the first FF D9 that is a real marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace glintvane {

// A streaming walker: bytes are fed in order, in pieces of any size, so the
// carving scan can follow several images in the one sequential pass without
// reading anything twice.
class JpegWalker {
 public:
  enum class Status : uint8_t {
    kWalking,   // no end marker yet; feed more bytes
    kComplete,  // the end marker was read; length() is the image's byte count
    kBroken,    // the bytes stopped being a JPEG before an end marker
  };

  // Feeds the bytes that follow the ones fed before. Returns how many were
  // used: all of them while walking, fewer once the walk has ended (the end
  // marker's last byte is the last one used; a broken walk stops before the
  // offending byte).
  size_t Feed(std::span<const uint8_t> bytes);

  Status status() const { return status_; }

  // Bytes the walker will step over without looking at them (the rest of a
  // marker segment): feeding fewer cannot change its status.
  uint32_t pending_skip() const { return state_ == State::kSkip ? skip_ : 0; }

  // True when both walkers are at the same point of the same structure:
  // from here on the same bytes take them the same way. Only the count of
  // bytes used may differ.
  bool SameState(const JpegWalker& other) const {
    return status_ == other.status_ && state_ == other.state_ && marker_ == other.marker_ &&
           length_high_ == other.length_high_ && seen_frame_ == other.seen_frame_ &&
           seen_scan_ == other.seen_scan_ && skip_ == other.skip_;
  }
  // Takes the step that `model` took from `before` (a walker in this one's
  // state) to where it is now, without reading the bytes again.
  void Follow(const JpegWalker& before, const JpegWalker& model) {
    const uint64_t used = used_ + (model.used_ - before.used_);
    const uint64_t skipped = skipped_ + (model.skipped_ - before.skipped_);
    *this = model;
    used_ = used;
    skipped_ = skipped;
  }
  // Bytes used so far, counted from the FF of FF D8: the image length once
  // complete.
  uint64_t length() const { return used_; }
  // Of them, the bytes stepped over inside segments without being looked at.
  uint64_t skipped() const { return skipped_; }

 private:
  enum class State : uint8_t {
    kSoiFf,       // expecting the FF of the start-of-image marker
    kSoiD8,       // expecting its D8
    kMarkerFf,    // expecting the FF that introduces the next marker
    kMarkerCode,  // after FF: a code, or more FF fill bytes
    kLengthHigh,  // the segment length, high byte
    kLengthLow,   // and low byte
    kSkip,        // inside a segment's parameters
    kEntropy,     // inside a scan's entropy-coded data
    kEntropyFf,   // after FF inside entropy-coded data
  };

  // Acts on one marker code read after FF (outside entropy-coded data, or as
  // the marker that ends a scan). Returns false when the walk breaks.
  bool OnMarker(uint8_t code);
  // Acts on one byte outside the runs that Feed steps over. Returns false
  // when the byte breaks the walk.
  bool Step(uint8_t b);
  State AfterSegment() const {
    return marker_ == kStartOfScan ? State::kEntropy : State::kMarkerFf;
  }
  static constexpr uint8_t kStartOfScan = 0xDA;

  Status status_ = Status::kWalking;
  State state_ = State::kSoiFf;
  uint8_t marker_ = 0;       // code of the segment being read
  uint8_t length_high_ = 0;  // high byte of its length
  bool seen_frame_ = false;  // a start-of-frame segment was read
  bool seen_scan_ = false;   // a scan was read
  uint32_t skip_ = 0;        // parameter bytes of the segment still to step over
  uint64_t used_ = 0;
  uint64_t skipped_ = 0;
};

struct JpegWalkResult {
  JpegWalker::Status status = JpegWalker::Status::kWalking;  // kWalking: bytes ran out
  uint64_t length = 0;  // the image length when complete; the bytes used otherwise
};

// Walks one JPEG that starts at bytes[0].
JpegWalkResult WalkJpeg(std::span<const uint8_t> bytes);

}  // namespace glintvane
