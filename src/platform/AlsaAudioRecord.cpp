#include "platform/AlsaAudioRecord.h"

#include <stdexcept>

TAlsaAudioRecord::TAlsaAudioRecord(AlsaWaveInBackend::Lister Lister) : FLister(std::move(Lister)) {}

const std::vector<NamedAlsaDevice>& TAlsaAudioRecord::Devices() {
  if (!FListed) GetDeviceCount();
  return FDevices;
}

int32_t TAlsaAudioRecord::GetDeviceCount() {
  FDevices = NameAlsaCaptureDevices(FLister());
  FListed = true;
  return static_cast<int32_t>(FDevices.size());
}

std::string TAlsaAudioRecord::GetDeviceName(int32_t nID) {
  const auto& devices = Devices();
  CheckAudioRecordIndex(nID, static_cast<int32_t>(devices.size()), "device");
  return devices[static_cast<size_t>(nID)].DisplayName;
}

void TAlsaAudioRecord::SetDeviceIndex(int32_t Value) {
  const auto& devices = Devices();
  CheckAudioRecordIndex(Value, static_cast<int32_t>(devices.size()), "device");
  FMixer.reset();
  try {
    FMixer = std::make_unique<AlsaMixer>(devices[static_cast<size_t>(Value)].CardId);
  } catch (const std::runtime_error&) {
    // Recording from it does not need its mixer: the device stays selectable, without lines.
  }
}

int32_t TAlsaAudioRecord::GetDeviceLineCount() {
  return FMixer ? static_cast<int32_t>(FMixer->Lines().size()) : 0;
}

std::string TAlsaAudioRecord::GetDeviceLineName(int32_t nID) {
  CheckAudioRecordIndex(nID, GetDeviceLineCount(), "line");
  return FMixer->Lines()[static_cast<size_t>(nID)];
}

void TAlsaAudioRecord::SetDeviceLineIndex(int32_t Value) {
  if (Value == -1) return;
  CheckAudioRecordIndex(Value, GetDeviceLineCount(), "line");
  try {
    FMixer->SelectLine(Value);
  } catch (const std::runtime_error& e) {
    throw EAudioRecordError(e.what());
  }
}
