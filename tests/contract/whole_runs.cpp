// Whole runs: the product on machines drawn by whole_runs.py, each dumped
// after it ran, for whole_runs.py to compare the two builds' ends.
#include "contract.h"
#include "output.h"
#include "stage.h"

namespace {

// The file holds machines, each "m ID" and then its items (as a
// case's state). For each, the product runs on it and what is left is dumped.
char machines[4 << 20];

}  // namespace

int RunMachines(const char *path)
{
    if (StageReadFile(path, machines, sizeof machines) < 0) {
        BeginLines("error");
        Put("cannot read the machines");
        End();
        return 1;
    }
    const char *at = machines;
    while (at[0] == 'm' && at[1] == ' ') {
        char id[64];
        unsigned n = 0;
        for (at += 2; *at && *at != '\n'; ++at)
            if (n + 1 < sizeof id) id[n++] = *at;
        id[n] = '\0';
        if (*at) ++at;
        BeginLines(id);
        StageMachineReset();
        at = StageItems(at);
        StageRunProduct();
        StageMachineDump();
    }
    BeginLines("end");
    StageMachineReset();
    Put("done");
    End();
    return 0;
}

