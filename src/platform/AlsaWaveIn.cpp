#include "platform/AlsaWaveIn.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <thread>

#include "platform/WaveIn.h"

namespace {

constexpr unsigned PeriodUsec = 10000;
constexpr unsigned BufferUsec = 200000;
constexpr const char* MapperPcm = "default";

// libasound's negative error codes as the layer's own, so that a caller shows a small number
// with a known meaning.
MMRESULT AlsaError(int err) {
  switch (-err) {
    case ENOENT:
    case ENODEV:
    case ENXIO: return MMSYSERR_NODRIVER;  // no such card or device: nothing to record from
    case EBUSY:
    case EAGAIN: return MMSYSERR_ALLOCATED;  // another program holds it
    case ENOMEM: return MMSYSERR_NOMEM;
    case EACCES:
    case EPERM: return MMSYSERR_NOTENABLED;
    case EINVAL: return MMSYSERR_INVALPARAM;
    default: return MMSYSERR_ERROR;
  }
}

snd_pcm_format_t SampleFormat(uint16_t bits) {
  switch (bits) {
    case 8: return SND_PCM_FORMAT_U8;
    case 16: return SND_PCM_FORMAT_S16_LE;
    case 24: return SND_PCM_FORMAT_S24_3LE;  // packed in 3 bytes, like the wave format's container
    default: return SND_PCM_FORMAT_S32_LE;
  }
}

// libasound prints its failures on stderr; here they reach the caller as result codes instead.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

struct HwParamsFree {
  void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
struct SwParamsFree {
  void operator()(snd_pcm_sw_params_t* p) const { snd_pcm_sw_params_free(p); }
};

class AlsaStream final : public IWaveInStream {
public:
  AlsaStream(IWaveInSink& sink, const WaveInFormat& format) : FSink(sink), FFormat(format) {}
  ~AlsaStream() override { Close(); }

  const std::string& PcmName() const { return FPcmName; }

  MMRESULT Open(const std::string& pcmName) {
    FPcmName = pcmName;
    int err = snd_pcm_open(&FPcm, pcmName.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0) {
      FPcm = nullptr;
      return AlsaError(err);
    }
    if (MMRESULT r = Configure()) return r;
    FWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (FWakeFd < 0) return MMSYSERR_NOMEM;
    const int count = snd_pcm_poll_descriptors_count(FPcm);
    if (count < 0) return AlsaError(count);
    FPollFds.resize(static_cast<size_t>(count) + 1);
    err = snd_pcm_poll_descriptors(FPcm, FPollFds.data(), static_cast<unsigned>(count));
    if (err < 0) return AlsaError(err);
    FPollFds.back() = {FWakeFd, POLLIN, 0};
    return MMSYSERR_NOERROR;
  }

  void Start() override {
    std::lock_guard lk(FControl);
    if (FClosed || FThread.joinable() || FGone.load()) return;
    int err = snd_pcm_state(FPcm) == SND_PCM_STATE_PREPARED ? 0 : snd_pcm_prepare(FPcm);
    if (err == 0) err = snd_pcm_start(FPcm);
    if (err < 0) {
      FGone = true;
      FSink.Lost();
      return;
    }
    FQuit = false;
    FThread = std::thread([this] {
      pthread_setname_np(pthread_self(), "WaveInAlsa");
      Capture();
    });
  }

  void Pause() override {
    std::lock_guard lk(FControl);
    if (FClosed) return;
    StopThread();
    snd_pcm_drop(FPcm);
  }

  void Close() override {
    std::lock_guard lk(FControl);
    if (FClosed) return;
    FClosed = true;
    StopThread();
    if (FPcm != nullptr) snd_pcm_close(FPcm);
    if (FWakeFd >= 0) close(FWakeFd);
    FPcm = nullptr;
    FWakeFd = -1;
  }

private:
  MMRESULT Configure() {
    snd_pcm_hw_params_t* hwRaw = nullptr;
    if (snd_pcm_hw_params_malloc(&hwRaw) < 0) return MMSYSERR_NOMEM;
    std::unique_ptr<snd_pcm_hw_params_t, HwParamsFree> hw(hwRaw);
    int err = snd_pcm_hw_params_any(FPcm, hw.get());
    if (err < 0) return AlsaError(err);
    if (snd_pcm_hw_params_set_access(FPcm, hw.get(), SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(FPcm, hw.get(), SampleFormat(FFormat.ContainerBits)) < 0 ||
        snd_pcm_hw_params_set_channels(FPcm, hw.get(), FFormat.Channels) < 0 ||
        snd_pcm_hw_params_set_rate(FPcm, hw.get(), FFormat.SampleRate, 0) < 0)
      return WAVERR_BADFORMAT;
    unsigned buffer = BufferUsec;
    unsigned period = PeriodUsec;
    snd_pcm_hw_params_set_buffer_time_near(FPcm, hw.get(), &buffer, nullptr);
    snd_pcm_hw_params_set_period_time_near(FPcm, hw.get(), &period, nullptr);
    err = snd_pcm_hw_params(FPcm, hw.get());
    if (err < 0) return AlsaError(err);
    snd_pcm_uframes_t periodFrames = 0;
    err = snd_pcm_hw_params_get_period_size(hw.get(), &periodFrames, nullptr);
    if (err < 0) return AlsaError(err);
    FPeriodFrames = std::max<snd_pcm_uframes_t>(1, periodFrames);

    snd_pcm_sw_params_t* swRaw = nullptr;
    if (snd_pcm_sw_params_malloc(&swRaw) < 0) return MMSYSERR_NOMEM;
    std::unique_ptr<snd_pcm_sw_params_t, SwParamsFree> sw(swRaw);
    err = snd_pcm_sw_params_current(FPcm, sw.get());
    if (err == 0) err = snd_pcm_sw_params_set_avail_min(FPcm, sw.get(), FPeriodFrames);
    if (err == 0) err = snd_pcm_sw_params(FPcm, sw.get());
    return err < 0 ? AlsaError(err) : MMSYSERR_NOERROR;
  }

  // Tells the capture thread to end and waits for it; with FControl held.
  void StopThread() {
    if (!FThread.joinable()) return;
    FQuit = true;
    FSink.Wake();
    const uint64_t one = 1;
    [[maybe_unused]] auto written = write(FWakeFd, &one, sizeof one);
    FThread.join();
    uint64_t drained = 0;
    [[maybe_unused]] auto read_ = read(FWakeFd, &drained, sizeof drained);
  }

  // Reads only while a queued buffer has room, so that a source faster than its reader loses
  // nothing; a real device overruns meanwhile and is recovered on the next read.
  void Capture() {
    std::vector<uint8_t> chunk(FPeriodFrames * FFormat.BlockAlign);
    while (size_t room = FSink.WaitForRoom(FQuit)) {
      const auto frames =
          std::clamp<snd_pcm_uframes_t>(room / FFormat.BlockAlign, 1, FPeriodFrames);
      const snd_pcm_sframes_t got = snd_pcm_readi(FPcm, chunk.data(), frames);
      if (got > 0) {
        FSink.Write(chunk.data(), static_cast<size_t>(got) * FFormat.BlockAlign);
        continue;
      }
      bool broken = false;
      if (got == 0 || got == -EAGAIN) {
        const Wait wait = WaitReadable();
        if (wait == Wait::Quit) return;
        broken = wait == Wait::Broken;
      } else {
        broken = !Recover(static_cast<int>(got));
      }
      if (broken) {
        FGone = true;
        FSink.Lost();
        return;
      }
    }
  }

  enum class Wait { Readable, Quit, Broken };

  // A descriptor that hangs up or is no longer valid belongs to a device that is gone: waiting on
  // it again would return at once, for ever.
  Wait WaitReadable() {
    for (auto& fd : FPollFds) fd.revents = 0;
    while (poll(FPollFds.data(), FPollFds.size(), -1) < 0)
      if (errno != EINTR) return Wait::Broken;
    if (FQuit.load()) return Wait::Quit;
    unsigned short revents = 0;
    if (snd_pcm_poll_descriptors_revents(FPcm, FPollFds.data(),
                                         static_cast<unsigned>(FPollFds.size() - 1), &revents) < 0)
      return Wait::Broken;
    if (revents & (POLLHUP | POLLNVAL)) return Wait::Broken;
    if ((revents & POLLERR) && snd_pcm_state(FPcm) == SND_PCM_STATE_DISCONNECTED)
      return Wait::Broken;
    return Wait::Readable;
  }

  // After an overrun or a suspend: true once the device records again. A device that is gone
  // cannot be recovered.
  bool Recover(int err) {
    if (err == -ENODEV || snd_pcm_recover(FPcm, err, 1) < 0) return false;
    return snd_pcm_state(FPcm) == SND_PCM_STATE_RUNNING || snd_pcm_start(FPcm) == 0;
  }

  IWaveInSink& FSink;
  const WaveInFormat FFormat;
  std::string FPcmName;
  snd_pcm_t* FPcm = nullptr;
  snd_pcm_uframes_t FPeriodFrames = 1;
  int FWakeFd = -1;  // written to wake the capture thread out of its poll
  std::vector<pollfd> FPollFds;
  std::mutex FControl;  // start, pause and close
  bool FClosed = false;
  std::thread FThread;
  std::atomic<bool> FQuit{false};
  std::atomic<bool> FGone{false};
};

}  // namespace

AlsaWaveInBackend::AlsaWaveInBackend(Lister lister) : FLister(std::move(lister)) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

uint32_t AlsaWaveInBackend::GetNumDevs() {
  auto devices = NameAlsaCaptureDevices(FLister());
  std::lock_guard lk(FMutex);
  FDevices = std::move(devices);
  FListed = true;
  return static_cast<uint32_t>(FDevices.size());
}

std::vector<NamedAlsaDevice> AlsaWaveInBackend::Devices() {
  {
    std::lock_guard lk(FMutex);
    if (FListed) return FDevices;
  }
  GetNumDevs();
  std::lock_guard lk(FMutex);
  return FDevices;
}

MMRESULT AlsaWaveInBackend::GetDevName(uint32_t deviceId, std::string& name) {
  const auto devices = Devices();
  if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
  name = devices[deviceId].DisplayName;
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveInBackend::GetDeviceOf(uint32_t deviceId, const IWaveInStream& stream,
                                        uint32_t& current) {
  // Where the "default" device records from is libasound's configuration's business.
  const auto* alsaStream = dynamic_cast<const AlsaStream*>(&stream);
  if (deviceId == WAVE_MAPPER || alsaStream == nullptr) return MMSYSERR_NOTSUPPORTED;
  GetNumDevs();
  std::lock_guard lk(FMutex);
  for (uint32_t i = 0; i < FDevices.size(); ++i) {
    if (FDevices[i].PcmName != alsaStream->PcmName()) continue;
    current = i;
    return MMSYSERR_NOERROR;
  }
  return MMSYSERR_BADDEVICEID;
}

MMRESULT AlsaWaveInBackend::Open(uint32_t deviceId, const WaveInFormat& format, IWaveInSink& sink,
                                 std::unique_ptr<IWaveInStream>& stream) {
  std::string pcmName = MapperPcm;
  if (deviceId != WAVE_MAPPER) {
    const auto devices = Devices();
    if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
    pcmName = devices[deviceId].PcmName;
  }
  auto alsaStream = std::make_unique<AlsaStream>(sink, format);
  if (MMRESULT r = alsaStream->Open(pcmName)) return r;
  stream = std::move(alsaStream);
  return MMSYSERR_NOERROR;
}
