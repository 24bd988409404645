// The harness of the walks. A walk repeats a run once for each of its file
// operations: failing that operation, stopping the process dead just before
// it (in a forked child, so the test goes on), or asking the run to stop
// there as Ctrl-C would; after each, the test compares the tree the run
// rewrites with its old and new contents and puts it back. A run is handed
// the file system to work on and puts it in place where it begins.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/file_system.h"
#include "base/interrupt.h"
#include "support/faulty_file_system.h"

namespace vireo::testing {

// File contents by path relative to a folder.
using Contents = std::map<std::string, std::string>;

// The files `names`, relative to `base`.
Contents SnapshotFiles(const std::string& base, const std::vector<std::string>& names);
// Every regular file below `base`, hidden ones (journals, locks, copies) included.
Contents SnapshotTree(const std::string& base);
// Writes each file of `contents` back below `base`.
void RestoreFiles(const std::string& base, const Contents& contents);
// The same, and removes every other file below `base`.
void RestoreTree(const std::string& base, const Contents& contents);
// Removes everything inside `folder`.
void EmptyFolder(const std::string& folder);

// Which files of a tree a check looks at, by name.
using FileFilter = std::function<bool(const std::string& name)>;
// The files of `contents` that `keep` takes.
Contents Select(const Contents& contents, const FileFilter& keep);

// A tree before and after an undisturbed run.
struct OldAndNew {
  Contents old_contents, new_contents;

  // "old", "new", "mixed" (every file one or the other), or the first file
  // that is neither: "NAME is neither", "NAME is missing".
  std::string StateOf(const Contents& now) const;
  // The same of the files that `keep` takes only (a unit of a batch).
  std::string StateOf(const Contents& now, const FileFilter& keep) const;
  // The files of `now` that are not old, each marked "(new)" or "(neither)".
  std::string NotOld(const Contents& now) const;
};

// How a child process ended, and what its file system counted.
struct ChildRun {
  bool exited = false;  // false when a signal ended it
  int status = -1;      // the exit status, or 128 + the signal
  // Counted by the child's file system up to the end of the body; 0 when the
  // child did not get there (a crash).
  int operations = 0;
  int first_watched = 0, last_watched = 0;

  bool crashed() const { return exited && status == FaultyFileSystem::kCrashStatus; }
};

using ChildBody = std::function<int(FileSystem& files)>;
// Runs `body` in a forked child, handed `files` (set up beforehand: CrashAt,
// Watch, ...); the child exits with what `body` returns.
ChildRun RunInChild(FaultyFileSystem& files, const ChildBody& body);
// Runs `body` in a forked child on a file system that stops it dead just
// before its `step`-th operation.
ChildRun CrashAt(int step, const ChildBody& body);

// The number of file operations `run` makes.
template <typename Run>
int CountSteps(Run&& run) {
  FaultyFileSystem counter;
  run(counter);
  return counter.operations();
}

// The first and last operation of `run` that is `operation` on a path
// containing `fragment`; {0, 0} when there is none.
template <typename Run>
std::pair<int, int> StepsOf(Run&& run, const std::string& operation, const std::string& fragment) {
  FaultyFileSystem watcher;
  watcher.Watch(operation, fragment);
  run(watcher);
  return {watcher.first_watched(), watcher.last_watched()};
}

// "step N", and the error it fails with: the trace of each step's failures.
std::string StepTrace(int step, std::errc error);
std::string StepTrace(int step);

// For each error and each step 1..`steps`: `run` with its `step`-th file
// operation failing with that error, then `check(step, files, result)`,
// where `files` tells which operation failed. Stops at a fatal failure.
template <typename Run, typename Check>
void FailEachStep(int steps, const std::vector<std::errc>& errors, Run&& run, Check&& check) {
  for (std::errc error : errors) {
    for (int step = 1; step <= steps; ++step) {
      SCOPED_TRACE(StepTrace(step, error));
      FaultyFileSystem files;
      files.FailNth(step, error);
      auto result = run(files);
      check(step, files, result);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

// For each step 1..`steps`: `run` with an interrupt requested just before
// that file operation, then `check(step, result)` with the interrupt cleared.
template <typename Run, typename Check>
void InterruptEachStep(int steps, Run&& run, Check&& check) {
  for (int step = 1; step <= steps; ++step) {
    SCOPED_TRACE(StepTrace(step));
    FaultyFileSystem files;
    files.InterruptAt(step);
    auto result = run(files);
    ClearInterrupt();
    check(step, result);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// For each step 1..`steps`: `run` in a child stopped dead just before that
// file operation, then `check(step, child)` in this process. A child that
// does not exit (a signal, an abort) ends the walk as a fatal failure.
void CrashAtEachStep(int steps, const std::function<void(FileSystem& files)>& run,
                     const std::function<void(int step, const ChildRun& child)>& check);

}  // namespace vireo::testing
