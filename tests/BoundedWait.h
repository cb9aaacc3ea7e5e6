#pragma once
// Bounded waits for the tests of threaded code: a fault that leaves a thread waiting fails its
// test within seconds, saying what was waited for, instead of hanging until the runner's
// time-out.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

// Long enough for a step that should end at once, even on a machine under full load.
inline constexpr std::chrono::milliseconds CBoundedWait{5000};

// Watches the scope it lives in: if the scope has not ended after ALimit, the test program
// ends at once with a failure that names AWhat. Ending the program is the only way out, since
// the thread that is stuck still uses the test's objects.
class TBoundedWait {
public:
  explicit TBoundedWait(const char* AWhat, std::chrono::milliseconds ALimit = CBoundedWait)
      : FWatch([this, AWhat, ALimit] {
          std::unique_lock lock(FMutex);
          if (FDone.wait_for(lock, ALimit, [this] { return FEnded; })) return;
          const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
          std::fprintf(stderr, "\n%s.%s FAILED: still waiting after %lld ms for %s\n",
                       test ? test->test_suite_name() : "?", test ? test->name() : "?",
                       static_cast<long long>(ALimit.count()), AWhat);
          std::fflush(stderr);
          std::_Exit(1);
        }) {}
  ~TBoundedWait() {
    {
      std::lock_guard lock(FMutex);
      FEnded = true;
    }
    FDone.notify_one();
    FWatch.join();
  }
  TBoundedWait(const TBoundedWait&) = delete;
  TBoundedWait& operator=(const TBoundedWait&) = delete;

private:
  std::mutex FMutex;
  std::condition_variable FDone;
  bool FEnded = false;
  std::thread FWatch;  // last: it starts once the fields it reads exist
};

// The value of AFuture, waited for at most ALimit.
template <class Future>
auto GetWithin(Future&& AFuture, const char* AWhat,
               std::chrono::milliseconds ALimit = CBoundedWait) {
  TBoundedWait bound(AWhat, ALimit);
  return AFuture.get();
}
