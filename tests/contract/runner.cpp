// The platform contract: each case sets up a sandbox, makes one platform call
// (or a short sequence on one handle) the way the program's logic makes it,
// and prints what the call returned, what it wrote into its buffers, and what
// it left behind. Built twice, over the simulator and over Windows; the two
// outputs must agree but where windows.txt says that Wine departs.
//
// Output buffers are poisoned before each call, so a line shows what the call
// wrote. No standard header here: on Windows the program's own FILE stands in
// for the C runtime's.
#include "cases.h"
#include "contract.h"
#include "output.h"
#include "platform.h"
#include "stage.h"

namespace {

// ---- Setting up ---------------------------------------------------------------
unsigned Hex(char c) { return static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10); }

unsigned FromHex(const char *hex, char *out)
{
    unsigned n = 0;
    for (; hex[0] && hex[1]; hex += 2) out[n++] = static_cast<char>(Hex(hex[0]) << 4 | Hex(hex[1]));
    return n;
}

int Same(const char *a, const char *b)
{
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

unsigned Length(const char *s)
{
    unsigned n = 0;
    while (s[n]) ++n;
    return n;
}

// Splits the item at s into fields at tabs, up to the end of its line; returns
// the start of the next line.
const unsigned kField = 2048;

const char *Fields(const char *s, char fields[4][kField], int *count)
{
    *count = 0;
    unsigned n = 0;
    for (;; ++s) {
        if (*s == '\t' || *s == '\n' || !*s) {
            fields[(*count)++][n] = '\0';
            n = 0;
            if (*s != '\t') return *s ? s + 1 : s;
        } else if (n + 1 < kField) fields[*count][n++] = *s;
    }
}

}  // namespace

const char *StageItems(const char *state)
{
    while (*state && !(state[0] == 'm' && state[1] == ' ')) {
        char kind = state[0];
        char f[4][kField];
        int count;
        state = Fields(state + 2, f, &count);
        char bytes[kField] = {0};  // text ends in a zero, counted or not
        switch (kind) {
        case 'd': StageFolder(f[0]); break;
        case 'f': StageFile(f[0], f[1], Length(f[1]), 0); break;
        case 'r': StageFile(f[0], f[1], Length(f[1]), 1); break;
        case 'o': StageHold(f[0]); break;
        case 'k':
            StageKey(f[0]);
            StageValue(f[0], "which", REG_SZ, f[0], Length(f[0]) + 1);
            break;
        case 'v':
            StageValue(f[0], f[1], static_cast<unsigned long>(f[2][0] - '0'), bytes, FromHex(f[3], bytes));
            break;
        }
    }
    return state;
}

namespace {

void Stage(const char *state)
{
    StageReset();
    StageItems(state);
}

// ---- The calls -------------------------------------------------------------------
const BYTE kPoison = 0xCC;

void Poison(char *buffer, unsigned size)
{
    for (unsigned i = 0; i < size; ++i) buffer[i] = static_cast<char>(kPoison);
}

// The bytes a call wrote into buffer: up to `count`, and any change past `offered`.
void PutWritten(const char *buffer, unsigned count, unsigned offered)
{
    Put(" data ");
    PutBytes(buffer, count < offered ? count : offered);
    for (unsigned i = offered; i < offered + 16; ++i)
        if (static_cast<BYTE>(buffer[i]) != kPoison) {
            Put(" WROTE PAST THE BUFFER");
            break;
        }
}

void PutResult(long result)
{
    Put("= ");
    PutNumber(result);
}

// The "which" value read through an open handle: which key it is.
void PutWhich(HKEY key)
{
    char buffer[300];
    Poison(buffer, sizeof buffer);
    DWORD type = 0xDEAD, size = 260;
    LONG r = RegQueryValueExA(key, "which", NULL, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    Put(" which ");
    PutNumber(r);
    if (r != ERROR_SUCCESS) return;
    Put(" ");
    PutBytes(buffer, size);
}

void PutHandle(HKEY key, LONG r)
{
    if (r != ERROR_SUCCESS) Put(key == reinterpret_cast<HKEY>(uintptr_t{0xBAD}) ? " handle untouched" : " handle written");
}

// The case's key a, opened for reading; else says so and ends the line.
bool OpenForCase(const Case &c, HKEY *key)
{
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, KEY_READ, key) == ERROR_SUCCESS) return true;
    Put("open failed");
    End();
    return false;
}

void Open(const Case &c)
{
    HKEY key = reinterpret_cast<HKEY>(uintptr_t{0xBAD});
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, KEY_READ, &key);
    PutResult(r);
    PutHandle(key, r);
    if (r == ERROR_SUCCESS) {
        PutWhich(key);
        Put(" close ");
        PutNumber(RegCloseKey(key));
    }
    End();
}

void Query(const Case &c)
{
    HKEY key;
    if (!OpenForCase(c, &key)) return;
    char buffer[300];
    Poison(buffer, sizeof buffer);
    DWORD type = 0xDEAD, size = static_cast<DWORD>(c.size);
    LONG r = RegQueryValueExA(key, c.flags & kNullName ? NULL : c.text, NULL, &type,
                              c.flags & kNullData ? NULL : reinterpret_cast<LPBYTE>(buffer), &size);
    PutResult(r);
    Put(" type ");
    PutNumber(type == 0xDEAD ? -1 : static_cast<long long>(type));
    Put(" size ");
    PutNumber(size);
    if (r == ERROR_SUCCESS && !(c.flags & kNullData)) PutWritten(buffer, size, static_cast<unsigned>(c.size));
    else if (!(c.flags & kNullData)) PutWritten(buffer, 0, static_cast<unsigned>(c.size));
    RegCloseKey(key);
    End();
}

void Create(const Case &c)
{
    HKEY key = reinterpret_cast<HKEY>(uintptr_t{0xBAD});
    DWORD disposition = 0xDEAD;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             NULL, &key, &disposition);
    PutResult(r);
    PutHandle(key, r);
    if (r == ERROR_SUCCESS) {
        Put(" disposition ");
        PutNumber(disposition);
        PutWhich(key);
        Put(" close ");
        PutNumber(RegCloseKey(key));
    }
    End();
}

void Set(const Case &c)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, c.path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &key, &disposition) != ERROR_SUCCESS) {
        Put("create failed");
        End();
        return;
    }
    char data[300] = {0};
    FromHex(c.data, data);
    PutResult(RegSetValueExA(key, c.text, 0, c.flags, reinterpret_cast<const BYTE *>(data), static_cast<DWORD>(c.size)));
    RegCloseKey(key);
    End();
}

void Delete(const Case &c)
{
    PutResult(RegDeleteKeyA(HKEY_LOCAL_MACHINE, c.path));
    End();
}

void DeleteOpen(const Case &c)
{
    HKEY key;
    if (!OpenForCase(c, &key)) return;
    PutResult(RegDeleteKeyA(HKEY_LOCAL_MACHINE, c.path));
    PutWhich(key);
    Put(" close ");
    PutNumber(RegCloseKey(key));
    End();
}

void CloseTwice(const Case &c)
{
    HKEY key;
    if (!OpenForCase(c, &key)) return;
    PutResult(RegCloseKey(key));
    Put(" again ");
    PutNumber(RegCloseKey(key));
    PutWhich(key);
    End();
}

void Directory(const Case &c)
{
    char buffer[300];
    Poison(buffer, sizeof buffer);
    UINT size = static_cast<UINT>(c.size);
    UINT r = c.kind == kSystemDir ? GetSystemDirectoryA(buffer, size) : GetWindowsDirectoryA(buffer, size);
    PutResult(r);
    // What it wrote: the text and its zero when it fitted, else anything at all.
    PutWritten(buffer, r < size ? r + 1 : 0, size);
    End();
}

void RemoveFile(const Case &c)
{
    PutResult(DeleteFileA(c.path));
    End();
}

void RemoveDir(const Case &c)
{
    PutResult(_rmdir(c.path));
    End();
}

void Stream(const Case &c)
{
    FILE *file = fopen(c.path, "w");
    Put(file ? "opened" : "not opened");
    if (file) {
        Put(" puts ");
        PutNumber(fputs(c.text, file));
        Put(" close ");
        PutNumber(fclose(file));
    }
    End();
}

void MakeFile(const Case &c)
{
    HANDLE file = CreateFileA(c.path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    Put(file == INVALID_HANDLE_VALUE ? "invalid" : "created");
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0xDEAD;
        Put(" write ");
        PutNumber(WriteFile(file, c.text, Length(c.text), &written, NULL));
        Put(" wrote ");
        PutNumber(written);
        Put(" flush ");
        PutNumber(FlushFileBuffers(file));
        Put(" close ");
        PutNumber(CloseHandle(file));
        Put(" again ");
        PutNumber(CloseHandle(file));
    }
    End();
}

void CodePages()
{
    Put("acp ");
    PutNumber(GetACP());
    Put(" oem ");
    PutNumber(GetOEMCP());
    End();
}

void LeadBytes()
{
    Put("lead bytes ");
    for (int row = 0; row < 16; ++row) {
        char digits[17];
        for (int i = 0; i < 16; ++i) digits[i] = IsDBCSLeadByte(static_cast<BYTE>(row * 16 + i)) ? '1' : '0';
        digits[16] = '\0';
        Put(row ? " " : "");
        Put(digits);
    }
    End();
}

void Quit(const Case &c)
{
    PostQuitMessage(c.size);
    MSG msg;
    msg.message = 0xDEAD;
    BOOL r = GetMessageA(&msg, NULL, 0, 0);
    PutResult(r);
    Put(" message ");
    PutNumber(msg.message);
    Put(" wParam ");
    PutNumber(static_cast<long long>(msg.wParam));
    End();
}

LRESULT CALLBACK NoWindow(HWND, UINT, WPARAM, LPARAM) { return 0; }

void WindowClass(const Case &c)
{
    WNDCLASSEXA cls;
    char *bytes = reinterpret_cast<char *>(&cls);
    for (unsigned i = 0; i < sizeof cls; ++i) bytes[i] = 0;
    cls.cbSize = sizeof cls;
    cls.style = CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = NoWindow;
    cls.hCursor = LoadCursorA(NULL, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = c.path;
    Put(cls.hCursor ? "cursor" : "no cursor");
    Put(" first ");
    Put(RegisterClassExA(&cls) ? "registered" : "refused");
    Put(" again ");
    Put(RegisterClassExA(&cls) ? "registered" : "refused");
    End();
}

void Run(const Case &c)
{
    switch (c.kind) {
    case kOpen: Open(c); break;
    case kQuery: Query(c); break;
    case kCreate: Create(c); break;
    case kSet: Set(c); break;
    case kDelete: Delete(c); break;
    case kDeleteOpen: DeleteOpen(c); break;
    case kCloseTwice: CloseTwice(c); break;
    case kSystemDir: case kWindowsDir: Directory(c); break;
    case kDeleteFile: RemoveFile(c); break;
    case kRemoveDir: RemoveDir(c); break;
    case kStream: Stream(c); break;
    case kCreateFile: MakeFile(c); break;
    case kLeadBytes: LeadBytes(); break;
    case kCodePages: CodePages(); break;
    case kQuit: Quit(c); break;
    case kWindowClass: WindowClass(c); break;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    StageBegin(argc, argv);
    for (int i = 1; i + 1 < argc; ++i)
        if (Same(argv[i], "--machines")) return RunMachines(argv[i + 1]);
    // One case alone: contract [mode] --case ID.
    const char *only = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (Same(argv[i], "--case")) only = argv[i + 1];
    for (unsigned i = 0; i < kCaseCount; ++i) {
        const Case &c = kCases[i];
        if (only && !Same(only, c.id)) continue;
        BeginLines(c.id);
        Stage(c.state);
        Run(c);
        StageRelease();
        StageDump();
    }
    BeginLines("end");
    StageReset();
    Put("done");
    End();
    return 0;
}
