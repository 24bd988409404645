// The originals a run may replace, held from before it reads them until its
// commit or discard ends: while one run holds a file, another run that wants
// it waits, so two runs over projects that share a file never convert it from
// the same old bytes nor trip over each other's copies.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/file_system.h"

namespace vireo {

struct HoldPolicy {
  int wait_seconds = 60;
  // Called once, with a file another run holds, when the waiting begins.
  std::function<void(const std::string& file)> waiting;
};

// Files held by one run; they are let go when it ends.
class HeldFiles {
 public:
  HeldFiles() = default;
  ~HeldFiles() { Release(); }
  HeldFiles(const HeldFiles&) = delete;
  HeldFiles& operator=(const HeldFiles&) = delete;

  void Add(FileHandle hold) { holds_.push_back(hold); }
  void Release();
  bool empty() const { return holds_.empty(); }

 private:
  std::vector<FileHandle> holds_;
};

enum class HoldResult { kHeld, kBusy, kFailed, kInterrupted };

// Holds every file of `paths`, or none: a run never keeps some while it waits
// for others, so runs wanting the same files in any order cannot block each
// other for ever. Waits up to the policy's seconds for files other runs hold;
// anything but kHeld leaves `held` as it was and says why in `problem`.
HoldResult HoldAll(const std::vector<std::string>& paths, const HoldPolicy& policy,
                   HeldFiles* held, std::string* problem);

}  // namespace vireo
