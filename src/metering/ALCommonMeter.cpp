#include "metering/ALCommonMeter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "kernels/LPIPPI.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

// Flush-to-zero and denormals-are-zero for the length of one delivered operation. The
// measuring runs on whatever thread delivers the stream, whose floating-point mode the meter
// does not own; without this a silent channel whose filter has decayed into subnormal floats
// would be measured many times slower than music. No level above about -670 dBFS changes.
class TDenormalsOff {
public:
#if defined(__SSE__)
  TDenormalsOff() : FSaved(_mm_getcsr()) { _mm_setcsr(FSaved | FlushToZero | DenormalsAreZero); }
  ~TDenormalsOff() { _mm_setcsr(FSaved); }

private:
  static constexpr unsigned FlushToZero = 0x8000;
  static constexpr unsigned DenormalsAreZero = 0x0040;
  unsigned FSaved;
#endif
};

double FullScale(uint32_t ABitsPerSample) {
  if (ABitsPerSample == 0 || ABitsPerSample > 64) return 0;
  return static_cast<double>((uint64_t{1} << (ABitsPerSample - 1)) - 1);
}

bool IsFloatFormat(const TALWaveFormatExtensible& AFormat) {
  return AFormat.Format.wBitsPerSample == 32 &&
         AFormat.Format.wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
         AFormat.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT;
}

// Samples at or beyond AHigh or ALow.
int64_t CountClipped(const float* AData, std::size_t ACount, float AHigh, float ALow) {
  std::size_t n = 0;
  int64_t Clipped = 0;
#if defined(__SSE2__)
  const __m128 High = _mm_set1_ps(AHigh);
  const __m128 Low = _mm_set1_ps(ALow);
  __m128i Counts = _mm_setzero_si128();  // four lanes of -1 per clipped sample
  for (; n + 4 <= ACount; n += 4) {
    const __m128 x = _mm_loadu_ps(AData + n);
    const __m128 Out = _mm_or_ps(_mm_cmpge_ps(x, High), _mm_cmple_ps(x, Low));
    Counts = _mm_sub_epi32(Counts, _mm_castps_si128(Out));
  }
  alignas(16) int32_t Lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(Lanes), Counts);
  Clipped = int64_t{Lanes[0]} + Lanes[1] + Lanes[2] + Lanes[3];
#endif
  for (; n < ACount; ++n) Clipped += (AData[n] >= AHigh) | (AData[n] <= ALow);
  return Clipped;
}

}  // namespace

// TALMeterBufferQueue

void TALMeterBufferQueue::Push(const IALAudioBuffer& Buffer) {
  FSamplesInBuffer += Buffer.GetSize();
  AddCopy(Buffer);
}

void TALMeterBufferQueue::AddCopy(const IALAudioBuffer& Buffer) {
  if (FFirst > 0 && FBufferList.size() == FBufferList.capacity()) {
    FBufferList.erase(FBufferList.begin(),
                      FBufferList.begin() + static_cast<std::ptrdiff_t>(FFirst));
    FFirst = 0;
  }
  FBufferList.push_back(TALAudioBuffer::CreateCopy(Buffer));
}

void TALMeterBufferQueue::Pop() {
  std::shared_ptr<IALAudioBuffer> Dropped;
  Pop(Dropped);
}

void TALMeterBufferQueue::Pop(std::shared_ptr<IALAudioBuffer>& Buffer) {
  Buffer.reset();
  if (Count() == 0) return;
  Buffer = std::move(FBufferList[FFirst]);
  FSamplesInBuffer -= Buffer->GetSize();
  if (++FFirst == FBufferList.size()) {
    FBufferList.clear();
    FFirst = 0;
  }
}

bool TALMeterBufferQueue::GetBuffer(int32_t Index, std::shared_ptr<IALAudioBuffer>& Buffer) const {
  if (Index < 0 || Index >= Count()) {
    Buffer.reset();
    return false;
  }
  Buffer = FBufferList[FFirst + static_cast<std::size_t>(Index)];
  return true;
}

void TALMeterBufferQueue::Clear() {
  FSamplesInBuffer = 0;
  FBufferList.clear();
  FFirst = 0;
}

// TALCommonMeter

TALCommonMeter::TALCommonMeter() {
  FProcessNotify = std::make_unique<TSLMainThreadNotify>(
      [this](TSLMainThreadNotify* Sender) { DeliverReadyValues(Sender); });
  FBufferQueue = std::make_unique<TALMeterBufferQueue>();
  FInputPin = std::make_unique<TALOWAudioSinkPin>(
      this, FLock,
      [this](TOWBasicPin* Sender, TOWStreamTypeID DataTypeID, const TOWOperationPtr& Operation,
             TOWNotifyState State) {
        return InputOperation(Sender, DataTypeID, Operation, State);
      });
  FOutputPins = std::make_unique<TOWPinList>(this, FLock, true);
  SetCountChannels(2);
}

TALCommonMeter::~TALCommonMeter() {
  BeforeDestruction();
  TOWLockSection Stop = FLock->StopLock();
  FOutputPins.reset();
  FInputPin.reset();
  FBufferQueue.reset();
  // Withdraws the notifier: a delivery still posted for this meter is discarded.
  FProcessNotify.reset();
  FReadyList.clear();
}

void TALCommonMeter::BeforeDestruction() {
  if (FBeforeDestructionDone) return;
  FBeforeDestructionDone = true;
  TOWLockSection Stop = FLock->StopLock();
  // The source sends its final stop to the leaving input on this thread.
  FInputPin->Disconnect();
  StopStream();
}

void TALCommonMeter::SetMode(TALValueMode AValue) {
  TOWLockSection Section = FLock->WriteLock();
  if (Section) FMode = AValue;
}

int32_t TALCommonMeter::CountChannels() const { return FOutputPins->Count(); }

void TALCommonMeter::SetCountChannels(int32_t AValue) {
  const int32_t Count = std::clamp(AValue, 1, ALMaxMeterChannels);
  FReadyList.clear();
  for (int32_t i = 0; i < Count; ++i) FReadyList.push_back(std::make_unique<TSLRealQueue>());
  while (FOutputPins->Count() > Count) FOutputPins->Delete(FOutputPins->Count() - 1);
  while (FOutputPins->Count() < Count) {
    auto* Pin = new TOWRealRangedSourcePin(this, FLock);
    FOutputPins->Add(Pin);
    // The published values are a function of the input, which keeps an output from ever
    // being connected back to this meter's input.
    Pin->AddFunctionSource(FInputPin.get());
  }
}

void TALCommonMeter::SetSynchronizeType(TSLSynchronizeType AValue) {
  FLock->Setter(FSynchronizeType, AValue);
}

void TALCommonMeter::SetOnValueChange(TALMeterValueChangeEvent AValue) {
  TOWLockSection Section = FLock->WriteLock();
  if (Section) FOnValueChange = std::move(AValue);
}

void TALCommonMeter::SetOnClip(TALMeterClipEvent AValue) {
  TOWLockSection Section = FLock->WriteLock();
  if (Section) FOnClip = std::move(AValue);
}

int64_t TALCommonMeter::ClippedSamples(int32_t AChannel) const {
  if (AChannel < 0 || AChannel >= ALMaxMeterChannels) return 0;
  TOWLockSection Section = FLock->ReadLock();
  return FClipped[static_cast<std::size_t>(AChannel)];
}

int32_t TALCommonMeter::ActiveChannelCount() const {
  return std::min(CountChannels(), static_cast<int32_t>(FWaveFormat.Format.nChannels));
}

TOWNotifyResult TALCommonMeter::InputOperation(TOWBasicPin* /*Sender*/,
                                               TOWStreamTypeID /*DataTypeID*/,
                                               const TOWOperationPtr& Operation,
                                               TOWNotifyState /*State*/) {
  TDenormalsOff DenormalsOff;
  TOWLockSection Section = FLock->WriteLock();
  if (!Section || !Operation) return {};
  TOWNotifyOperation* Instance = &Operation->Instance();
  // Buffers are by far the most frequent operation: they are recognised first.
  if (auto* Supplied = dynamic_cast<TOWSuppliedBufferOperation*>(Instance)) {
    if (Supplied->Buffer) {
      const std::shared_ptr<IALAudioBuffer> Buffer =
          TALAudioBuffer::CreateUniversal(*Supplied->Buffer);
      FBufferQueue->Push(*Buffer);
      ProcessQueue();
    }
  } else if (auto* Start = dynamic_cast<TOWStartWaveOperation*>(Instance)) {
    StartStream(&Start->WaveFormat);
  } else if (dynamic_cast<TOWStopOperation*>(Instance)) {
    StopStream();
  }
  return {};
}

void TALCommonMeter::StartStream(const TALWaveFormatExtensible* AWaveFormat) {
  if (!AWaveFormat) return;
  FWaveFormat = *AWaveFormat;
  FFloatSamples = IsFloatFormat(FWaveFormat);
  FMax = FFloatSamples ? 1.0 : FullScale(FWaveFormat.Format.wBitsPerSample);
  FClipped.fill(0);
  FClipPending.fill(false);
  FBufferQueue->Clear();
  // The read position belongs to the oldest queued buffer, which the clearing dropped; kept,
  // it would skip that many frames of the new stream.
  FLastBufferPos = 0;
  for (int32_t i = 0; i < CountChannels(); ++i) FReadyList[static_cast<std::size_t>(i)]->Clear();
  AllocateBlockBuffers();
}

int32_t TALCommonMeter::GetBlockSize() const {
  // In 64 bits, as long periods at high rates pass 2^32 (97.4 s at 44.1 kHz); frames are
  // counted in 32 bits, so a longer block is cut to the largest count.
  const uint64_t Size = uint64_t{FTimePeriod} * FWaveFormat.Format.nSamplesPerSec / 1000;
  return Size == 0 ? 1 : static_cast<int32_t>(std::min<uint64_t>(Size, INT32_MAX));
}

void TALCommonMeter::AllocateBlockBuffers() {
  TOWLockSection Section = FLock->WriteLock();
  if (!Section) return;
  FInternalBuffers.resize(FWaveFormat.Format.nChannels);
  for (std::vector<float>& Buffer : FInternalBuffers)
    Buffer.assign(static_cast<std::size_t>(GetBlockSize()), 0.0f);
}

void TALCommonMeter::SetTimePeriod(uint32_t AValue) {
  FLock->Setter(FTimePeriod, AValue, [this] { AllocateBlockBuffers(); });
}

bool TALCommonMeter::BlockAvailable() const {
  // Strictly more unread frames than one block.
  return GetBlockSize() + int64_t{FLastBufferPos} < FBufferQueue->SamplesInBuffer();
}

void TALCommonMeter::ProcessQueue() {
  TOWLockSection Section = FLock->WriteLock();
  if (!Section) return;
  const int32_t Active = ActiveChannelCount();
  TALChannelReals Values{};
  switch (FSynchronizeType) {
    case stNone:
      while (BlockAvailable()) {
        ProcessBlock(Values);
        for (int32_t i = 0; i < Active; ++i) Publish(i, Values[static_cast<std::size_t>(i)]);
        PublishClips();
      }
      break;
    case stSingleBuffer:
      if (!BlockAvailable()) return;
      while (BlockAvailable()) ProcessBlock(Values);
      for (int32_t i = 0; i < Active; ++i) {
        TSLRealQueue& Ready = *FReadyList[static_cast<std::size_t>(i)];
        Ready.Clear();
        Ready.Add(Values[static_cast<std::size_t>(i)]);
      }
      FProcessNotify->Notify(false);
      break;
    case stQueue:
      while (BlockAvailable()) {
        ProcessBlock(Values);
        for (int32_t i = 0; i < Active; ++i)
          FReadyList[static_cast<std::size_t>(i)]->Add(Values[static_cast<std::size_t>(i)]);
      }
      FProcessNotify->Notify(false);
      break;
  }
}

void TALCommonMeter::ProcessBlock(TALChannelReals& AValues) {
  FillBlock();
  CalculateValues(AValues);
  if (FMode != vmDecibel) return;
  const double Floor = -20 * std::log10(FMax);
  const int32_t Active = ActiveChannelCount();
  for (int32_t i = 0; i < Active; ++i) {
    double& Value = AValues[static_cast<std::size_t>(i)];
    Value = Value > 0 ? 20 * std::log10(2 * Value / FMax) : Floor;
  }
}

void TALCommonMeter::FillBlock() {
  const int32_t BlockSize = GetBlockSize();
  if (FBufferQueue->SamplesInBuffer() < BlockSize + int64_t{FLastBufferPos}) return;
  std::shared_ptr<IALAudioBuffer> Buffer;
  if (!FBufferQueue->GetBuffer(0, Buffer)) return;
  auto Size = static_cast<int32_t>(Buffer->GetSize());
  const int32_t Active = ActiveChannelCount();
  int32_t Done = 0;
  while (Done < BlockSize) {
    if (FLastBufferPos >= Size) {
      FBufferQueue->Pop();
      FLastBufferPos = 0;
      if (!FBufferQueue->GetBuffer(0, Buffer)) return;
      Size = static_cast<int32_t>(Buffer->GetSize());
    }
    const int32_t Count = std::min(BlockSize - Done, Size - FLastBufferPos);
    for (int32_t i = 0; i < Active; ++i) {
      const auto Channel = static_cast<std::size_t>(i);
      if (const int64_t Clipped = ConvertChannel(Buffer->ByteRead(), Buffer->GetByteSize(), i,
                                                 FLastBufferPos, Count, BlockBuffer(i) + Done)) {
        FClipped[Channel] += Clipped;
        FClipPending[Channel] = true;
      }
    }
    FLastBufferPos += Count;
    Done += Count;
  }
}

int64_t TALCommonMeter::ConvertChannel(const uint8_t* AData, std::size_t ADataBytes,
                                       int32_t AChannel, int32_t AFirstFrame, int32_t ACount,
                                       float* ADestination) const {
  const uint32_t Bits = FWaveFormat.Format.wBitsPerSample;
  if (Bits != 8 && Bits != 16 && Bits != 24 && Bits != 32) return 0;
  const std::size_t SampleBytes = Bits / 8;
  const std::size_t Step = FWaveFormat.Format.nBlockAlign;
  const std::size_t Offset = static_cast<std::size_t>(AChannel) * SampleBytes;

  // A buffer whose own frames are smaller than the stream's would let the stream's frame
  // size read past its end: read only the samples that lie inside it, zeros for the rest.
  std::size_t Readable = 0;
  if (Step > 0 && ADataBytes >= Offset + SampleBytes)
    Readable = (ADataBytes - Offset - SampleBytes) / Step + 1;
  const auto First = static_cast<std::size_t>(AFirstFrame);
  const std::size_t Count =
      std::min(static_cast<std::size_t>(ACount), Readable > First ? Readable - First : 0);
  std::fill(ADestination + Count, ADestination + ACount, 0.0f);
  if (Count == 0) return 0;

  const uint8_t* Source = AData + First * Step + Offset;
  const IppiSize Region{1, static_cast<int32_t>(Count)};
  const auto SourceStep = static_cast<int32_t>(Step);
  const auto High = static_cast<float>(FMax);
  const float Low = -High - 1;
  if (FFloatSamples) {
    for (std::size_t n = 0; n < Count; ++n, Source += Step)
      std::memcpy(ADestination + n, Source, sizeof(float));
    return CountClipped(ADestination, Count, 1.0f, -1.0f);
  }
  switch (Bits) {
    case 8:
      // Unsigned samples around 128 are centred, so that digital silence is 0 for the
      // filter from the first sample instead of a step that takes seconds to decay.
      ippiConvert_8u32f_C1R(Source, SourceStep, ADestination, sizeof(float), Region);
      for (std::size_t n = 0; n < Count; ++n) ADestination[n] -= 128.0f;
      return CountClipped(ADestination, Count, High, Low);
    case 16:
      ippiConvert_16s32f_C1R(reinterpret_cast<const int16_t*>(Source), SourceStep, ADestination,
                             sizeof(float), Region);
      return CountClipped(ADestination, Count, High, Low);
    case 24:
      for (std::size_t n = 0; n < Count; ++n, Source += Step) {
        const uint32_t Raw = Source[0] | (uint32_t{Source[1]} << 8) | (uint32_t{Source[2]} << 16);
        // Bit 23 carries the sign.
        ADestination[n] = static_cast<float>(static_cast<int32_t>(Raw << 8) >> 8);
      }
      return CountClipped(ADestination, Count, High, Low);
    default: {
      // Counted on the integers: as floats, the samples next to full scale round onto it.
      int64_t Clipped = 0;
      for (std::size_t n = 0; n < Count; ++n, Source += Step) {
        int32_t Sample;
        std::memcpy(&Sample, Source, sizeof(Sample));
        ADestination[n] = static_cast<float>(Sample);
        // Without a branch: the two tests as integers, or-ed.
        Clipped += static_cast<int32_t>(Sample == std::numeric_limits<int32_t>::max()) |
                   static_cast<int32_t>(Sample == std::numeric_limits<int32_t>::min());
      }
      return Clipped;
    }
  }
}

void TALCommonMeter::Publish(int32_t AChannel, double AValue) {
  if (AChannel >= FOutputPins->Count()) return;
  auto* Pin = static_cast<TOWRealRangedSourcePin*>(FOutputPins->GetPin(AChannel));
  if (AValue == Pin->GetValue()) return;
  double Min = 0;
  double Max = FMax;
  if (FMode == vmDecibel) {
    Min = -20 * std::log10(FMax);
    Max = 20 * std::log10(2.0);
  }
  Pin->SubmitValueRange(AValue, Min, Max);
  if (FOnValueChange) FOnValueChange(this, AChannel, AValue, Min, Max);
}

void TALCommonMeter::PublishClips() {
  const int32_t Active = ActiveChannelCount();
  for (int32_t i = 0; i < Active; ++i) {
    bool& Pending = FClipPending[static_cast<std::size_t>(i)];
    if (!Pending) continue;
    Pending = false;
    if (FOnClip) FOnClip(this, i);
  }
}

void TALCommonMeter::DeliverReadyValues(TSLMainThreadNotify* /*Sender*/) {
  TOWLockSection Section = FLock->WriteLock();
  if (!Section) return;
  const auto Active = static_cast<std::size_t>(ActiveChannelCount());
  bool Any;
  do {
    Any = false;
    // The queue is looked up again after every value: the event handler may have changed
    // the channel count, which replaces the ready queues.
    for (std::size_t i = 0; i < Active; ++i) {
      while (i < FReadyList.size() && FReadyList[i]->GetCount() > 0) {
        // The synchronised modes hand values over in single precision.
        const double Value = static_cast<float>(FReadyList[i]->GetItem(0));
        FReadyList[i]->Remove();
        Publish(static_cast<int32_t>(i), Value);
        Any = true;
      }
    }
  } while (Any);
  PublishClips();
}
