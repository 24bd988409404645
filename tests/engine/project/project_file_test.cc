#include "engine/project/project_file.h"

#include <gtest/gtest.h>

#include "engine/catalogue/grid_catalogue.h"
#include "engine/project/project.h"
#include "host/posix/path_resolver_posix.h"
#include "support/converter_work.h"
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
    EXPECT_EQ(RewriteFile(path, from, to), expected) << run->result.failure_reason;
    EXPECT_EQ(testing::OriginalsOf(*run), std::vector<std::string>{path});
    return testing::ReadFile(run->result.copies.at(0).copy);
  }

  int16_t RewriteFile(const std::string& path, int16_t from, int16_t to) {
    Project listed;
    std::string problem;
    EXPECT_TRUE(ReadProject(path, PosixPathResolver(), &listed, &problem)) << problem;
    return RewriteProjectFile(*run, listed, from, to);
  }

  testing::ScratchDir project, temp_dir;
  testing::ConverterWork work;
  std::unique_ptr<FileWork> run = work.Fresh();
};

TEST_F(ProjectFileTest, TheSourceReferenceBecomesTheTargetWhereverTheTargetStood) {
  EXPECT_EQ(Rewrite(CrLf({"Form=Form1.frm", kProLine, kVireo40Line, "Module=M; M.bas"}), kChanged),
            CrLf({"Form=Form1.frm", kProLine, "Module=M; M.bas"}));
  run = work.Fresh();
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
  run = work.Fresh();
  const char other_version[] = "Object={7D4E5B23-1A2C-11CF-8E41-00805F2C6A19}#4.6#0; NEW.OCX";
  const char eval[] = "Object={3F6A907B-5C17-11D0-A3B8-0060974E21D5}#4.5#0; EVIR5_32.OCX";
  EXPECT_EQ(Rewrite(CrLf({kProLine, eval, other_version}), kUnchanged),
            CrLf({kProLine, eval, other_version}));
}

TEST_F(ProjectFileTest, TargetReferencesOnBothSidesOfTheSourceGo) {
  EXPECT_EQ(Rewrite(CrLf({kProLine, "Form=F.frm", kVireo40Line, kProLine}), kChanged),
            CrLf({"Form=F.frm", kProLine}));
}

// Whether a source reference follows a target reference is known from the
// project as read: the rewrite opens the file once.
TEST_F(ProjectFileTest, LookingAheadForTheSourceReferenceReadsTheFileOnce) {
  std::string path = project.Write("Project1.vbp", CrLf({kProLine, kVireo40Line}));
  Project listed;
  std::string problem;
  ASSERT_TRUE(ReadProject(path, PosixPathResolver(), &listed, &problem)) << problem;
  testing::FaultyFileSystem watcher;
  watcher.Watch("Open", "Project1.vbp");
  ScopedFileSystem scope(watcher);
  ASSERT_EQ(RewriteProjectFile(*run, listed, 2, 5), kChanged);
  EXPECT_GT(watcher.first_watched(), 0);
  EXPECT_EQ(watcher.last_watched(), watcher.first_watched());
  EXPECT_EQ(testing::ReadFile(run->result.copies.at(0).copy), CrLf({kProLine}));
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
  run = work.Fresh();
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
    std::string path = project.Write("P/Project1.vbp", content), problem;
    EXPECT_TRUE(ReadProject(path, PosixPathResolver(), &listed, &problem)) << problem;
    return listed.CodeFiles();
  }
  testing::ScratchDir project;
  Project listed;
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
  std::string problem;
  ASSERT_TRUE(ReadProject(path, PosixPathResolver(project.Join("prefix")), &listed, &problem));
  EXPECT_EQ(listed.CodeFiles(),
            std::vector<std::string>{project.Join("prefix/dosdevices/d:/Dir/Mod.bas")});
}

TEST_F(ScanTest, AnUnreadableProjectFileIsReported) {
  std::string problem;
  EXPECT_FALSE(ReadProject(project.Join("none.vbp"), PosixPathResolver(), &listed, &problem));
  EXPECT_NE(problem.find("none.vbp: cannot open the project file"), std::string::npos);
}

TEST_F(ScanTest, EveryComponentKindWithItsNameLineAndSideFile) {
  Scan(CrLf({"Type=Exe", "Form=F.frm", "UserControl=U.ctl", "userdocument=D.dob",
             "PropertyPage=P.pag", "Module=Mod1; M.bas", "Class=Cls; C.cls", "Designer=R.dsr",
             "Reference=*\\G{00020430-0000-0000-C000-000000000046}#2.0#0#stdole2.tlb",
             kVireo40Line}));
  ASSERT_EQ(listed.components.size(), 7u);
  std::vector<std::string> sides;
  for (const ProjectComponent& c : listed.components) sides.push_back(c.SideExtension());
  EXPECT_EQ(sides, (std::vector<std::string>{".frx", ".ctx", ".dox", ".pgx", "", "", ""}));
  EXPECT_EQ(listed.components[4].name, "Mod1");
  EXPECT_EQ(listed.components[4].written, "M.bas");
  EXPECT_EQ(listed.components[4].line, 6);
  EXPECT_EQ(listed.components[6].kind, ComponentKind::kDesigner);
  EXPECT_FALSE(listed.components[6].IsCode() || listed.components[6].IsFormLike());
  EXPECT_EQ(listed.FormLikeFiles().size(), 4u);
  EXPECT_EQ(listed.references, std::set<int16_t>{2});
  EXPECT_TRUE(listed.has_setting);
}

TEST_F(ScanTest, ANulByteIsRefusedWithItsLine) {
  std::string path =
      project.Write("P/Project1.vbp", std::string("Type=Exe\r\nForm=F\0.frm\r\n", 23));
  std::string problem;
  EXPECT_FALSE(ReadProject(path, PosixPathResolver(), &listed, &problem));
  EXPECT_NE(problem.find("Project1.vbp: is not a project file (line 2 holds a NUL byte)"),
            std::string::npos)
      << problem;
}

}  // namespace
}  // namespace vireo
