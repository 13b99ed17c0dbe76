#include "app.h"
#include "switches.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    const SwitchSet switches = ParseSwitches(tail);
    RegisterMainClass(instance);
    ConfirmAndRun(switches.silent, switches.keepSelf);
    MSG msg;
    msg.wParam = 0;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {  // -1, an error, must not spin for ever
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;  // 0 whatever happened (docs/kept_on_purpose.md)
}
