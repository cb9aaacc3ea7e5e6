#include "capture/SLSmartBuffer.h"

#include <algorithm>
#include <cstring>

#include "capture/SLSmartBufferManager.h"

namespace {
constexpr uint32_t AudioHeaderSize = 40;
}

void TSLSmartBuffer::AddReff(bool OwnsData) {
  std::lock_guard Guard(FCriticalSection);
  ++FCountTransports;
  if (OwnsData) ++FCountOwners;
}

void TSLSmartBuffer::RemoveReff(bool OwnsData) {
  bool Last = false;
  {
    std::lock_guard Guard(FCriticalSection);
    if (OwnsData && FCountOwners > 0) --FCountOwners;
    if (FCountTransports <= 0) return;
    Last = --FCountTransports == 0;
  }
  if (Last) delete this;
}

void TSLSmartBuffer::RemoveOwnerShip() {
  std::lock_guard Guard(FCriticalSection);
  if (FCountOwners > 0) --FCountOwners;
}

bool TSLSmartBuffer::SingleOwner() {
  std::lock_guard Guard(FCriticalSection);
  return FCountOwners < 2;
}

int32_t TSLSmartBuffer::CountOwners() {
  std::lock_guard Guard(FCriticalSection);
  return FCountOwners;
}

int32_t TSLSmartBuffer::CountTransports() {
  std::lock_guard Guard(FCriticalSection);
  return FCountTransports;
}

void TSLSmartBuffer::CopyFrom(const TSLSmartBuffer& Other) {
  std::memcpy(GetRawData(), Other.GetRawData(),
              std::min(GetAllocatedSize(), Other.GetAllocatedSize()));
}

void TSLSmartBuffer::ReleaseMemory() { TSLSmartBufferManager::Instance().ReleaseMemory(); }

TALSmartAudioBuffer::TALSmartAudioBuffer(uint32_t ASize)
    : FAllocatedSize(TSLSmartBufferManager::BlockSize(ASize)) {
  FDataPtr = TSLSmartBufferManager::Instance().Allocate(FAllocatedSize);
}

TALSmartAudioBuffer::TALSmartAudioBuffer(const TALSmartAudioBuffer& Other, bool Preserve)
    : FAllocatedSize(Other.FAllocatedSize) {
  FDataPtr = TSLSmartBufferManager::Instance().Allocate(FAllocatedSize);
  if (Preserve)
    CopyFrom(Other);
  else
    std::memcpy(FDataPtr, Other.FDataPtr, std::min(AudioHeaderSize, FAllocatedSize));
}

TALSmartAudioBuffer::~TALSmartAudioBuffer() {
  TSLSmartBufferManager::Instance().Deallocate(FDataPtr, FAllocatedSize);
}

TSLSmartBuffer* TALSmartAudioBuffer::Clone(bool Preserve) {
  return new TALSmartAudioBuffer(*this, Preserve);
}

void* TALSmartAudioBuffer::operator new(std::size_t ASize) {
  return TSLSmartBufferManager::Instance().Allocate(static_cast<uint32_t>(ASize));
}

void TALSmartAudioBuffer::operator delete(void* APtr, std::size_t ASize) {
  TSLSmartBufferManager::Instance().Deallocate(APtr, static_cast<uint32_t>(ASize));
}
