// Cost of the metering path's kernels on one 100 ms block at 44.1 kHz: de-interleaving one
// channel of stereo samples into floats, and the order-2 pre-filter.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "kernels/LPIPPI.h"
#include "kernels/LPIPPS.h"

namespace {

constexpr int32_t kBlock = 4410;

void BM_Deinterleave16BitStereo(benchmark::State& state) {
  std::vector<int16_t> frames(2 * kBlock);
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i * 37);
  std::vector<float> channel(kBlock);
  for (auto _ : state) {
    ippiConvert_16s32f_C1R(frames.data() + 1, 4, channel.data(), 4, {1, kBlock});
    benchmark::DoNotOptimize(channel.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Deinterleave16BitStereo);

void BM_Deinterleave8BitStereo(benchmark::State& state) {
  std::vector<uint8_t> frames(2 * kBlock);
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<uint8_t>(i * 37);
  std::vector<float> channel(kBlock);
  for (auto _ : state) {
    ippiConvert_8u32f_C1R(frames.data() + 1, 2, channel.data(), 4, {1, kBlock});
    benchmark::DoNotOptimize(channel.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Deinterleave8BitStereo);

void BM_Convert16BitMono(benchmark::State& state) {
  std::vector<int16_t> samples(kBlock);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 37);
  std::vector<float> channel(kBlock);
  for (auto _ : state) {
    ippiConvert_16s32f_C1R(samples.data(), 2, channel.data(), 4, {1, kBlock});
    benchmark::DoNotOptimize(channel.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_Convert16BitMono);

void BM_MeterPreFilter(benchmark::State& state) {
  const float R = static_cast<float>(1.0L - 40.0L * std::numbers::pi_v<long double> / 44100.0L);
  const float taps[] = {0.f, -1.f, 1.f, -1.f, R, 0.f};
  IppsIIRState_32f* filter = nullptr;
  ippsIIRInitAlloc_32f(&filter, taps, 2, nullptr);
  std::vector<float> block(kBlock);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = 10000.f * std::sin(0.05f * i);
  for (auto _ : state) {
    ippsIIR_32f_I(block.data(), kBlock, filter);
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  ippsIIRFree_32f(filter);
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MeterPreFilter);

}  // namespace

BENCHMARK_MAIN();
