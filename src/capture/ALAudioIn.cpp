#include "capture/ALAudioIn.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t OpenFlagsMapper = CALLBACK_FUNCTION | WAVE_ALLOWSYNC;
constexpr uint32_t OpenFlagsDevice = CALLBACK_FUNCTION | WAVE_MAPPED | WAVE_ALLOWSYNC;

// Letter case is folded for ASCII letters only, as device names are compared byte for byte.
std::string AsciiUpper(std::string AText) {
  for (char& c : AText) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return AText;
}

bool IsDefaultName(const std::string& AName) { return AsciiUpper(AName) == "DEFAULT"; }

// Runs in a context of the device layer's choosing: it only hands the notification on.
void WaveInCallback(HWAVEIN hwi, uint32_t uMsg, uintptr_t dwInstance, uintptr_t dwParam1,
                    uintptr_t /*dwParam2*/) {
  reinterpret_cast<TALWaveThread*>(dwInstance)
      ->PushRecord(uMsg, hwi, reinterpret_cast<WAVEHDR*>(dwParam1));
}

class TParamsSection {
public:
  explicit TParamsSection(IALAudioParams& AParams) : FParams(AParams) { FParams.Lock(); }
  ~TParamsSection() { FParams.Unlock(); }
  TParamsSection(const TParamsSection&) = delete;
  TParamsSection& operator=(const TParamsSection&) = delete;

private:
  IALAudioParams& FParams;
};

}  // namespace

// ---------------------------------------------------------------- device selection

std::string TALAudioCaptureDeviceItem::GetDeviceName() const {
  TOWLockSection section = FLock->ReadLock();
  return FDeviceName;
}

void TALAudioCaptureDeviceItem::SetDeviceName(const std::string& AValue) {
  FLock->Setter(FDeviceName, AValue);
}

TALAudioCaptureDeviceItem& TALAudioCaptureDeviceItems::Add() {
  FItems.push_back(
      std::make_unique<TALAudioCaptureDeviceItem>(FOwnerProperty->GetOwner()->GetLock()));
  TALAudioCaptureDeviceItem& item = *FItems.back();
  item.SetDeviceName(PickLeastUsedDevice());
  return item;
}

TALAudioCaptureDeviceItem& TALAudioCaptureDeviceItems::operator[](int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw std::out_of_range("List index out of bounds");
  return *FItems[static_cast<size_t>(AIndex)];
}

void TALAudioCaptureDeviceItems::Assign(const TALAudioCaptureDeviceItems& Source) {
  if (&Source == this) return;
  FItems.clear();
  for (int32_t i = 0; i < Source.Count(); ++i) Add().SetDeviceName(Source[i].GetDeviceName());
}

std::string TALAudioCaptureDeviceItems::PickLeastUsedDevice() const {
  std::string best = "Default";
  int32_t least = 22000;
  std::vector<std::string> names;
  FOwnerProperty->GetDeviceList(names);
  for (const std::string& name : names) {
    const auto uses = std::count_if(FItems.begin(), FItems.end(), [&](const auto& item) {
      return item->GetDeviceName() == name;
    });
    if (!name.empty() && uses < least) {
      least = static_cast<int32_t>(uses);
      best = name;
    }
  }
  return best;
}

TALAudioCaptureDevice::TALAudioCaptureDevice(TALAudioIn* AOwner)
    : FAlternativeDevices(this), FDeviceName("Default"), FOwner(AOwner) {}

void TALAudioCaptureDevice::SetAlternativeDevices(const TALAudioCaptureDeviceItems& AValue) {
  FAlternativeDevices.Assign(AValue);
}

std::string TALAudioCaptureDevice::GetDeviceName() const {
  TOWLockSection section = FOwner->GetLock()->ReadLock();
  return FDeviceName;
}

void TALAudioCaptureDevice::SetDeviceName(const std::string& AValue) {
  FOwner->GetLock()->Setter(FDeviceName, AValue);
}

void TALAudioCaptureDevice::Assign(const TALAudioCaptureDevice& Source) {
  if (&Source == this) return;
  SetDeviceName(Source.GetDeviceName());
  FAlternativeDevices.Assign(Source.FAlternativeDevices);
}

int32_t TALAudioCaptureDevice::FindDeviceByName(const std::string& AName) {
  const uint32_t count = waveInGetNumDevs();
  for (uint32_t i = 0; i < count; ++i) {
    WAVEINCAPS caps{};
    if (const MMRESULT result = waveInGetDevCaps(i, &caps, sizeof caps)) {
      FOwner->ReportWarning("Can't get device capabilities.", result);
      return 0;
    }
    if (std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname)) == AName) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

uint32_t TALAudioCaptureDevice::GetDeviceID() {
  if (IsDefaultName(FDeviceName)) return WAVE_MAPPER;
  int32_t found = FindDeviceByName(FDeviceName);
  if (found != -1) return static_cast<uint32_t>(found);
  for (int32_t i = 0; i < FAlternativeDevices.Count(); ++i) {
    const std::string name = FAlternativeDevices[i].GetDeviceName();
    if (IsDefaultName(name)) return WAVE_MAPPER;
    found = FindDeviceByName(name);
    if (found != -1) return static_cast<uint32_t>(found);
  }
  return WAVE_MAPPER;
}

void TALAudioCaptureDevice::GetDeviceList(std::vector<std::string>& Values) {
  const uint32_t count = waveInGetNumDevs();
  for (uint32_t i = 0; i < count; ++i) {
    WAVEINCAPS caps{};
    if (const MMRESULT result = waveInGetDevCaps(i, &caps, sizeof caps)) {
      FOwner->ReportWarning("Can't get device capabilities.", result);
      return;
    }
    Values.emplace_back(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
  }
}

// ---------------------------------------------------------------- shared capture state

std::unique_ptr<TALWaveBuffer> TALAudioParams::TakeSpare() {
  if (FSpareBuffers.empty()) return std::make_unique<TALWaveBuffer>();
  std::unique_ptr<TALWaveBuffer> buffer = std::move(FSpareBuffers.back());
  FSpareBuffers.pop_back();
  return buffer;
}

void TALAudioParams::Recycle(std::unique_ptr<TALWaveBuffer> ABuffer) {
  ABuffer->Data.reset();
  FSpareBuffers.push_back(std::move(ABuffer));
}

// ---------------------------------------------------------------- capture component

TALAudioIn::TALAudioIn() : FParams(std::make_shared<TALAudioParams>()) {
  try {
    FLossNotify =
        std::make_unique<TSLMainThreadNotify>([this](TSLMainThreadNotify*) { EndLostRun(); });
  } catch (const std::runtime_error&) {
    // No main-thread queue (a program without an event loop): nobody could be told.
  }
  FWaveThread = std::make_unique<TALWaveThread>(
      TLPThread::OwnerName("", "TALAudioIn") + ".TALWaveThread",
      [this](uint32_t uMsg, HWAVEIN hwo, WAVEHDR* hdr) { ProcessWaveMessage(uMsg, hwo, hdr); });
  FAudioFormat = std::make_unique<TALAudioFormat>(this, FLock);
  FDevice = std::make_unique<TALAudioCaptureDevice>(this);
  FOutputPin = std::make_unique<TALOWAudioSourcePin>(
      this, FLock,
      [this](TOWBasicPin* Sender, TOWStreamTypeID DataTypeID, const TOWOperationPtr& Operation,
             TOWNotifyState State) {
        return OutputPinOperation(Sender, DataTypeID, Operation, State);
      });
  FEnablePin = std::make_unique<TOWBoolStatePin>(
      this, FLock, true, [this](TOWBoolStatePin*, bool AValue) { EnablePinChanged(AValue); });
}

TALAudioIn::~TALAudioIn() {
  TOWLockSection stopping = FLock->StopLock();
  try {
    Stop();
  } catch (const std::exception&) {
    // The failure has been through ReportError; a destructor cannot pass it on.
  }
  FWaveThread->Shutdown();
  // Only the worker thread notifies from elsewhere, and it has ended.
  FLossNotify.reset();
  ReleaseStrandedBuffers();
  // A device that never let go of these may still write into them: they are left alive.
  for (std::unique_ptr<TALWaveBuffer>& buffer : FAbandoned) {
    static_cast<void>(buffer.release());
  }
  FOutputPin.reset();
  FEnablePin.reset();
  FDevice.reset();
  FAudioFormat.reset();
  FWaveThread.reset();
}

void TALAudioIn::ComponentLoaded() {
  if (FEnabled) StartCapture();
}

void TALAudioIn::Start() {
  if (!FEnabled) StartCapture();
}

bool TALAudioIn::GetEnabled() { return FEnabled; }

void TALAudioIn::SetEnabled(bool AValue) {
  TOWLockSection section = FLock->WriteLock();
  if (!section || AValue == FEnabled) return;
  if (AValue) {
    if (!IsLoading()) StartCapture();
  } else {
    Stop();
  }
  FEnabled = AValue;
  FEnablePin->UpdateValue(AValue);
}

void TALAudioIn::EnablePinChanged(bool AValue) { SetEnabled(AValue); }

int32_t TALAudioIn::GetPumpPriority() { return FLock->Getter(FPumpPriority); }

void TALAudioIn::SetPumpPriority(int32_t AValue) { FLock->Setter(FPumpPriority, AValue); }

void TALAudioIn::SetOnError(TSLErrorEvent AValue) {
  TOWLockSection section = FLock->WriteLock();
  if (section) FOnError = std::move(AValue);
}

void TALAudioIn::SetOnWarning(TSLWarningEvent AValue) {
  TOWLockSection section = FLock->WriteLock();
  if (section) FOnWarning = std::move(AValue);
}

void TALAudioIn::StartCapture() {
  auto request =
      std::make_shared<TOWPumpRequestOperation>(this, 1.0f, FPumpPriority, TOWPumpType::ptHardware);
  FOutputPin->Notify(request);
  const bool isPump = request->Pump == this;
  {
    TParamsSection params(*FParams);
    FParams->SetIsPump(isPump);
  }
  StartDevice();
  if (isPump) {
    for (uint32_t i = 0; i < QueuedBuffers; ++i) QueueBuffer(HIn);
  }
  FEnabled = true;
}

void TALAudioIn::StartDevice() {
  const TALWaveFormatExtensible format = *FAudioFormat->GetWaveFormat();
  FOutputPin->Notify(std::make_shared<TOWStartWaveOperation>(format, false));
  OpenDevice(format);
  if (const MMRESULT result = waveInStart(HIn)) ReportError("Can't start audio device.", result);
}

void TALAudioIn::OpenDevice(const TALWaveFormatExtensible& AWaveFormat) {
  TOWLockSection section = FLock->WriteLock();
  if (!section) return;
  // Closing waits for Params, which the worker thread may hold while it tries this lock:
  // in stop mode its attempts give up instead of waiting.
  TOWLockSection stopping = FLock->StopLock();
  bool open;
  {
    TParamsSection params(*FParams);
    open = FParams->GetIsOpen();
  }
  if (open) {
    // A device reopened for a receiver is open but not enabled; it must be closed all the same.
    if (FEnabled) {
      Stop();
    } else {
      CloseDevice();
    }
  }
  ReleaseStrandedBuffers();
  const uint32_t id = FDevice->GetDeviceID();
  HWAVEIN handle = 0;
  const MMRESULT result =
      waveInOpen(&handle, id, reinterpret_cast<const WAVEFORMATEX*>(&AWaveFormat), WaveInCallback,
                 reinterpret_cast<uintptr_t>(FWaveThread.get()),
                 id == WAVE_MAPPER ? OpenFlagsMapper : OpenFlagsDevice);
  {
    // Open and handle change together, so that a replacement for a buffer of the last run
    // cannot be queued on the new one.
    TParamsSection params(*FParams);
    HIn = handle;
    FParams->SetIsOpen(true);
  }
  if (result) ReportError("Can't open audio device.", result);
}

void TALAudioIn::QueueBuffer(HWAVEIN ARun) {
  // The format is read before Params is taken: its getters wait for the component lock,
  // which the main thread may hold while it waits for Params.
  const uint32_t rate = FAudioFormat->GetSampleRate();
  const uint32_t bits = FAudioFormat->GetBits();
  const uint32_t channels = FAudioFormat->GetChannels();
  const uint32_t frames = FAudioFormat->GetBufferSize();
  const TALSpeakers mask = FAudioFormat->GetChannelMask();
  std::shared_ptr<IALAudioBuffer> data =
      TALAudioBuffer::CreateSizeEx(rate, bits, channels, frames, mask, FAudioFormat->GetFloat());

  TParamsSection params(*FParams);
  // Nothing may be queued on a device that is being stopped (its buffers are about to be
  // freed), nor for a run that has ended or whose device refuses buffers.
  if (!FParams->GetIsOpen() || HIn != ARun || (ARun != 0 && FLostRun == ARun)) return;
  std::unique_ptr<TALWaveBuffer> buffer = FParams->TakeSpare();
  buffer->HIn = HIn;
  buffer->Params = FParams.get();
  buffer->WaveHdr = WAVEHDR{};
  buffer->WaveHdr.lpData = reinterpret_cast<char*>(data->ByteWrite());
  buffer->WaveHdr.dwBufferLength = data->GetByteSize();
  buffer->WaveHdr.dwUser = reinterpret_cast<uintptr_t>(buffer.get());
  buffer->Data = std::move(data);
  WAVEHDR* header = &buffer->WaveHdr;
  FParams->GetList().push_back(std::move(buffer));
  waveInPrepareHeader(HIn, header, sizeof(WAVEHDR));
  // A refused buffer stays listed: the device never had it, and closing the run releases it
  // with the others. A device that never opened has been reported already.
  const MMRESULT result = waveInAddBuffer(HIn, header, sizeof(WAVEHDR));
  if (result != MMSYSERR_NOERROR && HIn != 0) RunLost(HIn, result);
}

void TALAudioIn::RunLost(HWAVEIN ARun, MMRESULT ACode) {
  if (FLostRun == ARun) return;
  FLostRun = ARun;
  FLostCode = ACode;
  FLossPending = true;
  // Always posted, even from the main thread: ending the run inside StartCapture, or under
  // the worker's Params lock, is not possible, and posting never waits.
  if (FLossNotify) FLossNotify->Notify(true);
}

void TALAudioIn::EndLostRun() {
  MMRESULT code;
  {
    TParamsSection params(*FParams);
    if (!FLossPending) return;
    FLossPending = false;
    if (!FParams->GetIsOpen() || HIn != FLostRun) return;
    code = FLostCode;
  }
  Stop();
  ReportError("Audio device lost.", code);
}

void TALAudioIn::ProcessWaveMessage(uint32_t uMsg, HWAVEIN hwo, WAVEHDR* AWaveHdr) {
  if (uMsg != WIM_DATA) return;
  try {
    BufferDone(hwo, AWaveHdr);
  } catch (const std::exception&) {
    // No replacement buffer could be made (out of memory): the run goes on with one fewer.
  }
}

void TALAudioIn::BufferDone(HWAVEIN hwi, WAVEHDR* hdr) {
  {
    TParamsSection params(*FParams);
    if (!FParams->GetIsOpen()) return;
    // Only a buffer of the current run is looked at; the header of an earlier one may be
    // gone, so it is matched by address and never read.
    auto& list = FParams->GetList();
    const auto owns = [&](const std::unique_ptr<TALWaveBuffer>& b) {
      return &b->WaveHdr == hdr && b->HIn == hwi;
    };
    auto it = std::find_if(list.begin(), list.end(), owns);
    if (hwi != HIn || it == list.end()) return;
    const std::shared_ptr<IALAudioBuffer> data = (*it)->Data;
    // Receivers take the whole buffer; what the device did not fill would be stale pool
    // memory read as audio. An empty one (a device that went away) carries no audio at all.
    if (hdr->dwBytesRecorded > 0) {
      if (hdr->dwBytesRecorded < hdr->dwBufferLength) {
        const int silence = data->GetSampleBitWidth() == 8 ? 0x80 : 0;
        std::memset(hdr->lpData + hdr->dwBytesRecorded, silence,
                    hdr->dwBufferLength - hdr->dwBytesRecorded);
      }
      FOutputPin->SubmitBuffer(data);
    }
    if (!FParams->GetIsOpen()) return;
    it = std::find_if(list.begin(), list.end(), owns);
    if (it == list.end()) return;
    waveInUnprepareHeader(hwi, hdr, sizeof(WAVEHDR));
    std::unique_ptr<TALWaveBuffer> done = std::move(*it);
    list.erase(it);
    FParams->Recycle(std::move(done));
  }
  QueueBuffer(hwi);
}

void TALAudioIn::Stop() {
  TOWLockSection stopping = FLock->StopLock();
  if (!FEnabled) return;
  if (CloseDevice()) {
    FOutputPin->EndStop();
    FEnabled = false;
    FEnablePin->UpdateValue(false);
  }
}

bool TALAudioIn::CloseDevice() {
  bool neverOpened;
  {
    TParamsSection params(*FParams);
    if (!FParams->GetIsOpen()) return false;
    FParams->SetIsOpen(false);
    neverOpened = HIn == 0;
  }
  if (!neverOpened) {
    if (const MMRESULT result = waveInReset(HIn)) {
      ReportError("Can't restart audio device.", result);
      return false;
    }
  }
  MMRESULT closeResult = MMSYSERR_NOERROR;
  {
    TParamsSection params(*FParams);
    auto& list = FParams->GetList();
    for (std::unique_ptr<TALWaveBuffer>& buffer : list) {
      if (!neverOpened) waveInUnprepareHeader(HIn, &buffer->WaveHdr, sizeof(WAVEHDR));
      FParams->Recycle(std::move(buffer));
    }
    list.clear();
    if (!neverOpened) closeResult = waveInClose(HIn);
  }
  if (closeResult) {
    ReportError("Can't close audio device.", closeResult);
    return false;
  }
  return true;
}

void TALAudioIn::ReleaseStrandedBuffers() {
  TParamsSection params(*FParams);
  auto& list = FParams->GetList();
  if (FParams->GetIsOpen() || list.empty()) return;
  // Left by a reset that failed: the device may give them up now.
  const MMRESULT result = waveInReset(HIn);
  const bool released = result == MMSYSERR_NOERROR || result == MMSYSERR_INVALHANDLE;
  for (std::unique_ptr<TALWaveBuffer>& buffer : list) {
    if (released) {
      waveInUnprepareHeader(buffer->HIn, &buffer->WaveHdr, sizeof(WAVEHDR));
      FParams->Recycle(std::move(buffer));
    } else {
      FAbandoned.push_back(std::move(buffer));
    }
  }
  list.clear();
  if (released) waveInClose(HIn);
}

TOWNotifyResult TALAudioIn::OutputPinOperation(TOWBasicPin* /*Sender*/,
                                               TOWStreamTypeID /*DataTypeID*/,
                                               const TOWOperationPtr& Operation,
                                               TOWNotifyState /*State*/) {
  TOWLockSection section = FLock->WriteLock();
  if (!section) return {};
  TOWNotifyOperation& operation = Operation->Instance();
  if (auto* startWave = dynamic_cast<TOWStartWaveOperation*>(&operation)) {
    OpenDevice(startWave->WaveFormat);
  } else if (dynamic_cast<TOWStopOperation*>(&operation) != nullptr) {
    Stop();
  } else if (dynamic_cast<TOWMasterPumpOperation*>(&operation) != nullptr) {
    return {};
  }
  return FOutputPin->Notify(Operation);
}

void TALAudioIn::ReportError(const std::string& ErrorText, uint32_t ErrorCode) {
  bool Handled = false;
  if (FOnError) FOnError(this, ErrorText, static_cast<int32_t>(ErrorCode), Handled);
  if (!Handled) {
    char message[256];
    std::snprintf(message, sizeof message, "%s - %u - %x", ErrorText.c_str(), ErrorCode, ErrorCode);
    throw ESLException(message);
  }
}

void TALAudioIn::ReportWarning(const std::string& ErrorText, uint32_t ErrorCode) {
  if (FOnWarning) FOnWarning(this, ErrorText, static_cast<int32_t>(ErrorCode));
}
