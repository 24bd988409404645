#include "support/walk.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "support/test_files.h"

namespace fs = std::filesystem;

namespace vireo::testing {
namespace {

bool Holds(const Contents& contents, const std::string& name, const std::string& bytes) {
  auto it = contents.find(name);
  return it != contents.end() && it->second == bytes;
}

}  // namespace

Contents SnapshotFiles(const std::string& base, const std::vector<std::string>& names) {
  Contents contents;
  for (const std::string& name : names) contents[name] = ReadFile(base + "/" + name);
  return contents;
}

Contents SnapshotTree(const std::string& base) {
  Contents contents;
  for (const auto& entry : fs::recursive_directory_iterator(base)) {
    if (entry.is_regular_file())
      contents[fs::relative(entry.path(), base).string()] = ReadFile(entry.path().string());
  }
  return contents;
}

void RestoreFiles(const std::string& base, const Contents& contents) {
  for (const auto& [name, bytes] : contents) WriteFile(base + "/" + name, bytes);
}

void RestoreTree(const std::string& base, const Contents& contents) {
  std::vector<fs::path> others;
  for (const auto& entry : fs::recursive_directory_iterator(base)) {
    if (!entry.is_directory() && !contents.count(fs::relative(entry.path(), base).string()))
      others.push_back(entry.path());
  }
  for (const fs::path& other : others) fs::remove(other);
  RestoreFiles(base, contents);
}

void EmptyFolder(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
}

std::string OldAndNew::StateOf(const Contents& now) const {
  if (now == old_contents) return "old";
  if (now == new_contents) return "new";
  for (const auto& [name, bytes] : now) {
    if (!Holds(old_contents, name, bytes) && !Holds(new_contents, name, bytes))
      return name + " is neither";
  }
  for (const auto& [name, bytes] : old_contents) {
    if (!now.count(name)) return name + " is missing";
  }
  return "mixed";
}

Contents Select(const Contents& contents, const FileFilter& keep) {
  Contents selected;
  for (const auto& [name, bytes] : contents) {
    if (keep(name)) selected.emplace(name, bytes);
  }
  return selected;
}

std::string OldAndNew::StateOf(const Contents& now, const FileFilter& keep) const {
  return OldAndNew{Select(old_contents, keep), Select(new_contents, keep)}.StateOf(
      Select(now, keep));
}

std::string OldAndNew::NotOld(const Contents& now) const {
  std::string names;
  for (const auto& [name, bytes] : now) {
    if (Holds(old_contents, name, bytes)) continue;
    names += name + (Holds(new_contents, name, bytes) ? " (new) " : " (neither) ");
  }
  return names;
}

ChildRun RunInChild(FaultyFileSystem& files, const ChildBody& body) {
  ChildRun child;
  // The child's counts come back through a pipe.
  int counts[2];
  if (::pipe2(counts, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipe for the child's counts";
    return child;
  }
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(counts[0]);
    int status = body(files);
    int numbers[3] = {files.operations(), files.first_watched(), files.last_watched()};
    if (::write(counts[1], numbers, sizeof numbers) != sizeof numbers) std::_Exit(126);
    std::_Exit(status);
  }
  ::close(counts[1]);
  if (pid < 0) {
    ::close(counts[0]);
    ADD_FAILURE() << "fork failed";
    return child;
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  child.exited = WIFEXITED(status);
  child.status = child.exited ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  int numbers[3] = {};
  if (::read(counts[0], numbers, sizeof numbers) == sizeof numbers) {
    child.operations = numbers[0];
    child.first_watched = numbers[1];
    child.last_watched = numbers[2];
  }
  ::close(counts[0]);
  return child;
}

ChildRun CrashAt(int step, const ChildBody& body) {
  FaultyFileSystem files;
  files.CrashAt(step);
  return RunInChild(files, body);
}

std::string StepTrace(int step, std::errc error) {
  return StepTrace(step) + ", failing with \"" + std::make_error_code(error).message() + "\"";
}

std::string StepTrace(int step) { return "step " + std::to_string(step); }

void CrashAtEachStep(int steps, const std::function<void(FileSystem& files)>& run,
                     const std::function<void(int step, const ChildRun& child)>& check) {
  for (int step = 1; step <= steps; ++step) {
    SCOPED_TRACE(StepTrace(step));
    ChildRun child = CrashAt(step, [&](FileSystem& files) {
      run(files);
      return 0;
    });
    ASSERT_TRUE(child.exited) << "the child was ended by signal " << child.status - 128;
    check(step, child);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace vireo::testing
