// What the platform contract needs besides the calls under test: a sandbox of
// the machine to set up before each case and to look at after it. One
// implementation over the simulator (stage_sim.cpp), one over Windows itself
// (stage_win32.cpp); runner.cpp runs the same cases over either.
#ifndef ZOVOVAR_CONTRACT_STAGE_H
#define ZOVOVAR_CONTRACT_STAGE_H

// Everything a case touches lies below these two.
#define STAGE_FOLDER "C:\\ZC"
#define STAGE_KEY "Software\\ZovovarContract"

// Reads the mode from the command line (the simulator's: --nt, --cp N) and says
// it: "platform 9x|nt cp N"; the simulator then "double-byte 932 936 ...".
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
// ---- Whole runs of the product on a machine that is drawn --------------------
// What a machine may hold and a run may touch: a folder, the product's files in
// the system folders (and the neighbours there), and these keys; and the
// RunOnce value, read alone. The machines themselves come from the one
// description of the installed machine (tests/fixture/installed.py).
#define MACHINE_FOLDER "C:\\ZM"
// DESCRIBED_SYSTEM_FILES: the described machine's files in the system
// folders; DESCRIBED_KEY_ROOTS: the keys that hold its keys and values;
// DESCRIBED_*: its items that the checks know by a role.
#include "described.h"

// Nothing of a machine left: no folder, file, key or value above.
void StageMachineReset();
// Runs the product silently (/M) on the machine, to its end.
void StageRunProduct();
// The machine as StageDump writes the sandbox, and "runonce TYPE BYTES [n]".
void StageMachineDump();
// Reads a whole file into buffer (at most size - 1 bytes, then a zero);
// returns the count, or -1 when it cannot be read.
long StageReadFile(const char *path, char *buffer, unsigned long size);

// Writes one whole line of output.
void StageWrite(const char *line);

// From output.cpp, for the dumps: one line of the current case.
void Say(const char *line);
// Bytes quoted as C escapes, as the simulator's call record quotes them.
#include "sim/quoted.h"

#endif
