// Counts the platform calls of one silent run on a machine with the product
// installed, as the simulated subset records them. With --names, prints the
// name of every call a whole run makes (confirmed, with a message waiting
// before the quit message), one a line, for the check against the exe's
// import table.
#include <cstdio>
#include <cstring>
#include <set>

#include "app.h"
#include "installed_machine.h"

// The calls the uninstaller cannot do without on a fully installed machine:
//   2  the command line and the module handle
//   3  icon, cursor and class registration
//   9  system folder, 2 driver files, Windows folder twice, 4 setup files
//   2  App Paths: open, read Path
//   7  script: create, 3 lines and 2 line ends, close
//   3  RunOnce: create the key, set the value, close
//   4  uninst.isu, Readme.txt, close and delete App Paths
//  13  two USB keys (open, close, delete each), service key: open, read ID,
//      ESDI key (open, close, delete), close, delete
//   8  Startmenu: open, read, 2 shortcuts, 2 folders, close, delete
//   9  three product keys: open, close, delete each
//   3  post the quit message, fetch it, exit
static const int kRequired = 2 + 3 + 9 + 2 + 7 + 3 + 4 + 13 + 8 + 9 + 3;

int main(int argc, char **argv)
{
    fixture::InstallProduct();
    if (argc > 1 && std::strcmp(argv[1], "--names") == 0) {
        sim::AnswerMessageBoxes({IDOK, IDOK});
        sim::QueueMessage(WM_NULL);
        fixture::RunUninstaller("");
        std::set<std::string> names;
        for (const sim::Call &call : sim::Calls()) names.insert(call.name);
        for (const std::string &name : names) std::printf("%s\n", name.c_str());
        return 0;
    }
    fixture::RunUninstaller("/M");
    std::printf("%zu %d\n", sim::Calls().size(), kRequired);
    return 0;
}
