// The two pieces of a C runtime the program uses, over KERNEL32 alone, as a
// statically linked runtime brings them: a text stream that writes a new file
// ("w") and folder removal. Windows 95 ships no msvcrt.dll, and a 9x loader
// looks for a DLL in the program's own folder first.
#ifndef ZOVOVAR_WIN32_RUNTIME_H
#define ZOVOVAR_WIN32_RUNTIME_H

// The stream is the file's handle under another type: nothing to allocate.
struct TextStream;

// As fopen(path, "w"): creates the file, or empties it if it exists. NULL when
// that fails, and for any other mode.
TextStream *OpenTextStream(const char *path, const char *mode);

// As fputs in text mode: writes text with each "\n" as "\r\n". Returns 0, or
// -1 (EOF) when a write fails or writes fewer bytes than it was given.
int PutText(const char *text, TextStream *stream);

// As fclose: closes the stream whatever happens. Returns 0, or -1 (EOF) when
// the file could not be closed.
int CloseTextStream(TextStream *stream);

// As _rmdir: 0 when the folder was removed (only an empty one is), else -1.
int RemoveEmptyFolder(const char *path);

#endif
