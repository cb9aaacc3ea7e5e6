#include "capture/ALWaveThread.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace {

// Denormal arithmetic is many times slower on most processors; the decaying filters of the
// receivers that run on this thread would otherwise slow to a crawl on silence.
void FlushDenormalsToZero() {
#if defined(__x86_64__) || defined(__i386__)
  constexpr unsigned int FlushToZero = 0x8000;
  constexpr unsigned int DenormalsAreZero = 0x0040;
  _mm_setcsr(_mm_getcsr() | FlushToZero | DenormalsAreZero);
#elif defined(__aarch64__)
  uint64_t fpcr;
  __asm__ __volatile__("mrs %0, fpcr" : "=r"(fpcr));
  fpcr |= uint64_t{1} << 24;  // FZ
  __asm__ __volatile__("msr fpcr, %0" : : "r"(fpcr));
#endif
}

}  // namespace

TALWaveThread::TALWaveThread(std::string AName, TALWaveProcessMessage AOnProcess)
    : TLPThread(std::move(AName)), FOnProcess(std::move(AOnProcess)) {
  for (uint32_t i = MaxPending; i-- > 0;) {
    FNodes[i].MemHandle = i;
    FNodes[i].Next = FFreeNodes;
    FFreeNodes = &FNodes[i];
  }
  SetPriority(TThreadPriority::tpHighest);
  Start();
}

TALWaveThread::~TALWaveThread() { Shutdown(); }

void TALWaveThread::Shutdown() {
  if (!Terminated()) {
    Terminate();
    FSemaphore.release();
  }
  WaitFor();
}

void TALWaveThread::PushRecord(uint32_t uMsg, HWAVEIN hwo, WAVEHDR* AWaveHdr) {
  if (Terminated()) return;
  std::lock_guard lock(FSection);
  TALWaveItemNode* node = FFreeNodes;
  if (node == nullptr) {
    ++FDropped;
    return;
  }
  FFreeNodes = node->Next;
  node->Next = nullptr;
  node->hwo = hwo;
  node->uMsg = uMsg;
  node->WaveHdr = AWaveHdr;
  if (FLastNode != nullptr) {
    FLastNode->Next = node;
  } else {
    FFirstNode = node;
  }
  FLastNode = node;
  FSemaphore.release();
}

uint32_t TALWaveThread::DroppedRecords() {
  std::lock_guard lock(FSection);
  return FDropped;
}

bool TALWaveThread::PopRecord(uint32_t& uMsg, HWAVEIN& hwo, WAVEHDR*& AWaveHdr) {
  std::lock_guard lock(FSection);
  TALWaveItemNode* node = FFirstNode;
  if (node == nullptr) return false;
  FFirstNode = node->Next;
  if (FFirstNode == nullptr) FLastNode = nullptr;
  uMsg = node->uMsg;
  hwo = node->hwo;
  AWaveHdr = node->WaveHdr;
  node->Next = FFreeNodes;
  FFreeNodes = node;
  return true;
}

void TALWaveThread::Execute() {
  PublishThreadName();
  FlushDenormalsToZero();
  while (!Terminated()) {
    FSemaphore.acquire();
    if (Terminated()) break;
    uint32_t uMsg;
    HWAVEIN hwo;
    WAVEHDR* hdr;
    if (PopRecord(uMsg, hwo, hdr)) FOnProcess(uMsg, hwo, hdr);
  }
  // Whatever is still queued belongs to a run that is over; the nodes are the pool's, so
  // discarding means forgetting them.
  std::lock_guard lock(FSection);
  FFirstNode = nullptr;
  FLastNode = nullptr;
}
