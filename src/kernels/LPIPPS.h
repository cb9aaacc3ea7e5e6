#pragma once

// Signal kernels, called through procedure variables. Each variable starts out bound to our own
// implementation and is rebound at start-up to the function of the same name in the accelerator
// signal library. The three IIR kernels share an opaque state whose layout only their maker
// knows, so they are bound together: from the library when it exports all three, otherwise all
// three to our own.
//
// Binding happens before any ordinary static initialiser runs and the variables are never
// written afterwards, exactly as for the image kernels (see LPIPPI.h); ippGetCpuType is bound
// by LPIPPSLoader.

#include "kernels/LPIPPSLoader.h"
#include "kernels/LPIPPTypes.h"

using TippsIIRInitAlloc_32f = IppStatus (*)(IppsIIRState_32f** ppState, const float* pTaps,
                                            int32_t order, const float* pDelay);
using TippsIIR_32f_I = IppStatus (*)(float* pSrcDst, int32_t len, IppsIIRState_32f* pState);
using TippsIIRFree_32f = IppStatus (*)(IppsIIRState_32f* pState);

extern TippsIIRInitAlloc_32f ippsIIRInitAlloc_32f __attribute__((visibility("hidden")));
extern TippsIIR_32f_I ippsIIR_32f_I __attribute__((visibility("hidden")));
extern TippsIIRFree_32f ippsIIRFree_32f __attribute__((visibility("hidden")));
