// Keeps one start of Windows for a whole Wine session. Wine marks a finished
// start with a named event, and the first program that finds no such event
// starts Windows anew (wineboot --init, which runs the RunOnce commands). The
// event lives only while a process holds it, and only services.exe and the
// programs it starts do: under emulation they can crash, and the next program
// of a test would then start Windows in the middle of it. This program holds
// the event (signalled, if it has to make it) and prints "held" once it does,
// which is after the start has finished: Wine waits for it before main runs.
//
// With the argument "desktop" it also makes the desktop first. The first
// program that asks for the desktop's window starts explorer.exe to make it,
// and waits up to 10 s for it; then Wine makes an ownerless window itself.
// Without a holder, the desktop ends a second after its last program, and
// that program is the uninstaller, in each run: a process it starts under
// qemu can hang in the fork, or, once it owns the desktop, stop answering
// and hold up every window. Here such a hang is part of the start, which is
// made once more. (Under qemu explorer.exe dies starting, and without a
// display it cannot start: the window is then Wine's own, which waits for
// nobody.)
#include <windows.h>

struct Text { USHORT length, size; const wchar_t *buffer; };
struct Attributes { ULONG length; HANDLE root; Text *name; ULONG attributes; void *security, *qos; };
extern "C" __declspec(dllimport) LONG WINAPI NtCreateEvent(HANDLE *, ACCESS_MASK, Attributes *,
                                                           int, BOOLEAN);

static bool asked_for_desktop()
{
    static const char word[] = " desktop";
    const char *line = GetCommandLineA();
    int length = lstrlenA(line);
    return length >= static_cast<int>(sizeof word) - 1 &&
           lstrcmpA(line + length - (sizeof word - 1), word) == 0;
}

extern "C" void mainCRTStartup()
{
    static const wchar_t name[] = L"\\KernelObjects\\__wineboot_event";
    Text text = {sizeof name - sizeof *name, sizeof name, name};
    Attributes attributes = {sizeof attributes, NULL, &text, 0x80 /* OBJ_OPENIF */, NULL, NULL};
    HANDLE event;
    DWORD written;
    if (NtCreateEvent(&event, SYNCHRONIZE, &attributes, 0 /* notification */, TRUE) < 0)
        ExitProcess(1);
    if (asked_for_desktop()) {
        HWND desktop = GetDesktopWindow();
        DWORD owner = 0;
        DWORD_PTR answer;
        GetWindowThreadProcessId(desktop, &owner);
        if (!desktop || (owner && !SendMessageTimeoutA(desktop, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                                                       10000, &answer)))
            ExitProcess(2);
    }
    if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &written, NULL))
        ExitProcess(1);
    Sleep(INFINITE);
}
