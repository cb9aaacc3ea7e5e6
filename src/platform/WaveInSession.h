#pragma once
// One open wave-input device: the queue of caller buffers that a backend stream fills in order,
// and the thread that delivers the notifications. The callback never runs under the session's
// lock, so it may call back into the layer (other than reset and close).

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/WaveIn.h"
#include "platform/WaveInBackend.h"

class WaveInSession final : public IWaveInSink {
public:
  WaveInSession(HWAVEIN handle, WaveInProc callback, uintptr_t instance);
  ~WaveInSession() override;
  WaveInSession(const WaveInSession&) = delete;
  WaveInSession& operator=(const WaveInSession&) = delete;

  // Takes the backend's stream and announces the open; called once, right after construction.
  void Opened(std::unique_ptr<IWaveInStream> stream);

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
  void ReturnHead();  // with FMutex held
  void Notify(uint32_t msg, WAVEHDR* hdr);
  void DeliverNotifications();
  bool OnNotifierThread() const;

  const HWAVEIN FHandle;
  const WaveInProc FCallback;
  const uintptr_t FInstance;
  std::unique_ptr<IWaveInStream> FStream;
  std::mutex FControl;  // FStream's presence, against questions asked while it closes

  std::mutex FMutex;
  std::condition_variable FRoom;
  std::deque<WAVEHDR*> FQueue;
  bool FStarted = false;
  bool FLost = false;
  bool FClosed = false;
  uint64_t FLostBytes = 0;

  struct Note {
    uint32_t Msg;
    WAVEHDR* Hdr;
  };
  std::mutex FNoteMutex;
  std::condition_variable FNoteReady;
  std::condition_variable FNotesDone;
  std::deque<Note> FNotes;
  bool FDelivering = false;
  bool FQuit = false;
  std::thread FNotifier;
};
