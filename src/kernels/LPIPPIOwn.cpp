#include "kernels/LPIPPIOwn.h"

#include <cstddef>
#include <cstring>

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
    ConvertRun<Src>(src, srcSize, dst, dstSize, width * height);
  } else if (width == 1) {
    // One element per row, as when de-interleaving one channel: a single strided run.
    ConvertRun<Src>(src, srcStep, dst, dstStep, height);
  } else {
    for (std::ptrdiff_t row = 0; row < height; ++row) {
      ConvertRun<Src>(src + row * srcStep, srcSize, dst + row * dstStep, dstSize, width);
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
