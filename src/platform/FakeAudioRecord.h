#pragma once
// A recording control scripted by tests: its devices and their lines, calls that fail, and a
// log of every call in order.

#include <map>
#include <string>
#include <vector>

#include "platform/AudioCtl.h"

enum class AudioRecordCall {
  GetDeviceCount,
  GetDeviceName,
  DeviceIndex,
  GetDeviceLineCount,
  GetDeviceLineName,
  DeviceLineIndex,
  FILEFORMAT,
  WaveFormatIdx,
  DeviceLineVolume
};

// Its lines are listed as a real control lists them: the one that records first.
struct TFakeAudioDevice {
  std::string Name;
  std::vector<std::string> Lines;
  int32_t LineIndex = 0;     // the line that records
  int32_t LineSwitches = 0;  // how often the recording line was changed
};

class TFakeAudioRecord final : public IAudioRecord {
public:
  explicit TFakeAudioRecord(std::vector<TFakeAudioDevice> ADevices = {})
      : Devices(std::move(ADevices)) {}

  int32_t GetDeviceCount() override;
  std::string GetDeviceName(int32_t nID) override;
  void SetDeviceIndex(int32_t Value) override;
  int32_t GetDeviceLineCount() override;
  std::string GetDeviceLineName(int32_t nID) override;
  void SetDeviceLineIndex(int32_t Value) override;
  void SetFILEFORMAT(int32_t Value) override;
  void SetWaveFormatIdx(int32_t Value) override;
  void SetDeviceLineVolume(int32_t Value) override;
  void Watch(std::function<void()> AChanged) override { Changed = std::move(AChanged); }
  // Tells the watcher, as a control does when its devices change.
  void NotifyChanged() {
    if (Changed) Changed();
  }

  std::vector<TFakeAudioDevice> Devices;
  int32_t DeviceIndex = -1;
  int32_t FILEFORMAT = -1;
  int32_t WaveFormatIdx = -1;
  int32_t DeviceLineVolume = -1;
  // A call listed here raises EAudioRecordError with the message, before it changes anything.
  std::map<AudioRecordCall, std::string> Failures;
  // "GetDeviceCount", "GetDeviceName(1)", "DeviceIndex=-1"..., failed calls included.
  std::vector<std::string> Calls;
  std::function<void()> Changed;  // the watcher, if any

private:
  void Enter(AudioRecordCall Call, std::string Text);
  TFakeAudioDevice* Current();
};
