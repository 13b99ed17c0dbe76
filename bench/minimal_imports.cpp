// A program that only returns 0 but loads what zovovar.exe loads: USER32 and
// ADVAPI32 beside KERNEL32. The calls are never made; they only
// keep the imports. It shows how much of a run is the loading of those DLLs.
#include <windows.h>

extern "C" void WinMainCRTStartup()
{
    if (GetCommandLineA() == NULL) {
        MessageBoxA(NULL, NULL, NULL, 0);
        RegCloseKey(NULL);
    }
    ExitProcess(0);
}
