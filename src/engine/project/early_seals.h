// Copies sealed while the other files still convert: each changed copy gets
// its original's owner and permissions and has its data written out by a
// few threads of their own as soon as it is written; when the conversion
// ends, the copies are synced together, which a journaling file system
// commits as one instead of once a copy, and the commit finds them durable
// already. Meanwhile, each time another kSyncEvery bytes are sealed, one
// copy is synced: a sync flushes the disk's cache, which makes the data
// written out before it durable too, so the disk does that work while the
// conversion goes on and the syncs at the end have only the rest to wait
// for. Only a run with many copies gains: the threads begin once that many
// were added, and a run with fewer leaves every seal to the commit,
// which makes them together. A seal or sync that fails here is only not
// counted: the commit seals that copy itself.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
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
  static constexpr uint64_t kSyncEvery = 8 << 20;

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
  // Waits for every copy added to be sealed (none, if sealing never began),
  // syncs them, and returns the copies sealed and synced that nothing was
  // written to since. No seal begins after the first call.
  const std::set<std::string>& Finish();
  // Waits only for the seals under way, for copies about to be deleted.
  void Stop();

 private:
  void Work();
  void Join();
  void SyncSealed();

  std::mutex mutex_;
  std::condition_variable wake_;
  size_t from_copies_ = kManyCopies;
  size_t added_ = 0;
  std::deque<StagedCopy> waiting_;
  std::vector<std::thread> threads_;
  std::set<std::string> sealed_;
  std::set<std::string> distrusted_;
  bool finishing_ = false;
  bool synced_ = false;
  uint64_t unsynced_bytes_ = 0;  // sealed since a copy was last synced
};

}  // namespace vireo
