#include "engine/project/early_seals.h"

#include <algorithm>

#include "base/file_system.h"
#include "engine/project/at_once.h"
#include "engine/project/commit.h"

namespace vireo {
namespace {

// Each seal waits mostly on the disk, which takes several at a time.
constexpr size_t kSealingThreads = 4;
// So does each sync of the copies sealed; these come all at once, at the
// commit, and the disk finishes sooner the more it is given at once.
constexpr size_t kSyncingThreads = 16;

}  // namespace

void EarlySeals::Add(const StagedCopy& copy) {
  if (from_copies_ == 0 || !copy.facts || !copy.facts->new_known || copy.facts->same) return;
  std::lock_guard lock(mutex_);
  if (finishing_) return;
  waiting_.push_back(copy);
  if (++added_ < from_copies_) return;
  while (threads_.size() < std::min(kSealingThreads, waiting_.size()))
    threads_.emplace_back([this] { Work(); });
  wake_.notify_one();
}

void EarlySeals::Distrust(const std::string& path) {
  std::lock_guard lock(mutex_);
  distrusted_.insert(path);
  sealed_.erase(path);
}

const std::set<std::string>& EarlySeals::Finish() {
  {
    std::lock_guard lock(mutex_);
    if (threads_.empty()) waiting_.clear();
  }
  Join();
  SyncSealed();
  return sealed_;
}

void EarlySeals::SyncSealed() {
  std::vector<std::string> copies;
  {
    std::lock_guard lock(mutex_);
    if (synced_) return;
    synced_ = true;
    copies.assign(sealed_.begin(), sealed_.end());
  }
  std::vector<char> failed(copies.size(), 0);
  AtOnce(copies.size(), kSyncingThreads, [&](size_t i) {
    failed[i] = SyncCopy(copies[i]) ? 1 : 0;
    return true;
  });
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < copies.size(); ++i) {
    if (failed[i]) sealed_.erase(copies[i]);
  }
}

void EarlySeals::Stop() {
  {
    std::lock_guard lock(mutex_);
    waiting_.clear();
  }
  Join();
}

void EarlySeals::Join() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

void EarlySeals::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return finishing_ || !waiting_.empty(); });
    if (waiting_.empty()) return;
    StagedCopy copy = std::move(waiting_.front());
    waiting_.pop_front();
    lock.unlock();
    uint64_t checksum = 0;
    bool sealed = !SealCopy(copy.copy, copy.original, &*copy.facts, &checksum, SealSync::kLater);
    PathStatus status;
    if (sealed && !Files().Status(copy.copy, &status)) {
      lock.lock();
      bool sync_now = (unsynced_bytes_ += status.size) >= kSyncEvery;
      if (sync_now) unsynced_bytes_ = 0;
      lock.unlock();
      if (sync_now) SyncCopy(copy.copy);
    }
    lock.lock();
    if (sealed && !distrusted_.count(copy.copy)) sealed_.insert(copy.copy);
  }
}

}  // namespace vireo
