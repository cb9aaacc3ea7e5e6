// Stands in for the colour-conversion accelerator library: it exports one image kernel, whose
// status and output tell it apart from ours.

#include "kernels/LPIPPTypes.h"
#include "stub_marks.h"

extern "C" __attribute__((visibility("default"))) IppStatus ippiConvert_16s32f_C1R(
    const int16_t*, int32_t, float* pDst, int32_t, IppiSize) {
  pDst[0] = kStubMark;
  return kStubStatus;
}
