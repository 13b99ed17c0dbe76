// What the contract's parts share besides the cases and the output.
#ifndef ZOVOVAR_CONTRACT_CONTRACT_H
#define ZOVOVAR_CONTRACT_CONTRACT_H

// Sets up the items of a state (see Case::state), up to its end or a line that
// begins a machine ("m ID"); returns where it stopped.
const char *StageItems(const char *state);
// Runs the product on each machine of the file at path, dumping each after.
int RunMachines(const char *path);

#endif
