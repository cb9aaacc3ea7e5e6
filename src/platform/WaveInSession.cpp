#include "platform/WaveInSession.h"

#include <pthread.h>

#include <algorithm>
#include <cstring>

WaveInSession::WaveInSession(HWAVEIN handle, WaveInProc callback, uintptr_t instance)
    : FHandle(handle), FCallback(callback), FInstance(instance) {
  FNotifier = std::thread([this] {
    pthread_setname_np(pthread_self(), "WaveInNotify");
    DeliverNotifications();
  });
}

WaveInSession::~WaveInSession() {
  if (FStream) FStream->Close();
  {
    std::lock_guard lk(FNoteMutex);
    FQuit = true;
  }
  FNoteReady.notify_all();
  if (FNotifier.joinable()) FNotifier.join();
}

void WaveInSession::Opened(std::unique_ptr<IWaveInStream> stream) {
  FStream = std::move(stream);
  Notify(WIM_OPEN, nullptr);
}

bool WaveInSession::OnNotifierThread() const {
  return std::this_thread::get_id() == FNotifier.get_id();
}

MMRESULT WaveInSession::Prepare(WAVEHDR* hdr) {
  if (hdr == nullptr || hdr->lpData == nullptr) return MMSYSERR_INVALPARAM;
  std::lock_guard lk(FMutex);
  if (FClosed) return MMSYSERR_INVALHANDLE;
  hdr->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInSession::Unprepare(WAVEHDR* hdr) {
  if (hdr == nullptr) return MMSYSERR_INVALPARAM;
  std::lock_guard lk(FMutex);
  if (FClosed) return MMSYSERR_INVALHANDLE;
  if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  hdr->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInSession::Add(WAVEHDR* hdr) {
  if (hdr == nullptr || hdr->lpData == nullptr || hdr->dwBufferLength == 0)
    return MMSYSERR_INVALPARAM;
  {
    std::lock_guard lk(FMutex);
    if (FClosed) return MMSYSERR_INVALHANDLE;
    if (!(hdr->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (hdr->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    if (FLost) return MMSYSERR_NODRIVER;
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    hdr->dwBytesRecorded = 0;
    FQueue.push_back(hdr);
  }
  FRoom.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInSession::Start() {
  {
    std::lock_guard lk(FMutex);
    if (FClosed) return MMSYSERR_INVALHANDLE;
    if (FLost) return MMSYSERR_NODRIVER;
    if (FStarted) return MMSYSERR_NOERROR;
    FStarted = true;
  }
  FRoom.notify_all();
  FStream->Start();
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInSession::Reset() {
  if (OnNotifierThread()) return MMSYSERR_HANDLEBUSY;
  {
    std::lock_guard lk(FMutex);
    if (FClosed) return MMSYSERR_INVALHANDLE;
    FStarted = false;
  }
  // The stream may be inside Write right now, which needs FMutex: pause it without holding it.
  FStream->Pause();
  {
    std::lock_guard lk(FMutex);
    while (!FQueue.empty()) ReturnHead();
  }
  std::unique_lock lk(FNoteMutex);
  FNotesDone.wait(lk, [this] { return FNotes.empty() && !FDelivering; });
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInSession::Close() {
  if (OnNotifierThread()) return MMSYSERR_HANDLEBUSY;
  {
    std::lock_guard lk(FMutex);
    if (FClosed) return MMSYSERR_INVALHANDLE;
    if (!FQueue.empty()) return WAVERR_STILLPLAYING;
    FClosed = true;
    FStarted = false;
  }
  FStream->Close();
  {
    std::lock_guard lk(FControl);
    FStream.reset();
  }
  Notify(WIM_CLOSE, nullptr);
  {
    std::lock_guard lk(FNoteMutex);
    FQuit = true;
  }
  FNoteReady.notify_all();
  FNotifier.join();
  return MMSYSERR_NOERROR;
}

uint64_t WaveInSession::LostBytes() {
  std::lock_guard lk(FMutex);
  return FLostBytes;
}

void WaveInSession::Write(const void* data, size_t bytes) {
  std::lock_guard lk(FMutex);
  if (!FStarted) return;
  auto* from = static_cast<const char*>(data);
  while (bytes > 0) {
    if (FQueue.empty()) {
      FLostBytes += bytes;
      return;
    }
    WAVEHDR* head = FQueue.front();
    const size_t n = std::min<size_t>(bytes, head->dwBufferLength - head->dwBytesRecorded);
    std::memcpy(head->lpData + head->dwBytesRecorded, from, n);
    head->dwBytesRecorded += static_cast<uint32_t>(n);
    from += n;
    bytes -= n;
    if (head->dwBytesRecorded == head->dwBufferLength) ReturnHead();
  }
}

void WaveInSession::Skip(size_t bytes) {
  std::lock_guard lk(FMutex);
  if (FStarted) FLostBytes += bytes;
}

void WaveInSession::Flush() {
  std::lock_guard lk(FMutex);
  if (!FQueue.empty() && FQueue.front()->dwBytesRecorded > 0) ReturnHead();
}

void WaveInSession::Lost() {
  {
    std::lock_guard lk(FMutex);
    FLost = true;
    FStarted = false;
    while (!FQueue.empty()) ReturnHead();
  }
  FRoom.notify_all();
}

size_t WaveInSession::WaitForRoom(const std::atomic<bool>& quit) {
  std::unique_lock lk(FMutex);
  FRoom.wait(lk, [&] { return quit.load() || FClosed || (FStarted && !FQueue.empty()); });
  if (quit.load() || FClosed) return 0;
  size_t room = 0;
  for (const WAVEHDR* hdr : FQueue) room += hdr->dwBufferLength - hdr->dwBytesRecorded;
  return room;
}

void WaveInSession::Wake() {
  { std::lock_guard lk(FMutex); }
  FRoom.notify_all();
}

void WaveInSession::ReturnHead() {
  WAVEHDR* head = FQueue.front();
  FQueue.pop_front();
  head->dwFlags = (head->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  Notify(WIM_DATA, head);
}

void WaveInSession::Notify(uint32_t msg, WAVEHDR* hdr) {
  {
    std::lock_guard lk(FNoteMutex);
    FNotes.push_back({msg, hdr});
  }
  FNoteReady.notify_one();
}

void WaveInSession::DeliverNotifications() {
  std::unique_lock lk(FNoteMutex);
  for (;;) {
    FNoteReady.wait(lk, [this] { return FQuit || !FNotes.empty(); });
    if (FNotes.empty()) return;  // quitting with nothing left to say
    const Note note = FNotes.front();
    FNotes.pop_front();
    FDelivering = true;
    lk.unlock();
    if (FCallback != nullptr)
      FCallback(FHandle, note.Msg, FInstance, reinterpret_cast<uintptr_t>(note.Hdr), 0);
    lk.lock();
    FDelivering = false;
    if (FNotes.empty()) FNotesDone.notify_all();
  }
}
