#include "app/uMaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(Maths, DecibelsAgainstSixteenBits)
{
    const double floor = 20 * std::log10(1.0 / 65536);
    EXPECT_NEAR(AmplitudeToDBFS(32767), -6.0209, 1e-4);
    EXPECT_NEAR(AmplitudeToDBFS(16384), -12.0412, 1e-4);
    EXPECT_NEAR(AmplitudeToDBFS(65536), 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(AmplitudeToDBFS(-32767), AmplitudeToDBFS(32767));
    EXPECT_NEAR(floor, -96.33, 0.01);
    EXPECT_DOUBLE_EQ(AmplitudeToDBFS(0), floor);
    EXPECT_DOUBLE_EQ(AmplitudeToDBFS(1), floor);
    EXPECT_DOUBLE_EQ(AmplitudeToDBFS(std::numeric_limits<double>::quiet_NaN()), floor);
    EXPECT_DOUBLE_EQ(AmplitudeToDBFS(std::numeric_limits<double>::infinity()), floor);
    EXPECT_NEAR(AmplitudeToDB(100, 10), -20.0, 1e-12);
}

} // namespace
