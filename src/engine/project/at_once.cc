#include "engine/project/at_once.h"

namespace vireo {
namespace {

thread_local KeptThreads* used = nullptr;

}  // namespace

KeptThreads::Use::Use(KeptThreads& threads) : before_(used) { used = &threads; }
KeptThreads::Use::~Use() { used = before_; }

KeptThreads::~KeptThreads() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

KeptThreads* KeptThreads::Current() { return used; }

void KeptThreads::Run(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
  if (idle_ < tasks_.size() && threads_.size() < most_) {
    // Started idle; where it cannot be started, the task waits for a kept
    // thread, or is never taken (its AtOnce takes the steps itself).
    threads_.emplace_back([this] { Serve(); });
    ++idle_;
    return;
  }
  wake_.notify_one();
}

void KeptThreads::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
    if (tasks_.empty()) return;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    --idle_;
    lock.unlock();
    task();
    lock.lock();
    ++idle_;
  }
}

}  // namespace vireo
