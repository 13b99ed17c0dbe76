// The contract's sandbox on Windows itself.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "stage.h"

namespace {

HANDLE held = INVALID_HANDLE_VALUE;

void Join(char *out, const char *dir, const char *name)
{
    std::snprintf(out, MAX_PATH * 2, "%s\\%s", dir, name);
}

int IsDots(const char *name) { return name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2])); }

// Every folder on the way to path, by characters; with whole, path too.
void MakeFolders(const char *path, int whole)
{
    char part[MAX_PATH * 2];
    unsigned n = 0;
    for (const char *c = path; *c && n + 2 < sizeof part; c = CharNextA(c)) {
        if ((*c == '\\' || *c == '/') && n > 2) {
            part[n] = '\0';
            CreateDirectoryA(part, NULL);
        }
        for (const char *b = c; b < CharNextA(c); ++b) part[n++] = *b;
    }
    part[n] = '\0';
    if (whole) CreateDirectoryA(part, NULL);
}

// Cleaning up goes by Unicode names: a name made in one code page may have
// no spelling in another, and could then be neither opened nor deleted.
void RemoveTree(const wchar_t *dir)
{
    wchar_t pattern[MAX_PATH * 2];
    std::swprintf(pattern, MAX_PATH * 2, L"%ls\\*", dir);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const wchar_t *n = found.cFileName;
            if (n[0] == L'.' && (!n[1] || (n[1] == L'.' && !n[2]))) continue;
            wchar_t path[MAX_PATH * 2];
            std::swprintf(path, MAX_PATH * 2, L"%ls\\%ls", dir, n);
            SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileW(path);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(dir);
}

// "file P [n] BYTES", " read-only" after when it is.
void SayFile(const char *path, const WIN32_FIND_DATAA &found)
{
    char bytes[512], quoted[2048], line[4096];
    DWORD count = 0;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, bytes, sizeof bytes, &count, NULL);
        CloseHandle(file);
    }
    QuoteInto(quoted, sizeof quoted, bytes, count);
    std::snprintf(line, sizeof line, "file %s [%lu] %s%s", path, found.nFileSizeLow, quoted,
                  found.dwFileAttributes & FILE_ATTRIBUTE_READONLY ? " read-only" : "");
    Say(line);
}

// A name with no spelling in the code page comes back with '?' in it, which
// as a pattern finds the folder itself again: the depth is bounded.
void DumpFolder(const char *dir, int depth = 0)
{
    char line[4096];
    std::snprintf(line, sizeof line, "folder %s", dir);
    Say(line);
    char pattern[MAX_PATH * 2];
    Join(pattern, dir, "*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDots(found.cFileName)) continue;
        char path[MAX_PATH * 2];
        Join(path, dir, found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (depth < 8) DumpFolder(path, depth + 1);
            continue;
        }
        SayFile(path, found);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void SayValue(const char *prefix, const char *data, DWORD type, DWORD count)
{
    char line[4096], quoted[2048];
    QuoteInto(quoted, sizeof quoted, data, count);
    std::snprintf(line, sizeof line, "%s = %lu %s [%lu]", prefix, type, quoted, count);
    Say(line);
}

void DumpKey(const char *path, int depth = 0)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char line[4096];
    std::snprintf(line, sizeof line, "key %s", path);
    Say(line);
    for (DWORD i = 0;; ++i) {
        char name[MAX_PATH], data[1024];
        DWORD nameLength = sizeof name, type, count = sizeof data;
        if (RegEnumValueA(key, i, name, &nameLength, NULL, &type, reinterpret_cast<BYTE *>(data), &count) !=
            ERROR_SUCCESS)
            break;
        std::snprintf(line, sizeof line, "value %s : %s", path, name);
        SayValue(line, data, type, count);
    }
    for (DWORD i = 0;; ++i) {
        char name[MAX_PATH], child[MAX_PATH * 2];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, i, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        Join(child, path, name);
        if (depth < 8) DumpKey(child, depth + 1);
    }
    RegCloseKey(key);
}

}  // namespace

void StageBegin(int, char **)
{
    DWORD version = GetVersion();
    char line[80];
    std::snprintf(line, sizeof line, "platform %s cp %u", version & 0x80000000u ? "9x" : "nt", GetACP());
    StageWrite(line);
    std::snprintf(line, sizeof line, "windows %u.%u", LOBYTE(LOWORD(version)), HIBYTE(LOWORD(version)));
    StageWrite(line);
}

void StageReset()
{
    RemoveTree(L"" STAGE_FOLDER);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"" STAGE_KEY);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"" STAGE_KEY);
    CreateDirectoryA(STAGE_FOLDER, NULL);
    StageKey(STAGE_KEY);
}

void StageFolder(const char *path) { MakeFolders(path, 1); }

void StageFile(const char *path, const char *bytes, unsigned count, int readOnly)
{
    MakeFolders(path, 0);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written;
    WriteFile(file, bytes, count, &written, NULL);
    CloseHandle(file);
    if (readOnly) SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY);
}

void StageKey(const char *path)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, &disposition) ==
        ERROR_SUCCESS)
        RegCloseKey(key);
}

void StageValue(const char *path, const char *name, unsigned long type, const char *bytes, unsigned count)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, &disposition) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE *>(bytes), count);
    RegCloseKey(key);
}

void StageHold(const char *path)
{
    held = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
}

void StageRelease()
{
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    held = INVALID_HANDLE_VALUE;
}

void StageDump()
{
    DumpKey(STAGE_KEY);
    DumpFolder(STAGE_FOLDER);
}

void StageWrite(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// ---- Whole runs ------------------------------------------------------------------
void StageMachineReset()
{
    static const char *const files[] = {DESCRIBED_SYSTEM_FILES};
    static const char *const keys[] = {DESCRIBED_KEY_ROOTS};
    wchar_t wide[MAX_PATH];
    RemoveTree(L"" MACHINE_FOLDER);
    for (const char *file : files) {
        SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file);
    }
    for (const char *key : keys) {
        MultiByteToWideChar(CP_ACP, 0, key, -1, wide, MAX_PATH);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, wide);
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, wide);
    }
    HKEY runOnce;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DESCRIBED_RUNONCE_KEY, 0, KEY_ALL_ACCESS, &runOnce) == ERROR_SUCCESS) {
        RegDeleteValueA(runOnce, DESCRIBED_RUNONCE_NAME);
        RegCloseKey(runOnce);
    }
    CreateDirectoryA(MACHINE_FOLDER, NULL);
}

// The product is the zovovar.exe beside this program.
void StageRunProduct()
{
    char command[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(NULL, command, MAX_PATH);
    while (n && command[n - 1] != '\\') --n;
    std::snprintf(command + n, sizeof command - n, "zovovar.exe /M");
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &start, &process)) {
        Say("the product did not start");
        return;
    }
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) Say("the product did not end");
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (code != 0) Say("the product's exit code is not 0");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void StageMachineDump()
{
    static const char *const files[] = {DESCRIBED_SYSTEM_FILES};
    static const char *const keys[] = {DESCRIBED_KEY_ROOTS};
    DumpFolder(MACHINE_FOLDER);
    for (const char *file : files) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(file, &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        FindClose(search);
        SayFile(file, found);
    }
    for (const char *key : keys) DumpKey(key);
    HKEY runOnce;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, DESCRIBED_RUNONCE_KEY, 0, KEY_READ, &runOnce) != ERROR_SUCCESS) return;
    char data[1024];
    DWORD type, count = sizeof data;
    if (RegQueryValueExA(runOnce, DESCRIBED_RUNONCE_NAME, NULL, &type, reinterpret_cast<BYTE *>(data), &count) ==
        ERROR_SUCCESS)
        SayValue("runonce", data, type, count);
    RegCloseKey(runOnce);
}

long StageReadFile(const char *path, char *buffer, unsigned long size)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return -1;
    DWORD n = 0;
    ReadFile(file, buffer, size - 1, &n, NULL);
    CloseHandle(file);
    buffer[n] = '\0';
    return static_cast<long>(n);
}
