#include "installed_machine.h"

#include <algorithm>
#include <cctype>
#include <map>

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

int RunUninstaller(const char *switches)
{
    sim::SetCommandLine(std::string("\"C:\\Program Files\\KOVRA\\Picaro 2400R\\zovovar.exe\" ") + switches);
    try {
        WinMainCRTStartup();
    } catch (const sim::ProcessExit &exit) {
        return static_cast<int>(exit.code);
    }
    return -1;  // the entry returned without ending the process
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

std::string ScriptFor(const std::string &folder)
{
    std::string f;
    for (char c : folder) f += c == '%' ? std::string("%%") : std::string(1, c);
    return "@echo off\r\ndel \"" + f + "\\zovovar.exe\">nul\r\ndel \"" + f + "\\delfile.bat\">nul";
}

static std::string Lower(std::string s)
{
    for (char &c : s) c = (char)std::tolower((unsigned char)c);
    return s;
}

static bool StartsWith(const std::string &s, const std::string &prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

static std::string Text(const std::string &key, const char *name)
{
    return sim::ValueExists(key, name) ? sim::ValueBytes(key, name).c_str() : "";
}

Scope ScopeNow()
{
    return Scope{Text(kAppPathsKey, "Path"), Text(kStartMenuKey, "Folder Name"),
                 Text(kServiceKey, "ID"), sim::SystemDirectory(), sim::WindowsDirectory()};
}

// Whether a character begins at byte i of text, in the machine's code page.
static bool StartsChar(const std::string &text, size_t i)
{
    size_t at = 0;
    while (at < i) at += IsDBCSLeadByte((BYTE)text[at]) && at + 1 < text.size() ? 2 : 1;
    return at == i;
}

// The offset of the last backslash character after the first character, or 0.
static size_t LastBackslash(const std::string &text)
{
    for (size_t i = text.size(); i-- > 1;)
        if (text[i] == '\\' && StartsChar(text, i)) return i;
    return 0;
}

// A folder a run may act in: not empty, not backslashes only, and not ending
// in half a character.
static bool Acceptable(const std::string &folder)
{
    return folder.find_first_not_of('\\') != std::string::npos &&
           !(IsDBCSLeadByte((BYTE)folder.back()) && StartsChar(folder, folder.size() - 1));
}

// Every file path a run may act on, by call name.
static std::set<std::string> AllowedPaths(const Scope &scope, const std::string &call)
{
    std::vector<std::string> paths;
    auto add = [&](const std::string &folder, std::initializer_list<const char *> names) {
        if (Acceptable(folder))
            for (const char *n : names) paths.push_back(folder + n);
    };
    std::string cut = scope.path;
    if (!cut.empty() && LastBackslash(cut) == cut.size() - 1) cut.pop_back();
    for (const std::string &install : {scope.path, cut}) {
        if (call == "CreateFileA") add(install, {"\\delfile.bat"});
        if (call == "DeleteFileA") add(install, {"\\uninst.isu", "\\Readme.txt", "\\delfile.bat"});
    }
    if (call == "DeleteFileA") {
        add(scope.folderName, {"\\UnInstall.lnk", "\\Readme.lnk"});
        paths.push_back(scope.systemDir + "\\RIRUREVE.SYS");
        paths.push_back(scope.systemDir + "\\iosubsys\\RIROZEZA.PDR");
        for (const char *inf : {"\\inf\\RIRUREVE.INF", "\\inf\\RIROZEZA.INF", "\\inf\\OTHER\\KOVRARIRUREVE.INF",
                                "\\inf\\OTHER\\KOVRARIROZEZA.INF"})
            paths.push_back(scope.windowsDir + inf);
    }
    if (call == "RemoveDirectoryA" && Acceptable(scope.folderName)) {
        paths.push_back(scope.folderName);
        if (size_t parent = LastBackslash(scope.folderName)) paths.push_back(scope.folderName.substr(0, parent));
    }
    return std::set<std::string>(paths.begin(), paths.end());
}

// The path a recorded call acted on: its first text argument. The end is found
// from the right, past the arguments that follow it, since a path may hold
// quotes and commas of its own.
static std::string FirstArgument(const std::string &call)
{
    size_t open = call.find('"');
    bool last = StartsWith(call, "DeleteFileA(") || StartsWith(call, "RemoveDirectoryA(") ||
                StartsWith(call, "RegDeleteKeyA(");
    size_t close = last ? call.rfind("\") = ") : call.rfind("\", ");
    return open == std::string::npos || close == std::string::npos || close <= open
               ? ""
               : call.substr(open + 1, close - open - 1);
}

std::vector<std::string> Violations(const std::vector<std::string> &before,
                                    const std::vector<std::string> &after,
                                    const std::vector<std::string> &calls, const Scope &scope)
{
    std::vector<std::string> bad;
    const std::string esdi = Lower("Enum\\ESDI\\" + scope.esdiId);
    for (const std::string &line : Removed(before, after)) {
        std::string l = Lower(line);
        bool namedEsdi = !scope.esdiId.empty() && (StartsWith(l, "key " + esdi) || StartsWith(l, "value " + esdi));
        if (!IsProducts(line) && !namedEsdi) bad.push_back("removed: " + line);
    }
    const std::set<std::string> scripts = AllowedPaths(scope, "CreateFileA");
    for (const std::string &line : Added(before, after)) {
        bool script = false;
        // Where Windows puts the script: its path read as Windows reads it.
        for (const std::string &s : scripts)
            script = script || (!sim::FileName(s).empty() && StartsWith(line, "file " + sim::FileName(s) + " ["));
        bool runOnce = StartsWith(Lower(line), "value software\\microsoft\\windows\\currentversion\\runonce : kvudel = ");
        if (!script && !runOnce) bad.push_back("added: " + line);
    }

    if (sim::ValueExists(kRunOnceKey, "kvudel")) {
        std::string text = sim::ValueBytes(kRunOnceKey, "kvudel").c_str();
        const std::string start = "command.com /c \"", end = "\\delfile.bat\"";
        if (!StartsWith(text, start) || text.size() < start.size() + end.size() ||
            text.compare(text.size() - end.size(), end.size(), end) != 0) {
            bad.push_back("RunOnce value of another form: " + text);
        } else {
            std::string folder = text.substr(start.size(), text.size() - start.size() - end.size());
            if (!scripts.count(folder + "\\delfile.bat") || !sim::FileExists(folder + "\\delfile.bat") ||
                sim::FileBytes(folder + "\\delfile.bat") != ScriptFor(folder))
                bad.push_back("RunOnce value without its whole script: " + text);
        }
    }

    const char *const fileCalls[] = {"DeleteFileA", "CreateFileA", "RemoveDirectoryA"};
    std::map<std::string, std::set<std::string>> allowed;
    for (const char *call : fileCalls)
        for (const std::string &p : AllowedPaths(scope, call)) allowed[call].insert(sim::Escape(p));
    std::map<std::string, int> opened, closed;
    for (const std::string &c : calls) {
        size_t arrow = c.find(" -> hkey");
        if (arrow != std::string::npos) ++opened[c.substr(arrow + 4)];
        if (StartsWith(c, "RegCloseKey(hkey")) ++closed[c.substr(12, c.find(')') - 12)];
        // Each path names a whole file of the product in its own folder.
        for (const char *call : fileCalls)
            if (StartsWith(c, std::string(call) + "(") && !allowed[call].count(FirstArgument(c)))
                bad.push_back("acted outside the product's folders: " + c);
        if ((StartsWith(c, "RegOpenKeyExA(") || StartsWith(c, "RegDeleteKeyA(")) &&
            StartsWith(Lower(FirstArgument(c)), "enum\\esdi\\") &&
            Lower(FirstArgument(c)) != Lower(sim::Escape("Enum\\ESDI\\" + scope.esdiId)))
            bad.push_back("an ESDI key other than the one named: " + c);
    }
    for (auto &o : opened)
        if (closed[o.first] != o.second) bad.push_back(o.first + " closed " + std::to_string(closed[o.first]) + " times");
    for (auto &c : closed)
        if (!opened.count(c.first)) bad.push_back(c.first + " closed but never opened");
    return bad;
}

}  // namespace fixture
