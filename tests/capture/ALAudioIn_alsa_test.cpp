// The capture component recording from libasound devices of a private configuration: what the
// device holds arrives unchanged, and a device that cannot be opened is reported with
// libasound's own code.

#include <gtest/gtest.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "AlsaTestSupport.h"
#include "capture/ALAudioIn.h"
#include "dataflow/ALStreamTypes.h"
#include "dataflow/LPComponent.h"
#include "platform/AlsaWaveIn.h"

namespace {

// Keeps every sample of every buffer it is given, in order.
class TSampleReceiver : public TLPComponent {
public:
  TSampleReceiver()
      : InputPin(this, FLock, [this](TOWBasicPin*, TOWStreamTypeID, const TOWOperationPtr& AOperation, TOWNotifyState) {
          Record(AOperation);
          return TOWNotifyResult{};
        }) {}
  ~TSampleReceiver() override { InputPin.Disconnect(); }

  bool WaitFor(size_t ASamples) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, std::chrono::seconds(20), [&] { return FSamples.size() >= ASamples; });
  }
  std::vector<int32_t> Samples() {
    std::lock_guard lock(FMutex);
    return FSamples;
  }

  TALOWAudioSinkPin InputPin;

private:
  void Record(const TOWOperationPtr& AOperation) {
    auto* supplied = dynamic_cast<TOWSuppliedBufferOperation*>(&AOperation->Instance());
    if (supplied == nullptr) return;
    auto& buffer = dynamic_cast<IALAudioBuffer&>(*supplied->Buffer);
    {
      std::lock_guard lock(FMutex);
      for (uint32_t i = 0; i < buffer.GetSize(); ++i)
        for (uint32_t c = 0; c < buffer.GetChannels(); ++c) FSamples.push_back(buffer.GetSample(i, c));
    }
    FChanged.notify_all();
  }

  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<int32_t> FSamples;
};

class AlsaCaptureTest : public ::testing::Test {
protected:
  void SetUp() override { SetWaveInBackend(std::make_shared<AlsaWaveInBackend>()); }
  void TearDown() override { SetWaveInBackend(nullptr); }

  std::unique_ptr<TALAudioIn> Build(const std::function<void(TALAudioIn&)>& ASetUp) {
    TLPComponentLoading loading;
    auto capture = TLPComponent::Create<TALAudioIn>();
    ASetUp(*capture);
    loading.Loaded();
    return capture;
  }

  AlsaConfig FConfig;
};

TEST_F(AlsaCaptureTest, TheDefaultDeviceArrivesSampleForSample) {
  const auto bytes = FConfig.WriteLevels("levels.raw", 100000);
  FConfig.Use("pcm.!default {\n" + AlsaConfig::FilePcm((FConfig.Dir() / "levels.raw").string()) + "}\n");
  TSampleReceiver receiver;
  auto capture = Build([&](TALAudioIn& a) { receiver.InputPin.Connect(&a.OutputPin()); });

  const size_t wanted = 40000;  // samples: 20000 frames, some 20 buffers
  ASSERT_TRUE(receiver.WaitFor(wanted));
  capture->Stop();
  const auto samples = receiver.Samples();
  ASSERT_GE(samples.size(), wanted);
  for (size_t i = 0; i < wanted; ++i) {
    const auto expected = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    ASSERT_EQ(samples[i], expected) << "sample " << i;
  }
}

TEST_F(AlsaCaptureTest, ADeviceThatIsNotThereIsReportedWithLibasoundsCode) {
  FConfig.Use("");  // no default device at all
  std::vector<std::pair<std::string, int32_t>> errors;
  auto capture = Build([&](TALAudioIn& a) {
    a.SetOnError([&](TALAudioIn*, const std::string& text, int32_t code, bool& handled) {
      errors.emplace_back(text, code);
      handled = true;
    });
  });
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0], (std::pair<std::string, int32_t>{"Can't open audio device.", -ENOENT}));
  capture->Stop();
}

TEST_F(AlsaCaptureTest, ADeviceThatGoesAwayEndsTheRunWithoutAHang) {
  FConfig.Use(std::string("pcm_type.stereolux_gone { lib \"") + ALSA_TEST_PCM + "\" }\n" +
              "pcm.!default { type stereolux_gone frames 20000 then \"gone\" }\n");
  TSampleReceiver receiver;
  auto capture = Build([&](TALAudioIn& a) { receiver.InputPin.Connect(&a.OutputPin()); });
  // The device hands out 20000 frames and goes: 19 buffers fill, and the 20th, partly filled,
  // comes back only when the device is found gone. Stopping still works after that.
  ASSERT_TRUE(receiver.WaitFor(20 * 1024 * 2));
  capture->Stop();
  EXPECT_FALSE(capture->GetEnabled());
}

}  // namespace
