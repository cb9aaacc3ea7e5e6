#include "kernels/LPIPPSLoader.h"

#include <dlfcn.h>

#include "kernels/LPIPPSOwn.h"
#include "kernels/LPKernelStartup.h"

constinit TippGetCpuType ippGetCpuType = own_ippGetCpuType;

namespace {

struct SignalLibraries {
  void* ipps = dlopen("libipps.so", RTLD_NOW | RTLD_LOCAL);
  void* ippcore = dlopen("libippcore.so", RTLD_NOW | RTLD_LOCAL);

  SignalLibraries() {
    if (ippcore == nullptr) return;
    if (void* proc = dlsym(ippcore, "ippGetCpuType")) {
      ippGetCpuType = reinterpret_cast<TippGetCpuType>(proc);
    }
  }

  // The core library stays loaded so that ippGetCpuType remains callable to the very end.
  ~SignalLibraries() {
    if (ipps != nullptr) dlclose(ipps);
  }
};

SignalLibraries libraries __attribute__((init_priority(LP_INIT_SIGNAL_LOADER)));

}  // namespace

void* IPPSModule() { return libraries.ipps; }
void* IPPCoreModule() { return libraries.ippcore; }

void* IPPSGetProcAddress(const char* name) {
  return libraries.ipps != nullptr ? dlsym(libraries.ipps, name) : nullptr;
}
