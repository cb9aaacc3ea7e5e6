#pragma once

// Our own image kernels, bound whenever the accelerator library does not provide them.

#include "kernels/LPIPPTypes.h"

// Converts a region of unsigned bytes (8u) or signed 16-bit values (16s) to floats, each value
// kept exactly. Steps are in bytes. A region one element wide with the frame size as source step
// and 4 as destination step de-interleaves one channel of interleaved audio.
IppStatus own_ippiConvert_8u32f_C1R(const uint8_t* pSrc, int32_t srcStep, float* pDst,
                                    int32_t dstStep, IppiSize roiSize);
IppStatus own_ippiConvert_16s32f_C1R(const int16_t* pSrc, int32_t srcStep, float* pDst,
                                     int32_t dstStep, IppiSize roiSize);
