#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "kernels/LPIPPSOwn.h"

namespace {

// Frees the state when the test ends, whatever happens.
struct State {
  IppsIIRState_32f* p = nullptr;
  ~State() {
    if (p != nullptr) own_ippsIIRFree_32f(p);
  }
};

// The filter straight from its transfer function, in double precision and direct form, from
// rest: A0·y[n] = B0·x[n] + ... + BN·x[n−N] − A1·y[n−1] − ... − AN·y[n−N].
std::vector<double> DirectForm(const std::vector<float>& taps, int order,
                               const std::vector<float>& input) {
  const auto tap = [&](int k) { return static_cast<double>(taps[static_cast<std::size_t>(k)]); };
  std::vector<double> out(input.size());
  for (std::size_t n = 0; n < input.size(); ++n) {
    double sum = 0;
    for (int k = 0; k <= order && static_cast<std::size_t>(k) <= n; ++k)
      sum += tap(k) * input[n - static_cast<std::size_t>(k)];
    for (int k = 1; k <= order && static_cast<std::size_t>(k) <= n; ++k)
      sum -= tap(order + 1 + k) * out[n - static_cast<std::size_t>(k)];
    out[n] = sum / tap(order + 1);
  }
  return out;
}

// Single-precision output against a double-precision expectation: every sample within a small
// fraction of the expectation's peak (rounding only; a wrong tap or delay is off by far more).
void ExpectClose(const std::vector<float>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  double peak = 0;
  for (double v : expected) peak = std::max(peak, std::fabs(v));
  const double tolerance = 1e-5 * peak;
  for (std::size_t n = 0; n < actual.size(); ++n)
    ASSERT_NEAR(actual[n], expected[n], tolerance) << "sample " << n;
}

std::vector<float> Filtered(const std::vector<float>& taps, int order, const float* delay,
                            std::vector<float> data) {
  State s;
  EXPECT_EQ(own_ippsIIRInitAlloc_32f(&s.p, taps.data(), order, delay), ippStsOk);
  if (s.p != nullptr) {
    EXPECT_EQ(own_ippsIIR_32f_I(data.data(), static_cast<int32_t>(data.size()), s.p), ippStsOk);
  }
  return data;
}

std::vector<float> Noise(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-32768.0f, 32767.0f);
  std::vector<float> v(n);
  for (float& x : v) x = dist(gen);
  return v;
}

// Stable filters of orders 0 to 4 (A0 != 1 so normalisation is exercised).
std::vector<float> TapsOfOrder(int order) {
  switch (order) {
    case 0: return {0.75f, 2.0f};
    case 1: return {0.5f, -0.5f, 2.0f, -1.8f};
    case 2: return {0.2f, 0.4f, 0.2f, 1.0f, -0.6f, 0.2f};
    case 3: return {0.1f, 0.3f, 0.3f, 0.1f, 3.0f, -0.9f, 0.6f, -0.15f};
    default: return {0.05f, 0.2f, 0.3f, 0.2f, 0.05f, 1.5f, -0.3f, 0.2f, -0.05f, 0.01f};
  }
}

TEST(IIRTest, InitAllocStatusCodes) {
  const float taps[] = {0.f, -1.f, 1.f, -1.f, 0.99f, 0.f};
  IppsIIRState_32f* state = nullptr;
  EXPECT_EQ(own_ippsIIRInitAlloc_32f(nullptr, taps, 2, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(own_ippsIIRInitAlloc_32f(&state, nullptr, 2, nullptr), ippStsNullPtrErr);

  // A failed call leaves no state behind, even over a stale pointer.
  state = reinterpret_cast<IppsIIRState_32f*>(0x1);
  EXPECT_EQ(own_ippsIIRInitAlloc_32f(&state, taps, -1, nullptr), ippStsOrderErr);
  EXPECT_EQ(state, nullptr);

  const float zeroA0[] = {1.f, 0.5f, 0.25f, 0.f, 0.5f, 0.25f};
  state = reinterpret_cast<IppsIIRState_32f*>(0x1);
  EXPECT_EQ(own_ippsIIRInitAlloc_32f(&state, zeroA0, 2, nullptr), ippStsDivByZeroErr);
  EXPECT_EQ(state, nullptr);
  const float negativeZeroA0[] = {1.f, -0.f};
  EXPECT_EQ(own_ippsIIRInitAlloc_32f(&state, negativeZeroA0, 0, nullptr), ippStsDivByZeroErr);
}

TEST(IIRTest, FilterAndFreeStatusCodes) {
  State s;
  const float taps[] = {0.f, -1.f, 1.f, -1.f, 0.99f, 0.f};
  ASSERT_EQ(own_ippsIIRInitAlloc_32f(&s.p, taps, 2, nullptr), ippStsOk);
  float data[4] = {1, 2, 3, 4};
  EXPECT_EQ(own_ippsIIR_32f_I(nullptr, 4, s.p), ippStsNullPtrErr);
  EXPECT_EQ(own_ippsIIR_32f_I(data, 4, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(own_ippsIIR_32f_I(data, 0, s.p), ippStsSizeErr);
  EXPECT_EQ(own_ippsIIR_32f_I(data, -3, s.p), ippStsSizeErr);
  EXPECT_EQ(std::vector<float>(data, data + 4), (std::vector<float>{1, 2, 3, 4}));

  // Memory that no IIR kernel made is refused by the filter and by the release.
  alignas(32) unsigned char foreign[64];
  std::memset(foreign, 0xA5, sizeof foreign);
  auto* notAState = reinterpret_cast<IppsIIRState_32f*>(foreign);
  EXPECT_EQ(own_ippsIIR_32f_I(data, 4, notAState), ippStsStateKindErr);
  EXPECT_EQ(own_ippsIIRFree_32f(notAState), ippStsStateKindErr);
  EXPECT_EQ(own_ippsIIRFree_32f(nullptr), ippStsNullPtrErr);

  EXPECT_EQ(own_ippsIIRFree_32f(s.p), ippStsOk);
  s.p = nullptr;
}

TEST(IIRTest, WholeBlockFollowsTheTransferFunction) {
  const std::size_t lengths[] = {1, 2, 3, 7, 4410, 4411};
  for (int order = 0; order <= 4; ++order) {
    for (std::size_t len : lengths) {
      SCOPED_TRACE(testing::Message() << "order " << order << ", " << len << " samples");
      const std::vector<float> taps = TapsOfOrder(order);
      const std::vector<float> input = Noise(len, static_cast<unsigned>(order * 10000 + len));
      ExpectClose(Filtered(taps, order, nullptr, input), DirectForm(taps, order, input));
    }
  }
}

// The delay line carries over between calls, whatever the split (odd pieces included).
TEST(IIRTest, SplitCallsEqualOneCall) {
  for (int order = 1; order <= 4; ++order) {
    SCOPED_TRACE(testing::Message() << "order " << order);
    const std::vector<float> taps = TapsOfOrder(order);
    const std::vector<float> input = Noise(40, static_cast<unsigned>(order));
    State whole, pieces, single;
    ASSERT_EQ(own_ippsIIRInitAlloc_32f(&whole.p, taps.data(), order, nullptr), ippStsOk);
    ASSERT_EQ(own_ippsIIRInitAlloc_32f(&pieces.p, taps.data(), order, nullptr), ippStsOk);
    ASSERT_EQ(own_ippsIIRInitAlloc_32f(&single.p, taps.data(), order, nullptr), ippStsOk);

    std::vector<float> a = input, b = input, c = input;
    own_ippsIIR_32f_I(a.data(), 40, whole.p);
    std::size_t at = 0;
    for (int32_t piece : {3, 5, 1, 2, 9, 20}) {
      own_ippsIIR_32f_I(b.data() + at, piece, pieces.p);
      at += static_cast<std::size_t>(piece);
    }
    for (float& x : c) own_ippsIIR_32f_I(&x, 1, single.p);
    EXPECT_EQ(b, a);
    EXPECT_EQ(c, a);
  }
}

// The delay line's first value adds to the first output, and what the line holds adds its own
// response to that of the input (the filter is linear).
TEST(IIRTest, InitialDelayLineIsUsed) {
  const std::vector<float> taps = TapsOfOrder(3);
  const std::vector<float> z = {100.f, -50.f, 25.f};
  const std::vector<float> input = Noise(9, 3);
  const std::vector<float> data = Filtered(taps, 3, z.data(), input);
  const std::vector<float> fromRest = Filtered(taps, 3, nullptr, input);
  const std::vector<float> fromLine = Filtered(taps, 3, z.data(), std::vector<float>(9, 0.f));
  EXPECT_FLOAT_EQ(data[0], taps[0] / taps[4] * input[0] + z[0]);
  for (std::size_t n = 0; n < data.size(); ++n)
    EXPECT_NEAR(data[n], fromRest[n] + fromLine[n], 1e-5 * std::fabs(fromRest[n]) + 1e-3) << n;
  EXPECT_NE(fromLine, std::vector<float>(9, 0.f));
}

// The meter's DC-blocking pre-filter: taps 0, -1, 1, -1, R, 0 of order 2.
TEST(IIRTest, MeterTapsGiveTheDifferenceFilterWithFeedbackR) {
  const float R = static_cast<float>(1.0L - 40.0L * std::numbers::pi_v<long double> / 44100.0L);
  const float taps[] = {0.f, -1.f, 1.f, -1.f, R, 0.f};
  const std::vector<float> input = Noise(4411, 7);
  State s;
  ASSERT_EQ(own_ippsIIRInitAlloc_32f(&s.p, taps, 2, nullptr), ippStsOk);
  std::vector<float> data = input;
  own_ippsIIR_32f_I(data.data(), 4000, s.p);
  own_ippsIIR_32f_I(data.data() + 4000, 411, s.p);

  double x1 = 0, x2 = 0, y1 = 0;
  for (std::size_t n = 0; n < input.size(); ++n) {
    const double y = x1 - x2 + static_cast<double>(R) * y1;
    // Single-precision delay values round at every step and the feedback carries it on: a few
    // hundredths at most for 16-bit levels.
    ASSERT_NEAR(data[n], y, 0.25) << "sample " << n;
    x2 = x1;
    x1 = input[n];
    y1 = y;
  }
}

// The meter's taps take a shorter path through the kernel. Its values are those of the general
// path, which the same filter takes when written with a third, zero, tap; an infinite sample
// still spoils what follows.
TEST(IIRTest, MeterTapsMatchTheGeneralFilter) {
  for (const uint32_t rate : {8000u, 44100u, 192000u}) {
    SCOPED_TRACE(rate);
    const float R = static_cast<float>(1.0L - 40.0L * std::numbers::pi_v<long double> / rate);
    const std::vector<float> taps = {0.f, -1.f, 1.f, -1.f, R, 0.f};
    const std::vector<float> general = {0.f, -1.f, 1.f, 0.f, -1.f, R, 0.f, 0.f};
    std::vector<float> input = Noise(4410, rate);
    for (std::size_t n = 1000; n < 1100; ++n) input[n] = 0.f;  // a stretch of silence
    EXPECT_EQ(Filtered(taps, 2, nullptr, input), Filtered(general, 3, nullptr, input));
  }
  const std::vector<float> data = Filtered({0.f, -1.f, 1.f, -1.f, 0.99f, 0.f}, 2, nullptr,
                                           {1.f, std::numeric_limits<float>::infinity(), 1.f, 1.f});
  EXPECT_TRUE(std::isfinite(data[1]));
  EXPECT_FALSE(std::isfinite(data[2]));
  EXPECT_FALSE(std::isfinite(data[3]));
}

TEST(IIRTest, MeterTapsBlockDC) {
  const float R = static_cast<float>(1.0L - 40.0L * std::numbers::pi_v<long double> / 44100.0L);
  const float taps[] = {0.f, -1.f, 1.f, -1.f, R, 0.f};
  State s;
  ASSERT_EQ(own_ippsIIRInitAlloc_32f(&s.p, taps, 2, nullptr), ippStsOk);
  std::vector<float> data(44100, 1000.f);
  own_ippsIIR_32f_I(data.data(), 44100, s.p);
  EXPECT_EQ(data[0], 0.f);     // nothing has come through the delay yet
  EXPECT_EQ(data[1], 1000.f);  // the step
  EXPECT_LT(std::fabs(data.back()), 1e-3f);
}

}  // namespace
