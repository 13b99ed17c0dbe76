// The simulated registry below HKEY_LOCAL_MACHINE.
#include "machine.h"

#include <cstring>

using namespace simulated;

namespace {

std::string KeyName(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    if (!key) return "NULL";
    return "hkey" + std::to_string((uintptr_t)key);
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

bool HasSubKeys(const std::string &path)
{
    for (auto &k : m.keys)
        if (IsBelow(k.first, path)) return true;
    return false;
}

void CreateKeyPath(const std::string &path, const std::string &name)
{
    std::vector<bool> starts = CharacterStarts(path);
    for (size_t i = 0; i <= path.size(); ++i)
        if (i == path.size() || IsSeparator(path, i, starts)) {
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

}  // namespace

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

// cppcheck-suppress constParameter ; the signature is Windows's
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
            // The stored bytes as they are: a value need not end in a zero.
            // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
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
                     // cppcheck-suppress constParameter ; the signature is Windows's
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
            Value{name ? name : "", type, std::string(reinterpret_cast<const char *>(data), size)};
    }
    std::string text(data ? reinterpret_cast<const char *>(data) : "", data ? strnlen(reinterpret_cast<const char *>(data), size) : 0);
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

namespace sim {

void SetWindowsNT(bool nt) { m.nt = nt; }

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
int OpenKeyCount() { return (int)m.openKeys.size(); }
int BadHandleUses() { return m.badHandles; }

}  // namespace sim
