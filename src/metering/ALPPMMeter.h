#pragma once

#include <cstdint>
#include <vector>

#include "metering/ALCommonMeter.h"

// The pre-filter's delay line of one channel, y[n] = x[n-1] - x[n-2] + R·y[n-1]: the output
// due at the next sample, and -x[n-1].
struct TALPPMFilterState {
  float Next = 0;
  float Negated = 0;
};

// The peak programme meter: per channel a 20 Hz DC-blocking pre-filter, then a peak detector
// with instant attack and an exponential release of time constant HalfLife milliseconds.
// A channel's value is its level after the last sample of each block, in sample units.
class TALPPMMeter : public TALCommonMeter {
public:
  TALPPMMeter();
  ~TALPPMMeter() override;

  int32_t HalfLife() const { return FHalfLife; }
  void SetHalfLife(int32_t AValue);

  // Release divisor of the detector: the samples in AHalfLife milliseconds at ASampleRate,
  // never below one sample. A release time of zero or less, or a rate of zero, thus lets the
  // level follow the signal from sample to sample instead of dividing by zero or growing.
  static double ReleaseSamples(uint32_t ASampleRate, int32_t AHalfLife);
  // The level below which a channel reads 0: 0.005 sample units, or for float samples the
  // same fraction of full scale as 0.005 is of 16-bit full scale.
  static double SnapLevel(bool AFloatSamples);
  // The pre-filter's pole R = 1 - 2π·20 Hz / rate, in single precision.
  static float Pole(uint32_t ASampleRate);
  // Runs the detector of AChannels channels over ACount filtered samples each: ABlocks[i] holds
  // channel i's samples, and AValues[i] its level, which is carried on in place.
  static void Detect(const float* const* ABlocks, int32_t AChannels, int32_t ACount,
                     double* AValues, double AReleaseSamples, double ASnap = 0.005);
  // One block's measurement: each channel's samples ABlocks[i] through the pre-filter of pole
  // APole, whose delay line AStates[i] carries on, and the detector as Detect runs it.
  static void Measure(const float* const* ABlocks, TALPPMFilterState* AStates, float APole,
                      int32_t AChannels, int32_t ACount, double* AValues, double AReleaseSamples,
                      double ASnap = 0.005);

protected:
  void StartStream(const TALWaveFormatExtensible* AWaveFormat) override;
  void CalculateValues(TALChannelReals& AValues) override;

private:
  TALChannelReals FValues{};
  std::vector<TALPPMFilterState> FStates;
  float FPole = 0;
  int32_t FHalfLife = 1000;
};
