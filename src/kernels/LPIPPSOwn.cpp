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

constexpr uint32_t kDirectForm = 0x44524949;  // "IIRD"
constexpr std::size_t kAlignment = 32;
constexpr std::size_t kHeaderSize =
    (sizeof(IppsIIRState_32f) + kAlignment - 1) / kAlignment * kAlignment;

// One sample through a filter of order N >= 1, every operation rounded to single precision in
// the order written (the library is built without contraction into fused multiply-adds, so the
// results are the same on every processor).
inline float Step(const float* b, const float* a, float* z, int32_t N, float x) {
  const float y = b[0] * x + z[0];
  for (int32_t j = 0; j < N - 1; ++j) z[j] = (z[j + 1] + b[j + 1] * x) - a[j + 1] * y;
  z[N - 1] = b[N] * x - a[N] * y;
  return y;
}

// Order 2 with B0 = 0 and A2 = 0, a first-order section behind a delay of one sample (the
// meter's DC-blocking pre-filter). The output is the first delay value, so each sample costs
// one multiply and one subtract on the feedback path instead of three operations. For finite
// input the values are those of Step (a zero may differ in sign, as 0·x + z and z do); a
// non-finite input reaches the output one sample later.
void FilterDelayedFirstOrder(float* data, int32_t len, const float* taps, float* delay) {
  const float b1 = taps[1], b2 = taps[2], a1 = taps[3];
  float z0 = delay[0], z1 = delay[1];
  for (int32_t n = 0; n < len; ++n) {
    const float x = data[n];
    data[n] = z0;
    z0 = (z1 + b1 * x) - a1 * z0;
    z1 = b2 * x;
  }
  delay[0] = z0;
  delay[1] = z1;
}

void FilterOrderN(float* data, int32_t len, const float* taps, float* delay, int32_t N) {
  const float* b = taps;
  const float* a = taps + N;  // a[k] is a_k for k = 1..N
  for (int32_t n = 0; n < len; ++n) data[n] = Step(b, a, delay, N, data[n]);
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

  const float a0 = pTaps[N + 1];
  if (a0 == 0) {
    std::free(block);
    return ippStsDivByZeroErr;
  }
  for (std::size_t k = 0; k <= N; ++k) state->taps[k] = pTaps[k] / a0;
  for (std::size_t k = 1; k <= N; ++k) state->taps[N + k] = pTaps[N + 1 + k] / a0;

  *ppState = state;
  return ippStsOk;
}

IppStatus own_ippsIIR_32f_I(float* pSrcDst, int32_t len, IppsIIRState_32f* pState) {
  if (pSrcDst == nullptr || pState == nullptr) return ippStsNullPtrErr;
  if (len < 1) return ippStsSizeErr;
  if (pState->kind != kDirectForm) return ippStsStateKindErr;

  const int32_t N = pState->order;
  const float* taps = pState->taps;
  if (N == 0) {
    for (int32_t n = 0; n < len; ++n) pSrcDst[n] = taps[0] * pSrcDst[n];
  } else if (N == 2 && taps[0] == 0 && taps[4] == 0) {
    FilterDelayedFirstOrder(pSrcDst, len, taps, pState->delay);
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
