// Runs over projects that share a file: each run holds the files it may
// replace until it ends, so runs started together take turns on a shared
// module, and a run that cannot have a file in time stops as busy having
// changed nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "base/file_system.h"
#include "support/reference_lines.h"
#include "support/run_program.h"
#include "support/test_files.h"

namespace vireo {
namespace {

using testing::ReadFile;

constexpr int kProjects = 8;

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}
constexpr auto& kModule = testing::kDeclarationModule;
constexpr auto& kConverted = testing::kDeclarationConverted;

class SharedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shared = root.Write("shared/Grids.bas", kModule);
    for (int i = 0; i < kProjects; ++i) {
      std::string name = "p" + std::to_string(i);
      root.Write(name + "/Own.bas", kModule);
      root.Write(name + "/P.vbp", std::string("Module=Grids; ..\\shared\\Grids.bas\r\n") +
                                      "Module=Own; Own.bas\r\n" + testing::kVireo40Line + "\r\n");
    }
  }
  std::map<std::string, std::string> Environment() const {
    return {{"TMPDIR", temp.path()}, {"HOME", temp.path()}, {"WINEPREFIX", ""},
            {"LC_ALL", "C"},         {"TERM", "dumb"}};
  }
  testing::ProgramRun Convert(const std::string& project, const std::string& wait) {
    return testing::RunProgram(VIREO_MIGRATE_BINARY,
                               {"convert", "--from", "2", "--wait", wait, root.Join(project)},
                               Environment());
  }
  // How many of the runs' reports say the shared module changed.
  int ReportsChangingTheSharedModule() const {
    int changed = 0;
    for (int i = 0; i < kProjects; ++i) {
      auto report = nlohmann::json::parse(ReadFile(root.Join("report" + std::to_string(i))));
      for (const auto& file : report["files"]) {
        std::string path = file["path"];
        if (path.find("Grids.bas") != std::string::npos && file["result"] == "changed") ++changed;
      }
    }
    return changed;
  }
  void ExpectNothingLeftBeside() const {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root.path())) {
      std::string name = entry.path().filename().string();
      EXPECT_NE(name[0], '.') << entry.path();
      EXPECT_EQ(name.find("vr5journal"), std::string::npos) << entry.path();
    }
  }

  testing::ScratchDir root, temp;
  std::string shared;
};

TEST_F(SharedFilesTest, EightRunsStartedTogetherAllSucceedAndConvertTheSharedModuleOnce) {
  std::string script;
  for (int i = 0; i < kProjects; ++i) {
    std::string n = std::to_string(i);
    script += "( '" + std::string(VIREO_MIGRATE_BINARY) + "' convert --quiet --from 2 --report '" +
              root.Join("report" + n) + "' '" + root.Join("p" + n) + "'; echo $? > '" +
              root.Join("status" + n) + "' ) &\n";
  }
  script += "wait\n";
  auto run = testing::RunProgram("/bin/sh", {"-c", script}, Environment());
  ASSERT_EQ(run.status, 0) << run.err;
  for (int i = 0; i < kProjects; ++i) {
    std::string n = std::to_string(i);
    EXPECT_EQ(ReadFile(root.Join("status" + n)), "0\n") << "run " << n << ": " << run.err;
    EXPECT_EQ(ReadFile(root.Join("p" + n + "/Own.bas")), kConverted);
  }
  EXPECT_EQ(ReadFile(shared), kConverted);
  EXPECT_EQ(ReportsChangingTheSharedModule(), 1);
  ExpectNothingLeftBeside();
}

TEST_F(SharedFilesTest, ARunGivesUpWaitingForAFileAnotherRunHoldsAndChangesNothing) {
  FileHandle hold = -1;
  ASSERT_FALSE(PlatformFileSystem().Hold(shared, &hold));
  auto run = Convert("p0", "1");
  PlatformFileSystem().Close(hold);
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(Occurrences(run.err, "waiting for another run to finish with"), 1) << run.err;
  EXPECT_NE(run.err.find("Grids.bas: another run is converting it; gave up waiting after 1 second"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFile(shared), kModule);
  EXPECT_EQ(ReadFile(root.Join("p0/Own.bas")), kModule);
  EXPECT_NE(ReadFile(root.Join("p0/P.vbp")).find(testing::kVireo40Line), std::string::npos);
  ExpectNothingLeftBeside();
}

TEST_F(SharedFilesTest, ARunWaitsUntilTheOtherRunLetsGo) {
  FileHandle hold = -1;
  ASSERT_FALSE(PlatformFileSystem().Hold(shared, &hold));
  auto run = std::async(std::launch::async, [&] { return Convert("p1", "30"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(ReadFile(shared), kModule) << "not read nor replaced while held";
  PlatformFileSystem().Close(hold);
  auto done = run.get();
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(ReadFile(shared), kConverted);
}

TEST_F(SharedFilesTest, ADryRunNeitherHoldsNorWaits) {
  FileHandle hold = -1;
  ASSERT_FALSE(PlatformFileSystem().Hold(shared, &hold));
  auto run = testing::RunProgram(
      VIREO_MIGRATE_BINARY, {"convert", "--dry-run", "--from", "2", "--wait", "0", root.Join("p2")},
      Environment());
  PlatformFileSystem().Close(hold);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("waiting"), std::string::npos);
}

// Project A and B share a module and B's own files need nothing: converting
// A first must still move B's reference, or B would reference the old
// library while its shared module uses the new one.
TEST_F(SharedFilesTest, AProjectWhoseSharedModuleWasConvertedFirstStillGetsItsReferenceMoved) {
  root.Write("p1/Own.bas", "Option Explicit\r\n");
  std::string before = ReadFile(root.Join("p1/P.vbp"));
  ASSERT_EQ(Convert("p0", "0").status, 0);
  ASSERT_EQ(ReadFile(shared), kConverted);
  auto second = Convert("p1", "0");
  EXPECT_EQ(second.status, 0) << second.err;
  std::string project = ReadFile(root.Join("p1/P.vbp"));
  EXPECT_EQ(project.find(testing::kVireo40Line), std::string::npos) << project;
  EXPECT_NE(project.find(testing::kProLine), std::string::npos) << project;
  EXPECT_EQ(ReadFile(root.Join("p1/Own.bas")), "Option Explicit\r\n");
  // The same bytes as when B is converted while its module is still old.
  std::string after_in_turn = project;
  testing::WriteFile(root.Join("p1/P.vbp"), before);
  testing::WriteFile(shared, kModule);
  ASSERT_EQ(Convert("p1", "0").status, 0);
  EXPECT_EQ(ReadFile(root.Join("p1/P.vbp")), after_in_turn);
}

TEST_F(SharedFilesTest, AProjectWhoseFilesUseNeitherTypeStaysNothingToConvert) {
  root.Write("p1/Own.bas", "Option Explicit\r\n");
  root.Write("shared/Grids.bas", "Dim S As String ' VireoCore45.StyleDisp\r\n'Dim T As VireoCore45.X\r\n");
  auto run = Convert("p1", "0");
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(ReadFile(root.Join("p1/P.vbp")).find(testing::kVireo40Line), std::string::npos);
}

}  // namespace
}  // namespace vireo
