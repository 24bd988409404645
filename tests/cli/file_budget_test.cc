#include "cli/file_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace vireo {
namespace {

// Takes shares of `held` files here, then asks for `files` on a thread of
// its own; true when that share was granted only once they were given back.
bool WaitsForTheOthers(FileBudget& budget, const std::vector<size_t>& held, size_t files) {
  std::vector<std::unique_ptr<FileBudget::Share>> shares;
  for (size_t taken : held) shares.push_back(std::make_unique<FileBudget::Share>(budget, taken));
  std::atomic<bool> started{false};
  std::thread asking([&] {
    FileBudget::Share share(budget, files);
    started = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  bool waited = !started;
  shares.clear();
  asking.join();
  return waited && started;
}

// A unit that would overdraw the budget waits until enough is given back;
// one that needs more than all of it runs once nothing else holds a share.
TEST(FileBudgetTest, ASharePastWhatIsFreeWaitsForItAndOnePastAllRunsAlone) {
  FileBudget budget(10);
  // 6 of 10 held, then exactly the 4 left (no wait).
  EXPECT_TRUE(WaitsForTheOthers(budget, {6, 4}, 6));
  EXPECT_TRUE(WaitsForTheOthers(budget, {1}, 1000))
      << "a share past all of it waits for every other";
  FileBudget::Share all_again(budget, 10);  // every share was given back
}

}  // namespace
}  // namespace vireo
