// The process entry of the product. No C runtime is linked: its start-up would
// add imports and derive the tail by rules of its own, and the program's stream
// (runtime.cpp) needs no setting up. The host build runs it
// too, over the simulated calls.
#include "app.h"
#include "switches.h"

extern "C" void WinMainCRTStartup()
{
    const char *tail = CommandTail(GetCommandLineA());
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, const_cast<LPSTR>(tail), SW_SHOWDEFAULT));
}
