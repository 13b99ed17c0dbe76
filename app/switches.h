// The command line: the tail after the program's name, and the two switches.
#ifndef ZOVOVAR_SWITCHES_H
#define ZOVOVAR_SWITCHES_H

struct SwitchSet {
    int silent;    // /M: no confirmation, no success message
    int keepSelf;  // /D: no self-deletion script, no RunOnce entry
};

// The command line without the program's name and the blanks after it.
const char *CommandTail(const char *commandLine);

SwitchSet ParseSwitches(const char *tail);

#endif
