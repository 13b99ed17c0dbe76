// The simulated disk: files, folders, the system folders and the C runtime's
// stream and folder removal.
#include "machine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace simulated;

namespace {

// A file path made absolute the way Windows resolves it, in upper case; "" for
// a network path (two backslashes first), which names nothing on this machine.
std::string FilePath(const char *path)
{
    std::string p = path ? path : "";
    if (p.compare(0, 2, "\\\\") == 0) return "";
    if (p.size() >= 2 && p[1] == ':') {
    } else if (!p.empty() && p[0] == '\\') p = m.currentDir.substr(0, 2) + p;
    else p = m.currentDir + "\\" + p;
    // Windows reads a run of backslashes as one, and ignores a trailing one.
    std::vector<bool> starts = CharacterStarts(p);
    std::string out;
    bool afterSeparator = false;
    for (size_t i = 0; i < p.size(); ++i) {
        bool separator = IsSeparator(p, i, starts);
        if (!separator || !afterSeparator) out += p[i];
        afterSeparator = separator;
    }
    if (out.size() > 3 && afterSeparator) out.pop_back();
    return Upper(out);
}

std::string Parent(const std::string &path)
{
    size_t cut = LastSeparator(path);
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
    if (path.empty()) return false;
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
        f = reinterpret_cast<FILE *>(uintptr_t{m.streams.size()});  // a token, never dereferenced
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

BOOL RemoveDirectoryA(LPCSTR path)
{
    LONG err = Injected("RemoveDirectoryA");
    std::string p = FilePath(path);
    BOOL ok = !err && m.directories.count(p) && DirectoryEmpty(p);
    if (ok) m.directories.erase(p);
    Record("RemoveDirectoryA(" + Quote(path) + ") = " + std::to_string(ok));
    return ok;
}

// cppcheck-suppress constParameter ; the signature is Windows's
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   // cppcheck-suppress constParameter ; the signature is Windows's
                   DWORD disposition, DWORD flags, HANDLE templateFile)
{
    LONG err = Injected("CreateFileA");
    std::string p = FilePath(path);
    HANDLE h = INVALID_HANDLE_VALUE;
    if (!err && access == GENERIC_WRITE && disposition == CREATE_ALWAYS && !templateFile &&
        ParentExists(p) && !m.directories.count(p)) {
        m.files[p].clear();
        m.fileNames[p] = path;
        uintptr_t id = 0x100 + m.openFiles.size() * 4;
        while (m.openFiles.count(id)) id += 4;
        m.openFiles[id] = p;
        h = reinterpret_cast<HANDLE>(id);
    }
    Record("CreateFileA(" + Quote(path) + ", " + Hex(access) + ", " + std::to_string(share) + ", " +
           (security ? "security" : "NULL") + ", " + std::to_string(disposition) + ", " +
           Hex(flags) + ") = " + (h == INVALID_HANDLE_VALUE ? "INVALID" : Hex((uint32_t)(uintptr_t)h)));
    return h;
}

// cppcheck-suppress constParameter ; the signature is Windows's
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    LONG err = Injected("WriteFile");
    auto it = m.openFiles.find((uintptr_t)file);
    BOOL ok = !err && it != m.openFiles.end() && !overlapped;
    DWORD n = ok ? (DWORD)std::min<size_t>(count, m.writeLimit) : 0;
    if (ok) {
        m.files[it->second].append(static_cast<const char *>(data), n);
        m.writeLimit -= n;
    }
    if (written) *written = n;
    Record("WriteFile(" + Hex((uint32_t)(uintptr_t)file) + ", " +
           QuoteBytes(std::string(static_cast<const char *>(data), count)) + ", " + std::to_string(count) +
           ") = " + std::to_string(ok) + " [" + std::to_string(n) + "]");
    return ok;
}

BOOL CloseHandle(HANDLE handle)
{
    LONG err = Injected("CloseHandle");
    bool open = m.openFiles.erase((uintptr_t)handle) != 0;  // closed even when reported failing
    BOOL ok = open && !err;
    Record("CloseHandle(" + Hex((uint32_t)(uintptr_t)handle) + ") = " + std::to_string(ok));
    return ok;
}

namespace sim {

void SetSystemDirectory(const std::string &path) { m.systemDir = path; }
void SetWindowsDirectory(const std::string &path) { m.windowsDir = path; }
std::string SystemDirectory() { return m.systemDir; }
std::string WindowsDirectory() { return m.windowsDir; }

void AddFile(const std::string &path, const std::string &bytes)
{
    std::string p = FilePath(path.c_str());
    AddDirectories(path.substr(0, LastSeparator(path)));
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

void LimitWrites(size_t bytes) { m.writeLimit = bytes; }

}  // namespace sim
