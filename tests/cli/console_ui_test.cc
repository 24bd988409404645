// How the command line lays text out for a terminal, and what a single run
// says of its files.
#include "cli/console_ui.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace vireo {
namespace {

// What was written to a stream, once it is closed.
class CapturedStream {
 public:
  CapturedStream() : stream_(open_memstream(&buffer_, &size_)) {}
  ~CapturedStream() {
    if (stream_) std::fclose(stream_);
    std::free(buffer_);
  }
  std::FILE* stream() { return stream_; }
  std::string Text() {
    std::fflush(stream_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::FILE* stream_;
};

TEST(TextLayoutTest, ColumnsCountCharactersNotBytesNorEscapes) {
  EXPECT_EQ(DisplayColumns("Grids.bas"), 9u);
  EXPECT_EQ(DisplayColumns("CAF\xC3\x89.BAS"), 8u);   // É is two bytes, one column
  EXPECT_EQ(DisplayColumns("\xE8\xA1\xA8.frm"), 6u);  // 表 takes two columns
  EXPECT_EQ(DisplayColumns("\033[32mconverted\033[0m"), 9u);
}

TEST(TextLayoutTest, ANameIsShortenedFromItsStartBehindDots) {
  EXPECT_EQ(KeepEnd("tree/a/A.vbp", 12), "tree/a/A.vbp");
  EXPECT_EQ(KeepEnd("tree/apps/accounts/Accounts.vbp", 16), ".../Accounts.vbp");
  EXPECT_EQ(KeepEnd("anything", 2), "..");
  // Never half a character: "É" goes whole or not at all.
  EXPECT_EQ(KeepEnd("abcd\xC3\x89\xC3\x89", 5), "...\xC3\x89\xC3\x89");
  EXPECT_EQ(KeepStart("\xE8\xA1\xA8\xE8\xA1\xA8", 3), "\xE8\xA1\xA8");
}

TEST(TextLayoutTest, WrappingBreaksAtSpacesAndOnlyAWordTooLongForALine) {
  std::vector<std::string> lines =
      WrapAtSpaces("cannot tell which grid type it uses: name one with --from", 51);
  EXPECT_EQ(lines, (std::vector<std::string>{"cannot tell which grid type it uses: name one with",
                                             "--from"}));
  EXPECT_EQ(WrapAtSpaces("see /a/very/long/path/name.bas now", 10),
            (std::vector<std::string>{"see", "/a/very/lo", "ng/path/na", "me.bas now"}));
  EXPECT_TRUE(WrapAtSpaces("", 10).empty());
}

TEST(TextLayoutTest, TableColumnsAreAsWideAsTheirWidestCell) {
  std::string table = FormatTable(
      {{{"Project", "Source", "Outcome", "Files changed"}, ""},
       {{"a/A.vbp", "Vireo 4.0", "converted", "2"}, ""},
       {{"e/E.vbp", "Vireo Pro 5.0 for VB4 (Eval)", "\033[0mnothing to convert\033[0m", "0"},
        "it references Vireo Pro 5.0 for VB4 (Eval) (EVIR5_32.OCX)"}},
      40);
  EXPECT_EQ(table,
            "Project  Source                        Outcome             Files changed\n"
            "a/A.vbp  Vireo 4.0                     converted           2\n"
            "e/E.vbp  Vireo Pro 5.0 for VB4 (Eval)  \033[0mnothing to convert\033[0m  0\n"
            "    it references Vireo Pro 5.0 for VB4\n"
            "    (Eval) (EVIR5_32.OCX)\n");
  EXPECT_NE(FormatTable({{{"P"}, "a note that is not wrapped without a width"}}, 0)
                .find("    a note that is not wrapped without a width\n"),
            std::string::npos);
}

TEST(LiveLineTest, NeverReachesTheLastColumnAndEndsWhereItIsKept) {
  CapturedStream err;
  {
    LiveLine line(err.stream(), 30);
    line.Draw("units 1/3: ", "/home/someone/projects/Accounts.vbp");
    line.Draw("a head longer than the whole terminal line is wide", "P.vbp");
    line.Keep();
  }
  EXPECT_EQ(err.Text(),
            "\r\033[Kunits 1/3: ...ts/Accounts.vbp"
            "\r\033[Ka head longer than the whole \n");
}

RunEvent Event(RunEvent::Kind kind, const std::string& shown, int16_t result = 0) {
  return {kind, "module", "/p/" + shown, shown, result};
}

// A run that converted two copies, one changed, then failed (at a later file
// or at the commit) replaced nothing: none is said done.
TEST(ConsoleProgressTest, AFileIsSaidDoneOnlyOnceTheRunHasCommitted) {
  for (bool committed : {false, true}) {
    CapturedStream err;
    ConsoleProgress progress(err.stream(), 0, false);
    progress.Hear(Event(RunEvent::Kind::kFileStarted, "A.bas"));
    progress.Hear(Event(RunEvent::Kind::kFileConverted, "A.bas", kChanged));
    progress.Hear(Event(RunEvent::Kind::kFileStarted, "Same.bas"));
    progress.Hear(Event(RunEvent::Kind::kFileConverted, "Same.bas", kUnchanged));
    progress.Say("vireo-migrate: waiting for another run to finish with B.bas\n");
    progress.Finish(committed);
    std::string said = "vireo-migrate: waiting for another run to finish with B.bas\n";
    if (committed) said += " Migrating A.bas...\n  Done!\n";
    EXPECT_EQ(err.Text(), said) << committed;
  }
}

}  // namespace
}  // namespace vireo
