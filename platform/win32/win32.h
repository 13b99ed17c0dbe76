// Windows itself: the ANSI registry, file, directory and user-interface calls,
// and the C runtime's text stream and folder removal (msvcrt.dll).
#ifndef ZOVOVAR_WIN32_H
#define ZOVOVAR_WIN32_H

#include <windows.h>
#include <stdio.h>
#include <direct.h>

#endif
