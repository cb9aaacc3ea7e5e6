#include "metering/ALCommonMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <tuple>
#include <vector>

#include "MeterTestSupport.h"

namespace {

using TBlock = std::vector<float>;

// A meter that records every block it is given and reports a value computed from it.
class TProbeMeter : public TALCommonMeter {
public:
  ~TProbeMeter() override { BeforeDestruction(); }
  using TALCommonMeter::GetBlockSize;

  // Blocks[k][channel]: the k-th block of each active channel.
  std::vector<std::vector<TBlock>> Blocks;
  std::function<double(int32_t AChannel, const TBlock& ABlock)> Value =
      [](int32_t, const TBlock& ABlock) { return ABlock.front() + 0.1; };

protected:
  void CalculateValues(TALChannelReals& AValues) override {
    std::vector<TBlock>& Channels = Blocks.emplace_back();
    for (int32_t i = 0; i < ActiveChannelCount(); ++i) {
      const float* Data = BlockBuffer(i);
      Channels.emplace_back(Data, Data + GetBlockSize());
      AValues[static_cast<std::size_t>(i)] = Value(i, Channels.back());
    }
  }
};

// Frames numbered from AFirst: channel c of frame f holds c * 100 + f.
std::vector<int32_t> Ramp(int32_t AFirst, int32_t AFrames, int32_t AChannels) {
  std::vector<int32_t> Samples;
  for (int32_t f = AFirst; f < AFirst + AFrames; ++f)
    for (int32_t c = 0; c < AChannels; ++c) Samples.push_back(c * 100 + f);
  return Samples;
}

TBlock RampBlock(int32_t AFirst, int32_t AFrames, int32_t AChannel = 0) {
  TBlock Block;
  for (int32_t f = AFirst; f < AFirst + AFrames; ++f)
    Block.push_back(static_cast<float>(AChannel * 100 + f));
  return Block;
}

class CommonMeterTest : public MeterTest {
protected:
  void SetUp() override {
    MeterTest::SetUp();
    Recreate();
  }
  void Recreate() {
    Meter.reset();
    Events.clear();
    Meter = TLPComponent::Create<TProbeMeter>();
    Attach(*Meter);
  }
  void TearDown() override {
    Meter.reset();
    MeterTest::TearDown();
  }

  std::unique_ptr<TProbeMeter> Meter;
};

// 16-bit stereo at 44100 Hz with the defaults: 4410-frame blocks, one reading per 100 ms.
TEST_F(CommonMeterTest, DefaultBlocksAreATenthOfASecond) {
  Meter->Value = [](int32_t AChannel, const TBlock& ABlock) { return ABlock.size() + AChannel; };
  Start(MakeFormat(44100, 16, 2));
  Send(std::vector<int32_t>(2 * 4411, 1));
  EXPECT_TRUE(Events.empty());  // delivered on the main thread only
  Drain();
  ASSERT_EQ(Events.size(), 2u);
  for (int32_t Channel : {0, 1}) {
    EXPECT_EQ(Events[Channel].Channel, Channel);
    EXPECT_EQ(Events[Channel].Value, 4410 + Channel);
    EXPECT_EQ(Events[Channel].Min, 0);
    EXPECT_EQ(Events[Channel].Max, 32767);
  }
}

// A block is taken only while the queue holds more unread frames than one block, and blocks
// run on across buffer boundaries without losing or repeating a frame.
TEST_F(CommonMeterTest, BlocksRunAcrossBuffersAndNeedMoreThanABlockOfFrames) {
  Meter->SetPeriod(10);  // 10 frames at 1000 Hz
  Meter->SetSynchronizeType(stNone);
  Start(MakeFormat(1000, 16, 2));
  const size_t BlocksAfter[] = {0, 1, 2, 2, 3};
  for (int32_t k = 0; k < 5; ++k) {
    Send(Ramp(7 * k, 7, 2));
    EXPECT_EQ(Meter->Blocks.size(), BlocksAfter[k]) << "after buffer " << k;
  }
  ASSERT_EQ(Meter->Blocks.size(), 3u);
  for (int32_t b = 0; b < 3; ++b)
    for (int32_t c = 0; c < 2; ++c)
      EXPECT_EQ(Meter->Blocks[b][c], RampBlock(10 * b, 10, c)) << "block " << b << " channel " << c;
}

TEST_F(CommonMeterTest, ExactlyOneBlockOfUnreadFramesProcessesNothing) {
  Meter->SetPeriod(10);
  Start(MakeFormat(1000, 16, 1));
  Send(Ramp(0, 10, 1));
  EXPECT_TRUE(Meter->Blocks.empty());
  EXPECT_EQ(Drain(), 0u);  // no block, no notification
  Send(Ramp(10, 1, 1));
  ASSERT_EQ(Meter->Blocks.size(), 1u);
  EXPECT_EQ(Meter->Blocks[0][0], RampBlock(0, 10));
}

struct TDepthCase {
  uint32_t Bits;  // 0: float
  std::vector<int32_t> Samples;
  TBlock Expected;
  double Max;
  int64_t Clipped;
};

// The block buffers hold the sample values as floats, unscaled; 8-bit samples are centred on
// their offset of 128. Samples at either end of the format's range count as clipped.
TEST_F(CommonMeterTest, SampleDepthsConvertToUnscaledFloatsAndCountClipping) {
  const float Inf = std::numeric_limits<float>::infinity();
  const TDepthCase Cases[] = {
      {8, {0, 128, 255, 1, 254}, {-128, 0, 127, -127, 126}, 127, 2},
      {16, {-32768, 32767, -1, 0, 32766}, {-32768, 32767, -1, 0, 32766}, 32767, 2},
      {24, {-8388608, 8388607, -1, 1, -8388607}, {-8388608, 8388607, -1, 1, -8388607}, 8388607, 2},
      // Next to full scale a 32-bit sample rounds onto it as a float, and is not clipped.
      {32,
       {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), -1, 123456789,
        2147483600},
       {-2147483648.0f, 2147483648.0f, -1, 123456792.0f, 2147483648.0f},
       2147483647,
       2},
      // Floats beyond full scale are kept; an infinite sample is clipped too.
      {0,
       {FloatBits(-1.0f), FloatBits(1.5f), FloatBits(0.25f), FloatBits(-0.999f), FloatBits(Inf)},
       {-1.0f, 1.5f, 0.25f, -0.999f, Inf},
       1,
       3},
  };
  Meter->SetPeriod(5);  // 5 frames at 1000 Hz
  Meter->SetSynchronizeType(stNone);
  for (const TDepthCase& Case : Cases) {
    SCOPED_TRACE(Case.Bits);
    // A new value for each depth, so that each raises an event.
    Meter->Value = [&Case](int32_t, const TBlock&) { return Case.Bits + 1; };
    Meter->Blocks.clear();
    Events.clear();
    // Mono, and the second channel of a stereo stream whose first channel is silent.
    for (uint32_t Channels : {1u, 2u}) {
      Start(MakeFormat(1000, Case.Bits, Channels));
      std::vector<int32_t> Samples;
      for (int32_t Sample : Case.Samples) {
        if (Channels == 2) Samples.push_back(Case.Bits == 8 ? 128 : 0);
        Samples.push_back(Sample);
      }
      // One more frame completes the block; it is not measured yet, so not counted either.
      Samples.insert(Samples.end(), Channels, Case.Samples[0]);
      Send(Samples);
      EXPECT_EQ(Meter->ClippedSamples(static_cast<int32_t>(Channels) - 1), Case.Clipped);
      if (Channels == 2) {
        EXPECT_EQ(Meter->ClippedSamples(0), 0);
      }
    }
    ASSERT_EQ(Meter->Blocks.size(), 2u);
    EXPECT_EQ(Meter->Blocks[0][0], Case.Expected);
    EXPECT_EQ(Meter->Blocks[1][1], Case.Expected);
    ASSERT_FALSE(Events.empty());
    EXPECT_EQ(Events[0].Max, Case.Max);
  }
}

// OnClip comes on the main thread in the hand-over that brings the values, after them, once
// per channel that had new clipped samples; the count runs on until the next start.
TEST_F(CommonMeterTest, ClippingIsToldInTheHandOverOfTheValues) {
  std::vector<std::pair<char, int32_t>> Told;
  Meter->SetOnValueChange([&](TALCommonMeter*, int32_t AChannel, double, double, double) {
    Told.emplace_back('v', AChannel);
  });
  Meter->SetOnClip([&](TALCommonMeter* ASender, int32_t AChannel) {
    EXPECT_EQ(ASender, Meter.get());
    Told.emplace_back('c', AChannel);
  });
  Meter->SetPeriod(10);
  Start(MakeFormat(1000, 16, 2));
  std::vector<int32_t> Samples = Ramp(0, 21, 2);
  Samples[2 * 3 + 1] = 32767;    // block 0, right
  Samples[2 * 14 + 1] = -32768;  // block 1, right
  Samples[2 * 20] = 32767;       // the next block, not measured yet
  Send(Samples);
  EXPECT_TRUE(Told.empty());
  Drain();
  EXPECT_EQ(Told, (std::vector<std::pair<char, int32_t>>{{'v', 0}, {'v', 1}, {'c', 1}}));
  EXPECT_EQ(Meter->ClippedSamples(0), 0);
  EXPECT_EQ(Meter->ClippedSamples(1), 2);

  Told.clear();
  Send(Ramp(21, 10, 2));  // completes the block with the left channel's clipped sample
  Drain();
  EXPECT_EQ(Told, (std::vector<std::pair<char, int32_t>>{{'v', 0}, {'v', 1}, {'c', 0}}));
  EXPECT_EQ(Meter->ClippedSamples(0), 1);
  EXPECT_EQ(Meter->ClippedSamples(1), 2);

  Told.clear();
  Send(Ramp(31, 10, 2));  // nothing clipped: values only
  Drain();
  EXPECT_EQ(Told, (std::vector<std::pair<char, int32_t>>{{'v', 0}, {'v', 1}}));
  EXPECT_EQ(Meter->ClippedSamples(32), 0);

  Start(MakeFormat(1000, 16, 2));
  EXPECT_EQ(Meter->ClippedSamples(1), 0);
}

struct TSyncCase {
  TSLSynchronizeType Type;
  bool DeliveredAtOnce;
  std::vector<std::pair<int32_t, double>> Expected;
};

// One buffer that completes three blocks whose values all differ.
TEST_F(CommonMeterTest, SynchronizeTypesDecideWhenAndWhichValuesArrive) {
  const double F = 0.1;
  auto Single = [](double AValue) { return static_cast<double>(static_cast<float>(AValue)); };
  const TSyncCase Cases[] = {
      {stNone, true, {{0, F}, {1, 100 + F}, {0, 10 + F}, {1, 110 + F}, {0, 20 + F}, {1, 120 + F}}},
      {stSingleBuffer, false, {{0, Single(20 + F)}, {1, Single(120 + F)}}},
      {stQueue,
       false,
       {{0, Single(F)},
        {0, Single(10 + F)},
        {0, Single(20 + F)},
        {1, Single(100 + F)},
        {1, Single(110 + F)},
        {1, Single(120 + F)}}},
  };
  for (const TSyncCase& Case : Cases) {
    SCOPED_TRACE(static_cast<int>(Case.Type));
    Recreate();
    Meter->SetPeriod(10);
    Meter->SetSynchronizeType(Case.Type);
    Start(MakeFormat(1000, 16, 2));
    Send(Ramp(0, 31, 2));
    EXPECT_EQ(Events.empty(), !Case.DeliveredAtOnce);
    Drain();
    std::vector<std::pair<int32_t, double>> Got;
    for (const TValueEvent& Event : Events) Got.emplace_back(Event.Channel, Event.Value);
    EXPECT_EQ(Got, Case.Expected);
  }
}

TEST_F(CommonMeterTest, OnlyChangedValuesArePublished) {
  Meter->SetPeriod(10);
  Meter->SetSynchronizeType(stNone);
  const std::vector<double> Produced = {0, 5, 5, 7, 7, 5};
  size_t Next = 0;
  Meter->Value = [&](int32_t, const TBlock&) { return Produced[Next++]; };
  Start(MakeFormat(1000, 16, 1));
  Send(Ramp(0, 61, 1));
  ASSERT_EQ(Next, Produced.size());
  // A new pin holds 0, so the first 0 raises nothing either.
  EXPECT_EQ(ValuesOf(0), (std::vector<double>{5, 7, 5}));
  EXPECT_EQ(PinValue(*Meter, 0), 5);
}

TEST_F(CommonMeterTest, DecibelModeMapsHalfScaleToZeroAndSilenceToHalfAnLsb) {
  Meter->SetPeriod(10);
  Meter->SetSynchronizeType(stNone);
  Meter->SetMode(vmDecibel);
  const std::vector<double> Produced = {0, 32767 / 2.0, 32767, -3};
  size_t Next = 0;
  Meter->Value = [&](int32_t, const TBlock&) { return Produced[Next++]; };
  Start(MakeFormat(1000, 16, 1));
  Send(Ramp(0, 41, 1));
  // Half of full scale reads 0 dB; the floor is the reading of half a least significant bit.
  const auto DB = [](double ALevel) { return 20 * std::log10(ALevel / (32767 / 2.0)); };
  const double Floor = DB(0.5), Top = DB(32767);
  const std::vector<double> Expected = {Floor, 0, Top, Floor};
  const std::vector<double> Got = ValuesOf(0);
  // The last value equals the first one but follows a different one, so it is published.
  ASSERT_EQ(Got.size(), Expected.size());
  for (size_t k = 0; k < Expected.size(); ++k) EXPECT_NEAR(Got[k], Expected[k], 1e-9) << k;
  for (const TValueEvent& Event : Events) {
    EXPECT_NEAR(Event.Min, Floor, 1e-9);
    EXPECT_NEAR(Event.Max, Top, 1e-9);
  }
}

TEST_F(CommonMeterTest, ChannelCountIsClampedAndOnlyStreamChannelsArePublished) {
  Meter->SetCountChannels(0);
  EXPECT_EQ(Meter->CountChannels(), 1);
  Meter->SetCountChannels(40);
  EXPECT_EQ(Meter->CountChannels(), 32);
  Meter->SetCountChannels(2);
  EXPECT_EQ(Meter->OutputPins()->Count(), 2);

  Meter->SetPeriod(10);
  Start(MakeFormat(1000, 16, 1));
  EXPECT_EQ(Meter->ActiveChannelCount(), 1);
  Send(Ramp(0, 31, 1));
  Drain();
  ASSERT_FALSE(Events.empty());
  for (const TValueEvent& Event : Events) EXPECT_EQ(Event.Channel, 0);
  EXPECT_EQ(PinValue(*Meter, 1), 0);
}

// Long periods at high rates take more than 32 bits of frames times milliseconds.
TEST_F(CommonMeterTest, LongPeriodsDoNotWrapTheBlockSize) {
  const std::tuple<uint32_t, uint32_t, int32_t> Cases[] = {{97392, 44100, 4294987},
                                                           {22370, 192000, 4295040}};
  for (const auto& [Period, Rate, Frames] : Cases) {
    Meter->SetPeriod(Period);
    Start(MakeFormat(Rate, 16, 1));
    EXPECT_EQ(Meter->GetBlockSize(), Frames) << Period << " ms at " << Rate << " Hz";
    Meter->SetPeriod(1);  // frees the block buffer
  }
}

TEST_F(CommonMeterTest, PeriodZeroGivesOneFrameBlocks) {
  Meter->SetPeriod(0);
  Meter->SetSynchronizeType(stNone);
  Start(MakeFormat(44100, 16, 1));
  Send(Ramp(0, 3, 1));
  ASSERT_EQ(Meter->Blocks.size(), 2u);
  EXPECT_EQ(Meter->Blocks[0][0], RampBlock(0, 1));
  EXPECT_EQ(Meter->Blocks[1][0], RampBlock(1, 1));
}

// A new period takes effect at the next block; the frames already queued stay.
TEST_F(CommonMeterTest, ChangingThePeriodKeepsTheQueuedFrames) {
  Meter->SetPeriod(10);
  Meter->SetSynchronizeType(stNone);
  Start(MakeFormat(1000, 16, 1));
  Send(Ramp(0, 15, 1));
  ASSERT_EQ(Meter->Blocks.size(), 1u);
  Meter->SetPeriod(10);  // unchanged: nothing happens
  Meter->SetPeriod(2);
  Send(Ramp(15, 1, 1));
  ASSERT_EQ(Meter->Blocks.size(), 3u);
  EXPECT_EQ(Meter->Blocks[1][0], RampBlock(10, 2));
  EXPECT_EQ(Meter->Blocks[2][0], RampBlock(12, 2));
}

// A stop keeps everything; the next start drops the queued frames and the values waiting for
// the main thread, and the block size follows the new rate.
TEST_F(CommonMeterTest, RestartAtAnotherRateEmptiesTheQueues) {
  Meter->SetPeriod(10);
  Meter->SetSynchronizeType(stQueue);
  Start(MakeFormat(1000, 16, 2));
  Send(Ramp(0, 25, 2));  // two blocks ready, five frames left over
  Stop();
  Start(MakeFormat(2000, 16, 2));
  Drain();
  EXPECT_TRUE(Events.empty());
  Meter->Blocks.clear();
  Send(Ramp(1000, 20, 2));
  EXPECT_TRUE(Meter->Blocks.empty());
  Send(Ramp(1020, 1, 2));
  ASSERT_EQ(Meter->Blocks.size(), 1u);
  EXPECT_EQ(Meter->Blocks[0][1], RampBlock(1000, 20, 1));
}

TEST_F(CommonMeterTest, BuffersBeforeAnyStartPublishNothing) {
  Meter->SetSynchronizeType(stNone);
  FFormat = MakeFormat(1000, 16, 2);
  Send(Ramp(0, 50, 2));
  Drain();
  EXPECT_TRUE(Events.empty());
}

}  // namespace
