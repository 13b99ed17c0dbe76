// The device registration, Start-menu and product registration steps.
#include <gtest/gtest.h>

#include "installed_machine.h"
#include "uninstall.h"

namespace {

const char kService[] = "System\\CurrentControlSet\\Services\\KOVRA\\USB\\Storage\\RIRUREVE";
const char kStartMenu[] = "Software\\KOVRA\\Picaro 2400R Storage Driver\\Startmenu";

std::vector<std::string> Deleted(std::initializer_list<std::string> keys)
{
    std::vector<std::string> out;
    for (const std::string &k : keys) out.push_back("RegDeleteKeyA(HKLM, \"" + sim::Escape(k) + "\") = 0");
    return out;
}

struct DeviceCase {
    const char *what;
    bool usbKeys;
    bool service;
    bool hasId;
    std::string id;  // raw bytes of the ID value
    std::vector<std::string> deletes;
    UINT codePage = 1252;
};

TEST(DeviceRegistration, DeletesTheDeviceKeysAndTheEsdiEntryTheServiceNames)
{
    const std::string Z(1, '\0');
    const std::string id127(127, 'i');
    const std::vector<DeviceCase> cases = {
        {"everything", true, true, true, "ABC" + Z,
         Deleted({"Enum\\USB\\Vid_1D9A&Pid_2C41", "Enum\\USB\\*RIRUREVE", "Enum\\ESDI\\ABC", kService})},
        {"only the service key, no ID", false, true, false, "", Deleted({kService})},
        {"nothing", false, false, false, "", {}},
        {"USB keys only", true, false, false, "", Deleted({"Enum\\USB\\Vid_1D9A&Pid_2C41", "Enum\\USB\\*RIRUREVE"})},
        {"ID without a zero", false, true, true, "ABC", Deleted({"Enum\\ESDI\\ABC", kService})},
        {"ID of 127 characters", false, true, true, id127 + Z, Deleted({"Enum\\ESDI\\" + id127, kService})},
        {"ID too long for its buffer", false, true, true, id127 + "i" + Z, Deleted({kService})},
        // These would name the whole ESDI branch: every ESDI device would go.
        {"empty ID", false, true, true, Z, Deleted({kService})},
        {"ID of backslashes", false, true, true, "\\\\" + Z, Deleted({kService})},
        {"932: an ID of one character ending in 0x5C", false, true, true, "\x95\x5C" + Z,
         Deleted({"Enum\\ESDI\\\x95\\", kService}), 932},
        {"932: an ID ending in half a character", false, true, true, "ABC\x95" + Z, Deleted({kService}), 932},
    };
    for (const DeviceCase &c : cases) {
        sim::Reset();
        sim::SetCodePage(c.codePage);
        sim::AddKey("Enum\\ESDI\\OTHER_DISK\\0000");
        sim::AddKey("Enum\\ESDI\\ABC\\0000");
        sim::AddKey("Enum\\ESDI\\" + id127);
        sim::AddKey("Enum\\ESDI\\\x95\x5C\\0000");  // one key in code page 932
        if (c.usbKeys) {
            sim::AddKey("Enum\\USB\\Vid_1D9A&Pid_2C41\\5&2F3A1B&0&1");
            sim::AddKey("Enum\\USB\\*RIRUREVE\\0000");
        }
        if (c.service) sim::AddKey(kService);
        if (c.hasId) sim::SetValue(kService, "ID", REG_SZ, c.id);
        RemoveDeviceRegistration();
        EXPECT_EQ(c.deletes, sim::CallsNamed("RegDeleteKeyA")) << c.what;
        EXPECT_TRUE(sim::KeyExists("Enum\\ESDI\\OTHER_DISK\\0000")) << c.what;
        EXPECT_FALSE(sim::KeyExists(kService)) << c.what;
        EXPECT_FALSE(sim::KeyExists("Enum\\USB\\*RIRUREVE")) << c.what;
        EXPECT_EQ(0, sim::OpenKeyCount()) << c.what;
    }
}

struct StartMenuCase {
    const char *what;
    bool hasValue;
    std::string folder;                 // the Folder Name text
    std::vector<std::string> deletes;   // file paths
    std::vector<std::string> folders;   // folder paths removed, in order
    bool zero = true;                   // whether the value is stored with its zero
    UINT codePage = 1252;
};

TEST(StartMenu, DeletesShortcutsTheFolderAndAnEmptyMakerFolder)
{
    const std::string P = "C:\\WINDOWS\\Start Menu\\Programs";
    const std::string K = P + "\\KOVRA Camera\\Picaro";
    const std::string L = "C:\\" + std::string(243, 'l');  // 246 characters
    const std::string M = "C:\\" + std::string(226, 'm');
    const std::string D = P + "\\KOVRA Camera\\\x95\x5C";  // a folder named with one character
    const std::string H = P + "\\\x83KOVRA Camera\\P";
    const std::vector<StartMenuCase> cases = {
        {"in the maker folder", true, K, {K + "\\UnInstall.lnk", K + "\\Readme.lnk"},
         {K, P + "\\KOVRA Camera"}},
        {"directly in Programs", true, P + "\\Picaro",
         {P + "\\Picaro\\UnInstall.lnk", P + "\\Picaro\\Readme.lnk"}, {P + "\\Picaro"}},
        {"trailing backslash: the parent is the folder itself", true, K + "\\",
         {K + "\\\\UnInstall.lnk", K + "\\\\Readme.lnk"}, {K + "\\"}},
        {"the maker folder with a trailing backslash", true, P + "\\KOVRA Camera\\",
         {P + "\\KOVRA Camera\\\\UnInstall.lnk", P + "\\KOVRA Camera\\\\Readme.lnk"},
         {P + "\\KOVRA Camera\\", P + "\\KOVRA Camera"}},
        {"other letter case does not match", true, P + "\\kovra camera\\Picaro",
         {P + "\\kovra camera\\Picaro\\UnInstall.lnk", P + "\\kovra camera\\Picaro\\Readme.lnk"},
         {P + "\\kovra camera\\Picaro"}},
        // Every character counts, the first and the last.
        {"only the first letter differs", true, P + "\\kOVRA Camera\\P",
         {P + "\\kOVRA Camera\\P\\UnInstall.lnk", P + "\\kOVRA Camera\\P\\Readme.lnk"}, {P + "\\kOVRA Camera\\P"}},
        {"only the last letters differ", true, P + "\\KOVRA CAMERA\\P",
         {P + "\\KOVRA CAMERA\\P\\UnInstall.lnk", P + "\\KOVRA CAMERA\\P\\Readme.lnk"}, {P + "\\KOVRA CAMERA\\P"}},
        {"the ending matches, not the whole name", true, P + "\\My KOVRA Camera\\P",
         {P + "\\My KOVRA Camera\\P\\UnInstall.lnk", P + "\\My KOVRA Camera\\P\\Readme.lnk"},
         {P + "\\My KOVRA Camera\\P", P + "\\My KOVRA Camera"}},
        {"a parent of exactly the maker name", true, "KOVRA Camera\\P",
         {"KOVRA Camera\\P\\UnInstall.lnk", "KOVRA Camera\\P\\Readme.lnk"},
         {"KOVRA Camera\\P", "KOVRA Camera"}},
        {"a parent shorter than the maker name", true, "OVRA Camera\\P",
         {"OVRA Camera\\P\\UnInstall.lnk", "OVRA Camera\\P\\Readme.lnk"}, {"OVRA Camera\\P"}},
        {"a backslash only at the start", true, "\\Picaro",
         {"\\Picaro\\UnInstall.lnk", "\\Picaro\\Readme.lnk"}, {"\\Picaro"}},
        {"empty: nothing at the root of the drive", true, "", {}, {}},
        {"no value", false, "", {}, {}},
        {"too long for the first shortcut", true, L, {L + "\\Readme.lnk"}, {L}},
        // 249 characters: no shortcut fits, and the parent is composed alone.
        {"too long for either shortcut", true, M + "\\KOVRA Camera\\Picaro", {},
         {M + "\\KOVRA Camera\\Picaro", M + "\\KOVRA Camera"}},
        {"stored without a zero", true, K, {K + "\\UnInstall.lnk", K + "\\Readme.lnk"},
         {K, P + "\\KOVRA Camera"}, false},
        {"260 bytes without a zero leave no room for it", true, "C:\\" + std::string(257, 'x'), {}, {},
         false},
        {"backslashes only", true, "\\\\", {}, {}},
        // By characters: the second byte of a character may be 0x5C, or 'K'.
        {"932: the last character ends in 0x5C", true, D, {D + "\\UnInstall.lnk", D + "\\Readme.lnk"},
         {D, P + "\\KOVRA Camera"}, true, 932},
        {"1252: the same bytes", true, D, {D + "\\UnInstall.lnk", D + "\\Readme.lnk"}, {D}},
        {"932: the maker name begins inside a character", true, H,
         {H + "\\UnInstall.lnk", H + "\\Readme.lnk"}, {H}, true, 932},
        {"1252: the same bytes", true, H, {H + "\\UnInstall.lnk", H + "\\Readme.lnk"},
         {H, P + "\\\x83KOVRA Camera"}},
        {"932: half a character at the end", true, P + "\\KOVRA Camera\\\x95", {}, {}, true, 932},
    };
    for (const StartMenuCase &c : cases) {
        sim::Reset();
        sim::SetCodePage(c.codePage);
        sim::AddKey(kStartMenu);
        if (c.hasValue)
            sim::SetValue(kStartMenu, "Folder Name", REG_SZ, c.zero ? c.folder + '\0' : c.folder);
        RemoveStartMenuEntries();
        std::vector<std::string> deletes, folders;
        for (const std::string &d : c.deletes) deletes.push_back("DeleteFileA(\"" + sim::Escape(d) + "\") = 0");
        for (const std::string &f : c.folders) folders.push_back("RemoveDirectoryA(\"" + sim::Escape(f) + "\") = 0");
        EXPECT_EQ(deletes, sim::CallsNamed("DeleteFileA")) << c.what;
        EXPECT_EQ(folders, sim::CallsNamed("RemoveDirectoryA")) << c.what;
        EXPECT_EQ(Deleted({kStartMenu}), sim::CallsNamed("RegDeleteKeyA")) << c.what;
        EXPECT_EQ(0, sim::OpenKeyCount()) << c.what;
    }
}

TEST(StartMenu, FoldersGoOnlyWhenEmptyAndAMissingKeyEndsTheStep)
{
    fixture::InstallProduct();
    sim::AddFile("C:\\WINDOWS\\Start Menu\\Programs\\KOVRA Camera\\Picaro Viewer.lnk");
    RemoveStartMenuEntries();
    EXPECT_FALSE(sim::DirectoryExists(fixture::kStartMenuFolder));
    EXPECT_TRUE(sim::DirectoryExists("C:\\WINDOWS\\Start Menu\\Programs\\KOVRA Camera"));
    EXPECT_TRUE(sim::FileExists("C:\\WORK\\KOVRA Camera"));  // no bare-name delete

    sim::Reset();
    RemoveStartMenuEntries();
    EXPECT_EQ(1u, sim::Calls().size());  // the open, and nothing else
}

TEST(ProductRegistration, DeletesTheUninstallEntryFirstAndTheProductKeyLast)
{
    const std::string uninstall =
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Picaro 2400R Storage Driver";
    const std::string product = "Software\\KOVRA\\Picaro 2400R Storage Driver";
    fixture::InstallProduct();
    RemoveProductRegistration();
    EXPECT_EQ(Deleted({uninstall, product + "1.00.000", product}), sim::CallsNamed("RegDeleteKeyA"));
    EXPECT_TRUE(sim::KeyExists("Software\\KOVRA\\Picaro Viewer"));
    EXPECT_TRUE(sim::KeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other Program"));

    sim::Reset();
    sim::AddKey(product);
    RemoveProductRegistration();
    EXPECT_EQ(Deleted({product}), sim::CallsNamed("RegDeleteKeyA"));
    EXPECT_TRUE(sim::KeyExists("Software\\KOVRA"));
}

}  // namespace
