#include "engine/file_io.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/interrupt.h"
#include "support/test_files.h"

namespace vireo {
namespace {

std::vector<std::string> Lines(const std::string& content) {
  testing::ScratchDir dir;
  std::string path = dir.Write("f.txt", content);
  LineReader reader;
  EXPECT_FALSE(reader.Open(path));
  std::vector<std::string> lines;
  std::string line;
  while (!reader.AtEnd()) {
    EXPECT_TRUE(reader.ReadLine(&line));
    lines.push_back(line);
  }
  EXPECT_FALSE(reader.ReadLine(&line));
  EXPECT_EQ(reader.lines_read(), lines.size());
  return lines;
}

using Strings = std::vector<std::string>;

TEST(LineReaderTest, EveryKindOfLineEnd) {
  EXPECT_EQ(Lines(""), Strings{});
  EXPECT_EQ(Lines("a"), Strings{"a"});
  EXPECT_EQ(Lines("a\r\nb\r\n"), (Strings{"a", "b"}));
  EXPECT_EQ(Lines("a\nb"), (Strings{"a", "b"}));
  EXPECT_EQ(Lines("a\rb\r"), (Strings{"a", "b"}));
  EXPECT_EQ(Lines("a\n\rb"), (Strings{"a", "", "b"}));
  EXPECT_EQ(Lines("\r\n\r\n"), (Strings{"", ""}));
  EXPECT_EQ(Lines(std::string("x\0y\xff\r\n", 6)), Strings{std::string("x\0y\xff", 4)});
}

TEST(LineReaderTest, LinesLongerThanTheBufferAndCrLfAcrossIt) {
  std::string big(200000, 'x');
  std::string content = big + "\r\n" + std::string(65535, 'y') + "\r\nz";
  Strings lines = Lines(content);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], big);
  EXPECT_EQ(lines[1].size(), 65535u);
  EXPECT_EQ(lines[2], "z");
}

// The buffer already read is served; the next read from the file is refused.
TEST(LineReaderTest, AnInterruptStopsReadingAtTheNextRefill) {
  testing::ScratchDir dir;
  std::string path =
      dir.Write("f.txt", "first\r\n" + std::string(200 * 1024, 'x') + "\r\nlast\r\n");
  LineReader reader;
  ASSERT_FALSE(reader.Open(path));
  std::string line;
  ASSERT_TRUE(reader.ReadLine(&line));
  RequestInterrupt();
  EXPECT_FALSE(reader.ReadLine(&line));
  EXPECT_EQ(reader.error(), std::errc::interrupted);
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_EQ(reader.lines_read(), 1u);
  ClearInterrupt();
  ASSERT_FALSE(reader.Open(path));
  EXPECT_TRUE(reader.ReadLine(&line)) << "a cleared request no longer stops a reader";
  EXPECT_EQ(line, "first");
}

TEST(LineWriterTest, EveryLineEndsWithCrLf) {
  testing::ScratchDir dir;
  std::string path = dir.Write("out.txt", "old content");
  LineWriter writer;
  ASSERT_FALSE(writer.Open(path));
  writer.WriteLine("one");
  writer.WriteLine("");
  ASSERT_FALSE(writer.Close());
  EXPECT_EQ(testing::ReadFile(path), "one\r\n\r\n");
}

TEST(FileHelpersTest, SameContentComparesBytes) {
  testing::ScratchDir dir;
  std::string a = dir.Write("a", "abc"), b = dir.Write("b", "abc"), c = dir.Write("c", "abd");
  bool same = false;
  ASSERT_FALSE(SameContent(a, b, &same));
  EXPECT_TRUE(same);
  ASSERT_FALSE(SameContent(a, c, &same));
  EXPECT_FALSE(same);
  EXPECT_TRUE(SameContent(a, dir.Join("missing"), &same));
}

}  // namespace
}  // namespace vireo
