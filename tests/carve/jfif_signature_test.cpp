#include "carve/jfif_signature.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace glintvane {
namespace {

// Bytes drawn mostly from the signature's own letters and zeros, so that
// partial signatures, "J" with a zero four later, and whole signatures at
// every alignment are common.
TEST(JfifSignatureTest, VectorAndWordSearchesMatchTheByteSearch) {
  std::mt19937 random(11);
  const uint8_t alphabet[] = {'J', 'F', 'I', 0, 'J', 'x', 0xFF, 0x80};
  for (size_t size :
       {size_t{0}, size_t{1}, size_t{15}, size_t{64}, size_t{65}, size_t{1000}, size_t{100003}}) {
    std::vector<uint8_t> bytes(size + 4);
    for (auto& b : bytes) b = alphabet[random() % 8];
    for (size_t i = 0; i + 5 <= bytes.size(); i += 1 + random() % 97) {
      std::copy(kJfifSignature.begin(), kJfifSignature.end(), bytes.begin() + i);
    }
    std::vector<size_t> expected;
    std::vector<size_t> vector;
    std::vector<size_t> words;
    std::vector<size_t> sse2;
    FindJfifSignaturesScalar(bytes.data(), size, expected);
    FindJfifSignatures(bytes.data(), size, vector);
    FindJfifSignaturesWords(bytes.data(), size, words);
    FindJfifSignaturesSse2(bytes.data(), size, sse2);
    EXPECT_EQ(vector, expected) << size;
    EXPECT_EQ(words, expected) << size;
    EXPECT_EQ(sse2, expected) << size;
    if (size > 1000) {
      EXPECT_GT(expected.size(), 500u);
    }
  }
}

}  // namespace
}  // namespace glintvane
