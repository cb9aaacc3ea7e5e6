#include "capture/SLSmartBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "capture/SLSmartBufferManager.h"

namespace {

class SLSmartBuffer : public ::testing::Test {
protected:
  void SetUp() override { TSLSmartBuffer::ReleaseMemory(); }
  void TearDown() override { TSLSmartBuffer::ReleaseMemory(); }
  static int32_t FreeBlocks(uint32_t ASize) {
    return TSLSmartBufferManager::Instance().CountFreeBlocks(ASize);
  }
};

TEST_F(SLSmartBuffer, BlockAndContainerComeFromThePoolAndGoBackToIt) {
  auto* Container = new TALSmartAudioBuffer(1064);
  EXPECT_EQ(Container->GetAllocatedSize(), 2048u);
  EXPECT_EQ(FreeBlocks(2048), 0);
  EXPECT_EQ(FreeBlocks(sizeof(TALSmartAudioBuffer)), 0);

  Container->AddReff(true);
  Container->RemoveReff(true);
  EXPECT_EQ(FreeBlocks(2048), 1);
  EXPECT_EQ(FreeBlocks(sizeof(TALSmartAudioBuffer)), 1);

  // The next container of that size cycles the same memory.
  auto* Next = new TALSmartAudioBuffer(1500);
  EXPECT_EQ(FreeBlocks(2048), 0);
  EXPECT_EQ(FreeBlocks(sizeof(TALSmartAudioBuffer)), 0);
  Next->AddReff(true);
  Next->RemoveReff(true);
}

TEST_F(SLSmartBuffer, CountsFollowOwnersAndTransports) {
  auto* Container = new TALSmartAudioBuffer(64);
  Container->AddReff(true);
  EXPECT_TRUE(Container->SingleOwner());
  Container->AddReff(true);
  EXPECT_FALSE(Container->SingleOwner());
  Container->AddReff(false);  // a carrier that may not write
  EXPECT_EQ(Container->CountOwners(), 2);
  EXPECT_EQ(Container->CountTransports(), 3);

  Container->RemoveReff(true);
  EXPECT_TRUE(Container->SingleOwner());
  Container->RemoveOwnerShip();
  Container->RemoveOwnerShip();  // never below zero
  EXPECT_EQ(Container->CountOwners(), 0);
  EXPECT_EQ(Container->CountTransports(), 2);

  Container->RemoveReff(true);
  EXPECT_EQ(FreeBlocks(64), 0);  // one transport left keeps it alive
  Container->RemoveReff(false);
  EXPECT_EQ(FreeBlocks(64), 1);
}

TEST_F(SLSmartBuffer, CloneCopiesTheWholeBlockOrOnlyTheHeader) {
  auto* Original = new TALSmartAudioBuffer(100);
  Original->AddReff(true);
  auto* Bytes = static_cast<uint8_t*>(Original->GetRawData());
  for (uint32_t i = 0; i < Original->GetAllocatedSize(); ++i) Bytes[i] = static_cast<uint8_t>(i);

  for (bool Preserve : {true, false}) {
    TSLSmartBuffer* Copy = Original->Clone(Preserve);
    Copy->AddReff(true);
    ASSERT_EQ(Copy->GetAllocatedSize(), 128u);
    auto* Copied = static_cast<uint8_t*>(Copy->GetRawData());
    EXPECT_NE(Copied, Bytes);
    const uint32_t Expected = Preserve ? 128 : 40;
    EXPECT_EQ(std::memcmp(Copied, Bytes, Expected), 0) << "preserve " << Preserve;
    if (!Preserve) std::memset(Copied + 40, 0, 88);  // past the header the clone is its own
    EXPECT_EQ(Bytes[127], 127);
    Copy->RemoveReff(true);
  }
  Original->RemoveReff(true);
}

// Several threads take and drop references to one container while the main thread drops
// the original one; the last of them frees it, exactly once.
TEST_F(SLSmartBuffer, ThreadsShareOneContainerAndTheLastFreesIt) {
  auto* Container = new TALSmartAudioBuffer(2048);
  constexpr int Threads = 4;
  constexpr int Rounds = 20000;
  for (int i = 0; i < Threads + 1; ++i) Container->AddReff(true);

  std::vector<std::thread> Workers;
  for (int Id = 0; Id < Threads; ++Id)
    Workers.emplace_back([Container] {
      for (int Round = 0; Round < Rounds; ++Round) {
        const bool Owns = Round % 2 == 0;
        Container->AddReff(Owns);
        // This thread alone now holds two owning references.
        if (Owns && Container->SingleOwner())
          ADD_FAILURE() << "a shared container looked single-owned";
        Container->RemoveReff(Owns);
      }
      Container->RemoveReff(true);
    });
  Container->RemoveReff(true);
  for (auto& Worker : Workers) Worker.join();

  EXPECT_EQ(FreeBlocks(2048), 1);
  EXPECT_EQ(FreeBlocks(sizeof(TALSmartAudioBuffer)), 1);
}

}  // namespace
