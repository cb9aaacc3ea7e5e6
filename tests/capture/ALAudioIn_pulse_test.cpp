// The capture component on the sound server's backend, against a private server that the
// test fixture starts and stops.

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

#include "CaptureTestSupport.h"
#include "dataflow/SLMessageQueue.h"
#include "platform/PulseWaveIn.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

const std::string DaemonDir = PULSE_TEST_DIR;
const std::string Server = "unix:" + DaemonDir + "/native";

std::string Pactl(const std::string& AArgs) {
  std::string out;
  if (FILE* p = popen(("pactl --server=" + Server + " " + AArgs + " 2>&1").c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p)) out += buffer;
    pclose(p);
  }
  return out;
}

class TPlayer {
public:
  explicit TPlayer(const std::string& AFile) {
    std::vector<std::string> args{"paplay", "--server=" + Server, "--device=stereolux_test", AFile};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&FPid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) FPid = 0;
  }
  ~TPlayer() {
    if (FPid == 0) return;
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
  }
  bool Started() const { return FPid != 0; }

private:
  pid_t FPid = 0;
};

std::string WriteTone(double ALeft, double ARight) {
  const std::string path = DaemonDir + "/capture_tone.wav";
  SF_INFO info{};
  info.samplerate = 44100;
  info.channels = 2;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(file, nullptr);
  std::vector<int16_t> frames(2 * 44100 * 20);
  for (size_t i = 0; i < frames.size() / 2; ++i) {
    const double s = std::sin(2 * std::numbers::pi * 1000.0 * static_cast<double>(i) / 44100.0);
    frames[2 * i] = static_cast<int16_t>(std::lround(s * ALeft * 32767));
    frames[2 * i + 1] = static_cast<int16_t>(std::lround(s * ARight * 32767));
  }
  sf_writef_short(file, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
  sf_close(file);
  return path;
}

class CapturePulseTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::ifstream unavailable(DaemonDir + "/unavailable");
    if (unavailable) {
      std::stringstream why;
      why << unavailable.rdbuf();
      GTEST_SKIP() << why.str();
    }
    auto backend = PulseWaveInBackend::Connect(Server);
    ASSERT_TRUE(backend) << "no answer from the private server at " << Server;
    SetWaveInBackend(backend);
  }
  void TearDown() override { SetWaveInBackend(nullptr); }

  std::unique_ptr<TALAudioIn> Build(const std::string& ADevice, TTestReceiver& AReceiver) {
    TLPComponentLoading loading;
    auto capture = TLPComponent::Create<TALAudioIn>();
    capture->Device().SetDeviceName(ADevice);
    capture->AudioFormat().SetSampleRate(44100);
    capture->AudioFormat().SetBufferSize(256);
    AReceiver.InputPin.Connect(&capture->OutputPin());
    loading.Loaded();
    return capture;
  }
};

TEST_F(CapturePulseTest, APlayedToneReachesTheReceiverAtItsLevel) {
  TPlayer player(WriteTone(0.5, 0.25));
  ASSERT_TRUE(player.Started());
  TTestReceiver receiver;
  receiver.KeepPeaks();
  auto capture = Build("Monitor of Test-Sink", receiver);

  // The tone may take a few seconds to come through; then a quarter of a second of it.
  std::vector<std::vector<int32_t>> peaks;
  for (int i = 0; i < 100 && peaks.empty(); ++i) {
    std::this_thread::sleep_for(100ms);
    const auto all = receiver.BufferPeaks();
    const auto first = std::find_if(all.begin(), all.end(), [](const auto& p) { return p[0] > 0; });
    if (all.end() - first > 45) peaks.assign(first + 5, first + 45);
  }
  capture->Stop();
  ASSERT_EQ(peaks.size(), 40u) << "the tone did not come through";
  for (const auto& p : peaks) {
    ASSERT_EQ(p.size(), 2u);
    EXPECT_NEAR(p[0], 0.5 * 32767, 0.03 * 16384);
    EXPECT_NEAR(p[1], 0.25 * 32767, 0.03 * 8192);
  }
  EXPECT_EQ(receiver.Kinds().back(), "endstop");
}

TEST_F(CapturePulseTest, TheSourceVanishingWhileCapturingHangsNothing) {
  const std::string module =
      Pactl("load-module module-null-sink sink_name=vanishing sink_properties=device.description=Vanishing");
  ASSERT_FALSE(module.empty());
  // The loss is reported through the main thread's queue, which this test runs.
  auto queue = std::make_shared<TSLMessageQueue>();
  SLSetMessageQueue(queue);
  std::vector<std::pair<std::string, int32_t>> errors;
  TTestReceiver receiver;
  auto capture = Build("Monitor of Vanishing", receiver);
  SLSetMessageQueue(nullptr);  // the capture keeps the one it was made with
  capture->SetOnError([&](TALAudioIn*, const std::string& text, int32_t code, bool& handled) {
    errors.emplace_back(text, code);
    handled = true;
  });
  ASSERT_TRUE(receiver.WaitFor("buffer", 10)) << "nothing captured from the new source";

  Pactl("unload-module " + module);
  for (int i = 0; i < 2000 && errors.empty(); ++i) {
    queue->ProcessMessages();
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(errors, (std::vector<std::pair<std::string, int32_t>>{{"Audio device lost.", MMSYSERR_NODRIVER}}));
  const size_t afterLoss = receiver.Count("buffer");
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(receiver.Count("buffer"), afterLoss) << "audio from a source that is gone";

  capture->Stop();
  EXPECT_FALSE(capture->GetEnabled());
  EXPECT_EQ(receiver.Kinds().back(), "endstop");

  // The name is gone, so the next start records from the default source.
  capture->Start();
  EXPECT_TRUE(capture->GetEnabled());
  EXPECT_TRUE(receiver.WaitFor("buffer", afterLoss + 10)) << "no audio after the restart";
  capture->Stop();
  EXPECT_EQ(receiver.Count("endstop"), 2u);
}

}  // namespace
