// The driver and program files step: driver and setup files, the install
// folder, the self-deletion script and its RunOnce value.
#include <gtest/gtest.h>

#include <algorithm>

#include "installed_machine.h"
#include "uninstall.h"

namespace {

using fixture::kAppPathsKey;
using fixture::kRunOnceKey;
using fixture::kRunOnceValue;

// A machine with `folder` on disk whose App Paths key holds `path` as the raw
// bytes of fixture::kPathValue.
void RunWithPath(const std::string &path, const std::string &folder = "C:\\Prog\\X",
                 UINT codePage = 1252)
{
    sim::Reset();
    sim::SetCodePage(codePage);
    sim::AddDirectory(folder);
    sim::SetValue(kAppPathsKey, fixture::kPathValue, REG_SZ, path);
    RemoveDriverAndProgramFiles(0);
}

// The files deleted once the install folder has been read, as recorded.
std::vector<std::string> DeletesOnceTheFolderIsRead()
{
    std::vector<std::string> deletes;
    bool read = false;
    for (const sim::Call &c : sim::Calls()) {
        read = read || c.name == "RegQueryValueExA";
        if (read && c.name == "DeleteFileA") deletes.push_back(sim::Line(c));
    }
    return deletes;
}

// The record of deleting each of paths that fits a path's 259 bytes, none of them there.
std::vector<std::string> Deletes(const std::vector<std::string> &paths)
{
    std::vector<std::string> out;
    for (const std::string &path : paths)
        if (path.size() < MAX_PATH) out.push_back("DeleteFileA(\"" + sim::Escape(path) + "\") = 0");
    return out;
}

// The driver and setup files in the system folders the machine reports (none
// where it reports none).
std::vector<std::string> DriverFilesIn(const std::string &system = sim::SystemDirectory(),
                                     const std::string &windows = sim::WindowsDirectory())
{
    std::map<std::string, std::string> folders;
    if (!system.empty()) folders["%SYSTEM%"] = system;
    if (!windows.empty()) folders["%WINDOWS%"] = windows;
    return fixture::ProductFilesIn(folders);
}

// The longest folder for `root` whose every product file fits a path's 259 bytes.
size_t LongestFolderFor(const char *root)
{
    size_t longest = 0;
    for (const std::string &below : fixture::ProductFilesIn({{root, ""}})) longest = std::max(longest, below.size());
    return MAX_PATH - 1 - longest;
}

// A folder below C:\ of `bytes` bytes: as many of `unit` as fit (each `width`
// bytes), after an 'a' for a byte left over.
std::string Folder(size_t bytes, const std::string &unit = "a", size_t width = 1)
{
    std::string folder = "C:\\" + std::string((bytes - 3) % width, 'a');
    for (size_t n = (bytes - 3) / width; n--;) folder += unit;
    return folder;
}

struct PathCase {
    const char *what;
    std::string bytes;   // the stored fixture::kPathValue value
    std::string folder;  // the install folder it yields, "" for none
    bool script;         // whether the script and the RunOnce value are written
    UINT codePage = 1252;
};

void PrintTo(const PathCase &c, std::ostream *out) { *out << c.what; }

const std::string Z(1, '\0');
// COMMAND.COM's limits on what it reads, less what the script and the command add.
const size_t kLines = fixture::kLongestFolderForLines, kTail = fixture::kLongestFolderForTail;
const std::vector<PathCase> kPaths = {
    {"trailing backslash", "C:\\Prog\\X\\" + Z, "C:\\Prog\\X", true},
    {"no trailing backslash", "C:\\Prog\\X" + Z, "C:\\Prog\\X", true},
    {"two trailing backslashes lose one", "C:\\Prog\\X\\\\" + Z, "C:\\Prog\\X\\", true},
    {"no terminating zero", "C:\\Prog\\X", "C:\\Prog\\X", true},
    {"no zero, trailing backslash", "C:\\Prog\\X\\", "C:\\Prog\\X", true},
    {"bytes after the zero keep the backslash", "C:\\Prog\\X\\" + Z + "junk" + Z, "C:\\Prog\\X\\",
     true},
    // Windows 9x reaches C:\Prog\X\Y through these; the text stays as written.
    {"a folder name with a trailing space", "C:\\Prog\\X \\Y\\" + Z, "C:\\Prog\\X \\Y", true},
    {"a folder name with two trailing dots", "C:\\Prog\\X..\\Y" + Z, "C:\\Prog\\X..\\Y", true},
    {"empty text", Z, "", false},
    {"no bytes at all", "", "", false},
    {"a single backslash", "\\" + Z, "", false},
    {"a double quote", "C:\\Prog\\\"X" + Z, "C:\\Prog\\\"X", false},
    {"a pipe", "C:\\Prog|X" + Z, "C:\\Prog|X", false},
    {"a redirection", "C:\\Prog>X" + Z, "C:\\Prog>X", false},
    {"a line feed", "C:\\Prog\nX" + Z, "C:\\Prog\nX", false},
    // COMMAND.COM's switch character, which Win32 reads as a separator.
    {"slashes for every backslash", "C:/PROGRA~1/KOVRA" + Z, "C:/PROGRA~1/KOVRA", false},
    {"a slash inside", "C:\\Prog/X" + Z, "C:\\Prog/X", false},
    {"a trailing slash", "C:\\Prog\\X/" + Z, "C:\\Prog\\X/", false},
    // A batch file must double it, and COMMAND.COM may expand it on its command line.
    {"a variable's name between percent signs", "C:\\Prog\\A%PATH%B" + Z, "C:\\Prog\\A%PATH%B", false},
    {"a last percent sign", "C:\\100%" + Z, "C:\\100%", false},
    {"a variable for a folder", "C:\\%TEMP%\\Cam" + Z, "C:\\%TEMP%\\Cam", false},
    {"the longest folder whose lines fit", Folder(kLines) + Z, Folder(kLines), true},
    {"one byte more than the lines hold", Folder(kLines + 1) + Z, Folder(kLines + 1), false},
    {"one byte more than the tail holds", Folder(kTail + 1) + Z, Folder(kTail + 1), false},
    {"200 characters", Folder(200) + Z, Folder(200), false},
    // Nothing but backslashes names the root of the current drive, or no path.
    {"two backslashes", "\\\\" + Z, "", false},
    {"three backslashes", "\\\\\\" + Z, "", false},
    {"REG_DWORD 0x5C", std::string("\\\0\0\0", 4), "", false},
    // Read by characters: a second byte 0x5C or 0x7C is no backslash or pipe.
    {"932: a last character ending in 0x5C", "C:\\Prog\\\x95\x5C" + Z, "C:\\Prog\\\x95\x5C", true, 932},
    {"932: then a backslash", "C:\\Prog\\\x95\x5C\\" + Z, "C:\\Prog\\\x95\x5C", true, 932},
    {"932: a character ending in 0x7C", "C:\\Prog\\\x83\x7C" + Z, "C:\\Prog\\\x83\x7C", true, 932},
    {"932: half a character at the end", "C:\\Prog\\X\x95" + Z, "", false, 932},
    {"932: the longest in double-byte characters", Folder(kLines, "\x95\x5C", 2) + Z, Folder(kLines, "\x95\x5C", 2),
     true, 932},
    {"932: one byte more in double-byte characters", Folder(kLines + 1, "\x95\x5C", 2) + Z,
     Folder(kLines + 1, "\x95\x5C", 2), false, 932},
    {"936: a last character ending in 0x5C", "C:\\Prog\\\x81\x5C" + Z, "C:\\Prog\\\x81\x5C", true, 936},
    {"950: a last character ending in 0x5C", "C:\\Prog\\\xA5\x5C" + Z, "C:\\Prog\\\xA5\x5C", true, 950},
    // COMMAND.COM reads the script in the OEM code page, 437 beside 1252: there
    // 0xE9 is no e acute and 0x80 no euro sign, so the lines would name other files.
    {"1252: a byte from 0x80 up", "C:\\Prog\\Caf\xE9" + Z, "C:\\Prog\\Caf\xE9", false},
    {"1252: the byte 0x80", "C:\\Prog\\\x80" + Z, "C:\\Prog\\\x80", false},
    {"1252: the same bytes, one character each", "C:\\Prog\\\x95\x5C" + Z, "C:\\Prog\\\x95", false},
    {"1252: 0x7C is a pipe", "C:\\Prog\\\x83\x7C" + Z, "C:\\Prog\\\x83\x7C", false},
};

class InstallFolder : public testing::TestWithParam<PathCase> {};

TEST_P(InstallFolder, IsReadCutAndUsedSafely)
{
    const PathCase &c = GetParam();
    RunWithPath(c.bytes, c.folder.empty() ? "C:\\Prog\\X" : c.folder, c.codePage);
    const std::string bat = fixture::ScriptPath(c.folder);
    EXPECT_EQ(c.folder.empty() ? std::vector<std::string>() : Deletes(fixture::ProductFilesIn({{"%INSTALL%", c.folder}})),
              DeletesOnceTheFolderIsRead());
    EXPECT_EQ(c.script, sim::FileExists(bat));
    EXPECT_EQ(c.script, sim::ValueExists(kRunOnceKey, kRunOnceValue));
    if (c.script) {
        EXPECT_EQ(std::vector<std::string>{"CreateFileA(\"" + sim::Escape(bat) + "\", 0x40000000, 3, NULL, 2, 0x80) = 0x100"},
                  sim::CallsNamed("CreateFileA"));
        EXPECT_EQ(fixture::ScriptFor(c.folder), sim::FileBytes(bat));
        EXPECT_EQ(fixture::RunOnceCommand(c.folder) + '\0', sim::ValueBytes(kRunOnceKey, kRunOnceValue));
    } else {
        EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
        EXPECT_TRUE(sim::CallsNamed("RegCreateKeyExA").empty());
    }
    EXPECT_FALSE(sim::KeyExists(kAppPathsKey));
    EXPECT_EQ(0, sim::OpenKeyCount());
}

INSTANTIATE_TEST_SUITE_P(Paths, InstallFolder, testing::ValuesIn(kPaths),
                         [](const testing::TestParamInfo<PathCase> &row) { return fixture::CaseName(row.param.what); });

struct LengthCase {
    const char *what;
    size_t length;
};

void PrintTo(const LengthCase &c, std::ostream *out) { *out << c.what; }

std::string LengthName(const testing::TestParamInfo<LengthCase> &row) { return fixture::CaseName(row.param.what); }

class ValueTooLong : public testing::TestWithParam<LengthCase> {};

TEST_P(ValueTooLong, IsNotRead)
{
    RunWithPath(std::string(GetParam().length, 'a'));
    EXPECT_EQ(Deletes(DriverFilesIn()), sim::CallsNamed("DeleteFileA"));
    EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
    EXPECT_FALSE(sim::KeyExists(kAppPathsKey));
}

INSTANTIATE_TEST_SUITE_P(Values, ValueTooLong,
                         testing::ValuesIn(std::vector<LengthCase>{
                             {"260 bytes with no zero", MAX_PATH}, {"261 bytes", MAX_PATH + 1}, {"1000 bytes", 1000}}),
                         LengthName);

class LongFolder : public testing::TestWithParam<LengthCase> {};

TEST_P(LongFolder, SkipsOnlyThePathsThatWouldNotFit)
{
    const std::string folder = Folder(GetParam().length);
    RunWithPath(folder + Z);
    std::vector<std::string> files = DriverFilesIn();
    for (const std::string &file : fixture::ProductFilesIn({{"%INSTALL%", folder}})) files.push_back(file);
    EXPECT_EQ(Deletes(files), sim::CallsNamed("DeleteFileA"));
    EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
}

INSTANTIATE_TEST_SUITE_P(Folders, LongFolder,
                         testing::ValuesIn(std::vector<LengthCase>{{"the longest its files fit", LongestFolderFor("%INSTALL%")},
                                                                   {"one longer", LongestFolderFor("%INSTALL%") + 1},
                                                                   {"259 characters", MAX_PATH - 1}}),
                         LengthName);

TEST(InstallFolder, KeepSelfWritesNoScriptButRemovesTheRest)
{
    // Exactly what a run that schedules its self-deletion removes, and nothing added.
    std::vector<std::vector<std::string>> removed, added;
    for (int keepSelf : {0, 1}) {
        fixture::InstallProduct();
        const std::vector<std::string> before = sim::Dump();
        RemoveDriverAndProgramFiles(keepSelf);
        removed.push_back(fixture::Removed(before, sim::Dump()));
        added.push_back(fixture::Added(before, sim::Dump()));
    }
    EXPECT_EQ(removed[0], removed[1]);
    EXPECT_EQ(std::vector<std::string>(), added[1]);
    EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
    EXPECT_TRUE(sim::CallsNamed("RegCreateKeyExA").empty());
}

TEST(InstallFolder, MissingKeyOrValue)
{
    sim::Reset();
    RemoveDriverAndProgramFiles(0);
    EXPECT_EQ(Deletes(DriverFilesIn()), sim::CallsNamed("DeleteFileA"));
    EXPECT_EQ(std::vector<std::string>{"RegOpenKeyExA(HKLM, \"" + sim::Escape(kAppPathsKey) + "\", 0, 0x20019) = 2"},
              sim::CallsNamed("RegOpenKeyExA"));
    EXPECT_TRUE(sim::CallsNamed("RegDeleteKeyA").empty());  // no key, nothing deleted

    sim::Reset();
    sim::SetText(kAppPathsKey, "", "C:\\Prog\\X\\zovovar.exe");
    RemoveDriverAndProgramFiles(0);
    EXPECT_EQ(Deletes(DriverFilesIn()), sim::CallsNamed("DeleteFileA"));
    EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
    EXPECT_FALSE(sim::KeyExists(kAppPathsKey));
}

struct DirectoryCase {
    const char *what;
    std::string system, windows;
};

void PrintTo(const DirectoryCase &c, std::ostream *out) { *out << c.what; }

const std::vector<DirectoryCase> kDirectories = {
        {"ordinary", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS"},
        {"longest system folder", Folder(LongestFolderFor("%SYSTEM%"), "s"), "C:\\WINDOWS"},
        {"system folder one longer", Folder(LongestFolderFor("%SYSTEM%") + 1, "s"), "C:\\WINDOWS"},
        {"system folder too long to fetch", Folder(MAX_PATH, "s"), "C:\\WINDOWS"},
        {"longest Windows folder", "C:\\WINDOWS\\SYSTEM", Folder(LongestFolderFor("%WINDOWS%"), "w")},
        {"Windows folder one longer", "C:\\WINDOWS\\SYSTEM", Folder(LongestFolderFor("%WINDOWS%") + 1, "w")},
        {"no folders at all", "", ""},
};

class DriverFiles : public testing::TestWithParam<DirectoryCase> {};

TEST_P(DriverFiles, PathsThatWouldNotFitAreSkipped)
{
    const DirectoryCase &c = GetParam();
    sim::Reset();
    sim::SetSystemDirectory(c.system);
    sim::SetWindowsDirectory(c.windows);
    RemoveDriverAndProgramFiles(0);
    EXPECT_EQ(Deletes(DriverFilesIn(c.system, c.windows)), sim::CallsNamed("DeleteFileA"));
}

INSTANTIATE_TEST_SUITE_P(Folders, DriverFiles, testing::ValuesIn(kDirectories),
                         [](const testing::TestParamInfo<DirectoryCase> &row) { return fixture::CaseName(row.param.what); });

}  // namespace
