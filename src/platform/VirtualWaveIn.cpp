#include "platform/VirtualWaveIn.h"

#include <pthread.h>
#include <sndfile.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <numbers>
#include <thread>

#include "platform/DeviceNames.h"
#include "platform/SoundFileReader.h"
#include "platform/WaveIn.h"

namespace {

// Frames are read from the source in chunks of up to 64 KiB: fewer, larger reads cost less
// system time than many small ones.
constexpr size_t MaxChunkBytes = 65536;

// Produces whole frames of the opened format; 0 frames means the source has ended.
class SignalSource {
public:
  virtual ~SignalSource() = default;
  virtual size_t Read(uint8_t* out, size_t frames) = 0;
};

class ReaderSource final : public SignalSource {
public:
  explicit ReaderSource(VirtualReader read) : FRead(std::move(read)) {}
  size_t Read(uint8_t* out, size_t frames) override { return FRead(out, frames); }

private:
  const VirtualReader FRead;
};

class GeneratedSource final : public SignalSource {
public:
  GeneratedSource(const VirtualWaveInDevice& device, const WaveInFormat& format)
      : FDevice(device), FFormat(format) {}

  size_t Read(uint8_t* out, size_t frames) override {
    const uint16_t bytes = FFormat.ContainerBits / 8;
    // Values are rounded at the container's own width, then shifted to the 32-bit range.
    const double full = std::ldexp(1.0, FFormat.ContainerBits - 1) - 1.0;
    const int shift = 32 - FFormat.ContainerBits;
    for (size_t f = 0; f < frames; ++f, ++FFrame) {
      const double cycles = FDevice.Frequency * static_cast<double>(FFrame) / FFormat.SampleRate;
      double wave = 0.0;
      if (FDevice.Signal == VirtualSignal::Sine) wave = std::sin(2.0 * std::numbers::pi * cycles);
      if (FDevice.Signal == VirtualSignal::Square)
        wave = cycles - std::floor(cycles) < 0.5 ? 1.0 : -1.0;
      for (uint16_t c = 0; c < FFormat.Channels; ++c) {
        const double amplitude =
            FDevice.Amplitudes.empty() ? 0.0 : FDevice.Amplitudes[c % FDevice.Amplitudes.size()];
        if (FFormat.Float) {
          const auto sample = static_cast<float>(wave * amplitude);
          std::memcpy(out, &sample, sizeof sample);
          out += sizeof sample;
          continue;
        }
        const double value = std::clamp(std::round(wave * amplitude * full), -full - 1.0, full);
        const auto sample = static_cast<int64_t>(value) * (int64_t{1} << shift);
        StoreWaveSample(out, FFormat.ContainerBits, static_cast<int32_t>(sample));
        out += bytes;
      }
    }
    return frames;
  }

private:
  const VirtualWaveInDevice FDevice;
  const WaveInFormat FFormat;
  uint64_t FFrame = 0;
};

class FileSource final : public SignalSource {
public:
  FileSource(SNDFILE* file, int fileFormat, const WaveInFormat& format, bool loop)
      : FFile(file), FReader(file, fileFormat, format), FLoop(loop) {}
  ~FileSource() override { sf_close(FFile); }

  size_t Read(uint8_t* out, size_t frames) override {
    size_t got = FReader.Read(out, frames);
    if (got == 0 && FLoop && sf_seek(FFile, 0, SEEK_SET) == 0) got = FReader.Read(out, frames);
    return got;
  }

private:
  SNDFILE* const FFile;
  SoundFileReader FReader;
  const bool FLoop;
};

}  // namespace

class VirtualStream final : public IWaveInStream {
public:
  VirtualStream(std::shared_ptr<VirtualWaveInBackend> backend, IWaveInSink& sink,
                std::unique_ptr<SignalSource> source, const WaveInFormat& format, bool realTime)
      : FBackend(std::move(backend)),
        FSink(sink),
        FSource(std::move(source)),
        FFormat(format),
        FRealTime(realTime) {}
  ~VirtualStream() override { Close(); }

  void Start() override {
    std::lock_guard lk(FControl);
    if (FThread.joinable() || FClosed) return;
    FQuit = false;
    FThread = std::thread([this] {
      pthread_setname_np(pthread_self(), "WaveInVirtual");
      if (FRealTime)
        Pace();
      else
        FillAsQueued();
    });
  }

  void Pause() override {
    std::lock_guard lk(FControl);
    StopThread();
  }

  void Close() override {
    {
      std::lock_guard lk(FControl);
      if (FClosed) return;
      StopThread();
      FClosed = true;
    }
    FBackend->Forget(this);
  }

  void Lose() { FSink.Lost(); }

private:
  void StopThread() {
    if (!FThread.joinable()) return;
    {
      std::lock_guard lk(FSleepMutex);
      FQuit = true;
    }
    FSleep.notify_all();
    FSink.Wake();
    FThread.join();
  }

  void FillAsQueued() {
    std::vector<uint8_t> chunk;
    while (size_t room = FSink.WaitForRoom(FQuit)) {
      const size_t frames = std::clamp<size_t>(std::min(room, MaxChunkBytes) / FFormat.BlockAlign,
                                               1, MaxChunkBytes / FFormat.BlockAlign);
      if (!Produce(chunk, frames)) return;
    }
  }

  void Pace() {
    using Clock = std::chrono::steady_clock;
    const size_t frames = std::max<size_t>(1, FFormat.SampleRate / 100);
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(frames) / FFormat.SampleRate));
    std::vector<uint8_t> chunk;
    auto next = Clock::now();
    for (;;) {
      next += period;
      std::unique_lock lk(FSleepMutex);
      if (FSleep.wait_until(lk, next, [this] { return FQuit.load(); })) return;
      lk.unlock();
      if (!Produce(chunk, frames)) return;
    }
  }

  // Writes the next frames of the source; false once it has ended.
  bool Produce(std::vector<uint8_t>& chunk, size_t frames) {
    chunk.resize(frames * FFormat.BlockAlign);
    const size_t got = FSource->Read(chunk.data(), frames);
    if (got == 0) {
      FSink.Flush();
      return false;
    }
    FSink.Write(chunk.data(), got * FFormat.BlockAlign);
    return true;
  }

  const std::shared_ptr<VirtualWaveInBackend> FBackend;
  IWaveInSink& FSink;
  const std::unique_ptr<SignalSource> FSource;
  const WaveInFormat FFormat;
  const bool FRealTime;
  std::mutex FControl;  // start, pause and close
  bool FClosed = false;
  std::thread FThread;
  std::atomic<bool> FQuit{false};
  std::mutex FSleepMutex;
  std::condition_variable FSleep;
};

VirtualWaveInBackend::VirtualWaveInBackend(std::vector<VirtualWaveInDevice> devices,
                                           uint32_t mapperDevice)
    : FDevices(std::move(devices)), FMapperDevice(mapperDevice) {
  std::vector<std::string> names;
  for (const auto& d : FDevices) names.push_back(d.Name);
  names = UniqueDeviceNames(names);
  for (size_t i = 0; i < FDevices.size(); ++i) FDevices[i].Name = names[i];
}

void VirtualWaveInBackend::SetFailure(WaveInCall call, MMRESULT code, uint32_t deviceId) {
  std::lock_guard lk(FMutex);
  if (code == MMSYSERR_NOERROR)
    FFailures.erase({call, deviceId});
  else
    FFailures[{call, deviceId}] = code;
}

void VirtualWaveInBackend::Unplug(uint32_t deviceId) {
  std::lock_guard lk(FMutex);
  for (auto& [id, stream] : FStreams)
    if (id == deviceId) stream->Lose();
}

void VirtualWaveInBackend::Forget(VirtualStream* stream) {
  std::lock_guard lk(FMutex);
  std::erase_if(FStreams, [stream](const auto& entry) { return entry.second == stream; });
}

MMRESULT VirtualWaveInBackend::Check(WaveInCall call, uint32_t deviceId) {
  std::lock_guard lk(FMutex);
  for (uint32_t key : {deviceId, AnyDevice}) {
    auto it = FFailures.find({call, key});
    if (it != FFailures.end()) return it->second;
  }
  return MMSYSERR_NOERROR;
}

uint32_t VirtualWaveInBackend::GetNumDevs() { return static_cast<uint32_t>(FDevices.size()); }

MMRESULT VirtualWaveInBackend::GetDevName(uint32_t deviceId, std::string& name) {
  if (deviceId >= FDevices.size()) return MMSYSERR_BADDEVICEID;
  name = FDevices[deviceId].Name;
  return MMSYSERR_NOERROR;
}

MMRESULT VirtualWaveInBackend::GetDeviceOf(uint32_t /*deviceId*/, const IWaveInStream& stream,
                                           uint32_t& current) {
  std::lock_guard lk(FMutex);
  for (const auto& [id, open] : FStreams) {
    if (open != &stream) continue;
    current = id;
    return MMSYSERR_NOERROR;
  }
  return MMSYSERR_BADDEVICEID;
}

MMRESULT VirtualWaveInBackend::Open(uint32_t deviceId, const WaveInFormat& format,
                                    IWaveInSink& sink, std::unique_ptr<IWaveInStream>& stream) {
  if (deviceId == WAVE_MAPPER) {
    if (FDevices.empty()) return MMSYSERR_NODRIVER;
    deviceId = FMapperDevice;
  }
  if (deviceId >= FDevices.size()) return MMSYSERR_BADDEVICEID;
  const VirtualWaveInDevice& device = FDevices[deviceId];

  std::unique_ptr<SignalSource> source;
  if (device.Signal == VirtualSignal::File) {
    SF_INFO info{};
    SNDFILE* file = sf_open(device.FilePath.c_str(), SFM_READ, &info);
    if (file == nullptr) return MMSYSERR_ERROR;
    if (info.channels != format.Channels) {
      sf_close(file);
      return WAVERR_BADFORMAT;
    }
    source = std::make_unique<FileSource>(file, info.format, format, device.Loop);
  } else if (device.Signal == VirtualSignal::Reader) {
    if (!device.Read) return MMSYSERR_ERROR;
    source = std::make_unique<ReaderSource>(device.Read);
  } else {
    source = std::make_unique<GeneratedSource>(device, format);
  }
  auto virtualStream = std::make_unique<VirtualStream>(shared_from_this(), sink, std::move(source),
                                                       format, device.RealTime);
  {
    std::lock_guard lk(FMutex);
    FStreams.emplace_back(deviceId, virtualStream.get());
  }
  stream = std::move(virtualStream);
  return MMSYSERR_NOERROR;
}
