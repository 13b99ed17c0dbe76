// What the platform contract needs besides the calls under test: a sandbox of
// the machine to set up before each case and to look at after it. One
// implementation over the simulator (stage_sim.cpp), one over Windows itself
// (stage_win32.cpp); contract.cpp runs the same cases over either.
#ifndef ZOVOVAR_CONTRACT_STAGE_H
#define ZOVOVAR_CONTRACT_STAGE_H

// Everything a case touches lies below these two.
#define STAGE_FOLDER "C:\\ZC"
#define STAGE_KEY "Software\\ZovovarContract"

// Reads the mode from the command line (the simulator's: --nt, --cp N) and
// says it in one line: "platform 9x|nt cp N".
void StageBegin(int argc, char **argv);
// An empty sandbox: the folder and the key, and nothing below them.
void StageReset();
void StageFolder(const char *path);
void StageFile(const char *path, const char *bytes, unsigned count, int readOnly);
void StageKey(const char *path);
void StageValue(const char *key, const char *name, unsigned long type, const char *bytes,
                unsigned count);
// Holds a file open (for writing, shared for reading) until StageRelease.
void StageHold(const char *path);
void StageRelease();
// Everything below the sandbox, one line each through Say, in any order:
// "folder P", "file P [n] BYTES" (" read-only" after), "key K",
// "value K : NAME = TYPE BYTES [n]"; BYTES as C escapes in quotes.
void StageDump();
// Writes one whole line of output.
void StageWrite(const char *line);

// From contract.cpp, for the dumps: one line of the current case, and bytes
// quoted as C escapes.
void Say(const char *line);
void QuoteInto(char *out, unsigned size, const char *bytes, unsigned count);

#endif
