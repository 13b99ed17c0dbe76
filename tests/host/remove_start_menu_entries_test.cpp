// The Start-menu step: the two shortcuts, the product's folder, the maker's
// group folder above it when that is empty, and the Startmenu key.
#include <gtest/gtest.h>

#include "installed_machine.h"
#include "uninstall.h"

namespace {

struct StartMenuCase {
    const char *what;
    bool hasValue;
    std::string folder;                 // the Folder Name text
    std::vector<std::string> deletes;   // file paths
    std::vector<std::string> folders;   // folder paths removed, in order
    bool zero = true;                   // whether the value is stored with its zero
    UINT codePage = 1252;
};

void PrintTo(const StartMenuCase &c, std::ostream *out) { *out << c.what; }

const std::string P = "C:\\WINDOWS\\Start Menu\\Programs";
const std::string K = P + "\\KOVRA Camera\\Picaro";
// A folder below C:\ one character too long for a name's path to fit 259.
std::string TooLongFor(const std::string &name, char c, const std::string &below = "")
{
    return "C:\\" + std::string(MAX_PATH - name.size() - below.size() - 3, c) + below;
}
const std::string D = P + "\\KOVRA Camera\\\x95\x5C";  // a folder named with one character
const std::string H = P + "\\\x83KOVRA Camera\\P";
// Made when the cases are, after the description is read.
std::vector<StartMenuCase> Folders()
{
    // The shortcuts' names after their backslash, as described, and both in a folder.
    const std::vector<std::string> names = fixture::ProductFilesIn({{"%START MENU%", ""}});
    auto both = [&](const std::string &folder) { return std::vector<std::string>{folder + names[0], folder + names[1]}; };
    const std::string L = TooLongFor(names[0], 'l');
    const std::string M = TooLongFor(names[1], 'm', "\\KOVRA Camera\\Picaro");  // and for the longer one
    const std::string S = P + "\\KOVRA Camera\\";
    return {
        {"in the maker folder", true, K, both(K), {K, P + "\\KOVRA Camera"}},
        {"directly in Programs", true, P + "\\Picaro", both(P + "\\Picaro"), {P + "\\Picaro"}},
        {"trailing backslash: the parent is the folder itself", true, K + "\\", both(K + "\\"), {K + "\\"}},
        {"the maker folder with a trailing backslash", true, S, both(S), {S, P + "\\KOVRA Camera"}},
        // The maker's folder is matched by its ending (docs/kept_on_purpose.md).
        {"other letter case does not match", true, P + "\\kovra camera\\Picaro", both(P + "\\kovra camera\\Picaro"),
         {P + "\\kovra camera\\Picaro"}},
        // Every character counts, the first and the last.
        {"only the first letter differs", true, P + "\\kOVRA Camera\\P", both(P + "\\kOVRA Camera\\P"),
         {P + "\\kOVRA Camera\\P"}},
        {"only the last letters differ", true, P + "\\KOVRA CAMERA\\P", both(P + "\\KOVRA CAMERA\\P"),
         {P + "\\KOVRA CAMERA\\P"}},
        {"the ending matches, not the whole name", true, P + "\\My KOVRA Camera\\P", both(P + "\\My KOVRA Camera\\P"),
         {P + "\\My KOVRA Camera\\P", P + "\\My KOVRA Camera"}},
        {"a parent of exactly the maker name", true, "KOVRA Camera\\P", both("KOVRA Camera\\P"),
         {"KOVRA Camera\\P", "KOVRA Camera"}},
        {"a parent shorter than the maker name", true, "OVRA Camera\\P", both("OVRA Camera\\P"), {"OVRA Camera\\P"}},
        {"a backslash only at the start", true, "\\Picaro", both("\\Picaro"), {"\\Picaro"}},
        {"empty: nothing at the root of the drive", true, "", {}, {}},
        {"no value", false, "", {}, {}},
        {"too long for the first shortcut", true, L, {L + names[1]}, {L}},
        // No shortcut fits, and the parent is composed alone.
        {"too long for either shortcut", true, M, {}, {M, M.substr(0, M.rfind('\\'))}},
        {"stored without a zero", true, K, both(K), {K, P + "\\KOVRA Camera"}, false},
        {"260 bytes without a zero leave no room for it", true, "C:\\" + std::string(257, 'x'), {}, {}, false},
        {"backslashes only", true, "\\\\", {}, {}},
        // By characters: the second byte of a character may be 0x5C, or 'K'.
        {"932: the last character ends in 0x5C", true, D, both(D), {D, P + "\\KOVRA Camera"}, true, 932},
        {"1252: the bytes of a last character ending in 0x5C", true, D, both(D), {D}},
        {"932: the maker name begins inside a character", true, H, both(H), {H}, true, 932},
        {"1252: the bytes of a maker name inside a character", true, H, both(H), {H, P + "\\\x83KOVRA Camera"}},
        {"932: half a character at the end", true, P + "\\KOVRA Camera\\\x95", {}, {}, true, 932},
    };
}

class StartMenu : public testing::TestWithParam<StartMenuCase> {};

TEST_P(StartMenu, DeletesShortcutsTheFolderAndAnEmptyMakerFolder)
{
    const StartMenuCase &c = GetParam();
    sim::Reset();
    sim::SetCodePage(c.codePage);
    sim::AddKey(fixture::kStartMenuKey);
    if (c.hasValue) sim::SetValue(fixture::kStartMenuKey, fixture::kFolderNameValue, REG_SZ, c.zero ? c.folder + '\0' : c.folder);
    RemoveStartMenuEntries();
    std::vector<std::string> deletes, folders;
    for (const std::string &d : c.deletes) deletes.push_back("DeleteFileA(\"" + sim::Escape(d) + "\") = 0");
    for (const std::string &f : c.folders) folders.push_back("RemoveDirectoryA(\"" + sim::Escape(f) + "\") = 0");
    EXPECT_EQ(deletes, sim::CallsNamed("DeleteFileA"));
    EXPECT_EQ(folders, sim::CallsNamed("RemoveDirectoryA"));
    EXPECT_EQ(fixture::KeyDeletes({fixture::kStartMenuKey}), sim::CallsNamed("RegDeleteKeyA"));
    EXPECT_EQ(0, sim::OpenKeyCount());
}

INSTANTIATE_TEST_SUITE_P(Folders, StartMenu, testing::ValuesIn(Folders()),
                         [](const testing::TestParamInfo<StartMenuCase> &row) { return fixture::CaseName(row.param.what); });

TEST(StartMenu, FoldersGoOnlyWhenEmptyAndAMissingKeyEndsTheStep)
{
    fixture::InstallProduct();
    sim::AddFile("C:\\WINDOWS\\Start Menu\\Programs\\KOVRA Camera\\Picaro Viewer.lnk");
    RemoveStartMenuEntries();
    EXPECT_FALSE(sim::DirectoryExists(fixture::StartMenuFolder()));
    EXPECT_TRUE(sim::DirectoryExists("C:\\WINDOWS\\Start Menu\\Programs\\KOVRA Camera"));

    sim::Reset();
    RemoveStartMenuEntries();
    EXPECT_EQ(1u, sim::Calls().size());  // the open, and nothing else
}

}  // namespace
