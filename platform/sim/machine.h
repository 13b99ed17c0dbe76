// What the parts of the simulated machine share: its state, the call record
// and fault injection. The logic and the tests see only win32_sim.h.
#ifndef ZOVOVAR_SIM_MACHINE_H
#define ZOVOVAR_SIM_MACHINE_H

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "quoted.h"
#include "win32_sim.h"

namespace simulated {

struct Value {
    std::string name;
    DWORD type;
    std::string bytes;
};

struct Key {
    std::string name;                    // as first written
    std::map<std::string, Value> values;  // by upper-case name
};

struct Machine {
    bool nt = false;
    UINT codePage = 1252;
    UINT oemCodePage = 437;
    std::string commandLine = "zovovar.exe";
    std::string systemDir = "C:\\WINDOWS\\SYSTEM";
    std::string windowsDir = "C:\\WINDOWS";
    std::string currentDir = "C:\\WORK";
    std::map<std::string, Key> keys;                 // by upper-case path
    std::map<std::string, std::string> files;        // upper-case path -> bytes
    std::map<std::string, std::string> fileNames;    // upper-case path -> as written
    std::map<std::string, std::string> directories;  // upper-case path -> as written
    std::set<std::string> readOnly;                  // upper-case paths of read-only files
    std::set<std::string> held;                      // files another program holds open
    std::map<uintptr_t, std::string> openKeys;       // handle -> upper-case path
    std::set<uintptr_t> deletedKeys;                 // open handles whose key was deleted
    uintptr_t nextHandle = 1;
    std::map<uintptr_t, std::string> openFiles;  // CreateFileA handle -> upper-case path
    // Files written since their last flush -> the bytes their clusters hold on disk.
    std::map<std::string, std::string> uncommitted;
    std::deque<int> answers;
    std::deque<UINT> queued;
    std::set<std::string> classes;  // registered window classes, by upper-case name
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<sim::Call> calls;
    int failable = 0;
    int failPosition = 0;
    int cutPosition = 0;
    int registryCommittedAt = 0;
    std::map<std::string, Key> committedKeys;  // the registry as 9x last wrote it out
    LONG failPositionError = 0;
    std::map<std::string, LONG> failNames;
    int badHandles = 0;
    int keysOpenedTwice = 0;  // opens of a key already open (9x modes)
};

extern Machine m;

// Text is read by characters of the machine's ANSI code page, as Windows reads
// it: only a byte that begins a character can be a backslash, and only
// single-byte letters have a case.
bool IsLead(unsigned char c);
std::vector<bool> CharacterStarts(const std::string &text);
bool IsSeparator(const std::string &text, size_t i, const std::vector<bool> &starts);
size_t LastSeparator(const std::string &text);  // npos if none
std::string Upper(std::string s);
// Bytes as C source would write them, so a recorded call reads unambiguously.
std::string QuoteBytes(const std::string &bytes);
std::string Quote(const char *s);
std::string Hex(uint32_t v);
// Records a call: see sim::Call.
void Record(const char *name, const std::vector<std::string> &arguments, const std::string &result = "",
            const std::string &output = "", const std::string &target = "", const std::string &opened = "");
// Counts a failable call and says whether it is to fail, and with what error.
LONG Injected(const char *name);
// Whether path lies below parent (both upper case, backslash-separated).
bool IsBelow(const std::string &path, const std::string &parent);

}  // namespace simulated

#endif
