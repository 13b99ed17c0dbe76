// Prints the name of every call a whole run of the host build makes
// (confirmed, with a message waiting before the quit message), one a line,
// for the check against the exe's import table.
#include <cstdio>
#include <set>

#include "app.h"
#include "installed_machine.h"

int main()
{
    fixture::InstallProduct();
    sim::AnswerMessageBoxes({IDOK, IDOK});
    sim::QueueMessage(WM_NULL);
    fixture::RunUninstaller("");
    std::set<std::string> names;
    for (const sim::Call &call : sim::Calls()) names.insert(call.name);
    for (const std::string &name : names) std::printf("%s\n", name.c_str());
    return 0;
}
