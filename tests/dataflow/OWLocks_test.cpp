#include "dataflow/OWLocks.h"

#include <gtest/gtest.h>

#include "BoundedWait.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Long enough for a thread that could take a free lock to have taken it.
constexpr auto CSettle = 150ms;

// Starts a thread that takes a write section on ALock and reports whether it held it.
std::future<bool> WriteFromOtherThread(IOWLock& ALock) {
  return std::async(std::launch::async, [&ALock] {
    TOWLockSection section = ALock.WriteLock();
    return static_cast<bool>(section);
  });
}

}  // namespace

TEST(TOWLock, NestedSectionsKeepTheLockUntilTheOuterEnds) {
  TOWLock lock;
  TOWLockSection outer = lock.WriteLock();
  ASSERT_TRUE(outer.Held());
  {
    TOWLockSection inner = lock.WriteLock();
    EXPECT_TRUE(inner.Held());
    TOWLockSection read = lock.ReadLock();
    EXPECT_TRUE(read.Held());
  }
  std::future<bool> other = WriteFromOtherThread(lock);
  EXPECT_EQ(other.wait_for(CSettle), std::future_status::timeout);
  outer.Release();
  EXPECT_TRUE(other.get());
}

TEST(TOWLock, StopSectionTurnsOtherThreadsAwayAtOnce) {
  TOWLock lock;
  TOWLockSection stop = lock.StopLock();
  ASSERT_TRUE(stop.Held());
  // The stop stays in force while the other thread tries: if its attempt waited for the lock,
  // it would never return.
  EXPECT_FALSE(GetWithin(WriteFromOtherThread(lock), "a write lock while a stop is in force"));
  GetWithin(std::async(std::launch::async,
                       [&lock] {
                         TOWLockSection section = lock.AccessLock(nullptr);
                         EXPECT_TRUE(static_cast<bool>(section));
                         EXPECT_FALSE(section.Held());
                       }),
            "an access lock while a stop is in force");
  // The stopping thread's own sections are ordinary re-entries.
  EXPECT_TRUE(lock.WriteLock().Held());
  stop.Release();
  EXPECT_TRUE(GetWithin(WriteFromOtherThread(lock), "a write lock after the stop"));
}

TEST(TOWLock, StopWaitsForTheHolder) {
  TOWLock lock;
  std::promise<void> taken;
  std::promise<void> release;
  std::thread holder([&] {
    TOWLockSection section = lock.WriteLock();
    taken.set_value();
    release.get_future().wait();
    // The holder's own nested sections still work while the stop waits.
    EXPECT_TRUE(lock.WriteLock().Held());
  });
  taken.get_future().wait();
  auto stopped = std::async(std::launch::async, [&lock] { return lock.StopLock().Held(); });
  EXPECT_EQ(stopped.wait_for(CSettle), std::future_status::timeout);
  release.set_value();
  holder.join();
  EXPECT_TRUE(stopped.get());
}

TEST(TOWLock, StopInsideAHoldingLeavesTheHolding) {
  TOWLock lock;
  TOWLockSection outer = lock.WriteLock();
  {
    TOWLockSection stop = lock.StopLock();
    EXPECT_FALSE(WriteFromOtherThread(lock).get());
  }
  std::future<bool> other = WriteFromOtherThread(lock);
  EXPECT_EQ(other.wait_for(CSettle), std::future_status::timeout);
  outer.Release();
  EXPECT_TRUE(other.get());
}

TEST(TOWLock, UnlockAllLetsOthersInAndTakesBackTheWholeDepth) {
  TOWLock lock;
  TOWLockSection outer = lock.WriteLock();
  TOWLockSection inner = lock.WriteLock();
  {
    TOWLockSection free = lock.UnlockAll();
    EXPECT_TRUE(WriteFromOtherThread(lock).get());
  }
  inner.Release();
  std::future<bool> other = WriteFromOtherThread(lock);
  EXPECT_EQ(other.wait_for(CSettle), std::future_status::timeout);
  outer.Release();
  EXPECT_TRUE(other.get());
}

TEST(TOWLock, UnlockAllOfALockHeldElsewhereDoesNothing) {
  TOWLock lock;
  std::promise<void> taken;
  std::promise<void> release;
  std::thread holder([&] {
    TOWLockSection section = lock.WriteLock();
    taken.set_value();
    release.get_future().wait();
    // Still ours after the other thread's unlock-all came and went.
    EXPECT_TRUE(lock.WriteLock().Held());
  });
  taken.get_future().wait();
  {
    TOWLockSection free = lock.UnlockAll();
    EXPECT_TRUE(static_cast<bool>(free));
  }
  std::future<bool> other = WriteFromOtherThread(lock);
  EXPECT_EQ(other.wait_for(CSettle), std::future_status::timeout);
  release.set_value();
  holder.join();
  EXPECT_TRUE(other.get());
}

TEST(TOWLock, StoppingThreadTakesItsLockBackAfterUnlockAll) {
  // As a stopping component that sends its end-stop through its own pin, which lets go of
  // the component lock for the delivery, and then goes on changing its state.
  TOWLock lock;
  TOWLockSection stop = lock.StopLock();
  TOWLockSection held = lock.WriteLock();
  {
    TOWLockSection free = lock.UnlockAll();
    // Other threads are still turned away while the stopping thread has let go.
    EXPECT_FALSE(WriteFromOtherThread(lock).get());
    EXPECT_TRUE(lock.WriteLock().Held());
  }
  EXPECT_TRUE(lock.WriteLock().Held());
  EXPECT_FALSE(WriteFromOtherThread(lock).get());
  held.Release();
  stop.Release();
  EXPECT_TRUE(WriteFromOtherThread(lock).get());
}

// A thread already waiting for the lock when a stop begins must give up, not slip in while
// the stopping thread has let go of the lock.
TEST(TOWLock, WaiterGivesUpWhenAStopBegins) {
  TOWLock lock;
  std::promise<void> taken;
  std::promise<void> release;
  std::thread holder([&] {
    TOWLockSection section = lock.WriteLock();
    taken.set_value();
    release.get_future().wait();
  });
  taken.get_future().wait();
  // The order is made certain: the waiter waits, then the stop begins, then the holder lets go.
  std::future<bool> waiter = WriteFromOtherThread(lock);
  {
    TBoundedWait bound("the waiter to wait for the lock");
    while (lock.CountWaiting() == 0) std::this_thread::sleep_for(1ms);
  }
  std::promise<void> stopping;
  std::promise<void> finish;
  std::thread stopper([&] {
    TOWLockSection stop = lock.StopLock();
    TOWLockSection free = lock.UnlockAll();
    stopping.set_value();
    finish.get_future().wait();
  });
  {
    TBoundedWait bound("the stop to wait for the holder");
    while (!lock.StopPending()) std::this_thread::sleep_for(1ms);
  }
  release.set_value();
  holder.join();
  GetWithin(stopping.get_future(), "the stop to take the lock");
  EXPECT_FALSE(GetWithin(waiter, "the waiter to give up"));
  finish.set_value();
  stopper.join();
}

TEST(TOWLock, WaiterLetsGoOfItsSlaveLockSoTheHolderCanFinish) {
  // The holder of the pin lock needs the owner lock; the waiter holds the owner lock and
  // wants the pin lock. Without letting go of the slave both would wait forever.
  TOWLock pin;
  TOWLock owner;
  std::promise<void> pinTaken;
  std::promise<void> ownerTaken;
  std::thread holder([&] {
    TOWLockSection p = pin.WriteLock();
    pinTaken.set_value();
    ownerTaken.get_future().wait();
    TOWLockSection o = owner.WriteLock();
    EXPECT_TRUE(o.Held());
  });
  TOWLockSection o = owner.WriteLock();
  TOWLockSection o2 = owner.WriteLock();
  pinTaken.get_future().wait();
  ownerTaken.set_value();
  {
    TOWLockSection p = pin.AccessLock(&owner);
    EXPECT_TRUE(p.Held());
    holder.join();
  }
  // Both holdings of the owner lock are ours again.
  o2.Release();
  std::future<bool> other = WriteFromOtherThread(owner);
  EXPECT_EQ(other.wait_for(CSettle), std::future_status::timeout);
  o.Release();
  EXPECT_TRUE(other.get());
}

TEST(TOWLock, ManyThreadsExcludeEachOther) {
  TOWLock lock;
  int counter = 0;  // guarded by the lock alone: the sanitizer builds check the exclusion
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        TOWLockSection outer = lock.WriteLock();
        TOWLockSection inner = lock.ReadLock();
        ++counter;
      }
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(counter, 8000);
}

TEST(TOWDestroyLock, DestroyLockWaitsForEveryLockSection) {
  TOWDestroyLock lock;
  constexpr int CThreads = 3;
  std::vector<std::promise<void>> release(CThreads);
  std::vector<std::thread> users;
  std::atomic<int> entered{0};
  for (int t = 0; t < CThreads; ++t) {
    users.emplace_back([&, t] {
      TOWDestroyLockSection section = lock.Lock();
      EXPECT_TRUE(static_cast<bool>(section));
      ++entered;
      release[t].get_future().wait();
    });
  }
  while (entered.load() < CThreads) {
    std::this_thread::yield();
  }
  auto destroyed = std::async(std::launch::async, [&lock] { return lock.DestroyLock(); });
  for (int t = 0; t < CThreads; ++t) {
    EXPECT_EQ(destroyed.wait_for(50ms), std::future_status::timeout) << "after " << t;
    release[t].set_value();
  }
  TOWDestroyLockSection destroying = destroyed.get();
  for (auto& user : users) {
    user.join();
  }
  EXPECT_FALSE(lock.Lock());
  {
    TOWDestroyLockSection lifted = lock.DestroyUnlockLock();
    EXPECT_TRUE(lock.Lock());
  }
  EXPECT_FALSE(lock.Lock());
  destroying.Release();
  EXPECT_TRUE(lock.Lock());
}
