#include "carve/image_signatures.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace glintvane {
namespace {

bool Matches(const uint8_t* p, const SignatureSet& set) {
  if (set.jfif && p[0] == 'J' && p[1] == 'F' && p[4] == 0) return true;
  for (size_t k = 0; k < set.pair_count; ++k) {
    if (p[0] == set.pairs[k][0] && p[1] == set.pairs[k][1]) return true;
  }
  return false;
}

void FindTail(const uint8_t* bytes, size_t from, size_t count, const SignatureSet& set,
              std::vector<size_t>& found) {
  for (size_t i = from; i < count; ++i) {
    if (Matches(bytes + i, set)) found.push_back(i);
  }
}

#if defined(__SSE2__)

// The set as vectors of each pattern's bytes. Unused pair slots repeat the
// first pair, so every slot can be tested without a branch; with no pair
// at all they repeat JFIF's two letters, whose lanes the JFIF test then
// narrows again.
struct Patterns {
  uint8_t first[kMaxSignaturePairs];
  uint8_t second[kMaxSignaturePairs];
  bool jfif;
  bool pairs;
};

Patterns Spread(const SignatureSet& set) {
  Patterns p{};
  p.jfif = set.jfif;
  p.pairs = set.pair_count > 0;
  for (size_t k = 0; k < kMaxSignaturePairs; ++k) {
    const size_t from = k < set.pair_count ? k : 0;
    p.first[k] = set.pair_count > 0 ? set.pairs[from][0] : 'J';
    p.second[k] = set.pair_count > 0 ? set.pairs[from][1] : 'F';
  }
  return p;
}

inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline __m128i Splat(uint8_t b) {
  return _mm_set1_epi8(static_cast<char>(b));
}

inline __m128i Lanes(const uint8_t* p, const Patterns& s) {
  const __m128i b0 = Load(p);
  const __m128i b1 = Load(p + 1);
  __m128i any = _mm_setzero_si128();
  if (s.pairs) {
    for (size_t k = 0; k < kMaxSignaturePairs; ++k) {
      any = _mm_or_si128(any, _mm_and_si128(_mm_cmpeq_epi8(b0, Splat(s.first[k])),
                                            _mm_cmpeq_epi8(b1, Splat(s.second[k]))));
    }
  }
  if (s.jfif) {
    const __m128i jfif =
        _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi8(b0, Splat('J')), _mm_cmpeq_epi8(b1, Splat('F'))),
                      _mm_cmpeq_epi8(Load(p + 4), _mm_setzero_si128()));
    any = _mm_or_si128(any, jfif);
  }
  return any;
}

void FindSse2(const uint8_t* bytes, size_t count, const SignatureSet& set,
              std::vector<size_t>& found) {
  const Patterns s = Spread(set);
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    auto m = static_cast<uint32_t>(_mm_movemask_epi8(Lanes(bytes + i, s)));
    while (m != 0) {
      found.push_back(i + static_cast<size_t>(__builtin_ctz(m)));
      m &= m - 1;
    }
  }
  FindTail(bytes, i, count, set, found);
}

#if defined(__GNUC__) && defined(__x86_64__)
#define GLINTVANE_SIGNATURES_AVX2 1

// Each pattern's first byte has a low nibble of its own (SignatureSet
// keeps it so), so one table lookup by that nibble says which pattern a byte
// could start and which byte must follow it: two lookups and two compares
// test every pattern at once, however many there are.
struct Tables {
  alignas(32) uint8_t first[32];
  alignas(32) uint8_t second[32];
};

Tables MakeTables(const SignatureSet& set) {
  Tables t{};
  for (int n = 0; n < 16; ++n) {
    // A byte whose low nibble is not n: never equal to a byte looked up by n.
    t.first[n] = static_cast<uint8_t>((n + 1) & 0x0F);
    t.second[n] = 0;
  }
  const auto put = [&t](uint8_t a, uint8_t b) {
    t.first[a & 0x0F] = a;
    t.second[a & 0x0F] = b;
  };
  if (set.jfif) put('J', 'F');
  for (size_t k = 0; k < set.pair_count; ++k) put(set.pairs[k][0], set.pairs[k][1]);
  for (int n = 0; n < 16; ++n) {  // the same table in both 128-bit lanes
    t.first[n + 16] = t.first[n];
    t.second[n + 16] = t.second[n];
  }
  return t;
}

__attribute__((target("avx2"))) inline __m256i Load256(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <bool kJfif>
__attribute__((target("avx2"))) inline __m256i Lanes256(const uint8_t* p, __m256i first,
                                                        __m256i second) {
  const __m256i b0 = Load256(p);
  const __m256i low = _mm256_and_si256(b0, _mm256_set1_epi8(0x0F));
  __m256i lanes =
      _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(first, low), b0),
                       _mm256_cmpeq_epi8(_mm256_shuffle_epi8(second, low), Load256(p + 1)));
  if constexpr (kJfif) {
    // "JF" counts only with a zero byte four places on.
    const __m256i letter = _mm256_cmpeq_epi8(b0, _mm256_set1_epi8('J'));
    const __m256i zero = _mm256_cmpeq_epi8(Load256(p + 4), _mm256_setzero_si256());
    lanes = _mm256_andnot_si256(_mm256_andnot_si256(zero, letter), lanes);
  }
  return lanes;
}

template <bool kJfif>
__attribute__((target("avx2"))) void FindAvx2(const uint8_t* bytes, size_t count,
                                              const SignatureSet& set, std::vector<size_t>& found) {
  const Tables t = MakeTables(set);
  const __m256i first = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.first));
  const __m256i second = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.second));
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m256i c0 = Lanes256<kJfif>(bytes + i, first, second);
    const __m256i c1 = Lanes256<kJfif>(bytes + i + 32, first, second);
    if (_mm256_testz_si256(_mm256_or_si256(c0, c1), _mm256_or_si256(c0, c1))) continue;
    uint64_t m = static_cast<uint32_t>(_mm256_movemask_epi8(c0)) |
                 (uint64_t{static_cast<uint32_t>(_mm256_movemask_epi8(c1))} << 32);
    while (m != 0) {
      found.push_back(i + static_cast<size_t>(__builtin_ctzll(m)));
      m &= m - 1;
    }
  }
  const size_t before = found.size();
  FindSse2(bytes + i, count - i, set, found);
  for (size_t f = before; f < found.size(); ++f) found[f] += i;
}
#endif

#endif

}  // namespace

bool SignatureSet::AddPair(uint8_t first, uint8_t second) {
  if (pair_count == kMaxSignaturePairs || (first & 0x0F) == ('J' & 0x0F)) return false;
  for (size_t k = 0; k < pair_count; ++k) {
    if ((pairs[k][0] & 0x0F) == (first & 0x0F)) return false;
  }
  pairs[pair_count][0] = first;
  pairs[pair_count][1] = second;
  ++pair_count;
  return true;
}

void FindImageSignaturesScalar(const uint8_t* bytes, size_t count, const SignatureSet& set,
                               std::vector<size_t>& found) {
  FindTail(bytes, 0, count, set, found);
}

#if defined(__SSE2__)

void FindImageSignaturesSse2(const uint8_t* bytes, size_t count, const SignatureSet& set,
                             std::vector<size_t>& found) {
  FindSse2(bytes, count, set, found);
}

void FindImageSignatures(const uint8_t* bytes, size_t count, const SignatureSet& set,
                         std::vector<size_t>& found) {
#if defined(GLINTVANE_SIGNATURES_AVX2)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    if (set.jfif) {
      FindAvx2<true>(bytes, count, set, found);
    } else {
      FindAvx2<false>(bytes, count, set, found);
    }
    return;
  }
#endif
  FindSse2(bytes, count, set, found);
}

#else

void FindImageSignaturesSse2(const uint8_t* bytes, size_t count, const SignatureSet& set,
                             std::vector<size_t>& found) {
  FindTail(bytes, 0, count, set, found);
}

void FindImageSignatures(const uint8_t* bytes, size_t count, const SignatureSet& set,
                         std::vector<size_t>& found) {
  FindTail(bytes, 0, count, set, found);
}

#endif

}  // namespace glintvane
