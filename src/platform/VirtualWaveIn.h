#pragma once
// Wave-input devices that exist only in this process, for tests and command-line tools: each
// plays a sound file or a generated signal into the queued buffers, either paced like a real
// device or as fast as buffers are queued, and any call can be made to fail with a chosen code.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/WaveInBackend.h"

enum class VirtualSignal { Silence, Sine, Square, File, Reader };

// Writes up to AFrames whole frames of the opened format at AOut and returns how many it wrote;
// 0 ends the source.
using VirtualReader = std::function<size_t(uint8_t* AOut, size_t AFrames)>;

struct VirtualWaveInDevice {
  std::string Name;
  VirtualSignal Signal = VirtualSignal::Sine;
  double Frequency = 1000.0;
  // Peak level as a fraction of full scale; channel c plays Amplitudes[c % size].
  std::vector<double> Amplitudes{0.5};
  // For VirtualSignal::File: any file that the sound-file library reads, with as many channels as
  // the opened format. Integer files of the opened width arrive byte for byte; opened for float
  // samples, every file arrives as floats (full scale 1.0, louder samples kept).
  std::string FilePath;
  // For VirtualSignal::Reader: the frames, read on the stream's thread. Loop does not apply.
  VirtualReader Read;
  // At the end of the file: start again, or hand back the partly filled buffer and produce no more.
  bool Loop = true;
  // Paced at the format's rate (audio that finds no queued buffer is lost) instead of filling
  // buffers as fast as they are queued.
  bool RealTime = false;
};

class VirtualStream;

class VirtualWaveInBackend final : public IWaveInBackend,
                                   public std::enable_shared_from_this<VirtualWaveInBackend> {
public:
  static constexpr uint32_t AnyDevice = 0xFFFFFFFE;

  // Create it with std::make_shared: open streams keep it alive.
  // Devices are listed in the given order, their names made unique and cut like real ones. The
  // mapper opens `mapperDevice`; with no devices at all it fails like the system's.
  explicit VirtualWaveInBackend(std::vector<VirtualWaveInDevice> devices,
                                uint32_t mapperDevice = 0);

  // From now on `call` fails with `code` (for every device, or only for `deviceId`, which may be
  // WAVE_MAPPER); code 0 lifts the failure.
  void SetFailure(WaveInCall call, MMRESULT code, uint32_t deviceId = AnyDevice);
  // Every stream open on `deviceId` loses its source, as when a device is unplugged.
  void Unplug(uint32_t deviceId);

  uint32_t GetNumDevs() override;
  MMRESULT GetDevName(uint32_t deviceId, std::string& name) override;
  MMRESULT Open(uint32_t deviceId, const WaveInFormat& format, IWaveInSink& sink,
                std::unique_ptr<IWaveInStream>& stream) override;
  MMRESULT Check(WaveInCall call, uint32_t deviceId) override;
  bool AcceptsFloat() const override { return true; }

private:
  friend class VirtualStream;
  void Forget(VirtualStream* stream);

  std::vector<VirtualWaveInDevice> FDevices;
  const uint32_t FMapperDevice;
  std::mutex FMutex;
  std::map<std::pair<WaveInCall, uint32_t>, MMRESULT> FFailures;
  std::vector<std::pair<uint32_t, VirtualStream*>> FStreams;
};
