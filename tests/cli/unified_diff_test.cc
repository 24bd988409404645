#include "cli/unified_diff.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace vireo {
namespace {

using Lines = std::vector<std::string_view>;

std::string Join(const std::vector<std::string>& lines, const char* end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

// Checks that `blocks` turn `a` into `b`: in order, within bounds, and every
// line outside them kept and equal. Returns the number of edited lines.
::testing::AssertionResult Applies(const Lines& a, const Lines& b,
                                   const std::vector<DiffBlock>& blocks, size_t* edits) {
  size_t i = 0, j = 0;
  *edits = 0;
  auto kept_until = [&](size_t old_stop, size_t new_stop) {
    if (old_stop - i != new_stop - j) return false;
    for (; i < old_stop; ++i, ++j) {
      if (a[i] != b[j]) return false;
    }
    return true;
  };
  for (const DiffBlock& block : blocks) {
    if (block.old_count == 0 && block.new_count == 0)
      return ::testing::AssertionFailure() << "empty block";
    if (block.old_start < i || block.new_start < j)
      return ::testing::AssertionFailure() << "blocks out of order";
    if (!kept_until(block.old_start, block.new_start))
      return ::testing::AssertionFailure() << "kept lines differ before a block";
    i += block.old_count;
    j += block.new_count;
    *edits += block.old_count + block.new_count;
    if (i > a.size() || j > b.size()) return ::testing::AssertionFailure() << "block too long";
  }
  if (!kept_until(a.size(), b.size()))
    return ::testing::AssertionFailure() << "kept lines differ at the end";
  return ::testing::AssertionSuccess();
}

size_t LongestCommonSubsequence(const Lines& a, const Lines& b) {
  std::vector<std::vector<size_t>> table(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = a.size(); i-- > 0;) {
    for (size_t j = b.size(); j-- > 0;) {
      table[i][j] =
          a[i] == b[j] ? table[i + 1][j + 1] + 1 : std::max(table[i + 1][j], table[i][j + 1]);
    }
  }
  return table[0][0];
}

Lines RandomLines(std::mt19937& random, const std::vector<std::string>& alphabet, size_t count) {
  Lines lines;
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  for (size_t i = 0; i < count; ++i) lines.push_back(alphabet[pick(random)]);
  return lines;
}

TEST(SplitLinesTest, AcceptsEveryTerminatorAndKeepsAnUnterminatedLastLine) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));
  EXPECT_EQ(SplitLines("\r\r\n\n"), (Lines{"", "", ""}));
  EXPECT_EQ(SplitLines("a\n\rb"), (Lines{"a", "", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(SplitLines(std::string_view("x\0y\r", 4)), (Lines{std::string_view("x\0y", 3)}));
}

TEST(DiffLinesTest, FindsAShortestScriptForRandomInputs) {
  std::mt19937 random(7);
  const std::vector<std::string> alphabet{"a", "b", "c", "d"};
  std::uniform_int_distribution<size_t> length(0, 24);
  for (int round = 0; round < 2000; ++round) {
    Lines a = RandomLines(random, alphabet, length(random));
    Lines b = RandomLines(random, alphabet, length(random));
    std::vector<DiffBlock> blocks = DiffLines(a, b);
    size_t edits = 0;
    ASSERT_TRUE(Applies(a, b, blocks, &edits)) << "round " << round;
    ASSERT_EQ(edits, a.size() + b.size() - 2 * LongestCommonSubsequence(a, b)) << "round " << round;
  }
}

TEST(DiffLinesTest, MergesAdjacentRemovalsAndAdditionsIntoOneBlock) {
  Lines a{"k", "x", "y", "k2"}, b{"k", "p", "k2"};
  std::vector<DiffBlock> blocks = DiffLines(a, b);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].old_start, 1u);
  EXPECT_EQ(blocks[0].old_count, 2u);
  EXPECT_EQ(blocks[0].new_start, 1u);
  EXPECT_EQ(blocks[0].new_count, 1u);
}

TEST(DiffLinesTest, LargeFileWithAFewChangesIsQuickAndExact) {
  std::vector<std::string> old_lines;
  for (int i = 0; i < 100000; ++i) old_lines.push_back("Line " + std::to_string(i % 977));
  std::vector<std::string> new_lines = old_lines;
  new_lines[0] = "changed first";
  new_lines[50000] = "changed middle";
  new_lines.insert(new_lines.begin() + 70000, "inserted");
  new_lines.pop_back();
  std::string old_text = Join(old_lines), new_text = Join(new_lines);

  auto start = std::chrono::steady_clock::now();
  Lines a = SplitLines(old_text), b = SplitLines(new_text);
  std::vector<DiffBlock> blocks = DiffLines(a, b);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);

  size_t edits = 0;
  ASSERT_TRUE(Applies(a, b, blocks, &edits));
  EXPECT_EQ(edits, 6u);
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[1].old_start, 50000u);
  EXPECT_EQ(blocks[2].new_start, 70000u);
  EXPECT_EQ(blocks[3].old_start, 99999u);
}

TEST(DiffLinesTest, WhollyRewrittenLargeFileIsOneBlock) {
  std::vector<std::string> old_lines, new_lines;
  for (int i = 0; i < 100000; ++i) {
    old_lines.push_back("old " + std::to_string(i));
    new_lines.push_back("new " + std::to_string(i));
  }
  std::string old_text = Join(old_lines), new_text = Join(new_lines);
  std::vector<DiffBlock> blocks = DiffLines(SplitLines(old_text), SplitLines(new_text));
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].old_count, 100000u);
  EXPECT_EQ(blocks[0].new_count, 100000u);
}

TEST(DiffLinesTest, ManyScatteredEditsStillGiveAValidScript) {
  // Few distinct lines and thousands of edits: past the cost limit the search
  // settles for a good split, which must still be a correct script.
  std::mt19937 random(11);
  std::vector<std::string> alphabet;
  for (int i = 0; i < 12; ++i) alphabet.push_back("line " + std::to_string(i));
  Lines a = RandomLines(random, alphabet, 6000), b = RandomLines(random, alphabet, 6000);
  size_t edits = 0;
  EXPECT_TRUE(Applies(a, b, DiffLines(a, b), &edits));
  EXPECT_LE(edits, a.size() + b.size());
}

class UnifiedDiffTest : public ::testing::Test {
 protected:
  // Ten lines "1".."10", with CR LF ends.
  static std::vector<std::string> Ten() {
    std::vector<std::string> lines;
    for (int i = 1; i <= 10; ++i) lines.push_back(std::to_string(i));
    return lines;
  }
  static std::string Diff(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return UnifiedDiff("Form1.frm", Join(a), Join(b));
  }
  const std::string header = "--- a/Form1.frm\n+++ b/Form1.frm\n";
};

TEST_F(UnifiedDiffTest, EqualLinesGiveNothing) {
  EXPECT_EQ(Diff(Ten(), Ten()), "");
  EXPECT_EQ(UnifiedDiff("f", "", ""), "");
}

TEST_F(UnifiedDiffTest, LineEndsAloneAreNoDifference) {
  EXPECT_EQ(UnifiedDiff("f", "a\r\nb\r\n", "a\nb\n"), "");
  EXPECT_EQ(UnifiedDiff("f", "a\rb", "a\r\nb\r\n"), "");
}

TEST_F(UnifiedDiffTest, Insertions) {
  auto b = Ten();
  b.insert(b.begin(), "new");
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -1,3 +1,4 @@\n+new\n 1\n 2\n 3\n");
  b = Ten();
  b.insert(b.begin() + 5, "new");
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -3,6 +3,7 @@\n 3\n 4\n 5\n+new\n 6\n 7\n 8\n");
  b = Ten();
  b.push_back("new");
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -8,3 +8,4 @@\n 8\n 9\n 10\n+new\n");
}

TEST_F(UnifiedDiffTest, Deletions) {
  auto b = Ten();
  b.erase(b.begin());
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -1,4 +1,3 @@\n-1\n 2\n 3\n 4\n");
  b = Ten();
  b.erase(b.begin() + 4, b.begin() + 6);
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -2,8 +2,6 @@\n 2\n 3\n 4\n-5\n-6\n 7\n 8\n 9\n");
  b = Ten();
  b.pop_back();
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -7,4 +7,3 @@\n 7\n 8\n 9\n-10\n");
}

TEST_F(UnifiedDiffTest, ChangedLines) {
  auto b = Ten();
  b[0] = "one";
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -1,4 +1,4 @@\n-1\n+one\n 2\n 3\n 4\n");
  b = Ten();
  b[4] = "five";
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n");
  b = Ten();
  b[9] = "ten";
  EXPECT_EQ(Diff(Ten(), b), header + "@@ -7,4 +7,4 @@\n 7\n 8\n 9\n-10\n+ten\n");
}

TEST_F(UnifiedDiffTest, ChangesSixLinesApartShareAHunkAndSevenApartDoNot) {
  std::vector<std::string> a;
  for (int i = 1; i <= 20; ++i) a.push_back(std::to_string(i));
  auto b = a;
  b[1] = "x";
  b[8] = "y";  // six kept lines between
  EXPECT_EQ(Diff(a, b), header +
                            "@@ -1,12 +1,12 @@\n 1\n-2\n+x\n 3\n 4\n 5\n 6\n 7\n 8\n-9\n+y\n"
                            " 10\n 11\n 12\n");
  b = a;
  b[1] = "x";
  b[9] = "y";  // seven kept lines between
  EXPECT_EQ(Diff(a, b), header + "@@ -1,5 +1,5 @@\n 1\n-2\n+x\n 3\n 4\n 5\n" +
                            "@@ -7,7 +7,7 @@\n 7\n 8\n 9\n-10\n+y\n 11\n 12\n 13\n");
}

TEST_F(UnifiedDiffTest, EmptyAndSingleLineRangesFollowGnuDiff) {
  EXPECT_EQ(UnifiedDiff("f", "", "a\r\nb\r\n"), "--- a/f\n+++ b/f\n@@ -0,0 +1,2 @@\n+a\n+b\n");
  EXPECT_EQ(UnifiedDiff("f", "a\r\n", ""), "--- a/f\n+++ b/f\n@@ -1 +0,0 @@\n-a\n");
  EXPECT_EQ(UnifiedDiff("f", "a\r\n", "b\r\n"), "--- a/f\n+++ b/f\n@@ -1 +1 @@\n-a\n+b\n");
  EXPECT_EQ(UnifiedDiff("f", "a\r\nb\r\n", "a\r\nx\r\nb\r\n", 0),
            "--- a/f\n+++ b/f\n@@ -1,0 +2 @@\n+x\n");
}

TEST_F(UnifiedDiffTest, ShowsLinesAsBytesWithoutTheirEnds) {
  std::string old_text = "\xE9t\xE9\r\nsame\r\n";
  std::string new_text = "\xE9t\xC3\xA9\nsame\n";
  EXPECT_EQ(UnifiedDiff("f", old_text, new_text),
            "--- a/f\n+++ b/f\n@@ -1,2 +1,2 @@\n-\xE9t\xE9\n+\xE9t\xC3\xA9\n same\n");
}

}  // namespace
}  // namespace vireo
