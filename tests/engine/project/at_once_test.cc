#include "engine/project/at_once.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <thread>
#include <vector>

namespace vireo {
namespace {

TEST(AtOnceTest, EveryStepRunsOnceWithTheStepsTakenTogether) {
  // Each step waits until all four are under way: they can only all end
  // when four threads take them at once.
  std::mutex mutex;
  std::condition_variable all_in;
  size_t arrived = 0;
  std::vector<int> runs(4, 0);
  AtOnce(runs.size(), 4, [&](size_t i) {
    std::unique_lock lock(mutex);
    ++runs[i];
    ++arrived;
    all_in.notify_all();
    return all_in.wait_for(lock, std::chrono::seconds(10), [&] { return arrived == 4; });
  });
  EXPECT_EQ(runs, std::vector<int>(4, 1));
  EXPECT_EQ(arrived, 4u);
}

TEST(AtOnceTest, NoStepBeginsAfterOneFailsAndCallersAtOnceEachGetAllTheirs) {
  std::vector<size_t> taken;
  AtOnce(10, 1, [&](size_t i) {
    taken.push_back(i);
    return i != 3;
  });
  EXPECT_EQ(taken, (std::vector<size_t>{0, 1, 2, 3}));

  // More callers than kept threads: each caller's steps all run, once.
  KeptThreads kept(4);
  std::vector<std::vector<std::atomic<int>>> runs(24);
  std::vector<std::thread> callers;
  for (auto& mine : runs) {
    mine = std::vector<std::atomic<int>>(50);
    callers.emplace_back(
        [&mine] { AtOnce(mine.size(), 4, [&](size_t i) { return ++mine[i] > 0; }); });
  }
  for (std::thread& caller : callers) caller.join();
  for (const auto& mine : runs) {
    for (const std::atomic<int>& count : mine) EXPECT_EQ(count, 1);
  }
}

TEST(AtOnceTest, KeptThreadsServeTheirUsersCallsOneAfterAnotherAndEndWithTheirKeeper) {
  const std::thread::id caller = std::this_thread::get_id();
  std::set<std::thread::id> first, second;
  std::mutex mutex;
  auto on_helpers = [&](std::set<std::thread::id>* seen) {
    // Each step waits for the other two, so three threads take them.
    std::condition_variable all_in;
    size_t arrived = 0;
    AtOnce(3, 3, [&](size_t) {
      std::unique_lock lock(mutex);
      if (std::this_thread::get_id() != caller) seen->insert(std::this_thread::get_id());
      ++arrived;
      all_in.notify_all();
      return all_in.wait_for(lock, std::chrono::seconds(10), [&] { return arrived == 3; });
    });
  };
  {
    KeptThreads kept(2);
    KeptThreads::Use use(kept);
    ASSERT_EQ(KeptThreads::Current(), &kept);
    std::thread([] { EXPECT_EQ(KeptThreads::Current(), nullptr) << "only the user's"; }).join();
    on_helpers(&first);
    on_helpers(&second);
  }
  EXPECT_EQ(KeptThreads::Current(), nullptr);
  EXPECT_EQ(first.size(), 2u);
  EXPECT_EQ(first, second) << "the same two threads help both calls";
  std::set<std::thread::id> unkept;
  on_helpers(&unkept);
  EXPECT_EQ(unkept.size(), 2u);
}

// A process that may start no more threads (here, a user at its limit of
// processes): the caller takes every step itself, and nothing is thrown.
TEST(AtOnceTest, WhereNoThreadCanBeStartedTheCallerTakesEveryStep) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "forks, which the thread sanitizer does not follow";
#endif
  if (::geteuid() != 0) GTEST_SKIP() << "takes another user's limits, which needs root";
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit one{1, 1};
    if (::setgid(65534) != 0 || ::setuid(65534) != 0 || ::setrlimit(RLIMIT_NPROC, &one) != 0)
      ::_exit(10);
    try {
      std::thread([] {}).join();
      ::_exit(11);  // the limit does not hold here
    } catch (const std::system_error&) {
    }
    std::vector<int> alone(10, 0), kept_runs(10, 0);
    AtOnce(alone.size(), 4, [&](size_t i) { return ++alone[i] > 0; });
    {
      KeptThreads kept(4);
      KeptThreads::Use use(kept);
      AtOnce(kept_runs.size(), 4, [&](size_t i) { return ++kept_runs[i] > 0; });
    }
    bool each_once = alone == std::vector<int>(10, 1) && kept_runs == std::vector<int>(10, 1);
    ::_exit(each_once ? 0 : 12);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
  if (WEXITSTATUS(status) == 10 || WEXITSTATUS(status) == 11)
    GTEST_SKIP() << "no thread limit could be set here (" << WEXITSTATUS(status) << ")";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vireo
