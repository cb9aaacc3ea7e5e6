#include <pthread.h>
#include <sys/resource.h>
#include <algorithm>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "dataflow/SLClockGen.h"

namespace {

// Runs a given body on its own thread, then ends.
class TBodyThread final : public TLPThread {
public:
  TBodyThread(std::string AName, std::function<void(TBodyThread&)> ABody)
      : TLPThread(std::move(AName)), FBody(std::move(ABody)) {}
  ~TBodyThread() override { WaitFor(); }

  using TLPThread::PublishThreadName;

protected:
  void Execute() override { FBody(*this); }

private:
  std::function<void(TBodyThread&)> FBody;
};

std::string CurrentThreadName() {
  char name[16] = {};
  pthread_getname_np(pthread_self(), name, sizeof name);
  return name;
}

int CurrentNice() { return getpriority(PRIO_PROCESS, 0); }

struct TNameCase {
  std::string Given;
  std::string Shown;
};

class ThreadName : public ::testing::TestWithParam<TNameCase> {};

TEST_P(ThreadName, IsShownCutToWholeCharactersWithinFifteenBytes) {
  std::string shown;
  TBodyThread thread(GetParam().Given, [&](TBodyThread& self) {
    self.PublishThreadName();
    shown = CurrentThreadName();
  });
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(shown, GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ThreadName,
    ::testing::Values(
        TNameCase{"Court", "Court"}, TNameCase{"Quinze.Octets.A", "Quinze.Octets.A"},
        TNameCase{TLPThread::OwnerName("", "TALAudioIn") + ".TALWaveThread", "TALAudioIn.TALW"},
        TNameCase{TLPThread::OwnerName("ALAudioIn1", "TALAudioIn") + ".T", "ALAudioIn1.T"},
        TNameCase{"ABCDEFGHIJKLMN\xC3\xA9", "ABCDEFGHIJKLMN"},        // é split
        TNameCase{"ABCDEFGHIJKLM\xE2\x82\xAC", "ABCDEFGHIJKLM"},      // € split
        TNameCase{"ABCDEFGHIJKLM\xF0\x9F\x8E\xB5", "ABCDEFGHIJKLM"},  // note split
        TNameCase{"ABCDEFGHIJK\xF0\x9F\x8E\xB5X",
                  "ABCDEFGHIJK\xF0\x9F\x8E\xB5"},  // ends on a whole note
        TNameCase{"Entr\xC3\xA9"
                  "e",
                  "Entr\xC3\xA9"
                  "e"}));

TEST(Thread, PriorityIsAppliedAroundTheCreatorsNiceWhereAllowed) {
  const int normal = CurrentNice();
  struct TPriorityCase {
    TThreadPriority Priority;
    int Offset;
  };
  for (const TPriorityCase& c :
       {TPriorityCase{TThreadPriority::tpLower, 1}, TPriorityCase{TThreadPriority::tpLowest, 2},
        TPriorityCase{TThreadPriority::tpNormal, 0},
        TPriorityCase{TThreadPriority::tpHighest, -2}}) {
    int seen = 0;
    TBodyThread thread("Prio", [&](TBodyThread&) { seen = CurrentNice(); });
    thread.SetPriority(c.Priority);
    thread.Start();
    thread.WaitFor();
    if (c.Offset >= 0) {
      // Nice values stop at 19, so a creator already running at the bottom stays there.
      EXPECT_EQ(seen, std::min(normal + c.Offset, 19));
    } else {
      // Raising needs a privilege; without it the thread stays normal.
      EXPECT_TRUE(seen == normal + c.Offset || seen == normal) << seen;
    }
  }
}

TEST(Thread, PriorityChangedWhileRunningReachesTheThread) {
  const int normal = CurrentNice();
  std::mutex mutex;
  std::condition_variable changed;
  bool go = false;
  int seen = 0;
  TBodyThread thread("Prio", [&](TBodyThread&) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return go; });
    seen = CurrentNice();
  });
  thread.Start();
  thread.SetPriority(TThreadPriority::tpIdle);
  {
    std::lock_guard lock(mutex);
    go = true;
  }
  changed.notify_one();
  thread.WaitFor();
  EXPECT_EQ(seen, 19);
  EXPECT_EQ(thread.Priority(), TThreadPriority::tpIdle);
  EXPECT_EQ(CurrentNice(), normal);
}

TEST(Thread, RunsUntilTerminatedAndKeepsWhatEscapedItsBody) {
  TBodyThread thread("Boucle", [](TBodyThread& self) {
    while (!self.Terminated()) std::this_thread::yield();
    throw std::runtime_error("fin");
  });
  thread.Start();
  EXPECT_THROW(thread.Start(), std::logic_error);
  thread.Terminate();
  thread.WaitFor();

  ASSERT_TRUE(thread.FatalException());
  EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::runtime_error);
}

}  // namespace
