// The wave-input layer against a private sound server (see pulse_daemon.sh), started by the test
// fixture around these tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "AlsaTestSupport.h"
#include "PulseTestSupport.h"
#include "WaveInTestSupport.h"
#include "platform/AudioCtl.h"
#include "platform/PulseWaveIn.h"

namespace {

using namespace std::chrono_literals;
using namespace pulse_test;

class PulseWaveInTest : public PulseWaveInFixture {};

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

TEST_F(PulseWaveInTest, RecordsAPlayedToneAtItsLevel) {
  Player player(WriteTone("tone.wav", 0.5, 0.25));
  ASSERT_TRUE(player.Started());

  for (uint32_t device : {WAVE_MAPPER, DeviceNumber("Monitor of Test-Sink")}) {
    SCOPED_TRACE(device);
    {
      std::lock_guard lk(PeakMeter::Mutex);
      PeakMeter::Peaks.clear();
    }
    Recording rec(device, MakeFormat(2, 44100, 16), 8, 4410 * 4, &PeakMeter::OnData);
    ASSERT_EQ(rec.Result, 0u);

    // Wait for the tone, then measure it over ten buffers (one second).
    std::vector<std::pair<int, int>> peaks;
    PollUntil(
        [&] {
          std::lock_guard lk(PeakMeter::Mutex);
          auto first = std::find_if(PeakMeter::Peaks.begin(), PeakMeter::Peaks.end(),
                                    [](auto p) { return p.first > 0; });
          if (PeakMeter::Peaks.end() - first < 12) return false;
          peaks.assign(first + 1, first + 11);  // the first one may hold the tone's start only
          return true;
        },
        10s, 100ms);
    rec.End();

    ASSERT_EQ(peaks.size(), 10u) << "the tone was not recorded";
    for (auto [left, right] : peaks) {
      EXPECT_NEAR(left, 0.5 * 32767, 0.02 * 16384);
      EXPECT_NEAR(right, 0.25 * 32767, 0.02 * 8192);
    }
  }
}

TEST_F(PulseWaveInTest, UnloadingTheSourceReturnsTheBuffersAndALaterOpenWorks) {
  const std::string module = Pactl(
      "load-module module-null-sink sink_name=vanishing "
      "sink_properties=device.description=Vanishing");
  ASSERT_FALSE(module.empty());
  const uint32_t device = DeviceNumber("Monitor of Vanishing");
  ASSERT_LT(device, waveInGetNumDevs());

  // A second each: all still queued at the unload.
  Recording rec(device, MakeFormat(2, 44100, 16), 4, 44100 * 4);
  ASSERT_EQ(rec.Result, 0u);
  std::this_thread::sleep_for(200ms);
  Pactl("unload-module " + module);

  EXPECT_TRUE(rec.Notes.WaitForData(4, 5s)) << "the queued buffers were not returned";
  EXPECT_EQ(waveInAddBuffer(rec.Handle, rec.Buffers.Header(0), sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
  rec.End();
  EXPECT_EQ(DeviceNumber("Monitor of Vanishing"), waveInGetNumDevs()) << "still listed";

  Recording again(WAVE_MAPPER, MakeFormat(2, 44100, 16), 2, 441 * 4);
  ASSERT_EQ(again.Result, 0u);
  EXPECT_TRUE(again.Notes.WaitForData(2));
  EXPECT_EQ(again.Notes.Notes()[1].BytesRecorded, 441u * 4);
}

TEST_F(PulseWaveInTest, NothingHangsWhenTheServerFreezesOrGoes) {
  OwnDaemon own(DaemonDir + "-gone");
  ASSERT_EQ(own.Start(), "");
  const pid_t daemon = own.Pid();

  auto backend = PulseWaveInBackend::Connect(own.Server());
  ASSERT_TRUE(backend);
  SetWaveInBackend(backend);
  const auto format = MakeFormat(2, 44100, 16);

  // Frozen: reset and close do not wait for an answer.
  {
    Recording rec(WAVE_MAPPER, format, 4, 44100 * 4);
    ASSERT_EQ(rec.Result, 0u);
    ASSERT_EQ(kill(daemon, SIGSTOP), 0);
    rec.End();
    EXPECT_EQ(rec.Notes.DataCount(), 4u);
    ASSERT_EQ(kill(daemon, SIGCONT), 0);
  }

  // Gone while recording: the buffers come back, and the device is refused afterwards.
  {
    Recording rec(WAVE_MAPPER, format, 4, 44100 * 4);
    ASSERT_EQ(rec.Result, 0u);
    ASSERT_EQ(kill(daemon, SIGKILL), 0);
    EXPECT_TRUE(rec.Notes.WaitForData(4, 5s));
  }
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  Recording none(WAVE_MAPPER, format, 1, 441 * 4);
  EXPECT_EQ(none.Result, MMSYSERR_NODRIVER);

  // Back again: the same backend finds it without being made anew.
  ASSERT_EQ(own.Start(), "");
  EXPECT_EQ(waveInGetNumDevs(), 2u);
  Recording back(WAVE_MAPPER, format, 1, 441 * 4);
  ASSERT_EQ(back.Result, 0u);
  EXPECT_TRUE(back.Notes.WaitForData(1));
}

// A machine with neither a sound server nor a card: the system's device calls and recording
// control find a server that starts later, without being made anew.
TEST(SystemSoundTest, ASoundServerThatStartsLaterIsFound) {
  PULSE_TEST_REQUIRE_SERVER();
  OwnDaemon own(DaemonDir + "-later");
  own.Stop();
  ASSERT_EQ(setenv("PULSE_SERVER", own.Server().c_str(), 1), 0);
  AlsaConfig config;
  config.Use("");
  SetWaveInBackend(nullptr);
  TCAudioRecord rec;
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  EXPECT_EQ(rec.GetDeviceCount(), 0);

  ASSERT_EQ(own.Start(), "");
  EXPECT_TRUE(PollUntil([] { return waveInGetNumDevs() == 2; }, 5s, 200ms));
  EXPECT_EQ(TCAudioRecord().GetDeviceCount(), 2) << "a control made now asks the server";
  SetWaveInBackend(nullptr);
  unsetenv("PULSE_SERVER");
}

}  // namespace
