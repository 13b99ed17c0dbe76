// The pieces of a C runtime the program uses, over KERNEL32 alone, as a
// statically linked runtime brings them: a text stream that writes a new file
// ("w") and folder removal. Windows 95 ships no msvcrt.dll, and a 9x loader
// looks for a DLL in the program's own folder first. The host build runs the
// same code over the simulated KERNEL32 calls.
#ifndef ZOVOVAR_WIN32_RUNTIME_H
#define ZOVOVAR_WIN32_RUNTIME_H

// The stream is the file's handle under another type: nothing to allocate.
// The logic names it FILE, as the C runtime does; the host has a FILE of its
// own, which then stands for the handle (never dereferenced).
#ifdef _WIN32
struct TextStream;
typedef TextStream FILE;
#define EOF (-1)
#else
#include <cstdio>
typedef FILE TextStream;
#endif

// As fopen(path, "w"): creates the file, or empties it if it exists. NULL when
// that fails, and for any other mode.
TextStream *OpenTextStream(const char *path, const char *mode);

// As fputs in text mode: writes text with each "\n" as "\r\n". Returns 0, or
// -1 (EOF) when a write fails or writes fewer bytes than it was given.
int PutText(const char *text, TextStream *stream);

// As fclose, and as _commit before it: the file's data goes to the disk
// (FlushFileBuffers), then the stream is closed whatever happens. Returns 0,
// or -1 (EOF) when the data could not be committed or the file not closed.
int CloseTextStream(TextStream *stream);

// As _rmdir: 0 when the folder was removed (only an empty one is), else -1.
int RemoveEmptyFolder(const char *path);

// The process entry: hands WinMain the command line's tail and ends the
// process with its result.
extern "C" void WinMainCRTStartup();

// The logic calls them by the C runtime's names.
#define fopen OpenTextStream
#define fputs PutText
#define fclose CloseTextStream
#define _rmdir RemoveEmptyFolder

#endif
