// The contract's output, formatted here alone. No standard header: on Windows
// the program's own FILE stands in for the C runtime's.
#include "output.h"

#include "platform.h"
#include "stage.h"

namespace {

char line[8192];
unsigned used;
const char *caseId = "";

}  // namespace

void BeginLines(const char *id) { caseId = id; }

void Put(const char *s)
{
    while (*s && used + 1 < sizeof line) line[used++] = *s++;
}

void PutNumber(long long v)
{
    char digits[24];
    int n = 0;
    unsigned long long u = v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    do digits[n++] = static_cast<char>('0' + u % 10); while (u /= 10);
    if (v < 0) Put("-");
    char out[2] = {0, 0};
    while (n) {
        out[0] = digits[--n];
        Put(out);
    }
}

void PutBytes(const char *bytes, unsigned count)
{
    char quoted[2048];
    QuoteInto(quoted, sizeof quoted, bytes, count);
    Put(quoted);
}

void End()
{
    line[used] = '\0';
    char out[sizeof line + 64];
    unsigned n = 0;
    for (const char *p = caseId; *p; ++p) out[n++] = *p;
    out[n++] = ':';
    out[n++] = ' ';
    for (unsigned i = 0; i <= used; ++i) out[n++] = line[i];
    StageWrite(out);
    used = 0;
}

void Say(const char *text)
{
    // Names are raw bytes: escaped as the rest of the line.
    static const char digits[] = "0123456789ABCDEF";
    Put("after ");
    for (const char *c = text; *c; ++c) {
        BYTE b = static_cast<BYTE>(*c);
        char out[5] = {*c, 0, 0, 0, 0};
        if (b < 0x20 || b >= 0x7F) {
            out[0] = '\\';
            out[1] = 'x';
            out[2] = digits[b >> 4];
            out[3] = digits[b & 15];
        }
        Put(out);
    }
    End();
}
