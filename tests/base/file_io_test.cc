#include "base/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "base/interrupt.h"
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

TEST(LineWriterTest, CreatesANewFileWithCrLfLinesAndNeverOverwrites) {
  testing::ScratchDir dir;
  std::string path = dir.Join("out.txt");
  LineWriter writer;
  ASSERT_FALSE(writer.Create(path));
  writer.WriteLine("one");
  writer.WriteLine("");
  ASSERT_FALSE(writer.Close());
  EXPECT_EQ(testing::ReadFile(path), "one\r\n\r\n");

  LineWriter again;
  EXPECT_EQ(again.Create(path), std::errc::file_exists);
  EXPECT_EQ(testing::ReadFile(path), "one\r\n\r\n");
  std::string target = dir.Write("target.txt", "keep");
  ASSERT_EQ(::symlink(target.c_str(), dir.Join("link.txt").c_str()), 0);
  EXPECT_TRUE(again.Create(dir.Join("link.txt")));
  EXPECT_EQ(testing::ReadFile(target), "keep");
}

TEST(LineReaderTest, AByteOrderMarkIsNotPartOfTheFirstLineAndIsWrittenBack) {
  testing::ScratchDir dir;
  std::string path = dir.Write("bom.bas", "\xEF\xBB\xBF" "Attribute VB_Name = \"M\"\r\nx\r\n");
  LineReader reader;
  ASSERT_FALSE(reader.Open(path));
  EXPECT_TRUE(reader.has_bom());
  std::string line;
  ASSERT_TRUE(reader.ReadLine(&line));
  EXPECT_EQ(line, "Attribute VB_Name = \"M\"");

  LineReader plain;
  ASSERT_FALSE(plain.Open(dir.Write("plain.bas", "\xEF\xBBx")));
  EXPECT_FALSE(plain.has_bom());
  ASSERT_TRUE(plain.ReadLine(&line));
  EXPECT_EQ(line, "\xEF\xBBx");

  LineWriter writer;
  ASSERT_FALSE(writer.Create(dir.Join("out.bas")));
  writer.WriteBom();
  writer.WriteLine("a");
  ASSERT_FALSE(writer.Close());
  EXPECT_EQ(testing::ReadFile(dir.Join("out.bas")), "\xEF\xBB\xBF" "a\r\n");
}

TEST(LineReaderTest, RefusesWhatIsNotARegularFileWithoutBlocking) {
  testing::ScratchDir dir;
  ASSERT_EQ(::mkfifo(dir.Join("pipe").c_str(), 0600), 0);
  LineReader reader;
  EXPECT_EQ(reader.Open(dir.Join("pipe")), NotARegularFile());
  EXPECT_EQ(reader.Open(dir.path()), std::errc::is_a_directory);
  EXPECT_TRUE(reader.Open("/dev/null"));
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
