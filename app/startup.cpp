// The process entry of the product. The C runtime's start-up is left out: it
// would add imports and derive the tail by rules of its own. msvcrt.dll sets
// itself up when it loads, so its streams need nothing from here.
#include "app.h"
#include "switches.h"

extern "C" void WinMainCRTStartup()
{
    const char *tail = CommandTail(GetCommandLineA());
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, (LPSTR)tail, SW_SHOWDEFAULT));
}
