#pragma once

// Types shared by the vector kernels and their callers. The kernels keep the accelerator
// library's C signatures, so these are plain C-compatible types.

#include <cstdint>

// Result of every kernel: 0 on success, a negative code on error.
using IppStatus = int32_t;

enum : IppStatus {
  ippStsOk = 0,
  ippStsSizeErr = -6,        // a length, width or height below 1
  ippStsNullPtrErr = -8,     // a required pointer is null
  ippStsNoMemErr = -9,       // no memory for a filter state
  ippStsDivByZeroErr = -10,  // the leading denominator tap A0 is 0
  ippStsStepErr = -14,       // a row step below 1
  ippStsStateKindErr = -17,  // a filter state of the wrong kind
  ippStsOrderErr = -25,      // a negative filter order
};

// Region of an image, passed by value.
struct IppiSize {
  int32_t width;
  int32_t height;
};

// Processor identification returned by ippGetCpuType; 0 means "not identified".
using IppCpuType = int32_t;

// Opaque IIR filter state: made by ippsIIRInitAlloc_32f, released by ippsIIRFree_32f.
struct IppsIIRState_32f;
