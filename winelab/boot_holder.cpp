// Keeps one start of Windows for a whole Wine session. Wine marks a finished
// start with a named event, and the first program that finds no such event
// starts Windows anew (wineboot --init, which runs the RunOnce commands). The
// event lives only while a process holds it, and only services.exe and the
// programs it starts do: under emulation they can crash, and the next program
// of a test would then start Windows in the middle of it. This program holds
// the event (signalled, if it has to make it) and prints "held" once it does,
// which is after the start has finished: Wine waits for it before main runs.
#include <windows.h>

struct Text { USHORT length, size; const wchar_t *buffer; };
struct Attributes { ULONG length; HANDLE root; Text *name; ULONG attributes; void *security, *qos; };
extern "C" __declspec(dllimport) LONG WINAPI NtCreateEvent(HANDLE *, ACCESS_MASK, Attributes *,
                                                           int, BOOLEAN);

extern "C" void mainCRTStartup()
{
    static const wchar_t name[] = L"\\KernelObjects\\__wineboot_event";
    Text text = {sizeof name - sizeof *name, sizeof name, name};
    Attributes attributes = {sizeof attributes, NULL, &text, 0x80 /* OBJ_OPENIF */, NULL, NULL};
    HANDLE event;
    DWORD written;
    if (NtCreateEvent(&event, SYNCHRONIZE, &attributes, 0 /* notification */, TRUE) < 0 ||
        !WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &written, NULL))
        ExitProcess(1);
    Sleep(INFINITE);
}
