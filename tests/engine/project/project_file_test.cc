#include "engine/project/project_file.h"

#include <gtest/gtest.h>

#include "engine/catalogue/grid_catalogue.h"
#include "host/posix/path_resolver_posix.h"
#include "support/faulty_file_system.h"
#include "support/reference_lines.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::kProLine;
using testing::kVireo40Line;

using testing::CrLf;

class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  std::string Rewrite(const std::string& content, int16_t expected, int16_t from = 2,
                      int16_t to = 5) {
    std::string path = project.Write("Project1.vbp", content);
    EXPECT_EQ(RewriteProjectFile(run, path, from, to), expected) << run.failure_reason;
    EXPECT_EQ(run.OriginalFiles, std::vector<std::string>{path});
    return testing::ReadFile(run.TempFiles.at(0));
  }

  testing::ScratchDir project, temp_dir;
  ConversionRun run;
};

TEST_F(ProjectFileTest, TheSourceReferenceBecomesTheTargetWhereverTheTargetStood) {
  EXPECT_EQ(Rewrite(CrLf({"Form=Form1.frm", kProLine, kVireo40Line, "Module=M; M.bas"}), kChanged),
            CrLf({"Form=Form1.frm", kProLine, "Module=M; M.bas"}));
  run = ConversionRun();
  EXPECT_EQ(Rewrite(CrLf({kVireo40Line, "Form=Form1.frm", kProLine}), kChanged),
            CrLf({kProLine, "Form=Form1.frm"}));
}

TEST_F(ProjectFileTest, ASecondSourceReferenceStays) {
  const char other_version[] = "Object={7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.1#0; OLD.OCX";
  EXPECT_EQ(Rewrite(CrLf({kVireo40Line, other_version}), kChanged),
            CrLf({kProLine, other_version}));
}

TEST_F(ProjectFileTest, WithoutASourceReferenceTargetReferencesStay) {
  EXPECT_EQ(Rewrite("Form=F.frm\n" + std::string(kProLine) + "\n", kUnchanged),
            CrLf({"Form=F.frm", kProLine}));
  run = ConversionRun();
  const char other_version[] = "Object={7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.6#0; NEW.OCX";
  const char eval[] = "Object={3F6A907B-5C17-11D0-A3B8-0060974E21D5}#4.5#0; EVIR5_32.OCX";
  EXPECT_EQ(Rewrite(CrLf({kProLine, eval, other_version}), kUnchanged),
            CrLf({kProLine, eval, other_version}));
}

TEST_F(ProjectFileTest, TargetReferencesOnBothSidesOfTheSourceGo) {
  EXPECT_EQ(Rewrite(CrLf({kProLine, "Form=F.frm", kVireo40Line, kProLine}), kChanged),
            CrLf({"Form=F.frm", kProLine}));
}

TEST_F(ProjectFileTest, LookingAheadForTheSourceReferenceCanFail) {
  std::string path = project.Write("Project1.vbp", CrLf({kProLine, kVireo40Line}));
  int second_open = 0;
  {
    testing::FaultyFileSystem watcher;
    watcher.Watch("Open", "Project1.vbp");
    ScopedFileSystem scope(watcher);
    ASSERT_EQ(RewriteProjectFile(run, path, 2, 5), kChanged);
    second_open = watcher.last_watched();
    ASSERT_GT(second_open, watcher.first_watched());
  }
  run = ConversionRun();
  testing::FaultyFileSystem faulty;
  faulty.FailNth(second_open, std::errc::io_error);
  ScopedFileSystem scope(faulty);
  EXPECT_EQ(RewriteProjectFile(run, path, 2, 5), kFailed);
  EXPECT_NE(run.failure_reason.find("Project1.vbp: cannot be opened again"), std::string::npos)
      << run.failure_reason;
}

TEST_F(ProjectFileTest, SameSourceAndTargetKeepsOneReference) {
  const char lower[] = "object={7d4e5b23-1a2c-11cf-8e41-00805f2c6a19}#4.0#0; vira5_32.ocx";
  EXPECT_EQ(Rewrite(CrLf({"Form=F.frm", lower, kProLine}), kChanged, 5, 5),
            CrLf({"Form=F.frm", kProLine}));
}

TEST_F(ProjectFileTest, ReferenceLinesAreRecognisedIgnoringCaseButNotWithBlanks) {
  EXPECT_EQ(
      Rewrite(CrLf({"object={7d4e5b34-1a2c-11cf-8e41-00805f2c6a19}#4.0#0; vira32.ocx"}), kChanged),
      CrLf({kProLine}));
  run = ConversionRun();
  const char spaced[] = "Object = {7D4E5B34-1A2C-11CF-8E41-00805F2C6A19}#4.0#0; VIRA32.OCX";
  EXPECT_EQ(Rewrite(CrLf({spaced}), kUnchanged), CrLf({spaced}));
}

TEST_F(ProjectFileTest, ObjectLineOfEachRow) {
  EXPECT_EQ(ObjectLineFor(5), kProLine);
  EXPECT_EQ(ObjectLineFor(1), "Object={7D4E5B14-1A2C-11CF-8E41-00805F2C6A19}#1.0#0; PLOVER32.OCX");
  EXPECT_TRUE(IsObjectLineFor("Object={3F6A907B-5C17-11D0-A3B8-0060974E21D5}", 6));
  EXPECT_FALSE(IsObjectLineFor("Object={3F6A907B-5C17-11D0-A3B8-0060974E21D", 6));
  EXPECT_FALSE(IsObjectLineFor(kProLine, 6));
}

TEST(ProjectDirectoryTest, UpToTheLastSeparator) {
  EXPECT_EQ(ProjectDirectory("C:\\P\\Project1.vbp"), "C:\\P\\");
  EXPECT_EQ(ProjectDirectory("/home/u/p/Project1.vbp"), "/home/u/p/");
  EXPECT_EQ(ProjectDirectory("Project1.vbp"), "Project1.vbp");
  EXPECT_EQ(Braced("x"), "{x}");
}

TEST(FrxOffsetTest, HexAfterTheLastColon) {
  int32_t offset = -1;
  EXPECT_TRUE(FrxOffset("\"Form1.frx\":02A4", &offset));
  EXPECT_EQ(offset, 676);
  EXPECT_TRUE(FrxOffset("OleObjectBlob = \"C:\\x.frx\":a:0010  ", &offset));
  EXPECT_EQ(offset, 16);
  EXPECT_TRUE(FrxOffset("no colon at all", &offset));
  EXPECT_EQ(offset, 0);
  EXPECT_TRUE(FrxOffset("x: 7FFFFFFF", &offset));
  EXPECT_EQ(offset, 0x7FFFFFFF);
  for (const char* bad :
       {"x:", "x:  ", "x:80000000", "x:123456789", "x:12G4", "x:-10", "x:&H10", "x:1 2"}) {
    EXPECT_FALSE(FrxOffset(bad, &offset)) << bad;
  }
}

class ScanTest : public ::testing::Test {
 protected:
  void SetUp() override { FillGridCatalogue(); }
  std::vector<std::string> Scan(const std::string& content) {
    std::string path = project.Write("P/Project1.vbp", content);
    EXPECT_TRUE(ScanProjectFile(run, path, PosixPathResolver()));
    return run.ModuleFiles;
  }
  testing::ScratchDir project;
  ConversionRun run;
};

TEST_F(ScanTest, ModulesAndClassesInFileOrder) {
  project.Write("P/Sub/Module1.bas", "");
  project.Write("P/Class1.cls", "");
  std::string p = project.Join("P/");
  EXPECT_EQ(Scan("Form=F.frm\nmodule=Module1; Sub\\Module1.bas\r\nCLASS=Class1;  Class1.cls  \n"
                 "Module =X; x.bas\nModule=NoSemicolon\n"),
            (std::vector<std::string>{p + "Sub/Module1.bas", p + "Class1.cls",
                                      p + "Module=NoSemicolon"}));
}

TEST_F(ScanTest, PathsAreFoundIgnoringCaseAndAbsolutePathsKept) {
  project.Write("P/SUB/module1.BAS", "");
  std::string shared = project.Write("Shared/Util.bas", "");
  EXPECT_EQ(Scan("Module=M; sub\\Module1.bas\nModule=U; " + project.Join("shared/UTIL.bas") +
                 "\nModule=D; Q:\\x.bas\n"),
            (std::vector<std::string>{project.Join("P/SUB/module1.BAS"), shared, "Q:/x.bas"}));
}

TEST_F(ScanTest, DriveLettersGoThroughTheWinePrefix) {
  std::string target = project.Write("drive/Dir/Mod.bas", "");
  project.Write("prefix/dosdevices/.keep", "");
  ASSERT_EQ(::symlink(project.Join("drive").c_str(), project.Join("prefix/dosdevices/d:").c_str()),
            0);
  std::string path = project.Write("P/Project1.vbp", "Module=M; D:\\dir\\MOD.bas\n");
  ASSERT_TRUE(ScanProjectFile(run, path, PosixPathResolver(project.Join("prefix"))));
  EXPECT_EQ(run.ModuleFiles,
            std::vector<std::string>{project.Join("prefix/dosdevices/d:/Dir/Mod.bas")});
}

TEST_F(ScanTest, AnUnreadableProjectFileIsReported) {
  EXPECT_FALSE(ScanProjectFile(run, project.Join("none.vbp"), PosixPathResolver()));
  EXPECT_NE(run.failure_reason.find("none.vbp: cannot open the project file"), std::string::npos);
}

}  // namespace
}  // namespace vireo
