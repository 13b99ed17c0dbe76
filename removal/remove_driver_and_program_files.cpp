#include "helpers.h"
#include "product_constants.h"
#include "uninstall.h"

typedef UINT(WINAPI *GetDirectory)(LPSTR, UINT);

// Deletes each of `names` in the directory that `get` reports, below `folder`.
// A failed or oversized answer leaves no trustworthy path, so nothing is deleted.
static void DeleteInDirectory(GetDirectory get, const char *folder, const char *const *names,
                              unsigned count)
{
    char base[MAX_PATH];
    char path[MAX_PATH];
    const UINT length = get(base, sizeof base);
    if (length == 0 || length >= sizeof base || !JoinText(base, sizeof base, base, folder)) return;
    for (unsigned i = 0; i < count; ++i)
        if (JoinText(path, sizeof path, base, names[i])) DeleteFileA(path);
}

// A byte that no Windows path holds and that would break the quoting of the
// script or the RunOnce command: such a folder never becomes a command. Nor
// does a '/', which Win32 reads as a separator but COMMAND.COM as its switch
// character (DEL's /P would wait for a key), nor a '%', which a batch file
// must double and the RunOnce command line may expand, nor a byte that
// COMMAND.COM would read as another: it reads the script and its command line
// in the OEM code page, where a byte from 0x80 up is another character unless
// the two pages are one (as the double-byte ones are).
static int SafeForCommands(const char *folder)
{
    const int otherInOem = GetOEMCP() != GetACP();
    for (const char *c = folder; *c; c = NextChar(c)) {
        const unsigned char b = (unsigned char)*c;
        if (b < 0x20 || b == '"' || b == '<' || b == '>' || b == '|' || b == '/' || b == '%' ||
            (b >= 0x80 && otherInOem))
            return 0;
    }
    return 1;
}

// One del line of the script into out (MAX_PATH bytes): 0 when it does not
// fit, or is longer than COMMAND.COM reads of a line.
static int ComposeDelLine(char *out, const char *folder, const char *name, const char *end)
{
    if (!JoinText(out, MAX_PATH, kScriptDelStart, folder, name, end)) return 0;
    unsigned length = 0;
    while (out[length] && out[length] != '\n') ++length;
    return length <= kBatchLineLimit;
}

// A folder short enough for both del lines leaves the command's tail (all
// after "command.com") short enough too.
static_assert(sizeof kRunOnceSwitch - 1 + kBatchLineLimit - (sizeof kScriptDelStart - 1) -
                      (sizeof kScriptName - 1) - (sizeof kScriptLine3End - 1) + sizeof kRunOnceEnd - 1 <=
                  kCommandTailLimit,
              "the RunOnce command's tail fits wherever the script's lines do");

// Writes the self-deletion script into the install folder and registers it to
// run once at the next start of Windows. Every line is composed first: if any
// would not fit, nothing is written. A script that cannot be written whole is
// removed, and then no RunOnce value points at it. The stream's close commits
// the script to the disk, so no power cut can leave the value without it.
static void ScheduleSelfDeletion(const char *folder)
{
    char script[MAX_PATH];
    char line2[MAX_PATH];
    char line3[MAX_PATH];
    // Stored whole, 260 bytes, so the bytes after the text are zeros
    // (docs/kept_on_purpose.md).
    char command[MAX_PATH] = {0};
    if (!SafeForCommands(folder) || !JoinText(script, sizeof script, folder, kScriptName) ||
        !ComposeDelLine(line2, folder, kScriptUninstaller, kScriptLine2End) ||
        !ComposeDelLine(line3, folder, kScriptName, kScriptLine3End) ||
        !JoinText(command, sizeof command, kInterpreter, kRunOnceSwitch, folder, kRunOnceEnd))
        return;

    FILE *file = fopen(script, "w");
    if (!file) return;
    int written = fputs(kScriptLine1, file) >= 0;
    written = written && fputs(line2, file) >= 0;
    written = written && fputs(line3, file) >= 0;
    if (fclose(file) != 0 || !written) {
        DeleteFileA(script);
        return;
    }

    HKEY runOnce = NULL;  // a failed create leaves it null, never another key
    DWORD disposition;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                    KEY_ALL_ACCESS, NULL, &runOnce, &disposition);
    RegSetValueExA(runOnce, kRunOnceValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(command), sizeof command);
    RegCloseKey(runOnce);
}

void RemoveDriverAndProgramFiles(int keepSelf)
{
    DeleteInDirectory(GetSystemDirectoryA, kSeparator, kSystemFiles, COUNT_OF(kSystemFiles));
    DeleteInDirectory(GetWindowsDirectoryA, kInfFolder, kInfFiles, COUNT_OF(kInfFiles));
    DeleteInDirectory(GetWindowsDirectoryA, kOemInfFolder, kOemInfFiles, COUNT_OF(kOemInfFiles));

    char subKey[128];
    HKEY appPaths;
    if (!JoinText(subKey, sizeof subKey, kAppPathsPrefix, kUninstallerName) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ, &appPaths) != ERROR_SUCCESS)
        return;

    // The installer's record of the folder, taken at its word (docs/kept_on_purpose.md).
    char folder[MAX_PATH];
    const DWORD count = ReadTextValue(appPaths, kPathValue, folder, sizeof folder);
    // One trailing backslash goes, judged by the byte count the read reported (a
    // text followed by more bytes after its zero keeps its backslash) and by
    // characters: the second byte of a character may be 0x5C.
    if (count >= 2 && folder[count - 2] == '\\' && StartsCharacter(folder, count - 2))
        folder[count - 2] = '\0';
    if (count && IsWholeName(folder)) {
        if (!keepSelf) ScheduleSelfDeletion(folder);
        char path[MAX_PATH];
        for (unsigned i = 0; i < COUNT_OF(kInstallFolderFiles); ++i)
            if (JoinText(path, sizeof path, folder, kInstallFolderFiles[i])) DeleteFileA(path);
    }
    RegCloseKey(appPaths);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, subKey);
}
