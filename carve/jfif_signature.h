// The JFIF start signature "JFIF" and a zero byte, found 16 or 32 bytes at a
// time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace glintvane {

// The identifier of a JFIF APP0 segment; a JPEG file has its FF D8 FF E0 and
// the two-byte segment length in the 6 bytes before it.
inline constexpr std::string_view kJfifSignature{"JFIF\0", 5};
inline constexpr int64_t kJfifSignatureLead = 6;

// Appends to `found` the index of every "J" at bytes[0 .. count) that starts
// the signature. The caller guarantees that bytes[count .. count + 4) may be
// read too, so a signature starting at count - 1 can be checked.
void FindJfifSignatures(const uint8_t* bytes, size_t count, std::vector<size_t>& found);

// The same, one byte at a time: the reference for the faster searches.
void FindJfifSignaturesScalar(const uint8_t* bytes, size_t count, std::vector<size_t>& found);

// The same, 16 bytes at a time with SSE2 (the word search where SSE2 is
// missing). FindJfifSignatures uses AVX2 instead where the processor has it.
void FindJfifSignaturesSse2(const uint8_t* bytes, size_t count, std::vector<size_t>& found);

// The same, eight bytes at a time in a 64-bit word: the search on machines
// without SSE2.
void FindJfifSignaturesWords(const uint8_t* bytes, size_t count, std::vector<size_t>& found);

}  // namespace glintvane
