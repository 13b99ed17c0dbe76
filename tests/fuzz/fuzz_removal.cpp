// A whole silent uninstall on the installed machine, with the registry values
// and folders it reads taken from the input: "Path", "Folder Name" and "ID"
// (any bytes, any length, with or without a zero, any type, or missing), and
// the system and Windows folders. Whatever they hold, the run must harm
// nothing (see fixture::Violations).
//
// Input: one byte of flags (bit 0: /D; bits 1-3: the three values exist; bits
// 4-5: the ANSI code page, 1252, 932, 936 or 950; bit 6: the install folder's
// and the Start menu's files read-only, as copied from a CD-ROM; bit 7: the
// driver and setup files read-only), then five fields, each a type byte, a two-byte
// length (mod 700) and the bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app.h"
#include "installed_machine.h"

namespace {

struct Reader {
    const uint8_t *data;
    size_t size;
    uint8_t Byte() { return size ? (--size, *data++) : 0; }
    std::string Field(DWORD *type)
    {
        static const DWORD kTypes[] = {REG_SZ, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_NONE};
        *type = kTypes[Byte() % 6];
        size_t n = (Byte() | Byte() << 8) % 700;
        if (n > size) n = size;
        std::string s((const char *)data, n);
        data += n;
        size -= n;
        return s;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in{data, size};
    uint8_t flags = in.Byte();
    DWORD pathType, folderType, idType, ignored;
    std::string path = in.Field(&pathType), folder = in.Field(&folderType), id = in.Field(&idType);
    std::string systemDir = in.Field(&ignored), windowsDir = in.Field(&ignored);

    fixture::InstallProduct();
    static const UINT kCodePages[] = {1252, 932, 936, 950};
    sim::SetCodePage(kCodePages[(flags >> 4) & 3]);
    const char *const values[3][2] = {{fixture::kAppPathsKey, fixture::kPathValue},
                                      {fixture::kStartMenuKey, fixture::kFolderNameValue},
                                      {fixture::kServiceKey, fixture::kIdValue}};
    const std::string *bytes[3] = {&path, &folder, &id};
    const DWORD types[3] = {pathType, folderType, idType};
    for (int i = 0; i < 3; ++i) {
        if (flags & (2 << i)) sim::SetValue(values[i][0], values[i][1], types[i], *bytes[i]);
        else sim::DeleteValue(values[i][0], values[i][1]);
    }
    // The driver and setup files lie in the Windows folder, the rest elsewhere.
    for (const std::string &file : fixture::ProductFiles())
        if (flags & (file.compare(0, 10, "C:\\WINDOWS\\") == 0 && file.find("\\Start Menu\\") == std::string::npos
                         ? 0x80
                         : 0x40))
            sim::SetReadOnly(file);
    if (!systemDir.empty()) sim::SetSystemDirectory(systemDir.c_str());
    if (!windowsDir.empty()) sim::SetWindowsDirectory(windowsDir.c_str());

    const fixture::Scope scope = fixture::ScopeNow();
    const std::vector<std::string> before = sim::Dump();
    int code = fixture::RunUninstaller(flags & 1 ? "/M /D" : "/M");
    std::vector<std::string> bad = fixture::Violations(before, sim::Dump(), sim::Calls(), scope);
    if (code != 0) bad.push_back("exit code " + std::to_string(code));
    for (const std::string &b : bad) std::fprintf(stderr, "%s\n", b.c_str());
    if (!bad.empty()) std::abort();
    return 0;
}
