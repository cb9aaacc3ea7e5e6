#include "metering/ALPPMMeter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

#include "BoundedWait.h"
#include "MeterTestSupport.h"

namespace {

// The pre-filter and the detector written out plainly, one sample at a time, in double.
struct TReferenceChannel {
  double R;
  double N;
  double X1 = 0, X2 = 0, Y1 = 0;
  double Level = 0;

  TReferenceChannel(uint32_t ARate, int32_t AHalfLife)
      : R(static_cast<float>(1.0L - 40.0L * std::numbers::pi_v<long double> / ARate)),
        N(std::max(1.0, ARate * static_cast<double>(AHalfLife) / 1000.0)) {}

  void Add(double AInput) {
    const double Y = X1 - X2 + R * Y1;
    X2 = X1;
    X1 = AInput;
    Y1 = Y;
    Level = Detect(Level, static_cast<float>(Y), N);
  }

  static double Detect(double AValue, float ASample, double AN, double ASnap = 0.005) {
    const double Release = AValue / AN;
    const float S = std::fabs(ASample);
    if (std::isinf(S) || std::isnan(S)) return 0;
    if (S > AValue) return S;
    if (AValue <= ASnap) return 0;
    return std::max(AValue - Release, static_cast<double>(S));
  }
};

class PPMMeterTest : public MeterTest {
protected:
  void SetUp() override {
    MeterTest::SetUp();
    Recreate();
  }
  // A fresh meter on a fresh source, with its own events, for each case of a table.
  void Recreate() {
    Meter.reset();
    Events.clear();
    Meter = TLPComponent::Create<TALPPMMeter>();
    Attach(*Meter);
  }
  void TearDown() override {
    Meter.reset();
    MeterTest::TearDown();
  }

  // Sends mono or interleaved samples in buffers of 256 frames, then runs the deliveries
  // posted for the main thread.
  void SendAll(const std::vector<int32_t>& ASamples) {
    const size_t Step = 256 * FFormat.Format.nChannels;
    std::vector<std::shared_ptr<IALAudioBuffer>> Buffers;
    for (size_t First = 0; First < ASamples.size(); First += Step) {
      const size_t Last = std::min(ASamples.size(), First + Step);
      Buffers.push_back(MakeBuffer(
          FFormat, std::vector<int32_t>(ASamples.begin() + static_cast<std::ptrdiff_t>(First),
                                        ASamples.begin() + static_cast<std::ptrdiff_t>(Last))));
    }
    SendBuffers(Buffers);
    Drain();
  }

  std::unique_ptr<TALPPMMeter> Meter;
};

// 8-bit silence is 128: it reads 0 from the first block, with no start transient.
TEST_F(PPMMeterTest, DigitalSilenceNeverRaisesAnEvent) {
  for (const auto& [Bits, Silence] : {std::pair{16u, 0}, std::pair{8u, 128}, std::pair{0u, 0}}) {
    SCOPED_TRACE(Bits);
    Recreate();
    Start(MakeFormat(44100, Bits, 2));
    SendAll(std::vector<int32_t>(2 * 44100 * 3, Silence));
    EXPECT_TRUE(Events.empty());
  }
}

// The filter delays by one sample, so the level jumps to the peak one sample after it; each
// block then reports the level at its own last sample, falling as e^(-t / HalfLife).
TEST_F(PPMMeterTest, SingleFullScaleSampleJumpsThenFallsExponentially) {
  Meter->SetHalfLife(400);
  Meter->SetPeriod(1);  // 44 frames
  Meter->SetSynchronizeType(stNone);
  Start(MakeFormat(44100, 16, 1));
  std::vector<int32_t> Samples(44100, 0);
  Samples[100] = 32767;
  SendAll(Samples);

  const std::vector<double> Values = ValuesOf(0);
  ASSERT_GT(Values.size(), 500u);
  // Block 2 holds frames 88 .. 131: the peak arrives at frame 101, 30 samples before its end.
  const double N = 44100 * 0.4;
  double Expected = 32767;
  for (int k = 0; k < 30; ++k) Expected -= Expected / N;
  EXPECT_EQ(Values[0], Expected);
  EXPECT_LT(Values[0], 32767);
  // Block k ends at frame 44k + 43, that is 44k - 58 samples after the jump.
  for (size_t k = 10; k < 990 && k - 2 < Values.size(); k += 100) {
    const double Elapsed = (44.0 * static_cast<double>(k) - 58) / 44100;
    EXPECT_NEAR(Values[k - 2] / (32767 * std::exp(-Elapsed / 0.4)), 1, 1e-3) << "block " << k;
  }
}

TEST_F(PPMMeterTest, FullScaleSquareWaveReadsAboutTwiceFullScale) {
  Meter->SetPeriod(10);
  Meter->SetSynchronizeType(stNone);
  Start(MakeFormat(44100, 16, 1));
  std::vector<int32_t> Samples;
  for (int Cycle = 0; Cycle < 10; ++Cycle) {  // 10 Hz
    Samples.insert(Samples.end(), 2205, 32767);
    Samples.insert(Samples.end(), 2205, -32768);
  }
  SendAll(Samples);
  const std::vector<double> Values = ValuesOf(0);
  ASSERT_FALSE(Values.empty());
  const double Highest = *std::max_element(Values.begin(), Values.end());
  EXPECT_GT(Highest, 64000);
  EXPECT_LE(Highest, 65535);
  EXPECT_TRUE(std::all_of(Events.begin(), Events.end(),
                          [](const TValueEvent& E) { return E.Max == 32767; }));
}

struct TOffsetCase {
  uint32_t Bits;
  int32_t Sample;
};

// A constant input passes the filter only as its start transient; once the level left by it
// has decayed below 0.005 the channel reads exactly 0.
TEST_F(PPMMeterTest, ConstantInputReadsZeroAfterTheStartTransient) {
  const TOffsetCase Cases[] = {{16, 10000}, {16, -32768}, {8, 255}, {24, 8388607}};
  for (const TOffsetCase& Case : Cases) {
    SCOPED_TRACE(Case.Bits);
    Recreate();
    Meter->SetHalfLife(100);
    Meter->SetPeriod(1);
    Meter->SetSynchronizeType(stNone);
    Start(MakeFormat(44100, Case.Bits, 1));
    SendAll(std::vector<int32_t>(44100 * 3, Case.Sample));
    const std::vector<double> Values = ValuesOf(0);
    ASSERT_GE(Values.size(), 2u);
    // The first block ends 43 samples after the step enters the level.
    const double Step =
        std::abs(static_cast<double>(Case.Bits == 8 ? Case.Sample - 128 : Case.Sample));
    EXPECT_NEAR(Values.front(), Step * std::pow(1 - 1 / 4410.0, 42), Step * 1e-4);
    EXPECT_EQ(Values.back(), 0);
  }
}

// The levels carry over a restart and decay from there at the new rate.
TEST_F(PPMMeterTest, RestartAtAnotherRateCarriesTheLevelOver) {
  Meter->SetHalfLife(400);
  Meter->SetPeriod(10);
  Meter->SetSynchronizeType(stNone);
  Start(MakeFormat(44100, 16, 2));
  std::vector<int32_t> Loud(2 * 4410 * 3);
  for (size_t i = 0; i < Loud.size(); ++i) Loud[i] = (i / 2) % 100 < 50 ? 20000 : -20000;
  SendAll(Loud);
  ASSERT_FALSE(ValuesOf(1).empty());
  const double Before = ValuesOf(1).back();

  Stop();
  Start(MakeFormat(8000, 16, 2));
  Events.clear();
  SendAll(std::vector<int32_t>(2 * 81, 0));  // one block of 80 frames, and one frame more
  const std::vector<double> After = ValuesOf(1);
  ASSERT_EQ(After.size(), 1u);
  double Expected = Before;
  for (int k = 0; k < 80; ++k) Expected = TReferenceChannel::Detect(Expected, 0, 8000 * 0.4);
  EXPECT_EQ(After[0], Expected);
}

struct TReleaseCase {
  uint32_t Rate;
  int32_t HalfLife;
};

// No release time, a negative one, or a stream rate of 0 would divide by zero or make the
// level grow; the release then spans one sample, so the level follows the filtered signal.
// Below 126 Hz the filter's pole would turn negative (and grow past -1 below 63 Hz): it is
// held at 0 instead.
TEST_F(PPMMeterTest, DegenerateReleaseTimesAndRatesKeepTheLevelBounded) {
  const TReleaseCase Cases[] = {{44100, 0}, {44100, -1}, {44100, -100000}, {0, 400},
                                {0, 0},     {1, 400},    {40, 400},        {125, 400}};
  std::mt19937 Random(7);
  std::uniform_int_distribution<int32_t> Sample(-32768, 32767);
  for (const TReleaseCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << Case.Rate << " Hz, " << Case.HalfLife << " ms");
    Recreate();
    Meter->SetHalfLife(Case.HalfLife);
    Meter->SetPeriod(1);
    Meter->SetSynchronizeType(stNone);
    Start(MakeFormat(Case.Rate, 16, 1));
    std::vector<int32_t> Samples(20000);
    for (int32_t& S : Samples) S = Sample(Random);
    Samples.insert(Samples.end(), 44100, 0);
    SendAll(Samples);
    ASSERT_FALSE(Events.empty());
    for (const TValueEvent& Event : Events) {
      ASSERT_TRUE(std::isfinite(Event.Value));
      ASSERT_GE(Event.Value, 0);
      // The filter's gain stays below 2 / (1 + R) ~ 2 for any mix of full-scale samples.
      ASSERT_LT(Event.Value, 2 * 65536.0);
    }
    // A release of one sample leaves no memory of the noise once the filter has settled.
    EXPECT_LT(Events.back().Value, 1);
  }
}

TEST(PPMDetector, EqualsThePlainRuleOnRandomSignalsForAnyChannelCount) {
  std::mt19937 Random(11);
  std::uniform_real_distribution<float> Uniform(-1, 1);
  std::uniform_int_distribution<int> Pick(0, 99);
  constexpr int32_t Length = 3000;
  for (int32_t Channels : {1, 2, 3, 5}) {
    for (double N : {1.0, 3.5, 441.0, 17640.0}) {
      std::vector<std::vector<float>> Blocks(static_cast<size_t>(Channels),
                                             std::vector<float>(Length));
      for (auto& Block : Blocks) {
        float Scale = 30000;
        for (float& S : Block) {
          const int P = Pick(Random);
          if (P == 0)
            Scale = Scale > 1 ? 0.004f : 30000;  // bursts and near-silence around the snap
          S = P == 1   ? std::numeric_limits<float>::infinity()
              : P == 2 ? std::numeric_limits<float>::quiet_NaN()
                       : Scale * Uniform(Random);
        }
      }
      std::vector<double> Levels(static_cast<size_t>(Channels));
      std::vector<double> Expected(static_cast<size_t>(Channels));
      for (int32_t c = 0; c < Channels; ++c) Levels[c] = Expected[c] = 1000.0 * c;
      std::vector<const float*> Pointers;
      for (auto& Block : Blocks) Pointers.push_back(Block.data());

      TALPPMMeter::Detect(Pointers.data(), Channels, Length, Levels.data(), N);
      for (int32_t c = 0; c < Channels; ++c)
        for (float S : Blocks[c]) Expected[c] = TReferenceChannel::Detect(Expected[c], S, N);
      EXPECT_EQ(Levels, Expected) << Channels << " channels, N = " << N;
    }
  }
}

struct TStreamCase {
  uint32_t Rate;
  int32_t HalfLife;
  uint32_t Channels;
};

// The whole meter against the plain formulas on noise of changing loudness. The meter's
// filter runs in single precision, the reference in double: they agree closely, not exactly.
TEST_F(PPMMeterTest, LevelsFollowThePlainFormulasOnRandomSignals) {
  const TStreamCase Cases[] = {{44100, 400, 2}, {8000, 10, 1}, {48000, 1000, 3}};
  std::mt19937 Random(3);
  std::normal_distribution<double> Noise(0, 1);
  for (const TStreamCase& Case : Cases) {
    SCOPED_TRACE(testing::Message() << Case.Rate << " Hz, " << Case.HalfLife << " ms");
    Recreate();
    Meter->SetCountChannels(static_cast<int32_t>(Case.Channels));
    Meter->SetHalfLife(Case.HalfLife);
    Meter->SetPeriod(10);
    Meter->SetSynchronizeType(stNone);
    Start(MakeFormat(Case.Rate, 16, Case.Channels));

    const uint32_t Frames = Case.Rate * 2;
    const uint32_t Block = Case.Rate / 100;
    std::vector<int32_t> Samples;
    std::vector<TReferenceChannel> Reference(Case.Channels,
                                             TReferenceChannel(Case.Rate, Case.HalfLife));
    std::vector<std::vector<double>> Expected(Case.Channels);
    double Loudness = 1000;
    for (uint32_t f = 0; f < Frames; ++f) {
      if (f % 997 == 0) Loudness = 100 + 9000 * std::abs(Noise(Random));
      for (uint32_t c = 0; c < Case.Channels; ++c) {
        const auto S =
            static_cast<int32_t>(std::clamp(Loudness * Noise(Random), -32768.0, 32767.0));
        Samples.push_back(S);
        Reference[c].Add(S);
        // Only whole blocks that were followed by at least one more frame are measured.
        if ((f + 1) % Block == 0 && f + 1 < Frames) Expected[c].push_back(Reference[c].Level);
      }
    }
    SendAll(Samples);
    for (uint32_t c = 0; c < Case.Channels; ++c) {
      const std::vector<double> Got = ValuesOf(static_cast<int32_t>(c));
      ASSERT_EQ(Got.size(), Expected[c].size()) << "channel " << c;
      for (size_t k = 0; k < Got.size(); ++k)
        ASSERT_NEAR(Got[k], Expected[c][k], 1e-4 * Expected[c][k] + 0.01)
            << "channel " << c << " block " << k;
    }
  }
}

struct TLongRunCase {
  uint32_t Rate;
  uint32_t Bits;  // 0: floats
  int32_t HalfLife;
};

// Records the levels of every block, changed or not.
class TBlockRecorder : public TALPPMMeter {
public:
  ~TBlockRecorder() override { BeforeDestruction(); }
  std::vector<std::array<double, 2>> Levels;

protected:
  void CalculateValues(TALChannelReals& AValues) override {
    TALPPMMeter::CalculateValues(AValues);
    Levels.push_back({AValues[0], AValues[1]});
  }
};

// Ten minutes of stereo through the meter against the formulas evaluated one sample at a time:
// the filter in single precision, the detector in double with its division. Every minute: 20 s
// of noise of changing loudness, 30 s of silence (long enough for the level to decay through the
// snap unless the release is very long), 5 s of a full-scale 10 Hz square, whose steps make the
// largest levels, and 5 s of noise of one unit. At every block end the levels may differ from the
// formulas by a billionth of their value at most, and read 0 exactly where they do.
TEST(PPMLongRun, LevelsStayWithinABillionthOfTheFormulasAtEveryBlockEnd) {
  const TLongRunCase Cases[] = {{8000, 16, 400},     {44100, 16, 400}, {96000, 16, 1000},
                                {192000, 16, 20000}, {44100, 8, 10},   {44100, 0, 400}};
  auto Queue = std::make_shared<TSLMessageQueue>();
  SLSetMessageQueue(Queue);
  for (const TLongRunCase& Case : Cases) {
    SCOPED_TRACE(testing::Message()
                 << Case.Rate << " Hz, " << Case.Bits << " bits, " << Case.HalfLife << " ms");
    const TALWaveFormatExtensible Format = MakeFormat(Case.Rate, Case.Bits, 2);
    TTestSource Source;
    auto Meter = TLPComponent::Create<TBlockRecorder>();
    Meter->SetHalfLife(Case.HalfLife);
    Meter->SetSynchronizeType(stNone);
    ASSERT_TRUE(Meter->InputPin()->Connect(&Source.OutputPin()));
    Source.OutputPin().Notify(std::make_shared<TOWStartWaveOperation>(Format, false));

    // Samples in the stream's own units; 8-bit ones centred, as the meter takes them.
    const bool Float = Case.Bits == 0;
    const double Full = Float ? 1.0 : Case.Bits == 8 ? 127.0 : 32767.0;
    const double Snap = Float ? 0.005 / 32767 : 0.005;
    const double N = Case.Rate * (Case.HalfLife / 1000.0);
    const auto R = static_cast<float>(1.0L - 40.0L * std::numbers::pi_v<long double> / Case.Rate);
    const uint32_t Block = Case.Rate / 10;
    const uint64_t Frames = uint64_t{Case.Rate} * 600;
    const uint32_t BufferFrames = 4096;

    uint64_t Random = 12345;
    double Loudness = 0.5;
    auto Generate = [&](uint64_t AFrame, uint32_t AChannel) -> double {
      const uint64_t InCycle = AFrame % (uint64_t{Case.Rate} * 60);
      Random = Random * 6364136223846793005u + 1442695040888963407u;
      const double Uniform = static_cast<double>(Random >> 11) * 0x1p-52 - 1;
      if (InCycle < Case.Rate * 20)
        return Float ? static_cast<float>(Loudness * Uniform)
                     : std::round(Loudness * Full * Uniform);
      if (InCycle < Case.Rate * 50) return 0;
      if (InCycle < Case.Rate * 55) {  // the right channel a quarter period later
        const uint64_t Phase = (InCycle * 10 + AChannel * Case.Rate / 4) % Case.Rate;
        return Phase < Case.Rate / 2 ? Full : Float ? -1.0 : -Full - 1;
      }
      return Float ? static_cast<float>(Uniform / 32768) : std::round(Uniform);
    };

    // The meter measures with subnormal floats flushed to zero where the processor can do it,
    // which touches only levels below 1e-37.
    auto Flush = [](float AValue) {
#if defined(__SSE__)
      return std::fabs(AValue) < std::numeric_limits<float>::min() ? 0.0f : AValue;
#else
      return AValue;
#endif
    };
    float X1[2] = {0, 0}, X2[2] = {0, 0}, Y1[2] = {0, 0};
    double Level[2] = {0, 0};
    std::vector<std::array<double, 2>> Expected;
    std::vector<std::shared_ptr<IALAudioBuffer>> Pending;
    // One frame more than the ten minutes lets the last block be measured.
    for (uint64_t First = 0; First <= Frames; First += BufferFrames) {
      const auto Count =
          static_cast<uint32_t>(std::min<uint64_t>(BufferFrames, Frames + 1 - First));
      auto Buffer = TALAudioBuffer::CreateWaveFormat(Format, Count);
      uint8_t* Out = Buffer->ByteWrite();
      for (uint64_t f = First; f < First + Count; ++f) {
        if (f % (Case.Rate / 5) == 0) Loudness = static_cast<double>(Random >> 40) * 0x1p-24;
        for (uint32_t c = 0; c < 2; ++c) {
          const double Value = Generate(f, c);
          if (Float) {
            const auto Sample = static_cast<float>(Value);
            std::memcpy(Out, &Sample, sizeof Sample);
          } else if (Case.Bits == 8) {
            *Out = static_cast<uint8_t>(Value + 128);
          } else {
            const auto Sample = static_cast<int16_t>(Value);
            std::memcpy(Out, &Sample, sizeof Sample);
          }
          Out += Format.Format.wBitsPerSample / 8;
          const float Y = Flush(X1[c] - X2[c] + Flush(R * Y1[c]));
          X2[c] = X1[c];
          X1[c] = static_cast<float>(Value);
          Y1[c] = Y;
          Level[c] = TReferenceChannel::Detect(Level[c], Y, N, Snap);
        }
        if ((f + 1) % Block == 0) Expected.push_back({Level[0], Level[1]});
      }
      Pending.push_back(std::move(Buffer));
      if (Pending.size() == 256 || First + BufferFrames > Frames) {
        std::thread Worker([&] {
          for (const auto& Each : Pending) Source.OutputPin().SubmitBuffer(Each);
        });
        Worker.join();
        Pending.clear();
      }
    }

    ASSERT_EQ(Meter->Levels.size(), Frames / Block);
    double Highest = 0;
    int64_t Zeros = 0;
    for (size_t k = 0; k < Meter->Levels.size(); ++k) {
      for (size_t c = 0; c < 2; ++c) {
        const double Want = Expected[k][c], Got = Meter->Levels[k][c];
        Highest = std::max(Highest, Want);
        Zeros += Want == 0;
        if (Want == 0)
          ASSERT_EQ(Got, 0) << "block " << k << " channel " << c;
        else
          ASSERT_LE(std::abs(Got - Want), 1e-9 * Want) << "block " << k << " channel " << c;
      }
    }
    // The signal reached what it is there for: levels beyond full scale, which only the
    // filter's response to steps makes, and the snap where the silence outlasts the release.
    EXPECT_GT(Highest, Full);
    if (Case.HalfLife <= 1000) {
      EXPECT_GT(Zeros, 1000);
    }
    Meter.reset();
  }
  SLSetMessageQueue(nullptr);
}

// The meter goes while a worker thread is delivering: deliveries that find it stopping are
// dropped at once, and the worker never waits for the main thread.
TEST_F(PPMMeterTest, DestroyedWhileAWorkerIsDelivering) {
  Meter->SetPeriod(5);
  Meter->SetSynchronizeType(stQueue);
  Start(MakeFormat(44100, 16, 2));
  std::atomic<bool> Running{true};
  std::atomic<int> Delivered{0};
  std::vector<int32_t> Samples(2 * 256);
  for (size_t i = 0; i < Samples.size(); ++i)
    Samples[i] = static_cast<int32_t>(i * 97 % 20000) - 10000;
  const std::shared_ptr<IALAudioBuffer> Buffer = MakeBuffer(FFormat, Samples);
  TALOWAudioSourcePin& Source = FSource->OutputPin();
  std::thread Worker([&] {
    while (Running) {
      Source.SubmitBuffer(Buffer);
      ++Delivered;
    }
  });
  {
    TBoundedWait bound("the worker's first deliveries");
    while (Delivered < 50) std::this_thread::yield();
  }
  Drain();
  {
    TBoundedWait bound("the meter's destruction while a worker delivers");
    Meter.reset();
  }
  const int AtDestruction = Delivered;
  {
    TBoundedWait bound("the worker's deliveries once the meter is gone");
    while (Delivered < AtDestruction + 50) std::this_thread::yield();
  }
  Running = false;
  Worker.join();
  Drain();  // deliveries posted for the meter that is gone are discarded
  EXPECT_FALSE(Events.empty());
  EXPECT_EQ(Source.SinkCount(), 0);
}

}  // namespace
