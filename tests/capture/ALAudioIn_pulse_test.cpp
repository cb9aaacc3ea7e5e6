// The capture component on the sound server's backend, against a private server that the
// test fixture starts and stops.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "CaptureTestSupport.h"
#include "PulseTestSupport.h"
#include "dataflow/SLMessageQueue.h"
#include "platform/PulseWaveIn.h"

namespace {

using namespace std::chrono_literals;
using namespace pulse_test;

// The largest magnitude of each channel of a stereo buffer.
std::vector<int32_t> StereoPeaks(const std::vector<int32_t>& AInterleaved) {
  std::vector<int32_t> peaks(2, 0);
  for (size_t i = 0; i < AInterleaved.size(); ++i)
    peaks[i % 2] = std::max(peaks[i % 2], std::abs(AInterleaved[i]));
  return peaks;
}

class CapturePulseTest : public PulseWaveInFixture {
protected:
  std::unique_ptr<TALAudioIn> Build(const std::string& ADevice, TTestReceiver& AReceiver) {
    return BuildCapture([&](TALAudioIn& a) {
      a.Device().SetDeviceName(ADevice);
      a.AudioFormat().SetSampleRate(44100);
      a.AudioFormat().SetBufferSize(256);
      AReceiver.InputPin.Connect(&a.OutputPin());
    });
  }
};

TEST_F(CapturePulseTest, APlayedToneReachesTheReceiverAtItsLevel) {
  Player player(WriteTone("capture_tone.wav", 0.5, 0.25));
  ASSERT_TRUE(player.Started());
  TTestReceiver receiver;
  receiver.KeepSamples();
  auto capture = Build("Monitor of Test-Sink", receiver);

  // The tone may take a few seconds to come through; then a quarter of a second of it.
  std::vector<std::vector<int32_t>> peaks;
  PollUntil(
      [&] {
        std::vector<std::vector<int32_t>> all;
        for (const auto& buffer : receiver.BufferSamples()) all.push_back(StereoPeaks(buffer));
        const auto first =
            std::find_if(all.begin(), all.end(), [](const auto& p) { return p[0] > 0; });
        if (all.end() - first > 45) peaks.assign(first + 5, first + 45);
        return !peaks.empty();
      },
      10s, 100ms);
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
  const std::string module = Pactl(
      "load-module module-null-sink sink_name=vanishing "
      "sink_properties=device.description=Vanishing");
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
  PollUntil(
      [&] {
        queue->ProcessMessages();
        return !errors.empty();
      },
      10s, 5ms);
  EXPECT_EQ(
      errors,
      (std::vector<std::pair<std::string, int32_t>>{{"Audio device lost.", MMSYSERR_NODRIVER}}));
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
