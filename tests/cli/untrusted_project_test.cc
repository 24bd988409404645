// Projects from others: nothing a project folder holds (a forged journal,
// planted links, paths out of the folder) makes vireo-migrate write, create
// or delete anything it was not asked to convert.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/journal.h"
#include "support/frx_builder.h"
#include "support/reference_lines.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::CrLf;
using testing::FileExists;
using testing::GuidBytes;
using testing::kVireo40Line;
using testing::ReadFile;
using testing::Record;
using testing::WriteFile;

constexpr char kToken[] = "0badc0de0badc0de";
constexpr char kModule[] = "Dim S As VireoCore.StyleDisp\r\n";

uint64_t ChecksumOf(const std::string& bytes) {
  return ChecksumOf(ChecksumKind::kXxh3, bytes.data(), bytes.size());
}

struct Ino {
  ino_t inode = 0;
  bool operator==(const Ino& other) const { return inode == other.inode; }
};

Ino InodeOf(const std::string& path) {
  struct stat st{};
  ::lstat(path.c_str(), &st);
  return {st.st_ino};
}

class UntrustedProjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    folder = root.Join("project");
    victim = root.Write("elsewhere/precious.txt", "the user's own bytes\n");
    root.Write("project/F.frm", CrLf({"Begin VB.Form F", "   Begin VireoCore.VireoCtl G",
                                      "      OleObjectBlob = \"F.frx\":0000", "   End", "End"}));
    root.Write("project/F.frx", Record(GuidBytes(2, "CLSID_MsPlover"), 6));
    module = root.Write("project/M.bas", kModule);
    project_file = root.Write("project/P.vbp", CrLf({"Form=F.frm", "Module=M; M.bas", kVireo40Line}));
  }

  testing::ProgramRun Run(std::vector<std::string> args) {
    return testing::RunProgram(VIREO_MIGRATE_BINARY, args,
                               {{"TMPDIR", temp.path()},
                                {"HOME", home.path()},
                                {"WINEPREFIX", ""},
                                {"LC_ALL", "C"},
                                {"TERM", "dumb"}});
  }
  std::map<std::string, std::string> Snapshot(const std::string& where) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(where)) {
      if (entry.is_symlink())
        files[entry.path()] = "-> " + std::filesystem::read_symlink(entry.path()).string();
      else if (entry.is_regular_file())
        files[entry.path()] = ReadFile(entry.path());
    }
    return files;
  }
  // A journal as an attacker would forge it: state "commit", the victim
  // named by a path out of the folder, its "staged" copy planted beside it.
  void ForgeJournalAgainstTheVictim() {
    WriteFile(StagedPathFor(victim, kToken), "attacker's bytes\n");
    Journal journal;
    journal.token = kToken;
    journal.entries = {{victim, ChecksumOf("the user's own bytes\n"),
                        ChecksumOf("attacker's bytes\n")}};
    ASSERT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
  }
  // A real interrupted commit of M.bas: its new bytes staged, old kept.
  std::string InterruptCommitOfTheModule() {
    std::string converted = std::string("'*** converted\r\n") + kModule;
    WriteFile(StagedPathFor(module, kToken), converted);
    WriteFile(BackupPathFor(module, kToken), kModule);
    Journal journal;
    journal.token = kToken;
    journal.entries = {{module, ChecksumOf(kModule), ChecksumOf(converted)}};
    EXPECT_FALSE(WriteJournal(JournalPathFor(project_file), journal));
    return converted;
  }

  testing::ScratchDir root, temp, home;
  std::string folder, victim, module, project_file;
};

TEST_F(UntrustedProjectTest, AForgedJournalReachesNothingOutsideTheProject) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{"convert", "--from", "2", folder},
        std::vector<std::string>{"recover", folder}}) {
    ForgeJournalAgainstTheVictim();
    auto project_before = Snapshot(folder);
    auto run = Run(args);
    EXPECT_EQ(run.status, 1) << args[0] << ": " << run.err;
    EXPECT_EQ(ReadFile(victim), "the user's own bytes\n") << args[0];
    EXPECT_TRUE(FileExists(StagedPathFor(victim, kToken)));
    EXPECT_NE(run.err.find("which the project does not list"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("vireo-migrate recover --discard"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(module), kModule) << "nothing is converted while the journal is in doubt";
    EXPECT_FALSE(FileExists(JournalPathFor(project_file)));
    EXPECT_TRUE(FileExists(JournalPathFor(project_file) + ".rejected"));
    for (const auto& [path, bytes] : project_before) {
      if (path.find(".vr5journal") == std::string::npos) {
        EXPECT_EQ(ReadFile(path), bytes) << path;
      }
    }

    auto discard = Run({"recover", "--discard", folder});
    EXPECT_EQ(discard.status, 0) << discard.err;
    EXPECT_NE(discard.out.find("Removed " + JournalPathFor(project_file) + ".rejected"),
              std::string::npos)
        << discard.out;
    EXPECT_EQ(ReadFile(victim), "the user's own bytes\n");
  }
  // Once the journal is out of the way, the project converts as any other.
  auto again = Run({"convert", "--from", "2", folder});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(ReadFile(module).find("ORYX"), std::string::npos);
  EXPECT_EQ(ReadFile(victim), "the user's own bytes\n");
}

TEST_F(UntrustedProjectTest, ADryRunNeverRecoversAndRefusesWhileAJournalWaits) {
  ForgeJournalAgainstTheVictim();
  auto before = Snapshot(root.path());
  auto run = Run({"convert", "--diff", "--from", "2", folder});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("run `vireo-migrate recover"), std::string::npos) << run.err;
  EXPECT_EQ(Snapshot(root.path()), before);

  std::filesystem::remove(JournalPathFor(project_file));
  std::string converted = InterruptCommitOfTheModule();
  before = Snapshot(root.path());
  run = Run({"convert", "--dry-run", "--from", "2", folder});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(Snapshot(root.path()), before);
  EXPECT_EQ(Run({"recover", folder}).status, 0);
  EXPECT_EQ(ReadFile(module), converted);
}

TEST_F(UntrustedProjectTest, ADryRunWorksWhereNoLockCanBeMade) {
  // A folder in the lock's place makes the lock impossible, as a read-only
  // folder would for a user other than root.
  std::filesystem::create_directory(project_file + ".vr5lock");
  auto before = Snapshot(root.path());
  auto run = Run({"convert", "--dry-run", "--from", "2", folder});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("M.bas"), std::string::npos) << run.out;
  EXPECT_EQ(Snapshot(root.path()), before);
  EXPECT_EQ(testing::CountFilesWithPrefix(temp.path(), "vr5"), 0);
}

TEST_F(UntrustedProjectTest, PlantedLinksUnderOurNamesAreNeverFollowed) {
  ::chmod(victim.c_str(), 0604);
  for (const char* name : {".M.bas.vr5new", ".M.bas.vr5old", ".F.frm.vr5new", ".F.frx.vr5old",
                           "P.vbp.vr5journal.next"})
    std::filesystem::create_symlink(victim, folder + "/" + name);
  auto run = Run({"convert", "--from", "2", folder});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(victim), "the user's own bytes\n");
  EXPECT_FALSE(std::filesystem::is_symlink(module));
  EXPECT_NE(ReadFile(module).find("ORYX"), std::string::npos);
  struct stat st{};
  ::stat(victim.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0604u);
  for (const char* name : {".M.bas.vr5new", ".M.bas.vr5old", ".F.frm.vr5new", ".F.frx.vr5old"})
    EXPECT_TRUE(std::filesystem::is_symlink(folder + "/" + name)) << name << " is not ours to delete";

  // A link in the lock's place is refused, not followed.
  std::filesystem::create_symlink(victim, project_file + ".vr5lock");
  WriteFile(module, kModule);
  auto locked = Run({"convert", "--from", "2", folder});
  EXPECT_EQ(locked.status, 2) << locked.err;
  EXPECT_NE(locked.err.find(project_file + ".vr5lock"), std::string::npos) << locked.err;
  EXPECT_EQ(ReadFile(victim), "the user's own bytes\n");
}

TEST_F(UntrustedProjectTest, FilesOutsideTheFolderAreWrittenOnlyWhenTheyChangeAndAreNamedFirst) {
  std::string plain = root.Write("elsewhere/outside.txt", "no grid here\nat all\n");
  std::string shared = root.Write("shared/Grids.bas", kModule);
  WriteFile(project_file, CrLf({"Form=F.frm", "Module=M; M.bas", "Module=O; ..\\elsewhere\\outside.txt",
                                "Module=G; ..\\project\\..\\shared\\Grids.bas", kVireo40Line}));
  Ino before = InodeOf(plain);
  auto dry = Run({"convert", "--dry-run", "--from", "2", folder});
  ASSERT_EQ(dry.status, 0) << dry.err;
  std::string shared_full = std::filesystem::weakly_canonical(shared).string();
  EXPECT_NE(dry.out.find("outside the project's folder will be changed:\n  " + shared_full),
            std::string::npos)
      << dry.out;

  auto run = Run({"convert", "--from", "2", "--report", home.Join("r.json"), folder});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(plain), "no grid here\nat all\n") << "no line ends rewritten";
  EXPECT_EQ(InodeOf(plain), before);
  EXPECT_NE(ReadFile(shared).find("ORYX"), std::string::npos);
  EXPECT_NE(run.err.find("  " + shared_full + "\n"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("outside.txt\n"), std::string::npos) << run.err;
  std::string report = ReadFile(home.Join("r.json"));
  EXPECT_NE(report.find("\"outside_project\": [\n    \"" + shared_full + "\"\n  ]"),
            std::string::npos)
      << report;
}

TEST_F(UntrustedProjectTest, AMovedInterruptedProjectRecoversWhereItIsNow) {
  std::string converted = InterruptCommitOfTheModule();
  std::string moved = root.Join("moved");
  std::filesystem::rename(folder, moved);
  auto run = Run({"recover", moved});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("was finished"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(moved + "/M.bas"), converted);
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(testing::CountFilesWithPrefix(moved, ".M.bas"), 0);
}

TEST_F(UntrustedProjectTest, AnEditMadeAfterTheCrashIsKeptAndSaid) {
  InterruptCommitOfTheModule();
  WriteFile(module, "' edited after the crash\r\n");
  auto run = Run({"recover", folder});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find(module + " holds neither its old nor its converted content"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFile(module), "' edited after the crash\r\n");
  EXPECT_EQ(ReadFile(BackupPathFor(module, kToken)), kModule);
  EXPECT_FALSE(FileExists(JournalPathFor(project_file)));
}

TEST_F(UntrustedProjectTest, AByteOrderMarkOnTheProjectFileHidesNothing) {
  WriteFile(project_file, "\xEF\xBB\xBF" + CrLf({"Form=F.frm", "Module=M; M.bas", kVireo40Line}));
  auto run = Run({"convert", folder});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(root.Join("project/F.frx")), Record(GuidBytes(5, "CLSID_MsPlover"), 6));
  EXPECT_EQ(ReadFile(project_file),
            "\xEF\xBB\xBF" + CrLf({"Form=F.frm", "Module=M; M.bas", testing::kProLine}));
}

}  // namespace
}  // namespace vireo
