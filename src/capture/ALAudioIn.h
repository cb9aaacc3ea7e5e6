#pragma once
// The capture component: records from one wave-input device in its AudioFormat and hands
// every filled buffer, unconverted, to whatever is connected to its output pin. Also the
// device selector that turns a device name into the number the device layer expects.
//
// Errors are reported on the thread that met them, which starts or stops the capture, with
// one exception: a device that refuses buffers during a run (it went away) is met on the
// worker thread, and that run is ended and reported on the main thread instead.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/ALAudioBuffer.h"
#include "capture/ALAudioFormat.h"
#include "capture/ALWaveThread.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"
#include "dataflow/OWStatePins.h"
#include "dataflow/SLClockGen.h"
#include "platform/WaveIn.h"

class TALAudioIn;
class TALAudioCaptureDevice;

// A failure of the device layer that no error handler took.
class ESLException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

using TSLErrorEvent = std::function<void(TALAudioIn* Sender, const std::string& ErrorText,
                                         int32_t ErrorCode, bool& Handled)>;
using TSLWarningEvent =
    std::function<void(TALAudioIn* Sender, const std::string& ErrorText, int32_t ErrorCode)>;

// "Default" in any letter case: the name of the wave mapper, which records from the system's
// default input.
bool IsDefaultName(const std::string& AName);

class TALAudioCaptureDeviceItem {
public:
  explicit TALAudioCaptureDeviceItem(std::shared_ptr<ILPLock> ALock) : FLock(std::move(ALock)) {}
  std::string GetDeviceName() const;
  void SetDeviceName(const std::string& AValue);
  std::string GetDisplayName() const { return GetDeviceName(); }

private:
  std::shared_ptr<ILPLock> FLock;
  std::string FDeviceName;
};

// Names tried in order when the wanted device is not found.
class TALAudioCaptureDeviceItems {
public:
  explicit TALAudioCaptureDeviceItems(TALAudioCaptureDevice* AOwnerProperty)
      : FOwnerProperty(AOwnerProperty) {}

  // A new item named after the least used device (PickLeastUsedDevice).
  TALAudioCaptureDeviceItem& Add();
  void Clear() { FItems.clear(); }
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TALAudioCaptureDeviceItem& operator[](int32_t AIndex) const;
  TALAudioCaptureDevice* GetOwnerProperty() const { return FOwnerProperty; }
  void Assign(const TALAudioCaptureDeviceItems& Source);

private:
  std::string PickLeastUsedDevice() const;

  TALAudioCaptureDevice* FOwnerProperty;
  std::vector<std::unique_ptr<TALAudioCaptureDeviceItem>> FItems;
};

class TALAudioCaptureDevice {
public:
  explicit TALAudioCaptureDevice(TALAudioIn* AOwner);

  TALAudioCaptureDeviceItems& AlternativeDevices() { return FAlternativeDevices; }
  void SetAlternativeDevices(const TALAudioCaptureDeviceItems& AValue);
  std::string GetDeviceName() const;
  void SetDeviceName(const std::string& AValue);

  // The number to open: WAVE_MAPPER for "Default" (any case) or when nothing matches.
  uint32_t GetDeviceID();
  // Appends the product name of every device, in device-number order.
  void GetDeviceList(std::vector<std::string>& Values);
  TALAudioIn* GetOwner() const { return FOwner; }
  void Assign(const TALAudioCaptureDevice& Source);

private:
  // The device whose product name is exactly AName, or -1; 0 when a device's capabilities
  // cannot be read.
  int32_t FindDeviceByName(const std::string& AName);

  TALAudioCaptureDeviceItems FAlternativeDevices;
  std::string FDeviceName;
  TALAudioIn* FOwner;
};

class TALWaveBuffer;

// State shared by the thread that starts and stops the capture and the worker thread.
class IALAudioParams {
public:
  virtual ~IALAudioParams() = default;
  virtual bool GetIsOpen() const = 0;
  virtual void SetIsOpen(bool AValue) = 0;
  virtual bool GetIsPump() const = 0;
  virtual void SetIsPump(bool AValue) = 0;
  virtual std::vector<std::unique_ptr<TALWaveBuffer>>& GetList() = 0;
  // Wave buffers are reused, so that steady capture makes no heap calls. Under Lock.
  virtual std::unique_ptr<TALWaveBuffer> TakeSpare() = 0;
  virtual void Recycle(std::unique_ptr<TALWaveBuffer> ABuffer) = 0;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
};

class TALAudioParams final : public IALAudioParams {
public:
  bool GetIsOpen() const override { return FIsOpen; }
  void SetIsOpen(bool AValue) override { FIsOpen = AValue; }
  bool GetIsPump() const override { return FIsPump; }
  void SetIsPump(bool AValue) override { FIsPump = AValue; }
  std::vector<std::unique_ptr<TALWaveBuffer>>& GetList() override { return FBufferList; }
  std::unique_ptr<TALWaveBuffer> TakeSpare() override;
  void Recycle(std::unique_ptr<TALWaveBuffer> ABuffer) override;
  void Lock() override { FSection.lock(); }
  void Unlock() override { FSection.unlock(); }

private:
  bool FIsOpen = false;
  bool FIsPump = false;
  std::vector<std::unique_ptr<TALWaveBuffer>> FBufferList;
  std::vector<std::unique_ptr<TALWaveBuffer>> FSpareBuffers;
  std::recursive_mutex FSection;
};

// One buffer queued at the device; its header points into the audio buffer's data.
class TALWaveBuffer {
public:
  HWAVEIN HIn = 0;
  WAVEHDR WaveHdr{};
  IALAudioParams* Params = nullptr;  // the owner's shared state, which holds this buffer
  std::shared_ptr<IALAudioBuffer> Data;
};

class TALAudioIn : public TLPComponent {
public:
  static constexpr uint32_t QueuedBuffers = 40;

  TALAudioIn();
  ~TALAudioIn() override;

  // Starts the capture unless it is enabled already.
  void Start();
  // Stops the device and gives its buffers back; sends an end-stop when it closed.
  void Stop();

  bool GetEnabled();
  void SetEnabled(bool AValue);
  int32_t GetPumpPriority();
  void SetPumpPriority(int32_t AValue);
  TALAudioCaptureDevice& Device() { return *FDevice; }
  void SetDevice(const TALAudioCaptureDevice& AValue) { FDevice->Assign(AValue); }
  TALAudioFormat& AudioFormat() { return *FAudioFormat; }
  void SetAudioFormat(const TALAudioFormat& AValue) { FAudioFormat->Assign(AValue); }
  void SetOnError(TSLErrorEvent AValue);
  void SetOnWarning(TSLWarningEvent AValue);
  TALOWAudioSourcePin& OutputPin() { return *FOutputPin; }
  TOWBoolStatePin& EnablePin() { return *FEnablePin; }

  void ReportWarning(const std::string& ErrorText, uint32_t ErrorCode);

  // True while a run records: the device opened and has not been lost.
  bool IsCapturing();
  // The product name of the device that the run records from, which for the mapper is the one it
  // chose; empty when nothing records or the device layer cannot tell.
  std::string CurrentDeviceName();
  // Buffers of audio handed downstream since construction; a count that stands still means that
  // the device sends nothing.
  uint64_t DeliveredBuffers() const { return FDelivered.load(std::memory_order_relaxed); }

protected:
  void ComponentLoaded() override;

private:
  void StartCapture();
  void StartDevice();
  void OpenDevice(const TALWaveFormatExtensible& AWaveFormat);
  // One buffer for the run of device handle ARun, unless that run is over.
  void QueueBuffer(HWAVEIN ARun);
  void ProcessWaveMessage(uint32_t uMsg, HWAVEIN hwo, WAVEHDR* AWaveHdr);
  void BufferDone(HWAVEIN hwi, WAVEHDR* hdr);
  // Steps of Stop after its checks: reset, release the buffers, close. False when the
  // device refused, which has been reported.
  bool CloseDevice();
  // Frees the buffers of a run whose reset failed once the device gives them up; buffers it
  // may still write into are never freed.
  void ReleaseStrandedBuffers();
  TOWNotifyResult OutputPinOperation(TOWBasicPin* Sender, TOWStreamTypeID DataTypeID,
                                     const TOWOperationPtr& Operation, TOWNotifyState State);
  void EnablePinChanged(bool AValue);
  void ReportError(const std::string& ErrorText, uint32_t ErrorCode);
  // Under Params: the device refused a buffer of run ARun with ACode, so that run cannot be
  // fed any more. The first refusal of a run is handed to the main thread.
  void RunLost(HWAVEIN ARun, MMRESULT ACode);
  // On the main thread: ends the lost run and reports it, unless the run has been stopped or
  // replaced meanwhile.
  void EndLostRun();

  std::unique_ptr<TALOWAudioSourcePin> FOutputPin;
  std::unique_ptr<TOWBoolStatePin> FEnablePin;
  HWAVEIN HIn = 0;
  std::atomic<bool> FEnabled{true};
  int32_t FPumpPriority = 0;
  std::unique_ptr<TALAudioFormat> FAudioFormat;
  std::unique_ptr<TALAudioCaptureDevice> FDevice;
  std::unique_ptr<TALWaveThread> FWaveThread;
  std::shared_ptr<IALAudioParams> FParams;
  TSLErrorEvent FOnError;
  TSLWarningEvent FOnWarning;
  // Buffers that a device which refused to reset may still own: kept, never freed.
  std::vector<std::unique_ptr<TALWaveBuffer>> FAbandoned;
  // The run whose device refused a buffer, the code it gave, and whether the main thread has
  // still to hear of it; under Params.
  HWAVEIN FLostRun = 0;
  MMRESULT FLostCode = MMSYSERR_NOERROR;
  bool FLossPending = false;
  // Carries a lost run to the main thread; none when the component was made while no
  // main-thread queue was installed, and then a lost run only ends, unreported.
  std::unique_ptr<TSLMainThreadNotify> FLossNotify;
  std::atomic<uint64_t> FDelivered{0};
};
