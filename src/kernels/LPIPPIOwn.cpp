#include "kernels/LPIPPIOwn.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Converts count elements, the source and destination advancing by their own stride in bytes.
// Elements are read and written through memcpy because steps need not be multiples of the
// element size; on the usual targets this compiles to plain loads and stores.
template <typename Src>
void ConvertRun(const unsigned char* src, std::ptrdiff_t srcStride, unsigned char* dst,
                std::ptrdiff_t dstStride, std::ptrdiff_t count) {
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    Src value;
    std::memcpy(&value, src + i * srcStride, sizeof value);
    const float converted = static_cast<float>(value);
    std::memcpy(dst + i * dstStride, &converted, sizeof converted);
  }
}

// 16-bit samples into packed floats, eight or four at a time: a contiguous run, or one
// channel of a 16-bit stereo stream (every other sample). The vectors never read past the
// last sample's bytes: the stereo loop leaves at least one frame to the plain loop, and the
// bytes it reads beyond the fourth sample lie between that sample and the next one.
void ConvertRun16(const unsigned char* src, std::ptrdiff_t srcStride, unsigned char* dst,
                  std::ptrdiff_t dstStride, std::ptrdiff_t count) {
  std::ptrdiff_t i = 0;
#if defined(__SSE2__)
  if (dstStride == sizeof(float) && srcStride == sizeof(int16_t)) {
    for (; i + 8 <= count; i += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i));
      const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
      const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
      _mm_storeu_ps(reinterpret_cast<float*>(dst + 4 * i), _mm_cvtepi32_ps(lo));
      _mm_storeu_ps(reinterpret_cast<float*>(dst + 4 * i + 16), _mm_cvtepi32_ps(hi));
    }
  } else if (dstStride == sizeof(float) && srcStride == 2 * sizeof(int16_t)) {
    for (; i + 4 < count; i += 4) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
      const __m128i first = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
      _mm_storeu_ps(reinterpret_cast<float*>(dst + 4 * i), _mm_cvtepi32_ps(first));
    }
  }
#endif
  ConvertRun<int16_t>(src + i * srcStride, srcStride, dst + i * dstStride, dstStride, count - i);
}

template <typename Src>
void ConvertAnyRun(const unsigned char* src, std::ptrdiff_t srcStride, unsigned char* dst,
                   std::ptrdiff_t dstStride, std::ptrdiff_t count) {
  if constexpr (std::is_same_v<Src, int16_t>) {
    ConvertRun16(src, srcStride, dst, dstStride, count);
  } else {
    ConvertRun<Src>(src, srcStride, dst, dstStride, count);
  }
}

template <typename Src>
IppStatus Convert(const Src* pSrc, int32_t srcStep, float* pDst, int32_t dstStep, IppiSize roi) {
  if (pSrc == nullptr || pDst == nullptr) return ippStsNullPtrErr;
  if (roi.width < 1 || roi.height < 1) return ippStsSizeErr;
  if (srcStep < 1 || dstStep < 1) return ippStsStepErr;

  const auto* src = reinterpret_cast<const unsigned char*>(pSrc);
  auto* dst = reinterpret_cast<unsigned char*>(pDst);
  const std::ptrdiff_t width = roi.width;
  const std::ptrdiff_t height = roi.height;
  constexpr std::ptrdiff_t srcSize = sizeof(Src);
  constexpr std::ptrdiff_t dstSize = sizeof(float);

  if (srcStep == width * srcSize && dstStep == width * dstSize) {
    // Rows back to back in both images: one long row.
    ConvertAnyRun<Src>(src, srcSize, dst, dstSize, width * height);
  } else if (width == 1) {
    // One element per row, as when de-interleaving one channel: a single strided run.
    ConvertAnyRun<Src>(src, srcStep, dst, dstStep, height);
  } else {
    for (std::ptrdiff_t row = 0; row < height; ++row) {
      ConvertAnyRun<Src>(src + row * srcStep, srcSize, dst + row * dstStep, dstSize, width);
    }
  }
  return ippStsOk;
}

}  // namespace

IppStatus own_ippiConvert_8u32f_C1R(const uint8_t* pSrc, int32_t srcStep, float* pDst,
                                    int32_t dstStep, IppiSize roiSize) {
  return Convert(pSrc, srcStep, pDst, dstStep, roiSize);
}

IppStatus own_ippiConvert_16s32f_C1R(const int16_t* pSrc, int32_t srcStep, float* pDst,
                                     int32_t dstStep, IppiSize roiSize) {
  return Convert(pSrc, srcStep, pDst, dstStep, roiSize);
}
