#include "kernels/LPIPPS.h"

#include "kernels/LPIPPSOwn.h"
#include "kernels/LPKernelStartup.h"

constinit TippsIIRInitAlloc_32f ippsIIRInitAlloc_32f = own_ippsIIRInitAlloc_32f;
constinit TippsIIR_32f_I ippsIIR_32f_I = own_ippsIIR_32f_I;
constinit TippsIIRFree_32f ippsIIRFree_32f = own_ippsIIRFree_32f;

namespace {

struct SignalKernelBinding {
  SignalKernelBinding() {
    void* initAlloc = IPPSGetProcAddress("ippsIIRInitAlloc_32f");
    void* filter = IPPSGetProcAddress("ippsIIR_32f_I");
    void* release = IPPSGetProcAddress("ippsIIRFree_32f");
    if (initAlloc != nullptr && filter != nullptr && release != nullptr) {
      ippsIIRInitAlloc_32f = reinterpret_cast<TippsIIRInitAlloc_32f>(initAlloc);
      ippsIIR_32f_I = reinterpret_cast<TippsIIR_32f_I>(filter);
      ippsIIRFree_32f = reinterpret_cast<TippsIIRFree_32f>(release);
    }
  }
};

SignalKernelBinding binding __attribute__((init_priority(LP_INIT_SIGNAL_KERNELS)));

}  // namespace
