// Raw command line -> tail -> switches, checked against a plain reading of the
// rules: the program's name is a quoted string or a run of bytes above 0x20, the
// blanks after it go, and each space-separated token that starts with / or -
// sets the switch its second character names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "switches.h"

static std::string ReferenceTail(const std::string &line)
{
    size_t i = 0;
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        i = close == std::string::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && (unsigned char)line[i] > 0x20) ++i;
    }
    while (i < line.size() && (unsigned char)line[i] <= 0x20) ++i;
    return line.substr(i);
}

static SwitchSet ReferenceSwitches(const std::string &tail)
{
    SwitchSet s = {0, 0};
    size_t start = 0;
    while (start <= tail.size()) {
        size_t end = tail.find(' ', start);
        std::string token = tail.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (token.size() >= 2 && (token[0] == '/' || token[0] == '-')) {
            if (token[1] == 'D' || token[1] == 'd') s.keepSelf = 1;
            if (token[1] == 'M' || token[1] == 'm') s.silent = 1;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return s;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string line((const char *)data, size);
    line = line.substr(0, line.find('\0'));  // a command line ends at its first zero
    const char *tail = CommandTail(line.c_str());
    if (tail != ReferenceTail(line)) {
        std::fprintf(stderr, "tail %s differs from %s\n", tail, ReferenceTail(line).c_str());
        std::abort();
    }
    SwitchSet got = ParseSwitches(tail), want = ReferenceSwitches(tail);
    if (got.silent != want.silent || got.keepSelf != want.keepSelf) {
        std::fprintf(stderr, "switches %d%d, expected %d%d for tail %s\n", got.silent,
                     got.keepSelf, want.silent, want.keepSelf, tail);
        std::abort();
    }
    return 0;
}
