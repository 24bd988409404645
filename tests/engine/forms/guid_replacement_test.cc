#include "engine/forms/guid_replacement.h"

#include <gtest/gtest.h>

#include <random>

namespace vireo {
namespace {

GuidPattern Pattern(const std::string& text) {
  GuidPattern pattern{};
  std::copy(text.begin(), text.end(), pattern.begin());
  return pattern;
}
std::string Text(const GuidPattern& pattern) { return std::string(pattern.begin(), pattern.end()); }

// The rule stated plainly: a whole search of the payload for each GUID in turn.
std::string OneSearchEach(std::string payload, const std::vector<GuidToReplace>& guids,
                          size_t* count) {
  *count = 0;
  for (const GuidToReplace& guid : guids) {
    std::string from = Text(guid.from), to = Text(*guid.to);
    for (size_t at = payload.find(from); at != std::string::npos;
         at = payload.find(from, at + from.size())) {
      payload.replace(at, from.size(), to);
      ++*count;
    }
  }
  return payload;
}

// GUIDs over two letters overlap themselves and each other everywhere, and
// a replacement often makes or breaks a place of a GUID replaced later.
TEST(GuidReplacementTest, TheOnePassSearchReplacesWhatASearchPerGuidDoes) {
  std::mt19937 random(7);
  auto letters = [&](size_t count) {
    std::string text(count, 'a');
    for (char& c : text) c = random() % 4 == 0 ? 'b' : 'a';
    return text;
  };
  for (int round = 0; round < 2000; ++round) {
    std::string tail = letters(12);
    std::vector<GuidToReplace> guids;
    for (int i = 0; i < 4; ++i) {
      bool shared_tail = random() % 3 != 0;
      std::string from = letters(4) + (shared_tail ? tail : letters(12));
      std::string to = random() % 2 ? letters(4) + tail : letters(16);
      guids.push_back({Pattern(from), Pattern(to)});
    }
    std::string payload = letters(16 + random() % 200);
    std::string original = payload;
    size_t expected_count = 0;
    std::string expected = OneSearchEach(payload, guids, &expected_count);
    std::optional<size_t> missing;
    std::vector<GuidReplaced> made = ReplaceEachInTurn(payload, guids, &missing);
    ASSERT_FALSE(missing);
    ASSERT_EQ(payload, expected) << "round " << round << " payload " << original;
    ASSERT_EQ(made.size(), expected_count) << "round " << round;
  }
}

// The GUIDs before it are replaced; the payload is then thrown away.
TEST(GuidReplacementTest, AGuidWithoutCounterpartStopsAtItsFirstPlace) {
  std::string a(16, 'a'), b(16, 'b'), c(16, 'c');
  std::vector<GuidToReplace> guids = {{Pattern(a), Pattern(c)}, {Pattern(b), std::nullopt}};
  std::string payload = "x" + a + b + a;
  std::optional<size_t> missing;
  std::vector<GuidReplaced> made = ReplaceEachInTurn(payload, guids, &missing);
  EXPECT_EQ(missing, 1u);
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[1].at, 33u);
  std::string without_b = "x" + a + a;
  made = ReplaceEachInTurn(without_b, guids, &missing);
  EXPECT_FALSE(missing);
  EXPECT_EQ(without_b, "x" + c + c);
}

}  // namespace
}  // namespace vireo
