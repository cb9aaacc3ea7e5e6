#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "capture/ALAudioBuffer.h"
#include "capture/ALAudioFormat.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"
#include "dataflow/OWPins.h"
#include "dataflow/OWStdTypes.h"
#include "dataflow/SLClockGen.h"
#include "metering/SLRealQueue.h"

enum TALValueMode : uint8_t { vmLinear, vmDecibel };
enum TSLSynchronizeType : uint8_t { stNone, stSingleBuffer, stQueue };

// The largest channel count a meter handles.
inline constexpr int32_t ALMaxMeterChannels = 32;
using TALChannelReals = std::array<double, ALMaxMeterChannels>;

class TALCommonMeter;
using TALMeterValueChangeEvent = std::function<void(TALCommonMeter* Sender, int32_t AChannel,
                                                    double AValue, double AMin, double AMax)>;
// New samples at full scale arrived on AChannel.
using TALMeterClipEvent = std::function<void(TALCommonMeter* Sender, int32_t AChannel)>;

// The audio buffers a meter has received and not yet used up, oldest first. The queue keeps
// its own buffer object on the memory of each buffer it is given: the samples are not copied.
class TALMeterBufferQueue {
public:
  void Push(const IALAudioBuffer& Buffer);
  // Drops the oldest buffer; nothing on an empty queue.
  void Pop();
  // Removes the oldest buffer and hands it over; nullptr on an empty queue.
  void Pop(std::shared_ptr<IALAudioBuffer>& Buffer);
  // The buffer at Index (0 is the oldest) without removing it; false and nullptr when Index
  // is not below the count.
  bool GetBuffer(int32_t Index, std::shared_ptr<IALAudioBuffer>& Buffer) const;
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(FBufferList.size() - FFirst); }
  // Frames in all queued buffers.
  int64_t SamplesInBuffer() const { return FSamplesInBuffer; }

private:
  void AddCopy(const IALAudioBuffer& Buffer);

  // Entries before FFirst have been popped; the array keeps its room so that a steady
  // stream of buffers does not allocate for the queue itself.
  std::vector<std::shared_ptr<IALAudioBuffer>> FBufferList;
  std::size_t FFirst = 0;
  int64_t FSamplesInBuffer = 0;
};

// Base of the meters: receives an audio stream on its input pin, cuts it into blocks of
// Period milliseconds, lets the concrete meter compute one value per channel and block, and
// publishes every changed value on the channel's output pin and through OnValueChange,
// either at once on the delivering thread (stNone) or later on the main thread.
//
// While converting the samples it counts, per channel, those at full scale (clipped): the
// format's largest positive or most negative value, or for floating-point samples a
// magnitude of 1.0 or more. Each hand-over that follows new clipped samples on a channel
// raises OnClip for it, after that hand-over's value changes.
//
// Everything that touches the stream state runs under the component lock, so the thread
// that delivers the stream and the main thread never run meter code at the same time.
class TALCommonMeter : public TLPComponent {
public:
  TALCommonMeter();
  ~TALCommonMeter() override;

  TALOWAudioSinkPin* InputPin() const { return FInputPin.get(); }
  TOWPinList* OutputPins() const { return FOutputPins.get(); }

  TALValueMode Mode() const { return FMode; }
  void SetMode(TALValueMode AValue);
  // The number of output pins.
  int32_t CountChannels() const;
  // Clamped to 1 .. 32. Takes no lock: change it only while no stream flows.
  void SetCountChannels(int32_t AValue);
  TSLSynchronizeType SynchronizeType() const { return FSynchronizeType; }
  void SetSynchronizeType(TSLSynchronizeType AValue);
  uint32_t Period() const { return FTimePeriod; }
  void SetPeriod(uint32_t AValue) { SetTimePeriod(AValue); }
  void SetOnValueChange(TALMeterValueChangeEvent AValue);
  void SetOnClip(TALMeterClipEvent AValue);

  // Clipped samples of a channel measured since the stream started; 0 for a channel
  // outside 0 .. 31.
  int64_t ClippedSamples(int32_t AChannel) const;

  // min(CountChannels, channels of the current stream).
  int32_t ActiveChannelCount() const;

  // The input pin's operation handler.
  TOWNotifyResult InputOperation(TOWBasicPin* Sender, TOWStreamTypeID DataTypeID,
                                 const TOWOperationPtr& Operation, TOWNotifyState State);
  // Publishes the values waiting in the ready queues; the main-thread notifier's handler.
  void DeliverReadyValues(TSLMainThreadNotify* Sender);

protected:
  virtual void StartStream(const TALWaveFormatExtensible* AWaveFormat);
  virtual void StopStream() {}
  virtual void ProcessQueue();
  virtual void AllocateBlockBuffers();
  virtual void FillBlock();
  virtual int32_t GetBlockSize() const;
  virtual void CalculateValues(TALChannelReals& AValues) = 0;
  virtual void SetTimePeriod(uint32_t AValue);

  void ProcessBlock(TALChannelReals& AValues);
  // Ends the stream before the meter goes: from here on, whatever another thread still
  // delivers is dropped at once. Every concrete meter calls it first in its destructor, so
  // that nothing it frees there can still be in use by a delivering thread.
  void BeforeDestruction();

  // The block buffer of a stream channel: GetBlockSize() floats.
  float* BlockBuffer(int32_t AChannel) {
    return FInternalBuffers[static_cast<std::size_t>(AChannel)].data();
  }
  const TALWaveFormatExtensible& WaveFormat() const { return FWaveFormat; }
  double Max() const { return FMax; }
  // The stream carries 32-bit IEEE floats, full scale 1.0.
  bool FloatSamples() const { return FFloatSamples; }

private:
  bool BlockAvailable() const;
  void Publish(int32_t AChannel, double AValue);
  // Raises OnClip for every active channel with clipped samples not yet told.
  void PublishClips();
  // Moves count frames of one channel from the raw interleaved data into the block buffer;
  // returns how many of them were clipped.
  int64_t ConvertChannel(const uint8_t* AData, std::size_t ADataBytes, int32_t AChannel,
                         int32_t AFirstFrame, int32_t ACount, float* ADestination) const;

  std::unique_ptr<TALOWAudioSinkPin> FInputPin;
  std::unique_ptr<TOWPinList> FOutputPins;
  TALValueMode FMode = vmLinear;
  TALWaveFormatExtensible FWaveFormat{};
  std::unique_ptr<TSLMainThreadNotify> FProcessNotify;
  std::vector<std::unique_ptr<TSLRealQueue>> FReadyList;
  TSLSynchronizeType FSynchronizeType = stSingleBuffer;
  uint32_t FTimePeriod = 100;
  double FMax = 0;
  bool FFloatSamples = false;
  int32_t FLastBufferPos = 0;
  std::vector<std::vector<float>> FInternalBuffers;
  TALMeterValueChangeEvent FOnValueChange;
  TALMeterClipEvent FOnClip;
  std::array<int64_t, ALMaxMeterChannels> FClipped{};
  // Channels whose new clipped samples OnClip has not yet told.
  std::array<bool, ALMaxMeterChannels> FClipPending{};
  std::unique_ptr<TALMeterBufferQueue> FBufferQueue;
  bool FBeforeDestructionDone = false;
};
