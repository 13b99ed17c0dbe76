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
// them through Win32's "A" calls).
#include <windows.h>

#include <string>

namespace {

// Each line as its bytes, in the ANSI code page.
void Log(const std::string &line)
{
    char folder[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    const std::string path = std::string(folder) + "\\command_com.log", text = line + "\r\n";
    HANDLE log = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(log);
}

// One line of the batch file, read in the ANSI code page, run by cmd.exe.
void Run(const std::string &line)
{
    Log("run: " + line);
    std::string command = "cmd.exe /c " + line;
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process)) {
        Log("said: Bad command or file name");
        return;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// The file's bytes from `offset` on, or false when it cannot be opened.
bool ReadFrom(const std::string &path, DWORD offset, std::string *bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

void RunBatch(const std::string &path)
{
    Log("batch: " + path);
    DWORD offset = 0;
    for (;;) {
        std::string rest;
        if (!ReadFrom(path, offset, &rest)) {
            Log(offset ? "said: Batch file missing" : "said: Bad command or file name");
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
    const char *c = GetCommandLineA();
    if (*c == '"') {
        for (++c; *c && *c != '"'; ++c) {}
        if (*c) ++c;
    } else {
        while (static_cast<unsigned char>(*c) > ' ') ++c;
    }
    const std::string tail = c;
    Log("tail: " + tail);
    const size_t close = tail.rfind('"');
    if (tail.compare(0, 5, " /c \"") != 0 || close < 5) {
        Log("said: only /c \"BATCH\" is run here");
        return 1;
    }
    RunBatch(tail.substr(5, close - 5));
    return 0;
}
