#pragma once

// Our own signal and core kernels, bound whenever the accelerator libraries do not provide them.

#include "kernels/LPIPPTypes.h"

// Makes an IIR filter of the given order from 2·order + 2 taps, B0..Border then A0..Aorder,
// which it divides by A0. pDelay gives the initial delay line (order values) or is null for
// zeros. On failure *ppState is set to null when ppState itself is not null.
IppStatus own_ippsIIRInitAlloc_32f(IppsIIRState_32f** ppState, const float* pTaps, int32_t order,
                                   const float* pDelay);

// Filters len samples in place (transposed direct form II), keeping the delay line in the state
// for the next call. The whole filter runs in single precision. Never allocates.
IppStatus own_ippsIIR_32f_I(float* pSrcDst, int32_t len, IppsIIRState_32f* pState);

IppStatus own_ippsIIRFree_32f(IppsIIRState_32f* pState);

// Our implementation does not identify the processor.
IppCpuType own_ippGetCpuType();
