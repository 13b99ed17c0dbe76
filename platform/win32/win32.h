// Windows itself: the ANSI registry, file, directory and user-interface calls,
// and the program's own text stream and folder removal over KERNEL32, under
// the C runtime's names that the logic uses.
#ifndef ZOVOVAR_WIN32_H
#define ZOVOVAR_WIN32_H

#include <windows.h>

#include "runtime.h"

#endif
