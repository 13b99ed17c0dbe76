#include "helpers.h"

unsigned TextLength(const char *text)
{
    unsigned n = 0;
    while (text[n]) ++n;
    return n;
}

int JoinText(char *out, unsigned size, const char *a, const char *b, const char *c, const char *d)
{
    const char *parts[4] = {a, b, c, d};
    unsigned n = 0;
    for (int i = 0; i < 4; ++i)
        for (const char *p = parts[i]; *p; ++p) {
            if (n + 1 >= size) {
                out[0] = '\0';
                return 0;
            }
            out[n++] = *p;
        }
    out[n] = '\0';
    return 1;
}

DWORD ReadTextValue(HKEY key, const char *name, char *buf, DWORD size)
{
    DWORD type;
    DWORD count = size;
    if (RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<LPBYTE>(buf), &count) != ERROR_SUCCESS)
        return 0;
    if (count > size) return 0;
    if (count == 0 || buf[count - 1] != '\0') {
        if (count >= size) return 0;
        buf[count++] = '\0';
    }
    return count;
}

void RemoveKeyIfPresent(const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
}

int EndsWith(const char *text, unsigned length, const char *suffix)
{
    const unsigned n = TextLength(suffix);
    if (length < n) return 0;
    for (unsigned i = 0; i < n; ++i)
        if (text[length - n + i] != suffix[i]) return 0;
    return 1;
}

const char *NextChar(const char *c) { return IsDBCSLeadByte((BYTE)*c) && c[1] ? c + 2 : c + 1; }

int StartsCharacter(const char *text, unsigned at)
{
    unsigned i = 0;
    while (i < at) i = (unsigned)(NextChar(text + i) - text);
    return i == at;
}

int IsWholeName(const char *text)
{
    int named = 0;
    for (const char *c = text; *c; c = NextChar(c)) {
        if (IsDBCSLeadByte((BYTE)*c) && !c[1]) return 0;
        if (*c != '\\') named = 1;
    }
    return named;
}
