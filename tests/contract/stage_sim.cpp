// The contract's sandbox on the simulated machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform.h"
#include "stage.h"

namespace {
UINT codePage = 1252;
bool nt = false;
}  // namespace

void StageBegin(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--nt")) nt = true;
        else if (!std::strcmp(argv[i], "--cp") && i + 1 < argc) codePage = static_cast<UINT>(std::atoi(argv[++i]));
    std::printf("platform %s cp %u\ndouble-byte", nt ? "nt" : "9x", codePage);
    for (const UINT page : sim::kDoubleBytePages) std::printf(" %u", page);
    std::printf("\n");
}

void StageReset()
{
    sim::Reset();
    sim::SetCodePage(codePage);
    sim::SetWindowsNT(nt);
    // Wine's, so that the folders' names and lengths are the same on both.
    sim::SetSystemDirectory("C:\\windows\\system32");
    sim::SetWindowsDirectory("C:\\windows");
    sim::AddKey(STAGE_KEY);
    sim::AddDirectory(STAGE_FOLDER);
}

void StageFolder(const char *path) { sim::AddDirectory(path); }

void StageFile(const char *path, const char *bytes, unsigned count, int readOnly)
{
    // The folders on the way, as an installer on Windows makes them.
    const std::string folder(path);
    for (size_t i = 0; i < folder.size(); i += IsDBCSLeadByte(static_cast<BYTE>(folder[i])) && i + 1 < folder.size() ? 2 : 1)
        if ((folder[i] == '\\' || folder[i] == '/') && i > 2) sim::AddDirectory(folder.substr(0, i));
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written;
    WriteFile(file, bytes, count, &written, nullptr);
    CloseHandle(file);
    if (readOnly) sim::SetReadOnly(path);
}

void StageKey(const char *path) { sim::AddKey(path); }

// Through the simulated call, as on Windows: what a program can store.
void StageValue(const char *key, const char *name, unsigned long type, const char *bytes,
                unsigned count)
{
    HKEY handle;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                        &disposition) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, name, 0, static_cast<DWORD>(type), reinterpret_cast<const BYTE *>(bytes), count);
    RegCloseKey(handle);
}

void StageHold(const char *path) { sim::HoldOpen(path); }
void StageRelease() {}

void StageDump()
{
    static const char *const roots[] = {"key " STAGE_KEY, "value " STAGE_KEY, "folder " STAGE_FOLDER,
                                        "file " STAGE_FOLDER};
    for (const std::string &line : sim::Dump())
        for (const char *root : roots)
            if (line.compare(0, std::strlen(root), root) == 0) Say(line.c_str());
}

void StageWrite(const char *line) { std::printf("%s\n", line); }

// ---- Whole runs ------------------------------------------------------------------
void StageMachineReset()
{
    StageReset();
    sim::AddDirectory(MACHINE_FOLDER);
}

void StageRunProduct()
{
    sim::SetCommandLine("zovovar.exe /M");
    try {
        WinMainCRTStartup();
    } catch (const sim::ProcessExit &) {  // the run's end
    }
}

void StageMachineDump()
{
    static const char *const files[] = {DESCRIBED_SYSTEM_FILES};
    static const char *const keys[] = {DESCRIBED_KEY_ROOTS};
    auto under = [](const std::string &line, const std::string &kind, const char *root) {
        std::string start = kind + " " + root;
        return line.compare(0, start.size(), start) == 0 &&
               (line.size() == start.size() || line[start.size()] == '\\' || line[start.size()] == ' ');
    };
    for (const std::string &line : sim::Dump()) {
        bool show = under(line, "folder", MACHINE_FOLDER) || under(line, "file", MACHINE_FOLDER);
        for (const char *file : files) show = show || under(line, "file", file);
        for (const char *key : keys) show = show || under(line, "key", key) || under(line, "value", key);
        if (show) Say(line.c_str());
    }
    if (sim::ValueExists(DESCRIBED_RUNONCE_KEY, DESCRIBED_RUNONCE_NAME)) {
        std::string bytes = sim::ValueBytes(DESCRIBED_RUNONCE_KEY, DESCRIBED_RUNONCE_NAME);
        char quoted[2048], line[2200];
        QuoteInto(quoted, sizeof quoted, bytes.data(), static_cast<unsigned>(bytes.size()));
        std::snprintf(line, sizeof line, "runonce = %u %s [%zu]", sim::ValueType(DESCRIBED_RUNONCE_KEY, DESCRIBED_RUNONCE_NAME), quoted,
                      bytes.size());
        Say(line);
    }
}

long StageReadFile(const char *path, char *buffer, unsigned long size)
{
    // The host's own file, not the simulated machine's: read past the
    // simulated stream's names.
    int file = open(path, O_RDONLY);
    if (file < 0) return -1;
    unsigned long n = 0;
    for (ssize_t got; n + 1 < size && (got = read(file, buffer + n, size - 1 - n)) > 0;)
        n += static_cast<unsigned long>(got);
    close(file);
    buffer[n] = '\0';
    return static_cast<long>(n);
}
