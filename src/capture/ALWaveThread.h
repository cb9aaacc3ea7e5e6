#pragma once
// The capture worker thread. The device's callback may run in a context where blocking or
// allocating from the general heap is unwelcome, so it only appends a small record to this
// thread's FIFO; the thread hands each record to its owner in arrival order.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <semaphore>
#include <string>

#include "dataflow/SLClockGen.h"
#include "platform/WaveIn.h"

// One pending notification. The nodes come from a fixed pool owned by the thread.
struct TALWaveItemNode {
  TALWaveItemNode* Next;
  uint32_t MemHandle;  // the node's index in the pool
  HWAVEIN hwo;
  uint32_t uMsg;
  WAVEHDR* WaveHdr;
};

using TALWaveProcessMessage = std::function<void(uint32_t uMsg, HWAVEIN hwo, WAVEHDR* AWaveHdr)>;

class TALWaveThread : public TLPThread {
public:
  // Notifications pending at once; far above the buffers in flight, so reaching it means
  // the owner has stopped consuming.
  static constexpr uint32_t MaxPending = 2000;

  // Starts at once and waits for records.
  TALWaveThread(std::string AName, TALWaveProcessMessage AOnProcess);
  ~TALWaveThread() override;

  // Callable from any thread, the device's callback included: takes no heap memory and
  // never waits for the owner. Dropped once the thread is told to end, or when the pool is
  // exhausted (counted in DroppedRecords).
  void PushRecord(uint32_t uMsg, HWAVEIN hwo, WAVEHDR* AWaveHdr);
  // Ends the loop and waits for it; records still queued are discarded unprocessed.
  void Shutdown();
  uint32_t DroppedRecords();

protected:
  void Execute() override;

private:
  // Takes the head record out of the FIFO; false when empty.
  bool PopRecord(uint32_t& uMsg, HWAVEIN& hwo, WAVEHDR*& AWaveHdr);

  TALWaveProcessMessage FOnProcess;
  // One more than the pool, for the wake-up at shutdown.
  std::counting_semaphore<MaxPending + 1> FSemaphore{0};
  TALWaveItemNode* FFirstNode = nullptr;
  TALWaveItemNode* FLastNode = nullptr;
  TALWaveItemNode* FFreeNodes = nullptr;
  uint32_t FDropped = 0;
  std::mutex FSection;  // guards the FIFO, the free list and FDropped
  std::array<TALWaveItemNode, MaxPending> FNodes{};
};
