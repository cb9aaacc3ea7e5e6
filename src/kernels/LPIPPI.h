#pragma once

// Image kernels, called through procedure variables. Each variable starts out bound to our own
// implementation and is rebound at start-up to the function of the same name in the accelerator
// image library, or failing that in the colour-conversion library, when one exports it.
//
// The binding runs from a prioritised static initialiser (see LPKernelStartup.h): it is complete
// before any ordinary static initialiser of the program, so the kernels may be called from
// anywhere, static initialisers and worker threads included, without an init call. The
// variables are never written afterwards, so reading them needs no lock.
//
// The variables are hidden so the dynamic linker never takes them for the library functions
// whose names they bear.

#include "kernels/LPIPPTypes.h"

using TippiConvert_8u32f_C1R = IppStatus (*)(const uint8_t* pSrc, int32_t srcStep, float* pDst,
                                             int32_t dstStep, IppiSize roiSize);
using TippiConvert_16s32f_C1R = IppStatus (*)(const int16_t* pSrc, int32_t srcStep, float* pDst,
                                              int32_t dstStep, IppiSize roiSize);

extern TippiConvert_8u32f_C1R ippiConvert_8u32f_C1R __attribute__((visibility("hidden")));
extern TippiConvert_16s32f_C1R ippiConvert_16s32f_C1R __attribute__((visibility("hidden")));
