// A whole uninstall, through the program's entry, with one registry, file or
// folder call failing (a write failing or writing short), for every call of a
// clean run in turn, then with every call of one kind failing. The run must
// still end well and must harm nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <set>

#include "app.h"
#include "installed_machine.h"

namespace {

struct Outcome {
    int exitCode;
    fixture::Scope scope;
    std::vector<std::string> before, after;
    std::vector<sim::Call> calls;
};

Outcome UninstallConfirmed(const std::function<void()> &faults)
{
    fixture::InstallProduct();
    sim::AnswerMessageBoxes({IDOK, IDOK});
    faults();
    Outcome run;
    run.scope = fixture::ScopeNow();
    run.before = sim::Dump();
    run.exitCode = fixture::RunUninstaller("");
    run.after = sim::Dump();
    run.calls = sim::Calls();
    return run;
}

// A call without its result and with key handles unnumbered, to compare runs.
std::string Action(sim::Call call)
{
    for (std::string &argument : call.arguments)
        if (argument.compare(0, 4, "hkey") == 0) argument = "hkey";
    call.result = call.output = call.opened = "";
    return sim::Line(call);
}

// What a failure may add to the calls of a clean run: removing a script that
// could not be written whole, and the set and close that act on no key when the
// RunOnce key could not be created.
bool AllowedExtra(const std::string &action)
{
    return action == "DeleteFileA(\"" + sim::Escape(fixture::ScriptPath(fixture::kInstallFolder)) + "\")" ||
           action.rfind("RegSetValueExA(NULL, ", 0) == 0 || action == "RegCloseKey(NULL)";
}

void ExpectHarmless(const Outcome &run, const std::set<std::string> &cleanActions,
                    const std::string &what)
{
    EXPECT_EQ(0, run.exitCode) << what;
    EXPECT_EQ(sim::CallsNamed("MessageBoxA"), std::vector<std::string>(
        {R"(MessageBoxA(NULL, "Are you sure you want to completely remove \nthe USB Host Driver for Picaro 2400R?", "Uninstaller", 0x41) = 1)",
         R"(MessageBoxA(NULL, "Uninstall succeeded!\nPlease restart Windows.", "Uninstaller", 0x40) = 1)"}))
        << what;
    EXPECT_EQ(std::vector<std::string>(),
              fixture::Violations(run.before, run.after, run.calls, run.scope))
        << what;
    for (const sim::Call &c : run.calls)
        EXPECT_TRUE(cleanActions.count(Action(c)) || AllowedExtra(Action(c))) << what << ": " << sim::Line(c);
}

TEST(FaultInjection, NoSingleFailureOrFailingKindDoesHarm)
{
    const Outcome clean = UninstallConfirmed([] {});
    ASSERT_TRUE(fixture::Violations(clean.before, clean.after, clean.calls, clean.scope).empty());
    const int positions = sim::FailableCallCount();
    std::set<std::string> cleanActions;
    for (const sim::Call &c : clean.calls) cleanActions.insert(Action(c));
    ASSERT_GT(positions, 50);

    int runs = 0;
    // ERROR_DISK_FULL makes a WriteFile write short; kSuccessPastTheBuffer
    // makes a RegQueryValueExA succeed with a count past the buffer.
    const LONG errors[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA, ERROR_DISK_FULL,
                           sim::kSuccessPastTheBuffer};
    for (int position = 1; position <= positions; ++position)
        for (LONG error : errors) {
            Outcome run = UninstallConfirmed([&] { sim::FailCall(position, error); });
            ExpectHarmless(run, cleanActions, "call " + std::to_string(position) + " fails with " +
                                           std::to_string(error));
            ++runs;
        }
    for (const char *const *kind = sim::kFailableCalls; *kind; ++kind)
        for (LONG error : errors) {
            Outcome run = UninstallConfirmed([&] { sim::FailEvery(*kind, error); });
            ExpectHarmless(run, cleanActions, std::string("every ") + *kind + " fails with " +
                                           std::to_string(error));
            ++runs;
        }
    const int kinds = static_cast<int>(sizeof errors / sizeof errors[0]);
    std::printf("fault-injection runs: %d (%d call positions and %d kinds, %d errors each)\n", runs,
                positions, runs / kinds - positions, kinds);
    RecordProperty("fault_injection_runs", runs);
}

// The power goes at each call of a silent run in turn, with what Windows 9x
// had not committed lost: the bytes of every file written since its last
// flush, and the registry's changes since 9x last wrote it out, at any call
// before the cut (sim::CutPowerAt), each state it passed through tried. Windows starts again: no RunOnce value may
// name a script that is not whole and readable as written. Then the user runs
// the uninstaller once more. That run must end where one uninterrupted run
// ends: nothing of it missing, and nothing more but what a second run leaves
// anyway, the first run's script and RunOnce value.
TEST(FaultInjection, ARunCutShortAtAnyCallThenRunAgainEndsAsOneWholeRun)
{
    auto run = [] { return fixture::RunUninstaller("/M"); };
    auto leftOverByAFirstRun = [](const std::string &line) {
        const std::string script = "file " + fixture::ScriptPath(fixture::kInstallFolder) + " [";
        const std::string value = std::string("value ") + fixture::kRunOnceKey + " : " + fixture::kRunOnceValue + " = ";
        return line.compare(0, script.size(), script) == 0 || line.compare(0, value.size(), value) == 0;
    };
    fixture::InstallProduct();
    ASSERT_EQ(0, run());
    const std::vector<std::string> whole = sim::Dump();
    const int positions = sim::FailableCallCount();
    ASSERT_GT(positions, 50);
    // Where 9x may have last written the registry out: before the first call,
    // and after each call that changed it (between two such, it is the same).
    std::vector<int> commits;
    std::vector<std::string> previous;
    for (int position = 1; position <= positions; ++position) {
        fixture::InstallProduct();
        sim::CutPowerAt(position);
        EXPECT_THROW(run(), sim::PowerCut) << position;
        std::vector<std::string> registry;
        for (const std::string &line : sim::Dump())
            if (line.rfind("key ", 0) == 0 || line.rfind("value ", 0) == 0) registry.push_back(line);
        if (commits.empty() || registry != previous) commits.push_back(position);
        previous = registry;
    }
    int cuts = 0, exact = 0;
    for (int position = 1; position <= positions; ++position)
        for (const int committed : commits) {
            if (committed > position) break;
            const std::string what = "power cut at call " + std::to_string(position) +
                                     ", the registry as before call " + std::to_string(committed);
            fixture::InstallProduct();
            const fixture::Scope scope = fixture::ScopeNow();
            sim::CutPowerAt(position, committed);
            EXPECT_THROW(run(), sim::PowerCut) << what;
            EXPECT_EQ(std::vector<std::string>(), fixture::ScheduleProblems(scope)) << what;
            sim::StartProcess();
            EXPECT_EQ(0, run()) << what;
            EXPECT_EQ(0, sim::OpenKeyCount()) << what;
            EXPECT_EQ(std::vector<std::string>(), fixture::ScheduleProblems(scope)) << what;
            const std::vector<std::string> after = sim::Dump();
            EXPECT_EQ(std::vector<std::string>(), fixture::Removed(whole, after)) << what;
            for (const std::string &extra : fixture::Added(whole, after))
                EXPECT_TRUE(leftOverByAFirstRun(extra)) << what << ": " << extra;
            exact += after == whole;
            ++cuts;
        }
    std::printf("power cuts: %d call positions, %d cuts with the registry as 9x may last have written it "
                "(%zu states), each then run again: %d end as one whole run does\n",
                positions, cuts, commits.size(), exact);
    RecordProperty("power_cuts", cuts);
}

}  // namespace
