#include "dataflow/SLClockGen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// A plain queue that also counts the hidden windows it made and still has.
class TCountingQueue final : public ISLMessageQueue {
public:
  std::unique_ptr<ISLHiddenWindow> CreateHiddenWindow(TWndMethod AWndProc) override {
    ++Created;
    return std::make_unique<TCountedWindow>(*this, FQueue.CreateHiddenWindow(std::move(AWndProc)));
  }
  size_t ProcessMessages() { return FQueue.ProcessMessages(); }

  int Created = 0;
  int Alive = 0;

private:
  class TCountedWindow final : public ISLHiddenWindow {
  public:
    TCountedWindow(TCountingQueue& AOwner, std::unique_ptr<ISLHiddenWindow> AWindow)
        : FOwner(AOwner), FWindow(std::move(AWindow)) {
      ++FOwner.Alive;
    }
    ~TCountedWindow() override { --FOwner.Alive; }
    bool PostMessage(const TMessage& Message) override { return FWindow->PostMessage(Message); }

  private:
    TCountingQueue& FOwner;
    std::unique_ptr<ISLHiddenWindow> FWindow;
  };

  TSLMessageQueue FQueue;
};

// Counts the runs of a handler and remembers whether any ran off the main thread.
struct TRuns {
  TSLMainThreadNotify::TNotifyEvent Handler() {
    return [this](TSLMainThreadNotify* Sender) {
      ++Count;
      LastSender = Sender;
      if (std::this_thread::get_id() != MainThread) OffMainThread = true;
    };
  }
  std::atomic<int> Count{0};
  TSLMainThreadNotify* LastSender = nullptr;
  bool OffMainThread = false;
  std::thread::id MainThread = std::this_thread::get_id();
};

// Calls Notify(false) from a worker thread, as the meter does, and waits until it is done.
void NotifyFromWorker(std::vector<TSLMainThreadNotify*> ANotifiers) {
  std::thread worker([&] {
    for (TSLMainThreadNotify* notifier : ANotifiers) notifier->Notify(false);
  });
  worker.join();
}

class MainThreadNotify : public ::testing::Test {
protected:
  void SetUp() override { SLSetMessageQueue(Queue); }
  void TearDown() override { SLSetMessageQueue(nullptr); }

  std::shared_ptr<TCountingQueue> Queue = std::make_shared<TCountingQueue>();
};

TEST_F(MainThreadNotify, OnTheMainThreadRunsAtOnceUnlessForcedToPost) {
  TRuns runs;
  TSLMainThreadNotify notifier(runs.Handler());

  notifier.Notify(false);
  EXPECT_EQ(runs.Count, 1);
  EXPECT_EQ(runs.LastSender, &notifier);
  EXPECT_EQ(Queue->ProcessMessages(), 0u);

  notifier.Notify(true);
  EXPECT_EQ(runs.Count, 1);
  EXPECT_EQ(Queue->ProcessMessages(), 1u);
  EXPECT_EQ(runs.Count, 2);
}

TEST_F(MainThreadNotify, EveryPostFromAWorkerRunsOnceOnTheMainThread) {
  TRuns runs;
  TSLMainThreadNotify notifier(runs.Handler());

  NotifyFromWorker({&notifier, &notifier, &notifier});
  EXPECT_EQ(runs.Count, 0);
  EXPECT_EQ(Queue->ProcessMessages(), 3u);
  EXPECT_EQ(runs.Count, 3);
  EXPECT_FALSE(runs.OffMainThread);
}

TEST_F(MainThreadNotify, WorkersPostingWhileTheMainThreadDrainsLoseNothing) {
  constexpr int Workers = 4;
  constexpr int PostsEach = 500;
  TRuns runs;
  TSLMainThreadNotify notifier(runs.Handler());

  std::vector<std::thread> workers;
  for (int i = 0; i < Workers; ++i)
    workers.emplace_back([&] {
      for (int n = 0; n < PostsEach; ++n) notifier.Notify(false);
    });
  while (runs.Count < Workers * PostsEach / 2) Queue->ProcessMessages();
  for (std::thread& worker : workers) worker.join();
  Queue->ProcessMessages();

  EXPECT_EQ(runs.Count, Workers * PostsEach);
  EXPECT_FALSE(runs.OffMainThread);
}

TEST_F(MainThreadNotify, MessagesOfADestroyedNotifierAreDropped) {
  TRuns keptRuns, goneRuns;
  TSLMainThreadNotify kept(keptRuns.Handler());
  auto gone = std::make_unique<TSLMainThreadNotify>(goneRuns.Handler());

  NotifyFromWorker({gone.get(), &kept, gone.get()});
  gone.reset();
  Queue->ProcessMessages();

  EXPECT_EQ(goneRuns.Count, 0);
  EXPECT_EQ(keptRuns.Count, 1);
}

TEST_F(MainThreadNotify, ANotifierMadeInTheSamePlaceDoesNotInheritMessages) {
  TRuns keptRuns, firstRuns, secondRuns;
  TSLMainThreadNotify kept(keptRuns.Handler());
  std::optional<TSLMainThreadNotify> slot;
  slot.emplace(firstRuns.Handler());

  NotifyFromWorker({&*slot});
  slot.reset();
  slot.emplace(secondRuns.Handler());  // same address as the first one
  Queue->ProcessMessages();

  EXPECT_EQ(firstRuns.Count, 0);
  EXPECT_EQ(secondRuns.Count, 0);
}

TEST_F(MainThreadNotify, TheLastNotifierTakesTheWindowAndItsMessagesAlong) {
  TRuns firstRuns, secondRuns;
  auto first = std::make_unique<TSLMainThreadNotify>(firstRuns.Handler());
  auto silent = std::make_unique<TSLMainThreadNotify>(nullptr);
  EXPECT_EQ(Queue->Created, 1);

  NotifyFromWorker({first.get(), silent.get(), first.get()});
  first.reset();
  EXPECT_EQ(Queue->Alive, 1);
  silent.reset();
  EXPECT_EQ(Queue->Alive, 0);

  TSLMainThreadNotify second(secondRuns.Handler());
  EXPECT_EQ(Queue->Created, 2);
  EXPECT_EQ(Queue->ProcessMessages(), 0u);

  NotifyFromWorker({&second});
  EXPECT_EQ(Queue->ProcessMessages(), 1u);
  EXPECT_EQ(firstRuns.Count, 0);
  EXPECT_EQ(secondRuns.Count, 1);
}

TEST_F(MainThreadNotify, AHandlerMayDestroyTheLastNotifier) {
  int runs = 0;
  std::unique_ptr<TSLMainThreadNotify> notifier;
  notifier = std::make_unique<TSLMainThreadNotify>([&](TSLMainThreadNotify*) {
    ++runs;
    notifier.reset();
  });

  NotifyFromWorker({notifier.get(), notifier.get()});
  Queue->ProcessMessages();

  EXPECT_EQ(runs, 1);
  EXPECT_EQ(Queue->Alive, 0);
}

TEST(MainThreadNotifyWithoutQueue, CannotBeCreated) {
  SLSetMessageQueue(nullptr);
  EXPECT_THROW(TSLMainThreadNotify notifier(nullptr), std::runtime_error);
  // Nothing was left registered: a later notifier gets a fresh window.
  auto queue = std::make_shared<TCountingQueue>();
  SLSetMessageQueue(queue);
  {
    TSLMainThreadNotify notifier(nullptr);
    EXPECT_EQ(queue->Alive, 1);
  }
  EXPECT_EQ(queue->Alive, 0);
  SLSetMessageQueue(nullptr);
}

}  // namespace
