// The smallest Windows program: it only returns 0. The benchmark starts it the
// same way as zovovar.exe, to see what the uninstall itself costs.
#include <windows.h>

extern "C" void WinMainCRTStartup() { ExitProcess(0); }
