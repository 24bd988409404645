#include "engine/project/recovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "base/file_system.h"
#include "engine/project/journal.h"
#include "host/posix/path_resolver_posix.h"
#include "support/faulty_file_system.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::WriteFile;

constexpr char kToken[] = "00000000feedf00d";

uint64_t ChecksumOf(const std::string& bytes) {
  return ChecksumOf(ChecksumKind::kXxh3, bytes.data(), bytes.size());
}

// Every file under `folder` with its bytes, by path.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
    files[item.path().string()] = item.is_regular_file() ? ReadFile(item.path().string()) : "";
  return files;
}

// What recovery may do to a path outside its project: look.
const std::set<std::string> kLooks{"Status", "RealPath", "ListDirectory", "Read"};

// A project cut short in the middle of its commit: a.bas already replaced,
// "b bas%.bas" and the shared module still staged.
class RecoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    project = root.path() + "/project";
    project_file = root.Write("project/P.vbp",
                              "Module=A; a.bas\r\nModule=B; b bas%.bas\r\n"
                              "Module=S; ..\\shared\\Grids.bas\r\n");
    a = Place("project/a.bas", "new a", "old a", "new a");
    b = Place("project/b bas%.bas", "old b", "old b", "new b");
    s = Place("shared/Grids.bas", "old s", "old s", "new s");
    journal.token = kToken;
    journal.state = JournalState::kCommitting;
  }
  // The original holding `now`, with the commit's copies beside it.
  std::string Place(const std::string& relative, const std::string& now, const std::string& old_bytes,
                    const std::string& new_bytes) {
    std::string original = root.Write(relative, now);
    WriteFile(BackupPathFor(original, kToken), old_bytes);
    if (now != new_bytes) WriteFile(StagedPathFor(original, kToken), new_bytes);
    journal.entries.push_back({original, ChecksumOf(old_bytes), ChecksumOf(new_bytes)});
    return original;
  }
  RecoveryOutcome Recover() { return RecoverInterruptedCommit(project_file, resolver); }
  void WriteTheJournal() { ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal)); }
  int FilesBeside(const std::string& folder) {
    return testing::CountFilesWithPrefix(folder, ".");
  }

  testing::ScratchDir root;
  PosixPathResolver resolver;
  std::string project, project_file, a, b, s;
  Journal journal;
};

TEST_F(RecoveryTest, ACommittingJournalIsFinishedInsideAndOutsideTheFolder) {
  WriteTheJournal();
  ASSERT_TRUE(HasInterruptedCommit(project_file));
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFinished) << outcome.message;
  EXPECT_EQ(ReadFile(a), "new a");
  EXPECT_EQ(ReadFile(b), "new b");
  EXPECT_EQ(ReadFile(s), "new s");
  EXPECT_EQ(FilesBeside(project), 0);
  EXPECT_EQ(FilesBeside(root.Join("shared")), 0);
  EXPECT_FALSE(HasInterruptedCommit(project_file));
}

TEST_F(RecoveryTest, RollingBackOrAMissingStagedFileUndoes) {
  ::unlink(StagedPathFor(b, kToken).c_str());
  WriteTheJournal();
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kUndone) << outcome.message;
  EXPECT_EQ(ReadFile(a), "old a");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_EQ(ReadFile(s), "old s");
  EXPECT_EQ(FilesBeside(project), 0);
}

TEST_F(RecoveryTest, AJournalNamingAFileTheProjectDoesNotListIsSetAsideAndNothingMoves) {
  std::string victim = root.Write("home/.bashrc", "mine");
  WriteFile(StagedPathFor(victim, kToken), "planted");
  journal.entries.push_back({victim, ChecksumOf("mine"), ChecksumOf("planted")});
  WriteTheJournal();
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find(victim + ", which the project does not list"), std::string::npos)
      << outcome.message;
  EXPECT_NE(outcome.message.find("vireo-migrate recover --discard"), std::string::npos);
  EXPECT_EQ(ReadFile(victim), "mine");
  EXPECT_EQ(ReadFile(a), "new a");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_TRUE(FileExists(StagedPathFor(victim, kToken)));
  EXPECT_FALSE(HasInterruptedCommit(project_file));
  ASSERT_EQ(SetAsideJournals(project_file).size(), 1u);

  // The next run is not held up; the set-aside journal waits for the user.
  EXPECT_EQ(Recover().result, RecoveryResult::kNothingToDo);
  std::string problem;
  EXPECT_EQ(DiscardJournals(project_file, &problem).size(), 1u) << problem;
  EXPECT_EQ(Recover().result, RecoveryResult::kNothingToDo);
  EXPECT_EQ(ReadFile(b), "old b");
}

TEST_F(RecoveryTest, CopiesThatDoNotHoldTheRecordedContentAreNotUsed) {
  WriteFile(StagedPathFor(b, kToken), "forged new b");
  WriteFile(BackupPathFor(a, kToken), "forged old a");
  WriteTheJournal();
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("neither every converted content nor every old one"),
            std::string::npos)
      << outcome.message;
  EXPECT_EQ(ReadFile(a), "new a");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_EQ(SetAsideJournals(project_file).size(), 1u);
}

TEST_F(RecoveryTest, AnOriginalThatIsNotARegularFileIsNotTouched) {
  ::unlink(b.c_str());
  ASSERT_EQ(::mkfifo(b.c_str(), 0600), 0);
  WriteTheJournal();
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("which is not a regular file"), std::string::npos);
  EXPECT_EQ(ReadFile(a), "new a");
}

TEST_F(RecoveryTest, AMalformedJournalIsSetAsideWithItsLine) {
  WriteTheJournal();
  std::string path = JournalPathFor(project_file);
  std::string text = ReadFile(path);
  size_t tab = text.find('\t');
  text.replace(tab + 1, 16, "zzzzzzzzzzzzzzzz");
  std::string body = text.substr(0, text.rfind("end "));
  char sum[17];
  std::snprintf(sum, sizeof sum, "%016llx",
                static_cast<unsigned long long>(ChecksumOf(body)));
  WriteFile(path, body + "end " + sum + "\n");
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("line 5 is malformed"), std::string::npos) << outcome.message;
  EXPECT_EQ(SetAsideJournals(project_file).size(), 1u);
  EXPECT_EQ(ReadFile(b), "old b");
}

TEST_F(RecoveryTest, ACopiedProjectRecoversInPlaceAndLeavesTheOriginalFolderAlone) {
  WriteTheJournal();
  ASSERT_EQ(std::system(("cp -a '" + root.path() + "' '" + root.path() + ".copy'").c_str()), 0);
  std::string copy = root.path() + ".copy";
  RecoveryOutcome outcome = RecoverInterruptedCommit(copy + "/project/P.vbp", resolver);
  EXPECT_EQ(outcome.result, RecoveryResult::kFinished) << outcome.message;
  EXPECT_EQ(ReadFile(copy + "/project/b bas%.bas"), "new b");
  EXPECT_EQ(ReadFile(copy + "/shared/Grids.bas"), "new s");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_EQ(ReadFile(s), "old s");
  EXPECT_TRUE(HasInterruptedCommit(project_file));
  std::system(("rm -rf '" + copy + "'").c_str());
}

TEST_F(RecoveryTest, AFileEditedAfterTheCrashIsKeptWithTheCopiesBesideIt) {
  WriteFile(b, "edited by hand");
  WriteTheJournal();
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFinished) << outcome.message;
  ASSERT_EQ(outcome.kept_edits, std::vector<std::string>{b});
  EXPECT_NE(outcome.message.find(b + " holds neither its old nor its converted content"),
            std::string::npos)
      << outcome.message;
  EXPECT_EQ(ReadFile(b), "edited by hand");
  EXPECT_EQ(ReadFile(StagedPathFor(b, kToken)), "new b");
  EXPECT_EQ(ReadFile(BackupPathFor(b, kToken)), "old b");
  EXPECT_EQ(ReadFile(s), "new s");
  EXPECT_FALSE(HasInterruptedCommit(project_file));
}

TEST_F(RecoveryTest, AStagingJournalRemovesOnlyTheCommitsOwnCopies) {
  journal.state = JournalState::kStaging;
  std::string unrelated = root.Write("project/.b bas%.bas.vr5new", "a user's file");
  WriteTheJournal();
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kUndone) << outcome.message;
  EXPECT_EQ(ReadFile(a), "new a") << "untouched: nothing was replaced while staging";
  EXPECT_EQ(ReadFile(unrelated), "a user's file");
  EXPECT_FALSE(FileExists(StagedPathFor(b, kToken)));
}

TEST_F(RecoveryTest, AForgedProjectLineLeavesTheFolderItNamesAlone) {
  std::string victim = root.Join("victim");
  std::string report = root.Join("victim/report");
  root.Write("victim/notes.txt", "mine");
  journal.unit_projects = {report};
  struct Case {
    std::string report;  // "" when there is none
    std::string reason;
  };
  for (const Case& forged :
       {Case{"", ", which does not exist"},
        Case{"Module=V; v.bas\r\n", ", which shares no file with the others"}}) {
    SCOPED_TRACE(forged.reason);
    if (!forged.report.empty()) {
      root.Write("victim/report", forged.report);
      root.Write("victim/v.bas", "the victim's module");
      root.Write("victim/.report.vr5journal.next.5d2e", "the victim's own half-written journal");
    }
    WriteTheJournal();
    std::map<std::string, std::string> before = Snapshot(victim);
    testing::FaultyFileSystem recorder;
    recorder.Record();
    RecoveryOutcome outcome;
    {
      ScopedFileSystem scope(recorder);
      outcome = Recover();
    }
    EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
    EXPECT_NE(outcome.message.find("it joins " + report + forged.reason), std::string::npos)
        << outcome.message;
    EXPECT_EQ(Snapshot(victim), before);
    EXPECT_EQ(recorder.Touches(victim, kLooks), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(b), "old b");
    std::string problem;
    ASSERT_EQ(DiscardJournals(project_file, &problem).size(), 1u) << problem;
  }
}

TEST_F(RecoveryTest, AProjectThatIsNotARegularFileIsNeverOpened) {
  std::string fifo = root.Join("project/Pipe.vbp");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string folder = root.Join("project/Folder.vbp");
  std::filesystem::create_directory(folder);
  for (const std::string& joined : {fifo, folder}) {
    SCOPED_TRACE(joined);
    journal.unit_projects = {joined};
    WriteTheJournal();
    testing::FaultyFileSystem recorder;
    recorder.Record();
    RecoveryOutcome outcome;
    {
      ScopedFileSystem scope(recorder);
      ::alarm(10);  // a recovery waiting on the FIFO ends the test run instead
      outcome = Recover();
      ::alarm(0);
    }
    EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
    EXPECT_NE(outcome.message.find("it joins " + joined + ", which is not a regular file"),
              std::string::npos)
        << outcome.message;
    EXPECT_EQ(recorder.Touches(joined, {"Status"}), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(b), "old b");
    std::string problem;
    ASSERT_EQ(DiscardJournals(project_file, &problem).size(), 1u) << problem;
  }
}

TEST_F(RecoveryTest, NoJournalNothingToDo) {
  EXPECT_EQ(Recover().result, RecoveryResult::kNothingToDo);
}

// Projects that share files commit under one journal beside the first; the
// others keep a journal pointing to it.
class UnitRecoveryTest : public RecoveryTest {
 protected:
  void SetUp() override {
    RecoveryTest::SetUp();
    other_file = root.Write("other/Q.vbp", "Module=C; c.bas\r\nModule=S; ..\\shared\\Grids.bas\r\n");
    c = Place("other/c.bas", "old c", "old c", "new c");
    journal.unit_projects = {other_file};
  }
  void WritePointer(const std::string& to, const std::string& token = kToken) {
    ASSERT_FALSE(WriteJournal(JournalPathFor(other_file), PointerJournal(to, token)));
  }
  RecoveryOutcome RecoverOther() { return RecoverInterruptedCommit(other_file, resolver); }

  std::string other_file, c;
};

class UnitRecoveryFrom : public UnitRecoveryTest, public ::testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(EitherProject, UnitRecoveryFrom, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "ThePointingOne" : "TheJournalsOwn";
                         });

TEST_P(UnitRecoveryFrom, SettlesTheWholeUnitAndRemovesBothJournals) {
  WriteTheJournal();
  WritePointer(project_file);
  // Half-written journals a crash left beside each project go with the unit.
  root.Write("project/.P.vbp.vr5journal.next.5d2e", "half");
  root.Write("other/.Q.vbp.vr5journal.next.5d2e", "half");
  RecoveryOutcome outcome = GetParam() ? RecoverOther() : Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFinished) << outcome.message;
  EXPECT_NE(outcome.message.find(project_file + " and " + other_file), std::string::npos)
      << outcome.message;
  for (const std::string& file : {a, b, s, c}) EXPECT_EQ(ReadFile(file).substr(0, 3), "new");
  EXPECT_FALSE(HasInterruptedCommit(project_file));
  EXPECT_FALSE(HasInterruptedCommit(other_file));
  EXPECT_EQ(
      FilesBeside(project) + FilesBeside(root.Join("other")) + FilesBeside(root.Join("shared")), 0);
}

TEST_F(UnitRecoveryTest, AUnitJournalJoiningAProjectThatSharesNothingIsSetAside) {
  // Q no longer lists the shared module: the journal reaches into a project
  // that no batch would have converted with P.
  WriteFile(other_file, "Module=C; c.bas\r\n");
  WriteTheJournal();
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("it joins " + other_file + ", which shares no file"),
            std::string::npos)
      << outcome.message;
  EXPECT_EQ(ReadFile(c), "old c");
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_TRUE(FileExists(StagedPathFor(c, kToken)));
  EXPECT_EQ(SetAsideJournals(project_file).size(), 1u);
}

TEST_F(UnitRecoveryTest, AUnitIsCheckedAgainOnceItsProjectsAreLocked) {
  WriteTheJournal();
  WritePointer(project_file);
  testing::FaultyFileSystem recorder;
  recorder.Before("Lock", [&] { WriteFile(other_file, "Module=C; c.bas\r\n"); });
  RecoveryOutcome outcome;
  {
    ScopedFileSystem scope(recorder);
    outcome = Recover();
  }
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("it joins " + other_file + ", which shares no file"),
            std::string::npos)
      << outcome.message;
  EXPECT_EQ(ReadFile(c), "old c");
  EXPECT_EQ(ReadFile(b), "old b");
}

TEST_F(UnitRecoveryTest, APointerTheUnitJournalDoesNotAnswerIsSetAsideAndNothingMoves) {
  journal.unit_projects.clear();  // P's journal does not name Q
  WriteTheJournal();
  WritePointer(project_file);
  RecoveryOutcome outcome = RecoverOther();
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("which is not this project's unit"), std::string::npos)
      << outcome.message;
  EXPECT_EQ(SetAsideJournals(other_file).size(), 1u);
  EXPECT_TRUE(HasInterruptedCommit(project_file)) << "P's own journal is P's to settle";
  EXPECT_EQ(ReadFile(b), "old b");

  // A token that differs is not the same commit either.
  journal.unit_projects = {other_file};
  WriteTheJournal();
  WritePointer(project_file, "0000000000000bad");
  EXPECT_EQ(RecoverOther().result, RecoveryResult::kFailed);
  EXPECT_EQ(ReadFile(c), "old c");

  // Nor is a pointer to a journal that is not there.
  WritePointer(root.Join("gone/G.vbp"));
  outcome = RecoverOther();
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("which does not exist"), std::string::npos) << outcome.message;
}

TEST_F(UnitRecoveryTest, AUnitWaitsWhileAnotherRunHoldsOneOfItsProjects) {
  WriteTheJournal();
  WritePointer(project_file);
  FileHandle lock = -1;
  ASSERT_FALSE(PlatformFileSystem().Lock(other_file + ".vr5lock", &lock));
  RecoveryOutcome outcome = Recover();
  EXPECT_EQ(outcome.result, RecoveryResult::kFailed);
  EXPECT_NE(outcome.message.find("another conversion of this project is under way"),
            std::string::npos)
      << outcome.message;
  EXPECT_EQ(ReadFile(b), "old b");
  EXPECT_TRUE(SetAsideJournals(project_file).empty()) << "the journal is kept for later";
  PlatformFileSystem().Unlock(other_file + ".vr5lock", lock);
  EXPECT_EQ(Recover().result, RecoveryResult::kFinished);
}

}  // namespace
}  // namespace vireo
