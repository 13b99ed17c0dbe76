// The simulated machine behind win32_sim.h. See the header for what it models.
#include "win32_sim.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <sstream>

namespace {

struct Value {
    std::string name;
    DWORD type;
    std::string bytes;
};

struct Key {
    std::string name;                    // as first written
    std::map<std::string, Value> values;  // by upper-case name
};

struct Stream {
    std::string path;  // upper case
    bool open;
};

struct Machine {
    bool nt = false;
    std::string commandLine = "zovovar.exe";
    std::string systemDir = "C:\\WINDOWS\\SYSTEM";
    std::string windowsDir = "C:\\WINDOWS";
    std::string currentDir = "C:\\WORK";
    std::map<std::string, Key> keys;                 // by upper-case path
    std::map<std::string, std::string> files;        // upper-case path -> bytes
    std::map<std::string, std::string> fileNames;    // upper-case path -> as written
    std::map<std::string, std::string> directories;  // upper-case path -> as written
    std::map<uintptr_t, std::string> openKeys;       // handle -> upper-case path
    uintptr_t nextHandle = 1;
    std::vector<Stream> streams;
    std::deque<int> answers;
    std::deque<UINT> queued;
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<std::string> calls;
    int failable = 0;
    int failPosition = 0;
    LONG failPositionError = 0;
    std::map<std::string, LONG> failNames;
    std::map<std::string, int> seen;                       // failable calls by name
    std::map<std::string, std::pair<int, LONG>> failNth;  // name -> occurrence, error
    int badHandles = 0;
};

Machine m;

std::string Upper(std::string s)
{
    for (char &c : s) c = (char)std::toupper((unsigned char)c);
    return s;
}

// Bytes as C source would write them, so a recorded call reads unambiguously.
std::string QuoteBytes(const std::string &bytes)
{
    std::string out = "\"";
    for (char ch : bytes) {
        unsigned char c = (unsigned char)ch;
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '"') out += "\\\"";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += (char)c;
    }
    return out + "\"";
}

std::string Quote(const char *s) { return s ? QuoteBytes(s) : "NULL"; }

std::string Hex(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string KeyName(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    if (!key) return "NULL";
    return "hkey" + std::to_string((uintptr_t)key);
}

void Record(const std::string &line) { m.calls.push_back(line); }

// Counts a failable call and says whether it is to fail, and with what error.
LONG Injected(const char *name)
{
    ++m.failable;
    int occurrence = ++m.seen[name];
    if (m.failable == m.failPosition) return m.failPositionError;
    auto nth = m.failNth.find(name);
    if (nth != m.failNth.end() && nth->second.first == occurrence) return nth->second.second;
    auto it = m.failNames.find(name);
    return it == m.failNames.end() ? 0 : it->second;
}

// A registry path relative to HKLM, or "" with *ok false when refused.
std::string KeyPath(const char *subKey, bool *ok)
{
    std::string p = subKey ? subKey : "";
    *ok = true;
    if (!p.empty() && p[0] == '\\') {
        if (m.nt) *ok = false;  // NT: ERROR_BAD_PATHNAME
        else p.erase(0, 1);     // 9x: the same key as without the backslash
    }
    return Upper(p);
}

bool IsBelow(const std::string &path, const std::string &parent)
{
    return path.size() > parent.size() + 1 && path.compare(0, parent.size(), parent) == 0 &&
           path[parent.size()] == '\\';
}

bool HasSubKeys(const std::string &path)
{
    for (auto &k : m.keys)
        if (IsBelow(k.first, path)) return true;
    return false;
}

void CreateKeyPath(const std::string &path, const std::string &name)
{
    for (size_t i = 0; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\') {
            std::string part = path.substr(0, i);
            if (!part.empty() && !m.keys.count(part)) m.keys[part].name = name.substr(0, i);
        }
}

// Handle lookup: the key path of an open handle, or nullptr.
const std::string *OpenPath(HKEY key)
{
    auto it = m.openKeys.find((uintptr_t)key);
    if (it == m.openKeys.end()) {
        ++m.badHandles;
        return nullptr;
    }
    return &it->second;
}

HKEY NewHandle(const std::string &path)
{
    uintptr_t h = m.nextHandle++;
    m.openKeys[h] = path;
    return (HKEY)h;
}

// A file path made absolute the way Windows resolves it, in upper case.
std::string FilePath(const char *path)
{
    std::string p = path ? path : "";
    if (p.size() >= 2 && p[1] == ':') {
    } else if (!p.empty() && p[0] == '\\') p = m.currentDir.substr(0, 2) + p;
    else p = m.currentDir + "\\" + p;
    // Windows reads a run of backslashes as one, and ignores a trailing one.
    std::string out;
    for (char c : p)
        if (c != '\\' || out.empty() || out.back() != '\\') out += c;
    while (out.size() > 3 && out.back() == '\\') out.pop_back();
    return Upper(out);
}

std::string Parent(const std::string &path)
{
    size_t cut = path.rfind('\\');
    return cut == std::string::npos || cut < 2 ? "" : path.substr(0, cut);
}

void AddDirectories(const std::string &written)
{
    std::string up = FilePath(written.c_str());
    std::string name = written;
    while (up.size() > 3) {  // a drive root always exists
        m.directories.emplace(up, name);
        up = Parent(up);
        name = Parent(name);
    }
}

bool DirectoryEmpty(const std::string &dir)
{
    for (auto &f : m.files)
        if (IsBelow(f.first, dir)) return false;
    for (auto &d : m.directories)
        if (IsBelow(d.first, dir)) return false;
    return true;
}

bool ParentExists(const std::string &path)
{
    std::string parent = Parent(path);
    return parent.size() <= 3 || m.directories.count(parent);
}

UINT CopyDirectory(const std::string &dir, const char *name, LPSTR buffer, UINT size)
{
    LONG err = Injected(name);
    UINT result;
    if (err) result = 0;
    else if (dir.size() + 1 > size) result = (UINT)dir.size() + 1;  // too small: nothing copied
    else {
        std::memcpy(buffer, dir.c_str(), dir.size() + 1);
        result = (UINT)dir.size();
    }
    Record(std::string(name) + "(" + std::to_string(size) + ") = " + std::to_string(result) +
           (result && result < size ? " " + Quote(buffer) : ""));
    return result;
}

}  // namespace

// ---- Registry ------------------------------------------------------------------

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    LONG err = Injected("RegOpenKeyExA");
    bool ok;
    std::string path = KeyPath(subKey, &ok);
    if (!err && !ok) err = ERROR_BAD_PATHNAME;
    if (!err && key != HKEY_LOCAL_MACHINE) err = ERROR_INVALID_HANDLE;
    if (!err && !m.keys.count(path)) err = ERROR_FILE_NOT_FOUND;
    std::string got;
    if (!err) {
        *result = NewHandle(path);
        got = " -> " + KeyName(*result);
    }
    Record("RegOpenKeyExA(" + KeyName(key) + ", " + Quote(subKey) + ", " + std::to_string(options) +
           ", " + Hex(access) + ") = " + std::to_string(err) + got);
    return err;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size)
{
    LONG err = Injected("RegQueryValueExA");
    DWORD offered = size ? *size : 0;
    const std::string *path = OpenPath(key);
    if (!err && !path) err = ERROR_INVALID_HANDLE;
    const Value *v = nullptr;
    if (!err) {
        auto k = m.keys.find(*path);
        if (k != m.keys.end()) {
            auto it = k->second.values.find(Upper(name ? name : ""));
            if (it != k->second.values.end()) v = &it->second;
        }
        if (!v) err = ERROR_FILE_NOT_FOUND;
    }
    if (!err && reserved) err = ERROR_INVALID_HANDLE;
    if (!err) {
        if (type) *type = v->type;
        if (data && v->bytes.size() > offered) {
            // Windows leaves the buffer undefined; garbage proves nobody reads it.
            std::memset(data, '?', offered);
            err = ERROR_MORE_DATA;
        } else if (data) {
            std::memcpy(data, v->bytes.data(), v->bytes.size());
        }
        if (size) *size = (DWORD)v->bytes.size();
    }
    Record("RegQueryValueExA(" + KeyName(key) + ", " + Quote(name) + ", " +
           std::to_string(offered) + ") = " + std::to_string(err) +
           (err ? "" : " [" + std::to_string(*size) + "]"));
    return err;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition)
{
    LONG err = Injected("RegCreateKeyExA");
    bool ok;
    std::string path = KeyPath(subKey, &ok);
    if (!err && !ok) err = ERROR_BAD_PATHNAME;
    if (!err && (key != HKEY_LOCAL_MACHINE || path.empty())) err = ERROR_INVALID_HANDLE;
    std::string got;
    if (!err) {
        std::string written = subKey;
        if (written[0] == '\\') written.erase(0, 1);
        bool existed = m.keys.count(path) != 0;
        CreateKeyPath(path, written);
        *result = NewHandle(path);
        if (disposition) *disposition = existed ? 2 : 1;
        got = " -> " + KeyName(*result);
    }
    Record("RegCreateKeyExA(" + KeyName(key) + ", " + Quote(subKey) + ", " +
           std::to_string(reserved) + ", " + Quote(cls) + ", " + std::to_string(options) + ", " +
           Hex(access) + ", " + (security ? "security" : "NULL") + ") = " + std::to_string(err) +
           got);
    return err;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD size)
{
    LONG err = Injected("RegSetValueExA");
    const std::string *path = OpenPath(key);
    if (!err && !path) err = ERROR_INVALID_HANDLE;
    if (!err) {
        auto &k = m.keys[*path];
        k.values[Upper(name ? name : "")] =
            Value{name ? name : "", type, std::string((const char *)data, size)};
    }
    std::string text(data ? (const char *)data : "", data ? strnlen((const char *)data, size) : 0);
    Record("RegSetValueExA(" + KeyName(key) + ", " + Quote(name) + ", " +
           std::to_string(reserved) + ", " + (type == REG_SZ ? "REG_SZ" : std::to_string(type)) +
           ", " + Quote(text.c_str()) + ", " + std::to_string(size) + ") = " +
           std::to_string(err));
    return err;
}

LONG RegCloseKey(HKEY key)
{
    LONG err = Injected("RegCloseKey");
    if (!OpenPath(key)) err = ERROR_INVALID_HANDLE;
    else if (!err) m.openKeys.erase((uintptr_t)key);
    Record("RegCloseKey(" + KeyName(key) + ") = " + std::to_string(err));
    return err;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    LONG err = Injected("RegDeleteKeyA");
    bool ok;
    std::string path = KeyPath(subKey, &ok);
    if (!err && !ok) err = ERROR_BAD_PATHNAME;
    if (!err && (key != HKEY_LOCAL_MACHINE || path.empty())) err = ERROR_ACCESS_DENIED;
    if (!err && !m.keys.count(path)) err = ERROR_FILE_NOT_FOUND;
    if (!err && m.nt && HasSubKeys(path)) err = ERROR_ACCESS_DENIED;
    if (!err) {
        // Windows 9x takes the sub-keys with it.
        for (auto it = m.keys.begin(); it != m.keys.end();)
            it = (it->first == path || IsBelow(it->first, path)) ? m.keys.erase(it) : std::next(it);
    }
    Record("RegDeleteKeyA(" + KeyName(key) + ", " + Quote(subKey) + ") = " + std::to_string(err));
    return err;
}

// ---- Files and folders ----------------------------------------------------------

UINT GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    return CopyDirectory(m.systemDir, "GetSystemDirectoryA", buffer, size);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    return CopyDirectory(m.windowsDir, "GetWindowsDirectoryA", buffer, size);
}

BOOL DeleteFileA(LPCSTR path)
{
    LONG err = Injected("DeleteFileA");
    std::string p = FilePath(path);
    BOOL ok = !err && m.files.count(p);
    if (ok) {
        m.files.erase(p);
        m.fileNames.erase(p);
    }
    Record("DeleteFileA(" + Quote(path) + ") = " + std::to_string(ok));
    return ok;
}

int _rmdir(const char *path)
{
    LONG err = Injected("_rmdir");
    std::string p = FilePath(path);
    int r = !err && m.directories.count(p) && DirectoryEmpty(p) ? 0 : -1;
    if (r == 0) m.directories.erase(p);
    Record("_rmdir(" + Quote(path) + ") = " + std::to_string(r));
    return r;
}

FILE *SimFopen(const char *path, const char *mode)
{
    LONG err = Injected("fopen");
    std::string p = FilePath(path);
    FILE *f = nullptr;
    if (!err && std::string(mode) == "w" && ParentExists(p) && !m.directories.count(p)) {
        m.files[p].clear();
        m.fileNames[p] = path;
        m.streams.push_back(Stream{p, true});
        f = (FILE *)(uintptr_t)m.streams.size();  // a token, never dereferenced
    }
    Record("fopen(" + Quote(path) + ", " + Quote(mode) + ") = " +
           (f ? "stream" + std::to_string((uintptr_t)f) : "NULL"));
    return f;
}

static Stream *OpenStream(FILE *stream)
{
    uintptr_t i = (uintptr_t)stream;
    if (i < 1 || i > m.streams.size() || !m.streams[i - 1].open) return nullptr;
    return &m.streams[i - 1];
}

int SimFputs(const char *text, FILE *stream)
{
    LONG err = Injected("fputs");
    Stream *s = OpenStream(stream);
    int r = EOF;
    if (!err && s && m.files.count(s->path)) {
        for (const char *c = text; *c; ++c) {  // text mode: LF is written as CR LF
            if (*c == '\n') m.files[s->path] += '\r';
            m.files[s->path] += *c;
        }
        r = 0;
    }
    Record("fputs(" + Quote(text) + ", stream" + std::to_string((uintptr_t)stream) + ") = " +
           std::to_string(r));
    return r;
}

int SimFclose(FILE *stream)
{
    LONG err = Injected("fclose");
    Stream *s = OpenStream(stream);
    if (s) s->open = false;  // closed even when the flush fails, as the runtime does
    int r = s && !err ? 0 : EOF;
    Record("fclose(stream" + std::to_string((uintptr_t)stream) + ") = " + std::to_string(r));
    return r;
}

LPSTR GetCommandLineA()
{
    Record("GetCommandLineA()");
    return &m.commandLine[0];
}

// ---- User interface --------------------------------------------------------------

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    int answer = IDCANCEL;
    if (!m.answers.empty()) {
        answer = m.answers.front();
        m.answers.pop_front();
    }
    Record(std::string("MessageBoxA(") + (owner ? "hwnd" : "NULL") + ", " + Quote(text) + ", " +
           Quote(caption) + ", " + Hex(type) + ") = " + std::to_string(answer));
    return answer;
}

ATOM RegisterClassExA(const WNDCLASSEXA *c)
{
    std::ostringstream s;
    s << "RegisterClassExA(cbSize=" << c->cbSize << ", style=" << Hex(c->style)
      << ", lpfnWndProc=" << (c->lpfnWndProc ? "set" : "NULL") << ", cbClsExtra=" << c->cbClsExtra
      << ", cbWndExtra=" << c->cbWndExtra << ", hInstance=" << Hex((uint32_t)(uintptr_t)c->hInstance)
      << ", hIcon=" << Hex((uint32_t)(uintptr_t)c->hIcon)
      << ", hCursor=" << Hex((uint32_t)(uintptr_t)c->hCursor)
      << ", hbrBackground=" << (uintptr_t)c->hbrBackground
      << ", lpszMenuName=" << Quote(c->lpszMenuName)
      << ", lpszClassName=" << Quote(c->lpszClassName)
      << ", hIconSm=" << (c->hIconSm ? "set" : "NULL") << ") = 1";
    Record(s.str());
    return 1;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name)
{
    Record("LoadIconA(" + Hex((uint32_t)(uintptr_t)instance) + ", " + Quote(name) + ") = 0x1C0");
    return (HICON)(uintptr_t)0x1C0;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name)
{
    Record("LoadCursorA(" + Hex((uint32_t)(uintptr_t)instance) + ", " +
           Hex((uint32_t)(uintptr_t)name) + ") = 0xC00");
    return (HCURSOR)(uintptr_t)0xC00;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT first, UINT last)
{
    std::memset(msg, 0, sizeof *msg);
    BOOL r;
    if (!m.queued.empty()) {
        msg->message = m.queued.front();
        m.queued.pop_front();
        r = TRUE;
    } else if (m.quitPosted) {
        m.quitPosted = false;
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)m.quitCode;
        r = FALSE;
    } else {
        // A real queue would wait for ever; report it and end the loop instead.
        msg->message = WM_QUIT;
        msg->wParam = 0xDEAD;
        r = FALSE;
    }
    Record(std::string("GetMessageA(") + (window ? "hwnd" : "NULL") + ", " + std::to_string(first) +
           ", " + std::to_string(last) + ") = " + std::to_string(r) + " " + Hex(msg->message) +
           (r ? "" : " wParam=" + std::to_string(msg->wParam)));
    return r;
}

BOOL TranslateMessage(const MSG *msg)
{
    Record("TranslateMessage(" + Hex(msg->message) + ")");
    return FALSE;
}

LRESULT DispatchMessageA(const MSG *msg)
{
    Record("DispatchMessageA(" + Hex(msg->message) + ")");
    return 0;
}

void PostQuitMessage(int code)
{
    m.quitPosted = true;
    m.quitCode = code;
    Record("PostQuitMessage(" + std::to_string(code) + ")");
}

// ---- The machine, for tests -------------------------------------------------------

namespace sim {

const char *const kFailableCalls[] = {
    "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA",      "RegSetValueExA",
    "RegCloseKey",   "RegDeleteKeyA",    "GetSystemDirectoryA",  "GetWindowsDirectoryA",
    "DeleteFileA",   "_rmdir",           "fopen",                "fputs",
    "fclose",        nullptr};

void Reset() { m = Machine(); }
void SetWindowsNT(bool nt) { m.nt = nt; }
void SetCommandLine(const std::string &line) { m.commandLine = line; }
void SetSystemDirectory(const std::string &path) { m.systemDir = path; }
void SetWindowsDirectory(const std::string &path) { m.windowsDir = path; }

void AddKey(const std::string &path) { CreateKeyPath(Upper(path), path); }

void SetValue(const std::string &key, const std::string &name, DWORD type,
              const std::string &bytes)
{
    AddKey(key);
    m.keys[Upper(key)].values[Upper(name)] = Value{name, type, bytes};
}

void SetText(const std::string &key, const std::string &name, const std::string &text)
{
    SetValue(key, name, REG_SZ, text + '\0');
}

void DeleteValue(const std::string &key, const std::string &name)
{
    auto k = m.keys.find(Upper(key));
    if (k != m.keys.end()) k->second.values.erase(Upper(name));
}

bool KeyExists(const std::string &path) { return m.keys.count(Upper(path)) != 0; }

static const Value *FindValue(const std::string &key, const std::string &name)
{
    auto k = m.keys.find(Upper(key));
    if (k == m.keys.end()) return nullptr;
    auto v = k->second.values.find(Upper(name));
    return v == k->second.values.end() ? nullptr : &v->second;
}

bool ValueExists(const std::string &key, const std::string &name)
{
    return FindValue(key, name) != nullptr;
}

std::string ValueBytes(const std::string &key, const std::string &name)
{
    const Value *v = FindValue(key, name);
    return v ? v->bytes : "";
}

DWORD ValueType(const std::string &key, const std::string &name)
{
    const Value *v = FindValue(key, name);
    return v ? v->type : REG_NONE;
}

void AddFile(const std::string &path, const std::string &bytes)
{
    std::string p = FilePath(path.c_str());
    AddDirectories(path.substr(0, path.rfind('\\')));
    m.files[p] = bytes;
    m.fileNames[p] = path;
}

void AddDirectory(const std::string &path) { AddDirectories(path); }
bool FileExists(const std::string &path) { return m.files.count(FilePath(path.c_str())) != 0; }

bool DirectoryExists(const std::string &path)
{
    return m.directories.count(FilePath(path.c_str())) != 0;
}

std::string FileBytes(const std::string &path)
{
    auto it = m.files.find(FilePath(path.c_str()));
    return it == m.files.end() ? "" : it->second;
}

std::vector<std::string> Dump()
{
    std::vector<std::string> out;
    for (auto &k : m.keys) {
        out.push_back("key " + k.second.name);
        for (auto &v : k.second.values)
            out.push_back("value " + k.second.name + " : " + v.second.name + " = " +
                          std::to_string(v.second.type) + " " +
                          QuoteBytes(v.second.bytes) + " [" +
                          std::to_string(v.second.bytes.size()) + "]");
    }
    for (auto &d : m.directories) out.push_back("folder " + d.second);
    for (auto &f : m.files)
        out.push_back("file " + m.fileNames[f.first] + " [" + std::to_string(f.second.size()) +
                      "] " + QuoteBytes(f.second));
    std::sort(out.begin(), out.end());
    return out;
}

void AnswerMessageBoxes(const std::vector<int> &answers)
{
    m.answers.assign(answers.begin(), answers.end());
}

void QueueMessage(UINT message) { m.queued.push_back(message); }
const std::vector<std::string> &Calls() { return m.calls; }

std::string Escape(const std::string &bytes)
{
    std::string quoted = QuoteBytes(bytes);
    return quoted.substr(1, quoted.size() - 2);
}

std::vector<std::string> CallsNamed(const std::string &name)
{
    std::vector<std::string> out;
    for (auto &c : m.calls)
        if (c.compare(0, name.size() + 1, name + "(") == 0) out.push_back(c);
    return out;
}

void FailCall(int position, LONG error)
{
    m.failPosition = position;
    m.failPositionError = error;
}

void FailEvery(const std::string &name, LONG error) { m.failNames[name] = error; }

void FailNth(const std::string &name, int occurrence, LONG error)
{
    m.failNth[name] = std::make_pair(occurrence, error);
}
int FailableCallCount() { return m.failable; }
int OpenKeyCount() { return (int)m.openKeys.size(); }
int BadHandleUses() { return m.badHandles; }

}  // namespace sim
