#include "carve/jpeg_walker.h"

#include <algorithm>
#include <cstring>

namespace glintvane {
namespace {

// Marker codes (ITU-T T.81, table B.1).
constexpr uint8_t kSoi = 0xD8;
constexpr uint8_t kEoi = 0xD9;
constexpr uint8_t kSos = 0xDA;
constexpr uint8_t kTem = 0x01;
constexpr uint8_t kDht = 0xC4;
constexpr uint8_t kJpgReserved = 0xC8;
constexpr uint8_t kDac = 0xCC;

bool IsRestart(uint8_t code) {
  return code >= 0xD0 && code <= 0xD7;
}

// C0 to CF are the start-of-frame codes, less DHT, JPG and DAC.
bool IsStartOfFrame(uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != kDht && code != kJpgReserved && code != kDac;
}

}  // namespace

bool JpegWalker::OnMarker(uint8_t code) {
  if (code == 0x00 || code == kSoi) return false;  // no marker; a second image start
  if (code == kEoi) {
    // An end marker before any scan closes no picture: such bytes are not a
    // whole image, whatever follows.
    if (!seen_scan_) return false;
    status_ = Status::kComplete;
    return true;
  }
  if (IsRestart(code) || code == kTem) {
    state_ = State::kMarkerFf;  // markers without a length
    return true;
  }
  if (code == kSos && !seen_frame_) return false;  // a scan needs its frame header
  if (IsStartOfFrame(code)) seen_frame_ = true;
  if (code == kSos) seen_scan_ = true;
  marker_ = code;
  state_ = State::kLengthHigh;
  return true;
}

bool JpegWalker::Step(uint8_t b) {
  switch (state_) {
    case State::kSoiFf:
      state_ = State::kSoiD8;
      return b == 0xFF;
    case State::kSoiD8:
      state_ = State::kMarkerFf;
      return b == kSoi;
    case State::kMarkerFf:
      state_ = State::kMarkerCode;
      return b == 0xFF;
    case State::kMarkerCode:
      return b == 0xFF || OnMarker(b);  // fill bytes may precede any marker
    case State::kEntropyFf:
      if (b == 0x00 || IsRestart(b)) {
        state_ = State::kEntropy;  // a stuffed FF, or a restart between intervals
        return true;
      }
      // Otherwise the scan is over: the end marker, or the tables and header
      // of the next scan of a progressive image.
      return b == 0xFF || OnMarker(b);
    case State::kLengthHigh:
      length_high_ = b;
      state_ = State::kLengthLow;
      return true;
    case State::kLengthLow: {
      const uint32_t length = (static_cast<uint32_t>(length_high_) << 8) | b;
      if (length < 2) return false;  // the length counts its own two bytes
      skip_ = length - 2;
      state_ = skip_ > 0 ? State::kSkip : AfterSegment();
      return true;
    }
    case State::kSkip:
    case State::kEntropy:
      break;  // consumed in runs by Feed
  }
  return true;
}

size_t JpegWalker::Feed(std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n && status_ == Status::kWalking) {
    if (state_ == State::kSkip) {
      const size_t step = std::min<size_t>(skip_, n - i);
      i += step;
      skipped_ += step;
      skip_ -= static_cast<uint32_t>(step);
      if (skip_ == 0) state_ = AfterSegment();
    } else if (state_ == State::kEntropy) {
      // Entropy-coded data is most of an image: find its next FF quickly,
      // and step over stuffed FF 00 pairs and restart markers here, without
      // a search call each (data made of nothing else must not crawl).
      size_t k = i;
      for (;;) {
        if (p[k] != 0xFF) {
          const void* ff = std::memchr(p + k, 0xFF, n - k);
          if (ff == nullptr) {
            k = n;
            break;
          }
          k = static_cast<size_t>(static_cast<const uint8_t*>(ff) - p);
        }
        if (k + 1 < n && (p[k + 1] == 0x00 || IsRestart(p[k + 1]))) {
          k += 2;
          if (k >= n) break;
          continue;
        }
        ++k;  // the FF; what follows it is read in kEntropyFf
        state_ = State::kEntropyFf;
        break;
      }
      i = k;
    } else if (Step(p[i])) {
      ++i;
    } else {
      status_ = Status::kBroken;  // the offending byte is not used
    }
  }
  used_ += i;
  return i;
}

JpegWalkResult WalkJpeg(std::span<const uint8_t> bytes) {
  JpegWalker walker;
  walker.Feed(bytes);
  return {walker.status(), walker.length()};
}

}  // namespace glintvane
