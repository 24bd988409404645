// Copies sealed while the other files still convert: each changed copy gets
// its original's owner and permissions and is synced by a few threads of
// its own as soon as it is written, so that the commit finds its data
// durable already instead of waiting for every sync then. Only a run with
// many copies gains: the threads begin once that many were added, and a
// run with fewer leaves every seal to the commit, which makes them
// together. A seal that fails here is only not counted: the commit seals
// that copy itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/project/file_result.h"

namespace vireo {

class EarlySeals {
 public:
  static constexpr size_t kManyCopies = 64;

  EarlySeals() = default;
  ~EarlySeals() { Stop(); }
  EarlySeals(const EarlySeals&) = delete;
  EarlySeals& operator=(const EarlySeals&) = delete;

  // Sealing begins with the `copies`th copy added (never with 0); by
  // default with the kManyCopies'th. Set before the first copy is added.
  void BeginWith(size_t copies) { from_copies_ = copies; }
  // Seals `copy` soon, when it is written to its end and differs from its
  // original (what else the commit would not replace, or would seal anyway).
  void Add(const StagedCopy& copy);
  // The copy at `path` is being written anew: no seal of it counts.
  void Distrust(const std::string& path);
  // Waits for every copy added to be sealed (none, if sealing never began)
  // and returns the copies sealed that nothing was written to since. No
  // seal begins after the first call.
  const std::set<std::string>& Finish();
  // Waits only for the seals under way, for copies about to be deleted.
  void Stop();

 private:
  void Work();
  void Join();

  std::mutex mutex_;
  std::condition_variable wake_;
  size_t from_copies_ = kManyCopies;
  size_t added_ = 0;
  std::deque<StagedCopy> waiting_;
  std::vector<std::thread> threads_;
  std::set<std::string> sealed_;
  std::set<std::string> distrusted_;
  bool finishing_ = false;
};

}  // namespace vireo
