#pragma once
// A test bench for meters: a real audio source pin connected to the meter's input, synthetic
// buffers, and the main-thread notifications drained through the plain test queue.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "capture/ALAudioBuffer.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"
#include "dataflow/OWPins.h"
#include "dataflow/OWStdTypes.h"
#include "dataflow/SLMessageQueue.h"
#include "metering/ALCommonMeter.h"

struct TValueEvent {
  int32_t Channel;
  double Value;
  double Min;
  double Max;
};

// Stands in for the capture component: owns the source pin that feeds the meter.
class TTestSource : public TLPComponent {
public:
  TTestSource() {
    FOutputPin = std::make_unique<TALOWAudioSourcePin>(this, FLock, TSLOperationEvent{});
  }
  TALOWAudioSourcePin& OutputPin() { return *FOutputPin; }

private:
  std::unique_ptr<TALOWAudioSourcePin> FOutputPin;
};

// ABits 0 stands for 32-bit IEEE floats.
inline TALWaveFormatExtensible MakeFormat(uint32_t ARate, uint32_t ABits, uint32_t AChannels) {
  const bool Float = ABits == 0;
  if (Float) ABits = 32;
  TALWaveFormatExtensible Format{};
  Format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  Format.Format.nChannels = static_cast<uint16_t>(AChannels);
  Format.Format.nSamplesPerSec = ARate;
  Format.Format.nBlockAlign = static_cast<uint16_t>(ABits / 8 * AChannels);
  Format.Format.nAvgBytesPerSec = ARate * Format.Format.nBlockAlign;
  Format.Format.wBitsPerSample = static_cast<uint16_t>(ABits);
  Format.Format.cbSize = ALWaveFormatExtraSize;
  Format.wValidBitsPerSample = static_cast<uint16_t>(ABits);
  Format.SubFormat = Float ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
  return Format;
}

// The bits of a float sample, for MakeBuffer on a float stream.
inline int32_t FloatBits(float AValue) { return std::bit_cast<int32_t>(AValue); }

// Interleaved frames: Samples[frame * channels + channel], in the stream's raw integer units
// (FloatBits of the samples on a float stream).
inline std::shared_ptr<IALAudioBuffer> MakeBuffer(const TALWaveFormatExtensible& AFormat,
                                                  const std::vector<int32_t>& ASamples) {
  const uint32_t Channels = AFormat.Format.nChannels;
  const auto Frames = static_cast<uint32_t>(ASamples.size() / Channels);
  auto Buffer = TALAudioBuffer::CreateSize(AFormat.Format.nSamplesPerSec,
                                           AFormat.Format.wBitsPerSample, Channels, Frames);
  for (uint32_t Frame = 0; Frame < Frames; ++Frame)
    for (uint32_t Channel = 0; Channel < Channels; ++Channel)
      Buffer->SetSample(Frame, Channel, ASamples[Frame * Channels + Channel]);
  return Buffer;
}

inline double PinValue(TALCommonMeter& AMeter, int32_t AChannel) {
  return static_cast<TOWRealRangedSourcePin*>(AMeter.OutputPins()->GetPin(AChannel))->GetValue();
}

class MeterTest : public ::testing::Test {
protected:
  void SetUp() override {
    FQueue = std::make_shared<TSLMessageQueue>();
    SLSetMessageQueue(FQueue);
  }
  void TearDown() override { SLSetMessageQueue(nullptr); }

  // Connects the meter to a fresh source and records its value events.
  void Attach(TALCommonMeter& AMeter) {
    FSource = TLPComponent::Create<TTestSource>();
    ASSERT_TRUE(AMeter.InputPin()->Connect(&FSource->OutputPin()));
    AMeter.SetOnValueChange(
        [this](TALCommonMeter*, int32_t AChannel, double AValue, double AMin, double AMax) {
          Events.push_back({AChannel, AValue, AMin, AMax});
        });
  }

  void Start(const TALWaveFormatExtensible& AFormat) {
    FFormat = AFormat;
    FSource->OutputPin().Notify(std::make_shared<TOWStartWaveOperation>(AFormat, false));
  }
  void Stop() { FSource->OutputPin().Notify(std::make_shared<TOWStopOperation>()); }
  // Delivers one buffer from a worker thread, as the capture does: values for the main
  // thread are posted and wait for Drain.
  void Send(const std::vector<int32_t>& ASamples) { SendBuffers({MakeBuffer(FFormat, ASamples)}); }
  void SendBuffers(const std::vector<std::shared_ptr<IALAudioBuffer>>& ABuffers) {
    std::thread Worker([&] {
      for (const auto& Buffer : ABuffers) FSource->OutputPin().SubmitBuffer(Buffer);
    });
    Worker.join();
  }

  // Runs the main-thread deliveries that the meter has posted.
  size_t Drain() { return FQueue->ProcessMessages(); }

  std::vector<double> ValuesOf(int32_t AChannel) const {
    std::vector<double> Values;
    for (const TValueEvent& Event : Events)
      if (Event.Channel == AChannel) Values.push_back(Event.Value);
    return Values;
  }

  std::vector<TValueEvent> Events;
  std::shared_ptr<TSLMessageQueue> FQueue;
  std::unique_ptr<TTestSource> FSource;
  TALWaveFormatExtensible FFormat{};
};
