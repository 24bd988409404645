#include "cli/file_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace vireo {
namespace {

// A unit that would overdraw the budget waits until enough is given back;
// one that needs more than all of it runs once nothing else holds a share.
TEST(FileBudgetTest, ASharePastWhatIsFreeWaitsForItAndOnePastAllRunsAlone) {
  FileBudget budget(10);
  std::atomic<bool> second_started{false}, large_started{false};
  std::thread second, large;
  {
    FileBudget::Share first(budget, 6);
    FileBudget::Share small(budget, 4);  // exactly what is left: no wait
    second = std::thread([&] {
      FileBudget::Share share(budget, 6);
      second_started = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(second_started) << "6 of 10 were held, and 4 more";
  }
  second.join();
  EXPECT_TRUE(second_started);
  {
    FileBudget::Share held(budget, 1);
    large = std::thread([&] {
      FileBudget::Share share(budget, 1000);
      large_started = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(large_started) << "a share past all of it waits for every other";
  }
  large.join();
  EXPECT_TRUE(large_started);
  FileBudget::Share all_again(budget, 10);  // every share was given back
}

}  // namespace
}  // namespace vireo
