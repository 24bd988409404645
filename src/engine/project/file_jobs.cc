#include "engine/project/file_jobs.h"

#include <atomic>
#include <cstdint>
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

FileResult Convert(Staging& staging, int16_t from_type, int16_t to_type, const FileJob& job) {
  FileWork work(staging);
  work.result.result = job.kind == "form"
                           ? ConvertFormFile(work, job.path, job.binary, from_type, to_type)
                           : ConvertCodeFile(work, job.path, from_type, to_type);
  if (work.result.result != kFailed) {
    for (const StagedCopy& copy : work.result.copies) staging.Written(copy);
  }
  return std::move(work.result);
}

// Two threads only pay where files are many and distinct (a file listed
// twice, under any of its names, is converted in turn, its last copy
// counting; so are files that cannot be examined).
bool WorthThreads(const std::vector<FileJob>& jobs, Threads threads) {
  if (threads == Threads::kOne || jobs.size() < 2) return false;
  if (threads == Threads::kWherePaying && std::thread::hardware_concurrency() < 2) return false;
  std::set<FileIdentity> seen;
  for (const FileJob& job : jobs) {
    for (const std::string* path : {&job.path, &job.binary}) {
      if (path->empty()) continue;
      PathStatus status;
      if (Files().Status(*path, &status) || !status.exists ||
          !seen.insert(FileIdentityOf(status)).second)
        return false;
    }
  }
  return true;
}

class InTurn {
 public:
  InTurn(Staging& staging, int16_t from, int16_t to) : staging_(staging), from_(from), to_(to) {}

  std::vector<FileResult> Run(const std::vector<FileJob>& jobs, const FileJobHooks& hooks) {
    std::vector<FileResult> results;
    for (const FileJob& job : jobs) {
      if (hooks.stop_requested()) break;
      hooks.started(job);
      results.push_back(Convert(staging_, from_, to_, job));
      if (!hooks.finished(job, results.back())) break;
    }
    return results;
  }

 private:
  Staging& staging_;
  int16_t from_, to_;
};

// Two threads take the files in turn; this thread hands on their results in
// the files' order as each is ready.
class OnThreads {
 public:
  OnThreads(Staging& staging, int16_t from, int16_t to, const std::vector<FileJob>& jobs)
      : staging_(staging),
        from_(from),
        to_(to),
        jobs_(jobs),
        results_(jobs.size()),
        done_(jobs.size()) {}

  std::vector<FileResult> Run(const FileJobHooks& hooks) {
    shielded_ = InterruptShield::Up();
    std::thread helper([this] { Work(); }), second([this] { Work(); });
    struct Joiner {
      OnThreads& self;
      std::thread& a;
      std::thread& b;
      ~Joiner() {
        self.stop_ = true;
        a.join();
        b.join();
      }
    } joiner{*this, helper, second};
    std::vector<FileResult> handed;
    for (size_t i = 0; i < jobs_.size(); ++i) {
      if (hooks.stop_requested()) break;
      hooks.started(jobs_[i]);
      done_[i].get_future().wait();
      if (!results_[i]) break;  // stopped before it began
      handed.push_back(std::move(*results_[i]));
      if (!hooks.finished(jobs_[i], handed.back())) break;
    }
    return handed;
  }

 private:
  void Work() {
    // A run that must not be stopped is not stopped on these threads either.
    std::optional<InterruptShield> shield;
    if (shielded_) shield.emplace();
    // A file before a failure is still converted: the failure is handed on
    // only once every file before it is, as one by one.
    for (size_t i = next_++; i < jobs_.size(); i = next_++) {
      if (!stop_ && i < first_failure_ && !InterruptRequested()) {
        results_[i] = Convert(staging_, from_, to_, jobs_[i]);
        if (results_[i]->result == kFailed) NoteFailure(i);
      }
      done_[i].set_value();
    }
  }

  void NoteFailure(size_t i) {
    size_t first = first_failure_;
    while (i < first && !first_failure_.compare_exchange_weak(first, i)) {
    }
  }

  Staging& staging_;
  int16_t from_, to_;
  const std::vector<FileJob>& jobs_;
  std::vector<std::optional<FileResult>> results_;
  std::vector<std::promise<void>> done_;
  std::atomic<size_t> next_{0};
  std::atomic<bool> stop_{false};  // the results are no longer awaited
  std::atomic<size_t> first_failure_{SIZE_MAX};
  bool shielded_ = false;
};

}  // namespace

std::vector<FileResult> ConvertFiles(Staging& staging, int16_t from_type, int16_t to_type,
                                     const std::vector<FileJob>& jobs, const FileJobHooks& hooks,
                                     Threads threads) {
  if (WorthThreads(jobs, threads)) return OnThreads(staging, from_type, to_type, jobs).Run(hooks);
  return InTurn(staging, from_type, to_type).Run(jobs, hooks);
}

}  // namespace vireo
