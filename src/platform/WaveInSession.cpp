#include "platform/WaveInSession.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The session whose callback this thread is running, if any.
thread_local const WaveInSession* tCallbackOf = nullptr;

}  // namespace

WaveInSession::WaveInSession(HWAVEIN handle, WaveInProc callback, uintptr_t instance)
    : FHandle(handle), FCallback(callback), FInstance(instance) {}

WaveInSession::~WaveInSession() {
  if (FStream) FStream->Close();
  Lock lk(FMutex);
  WaitForReturns(lk);
}

void WaveInSession::Attach(std::unique_ptr<IWaveInStream> stream) { FStream = std::move(stream); }

void WaveInSession::Opened() { Notify(WIM_OPEN, nullptr); }

bool WaveInSession::InCallback() const { return tCallbackOf == this; }

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
  if (InCallback()) return MMSYSERR_HANDLEBUSY;
  {
    std::lock_guard lk(FMutex);
    if (FClosed) return MMSYSERR_INVALHANDLE;
    FStarted = false;
  }
  // The stream may be inside Write right now, which needs FMutex: pause it without holding it.
  FStream->Pause();
  Lock lk(FMutex);
  // A buffer the stream has just filled goes back before those still queued.
  WaitForReturns(lk);
  ReturnHeads(lk, FQueue.size());
  return MMSYSERR_NOERROR;
}

MMRESULT WaveInSession::Close() {
  if (InCallback()) return MMSYSERR_HANDLEBUSY;
  {
    std::lock_guard lk(FMutex);
    if (FClosed) return MMSYSERR_INVALHANDLE;
    if (!FQueue.empty()) return WAVERR_STILLPLAYING;
    FClosed = true;
    FStarted = false;
  }
  FStream->Close();
  {
    Lock lk(FMutex);
    WaitForReturns(lk);
  }
  {
    std::lock_guard lk(FControl);
    FStream.reset();
  }
  Notify(WIM_CLOSE, nullptr);
  return MMSYSERR_NOERROR;
}

uint64_t WaveInSession::LostBytes() {
  std::lock_guard lk(FMutex);
  return FLostBytes;
}

void WaveInSession::Write(const void* data, size_t bytes) {
  Lock lk(FMutex);
  if (!FStarted) return;
  auto* from = static_cast<const char*>(data);
  // The buffers this write fills go back together once it is copied: the receiver then wakes
  // once for all of them rather than once for each.
  size_t full = 0;
  for (; bytes > 0 && full < FQueue.size(); ++full) {
    WAVEHDR* hdr = FQueue[full];
    const size_t n = std::min<size_t>(bytes, hdr->dwBufferLength - hdr->dwBytesRecorded);
    std::memcpy(hdr->lpData + hdr->dwBytesRecorded, from, n);
    hdr->dwBytesRecorded += static_cast<uint32_t>(n);
    from += n;
    bytes -= n;
    if (hdr->dwBytesRecorded < hdr->dwBufferLength) break;
  }
  FLostBytes += bytes;
  ReturnHeads(lk, full);
}

void WaveInSession::Skip(size_t bytes) {
  std::lock_guard lk(FMutex);
  if (FStarted) FLostBytes += bytes;
}

void WaveInSession::Flush() {
  Lock lk(FMutex);
  if (!FQueue.empty() && FQueue.front()->dwBytesRecorded > 0) ReturnHeads(lk, 1);
}

void WaveInSession::Lost() {
  Lock lk(FMutex);
  FLost = true;
  FStarted = false;
  ReturnHeads(lk, FQueue.size());
  lk.unlock();
  FRoom.notify_all();
}

size_t WaveInSession::WaitForRoom(const std::atomic<bool>& quit) {
  Lock lk(FMutex);
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

void WaveInSession::ReturnHeads(Lock& lk, size_t count) {
  if (count == 0) return;
  // Taken out together, so that a buffer the callback queues again is not handed back twice;
  // the usual single buffer needs no list.
  auto takeHead = [this] {
    WAVEHDR* head = FQueue.front();
    FQueue.pop_front();
    head->dwFlags = (head->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    return head;
  };
  WAVEHDR* first = takeHead();
  std::vector<WAVEHDR*> rest;
  if (count > 1) rest.reserve(count - 1);
  while (rest.size() + 1 < count) rest.push_back(takeHead());
  ++FReturning;
  lk.unlock();
  Notify(WIM_DATA, first);
  for (WAVEHDR* hdr : rest) Notify(WIM_DATA, hdr);
  lk.lock();
  if (--FReturning == 0) FReturned.notify_all();
}

void WaveInSession::WaitForReturns(Lock& lk) {
  FReturned.wait(lk, [this] { return FReturning == 0; });
}

void WaveInSession::Notify(uint32_t msg, WAVEHDR* hdr) {
  if (FCallback == nullptr) return;
  const WaveInSession* outer = tCallbackOf;
  tCallbackOf = this;
  FCallback(FHandle, msg, FInstance, reinterpret_cast<uintptr_t>(hdr), 0);
  tCallbackOf = outer;
}
