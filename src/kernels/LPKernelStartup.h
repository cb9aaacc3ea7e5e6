#pragma once

// Start-up order of the kernel units. Each unit binds from a static object with one of these
// init priorities, so the whole binding is over before any ordinary static initialiser of the
// program runs (those come after every prioritised one), and static destructors undo it in the
// reverse order: the signal library is freed before the colour-conversion and image libraries.
#define LP_INIT_IMAGE_LOADER 101
#define LP_INIT_SIGNAL_LOADER 102
#define LP_INIT_IMAGE_KERNELS 103
#define LP_INIT_SIGNAL_KERNELS 104
