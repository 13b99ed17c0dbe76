// The one door from the program's logic to its platform. The product build
// gets Windows itself, with the program's own text stream and folder removal
// over KERNEL32 (it links no C runtime); the host build gets the simulated
// subset in platform/sim under the same names, so the logic is the same text
// in both.
#ifndef ZOVOVAR_PLATFORM_H
#define ZOVOVAR_PLATFORM_H

#ifdef _WIN32
#include "win32/win32.h"
#else
#include "sim/win32_sim.h"
#endif

#endif
