#include "engine/project/held_files.h"

#include <chrono>
#include <optional>
#include <random>
#include <thread>

#include "base/file_io.h"
#include "base/interrupt.h"
#include "engine/project/at_once.h"

namespace vireo {
namespace {

using Clock = std::chrono::steady_clock;

// Letting go of a replaced original frees its blocks, which takes a while
// where the file system discards them; many are let go a few at a time.
constexpr size_t kManyHolds = 64;
constexpr size_t kReleasingThreads = 4;

bool IsBusy(const std::error_code& error) {
  return error == std::errc::resource_unavailable_try_again;
}

// One attempt at every file; on failure nothing stays held and `file` names
// the file that stood in the way.
std::error_code TryAll(const std::vector<std::string>& paths, std::vector<FileHandle>* holds,
                       std::string* file) {
  for (const std::string& path : paths) {
    FileHandle hold = -1;
    if (auto error = Files().Hold(path, &hold)) {
      for (FileHandle taken : *holds) Files().Close(taken);
      holds->clear();
      *file = path;
      return error;
    }
    holds->push_back(hold);
  }
  return {};
}

std::string Seconds(int seconds) {
  return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

}  // namespace

void HeldFiles::Release() {
  size_t threads = holds_.size() >= kManyHolds ? kReleasingThreads : 1;
  AtOnce(holds_.size(), threads, [&](size_t i) {
    Files().Close(holds_[i]);
    return true;
  });
  holds_.clear();
}

HoldResult HoldAll(const std::vector<std::string>& paths, const HoldPolicy& policy,
                   HeldFiles* held, std::string* problem) {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(policy.wait_seconds);
  std::optional<std::minstd_rand> jitter;  // seeded on the first wait only
  bool said = false;
  for (;;) {
    std::vector<FileHandle> holds;
    std::string file;
    std::error_code error = TryAll(paths, &holds, &file);
    if (!error) {
      for (FileHandle hold : holds) held->Add(hold);
      return HoldResult::kHeld;
    }
    if (!IsBusy(error)) {
      *problem = file + ": cannot be opened (" + Describe(error) + ")";
      return HoldResult::kFailed;
    }
    if (InterruptRequested()) return HoldResult::kInterrupted;
    if (Clock::now() >= deadline) {
      *problem = file + ": another run is converting it; gave up waiting after " +
                 Seconds(policy.wait_seconds);
      return HoldResult::kBusy;
    }
    if (!said && policy.waiting) policy.waiting(file);
    said = true;
    // Runs that met each other retry at different moments.
    if (!jitter) jitter.emplace(std::random_device{}());
    std::this_thread::sleep_for(std::chrono::milliseconds(10 + (*jitter)() % 40));
  }
}

}  // namespace vireo
