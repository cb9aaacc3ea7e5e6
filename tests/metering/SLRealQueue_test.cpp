#include "metering/SLRealQueue.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(SLRealQueue, ItemsAreIndexedFromTheOldestRemainingValue) {
  TSLRealQueue Queue;
  for (int i = 0; i < 5; ++i) Queue.Add(i);
  Queue.Remove();
  Queue.Remove();
  Queue.SetItem(1, 40);
  EXPECT_EQ(Queue.GetItem(0), 2);
  EXPECT_EQ(Queue.GetItem(1), 40);
  EXPECT_EQ(Queue.GetItem(2), 4);
  EXPECT_THROW(Queue.GetItem(3), std::out_of_range);
  EXPECT_THROW(Queue.GetItem(-1), std::out_of_range);
  EXPECT_THROW(Queue.SetItem(3, 0), std::out_of_range);
}

TEST(SLRealQueue, EmptyQueueRefusesPopAndIgnoresRemove) {
  TSLRealQueue Queue;
  EXPECT_THROW(Queue.Pop(), std::out_of_range);
  Queue.Remove();
  EXPECT_EQ(Queue.GetCount(), 0);
  Queue.Add(7);
  Queue.Clear();
  EXPECT_EQ(Queue.GetCount(), 0);
  EXPECT_THROW(Queue.Pop(), std::out_of_range);
}

// Interleaving adds and removes across the reuse of removed room must keep the order.
TEST(SLRealQueue, LongRunOfAddsAndRemovesKeepsOrder) {
  TSLRealQueue Queue;
  int Next = 0;
  int Expected = 0;
  for (int Round = 0; Round < 200; ++Round) {
    for (int i = 0; i < 3 + Round % 5; ++i) Queue.Add(Next++);
    for (int i = 0; i < 2 + Round % 4 && Queue.GetCount() > 0; ++i)
      ASSERT_EQ(Queue.Pop(), Expected++);
  }
  EXPECT_EQ(Queue.GetCount(), Next - Expected);
  while (Queue.GetCount() > 0) ASSERT_EQ(Queue.Pop(), Expected++);
  EXPECT_EQ(Expected, Next);
}

}  // namespace
