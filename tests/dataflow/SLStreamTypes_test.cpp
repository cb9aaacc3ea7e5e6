// A steady stream of buffers through a pair of audio pins makes no heap allocation in the
// pins: counted by replacing the global allocation functions of this test program.

#include "dataflow/SLStreamTypes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "capture/ALAudioBuffer.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"

namespace {
thread_local bool GCounting = false;
thread_local int GAllocations = 0;
}  // namespace

void* operator new(std::size_t ASize) {
  if (GCounting) {
    ++GAllocations;
  }
  if (void* memory = std::malloc(ASize == 0 ? 1 : ASize)) {
    return memory;
  }
  throw std::bad_alloc();
}

void operator delete(void* AMemory) noexcept { std::free(AMemory); }
void operator delete(void* AMemory, std::size_t) noexcept { std::free(AMemory); }

TEST(TSLOWSourcePin, SteadyStreamAllocatesNothingPerBuffer) {
  auto captureLock = std::make_shared<TLPLock>();
  auto meterLock = std::make_shared<TLPLock>();
  TALOWAudioSourcePin source(nullptr, captureLock, nullptr);
  int buffers = 0;
  TALOWAudioSinkPin sink(
      nullptr, meterLock,
      [&](TOWBasicPin*, TOWStreamTypeID, const TOWOperationPtr& AOperation, TOWNotifyState) {
        if (TOWLockSection section = meterLock->WriteLock()) {
          if (dynamic_cast<TOWSuppliedBufferOperation*>(&AOperation->Instance())) {
            ++buffers;
          }
        }
        return TOWNotifyResult{};
      });
  ASSERT_TRUE(sink.Connect(&source));
  std::shared_ptr<ISLData> buffer = TALAudioBuffer::CreateSize(44100, 16, 2, 441);
  source.SubmitBuffer(buffer);  // the first buffer makes the operation that the next reuse

  TOWLockSection captureHeld = captureLock->WriteLock();  // let go of during each delivery
  GCounting = true;
  for (int i = 0; i < 100; ++i) {
    source.SubmitBuffer(buffer);
  }
  GCounting = false;
  EXPECT_EQ(GAllocations, 0);
  EXPECT_EQ(buffers, 101);
}
