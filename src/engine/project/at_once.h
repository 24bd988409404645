// Independent steps that each wait mostly on the disk (a sync, a durable
// write) taken a few at a time: the file system commits their waits
// together instead of one after another.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vireo {

// Threads kept for AtOnce's helpers while a run of many small commits (a
// batch) goes on, so that each commit does not start and end threads of
// its own. AtOnce takes its helpers from the threads its own thread uses
// (see Use); a helper waits for a kept thread to be free, and one is
// started while fewer than `most` are kept. Elsewhere AtOnce starts threads
// and ends them before it returns, so nothing outlives it (a process that
// forks then has none of its threads in the child).
class KeptThreads {
 public:
  explicit KeptThreads(size_t most) : most_(std::max<size_t>(most, 1)) {}
  // Ends the threads once the helpers given them have ended. Every thread
  // that used them has stopped using them by then.
  ~KeptThreads();
  KeptThreads(const KeptThreads&) = delete;
  KeptThreads& operator=(const KeptThreads&) = delete;

  // While alive, the AtOnce calls of the thread that made it take their
  // helpers from `threads`.
  class Use {
   public:
    explicit Use(KeptThreads& threads);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

   private:
    KeptThreads* before_;
  };

  // The threads this thread's AtOnce calls use, if any.
  static KeptThreads* Current();
  void Run(std::function<void()> task);

 private:
  void Serve();

  const size_t most_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool ending_ = false;
};

// Runs `step(i)` for each i below `count` on up to `threads` threads, this
// one among them. `step` returns false when it fails; no step is begun after
// a failure. The caller keeps each step's outcome by its index.
//
// The caller takes steps too, so all are taken even when no kept thread is
// free; a helper that starts after the caller has seen the last step ends
// at once.
template <typename Step>
void AtOnce(size_t count, size_t threads, Step step) {
  struct Shared {
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::condition_variable done;
    size_t working = 0;
    bool closed = false;
  };
  auto shared = std::make_shared<Shared>();
  auto work = [&step, count](Shared& s) {
    for (size_t i = s.next++; i < count && !s.failed; i = s.next++) {
      if (!step(i)) s.failed = true;
    }
  };
  auto helper = [shared, work] {
    {
      std::lock_guard lock(shared->mutex);
      if (shared->closed) return;
      ++shared->working;
    }
    work(*shared);
    std::lock_guard lock(shared->mutex);
    if (--shared->working == 0) shared->done.notify_all();
  };
  size_t helpers = count == 0 ? 0 : std::min(threads, count) - 1;
  KeptThreads* kept = KeptThreads::Current();
  std::vector<std::thread> started;
  // Where no more threads can be started, the steps left are taken by the
  // threads there are.
  try {
    for (size_t t = 0; t < helpers; ++t) {
      if (kept) {
        kept->Run(helper);
      } else {
        started.emplace_back(helper);
      }
    }
  } catch (const std::system_error&) {
  }
  work(*shared);
  {
    std::unique_lock lock(shared->mutex);
    shared->closed = true;
    shared->done.wait(lock, [&] { return shared->working == 0; });
  }
  for (std::thread& thread : started) thread.join();
}

}  // namespace vireo
