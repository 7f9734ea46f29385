// Little-endian fields read out of a span of bytes. Each says when the bytes
// are not there (nullopt), checked without `at + n` overflowing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace glintvane {

// The n-byte little-endian value at `at`, n being 1 to 8.
inline std::optional<uint64_t> LeAt(std::span<const uint8_t> bytes, size_t at, size_t n) {
  if (n == 0 || n > 8 || at > bytes.size() || bytes.size() - at < n) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = 0; i < n; ++i) value |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
  return value;
}

inline std::optional<uint16_t> Le16At(std::span<const uint8_t> bytes, size_t at) {
  const auto value = LeAt(bytes, at, 2);
  return value ? std::optional<uint16_t>(static_cast<uint16_t>(*value)) : std::nullopt;
}

inline std::optional<uint32_t> Le32At(std::span<const uint8_t> bytes, size_t at) {
  const auto value = LeAt(bytes, at, 4);
  return value ? std::optional<uint32_t>(static_cast<uint32_t>(*value)) : std::nullopt;
}

inline std::optional<uint64_t> Le64At(std::span<const uint8_t> bytes, size_t at) {
  return LeAt(bytes, at, 8);
}

}  // namespace glintvane
