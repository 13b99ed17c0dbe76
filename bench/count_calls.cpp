// Counts the platform calls of one silent run on a machine with the product
// installed, as the simulated subset records them (each is needed: the host
// test FullRun.MakesExactlyTheseCalls lists them). With --names, prints the
// name of every call a whole run makes (confirmed, with a message waiting
// before the quit message), one a line, for the check against the exe's
// import table.
#include <cstdio>
#include <cstring>
#include <set>

#include "app.h"
#include "installed_machine.h"

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
    std::printf("%zu\n", sim::Calls().size());
    return 0;
}
