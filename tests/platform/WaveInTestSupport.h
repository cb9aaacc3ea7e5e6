#pragma once
// Records what the wave-input layer notifies, and owns the buffers queued on it.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/WaveFormat.h"
#include "platform/WaveIn.h"

inline WAVEFORMATEXTENSIBLE MakeFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  WAVEFORMATEXTENSIBLE f{};
  f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
  f.Format.nChannels = channels;
  f.Format.nSamplesPerSec = rate;
  f.Format.wBitsPerSample = bits;
  f.Format.nBlockAlign = static_cast<uint16_t>(bits / 8 * channels);
  f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
  f.Format.cbSize = 22;
  f.wValidBitsPerSample = bits;
  f.dwChannelMask = channels == 2 ? 3 : 0;
  f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
  return f;
}

inline const WAVEFORMATEX* AsFormat(const WAVEFORMATEXTENSIBLE& f) {
  return reinterpret_cast<const WAVEFORMATEX*>(&f);
}

class Notifications {
public:
  struct Note {
    HWAVEIN Handle;
    uint32_t Msg;
    WAVEHDR* Hdr;
    uint32_t BytesRecorded;
    uint32_t Flags;
  };

  static void Callback(HWAVEIN hwi, uint32_t msg, uintptr_t instance, uintptr_t param1, uintptr_t) {
    auto* self = reinterpret_cast<Notifications*>(instance);
    auto* hdr = reinterpret_cast<WAVEHDR*>(param1);
    {
      std::lock_guard lk(self->FMutex);
      self->FNotes.push_back(
          {hwi, msg, hdr, hdr ? hdr->dwBytesRecorded : 0, hdr ? hdr->dwFlags : 0});
      if (self->FOnData && msg == WIM_DATA) self->FOnData(hwi, hdr);
    }
    self->FChanged.notify_all();
  }

  uintptr_t Instance() { return reinterpret_cast<uintptr_t>(this); }

  std::vector<Note> Notes() {
    std::lock_guard lk(FMutex);
    return FNotes;
  }

  size_t DataCount() {
    std::lock_guard lk(FMutex);
    return CountData();
  }

  bool WaitForData(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock lk(FMutex);
    return FChanged.wait_for(lk, timeout, [&] { return CountData() >= count; });
  }

  // Runs in the callback, under the recorder's lock, for every WIM_DATA from now on; once this
  // returns, the previous one runs no more.
  void SetOnData(void (*onData)(HWAVEIN, WAVEHDR*)) {
    std::lock_guard lk(FMutex);
    FOnData = onData;
  }

private:
  size_t CountData() const {
    size_t n = 0;
    for (const auto& note : FNotes) n += note.Msg == WIM_DATA;
    return n;
  }

  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<Note> FNotes;
  void (*FOnData)(HWAVEIN, WAVEHDR*) = nullptr;
};

class BufferSet {
public:
  BufferSet(size_t count, size_t bytes)
      : FMemory(count, std::vector<char>(bytes)), FHeaders(count) {
    for (size_t i = 0; i < count; ++i) {
      FHeaders[i] = WAVEHDR{};
      FHeaders[i].lpData = FMemory[i].data();
      FHeaders[i].dwBufferLength = static_cast<uint32_t>(bytes);
    }
  }

  WAVEHDR* Header(size_t i) { return &FHeaders[i]; }
  size_t Count() const { return FHeaders.size(); }
  const std::vector<char>& Memory(size_t i) const { return FMemory[i]; }

  MMRESULT PrepareAndAddAll(HWAVEIN hwi) {
    for (auto& h : FHeaders) {
      if (MMRESULT r = waveInPrepareHeader(hwi, &h, sizeof h)) return r;
      if (MMRESULT r = waveInAddBuffer(hwi, &h, sizeof h)) return r;
    }
    return MMSYSERR_NOERROR;
  }

  MMRESULT UnprepareAll(HWAVEIN hwi) {
    for (auto& h : FHeaders)
      if (MMRESULT r = waveInUnprepareHeader(hwi, &h, sizeof h)) return r;
    return MMSYSERR_NOERROR;
  }

  size_t IndexOf(const WAVEHDR* hdr) const { return static_cast<size_t>(hdr - FHeaders.data()); }

private:
  std::vector<std::vector<char>> FMemory;
  std::vector<WAVEHDR> FHeaders;
};

// One run of a device: opened with notifications of its own, Count buffers of Bytes queued and
// recording started; when it goes, the device is reset, its buffers handed back and it is
// closed, each step checked.
class Recording {
public:
  Recording(uint32_t device, const WAVEFORMATEXTENSIBLE& format, size_t count, size_t bytes,
            void (*onData)(HWAVEIN, WAVEHDR*) = nullptr)
      : Buffers(count, bytes) {
    Notes.SetOnData(onData);
    Result = waveInOpen(&Handle, device, AsFormat(format), &Notifications::Callback,
                        Notes.Instance(), CALLBACK_FUNCTION);
    if (Result == MMSYSERR_NOERROR) Result = Buffers.PrepareAndAddAll(Handle);
    if (Result == MMSYSERR_NOERROR) Result = waveInStart(Handle);
  }
  ~Recording() { End(); }

  void End() {
    if (Handle == 0) return;
    Notes.SetOnData(nullptr);
    EXPECT_EQ(waveInReset(Handle), MMSYSERR_NOERROR);
    EXPECT_EQ(Buffers.UnprepareAll(Handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(Handle), MMSYSERR_NOERROR);
    Handle = 0;
  }

  Notifications Notes;
  BufferSet Buffers;
  HWAVEIN Handle = 0;
  MMRESULT Result;  // the first failure of the open, the queueing and the start
};
