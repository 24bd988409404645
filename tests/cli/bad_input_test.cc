// Bad input of every kind: each gives a clear error naming the file, exit
// status 1 or 2, and leaves every original byte-identical.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "base/file_system.h"
#include "engine/catalogue/grid_catalogue.h"
#include "support/frx_builder.h"
#include "support/reference_lines.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::kVireo40Line;

using testing::CrLf;
using testing::GuidBytes;
using testing::Record;

// A literal's bytes, NUL bytes included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

class BadInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    WriteForm("\"F.frx\":0000", Record(GuidBytes(2, "CLSID_MsPlover"), 6));
    project.Write("M.bas", "Dim S As VireoCore.StyleDisp\r\n");
    project.Write("P.vbp", CrLf({"Form=F.frm", "Module=M; M.bas", kVireo40Line}));
  }
  void WriteForm(const std::string& blob_value, const std::string& frx) {
    project.Write("F.frm",
                  CrLf({"Begin VB.Form F", "   Begin VireoCore.VireoCtl G",
                        ("      OleObjectBlob = " + blob_value).c_str(), "   End", "End"}));
    project.Write("F.frx", frx);
  }
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(project.path()))
      if (entry.is_regular_file()) files[entry.path()] = testing::ReadFile(entry.path());
    return files;
  }
  std::map<std::string, std::string> Environment() const {
    return {{"TMPDIR", temp_dir},
            {"WINEPREFIX", ""},
            {"HOME", "/nonexistent"},
            {"LC_ALL", "C"},
            {"TERM", "dumb"}};
  }
  // Runs a conversion and checks the status, the file named and that nothing changed.
  void ExpectRefused(int status, const std::string& says, const std::string& target = "") {
    auto before = Snapshot();
    // Killed, not stopped, after a minute: a run that waits for ever fails the test.
    auto run = testing::RunProgram("/usr/bin/timeout",
                                   {"-s", "KILL", "60", VIREO_MIGRATE_BINARY, "convert",
                                    target.empty() ? project.path() : target},
                                   Environment());
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_NE(run.err.find(says), std::string::npos) << "wanted: " << says << "\ngot: " << run.err;
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(testing::CountFilesWithPrefix(temp_dir, "vr5"), 0);
  }

  testing::ScratchDir project, scratch;
  std::string temp_dir = scratch.path();
};

TEST_F(BadInputTest, UnreadableProjects) {
  ExpectRefused(2, "no such project file or folder", project.Join("missing.vbp"));
  std::filesystem::create_directories(project.Join("Folder.vbp"));
  ExpectRefused(2, "holds no .vbp or .mak project file", project.Join("Folder.vbp"));
  project.Write("Junk.vbp", Bytes("\x7f"
                                  "ELF\0\0\x01\x02 binary"));
  ExpectRefused(2, "Junk.vbp: is not a project file", project.Join("Junk.vbp"));
  project.Write("Words.vbp", "just some words\nno settings here\n");
  ExpectRefused(2, "Words.vbp: is not a project file", project.Join("Words.vbp"));
}

TEST_F(BadInputTest, ModulesThatCannotBeConverted) {
  project.Write("P.vbp", CrLf({"Module=X; Gone.bas", kVireo40Line}));
  ExpectRefused(1, "P.vbp: a listed file is missing: Gone.bas; nothing was changed");
  std::filesystem::create_directories(project.Join("Dir.bas"));
  project.Write("P.vbp", CrLf({"Module=M; M.bas", "Module=X; Dir.bas", kVireo40Line}));
  ExpectRefused(1, "Dir.bas: cannot be opened");
  project.Write("P.vbp", CrLf({"Module=M; M.bas", kVireo40Line}));
  project.Write("M.bas", "Dim S As VireoCore.StyleDisp _");
  ExpectRefused(1, "M.bas: ends inside the continued line that begins at line 1");
  if (::geteuid() != 0) {
    project.Write("M.bas", "x\r\n");
    ::chmod(project.Join("M.bas").c_str(), 0);
    ExpectRefused(1, "M.bas: cannot be opened");
  }
}

// Files are converted two at a time: a failure among many still names the
// first file that failed, in the project's order, and leaves nothing.
TEST_F(BadInputTest, OneBadFileAmongManyFailsTheRunAtThatFile) {
  std::vector<std::string> lines{"Form=F.frm"};
  for (int i = 0; i < 12; ++i) {
    std::string name = "M" + std::to_string(i) + ".bas";
    bool bad = i == 5 || i == 9;
    project.Write(name, std::string(20000, '\'') + "\r\n" +
                            (bad ? "Dim S As VireoCore.StyleDisp _" : "Dim S As VireoCore.Columns\r\n"));
    lines.push_back("Module=M" + std::to_string(i) + "; " + name);
  }
  lines.push_back(kVireo40Line);
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  project.Write("P.vbp", text);
  ExpectRefused(1, "M5.bas: ends inside the continued line that begins at line 2");
  EXPECT_EQ(testing::CountFilesWithPrefix(project.path(), "."), 0);
}

TEST_F(BadInputTest, BinaryRecordsThatAreMalformed) {
  std::string guid = GuidBytes(2, "CLSID_MsPlover");
  struct Case {
    std::string value;
    std::string frx;
    std::string says;
  };
  const Case cases[] = {
      {"\"F.frx\":0000", Record(guid, 6, 0), "payload length 0 is below 1"},
      {"\"F.frx\":0000", Record(guid, 6, 400), "past the end of the file"},
      {"\"F.frx\":0000", Record(guid, 4), "header length 4 is below 6"},
      {"\"F.frx\":0400", Record(guid, 6), "header lies past the end of the file"},
      {"\"F.frx\":00G0", Record(guid, 6), "F.frm: line 3 names no valid record offset"},
      {"\"F.frx\":0000", "ab", "header lies past the end of the file"},
  };
  for (const Case& c : cases) {
    WriteForm(c.value, c.frx);
    ExpectRefused(1, c.says);
    ExpectRefused(1, "Error converting file: " + project.Join("F.frm"));
  }
}

TEST_F(BadInputTest, EveryMissingFileIsNamedInOneMessageWithOneExitStatus) {
  std::filesystem::remove(project.Join("F.frx"));
  ExpectRefused(1, "P.vbp: a listed file is missing: F.frx (named by F.frm); nothing was changed");
  project.Write("P.vbp",
                CrLf({"Form=F.frm", "Module=X; Gone.bas", "Class=C; Sub\\Gone.cls", kVireo40Line}));
  ExpectRefused(1,
                "P.vbp: 3 listed files are missing: F.frx (named by F.frm), Gone.bas, "
                "Sub/Gone.cls; nothing was changed");
}

// A dry run that keeps no copies still fails where copying would.
TEST_F(BadInputTest, ABinaryFileThatCannotBeReadFailsEveryKindOfRun) {
  std::filesystem::remove(project.Join("F.frx"));
  std::filesystem::create_directories(project.Join("F.frx"));
  for (std::vector<std::string> extra :
       {std::vector<std::string>{}, {"--dry-run"}, {"--dry-run", "--diff"}}) {
    std::vector<std::string> args{"convert", "--quiet", project.path()};
    args.insert(args.end(), extra.begin(), extra.end());
    auto run = testing::RunProgram(VIREO_MIGRATE_BINARY, args, Environment());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("F.frx: cannot be copied"), std::string::npos) << run.err;
  }
}

TEST_F(BadInputTest, OnlyTheFormsDescriptionNamesItsBinaryFile) {
  std::filesystem::remove(project.Join("F.frx"));
  // Code that speaks of a binary file is not a property that needs one.
  project.Write("F.frm",
                CrLf({"Begin VB.Form F", "   Caption = \"F\"", "End", "Attribute VB_Name = \"F\"",
                      "' was \"F.frx\":0000 once", "Dim S As VireoCore.StyleDisp"}));
  auto run = testing::RunProgram(VIREO_MIGRATE_BINARY, {"convert", "--quiet", project.path()},
                                 Environment());
  EXPECT_EQ(run.status, 0) << run.err;
  // An attribute line after the description still counts, as do nested blocks.
  project.Write("F.frm", CrLf({"Begin VB.Form F", "   BeginProperty Font", "   EndProperty",
                               "   Begin VB.Label L", "   End", "End", "Attribute VB_Name = \"F\"",
                               "Attribute VB_Exposed = \"F.frx\":0000"}));
  ExpectRefused(1, "P.vbp: a listed file is missing: F.frx (named by F.frm); nothing was changed");
}

TEST_F(BadInputTest, ListedFormsThatAreMissingOrFolders) {
  project.Write("P.vbp", CrLf({"Form=F.frm", "Form=Gone.frm", "Module=M; M.bas", kVireo40Line}));
  std::filesystem::create_directories(project.Join("Gone.frm"));
  ExpectRefused(2, project.Join("Gone.frm") + ": the listed form is a folder");
  std::filesystem::remove(project.Join("Gone.frm"));
  // A .frx beside a missing form (found ignoring case) means the form was lost.
  testing::WriteFile(project.Join("GONE.FRX"), Record(GuidBytes(2, "CLSID_MsPlover"), 6));
  ExpectRefused(1, "a listed file is missing: Gone.frm (its binary file GONE.FRX is there)");
  std::filesystem::remove(project.Join("GONE.FRX"));

  // Missing with nothing beside it: said, reported, and the run goes on.
  std::string report = scratch.Join("report.json");
  auto run = testing::RunProgram(VIREO_MIGRATE_BINARY,
                                 {"convert", "--quiet", "--report", report, project.path()},
                                 Environment());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, project.Join("Gone.frm") + ": the listed form is missing; it is skipped\n");
  std::string json = testing::ReadFile(report);
  EXPECT_NE(
      json.find("\"path\": \"" + project.Join("Gone.frm") + "\",\n      \"result\": \"missing\""),
      std::string::npos)
      << json;
  EXPECT_NE(json.find("\"path\": \"" + project.Join("F.frm")), std::string::npos) << json;
  EXPECT_NE(json.find("\"outcome\": \"converted\""), std::string::npos) << json;
}

// The file layer refuses to open a FIFO instead of waiting for a writer:
// checked in a child that is ended if it waits.
bool OpeningAFifoReturns(const std::string& fifo) {
  std::fflush(nullptr);
  pid_t child = ::fork();
  if (child == 0) {
    ::alarm(5);
    FileHandle file;
    std::_Exit(PlatformFileSystem().Open(fifo, OpenFor::kRead, &file) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(BadInputTest, AFifoListedAsAModuleFailsWithoutWaiting) {
  ASSERT_EQ(::mkfifo(project.Join("Pipe.bas").c_str(), 0644), 0);
  ASSERT_TRUE(OpeningAFifoReturns(project.Join("Pipe.bas")))
      << "the file layer waits for a writer when it opens a FIFO";
  project.Write("P.vbp", CrLf({"Module=M; M.bas", "Module=P; Pipe.bas", kVireo40Line}));
  ExpectRefused(1, "Pipe.bas: cannot be opened (not a regular file");
}

TEST_F(BadInputTest, AProjectFolderWhoseNameHoldsABackslash) {
  testing::ScratchDir outer;
  std::string folder = outer.Join("Old\\VB4");
  outer.Write("Old\\VB4/M.bas", "Dim S As VireoCore.StyleDisp\r\n");
  outer.Write("Old\\VB4/Sub/N.bas", "Dim S As VireoCore.StyleDisp\r\n");
  outer.Write("Old\\VB4/P.vbp", CrLf({"Module=M; M.bas", "Module=N; sub\\N.bas", kVireo40Line}));
  auto run =
      testing::RunProgram(VIREO_MIGRATE_BINARY, {"convert", "--quiet", folder}, Environment());
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* module : {"/M.bas", "/Sub/N.bas"}) {
    EXPECT_EQ(testing::ReadFile(folder + module),
              "'*** ORYX Migration Utility Code Change ***\r\n'Dim S As VireoCore.StyleDisp\r\n"
              "Dim S As VireoCore45.StyleDisp\r\n")
        << module;
  }
}

TEST_F(BadInputTest, NulBytesInTextFiles) {
  project.Write("M.bas", Bytes("Dim A\r\nDim S As VireoCore.X\0\r\n"));
  ExpectRefused(1, "M.bas: line 2 holds a NUL byte");
  project.Write("M.bas", "x\r\n");
  project.Write("F.frm", Bytes("Begin VB.Form F\r\n\0End\r\n"));
  ExpectRefused(1, "F.frm: line 2 holds a NUL byte");
  project.Write("P.vbp", Bytes("Form=F.frm\r\nName=\"P\0\"\r\n"));
  ExpectRefused(2, "P.vbp: is not a project file (line 2 holds a NUL byte)");
}

TEST_F(BadInputTest, ReadOnlyFilesAndFolders) {
  ::chmod(project.Join("M.bas").c_str(), 0444);
  ExpectRefused(1, "M.bas: is read-only");
  auto dry_run = testing::RunProgram(VIREO_MIGRATE_BINARY, {"convert", "--dry-run", project.path()},
                                     Environment());
  EXPECT_EQ(dry_run.status, 1) << "a dry run gives the real run's exit status";
  ::chmod(project.Join("M.bas").c_str(), 0644);
  ::chmod(project.path().c_str(), 0555);
  ExpectRefused(1, "is read-only");
  ::chmod(project.path().c_str(), 0755);
}

// A dry run keeps its copies in the temporary folder; a real run writes
// them beside the originals and needs none.
// Only a diff needs the converted copies; a dry run that counts writes none.
TEST_F(BadInputTest, AMissingTemporaryFolderStopsOnlyADryRunThatShowsItsDiff) {
  temp_dir = scratch.Join("no-such-folder");
  auto before = Snapshot();
  auto dry = testing::RunProgram(VIREO_MIGRATE_BINARY,
                                 {"convert", project.path(), "--dry-run", "--diff"}, Environment());
  EXPECT_EQ(dry.status, 1) << dry.err;
  EXPECT_NE(dry.err.find("cannot create a temporary file in " + temp_dir), std::string::npos)
      << dry.err;
  EXPECT_EQ(Snapshot(), before);
  auto counted = testing::RunProgram(VIREO_MIGRATE_BINARY, {"convert", project.path(), "--dry-run"},
                                     Environment());
  EXPECT_EQ(counted.status, 0) << counted.err;
  EXPECT_NE(counted.out.find("changed   M.bas: 1 line changed"), std::string::npos) << counted.out;
  EXPECT_EQ(Snapshot(), before);
  auto real = testing::RunProgram(VIREO_MIGRATE_BINARY, {"convert", project.path()}, Environment());
  EXPECT_EQ(real.status, 0) << real.err;
  EXPECT_NE(testing::ReadFile(project.Join("M.bas")).find("VireoCore45.StyleDisp"),
            std::string::npos);
  EXPECT_EQ(Snapshot().size(), before.size()) << "a copy was left beside an original";
}

TEST_F(BadInputTest, HighBytesAndHugeLinesConvertExactly) {
  std::string latin =
      "' Gr\xfc\xdf"
      "e \xa9 \x80\xff\r\nDim S As VireoCore.StyleDisp ' \xe9\r\n";
  project.Write("M.bas", latin);
  std::string huge = "Dim S As VireoCore.StyleDisp ' " + std::string(10 * 1024 * 1024, 'x');
  project.Write("Big.bas", huge + "\r\n");
  project.Write("P.vbp",
                CrLf({"Form=F.frm", "Module=M; M.bas", "Module=B; Big.bas", kVireo40Line}));
  auto run = testing::RunProgram(VIREO_MIGRATE_BINARY, {"convert", "--quiet", project.path()},
                                 Environment());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::ReadFile(project.Join("M.bas")),
            "' Gr\xfc\xdf"
            "e \xa9 \x80\xff\r\n'*** ORYX Migration Utility Code Change ***\r\n"
            "'Dim S As VireoCore.StyleDisp ' \xe9\r\nDim S As VireoCore45.StyleDisp ' \xe9\r\n");
  std::string big = testing::ReadFile(project.Join("Big.bas"));
  EXPECT_EQ(big.size(), 2 * huge.size() + 1 + 45 + 6);
}

}  // namespace
}  // namespace vireo
