// The simulated process and user interface: the command line, the module,
// the exit, message boxes, the window class and the message queue.
#include "machine.h"

#include <cstring>
#include <sstream>

using namespace simulated;

LPSTR GetCommandLineA()
{
    Record("GetCommandLineA", {});
    return &m.commandLine[0];
}

HINSTANCE GetModuleHandleA(LPCSTR name)
{
    // The program's own image is its only module here.
    const uint32_t base = name ? 0 : 0x400000;
    Record("GetModuleHandleA", {Quote(name)}, Hex(base));
    return reinterpret_cast<HINSTANCE>(uintptr_t{base});
}

void ExitProcess(UINT code)
{
    Record("ExitProcess", {std::to_string(code)});
    throw sim::ProcessExit{code};
}

// ---- User interface --------------------------------------------------------------

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    int answer = IDCANCEL;
    if (!m.answers.empty()) {
        answer = m.answers.front();
        m.answers.pop_front();
    }
    Record("MessageBoxA", {owner ? "hwnd" : "NULL", Quote(text), Quote(caption), Hex(type)}, std::to_string(answer));
    return answer;
}

ATOM RegisterClassExA(const WNDCLASSEXA *cls)
{
    // A class name is registered once (ERROR_CLASS_ALREADY_EXISTS after).
    const ATOM atom = m.classes.insert(Upper(cls->lpszClassName ? cls->lpszClassName : "")).second ? 1 : 0;
    std::ostringstream procedure;
    procedure << std::hex << std::showbase << reinterpret_cast<uintptr_t>(cls->lpfnWndProc);
    Record("RegisterClassExA",
           {"cbSize=" + std::to_string(cls->cbSize), "style=" + Hex(cls->style), "lpfnWndProc=" + procedure.str(),
            "cbClsExtra=" + std::to_string(cls->cbClsExtra), "cbWndExtra=" + std::to_string(cls->cbWndExtra),
            "hInstance=" + Hex((uint32_t)(uintptr_t)cls->hInstance), "hIcon=" + Hex((uint32_t)(uintptr_t)cls->hIcon),
            "hCursor=" + Hex((uint32_t)(uintptr_t)cls->hCursor),
            "hbrBackground=" + std::to_string((uintptr_t)cls->hbrBackground),
            "lpszMenuName=" + Quote(cls->lpszMenuName), "lpszClassName=" + Quote(cls->lpszClassName),
            std::string("hIconSm=") + (cls->hIconSm ? "set" : "NULL")},
           std::to_string(atom));
    return atom;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name)
{
    Record("LoadIconA", {Hex((uint32_t)(uintptr_t)instance), Quote(name)}, "0x1C0");
    return (HICON)(uintptr_t)0x1C0;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    Record("LoadCursorA", {Hex((uint32_t)(uintptr_t)instance), Hex((uint32_t)(uintptr_t)name)}, "0xC00");
    return (HCURSOR)(uintptr_t)0xC00;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT first, UINT last)
{
    const std::vector<std::string> arguments = {window ? "hwnd" : "NULL", std::to_string(first), std::to_string(last)};
    // A failure (-1) leaves the message as it was: what it holds then is not
    // on record.
    if (Injected("GetMessageA")) {
        Record("GetMessageA", arguments, "-1");
        return -1;
    }
    std::memset(msg, 0, sizeof *msg);
    BOOL r;
    if (!m.queued.empty()) {
        msg->message = m.queued.front();
        m.queued.pop_front();
        r = TRUE;
    } else if (m.quitPosted) {
        m.quitPosted = false;
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)m.quitCode;
        r = FALSE;
    } else {
        // A real queue would wait for ever: the process hangs.
        Record("GetMessageA", arguments, "", "waits for ever");
        throw sim::WaitsForEver();
    }
    Record("GetMessageA", arguments, std::to_string(r),
           Hex(msg->message) + (r ? "" : " wParam=" + std::to_string(msg->wParam)));
    return r;
}

BOOL TranslateMessage(const MSG *msg)
{
    Record("TranslateMessage", {Hex(msg->message)});
    return FALSE;
}

LRESULT DispatchMessageA(const MSG *msg)
{
    Record("DispatchMessageA", {Hex(msg->message)});
    return 0;
}

void PostQuitMessage(int code)
{
    m.quitPosted = true;
    m.quitCode = code;
    Record("PostQuitMessage", {std::to_string(code)});
}

namespace sim {

void SetCommandLine(const std::string &line) { m.commandLine = line; }

void AnswerMessageBoxes(const std::vector<int> &answers)
{
    m.answers.assign(answers.begin(), answers.end());
}

void QueueMessage(UINT message) { m.queued.push_back(message); }

}  // namespace sim
