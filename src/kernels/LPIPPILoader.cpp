#include "kernels/LPIPPILoader.h"

#include <dlfcn.h>

#include <initializer_list>

#include "kernels/LPKernelStartup.h"

namespace {

struct ImageLibraries {
  void* ippi = dlopen("libippi.so", RTLD_NOW | RTLD_LOCAL);
  void* ippcc = dlopen("libippcc.so", RTLD_NOW | RTLD_LOCAL);

  ~ImageLibraries() {
    if (ippcc != nullptr) dlclose(ippcc);
    if (ippi != nullptr) dlclose(ippi);
  }
};

ImageLibraries libraries __attribute__((init_priority(LP_INIT_IMAGE_LOADER)));

}  // namespace

void* IPPIModule() { return libraries.ippi; }
void* IPPCCModule() { return libraries.ippcc; }

void* IPPIGetProcAddress(const char* name) {
  for (void* module : {libraries.ippi, libraries.ippcc}) {
    if (module == nullptr) continue;
    if (void* proc = dlsym(module, name)) return proc;
  }
  return nullptr;
}
