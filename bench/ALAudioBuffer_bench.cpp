// The steady capture cycle: a buffer is built, opened for the device to write, handed to a
// receiver that wraps it, and both references are dropped. With the pool warm this must not
// touch the heap.
#include <benchmark/benchmark.h>

#include "capture/ALAudioBuffer.h"

static void BM_CaptureBufferCycle(benchmark::State& State) {
  const auto Frames = static_cast<uint32_t>(State.range(0));
  for (auto _ : State) {
    auto Captured = TALAudioBuffer::CreateSizeEx(44100, 16, 2, Frames, {spFrontLeft, spFrontRight});
    benchmark::DoNotOptimize(Captured->ByteWrite());
    auto Received = TALAudioBuffer::CreateUniversal(*Captured);
    Captured.reset();
    benchmark::DoNotOptimize(Received->GetSample(0, 0));
  }
  TSLSmartBuffer::ReleaseMemory();
}
BENCHMARK(BM_CaptureBufferCycle)->Arg(256)->Arg(4096);

BENCHMARK_MAIN();
