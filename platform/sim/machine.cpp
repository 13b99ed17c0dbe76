// The simulated machine's state, the record of every call, and fault injection.
#include "machine.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace simulated {

Machine m;

std::string Upper(std::string s)
{
    for (char &c : s) c = (char)std::toupper((unsigned char)c);
    return s;
}

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

bool IsBelow(const std::string &path, const std::string &parent)
{
    return path.size() > parent.size() + 1 && path.compare(0, parent.size(), parent) == 0 &&
           path[parent.size()] == '\\';
}

}  // namespace simulated

using namespace simulated;

namespace sim {

const char *const kFailableCalls[] = {
    "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA",      "RegSetValueExA",
    "RegCloseKey",   "RegDeleteKeyA",    "GetSystemDirectoryA",  "GetWindowsDirectoryA",
    "DeleteFileA",   "_rmdir",           "fopen",                "fputs",
    "fclose",        nullptr};

void Reset() { m = Machine(); }

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

}  // namespace sim
