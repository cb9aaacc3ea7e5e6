// stereolux-scan: the program's capture and peak programme meter run over a sound file as
// fast as it can be read, printing each channel's level after every measuring block.

#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "capture/ALAudioIn.h"
#include "dataflow/SLMessageQueue.h"
#include "metering/ALPPMMeter.h"
#include "platform/VirtualWaveIn.h"
#include "platform/WaveIn.h"

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitBadInput = 2;
constexpr const char* Usage = "usage: stereolux-scan [--release MS] [--period MS] [--dbfs] FILE\n";
// Capture buffers of 32 KiB with their header, so that the hand-over to the worker thread
// happens a few times a second only and 40 of them stay well within the memory budget.
constexpr uint32_t CaptureBlockBytes = 32768 - 40;
constexpr auto StallTimeout = std::chrono::seconds(20);

struct TOptions {
  int32_t Release = 400;
  uint32_t Period = 100;
  bool DBFS = false;
  std::string File;
};

bool ParseMilliseconds(const char* AText, long AMax, long& AValue) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(AText, &end, 10);
  if (errno != 0 || end == AText || *end != '\0' || value < 1 || value > AMax) return false;
  AValue = value;
  return true;
}

bool ParseOptions(int argc, char** argv, TOptions& AOptions) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    long value = 0;
    if (arg == "--dbfs") {
      AOptions.DBFS = true;
    } else if (arg == "--release" || arg == "--period") {
      if (i + 1 >= argc || !ParseMilliseconds(argv[++i], 3600000, value)) return false;
      if (arg == "--release") {
        AOptions.Release = static_cast<int32_t>(value);
      } else {
        AOptions.Period = static_cast<uint32_t>(value);
      }
    } else if (arg == "--") {
      if (i + 2 != argc || !AOptions.File.empty()) return false;
      AOptions.File = argv[i + 1];
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return false;
    } else if (AOptions.File.empty()) {
      AOptions.File = arg;
    } else {
      return false;
    }
  }
  return !AOptions.File.empty();
}

// Bits of an integer PCM file, or 0 for any other encoding.
int BitsOf(const SF_INFO& AInfo) {
  switch (AInfo.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: return 0;
  }
}

// Same decibel scale as the program's readouts: 0 dB is 65536 sample units.
double AmplitudeToDBFS(double AValue) {
  const double magnitude = std::fabs(AValue);
  return 20.0 * std::log10((magnitude > 0 ? magnitude : 1.0) / 65536.0);
}

// The meter as the program runs it, measuring on the capture's thread and writing one line
// per block up to the last block that lies wholly within the file.
class TScanMeter : public TALPPMMeter {
public:
  TScanMeter(const TOptions& AOptions, uint32_t ARate, int32_t AChannels, int64_t ALastBlock)
      : FDBFS(AOptions.DBFS), FRate(ARate), FChannels(AChannels), FLastBlock(ALastBlock) {
    SetSynchronizeType(stNone);
    SetCountChannels(AChannels);
    SetHalfLife(AOptions.Release);
    SetPeriod(AOptions.Period);
  }

  int64_t BlocksDone() {
    std::lock_guard lock(FMutex);
    return FBlocks;
  }
  // Waits until the last block is out or nothing has moved for ATimeout; false on a stall.
  bool WaitForEnd(std::chrono::milliseconds ATick, std::chrono::seconds ATimeout,
                  const std::function<void(int64_t)>& AProgress) {
    std::unique_lock lock(FMutex);
    auto lastMove = std::chrono::steady_clock::now();
    int64_t seen = FBlocks;
    while (FBlocks < FLastBlock) {
      FChanged.wait_for(lock, ATick);
      if (FBlocks != seen) {
        seen = FBlocks;
        lastMove = std::chrono::steady_clock::now();
      } else if (std::chrono::steady_clock::now() - lastMove > ATimeout) {
        return false;
      }
      if (AProgress) AProgress(FBlocks);
    }
    return true;
  }

protected:
  void CalculateValues(TALChannelReals& AValues) override {
    TALPPMMeter::CalculateValues(AValues);
    std::lock_guard lock(FMutex);
    if (FBlocks >= FLastBlock) return;  // past the end of the file
    ++FBlocks;
    const double end = static_cast<double>(FBlocks) * GetBlockSize() / FRate;
    char line[32 * 24 + 32];
    int length = std::snprintf(line, sizeof line, "%.3f", end);
    for (int32_t c = 0; c < FChannels; ++c) {
      const double value = AValues[static_cast<size_t>(c)];
      length += FDBFS ? std::snprintf(line + length, sizeof line - length, ",%.4f",
                                      AmplitudeToDBFS(value))
                      : std::snprintf(line + length, sizeof line - length, ",%.9g", value);
    }
    line[length++] = '\n';
    std::fwrite(line, 1, static_cast<size_t>(length), stdout);
    if (FBlocks == FLastBlock) FChanged.notify_all();
  }

private:
  const bool FDBFS;
  const uint32_t FRate;
  const int32_t FChannels;
  const int64_t FLastBlock;
  std::mutex FMutex;
  std::condition_variable FChanged;
  int64_t FBlocks = 0;
};

class TProgressBar {
public:
  TProgressBar(bool AShown, int64_t ATotal) : FShown(AShown), FTotal(ATotal) {}
  void Show(int64_t ADone) {
    if (!FShown || FTotal <= 0) return;
    const int percent = static_cast<int>(100 * ADone / FTotal);
    if (percent == FLast) return;
    FLast = percent;
    char bar[41];
    std::memset(bar, '#', 40);
    std::memset(bar + percent * 40 / 100, '-', 40 - percent * 40 / 100);
    bar[40] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
  }
  void Done() {
    if (FShown && FLast >= 0) std::fputs("\r\033[K", stderr);
  }

private:
  const bool FShown;
  const int64_t FTotal;
  int FLast = -1;
};

int Scan(const TOptions& AOptions) {
  SF_INFO info{};
  SNDFILE* file = sf_open(AOptions.File.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "stereolux-scan: cannot read %s: %s\n", AOptions.File.c_str(),
                 sf_strerror(nullptr));
    return ExitBadInput;
  }
  sf_close(file);
  const int bits = BitsOf(info);
  if (bits == 0 || info.channels < 1 || info.channels > 32 || info.samplerate < 1) {
    std::fprintf(stderr,
                 "stereolux-scan: %s: unsupported format (needs 8, 16, 24 or 32-bit integer PCM, 1 "
                 "to 32 channels)\n",
                 AOptions.File.c_str());
    return ExitBadInput;
  }
  const auto rate = static_cast<uint32_t>(info.samplerate);
  const auto channels = static_cast<uint32_t>(info.channels);
  const int64_t frames = info.frames;

  static char outputBuffer[1 << 16];
  std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  std::fputs("time_s", stdout);
  for (uint32_t c = 0; c < channels; ++c) std::printf(",ch%u", c);
  std::fputc('\n', stdout);

  VirtualWaveInDevice device;
  device.Name = "scan";
  device.Signal = VirtualSignal::File;
  device.FilePath = AOptions.File;
  device.Loop = false;
  device.RealTime = false;
  SetWaveInBackend(
      std::make_shared<VirtualWaveInBackend>(std::vector<VirtualWaveInDevice>{device}));

  const uint32_t block =
      std::max<uint32_t>(1, static_cast<uint32_t>(uint64_t{AOptions.Period} * rate / 1000));
  const int64_t lastBlock = frames / block;
  // The meter measures a block once a frame beyond it has arrived. A partly filled last
  // buffer provides that frame (its unfilled part reads as silence), so the buffer size is
  // chosen not to divide the file.
  uint32_t bufferFrames = CaptureBlockBytes / (channels * static_cast<uint32_t>(bits / 8));
  while (bufferFrames > 1 && frames % bufferFrames == 0) --bufferFrames;

  TScanMeter meter(AOptions, rate, static_cast<int32_t>(channels), lastBlock);
  meter.AfterConstruction();
  int status = 0;
  try {
    TLPComponentLoading loading;
    auto capture = TLPComponent::Create<TALAudioIn>();
    capture->Device().SetDeviceName("scan");
    capture->AudioFormat().SetChannels(channels);
    capture->AudioFormat().SetBits(static_cast<uint32_t>(bits));
    capture->AudioFormat().SetSampleRate(rate);
    capture->AudioFormat().SetChannelMask(TALSpeakers::FromMask(0));
    capture->AudioFormat().SetBufferSize(bufferFrames);
    meter.InputPin()->Connect(&capture->OutputPin());
    loading.Loaded();

    TProgressBar progress(isatty(STDERR_FILENO) && frames > int64_t{60} * rate, lastBlock);
    const bool finished = meter.WaitForEnd(std::chrono::milliseconds(100), StallTimeout,
                                           [&](int64_t ADone) { progress.Show(ADone); });
    progress.Done();
    if (!finished) {
      std::fprintf(stderr, "stereolux-scan: %s: the capture stopped after %.3f s\n",
                   AOptions.File.c_str(), static_cast<double>(meter.BlocksDone()) * block / rate);
      status = ExitFailure;
    }
    meter.InputPin()->Disconnect();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "stereolux-scan: %s: %s\n", AOptions.File.c_str(), e.what());
    status = ExitFailure;
  }
  std::fflush(stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // The meter measures on the capture's thread; the queue only serves its set-up.
  SLSetMessageQueue(std::make_shared<TSLMessageQueue>());
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("stereolux-scan %s\n", STEREOLUX_VERSION);
    return 0;
  }
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(Usage, stderr);
    return ExitBadInput;
  }
  return Scan(options);
}
