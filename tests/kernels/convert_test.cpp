#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "kernels/LPIPPIOwn.h"

namespace {

constexpr float kGuard = -12345.0f;

struct StatusCase {
  const char* what;
  bool nullSrc;
  bool nullDst;
  int32_t srcStep;
  int32_t dstStep;
  IppiSize roi;
  IppStatus expected;
};

// Null pointers win over sizes, sizes over steps.
const StatusCase kStatusCases[] = {
    {"null source", true, false, 8, 16, {2, 2}, ippStsNullPtrErr},
    {"null destination", false, true, 8, 16, {2, 2}, ippStsNullPtrErr},
    {"null beats size", true, false, 8, 16, {0, 2}, ippStsNullPtrErr},
    {"zero width", false, false, 8, 16, {0, 2}, ippStsSizeErr},
    {"zero height", false, false, 8, 16, {2, 0}, ippStsSizeErr},
    {"negative width", false, false, 8, 16, {-1, 2}, ippStsSizeErr},
    {"size beats step", false, false, 0, 0, {2, 0}, ippStsSizeErr},
    {"zero source step", false, false, 0, 16, {2, 2}, ippStsStepErr},
    {"negative destination step", false, false, 8, -16, {2, 2}, ippStsStepErr},
    {"valid", false, false, 8, 16, {2, 2}, ippStsOk},
};

TEST(ConvertTest, StatusCodesOfBothKernels) {
  uint8_t bytes[16] = {};
  int16_t words[8] = {};
  float out[8];
  for (const StatusCase& c : kStatusCases) {
    SCOPED_TRACE(c.what);
    float* dst = c.nullDst ? nullptr : out;
    EXPECT_EQ(
        own_ippiConvert_8u32f_C1R(c.nullSrc ? nullptr : bytes, c.srcStep, dst, c.dstStep, c.roi),
        c.expected);
    EXPECT_EQ(
        own_ippiConvert_16s32f_C1R(c.nullSrc ? nullptr : words, c.srcStep, dst, c.dstStep, c.roi),
        c.expected);
  }
}

TEST(ConvertTest, EveryValueIsCarriedOverExactly) {
  std::vector<uint8_t> bytes(256);
  for (int v = 0; v < 256; ++v) bytes[v] = static_cast<uint8_t>(v);
  std::vector<float> out(256, kGuard);
  // 16 rows of 16, back to back.
  ASSERT_EQ(own_ippiConvert_8u32f_C1R(bytes.data(), 16, out.data(), 64, {16, 16}), ippStsOk);
  for (int v = 0; v < 256; ++v) ASSERT_EQ(out[v], static_cast<float>(v)) << v;

  std::vector<int16_t> words;
  for (int v = std::numeric_limits<int16_t>::min(); v <= std::numeric_limits<int16_t>::max(); ++v) {
    words.push_back(static_cast<int16_t>(v));
  }
  out.assign(words.size(), kGuard);
  ASSERT_EQ(own_ippiConvert_16s32f_C1R(words.data(), 512, out.data(), 1024, {256, 256}), ippStsOk);
  for (std::size_t i = 0; i < words.size(); ++i)
    ASSERT_EQ(out[i], static_cast<float>(words[i])) << i;
}

TEST(ConvertTest, DeinterleavesOneChannelOfStereo16Bit) {
  const int16_t frames[] = {1, -1, 2, -2, 32767, -32768, 4, -4, 5, -5};
  float left[6], right[6];
  std::fill(std::begin(left), std::end(left), kGuard);
  std::fill(std::begin(right), std::end(right), kGuard);
  ASSERT_EQ(own_ippiConvert_16s32f_C1R(frames, 4, left, 4, {1, 5}), ippStsOk);
  ASSERT_EQ(own_ippiConvert_16s32f_C1R(frames + 1, 4, right, 4, {1, 5}), ippStsOk);
  EXPECT_EQ(std::vector<float>(left, left + 6), (std::vector<float>{1, 2, 32767, 4, 5, kGuard}));
  EXPECT_EQ(std::vector<float>(right, right + 6),
            (std::vector<float>{-1, -2, -32768, -4, -5, kGuard}));
}

// Runs of every length up to a few vectors, mono and each channel of stereo, from storage that
// ends with the last sample (so a read beyond it shows under the address sanitizer).
TEST(ConvertTest, RunsOfEveryLengthAndChannel) {
  for (int channels = 1; channels <= 2; ++channels) {
    for (int frames = 1; frames <= 21; ++frames) {
      std::vector<int16_t> samples(static_cast<std::size_t>(channels * frames));
      for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(i % 2 ? -3000 * static_cast<int>(i)
                                                : 1000 * static_cast<int>(i) + 1);
      for (int c = 0; c < channels; ++c) {
        SCOPED_TRACE(testing::Message()
                     << channels << " channels, " << frames << " frames, channel " << c);
        std::vector<float> out(static_cast<std::size_t>(frames) + 1, kGuard);
        ASSERT_EQ(own_ippiConvert_16s32f_C1R(samples.data() + c, 2 * channels, out.data(), 4,
                                             {1, frames}),
                  ippStsOk);
        for (int f = 0; f < frames; ++f)
          ASSERT_EQ(out[f], static_cast<float>(samples[static_cast<std::size_t>(f * channels + c)]))
              << f;
        EXPECT_EQ(out.back(), kGuard);
      }
    }
  }
}

TEST(ConvertTest, DeinterleavesOneChannelOf8BitWithoutRemovingTheOffset) {
  const uint8_t frames[] = {0, 128, 255, 1, 127, 200};  // three channels, two frames
  float middle[3] = {kGuard, kGuard, kGuard};
  ASSERT_EQ(own_ippiConvert_8u32f_C1R(frames + 1, 3, middle, 4, {1, 2}), ippStsOk);
  EXPECT_EQ(std::vector<float>(middle, middle + 3), (std::vector<float>{128, 127, kGuard}));
}

TEST(ConvertTest, SourceStepThatIsNotAMultipleOfTheSampleSize) {
  // 16-bit values at byte offsets 0, 3 and 6: misaligned reads must still see the right bytes.
  unsigned char raw[9] = {};
  const int16_t values[] = {-300, 7, 12000};
  for (int i = 0; i < 3; ++i) std::memcpy(raw + 3 * i, &values[i], sizeof(int16_t));
  std::vector<float> out(3, kGuard);
  ASSERT_EQ(
      own_ippiConvert_16s32f_C1R(reinterpret_cast<const int16_t*>(raw), 3, out.data(), 4, {1, 3}),
      ippStsOk);
  EXPECT_EQ(out, (std::vector<float>{-300, 7, 12000}));
}

// Rows with padding on one side only must not be mistaken for back-to-back rows.
TEST(ConvertTest, PaddedRowsKeepTheGapsUntouched) {
  struct Case {
    const char* what;
    int32_t srcStep;
    int32_t dstStep;
  };
  const Case cases[] = {
      {"padded source", 5, 12},
      {"padded destination", 3, 20},
      {"both padded", 4, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int width = 3, height = 3;
    std::vector<uint8_t> src(c.srcStep * height);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(10 + i);
    std::vector<float> dst(c.dstStep / 4 * height, kGuard);
    ASSERT_EQ(
        own_ippiConvert_8u32f_C1R(src.data(), c.srcStep, dst.data(), c.dstStep, {width, height}),
        ippStsOk);
    for (int row = 0; row < height; ++row) {
      for (int col = 0; col < c.dstStep / 4; ++col) {
        const float got = dst[row * c.dstStep / 4 + col];
        const float want = col < width ? static_cast<float>(src[row * c.srcStep + col]) : kGuard;
        EXPECT_EQ(got, want) << "row " << row << " col " << col;
      }
    }
  }
}

}  // namespace
