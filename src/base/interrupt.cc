#include "base/interrupt.h"

#include <atomic>

namespace vireo {
namespace {

// A signal handler may only touch lock-free atomics.
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<bool> interrupt_requested{false};
thread_local int shields = 0;

}  // namespace

void RequestInterrupt() { interrupt_requested.store(true, std::memory_order_relaxed); }

bool InterruptRequested() { return shields == 0 && InterruptRequestedAnywhere(); }

bool InterruptRequestedAnywhere() { return interrupt_requested.load(std::memory_order_relaxed); }

InterruptShield::InterruptShield() { ++shields; }
bool InterruptShield::Up() { return shields > 0; }
InterruptShield::~InterruptShield() { --shields; }

void ClearInterrupt() { interrupt_requested.store(false, std::memory_order_relaxed); }

}  // namespace vireo
