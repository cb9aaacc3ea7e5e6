#include "platform/FakeAudioRecord.h"

void TFakeAudioRecord::Enter(AudioRecordCall Call, std::string Text) {
  Calls.push_back(std::move(Text));
  if (auto f = Failures.find(Call); f != Failures.end()) throw EAudioRecordError(f->second);
}

TFakeAudioDevice* TFakeAudioRecord::Current() {
  return DeviceIndex >= 0 && DeviceIndex < static_cast<int32_t>(Devices.size())
             ? &Devices[DeviceIndex]
             : nullptr;
}

int32_t TFakeAudioRecord::GetDeviceCount() {
  Enter(AudioRecordCall::GetDeviceCount, "GetDeviceCount");
  return static_cast<int32_t>(Devices.size());
}

std::string TFakeAudioRecord::GetDeviceName(int32_t nID) {
  Enter(AudioRecordCall::GetDeviceName, "GetDeviceName(" + std::to_string(nID) + ")");
  CheckAudioRecordIndex(nID, static_cast<int32_t>(Devices.size()), "device");
  return Devices[nID].Name;
}

void TFakeAudioRecord::SetDeviceIndex(int32_t Value) {
  Enter(AudioRecordCall::DeviceIndex, "DeviceIndex=" + std::to_string(Value));
  CheckAudioRecordIndex(Value, static_cast<int32_t>(Devices.size()), "device");
  DeviceIndex = Value;
}

int32_t TFakeAudioRecord::GetDeviceLineCount() {
  Enter(AudioRecordCall::GetDeviceLineCount, "GetDeviceLineCount");
  const TFakeAudioDevice* d = Current();
  return d ? static_cast<int32_t>(d->Lines.size()) : 0;
}

std::string TFakeAudioRecord::GetDeviceLineName(int32_t nID) {
  Enter(AudioRecordCall::GetDeviceLineName, "GetDeviceLineName(" + std::to_string(nID) + ")");
  const TFakeAudioDevice* d = Current();
  CheckAudioRecordIndex(nID, d ? static_cast<int32_t>(d->Lines.size()) : 0, "line");
  return d->Lines[nID];
}

void TFakeAudioRecord::SetDeviceLineIndex(int32_t Value) {
  Enter(AudioRecordCall::DeviceLineIndex, "DeviceLineIndex=" + std::to_string(Value));
  TFakeAudioDevice* d = Current();
  if (Value == -1 || !d) return;
  CheckAudioRecordIndex(Value, static_cast<int32_t>(d->Lines.size()), "line");
  if (d->LineIndex == Value) return;
  d->LineIndex = Value;
  ++d->LineSwitches;
}

void TFakeAudioRecord::SetFILEFORMAT(int32_t Value) {
  Enter(AudioRecordCall::FILEFORMAT, "FILEFORMAT=" + std::to_string(Value));
  FILEFORMAT = Value;
}

void TFakeAudioRecord::SetWaveFormatIdx(int32_t Value) {
  Enter(AudioRecordCall::WaveFormatIdx, "WaveFormatIdx=" + std::to_string(Value));
  WaveFormatIdx = Value;
}

void TFakeAudioRecord::SetDeviceLineVolume(int32_t Value) {
  Enter(AudioRecordCall::DeviceLineVolume, "DeviceLineVolume=" + std::to_string(Value));
  DeviceLineVolume = Value;
}
