// Integer fields of a span of bytes, read at an offset: the one place where
// the core turns the bytes of a file into numbers. A field that does not lie
// wholly inside the span is not there, and says so. The check never adds the
// width to the offset, so an offset near 2^64 cannot wrap round into the span.
//
// Little-endian, as every Windows structure read here; the big-endian forms
// serve the PNG and JPEG headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

namespace glintvane {

namespace byte_fields {

// The bytes at p as one number; written out in full, so that the compiler
// makes one load of it (and one byte swap for big-endian fields).
template <typename Unsigned, bool kBigEndian, size_t... kIndex>
constexpr Unsigned Assemble(const uint8_t* p, std::index_sequence<kIndex...>) {
  constexpr size_t kWidth = sizeof...(kIndex);
  return static_cast<Unsigned>(
      ((static_cast<uint64_t>(p[kIndex]) << (8 * (kBigEndian ? kWidth - 1 - kIndex : kIndex))) |
       ...));
}

template <typename T, bool kBigEndian>
constexpr std::optional<T> Read(std::span<const uint8_t> bytes, uint64_t at) {
  static_assert(std::is_integral_v<T> && sizeof(T) <= 8);
  using Unsigned = std::make_unsigned_t<T>;
  // One comparison with a bound that does not depend on `at`, so that a loop
  // over the fields of a block makes it once a field and the rest once.
  if (bytes.size() < sizeof(T) || at > bytes.size() - sizeof(T)) return std::nullopt;
  return static_cast<T>(
      Assemble<Unsigned, kBigEndian>(bytes.data() + at, std::make_index_sequence<sizeof(T)>()));
}

}  // namespace byte_fields

// The field of type T (uint8_t to uint64_t, or a signed type, taken as two's
// complement) at `at`; nullopt when it is not wholly inside `bytes`.
template <typename T>
constexpr std::optional<T> ReadLe(std::span<const uint8_t> bytes, uint64_t at) {
  return byte_fields::Read<T, false>(bytes, at);
}
template <typename T>
constexpr std::optional<T> ReadBe(std::span<const uint8_t> bytes, uint64_t at) {
  return byte_fields::Read<T, true>(bytes, at);
}

// The fields of one block of bytes, for a decoder that reads several in a
// row: a field that is not wholly there reads as 0 and leaves whole() false,
// so the decoder asks once, after the last field, instead of at every one.
// Keeps no position: every read names its offset.
class ByteFields {
 public:
  constexpr explicit ByteFields(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  template <typename T>
  T Le(uint64_t at) {
    return Take(ReadLe<T>(bytes_, at));
  }
  template <typename T>
  T Be(uint64_t at) {
    return Take(ReadBe<T>(bytes_, at));
  }

  // False once a field read was not wholly inside the bytes.
  bool whole() const { return whole_; }

 private:
  template <typename T>
  T Take(std::optional<T> value) {
    if (value) return *value;
    whole_ = false;
    return 0;
  }

  std::span<const uint8_t> bytes_;
  bool whole_ = true;
};

}  // namespace glintvane
