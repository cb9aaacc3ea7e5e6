#include "app/uQtMessageQueue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "dataflow/SLClockGen.h"

namespace {

class QtMessageQueue : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "uQtMessageQueue_test";
    static char* argv[] = {name, nullptr};
    App = new QCoreApplication(argc, argv);
    InstallQtMessageQueue();
  }
  static void TearDownTestSuite() {
    SLSetMessageQueue(nullptr);
    delete App;
  }

  // Runs the Qt loop until the condition holds, for a few seconds at most.
  static bool ProcessEventsUntil(const std::function<bool()>& ACondition) {
    QDeadlineTimer deadline(5000);
    while (!ACondition() && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return ACondition();
  }

  static inline QCoreApplication* App = nullptr;
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

}  // namespace
