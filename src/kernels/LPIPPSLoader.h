#pragma once

// Loads the optional accelerator libraries of the signal kernels at start-up ("libipps.so",
// then "libippcore.so", by bare name like the image libraries) and binds ippGetCpuType from
// the core library. At exit only the signal library is freed; the core library stays loaded.

#include "kernels/LPIPPTypes.h"

using TippGetCpuType = IppCpuType (*)();

// Bound before any ordinary static initialiser runs and never changed afterwards. Hidden so the
// variable can never be mistaken for the library function of the same name by the dynamic linker.
extern TippGetCpuType ippGetCpuType __attribute__((visibility("hidden")));

// Module handles, null when the library could not be loaded.
void* IPPSModule();
void* IPPCoreModule();

// Looks a function up in the signal library (only there); null when it is not found.
void* IPPSGetProcAddress(const char* name);
