#include "base/interrupt.h"

#include <atomic>

namespace vireo {
namespace {

// A signal handler may only touch lock-free atomics.
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> interrupt_requested{false};

}  // namespace

void RequestInterrupt() { interrupt_requested.store(true, std::memory_order_relaxed); }

bool InterruptRequested() { return interrupt_requested.load(std::memory_order_relaxed); }

void ClearInterrupt() { interrupt_requested.store(false, std::memory_order_relaxed); }

}  // namespace vireo
