// Wave input from libasound, through the layer, on PCMs of a private configuration.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "AlsaTestSupport.h"
#include "WaveInTestSupport.h"
#include "platform/AlsaWaveIn.h"

namespace {

using namespace std::chrono_literals;

// Keeps what comes back, and queues each returned buffer again while told to.
class Recorder {
public:
  static void Callback(HWAVEIN hwi, uint32_t msg, uintptr_t instance, uintptr_t param1, uintptr_t) {
    if (msg != WIM_DATA) return;
    auto* self = reinterpret_cast<Recorder*>(instance);
    auto* hdr = reinterpret_cast<WAVEHDR*>(param1);
    {
      std::lock_guard lk(self->FMutex);
      self->FData.insert(self->FData.end(), hdr->lpData, hdr->lpData + hdr->dwBytesRecorded);
      ++self->FReturned[hdr];
      ++self->FNotes;
      if (self->FRequeueBelow > self->FData.size() &&
          waveInAddBuffer(hwi, hdr, sizeof *hdr) == MMSYSERR_NOERROR)
        ++self->FAdded[hdr];
    }
    self->FChanged.notify_all();
  }

  uintptr_t Instance() { return reinterpret_cast<uintptr_t>(this); }

  MMRESULT AddAll(HWAVEIN hwi, BufferSet& buffers) {
    for (size_t i = 0; i < buffers.Count(); ++i) {
      WAVEHDR* hdr = buffers.Header(i);
      if (MMRESULT r = waveInPrepareHeader(hwi, hdr, sizeof *hdr)) return r;
      if (MMRESULT r = waveInAddBuffer(hwi, hdr, sizeof *hdr)) return r;
      std::lock_guard lk(FMutex);
      ++FAdded[hdr];
    }
    return MMSYSERR_NOERROR;
  }

  // Returned buffers are queued again until this many bytes have come back.
  void RequeueBelow(size_t bytes) {
    std::lock_guard lk(FMutex);
    FRequeueBelow = bytes;
  }

  bool WaitFor(size_t notes, size_t bytes = 0) {
    std::unique_lock lk(FMutex);
    return FChanged.wait_for(lk, 20s, [&] { return FNotes >= notes && FData.size() >= bytes; });
  }

  std::vector<char> Data() {
    std::lock_guard lk(FMutex);
    return FData;
  }

  // Every buffer queued came back exactly as often as it was queued.
  void ExpectEachReturnedOncePerAdd(BufferSet& buffers) {
    std::lock_guard lk(FMutex);
    for (size_t i = 0; i < buffers.Count(); ++i) {
      WAVEHDR* hdr = buffers.Header(i);
      EXPECT_EQ(FReturned[hdr], FAdded[hdr]) << "buffer " << i;
      EXPECT_GE(FAdded[hdr], 1) << "buffer " << i;
      EXPECT_EQ(hdr->dwFlags & (WHDR_INQUEUE | WHDR_DONE), WHDR_DONE) << "buffer " << i;
    }
  }

private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<char> FData;
  std::map<WAVEHDR*, int> FReturned;
  std::map<WAVEHDR*, int> FAdded;
  size_t FNotes = 0;
  size_t FRequeueBelow = 0;
};

class AlsaWaveInTest : public ::testing::Test {
protected:
  void Use(AlsaWaveInBackend::Lister lister = [] { return std::vector<AlsaCaptureDevice>{}; }) {
    SetWaveInBackend(std::make_shared<AlsaWaveInBackend>(std::move(lister)));
  }
  void TearDown() override { SetWaveInBackend(nullptr); }

  MMRESULT Open(HWAVEIN& h, uint32_t device,
                const WAVEFORMATEXTENSIBLE& format = MakeFormat(2, 44100, 16)) {
    return waveInOpen(&h, device, AsFormat(format), &Recorder::Callback, FRecorder.Instance(),
                      CALLBACK_FUNCTION);
  }

  void StopAndClose(HWAVEIN h, BufferSet& buffers) {
    FRecorder.RequeueBelow(0);
    EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(buffers.UnprepareAll(h), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  }

  AlsaConfig FConfig;
  Recorder FRecorder;
};

// The default device is the test device of alsa_gone_plugin.c: after `frames` frames it is
// "gone", or it "stall"s, or it reports one "xrun", or it "hangup"s.
std::string TestPcm(const std::string& then, long frames) {
  return std::string("pcm_type.stereolux_gone { lib \"") + ALSA_TEST_PCM + "\" }\n" +
         "pcm.!default { type stereolux_gone frames " + std::to_string(frames) + " then \"" + then +
         "\" }\n";
}

std::vector<char> Prefix(const std::vector<char>& bytes, size_t n) {
  return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(n, bytes.size()))};
}

TEST(NameAlsaCaptureDevices, NamesFromCardAndDeviceAndOpensThroughThePlugLayer) {
  const std::string longCard(130, 'C');
  const auto named = NameAlsaCaptureDevices({
      {"PCH", "HDA Intel PCH", 0, "ALC892 Analog"},
      {"PCH", "HDA Intel PCH", 2, "ALC892 Alt Analog"},
      {"Device", "USB Audio Device", 0, ""},
      {"Loopback", "Loopback", 1, "Loopback"},
      {"Unnamed", "", 3, "Capture"},
      {"Device_1", "USB Audio Device", 0, ""},
      {"Long", longCard, 0, "Mic"},
  });
  struct Expected {
    std::string PcmName, CardId, DisplayName;
  } expected[] = {
      {"plughw:CARD=PCH,DEV=0", "PCH", "HDA Intel PCH: ALC892 Analog"},
      {"plughw:CARD=PCH,DEV=2", "PCH", "HDA Intel PCH: ALC892 Alt Analog"},  // whole
      {"plughw:CARD=Device,DEV=0", "Device", "USB Audio Device"},
      {"plughw:CARD=Loopback,DEV=1", "Loopback", "Loopback"},
      {"plughw:CARD=Unnamed,DEV=3", "Unnamed", "Unnamed: Capture"},
      {"plughw:CARD=Device_1,DEV=0", "Device_1", "USB Audio Device #2"},
      {"plughw:CARD=Long,DEV=0", "Long", std::string(127, 'C')},  // cut at 127 bytes
  };
  ASSERT_EQ(named.size(), std::size(expected));
  for (size_t i = 0; i < named.size(); ++i) {
    EXPECT_EQ(named[i].PcmName, expected[i].PcmName) << i;
    EXPECT_EQ(named[i].CardId, expected[i].CardId) << i;
    EXPECT_EQ(named[i].DisplayName, expected[i].DisplayName) << i;
  }
}

TEST_F(AlsaWaveInTest, TheMapperRecordsTheDefaultPcmByteForByteWithNothingLost) {
  const auto levels = FConfig.WriteLevels("levels.raw", 200000);
  FConfig.Use("pcm.!default {\n" + AlsaConfig::FilePcm((FConfig.Dir() / "levels.raw").string()) +
              "}\n");
  Use();

  HWAVEIN h = 0;
  ASSERT_EQ(Open(h, WAVE_MAPPER), MMSYSERR_NOERROR);
  BufferSet buffers(6, 1000);  // 250 frames: reads of a period straddle buffers
  const size_t wanted = 300000;
  FRecorder.RequeueBelow(wanted);
  ASSERT_EQ(FRecorder.AddAll(h, buffers), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(FRecorder.WaitFor(wanted / 1000, wanted));
  StopAndClose(h, buffers);

  const auto data = FRecorder.Data();
  ASSERT_GE(data.size(), wanted);
  EXPECT_TRUE(data == Prefix(levels, data.size())) << "the recorded audio is not the file's start";
}

TEST_F(AlsaWaveInTest, DeviceNumbersOpenThePlugDeviceOfTheirCard) {
  // plughw itself is this configuration's: each card and device plays its own file.
  const auto alpha = FConfig.WriteLevels("Alpha-0.raw", 20000, 1);
  const auto beta = FConfig.WriteLevels("Beta-3.raw", 20000, 2);
  FConfig.Use(
      "pcm.plughw {\n@args [ CARD DEV ]\n@args.CARD { type string }\n@args.DEV { type integer }\n"
      "type file\nslave.pcm { type null }\nfile \"/dev/null\"\nformat \"raw\"\n"
      "infile { @func concat strings [ \"" +
      FConfig.Dir().string() + "/\" $CARD \"-\" $DEV \".raw\" ] }\n}\n");
  Use([] {
    return std::vector<AlsaCaptureDevice>{{"Alpha", "Alpha Card", 0, "Line"},
                                          {"Beta", "Beta Card", 3, "Mic"}};
  });

  ASSERT_EQ(waveInGetNumDevs(), 2u);
  WAVEINCAPS caps{};
  ASSERT_EQ(waveInGetDevCaps(1, &caps, sizeof caps), MMSYSERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Beta Card: Mic");

  for (auto [device, expected] : {std::pair{1u, &beta}, std::pair{0u, &alpha}}) {
    Recorder recorder;
    HWAVEIN h = 0;
    ASSERT_EQ(waveInOpen(&h, device, AsFormat(MakeFormat(2, 44100, 16)), &Recorder::Callback,
                         recorder.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    BufferSet buffers(2, 4000);
    ASSERT_EQ(recorder.AddAll(h, buffers), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
    ASSERT_TRUE(recorder.WaitFor(2));
    EXPECT_TRUE(recorder.Data() == Prefix(*expected, 8000)) << "device " << device;
    EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(buffers.UnprepareAll(h), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
  }
}

TEST_F(AlsaWaveInTest, OpenFailuresCarryTheirCause) {
  FConfig.Use(TestPcm("gone", 1000000));  // takes 16-bit samples only
  Use([] { return std::vector<AlsaCaptureDevice>{{"Absent", "Absent Card", 0, "Mic"}}; });

  HWAVEIN h = 7;
  // No plughw in this configuration, as for a card that is not there.
  EXPECT_EQ(Open(h, 0), MMSYSERR_NODRIVER);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(Open(h, 1), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(Open(h, WAVE_MAPPER, MakeFormat(2, 44100, 24)), WAVERR_BADFORMAT);
  EXPECT_EQ(h, 0);
  ASSERT_EQ(Open(h, WAVE_MAPPER), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(AlsaWaveInTest, ResetWakesTheCaptureOfAStalledDeviceAndReturnsEveryQueuedBufferOnce) {
  FConfig.Use(TestPcm("stall", 300));  // at least 1200 bytes, then silence for ever
  Use();
  HWAVEIN h = 0;
  ASSERT_EQ(Open(h, WAVE_MAPPER), MMSYSERR_NOERROR);
  BufferSet buffers(8, 400);
  ASSERT_EQ(FRecorder.AddAll(h, buffers), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(FRecorder.WaitFor(3));

  EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  FRecorder.ExpectEachReturnedOncePerAdd(buffers);
  const auto data = FRecorder.Data();
  EXPECT_GE(data.size(), 1200u);
  EXPECT_LT(data.size(), 8u * 400u);
  EXPECT_EQ(std::count(data.begin(), data.end(), char{0x11}),
            static_cast<std::ptrdiff_t>(data.size()));
  EXPECT_EQ(buffers.UnprepareAll(h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

TEST_F(AlsaWaveInTest, ResetInTheMiddleOfARunReturnsEveryQueuedBufferOnceAndRecordingGoesOn) {
  const auto levels = FConfig.WriteLevels("levels.raw", 400000);
  FConfig.Use("pcm.!default {\n" + AlsaConfig::FilePcm((FConfig.Dir() / "levels.raw").string()) +
              "}\n");
  Use();
  HWAVEIN h = 0;
  ASSERT_EQ(Open(h, WAVE_MAPPER), MMSYSERR_NOERROR);
  BufferSet buffers(5, 1024);
  // Goes on until the reset, unless this thread is slow to see the 20 returns: the device reads
  // as fast as it is given room, and past the file's end it records something else.
  FRecorder.RequeueBelow(levels.size() - buffers.Count() * 1024);
  ASSERT_EQ(FRecorder.AddAll(h, buffers), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(FRecorder.WaitFor(20));
  FRecorder.RequeueBelow(0);
  EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  FRecorder.ExpectEachReturnedOncePerAdd(buffers);
  const size_t before = FRecorder.Data().size();
  EXPECT_TRUE(FRecorder.Data() == Prefix(levels, before));

  // Started again, the device records on from where the file went on.
  FRecorder.RequeueBelow(before + 10 * 1024);
  ASSERT_EQ(FRecorder.AddAll(h, buffers), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(FRecorder.WaitFor(0, before + 10 * 1024));
  StopAndClose(h, buffers);
  FRecorder.ExpectEachReturnedOncePerAdd(buffers);
}

TEST_F(AlsaWaveInTest, AnOverrunIsRecoveredAndRecordingGoesOn) {
  FConfig.Use(TestPcm("xrun", 500));
  Use();
  HWAVEIN h = 0;
  ASSERT_EQ(Open(h, WAVE_MAPPER), MMSYSERR_NOERROR);
  BufferSet buffers(4, 1000);
  const size_t wanted = 40000;  // 10000 frames, far past the overrun
  FRecorder.RequeueBelow(wanted);
  ASSERT_EQ(FRecorder.AddAll(h, buffers), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(FRecorder.WaitFor(0, wanted));
  StopAndClose(h, buffers);
  FRecorder.ExpectEachReturnedOncePerAdd(buffers);
}

class AlsaWaveInGoneTest : public AlsaWaveInTest,
                           public ::testing::WithParamInterface<const char*> {};

// Gone for good, or hanging up on every wait.
INSTANTIATE_TEST_SUITE_P(Ways, AlsaWaveInGoneTest, ::testing::Values("gone", "hangup"));

TEST_P(AlsaWaveInGoneTest, ADeviceThatGoesAwayReturnsItsBuffersAndRefusesNewOnes) {
  FConfig.Use(TestPcm(GetParam(), 600));
  Use();
  HWAVEIN h = 0;
  ASSERT_EQ(Open(h, WAVE_MAPPER), MMSYSERR_NOERROR);
  BufferSet buffers(10, 400);
  ASSERT_EQ(FRecorder.AddAll(h, buffers), MMSYSERR_NOERROR);
  ASSERT_EQ(waveInStart(h), MMSYSERR_NOERROR);
  ASSERT_TRUE(FRecorder.WaitFor(10));  // the full ones, then the rest handed back unfilled
  FRecorder.ExpectEachReturnedOncePerAdd(buffers);
  EXPECT_LT(FRecorder.Data().size(), 10u * 400u);

  EXPECT_EQ(waveInAddBuffer(h, buffers.Header(0), sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInReset(h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInStart(h), MMSYSERR_NODRIVER);
  EXPECT_EQ(buffers.UnprepareAll(h), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(h), MMSYSERR_NOERROR);
}

}  // namespace
