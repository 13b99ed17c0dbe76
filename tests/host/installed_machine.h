// A simulated Windows 98 machine with the camera's driver package installed,
// beside neighbours that belong to others and must survive an uninstall.
#ifndef ZOVOVAR_INSTALLED_MACHINE_H
#define ZOVOVAR_INSTALLED_MACHINE_H

#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace fixture {

extern const char kStartMenuFolder[];   // the Folder Name value
extern const char kAppPathsKey[];
extern const char kServiceKey[];
extern const char kStartMenuKey[];
extern const char kRunOnceKey[];

// Resets the simulator and installs the product and its neighbours.
void InstallProduct();
// Resets the simulator and installs only the neighbours.
void InstallNeighboursOnly();

// The paths of the product's files on the installed machine.
std::vector<std::string> ProductFiles();

// Starts zovovar.exe as Explorer does, its quoted path and then `switches`
// on the command line, and runs it through its entry to its exit: the exit code.
int RunUninstaller(const char *switches);

// The lines of sim::Dump() that name the product's own items.
bool IsProducts(const std::string &dumpLine);

// Lines in `before` missing from `after`, and lines in `after` not in `before`.
std::vector<std::string> Removed(const std::vector<std::string> &before,
                                 const std::vector<std::string> &after);
std::vector<std::string> Added(const std::vector<std::string> &before,
                               const std::vector<std::string> &after);

// What a run may act on, from the machine as it is before the run: the text of
// "Path", "Folder Name" and "ID" as stored (up to a zero), and the system folders.
struct Scope {
    std::string path, folderName, esdiId, systemDir, windowsDir;
};
Scope ScopeNow();

// Everything wrong with a run, from the state before and after it and the calls
// it made; empty for a sound run. A sound run deletes only the product's items
// (and the ESDI entry that the ID names), acts on files only at the product's
// whole names in the folders the scope names (the install folder is "Path"
// without one trailing backslash character, and neither it nor the Start-menu
// folder may be empty or backslashes only), writes only its script there and
// the RunOnce value for it, leaves no problem ScheduleProblems sees,
// closes every key it opened exactly once, and never opens a key that it
// holds open already (on Windows 9x the two handles would be one).
std::vector<std::string> Violations(const std::vector<std::string> &before,
                                    const std::vector<std::string> &after,
                                    const std::vector<sim::Call> &calls, const Scope &scope);

// What is wrong with the RunOnce value as the machine holds it now, if there
// is one: it must name the whole script of a folder the scope allows, which
// COMMAND.COM runs as written (no line or tail that it cuts, nothing that it
// reads as other characters in the OEM code page). Violations holds a run to
// it; a power cut must leave it empty too.
std::vector<std::string> ScheduleProblems(const Scope &scope);

// The bytes of the self-deletion script for an install folder.
std::string ScriptFor(const std::string &folder);

// A table row's description as the name of its test case: letters and digits
// kept, every other run of bytes one underscore.
std::string CaseName(const std::string &what);
// A row's text itself as a case name, every byte kept apart: letters and
// digits as they are, any other byte a word between underscores ("/m" is
// "_slash_m"), so two texts never share a name.
std::string Spelled(const std::string &text);

// The record of RegDeleteKeyA deleting each of keys below HKLM, in order.
std::vector<std::string> KeyDeletes(const std::vector<std::string> &keys);

}  // namespace fixture

#endif
