#include "kernels/LPIPPI.h"

#include "kernels/LPIPPILoader.h"
#include "kernels/LPIPPIOwn.h"
#include "kernels/LPKernelStartup.h"

constinit TippiConvert_8u32f_C1R ippiConvert_8u32f_C1R = own_ippiConvert_8u32f_C1R;
constinit TippiConvert_16s32f_C1R ippiConvert_16s32f_C1R = own_ippiConvert_16s32f_C1R;

namespace {

// Each kernel is decided on its own: a library lacking one function falls back for that one.
template <typename Proc>
void Bind(Proc& proc, const char* name) {
  if (void* found = IPPIGetProcAddress(name)) proc = reinterpret_cast<Proc>(found);
}

struct ImageKernelBinding {
  ImageKernelBinding() {
    Bind(ippiConvert_8u32f_C1R, "ippiConvert_8u32f_C1R");
    Bind(ippiConvert_16s32f_C1R, "ippiConvert_16s32f_C1R");
  }
};

ImageKernelBinding binding __attribute__((init_priority(LP_INIT_IMAGE_KERNELS)));

}  // namespace
