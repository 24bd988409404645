// The files the units of a batch under way may hold open together: each
// unit holds every file its projects list until its commit ends, and where
// the process may open only so many, units that together would need more
// wait for one another instead of failing with "Too many open files". A
// unit that needs more than all of it runs alone.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace vireo {

class FileBudget {
 public:
  explicit FileBudget(size_t files) : capacity_(files), free_(files) {}

  // A part of the budget, taken (waiting for it if need be) when made and
  // given back when it ends.
  class Share {
   public:
    Share(FileBudget& budget, size_t files)
        : budget_(budget), files_(std::min(files, budget.capacity_)) {
      budget_.Take(files_);
    }
    ~Share() { budget_.Give(files_); }
    Share(const Share&) = delete;
    Share& operator=(const Share&) = delete;

   private:
    FileBudget& budget_;
    const size_t files_;
  };

 private:
  void Take(size_t files) {
    std::unique_lock lock(mutex_);
    given_back_.wait(lock, [&] { return free_ >= files; });
    free_ -= files;
  }
  void Give(size_t files) {
    {
      std::lock_guard lock(mutex_);
      free_ += files;
    }
    given_back_.notify_all();
  }

  const size_t capacity_;
  std::mutex mutex_;
  std::condition_variable given_back_;
  size_t free_;
};

}  // namespace vireo
