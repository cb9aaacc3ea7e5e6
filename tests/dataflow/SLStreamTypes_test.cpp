// A steady stream of buffers through a pair of audio pins makes no heap allocation in the
// pins: counted by replacing the global allocation functions of this test program.

#include "dataflow/SLStreamTypes.h"

#include <gtest/gtest.h>

#include "CountingNew.h"
#include "capture/ALAudioBuffer.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"

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
  {
    TAllocationCount count;
    for (int i = 0; i < 100; ++i) {
      source.SubmitBuffer(buffer);
    }
    EXPECT_EQ(count.Count(), 0);
  }
  EXPECT_EQ(buffers, 101);
}
