// The search of a carving scan that looks for several kinds of start at
// once: every byte is compared with all of them in the one pass, so adding a
// kind costs a few compares per 32 bytes, not another read of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace glintvane {

// Starts told apart by their first two bytes, checked further by the caller.
// Their first bytes differ in their low four bits from each other and from
// JFIF's "J" (0x4A): the vector search finds every pattern by that nibble.
// FF D8 (JPEG), 89 "P" (PNG), "BM" (BMP) and "CM" ("CMMM") fit.
inline constexpr size_t kMaxSignaturePairs = 6;

struct SignatureSet {
  bool jfif = false;  // "J", "F" and a zero byte four places on (kJfifSignature)
  size_t pair_count = 0;
  uint8_t pairs[kMaxSignaturePairs][2] = {};

  // Adds a pair; false when the set is full or the first byte's low nibble
  // is taken (by another pair or by "J").
  bool AddPair(uint8_t first, uint8_t second);
  bool empty() const { return !jfif && pair_count == 0; }
};

// Appends to `found` the index of every byte at bytes[0 .. count) that starts
// one of the set's patterns, in order. The caller guarantees that
// bytes[count .. count + 4) may be read too.
void FindImageSignatures(const uint8_t* bytes, size_t count, const SignatureSet& set,
                         std::vector<size_t>& found);

// The same, one byte at a time: the reference for the vector searches.
void FindImageSignaturesScalar(const uint8_t* bytes, size_t count, const SignatureSet& set,
                               std::vector<size_t>& found);

// The same 16 bytes at a time with SSE2 (scalar where SSE2 is missing);
// FindImageSignatures uses AVX2 instead where the processor has it.
void FindImageSignaturesSse2(const uint8_t* bytes, size_t count, const SignatureSet& set,
                             std::vector<size_t>& found);

}  // namespace glintvane
