#include "switches.h"

// Every byte of code 0x20 or less counts as a blank here; bytes from 0x7F up
// are ordinary characters, so the comparisons are unsigned.
static int IsBlank(unsigned char c) { return c != '\0' && c <= ' '; }

const char *CommandTail(const char *commandLine)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(commandLine);
    if (*p == '"') {
        // A quoted name ends at its closing quote; without one it is the whole line.
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p > ' ') ++p;
    }
    while (IsBlank(*p)) ++p;
    return reinterpret_cast<const char *>(p);
}

SwitchSet ParseSwitches(const char *tail)
{
    SwitchSet set = {0, 0};
    int atTokenStart = 1;
    for (const char *c = tail; *c; ++c) {
        if (*c == ' ') {  // only the space separates tokens
            atTokenStart = 1;
            continue;
        }
        if (atTokenStart && (*c == '/' || *c == '-')) {
            const char n = c[1];
            if (n == '\0') break;
            if (n == 'D' || n == 'd') {
                set.keepSelf = 1;
                ++c;
            } else if (n == 'M' || n == 'm') {
                set.silent = 1;
                ++c;
            }
        }
        atTokenStart = 0;
    }
    return set;
}
