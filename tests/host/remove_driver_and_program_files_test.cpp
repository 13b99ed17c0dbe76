// The driver and program files step: driver and setup files, the install
// folder, the self-deletion script and its RunOnce value.
#include <gtest/gtest.h>

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

std::string RunOnceBytes(const std::string &folder) { return fixture::RunOnceCommand(folder) + '\0'; }

// The record of the RunOnce value being set on `key` for folder: the whole
// 260-byte buffer goes to the call, zeros after the text.
std::string RunOnceSet(const std::string &key, const std::string &folder, LONG result)
{
    const std::string command = fixture::RunOnceCommand(folder);
    return "RegSetValueExA(" + key + ", \"" + sim::Escape(kRunOnceValue) + "\", 0, REG_SZ, \"" + sim::Escape(command) +
           "\" + " + std::to_string(260 - command.size()) + " zeros, 260) = " + std::to_string(result);
}

TEST(SelfDeletion, ScriptAndRunOnceValueHaveTheirExactBytes)
{
    RunWithPath(std::string("C:\\Prog\\X\\") + '\0');
    EXPECT_EQ(fixture::ScriptFor("C:\\Prog\\X"), sim::FileBytes(fixture::ScriptPath("C:\\Prog\\X")));
    // NT would store the whole buffer; Windows 9x stores the text up to its zero.
    EXPECT_EQ(std::vector<std::string>{RunOnceSet("hkey2", "C:\\Prog\\X", 0)}, sim::CallsNamed("RegSetValueExA"));
    EXPECT_EQ(RunOnceBytes("C:\\Prog\\X"), sim::ValueBytes(kRunOnceKey, kRunOnceValue));
    EXPECT_EQ(REG_SZ, sim::ValueType(kRunOnceKey, kRunOnceValue));
    // The key path goes to the platform as written, leading backslash and all
    // (docs/kept_on_purpose.md).
    EXPECT_EQ((std::vector<std::string>{"RegCreateKeyExA(HKLM, \"\\" + sim::Escape(kRunOnceKey) +
                                        "\", 0, NULL, 0, 0xF003F, NULL) = 0 -> hkey2"}),
              sim::CallsNamed("RegCreateKeyExA"));
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
// With "C:\", folders of 105 and 106 characters: COMMAND.COM reads 127 bytes of
// a batch line, and del "...\zovovar.exe">nul takes 22 beside the folder.
const std::string k105(105 - 3, 'a');
const std::string P51(51, '%');  // 102 characters, doubled
std::string Repeated(const std::string &s, int n) { return n ? s + Repeated(s, n - 1) : ""; }
const std::string kHyo51 = Repeated("\x95\x5C", 51);  // 102 bytes of 932's double-byte characters
const std::string P128(128, '%');
const std::vector<PathCase> kPaths = {
    {"trailing backslash", "C:\\Prog\\X\\" + Z, "C:\\Prog\\X", true},
    {"no trailing backslash", "C:\\Prog\\X" + Z, "C:\\Prog\\X", true},
    {"two trailing backslashes lose one", "C:\\Prog\\X\\\\" + Z, "C:\\Prog\\X\\", true},
    {"no terminating zero", "C:\\Prog\\X", "C:\\Prog\\X", true},
    {"no zero, trailing backslash", "C:\\Prog\\X\\", "C:\\Prog\\X", true},
    {"bytes after the zero keep the backslash", "C:\\Prog\\X\\" + Z + "junk" + Z, "C:\\Prog\\X\\",
     true},
    {"a percent sign is doubled in the script", "C:\\100%\\X" + Z, "C:\\100%\\X", true},
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
    {"105 characters make lines of 127 bytes", "C:\\" + k105 + Z, "C:\\" + k105, true},
    {"106 characters would make lines of 128", "C:\\" + k105 + "b" + Z, "C:\\" + k105 + "b", false},
    {"109 characters", "C:\\" + k105 + "bcde" + Z, "C:\\" + k105 + "bcde", false},
    {"200 characters", "C:\\" + std::string(197, 'a') + Z, "C:\\" + std::string(197, 'a'), false},
    {"percent signs doubled to 105 characters", "C:\\" + P51 + Z, "C:\\" + P51, true},
    {"percent signs doubled to 106 characters", "C:\\a" + P51 + Z, "C:\\a" + P51, false},
    // Doubled, 128 percent signs fill the 260-byte buffer to its zero; with
    // one character more, before or after them, the last one does not fit.
    {"percent signs doubled to 259 characters", "C:\\" + P128 + Z, "C:\\" + P128, false},
    {"a last percent sign that does not fit", "C:\\a" + P128 + Z, "C:\\a" + P128, false},
    {"a last letter that does not fit", "C:\\" + P128 + "x" + Z, "C:\\" + P128 + "x", false},
    // Nothing but backslashes names the root of the current drive, or no path.
    {"two backslashes", "\\\\" + Z, "", false},
    {"three backslashes", "\\\\\\" + Z, "", false},
    {"REG_DWORD 0x5C", std::string("\\\0\0\0", 4), "", false},
    // Read by characters: a second byte 0x5C or 0x7C is no backslash or pipe.
    {"932: a last character ending in 0x5C", "C:\\Prog\\\x95\x5C" + Z, "C:\\Prog\\\x95\x5C", true, 932},
    {"932: then a backslash", "C:\\Prog\\\x95\x5C\\" + Z, "C:\\Prog\\\x95\x5C", true, 932},
    {"932: a character ending in 0x7C", "C:\\Prog\\\x83\x7C" + Z, "C:\\Prog\\\x83\x7C", true, 932},
    {"932: half a character at the end", "C:\\Prog\\X\x95" + Z, "", false, 932},
    {"932: 105 bytes in double-byte characters", "C:\\" + kHyo51 + Z, "C:\\" + kHyo51, true, 932},
    {"932: 106 bytes in double-byte characters", "C:\\a" + kHyo51 + Z, "C:\\a" + kHyo51, false, 932},
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
    std::vector<std::string> deletes;
    if (!c.folder.empty())
        for (const char *name : {"\\uninst.isu", "\\Readme.txt"})
            deletes.push_back("DeleteFileA(\"" + sim::Escape(c.folder + name) + "\") = 0");
    EXPECT_EQ(deletes, DeletesOnceTheFolderIsRead());
    EXPECT_EQ(c.script, sim::FileExists(bat));
    EXPECT_EQ(c.script, sim::ValueExists(kRunOnceKey, kRunOnceValue));
    if (c.script) {
        EXPECT_EQ(std::vector<std::string>{"CreateFileA(\"" + sim::Escape(bat) + "\", 0x40000000, 3, NULL, 2, 0x80) = 0x100"},
                  sim::CallsNamed("CreateFileA"));
        EXPECT_EQ(fixture::ScriptFor(c.folder), sim::FileBytes(bat));
        EXPECT_EQ(RunOnceBytes(c.folder), sim::ValueBytes(kRunOnceKey, kRunOnceValue));
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
    size_t folderDeletes;  // of the install folder's two files
};

void PrintTo(const LengthCase &c, std::ostream *out) { *out << c.what; }

std::string LengthName(const testing::TestParamInfo<LengthCase> &row) { return fixture::CaseName(row.param.what); }

class ValueTooLong : public testing::TestWithParam<LengthCase> {};

TEST_P(ValueTooLong, IsNotRead)
{
    RunWithPath(std::string(GetParam().length, 'a'));
    EXPECT_EQ(6u, sim::CallsNamed("DeleteFileA").size());
    EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
    EXPECT_FALSE(sim::KeyExists(kAppPathsKey));
}

INSTANTIATE_TEST_SUITE_P(Values, ValueTooLong,
                         testing::ValuesIn(std::vector<LengthCase>{
                             {"260 bytes with no zero", 260, 0}, {"261 bytes", 261, 0}, {"1000 bytes", 1000, 0}}),
                         LengthName);

class LongFolder : public testing::TestWithParam<LengthCase> {};

TEST_P(LongFolder, SkipsOnlyThePathsThatWouldNotFit)
{
    RunWithPath("C:\\" + std::string(GetParam().length - 3, 'a') + Z);
    EXPECT_EQ(6 + GetParam().folderDeletes, sim::CallsNamed("DeleteFileA").size());
    EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
}

// 248 characters and "\uninst.isu" fill 259 bytes; one more does not fit.
INSTANTIATE_TEST_SUITE_P(Folders, LongFolder,
                         testing::ValuesIn(std::vector<LengthCase>{{"248 characters", 248, 2},
                                                                   {"249 characters", 249, 0},
                                                                   {"259 characters", 259, 0}}),
                         LengthName);

TEST(InstallFolder, KeepSelfWritesNoScriptButRemovesTheRest)
{
    fixture::InstallProduct();
    RemoveDriverAndProgramFiles(1);
    EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
    EXPECT_TRUE(sim::CallsNamed("RegCreateKeyExA").empty());
    EXPECT_FALSE(sim::FileExists("C:\\Program Files\\KOVRA\\Picaro 2400R\\uninst.isu"));
    EXPECT_FALSE(sim::FileExists("C:\\Program Files\\KOVRA\\Picaro 2400R\\Readme.txt"));
    EXPECT_TRUE(sim::FileExists("C:\\Program Files\\KOVRA\\Picaro 2400R\\zovovar.exe"));
    EXPECT_TRUE(sim::FileExists("C:\\Program Files\\KOVRA\\Picaro 2400R\\Photos.txt"));
    EXPECT_FALSE(sim::KeyExists(kAppPathsKey));
}

TEST(InstallFolder, MissingKeyOrValue)
{
    sim::Reset();
    RemoveDriverAndProgramFiles(0);
    EXPECT_EQ(6u, sim::CallsNamed("DeleteFileA").size());
    EXPECT_EQ(1u, sim::CallsNamed("RegOpenKeyExA").size());
    EXPECT_TRUE(sim::CallsNamed("RegDeleteKeyA").empty());  // no key, nothing deleted

    sim::Reset();
    sim::SetText(kAppPathsKey, "", "C:\\Prog\\X\\zovovar.exe");
    RemoveDriverAndProgramFiles(0);
    EXPECT_EQ(6u, sim::CallsNamed("DeleteFileA").size());
    EXPECT_TRUE(sim::CallsNamed("CreateFileA").empty());
    EXPECT_FALSE(sim::KeyExists(kAppPathsKey));
}

struct DirectoryCase {
    const char *what;
    std::string system, windows;
    size_t deletes;  // of the six driver and setup files
};

void PrintTo(const DirectoryCase &c, std::ostream *out) { *out << c.what; }

const std::vector<DirectoryCase> kDirectories = {
        {"ordinary", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS", 6},
        // 237 + "\" + "iosubsys\RIROZEZA.PDR" is 259 bytes: everything fits.
        {"longest system folder", "C:\\" + std::string(234, 's'), "C:\\WINDOWS", 6},
        {"system folder one longer", "C:\\" + std::string(235, 's'), "C:\\WINDOWS", 5},
        {"system folder too long to fetch", "C:\\" + std::string(257, 's'), "C:\\WINDOWS", 4},
        // 231 + "\inf\OTHER\" + "KOVRARIRUREVE.INF" is 259 bytes.
        {"longest Windows folder", "C:\\WINDOWS\\SYSTEM", "C:\\" + std::string(228, 'w'), 6},
        {"Windows folder one longer", "C:\\WINDOWS\\SYSTEM", "C:\\" + std::string(229, 'w'), 4},
        {"no folders at all", "", "", 0},
};

class DriverFiles : public testing::TestWithParam<DirectoryCase> {};

TEST_P(DriverFiles, PathsThatWouldNotFitAreSkipped)
{
    const DirectoryCase &c = GetParam();
    sim::Reset();
    sim::SetSystemDirectory(c.system);
    sim::SetWindowsDirectory(c.windows);
    RemoveDriverAndProgramFiles(0);
    EXPECT_EQ(c.deletes, sim::CallsNamed("DeleteFileA").size());
    for (const sim::Call &d : sim::Calls()) {  // every path ends with a whole name
        if (d.name != "DeleteFileA") continue;
        const std::string end = d.target.substr(d.target.size() - 4);
        EXPECT_TRUE(end == ".SYS" || end == ".PDR" || end == ".INF") << sim::Line(d);
    }
}

INSTANTIATE_TEST_SUITE_P(Folders, DriverFiles, testing::ValuesIn(kDirectories),
                         [](const testing::TestParamInfo<DirectoryCase> &row) { return fixture::CaseName(row.param.what); });

struct ScriptFault {
    const char *call;
    int occurrence;  // which call of that name fails
    LONG error;      // ERROR_DISK_FULL: WriteFile writes half its bytes
};

void PrintTo(const ScriptFault &f, std::ostream *out) { *out << f.call << " " << f.occurrence << " " << f.error; }

// The script is five writes: each line's text, and the two line ends.
std::vector<ScriptFault> ScriptFaults()
{
    std::vector<ScriptFault> faults = {{"CreateFileA", 1, ERROR_ACCESS_DENIED},
                                       {"FlushFileBuffers", 1, ERROR_ACCESS_DENIED},
                                       {"CloseHandle", 1, ERROR_ACCESS_DENIED}};
    for (int write = 1; write <= 5; ++write)
        for (LONG error : {ERROR_ACCESS_DENIED, ERROR_DISK_FULL}) faults.push_back({"WriteFile", write, error});
    return faults;
}

class ScriptNotWrittenWhole : public testing::TestWithParam<ScriptFault> {};

TEST_P(ScriptNotWrittenWhole, IsRemovedAndNotScheduled)
{
    const ScriptFault &f = GetParam();
    sim::Reset();
    sim::AddDirectory("C:\\Prog\\X");
    sim::SetText(kAppPathsKey, fixture::kPathValue, "C:\\Prog\\X");
    sim::FailNth(f.call, f.occurrence, f.error);
    RemoveDriverAndProgramFiles(0);
    EXPECT_FALSE(sim::FileExists(fixture::ScriptPath("C:\\Prog\\X")));
    EXPECT_FALSE(sim::KeyExists(kRunOnceKey));
    EXPECT_FALSE(sim::KeyExists(kAppPathsKey));
}

INSTANTIATE_TEST_SUITE_P(Faults, ScriptNotWrittenWhole, testing::ValuesIn(ScriptFaults()),
                         [](const testing::TestParamInfo<ScriptFault> &row) {
                             return std::string(row.param.call) + "_" + std::to_string(row.param.occurrence) +
                                    (row.param.error == ERROR_DISK_FULL ? "_disk_full" : "_access_denied");
                         });

TEST(SelfDeletion, AFolderThatIsGoneGetsNoScriptAndNoValue)
{
    // The folder is gone: nothing can be created there.
    sim::Reset();
    sim::SetText(kAppPathsKey, fixture::kPathValue, "C:\\Gone");
    RemoveDriverAndProgramFiles(0);
    EXPECT_EQ(1u, sim::CallsNamed("CreateFileA").size());
    EXPECT_FALSE(sim::KeyExists(kRunOnceKey));
}

// NT refuses the leading backslash (docs/kept_on_purpose.md); 9x can be made to fail.
class FailedRunOnceKey : public testing::TestWithParam<bool> {};

TEST_P(FailedRunOnceKey, LeavesEveryOtherKeyAlone)
{
    const bool nt = GetParam();
    sim::Reset();
    sim::SetWindowsNT(nt);
    if (!nt) sim::FailEvery("RegCreateKeyExA");
    sim::AddDirectory("C:\\Prog\\X");
    sim::SetText(kAppPathsKey, fixture::kPathValue, "C:\\Prog\\X");
    RemoveDriverAndProgramFiles(0);
    EXPECT_EQ(std::vector<std::string>{RunOnceSet("NULL", "C:\\Prog\\X", ERROR_INVALID_HANDLE)},
              sim::CallsNamed("RegSetValueExA"));
    EXPECT_FALSE(sim::KeyExists(kRunOnceKey));
    EXPECT_TRUE(sim::FileExists(fixture::ScriptPath("C:\\Prog\\X")));  // as written
    EXPECT_FALSE(sim::KeyExists(kAppPathsKey));
}

INSTANTIATE_TEST_SUITE_P(Windows, FailedRunOnceKey, testing::Bool(),
                         [](const testing::TestParamInfo<bool> &row) {
                             return std::string(row.param ? "NT_refusing_the_backslash" : "Windows_9x_failing_the_create");
                         });

}  // namespace
