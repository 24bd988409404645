#include "base/checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vireo {
namespace {

// Journals hold these digests: what they are for given bytes may never
// change, whichever instructions the processor has and however the bytes
// arrive.
TEST(ChecksumTest, DigestsAreTheKnownOnesInWholeOrInPieces) {
  std::string bytes(100000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + 7);
  const struct {
    size_t length;
    uint64_t xxh3;
  } known[] = {{0, 0x2d06800538d394c2ULL},
               {241, 0x956cae592c67279eULL},
               {1025, 0x66c4487c41e127a7ULL},
               {100000, 0x14ce8d6fc2c4868bULL}};
  for (const auto& [length, digest] : known) {
    EXPECT_EQ(ChecksumOf(ChecksumKind::kXxh3, bytes.data(), length), digest) << length;
    for (size_t piece : {1, 7, 64, 1000, 4096}) {
      Checksummer sum(ChecksumKind::kXxh3);
      for (size_t at = 0; at < length; at += piece)
        sum.Update(bytes.data() + at, std::min(piece, length - at));
      EXPECT_EQ(sum.Digest(), digest) << length << " bytes in pieces of " << piece;
    }
  }
  EXPECT_EQ(ChecksumOf(ChecksumKind::kFnv1a64, "a", 1), 0xaf63dc4c8601ec8cULL);
}

}  // namespace
}  // namespace vireo
