#include "capture/SLSmartBufferManager.h"

#include <stdexcept>
#include <string>

namespace {

// Allocated on first use and never destroyed, so that a container released during static
// destruction still finds its pool; the exit hook below empties the free lists.
TSLSmartBufferManager* CreateInstance() {
  auto* Manager = new TSLSmartBufferManager;
  static struct TReleaseAtExit {
    TSLSmartBufferManager* Manager;
    ~TReleaseAtExit() { Manager->ReleaseMemory(); }
  } ReleaseAtExit{Manager};
  return Manager;
}

}  // namespace

TSLSmartBufferManager::~TSLSmartBufferManager() {
  // HeapFree is virtual, and the derived part is gone by now: empty through our own.
  for (auto& List : ChainsList)
    for (void* Block : List->BufferList) ::operator delete(Block, std::align_val_t(Alignment));
}

TSLSmartBufferManager& TSLSmartBufferManager::Instance() {
  static TSLSmartBufferManager* const Manager = CreateInstance();
  return *Manager;
}

uint32_t TSLSmartBufferManager::BlockSize(uint64_t ASize) {
  if (ASize > MaxBlockSize)
    throw std::out_of_range("Buffer size out of range = " + std::to_string(ASize));
  uint32_t Size = 4;
  while (Size < ASize) Size <<= 1;
  return Size;
}

void* TSLSmartBufferManager::HeapAllocate(uint32_t ASize) {
  return ::operator new(ASize, std::align_val_t(Alignment), std::nothrow);
}

void TSLSmartBufferManager::HeapFree(void* DataPtr) {
  ::operator delete(DataPtr, std::align_val_t(Alignment));
}

TSLSmartBufferList& TSLSmartBufferManager::ListFor(uint32_t ASize) {
  for (auto& List : ChainsList)
    if (List->FSize == ASize) return *List;
  ChainsList.push_back(std::make_unique<TSLSmartBufferList>(ASize));
  return *ChainsList.back();
}

void TSLSmartBufferManager::FreeBlocksBeyond(TSLSmartBufferList& AList, size_t AKeep) {
  while (AList.BufferList.size() > AKeep) {
    HeapFree(AList.BufferList.back());
    AList.BufferList.pop_back();
  }
}

void* TSLSmartBufferManager::Allocate(uint32_t ASize) {
  if (ASize == 0) return nullptr;
  {
    std::lock_guard Guard(FListLock);
    TSLSmartBufferList& List = ListFor(ASize);
    List.FCountDown = static_cast<uint32_t>(List.BufferList.size()) + 8;
    if (!List.BufferList.empty()) {
      void* Block = List.BufferList.back();
      List.BufferList.pop_back();
      return Block;
    }
  }
  // The heap is called outside the list lock so that other sizes are not held up.
  void* Block = HeapAllocate(ASize);
  if (!Block) throw ESLOutOfMemory();
  return Block;
}

void TSLSmartBufferManager::Deallocate(void* DataPtr, uint32_t ASize) {
  if (!DataPtr) return;
  std::lock_guard Guard(FListLock);
  TSLSmartBufferList& List = ListFor(ASize);
  List.BufferList.push_back(DataPtr);
  List.FCountDown = static_cast<uint32_t>(List.BufferList.size()) + 8;
}

void TSLSmartBufferManager::Tick() {
  std::lock_guard Guard(FListLock);
  for (size_t i = ChainsList.size(); i-- > 0;) {
    TSLSmartBufferList& List = *ChainsList[i];
    if (List.FCountDown > 0) --List.FCountDown;
    FreeBlocksBeyond(List, List.FCountDown);
    if (List.FCountDown == 0) ChainsList.erase(ChainsList.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void TSLSmartBufferManager::ReleaseMemory() {
  std::lock_guard Guard(FListLock);
  for (auto& List : ChainsList) FreeBlocksBeyond(*List, 0);
  ChainsList.clear();
}

int32_t TSLSmartBufferManager::CountFreeBlocks(uint32_t ASize) const {
  std::lock_guard Guard(FListLock);
  for (auto& List : ChainsList)
    if (List->FSize == ASize) return static_cast<int32_t>(List->BufferList.size());
  return -1;
}
