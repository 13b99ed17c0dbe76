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

// Text from the registry is read by characters of the system's ANSI code page:
// on Japanese and Chinese Windows the second byte of a character may be 0x5C
// (a backslash) or 0x7C. A lead byte followed by the terminating zero is a
// character of its own, and the text ends after it.
const char *NextChar(const char *c);

// 1 when a character begins at byte `at` of text, reading from its start; a
// zero before `at` counts as a character, so `at` may lie past the text's end.
int StartsCharacter(const char *text, unsigned at);

// 1 when text can name a folder or key to act in: it is not empty, not made of
// backslashes only (the root of the current drive, a whole registry branch, or
// no path at all), and does not end in half a character, which would swallow
// the backslash of whatever is appended to it.
int IsWholeName(const char *text);

unsigned TextLength(const char *text);

#endif
