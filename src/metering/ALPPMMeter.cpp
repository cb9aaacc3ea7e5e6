#include "metering/ALPPMMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The detector's release, v - v/N per sample, puts a division on the level's chain of latency
// from sample to sample. The next level is taken from v - v·(1/N) instead, whose
// multiplication is short, and the division, computed beside it, only confirms it: where the
// two differ the division's value is used. They differ in a few samples in a million at the
// usual release times, in many only when the release spans a few samples.
// The processor runs ahead on the predicted usual case, so the division stays off the chain,
// and the levels are exactly those of the division.
struct TRelease {
  double Samples;
  double Inverse;
  double Snap;

  TRelease(double AReleaseSamples, double ASnap)
      : Samples(AReleaseSamples), Inverse(1 / AReleaseSamples), Snap(ASnap) {}
};

// One sample as written: a level v and a filtered sample. With N >= 1 and the release applied
// only to levels above the snap, no step can overflow, divide by zero or underflow, so the
// level stays finite and never grows without a louder sample.
inline double PlainStep(double AValue, float ASample, const TRelease& ARelease) {
  const double Magnitude = std::fabs(ASample);
  if (!(Magnitude <= std::numeric_limits<float>::max())) return 0;  // +inf or NaN
  if (Magnitude > AValue) return Magnitude;
  if (AValue <= ARelease.Snap) return 0;
  const double Fallen = AValue - AValue / ARelease.Samples;
  return Fallen > Magnitude ? Fallen : Magnitude;
}

// The usual case, a release that stays above the sample, from the multiplication when the
// division agrees; the plain step otherwise.
inline double Step(double AValue, float ASample, const TRelease& ARelease) {
  const double Magnitude = std::fabs(ASample);
  const double Fallen = AValue - AValue * ARelease.Inverse;
  if (Fallen > Magnitude && AValue > ARelease.Snap && Fallen == AValue - AValue / ARelease.Samples)
    return Fallen;
  return PlainStep(AValue, ASample, ARelease);
}

// One sample through the pre-filter: out comes the output due, in goes the new sample. The
// operations and their order are those of the filter kernel's direct form with the taps
// divided by A0 = -1, so the outputs are the kernel's to the bit.
inline float Filter(TALPPMFilterState& AState, float APole, float AInput) {
  const float Output = AState.Next;
  AState.Next = (AState.Negated + AInput) + APole * AState.Next;
  AState.Negated = -AInput;
  return Output;
}

// One channel, the filter before the detector when AFiltered.
template <bool AFiltered>
void RunChannel(const float* AData, int32_t ACount, TALPPMFilterState* AState, float APole,
                double& AValue, const TRelease& ARelease) {
  TALPPMFilterState State = AFiltered ? *AState : TALPPMFilterState{};
  double Value = AValue;
  for (int32_t n = 0; n < ACount; ++n)
    Value = Step(Value, AFiltered ? Filter(State, APole, AData[n]) : AData[n], ARelease);
  if (AFiltered) *AState = State;
  AValue = Value;
}

#if defined(__SSE2__)
// AMask ? A : B, lane by lane.
inline __m128d Select(__m128d AMask, __m128d A, __m128d B) {
  return _mm_or_pd(_mm_and_pd(AMask, A), _mm_andnot_pd(AMask, B));
}

// Two channels side by side in one register each for the filter and for the detector: the
// latency of each chain is paid once for both. The lanes compute what RunChannel computes.
template <bool AFiltered>
void RunPair(const float* ALeft, const float* ARight, int32_t ACount, TALPPMFilterState* AStates,
             float APole, double* AValues, const TRelease& ARelease) {
  const __m128 Pole = _mm_set1_ps(APole);
  const __m128 Sign = _mm_set1_ps(-0.0f);
  const __m128d Magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFFFFFFFFFFFFFF));
  const __m128d Samples = _mm_set1_pd(ARelease.Samples);
  const __m128d Inverse = _mm_set1_pd(ARelease.Inverse);
  const __m128d Snap = _mm_set1_pd(ARelease.Snap);
  const __m128d Largest = _mm_set1_pd(std::numeric_limits<float>::max());

  __m128 Next = _mm_setzero_ps(), Negated = _mm_setzero_ps();
  if constexpr (AFiltered) {
    Next = _mm_setr_ps(AStates[0].Next, AStates[1].Next, 0, 0);
    Negated = _mm_setr_ps(AStates[0].Negated, AStates[1].Negated, 0, 0);
  }
  __m128d Value = _mm_loadu_pd(AValues);
  for (int32_t n = 0; n < ACount; ++n) {
    const __m128 Input = _mm_unpacklo_ps(_mm_load_ss(ALeft + n), _mm_load_ss(ARight + n));
    __m128 Sample = Input;
    if constexpr (AFiltered) {
      Sample = Next;
      Next = _mm_add_ps(_mm_add_ps(Negated, Input), _mm_mul_ps(Pole, Next));
      Negated = _mm_xor_ps(Input, Sign);
    }
    const __m128d Level = _mm_and_pd(_mm_cvtps_pd(Sample), Magnitude);
    const __m128d Fallen = _mm_sub_pd(Value, _mm_mul_pd(Value, Inverse));
    const __m128d Divided = _mm_sub_pd(Value, _mm_div_pd(Value, Samples));
    const __m128d Usual =
        _mm_and_pd(_mm_and_pd(_mm_cmpgt_pd(Fallen, Level), _mm_cmpgt_pd(Value, Snap)),
                   _mm_cmpeq_pd(Fallen, Divided));
    if (_mm_movemask_pd(Usual) == 3) [[likely]] {
      Value = Fallen;
      continue;
    }
    // The other cases, in the plain step's order: a non-finite sample reads 0, an attack
    // takes the sample, a level at or below the snap reads 0, and a release goes no lower than
    // the sample.
    const __m128d Finite = _mm_cmple_pd(Level, Largest);
    const __m128d Attack = _mm_and_pd(_mm_cmpgt_pd(Level, Value), Finite);
    const __m128d Low = _mm_cmple_pd(Value, Snap);
    if (_mm_movemask_pd(Low) == 3) {  // silence: no need to wait for the division
      Value = _mm_and_pd(Attack, Level);
      continue;
    }
    const __m128d Released = _mm_andnot_pd(Low, _mm_max_pd(Divided, Level));
    Value = _mm_and_pd(Select(Attack, Level, Released), Finite);
  }
  _mm_storeu_pd(AValues, Value);
  if constexpr (AFiltered) {
    alignas(16) float Lanes[2][4];
    _mm_store_ps(Lanes[0], Next);
    _mm_store_ps(Lanes[1], Negated);
    for (int i = 0; i < 2; ++i) AStates[i] = {Lanes[0][i], Lanes[1][i]};
  }
}
#endif

template <bool AFiltered>
void Run(const float* const* ABlocks, TALPPMFilterState* AStates, float APole, int32_t AChannels,
         int32_t ACount, double* AValues, const TRelease& ARelease) {
  int32_t i = 0;
#if defined(__SSE2__)
  for (; i + 1 < AChannels; i += 2)
    RunPair<AFiltered>(ABlocks[i], ABlocks[i + 1], ACount, AFiltered ? AStates + i : nullptr, APole,
                       AValues + i, ARelease);
#endif
  for (; i < AChannels; ++i)
    RunChannel<AFiltered>(ABlocks[i], ACount, AFiltered ? AStates + i : nullptr, APole, AValues[i],
                          ARelease);
}

}  // namespace

TALPPMMeter::TALPPMMeter() = default;

TALPPMMeter::~TALPPMMeter() { BeforeDestruction(); }

void TALPPMMeter::SetHalfLife(int32_t AValue) { FLock->Setter(FHalfLife, AValue); }

double TALPPMMeter::ReleaseSamples(uint32_t ASampleRate, int32_t AHalfLife) {
  const double Samples = ASampleRate * static_cast<double>(AHalfLife) / 1000.0;
  return Samples < 1 ? 1 : Samples;
}

double TALPPMMeter::SnapLevel(bool AFloatSamples) { return AFloatSamples ? 0.005 / 32767 : 0.005; }

float TALPPMMeter::Pole(uint32_t ASampleRate) {
  // 1 - R = 2π·20 Hz / fs puts the corner at 20 Hz. Below about 126 Hz R would turn
  // negative and the filter unstable (at a rate of 0, infinite): it is held at 0 there.
  const long double Pole =
      ASampleRate == 0 ? 0.0L : 1.0L - 40.0L * std::numbers::pi_v<long double> / ASampleRate;
  return static_cast<float>(std::max(Pole, 0.0L));
}

void TALPPMMeter::Detect(const float* const* ABlocks, int32_t AChannels, int32_t ACount,
                         double* AValues, double AReleaseSamples, double ASnap) {
  Run<false>(ABlocks, nullptr, 0, AChannels, ACount, AValues, TRelease(AReleaseSamples, ASnap));
}

void TALPPMMeter::Measure(const float* const* ABlocks, TALPPMFilterState* AStates, float APole,
                          int32_t AChannels, int32_t ACount, double* AValues,
                          double AReleaseSamples, double ASnap) {
  Run<true>(ABlocks, AStates, APole, AChannels, ACount, AValues, TRelease(AReleaseSamples, ASnap));
}

void TALPPMMeter::StartStream(const TALWaveFormatExtensible* AWaveFormat) {
  TOWLockSection Section = FLock->WriteLock();
  if (!Section) return;
  TALCommonMeter::StartStream(AWaveFormat);
  if (!AWaveFormat) return;
  FPole = Pole(WaveFormat().Format.nSamplesPerSec);
  FStates.assign(WaveFormat().Format.nChannels, TALPPMFilterState{});
}

void TALPPMMeter::CalculateValues(TALChannelReals& AValues) {
  const int32_t Active = ActiveChannelCount();
  const float* Blocks[ALMaxMeterChannels];
  for (int32_t i = 0; i < Active; ++i) Blocks[i] = BlockBuffer(i);
  Measure(Blocks, FStates.data(), FPole, Active, GetBlockSize(), FValues.data(),
          ReleaseSamples(WaveFormat().Format.nSamplesPerSec, FHalfLife), SnapLevel(FloatSamples()));
  AValues = FValues;
}
