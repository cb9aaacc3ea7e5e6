#include "capture/ALAudioFormat.h"

#include <algorithm>

namespace {

uint16_t ClampLow16(uint32_t AValue, uint16_t AMin, uint16_t AMax) {
  return std::clamp(static_cast<uint16_t>(AValue & 0xFFFF), AMin, AMax);
}

void Nothing() {}

}  // namespace

TALAudioFormatBasic::TALAudioFormatBasic(TLPComponent* AOwnerProperty,
                                         std::shared_ptr<ILPLock> ALock, TNotifyEvent AOnChange)
    : TLPLockedPersistentNotify(AOwnerProperty, std::move(ALock), std::move(AOnChange)) {
  FWaveFormat.Format.nChannels = 2;
  FWaveFormat.wValidBitsPerSample = 16;
  FWaveFormat.Format.nSamplesPerSec = 11025;
  FWaveFormat.dwChannelMask = TALSpeakers{spFrontLeft, spFrontRight}.Mask();
  UpdateWaveFormat();
}

void TALAudioFormatBasic::UpdateWaveFormat() {
  TALWaveFormatEx& Format = FWaveFormat.Format;
  const uint16_t Valid = FWaveFormat.wValidBitsPerSample;
  Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  Format.wBitsPerSample = static_cast<uint16_t>(Valid % 8 == 0 ? Valid : (Valid / 8 + 1) * 8);
  Format.nBlockAlign = static_cast<uint16_t>((Format.wBitsPerSample / 8) * Format.nChannels);
  Format.nAvgBytesPerSec = Format.nBlockAlign * Format.nSamplesPerSec;
  Format.cbSize = ALWaveFormatExtraSize;
  FWaveFormat.SubFormat = FFloat ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
}

uint32_t TALAudioFormatBasic::GetChannels() const {
  return Read([this] { return uint32_t{FWaveFormat.Format.nChannels}; });
}

void TALAudioFormatBasic::SetChannels(uint32_t AValue) {
  Change(
      ClampLow16(AValue, 1, 32), [this] { return FWaveFormat.Format.nChannels; },
      [this](uint16_t V) { FWaveFormat.Format.nChannels = V; }, [this] { UpdateWaveFormat(); });
}

uint32_t TALAudioFormatBasic::GetBits() const {
  return Read([this] { return uint32_t{FWaveFormat.wValidBitsPerSample}; });
}

void TALAudioFormatBasic::SetBits(uint32_t AValue) {
  Change(
      ClampLow16(AValue, 1, 32), [this] { return FWaveFormat.wValidBitsPerSample; },
      [this](uint16_t V) { FWaveFormat.wValidBitsPerSample = V; }, [this] { UpdateWaveFormat(); });
}

uint32_t TALAudioFormatBasic::GetSampleRate() const {
  return Read([this] { return FWaveFormat.Format.nSamplesPerSec; });
}

void TALAudioFormatBasic::SetSampleRate(uint32_t AValue) {
  Change(
      AValue, [this] { return FWaveFormat.Format.nSamplesPerSec; },
      [this](uint32_t V) { FWaveFormat.Format.nSamplesPerSec = V; },
      [this] { UpdateWaveFormat(); });
}

TALSpeakers TALAudioFormatBasic::GetChannelMask() const {
  return Read([this] { return TALSpeakers::FromMask(FWaveFormat.dwChannelMask); });
}

void TALAudioFormatBasic::SetChannelMask(TALSpeakers AValue) {
  Change(
      AValue.Mask(), [this] { return FWaveFormat.dwChannelMask; },
      [this](uint32_t V) { FWaveFormat.dwChannelMask = V; }, [this] { UpdateWaveFormat(); });
}

bool TALAudioFormatBasic::GetFloat() const {
  return Read([this] { return FFloat; });
}

void TALAudioFormatBasic::SetFloat(bool AValue) {
  Change(
      AValue, [this] { return FFloat; }, [this](bool V) { FFloat = V; },
      [this] { UpdateWaveFormat(); });
}

const TALWaveFormatExtensible* TALAudioFormatBasic::GetWaveFormat() const {
  Read(Nothing);
  return &FWaveFormat;
}

void TALAudioFormatBasic::Assign(const TALAudioFormatBasic& Source) {
  SetChannels(Source.GetChannels());
  SetBits(Source.GetBits());
  SetSampleRate(Source.GetSampleRate());
  SetChannelMask(Source.GetChannelMask());
  SetFloat(Source.GetFloat());
}

TALAudioFormat::TALAudioFormat(TLPComponent* AOwnerProperty, std::shared_ptr<ILPLock> ALock,
                               TNotifyEvent AOnChange)
    : TALAudioFormatBasic(AOwnerProperty, std::move(ALock), std::move(AOnChange)) {}

uint32_t TALAudioFormat::GetBufferSize() const {
  return Read([this] { return FBufferSize; });
}

void TALAudioFormat::SetBufferSize(uint32_t AValue) {
  Change(
      std::max(AValue, 1u), [this] { return FBufferSize; }, [this](uint32_t V) { FBufferSize = V; },
      Nothing);
}

void TALAudioFormat::Assign(const TALAudioFormatBasic& Source) {
  TALAudioFormatBasic::Assign(Source);
  if (auto* Format = dynamic_cast<const TALAudioFormat*>(&Source))
    SetBufferSize(Format->GetBufferSize());
}
