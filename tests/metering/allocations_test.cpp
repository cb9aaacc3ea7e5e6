// The paths that run for every captured buffer take their sample memory from the pool once it
// is warm, never from the heap: counted by replacing the global allocation functions of this
// test program. (The small buffer objects themselves still come from the heap, two per buffer.)

#include "CountingNew.h"
#include "MeterTestSupport.h"
#include "capture/SLSmartBuffer.h"
#include "metering/ALPPMMeter.h"

namespace {

// The capture's cycle: a buffer from the pool is written, wrapped by a receiver, and both
// references are dropped.
TEST(CaptureBufferCycle, SampleMemoryComesFromTheWarmPool) {
  for (const uint32_t frames : {256u, 4096u}) {
    const auto cycle = [frames] {
      auto captured =
          TALAudioBuffer::CreateSizeEx(44100, 16, 2, frames, {spFrontLeft, spFrontRight});
      uint8_t* bytes = captured->ByteWrite();
      bytes[0] = 1;  // the first left sample, little-endian
      bytes[1] = 0;
      auto received = TALAudioBuffer::CreateUniversal(*captured);
      captured.reset();
      return received->GetSample(0, 0);
    };
    cycle();
    TAllocationCount count;
    for (int i = 0; i < 100; ++i) EXPECT_EQ(cycle(), 1);
    EXPECT_LT(count.Largest(), frames * 4) << frames << " frames";
  }
  TSLSmartBuffer::ReleaseMemory();
}

// The meter as the window places it, fed from a ring of capture buffers through a pin: each
// buffer is wrapped, queued and measured without copying its samples to the heap.
TEST_F(MeterTest, MeterPathTakesNoSampleMemoryFromTheHeap) {
  auto meter = TLPComponent::Create<TALPPMMeter>();
  meter->SetHalfLife(400);
  auto source = TLPComponent::Create<TTestSource>();
  ASSERT_TRUE(meter->InputPin()->Connect(&source->OutputPin()));
  const TALWaveFormatExtensible format = MakeFormat(44100, 16, 2);
  source->OutputPin().Notify(std::make_shared<TOWStartWaveOperation>(format, false));
  std::vector<std::shared_ptr<IALAudioBuffer>> ring;
  for (int32_t b = 0; b < 40; ++b) {
    std::vector<int32_t> samples(2 * 256);
    for (size_t i = 0; i < samples.size(); ++i)
      samples[i] = static_cast<int32_t>((i * 97 + static_cast<size_t>(b) * 13) % 20000) - 10000;
    ring.push_back(MakeBuffer(format, samples));
  }
  // Two seconds to warm up, then as much again counted.
  for (int i = 0; i < 344; ++i) source->OutputPin().SubmitBuffer(ring[i % ring.size()]);
  Drain();
  {
    TAllocationCount count;
    for (int i = 0; i < 344; ++i) source->OutputPin().SubmitBuffer(ring[i % ring.size()]);
    EXPECT_LT(count.Largest(), 256u * 4);
  }
  Drain();
  EXPECT_GT(PinValue(*meter, 0), 0);
}

}  // namespace
