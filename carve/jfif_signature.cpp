#include "carve/jfif_signature.h"

#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace glintvane {
namespace {

// The bytes after the "J" that a candidate must still show.
bool RestMatches(const uint8_t* j) {
  return std::memcmp(j + 1, kJfifSignature.data() + 1, 4) == 0;
}

void FindTail(const uint8_t* bytes, size_t from, size_t count, std::vector<size_t>& found) {
  for (size_t i = from; i < count; ++i) {
    if (bytes[i] == 'J' && RestMatches(bytes + i)) found.push_back(i);
  }
}

}  // namespace

void FindJfifSignaturesScalar(const uint8_t* bytes, size_t count, std::vector<size_t>& found) {
  FindTail(bytes, 0, count, found);
}

void FindJfifSignaturesWords(const uint8_t* bytes, size_t count, std::vector<size_t>& found) {
  // Eight lanes in a 64-bit word. The zero-byte test flags every zero byte
  // (and at worst a 01 byte above one), so a word with no flag in both tests
  // holds no signature; a flagged word is checked byte by byte.
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighs = 0x8080808080808080ull;
  const auto zero_bytes = [](uint64_t v) { return (v - kOnes) & ~v & kHighs; };
  size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    uint64_t word = 0;
    uint64_t later = 0;
    std::memcpy(&word, bytes + i, 8);
    std::memcpy(&later, bytes + i + 4, 8);
    if ((zero_bytes(word ^ (kOnes * 'J')) & zero_bytes(later)) == 0) continue;
    for (size_t k = i; k < i + 8; ++k) {
      if (bytes[k] == 'J' && RestMatches(bytes + k)) found.push_back(k);
    }
  }
  FindTail(bytes, i, count, found);
}

#if defined(__SSE2__)

namespace {

inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Lanes where a "J" has an "F" after it and a zero byte four places on: three
// loads and three compares per 16 bytes. Files dense in "J" (text, UTF-16
// names) are no slower than any other, because the other two bytes rule
// nearly every "J" out at once, where a memchr for "J" would stop at each.
inline __m128i Candidates(const uint8_t* p) {
  const __m128i letter = _mm_cmpeq_epi8(Load(p), _mm_set1_epi8('J'));
  const __m128i second = _mm_cmpeq_epi8(Load(p + 1), _mm_set1_epi8('F'));
  const __m128i zero = _mm_cmpeq_epi8(Load(p + 4), _mm_setzero_si128());
  return _mm_and_si128(_mm_and_si128(letter, second), zero);
}

inline uint64_t Mask(__m128i lanes) {
  return static_cast<uint32_t>(_mm_movemask_epi8(lanes));
}

void FindSse2(const uint8_t* bytes, size_t count, std::vector<size_t>& found) {
  // Loads reach 4 bytes past each 16-byte group, which the caller allows for
  // the last group and the data itself covers for the others.
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m128i c0 = Candidates(bytes + i);
    const __m128i c1 = Candidates(bytes + i + 16);
    const __m128i c2 = Candidates(bytes + i + 32);
    const __m128i c3 = Candidates(bytes + i + 48);
    const __m128i any = _mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3));
    if (_mm_movemask_epi8(any) == 0) continue;
    uint64_t m = Mask(c0) | (Mask(c1) << 16) | (Mask(c2) << 32) | (Mask(c3) << 48);
    while (m != 0) {
      const size_t k = i + static_cast<size_t>(__builtin_ctzll(m));
      if (RestMatches(bytes + k)) found.push_back(k);
      m &= m - 1;
    }
  }
  for (; i + 16 <= count; i += 16) {
    uint64_t m = Mask(Candidates(bytes + i));
    while (m != 0) {
      const size_t k = i + static_cast<size_t>(__builtin_ctzll(m));
      if (RestMatches(bytes + k)) found.push_back(k);
      m &= m - 1;
    }
  }
  FindTail(bytes, i, count, found);
}

#if defined(__GNUC__) && defined(__x86_64__)
#define GLINTVANE_CARVE_AVX2 1

__attribute__((target("avx2"))) inline __m256i Load256(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline __m256i Candidates256(const uint8_t* p) {
  const __m256i letter = _mm256_cmpeq_epi8(Load256(p), _mm256_set1_epi8('J'));
  const __m256i second = _mm256_cmpeq_epi8(Load256(p + 1), _mm256_set1_epi8('F'));
  const __m256i zero = _mm256_cmpeq_epi8(Load256(p + 4), _mm256_setzero_si256());
  return _mm256_and_si256(_mm256_and_si256(letter, second), zero);
}

// The same test 32 bytes at a time, where the processor has AVX2: half the
// instructions, so the search keeps up with the copy out of the page cache.
__attribute__((target("avx2"))) void FindAvx2(const uint8_t* bytes, size_t count,
                                              std::vector<size_t>& found) {
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m256i c0 = Candidates256(bytes + i);
    const __m256i c1 = Candidates256(bytes + i + 32);
    if (_mm256_movemask_epi8(_mm256_or_si256(c0, c1)) == 0) continue;
    uint64_t m = static_cast<uint32_t>(_mm256_movemask_epi8(c0)) |
                 (uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(c1))} << 32);
    while (m != 0) {
      const size_t k = i + static_cast<size_t>(__builtin_ctzll(m));
      if (RestMatches(bytes + k)) found.push_back(k);
      m &= m - 1;
    }
  }
  const size_t before = found.size();
  FindSse2(bytes + i, count - i, found);
  for (size_t f = before; f < found.size(); ++f) found[f] += i;
}
#endif

using FindFn = void (*)(const uint8_t*, size_t, std::vector<size_t>&);

FindFn ChooseSearch() {
#if defined(GLINTVANE_CARVE_AVX2)
  if (__builtin_cpu_supports("avx2")) return FindAvx2;
#endif
  return FindSse2;
}

}  // namespace

void FindJfifSignatures(const uint8_t* bytes, size_t count, std::vector<size_t>& found) {
  static const FindFn search = ChooseSearch();
  search(bytes, count, found);
}

void FindJfifSignaturesSse2(const uint8_t* bytes, size_t count, std::vector<size_t>& found) {
  FindSse2(bytes, count, found);
}

#else

void FindJfifSignatures(const uint8_t* bytes, size_t count, std::vector<size_t>& found) {
  FindJfifSignaturesWords(bytes, count, found);
}

void FindJfifSignaturesSse2(const uint8_t* bytes, size_t count, std::vector<size_t>& found) {
  FindJfifSignaturesWords(bytes, count, found);
}

#endif

}  // namespace glintvane
