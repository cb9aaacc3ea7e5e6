#include "app/uMaths.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

// Readouts take 65536 as 0 dB, and a level of one or less reads as a level of one.
double DBFS(double ALevel) { return 20 * std::log10(ALevel / 65536); }
const double Floor = DBFS(1);

struct DbCase {
  double Value;
  double Expected;
};

}  // namespace

class DBFSOfLevel : public testing::TestWithParam<DbCase> {};

TEST_P(DBFSOfLevel, AgainstTheReference65536) {
  EXPECT_NEAR(AmplitudeToDBFS(GetParam().Value), GetParam().Expected, 1e-9) << GetParam().Value;
}

INSTANTIATE_TEST_SUITE_P(
    Levels, DBFSOfLevel,
    testing::Values(
        DbCase{32767, DBFS(32767)} /* full scale, 16 bits */, DbCase{-32767, DBFS(32767)},
        DbCase{65536, 0.0}, DbCase{16383.5, DBFS(16383.5)}, DbCase{131072, DBFS(131072)},
        // Silence, a level of one and what has no finite logarithm all read as the floor.
        DbCase{0, Floor}, DbCase{-0.0, Floor}, DbCase{1, Floor},
        DbCase{std::numeric_limits<double>::quiet_NaN(), Floor},
        DbCase{std::numeric_limits<double>::infinity(), Floor},
        DbCase{-std::numeric_limits<double>::infinity(), Floor}));

TEST(AmplitudeToDB, UsesTheGivenReferenceAndRefusesANonPositiveOne) {
  EXPECT_NEAR(AmplitudeToDB(32768, 32768), 0.0, 1e-12);
  EXPECT_NEAR(AmplitudeToDB(100, 10), -20.0, 1e-12);
  EXPECT_NEAR(AmplitudeToDB(100, 0), -40.0, 1e-12);
  EXPECT_NEAR(AmplitudeToDB(1, 0), 0.0, 1e-12);
  EXPECT_THROW(AmplitudeToDB(0, 1), std::invalid_argument);
  EXPECT_THROW(AmplitudeToDB(-65536, 1), std::invalid_argument);
}
