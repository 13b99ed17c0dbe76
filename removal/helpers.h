// Small pieces the removal steps share: bounded text joins, reading a text
// value safely, and removing a key that may be absent.
#ifndef ZOVOVAR_HELPERS_H
#define ZOVOVAR_HELPERS_H

#include "platform.h"

// Writes a, b, c and d one after the other into out (size bytes with the
// terminating zero). Returns 1, or 0 with out empty when the text does not fit:
// a cut path would name another file, so callers skip the operation instead.
int JoinText(char *out, unsigned size, const char *a, const char *b, const char *c = "",
             const char *d = "");

// Reads the value `name` of an open key as text into buf (size bytes). Returns
// the byte count including the terminating zero, or 0 when the value is missing
// or leaves no room for a zero. Data stored without a zero is read as though its
// zero followed the last byte, so the text always ends inside buf.
DWORD ReadTextValue(HKEY key, const char *name, char *buf, DWORD size);

// Deletes the key at path under HKEY_LOCAL_MACHINE only if it can be opened.
void RemoveKeyIfPresent(const char *path);

// 1 when text ends with the given suffix, byte for byte.
int EndsWith(const char *text, unsigned length, const char *suffix);

unsigned TextLength(const char *text);

#endif
