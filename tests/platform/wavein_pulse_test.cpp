// The wave-input layer against a private sound server (see pulse_daemon.sh), started by the test
// fixture around these tests.

#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <thread>

#include "WaveInTestSupport.h"
#include "platform/PulseWaveIn.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

const std::string DaemonDir = PULSE_TEST_DIR;
const std::string DaemonScript = PULSE_DAEMON_SCRIPT;

std::string ServerOf(const std::string& dir) { return "unix:" + dir + "/native"; }

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

std::string Pactl(const std::string& dir, const std::string& args) {
  return Run("pactl --server=" + ServerOf(dir) + " " + args + " 2>&1");
}

// A child process that ends with the object.
class Child {
public:
  explicit Child(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&FPid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) FPid = 0;
  }
  ~Child() {
    if (FPid == 0) return;
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
  }
  bool Started() const { return FPid != 0; }

private:
  pid_t FPid = 0;
};

std::string Unavailable(const std::string& dir) {
  std::ifstream in(dir + "/unavailable");
  if (!in) return {};
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class PulseWaveInTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string why = Unavailable(DaemonDir);
    if (!why.empty()) GTEST_SKIP() << why;
    FBackend = PulseWaveInBackend::Connect(ServerOf(DaemonDir));
    ASSERT_TRUE(FBackend) << "no answer from the private server at " << ServerOf(DaemonDir);
    SetWaveInBackend(FBackend);
  }
  void TearDown() override { SetWaveInBackend(nullptr); }

  std::shared_ptr<PulseWaveInBackend> FBackend;
};

std::vector<std::string> DeviceNames() {
  std::vector<std::string> names;
  const uint32_t n = waveInGetNumDevs();
  for (uint32_t i = 0; i < n; ++i) {
    WAVEINCAPS caps{};
    EXPECT_EQ(waveInGetDevCaps(i, &caps, sizeof caps), 0u);
    names.push_back(caps.szPname);
  }
  return names;
}

uint32_t DeviceNumber(const std::string& name) {
  const auto names = DeviceNames();
  return static_cast<uint32_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

TEST_F(PulseWaveInTest, ListsRealInputsBeforeMonitors) {
  EXPECT_EQ(DeviceNames(), (std::vector<std::string>{"Test-Pipe", "Monitor of Test-Sink"}));
}

// Peak of each channel over every full buffer, buffers re-queued as they come back.
struct PeakMeter {
  static inline std::mutex Mutex;
  static inline std::vector<std::pair<int, int>> Peaks;

  static void OnData(HWAVEIN hwi, WAVEHDR* hdr) {
    if (hdr->dwBytesRecorded != hdr->dwBufferLength) return;
    const auto* s = reinterpret_cast<const int16_t*>(hdr->lpData);
    int left = 0, right = 0;
    for (uint32_t i = 0; i + 1 < hdr->dwBytesRecorded / 2; i += 2) {
      left = std::max(left, std::abs(int{s[i]}));
      right = std::max(right, std::abs(int{s[i + 1]}));
    }
    {
      std::lock_guard lk(Mutex);
      Peaks.emplace_back(left, right);
    }
    waveInAddBuffer(hwi, hdr, sizeof *hdr);
  }
};

std::string WriteTone(double left, double right) {
  const auto path = std::filesystem::path(DaemonDir) / "tone.wav";
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(f, nullptr);
  std::vector<int16_t> frames(2 * 44100 * 20);
  for (size_t i = 0; i < frames.size() / 2; ++i) {
    const double s = std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i) / 44100.0);
    frames[2 * i] = static_cast<int16_t>(std::lround(s * left * 32767));
    frames[2 * i + 1] = static_cast<int16_t>(std::lround(s * right * 32767));
  }
  sf_writef_short(f, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
  sf_close(f);
  return path.string();
}

TEST_F(PulseWaveInTest, RecordsAPlayedToneAtItsLevel) {
  Child player({"paplay", "--server=" + ServerOf(DaemonDir), "--device=stereolux_test", WriteTone(0.5, 0.25)});
  ASSERT_TRUE(player.Started());

  for (uint32_t device : {WAVE_MAPPER, DeviceNumber("Monitor of Test-Sink")}) {
    SCOPED_TRACE(device);
    {
      std::lock_guard lk(PeakMeter::Mutex);
      PeakMeter::Peaks.clear();
    }
    Notifications notes;
    notes.SetOnData(&PeakMeter::OnData);
    HWAVEIN h = 0;
    ASSERT_EQ(waveInOpen(&h, device, AsFormat(MakeFormat(2, 44100, 16)), &Notifications::Callback, notes.Instance(), CALLBACK_FUNCTION), 0u);
    BufferSet buffers(8, 4410 * 4);
    ASSERT_EQ(buffers.PrepareAndAddAll(h), 0u);
    ASSERT_EQ(waveInStart(h), 0u);

    // Wait for the tone, then measure it over ten buffers (one second).
    std::vector<std::pair<int, int>> peaks;
    for (int i = 0; i < 100; ++i) {
      std::this_thread::sleep_for(100ms);
      std::lock_guard lk(PeakMeter::Mutex);
      auto first = std::find_if(PeakMeter::Peaks.begin(), PeakMeter::Peaks.end(), [](auto p) { return p.first > 0; });
      if (PeakMeter::Peaks.end() - first >= 12) {
        peaks.assign(first + 1, first + 11);  // the first one may hold the tone's start only
        break;
      }
    }
    notes.SetOnData(nullptr);
    EXPECT_EQ(waveInReset(h), 0u);
    EXPECT_EQ(buffers.UnprepareAll(h), 0u);
    EXPECT_EQ(waveInClose(h), 0u);

    ASSERT_EQ(peaks.size(), 10u) << "the tone was not recorded";
    for (auto [left, right] : peaks) {
      EXPECT_NEAR(left, 0.5 * 32767, 0.02 * 16384);
      EXPECT_NEAR(right, 0.25 * 32767, 0.02 * 8192);
    }
  }
}

TEST_F(PulseWaveInTest, UnloadingTheSourceReturnsTheBuffersAndALaterOpenWorks) {
  const std::string module = Pactl(DaemonDir, "load-module module-null-sink sink_name=vanishing sink_properties=device.description=Vanishing");
  ASSERT_FALSE(module.empty());
  const uint32_t device = DeviceNumber("Monitor of Vanishing");
  ASSERT_LT(device, waveInGetNumDevs());

  Notifications notes;
  HWAVEIN h = 0;
  ASSERT_EQ(waveInOpen(&h, device, AsFormat(MakeFormat(2, 44100, 16)), &Notifications::Callback, notes.Instance(), CALLBACK_FUNCTION), 0u);
  BufferSet buffers(4, 44100 * 4);  // a second each: all still queued at the unload
  ASSERT_EQ(buffers.PrepareAndAddAll(h), 0u);
  ASSERT_EQ(waveInStart(h), 0u);
  std::this_thread::sleep_for(200ms);
  Pactl(DaemonDir, "unload-module " + module);

  EXPECT_TRUE(notes.WaitForData(4, 5s)) << "the queued buffers were not returned";
  EXPECT_EQ(waveInAddBuffer(h, buffers.Header(0), sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInReset(h), 0u);
  EXPECT_EQ(buffers.UnprepareAll(h), 0u);
  EXPECT_EQ(waveInClose(h), 0u);
  EXPECT_EQ(DeviceNumber("Monitor of Vanishing"), waveInGetNumDevs()) << "still listed";

  Notifications again;
  ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, AsFormat(MakeFormat(2, 44100, 16)), &Notifications::Callback, again.Instance(), CALLBACK_FUNCTION), 0u);
  BufferSet small(2, 441 * 4);
  ASSERT_EQ(small.PrepareAndAddAll(h), 0u);
  ASSERT_EQ(waveInStart(h), 0u);
  EXPECT_TRUE(again.WaitForData(2));
  EXPECT_EQ(again.Notes()[1].BytesRecorded, 441u * 4);
  EXPECT_EQ(waveInReset(h), 0u);
  EXPECT_EQ(small.UnprepareAll(h), 0u);
  EXPECT_EQ(waveInClose(h), 0u);
}

TEST_F(PulseWaveInTest, NothingHangsWhenTheServerFreezesOrGoes) {
  const std::string dir = DaemonDir + "-gone";
  ASSERT_EQ(std::system((DaemonScript + " start " + dir).c_str()), 0);
  struct StopDaemon {
    std::string command;
    ~StopDaemon() { (void)std::system(command.c_str()); }
  } stop{DaemonScript + " stop " + dir};
  ASSERT_EQ(Unavailable(dir), "");
  std::ifstream pidFile(dir + "/pid");
  pid_t daemon = 0;
  pidFile >> daemon;
  ASSERT_GT(daemon, 0);

  auto backend = PulseWaveInBackend::Connect(ServerOf(dir));
  ASSERT_TRUE(backend);
  SetWaveInBackend(backend);
  const auto format = MakeFormat(2, 44100, 16);

  // Frozen: reset and close do not wait for an answer.
  Notifications notes;
  HWAVEIN h = 0;
  ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, AsFormat(format), &Notifications::Callback, notes.Instance(), CALLBACK_FUNCTION), 0u);
  BufferSet buffers(4, 44100 * 4);
  ASSERT_EQ(buffers.PrepareAndAddAll(h), 0u);
  ASSERT_EQ(waveInStart(h), 0u);
  ASSERT_EQ(kill(daemon, SIGSTOP), 0);
  EXPECT_EQ(waveInReset(h), 0u);
  EXPECT_EQ(notes.DataCount(), 4u);
  EXPECT_EQ(buffers.UnprepareAll(h), 0u);
  EXPECT_EQ(waveInClose(h), 0u);
  ASSERT_EQ(kill(daemon, SIGCONT), 0);

  // Gone while recording: the buffers come back, and the device is refused afterwards.
  Notifications more;
  ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, AsFormat(format), &Notifications::Callback, more.Instance(), CALLBACK_FUNCTION), 0u);
  ASSERT_EQ(buffers.PrepareAndAddAll(h), 0u);
  ASSERT_EQ(waveInStart(h), 0u);
  ASSERT_EQ(kill(daemon, SIGKILL), 0);
  EXPECT_TRUE(more.WaitForData(4, 5s));
  EXPECT_EQ(waveInReset(h), 0u);
  EXPECT_EQ(buffers.UnprepareAll(h), 0u);
  EXPECT_EQ(waveInClose(h), 0u);

  EXPECT_EQ(waveInGetNumDevs(), 0u);
  HWAVEIN none = 0;
  EXPECT_EQ(waveInOpen(&none, WAVE_MAPPER, AsFormat(format), &Notifications::Callback, more.Instance(), CALLBACK_FUNCTION), MMSYSERR_NODRIVER);

  // Back again: the same backend finds it without being made anew.
  ASSERT_EQ(std::system((DaemonScript + " start " + dir).c_str()), 0);
  ASSERT_EQ(Unavailable(dir), "");
  EXPECT_EQ(waveInGetNumDevs(), 2u);
  Notifications back;
  ASSERT_EQ(waveInOpen(&h, WAVE_MAPPER, AsFormat(format), &Notifications::Callback, back.Instance(), CALLBACK_FUNCTION), 0u);
  BufferSet small(1, 441 * 4);
  ASSERT_EQ(small.PrepareAndAddAll(h), 0u);
  ASSERT_EQ(waveInStart(h), 0u);
  EXPECT_TRUE(back.WaitForData(1));
  EXPECT_EQ(waveInReset(h), 0u);
  EXPECT_EQ(small.UnprepareAll(h), 0u);
  EXPECT_EQ(waveInClose(h), 0u);
}

}  // namespace
