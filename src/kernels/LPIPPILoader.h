#pragma once

// Loads the optional accelerator libraries of the image kernels at start-up ("libippi.so",
// then "libippcc.so", by bare name, so the dynamic linker's usual search order applies, and
// LD_LIBRARY_PATH can point elsewhere) and frees them at exit, colour conversion first.
// A library that is missing is no error: its handle stays null.

// Module handles, null when the library could not be loaded.
void* IPPIModule();
void* IPPCCModule();

// Looks an image function up in the image library, then in the colour-conversion library;
// null when neither has it.
void* IPPIGetProcAddress(const char* name);
