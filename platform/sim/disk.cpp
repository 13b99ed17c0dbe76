// The simulated disk: files, folders and the system folders.
#include "machine.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

using namespace simulated;

namespace {

// A file path made absolute and normal the way Windows resolves it, in the
// case written: '/' separates as '\\' does, runs of separators read as one,
// "." and ".." are resolved, and names lose their trailing dots and spaces
// as below.
// "" for what names nothing here: a network path (two separators first), or a
// name with a character that no file name may hold. *asFolder tells of a
// separator at the end, after which the path names a folder only.
std::string NormalPath(const char *path, bool *asFolder = nullptr)
{
    std::string p = path ? path : "";
    if (asFolder) *asFolder = false;
    std::vector<bool> starts = CharacterStarts(p);
    auto separator = [&](size_t i) { return starts[i] && (p[i] == '\\' || p[i] == '/'); };
    if (p.size() >= 2 && separator(0) && separator(1)) return "";
    std::string drive, rest;
    if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
        drive = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])))) + ":";
        rest = p.substr(2);
        if (rest.empty() || !separator(2)) rest = m.currentDir.substr(2) + "\\" + rest;
    } else {
        drive = m.currentDir.substr(0, 2);
        rest = !p.empty() && separator(0) ? p : m.currentDir.substr(2) + "\\" + p;
    }
    starts = CharacterStarts(rest);
    std::vector<std::string> raw;
    size_t from = 0;
    bool last = false;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && !(starts[i] && (rest[i] == '\\' || rest[i] == '/'))) {
            const unsigned char c = static_cast<unsigned char>(rest[i]);
            if (starts[i] && (c < 0x20 || std::strchr("<>:\"|?*", c))) return "";
            continue;
        }
        last = i == from;
        if (i > from) raw.push_back(rest.substr(from, i - from));
        from = i + 1;
    }
    // A name loses its trailing dots, and its trailing spaces: on Windows 9x
    // every name, on NT the last one alone, unless a separator follows it. NT
    // reaches nothing through a folder name that ends in two dots or more.
    // (Wine's test of CreateDirectoryA, 2002-2008: "On Win98", "On NT!".)
    std::vector<std::string> names;
    for (size_t n = 0; n < raw.size(); ++n) {
        const std::string &name = raw[n];
        if (name == ".") continue;
        if (name == "..") {
            if (!names.empty()) names.pop_back();
            continue;
        }
        const bool inner = n + 1 < raw.size() || last;
        std::vector<bool> nameStarts = CharacterStarts(name);
        size_t end = name.size();
        while (end > 0 && nameStarts[end - 1] &&
               (name[end - 1] == '.' || (name[end - 1] == ' ' && (!m.nt || !inner))))
            --end;
        if (m.nt && n + 1 < raw.size() && name.size() >= end + 2 && name.compare(name.size() - 2, 2, "..") == 0)
            return "";
        if (end) names.push_back(name.substr(0, end));
    }
    if (asFolder) *asFolder = last && !names.empty();
    std::string out = drive;
    for (const std::string &name : names) out += "\\" + name;
    return names.empty() ? out + "\\" : out;
}

std::string FilePath(const char *path, bool *asFolder = nullptr)
{
    return Upper(NormalPath(path, asFolder));
}

std::string Parent(const std::string &path)
{
    const size_t cut = LastSeparator(path);
    return cut == std::string::npos || cut < 2 ? "" : path.substr(0, cut);
}

// The name a new file or folder is stored under: its folder's as stored, and
// its own as written.
std::string StoredName(const std::string &normal)
{
    const std::string parent = Parent(normal);
    auto it = m.directories.find(Upper(parent));
    return (it == m.directories.end() ? parent : it->second) + normal.substr(parent.size());
}

void AddDirectories(const std::string &normal)
{
    // Parents first, so that each takes its parent's stored name. A drive root
    // always exists, and "" is no name.
    std::vector<std::string> missing;
    for (std::string d = normal; d.size() > 3; d = Parent(d)) missing.push_back(d);
    for (auto d = missing.rbegin(); d != missing.rend(); ++d)
        m.directories.emplace(Upper(*d), StoredName(*d));
}

bool DirectoryEmpty(const std::string &dir)
{
    auto below = [&](const std::pair<const std::string, std::string> &entry) { return IsBelow(entry.first, dir); };
    return std::none_of(m.files.begin(), m.files.end(), below) &&
           std::none_of(m.directories.begin(), m.directories.end(), below);
}

// Whether a file may be created or emptied at path, for writing.
bool Writable(const std::string &path)
{
    return !m.directories.count(path) && !m.readOnly.count(path) && !m.held.count(path);
}

void Forget(const std::string &path)
{
    m.files.erase(path);
    m.fileNames.erase(path);
    m.readOnly.erase(path);
}

bool ParentExists(const std::string &path)
{
    if (path.empty()) return false;
    const std::string parent = Parent(path);
    return parent.size() <= 3 || m.directories.count(parent);
}

UINT CopyDirectory(const std::string &dir, const char *name, LPSTR buffer, UINT size)
{
    const LONG err = Injected(name);
    UINT result;
    if (err) result = 0;
    else if (dir.size() + 1 > size) result = (UINT)dir.size() + 1;  // too small: nothing copied
    else {
        std::memcpy(buffer, dir.c_str(), dir.size() + 1);
        result = (UINT)dir.size();
    }
    Record(name, {std::to_string(size)}, std::to_string(result), result && result < size ? Quote(buffer) : "");
    return result;
}

}  // namespace

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
    const LONG err = Injected("DeleteFileA");
    bool asFolder;
    const std::string p = FilePath(path, &asFolder);
    const BOOL ok = !err && !asFolder && m.files.count(p) && !m.readOnly.count(p) && !(m.nt && m.held.count(p));
    if (ok) {
        Forget(p);
        m.uncommitted.erase(p);
    }
    Record("DeleteFileA", {Quote(path)}, std::to_string(ok), "", path ? path : "");
    return ok;
}

BOOL RemoveDirectoryA(LPCSTR path)
{
    const LONG err = Injected("RemoveDirectoryA");
    const std::string p = FilePath(path);
    const BOOL ok = !err && m.directories.count(p) && DirectoryEmpty(p);
    if (ok) m.directories.erase(p);
    Record("RemoveDirectoryA", {Quote(path)}, std::to_string(ok), "", path ? path : "");
    return ok;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    const LONG err = Injected("CreateFileA");
    bool asFolder;
    const std::string p = FilePath(path, &asFolder);
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!err && access == GENERIC_WRITE && disposition == CREATE_ALWAYS && !templateFile &&
        !asFolder && ParentExists(p) && Writable(p)) {
        if (!m.files.count(p)) m.fileNames[p] = StoredName(NormalPath(path));
        m.uncommitted.emplace(p, m.files[p]);  // what the disk has until a flush
        m.files[p].clear();
        uintptr_t id = 0x100 + m.openFiles.size() * 4;
        while (m.openFiles.count(id)) id += 4;
        m.openFiles[id] = p;
        h = reinterpret_cast<HANDLE>(id);
    }
    Record("CreateFileA",
           {Quote(path), Hex(access), std::to_string(share), security ? "security" : "NULL",
            std::to_string(disposition), Hex(flags)},
           h == INVALID_HANDLE_VALUE ? "INVALID" : Hex((uint32_t)(uintptr_t)h), "", path ? path : "");
    return h;
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    const LONG err = Injected("WriteFile");
    auto it = m.openFiles.find((uintptr_t)file);
    // A full disk takes what room it has left: here half the bytes.
    const BOOL ok = (!err || err == ERROR_DISK_FULL) && it != m.openFiles.end() && !overlapped;
    const DWORD n = ok ? (err == ERROR_DISK_FULL ? count / 2 : count) : 0;
    if (ok) m.files[it->second].append(static_cast<const char *>(data), n);
    if (written) *written = n;
    Record("WriteFile",
           {Hex((uint32_t)(uintptr_t)file), QuoteBytes(std::string(static_cast<const char *>(data), count)),
            std::to_string(count)},
           std::to_string(ok), "[" + std::to_string(n) + "]");
    return ok;
}

BOOL FlushFileBuffers(HANDLE file)
{
    const LONG err = Injected("FlushFileBuffers");
    auto it = m.openFiles.find((uintptr_t)file);
    const BOOL ok = !err && it != m.openFiles.end();
    if (ok) m.uncommitted.erase(it->second);
    Record("FlushFileBuffers", {Hex((uint32_t)(uintptr_t)file)}, std::to_string(ok));
    return ok;
}

BOOL CloseHandle(HANDLE handle)
{
    const LONG err = Injected("CloseHandle");
    const bool open = m.openFiles.erase((uintptr_t)handle) != 0;  // closed even when reported failing
    const BOOL ok = open && !err;
    Record("CloseHandle", {Hex((uint32_t)(uintptr_t)handle)}, std::to_string(ok));
    return ok;
}

namespace sim {

void SetSystemDirectory(const std::string &path) { m.systemDir = path; }
void SetWindowsDirectory(const std::string &path) { m.windowsDir = path; }
std::string SystemDirectory() { return m.systemDir; }
std::string WindowsDirectory() { return m.windowsDir; }

void AddFile(const std::string &path, const std::string &bytes)
{
    const std::string normal = NormalPath(path.c_str());
    if (normal.empty()) return;  // no such name can be made
    const std::string p = Upper(normal);
    AddDirectories(Parent(normal));
    if (!m.files.count(p)) m.fileNames[p] = StoredName(normal);
    m.files[p] = bytes;
}

void AddDirectory(const std::string &path) { AddDirectories(NormalPath(path.c_str())); }
void SetReadOnly(const std::string &path) { m.readOnly.insert(FilePath(path.c_str())); }
void HoldOpen(const std::string &path) { m.held.insert(FilePath(path.c_str())); }
bool FileExists(const std::string &path) { return m.files.count(FilePath(path.c_str())) != 0; }
bool FileCommitted(const std::string &path) { return !m.uncommitted.count(FilePath(path.c_str())); }

std::string FileName(const std::string &path)
{
    auto it = m.fileNames.find(FilePath(path.c_str()));
    return it == m.fileNames.end() ? "" : it->second;
}

bool DirectoryExists(const std::string &path)
{
    return m.directories.count(FilePath(path.c_str())) != 0;
}

std::string FileBytes(const std::string &path)
{
    auto it = m.files.find(FilePath(path.c_str()));
    return it == m.files.end() ? "" : it->second;
}

}  // namespace sim
