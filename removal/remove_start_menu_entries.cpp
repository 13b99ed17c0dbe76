#include "helpers.h"
#include "product_constants.h"
#include "uninstall.h"

// Deletes the shortcuts in the product's folder, the folder if that leaves it
// empty, and the maker's group folder above it if that is empty too.
static void RemoveFolder(const char *folder, unsigned length)
{
    char path[MAX_PATH];
    for (unsigned i = 0; i < COUNT_OF(kShortcuts); ++i)
        if (JoinText(path, sizeof path, folder, kShortcuts[i])) DeleteFileA(path);
    _rmdir(folder);

    // The last backslash after the first character; the parent is what precedes it.
    unsigned cut = length;
    while (cut > 1 && folder[cut - 1] != '\\') --cut;
    if (cut <= 1) return;
    unsigned parentLength = cut - 1;
    if (!EndsWith(folder, parentLength, kMakerFolder)) return;
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
    DWORD count = ReadTextValue(key, kFolderNameValue, folder, sizeof folder);
    // An empty name would aim the deletions at the root of the current drive.
    if (count && folder[0]) RemoveFolder(folder, TextLength(folder));
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kStartMenuKey);
}
