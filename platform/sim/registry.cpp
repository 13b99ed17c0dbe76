// The simulated registry below HKEY_LOCAL_MACHINE.
#include "machine.h"

#include <algorithm>
#include <cstring>

using namespace simulated;

namespace {

std::string KeyName(HKEY key)
{
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    if (!key) return "NULL";
    return "hkey" + std::to_string((uintptr_t)key);
}

// A registry path relative to HKLM as Windows reads it, in the case written:
// backslashes at character starts separate names, and empty names (a run of
// backslashes, one at the end) are dropped. A leading backslash is refused
// (*ok false), but by RegCreateKeyExA on Windows 9x, which reads it as the
// same key without it.
std::string WrittenKeyPath(const char *subKey, bool leadingAllowed, bool *ok)
{
    std::string p = subKey ? subKey : "";
    *ok = true;
    if (!p.empty() && p[0] == '\\') {
        if (!leadingAllowed || m.nt) *ok = false;
        else p.erase(0, 1);
    }
    const std::vector<bool> starts = CharacterStarts(p);
    std::string out;
    size_t from = 0;
    for (size_t i = 0; i <= p.size(); ++i)
        if (i == p.size() || IsSeparator(p, i, starts)) {
            if (i > from) out += (out.empty() ? "" : "\\") + p.substr(from, i - from);
            from = i + 1;
        }
    return out;
}

std::string KeyPath(const char *subKey, bool leadingAllowed, bool *ok)
{
    return Upper(WrittenKeyPath(subKey, leadingAllowed, ok));
}

bool HasSubKeys(const std::string &path)
{
    return std::any_of(m.keys.begin(), m.keys.end(),
                       [&](const std::pair<const std::string, Key> &k) { return IsBelow(k.first, path); });
}

// Creates the key and its parents; a new key's name is its parent's as stored
// and its own as written.
void CreateKeyPath(const std::string &written)
{
    const std::string up = Upper(written);
    const std::vector<bool> starts = CharacterStarts(written);
    size_t from = 0;
    for (size_t i = 0; i <= written.size(); ++i)
        if (i == written.size() || IsSeparator(written, i, starts)) {
            const std::string part = up.substr(0, i);
            if (!part.empty() && !m.keys.count(part))
                m.keys[part].name = (from ? m.keys[up.substr(0, from - 1)].name + "\\" : "") +
                                    written.substr(from, i - from);
            from = i + 1;
        }
}

// The key path of an open handle, or nullptr with the error its use gives:
// ERROR_INVALID_HANDLE when it is not open, ERROR_KEY_DELETED when its key
// was deleted while it was open.
const std::string *OpenPath(HKEY key, LONG *error = nullptr)
{
    auto it = m.openKeys.find(reinterpret_cast<uintptr_t>(key));
    if (it == m.openKeys.end()) {
        ++m.badHandles;
        if (error) *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (m.deletedKeys.count(it->first)) {
        if (error) *error = ERROR_KEY_DELETED;
        return nullptr;
    }
    return &it->second;
}

// The data handed to RegSetValueExA, every byte of it, since NT stores them
// all: the text up to its first zero, then what follows, "+ N zeros" when
// that is zeros only.
std::string DataArgument(const BYTE *data, DWORD size)
{
    if (!data) return "NULL";
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const size_t zero = bytes.find('\0');
    if (zero == std::string::npos) return QuoteBytes(bytes);
    const std::string rest = bytes.substr(zero);
    return QuoteBytes(bytes.substr(0, zero)) + " + " +
           (rest.find_first_not_of('\0') == std::string::npos ? std::to_string(rest.size()) + " zeros"
                                                              : QuoteBytes(rest));
}

HKEY NewHandle(const std::string &path)
{
    // Windows 95/98 give the handle already open for the same key again
    // (KB Q137202; Wine's test_reg_close_key), so one close would close both.
    // The simulator gives a new one, and counts the case as a fault of the run.
    if (!m.nt)
        for (const auto &open : m.openKeys)
            if (open.second == path) ++m.keysOpenedTwice;
    const uintptr_t h = m.nextHandle++;
    m.openKeys[h] = path;
    return (HKEY)h;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    LONG err = Injected("RegOpenKeyExA");
    bool ok;
    const std::string path = KeyPath(subKey, false, &ok);
    // A leading backslash: ERROR_FILE_NOT_FOUND on Windows 9x, ERROR_BAD_PATHNAME
    // on NT (Wine's registry test of RegOpenKey, 2008).
    if (!err && !ok) err = m.nt ? ERROR_BAD_PATHNAME : ERROR_FILE_NOT_FOUND;
    if (!err && key != HKEY_LOCAL_MACHINE) err = ERROR_INVALID_HANDLE;
    // An empty path opens the key itself.
    if (!err && !path.empty() && !m.keys.count(path)) err = ERROR_FILE_NOT_FOUND;
    std::string opened;  // the handle given out
    if (!err) {
        *result = NewHandle(path);
        opened = KeyName(*result);
    } else if (result && m.nt) {
        // NT sets the handle to NULL; what 9x leaves there is not on record,
        // so it is left as it was.
        *result = nullptr;
    }
    Record("RegOpenKeyExA", {KeyName(key), Quote(subKey), std::to_string(options), Hex(access)},
           std::to_string(err), "", subKey ? subKey : "", opened);
    return err;
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD size)
{
    LONG err = Injected("RegQueryValueExA");
    const bool overstated = err == sim::kSuccessPastTheBuffer;
    if (overstated) err = ERROR_SUCCESS;
    const DWORD offered = size ? *size : 0;
    LONG handleError = 0;
    const std::string *path = OpenPath(key, &handleError);
    if (!err && !path) err = handleError;
    const Value *v = nullptr;
    if (!err && path) {
        auto k = m.keys.find(*path);
        if (k != m.keys.end()) {
            auto it = k->second.values.find(Upper(name ? name : ""));
            if (it != k->second.values.end()) v = &it->second;
        }
        if (!v) {
            err = ERROR_FILE_NOT_FOUND;
            if (type) *type = REG_NONE;
        }
    }
    if (!err && reserved) err = ERROR_INVALID_HANDLE;
    if (!err && v) {
        if (type) *type = v->type;
        if (overstated) {
            // A wrong answer: success, the buffer filled with no zero, and a
            // count beyond the buffer.
            if (data) std::memset(data, '?', offered);
        } else if (data && v->bytes.size() > offered) {
            // Windows leaves the buffer undefined; garbage proves nobody reads it.
            std::memset(data, '?', offered);
            err = ERROR_MORE_DATA;
        } else if (data) {
            // The stored bytes as they are: a value need not end in a zero.
            // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
            std::memcpy(data, v->bytes.data(), v->bytes.size());
        }
        if (size) *size = overstated ? std::max((DWORD)v->bytes.size(), offered + 1) : (DWORD)v->bytes.size();
    }
    Record("RegQueryValueExA", {KeyName(key), Quote(name), std::to_string(offered)}, std::to_string(err),
           err ? "" : "[" + std::to_string(*size) + "]");
    return err;
}

LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR cls, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition)
{
    LONG err = Injected("RegCreateKeyExA");
    bool ok;
    const std::string written = WrittenKeyPath(subKey, true, &ok);
    const std::string path = Upper(written);
    if (!err && !ok) err = ERROR_BAD_PATHNAME;
    if (!err && (key != HKEY_LOCAL_MACHINE || path.empty())) err = ERROR_INVALID_HANDLE;
    std::string opened;  // the handle given out
    if (!err) {
        const bool existed = m.keys.count(path) != 0;
        CreateKeyPath(written);
        *result = NewHandle(path);
        if (disposition) *disposition = existed ? 2 : 1;
        opened = KeyName(*result);
    }  // what a failure leaves in the handle is not on record: it is left as it was
    Record("RegCreateKeyExA",
           {KeyName(key), Quote(subKey), std::to_string(reserved), Quote(cls), std::to_string(options),
            Hex(access), security ? "security" : "NULL"},
           std::to_string(err), "", subKey ? subKey : "", opened);
    return err;
}

LONG RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                    DWORD size)
{
    LONG err = Injected("RegSetValueExA");
    LONG handleError = 0;
    const std::string *path = OpenPath(key, &handleError);
    if (!err && !path) err = handleError;
    if (!err && path) {
        DWORD stored = size;
        const char *text = reinterpret_cast<const char *>(data);
        if ((type == REG_SZ || type == REG_EXPAND_SZ) && data) {
            // Windows 9x stores REG_SZ text up to its zero, whatever the count
            // says (REG_EXPAND_SZ as counted); NT stores the count, and one zero
            // more where the caller left the zero just past it out.
            if (!m.nt && type == REG_SZ) stored = static_cast<DWORD>(std::strlen(text) + 1);
            else if (size && text[size - 1] && !text[size]) stored = size + 1;
        }
        Value &v = m.keys[*path].values[Upper(name ? name : "")];
        if (v.name.empty()) v.name = name ? name : "";  // a value keeps the name it was made with
        v.type = type;
        v.bytes.assign(text ? text : "", text ? stored : 0);
    }
    Record("RegSetValueExA",
           {KeyName(key), Quote(name), std::to_string(reserved), type == REG_SZ ? "REG_SZ" : std::to_string(type),
            DataArgument(data, size), std::to_string(size)},
           std::to_string(err));
    return err;
}

LONG RegCloseKey(HKEY key)
{
    LONG err = Injected("RegCloseKey");
    if (!m.openKeys.count(reinterpret_cast<uintptr_t>(key))) {
        ++m.badHandles;
        err = ERROR_INVALID_HANDLE;
    } else if (!err) {
        m.openKeys.erase(reinterpret_cast<uintptr_t>(key));
        m.deletedKeys.erase(reinterpret_cast<uintptr_t>(key));
    }
    Record("RegCloseKey", {KeyName(key)}, std::to_string(err));
    return err;
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    LONG err = Injected("RegDeleteKeyA");
    bool ok;
    const std::string path = KeyPath(subKey, false, &ok);
    if (!err && !ok) err = ERROR_BAD_PATHNAME;
    if (!err && (key != HKEY_LOCAL_MACHINE || path.empty())) err = ERROR_ACCESS_DENIED;
    if (!err && !m.keys.count(path)) err = ERROR_FILE_NOT_FOUND;
    if (!err && m.nt && HasSubKeys(path)) err = ERROR_ACCESS_DENIED;
    if (!err) {
        // Windows 9x takes the sub-keys with it.
        for (auto it = m.keys.begin(); it != m.keys.end();)
            it = (it->first == path || IsBelow(it->first, path)) ? m.keys.erase(it) : std::next(it);
        for (auto &open : m.openKeys)
            if (open.second == path || IsBelow(open.second, path)) m.deletedKeys.insert(open.first);
    }
    Record("RegDeleteKeyA", {KeyName(key), Quote(subKey)}, std::to_string(err), "", subKey ? subKey : "");
    return err;
}

namespace sim {

void SetWindowsNT(bool nt) { m.nt = nt; }

void AddKey(const std::string &path)
{
    bool ok;
    CreateKeyPath(WrittenKeyPath(path.c_str(), true, &ok));
}

void SetValue(const std::string &key, const std::string &name, DWORD type,
              const std::string &bytes)
{
    AddKey(key);
    bool ok;
    m.keys[KeyPath(key.c_str(), true, &ok)].values[Upper(name)] = Value{name, type, bytes};
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
int KeysOpenedTwice() { return m.keysOpenedTwice; }

}  // namespace sim
