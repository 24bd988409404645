#include "engine/project/file_jobs.h"

#include <atomic>
#include <future>
#include <optional>
#include <set>
#include <thread>

#include "base/file_system.h"
#include "base/interrupt.h"
#include "engine/code/code_file.h"
#include "engine/forms/form_file.h"

namespace vireo {
namespace {

constexpr int16_t kNotConverted = -2;

int16_t Convert(ConversionRun& run, const FileJob& job) {
  if (job.kind == "form") {
    run.ClearFormNames();
    return ConvertFormFile(run, job.path, job.binary, run.FromType, run.ToType);
  }
  return ConvertCodeFile(run, job.path, run.FromType, run.ToType);
}

// What a file's own run adds to the project's run.
void Gather(ConversionRun& run, ConversionRun& part) {
  run.OriginalFiles.insert(run.OriginalFiles.end(), part.OriginalFiles.begin(),
                           part.OriginalFiles.end());
  run.TempFiles.insert(run.TempFiles.end(), part.TempFiles.begin(), part.TempFiles.end());
  for (const auto& [file, lines] : part.changed_lines) run.changed_lines[file] += lines;
  run.guid_replacements.insert(run.guid_replacements.end(), part.guid_replacements.begin(),
                               part.guid_replacements.end());
  run.binary_files.insert(part.binary_files.begin(), part.binary_files.end());
  run.binary_files_changed.insert(part.binary_files_changed.begin(),
                                  part.binary_files_changed.end());
  run.copy_facts.insert(part.copy_facts.begin(), part.copy_facts.end());
  run.form_references.insert(part.form_references.begin(), part.form_references.end());
  if (!part.failure_reason.empty()) run.Fail(part.failure_reason);
}

// Two threads only pay where files are many, distinct (a file listed twice
// is converted in turn, its last copy counting) and on the real file system
// (a test's file system counts operations in order).
bool WorthThreads(const ConversionRun& run, const std::vector<FileJob>& jobs) {
  if (jobs.size() < 2 || std::thread::hardware_concurrency() < 2) return false;
  if (&Files() != &PlatformFileSystem() || !run.OriginalFiles.empty()) return false;
  std::set<std::string> seen;
  for (const FileJob& job : jobs) {
    for (const std::string* path : {&job.path, &job.binary}) {
      if (path->empty()) continue;
      std::string real;
      if (Files().RealPath(*path, &real) || !seen.insert(real).second) return false;
    }
  }
  return true;
}

void ConvertInTurn(ConversionRun& run, const std::vector<FileJob>& jobs, const FileJobHooks& hooks) {
  for (const FileJob& job : jobs) {
    if (hooks.stop_requested()) return;
    hooks.started(job);
    if (!hooks.finished(job, Convert(run, job))) return;
  }
}

void ConvertOnThreads(ConversionRun& run, const std::vector<FileJob>& jobs,
                      const FileJobHooks& hooks) {
  std::vector<ConversionRun> parts(jobs.size());
  std::vector<int16_t> results(jobs.size(), kNotConverted);
  std::vector<std::promise<void>> done(jobs.size());
  std::atomic<size_t> next{0};
  std::atomic<bool> stop{false};
  bool shielded = InterruptShield::Up();
  auto work = [&] {
    // A run that must not be stopped is not stopped on these threads either.
    std::optional<InterruptShield> shield;
    if (shielded) shield.emplace();
    for (size_t i = next++; i < jobs.size(); i = next++) {
      if (!stop && !InterruptRequested()) {
        parts[i].FromType = run.FromType;
        parts[i].ToType = run.ToType;
        parts[i].staging_token = run.staging_token;
        results[i] = Convert(parts[i], jobs[i]);
        if (results[i] == kFailed) stop = true;
      }
      done[i].set_value();
    }
  };
  std::thread helper(work), second(work);
  size_t gathered = 0;
  try {
    bool going = true;
    for (size_t i = 0; i < jobs.size(); ++i) {
      if (going && hooks.stop_requested()) going = false;
      if (going) hooks.started(jobs[i]);
      done[i].get_future().wait();
      Gather(run, parts[i]);
      gathered = i + 1;
      if (going && results[i] == kNotConverted) going = false;
      if (going && !hooks.finished(jobs[i], results[i])) going = false;
      if (!going) stop = true;
    }
  } catch (...) {
    // A hook's fault goes on up, with every copy made so far recorded.
    stop = true;
    helper.join();
    second.join();
    for (size_t i = gathered; i < jobs.size(); ++i) Gather(run, parts[i]);
    throw;
  }
  helper.join();
  second.join();
}

}  // namespace

void ConvertFiles(ConversionRun& run, const std::vector<FileJob>& jobs, const FileJobHooks& hooks) {
  if (WorthThreads(run, jobs)) {
    ConvertOnThreads(run, jobs, hooks);
  } else {
    ConvertInTurn(run, jobs, hooks);
  }
}

}  // namespace vireo
