#include "kernels/LPIPPSOwn.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

// Our layout of the opaque state. It lives at the start of one block aligned to 32 bytes that
// also holds the taps (b0..bN, a1..aN) and the delay line (z0..zN-1) behind the header.
struct IppsIIRState_32f {
  uint32_t kind;
  int32_t order;
  float* taps;
  float* delay;
};

namespace {

using Ext = long double;

constexpr uint32_t kDirectForm = 0x44524949;  // "IIRD"
constexpr std::size_t kAlignment = 32;
constexpr std::size_t kHeaderSize =
    (sizeof(IppsIIRState_32f) + kAlignment - 1) / kAlignment * kAlignment;

// One sample through a filter of order N >= 1. The delay values are stored in single precision;
// y stays extended while it feeds the delay line.
inline float Step(const float* b, const float* a, float* z, int32_t N, float sample) {
  const Ext x = sample;
  const Ext y = b[0] * x + z[0];
  for (int32_t j = 0; j < N - 1; ++j) {
    z[j] = static_cast<float>(z[j + 1] + b[j + 1] * x - a[j + 1] * y);
  }
  z[N - 1] = static_cast<float>(b[N] * x - a[N] * y);
  return static_cast<float>(y);
}

// Order 2, the meter's pre-filter: the delay line in locals, two samples per pass.
struct Order2 {
  Ext b0, b1, b2, a1, a2;
  float z0, z1;

  float operator()(float sample) {
    const Ext x = sample;
    const Ext y = b0 * x + z0;
    z0 = static_cast<float>(z1 + b1 * x - a1 * y);
    z1 = static_cast<float>(b2 * x - a2 * y);
    return static_cast<float>(y);
  }
};

void FilterOrder2(float* data, int32_t len, const float* taps, float* delay) {
  Order2 f{taps[0], taps[1], taps[2], taps[3], taps[4], delay[0], delay[1]};
  int32_t n = 0;
  for (; n + 1 < len; n += 2) {
    data[n] = f(data[n]);
    data[n + 1] = f(data[n + 1]);
  }
  if (n < len) data[n] = f(data[n]);
  delay[0] = f.z0;
  delay[1] = f.z1;
}

void FilterOrderN(float* data, int32_t len, const float* taps, float* delay, int32_t N) {
  const float* b = taps;
  const float* a = taps + N;  // a[k] is a_k for k = 1..N
  int32_t n = 0;
  if (N >= 2) {
    for (; n + 1 < len; n += 2) {
      data[n] = Step(b, a, delay, N, data[n]);
      data[n + 1] = Step(b, a, delay, N, data[n + 1]);
    }
  }
  for (; n < len; ++n) data[n] = Step(b, a, delay, N, data[n]);
}

}  // namespace

IppStatus own_ippsIIRInitAlloc_32f(IppsIIRState_32f** ppState, const float* pTaps, int32_t order,
                                   const float* pDelay) {
  if (ppState == nullptr || pTaps == nullptr) return ippStsNullPtrErr;
  *ppState = nullptr;
  if (order < 0) return ippStsOrderErr;

  const std::size_t N = static_cast<std::size_t>(order);
  const std::size_t tapCount = 2 * N + 1;
  std::size_t size = kHeaderSize + (tapCount + N) * sizeof(float);
  size = (size + kAlignment - 1) / kAlignment * kAlignment;  // aligned_alloc wants a multiple
  auto* block = static_cast<unsigned char*>(std::aligned_alloc(kAlignment, size));
  if (block == nullptr) return ippStsNoMemErr;

  auto* state = reinterpret_cast<IppsIIRState_32f*>(block);
  state->kind = kDirectForm;
  state->order = order;
  state->taps = reinterpret_cast<float*>(block + kHeaderSize);
  state->delay = state->taps + tapCount;
  if (pDelay != nullptr) {
    std::memcpy(state->delay, pDelay, N * sizeof(float));
  } else {
    std::memset(state->delay, 0, N * sizeof(float));
  }

  const Ext a0 = pTaps[N + 1];
  if (a0 == 0) {
    std::free(block);
    return ippStsDivByZeroErr;
  }
  for (std::size_t k = 0; k <= N; ++k) state->taps[k] = static_cast<float>(pTaps[k] / a0);
  for (std::size_t k = 1; k <= N; ++k) state->taps[N + k] = static_cast<float>(pTaps[N + 1 + k] / a0);

  *ppState = state;
  return ippStsOk;
}

IppStatus own_ippsIIR_32f_I(float* pSrcDst, int32_t len, IppsIIRState_32f* pState) {
  if (pSrcDst == nullptr || pState == nullptr) return ippStsNullPtrErr;
  if (len < 1) return ippStsSizeErr;
  if (pState->kind != kDirectForm) return ippStsStateKindErr;

  const int32_t N = pState->order;
  if (N == 0) {
    const Ext b0 = pState->taps[0];
    for (int32_t n = 0; n < len; ++n) pSrcDst[n] = static_cast<float>(b0 * pSrcDst[n]);
  } else if (N == 2) {
    FilterOrder2(pSrcDst, len, pState->taps, pState->delay);
  } else {
    FilterOrderN(pSrcDst, len, pState->taps, pState->delay, N);
  }
  return ippStsOk;
}

IppStatus own_ippsIIRFree_32f(IppsIIRState_32f* pState) {
  if (pState == nullptr) return ippStsNullPtrErr;
  if (pState->kind != kDirectForm) return ippStsStateKindErr;
  std::free(pState);
  return ippStsOk;
}

IppCpuType own_ippGetCpuType() { return 0; }
