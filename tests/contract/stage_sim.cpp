// The contract's sandbox on the simulated machine.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    std::printf("platform %s cp %u\n", nt ? "nt" : "9x", codePage);
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
    sim::AddFile(path, std::string(bytes, count));
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
