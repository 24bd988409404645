// Independent steps that each wait mostly on the disk (a sync, a durable
// write) taken a few at a time: the file system commits their waits
// together instead of one after another.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

namespace vireo {

// Runs `step(i)` for each i below `count` on up to `threads` threads, this
// one among them. `step` returns false when it fails; no step is begun after
// a failure. The caller keeps each step's outcome by its index.
template <typename Step>
void AtOnce(size_t count, size_t threads, Step step) {
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (size_t i = next++; i < count && !failed; i = next++) {
      if (!step(i)) failed = true;
    }
  };
  size_t helpers = count == 0 ? 0 : std::min(threads, count) - 1;
  std::vector<std::thread> started;
  for (size_t t = 0; t < helpers; ++t) started.emplace_back(work);
  work();
  for (std::thread& thread : started) thread.join();
}

}  // namespace vireo
