// COMMAND.COM as Windows 9x runs the self-deletion script at its next start,
// installed as command.com in a prefix: Wine has only cmd.exe, an NT
// interpreter. What it does is what the record says of COMMAND.COM 7
// (tests/contract/next_start.txt):
// - its tail and a batch file's lines are read in the OEM code page;
// - "/c" runs the command that follows once; a batch file is read line by line;
// - after each line that ends in CR the file is opened again by name, and
//   "Batch file missing" ends the run where it has gone; a last line without
//   CR ends the run with no reopening.
// Each line, so decoded, goes to cmd.exe /c. Every line run and every message
// goes to command_com.log in the Windows folder, for the tests. Its cuts of a
// long line or tail are not made here: the harm checker holds every scheduled
// script and command to them (fixture::ScheduleProblems), so none is reached.
#include <windows.h>

#include <string>

namespace {

std::wstring Decoded(const std::string &oem)
{
    std::wstring out(oem.size(), L'\0');
    const int n = MultiByteToWideChar(CP_OEMCP, 0, oem.data(), static_cast<int>(oem.size()), &out[0],
                                      static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    return out;
}

std::string Encoded(const std::wstring &text, UINT codePage)
{
    std::string out(text.size() * 2 + 1, '\0');
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                      static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? n : 0);
    return out;
}

void Log(const std::wstring &line)
{
    wchar_t folder[MAX_PATH];
    const UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::wstring path = std::wstring(folder) + L"\\command_com.log";
    HANDLE log = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    const std::string bytes = Encoded(line + L"\r\n", CP_UTF8);
    DWORD written;
    WriteFile(log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(log);
}

void Say(const std::wstring &message)
{
    const std::string bytes = Encoded(message + L"\r\n", CP_OEMCP);
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    Log(L"said: " + message);
}

// One command, as COMMAND.COM has read it, run by cmd.exe.
void Run(const std::string &oem)
{
    const std::wstring line = Decoded(oem);
    Log(L"run: " + line);
    std::wstring command = L"cmd.exe /c " + line;
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process)) {
        Say(L"Bad command or file name");
        return;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// The file's bytes from `offset` on, or false when it cannot be opened.
bool ReadFrom(const std::wstring &path, DWORD offset, std::string *bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        char chunk[4096];
        DWORD got;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) bytes->append(chunk, got);
    }
    CloseHandle(file);  // closed while the line runs: it may delete the file
    return true;
}

void RunBatch(const std::string &oemPath)
{
    const std::wstring path = Decoded(oemPath);
    Log(L"batch: " + path);
    DWORD offset = 0;
    for (;;) {
        std::string rest;
        if (!ReadFrom(path, offset, &rest)) {
            Say(offset ? L"Batch file missing" : L"Bad command or file name");
            return;
        }
        if (rest.empty()) return;
        const size_t cr = rest.find('\r');
        const std::string line = rest.substr(0, cr);
        if (!line.empty()) Run(line);
        if (cr == std::string::npos) return;  // the end, without a CR: no reopening
        offset += static_cast<DWORD>(cr + 1 + (cr + 1 < rest.size() && rest[cr + 1] == '\n'));
    }
}

// The command line after the program's own name, as the PSP holds it.
std::string Tail()
{
    const wchar_t *c = GetCommandLineW();
    if (*c == L'"') {
        for (++c; *c && *c != L'"'; ++c) {}
        if (*c) ++c;
    } else {
        while (*c > L' ') ++c;
    }
    return Encoded(c, CP_OEMCP);
}

}  // namespace

int main()
{
    const std::string tail = Tail();
    Log(L"tail: " + Decoded(tail));
    size_t at = tail.find_first_not_of(' ');
    if (at == std::string::npos || at + 1 >= tail.size() || tail[at] != '/' || (tail[at + 1] | 0x20) != 'c') {
        Say(L"only /c is run here");
        return 1;
    }
    at = tail.find_first_not_of(' ', at + 2);
    if (at == std::string::npos) return 0;
    std::string command = tail.substr(at);
    std::string name = command;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    const bool batch = name.size() > 4 && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str() + name.size() - 4,
                                                        4, ".bat", 4) == CSTR_EQUAL;
    if (batch) RunBatch(name);
    else Run(command);
    return 0;
}
