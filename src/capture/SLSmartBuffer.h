#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

// A shared data container: owns one block of memory and counts the buffer objects that use
// it. Owners are the buffers that may write (through copy-on-write); transports are all
// buffers that refer to it, owners included. The container frees itself when its last
// transport goes, on whichever thread drops it.
class TSLSmartBuffer {
public:
  TSLSmartBuffer() = default;
  virtual ~TSLSmartBuffer() = default;
  TSLSmartBuffer(const TSLSmartBuffer&) = delete;
  TSLSmartBuffer& operator=(const TSLSmartBuffer&) = delete;

  virtual void AddReff(bool OwnsData);
  virtual void RemoveReff(bool OwnsData);
  virtual void RemoveOwnerShip();
  virtual bool SingleOwner();
  // A new container, not yet referred to, holding a block of the same size.
  virtual TSLSmartBuffer* Clone(bool Preserve) = 0;

  virtual void* GetRawData() const = 0;
  virtual uint32_t GetAllocatedSize() const = 0;
  // Copies the smaller of the two blocks.
  void CopyFrom(const TSLSmartBuffer& Other);

  void EnterRead() { FCriticalSection.lock(); }
  void LeaveRead() { FCriticalSection.unlock(); }
  void EnterWrite() { FCriticalSection.lock(); }
  void LeaveWrite() { FCriticalSection.unlock(); }

  int32_t CountOwners();
  int32_t CountTransports();

  // Gives every free block of the process-wide pool back to the heap.
  static void ReleaseMemory();

private:
  int32_t FCountOwners = 0;
  int32_t FCountTransports = 0;
  std::recursive_mutex FCriticalSection;
};

// Containers of media data. Their time stamps are never set in this program, so a media
// container adds nothing to its base yet.
class TMLSmartMediaBuffer : public TSLSmartBuffer {};

// The container of an audio buffer. The block is the requested size rounded up to a power
// of two, and both the block and the container object itself come from the pool.
class TALSmartAudioBuffer : public TMLSmartMediaBuffer {
public:
  explicit TALSmartAudioBuffer(uint32_t ASize);
  // A block of Other's allocated size; the whole block is copied when Preserve is set,
  // otherwise only the 40-byte format header that leads every audio block.
  TALSmartAudioBuffer(const TALSmartAudioBuffer& Other, bool Preserve);
  ~TALSmartAudioBuffer() override;

  TSLSmartBuffer* Clone(bool Preserve) override;
  void* GetRawData() const override { return FDataPtr; }
  uint32_t GetAllocatedSize() const override { return FAllocatedSize; }

  static void* operator new(std::size_t ASize);
  static void operator delete(void* APtr, std::size_t ASize);

private:
  void* FDataPtr = nullptr;
  uint32_t FAllocatedSize = 0;
};
