#include "installed_machine.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "next_start.h"

namespace fixture {

const char kStartMenuFolder[] = "C:\\WINDOWS\\Start Menu\\Programs\\KOVRA Camera\\Picaro 2400R";
const char kAppPathsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\zovovar.exe";
const char kServiceKey[] = "System\\CurrentControlSet\\Services\\KOVRA\\USB\\Storage\\RIRUREVE";
const char kStartMenuKey[] = "Software\\KOVRA\\Picaro 2400R Storage Driver\\Startmenu";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

namespace {

// Where the simulated machine has the product installed.
const char kInstall[] = "C:\\Program Files\\KOVRA\\Picaro 2400R";

std::string Lower(std::string s)
{
    for (char &c : s) c = (char)std::tolower((unsigned char)c);
    return s;
}

// The installed machine as winelab/fixture/installed_machine.txt describes it.
struct Item {
    std::string owner, kind, path, name, text;
};
const Item kDescribed[] = {
#include "installed_machine.inc"
};

// The simulator's folders in place of the description's.
std::string Placed(std::string text)
{
    const std::pair<const char *, const char *> folders[] = {
        {"%SYSTEM%", "C:\\WINDOWS\\SYSTEM"}, {"%WINDOWS%", "C:\\WINDOWS"},
        {"%INSTALL%", kInstall}, {"%CURRENT%", "C:\\WORK"}};
    for (const auto &f : folders)
        for (size_t at; (at = text.find(f.first)) != std::string::npos;)
            text.replace(at, std::strlen(f.first), f.second);
    return text;
}

void Install(bool product)
{
    sim::Reset();
    for (const Item &item : kDescribed) {
        if (item.owner != "neighbours" && !product) continue;
        const std::string path = Placed(item.path);
        if (item.kind == "file") sim::AddFile(path, item.text);
        else if (item.kind == "folder") sim::AddDirectory(path);
        else if (item.kind == "key") sim::AddKey(path);
        else sim::SetText(path, item.name, Placed(item.text));
    }
}

bool Below(const std::string &path, const std::string &root)
{
    return path.size() >= root.size() && Lower(path.substr(0, root.size())) == Lower(root) &&
           (path.size() == root.size() || path[root.size()] == '\\');
}

}  // namespace

void InstallNeighboursOnly() { Install(false); }
void InstallProduct() { Install(true); }

std::vector<std::string> ProductFiles()
{
    std::vector<std::string> files;
    for (const Item &item : kDescribed)
        if (item.owner == "product" && item.kind == "file") files.push_back(Placed(item.path));
    return files;
}

bool IsProducts(const std::string &line)
{
    // A line names an item of the product's, or something below one.
    const std::string kind = line.substr(0, line.find(' '));
    std::string path = line.substr(kind.size() + 1);
    if (kind == "value") path = path.substr(0, path.find(" : "));
    if (kind == "file") path = path.substr(0, path.find(" ["));
    for (const Item &item : kDescribed) {
        if (item.owner != "product") continue;
        const bool keyItem = item.kind == "key" || item.kind == "value";
        if ((kind == "key" || kind == "value") == keyItem && Below(path, Placed(item.path))) return true;
    }
    return false;
}

int RunUninstaller(const char *switches)
{
    sim::SetCommandLine(std::string("\"") + kInstall + "\\zovovar.exe\" " + switches);
    try {
        WinMainCRTStartup();
    } catch (const sim::ProcessExit &exit) {
        return static_cast<int>(exit.code);
    }
    return -1;  // the entry returned without ending the process
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

std::string CaseName(const std::string &what)
{
    std::string name;
    for (const char c : what)
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
        else if (name.empty() || name.back() != '_') name += '_';
    return name;
}

std::string Spelled(const std::string &text)
{
    static const std::map<char, const char *> kWords = {
        {' ', "space"}, {'\t', "tab"}, {'/', "slash"}, {'-', "hyphen"}, {'"', "quote"}, {'\\', "backslash"},
        {'.', "dot"}, {':', "colon"}};
    if (text.empty()) return "empty";
    std::string name;
    for (const char c : text) {
        auto word = kWords.find(c);
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
        else if (word != kWords.end()) name += std::string("_") + word->second + "_";
        else name += "_x" + std::string(1, "0123456789ABCDEF"[(c >> 4) & 15]) + "0123456789ABCDEF"[c & 15] + "_";
    }
    return name;
}

std::vector<std::string> KeyDeletes(const std::vector<std::string> &keys)
{
    std::vector<std::string> out;
    // cppcheck-suppress useStlAlgorithm ; a loop of one line reads plainer than a transform
    for (const std::string &k : keys) out.push_back("RegDeleteKeyA(HKLM, \"" + sim::Escape(k) + "\") = 0");
    return out;
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

// Every file path a run may act on, by call name: the product's files of the
// description, each in the run's folder that the description names for it,
// and the script the run writes.
static std::set<std::string> AllowedPaths(const Scope &scope, const std::string &call)
{
    std::vector<std::string> paths;
    auto add = [&](const std::string &folder, const std::string &name) {
        if (Acceptable(folder)) paths.push_back(folder + name);
    };
    std::string cut = scope.path;
    if (!cut.empty() && LastBackslash(cut) == cut.size() - 1) cut.pop_back();
    if (call == "CreateFileA" || call == "DeleteFileA")
        for (const std::string &install : {scope.path, cut}) add(install, "\\delfile.bat");
    std::string startMenu;
    for (const Item &item : kDescribed)
        if (item.kind == "value" && item.name == "Folder Name") startMenu = item.text;
    for (const Item &item : kDescribed) {
        if (call != "DeleteFileA" || item.owner != "product" || item.kind != "file") continue;
        auto below = [&](const std::string &folder) { return item.path.substr(folder.size()); };
        if (Below(item.path, startMenu)) {
            add(scope.folderName, below(startMenu));
        } else if (Below(item.path, "%INSTALL%")) {
            for (const std::string &install : {scope.path, cut}) add(install, below("%INSTALL%"));
        } else if (Below(item.path, "%SYSTEM%")) {  // Windows's own folders, as it reports them
            paths.push_back(scope.systemDir + below("%SYSTEM%"));
        } else if (Below(item.path, "%WINDOWS%")) {
            paths.push_back(scope.windowsDir + below("%WINDOWS%"));
        }
    }
    if (call == "RemoveDirectoryA" && Acceptable(scope.folderName)) {
        paths.push_back(scope.folderName);
        if (size_t parent = LastBackslash(scope.folderName)) paths.push_back(scope.folderName.substr(0, parent));
    }
    return std::set<std::string>(paths.begin(), paths.end());
}

// Why COMMAND.COM would not run the script as written, "" when it would: a
// line or the command's tail that it cuts, or a byte that it reads as another
// character in the OEM code page.
static std::string MisreadByCommandCom(const std::string &script, const std::string &tail)
{
    size_t from = 0;
    for (size_t end; from <= script.size(); from = end + 2) {
        end = std::min(script.find("\r\n", from), script.size());
        if (end - from > NEXT_START_BATCH_LINE_BYTES) return "a script line of " + std::to_string(end - from) + " bytes";
    }
    if (tail.size() > NEXT_START_COMMAND_TAIL_BYTES) return "a command tail of " + std::to_string(tail.size()) + " bytes";
    if (GetOEMCP() != GetACP())
        for (const char c : tail)
            if (static_cast<unsigned char>(c) >= 0x80) return "a byte that code page " + std::to_string(GetOEMCP()) + " reads as another";
    return "";
}

std::vector<std::string> ScheduleProblems(const Scope &scope)
{
    if (!sim::ValueExists(kRunOnceKey, "kvudel")) return {};
    const std::string text = sim::ValueBytes(kRunOnceKey, "kvudel").c_str();
    const std::string interpreter = "command.com", start = interpreter + " /c \"", end = "\\delfile.bat\"";
    if (!StartsWith(text, start) || text.size() < start.size() + end.size() ||
        text.compare(text.size() - end.size(), end.size(), end) != 0)
        return {"RunOnce value of another form: " + text};
    const std::string folder = text.substr(start.size(), text.size() - start.size() - end.size());
    const std::string script = folder + "\\delfile.bat";
    if (!AllowedPaths(scope, "CreateFileA").count(script) || !sim::FileExists(script) ||
        sim::FileBytes(script) != ScriptFor(folder))
        return {"RunOnce value without its whole script: " + text};
    const std::string misread = MisreadByCommandCom(sim::FileBytes(script), text.substr(interpreter.size()));
    if (!misread.empty()) return {"RunOnce value that COMMAND.COM would misread (" + misread + "): " + text};
    return {};
}

std::vector<std::string> Violations(const std::vector<std::string> &before,
                                    const std::vector<std::string> &after,
                                    const std::vector<sim::Call> &calls, const Scope &scope)
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

    for (const std::string &problem : ScheduleProblems(scope)) bad.push_back(problem);

    const char *const fileCalls[] = {"DeleteFileA", "CreateFileA", "RemoveDirectoryA"};
    std::map<std::string, std::set<std::string>> allowed;
    for (const char *call : fileCalls) allowed[call] = AllowedPaths(scope, call);
    std::map<std::string, int> opened, closed;
    for (const sim::Call &c : calls) {
        if (!c.opened.empty()) ++opened[c.opened];
        if (c.name == "RegCloseKey" && c.arguments[0] != "NULL") ++closed[c.arguments[0]];
        // Each path names a whole file of the product in its own folder.
        for (const char *call : fileCalls)
            if (c.name == call && !allowed[call].count(c.target))
                bad.push_back("acted outside the product's folders: " + sim::Line(c));
        if ((c.name == "RegOpenKeyExA" || c.name == "RegDeleteKeyA") && StartsWith(Lower(c.target), "enum\\esdi\\") &&
            Lower(c.target) != Lower("Enum\\ESDI\\" + scope.esdiId))
            bad.push_back("an ESDI key other than the one named: " + sim::Line(c));
    }
    for (auto &o : opened)
        if (closed[o.first] != o.second) bad.push_back(o.first + " closed " + std::to_string(closed[o.first]) + " times");
    for (auto &c : closed)
        if (!opened.count(c.first)) bad.push_back(c.first + " closed but never opened");
    if (sim::KeysOpenedTwice())
        bad.push_back(std::to_string(sim::KeysOpenedTwice()) + " opens of a key already open: on Windows 9x "
                      "the handles would be one, and its first close would close both");
    return bad;
}

}  // namespace fixture
