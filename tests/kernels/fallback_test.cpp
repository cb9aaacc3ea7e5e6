#include <gtest/gtest.h>

#include "kernels/LPIPPI.h"
#include "kernels/LPIPPILoader.h"
#include "kernels/LPIPPIOwn.h"
#include "kernels/LPIPPS.h"
#include "kernels/LPIPPSOwn.h"

namespace {

// Without the accelerator libraries every kernel is ours and works as usual.
TEST(FallbackTest, WithoutAcceleratorEveryKernelIsOurs) {
  if (IPPIModule() || IPPCCModule() || IPPSModule() || IPPCoreModule()) {
    GTEST_SKIP() << "an accelerator library is installed on this machine";
  }
  EXPECT_EQ(ippiConvert_8u32f_C1R, &own_ippiConvert_8u32f_C1R);
  EXPECT_EQ(ippiConvert_16s32f_C1R, &own_ippiConvert_16s32f_C1R);
  EXPECT_EQ(ippsIIRInitAlloc_32f, &own_ippsIIRInitAlloc_32f);
  EXPECT_EQ(ippsIIR_32f_I, &own_ippsIIR_32f_I);
  EXPECT_EQ(ippsIIRFree_32f, &own_ippsIIRFree_32f);
  EXPECT_EQ(ippGetCpuType, &own_ippGetCpuType);
  EXPECT_EQ(ippGetCpuType(), 0);

  // One block of the meter's path through the procedure variables.
  const int16_t frames[] = {100, -100, 300, -300, 300, -300};
  float left[3];
  ASSERT_EQ(ippiConvert_16s32f_C1R(frames, 4, left, 4, {1, 3}), ippStsOk);
  const float taps[] = {0.f, -1.f, 1.f, -1.f, 0.5f, 0.f};
  IppsIIRState_32f* state = nullptr;
  ASSERT_EQ(ippsIIRInitAlloc_32f(&state, taps, 2, nullptr), ippStsOk);
  ASSERT_EQ(ippsIIR_32f_I(left, 3, state), ippStsOk);
  EXPECT_EQ(ippsIIRFree_32f(state), ippStsOk);
  // y[n] = x[n-1] - x[n-2] + 0.5 y[n-1]
  EXPECT_EQ(left[0], 0.f);
  EXPECT_EQ(left[1], 100.f);
  EXPECT_EQ(left[2], 250.f);
}

}  // namespace
