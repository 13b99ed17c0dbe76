// COMMAND.COM as Windows 9x runs the self-deletion script at its next start,
// installed as command.com in a prefix: Wine has only cmd.exe, an NT
// interpreter. It does what the record says of COMMAND.COM 7
// (tests/contract/next_start.txt): "/c" runs the batch file that follows, line
// by line; after each line that ends in CR the file is opened again by name
// ("Batch file missing" where it has gone), and a last line without CR ends
// the run. Each line goes to cmd.exe /c; each line run and each message goes
// to command_com.log in the Windows folder, for the tests. The cuts of a long
// line or tail and the reading in the OEM code page are not made: the harm
// checker (fixture::ScheduleProblems) holds every scheduled command and script
// to them, so neither would be reached (a script is scheduled only where the
// OEM page reads each of its bytes as the ANSI page does, in which this reads
// them, as Win32 does).
#include <windows.h>

#include <string>

namespace {

void Log(const std::wstring &line)
{
    wchar_t folder[MAX_PATH];
    const UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::wstring path = std::wstring(folder) + L"\\command_com.log", text = line + L"\r\n";
    HANDLE log = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    std::string bytes(text.size() * 3, '\0');
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                                          static_cast<int>(bytes.size()), nullptr, nullptr);
    DWORD written;
    WriteFile(log, bytes.data(), static_cast<DWORD>(count > 0 ? count : 0), &written, nullptr);
    CloseHandle(log);
}

// One line of the batch file, read in the ANSI code page, run by cmd.exe.
void Run(const std::string &ansi)
{
    std::wstring line(ansi.size(), L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &line[0],
                                      static_cast<int>(line.size()));
    line.resize(n > 0 ? n : 0);
    Log(L"run: " + line);
    std::wstring command = L"cmd.exe /c " + line;
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process)) {
        Log(L"said: Bad command or file name");
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

void RunBatch(const std::wstring &path)
{
    Log(L"batch: " + path);
    DWORD offset = 0;
    for (;;) {
        std::string rest;
        if (!ReadFrom(path, offset, &rest)) {
            Log(offset ? L"said: Batch file missing" : L"said: Bad command or file name");
            return;
        }
        if (rest.empty()) return;
        const size_t cr = rest.find('\r');
        if (cr) Run(rest.substr(0, cr));
        if (cr == std::string::npos) return;  // the end, without a CR: no reopening
        offset += static_cast<DWORD>(cr + 1 + (cr + 1 < rest.size() && rest[cr + 1] == '\n'));
    }
}

}  // namespace

// The tail is the one command ever scheduled, /c "FOLDER\delfile.bat": the
// harm checker holds the product to it, and the Wine tests read it first.
int main()
{
    const wchar_t *c = GetCommandLineW();
    if (*c == L'"') {
        for (++c; *c && *c != L'"'; ++c) {}
        if (*c) ++c;
    } else {
        while (*c > L' ') ++c;
    }
    const std::wstring tail = c;
    Log(L"tail: " + tail);
    const size_t close = tail.rfind(L'"');
    if (tail.compare(0, 5, L" /c \"") != 0 || close < 5) {
        Log(L"said: only /c \"BATCH\" is run here");
        return 1;
    }
    RunBatch(tail.substr(5, close - 5));
    return 0;
}
