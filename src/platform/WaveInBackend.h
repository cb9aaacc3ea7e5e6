#pragma once
// What a wave-input backend provides to the layer: the device list, and for an open device a
// stream that produces audio into an IWaveInSink. Queueing, headers, reset and notifications are
// the layer's own and the same for every backend.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/WaveInFormat.h"
#include "platform/WaveInResult.h"

// Every layer call, for backends that want to refuse some (the virtual one injects failures).
enum class WaveInCall {
  GetNumDevs,
  GetDevCaps,
  Open,
  PrepareHeader,
  UnprepareHeader,
  AddBuffer,
  Start,
  Reset,
  Close
};

// The open device as a stream sees it. Producers call it from their own threads.
class IWaveInSink {
public:
  virtual ~IWaveInSink() = default;
  // Fills queued buffers in order; what finds no buffer, or comes while not started, is dropped
  // (counted as lost while started).
  virtual void Write(const void* data, size_t bytes) = 0;
  // A gap in the source: counted as lost, the buffers are not touched.
  virtual void Skip(size_t bytes) = 0;
  // Hands back the head buffer if something was written into it (end of a finite source).
  virtual void Flush() = 0;
  // The source is gone for good: every queued buffer is returned and the device refuses new ones.
  virtual void Lost() = 0;
  // Blocks until recording is started with room in a queued buffer, or until `quit` is set and
  // Wake is called; returns the free bytes of the queued buffers, 0 when quitting.
  virtual size_t WaitForRoom(const std::atomic<bool>& quit) = 0;
  virtual void Wake() = 0;
};

class IWaveInStream {
public:
  virtual ~IWaveInStream() = default;
  virtual void Start() = 0;
  // Stops producing and drops what the source still holds; Start may follow.
  virtual void Pause() = 0;
  // Stops for good; no call to the sink may follow its return.
  virtual void Close() = 0;
};

class IWaveInBackend {
public:
  virtual ~IWaveInBackend() = default;
  virtual uint32_t GetNumDevs() = 0;
  virtual MMRESULT GetDevName(uint32_t deviceId, std::string& name) = 0;
  // deviceId may be WAVE_MAPPER. The stream must not call the sink before Start.
  virtual MMRESULT Open(uint32_t deviceId, const WaveInFormat& format, IWaveInSink& sink,
                        std::unique_ptr<IWaveInStream>& stream) = 0;
  // The device that `stream`, opened on `deviceId` (maybe WAVE_MAPPER), records from now, as a
  // number of a fresh listing.
  virtual MMRESULT GetDeviceOf(uint32_t /*deviceId*/, const IWaveInStream& /*stream*/,
                               uint32_t& /*current*/) {
    return MMSYSERR_NOTSUPPORTED;
  }
  // Whether the streams deliver 32-bit float samples; formats of them are refused otherwise.
  virtual bool AcceptsFloat() const { return false; }
  // Consulted before every call; a non-zero code is returned to the caller instead.
  virtual MMRESULT Check(WaveInCall /*call*/, uint32_t /*deviceId*/) { return MMSYSERR_NOERROR; }
  // Consulted before an open, with the caller's flags, which no backend needs: the layer has
  // checked them. Backends that watch their callers see them here.
  virtual MMRESULT CheckOpen(uint32_t deviceId, uint32_t /*flags*/) {
    return Check(WaveInCall::Open, deviceId);
  }
};

// The sound server's backend when a server answers, else the sound cards' own (libasound); a
// machine without either finds a server that starts later (SystemSound). It comes with
// stereolux_platform; a program linked only with the wave-input layer (stereolux_wavein), such as
// a tool that always sets its own backend, goes without it and without the sound libraries.
std::shared_ptr<IWaveInBackend> CreateSystemWaveInBackend();
