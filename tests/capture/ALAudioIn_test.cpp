// The capture component against virtual devices.

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <semaphore>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "BoundedWait.h"
#include "CaptureTestSupport.h"
#include "capture/SLSmartBufferManager.h"
#include "dataflow/SLMessageQueue.h"

namespace {

using namespace std::chrono_literals;

class CaptureTest : public ::testing::Test {
protected:
  void UseDevices(std::vector<VirtualWaveInDevice> ADevices) {
    Backend = std::make_shared<TRecordingBackend>(std::move(ADevices));
    SetWaveInBackend(Backend);
  }
  void SetUp() override { UseDevices(NamedDevices({"Mic", "Line", "Webcam", "Monitor"})); }
  void TearDown() override { SetWaveInBackend(nullptr); }

  std::shared_ptr<TRecordingBackend> Backend;
};

// ---------------------------------------------------------------- device selection

struct DeviceCase {
  const char* Name;
  std::vector<std::string> Alternatives;
  uint32_t Expected;
};

TEST_F(CaptureTest, DeviceNameResolvesToTheDeviceNumber) {
  const DeviceCase cases[] = {
      {"Webcam", {}, 2},
      {"WEBCAM", {}, WAVE_MAPPER},
      {"Web", {}, WAVE_MAPPER},
      {"Nothing", {"Absent", "Default"}, WAVE_MAPPER},
      {"Nothing", {"Absent", "Line"}, 1},
      {"Nothing", {"webcam", "Monitor", "Mic"}, 3},
  };
  for (const DeviceCase& c : cases) {
    auto capture = BuildCapture([&](TALAudioIn& a) {
      a.SetEnabled(false);
      a.Device().SetDeviceName(c.Name);
      for (const std::string& name : c.Alternatives) {
        a.Device().AlternativeDevices().Add().SetDeviceName(name);
      }
    });
    EXPECT_EQ(capture->Device().GetDeviceID(), c.Expected) << c.Name;
  }
}

TEST_F(CaptureTest, DefaultInAnyCaseAsksNoDevice) {
  for (const char* name : {"Default", "DEFAULT", "default"}) {
    auto capture = BuildCapture([&](TALAudioIn& a) {
      a.SetEnabled(false);
      a.Device().SetDeviceName(name);
    });
    Backend->ClearCalls();
    EXPECT_EQ(capture->Device().GetDeviceID(), WAVE_MAPPER);
    EXPECT_EQ(Backend->CountOf(WaveInCall::GetDevCaps), 0u);
    EXPECT_EQ(Backend->CountOf(WaveInCall::GetNumDevs), 0u);
  }
}

TEST_F(CaptureTest, CapabilityFailureWarnsOnceAndYieldsDeviceZero) {
  Backend->Devices->SetFailure(WaveInCall::GetDevCaps, MMSYSERR_NODRIVER, 1);
  std::vector<std::pair<std::string, int32_t>> warnings;
  auto capture = BuildCapture([&](TALAudioIn& a) {
    a.SetEnabled(false);
    a.SetOnWarning([&](TALAudioIn*, const std::string& text, int32_t code) {
      warnings.emplace_back(text, code);
    });
    a.Device().SetDeviceName("Monitor");
  });
  EXPECT_EQ(capture->Device().GetDeviceID(), 0u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].first, "Can't get device capabilities.");
  EXPECT_EQ(warnings[0].second, static_cast<int32_t>(MMSYSERR_NODRIVER));

  std::vector<std::string> names{"kept"};
  capture->Device().GetDeviceList(names);
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "Mic"}));
  EXPECT_EQ(warnings.size(), 2u);
}

TEST_F(CaptureTest, NoDevicesAtAll) {
  UseDevices({});
  auto capture = BuildCapture([](TALAudioIn& a) {
    a.SetEnabled(false);
    a.Device().SetDeviceName("Mic");
  });
  EXPECT_EQ(capture->Device().GetDeviceID(), WAVE_MAPPER);
  std::vector<std::string> names;
  capture->Device().GetDeviceList(names);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(capture->Device().AlternativeDevices().Add().GetDeviceName(), "Default");
}

TEST_F(CaptureTest, NewAlternativeTakesTheLeastUsedDevice) {
  UseDevices(NamedDevices({"P", "Q", "R"}));
  auto capture = BuildCapture([](TALAudioIn& a) { a.SetEnabled(false); });
  TALAudioCaptureDeviceItems& items = capture->Device().AlternativeDevices();
  EXPECT_EQ(items.Add().GetDeviceName(), "P");
  EXPECT_EQ(items.Add().GetDeviceName(), "Q");
  EXPECT_EQ(items.Add().GetDeviceName(), "R");
  EXPECT_EQ(items.Add().GetDeviceName(), "P");
}

// ---------------------------------------------------------------- start and stop

TEST_F(CaptureTest, OpensTheMapperOrTheNamedDevice) {
  // The mapper is opened with a callback function and synchronous drivers allowed; a named
  // device with the mapping flag as well. The mapper tells which device it chose.
  for (const auto& [name, id, flags, current] :
       {std::tuple{"default", WAVE_MAPPER, 0x30002u, "Mic"},
        std::tuple{"Webcam", 2u, 0x30006u, "Webcam"}}) {
    Backend->ClearCalls();
    auto capture = BuildCapture([&](TALAudioIn& a) { a.Device().SetDeviceName(name); });
    EXPECT_EQ(Backend->DevicesOf(WaveInCall::Open), std::vector<uint32_t>{id}) << name;
    EXPECT_EQ(Backend->OpenFlags(), std::vector<uint32_t>{flags}) << name;
    EXPECT_TRUE(capture->IsCapturing());
    EXPECT_EQ(capture->CurrentDeviceName(), current);
    EXPECT_EQ(Backend->CountOf(WaveInCall::Start), 1u);
    EXPECT_GE(Backend->CountOf(WaveInCall::AddBuffer),
              TALAudioIn::QueuedBuffers);  // and replacements
  }
}

TEST_F(CaptureTest, StartAndStopAreIdempotent) {
  TTestReceiver receiver;
  auto capture = BuildCapture([&](TALAudioIn& a) { receiver.InputPin.Connect(&a.OutputPin()); });
  ASSERT_TRUE(receiver.WaitFor("buffer", 1));
  capture->Start();
  EXPECT_EQ(Backend->CountOf(WaveInCall::Open), 1u);
  EXPECT_EQ(receiver.Count("pump"), 1u);

  capture->Stop();
  capture->Stop();
  EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 1u);
  EXPECT_EQ(receiver.Count("endstop"), 1u);
  EXPECT_FALSE(capture->GetEnabled());

  // The reset hands every queued buffer back; none of them may reach the receiver.
  const size_t delivered = receiver.Count("buffer");
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(receiver.Count("buffer"), delivered);
  EXPECT_EQ(receiver.Kinds().back(), "endstop");
}

TEST_F(CaptureTest, EnabledCyclesStopAndRestartTheDevice) {
  TTestReceiver receiver;
  auto capture = BuildCapture([&](TALAudioIn& a) { receiver.InputPin.Connect(&a.OutputPin()); });
  ASSERT_TRUE(receiver.WaitFor("buffer", 1));

  capture->SetEnabled(false);
  EXPECT_FALSE(capture->GetEnabled());
  EXPECT_FALSE(capture->EnablePin().GetValue());
  EXPECT_EQ(Backend->CountOf(WaveInCall::Reset), 1u);
  EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 1u);
  EXPECT_EQ(Backend->CountOf(WaveInCall::UnprepareHeader),
            Backend->CountOf(WaveInCall::PrepareHeader));
  EXPECT_EQ(receiver.Kinds().back(), "endstop");

  receiver.Clear();
  Backend->ClearCalls();
  capture->SetEnabled(true);
  EXPECT_TRUE(capture->EnablePin().GetValue());
  ASSERT_TRUE(receiver.WaitFor("buffer", 1));
  const std::vector<std::string> kinds = receiver.Kinds();
  EXPECT_EQ(std::vector<std::string>(kinds.begin(), kinds.begin() + 3),
            (std::vector<std::string>{"pump", "startwave", "buffer"}));
  EXPECT_EQ(Backend->CountOf(WaveInCall::Open), 1u);
  EXPECT_GE(Backend->CountOf(WaveInCall::AddBuffer), TALAudioIn::QueuedBuffers);

  // The enable pin drives the same switch.
  capture->EnablePin().SetValue(false);
  EXPECT_FALSE(capture->GetEnabled());
  EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 1u);
}

TEST_F(CaptureTest, EnabledWhileLoadingOnlyRecordsTheValue) {
  TLPComponentLoading loading;
  auto capture = TLPComponent::Create<TALAudioIn>();
  capture->SetEnabled(false);
  capture->SetEnabled(true);
  EXPECT_EQ(Backend->CountOf(WaveInCall::Open), 0u);
  loading.Loaded();
  EXPECT_EQ(Backend->CountOf(WaveInCall::Open), 1u);
}

TEST_F(CaptureTest, LateReceiverGetsTheStartFirst) {
  auto capture = BuildCapture();
  std::this_thread::sleep_for(20ms);  // buffers delivered to nobody meanwhile
  TTestReceiver receiver;
  receiver.InputPin.Connect(&capture->OutputPin());
  ASSERT_TRUE(receiver.WaitFor("buffer", 3));
  const std::vector<std::string> kinds = receiver.Kinds();
  EXPECT_EQ(kinds.front(), "startwave");
  EXPECT_EQ(receiver.LastFormat().Format.nSamplesPerSec, 11025u);
  EXPECT_EQ(std::count(kinds.begin(), kinds.end(), "pump"), 0);
}

TEST_F(CaptureTest, OperationsSentBackToTheOutputPin) {
  TTestReceiver receiver;
  auto capture = BuildCapture([&](TALAudioIn& a) { receiver.InputPin.Connect(&a.OutputPin()); });
  ASSERT_TRUE(receiver.WaitFor("buffer", 1));

  // A start-wave reopens the device in its format, without starting it, and comes back.
  TALWaveFormatExtensible mono = *capture->AudioFormat().GetWaveFormat();
  mono.Format.nChannels = 1;
  mono.Format.nSamplesPerSec = 22050;
  mono.Format.nBlockAlign = 2;
  mono.Format.nAvgBytesPerSec = 44100;
  mono.dwChannelMask = 1;
  receiver.InputPin.Notify(std::make_shared<TOWStartWaveOperation>(mono, false));
  std::vector<std::string> kinds = receiver.Kinds();
  auto endStop = std::find(kinds.begin(), kinds.end(), "endstop");
  EXPECT_EQ(std::vector<std::string>(endStop, kinds.end()),
            (std::vector<std::string>{"endstop", "startwave"}));
  EXPECT_EQ(receiver.LastFormat().Format.nSamplesPerSec, 22050u);
  ASSERT_EQ(Backend->OpenFormats().size(), 2u);
  EXPECT_EQ(Backend->OpenFormats().back().Channels, 1u);
  EXPECT_EQ(Backend->OpenFormats().back().SampleRate, 22050u);
  EXPECT_FALSE(capture->GetEnabled());
  EXPECT_EQ(Backend->CountOf(WaveInCall::Start), 1u);
  const size_t delivered = receiver.Count("buffer");
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(receiver.Count("buffer"), delivered);

  // A later start closes the reopened device before opening again.
  capture->Start();
  ASSERT_TRUE(receiver.WaitFor("buffer", delivered + 1));
  EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 2u);

  // A stop stops and is passed on; a master pump is swallowed.
  receiver.Clear();
  receiver.InputPin.Notify(std::make_shared<TOWStopOperation>());
  receiver.InputPin.MasterPump(&receiver.InputPin);
  kinds = receiver.Kinds();
  endStop = std::find(kinds.begin(), kinds.end(), "endstop");
  ASSERT_NE(endStop, kinds.end());
  EXPECT_EQ(std::vector<std::string>(endStop, kinds.end()),
            (std::vector<std::string>{"endstop", "stop"}));
  EXPECT_FALSE(capture->GetEnabled());
}

// The device fills the last buffer only in part: the rest reaches the receivers as silence,
// never as what the buffer's memory held before; the buffers handed back empty at the stop
// carry no audio at all.
TEST_F(CaptureTest, APartlyFilledBufferIsPaddedWithSilence) {
  constexpr uint32_t Frames = 64, Full = 45, Rest = 10;
  struct Case {
    uint32_t Bits;
    int32_t Loud, Silence;  // a sample of bytes 0x40, and silence, as the buffers hold them
  } cases[] = {{8, 0x40, 0x80}, {16, 0x4040, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Bits);
    VirtualWaveInDevice device;
    device.Name = "Mic";
    device.Signal = VirtualSignal::Reader;
    device.Read = [left = size_t{Full * Frames + Rest}, bytes = c.Bits / 8 * 2](
                      uint8_t* AOut, size_t AFrames) mutable {
      const size_t n = std::min(AFrames, left);
      std::memset(AOut, 0x40, n * bytes);
      left -= n;
      return n;
    };
    UseDevices({device});
    TTestReceiver receiver;
    receiver.KeepSamples();
    auto capture = BuildCapture([&](TALAudioIn& a) {
      a.AudioFormat().SetBits(c.Bits);
      a.AudioFormat().SetBufferSize(Frames);
      receiver.InputPin.Connect(&a.OutputPin());
    });
    ASSERT_TRUE(receiver.WaitFor("buffer", Full + 1));
    capture->Stop();
    const auto buffers = receiver.BufferSamples();
    ASSERT_EQ(buffers.size(), Full + 1);
    EXPECT_EQ(buffers.front(), std::vector<int32_t>(2 * Frames, c.Loud));
    std::vector<int32_t> last(2 * Frames, c.Silence);
    std::fill_n(last.begin(), 2 * Rest, c.Loud);
    EXPECT_EQ(buffers.back(), last);
  }
}

// The device's callback never waits for the worker: with the worker held up, records beyond
// the pool are dropped and counted, and the ones that fitted are handed on in order once it
// moves again, after which the pool is whole.
TEST(WaveThread, RecordsBeyondAFullPoolAreDroppedAndCountedWithoutWaiting) {
  std::binary_semaphore held{0}, go{0};
  std::mutex mutex;
  std::vector<uint32_t> handled;
  const auto handledCount = [&] {
    std::lock_guard lock(mutex);
    return handled.size();
  };
  TALWaveThread thread("WaveThreadTest", [&](uint32_t uMsg, HWAVEIN, WAVEHDR*) {
    if (uMsg == 0) {
      held.release();
      go.acquire();
    }
    std::lock_guard lock(mutex);
    handled.push_back(uMsg);
  });
  constexpr uint32_t Pool = TALWaveThread::MaxPending, Beyond = 3;
  thread.PushRecord(0, 0, nullptr);
  ASSERT_TRUE(held.try_acquire_for(CBoundedWait));
  {
    TBoundedWait bound("records pushed while the worker is held up");
    for (uint32_t i = 1; i <= Pool + Beyond; ++i) thread.PushRecord(i, 0, nullptr);
  }
  EXPECT_EQ(thread.DroppedRecords(), Beyond);
  go.release();
  for (int i = 0; i < 1000 && handledCount() < Pool + 1; ++i) std::this_thread::sleep_for(5ms);
  std::vector<uint32_t> expected(Pool + 1);
  std::iota(expected.begin(), expected.end(), 0u);
  {
    std::lock_guard lock(mutex);
    EXPECT_EQ(handled, expected);
  }
  for (uint32_t i = 0; i < Pool; ++i) thread.PushRecord(Pool + 1, 0, nullptr);
  for (int i = 0; i < 1000 && handledCount() < 2 * Pool + 1; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(handledCount(), 2 * Pool + 1);
  EXPECT_EQ(thread.DroppedRecords(), Beyond);
}

// ---------------------------------------------------------------- errors

struct ErrorCase {
  WaveInCall Call;
  MMRESULT Code;
  const char* Message;
};

TEST_F(CaptureTest, UnhandledErrorsRaiseTheirTextAndCode) {
  const ErrorCase cases[] = {
      {WaveInCall::Open, WAVERR_BADFORMAT, "Can't open audio device. - 32 - 20"},
      {WaveInCall::Start, MMSYSERR_NOTENABLED, "Can't start audio device. - 3 - 3"},
      {WaveInCall::Reset, MMSYSERR_HANDLEBUSY, "Can't restart audio device. - 12 - c"},
      {WaveInCall::Close, MMSYSERR_ERROR, "Can't close audio device. - 1 - 1"},
  };
  for (const ErrorCase& c : cases) {
    UseDevices(NamedDevices({"Mic"}));
    const bool atStart = c.Call == WaveInCall::Open || c.Call == WaveInCall::Start;
    std::unique_ptr<TALAudioIn> capture;
    if (atStart) Backend->Devices->SetFailure(c.Call, c.Code);
    try {
      capture = BuildCapture();
      if (!atStart) {
        Backend->Devices->SetFailure(c.Call, c.Code);
        capture->Stop();
      }
      ADD_FAILURE() << "no error for " << c.Message;
    } catch (const ESLException& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
    if (!atStart) {
      // Failed at the reset or the close: enabled but closed, no end-stop.
      EXPECT_TRUE(capture->GetEnabled());
      Backend->Devices->SetFailure(c.Call, MMSYSERR_NOERROR);
    }
  }
}

TEST_F(CaptureTest, HandledErrorsStaySilentAndTheRunCanEnd) {
  Backend->Devices->SetFailure(WaveInCall::Open, WAVERR_BADFORMAT);
  std::vector<std::pair<std::string, int32_t>> errors;
  TTestReceiver receiver;
  auto capture = BuildCapture([&](TALAudioIn& a) {
    receiver.InputPin.Connect(&a.OutputPin());
    a.SetOnError([&](TALAudioIn* sender, const std::string& text, int32_t code, bool& handled) {
      EXPECT_EQ(sender, &a);
      errors.emplace_back(text, code);
      handled = true;
    });
  });
  // One report: a device that did not open is not started too.
  const std::vector<std::pair<std::string, int32_t>> expected{{"Can't open audio device.", 32}};
  EXPECT_EQ(errors, expected);
  EXPECT_FALSE(capture->IsCapturing());
  EXPECT_TRUE(capture->GetEnabled());

  // Nothing was opened, so stopping has nothing to refuse, and a new start works.
  capture->Stop();
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_FALSE(capture->GetEnabled());
  Backend->Devices->SetFailure(WaveInCall::Open, MMSYSERR_NOERROR);
  capture->Start();
  EXPECT_TRUE(capture->IsCapturing());
  EXPECT_TRUE(receiver.WaitFor("buffer", 1));
}

TEST_F(CaptureTest, BuffersOfAFailedResetAreKeptUntilTheDeviceLetsGo) {
  TTestReceiver receiver;
  auto capture = BuildCapture([&](TALAudioIn& a) {
    receiver.InputPin.Connect(&a.OutputPin());
    a.SetOnError([](TALAudioIn*, const std::string&, int32_t, bool& handled) { handled = true; });
  });
  ASSERT_TRUE(receiver.WaitFor("buffer", 1));
  Backend->Devices->SetFailure(WaveInCall::Reset, MMSYSERR_ERROR);
  capture->Stop();
  const size_t unprepared = Backend->CountOf(WaveInCall::UnprepareHeader);
  EXPECT_LT(unprepared, Backend->CountOf(WaveInCall::PrepareHeader));
  EXPECT_EQ(receiver.Count("endstop"), 0u);
  EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 0u);

  // Disabling cannot settle them either: the capture counts as closed.
  capture->SetEnabled(false);
  EXPECT_EQ(Backend->CountOf(WaveInCall::UnprepareHeader), unprepared);

  // The next run first settles the old device once it lets go of them.
  Backend->Devices->SetFailure(WaveInCall::Reset, MMSYSERR_NOERROR);
  const size_t delivered = receiver.Count("buffer");
  capture->SetEnabled(true);
  ASSERT_TRUE(receiver.WaitFor("buffer", delivered + 1));
  EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 1u);
  EXPECT_EQ(Backend->CountOf(WaveInCall::Open), 2u);
  capture->SetEnabled(false);
  EXPECT_EQ(Backend->CountOf(WaveInCall::PrepareHeader),
            Backend->CountOf(WaveInCall::UnprepareHeader));
}

// A device that refuses buffers in the middle of a run has gone away: the run ends and the
// loss reaches OnError on the main thread, once.
class CaptureLossTest : public CaptureTest {
protected:
  void SetUp() override {
    CaptureTest::SetUp();
    SLSetMessageQueue(Queue);
  }
  void TearDown() override {
    SLSetMessageQueue(nullptr);
    CaptureTest::TearDown();
  }

  std::shared_ptr<TSLMessageQueue> Queue = std::make_shared<TSLMessageQueue>();
};

TEST_F(CaptureLossTest, ARefusedBufferEndsTheRunAndIsReportedOnceOnTheMainThread) {
  std::mutex mutex;
  std::vector<std::tuple<std::string, int32_t, std::thread::id>> errors;
  const auto reported = [&] {
    std::lock_guard lock(mutex);
    return errors.size();
  };
  TTestReceiver receiver;
  auto capture = BuildCapture([&](TALAudioIn& a) {
    receiver.InputPin.Connect(&a.OutputPin());
    a.SetOnError([&](TALAudioIn*, const std::string& text, int32_t code, bool& handled) {
      std::lock_guard lock(mutex);
      errors.emplace_back(text, code, std::this_thread::get_id());
      handled = true;
    });
  });
  ASSERT_TRUE(receiver.WaitFor("buffer", 1));
  Backend->Devices->SetFailure(WaveInCall::AddBuffer, MMSYSERR_NODRIVER);
  ASSERT_TRUE(DrainUntil(*Queue, [&] { return reported() > 0; })) << "the loss was never reported";
  std::this_thread::sleep_for(50ms);
  Queue->ProcessMessages();
  ASSERT_EQ(reported(), 1u);
  EXPECT_EQ(errors[0], std::make_tuple(std::string("Audio device lost."),
                                       int32_t{MMSYSERR_NODRIVER}, std::this_thread::get_id()));
  // Stopped as by the user: every buffer given back, the device closed, the end announced.
  EXPECT_FALSE(capture->GetEnabled());
  EXPECT_FALSE(capture->EnablePin().GetValue());
  EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 1u);
  EXPECT_EQ(Backend->CountOf(WaveInCall::PrepareHeader),
            Backend->CountOf(WaveInCall::UnprepareHeader));
  EXPECT_EQ(receiver.Kinds().back(), "endstop");

  // A start once the device is back runs as ever.
  Backend->Devices->SetFailure(WaveInCall::AddBuffer, MMSYSERR_NOERROR);
  const size_t delivered = receiver.Count("buffer");
  capture->SetEnabled(true);
  ASSERT_TRUE(receiver.WaitFor("buffer", delivered + 50));
  Queue->ProcessMessages();
  EXPECT_EQ(reported(), 1u);

  // Without a handler the loss is raised to whoever runs the main thread's messages.
  capture->SetOnError(nullptr);
  Backend->Devices->SetFailure(WaveInCall::AddBuffer, MMSYSERR_NODRIVER);
  std::string raised;
  try {
    DrainUntil(*Queue, [] { return false; });
  } catch (const ESLException& e) {
    raised = e.what();
  }
  EXPECT_EQ(raised, "Audio device lost. - 6 - 6");
  EXPECT_FALSE(capture->GetEnabled());
  EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 2u);
}

TEST_F(CaptureTest, WithoutAMainThreadQueueALostRunOnlyEnds) {
  TTestReceiver receiver;
  auto capture = BuildCapture([&](TALAudioIn& a) { receiver.InputPin.Connect(&a.OutputPin()); });
  ASSERT_TRUE(receiver.WaitFor("buffer", 1));
  Backend->Devices->SetFailure(WaveInCall::AddBuffer, MMSYSERR_NODRIVER);
  for (int i = 0; i < 2000 && Backend->RefusedOf(WaveInCall::AddBuffer) == 0; ++i)
    std::this_thread::sleep_for(5ms);
  ASSERT_EQ(Backend->RefusedOf(WaveInCall::AddBuffer), 1u);
  capture->Stop();
  // After the first refusal the run asked for nothing more.
  EXPECT_EQ(Backend->RefusedOf(WaveInCall::AddBuffer), 1u);
  EXPECT_FALSE(capture->GetEnabled());
  EXPECT_EQ(Backend->CountOf(WaveInCall::PrepareHeader),
            Backend->CountOf(WaveInCall::UnprepareHeader));
  Backend->Devices->SetFailure(WaveInCall::AddBuffer, MMSYSERR_NOERROR);
  capture->Start();
  EXPECT_TRUE(receiver.WaitFor("buffer", receiver.Count("buffer") + 1));
}

// ---------------------------------------------------------------- under load

TEST_F(CaptureTest, ManyStartStopCyclesWhileDelivering) {
  std::vector<std::weak_ptr<ISLData>> delivered;
  {
    TTestReceiver receiver;
    auto capture = BuildCapture([&](TALAudioIn& a) { receiver.InputPin.Connect(&a.OutputPin()); });
    for (int cycle = 0; cycle < 500; ++cycle) {
      ASSERT_TRUE(receiver.WaitFor("buffer", receiver.Count("buffer") + 1)) << cycle;
      capture->SetEnabled(false);
      capture->SetEnabled(true);
    }
    EXPECT_EQ(receiver.Count("endstop"), 500u);
    EXPECT_EQ(Backend->CountOf(WaveInCall::Close), 500u);
    delivered = receiver.Delivered();
  }
  EXPECT_GE(delivered.size(), 500u);
  for (const std::weak_ptr<ISLData>& buffer : delivered) EXPECT_TRUE(buffer.expired());
  EXPECT_EQ(Backend->CountOf(WaveInCall::PrepareHeader),
            Backend->CountOf(WaveInCall::UnprepareHeader));
  // Blocks still in use could not go back; under the leak checker a lost one shows at exit.
  TSLSmartBufferManager::Instance().ReleaseMemory();
}

}  // namespace
