// The platform contract: each case sets up a sandbox, makes one platform call
// (or a short sequence on one handle) the way the program's logic makes it,
// and prints what the call returned, what it wrote into its buffers, and what
// it left behind. Built twice, over the simulator and over Windows; the two
// outputs must agree but for the differences listed in accepted.txt.
//
// Output buffers are poisoned before each call, so a line shows what the call
// wrote. No standard header here: on Windows the program's own FILE stands in
// for the C runtime's.
#include "platform.h"
#include "stage.h"

namespace {

// ---- One line of output ------------------------------------------------------
char line[8192];
unsigned used;
const char *caseId = "";

void Put(const char *s)
{
    while (*s && used + 1 < sizeof line) line[used++] = *s++;
}

void PutNumber(long long v)
{
    char digits[24];
    int n = 0;
    unsigned long long u = v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do digits[n++] = static_cast<char>('0' + u % 10); while (u /= 10);
    if (v < 0) Put("-");
    char out[2] = {0, 0};
    while (n) {
        out[0] = digits[--n];
        Put(out);
    }
}

void PutBytes(const char *bytes, unsigned count)
{
    char quoted[2048];
    QuoteInto(quoted, sizeof quoted, bytes, count);
    Put(quoted);
}

void End()
{
    line[used] = '\0';
    char out[sizeof line + 64];
    unsigned n = 0;
    for (const char *p = caseId; *p; ++p) out[n++] = *p;
    out[n++] = ':';
    out[n++] = ' ';
    for (unsigned i = 0; i <= used; ++i) out[n++] = line[i];
    StageWrite(out);
    used = 0;
}

// ---- The cases -----------------------------------------------------------------
enum Kind {
    kOpen,        // RegOpenKeyExA(HKLM, a, KEY_READ), then reads "which" through the handle
    kQuery,       // RegQueryValueExA on key a, value b, a buffer of n bytes
    kCreate,      // RegCreateKeyExA(HKLM, a, KEY_ALL_ACCESS)
    kSet,         // RegSetValueExA on key a (created), value b, type x, data `data` of n bytes
    kDelete,      // RegDeleteKeyA(HKLM, a)
    kDeleteOpen,  // a handle to a open, RegDeleteKeyA(HKLM, a), a read and a close on the handle
    kCloseTwice,  // a handle to a, closed twice, then read
    kSystemDir,   // GetSystemDirectoryA with a buffer of n bytes
    kWindowsDir,  // GetWindowsDirectoryA with a buffer of n bytes
    kDeleteFile,  // DeleteFileA(a)
    kRemoveDir,   // _rmdir(a)
    kStream,      // fopen(a, "w"), fputs(b), fclose
    kCreateFile,  // CreateFileA(a, CREATE_ALWAYS), WriteFile(b), FlushFileBuffers, CloseHandle twice
    kLeadBytes,   // IsDBCSLeadByte for every byte
    kCodePages,   // GetACP and GetOEMCP
    kQuit,        // PostQuitMessage(n), then GetMessageA
    kWindowClass, // RegisterClassExA of a class named a, twice; LoadCursorA(NULL, IDC_ARROW)
};

// Flags of kQuery, in x.
const unsigned kNullData = 1, kNullName = 2;

struct Case {
    const char *id;
    Kind kind;
    // The sandbox before the call, one item a line: "d PATH" a folder, "f PATH\tTEXT"
    // a file, "r PATH\tTEXT" a read-only one, "o PATH" that file held open, "k KEY" a
    // key (with a value "which" naming it), "v KEY\tNAME\tTYPE\tHEX" a value.
    const char *state;
    const char *a, *b;
    int n;
    unsigned x;
    const char *data;  // hex, for kSet
};

// Names with letters beyond ASCII end in an ASCII letter, so that in a
// double-byte code page no name ends in half a character.
#define F "C:\\ZC\\"
#define K "Software\\ZovovarContract\\"
// A key with values of every kind the logic may meet.
#define VALUES "k " K "Q\n" \
    "v " K "Q\ttext\t1\t61626300\n"   /* "abc" */ \
    "v " K "Q\tnozero\t1\t616263\n"   /* "abc" stored without its zero */ \
    "v " K "Q\tinner\t1\t610062630000\n" \
    "v " K "Q\tempty\t1\t\n" \
    "v " K "Q\tzero\t1\t00\n" \
    "v " K "Q\tdword\t4\t01020304\n" \
    "v " K "Q\tbinary\t3\t0102\n" \
    "v " K "Q\texpand\t2\t2525414100\n" \
    "v " K "Q\tnone\t0\t6100\n" \
    "v " K "Q\t\t1\t64656600"

const Case kCases[] = {
    // Opening a key: what path names which key.
    {"open.plain", kOpen, "k " K "Sub", K "Sub", 0, 0, 0, 0},
    {"open.missing", kOpen, "", K "Sub", 0, 0, 0, 0},
    {"open.leading_backslash", kOpen, "k " K "Sub", "\\" K "Sub", 0, 0, 0, 0},
    {"open.trailing_backslash", kOpen, "k " K "Sub", K "Sub\\", 0, 0, 0, 0},
    {"open.doubled_backslash", kOpen, "k " K "Sub", K "\\Sub", 0, 0, 0, 0},
    {"open.two_leading", kOpen, "k " K "Sub", "\\\\" K "Sub", 0, 0, 0, 0},
    {"open.empty", kOpen, "", "", 0, 0, 0, 0},
    {"open.null", kOpen, "", 0, 0, 0, 0, 0},
    {"open.case_ascii", kOpen, "k " K "Sub", "SOFTWARE\\zovovarCONTRACT\\sUB", 0, 0, 0, 0},
    {"open.case_latin", kOpen, "k " K "\xC9t\xE9s", K "\xE9T\xC9S", 0, 0, 0, 0},
    {"open.case_fullwidth", kOpen, "k " K "\x82\x60", K "\x82\x81", 0, 0, 0, 0},
    {"open.second_byte_5c", kOpen, "k " K "\x95\x5C", K "\x95\x5C", 0, 0, 0, 0},
    {"open.second_byte_5c_child", kOpen, "k " K "\x95\x5C\\x", K "\x95\x5C\\x", 0, 0, 0, 0},
    {"open.second_byte_7c", kOpen, "k " K "\x83\x7C", K "\x83\x7C", 0, 0, 0, 0},
    {"open.slash", kOpen, "k " K "Sub", "Software/ZovovarContract/Sub", 0, 0, 0, 0},

    // Reading a value: sizes, NULLs, types, text with and without its zero.
    {"query.exact", kQuery, VALUES, K "Q", "text", 4, 0, 0},
    {"query.one_short", kQuery, VALUES, K "Q", "text", 3, 0, 0},
    {"query.size_zero", kQuery, VALUES, K "Q", "text", 0, 0, 0},
    {"query.null_data", kQuery, VALUES, K "Q", "text", 260, kNullData, 0},
    {"query.large", kQuery, VALUES, K "Q", "text", 260, 0, 0},
    {"query.name_case", kQuery, VALUES, K "Q", "TEXT", 260, 0, 0},
    {"query.no_zero", kQuery, VALUES, K "Q", "nozero", 260, 0, 0},
    {"query.no_zero_exact", kQuery, VALUES, K "Q", "nozero", 3, 0, 0},
    {"query.inner_zero", kQuery, VALUES, K "Q", "inner", 260, 0, 0},
    {"query.empty", kQuery, VALUES, K "Q", "empty", 260, 0, 0},
    {"query.only_zero", kQuery, VALUES, K "Q", "zero", 260, 0, 0},
    {"query.dword", kQuery, VALUES, K "Q", "dword", 260, 0, 0},
    {"query.dword_short", kQuery, VALUES, K "Q", "dword", 2, 0, 0},
    {"query.binary", kQuery, VALUES, K "Q", "binary", 260, 0, 0},
    {"query.expand", kQuery, VALUES, K "Q", "expand", 260, 0, 0},
    {"query.type_none", kQuery, VALUES, K "Q", "none", 260, 0, 0},
    {"query.missing", kQuery, VALUES, K "Q", "absent", 260, 0, 0},
    {"query.default", kQuery, VALUES, K "Q", "", 260, 0, 0},
    {"query.null_name", kQuery, VALUES, K "Q", 0, 260, kNullName, 0},
    {"query.no_default", kQuery, "k " K "Q", K "Q", "", 260, 0, 0},

    // Creating a key.
    {"create.new", kCreate, "", K "New", 0, 0, 0, 0},
    {"create.existing", kCreate, "k " K "New", K "NEW", 0, 0, 0, 0},
    {"create.deep", kCreate, "", K "A\\B\\C", 0, 0, 0, 0},
    {"create.leading_backslash", kCreate, "", "\\" K "New", 0, 0, 0, 0},
    {"create.trailing_backslash", kCreate, "", K "New\\", 0, 0, 0, 0},
    {"create.doubled_backslash", kCreate, "", K "A\\\\B", 0, 0, 0, 0},
    {"create.second_byte_5c", kCreate, "", K "\x95\x5C", 0, 0, 0, 0},
    {"create.second_byte_5c_mid", kCreate, "", K "\x95\x5C" "x", 0, 0, 0, 0},
    {"create.case_latin", kCreate, "k " K "\xC9s", K "\xE9S", 0, 0, 0, 0},

    // Setting a value: the sizes the logic passes.
    {"set.text", kSet, "", K "S", "v", 4, REG_SZ, "61626300"},
    {"set.padded", kSet, "", K "S", "v", 8, REG_SZ, "6162630000000000"},
    {"set.no_zero", kSet, "", K "S", "v", 3, REG_SZ, "616263"},
    {"set.count_short", kSet, "", K "S", "v", 2, REG_SZ, "61626300"},
    {"set.empty", kSet, "", K "S", "v", 0, REG_SZ, "00"},
    {"set.replace", kSet, "v " K "S\tV\t1\t78797a7a7a00", K "S", "v", 4, REG_SZ, "61626300"},
    {"set.default", kSet, "", K "S", "", 4, REG_SZ, "61626300"},
    {"set.expand_padded", kSet, "", K "S", "v", 8, REG_EXPAND_SZ, "2541250000000000"},
    {"set.binary", kSet, "", K "S", "v", 3, REG_BINARY, "000102"},

    // Deleting a key.
    {"delete.plain", kDelete, "k " K "D", K "D", 0, 0, 0, 0},
    {"delete.with_sub_keys", kDelete, "k " K "D\nk " K "D\\E\nk " K "D\\E\\F", K "D", 0, 0, 0, 0},
    {"delete.missing", kDelete, "", K "D", 0, 0, 0, 0},
    {"delete.leading_backslash", kDelete, "k " K "D", "\\" K "D", 0, 0, 0, 0},
    {"delete.trailing_backslash", kDelete, "k " K "D", K "D\\", 0, 0, 0, 0},
    {"delete.case_ascii", kDelete, "k " K "D", K "d", 0, 0, 0, 0},
    {"delete.case_latin", kDelete, "k " K "\xC9s", K "\xE9S", 0, 0, 0, 0},
    {"delete.second_byte_5c", kDelete, "k " K "\x95\x5C", K "\x95\x5C", 0, 0, 0, 0},
    {"delete.while_open", kDeleteOpen, "k " K "D", K "D", 0, 0, 0, 0},
    {"close.twice", kCloseTwice, "k " K "D", K "D", 0, 0, 0, 0},

    // The system folders, with buffers around their lengths (19 and 10).
    {"systemdir.large", kSystemDir, "", 0, 0, 260, 0, 0},
    {"systemdir.fits", kSystemDir, "", 0, 0, 20, 0, 0},
    {"systemdir.no_room_for_zero", kSystemDir, "", 0, 0, 19, 0, 0},
    {"systemdir.one", kSystemDir, "", 0, 0, 1, 0, 0},
    {"systemdir.zero", kSystemDir, "", 0, 0, 0, 0, 0},
    {"windowsdir.fits", kWindowsDir, "", 0, 0, 11, 0, 0},
    {"windowsdir.no_room_for_zero", kWindowsDir, "", 0, 0, 10, 0, 0},

    // Deleting a file.
    {"deletefile.present", kDeleteFile, "f " F "A.TXT\tab", F "A.TXT", 0, 0, 0, 0},
    {"deletefile.missing", kDeleteFile, "", F "A.TXT", 0, 0, 0, 0},
    {"deletefile.missing_folder", kDeleteFile, "", F "NO\\A.TXT", 0, 0, 0, 0},
    {"deletefile.read_only", kDeleteFile, "r " F "A.TXT\tab", F "A.TXT", 0, 0, 0, 0},
    {"deletefile.open", kDeleteFile, "f " F "A.TXT\tab\no " F "A.TXT", F "A.TXT", 0, 0, 0, 0},
    {"deletefile.folder", kDeleteFile, "d " F "SUB", F "SUB", 0, 0, 0, 0},
    {"deletefile.trailing_dot", kDeleteFile, "f " F "A.TXT\tab", F "A.TXT.", 0, 0, 0, 0},
    {"deletefile.trailing_space", kDeleteFile, "f " F "A.TXT\tab", F "A.TXT ", 0, 0, 0, 0},
    {"deletefile.trailing_dots_spaces", kDeleteFile, "f " F "A.TXT\tab", F "A.TXT. .", 0, 0, 0, 0},
    {"deletefile.trailing_backslash", kDeleteFile, "f " F "A.TXT\tab", F "A.TXT\\", 0, 0, 0, 0},
    {"deletefile.folder_trailing_dot", kDeleteFile, "f " F "SUB\\A.TXT\tab", F "SUB.\\A.TXT", 0, 0, 0, 0},
    {"deletefile.folder_trailing_space", kDeleteFile, "f " F "SUB\\A.TXT\tab", F "SUB \\A.TXT", 0, 0, 0, 0},
    {"deletefile.folder_two_trailing_dots", kDeleteFile, "f " F "SUB\\A.TXT\tab", F "SUB..\\A.TXT", 0, 0, 0, 0},
    {"deletefile.slash", kDeleteFile, "f " F "SUB\\A.TXT\tab", "C:/ZC/SUB/A.TXT", 0, 0, 0, 0},
    {"deletefile.dot_dot", kDeleteFile, "f " F "A.TXT\tab\nd " F "SUB", F "SUB\\..\\A.TXT", 0, 0, 0, 0},
    {"deletefile.dot_dot_missing", kDeleteFile, "f " F "A.TXT\tab", F "NO\\..\\A.TXT", 0, 0, 0, 0},
    {"deletefile.dot", kDeleteFile, "f " F "A.TXT\tab", F ".\\A.TXT", 0, 0, 0, 0},
    {"deletefile.doubled_backslash", kDeleteFile, "f " F "A.TXT\tab", "C:\\ZC\\\\A.TXT", 0, 0, 0, 0},
    {"deletefile.wildcard", kDeleteFile, "f " F "A.TXT\tab", F "*.TXT", 0, 0, 0, 0},
    {"deletefile.question_mark", kDeleteFile, "f " F "A.TXT\tab", F "A.TX?", 0, 0, 0, 0},
    {"deletefile.root", kDeleteFile, "", "C:\\", 0, 0, 0, 0},
    {"deletefile.unc", kDeleteFile, "", "\\\\ZCHOST\\SHARE\\A.TXT", 0, 0, 0, 0},
    {"deletefile.case_ascii", kDeleteFile, "f " F "A.TXT\tab", "c:\\zc\\a.txt", 0, 0, 0, 0},
    {"deletefile.case_latin", kDeleteFile, "f " F "\xC9t\xE9s.TXT\tab", F "\xE9T\xC9S.TXT", 0, 0, 0, 0},
    {"deletefile.case_fullwidth", kDeleteFile, "f " F "\x82\x60.TXT\tab", F "\x82\x81.TXT", 0, 0, 0, 0},
    {"deletefile.second_byte_5c", kDeleteFile, "f " F "\x95\x5C.TXT\tab", F "\x95\x5C.TXT", 0, 0, 0, 0},
    {"deletefile.second_byte_7c", kDeleteFile, "f " F "\x83\x7C.TXT\tab", F "\x83\x7C.TXT", 0, 0, 0, 0},

    // Removing a folder.
    {"rmdir.empty", kRemoveDir, "d " F "SUB", F "SUB", 0, 0, 0, 0},
    {"rmdir.with_file", kRemoveDir, "f " F "SUB\\A.TXT\tab", F "SUB", 0, 0, 0, 0},
    {"rmdir.with_folder", kRemoveDir, "d " F "SUB\\IN", F "SUB", 0, 0, 0, 0},
    {"rmdir.with_read_only_file", kRemoveDir, "r " F "SUB\\A.TXT\tab", F "SUB", 0, 0, 0, 0},
    {"rmdir.missing", kRemoveDir, "", F "SUB", 0, 0, 0, 0},
    {"rmdir.file", kRemoveDir, "f " F "A.TXT\tab", F "A.TXT", 0, 0, 0, 0},
    {"rmdir.trailing_backslash", kRemoveDir, "d " F "SUB", F "SUB\\", 0, 0, 0, 0},
    {"rmdir.trailing_dot", kRemoveDir, "d " F "SUB", F "SUB.", 0, 0, 0, 0},
    {"rmdir.trailing_space", kRemoveDir, "d " F "SUB", F "SUB ", 0, 0, 0, 0},
    {"rmdir.trailing_space_backslash", kRemoveDir, "d " F "SUB", F "SUB \\", 0, 0, 0, 0},
    {"rmdir.slash", kRemoveDir, "d " F "SUB", "C:/ZC/SUB", 0, 0, 0, 0},
    {"rmdir.dot_dot", kRemoveDir, "d " F "SUB\nd " F "T", F "T\\..\\SUB", 0, 0, 0, 0},
    {"rmdir.dot_dot_to_parent", kRemoveDir, "d " F "SUB", F "SUB\\..", 0, 0, 0, 0},
    {"rmdir.wildcard", kRemoveDir, "d " F "SUB", F "S*", 0, 0, 0, 0},
    {"rmdir.root", kRemoveDir, "", "C:\\", 0, 0, 0, 0},
    {"rmdir.case_latin", kRemoveDir, "d " F "\xC9t\xE9s", F "\xE9T\xC9S", 0, 0, 0, 0},
    {"rmdir.case_fullwidth", kRemoveDir, "d " F "\x82\x60", F "\x82\x81", 0, 0, 0, 0},
    {"rmdir.second_byte_5c", kRemoveDir, "d " F "\x95\x5C", F "\x95\x5C", 0, 0, 0, 0},

    // The program's text stream.
    {"stream.new", kStream, "", F "S.BAT", "a\nb\n", 0, 0, 0},
    {"stream.replaces", kStream, "f " F "S.BAT\tlonger text", F "S.BAT", "a\n", 0, 0, 0},
    {"stream.only_line_feeds", kStream, "", F "S.BAT", "a\rb\r\n\n", 0, 0, 0},
    {"stream.read_only", kStream, "r " F "S.BAT\told", F "S.BAT", "a\n", 0, 0, 0},
    {"stream.open", kStream, "f " F "S.BAT\told\no " F "S.BAT", F "S.BAT", "a\n", 0, 0, 0},
    {"stream.folder", kStream, "d " F "S.BAT", F "S.BAT", "a\n", 0, 0, 0},
    {"stream.missing_parent", kStream, "", F "NO\\S.BAT", "a\n", 0, 0, 0},
    {"stream.trailing_dot", kStream, "", F "S.BAT.", "a\n", 0, 0, 0},
    {"stream.slash", kStream, "d " F "SUB", "C:/ZC/SUB/S.BAT", "a\n", 0, 0, 0},
    {"stream.dot_dot", kStream, "d " F "SUB", F "SUB\\..\\S.BAT", "a\n", 0, 0, 0},
    {"stream.second_byte_5c", kStream, "d " F "\x95\x5C", F "\x95\x5C\\S.BAT", "a\n", 0, 0, 0},
    {"createfile.new", kCreateFile, "", F "C.BAT", "ab", 0, 0, 0},
    {"createfile.read_only", kCreateFile, "r " F "C.BAT\told", F "C.BAT", "ab", 0, 0, 0},
    {"createfile.folder", kCreateFile, "d " F "C.BAT", F "C.BAT", "ab", 0, 0, 0},
    {"createfile.missing_parent", kCreateFile, "", F "NO\\C.BAT", "ab", 0, 0, 0},

    {"lead_bytes", kLeadBytes, "", 0, 0, 0, 0, 0},
    {"code_pages", kCodePages, "", 0, 0, 0, 0, 0},

    // The window class and the message loop.
    {"quit.zero", kQuit, "", 0, 0, 0, 0, 0},
    {"quit.code", kQuit, "", 0, 0, 7, 0, 0},
    {"window_class", kWindowClass, "", "ZovovarContract", 0, 0, 0, 0},
};

// ---- Setting up ---------------------------------------------------------------
unsigned Hex(char c) { return static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10); }

unsigned FromHex(const char *hex, char *out)
{
    unsigned n = 0;
    for (; hex[0] && hex[1]; hex += 2) out[n++] = static_cast<char>(Hex(hex[0]) << 4 | Hex(hex[1]));
    return n;
}

int Same(const char *a, const char *b)
{
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

unsigned Length(const char *s)
{
    unsigned n = 0;
    while (s[n]) ++n;
    return n;
}

// Splits the item at s into fields at tabs, up to the end of its line; returns
// the start of the next line.
const unsigned kField = 2048;

const char *Fields(const char *s, char fields[4][kField], int *count)
{
    *count = 0;
    unsigned n = 0;
    for (;; ++s) {
        if (*s == '\t' || *s == '\n' || !*s) {
            fields[(*count)++][n] = '\0';
            n = 0;
            if (*s != '\t') return *s ? s + 1 : s;
        } else if (n + 1 < kField) fields[*count][n++] = *s;
    }
}

// The items of a state, up to its end or a line that begins a machine.
const char *StageItems(const char *state)
{
    while (*state && !(state[0] == 'm' && state[1] == ' ')) {
        char kind = state[0];
        char f[4][kField];
        int count;
        state = Fields(state + 2, f, &count);
        char bytes[kField] = {0};  // text ends in a zero, counted or not
        switch (kind) {
        case 'd': StageFolder(f[0]); break;
        case 'f': StageFile(f[0], f[1], Length(f[1]), 0); break;
        case 'r': StageFile(f[0], f[1], Length(f[1]), 1); break;
        case 'o': StageHold(f[0]); break;
        case 'k':
            StageKey(f[0]);
            StageValue(f[0], "which", REG_SZ, f[0], Length(f[0]) + 1);
            break;
        case 'v':
            StageValue(f[0], f[1], static_cast<unsigned long>(f[2][0] - '0'), bytes, FromHex(f[3], bytes));
            break;
        }
    }
    return state;
}

void Stage(const char *state)
{
    StageReset();
    StageItems(state);
}

// ---- The calls -------------------------------------------------------------------
const BYTE kPoison = 0xCC;

void Poison(char *buffer, unsigned size)
{
    for (unsigned i = 0; i < size; ++i) buffer[i] = static_cast<char>(kPoison);
}

// The bytes a call wrote into buffer: up to `count`, and any change past `offered`.
void PutWritten(const char *buffer, unsigned count, unsigned offered)
{
    Put(" data ");
    PutBytes(buffer, count < offered ? count : offered);
    for (unsigned i = offered; i < offered + 16; ++i)
        if (static_cast<BYTE>(buffer[i]) != kPoison) {
            Put(" WROTE PAST THE BUFFER");
            break;
        }
}

void PutResult(long result)
{
    Put("= ");
    PutNumber(result);
}

// The "which" value read through an open handle: which key it is.
void PutWhich(HKEY key)
{
    char buffer[300];
    Poison(buffer, sizeof buffer);
    DWORD type = 0xDEAD, size = 260;
    LONG r = RegQueryValueExA(key, "which", NULL, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    Put(" which ");
    PutNumber(r);
    if (r != ERROR_SUCCESS) return;
    Put(" ");
    PutBytes(buffer, size);
}

void PutHandle(HKEY key, LONG r)
{
    if (r != ERROR_SUCCESS) Put(key == reinterpret_cast<HKEY>(uintptr_t{0xBAD}) ? " handle untouched" : " handle written");
}

// The case's key a, opened for reading; else says so and ends the line.
bool OpenForCase(const Case &c, HKEY *key)
{
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.a, 0, KEY_READ, key) == ERROR_SUCCESS) return true;
    Put("open failed");
    End();
    return false;
}

void Open(const Case &c)
{
    HKEY key = reinterpret_cast<HKEY>(uintptr_t{0xBAD});
    LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.a, 0, KEY_READ, &key);
    PutResult(r);
    PutHandle(key, r);
    if (r == ERROR_SUCCESS) {
        PutWhich(key);
        Put(" close ");
        PutNumber(RegCloseKey(key));
    }
    End();
}

void Query(const Case &c)
{
    HKEY key;
    if (!OpenForCase(c, &key)) return;
    char buffer[300];
    Poison(buffer, sizeof buffer);
    DWORD type = 0xDEAD, size = static_cast<DWORD>(c.n);
    LONG r = RegQueryValueExA(key, c.x & kNullName ? NULL : c.b, NULL, &type,
                              c.x & kNullData ? NULL : reinterpret_cast<LPBYTE>(buffer), &size);
    PutResult(r);
    Put(" type ");
    PutNumber(type == 0xDEAD ? -1 : static_cast<long long>(type));
    Put(" size ");
    PutNumber(size);
    if (r == ERROR_SUCCESS && !(c.x & kNullData)) PutWritten(buffer, size, static_cast<unsigned>(c.n));
    else if (!(c.x & kNullData)) PutWritten(buffer, 0, static_cast<unsigned>(c.n));
    RegCloseKey(key);
    End();
}

void Create(const Case &c)
{
    HKEY key = reinterpret_cast<HKEY>(uintptr_t{0xBAD});
    DWORD disposition = 0xDEAD;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, c.a, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             NULL, &key, &disposition);
    PutResult(r);
    PutHandle(key, r);
    if (r == ERROR_SUCCESS) {
        Put(" disposition ");
        PutNumber(disposition);
        PutWhich(key);
        Put(" close ");
        PutNumber(RegCloseKey(key));
    }
    End();
}

void Set(const Case &c)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, c.a, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &key, &disposition) != ERROR_SUCCESS) {
        Put("create failed");
        End();
        return;
    }
    char data[300] = {0};
    FromHex(c.data, data);
    PutResult(RegSetValueExA(key, c.b, 0, c.x, reinterpret_cast<const BYTE *>(data), static_cast<DWORD>(c.n)));
    RegCloseKey(key);
    End();
}

void Delete(const Case &c)
{
    PutResult(RegDeleteKeyA(HKEY_LOCAL_MACHINE, c.a));
    End();
}

void DeleteOpen(const Case &c)
{
    HKEY key;
    if (!OpenForCase(c, &key)) return;
    PutResult(RegDeleteKeyA(HKEY_LOCAL_MACHINE, c.a));
    PutWhich(key);
    Put(" close ");
    PutNumber(RegCloseKey(key));
    End();
}

void CloseTwice(const Case &c)
{
    HKEY key;
    if (!OpenForCase(c, &key)) return;
    PutResult(RegCloseKey(key));
    Put(" again ");
    PutNumber(RegCloseKey(key));
    PutWhich(key);
    End();
}

void Directory(const Case &c)
{
    char buffer[300];
    Poison(buffer, sizeof buffer);
    UINT size = static_cast<UINT>(c.n);
    UINT r = c.kind == kSystemDir ? GetSystemDirectoryA(buffer, size) : GetWindowsDirectoryA(buffer, size);
    PutResult(r);
    // What it wrote: the text and its zero when it fitted, else anything at all.
    PutWritten(buffer, r < size ? r + 1 : 0, size);
    End();
}

void RemoveFile(const Case &c)
{
    PutResult(DeleteFileA(c.a));
    End();
}

void RemoveDir(const Case &c)
{
    PutResult(_rmdir(c.a));
    End();
}

void Stream(const Case &c)
{
    FILE *file = fopen(c.a, "w");
    Put(file ? "opened" : "not opened");
    if (file) {
        Put(" puts ");
        PutNumber(fputs(c.b, file));
        Put(" close ");
        PutNumber(fclose(file));
    }
    End();
}

void MakeFile(const Case &c)
{
    HANDLE file = CreateFileA(c.a, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    Put(file == INVALID_HANDLE_VALUE ? "invalid" : "created");
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0xDEAD;
        Put(" write ");
        PutNumber(WriteFile(file, c.b, Length(c.b), &written, NULL));
        Put(" wrote ");
        PutNumber(written);
        Put(" flush ");
        PutNumber(FlushFileBuffers(file));
        Put(" close ");
        PutNumber(CloseHandle(file));
        Put(" again ");
        PutNumber(CloseHandle(file));
    }
    End();
}

void CodePages()
{
    Put("acp ");
    PutNumber(GetACP());
    Put(" oem ");
    PutNumber(GetOEMCP());
    End();
}

void LeadBytes()
{
    Put("lead bytes ");
    for (int row = 0; row < 16; ++row) {
        char digits[17];
        for (int i = 0; i < 16; ++i) digits[i] = IsDBCSLeadByte(static_cast<BYTE>(row * 16 + i)) ? '1' : '0';
        digits[16] = '\0';
        Put(row ? " " : "");
        Put(digits);
    }
    End();
}

void Quit(const Case &c)
{
    PostQuitMessage(c.n);
    MSG msg;
    msg.message = 0xDEAD;
    BOOL r = GetMessageA(&msg, NULL, 0, 0);
    PutResult(r);
    Put(" message ");
    PutNumber(msg.message);
    Put(" wParam ");
    PutNumber(static_cast<long long>(msg.wParam));
    End();
}

LRESULT CALLBACK NoWindow(HWND, UINT, WPARAM, LPARAM) { return 0; }

void WindowClass(const Case &c)
{
    WNDCLASSEXA cls;
    char *bytes = reinterpret_cast<char *>(&cls);
    for (unsigned i = 0; i < sizeof cls; ++i) bytes[i] = 0;
    cls.cbSize = sizeof cls;
    cls.style = CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = NoWindow;
    cls.hCursor = LoadCursorA(NULL, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    cls.lpszClassName = c.a;
    Put(cls.hCursor ? "cursor" : "no cursor");
    Put(" first ");
    Put(RegisterClassExA(&cls) ? "registered" : "refused");
    Put(" again ");
    Put(RegisterClassExA(&cls) ? "registered" : "refused");
    End();
}

void Run(const Case &c)
{
    switch (c.kind) {
    case kOpen: Open(c); break;
    case kQuery: Query(c); break;
    case kCreate: Create(c); break;
    case kSet: Set(c); break;
    case kDelete: Delete(c); break;
    case kDeleteOpen: DeleteOpen(c); break;
    case kCloseTwice: CloseTwice(c); break;
    case kSystemDir: case kWindowsDir: Directory(c); break;
    case kDeleteFile: RemoveFile(c); break;
    case kRemoveDir: RemoveDir(c); break;
    case kStream: Stream(c); break;
    case kCreateFile: MakeFile(c); break;
    case kLeadBytes: LeadBytes(); break;
    case kCodePages: CodePages(); break;
    case kQuit: Quit(c); break;
    case kWindowClass: WindowClass(c); break;
    }
}

}  // namespace

void Say(const char *text)
{
    // Names are raw bytes: escaped as the rest of the line.
    static const char digits[] = "0123456789ABCDEF";
    Put("after ");
    for (const char *c = text; *c; ++c) {
        BYTE b = static_cast<BYTE>(*c);
        char out[5] = {*c, 0, 0, 0, 0};
        if (b < 0x20 || b >= 0x7F) {
            out[0] = '\\';
            out[1] = 'x';
            out[2] = digits[b >> 4];
            out[3] = digits[b & 15];
        }
        Put(out);
    }
    End();
}

// As the simulator's call record writes bytes.
void QuoteInto(char *out, unsigned size, const char *bytes, unsigned count)
{
    static const char digits[] = "0123456789ABCDEF";
    unsigned n = 0;
    out[n++] = '"';
    for (unsigned i = 0; i < count && n + 6 < size; ++i) {
        BYTE c = static_cast<BYTE>(bytes[i]);
        if (c == '\n' || c == '\r' || c == '"') {
            out[n++] = '\\';
            out[n++] = c == '"' ? '"' : c == '\n' ? 'n' : 'r';
        } else if (c < 0x20 || c >= 0x7F) {
            out[n++] = '\\';
            out[n++] = 'x';
            out[n++] = digits[c >> 4];
            out[n++] = digits[c & 15];
        } else out[n++] = static_cast<char>(c);
    }
    out[n++] = '"';
    out[n] = '\0';
}

// Whole runs: the file holds machines, each "m ID" and then its items (as a
// case's state). For each, the product runs on it and what is left is dumped.
char machines[4 << 20];

int RunMachines(const char *path)
{
    if (StageReadFile(path, machines, sizeof machines) < 0) {
        caseId = "error";
        Put("cannot read the machines");
        End();
        return 1;
    }
    const char *at = machines;
    while (at[0] == 'm' && at[1] == ' ') {
        char id[64];
        unsigned n = 0;
        for (at += 2; *at && *at != '\n'; ++at)
            if (n + 1 < sizeof id) id[n++] = *at;
        id[n] = '\0';
        if (*at) ++at;
        caseId = id;
        StageMachineReset();
        at = StageItems(at);
        StageRunProduct();
        StageMachineDump();
    }
    caseId = "end";
    StageMachineReset();
    Put("done");
    End();
    return 0;
}

int main(int argc, char **argv)
{
    StageBegin(argc, argv);
    for (int i = 1; i + 1 < argc; ++i)
        if (Same(argv[i], "--machines")) return RunMachines(argv[i + 1]);
    // One case alone: contract [mode] --case ID.
    const char *only = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (Same(argv[i], "--case")) only = argv[i + 1];
    for (const Case &c : kCases) {
        if (only && !Same(only, c.id)) continue;
        caseId = c.id;
        Stage(c.state);
        Run(c);
        StageRelease();
        StageDump();
    }
    caseId = "end";
    StageReset();
    Put("done");
    End();
    return 0;
}
