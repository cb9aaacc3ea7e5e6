#include <gtest/gtest.h>

#include "kernels/LPIPPI.h"
#include "kernels/LPIPPILoader.h"
#include "kernels/LPIPPIOwn.h"
#include "kernels/LPIPPS.h"
#include "kernels/LPIPPSOwn.h"
#include "stub_marks.h"

// Runs with the folder of the stand-in libraries on LD_LIBRARY_PATH: it holds only the
// colour-conversion library (one image kernel) and a signal library with one IIR kernel.

namespace {

// An ordinary static initialiser already sees the final binding.
const TippiConvert_16s32f_C1R boundBeforeMain = ippiConvert_16s32f_C1R;

TEST(BindingTest, OnlyTheLibrariesPresentAreLoaded) {
  ASSERT_NE(IPPCCModule(), nullptr) << "LD_LIBRARY_PATH must name the stand-in libraries' folder";
  ASSERT_NE(IPPSModule(), nullptr);
  EXPECT_EQ(IPPIModule(), nullptr);
  EXPECT_EQ(IPPCoreModule(), nullptr);
}

TEST(BindingTest, ImageKernelIsBoundFromTheColourConversionLibrary) {
  ASSERT_NE(ippiConvert_16s32f_C1R, &own_ippiConvert_16s32f_C1R);
  const int16_t src[] = {5};
  float dst[] = {0.f};
  EXPECT_EQ(ippiConvert_16s32f_C1R(src, 2, dst, 4, {1, 1}), kStubStatus);
  EXPECT_EQ(dst[0], kStubMark);
  EXPECT_EQ(boundBeforeMain, ippiConvert_16s32f_C1R);
}

TEST(BindingTest, EveryOtherKernelFallsBack) {
  // The 8-bit conversion lives only in the signal library, where image kernels are not sought.
  EXPECT_EQ(ippiConvert_8u32f_C1R, &own_ippiConvert_8u32f_C1R);
  // One IIR kernel of three cannot be paired with our state layout: all three stay ours.
  EXPECT_EQ(ippsIIRInitAlloc_32f, &own_ippsIIRInitAlloc_32f);
  EXPECT_EQ(ippsIIR_32f_I, &own_ippsIIR_32f_I);
  EXPECT_EQ(ippsIIRFree_32f, &own_ippsIIRFree_32f);
  // Core functions come from the core library only.
  EXPECT_EQ(ippGetCpuType, &own_ippGetCpuType);
  EXPECT_EQ(ippGetCpuType(), 0);
}

}  // namespace
