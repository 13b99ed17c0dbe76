// The uninstall sequence and its four removal steps. Each step is best-effort:
// what is missing or cannot be deleted is skipped, and nothing is reported.
#ifndef ZOVOVAR_UNINSTALL_H
#define ZOVOVAR_UNINSTALL_H

// Runs the four steps once each, in this order.
void RunUninstall(int keepSelf);

void RemoveDriverAndProgramFiles(int keepSelf);
void RemoveDeviceRegistration();
void RemoveStartMenuEntries();
void RemoveProductRegistration();

#endif
