// Cost of measuring a 16-bit stereo stream at 44.1 kHz with the peak programme meter, fed in
// 256-frame buffers through a real source pin, against a tight loop doing only the conversion,
// the pre-filter and the detector on the same data. The "realtime" counter is the seconds of
// audio measured per second of CPU; "allocs" counts heap allocations per buffer (or block).

#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "capture/ALAudioBuffer.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"
#include "dataflow/SLMessageQueue.h"
#include "kernels/LPIPPI.h"
#include "metering/ALPPMMeter.h"

namespace {

std::atomic<uint64_t> Allocations{0};

}  // namespace

void* operator new(std::size_t ASize) {
  Allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* Block = std::malloc(ASize == 0 ? 1 : ASize)) return Block;
  throw std::bad_alloc();
}

// The compiler takes the free() of a block from operator new for a mismatch; here the two are
// the replacement pair.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* ABlock) noexcept { std::free(ABlock); }

void operator delete(void* ABlock, std::size_t) noexcept { std::free(ABlock); }
#pragma GCC diagnostic pop

namespace {

constexpr uint32_t Rate = 44100;
constexpr uint32_t BufferFrames = 256;
constexpr uint32_t BlockFrames = 4410;
constexpr uint32_t ClipBuffers = 1024;  // about 6 s

// Noise shaped like programme material: most energy in the low frequencies, loudness
// changing every few hundred milliseconds, the two channels related but not equal.
std::vector<int16_t> MusicLikeNoise(uint32_t AFrames) {
  std::mt19937 Random(2024);
  std::normal_distribution<double> Noise(0, 1);
  std::vector<int16_t> Samples(2 * AFrames);
  double Low[2] = {0, 0};
  double Loudness = 3000;
  for (uint32_t f = 0; f < AFrames; ++f) {
    if (f % 12000 == 0) Loudness = 300 + 6000 * std::abs(Noise(Random));
    const double Common = Noise(Random);
    for (int c = 0; c < 2; ++c) {
      Low[c] = 0.97 * Low[c] + 0.3 * (Common + 0.5 * Noise(Random));
      const double Value = Loudness * (Low[c] + 0.2 * Noise(Random));
      Samples[2 * f + c] = static_cast<int16_t>(std::clamp(Value, -32768.0, 32767.0));
    }
  }
  return Samples;
}

// Capture buffers as the capture component uses them: a ring of 40, each filled with the next
// stretch of the clip just before it is sent. The copy is charged to the measurement.
class TCaptureRing {
public:
  explicit TCaptureRing(const std::vector<int16_t>& AClip) : FClip(AClip) {
    for (auto& Buffer : FRing) Buffer = TALAudioBuffer::CreateSize(Rate, 16, 2, BufferFrames);
  }
  const std::shared_ptr<IALAudioBuffer>& Next() {
    const std::shared_ptr<IALAudioBuffer>& Buffer = FRing[FNextBuffer];
    FNextBuffer = (FNextBuffer + 1) % FRing.size();
    std::memcpy(Buffer->ByteWrite(), &FClip[FNextFrame * 2], 4 * BufferFrames);
    FNextFrame += BufferFrames;
    if (FNextFrame + BufferFrames > FClip.size() / 2) FNextFrame = 0;
    return Buffer;
  }

private:
  const std::vector<int16_t>& FClip;
  std::array<std::shared_ptr<IALAudioBuffer>, 40> FRing;
  size_t FNextBuffer = 0;
  size_t FNextFrame = 0;
};

class TBenchSource : public TLPComponent {
public:
  TBenchSource() : OutputPin(this, FLock, TSLOperationEvent{}) {}
  TALOWAudioSourcePin OutputPin;
};

TALWaveFormatExtensible StereoFormat() {
  TALWaveFormatExtensible Format{};
  Format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  Format.Format.nChannels = 2;
  Format.Format.nSamplesPerSec = Rate;
  Format.Format.nBlockAlign = 4;
  Format.Format.nAvgBytesPerSec = Rate * 4;
  Format.Format.wBitsPerSample = 16;
  Format.Format.cbSize = ALWaveFormatExtraSize;
  Format.wValidBitsPerSample = 16;
  Format.dwChannelMask = 3;
  Format.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
  return Format;
}

// The meter as the main window places it (release 400 ms, the other defaults), fed through
// a source pin from a ring of capture buffers. Silence follows a stretch of music, so that the
// filters' tails have decayed into the subnormal range when the timing starts.
void BM_MeterStream(benchmark::State& AState, bool ASilence) {
  auto Queue = std::make_shared<TSLMessageQueue>();
  SLSetMessageQueue(Queue);
  {
    TBenchSource Source;
    auto Meter = TLPComponent::Create<TALPPMMeter>();
    Meter->SetHalfLife(400);
    Meter->InputPin()->Connect(&Source.OutputPin);
    Source.OutputPin.Notify(std::make_shared<TOWStartWaveOperation>(StereoFormat(), false));

    const std::vector<int16_t> Music = MusicLikeNoise(ClipBuffers * BufferFrames);
    const std::vector<int16_t> Silence(Music.size(), 0);
    TCaptureRing MusicRing(Music), SilenceRing(Silence);
    for (uint32_t b = 0; b < ClipBuffers; ++b) Source.OutputPin.SubmitBuffer(MusicRing.Next());
    if (ASilence)
      for (uint32_t b = 0; b < ClipBuffers; ++b) Source.OutputPin.SubmitBuffer(SilenceRing.Next());
    Queue->ProcessMessages();

    TCaptureRing& Ring = ASilence ? SilenceRing : MusicRing;
    const uint64_t AllocationsBefore = Allocations.load();
    for (auto _ : AState) Source.OutputPin.SubmitBuffer(Ring.Next());
    const uint64_t AllocationsDuring = Allocations.load() - AllocationsBefore;
    // Notifications from this thread run at once; anything posted is drained here.
    Queue->ProcessMessages();

    AState.counters["realtime"] = benchmark::Counter(double{BufferFrames} / Rate,
                                                     benchmark::Counter::kIsIterationInvariantRate);
    AState.counters["allocs"] = benchmark::Counter(static_cast<double>(AllocationsDuring),
                                                   benchmark::Counter::kAvgIterations);
  }
  SLSetMessageQueue(nullptr);
}
BENCHMARK_CAPTURE(BM_MeterStream, music, false);
BENCHMARK_CAPTURE(BM_MeterStream, silence, true);

// Only the work of one block: de-interleave and convert both channels, filter them and run the
// detectors as the meter does, under the same floating-point mode.
void BM_TightLoop(benchmark::State& AState, bool ASilence) {
  std::vector<int16_t> Samples = MusicLikeNoise(ClipBuffers * BufferFrames);
  const uint32_t Blocks = static_cast<uint32_t>(Samples.size() / 2 / BlockFrames);
  TALPPMFilterState States[2];
  std::vector<float> Left(BlockFrames), Right(BlockFrames);
  const float* Channels[2] = {Left.data(), Right.data()};
  double Levels[2] = {0, 0};
  const double N = TALPPMMeter::ReleaseSamples(Rate, 400);

#if defined(__SSE__)
  const unsigned SavedMode = _mm_getcsr();
  _mm_setcsr(SavedMode | 0x8040);  // flush-to-zero, denormals-are-zero
#endif
  auto RunBlock = [&](uint32_t ABlock) {
    const int16_t* Frames = &Samples[2 * BlockFrames * ABlock];
    ippiConvert_16s32f_C1R(Frames, 4, Left.data(), 4, {1, BlockFrames});
    ippiConvert_16s32f_C1R(Frames + 1, 4, Right.data(), 4, {1, BlockFrames});
    TALPPMMeter::Measure(Channels, States, TALPPMMeter::Pole(Rate), 2, BlockFrames, Levels, N);
  };
  for (uint32_t b = 0; b < Blocks; ++b) RunBlock(b);
  if (ASilence) {
    std::fill(Samples.begin(), Samples.end(), 0);
    for (uint32_t b = 0; b < Blocks; ++b) RunBlock(b);
  }

  uint32_t Next = 0;
  const uint64_t AllocationsBefore = Allocations.load();
  for (auto _ : AState) {
    RunBlock(Next);
    benchmark::DoNotOptimize(Levels);
    if (++Next == Blocks) Next = 0;
  }
  const uint64_t AllocationsDuring = Allocations.load() - AllocationsBefore;
#if defined(__SSE__)
  _mm_setcsr(SavedMode);
#endif

  AState.counters["realtime"] =
      benchmark::Counter(double{BlockFrames} / Rate, benchmark::Counter::kIsIterationInvariantRate);
  AState.counters["allocs"] = benchmark::Counter(static_cast<double>(AllocationsDuring),
                                                 benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(BM_TightLoop, music, false);
BENCHMARK_CAPTURE(BM_TightLoop, silence, true);

}  // namespace

BENCHMARK_MAIN();
