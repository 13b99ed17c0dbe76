// The contract's output: one line at a time, each "ID: TEXT" for the case
// that runs, numbers and bytes written the one way (bytes as the simulator's
// call record quotes them).
#ifndef ZOVOVAR_CONTRACT_OUTPUT_H
#define ZOVOVAR_CONTRACT_OUTPUT_H

// The case (or machine) the lines that follow belong to.
void BeginLines(const char *id);
void Put(const char *text);
void PutNumber(long long value);
void PutBytes(const char *bytes, unsigned count);
// Ends the line and writes it.
void End();

#endif
