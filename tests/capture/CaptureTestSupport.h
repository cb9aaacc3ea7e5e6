#pragma once
// A receiver that records what a capture component sends, and a device backend that records
// what the component asks of the devices.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/ALAudioIn.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"
#include "dataflow/SLMessageQueue.h"
#include "platform/VirtualWaveIn.h"
#include "platform/WaveInBackend.h"

// Runs the main thread's messages until ADone holds, for a generous while at most.
inline bool DrainUntil(TSLMessageQueue& AQueue, const std::function<bool()>& ADone) {
  for (int i = 0; i < 4000; ++i) {
    AQueue.ProcessMessages();
    if (ADone()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// A capture component given ASetUp before it starts, as a form's loading does.
inline std::unique_ptr<TALAudioIn> BuildCapture(
    const std::function<void(TALAudioIn&)>& ASetUp = {}) {
  TLPComponentLoading loading;
  auto capture = TLPComponent::Create<TALAudioIn>();
  if (ASetUp) ASetUp(*capture);
  loading.Loaded();
  return capture;
}

class TTestReceiver : public TLPComponent {
public:
  TTestReceiver()
      : InputPin(this, FLock,
                 [this](TOWBasicPin*, TOWStreamTypeID, const TOWOperationPtr& AOperation,
                        TOWNotifyState) {
                   Record(AOperation);
                   return TOWNotifyResult{};
                 }) {}
  ~TTestReceiver() override { InputPin.Disconnect(); }

  // Kinds in arrival order: pump, startwave, buffer, endstop, stop, other.
  std::vector<std::string> Kinds() {
    std::lock_guard lock(FMutex);
    return FKinds;
  }
  size_t Count(const std::string& AKind) {
    std::lock_guard lock(FMutex);
    return CountLocked(AKind);
  }
  bool WaitFor(const std::string& AKind, size_t ACount,
               std::chrono::milliseconds ATimeout = std::chrono::seconds(10)) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, ATimeout, [&] { return CountLocked(AKind) >= ACount; });
  }
  TALWaveFormatExtensible LastFormat() {
    std::lock_guard lock(FMutex);
    return FLastFormat;
  }
  // Every buffer delivered so far; the receiver itself keeps none.
  std::vector<std::weak_ptr<ISLData>> Delivered() {
    std::lock_guard lock(FMutex);
    return FDelivered;
  }
  // From now on, every sample of every buffer, interleaved, one vector per buffer.
  void KeepSamples() {
    std::lock_guard lock(FMutex);
    FKeepSamples = true;
  }
  std::vector<std::vector<int32_t>> BufferSamples() {
    std::lock_guard lock(FMutex);
    return FSamples;
  }
  void Clear() {
    std::lock_guard lock(FMutex);
    FKinds.clear();
  }

private:
  size_t CountLocked(const std::string& AKind) const {
    size_t n = 0;
    for (const std::string& kind : FKinds) n += kind == AKind;
    return n;
  }

  static std::vector<int32_t> Samples(ISLData& AData) {
    auto& buffer = dynamic_cast<IALAudioBuffer&>(AData);
    std::vector<int32_t> samples;
    for (uint32_t i = 0; i < buffer.GetSize(); ++i)
      for (uint32_t c = 0; c < buffer.GetChannels(); ++c) samples.push_back(buffer.GetSample(i, c));
    return samples;
  }

  void Record(const TOWOperationPtr& AOperation) {
    TOWNotifyOperation& operation = AOperation->Instance();
    std::string kind = "other";
    {
      std::lock_guard lock(FMutex);
      if (auto* start = dynamic_cast<TOWStartWaveOperation*>(&operation)) {
        kind = "startwave";
        FLastFormat = start->WaveFormat;
      } else if (auto* supplied = dynamic_cast<TOWSuppliedBufferOperation*>(&operation)) {
        kind = "buffer";
        FDelivered.push_back(supplied->Buffer);
        if (FKeepSamples) FSamples.push_back(Samples(*supplied->Buffer));
      } else if (dynamic_cast<TOWEndStopOperation*>(&operation) != nullptr) {
        kind = "endstop";
      } else if (dynamic_cast<TOWStopOperation*>(&operation) != nullptr) {
        kind = "stop";
      } else if (dynamic_cast<TOWPumpRequestOperation*>(&operation) != nullptr) {
        kind = "pump";
      } else if (dynamic_cast<TOWMasterPumpOperation*>(&operation) != nullptr) {
        kind = "masterpump";
      }
      FKinds.push_back(kind);
    }
    FChanged.notify_all();
  }

  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<std::string> FKinds;
  std::vector<std::weak_ptr<ISLData>> FDelivered;
  bool FKeepSamples = false;
  std::vector<std::vector<int32_t>> FSamples;

public:
  // Last, so that it goes first: its destruction waits for a delivery in progress, which
  // uses the members above.
  TALOWAudioSinkPin InputPin;
  TALWaveFormatExtensible FLastFormat{};
};

// Virtual devices, with a record of the calls made on them.
class TRecordingBackend : public IWaveInBackend {
public:
  struct TCall {
    WaveInCall Call;
    uint32_t DeviceId;
    MMRESULT Result;
  };

  explicit TRecordingBackend(std::vector<VirtualWaveInDevice> ADevices)
      : Devices(std::make_shared<VirtualWaveInBackend>(std::move(ADevices))) {}

  uint32_t GetNumDevs() override { return Devices->GetNumDevs(); }
  MMRESULT GetDevName(uint32_t deviceId, std::string& name) override {
    return Devices->GetDevName(deviceId, name);
  }
  MMRESULT Open(uint32_t deviceId, const WaveInFormat& format, IWaveInSink& sink,
                std::unique_ptr<IWaveInStream>& stream) override {
    {
      std::lock_guard lock(FMutex);
      FOpenFormats.push_back(format);
    }
    return Devices->Open(deviceId, format, sink, stream);
  }
  MMRESULT GetDeviceOf(uint32_t deviceId, const IWaveInStream& stream, uint32_t& current) override {
    return Devices->GetDeviceOf(deviceId, stream, current);
  }
  MMRESULT CheckOpen(uint32_t deviceId, uint32_t flags) override {
    {
      std::lock_guard lock(FMutex);
      FOpenFlags.push_back(flags);
    }
    return Check(WaveInCall::Open, deviceId);
  }
  MMRESULT Check(WaveInCall call, uint32_t deviceId) override {
    std::lock_guard lock(FMutex);
    const MMRESULT result = Devices->Check(call, deviceId);
    FCalls.push_back({call, deviceId, result});
    return result;
  }

  std::vector<uint32_t> DevicesOf(WaveInCall ACall) {
    std::lock_guard lock(FMutex);
    std::vector<uint32_t> ids;
    for (const TCall& call : FCalls) {
      if (call.Call == ACall) ids.push_back(call.DeviceId);
    }
    return ids;
  }
  size_t CountOf(WaveInCall ACall) { return DevicesOf(ACall).size(); }
  // Calls that an injected failure refused.
  size_t RefusedOf(WaveInCall ACall) {
    std::lock_guard lock(FMutex);
    return static_cast<size_t>(std::count_if(FCalls.begin(), FCalls.end(), [&](const TCall& call) {
      return call.Call == ACall && call.Result != MMSYSERR_NOERROR;
    }));
  }
  std::vector<WaveInFormat> OpenFormats() {
    std::lock_guard lock(FMutex);
    return FOpenFormats;
  }
  std::vector<uint32_t> OpenFlags() {
    std::lock_guard lock(FMutex);
    return FOpenFlags;
  }
  void ClearCalls() {
    std::lock_guard lock(FMutex);
    FCalls.clear();
    FOpenFlags.clear();
  }

  std::shared_ptr<VirtualWaveInBackend> Devices;

private:
  std::mutex FMutex;
  std::vector<TCall> FCalls;
  std::vector<uint32_t> FOpenFlags;
  std::vector<WaveInFormat> FOpenFormats;
};

inline std::vector<VirtualWaveInDevice> NamedDevices(std::initializer_list<const char*> ANames) {
  std::vector<VirtualWaveInDevice> devices;
  for (const char* name : ANames) {
    VirtualWaveInDevice device;
    device.Name = name;
    devices.push_back(device);
  }
  return devices;
}
