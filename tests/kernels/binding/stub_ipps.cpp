// Stands in for a signal accelerator library that is incomplete or misplaced: one of the three
// IIR kernels, a core function and an image kernel, none of which may be bound from here.

#include "kernels/LPIPPTypes.h"
#include "stub_marks.h"

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

STUB_EXPORT IppStatus ippsIIRInitAlloc_32f(IppsIIRState_32f**, const float*, int32_t,
                                           const float*) {
  return kStubStatus;
}

STUB_EXPORT IppCpuType ippGetCpuType() { return kStubStatus; }

STUB_EXPORT IppStatus ippiConvert_8u32f_C1R(const uint8_t*, int32_t, float*, int32_t, IppiSize) {
  return kStubStatus;
}
