// The capture component recording from libasound devices of a private configuration: what the
// device holds arrives unchanged and the meter reads its levels, a device that cannot be
// opened is reported with libasound's own code, and one that goes away is reported on the main
// thread.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

#include "AlsaTestSupport.h"
#include "CaptureTestSupport.h"
#include "capture/ALAudioIn.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"
#include "dataflow/SLMessageQueue.h"
#include "metering/ALPPMMeter.h"
#include "platform/AlsaWaveIn.h"

namespace {

using namespace std::chrono_literals;

// The peak meter as the window runs it, keeping the levels of every block in stream order.
class TBlockMeter : public TALPPMMeter {
public:
  TBlockMeter() { SetSynchronizeType(stNone); }
  ~TBlockMeter() override { BeforeDestruction(); }

  bool WaitForBlocks(size_t ACount) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, 20s, [&] { return FBlocks.size() >= ACount; });
  }
  std::vector<std::array<double, 2>> Blocks() {
    std::lock_guard lock(FMutex);
    return FBlocks;
  }

protected:
  void CalculateValues(TALChannelReals& AValues) override {
    TALPPMMeter::CalculateValues(AValues);
    {
      std::lock_guard lock(FMutex);
      FBlocks.push_back({AValues[0], AValues[1]});
    }
    FChanged.notify_all();
  }

private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<std::array<double, 2>> FBlocks;
};

class AlsaCaptureTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetWaveInBackend(std::make_shared<AlsaWaveInBackend>());
    SLSetMessageQueue(FQueue);
  }
  void TearDown() override {
    SLSetMessageQueue(nullptr);
    SetWaveInBackend(nullptr);
  }

  AlsaConfig FConfig;
  std::shared_ptr<TSLMessageQueue> FQueue = std::make_shared<TSLMessageQueue>();
};

TEST_F(AlsaCaptureTest, TheDefaultDeviceArrivesSampleForSample) {
  const auto bytes = FConfig.WriteLevels("levels.raw", 100000);
  FConfig.Use("pcm.!default {\n" + AlsaConfig::FilePcm((FConfig.Dir() / "levels.raw").string()) +
              "}\n");
  TTestReceiver receiver;
  receiver.KeepSamples();
  auto capture = BuildCapture([&](TALAudioIn& a) { receiver.InputPin.Connect(&a.OutputPin()); });

  const size_t wanted = 40000;  // samples: 20000 frames, within 20 buffers
  ASSERT_TRUE(receiver.WaitFor("buffer", 20));
  capture->Stop();
  std::vector<int32_t> samples;
  for (const auto& buffer : receiver.BufferSamples())
    samples.insert(samples.end(), buffer.begin(), buffer.end());
  ASSERT_GE(samples.size(), wanted);
  for (size_t i = 0; i < wanted; ++i) {
    const auto expected = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                               static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    ASSERT_EQ(samples[i], expected) << "sample " << i;
  }
}

TEST_F(AlsaCaptureTest, TheMeterReadsTheLevelsOfTheFile) {
  // Two seconds of a 441 Hz sine, 25 samples a cycle: left at half scale, right at a quarter.
  constexpr uint32_t Rate = 11025;
  constexpr size_t Frames = 2 * Rate;
  std::vector<int16_t> samples;
  for (size_t f = 0; f < Frames; ++f) {
    const double s = std::sin(2 * std::numbers::pi * static_cast<double>(f % 25) / 25);
    samples.push_back(static_cast<int16_t>(std::lround(s * 0.5 * 32767)));
    samples.push_back(static_cast<int16_t>(std::lround(s * 0.25 * 32767)));
  }
  const auto path = FConfig.Dir() / "sine.raw";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(samples.data()),
             static_cast<std::streamsize>(samples.size() * 2));
  FConfig.Use("pcm.!default {\n" + AlsaConfig::FilePcm(path.string()) + "}\n");

  auto meter = TLPComponent::Create<TBlockMeter>();
  auto capture = BuildCapture([&](TALAudioIn& a) {
    a.AudioFormat().SetSampleRate(Rate);
    meter->InputPin()->Connect(&a.OutputPin());
  });
  // Blocks of 100 ms: the file fills 20 of them. What the plugin reads after its end is
  // whatever its buffer still holds, so it is not looked at.
  ASSERT_TRUE(meter->WaitForBlocks(20));
  capture->Stop();
  meter->InputPin()->Disconnect();

  const auto blocks = meter->Blocks();
  for (size_t b = 0; b < 20; ++b) {
    EXPECT_NEAR(blocks[b][0], 0.5 * 32767, 0.02 * 16384) << "block " << b;
    EXPECT_NEAR(blocks[b][1], 0.25 * 32767, 0.02 * 8192) << "block " << b;
  }
}

TEST_F(AlsaCaptureTest, ADeviceThatIsNotThereIsReportedOnceWithTheLayersCode) {
  FConfig.Use("");  // no default device at all
  std::vector<std::pair<std::string, int32_t>> errors;
  auto capture = BuildCapture([&](TALAudioIn& a) {
    a.SetOnError([&](TALAudioIn*, const std::string& text, int32_t code, bool& handled) {
      errors.emplace_back(text, code);
      handled = true;
    });
  });
  EXPECT_EQ(errors, (std::vector<std::pair<std::string, int32_t>>{
                        {"Can't open audio device.", MMSYSERR_NODRIVER}}));
  capture->Stop();
}

TEST_F(AlsaCaptureTest, ADeviceThatGoesAwayEndsTheRunWithoutAHang) {
  FConfig.Use(std::string("pcm_type.stereolux_gone { lib \"") + ALSA_TEST_PCM + "\" }\n" +
              "pcm.!default { type stereolux_gone frames 20000 then \"gone\" }\n");
  struct TError {
    std::string Text;
    int32_t Code;
    std::thread::id Thread;
  };
  std::mutex
      mutex;  // a handler called on another thread must show as a wrong thread, not as a race
  std::vector<TError> errors;
  const auto reported = [&] {
    std::lock_guard lock(mutex);
    return errors.size();
  };
  TTestReceiver receiver;
  auto capture = BuildCapture([&](TALAudioIn& a) {
    receiver.InputPin.Connect(&a.OutputPin());
    a.SetOnError([&](TALAudioIn*, const std::string& text, int32_t code, bool& handled) {
      std::lock_guard lock(mutex);
      errors.push_back({text, code, std::this_thread::get_id()});
      handled = true;
    });
  });
  // The device hands out 20000 frames and goes: 19 buffers fill, and the 20th, partly filled,
  // comes back only when the device is found gone. The run then ends from the main thread.
  ASSERT_TRUE(receiver.WaitFor("buffer", 20));
  ASSERT_TRUE(DrainUntil(*FQueue, [&] { return reported() > 0; })) << "the loss was never reported";
  EXPECT_FALSE(capture->GetEnabled());
  EXPECT_FALSE(capture->EnablePin().GetValue());
  std::this_thread::sleep_for(100ms);
  FQueue->ProcessMessages();
  ASSERT_EQ(reported(), 1u);
  EXPECT_EQ(errors[0].Text, "Audio device lost.");
  EXPECT_EQ(errors[0].Code, static_cast<int32_t>(MMSYSERR_NODRIVER));
  EXPECT_EQ(errors[0].Thread, std::this_thread::get_id());
  capture->Stop();  // stopped already: nothing to do

  // Once a device is back, a new start records from it.
  FConfig.WriteLevels("levels.raw", 50000);
  FConfig.Use("pcm.!default {\n" + AlsaConfig::FilePcm((FConfig.Dir() / "levels.raw").string()) +
              "}\n");
  const size_t before = receiver.Count("buffer");
  capture->SetEnabled(true);
  EXPECT_TRUE(receiver.WaitFor("buffer", before + 10));
  capture->Stop();
  FQueue->ProcessMessages();
  EXPECT_EQ(reported(), 1u);
}

}  // namespace
