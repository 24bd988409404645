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

// The NUL check relies on this: a line is said to be free of NUL bytes only
// when it is, also when it runs across buffers and the NUL is in the next.
TEST(LineReaderTest, ALineIsSaidToHoldNoNulOnlyWhenItHoldsNone) {
  testing::ScratchDir dir;
  std::string across(70 * 1024, 'x');
  across[68 * 1024] = '\0';  // in the reader's second buffer
  std::string path = dir.Write("f.txt", std::string("clean\r\n") + across + "\r\nafter\r\n");
  LineReader reader;  // 64 KB at a time
  ASSERT_FALSE(reader.Open(path));
  std::string line;
  ASSERT_TRUE(reader.ReadLine(&line));
  EXPECT_FALSE(reader.line_may_hold_nul()) << line;
  ASSERT_TRUE(reader.ReadLine(&line));
  EXPECT_TRUE(reader.line_may_hold_nul());
  EXPECT_NE(line.find('\0'), std::string::npos);
  ASSERT_TRUE(reader.ReadLine(&line));
  EXPECT_EQ(line, "after");
}

TEST(LineReaderTest, MixedLineEndsAcrossManyBuffersSplitAsTheyStand) {
  std::string content, expected_last;
  Strings expected;
  const char* ends[] = {"\r\n", "\n", "\r", "\n\r"};
  for (int i = 0; i < 40000; ++i) {
    std::string line = "line " + std::to_string(i);
    content += line + ends[i % 4];
    expected.push_back(line);
    if (i % 4 == 3) expected.push_back("");  // "\n\r" ends a line and an empty one
  }
  EXPECT_EQ(Lines(content), expected);
}

// The digests tell the unchanged copy without reading either file again:
// the byte digest is of every byte, the line digest of the lines alone.
TEST(LineDigestTest, LineDigestsIgnoreLineEndsAndTheMarkBytesDoNot) {
  testing::ScratchDir dir;
  auto digests = [&](const std::string& content, bool* bom) {
    std::string path = dir.Write("d.txt", content);
    Checksummer bytes(ChecksumKind::kXxh3), lines(ChecksumKind::kXxh3);
    LineReader reader;
    reader.DigestInto(&bytes, &lines);
    EXPECT_FALSE(reader.Open(path));
    std::string line;
    while (reader.ReadLine(&line)) {
    }
    EXPECT_TRUE(reader.AtEnd());
    *bom = reader.has_bom();
    EXPECT_EQ(bytes.Digest(), ChecksumOf(ChecksumKind::kXxh3, content.data(), content.size()));
    return lines.Digest();
  };
  bool bom = false;
  std::string long_text(100000, 'q');
  uint64_t crlf = digests("a\r\nb\r\n" + long_text + "\r\n", &bom);
  EXPECT_EQ(digests("a\nb\n" + long_text, &bom), crlf);
  EXPECT_EQ(digests("\xEF\xBB\xBF" "a\rb\r" + long_text, &bom), crlf);
  EXPECT_TRUE(bom);
  EXPECT_NE(digests("a\r\nb\r\n\r\n" + long_text, &bom), crlf) << "an added empty line";
  EXPECT_NE(digests("ab\r\n" + long_text, &bom), crlf) << "two lines joined";

  // What a writer writes digests as its lines read back, with a mark or
  // without one (when its lines are its bytes).
  for (bool mark : {true, false}) {
    Checksummer written_bytes(ChecksumKind::kXxh3), written_lines(ChecksumKind::kXxh3);
    LineWriter writer;
    writer.DigestInto(&written_bytes, &written_lines);
    std::string path = dir.Join(mark ? "w.txt" : "nomark.txt");
    ASSERT_FALSE(writer.Create(path));
    if (mark) writer.WriteBom();
    for (const std::string& line : {std::string("a"), std::string("b"), long_text})
      writer.WriteLine(line);
    ASSERT_FALSE(writer.Close());
    std::string out = testing::ReadFile(path);
    EXPECT_EQ(out, std::string(mark ? "\xEF\xBB\xBF" : "") + "a\r\nb\r\n" + long_text + "\r\n");
    EXPECT_EQ(written_lines.Digest(), crlf);
    EXPECT_EQ(written_bytes.Digest(), ChecksumOf(ChecksumKind::kXxh3, out.data(), out.size()));
  }
}

// The line digest is taken from the reader's buffer where lines end in
// CR LF, and told the ends it must stand in for: whatever the ends and
// wherever the buffer's edges fall, it is the digest of the lines returned,
// each with a CR LF.
TEST(LineDigestTest, TheLineDigestIsOfTheLinesReturnedWhereverTheBufferEnds) {
  testing::ScratchDir dir;
  const char* ends[] = {"\r\n", "\n", "\r", "\n\r", "\r\r\n", ""};
  std::string content = "\xEF\xBB\xBF";
  for (int i = 0; i < 300; ++i) content += std::string(i % 11, 'a' + i % 26) + ends[i % 6];
  std::string crlf;
  for (int i = 0; i < 300; ++i) crlf += std::string(i % 11, 'a' + i % 26) + "\r\n";
  // With the bytes digested too, the lines are taken from them until the
  // first end that is no CR LF: the same digest either way.
  for (const std::string& text :
       {content, content.substr(3), content + "tail", std::string("\r"), crlf, crlf + "tail",
        crlf + "\n", crlf + "\r", crlf + "\n" + crlf, std::string("\xEF\xBB\xBF") + crlf}) {
    std::string path = dir.Write("d.txt", text);
    for (auto [buffer, with_bytes] : {std::pair{1, false},
                                      {2, true},
                                      {3, false},
                                      {3, true},
                                      {7, true},
                                      {64, false},
                                      {64, true},
                                      {4096, true}}) {
      Checksummer lines(ChecksumKind::kXxh3), expected(ChecksumKind::kXxh3),
          bytes(ChecksumKind::kXxh3);
      LineReader reader(buffer);
      reader.DigestInto(with_bytes ? &bytes : nullptr, &lines);
      ASSERT_FALSE(reader.Open(path));
      std::string line;
      while (reader.ReadLine(&line)) {
        line += "\r\n";
        expected.Update(line.data(), line.size());
      }
      EXPECT_TRUE(reader.AtEnd());
      EXPECT_EQ(lines.Digest(), expected.Digest()) << "buffer of " << buffer;
      if (with_bytes) {
        EXPECT_EQ(bytes.Digest(), ChecksumOf(ChecksumKind::kXxh3, text.data(), text.size()));
      }
    }
  }
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

// The writes land where and in the order they were made, across the copy's
// buffers, up to the last byte; the digests are of the bytes before and
// after them. A write past the end fails the copy: the file shrank.
TEST(FileHelpersTest, ACopyWithWritesMakesThemInOrderAndDigestsBothSides) {
  testing::ScratchDir dir;
  std::string original(200 * 1024, 'a');
  for (size_t i = 0; i < original.size(); i += 7) original[i] = static_cast<char>('b' + i % 20);
  std::string from = dir.Write("from.frx", original);
  ByteWrites writes{{65536 - 5, "0123456789"},  // across the first buffer's end
                    {100, "xxxxxxxx"},
                    {96, "yyyyyyyy"},  // over the one before it, in part
                    {104, "z"},
                    {static_cast<int64_t>(original.size()) - 4, "tail"}};
  std::string expected = original;
  for (const auto& [at, bytes] : writes) expected.replace(static_cast<size_t>(at), bytes.size(), bytes);
  FileHandle to = -1;
  ASSERT_FALSE(Files().Open(dir.Join("to.frx"), OpenFor::kCreateExclusive, &to));
  Checksummer old_digest(ChecksumKind::kXxh3), new_digest(ChecksumKind::kXxh3);
  ASSERT_FALSE(CopyFileContentWith(from, to, writes, &old_digest, &new_digest));
  std::string copied = testing::ReadFile(dir.Join("to.frx"));
  EXPECT_EQ(copied, expected);
  EXPECT_EQ(copied.substr(96, 12), "yyyyyyyyzxxx");
  EXPECT_EQ(old_digest.Digest(), ChecksumOf(ChecksumKind::kXxh3, original.data(), original.size()));
  EXPECT_EQ(new_digest.Digest(), ChecksumOf(ChecksumKind::kXxh3, expected.data(), expected.size()));

  writes.push_back({static_cast<int64_t>(original.size()) - 2, "past"});
  ASSERT_FALSE(Files().Open(dir.Join("short.frx"), OpenFor::kCreateExclusive, &to));
  EXPECT_EQ(CopyFileContentWith(from, to, writes, nullptr, nullptr),
            std::make_error_code(std::errc::result_out_of_range));
}

TEST(FileHelpersTest, ADurableWriteTakesItsNameOnlyWhenFinished) {
  testing::ScratchDir dir;
  std::string path = dir.Write("journal", "old");
  std::string beside = DurableWritePrefix(path);
  {
    DurableWrite write;
    ASSERT_FALSE(write.Prepare(path, "abandoned", 0600));
    EXPECT_EQ(testing::CountFilesWithPrefix(dir.path(), beside), 1);
    EXPECT_EQ(testing::ReadFile(path), "old");
  }
  EXPECT_EQ(testing::CountFilesWithPrefix(dir.path(), beside), 0);
  EXPECT_EQ(testing::ReadFile(path), "old");
  DurableWrite write;
  ASSERT_FALSE(write.Prepare(path, "new", 0600));
  ASSERT_FALSE(write.Finish());
  EXPECT_EQ(testing::ReadFile(path), "new");
  EXPECT_EQ(testing::CountFilesWithPrefix(dir.path(), beside), 0);
}

}  // namespace
}  // namespace vireo
