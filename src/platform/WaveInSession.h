#pragma once
// One open wave-input device: the queue of caller buffers that a backend stream fills in order,
// and the delivery of the notifications. The callback is called on the thread that ends a
// buffer's stay in the queue: the backend's own thread for recorded buffers, the caller's for
// those that a reset hands back and for the open and close notices. It never runs under the
// session's lock, so it may call back into the layer (other than reset and close), and it
// must return quickly, since the backend waits for it.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/WaveIn.h"
#include "platform/WaveInBackend.h"

class WaveInSession final : public IWaveInSink {
public:
  WaveInSession(HWAVEIN handle, WaveInProc callback, uintptr_t instance);
  ~WaveInSession() override;
  WaveInSession(const WaveInSession&) = delete;
  WaveInSession& operator=(const WaveInSession&) = delete;

  // Takes the backend's stream; called once, right after construction.
  void Attach(std::unique_ptr<IWaveInStream> stream);
  // Announces the open; called once the handle is valid, before any other call.
  void Opened();

  MMRESULT Prepare(WAVEHDR* hdr);
  MMRESULT Unprepare(WAVEHDR* hdr);
  MMRESULT Add(WAVEHDR* hdr);
  MMRESULT Start();
  MMRESULT Reset();
  MMRESULT Close();
  uint64_t LostBytes();
  // Runs f on the backend's stream; MMSYSERR_INVALHANDLE once the device is closed.
  template <typename F>
  MMRESULT WithStream(F f) {
    std::lock_guard lk(FControl);
    return FStream ? f(*FStream) : MMSYSERR_INVALHANDLE;
  }

  void Write(const void* data, size_t bytes) override;
  void Skip(size_t bytes) override;
  void Flush() override;
  void Lost() override;
  size_t WaitForRoom(const std::atomic<bool>& quit) override;
  void Wake() override;

private:
  using Lock = std::unique_lock<std::mutex>;
  // With FMutex held: hands the first `count` queued buffers back to the caller, in order,
  // with the lock released meanwhile.
  void ReturnHeads(Lock& lk, size_t count);
  // With FMutex held: waits until no buffer is being handed back on another thread.
  void WaitForReturns(Lock& lk);
  void Notify(uint32_t msg, WAVEHDR* hdr);
  bool InCallback() const;

  const HWAVEIN FHandle;
  const WaveInProc FCallback;
  const uintptr_t FInstance;
  std::unique_ptr<IWaveInStream> FStream;
  std::mutex FControl;  // FStream's presence, against questions asked while it closes

  std::mutex FMutex;
  std::condition_variable FRoom;
  std::condition_variable FReturned;
  std::deque<WAVEHDR*> FQueue;
  bool FStarted = false;
  bool FLost = false;
  bool FClosed = false;
  uint64_t FLostBytes = 0;
  uint32_t FReturning = 0;  // buffers taken from the queue whose callback has not returned
};
