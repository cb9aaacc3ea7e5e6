#include "platform/WaveIn.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/VirtualWaveIn.h"
#include "platform/WaveFormat.h"
#include "platform/WaveInBackend.h"
#include "platform/WaveInSession.h"

// Weak: only programs linked with the system's backends have it (see WaveInBackend.h).
std::shared_ptr<IWaveInBackend> CreateSystemWaveInBackend() __attribute__((weak));

namespace {

struct OpenDevice {
  std::shared_ptr<WaveInSession> Session;
  std::shared_ptr<IWaveInBackend> Backend;
  uint32_t DeviceId;
};

// Never destroyed: devices still open when the program ends must not be torn down by static
// destruction while their threads run.
struct Registry {
  std::mutex Mutex;
  std::shared_ptr<IWaveInBackend> Backend;
  std::map<HWAVEIN, OpenDevice> Devices;
  HWAVEIN LastHandle = 0;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

bool Find(HWAVEIN hwi, OpenDevice& out) {
  Registry& r = TheRegistry();
  std::lock_guard lk(r.Mutex);
  auto it = r.Devices.find(hwi);
  if (it == r.Devices.end()) return false;
  out = it->second;
  return true;
}

// Runs one header call on an open device after the backend's own check.
template <typename F>
MMRESULT OnDevice(HWAVEIN hwi, WaveInCall call, F f) {
  OpenDevice dev;
  if (!Find(hwi, dev)) return MMSYSERR_INVALHANDLE;
  if (MMRESULT r = dev.Backend->Check(call, dev.DeviceId)) return r;
  return f(*dev.Session);
}

MMRESULT CheckHeader(const WAVEHDR* pwh, uint32_t cbwh) {
  return pwh == nullptr || cbwh < sizeof(WAVEHDR) ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

}  // namespace

std::shared_ptr<IWaveInBackend> GetWaveInBackend() {
  Registry& r = TheRegistry();
  {
    std::lock_guard lk(r.Mutex);
    if (r.Backend) return r.Backend;
  }
  // Finding the server may take a while: open devices stay usable meanwhile. Without the
  // system's backends linked in there are no devices.
  auto system = CreateSystemWaveInBackend
                    ? CreateSystemWaveInBackend()
                    : std::make_shared<VirtualWaveInBackend>(std::vector<VirtualWaveInDevice>{});
  std::lock_guard lk(r.Mutex);
  if (!r.Backend) r.Backend = std::move(system);
  return r.Backend;
}

void SetWaveInBackend(std::shared_ptr<IWaveInBackend> backend) {
  Registry& r = TheRegistry();
  // Declared first, so that the previous backend goes after the lock (see waveInClose).
  std::shared_ptr<IWaveInBackend> previous;
  std::lock_guard lk(r.Mutex);
  previous = std::exchange(r.Backend, std::move(backend));
}

uint32_t waveInGetNumDevs() {
  auto backend = GetWaveInBackend();
  if (backend->Check(WaveInCall::GetNumDevs, WAVE_MAPPER) != MMSYSERR_NOERROR) return 0;
  return backend->GetNumDevs();
}

MMRESULT waveInGetDevCaps(uint32_t uDeviceID, WAVEINCAPS* pwic, uint32_t cbwic) {
  if (pwic == nullptr || cbwic < sizeof(WAVEINCAPS)) return MMSYSERR_INVALPARAM;
  auto backend = GetWaveInBackend();
  if (MMRESULT r = backend->Check(WaveInCall::GetDevCaps, uDeviceID)) return r;
  std::string name;
  if (MMRESULT r = backend->GetDevName(uDeviceID, name)) return r;
  WAVEINCAPS caps{};
  std::memcpy(caps.szPname, name.data(), std::min(name.size(), sizeof caps.szPname - 1));
  *pwic = caps;
  return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                    WaveInProc dwCallback, uintptr_t dwInstance, uint32_t fdwOpen) {
  if (phwi != nullptr) *phwi = 0;
  const uint32_t callbackType = fdwOpen & CALLBACK_TYPEMASK;
  if ((fdwOpen & ~(CALLBACK_TYPEMASK | WAVE_FORMAT_QUERY | WAVE_ALLOWSYNC | WAVE_MAPPED)) != 0)
    return MMSYSERR_INVALFLAG;
  if (callbackType != CALLBACK_NULL && callbackType != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
  if (callbackType == CALLBACK_FUNCTION && dwCallback == nullptr) return MMSYSERR_INVALPARAM;
  const bool query = (fdwOpen & WAVE_FORMAT_QUERY) != 0;
  if (phwi == nullptr && !query) return MMSYSERR_INVALPARAM;

  WaveInFormat format;
  if (MMRESULT r = ParseWaveFormat(pwfx, format)) return r;
  auto backend = GetWaveInBackend();
  if (format.Float && !backend->AcceptsFloat()) return WAVERR_BADFORMAT;
  if (MMRESULT r = backend->CheckOpen(uDeviceID, fdwOpen)) return r;
  if (query) return MMSYSERR_NOERROR;

  Registry& r = TheRegistry();
  HWAVEIN handle;
  {
    std::lock_guard lk(r.Mutex);
    handle = ++r.LastHandle;
  }
  auto session = std::make_shared<WaveInSession>(
      handle, callbackType == CALLBACK_FUNCTION ? dwCallback : nullptr, dwInstance);
  std::unique_ptr<IWaveInStream> stream;
  if (MMRESULT result = backend->Open(uDeviceID, format, *session, stream)) return result;
  session->Attach(std::move(stream));
  {
    std::lock_guard lk(r.Mutex);
    r.Devices[handle] = {session, backend, uDeviceID};
  }
  *phwi = handle;
  session->Opened();
  return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
  if (MMRESULT r = CheckHeader(pwh, cbwh)) return r;
  return OnDevice(hwi, WaveInCall::PrepareHeader, [&](WaveInSession& s) { return s.Prepare(pwh); });
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
  if (MMRESULT r = CheckHeader(pwh, cbwh)) return r;
  return OnDevice(hwi, WaveInCall::UnprepareHeader,
                  [&](WaveInSession& s) { return s.Unprepare(pwh); });
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
  if (MMRESULT r = CheckHeader(pwh, cbwh)) return r;
  return OnDevice(hwi, WaveInCall::AddBuffer, [&](WaveInSession& s) { return s.Add(pwh); });
}

MMRESULT waveInStart(HWAVEIN hwi) {
  return OnDevice(hwi, WaveInCall::Start, [](WaveInSession& s) { return s.Start(); });
}

MMRESULT waveInReset(HWAVEIN hwi) {
  return OnDevice(hwi, WaveInCall::Reset, [](WaveInSession& s) { return s.Reset(); });
}

MMRESULT waveInClose(HWAVEIN hwi) {
  MMRESULT result = OnDevice(hwi, WaveInCall::Close, [](WaveInSession& s) { return s.Close(); });
  if (result != MMSYSERR_NOERROR) return result;
  Registry& r = TheRegistry();
  OpenDevice closed;
  std::lock_guard lk(r.Mutex);
  if (auto it = r.Devices.find(hwi); it != r.Devices.end()) {
    closed = std::move(it->second);
    r.Devices.erase(it);
  }
  // `closed` goes after the lock: the last reference to a backend ends its connection to the
  // sound server, whose thread may be running a callback that waits for this lock.
  return result;
}

MMRESULT waveInGetID(HWAVEIN hwi, uint32_t* puDeviceID) {
  if (puDeviceID == nullptr) return MMSYSERR_INVALPARAM;
  OpenDevice dev;
  if (!Find(hwi, dev)) return MMSYSERR_INVALHANDLE;
  return dev.Session->WithStream([&](const IWaveInStream& stream) {
    return dev.Backend->GetDeviceOf(dev.DeviceId, stream, *puDeviceID);
  });
}

MMRESULT waveInGetLostBytes(HWAVEIN hwi, uint64_t* pcb) {
  if (pcb == nullptr) return MMSYSERR_INVALPARAM;
  OpenDevice dev;
  if (!Find(hwi, dev)) return MMSYSERR_INVALHANDLE;
  *pcb = dev.Session->LostBytes();
  return MMSYSERR_NOERROR;
}
