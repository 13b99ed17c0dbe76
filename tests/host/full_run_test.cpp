// One whole run on a machine with the product installed: every platform call
// in order with its arguments, and the machine afterwards.
#include <gtest/gtest.h>

#include "app.h"
#include "installed_machine.h"

namespace {

// The calls zovovar.exe makes, each an import of its (the platform-fit test
// holds every recorded name against the built exe's import table).
// RegisterClassExA is left out here; the entry tests check its fields.
const std::vector<std::string> kGoldenRun = {
    R"(GetCommandLineA())",
    R"(GetModuleHandleA(NULL) = 0x400000)",
    R"(LoadIconA(0x400000, "MainDlg") = 0x1C0)",
    R"(LoadCursorA(0x0, 0x7F00) = 0xC00)",
    R"(GetSystemDirectoryA(260) = 17 "C:\WINDOWS\SYSTEM")",
    R"(DeleteFileA("C:\WINDOWS\SYSTEM\RIRUREVE.SYS") = 1)",
    R"(DeleteFileA("C:\WINDOWS\SYSTEM\iosubsys\RIROZEZA.PDR") = 1)",
    R"(GetWindowsDirectoryA(260) = 10 "C:\WINDOWS")",
    R"(DeleteFileA("C:\WINDOWS\inf\RIRUREVE.INF") = 1)",
    R"(DeleteFileA("C:\WINDOWS\inf\RIROZEZA.INF") = 1)",
    R"(GetWindowsDirectoryA(260) = 10 "C:\WINDOWS")",
    R"(DeleteFileA("C:\WINDOWS\inf\OTHER\KOVRARIRUREVE.INF") = 1)",
    R"(DeleteFileA("C:\WINDOWS\inf\OTHER\KOVRARIROZEZA.INF") = 1)",
    R"(RegOpenKeyExA(HKLM, "Software\Microsoft\Windows\CurrentVersion\App Paths\zovovar.exe", 0, 0x20019) = 0 -> hkey1)",
    R"(RegQueryValueExA(hkey1, "Path", 260) = 0 [37])",
    R"(CreateFileA("C:\Program Files\KOVRA\Picaro 2400R\delfile.bat", 0x40000000, 3, NULL, 2, 0x80) = 0x100)",
    R"(WriteFile(0x100, "@echo off", 9) = 1 [9])",
    R"(WriteFile(0x100, "\r\n", 2) = 1 [2])",
    R"(WriteFile(0x100, "del \"C:\Program Files\KOVRA\Picaro 2400R\zovovar.exe\">nul", 57) = 1 [57])",
    R"(WriteFile(0x100, "\r\n", 2) = 1 [2])",
    R"(WriteFile(0x100, "del \"C:\Program Files\KOVRA\Picaro 2400R\delfile.bat\">nul", 57) = 1 [57])",
    R"(FlushFileBuffers(0x100) = 1)",
    R"(CloseHandle(0x100) = 1)",
    R"(RegCreateKeyExA(HKLM, "\Software\Microsoft\Windows\CurrentVersion\RunOnce", 0, NULL, 0, 0xF003F, NULL) = 0 -> hkey2)",
    R"(RegSetValueExA(hkey2, "kvudel", 0, REG_SZ, "command.com /c \"C:\Program Files\KOVRA\Picaro 2400R\delfile.bat\"" + 196 zeros, 260) = 0)",
    R"(RegCloseKey(hkey2) = 0)",
    R"(DeleteFileA("C:\Program Files\KOVRA\Picaro 2400R\uninst.isu") = 1)",
    R"(DeleteFileA("C:\Program Files\KOVRA\Picaro 2400R\Readme.txt") = 1)",
    R"(RegCloseKey(hkey1) = 0)",
    R"(RegDeleteKeyA(HKLM, "Software\Microsoft\Windows\CurrentVersion\App Paths\zovovar.exe") = 0)",
    R"(RegOpenKeyExA(HKLM, "Enum\USB\Vid_1D9A&Pid_2C41", 0, 0x20019) = 0 -> hkey3)",
    R"(RegCloseKey(hkey3) = 0)",
    R"(RegDeleteKeyA(HKLM, "Enum\USB\Vid_1D9A&Pid_2C41") = 0)",
    R"(RegOpenKeyExA(HKLM, "Enum\USB\*RIRUREVE", 0, 0x20019) = 0 -> hkey4)",
    R"(RegCloseKey(hkey4) = 0)",
    R"(RegDeleteKeyA(HKLM, "Enum\USB\*RIRUREVE") = 0)",
    R"(RegOpenKeyExA(HKLM, "System\CurrentControlSet\Services\KOVRA\USB\Storage\RIRUREVE", 0, 0x20019) = 0 -> hkey5)",
    R"(RegQueryValueExA(hkey5, "ID", 128) = 0 [21])",
    R"(RegOpenKeyExA(HKLM, "Enum\ESDI\KOVRA___PICARO_2400R", 0, 0x20019) = 0 -> hkey6)",
    R"(RegCloseKey(hkey6) = 0)",
    R"(RegDeleteKeyA(HKLM, "Enum\ESDI\KOVRA___PICARO_2400R") = 0)",
    R"(RegCloseKey(hkey5) = 0)",
    R"(RegDeleteKeyA(HKLM, "System\CurrentControlSet\Services\KOVRA\USB\Storage\RIRUREVE") = 0)",
    R"(RegOpenKeyExA(HKLM, "Software\KOVRA\Picaro 2400R Storage Driver\Startmenu", 0, 0x20019) = 0 -> hkey7)",
    R"(RegQueryValueExA(hkey7, "Folder Name", 260) = 0 [57])",
    R"(DeleteFileA("C:\WINDOWS\Start Menu\Programs\KOVRA Camera\Picaro 2400R\UnInstall.lnk") = 1)",
    R"(DeleteFileA("C:\WINDOWS\Start Menu\Programs\KOVRA Camera\Picaro 2400R\Readme.lnk") = 1)",
    R"(RemoveDirectoryA("C:\WINDOWS\Start Menu\Programs\KOVRA Camera\Picaro 2400R") = 1)",
    R"(RemoveDirectoryA("C:\WINDOWS\Start Menu\Programs\KOVRA Camera") = 1)",
    R"(RegCloseKey(hkey7) = 0)",
    R"(RegDeleteKeyA(HKLM, "Software\KOVRA\Picaro 2400R Storage Driver\Startmenu") = 0)",
    R"(RegOpenKeyExA(HKLM, "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Picaro 2400R Storage Driver", 0, 0x20019) = 0 -> hkey8)",
    R"(RegCloseKey(hkey8) = 0)",
    R"(RegDeleteKeyA(HKLM, "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Picaro 2400R Storage Driver") = 0)",
    R"(RegOpenKeyExA(HKLM, "Software\KOVRA\Picaro 2400R Storage Driver1.00.000", 0, 0x20019) = 0 -> hkey9)",
    R"(RegCloseKey(hkey9) = 0)",
    R"(RegDeleteKeyA(HKLM, "Software\KOVRA\Picaro 2400R Storage Driver1.00.000") = 0)",
    R"(RegOpenKeyExA(HKLM, "Software\KOVRA\Picaro 2400R Storage Driver", 0, 0x20019) = 0 -> hkey10)",
    R"(RegCloseKey(hkey10) = 0)",
    R"(RegDeleteKeyA(HKLM, "Software\KOVRA\Picaro 2400R Storage Driver") = 0)",
    R"(PostQuitMessage(0))",
    R"(GetMessageA(NULL, 0, 0) = 0 0x12 wParam=0)",
    R"(ExitProcess(0))",
};

void RunSilently() { EXPECT_EQ(0, fixture::RunUninstaller("/M")); }

std::vector<std::string> WithoutClassRegistration(const std::vector<sim::Call> &calls)
{
    std::vector<std::string> lines;
    for (const sim::Call &c : calls)
        if (c.name != "RegisterClassExA") lines.push_back(sim::Line(c));
    return lines;
}

TEST(FullRun, MakesExactlyTheseCalls)
{
    fixture::InstallProduct();
    RunSilently();
    EXPECT_EQ(kGoldenRun, WithoutClassRegistration(sim::Calls()));
}

TEST(FullRun, RemovesEveryItemOfTheProductAndNothingElse)
{
    fixture::InstallProduct();
    const fixture::Scope scope = fixture::ScopeNow();
    const std::vector<std::string> before = sim::Dump();
    RunSilently();
    const std::vector<std::string> after = sim::Dump();

    std::vector<std::string> products;
    for (const std::string &line : before)
        if (fixture::IsProducts(line)) products.push_back(line);
    EXPECT_EQ(products, fixture::Removed(before, after));
    EXPECT_EQ(fixture::ProductItemCount(), products.size());  // the fixture really holds the product

    // What it leaves: the whole script, and the RunOnce value that runs it.
    EXPECT_EQ(std::vector<std::string>(), fixture::Violations(before, after, sim::Calls(), scope));
    EXPECT_EQ(fixture::kLeftBehindItems, fixture::Added(before, after).size());
    EXPECT_EQ(0, sim::BadHandleUses());
}

TEST(FullRun, ASecondRunFindsNothingAndWritesNothing)
{
    fixture::InstallNeighboursOnly();
    RunSilently();
    const std::vector<std::string> neverInstalled = sim::CallLines();

    fixture::InstallProduct();
    RunSilently();
    sim::StartProcess();
    RunSilently();
    // The second run makes the calls of a run on a machine that never had the product.
    EXPECT_EQ(neverInstalled, sim::CallLines());
}

}  // namespace
