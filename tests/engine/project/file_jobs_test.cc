#include "engine/project/file_jobs.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/catalogue/grid_catalogue.h"
#include "support/faulty_file_system.h"
#include "support/test_files.h"

namespace vireo {
namespace {

constexpr int16_t kVireo40 = 2, kVireoPro = 5;

// Eight modules, each with one declaration to rewrite; two threads and one
// must hand on the same results in the same order.
class FileJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillGridCatalogue();
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
    for (int i = 0; i < 8; ++i) {
      std::string name = "M" + std::to_string(i) + ".bas";
      std::string path =
          project.Write(name, "Dim S" + std::to_string(i) + " As VireoCore.StyleDisp\r\nx = 1\r\n");
      jobs.push_back({"module", path, "", name});
    }
  }
  void TearDown() override { ::unsetenv("TMPDIR"); }

  struct Run {
    std::vector<FileResult> results;
    std::vector<std::string> copies;  // each result's copy, read back
    std::vector<std::string> started, finished;
  };
  Run Convert(Staging& staging, Threads threads) {
    Run run;
    FileJobHooks hooks;
    hooks.stop_requested = [] { return false; };
    hooks.started = [&](const FileJob& job) { run.started.push_back(job.shown); };
    hooks.finished = [&](const FileJob& job, const FileResult& result) {
      run.finished.push_back(job.shown);
      return result.result != kFailed;
    };
    run.results = ConvertFiles(staging, kVireo40, kVireoPro, jobs, hooks, threads);
    for (const FileResult& result : run.results) {
      for (const StagedCopy& copy : result.copies)
        run.copies.push_back(testing::ReadFile(copy.copy));
    }
    return run;
  }

  testing::ScratchDir project, temp_dir;
  std::vector<FileJob> jobs;
};

TEST_F(FileJobsTest, TwoThreadsHandOnWhatOneWouldInTheFilesOrder) {
  Staging one_staging, two_staging;
  Run one = Convert(one_staging, Threads::kOne);
  Run two = Convert(two_staging, Threads::kTwo);
  ASSERT_EQ(one.results.size(), jobs.size());
  ASSERT_EQ(two.results.size(), jobs.size());
  EXPECT_EQ(two.copies, one.copies);
  EXPECT_EQ(two.started, one.started);
  EXPECT_EQ(two.finished, one.finished);
  for (size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_EQ(two.results[i].result, kChanged);
    EXPECT_EQ(two.results[i].copies.at(0).original, jobs[i].path);
    EXPECT_EQ(two.results[i].changed_lines, one.results[i].changed_lines);
    ASSERT_TRUE(two.results[i].copies.at(0).facts.has_value());
  }
}

// Under a test's file system too: a failure at any step ends the work with
// a failed result naming the file, and discarding the staging leaves nothing.
TEST_F(FileJobsTest, AFailureOnEitherThreadStopsTheWorkAndLeavesNothing) {
  int steps = 0;
  {
    testing::FaultyFileSystem counter;
    ScopedFileSystem scope(counter);
    Staging staging;
    Convert(staging, Threads::kTwo);
    steps = counter.operations();
  }
  ASSERT_GT(steps, 16);
  int failed_runs = 0;
  for (int step = 1; step <= steps; ++step) {
    testing::FaultyFileSystem faulty;
    faulty.FailNth(step, std::errc::io_error);
    Run run;
    {
      ScopedFileSystem scope(faulty);
      Staging staging;
      run = Convert(staging, Threads::kTwo);
    }
    if (faulty.failures() == 0) continue;
    bool failed = !run.results.empty() && run.results.back().result == kFailed;
    if (failed) {
      ++failed_runs;
      EXPECT_NE(run.results.back().failure_reason.find(".bas"), std::string::npos)
          << "step " << step << ": " << run.results.back().failure_reason;
    } else {
      // A failure that reached no converter (a path looked up before the work) leaves all done.
      EXPECT_EQ(run.results.size(), jobs.size()) << "step " << step;
    }
    // Only a copy whose deletion was the failing step may stay.
    EXPECT_LE(testing::CountFilesWithPrefix(temp_dir.path(), "vr5"),
              faulty.last_failure() == "Remove" ? 1 : 0)
        << "step " << step;
    std::filesystem::remove_all(temp_dir.path());
    std::filesystem::create_directory(temp_dir.path());
  }
  EXPECT_GT(failed_runs, 8) << "the failures reached the converters on both threads";
}

}  // namespace
}  // namespace vireo
