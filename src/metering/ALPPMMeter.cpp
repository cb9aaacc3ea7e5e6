#include "metering/ALPPMMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "kernels/LPIPPS.h"

namespace {

// One sample of the detector: instant attack, release by v/N from the level before the
// sample, and a snap to zero below 0.005 sample units. With N >= 1 and the release applied
// only to levels above 0.005, no step can overflow, divide by zero or underflow, so the
// level stays finite and never grows without a louder sample.
// The usual case, a release that stays above the sample, is tested first and alone: as a
// predicted branch it keeps the level's chain down to the division and the subtraction,
// where a maximum would add its own latency to every sample.
inline double DetectStep(double AValue, float ASample, double AReleaseSamples, double ASnap) {
  const double Fallen = AValue - AValue / AReleaseSamples;
  const double Magnitude = std::fabs(ASample);
  if (Fallen > Magnitude && AValue > ASnap)  // so the sample is no attack either
    return Fallen;
  if (!(Magnitude <= std::numeric_limits<float>::max()))  // +inf or NaN
    return 0;
  if (Magnitude > AValue) return Magnitude;
  if (AValue <= ASnap) return 0;
  return Magnitude;  // the release went below the sample
}

// Two channels side by side: the division of each sample is the critical path of a channel,
// and running two independent chains together lets them overlap. Each channel's result is
// the same as when it runs alone.
void DetectPair(const float* ALeft, const float* ARight, int32_t ACount, double& ALeftValue,
                double& ARightValue, double AReleaseSamples, double ASnap) {
  double Left = ALeftValue;
  double Right = ARightValue;
  for (int32_t n = 0; n < ACount; ++n) {
    Left = DetectStep(Left, ALeft[n], AReleaseSamples, ASnap);
    Right = DetectStep(Right, ARight[n], AReleaseSamples, ASnap);
  }
  ALeftValue = Left;
  ARightValue = Right;
}

}  // namespace

TALPPMMeter::TALPPMMeter() = default;

TALPPMMeter::~TALPPMMeter() {
  BeforeDestruction();
  TOWLockSection Stop = FLock->StopLock();
  FreeStates();
}

void TALPPMMeter::SetHalfLife(int32_t AValue) { FLock->Setter(FHalfLife, AValue); }

double TALPPMMeter::ReleaseSamples(uint32_t ASampleRate, int32_t AHalfLife) {
  const double Samples = ASampleRate * static_cast<double>(AHalfLife) / 1000.0;
  return Samples < 1 ? 1 : Samples;
}

double TALPPMMeter::SnapLevel(bool AFloatSamples) { return AFloatSamples ? 0.005 / 32767 : 0.005; }

void TALPPMMeter::Detect(const float* const* ABlocks, int32_t AChannels, int32_t ACount,
                         double* AValues, double AReleaseSamples, double ASnap) {
  int32_t i = 0;
  for (; i + 1 < AChannels; i += 2)
    DetectPair(ABlocks[i], ABlocks[i + 1], ACount, AValues[i], AValues[i + 1], AReleaseSamples,
               ASnap);
  if (i < AChannels) {
    double Value = AValues[i];
    for (int32_t n = 0; n < ACount; ++n)
      Value = DetectStep(Value, ABlocks[i][n], AReleaseSamples, ASnap);
    AValues[i] = Value;
  }
}

void TALPPMMeter::FreeStates() {
  for (IppsIIRState_32f* State : FStates)
    if (State) ippsIIRFree_32f(State);
  FStates.clear();
}

void TALPPMMeter::StartStream(const TALWaveFormatExtensible* AWaveFormat) {
  TOWLockSection Section = FLock->WriteLock();
  if (!Section) return;
  TALCommonMeter::StartStream(AWaveFormat);
  if (!AWaveFormat) return;

  // 1 - R = 2π·20 Hz / fs puts the corner at 20 Hz. Below about 126 Hz R would turn
  // negative and the filter unstable (at a rate of 0, infinite): it is held at 0 there.
  const uint32_t Rate = WaveFormat().Format.nSamplesPerSec;
  const long double Pole = Rate == 0 ? 0.0L : 1.0L - 40.0L * std::numbers::pi_v<long double> / Rate;
  const float R = static_cast<float>(std::max(Pole, 0.0L));
  // B0, B1, B2, A0, A1, A2: y[n] = x[n-1] - x[n-2] + R·y[n-1].
  const float Taps[6] = {0.0f, -1.0f, 1.0f, -1.0f, R, 0.0f};

  FreeStates();
  FStates.assign(WaveFormat().Format.nChannels, nullptr);
  for (IppsIIRState_32f*& State : FStates) ippsIIRInitAlloc_32f(&State, Taps, 2, nullptr);
}

void TALPPMMeter::Measure(float* const* ABlocks, IppsIIRState_32f* const* AStates,
                          int32_t AChannels, int32_t ACount, double* AValues,
                          double AReleaseSamples, double ASnap) {
  // Filter and detector take turns over short runs of the block: the filters' feedback and the
  // detectors' divisions are separate chains of latency, and close together the processor
  // overlaps them. The filter state carries over between calls, so the values are those of
  // one call per block.
  const float* Runs[ALMaxMeterChannels];
  for (int32_t First = 0; First < ACount; First += DetectorRun) {
    const int32_t Count = std::min(DetectorRun, ACount - First);
    for (int32_t i = 0; i < AChannels; ++i) {
      float* Run = ABlocks[i] + First;
      ippsIIR_32f_I(Run, Count, AStates[i]);
      Runs[i] = Run;
    }
    Detect(Runs, AChannels, Count, AValues, AReleaseSamples, ASnap);
  }
}

void TALPPMMeter::CalculateValues(TALChannelReals& AValues) {
  const int32_t Active = ActiveChannelCount();
  float* Blocks[ALMaxMeterChannels];
  for (int32_t i = 0; i < Active; ++i) Blocks[i] = BlockBuffer(i);
  Measure(Blocks, FStates.data(), Active, GetBlockSize(), FValues.data(),
          ReleaseSamples(WaveFormat().Format.nSamplesPerSec, FHalfLife), SnapLevel(FloatSamples()));
  AValues = FValues;
}
