#include "capture/ALAudioBuffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "capture/SLSmartBufferManager.h"

namespace {

// Sizes are worked out in 64 bits and saturated just above the largest block, so that a
// request too large for one block is refused by the pool instead of wrapping round to a
// small block.
constexpr uint64_t SizeLimit = uint64_t{TSLSmartBufferManager::MaxBlockSize} + 1;

uint64_t SaturatedProduct(uint64_t A, uint64_t B) {
  if (A != 0 && B > SizeLimit / A) return SizeLimit;
  return std::min(A * B, SizeLimit);
}

uint32_t ContainerWidth(uint32_t ABitsPerSample) {
  return ABitsPerSample % 8 == 0 ? ABitsPerSample : (ABitsPerSample / 8 + 1) * 8;
}

// Keeps the first AChannels speakers that the mask names among its lowest 17 positions;
// a mask naming fewer, or whose last kept speaker is the seventeenth, stays whole.
uint32_t TrimChannelMask(uint32_t AMask, uint32_t AChannels) {
  uint32_t Count = 0;
  for (uint32_t Position = 0; Position <= 16; ++Position) {
    if (!((AMask >> Position) & 1u)) continue;
    if (++Count == AChannels) {
      if (Position <= 15) AMask &= (2u << Position) - 1;
      break;
    }
  }
  return AMask;
}

uint32_t LowestChannelsMask(uint32_t AChannels) {
  return static_cast<uint32_t>((uint64_t{1} << std::min(AChannels, 32u)) - 1);
}

}  // namespace

// TSLGenericBuffer

TSLGenericBuffer::~TSLGenericBuffer() {
  if (pDataContainer) pDataContainer->RemoveReff(FOwnsData);
}

void TSLGenericBuffer::Attach(TSLSmartBuffer* AContainer, uint32_t ACharSize) {
  AContainer->AddReff(FOwnsData);
  pDataContainer = AContainer;
  FCharSize = ACharSize;
  RefreshCache();
}

void TSLGenericBuffer::RefreshCache() {
  FDataPtr = static_cast<uint8_t*>(pDataContainer->GetRawData());
}

uint8_t* TSLGenericBuffer::ByteWrite() {
  Unique(false);
  return FDataPtr;
}

uint8_t* TSLGenericBuffer::ByteModify() {
  Unique(true);
  return FDataPtr;
}

void TSLGenericBuffer::Unique(bool PreserveData) { MakeUnique(PreserveData); }

bool TSLGenericBuffer::MakeUnique(bool PreserveData) {
  if (!pDataContainer || pDataContainer->SingleOwner()) return false;
  TSLSmartBuffer* Old = pDataContainer;
  TSLSmartBuffer* Private = Old->Clone(PreserveData);
  Private->AddReff(FOwnsData);
  SetDataContainer(Private);
  Old->RemoveReff(FOwnsData);
  RefreshCache();
  return true;
}

// TALAudioBuffer

std::shared_ptr<IALAudioBuffer> TALAudioBuffer::CreateSizeEx(uint32_t ARate,
                                                             uint32_t ABitsPerSample,
                                                             uint32_t AChannels, uint32_t ASize,
                                                             TALSpeakers ASpeakerMask,
                                                             bool AFloat) {
  const uint32_t Width = ContainerWidth(ABitsPerSample);
  const uint64_t DataBytes = SaturatedProduct(SaturatedProduct(Width / 8, ASize), AChannels);
  // A block too large for the pool is refused by the container.
  const auto BlockSize =
      static_cast<uint32_t>(std::min(DataBytes + ALWaveFormatHeaderSize, SizeLimit));

  auto Buffer = std::make_shared<TALAudioBuffer>(TPrivate{});
  auto* Container = new TALSmartAudioBuffer(BlockSize);

  auto* Header = static_cast<PALWaveFormatExtensible>(Container->GetRawData());
  const auto BlockAlign = static_cast<uint16_t>((Width / 8) * AChannels);
  Header->Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  Header->Format.nChannels = static_cast<uint16_t>(AChannels);
  Header->Format.wBitsPerSample = static_cast<uint16_t>(Width);
  Header->Format.nSamplesPerSec = ARate;
  Header->Format.nBlockAlign = BlockAlign;
  Header->Format.nAvgBytesPerSec = ARate * BlockAlign;
  Header->Format.cbSize = ALWaveFormatExtraSize;
  Header->wValidBitsPerSample = static_cast<uint16_t>(ABitsPerSample);
  Header->dwChannelMask = ASpeakerMask.Empty() ? LowestChannelsMask(AChannels)
                                               : TrimChannelMask(ASpeakerMask.Mask(), AChannels);
  Header->SubFormat = AFloat ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;

  Buffer->Attach(Container, BlockSize);
  return Buffer;
}

std::shared_ptr<IALAudioBuffer> TALAudioBuffer::CreateSize(uint32_t ARate, uint32_t ABitsPerSample,
                                                           uint32_t AChannels, uint32_t ASize) {
  return CreateSizeEx(ARate, ABitsPerSample, AChannels, ASize, TALSpeakers());
}

std::shared_ptr<IALAudioBuffer> TALAudioBuffer::CreateWaveFormat(
    const TALWaveFormatExtensible& AWaveFormat, uint32_t ASize) {
  return CreateSizeEx(AWaveFormat.Format.nSamplesPerSec, AWaveFormat.wValidBitsPerSample,
                      AWaveFormat.Format.nChannels, ASize,
                      TALSpeakers::FromMask(AWaveFormat.dwChannelMask),
                      AWaveFormat.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
}

std::shared_ptr<IALAudioBuffer> TALAudioBuffer::CreateUniversal(const ISLData& Other) {
  TSLSmartBuffer* Container = Other.GetDataContainer();
  if (!Container || Other.GetCharSize() < ALWaveFormatHeaderSize ||
      Other.GetCharSize() > Container->GetAllocatedSize())
    throw std::invalid_argument("Not an audio buffer");
  auto Buffer = std::make_shared<TALAudioBuffer>(TPrivate{});
  Buffer->Attach(Container, Other.GetCharSize());
  return Buffer;
}

std::shared_ptr<IALAudioBuffer> TALAudioBuffer::CreateCopy(const IALAudioBuffer& Other) {
  return CreateUniversal(Other);
}

void TALAudioBuffer::RefreshCache() {
  auto* Block = static_cast<uint8_t*>(pDataContainer->GetRawData());
  FWaveFormat = reinterpret_cast<PALWaveFormatExtensible>(Block);
  FChannels = FWaveFormat->Format.nChannels;
  FSampleBitWidth = FWaveFormat->Format.wBitsPerSample;
  FDataStep = FWaveFormat->Format.nBlockAlign;
  FChannelMask = TALSpeakers::FromMask(FWaveFormat->dwChannelMask);
  FBitsPerSample = FWaveFormat->wValidBitsPerSample;
  FDataOffset = FWaveFormat->Format.cbSize + 18u;
  FDataPtr = Block + FDataOffset;
}

uint32_t TALAudioBuffer::GetByteSize() const {
  return FCharSize > FDataOffset ? FCharSize - FDataOffset : 0;
}

uint32_t TALAudioBuffer::GetSize() const { return FDataStep == 0 ? 0 : GetByteSize() / FDataStep; }

uint32_t TALAudioBuffer::GetSampleRate() const { return FWaveFormat->Format.nSamplesPerSec; }

void TALAudioBuffer::GetWaveFormat(TALWaveFormatExtensible& AWaveFormat) const {
  std::memcpy(&AWaveFormat, FWaveFormat, sizeof(AWaveFormat));
}

uint32_t TALAudioBuffer::SampleOffset(uint32_t AIndex, uint32_t AChannel) const {
  if (AChannel >= FChannels)
    throw std::out_of_range("Channel out of range = " + std::to_string(AChannel));
  const uint64_t Offset = uint64_t{AIndex} * FDataStep + uint64_t{AChannel} * (FSampleBitWidth / 8);
  const uint32_t Bytes = std::min(FSampleBitWidth / 8, 4u);
  // The second test guards against a header whose frame size does not cover its channels.
  if (AIndex >= GetSize() || Offset + Bytes > GetByteSize())
    throw std::out_of_range("Index out of range = " + std::to_string(AIndex));
  return static_cast<uint32_t>(Offset);
}

int32_t TALAudioBuffer::GetSample(uint32_t AIndex, uint32_t AChannel) const {
  const uint8_t* Sample = FDataPtr + SampleOffset(AIndex, AChannel);
  switch (FSampleBitWidth / 8) {
    case 1: return Sample[0];
    case 2: {
      int16_t Value;
      std::memcpy(&Value, Sample, sizeof(Value));
      return Value;
    }
    case 3: return Sample[0] | (Sample[1] << 8) | (Sample[2] << 16);
    default: {
      int32_t Value;
      std::memcpy(&Value, Sample, sizeof(Value));
      return Value;
    }
  }
}

void TALAudioBuffer::SetSample(uint32_t AIndex, uint32_t AChannel, int32_t AValue) {
  const uint32_t Offset = SampleOffset(AIndex, AChannel);
  Unique(true);
  uint8_t* Sample = FDataPtr + Offset;
  const auto Bits = static_cast<uint32_t>(AValue);
  const uint32_t Bytes = std::min(FSampleBitWidth / 8, 4u);
  for (uint32_t i = 0; i < Bytes; ++i) Sample[i] = static_cast<uint8_t>(Bits >> (8 * i));
}
