// The contract's cases: what each sets up, and the one call (or short
// sequence on one handle) it makes the way the program's logic makes it.
#ifndef ZOVOVAR_CONTRACT_CASES_H
#define ZOVOVAR_CONTRACT_CASES_H

enum Kind {
    kOpen,        // RegOpenKeyExA(HKLM, path, KEY_READ), then reads "which" through the handle
    kQuery,       // RegQueryValueExA on key path, value text, a buffer of size bytes
    kCreate,      // RegCreateKeyExA(HKLM, path, KEY_ALL_ACCESS)
    kSet,         // RegSetValueExA on key path (created), value text, type flags, data of size bytes
    kDelete,      // RegDeleteKeyA(HKLM, path)
    kDeleteOpen,  // a handle to path open, RegDeleteKeyA(HKLM, path), a read and a close on the handle
    kCloseTwice,  // a handle to path, closed twice, then read
    kSystemDir,   // GetSystemDirectoryA with a buffer of size bytes
    kWindowsDir,  // GetWindowsDirectoryA with a buffer of size bytes
    kDeleteFile,  // DeleteFileA(path)
    kRemoveDir,   // _rmdir(path)
    kStream,      // fopen(path, "w"), fputs(text), fclose
    kCreateFile,  // CreateFileA(path, CREATE_ALWAYS), WriteFile(text), FlushFileBuffers, CloseHandle twice
    kLeadBytes,   // IsDBCSLeadByte for every byte
    kCodePages,   // GetACP and GetOEMCP
    kQuit,        // PostQuitMessage(size), then GetMessageA
    kWindowClass, // RegisterClassExA of a class named path, twice; LoadCursorA(NULL, IDC_ARROW)
};

// Flags of kQuery.
const unsigned kNullData = 1, kNullName = 2;

struct Case {
    const char *id;
    Kind kind;
    // The sandbox before the call, one item a line: "d PATH" a folder, "f PATH\tTEXT"
    // a file, "r PATH\tTEXT" a read-only one, "o PATH" that file held open, "k KEY" a
    // key (with a value "which" naming it), "v KEY\tNAME\tTYPE\tHEX" a value.
    const char *state;
    const char *path;  // the key, file or folder the call names (NULL for none)
    const char *text;  // the value's name, or the text written
    int size;          // a buffer's or the data's size, or the quit code
    unsigned flags;    // kQuery's flags, or kSet's type
    const char *data;  // hex, for kSet
};

extern const Case kCases[];
extern const unsigned kCaseCount;

#endif
