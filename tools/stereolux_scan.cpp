// stereolux-scan: the program's capture and peak programme meter run over sound files as
// fast as they can be read, printing each channel's level after every measuring block, or a
// summary per channel.

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ScanOptions.h"
#include "ScanReport.h"
#include "capture/ALAudioIn.h"
#include "dataflow/SLMessageQueue.h"
#include "metering/ALPPMMeter.h"
#include "platform/SoundFileReader.h"
#include "platform/VirtualWaveIn.h"
#include "platform/WaveIn.h"

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitBadInput = 2;
// Capture buffers of 64 KiB with their header: each hand-over from the reading thread to the
// measuring one wakes a thread, and fewer, larger buffers spend less system time on it; 40 of
// them, 2.6 MB, still keep the scanner well within its memory budget.
constexpr uint32_t CaptureBlockBytes = 65536 - 40;
// The block buffers of one file may take this much memory at most.
constexpr uint64_t MaxBlockBytes = uint64_t{1} << 30;
// Once the file has been read, the last blocks must come out within this time.
constexpr auto StallTimeout = std::chrono::seconds(20);

void Complain(const std::string& AText) {
  std::fprintf(stderr, "stereolux-scan: %s\n", AText.c_str());
}

// A pipe, a terminal or another stream read through the sound-file library, which wants to
// seek back to the start after it has looked at the header (FLAC does): the start of the
// stream is kept, so that such seeks are served from memory.
class TStreamInput {
public:
  explicit TStreamInput(int AFd) : FFd(AFd) {}

  static SF_VIRTUAL_IO Functions() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void*) -> sf_count_t { return SF_COUNT_MAX; };  // unknown
    io.seek = [](sf_count_t AOffset, int AWhence, void* AThis) {
      return static_cast<TStreamInput*>(AThis)->Seek(AOffset, AWhence);
    };
    io.read = [](void* APtr, sf_count_t ACount, void* AThis) {
      return static_cast<TStreamInput*>(AThis)->Read(static_cast<char*>(APtr), ACount);
    };
    io.write = [](const void*, sf_count_t, void*) -> sf_count_t { return 0; };
    io.tell = [](void* AThis) { return static_cast<TStreamInput*>(AThis)->FPosition; };
    return io;
  }

private:
  static constexpr sf_count_t KeptBytes = 1 << 16;

  sf_count_t Seek(sf_count_t AOffset, int AWhence) {
    const sf_count_t target = AWhence == SEEK_SET   ? AOffset
                              : AWhence == SEEK_CUR ? FPosition + AOffset
                                                    : -1;
    // Back into what has been read only where it was kept, and never past what has been
    // read: as on a pipe, the library then reads the stream in order instead of looking
    // for what lies after the audio.
    if (target < 0 || target > FConsumed ||
        (target < FConsumed && target >= static_cast<sf_count_t>(FKept.size())))
      return -1;
    FPosition = target;
    return FPosition;
  }

  sf_count_t Read(char* AOut, sf_count_t ACount) {
    sf_count_t done = 0;
    if (FPosition < static_cast<sf_count_t>(FKept.size())) {
      done = std::min<sf_count_t>(ACount, static_cast<sf_count_t>(FKept.size()) - FPosition);
      std::memcpy(AOut, FKept.data() + FPosition, static_cast<size_t>(done));
      FPosition += done;
    }
    while (done < ACount && FPosition == FConsumed) {
      sf_count_t want = ACount - done;
      // Up to the end of the kept start, every byte read is kept.
      if (FConsumed < KeptBytes) want = std::min(want, KeptBytes - FConsumed);
      const ssize_t got = ::read(FFd, AOut + done, static_cast<size_t>(want));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      if (FConsumed < KeptBytes) FKept.insert(FKept.end(), AOut + done, AOut + done + got);
      FConsumed += got;
      FPosition += got;
      done += got;
    }
    return done;
  }

  const int FFd;
  std::vector<char> FKept;   // the first bytes of the stream
  sf_count_t FConsumed = 0;  // bytes read from the stream
  sf_count_t FPosition = 0;  // where the library reads next
};

// The open input: a file opened once (a pipe or standard input cannot be opened again), with
// its format as the capture takes it.
struct TScanInput {
  std::string Name;
  SNDFILE* File = nullptr;
  SF_INFO Info{};
  bool Float = false;  // decoded to floats: floating-point, compressed and companded files
  int32_t Bits = 0;    // width of integer samples
  int Fd = -1;
  std::unique_ptr<TStreamInput> Stream;

  ~TScanInput() {
    if (File) sf_close(File);
    if (Fd > STDERR_FILENO) close(Fd);
  }
};

// Integer PCM keeps its width; everything else is measured as floats, full scale 1.0.
int32_t IntegerBits(int AFormat) {
  switch (AFormat & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: return 0;
  }
}

// Opens and checks one input; the text of what is wrong with it, or an empty one.
std::string OpenInput(const std::string& AName, TScanInput& AInput) {
  AInput.Name = AName;
  AInput.Fd = AName == "-" ? STDIN_FILENO : open(AName.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat status {};
  if (AInput.Fd < 0 || fstat(AInput.Fd, &status) != 0) return std::strerror(errno);
  if (S_ISDIR(status.st_mode)) return "is a directory";
  if (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode)) {
    AInput.File = sf_open_fd(AInput.Fd, SFM_READ, &AInput.Info, SF_FALSE);
  } else {
    AInput.Stream = std::make_unique<TStreamInput>(AInput.Fd);
    SF_VIRTUAL_IO io = TStreamInput::Functions();
    AInput.File = sf_open_virtual(&io, SFM_READ, &AInput.Info, AInput.Stream.get());
  }
  if (!AInput.File) return sf_strerror(nullptr);
  const SF_INFO& info = AInput.Info;
  if (info.channels < 1 || info.channels > WaveInMaxChannels)
    return std::to_string(info.channels) + " channels: 1 to " + std::to_string(WaveInMaxChannels) +
           " are measured";
  if (info.samplerate < 1 || static_cast<uint32_t>(info.samplerate) > WaveInMaxSampleRate)
    return "unsupported sample rate " + std::to_string(info.samplerate) + " Hz (1 to " +
           std::to_string(WaveInMaxSampleRate) + ")";
  AInput.Bits = IntegerBits(info.format);
  AInput.Float = AInput.Bits == 0;
  return {};
}

// Feeds the capture from the input and tells when the input has ended. After the last frame
// comes one frame of silence: the meter measures a block once a frame beyond it has arrived,
// so the block that ends with the file is measured too. Its frame lies outside every block
// that is reported.
class TScanReader {
public:
  TScanReader(TScanInput& AInput, const WaveInFormat& AFormat)
      : FInput(AInput), FReader(AInput.File, AInput.Info.format, AFormat), FFormat(AFormat) {}

  size_t Read(uint8_t* AOut, size_t AFrames) {
    if (FEnded.load(std::memory_order_relaxed)) return 0;
    const size_t got = FReader.Read(AOut, AFrames);
    if (got > 0) {
      FFrames.fetch_add(got, std::memory_order_relaxed);
      return got;
    }
    FReadError = sf_error(FInput.File) != SF_ERR_NO_ERROR;
    std::memset(AOut, FFormat.ContainerBits == 8 && !FFormat.Float ? 0x80 : 0, FFormat.BlockAlign);
    FEnded.store(true, std::memory_order_release);
    if (FOnEnd) FOnEnd();
    return 1;
  }
  // Called on the reading thread once the input has ended.
  void SetOnEnd(std::function<void()> AOnEnd) { FOnEnd = std::move(AOnEnd); }

  // After Ended: the frames of the input, and whether reading it failed.
  bool Ended() const { return FEnded.load(std::memory_order_acquire); }
  uint64_t Frames() const { return FFrames.load(std::memory_order_relaxed); }
  bool ReadError() const { return FReadError; }

private:
  TScanInput& FInput;
  SoundFileReader FReader;
  const WaveInFormat FFormat;
  std::atomic<uint64_t> FFrames{0};
  std::atomic<bool> FEnded{false};
  bool FReadError = false;
  std::function<void()> FOnEnd;
};

// The meter as the program runs it, measuring on the capture's thread. It reports every block
// that lies wholly within the input, and keeps what the summary needs.
class TScanMeter : public TALPPMMeter {
public:
  TScanMeter(const TScanOptions& AOptions, int32_t AChannels, uint32_t ARate, uint32_t ABlock,
             const TScanReader& AReader, TScanReport& AReport)
      : FTable(!AOptions.Summary),
        FChannels(AChannels),
        FRate(ARate),
        FBlock(ABlock),
        FReader(AReader),
        FReport(AReport),
        FMax(static_cast<size_t>(AChannels), -1.0),
        FMaxBlock(static_cast<size_t>(AChannels), 0),
        FClipped(static_cast<size_t>(AChannels), 0) {
    SetSynchronizeType(stNone);
    SetCountChannels(AChannels);
    SetHalfLife(AOptions.Release);
    SetPeriod(AOptions.Period);
  }
  ~TScanMeter() override { BeforeDestruction(); }

  int64_t Blocks() {
    std::lock_guard lock(FMutex);
    return FBlocks;
  }
  // Lets the waiting thread look again.
  void Wake() {
    std::lock_guard lock(FMutex);
    FChanged.notify_all();
  }
  // Waits until every block of the input has been measured, showing progress, or until
  // nothing has moved for AStall after the input ended; false on a stall.
  template <typename TProgress>
  bool WaitForEnd(std::chrono::seconds AStall, TProgress AProgress) {
    std::unique_lock lock(FMutex);
    auto lastMove = std::chrono::steady_clock::now();
    int64_t seen = FBlocks;
    for (;;) {
      if (FReader.Ended() && FBlocks >= LastBlock()) return true;
      FChanged.wait_for(lock, std::chrono::milliseconds(100));
      const auto now = std::chrono::steady_clock::now();
      if (FBlocks != seen || !FReader.Ended()) {
        seen = FBlocks;
        lastMove = now;
      } else if (now - lastMove > AStall) {
        return false;
      }
      AProgress(FBlocks);
    }
  }
  // The summary, once measuring is over.
  void WriteSummary() {
    std::lock_guard lock(FMutex);
    if (FBlocks == 0) return;
    for (int32_t c = 0; c < FChannels; ++c) {
      const auto i = static_cast<size_t>(c);
      FReport.SummaryRow(c, FMax[i], static_cast<double>(FMaxBlock[i]) * FBlock / FRate,
                         FClipped[i]);
    }
  }

protected:
  void CalculateValues(TALChannelReals& AValues) override {
    TALPPMMeter::CalculateValues(AValues);
    std::lock_guard lock(FMutex);
    const int64_t block = FBlocks + 1;
    // Blocks measured after the input's end hold the capture's padding.
    if (FReader.Ended() && block > LastBlock()) return;
    FBlocks = block;
    for (int32_t c = 0; c < FChannels; ++c) {
      const auto i = static_cast<size_t>(c);
      if (AValues[i] > FMax[i]) {
        FMax[i] = AValues[i];
        FMaxBlock[i] = block;
      }
      FClipped[i] = ClippedSamples(c);
    }
    if (FTable) FReport.Row(static_cast<double>(block) * FBlock / FRate, AValues.data());
    // The waiting thread looks at the progress on its own every 100 ms: it is woken for the
    // end only, not for every block.
    if (FReader.Ended() && block >= LastBlock()) FChanged.notify_all();
  }

private:
  int64_t LastBlock() const { return static_cast<int64_t>(FReader.Frames() / FBlock); }

  const bool FTable;
  const int32_t FChannels;
  const uint32_t FRate;
  const uint32_t FBlock;
  const TScanReader& FReader;
  TScanReport& FReport;
  std::mutex FMutex;
  std::condition_variable FChanged;
  int64_t FBlocks = 0;
  std::vector<double> FMax;
  std::vector<int64_t> FMaxBlock;
  std::vector<int64_t> FClipped;
};

class TProgressBar {
public:
  TProgressBar(bool AShown, int64_t ATotal) : FShown(AShown), FTotal(ATotal) {}
  void Show(int64_t ADone) {
    if (!FShown || FTotal <= 0) return;
    const int percent = static_cast<int>(100 * std::min(ADone, FTotal) / FTotal);
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

// Measures one input that has been opened and checked; its exit status.
int Measure(const TScanOptions& AOptions, TScanInput& AInput, TScanReport& AReport) {
  const SF_INFO& info = AInput.Info;
  const auto rate = static_cast<uint32_t>(info.samplerate);
  const auto channels = static_cast<uint32_t>(info.channels);
  const uint64_t block = std::max<uint64_t>(1, uint64_t{AOptions.Period} * rate / 1000);
  if (block * channels * sizeof(float) > MaxBlockBytes) {
    Complain(AInput.Name + ": --period " + std::to_string(AOptions.Period) +
             " is too long for this file: a block of " + std::to_string(block) +
             " frames would take more than 1 GiB");
    return ExitBadInput;
  }
  const TScanScale scale(AInput.Float ? 0 : AInput.Bits, AOptions.DBFS);
  AReport.BeginFile(AInput.Name, static_cast<int32_t>(channels), scale);

  WaveInFormat format;
  format.SampleRate = rate;
  format.Channels = static_cast<uint16_t>(channels);
  format.ContainerBits = static_cast<uint16_t>(AInput.Float ? 32 : AInput.Bits);
  format.BlockAlign = static_cast<uint16_t>(format.ContainerBits / 8 * channels);
  format.Float = AInput.Float;
  TScanReader reader(AInput, format);
  VirtualWaveInDevice device;
  device.Name = "scan";
  device.Signal = VirtualSignal::Reader;
  device.Read = [&reader](uint8_t* AOut, size_t AFrames) { return reader.Read(AOut, AFrames); };
  SetWaveInBackend(
      std::make_shared<VirtualWaveInBackend>(std::vector<VirtualWaveInDevice>{device}));

  TScanMeter meter(AOptions, static_cast<int32_t>(channels), rate, static_cast<uint32_t>(block),
                   reader, AReport);
  // The last block may have been measured before the input ended.
  reader.SetOnEnd([&meter] { meter.Wake(); });
  meter.AfterConstruction();
  int status = 0;
  try {
    TLPComponentLoading loading;
    auto capture = TLPComponent::Create<TALAudioIn>();
    capture->Device().SetDeviceName("scan");
    capture->AudioFormat().SetChannels(channels);
    capture->AudioFormat().SetBits(format.ContainerBits);
    capture->AudioFormat().SetFloat(AInput.Float);
    capture->AudioFormat().SetSampleRate(rate);
    capture->AudioFormat().SetChannelMask(TALSpeakers::FromMask(0));
    capture->AudioFormat().SetBufferSize(
        std::max<uint32_t>(1, CaptureBlockBytes / format.BlockAlign));
    meter.InputPin()->Connect(&capture->OutputPin());
    loading.Loaded();

    const int64_t frames = info.frames;
    const bool known = frames > 0 && frames < SF_COUNT_MAX;
    TProgressBar progress(known && isatty(STDERR_FILENO) && frames > int64_t{60} * rate,
                          known ? frames / static_cast<int64_t>(block) : 0);
    const bool finished =
        meter.WaitForEnd(StallTimeout, [&](int64_t ADone) { progress.Show(ADone); });
    progress.Done();
    if (!finished) {
      Complain(AInput.Name + ": the capture stopped after " +
               std::to_string(static_cast<double>(meter.Blocks()) * block / rate) + " s");
      status = ExitFailure;
    } else if (reader.ReadError()) {
      Complain(AInput.Name + ": read error: " + sf_strerror(AInput.File));
      status = ExitFailure;
    }
    meter.InputPin()->Disconnect();
  } catch (const std::exception& e) {
    Complain(AInput.Name + ": " + e.what());
    status = ExitFailure;
  }
  if (status == 0) {
    if (AOptions.Summary) meter.WriteSummary();
    if (meter.Blocks() == 0)
      Complain(AInput.Name + ": shorter than one block of " + std::to_string(AOptions.Period) +
               " ms: nothing measured");
  }
  return status;
}

// A full disk or a closed pipe would cut the output short: that is a failure.
int CloseOutput(int AStatus) {
  int writeError = std::fflush(stdout) != 0 || std::ferror(stdout) ? errno : 0;
  if (std::fclose(stdout) != 0 && writeError == 0) writeError = errno;
  if (writeError == 0) return AStatus;
  Complain(std::string("cannot write the output: ") + std::strerror(writeError));
  return ExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  TScanOptions options;
  const std::string wrong =
      ParseScanOptions(std::vector<std::string>(argv + 1, argv + argc), options);
  if (!wrong.empty()) {
    Complain(wrong);
    std::fputs("Try 'stereolux-scan --help' for more information.\n", stderr);
    return ExitBadInput;
  }
  if (options.Help || options.Version) {
    std::fputs(options.Help ? ScanHelp().c_str() : "stereolux-scan " STEREOLUX_VERSION "\n",
               stdout);
    return CloseOutput(0);
  }

  // The meter measures on the capture's thread; the queue only serves its set-up.
  SLSetMessageQueue(std::make_shared<TSLMessageQueue>());
  static char outputBuffer[1 << 16];
  std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  TScanReport report(stdout, options.Summary, options.Files.size() > 1);
  int status = 0;
  for (const std::string& name : options.Files) {
    TScanInput input;
    const std::string refused = OpenInput(name, input);
    int fileStatus = 0;
    if (!refused.empty()) {
      Complain(name + ": " + refused);
      fileStatus = ExitBadInput;
    } else {
      fileStatus = Measure(options, input, report);
    }
    if (fileStatus == ExitBadInput || status == 0) status = std::max(status, fileStatus);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) break;
  }
  return CloseOutput(status);
}
