// The simulated machine's state, the record of every call, and fault injection.
#include "machine.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

namespace simulated {

// NOLINTNEXTLINE(cert-err58-cpp): out of memory before main ends a test run, as it should
Machine m;

static bool IsDoubleByte(UINT codePage)
{
    return std::count(std::begin(sim::kDoubleBytePages), std::end(sim::kDoubleBytePages), codePage) > 0;
}

bool IsLead(unsigned char c)
{
    if (m.codePage == 932) return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    return IsDoubleByte(m.codePage) && c >= 0x81 && c <= 0xFE;
}

std::vector<bool> CharacterStarts(const std::string &text)
{
    std::vector<bool> starts(text.size(), false);
    for (size_t i = 0; i < text.size(); i += IsLead((unsigned char)text[i]) ? 2 : 1)
        starts[i] = true;
    return starts;
}

bool IsSeparator(const std::string &text, size_t i, const std::vector<bool> &starts)
{
    return text[i] == '\\' && starts[i];
}

size_t LastSeparator(const std::string &text)
{
    const std::vector<bool> starts = CharacterStarts(text);
    for (size_t i = text.size(); i-- > 0;)
        if (IsSeparator(text, i, starts)) return i;
    return std::string::npos;
}

namespace {

// The code page's upper case of every character, as Windows folds names: by
// the Unicode case of the character the bytes stand for. Index: the byte of a
// single-byte character, or lead << 8 | trail; the value likewise.
const std::vector<uint16_t> &UpperCase(UINT codePage)
{
    static std::map<UINT, std::vector<uint16_t>> tables;
    auto found = tables.find(codePage);
    if (found != tables.end()) return found->second;
    std::vector<uint16_t> &table = tables[codePage];
    table.resize(0x10000);
    for (size_t c = 0; c < table.size(); ++c) table[c] = static_cast<uint16_t>(c);
    const std::string page = "CP" + std::to_string(IsDoubleByte(codePage) ? codePage : 1252);
    iconv_t decode = iconv_open("UCS-4LE", page.c_str()), encode = iconv_open(page.c_str(), "UCS-4LE");
    locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (decode == reinterpret_cast<iconv_t>(-1) || encode == reinterpret_cast<iconv_t>(-1) || !unicode)
        return table;  // ASCII alone, below
    for (size_t c = 0x80; c < table.size(); ++c) {
        char in[2] = {static_cast<char>(c > 0xFF ? c >> 8 : c), static_cast<char>(c & 0xFF)};
        const size_t inLength = c > 0xFF ? 2 : 1;
        if ((c > 0xFF) != IsLead(static_cast<unsigned char>(in[0]))) continue;
        uint32_t wide = 0;
        char *from = in, *to = reinterpret_cast<char *>(&wide);
        size_t left = inLength, room = sizeof wide;
        if (iconv(decode, &from, &left, &to, &room) == static_cast<size_t>(-1) || left) continue;
        uint32_t upper = static_cast<uint32_t>(towupper_l(static_cast<wint_t>(wide), unicode));
        if (upper == wide) continue;
        char out[4];
        from = reinterpret_cast<char *>(&upper);
        to = out;
        left = sizeof upper;
        room = sizeof out;
        if (iconv(encode, &from, &left, &to, &room) == static_cast<size_t>(-1) ||
            sizeof out - room != inLength)
            continue;  // no such upper-case character in this code page
        table[c] = static_cast<uint16_t>(inLength == 2 ? static_cast<unsigned char>(out[0]) << 8 |
                                                             static_cast<unsigned char>(out[1])
                                                       : static_cast<unsigned char>(out[0]));
    }
    iconv_close(decode);
    iconv_close(encode);
    freelocale(unicode);
    return table;
}

}  // namespace

std::string Upper(std::string s)
{
    const std::vector<uint16_t> &table = UpperCase(m.codePage);
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            s[i] = static_cast<char>(std::toupper(c));
        } else if (IsLead(c) && i + 1 < s.size()) {
            const uint16_t upper = table[static_cast<size_t>(c) << 8 | static_cast<unsigned char>(s[i + 1])];
            s[i] = static_cast<char>(upper >> 8);
            s[++i] = static_cast<char>(upper & 0xFF);
        } else if (!IsLead(c)) {
            s[i] = static_cast<char>(table[c]);
        }
    }
    return s;
}

std::string QuoteBytes(const std::string &bytes)
{
    std::string out(bytes.size() * 4 + 4, '\0');  // room for every byte as \xHH
    out.resize(QuoteInto(&out[0], static_cast<unsigned>(out.size()), bytes.data(), static_cast<unsigned>(bytes.size())));
    return out;
}

std::string Quote(const char *s) { return s ? QuoteBytes(s) : "NULL"; }

std::string Hex(uint32_t v)
{
    char buf[16];
    (void)std::snprintf(buf, sizeof buf, "0x%X", v);  // always fits
    return buf;
}

void Record(const char *name, const std::vector<std::string> &arguments, const std::string &result,
            const std::string &output, const std::string &target, const std::string &opened)
{
    m.calls.push_back(sim::Call{name, arguments, result, output, target, opened});
}

namespace {

// What the disk holds once the power has gone: see sim::CutPowerAt.
void LoseWhatWasNotCommitted()
{
    const std::string stale = sim::kStaleBytes;
    for (const auto &file : m.uncommitted) {
        auto it = m.files.find(file.first);
        if (it == m.files.end()) continue;
        for (size_t i = 0; i < it->second.size(); ++i)
            it->second[i] = i < file.second.size() ? file.second[i] : stale[i % stale.size()];
    }
    m.uncommitted.clear();
    m.keys = m.committedKeys;
}

}  // namespace

// Counts a failable call and says whether it is to fail, and with what error.
LONG Injected(const char *name)
{
    ++m.failable;
    if (m.failable == m.registryCommittedAt) m.committedKeys = m.keys;
    if (m.failable == m.cutPosition) {
        LoseWhatWasNotCommitted();
        throw sim::PowerCut();
    }
    if (m.failable == m.failPosition) return m.failPositionError;
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

BOOL IsDBCSLeadByte(BYTE c) { return IsLead(c); }
UINT GetACP() { return m.codePage; }
UINT GetOEMCP() { return m.oemCodePage; }

namespace sim {

const UINT kDoubleBytePages[] = {932, 936, 949, 950};
const char *const kFailableCalls[] = {
    "RegOpenKeyExA", "RegQueryValueExA",     "RegCreateKeyExA",      "RegSetValueExA",
    "RegCloseKey",   "RegDeleteKeyA",        "GetSystemDirectoryA",  "GetWindowsDirectoryA",
    "DeleteFileA",   "RemoveDirectoryA",     "CreateFileA",          "WriteFile",
    "FlushFileBuffers", "CloseHandle",       "GetMessageA",          nullptr};
const char kStaleBytes[] = "<stale>";

void Reset() { m = Machine(); }

void SetCodePage(UINT codePage)
{
    static const std::map<UINT, UINT> kOemPages = {{1250, 852}, {1251, 866}, {1252, 437}, {1253, 737},
                                                   {1254, 857}, {1255, 862}, {1256, 720}, {1257, 775}};
    auto oem = kOemPages.find(codePage);
    m.codePage = codePage;
    m.oemCodePage = oem == kOemPages.end() ? codePage : oem->second;
}


std::vector<std::string> Dump()
{
    std::vector<std::string> out;
    for (const auto &k : m.keys) {
        out.push_back("key " + k.second.name);
        for (const auto &v : k.second.values)
            // cppcheck-suppress useStlAlgorithm ; a loop of one line reads plainer than a transform
            out.push_back("value " + k.second.name + " : " + v.second.name + " = " +
                          std::to_string(v.second.type) + " " +
                          QuoteBytes(v.second.bytes) + " [" +
                          std::to_string(v.second.bytes.size()) + "]");
    }
    // cppcheck-suppress useStlAlgorithm ; a loop of one line reads plainer than a transform
    for (const auto &d : m.directories) out.push_back("folder " + d.second);
    for (const auto &f : m.files)
        // cppcheck-suppress useStlAlgorithm ; a loop of one line reads plainer than a transform
        out.push_back("file " + m.fileNames[f.first] + " [" + std::to_string(f.second.size()) +
                      "] " + QuoteBytes(f.second) + (m.readOnly.count(f.first) ? " read-only" : ""));
    std::sort(out.begin(), out.end());
    return out;
}

std::string Line(const Call &call)
{
    std::string line = call.name + "(";
    for (size_t i = 0; i < call.arguments.size(); ++i) line += (i ? ", " : "") + call.arguments[i];
    line += ")";
    if (!call.result.empty()) line += " = " + call.result;
    if (!call.opened.empty()) line += " -> " + call.opened;
    if (!call.output.empty()) line += " " + call.output;
    return line;
}

const std::vector<Call> &Calls() { return m.calls; }

std::vector<std::string> CallLines()
{
    std::vector<std::string> out;
    out.reserve(m.calls.size());
    // cppcheck-suppress useStlAlgorithm ; a loop of one line reads plainer than a transform
    for (const Call &c : m.calls) out.push_back(Line(c));
    return out;
}

std::string Escape(const std::string &bytes)
{
    const std::string quoted = QuoteBytes(bytes);
    return quoted.substr(1, quoted.size() - 2);
}

std::vector<std::string> CallsNamed(const std::string &name)
{
    std::vector<std::string> out;
    for (const Call &c : m.calls)
        if (c.name == name) out.push_back(Line(c));
    return out;
}

// Refuses a fault that would never be injected.
static void Require(bool sound, const std::string &what)
{
    if (!sound) throw Misuse("the simulator: " + what);
}

void FailCall(int position, LONG error)
{
    m.failPosition = position;
    m.failPositionError = error;
}

void FailEvery(const std::string &name, LONG error) { m.failNames[name] = error; }

int FailableCallCount() { return m.failable; }
void CutPowerAt(int position, int registryCommittedAt)
{
    Require(position >= 1 && registryCommittedAt >= 0 && registryCommittedAt <= position,
            "CutPowerAt(" + std::to_string(position) + ", " + std::to_string(registryCommittedAt) +
                "): a cut at a failable call from 1, the registry committed at none of them (0) or before it");
    m.cutPosition = position;
    m.registryCommittedAt = registryCommittedAt > 0 ? registryCommittedAt : position;
}

void StartProcess()
{
    Machine next;
    next.nt = m.nt;
    next.codePage = m.codePage;
    next.oemCodePage = m.oemCodePage;
    next.commandLine = m.commandLine;
    next.systemDir = m.systemDir;
    next.windowsDir = m.windowsDir;
    next.currentDir = m.currentDir;
    next.keys = m.keys;
    next.files = m.files;
    next.fileNames = m.fileNames;
    next.directories = m.directories;
    next.readOnly = m.readOnly;
    next.held = m.held;
    next.nextHandle = m.nextHandle;
    next.uncommitted = m.uncommitted;  // the cache outlives the process, not the power
    m = next;
}

}  // namespace sim
