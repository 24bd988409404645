#include "engine/project/temp_files.h"

#include "base/file_io.h"
#include "engine/project/journal.h"
#include "engine/project/project_file.h"

namespace vireo {
namespace {

bool MakeInTempDirectory(ConversionRun& run, const std::string& original, std::string* path,
                         FileHandle* file) {
  std::string directory;
  if (auto error = Files().TempDirectory(&directory)) {
    run.Fail(original + ": no temporary directory (" + Describe(error) + ")");
    return false;
  }
  if (auto error = Files().CreateTempFile(directory, kTempPrefix, path, file)) {
    run.Fail(original + ": cannot create a temporary file in " + directory + " (" +
             Describe(error) + ")");
    return false;
  }
  return true;
}

// Deletes the copies of the pairs `matches` picks and drops those pairs;
// returns the copies that could not be deleted.
template <typename Match>
std::vector<std::string> DropPairs(ConversionRun& run, Match matches) {
  std::vector<std::string> leftovers;
  for (size_t i = run.OriginalFiles.size(); i-- > 0;) {
    if (!matches(run.OriginalFiles[i], run.TempFiles[i])) continue;
    if (Files().Remove(run.TempFiles[i])) leftovers.push_back(run.TempFiles[i]);
    run.copy_facts.erase(run.TempFiles[i]);
    run.OriginalFiles.erase(run.OriginalFiles.begin() + static_cast<std::ptrdiff_t>(i));
    run.TempFiles.erase(run.TempFiles.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return leftovers;
}

bool MakeBeside(ConversionRun& run, const std::string& original, std::string* path,
                FileHandle* file) {
  std::string real;
  if (auto error = Files().RealPath(original, &real)) {
    run.Fail(original + ": cannot be opened (" + Describe(error) + ")");
    return false;
  }
  *path = StagedPathFor(real, run.staging_token);
  // The same file listed again: its last copy counts.
  DropPairs(run, [&](const std::string&, const std::string& temp) { return temp == *path; });
  if (auto error = Files().Open(*path, OpenFor::kCreateExclusive, file)) {
    run.Fail(original + ": cannot create its new copy " + *path + " (" + Describe(error) + ")");
    return false;
  }
  return true;
}

// The files a journal may name: each existing regular file the project
// lists, once, by the path of the file it reaches.
std::vector<std::string> StagedOriginals(const std::vector<std::string>& listed) {
  std::vector<std::string> originals;
  std::vector<PathStatus> seen;
  for (const std::string& path : listed) {
    PathStatus status;
    std::string real;
    if (Files().Status(path, &status) || !status.is_regular || Files().RealPath(path, &real))
      continue;
    bool again = false;
    for (const PathStatus& other : seen) again |= SameFile(status, other);
    if (again) continue;
    seen.push_back(status);
    originals.push_back(real);
  }
  return originals;
}

}  // namespace

bool MakeTempFile(ConversionRun& run, const std::string& original, std::string* path,
                  FileHandle* file) {
  return run.staging_token.empty() ? MakeInTempDirectory(run, original, path, file)
                                   : MakeBeside(run, original, path, file);
}

bool BeginStaging(ConversionRun& run, const std::string& project_file,
                  const PathResolver& resolver, const HoldPolicy& hold) {
  return BeginUnitStaging(run, {project_file}, resolver, hold);
}

bool BeginUnitStaging(ConversionRun& run, const std::vector<std::string>& projects,
                      const PathResolver& resolver, const HoldPolicy& hold) {
  std::vector<std::string> listed;
  std::string problem;
  for (const std::string& project : projects) {
    std::vector<std::string> files;
    if (!ListedFiles(project, resolver, &files, &problem)) {
      run.Fail(problem);
      return false;
    }
    listed.insert(listed.end(), files.begin(), files.end());
  }
  std::vector<std::string> originals = StagedOriginals(listed);
  HoldResult held = HoldAll(originals, hold, run.held_files.get(), &problem);
  if (held != HoldResult::kHeld) {
    run.busy = held == HoldResult::kBusy;
    run.Fail(problem);
    return false;
  }
  Journal journal;
  journal.state = JournalState::kStaging;
  journal.token = NewRunToken();
  journal.unit_projects.assign(projects.begin() + 1, projects.end());
  for (const std::string& original : originals) journal.entries.push_back({original});
  std::string path = JournalPathFor(projects.front());
  // Named at once: a journal that took its name before the write failed
  // goes with the run's copies.
  run.staging_journal = path;
  run.unit_projects = journal.unit_projects;
  if (auto error = WriteJournal(path, journal)) {
    run.Fail(path + ": the commit journal cannot be written (" + Describe(error) + ")");
    return false;
  }
  for (const std::string& project : journal.unit_projects) {
    std::string pointer = JournalPathFor(project);
    if (auto error = WriteJournal(pointer, PointerJournal(projects.front(), journal.token))) {
      run.Fail(pointer + ": the commit journal cannot be written (" + Describe(error) + ")");
      return false;
    }
  }
  run.staging_token = journal.token;
  return true;
}

void RecordPair(ConversionRun& run, const std::string& original, const std::string& temp) {
  run.OriginalFiles.push_back(original);
  run.TempFiles.push_back(temp);
}

std::vector<std::string> ForgetPairs(ConversionRun& run, const std::string& original) {
  return DropPairs(
      run, [&](const std::string& listed, const std::string&) { return listed == original; });
}

std::vector<std::string> DiscardTempFiles(ConversionRun& run) {
  std::vector<std::string> leftovers;
  for (const std::string& temp : run.TempFiles) {
    std::error_code error = Files().Remove(temp);
    if (error && error != std::errc::no_such_file_or_directory) leftovers.push_back(temp);
  }
  run.TempFiles.clear();
  run.OriginalFiles.clear();
  run.copy_facts.clear();
  if (!run.staging_journal.empty() && leftovers.empty()) {
    // The pointers first: one left alone would point to nothing.
    std::vector<std::string> journals;
    for (const std::string& project : run.unit_projects) journals.push_back(JournalPathFor(project));
    journals.push_back(run.staging_journal);
    for (const std::string& journal : journals) {
      std::error_code error = RemoveJournal(journal);
      if (error && error != std::errc::no_such_file_or_directory) leftovers.push_back(journal);
    }
  }
  run.staging_journal.clear();
  run.unit_projects.clear();
  return leftovers;
}

}  // namespace vireo
