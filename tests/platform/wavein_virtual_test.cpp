// The wave-input layer's contract, exercised on virtual devices.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "WaveInTestSupport.h"
#include "platform/VirtualWaveIn.h"
#include "platform/WaveInBackend.h"

namespace {

using namespace std::chrono_literals;

class VirtualWaveInTest : public ::testing::Test {
protected:
  std::shared_ptr<VirtualWaveInBackend> Use(std::vector<VirtualWaveInDevice> devices,
                                            uint32_t mapperDevice = 0) {
    auto backend = std::make_shared<VirtualWaveInBackend>(std::move(devices), mapperDevice);
    SetWaveInBackend(backend);
    return backend;
  }
  void TearDown() override { SetWaveInBackend(nullptr); }

  HWAVEIN Open(uint32_t device, const WAVEFORMATEXTENSIBLE& format) {
    HWAVEIN h = 0;
    EXPECT_EQ(waveInOpen(&h, device, AsFormat(format), &Notifications::Callback, FNotes.Instance(),
                         CALLBACK_FUNCTION),
              0u);
    return h;
  }

  Notifications FNotes;
};

VirtualWaveInDevice Square(std::string name, std::vector<double> amplitudes,
                           bool realTime = false) {
  VirtualWaveInDevice d;
  d.Name = std::move(name);
  d.Signal = VirtualSignal::Square;
  d.Frequency = 100.0;
  d.Amplitudes = std::move(amplitudes);
  d.RealTime = realTime;
  return d;
}

std::string CapsName(uint32_t id) {
  WAVEINCAPS caps{};
  EXPECT_EQ(waveInGetDevCaps(id, &caps, sizeof caps), 0u);
  return caps.szPname;
}

TEST_F(VirtualWaveInTest, ListsDevicesUnderUniqueNamesOfAtMost127Bytes) {
  Use({Square("Line In", {0.5}), Square("Line In", {0.5}), Square(std::string(40, 'L'), {0.5}),
       Square(std::string(130, 'L'), {0.5})});
  ASSERT_EQ(waveInGetNumDevs(), 4u);
  EXPECT_EQ(CapsName(0), "Line In");
  EXPECT_EQ(CapsName(1), "Line In #2");
  EXPECT_EQ(CapsName(2), std::string(40, 'L'));
  EXPECT_EQ(CapsName(3), std::string(127, 'L'));

  WAVEINCAPS caps{};
  EXPECT_EQ(waveInGetDevCaps(4, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(waveInGetDevCaps(0, &caps, sizeof caps - 1), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInGetDevCaps(0, nullptr, sizeof caps), MMSYSERR_INVALPARAM);
}

TEST_F(VirtualWaveInTest, OpenRefusesBadFormatsFlagsAndDevices) {
  Use({Square("A", {0.5})});
  auto good = MakeFormat(2, 44100, 16);
  auto floatFormat = good;
  floatFormat.SubFormat.Data1 = 3;  // IEEE float
  auto oddWidth = MakeFormat(2, 44100, 16);
  oddWidth.Format.wBitsPerSample = 12;
  auto badAlign = good;
  badAlign.Format.nBlockAlign = 3;
  auto noChannels = MakeFormat(0, 44100, 16);
  auto shortExtensible = good;
  shortExtensible.Format.cbSize = 0;
  auto validAboveContainer = good;
  validAboveContainer.wValidBitsPerSample = 20;
  auto plainPcm = good;
  plainPcm.Format.wFormatTag = WAVE_FORMAT_PCM;
  plainPcm.Format.cbSize = 0;

  struct Case {
    const char* what;
    uint32_t device;
    const WAVEFORMATEX* format;
    WaveInProc callback;
    uint32_t flags;
    MMRESULT expected;
  } cases[] = {
      {"16-bit floats", 0, AsFormat(floatFormat), &Notifications::Callback, CALLBACK_FUNCTION,
       WAVERR_BADFORMAT},
      {"12-bit container", 0, AsFormat(oddWidth), &Notifications::Callback, CALLBACK_FUNCTION,
       WAVERR_BADFORMAT},
      {"block align", 0, AsFormat(badAlign), &Notifications::Callback, CALLBACK_FUNCTION,
       WAVERR_BADFORMAT},
      {"no channels", 0, AsFormat(noChannels), &Notifications::Callback, CALLBACK_FUNCTION,
       WAVERR_BADFORMAT},
      {"extension missing", 0, AsFormat(shortExtensible), &Notifications::Callback,
       CALLBACK_FUNCTION, WAVERR_BADFORMAT},
      {"valid bits", 0, AsFormat(validAboveContainer), &Notifications::Callback, CALLBACK_FUNCTION,
       WAVERR_BADFORMAT},
      {"no format", 0, nullptr, &Notifications::Callback, CALLBACK_FUNCTION, MMSYSERR_INVALPARAM},
      {"no callback", 0, AsFormat(good), nullptr, CALLBACK_FUNCTION, MMSYSERR_INVALPARAM},
      {"unknown flag", 0, AsFormat(good), &Notifications::Callback, CALLBACK_FUNCTION | 0x100,
       MMSYSERR_INVALFLAG},
      {"window callback", 0, AsFormat(good), &Notifications::Callback, 0x10000, MMSYSERR_INVALFLAG},
      {"device number", 1, AsFormat(good), &Notifications::Callback, CALLBACK_FUNCTION,
       MMSYSERR_BADDEVICEID},
  };
  for (const auto& c : cases) {
    HWAVEIN h = 77;
    EXPECT_EQ(waveInOpen(&h, c.device, c.format, c.callback, 0, c.flags), c.expected) << c.what;
    EXPECT_EQ(h, 0) << c.what;
  }
  EXPECT_EQ(waveInOpen(nullptr, 0, AsFormat(good), nullptr, 0, WAVE_FORMAT_QUERY), 0u);

  HWAVEIN h = 0;
  ASSERT_EQ(waveInOpen(&h, 0, AsFormat(plainPcm), &Notifications::Callback, FNotes.Instance(),
                       CALLBACK_FUNCTION | WAVE_MAPPED | WAVE_ALLOWSYNC),
            0u);
  EXPECT_EQ(waveInClose(h), 0u);
}

TEST_F(VirtualWaveInTest, WithoutDevicesTheMapperFailsAndItsHandleIsRefused) {
  Use({});
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  HWAVEIN h = 5;
  EXPECT_EQ(waveInOpen(&h, WAVE_MAPPER, AsFormat(MakeFormat(2, 44100, 16)),
                       &Notifications::Callback, 0, CALLBACK_FUNCTION | WAVE_ALLOWSYNC),
            MMSYSERR_NODRIVER);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(waveInStart(h), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInReset(h), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInClose(h), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualWaveInTest, FillsBuffersInQueueOrderWithEachChannelsSignal) {
  Use({Square("Quiet", {0.1}), Square("Loud", {0.5, 0.25})}, 1);
  Recording rec(WAVE_MAPPER, MakeFormat(2, 8000, 16), 6, 400);  // 100 frames each
  ASSERT_EQ(rec.Result, 0u);
  ASSERT_TRUE(rec.Notes.WaitForData(6));

  const auto notes = rec.Notes.Notes();
  ASSERT_EQ(notes.front().Msg, WIM_OPEN);
  size_t next = 0;
  for (const auto& n : notes) {
    if (n.Msg != WIM_DATA) continue;
    EXPECT_EQ(n.Handle, rec.Handle);
    EXPECT_EQ(rec.Buffers.IndexOf(n.Hdr), next++);
    EXPECT_EQ(n.BytesRecorded, 400u);
    EXPECT_EQ(n.Flags & (WHDR_DONE | WHDR_INQUEUE | WHDR_PREPARED), WHDR_DONE | WHDR_PREPARED);
  }
  // A 100 Hz square at 8 kHz: 40 frames high, 40 low, continuous across buffers.
  std::vector<int16_t> samples;
  for (size_t i = 0; i < rec.Buffers.Count(); ++i) {
    const auto& mem = rec.Buffers.Memory(i);
    const auto* s = reinterpret_cast<const int16_t*>(mem.data());
    samples.insert(samples.end(), s, s + mem.size() / 2);
  }
  for (size_t frame = 0; frame < samples.size() / 2; ++frame) {
    const int sign = (frame / 40) % 2 == 0 ? 1 : -1;
    ASSERT_EQ(samples[2 * frame], sign * 16384) << frame;
    ASSERT_EQ(samples[2 * frame + 1], sign * 8192) << frame;
  }
  rec.End();
  EXPECT_EQ(rec.Notes.Notes().back().Msg, WIM_CLOSE);
}

TEST_F(VirtualWaveInTest, SampleWidthsUseTheirContainers) {
  Use({Square("A", {0.5, -0.5})});
  struct Case {
    uint16_t bits;
    std::vector<uint8_t> firstFrame;  // left +half, right -half
  } cases[] = {
      {8, {192, 64}},
      {24, {0x00, 0x00, 0x40, 0x00, 0x00, 0xC0}},
      {32, {0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0xC0}},
  };
  for (const auto& c : cases) {
    Recording rec(0, MakeFormat(2, 8000, c.bits), 1, c.firstFrame.size() * 4);
    ASSERT_EQ(rec.Result, 0u);
    ASSERT_TRUE(rec.Notes.WaitForData(1));
    const auto& memory = rec.Buffers.Memory(0);
    EXPECT_EQ(std::vector<uint8_t>(memory.begin(), memory.begin() + c.firstFrame.size()),
              c.firstFrame)
        << c.bits;
  }
}

TEST_F(VirtualWaveInTest, SineAndSilenceHaveTheirLevels) {
  VirtualWaveInDevice sine;
  sine.Name = "Sine";
  sine.Frequency = 1000.0;
  sine.Amplitudes = {0.5, 0.125};
  VirtualWaveInDevice silence = sine;
  silence.Name = "Silence";
  silence.Signal = VirtualSignal::Silence;
  Use({sine, silence});
  struct Case {
    uint32_t device;
    int16_t quarterLeft, quarterRight;  // a quarter period in: the crest
  } cases[] = {{0, 16384, 4096}, {1, 0, 0}};
  for (const auto& c : cases) {
    Recording rec(c.device, MakeFormat(2, 48000, 16), 1, 48 * 4);  // one period
    ASSERT_EQ(rec.Result, 0u);
    ASSERT_TRUE(rec.Notes.WaitForData(1));
    const auto* s = reinterpret_cast<const int16_t*>(rec.Buffers.Memory(0).data());
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[2 * 12], c.quarterLeft);
    EXPECT_EQ(s[2 * 12 + 1], c.quarterRight);
    EXPECT_EQ(s[2 * 36], -c.quarterLeft);
    int peak = 0;
    for (size_t i = 0; i < 96; i += 2) peak = std::max(peak, std::abs(int{s[i]}));
    EXPECT_EQ(peak, c.quarterLeft);
  }
}

TEST_F(VirtualWaveInTest, HeaderRulesAreKept) {
  Use({Square("A", {0.5})});
  const HWAVEIN h = Open(0, MakeFormat(2, 8000, 16));
  BufferSet buffers(2, 400);
  WAVEHDR* a = buffers.Header(0);
  EXPECT_EQ(waveInAddBuffer(h, a, sizeof *a), WAVERR_UNPREPARED);
  EXPECT_EQ(waveInPrepareHeader(h, a, sizeof *a - 1), MMSYSERR_INVALPARAM);
  ASSERT_EQ(waveInPrepareHeader(h, a, sizeof *a), 0u);
  EXPECT_EQ(a->dwFlags, WHDR_PREPARED);
  ASSERT_EQ(waveInAddBuffer(h, a, sizeof *a), 0u);
  EXPECT_EQ(waveInAddBuffer(h, a, sizeof *a), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveInUnprepareHeader(h, a, sizeof *a), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveInClose(h), WAVERR_STILLPLAYING);
  EXPECT_EQ(waveInPrepareHeader(h + 1000, buffers.Header(1), sizeof(WAVEHDR)),
            MMSYSERR_INVALHANDLE);

  ASSERT_EQ(waveInReset(h), 0u);
  EXPECT_EQ(waveInUnprepareHeader(h, a, sizeof *a), 0u);
  EXPECT_EQ(a->dwFlags, WHDR_DONE);
  EXPECT_EQ(waveInClose(h), 0u);
  EXPECT_EQ(waveInClose(h), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveInPrepareHeader(h, a, sizeof *a), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualWaveInTest, ResetReturnsEveryQueuedBufferOnceInOrder) {
  Use({Square("Paced", {0.5}, true)});
  // 100 ms each: most are still queued when the reset comes.
  Recording rec(0, MakeFormat(2, 8000, 16), 40, 3200);
  ASSERT_EQ(rec.Result, 0u);
  ASSERT_TRUE(rec.Notes.WaitForData(1));
  ASSERT_EQ(waveInReset(rec.Handle), 0u);

  // Every buffer came back before the reset returned, exactly once and in queue order.
  const auto notes = rec.Notes.Notes();
  std::vector<size_t> order;
  for (const auto& n : notes)
    if (n.Msg == WIM_DATA) order.push_back(rec.Buffers.IndexOf(n.Hdr));
  ASSERT_EQ(order.size(), rec.Buffers.Count());
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
  EXPECT_EQ(notes.back().BytesRecorded, 0u);

  // Nothing more arrives after the reset, even though the device is paced and time passes.
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(rec.Notes.DataCount(), rec.Buffers.Count());
  rec.End();
  EXPECT_EQ(rec.Notes.Notes().back().Msg, WIM_CLOSE);
}

TEST_F(VirtualWaveInTest, RecordingResumesAfterAReset) {
  Use({Square("A", {0.5})});
  const HWAVEIN h = Open(0, MakeFormat(2, 8000, 16));
  BufferSet first(2, 400), second(2, 400);
  ASSERT_EQ(first.PrepareAndAddAll(h), 0u);
  ASSERT_EQ(waveInStart(h), 0u);
  ASSERT_TRUE(FNotes.WaitForData(2));
  ASSERT_EQ(waveInReset(h), 0u);
  ASSERT_EQ(second.PrepareAndAddAll(h), 0u);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(FNotes.DataCount(), 2u) << "a reset device records only once started again";
  ASSERT_EQ(waveInStart(h), 0u);
  ASSERT_TRUE(FNotes.WaitForData(4));
  EXPECT_EQ(second.Header(1)->dwBytesRecorded, 400u);
  EXPECT_EQ(waveInReset(h), 0u);
  EXPECT_EQ(first.UnprepareAll(h), 0u);
  EXPECT_EQ(second.UnprepareAll(h), 0u);
  EXPECT_EQ(waveInClose(h), 0u);
}

TEST_F(VirtualWaveInTest, BuffersRequeuedFromTheCallbackKeepCycling) {
  Use({Square("A", {0.5})});
  Recording rec(0, MakeFormat(2, 44100, 16), 4, 1024,
                [](HWAVEIN hwi, WAVEHDR* hdr) { waveInAddBuffer(hwi, hdr, sizeof *hdr); });
  ASSERT_EQ(rec.Result, 0u);
  ASSERT_TRUE(rec.Notes.WaitForData(200));
}

TEST_F(VirtualWaveInTest, ResetAndCloseAreRefusedFromTheCallback) {
  Use({Square("A", {0.5})});
  static MMRESULT resetResult, closeResult;
  resetResult = closeResult = 0;
  Recording rec(0, MakeFormat(2, 8000, 16), 1, 400, [](HWAVEIN hwi, WAVEHDR*) {
    resetResult = waveInReset(hwi);
    closeResult = waveInClose(hwi);
  });
  ASSERT_EQ(rec.Result, 0u);
  ASSERT_TRUE(rec.Notes.WaitForData(1));
  rec.End();
  EXPECT_EQ(resetResult, MMSYSERR_HANDLEBUSY);
  EXPECT_EQ(closeResult, MMSYSERR_HANDLEBUSY);
}

TEST_F(VirtualWaveInTest, InjectedFailuresReturnTheChosenCode) {
  auto backend = Use({Square("A", {0.5}), Square("B", {0.5})});
  const auto format = MakeFormat(2, 8000, 16);

  backend->SetFailure(WaveInCall::GetDevCaps, MMSYSERR_NOMEM, 1);
  WAVEINCAPS caps{};
  EXPECT_EQ(waveInGetDevCaps(0, &caps, sizeof caps), 0u);
  EXPECT_EQ(waveInGetDevCaps(1, &caps, sizeof caps), MMSYSERR_NOMEM);
  backend->SetFailure(WaveInCall::GetDevCaps, 0, 1);
  EXPECT_EQ(waveInGetDevCaps(1, &caps, sizeof caps), 0u);

  backend->SetFailure(WaveInCall::GetNumDevs, MMSYSERR_ERROR);
  EXPECT_EQ(waveInGetNumDevs(), 0u);
  backend->SetFailure(WaveInCall::GetNumDevs, 0);
  EXPECT_EQ(waveInGetNumDevs(), 2u);

  backend->SetFailure(WaveInCall::Open, MMSYSERR_ALLOCATED, WAVE_MAPPER);
  HWAVEIN h = 0;
  EXPECT_EQ(
      waveInOpen(&h, WAVE_MAPPER, AsFormat(format), &Notifications::Callback, 0, CALLBACK_FUNCTION),
      MMSYSERR_ALLOCATED);
  EXPECT_EQ(h, 0);
  backend->SetFailure(WaveInCall::Open, 0, WAVE_MAPPER);

  h = Open(0, format);
  BufferSet buffers(1, 400);
  const std::pair<WaveInCall, MMRESULT> failures[] = {
      {WaveInCall::PrepareHeader, MMSYSERR_NOMEM},   {WaveInCall::AddBuffer, MMSYSERR_INVALPARAM},
      {WaveInCall::Start, MMSYSERR_NOTENABLED},      {WaveInCall::Reset, MMSYSERR_NODRIVER},
      {WaveInCall::UnprepareHeader, MMSYSERR_ERROR}, {WaveInCall::Close, MMSYSERR_HANDLEBUSY},
  };
  for (const auto& [call, code] : failures) backend->SetFailure(call, code);
  WAVEHDR* hdr = buffers.Header(0);
  EXPECT_EQ(waveInPrepareHeader(h, hdr, sizeof *hdr), MMSYSERR_NOMEM);
  EXPECT_EQ(waveInAddBuffer(h, hdr, sizeof *hdr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveInStart(h), MMSYSERR_NOTENABLED);
  EXPECT_EQ(waveInReset(h), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInUnprepareHeader(h, hdr, sizeof *hdr), MMSYSERR_ERROR);
  EXPECT_EQ(waveInClose(h), MMSYSERR_HANDLEBUSY);
  EXPECT_EQ(hdr->dwFlags, 0u) << "a refused call changes nothing";
  for (const auto& [call, code] : failures) backend->SetFailure(call, 0);
  EXPECT_EQ(waveInClose(h), 0u);
}

TEST_F(VirtualWaveInTest, AudioWithNoQueuedBufferIsCountedLost) {
  Use({Square("Paced", {0.5}, true)});
  const HWAVEIN h = Open(0, MakeFormat(2, 8000, 16));
  ASSERT_EQ(waveInStart(h), 0u);
  uint64_t lost = 0;
  for (int i = 0; i < 200 && lost == 0; ++i) {
    std::this_thread::sleep_for(10ms);
    ASSERT_EQ(waveInGetLostBytes(h, &lost), 0u);
  }
  EXPECT_GT(lost, 0u);
  EXPECT_EQ(lost % 4, 0u) << "whole frames";
  EXPECT_EQ(FNotes.DataCount(), 0u);
  EXPECT_EQ(waveInReset(h), 0u);
  EXPECT_EQ(waveInClose(h), 0u);
  EXPECT_EQ(waveInGetLostBytes(h, &lost), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualWaveInTest, AnUnpluggedDeviceReturnsItsBuffersAndRefusesMore) {
  auto backend = Use({Square("Paced", {0.5}, true)});
  Recording rec(0, MakeFormat(2, 8000, 16), 5, 32000);
  ASSERT_EQ(rec.Result, 0u);
  backend->Unplug(0);
  ASSERT_TRUE(rec.Notes.WaitForData(5, 1s));
  EXPECT_EQ(waveInAddBuffer(rec.Handle, rec.Buffers.Header(0), sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
  EXPECT_EQ(waveInStart(rec.Handle), MMSYSERR_NODRIVER);
  rec.End();

  Recording again(0, MakeFormat(2, 8000, 16), 1, 160);
  ASSERT_EQ(again.Result, 0u);
  EXPECT_TRUE(again.Notes.WaitForData(1));
}

class TempWav {
public:
  TempWav(int format, int channels, const std::vector<uint8_t>& raw) {
    FPath = std::filesystem::temp_directory_path() /
            ("wavein-" + std::to_string(getpid()) + "-" + std::to_string(format) + ".wav");
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE* f = sf_open(FPath.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_write_raw(f, raw.data(), static_cast<sf_count_t>(raw.size())),
              static_cast<sf_count_t>(raw.size()));
    sf_close(f);
  }
  ~TempWav() { std::filesystem::remove(FPath); }
  std::string Path() const { return FPath.string(); }

private:
  std::filesystem::path FPath;
};

// Floats as well: a float file opened for floats is passed on as it is.
TEST_F(VirtualWaveInTest, FilesArriveByteForByteAndEndWithAPartBuffer) {
  struct Case {
    int sfFormat;
    uint16_t bits;
  } cases[] = {{SF_FORMAT_PCM_U8, 8},
               {SF_FORMAT_PCM_16, 16},
               {SF_FORMAT_PCM_24, 24},
               {SF_FORMAT_PCM_32, 32},
               {SF_FORMAT_FLOAT, 32}};
  std::mt19937 random(7);
  for (const auto& c : cases) {
    const size_t frames = 2501;
    const size_t frameBytes = c.bits / 8 * 2;
    std::vector<uint8_t> raw(frames * frameBytes);
    for (auto& b : raw) b = static_cast<uint8_t>(random());
    raw[0] = 0x80;
    const bool isFloat = c.sfFormat == SF_FORMAT_FLOAT;
    if (isFloat) {  // finite floats from -4 to 4
      for (size_t i = 3; i < raw.size(); i += 4) raw[i] = static_cast<uint8_t>(raw[i] & 0xC0);
    }
    TempWav wav(c.sfFormat, 2, raw);

    VirtualWaveInDevice device;
    device.Name = "File";
    device.Signal = VirtualSignal::File;
    device.FilePath = wav.Path();
    device.Loop = false;
    Use({device});
    auto format = MakeFormat(2, 8000, c.bits);
    if (isFloat) format.SubFormat.Data1 = 3;  // IEEE float
    // The file fills five buffers and one frame of the sixth.
    Recording rec(0, format, 6, 500 * frameBytes);
    ASSERT_EQ(rec.Result, 0u);
    ASSERT_TRUE(rec.Notes.WaitForData(6));

    std::vector<uint8_t> recorded;
    for (const auto& n : rec.Notes.Notes()) {
      if (n.Msg != WIM_DATA) continue;
      recorded.insert(recorded.end(), n.Hdr->lpData, n.Hdr->lpData + n.BytesRecorded);
    }
    EXPECT_EQ(recorded, raw) << c.bits << "-bit";
    EXPECT_EQ(rec.Buffers.Header(5)->dwBytesRecorded, frameBytes);
  }
}

// Opened for floats, an integer file arrives scaled to full scale 1.0.
TEST_F(VirtualWaveInTest, IntegerFilesArriveAsFloatsWhenOpenedForThem) {
  const std::vector<int16_t> samples = {16384, -32768, 32767, -1};
  std::vector<uint8_t> raw(samples.size() * 2);
  std::memcpy(raw.data(), samples.data(), raw.size());
  TempWav wav(SF_FORMAT_PCM_16, 1, raw);
  VirtualWaveInDevice device;
  device.Name = "File";
  device.Signal = VirtualSignal::File;
  device.FilePath = wav.Path();
  device.Loop = false;
  Use({device});
  auto format = MakeFormat(1, 8000, 32);
  format.SubFormat.Data1 = 3;  // IEEE float
  Recording rec(0, format, 1, 4 * sizeof(float));
  ASSERT_EQ(rec.Result, 0u);
  ASSERT_TRUE(rec.Notes.WaitForData(1));
  float got[4];
  std::memcpy(got, rec.Buffers.Header(0)->lpData, sizeof got);
  EXPECT_EQ(std::vector<float>(got, got + 4),
            (std::vector<float>{0.5f, -1.0f, 32767 / 32768.0f, -1 / 32768.0f}));
}

TEST_F(VirtualWaveInTest, FilesMustMatchTheChannelsAndExist) {
  TempWav wav(SF_FORMAT_PCM_16, 1, std::vector<uint8_t>(200));
  VirtualWaveInDevice mono;
  mono.Name = "Mono";
  mono.Signal = VirtualSignal::File;
  mono.FilePath = wav.Path();
  VirtualWaveInDevice missing = mono;
  missing.FilePath = "/nonexistent/none.wav";
  Use({mono, missing});
  HWAVEIN h = 0;
  EXPECT_EQ(waveInOpen(&h, 0, AsFormat(MakeFormat(2, 8000, 16)), &Notifications::Callback, 0,
                       CALLBACK_FUNCTION),
            WAVERR_BADFORMAT);
  EXPECT_EQ(waveInOpen(&h, 1, AsFormat(MakeFormat(1, 8000, 16)), &Notifications::Callback, 0,
                       CALLBACK_FUNCTION),
            MMSYSERR_ERROR);
  ASSERT_EQ(waveInOpen(&h, 0, AsFormat(MakeFormat(1, 8000, 16)), &Notifications::Callback,
                       FNotes.Instance(), CALLBACK_FUNCTION),
            0u);
  EXPECT_EQ(waveInClose(h), 0u);
}

TEST_F(VirtualWaveInTest, ManyDevicesOpenAndCloseWhileDelivering) {
  Use({Square("A", {0.5}), Square("B", {0.25}, true)});
  std::vector<std::thread> threads;
  for (uint32_t t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int round = 0; round < 25; ++round) {
        Recording rec(t % 2, MakeFormat(2, 48000, 16), 8, 256);
        ASSERT_EQ(rec.Result, 0u);
        if (round % 2) std::this_thread::sleep_for(1ms);
        rec.End();
        ASSERT_EQ(rec.Notes.DataCount(), 8u);
        ASSERT_EQ(rec.Notes.Notes().back().Msg, WIM_CLOSE);
      }
    });
  }
  for (auto& th : threads) th.join();
}

}  // namespace
