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

__attribute__((target("avx2"))) inline __m256i Load256(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline __m256i Splat256(uint8_t b) {
  return _mm256_set1_epi8(static_cast<char>(b));
}

// The pair tests are unrolled for all slots: the set is fixed for a scan,
// and a loop with a branch per slot would cost more than the compares.
__attribute__((target("avx2"))) void FindAvx2(const uint8_t* bytes, size_t count,
                                              const SignatureSet& set, std::vector<size_t>& found) {
  const Patterns s = Spread(set);
  const __m256i f0 = Splat256(s.first[0]), f1 = Splat256(s.first[1]), f2 = Splat256(s.first[2]),
                f3 = Splat256(s.first[3]);
  const __m256i g0 = Splat256(s.second[0]), g1 = Splat256(s.second[1]), g2 = Splat256(s.second[2]),
                g3 = Splat256(s.second[3]);
  // Without JFIF the test runs on a pair's bytes and is masked off.
  const __m256i j = s.jfif ? Splat256('J') : Splat256(s.first[0]);
  const __m256i jf = s.jfif ? Splat256('F') : Splat256(s.second[0]);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i jfif_on = s.jfif ? _mm256_set1_epi8(-1) : zero;
  size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    const uint8_t* p = bytes + i;
    const __m256i b0 = Load256(p);
    const __m256i b1 = Load256(p + 1);
    __m256i any =
        _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(b0, j), _mm256_cmpeq_epi8(b1, jf)),
                         _mm256_and_si256(_mm256_cmpeq_epi8(Load256(p + 4), zero), jfif_on));
    if (s.pairs) {
      any = _mm256_or_si256(
          any, _mm256_or_si256(
                   _mm256_or_si256(
                       _mm256_and_si256(_mm256_cmpeq_epi8(b0, f0), _mm256_cmpeq_epi8(b1, g0)),
                       _mm256_and_si256(_mm256_cmpeq_epi8(b0, f1), _mm256_cmpeq_epi8(b1, g1))),
                   _mm256_or_si256(
                       _mm256_and_si256(_mm256_cmpeq_epi8(b0, f2), _mm256_cmpeq_epi8(b1, g2)),
                       _mm256_and_si256(_mm256_cmpeq_epi8(b0, f3), _mm256_cmpeq_epi8(b1, g3)))));
    }
    auto m = static_cast<uint32_t>(_mm256_movemask_epi8(any));
    while (m != 0) {
      found.push_back(i + static_cast<size_t>(__builtin_ctz(m)));
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
  if (pair_count == kMaxSignaturePairs) return false;
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
    FindAvx2(bytes, count, set, found);
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
