#include "capture/SLSmartBufferManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(SLSmartBufferManager, BlockSizeIsTheSmallestPowerOfTwoFromFourUp) {
  struct Case {
    uint64_t Request;
    uint32_t Expected;
  };
  const Case Cases[] = {
      {0, 4},
      {1, 4},
      {4, 4},
      {5, 8},
      {1024, 1024},
      {1064, 2048},
      {65537, 131072},
      {(1u << 30) - 1, 1u << 30},
      {1u << 30, 1u << 30},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(TSLSmartBufferManager::BlockSize(C.Request), C.Expected) << C.Request;
}

TEST(SLSmartBufferManager, RequestsAboveTheLargestBlockAreRefused) {
  EXPECT_THROW(TSLSmartBufferManager::BlockSize((1u << 30) + 1), std::out_of_range);
  EXPECT_THROW(TSLSmartBufferManager::BlockSize(UINT64_MAX), std::out_of_range);
}

TEST(SLSmartBufferManager, BlocksAreAlignedAndReusedLastInFirstOut) {
  TSLSmartBufferManager Pool;
  EXPECT_EQ(Pool.Allocate(0), nullptr);

  void* A = Pool.Allocate(2048);
  void* B = Pool.Allocate(2048);
  void* Odd = Pool.Allocate(97);
  for (void* Block : {A, B, Odd})
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Block) % TSLSmartBufferManager::Alignment, 0u);
  EXPECT_NE(A, B);
  std::memset(A, 0xAB, 2048);  // the whole block is usable
  std::memset(Odd, 0xCD, 97);

  Pool.Deallocate(A, 2048);
  Pool.Deallocate(B, 2048);
  EXPECT_EQ(Pool.CountFreeBlocks(2048), 2);
  EXPECT_EQ(Pool.CountFreeBlocks(97), 0);
  EXPECT_EQ(Pool.Allocate(2048), B);
  EXPECT_EQ(Pool.Allocate(2048), A);
  // Lists serve exact sizes only.
  Pool.Deallocate(A, 2048);
  void* Other = Pool.Allocate(1024);
  EXPECT_NE(Other, A);
  EXPECT_EQ(Pool.CountFreeBlocks(2048), 1);

  Pool.Deallocate(B, 2048);
  Pool.Deallocate(Other, 1024);
  Pool.Deallocate(Odd, 97);
  Pool.ReleaseMemory();
  EXPECT_EQ(Pool.CountFreeBlocks(2048), -1);
  EXPECT_EQ(Pool.CountFreeBlocks(1024), -1);
}

TEST(SLSmartBufferManager, IdleSizeKeepsItsBlocksForEightTicksThenGivesOnePerTick) {
  TSLSmartBufferManager Pool;
  std::vector<void*> Blocks;
  for (int i = 0; i < 3; ++i) Blocks.push_back(Pool.Allocate(2048));
  for (void* Block : Blocks) Pool.Deallocate(Block, 2048);

  // Free blocks seen after each tick; -1 once the list is gone.
  const int32_t Expected[] = {3, 3, 3, 3, 3, 3, 3, 3, 2, 1, -1, -1};
  for (size_t Tick = 0; Tick < std::size(Expected); ++Tick) {
    Pool.Tick();
    EXPECT_EQ(Pool.CountFreeBlocks(2048), Expected[Tick]) << "after tick " << Tick + 1;
  }
}

TEST(SLSmartBufferManager, SizeInUseKeepsItsBlocksWhileIdleSizesAreTrimmed) {
  TSLSmartBufferManager Pool;
  Pool.Deallocate(Pool.Allocate(64), 64);
  void* Busy = Pool.Allocate(2048);
  for (int Tick = 0; Tick < 20; ++Tick) {
    Pool.Deallocate(Busy, 2048);
    Pool.Tick();
    Busy = Pool.Allocate(2048);
  }
  EXPECT_EQ(Pool.CountFreeBlocks(64), -1);
  EXPECT_EQ(Pool.CountFreeBlocks(2048), 0);
  Pool.Deallocate(Busy, 2048);
  EXPECT_EQ(Pool.CountFreeBlocks(2048), 1);
}

TEST(SLSmartBufferManager, ListWithBlocksStillOutIsDroppedAndComesBackOnReturn) {
  TSLSmartBufferManager Pool;
  void* Block = Pool.Allocate(512);
  for (int Tick = 0; Tick < 8; ++Tick) Pool.Tick();
  EXPECT_EQ(Pool.CountFreeBlocks(512), -1);
  Pool.Deallocate(Block, 512);
  EXPECT_EQ(Pool.CountFreeBlocks(512), 1);
}

class TExhaustedHeap : public TSLSmartBufferManager {
protected:
  void* HeapAllocate(uint32_t) override { return nullptr; }
};

TEST(SLSmartBufferManager, ExhaustedHeapRaisesOutOfMemory) {
  TExhaustedHeap Pool;
  try {
    Pool.Allocate(2048);
    FAIL() << "no error raised";
  } catch (const ESLOutOfMemory& E) {
    EXPECT_STREQ(E.what(), "Out of memory");
  }
  // A returned block is still served although the heap is empty.
  alignas(32) int Block[8] = {};
  Pool.Deallocate(Block, 32);
  EXPECT_EQ(Pool.Allocate(32), Block);
}

TEST(SLSmartBufferManager, SeveralThreadsNeverShareABlock) {
  TSLSmartBufferManager Pool;
  constexpr int Threads = 4;
  constexpr int Rounds = 5000;
  const uint32_t Sizes[] = {64, 2048, 100};
  std::atomic<int> Clashes{0};
  std::atomic<bool> Done{false};

  std::thread Trimmer([&] {
    while (!Done) Pool.Tick();
  });
  std::vector<std::thread> Workers;
  for (int Id = 0; Id < Threads; ++Id)
    Workers.emplace_back([&, Id] {
      for (int Round = 0; Round < Rounds; ++Round) {
        const uint32_t Size = Sizes[Round % std::size(Sizes)];
        auto* Block = static_cast<uint8_t*>(Pool.Allocate(Size));
        std::memset(Block, Id, Size);
        std::this_thread::yield();
        for (uint32_t i = 0; i < Size; ++i)
          if (Block[i] != Id) {
            ++Clashes;
            break;
          }
        Pool.Deallocate(Block, Size);
      }
    });
  for (auto& Worker : Workers) Worker.join();
  Done = true;
  Trimmer.join();

  EXPECT_EQ(Clashes, 0);
  Pool.ReleaseMemory();
}

}  // namespace
