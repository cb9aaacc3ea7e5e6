#include "platform/AudioCtl.h"

#include "platform/PulseAudioRecord.h"

namespace {

// Stands in where no sound server answers: nothing to list, nothing to select.
class TEmptyAudioRecord final : public IAudioRecord {
public:
  int32_t GetDeviceCount() override { return 0; }
  std::string GetDeviceName(int32_t nID) override {
    CheckAudioRecordIndex(nID, 0, "device");
    return {};
  }
  void SetDeviceIndex(int32_t Value) override {
    CheckAudioRecordIndex(Value, 0, "device");
  }
  int32_t GetDeviceLineCount() override { return 0; }
  std::string GetDeviceLineName(int32_t nID) override {
    CheckAudioRecordIndex(nID, 0, "line");
    return {};
  }
  void SetDeviceLineIndex(int32_t Value) override {
    if (Value != -1) CheckAudioRecordIndex(Value, 0, "line");
  }
  void SetFILEFORMAT(int32_t) override {}
  void SetWaveFormatIdx(int32_t) override {}
  void SetDeviceLineVolume(int32_t) override {}
};

}  // namespace

void CheckAudioRecordIndex(int32_t Index, int32_t Count, const char* What) {
  if (Index < 0 || Index >= Count)
    throw std::out_of_range(std::string("Recording control: ") + What + " index " + std::to_string(Index) +
                            " out of range (" + std::to_string(Count) + ")");
}

std::shared_ptr<IAudioRecord> ConnectSystemAudioRecord() {
  try {
    return TPulseAudioRecord::Connect();
  } catch (const EAudioRecordError&) {
    return std::make_shared<TEmptyAudioRecord>();
  }
}

TCAudioRecord::TCAudioRecord(TAudioRecordConnector Connector) : FConnector(std::move(Connector)) {
  if (!FConnector) throw EAudioRecordError("Recording control: nothing can make it");
}

IAudioRecord& TCAudioRecord::DefaultInterface() {
  if (!FIntf) {
    FIntf = FConnector();
    if (!FIntf) throw EAudioRecordError("Recording control: none was made");
  }
  return *FIntf;
}
