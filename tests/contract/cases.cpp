// The cases, each built by what it calls: its id, the sandbox before it, and
// that call's own arguments. Each is a constant, so the table needs no code
// to run before main (the Windows build has no C runtime).
#include "cases.h"

#include "platform.h"

namespace {

constexpr Case Make(const char *id, Kind kind, const char *state, const char *path, const char *text, int size,
                    unsigned flags, const char *data)
{
    return Case{id, kind, state, path, text, size, flags, data};
}

constexpr Case OpenKey(const char *id, const char *state, const char *path)
{
    return Make(id, kOpen, state, path, nullptr, 0, 0, nullptr);
}
constexpr Case QueryValue(const char *id, const char *state, const char *key, const char *name, int bufferSize,
                          unsigned flags = 0)
{
    return Make(id, kQuery, state, key, name, bufferSize, flags, nullptr);
}
constexpr Case CreateKey(const char *id, const char *state, const char *path)
{
    return Make(id, kCreate, state, path, nullptr, 0, 0, nullptr);
}
constexpr Case SetValue(const char *id, const char *state, const char *key, const char *name, int count,
                        unsigned type, const char *hex)
{
    return Make(id, kSet, state, key, name, count, type, hex);
}
constexpr Case DeleteKey(const char *id, const char *state, const char *path)
{
    return Make(id, kDelete, state, path, nullptr, 0, 0, nullptr);
}
constexpr Case DeleteOpenKey(const char *id, const char *state, const char *path)
{
    return Make(id, kDeleteOpen, state, path, nullptr, 0, 0, nullptr);
}
constexpr Case CloseKeyTwice(const char *id, const char *state, const char *path)
{
    return Make(id, kCloseTwice, state, path, nullptr, 0, 0, nullptr);
}
constexpr Case SystemDirectory(const char *id, int bufferSize)
{
    return Make(id, kSystemDir, "", nullptr, nullptr, bufferSize, 0, nullptr);
}
constexpr Case WindowsDirectory(const char *id, int bufferSize)
{
    return Make(id, kWindowsDir, "", nullptr, nullptr, bufferSize, 0, nullptr);
}
constexpr Case DeleteOneFile(const char *id, const char *state, const char *path)
{
    return Make(id, kDeleteFile, state, path, nullptr, 0, 0, nullptr);
}
constexpr Case RemoveFolder(const char *id, const char *state, const char *path)
{
    return Make(id, kRemoveDir, state, path, nullptr, 0, 0, nullptr);
}
constexpr Case WriteStream(const char *id, const char *state, const char *path, const char *text)
{
    return Make(id, kStream, state, path, text, 0, 0, nullptr);
}
constexpr Case CreateAndWrite(const char *id, const char *state, const char *path, const char *text)
{
    return Make(id, kCreateFile, state, path, text, 0, 0, nullptr);
}
constexpr Case LeadBytes(const char *id) { return Make(id, kLeadBytes, "", nullptr, nullptr, 0, 0, nullptr); }
constexpr Case CodePages(const char *id) { return Make(id, kCodePages, "", nullptr, nullptr, 0, 0, nullptr); }
constexpr Case Quit(const char *id, int code) { return Make(id, kQuit, "", nullptr, nullptr, code, 0, nullptr); }
constexpr Case WindowClass(const char *id, const char *name)
{
    return Make(id, kWindowClass, "", name, nullptr, 0, 0, nullptr);
}

}  // namespace

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

extern const Case kCases[] = {
    // Opening a key: what path names which key.
    OpenKey("open.plain", "k " K "Sub", K "Sub"),
    OpenKey("open.missing", "", K "Sub"),
    OpenKey("open.leading_backslash", "k " K "Sub", "\\" K "Sub"),
    OpenKey("open.trailing_backslash", "k " K "Sub", K "Sub\\"),
    OpenKey("open.doubled_backslash", "k " K "Sub", K "\\Sub"),
    OpenKey("open.two_leading", "k " K "Sub", "\\\\" K "Sub"),
    OpenKey("open.empty", "", ""),
    OpenKey("open.null", "", nullptr),
    OpenKey("open.case_ascii", "k " K "Sub", "SOFTWARE\\zovovarCONTRACT\\sUB"),
    OpenKey("open.case_latin", "k " K "\xC9t\xE9s", K "\xE9T\xC9S"),
    OpenKey("open.case_fullwidth", "k " K "\x82\x60", K "\x82\x81"),
    OpenKey("open.second_byte_5c", "k " K "\x95\x5C", K "\x95\x5C"),
    OpenKey("open.second_byte_5c_child", "k " K "\x95\x5C\\x", K "\x95\x5C\\x"),
    OpenKey("open.second_byte_7c", "k " K "\x83\x7C", K "\x83\x7C"),
    OpenKey("open.slash", "k " K "Sub", "Software/ZovovarContract/Sub"),

    // Reading a value: sizes, NULLs, types, text with and without its zero.
    QueryValue("query.exact", VALUES, K "Q", "text", 4),
    QueryValue("query.one_short", VALUES, K "Q", "text", 3),
    QueryValue("query.size_zero", VALUES, K "Q", "text", 0),
    QueryValue("query.null_data", VALUES, K "Q", "text", 260, kNullData),
    QueryValue("query.large", VALUES, K "Q", "text", 260),
    QueryValue("query.name_case", VALUES, K "Q", "TEXT", 260),
    QueryValue("query.no_zero", VALUES, K "Q", "nozero", 260),
    QueryValue("query.no_zero_exact", VALUES, K "Q", "nozero", 3),
    QueryValue("query.inner_zero", VALUES, K "Q", "inner", 260),
    QueryValue("query.empty", VALUES, K "Q", "empty", 260),
    QueryValue("query.only_zero", VALUES, K "Q", "zero", 260),
    QueryValue("query.dword", VALUES, K "Q", "dword", 260),
    QueryValue("query.dword_short", VALUES, K "Q", "dword", 2),
    QueryValue("query.binary", VALUES, K "Q", "binary", 260),
    QueryValue("query.expand", VALUES, K "Q", "expand", 260),
    QueryValue("query.type_none", VALUES, K "Q", "none", 260),
    QueryValue("query.missing", VALUES, K "Q", "absent", 260),
    QueryValue("query.default", VALUES, K "Q", "", 260),
    QueryValue("query.null_name", VALUES, K "Q", nullptr, 260, kNullName),
    QueryValue("query.no_default", "k " K "Q", K "Q", "", 260),

    // Creating a key.
    CreateKey("create.new", "", K "New"),
    CreateKey("create.existing", "k " K "New", K "NEW"),
    CreateKey("create.deep", "", K "A\\B\\C"),
    CreateKey("create.leading_backslash", "", "\\" K "New"),
    CreateKey("create.trailing_backslash", "", K "New\\"),
    CreateKey("create.doubled_backslash", "", K "A\\\\B"),
    CreateKey("create.second_byte_5c", "", K "\x95\x5C"),
    CreateKey("create.second_byte_5c_mid", "", K "\x95\x5C" "x"),
    CreateKey("create.case_latin", "k " K "\xC9s", K "\xE9S"),

    // Setting a value: the sizes the logic passes.
    SetValue("set.text", "", K "S", "v", 4, REG_SZ, "61626300"),
    SetValue("set.padded", "", K "S", "v", 8, REG_SZ, "6162630000000000"),
    SetValue("set.no_zero", "", K "S", "v", 3, REG_SZ, "616263"),
    SetValue("set.count_short", "", K "S", "v", 2, REG_SZ, "61626300"),
    SetValue("set.empty", "", K "S", "v", 0, REG_SZ, "00"),
    SetValue("set.replace", "v " K "S\tV\t1\t78797a7a7a00", K "S", "v", 4, REG_SZ, "61626300"),
    SetValue("set.default", "", K "S", "", 4, REG_SZ, "61626300"),
    SetValue("set.expand_padded", "", K "S", "v", 8, REG_EXPAND_SZ, "2541250000000000"),
    SetValue("set.binary", "", K "S", "v", 3, REG_BINARY, "000102"),

    // Deleting a key.
    DeleteKey("delete.plain", "k " K "D", K "D"),
    DeleteKey("delete.with_sub_keys", "k " K "D\nk " K "D\\E\nk " K "D\\E\\F", K "D"),
    DeleteKey("delete.missing", "", K "D"),
    DeleteKey("delete.leading_backslash", "k " K "D", "\\" K "D"),
    DeleteKey("delete.trailing_backslash", "k " K "D", K "D\\"),
    DeleteKey("delete.case_ascii", "k " K "D", K "d"),
    DeleteKey("delete.case_latin", "k " K "\xC9s", K "\xE9S"),
    DeleteKey("delete.second_byte_5c", "k " K "\x95\x5C", K "\x95\x5C"),
    DeleteOpenKey("delete.while_open", "k " K "D", K "D"),
    CloseKeyTwice("close.twice", "k " K "D", K "D"),

    // The system folders, with buffers around their lengths (19 and 10).
    SystemDirectory("systemdir.large", 260),
    SystemDirectory("systemdir.fits", 20),
    SystemDirectory("systemdir.no_room_for_zero", 19),
    SystemDirectory("systemdir.one", 1),
    SystemDirectory("systemdir.zero", 0),
    WindowsDirectory("windowsdir.fits", 11),
    WindowsDirectory("windowsdir.no_room_for_zero", 10),

    // Deleting a file.
    DeleteOneFile("deletefile.present", "f " F "A.TXT\tab", F "A.TXT"),
    DeleteOneFile("deletefile.missing", "", F "A.TXT"),
    DeleteOneFile("deletefile.missing_folder", "", F "NO\\A.TXT"),
    DeleteOneFile("deletefile.read_only", "r " F "A.TXT\tab", F "A.TXT"),
    DeleteOneFile("deletefile.open", "f " F "A.TXT\tab\no " F "A.TXT", F "A.TXT"),
    DeleteOneFile("deletefile.folder", "d " F "SUB", F "SUB"),
    DeleteOneFile("deletefile.trailing_dot", "f " F "A.TXT\tab", F "A.TXT."),
    DeleteOneFile("deletefile.trailing_space", "f " F "A.TXT\tab", F "A.TXT "),
    DeleteOneFile("deletefile.trailing_dots_spaces", "f " F "A.TXT\tab", F "A.TXT. ."),
    DeleteOneFile("deletefile.trailing_backslash", "f " F "A.TXT\tab", F "A.TXT\\"),
    DeleteOneFile("deletefile.folder_trailing_dot", "f " F "SUB\\A.TXT\tab", F "SUB.\\A.TXT"),
    DeleteOneFile("deletefile.folder_trailing_space", "f " F "SUB\\A.TXT\tab", F "SUB \\A.TXT"),
    DeleteOneFile("deletefile.folder_two_trailing_dots", "f " F "SUB\\A.TXT\tab", F "SUB..\\A.TXT"),
    DeleteOneFile("deletefile.slash", "f " F "SUB\\A.TXT\tab", "C:/ZC/SUB/A.TXT"),
    DeleteOneFile("deletefile.dot_dot", "f " F "A.TXT\tab\nd " F "SUB", F "SUB\\..\\A.TXT"),
    DeleteOneFile("deletefile.dot_dot_missing", "f " F "A.TXT\tab", F "NO\\..\\A.TXT"),
    DeleteOneFile("deletefile.dot", "f " F "A.TXT\tab", F ".\\A.TXT"),
    DeleteOneFile("deletefile.doubled_backslash", "f " F "A.TXT\tab", "C:\\ZC\\\\A.TXT"),
    DeleteOneFile("deletefile.wildcard", "f " F "A.TXT\tab", F "*.TXT"),
    DeleteOneFile("deletefile.question_mark", "f " F "A.TXT\tab", F "A.TX?"),
    DeleteOneFile("deletefile.root", "", "C:\\"),
    DeleteOneFile("deletefile.unc", "", "\\\\ZCHOST\\SHARE\\A.TXT"),
    DeleteOneFile("deletefile.case_ascii", "f " F "A.TXT\tab", "c:\\zc\\a.txt"),
    DeleteOneFile("deletefile.case_latin", "f " F "\xC9t\xE9s.TXT\tab", F "\xE9T\xC9S.TXT"),
    DeleteOneFile("deletefile.case_fullwidth", "f " F "\x82\x60.TXT\tab", F "\x82\x81.TXT"),
    DeleteOneFile("deletefile.second_byte_5c", "f " F "\x95\x5C.TXT\tab", F "\x95\x5C.TXT"),
    DeleteOneFile("deletefile.second_byte_7c", "f " F "\x83\x7C.TXT\tab", F "\x83\x7C.TXT"),

    // Removing a folder.
    RemoveFolder("rmdir.empty", "d " F "SUB", F "SUB"),
    RemoveFolder("rmdir.with_file", "f " F "SUB\\A.TXT\tab", F "SUB"),
    RemoveFolder("rmdir.with_folder", "d " F "SUB\\IN", F "SUB"),
    RemoveFolder("rmdir.with_read_only_file", "r " F "SUB\\A.TXT\tab", F "SUB"),
    RemoveFolder("rmdir.missing", "", F "SUB"),
    RemoveFolder("rmdir.file", "f " F "A.TXT\tab", F "A.TXT"),
    RemoveFolder("rmdir.trailing_backslash", "d " F "SUB", F "SUB\\"),
    RemoveFolder("rmdir.trailing_dot", "d " F "SUB", F "SUB."),
    RemoveFolder("rmdir.trailing_space", "d " F "SUB", F "SUB "),
    RemoveFolder("rmdir.trailing_space_backslash", "d " F "SUB", F "SUB \\"),
    RemoveFolder("rmdir.slash", "d " F "SUB", "C:/ZC/SUB"),
    RemoveFolder("rmdir.dot_dot", "d " F "SUB\nd " F "T", F "T\\..\\SUB"),
    RemoveFolder("rmdir.dot_dot_to_parent", "d " F "SUB", F "SUB\\.."),
    RemoveFolder("rmdir.wildcard", "d " F "SUB", F "S*"),
    RemoveFolder("rmdir.root", "", "C:\\"),
    RemoveFolder("rmdir.case_latin", "d " F "\xC9t\xE9s", F "\xE9T\xC9S"),
    RemoveFolder("rmdir.case_fullwidth", "d " F "\x82\x60", F "\x82\x81"),
    RemoveFolder("rmdir.second_byte_5c", "d " F "\x95\x5C", F "\x95\x5C"),

    // The program's text stream.
    WriteStream("stream.new", "", F "S.BAT", "a\nb\n"),
    WriteStream("stream.replaces", "f " F "S.BAT\tlonger text", F "S.BAT", "a\n"),
    WriteStream("stream.only_line_feeds", "", F "S.BAT", "a\rb\r\n\n"),
    WriteStream("stream.read_only", "r " F "S.BAT\told", F "S.BAT", "a\n"),
    WriteStream("stream.open", "f " F "S.BAT\told\no " F "S.BAT", F "S.BAT", "a\n"),
    WriteStream("stream.folder", "d " F "S.BAT", F "S.BAT", "a\n"),
    WriteStream("stream.missing_parent", "", F "NO\\S.BAT", "a\n"),
    WriteStream("stream.trailing_dot", "", F "S.BAT.", "a\n"),
    WriteStream("stream.slash", "d " F "SUB", "C:/ZC/SUB/S.BAT", "a\n"),
    WriteStream("stream.dot_dot", "d " F "SUB", F "SUB\\..\\S.BAT", "a\n"),
    WriteStream("stream.second_byte_5c", "d " F "\x95\x5C", F "\x95\x5C\\S.BAT", "a\n"),
    CreateAndWrite("createfile.new", "", F "C.BAT", "ab"),
    CreateAndWrite("createfile.read_only", "r " F "C.BAT\told", F "C.BAT", "ab"),
    CreateAndWrite("createfile.folder", "d " F "C.BAT", F "C.BAT", "ab"),
    CreateAndWrite("createfile.missing_parent", "", F "NO\\C.BAT", "ab"),

    LeadBytes("lead_bytes"),
    CodePages("code_pages"),

    // The window class and the message loop.
    Quit("quit.zero", 0),
    Quit("quit.code", 7),
    WindowClass("window_class", "ZovovarContract"),
};

extern const unsigned kCaseCount = sizeof kCases / sizeof kCases[0];
