#include "app/uQtMessageQueue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "QtTestApp.h"
#include "dataflow/SLClockGen.h"

namespace {

class QtMessageQueue : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    EnsureQApplication();
    InstallQtMessageQueue();
  }
  static void TearDownTestSuite() { SLSetMessageQueue(nullptr); }

  // Runs the Qt loop until the condition holds, for a few seconds at most.
  static bool ProcessEventsUntil(const std::function<bool()>& ACondition) {
    QDeadlineTimer deadline(5000);
    while (!ACondition() && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return ACondition();
  }
};

TEST_F(QtMessageQueue, APostFromAWorkerRunsOnTheGuiThread) {
  std::atomic<int> runs{0};
  std::thread::id ranOn;
  TSLMainThreadNotify notifier([&](TSLMainThreadNotify*) {
    ranOn = std::this_thread::get_id();
    ++runs;
  });

  std::thread worker([&] { notifier.Notify(false); });
  worker.join();
  EXPECT_EQ(runs, 0) << "ran before the loop got to it";

  ASSERT_TRUE(ProcessEventsUntil([&] { return runs == 1; }));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(QtMessageQueue, AHandlerMayDestroyTheLastNotifierWhileItsMessagesWait) {
  int runs = 0;
  std::unique_ptr<TSLMainThreadNotify> notifier;
  notifier = std::make_unique<TSLMainThreadNotify>([&](TSLMainThreadNotify*) {
    ++runs;
    notifier.reset();
  });

  notifier->Notify(true);
  notifier->Notify(true);
  ASSERT_TRUE(ProcessEventsUntil([&] { return runs > 0; }));
  // The second message and the retired window both go with the next turns of the loop.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QCoreApplication::processEvents();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(notifier, nullptr);
}

// Keeps the object that the loop hands messages of the application's own types to.
class TUserEventWatch final : public QObject {
public:
  TUserEventWatch() { QCoreApplication::instance()->installEventFilter(this); }
  ~TUserEventWatch() override { QCoreApplication::instance()->removeEventFilter(this); }
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
    if (AEvent->type() >= QEvent::User) Receiver = AWatched;
    return false;
  }
  QObject* Receiver = nullptr;
};

// The exception reaches whoever runs the loop; the receiver goes on delivering, and once the
// last notifier goes it is deleted at once, not left for a loop that may never run again.
TEST_F(QtMessageQueue, AHandlerThatRaisesLeavesTheReceiverWorkingAndFreeToGo) {
  int runs = 0;
  auto notifier = std::make_unique<TSLMainThreadNotify>([&](TSLMainThreadNotify*) {
    ++runs;
    throw std::runtime_error("handler failed");
  });
  TUserEventWatch watch;
  for (int expected : {1, 2}) {
    notifier->Notify(true);
    EXPECT_THROW(QCoreApplication::sendPostedEvents(), std::runtime_error);
    EXPECT_EQ(runs, expected);
  }
  ASSERT_NE(watch.Receiver, nullptr);
  bool deleted = false;
  QObject::connect(watch.Receiver, &QObject::destroyed, [&] { deleted = true; });
  notifier.reset();
  EXPECT_TRUE(deleted);
}

}  // namespace
