#pragma once
// The recording control over the sound cards' mixers, for machines where no sound server runs.
// Its devices are the cards' capture devices under the names that the wave-input layer gives
// them, so a name chosen here opens the same device there; a device's lines are its card's input
// lines (AlsaMixer).

#include <memory>
#include <vector>

#include "platform/AlsaMixer.h"
#include "platform/AlsaWaveIn.h"
#include "platform/AudioCtl.h"

class TAlsaAudioRecord final : public IAudioRecord {
public:
  explicit TAlsaAudioRecord(AlsaWaveInBackend::Lister Lister = ListAlsaCaptureDevices);

  // Lists the devices anew; device indices refer to this list until the next count.
  int32_t GetDeviceCount() override;
  std::string GetDeviceName(int32_t nID) override;
  // Opens the device's card mixer; a card whose mixer cannot be opened has no lines.
  void SetDeviceIndex(int32_t Value) override;
  int32_t GetDeviceLineCount() override;
  std::string GetDeviceLineName(int32_t nID) override;
  // -1, or the line that records already, changes nothing. A card that refuses raises
  // EAudioRecordError.
  void SetDeviceLineIndex(int32_t Value) override;
  void SetFILEFORMAT(int32_t Value) override { FFileFormat = Value; }
  void SetWaveFormatIdx(int32_t Value) override { FWaveFormatIdx = Value; }
  // Kept, never sent: the card's capture volume is the user's.
  void SetDeviceLineVolume(int32_t Value) override { FDeviceLineVolume = Value; }

private:
  const std::vector<NamedAlsaDevice>& Devices();

  const AlsaWaveInBackend::Lister FLister;
  std::vector<NamedAlsaDevice> FDevices;
  bool FListed = false;
  std::unique_ptr<AlsaMixer> FMixer;  // the current device's card; null without one
  int32_t FFileFormat = 0;
  int32_t FWaveFormatIdx = 0;
  int32_t FDeviceLineVolume = 0;
};
