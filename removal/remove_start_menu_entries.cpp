#include "helpers.h"
#include "product_constants.h"
#include "uninstall.h"

// Deletes the shortcuts in the product's folder, the folder if that leaves it
// empty, and the maker's group folder above it if that is empty too.
static void RemoveFolder(const char *folder)
{
    char path[MAX_PATH];
    for (unsigned i = 0; i < COUNT_OF(kShortcuts); ++i)
        if (JoinText(path, sizeof path, folder, kShortcuts[i])) DeleteFileA(path);
    _rmdir(folder);

    // The last backslash character after the first character; the parent is
    // what precedes it, and its name must end in whole characters: a test of
    // its ending, not of its whole name (docs/kept_on_purpose.md).
    unsigned parentLength = 0;
    for (const char *c = NextChar(folder); *c; c = NextChar(c))
        if (*c == '\\') parentLength = (unsigned)(c - folder);
    const unsigned makerLength = sizeof kMakerFolder - 1;
    if (parentLength == 0 || !EndsWith(folder, parentLength, kMakerFolder) ||
        !StartsCharacter(folder, parentLength - makerLength))
        return;
    for (unsigned i = 0; i < parentLength; ++i) path[i] = folder[i];
    path[parentLength] = '\0';
    _rmdir(path);
}

void RemoveStartMenuEntries()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kStartMenuKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char folder[MAX_PATH];
    const DWORD count = ReadTextValue(key, kFolderNameValue, folder, sizeof folder);
    // An empty name would aim the deletions at the root of the current drive.
    if (count && IsWholeName(folder)) RemoveFolder(folder);
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kStartMenuKey);
}
