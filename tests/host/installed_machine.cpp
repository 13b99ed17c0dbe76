#include "installed_machine.h"

#include <algorithm>

namespace fixture {

const char kInstallFolder[] = "C:\\Program Files\\KOVRA\\Picaro 2400R\\";
const char kStartMenuFolder[] = "C:\\WINDOWS\\Start Menu\\Programs\\KOVRA Camera\\Picaro 2400R";
const char kEsdiId[] = "KOVRA___PICARO_2400R";
const char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\zovovar.exe";
const char kServiceKey[] = "System\\CurrentControlSet\\Services\\KOVRA\\USB\\Storage\\RIRUREVE";
const char kStartMenuKey[] = "Software\\KOVRA\\Picaro 2400R Storage Driver\\Startmenu";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

void InstallNeighboursOnly()
{
    sim::Reset();
    sim::AddFile("C:\\WINDOWS\\SYSTEM\\OTHER.SYS", "other driver");
    sim::AddFile("C:\\WINDOWS\\SYSTEM\\iosubsys\\ESDI_506.PDR", "port driver");
    sim::AddFile("C:\\WINDOWS\\inf\\OTHER\\OTHERCAM.INF", "[Version]");
    sim::AddFile("C:\\WINDOWS\\Start Menu\\Programs\\Accessories\\Notepad.lnk", "lnk");
    sim::AddFile("C:\\WORK\\KOVRA Camera", "a file in the current folder");
    sim::SetText("Software\\KOVRA\\Picaro Viewer", "Version", "3.0");
    sim::SetText("Enum\\ESDI\\OTHER_DISK\\0000", "Class", "DiskDrive");
    sim::SetText("Enum\\USB\\Vid_1D9A&Pid_0001\\0000", "Class", "Image");
    sim::SetText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other Program",
                 "DisplayName", "Other Program");
    sim::SetText(kRunOnceKey, "other", "scandisk.exe");
}

void InstallProduct()
{
    InstallNeighboursOnly();
    const std::string folder = "C:\\Program Files\\KOVRA\\Picaro 2400R";
    sim::AddFile("C:\\WINDOWS\\SYSTEM\\RIRUREVE.SYS", "driver");
    sim::AddFile("C:\\WINDOWS\\SYSTEM\\iosubsys\\RIROZEZA.PDR", "port driver");
    sim::AddFile("C:\\WINDOWS\\inf\\RIRUREVE.INF", "[Version]");
    sim::AddFile("C:\\WINDOWS\\inf\\RIROZEZA.INF", "[Version]");
    sim::AddFile("C:\\WINDOWS\\inf\\OTHER\\KOVRARIRUREVE.INF", "[Version]");
    sim::AddFile("C:\\WINDOWS\\inf\\OTHER\\KOVRARIROZEZA.INF", "[Version]");
    sim::AddFile(folder + "\\zovovar.exe", "MZ");
    sim::AddFile(folder + "\\uninst.isu", "log");
    sim::AddFile(folder + "\\Readme.txt", "read me");
    sim::AddFile(folder + "\\Photos.txt", "the user's own file");
    sim::AddFile(std::string(kStartMenuFolder) + "\\UnInstall.lnk", "lnk");
    sim::AddFile(std::string(kStartMenuFolder) + "\\Readme.lnk", "lnk");

    sim::SetText(kAppPathsKey, "", folder + "\\zovovar.exe");
    sim::SetText(kAppPathsKey, "Path", kInstallFolder);
    sim::SetText("Enum\\USB\\Vid_1D9A&Pid_2C41\\5&2F3A1B&0&1", "Class", "USB");
    sim::SetText("Enum\\USB\\*RIRUREVE\\0000", "Driver", "DiskDrive\\0003");
    sim::SetText(kServiceKey, "ID", kEsdiId);
    sim::SetText(std::string("Enum\\ESDI\\") + kEsdiId + "\\0000", "Class", "DiskDrive");
    sim::SetText(kStartMenuKey, "Folder Name", kStartMenuFolder);
    sim::SetText("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Picaro 2400R Storage Driver",
                 "UninstallString", folder + "\\zovovar.exe");
    sim::SetText("Software\\KOVRA\\Picaro 2400R Storage Driver", "Version", "1.00.000");
    sim::SetText("Software\\KOVRA\\Picaro 2400R Storage Driver1.00.000", "Installed", "1");
}

bool IsProducts(const std::string &line)
{
    static const char *const items[] = {
        "RIRUREVE.SYS", "RIROZEZA.PDR", "RIRUREVE.INF", "RIROZEZA.INF", "KOVRARIRUREVE.INF",
        "KOVRARIROZEZA.INF", "Picaro 2400R\\uninst.isu", "Picaro 2400R\\Readme.txt",
        "App Paths\\zovovar.exe", "Enum\\USB\\Vid_1D9A&Pid_2C41", "Enum\\USB\\*RIRUREVE",
        "Services\\KOVRA\\USB\\Storage\\RIRUREVE", "Enum\\ESDI\\KOVRA___PICARO_2400R",
        "Picaro 2400R\\UnInstall.lnk", "Picaro 2400R\\Readme.lnk",
        "folder C:\\WINDOWS\\Start Menu\\Programs\\KOVRA Camera",
        "Uninstall\\Picaro 2400R Storage Driver", "KOVRA\\Picaro 2400R Storage Driver"};
    for (const char *item : items)
        if (line.find(item) != std::string::npos) return true;
    return false;
}

static std::vector<std::string> Minus(const std::vector<std::string> &a,
                                      const std::vector<std::string> &b)
{
    std::vector<std::string> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

std::vector<std::string> Removed(const std::vector<std::string> &before,
                                 const std::vector<std::string> &after)
{
    return Minus(before, after);
}

std::vector<std::string> Added(const std::vector<std::string> &before,
                               const std::vector<std::string> &after)
{
    return Minus(after, before);
}

}  // namespace fixture
