#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

// Raised when the heap cannot give the pool a block. It is a bad_alloc so that it may also
// leave the class allocation functions of the pooled containers.
class ESLOutOfMemory : public std::bad_alloc {
public:
  const char* what() const noexcept override { return "Out of memory"; }
};

// The free blocks of one exact size; the manager gives them back to the heap.
class TSLSmartBufferList {
public:
  explicit TSLSmartBufferList(uint32_t ASize) : FSize(ASize) {}

  uint32_t FSize;
  std::vector<void*> BufferList;  // most recently returned block last
  uint32_t FCountDown = 0;
};

// Keeps freed blocks by exact size so that steady capture, where every buffer has the same
// size, cycles the same blocks without heap calls. Idle sizes are given back to the heap by
// Tick, which the owner of the main loop calls every TickInterval milliseconds.
class TSLSmartBufferManager {
public:
  static constexpr uint32_t TickInterval = 200;
  static constexpr uint32_t Alignment = 32;
  static constexpr uint32_t MaxBlockSize = 1u << 30;

  TSLSmartBufferManager() = default;
  virtual ~TSLSmartBufferManager();
  TSLSmartBufferManager(const TSLSmartBufferManager&) = delete;
  TSLSmartBufferManager& operator=(const TSLSmartBufferManager&) = delete;

  // The pool shared by the whole process; its free blocks go back to the heap at exit.
  static TSLSmartBufferManager& Instance();

  // The block size that serves a container request: the smallest power of two from 4 up
  // that holds ASize. Requests above MaxBlockSize cannot be served whole and are refused.
  static uint32_t BlockSize(uint64_t ASize);

  // A block of exactly ASize bytes, 32-byte aligned; nullptr for 0.
  void* Allocate(uint32_t ASize);
  void Deallocate(void* DataPtr, uint32_t ASize);
  void Tick();
  void ReleaseMemory();

  // Free blocks kept for ASize, or -1 when no list serves that size.
  int32_t CountFreeBlocks(uint32_t ASize) const;

protected:
  // The heap behind the pool; a test pool replaces it to simulate exhaustion.
  virtual void* HeapAllocate(uint32_t ASize);
  virtual void HeapFree(void* DataPtr);

private:
  TSLSmartBufferList& ListFor(uint32_t ASize);
  void FreeBlocksBeyond(TSLSmartBufferList& AList, size_t AKeep);

  mutable std::mutex FListLock;
  std::vector<std::unique_ptr<TSLSmartBufferList>> ChainsList;
};
