#include "engine/project/journal.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

namespace vireo {
namespace {

using testing::ReadFile;
using testing::WriteFile;

constexpr char kToken[] = "0123456789abcdef";

class JournalFormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.Join("P.vbp.vr5journal");
    journal.token = kToken;
    journal.entries = {{dir.Join("b bas\t%.bas"), 1, 2}, {shared.Join("Grids.bas"), 3, 4, true}};
  }
  // The journal's text with one line replaced and its checksum made right,
  // as someone forging or damaging it carefully would.
  void WriteWithLine(size_t index, const std::string& replacement) {
    ASSERT_FALSE(WriteJournal(path, journal));
    std::string text = ReadFile(path);
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
      size_t end = text.find('\n', start);
      lines.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    lines.pop_back();  // the end line
    lines[index] = replacement;
    std::string body;
    for (const std::string& line : lines) body += line + "\n";
    char sum[17];
    std::snprintf(
        sum, sizeof sum, "%016llx",
        static_cast<unsigned long long>(ChecksumOf(ChecksumKind::kXxh3, body.data(), body.size())));
    WriteFile(path, body + "end " + sum + "\n");
  }
  std::string Problem() {
    Journal read;
    std::string problem;
    EXPECT_FALSE(ReadJournal(path, &read, &problem));
    return problem;
  }

  testing::ScratchDir dir, shared;
  std::string path;
  Journal journal;
};

TEST_F(JournalFormatTest, PathsAreWrittenRelativeToTheJournalsFolderAndReadBackFull) {
  ASSERT_FALSE(WriteJournal(path, journal));
  std::string text = ReadFile(path);
  EXPECT_EQ(text.find(dir.path()), std::string::npos) << text;
  EXPECT_NE(text.find("b bas%09%25.bas\t"), std::string::npos) << text;
  EXPECT_NE(text.find("../"), std::string::npos) << text;
  Journal read;
  std::string problem;
  ASSERT_TRUE(ReadJournal(path, &read, &problem)) << problem;
  EXPECT_EQ(read.token, kToken);
  ASSERT_EQ(read.entries.size(), 2u);
  EXPECT_EQ(read.entries[0].original, dir.Join("b bas\t%.bas"));
  EXPECT_EQ(read.entries[1].original, shared.Join("Grids.bas"));
  EXPECT_EQ(read.entries[1].old_checksum, 3u);
  EXPECT_EQ(read.entries[1].new_checksum, 4u);
  EXPECT_FALSE(read.entries[0].in_place);
  EXPECT_TRUE(read.entries[1].in_place) << text;
}

TEST_F(JournalFormatTest, MalformedFieldsAreReportedByLineNeverThrown) {
  ASSERT_FALSE(WriteJournal(path, journal));
  for (const char* sums : {"\tzz\t04", "\t\t04", "\t10000000000000000\t04", "\t-1\t04", "\t+1\t04",
                           "\t0x1\t04", "\t01\t04\t05", "\t01\t04\tInPlace", "\t01\tinplace",
                           "\t01\t04\tinplace\tinplace"}) {
    WriteWithLine(4, std::string("a.bas") + sums);
    EXPECT_NE(Problem().find("line 5 is malformed"), std::string::npos) << sums;
  }
  WriteWithLine(4, "a%zz.bas\t01\t02");
  EXPECT_NE(Problem().find("line 5 is malformed"), std::string::npos);
  WriteWithLine(4, "a%4.bas\t01\t02");
  EXPECT_NE(Problem().find("line 5 is malformed"), std::string::npos);
  WriteWithLine(1, "run ../../etc");
  EXPECT_NE(Problem().find("line 2 is malformed"), std::string::npos);
  WriteWithLine(2, "hash md5");
  EXPECT_NE(Problem().find("line 3 is malformed"), std::string::npos);
  WriteWithLine(3, "finish");
  EXPECT_NE(Problem().find("line 4 is malformed"), std::string::npos);
}

TEST_F(JournalFormatTest, NamesItsHashAndStillReadsTheFnvJournalsOfTheLastVersion) {
  ASSERT_FALSE(WriteJournal(path, journal));
  EXPECT_NE(ReadFile(path).find("\nhash xxh3\n"), std::string::npos);
  std::string body = std::string("VR5 JOURNAL 2\nrun ") + kToken + "\ncommit\na.bas\t01\t02\n";
  char sum[17];
  std::snprintf(sum, sizeof sum, "%016llx",
                static_cast<unsigned long long>(
                    ChecksumOf(ChecksumKind::kFnv1a64, body.data(), body.size())));
  WriteFile(path, body + "end " + sum + "\n");
  Journal read;
  std::string problem;
  ASSERT_TRUE(ReadJournal(path, &read, &problem)) << problem;
  EXPECT_EQ(read.checksum, ChecksumKind::kFnv1a64);
  EXPECT_EQ(read.token, kToken);
  ASSERT_EQ(read.entries.size(), 1u);
  EXPECT_EQ(read.entries[0].new_checksum, 2u);
  // The same body under the new hash is damage, not a journal.
  std::snprintf(
      sum, sizeof sum, "%016llx",
      static_cast<unsigned long long>(ChecksumOf(ChecksumKind::kXxh3, body.data(), body.size())));
  WriteFile(path, body + "end " + sum + "\n");
  EXPECT_NE(Problem().find("is damaged"), std::string::npos);
}

TEST_F(JournalFormatTest, AUnitJournalNamesItsOtherProjectsAndAPointerOnlyItsUnit) {
  journal.unit_projects = {shared.Join("Q.vbp"), dir.Join("sub/project R.vbp")};
  ASSERT_FALSE(WriteJournal(path, journal));
  Journal read;
  std::string problem;
  ASSERT_TRUE(ReadJournal(path, &read, &problem)) << problem;
  EXPECT_EQ(read.unit_projects, journal.unit_projects);
  EXPECT_EQ(read.entries.size(), 2u);
  EXPECT_TRUE(read.part_of.empty());

  ASSERT_FALSE(WriteJournal(path, PointerJournal(shared.Join("P.vbp"), kToken)));
  ASSERT_TRUE(ReadJournal(path, &read, &problem)) << problem;
  EXPECT_EQ(read.part_of, shared.Join("P.vbp"));
  EXPECT_EQ(read.token, kToken);
  EXPECT_TRUE(read.entries.empty());
  EXPECT_TRUE(read.unit_projects.empty());
  EXPECT_EQ(ReadFile(path).find(shared.path()), std::string::npos) << "written relative";

  // A pointer carries nothing else: an entry after it is refused.
  journal.unit_projects.clear();
  WriteWithLine(3, "see ../P.vbp\n../x.bas\t1\t2");
  EXPECT_NE(Problem().find("line 4 is malformed (a pointer"), std::string::npos) << Problem();
}

TEST_F(JournalFormatTest, DamageIsCaught) {
  ASSERT_FALSE(WriteJournal(path, journal));
  std::string text = ReadFile(path);
  for (size_t at : {size_t{0}, size_t{20}, text.size() - 3}) {
    std::string damaged = text;
    damaged[at] ^= 1;
    WriteFile(path, damaged);
    EXPECT_FALSE(Problem().empty()) << at;
  }
  WriteFile(path, "");
  EXPECT_NE(Problem().find("is damaged"), std::string::npos);
  WriteFile(path, "end \n");
  EXPECT_NE(Problem().find("is damaged"), std::string::npos);
}

TEST(JournalNamesTest, FilesBesideAnOriginalAreNamedFromItAndTheToken) {
  EXPECT_EQ(StagedPathFor("/p/Main.frm", kToken), "/p/.Main.frm.vr5new.0123456789abcdef");
  EXPECT_EQ(BackupPathFor("/p/Main.frm", kToken), "/p/.Main.frm.vr5old.0123456789abcdef");
  EXPECT_EQ(StagedPathFor("/p/Main.frm", ""), "/p/.Main.frm.vr5new");
  EXPECT_TRUE(IsRunToken(NewRunToken()));
  EXPECT_NE(NewRunToken(), NewRunToken());
  EXPECT_FALSE(IsRunToken("0123456789ABCDEF"));
  EXPECT_FALSE(IsRunToken("0123456789abcde/"));
}

TEST(JournalNamesTest, RelativePathsGoUpAndComeBack) {
  EXPECT_EQ(RelativePath("/p/q", "/p/q/a.bas"), "a.bas");
  EXPECT_EQ(RelativePath("/p/q", "/p/q/sub/a.bas"), "sub/a.bas");
  EXPECT_EQ(RelativePath("/p/q", "/p/shared/a.bas"), "../shared/a.bas");
  EXPECT_EQ(RelativePath("C:\\p", "D:\\x\\a.bas"), "D:\\x\\a.bas");
  EXPECT_EQ(ResolveRelative("/p/q", "../shared/a.bas"), "/p/shared/a.bas");
  EXPECT_EQ(ResolveRelative("/copy/q", "sub/a.bas"), "/copy/q/sub/a.bas");
  EXPECT_EQ(ResolveRelative("/p", "../../../x"), "/x");
  EXPECT_EQ(ResolveRelative("/p", "/abs/x"), "/abs/x");
}

}  // namespace
}  // namespace vireo
