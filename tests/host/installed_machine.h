// A simulated Windows 98 machine with the camera's driver package installed,
// beside neighbours that belong to others and must survive an uninstall.
#ifndef ZOVOVAR_INSTALLED_MACHINE_H
#define ZOVOVAR_INSTALLED_MACHINE_H

#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace fixture {

extern const char kInstallFolder[];     // as the Path value spells it, with its backslash
extern const char kStartMenuFolder[];   // the Folder Name value
extern const char kEsdiId[];            // the service key's ID value
extern const char kAppPathsKey[];
extern const char kServiceKey[];
extern const char kStartMenuKey[];
extern const char kRunOnceKey[];

// Resets the simulator and installs the product and its neighbours.
void InstallProduct();
// Resets the simulator and installs only the neighbours.
void InstallNeighboursOnly();

// The lines of sim::Dump() that name the product's own items.
bool IsProducts(const std::string &dumpLine);

// Lines in `before` missing from `after`, and lines in `after` not in `before`.
std::vector<std::string> Removed(const std::vector<std::string> &before,
                                 const std::vector<std::string> &after);
std::vector<std::string> Added(const std::vector<std::string> &before,
                               const std::vector<std::string> &after);

}  // namespace fixture

#endif
