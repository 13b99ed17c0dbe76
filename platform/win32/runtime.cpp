#include "platform.h"
#include "win32/runtime.h"

TextStream *OpenTextStream(const char *path, const char *mode)
{
    if (mode[0] != 'w' || mode[1] != '\0') return NULL;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    // No successful open gives a null handle, so NULL stays free for failure.
    return file == INVALID_HANDLE_VALUE ? NULL : static_cast<TextStream *>(file);
}

static int WriteWhole(HANDLE file, const char *bytes, DWORD count)
{
    DWORD written = 0;
    return count == 0 || (WriteFile(file, bytes, count, &written, NULL) && written == count);
}

int PutText(const char *text, TextStream *stream)
{
    HANDLE file = static_cast<HANDLE>(stream);
    // Text mode: the bytes up to each "\n", then "\r\n" in its place.
    for (;;) {
        DWORD n = 0;
        while (text[n] && text[n] != '\n') ++n;
        if (!WriteWhole(file, text, n)) return -1;
        if (!text[n]) return 0;
        if (!WriteWhole(file, "\r\n", 2)) return -1;
        text += n + 1;
    }
}

int CloseTextStream(TextStream *stream)
{
    HANDLE file = static_cast<HANDLE>(stream);
    // Windows 9x writes behind, and its registry may reach the disk first.
    const BOOL committed = FlushFileBuffers(file);
    return CloseHandle(file) && committed ? 0 : -1;
}

int RemoveEmptyFolder(const char *path) { return RemoveDirectoryA(path) ? 0 : -1; }
