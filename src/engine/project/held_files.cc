#include "engine/project/held_files.h"

#include <algorithm>
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

// Letting go of a replaced original frees its blocks. Where the file system
// discards freed blocks, that waits for the disk, one file at a time: many
// files are let go on many threads (one for each 16 files, at most 32), so
// that the disk has many discards to work on at once.
constexpr size_t kHoldsPerThread = 16;
constexpr size_t kMostReleasingThreads = 32;

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
  size_t threads = std::clamp<size_t>(holds_.size() / kHoldsPerThread, 1, kMostReleasingThreads);
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
