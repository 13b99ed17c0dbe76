// A simulated subset of Win32, for builds without Windows.
//
// It declares the calls the program makes under their Windows names, keeps a
// small machine (registry below HKEY_LOCAL_MACHINE, files, folders, message
// boxes, a message queue), records every call with its arguments, behaves as
// Windows 9x does where the program relies on it, and can make any call fail.
// The `sim` namespace at the end is for the tests that drive it. Behind this
// one header: machine.cpp (the state, the call record, fault injection),
// registry.cpp, disk.cpp and user_interface.cpp.
#ifndef ZOVOVAR_WIN32_SIM_H
#define ZOVOVAR_WIN32_SIM_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// ---- Windows types and constants, with their Win32 sizes -------------------
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef BYTE *LPBYTE;
typedef DWORD *LPDWORD;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef uint16_t ATOM;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef DWORD REGSAM;
typedef void *HANDLE;
typedef const void *LPCVOID;

struct HKEY__;
struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HBRUSH__;
typedef HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef HWND__ *HWND;
typedef HINSTANCE__ *HINSTANCE;
typedef HICON__ *HICON;
typedef HICON HCURSOR;
typedef HBRUSH__ *HBRUSH;

#define WINAPI
#define CALLBACK
#define MAX_PATH 260
#define TRUE 1
#define FALSE 0

#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(uintptr_t{0x80000002u}))
#define KEY_READ 0x20019u
#define KEY_ALL_ACCESS 0xF003Fu
#define REG_OPTION_NON_VOLATILE 0u
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_DISK_FULL 112L
#define ERROR_MORE_DATA 234L
#define ERROR_KEY_DELETED 1018L

#define MB_OK 0x00u
#define MB_OKCANCEL 0x01u
#define MB_ICONINFORMATION 0x40u
#define IDOK 1
#define IDCANCEL 2

#define CS_VREDRAW 0x0001u
#define CS_HREDRAW 0x0002u
#define COLOR_WINDOW 5
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(uintptr_t{static_cast<uint16_t>(i)}))
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define WM_NULL 0x0000u
#define WM_QUIT 0x0012u
#define SW_SHOWDEFAULT 10

typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
    LONG x, y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG *LPMSG;

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED *LPOVERLAPPED;

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(intptr_t{-1}))
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define CREATE_ALWAYS 2u
#define FILE_ATTRIBUTE_NORMAL 0x80u

// ---- The calls ----------------------------------------------------------------
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size);
LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD size);
LONG RegCloseKey(HKEY key);
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);

UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
UINT GetWindowsDirectoryA(LPSTR buffer, UINT size);
BOOL DeleteFileA(LPCSTR path);
BOOL RemoveDirectoryA(LPCSTR path);
// Only what the product's own text stream asks for: CREATE_ALWAYS, for writing.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
// Commits what was written to the file to the disk: a power cut keeps it.
BOOL FlushFileBuffers(HANDLE file);
BOOL CloseHandle(HANDLE handle);
LPSTR GetCommandLineA();
// The program's own module: always the image base 0x400000.
HINSTANCE GetModuleHandleA(LPCSTR name);
// Ends the process: sim::ProcessExit is thrown with the code.
void ExitProcess(UINT code);
// Questions about the code pages, not acts on the machine: not recorded.
BOOL IsDBCSLeadByte(BYTE c);
UINT GetACP();
// The code page of DOS programs, COMMAND.COM among them.
UINT GetOEMCP();

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
ATOM RegisterClassExA(const WNDCLASSEXA *cls);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
BOOL GetMessageA(LPMSG msg, HWND window, UINT first, UINT last);
BOOL TranslateMessage(const MSG *msg);
LRESULT DispatchMessageA(const MSG *msg);
void PostQuitMessage(int code);

// The product's own text stream and folder removal, over the calls above.
#include "../win32/runtime.h"

// ---- The machine, for tests -----------------------------------------------------
namespace sim {

// Forgets everything: an empty registry and disk, no answers, no faults, Windows
// 9x behaviour, ANSI code page 1252, system folder C:\WINDOWS\SYSTEM, current
// folder C:\WORK.
void Reset();

// The double-byte code pages read: Japanese, Simplified Chinese, Korean, Traditional Chinese.
extern const UINT kDoubleBytePages[4];
// The ANSI code page, by which paths, key names and the program's own text are
// read: 1252 and every other single-byte page, or a double-byte one.
// The OEM code page becomes the one Windows pairs with it: 437 for 1252 (the
// United States; 850 in much of Europe), 866 for 1251, the page itself for the
// double-byte ones and 874.
void SetCodePage(UINT codePage);

// Windows NT refuses a key path that starts with a backslash and will not delete
// a key that has sub-keys; Windows 9x does both. The default is 9x.
void SetWindowsNT(bool nt);

void SetCommandLine(const std::string &line);
void SetSystemDirectory(const std::string &path);
void SetWindowsDirectory(const std::string &path);
std::string SystemDirectory();
std::string WindowsDirectory();

// Registry, below HKEY_LOCAL_MACHINE; names match without regard to case.
void AddKey(const std::string &path);
void SetValue(const std::string &key, const std::string &name, DWORD type,
              const std::string &bytes);
void SetText(const std::string &key, const std::string &name, const std::string &text);
void DeleteValue(const std::string &key, const std::string &name);
bool KeyExists(const std::string &path);
bool ValueExists(const std::string &key, const std::string &name);
std::string ValueBytes(const std::string &key, const std::string &name);
DWORD ValueType(const std::string &key, const std::string &name);

// Disk; adding a file adds its folders. Paths match without regard to case.
void AddFile(const std::string &path, const std::string &bytes = "");
void AddDirectory(const std::string &path);
// A read-only file: DeleteFileA refuses it, and so does CreateFileA for writing
// (files copied from a CD-ROM come so).
void SetReadOnly(const std::string &path);
// Another program holds the file open for writing, shared for reading only:
// nobody can open it for writing, and Windows NT will not delete it (9x does).
void HoldOpen(const std::string &path);
bool FileExists(const std::string &path);
// Whether all the file's bytes have reached the disk (flushed since written).
bool FileCommitted(const std::string &path);
// The name the file at path is kept under, as Dump writes it ("" for none):
// paths are resolved as Windows resolves them, so many name one file.
std::string FileName(const std::string &path);
bool DirectoryExists(const std::string &path);
std::string FileBytes(const std::string &path);

// Everything on the machine, one line per key, value, folder and file, sorted.
std::vector<std::string> Dump();

// Message boxes take their answers from this list, in order; with none left
// they answer IDCANCEL, as the close button does.
void AnswerMessageBoxes(const std::vector<int> &answers);
// Queues a message ahead of anything posted.
void QueueMessage(UINT message);

// One recorded call, kept as data. Its arguments and result are as the record
// writes them: texts quoted, their quotes, control bytes and bytes from 0x7F up
// written as C escapes (Escape writes a text so). `target` is the file or key
// path the call acts on, its bytes as the caller passed them; `opened` the key
// handle it handed back, named as its arguments name it ("hkey1").
struct Call {
    std::string name;
    std::vector<std::string> arguments;
    std::string result;  // "" for a call that returns nothing
    std::string output;  // what else it reports: a count written, a folder, a message
    std::string target;
    std::string opened;
};
// The one text form of a call: Name(arguments) = result -> opened output.
std::string Line(const Call &call);
// Every call since Reset, in order; the same as lines; those of one name, as lines.
const std::vector<Call> &Calls();
std::vector<std::string> CallLines();
std::vector<std::string> CallsNamed(const std::string &name);
std::string Escape(const std::string &bytes);

// Fault injection. The calls that can fail are the registry, file and folder
// calls and GetMessageA (kFailableCalls); they are counted from 1 since Reset.
// A failing call changes nothing and returns the failure the real call gives
// (`error` for registry calls, FALSE, -1 or INVALID_HANDLE_VALUE for the
// others; GetSystemDirectoryA returns 0), but WriteFile given ERROR_DISK_FULL,
// which writes half its bytes and reports TRUE with that count, as on a full
// disk, and RegQueryValueExA given kSuccessPastTheBuffer, which fills the
// buffer with no zero and reports success with a count past the buffer's end:
// no Windows is on record as answering so, and none as never doing it.
const LONG kSuccessPastTheBuffer = 0x20000001L;  // bit 29: not a Windows code
// A fault the double cannot inject (a cut below 1, a commit after the cut)
// throws this, naming the double, not passing unseen for a product fault.
struct Misuse : std::logic_error {
    using std::logic_error::logic_error;
};
void FailCall(int position, LONG error = ERROR_ACCESS_DENIED);
void FailEvery(const std::string &name, LONG error = ERROR_ACCESS_DENIED);
int FailableCallCount();
// A power cut: at the given failable call the process ends (PowerCut is
// thrown instead of the call), and what Windows 9x had not committed is lost,
// as its caches allow. A file's bytes written since its last FlushFileBuffers
// never reached the disk: the file keeps its size, but holds what the disk
// held there before (its earlier bytes, or kStaleBytes over and over where it
// had none). Files created and deleted stay so. The registry is as it was
// just before the failable call `registryCommittedAt` (1 to position), when 9x
// last wrote it out: by default all of it stays.
struct PowerCut {};
void CutPowerAt(int position, int registryCommittedAt = 0);
extern const char kStaleBytes[];
// A new process on the same machine: the disk and the registry stay; handles,
// message boxes, the call record and the faults are gone.
void StartProcess();
extern const char *const kFailableCalls[];
// ExitProcess throws this: the process has ended with the code.
struct ProcessExit {
    UINT code;
};
// GetMessageA throws this where a real queue would wait for ever: a hang.
struct WaitsForEver {};

// Handle bookkeeping: keys still open, and calls made on a handle that was not
// open (closed twice, never opened).
int OpenKeyCount();
int BadHandleUses();
// Opens of a key while a handle to it is still open, in the 9x modes: there
// the second handle would be the first one again.
int KeysOpenedTwice();

}  // namespace sim

#endif
