// A whole uninstall, through the program's entry, with one registry, file or
// folder call failing (a write failing or writing short), for every call of a
// clean run in turn, then with every call of one kind failing; and with the
// power cut at each call. The run must still end well and must harm nothing.
// Then the harm checker and the double's power cut, held to what they must see.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
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

// Each problem once, with the runs it was seen in, so that one fault is one
// message however many runs show it.
using Problems = std::map<std::string, std::vector<std::string>>;

std::string Shown(int value) { return std::to_string(value); }
std::string Shown(const std::vector<std::string> &lines)
{
    std::string out = "[";
    for (const std::string &line : lines) out += "\n    " + line;
    return out + "]";
}

template <typename T>
void Expect(Problems *problems, const std::string &run, const std::string &what, const T &seen, const T &wanted)
{
    if (seen != wanted) (*problems)[what + ": " + Shown(seen) + "\n  expected " + Shown(wanted)].push_back(run);
}

std::string Report(const Problems &problems)
{
    std::string out;
    for (const auto &problem : problems) {
        out += problem.first + "\n  in " + std::to_string(problem.second.size()) + " runs:";
        for (size_t i = 0; i < problem.second.size() && i < 8; ++i) out += " " + problem.second[i] + ";";
        out += problem.second.size() > 8 ? " ...\n" : "\n";
    }
    return out;
}

void ExpectHarmless(const Outcome &run, const std::set<std::string> &cleanActions, const std::string &what,
                    Problems *problems)
{
    Expect(problems, what, "exit code", run.exitCode, 0);
    Expect(problems, what, "message boxes", sim::CallsNamed("MessageBoxA"),
           {fixture::ConfirmBox() + " = 1", fixture::SuccessBox() + " = 1"});
    for (const std::string &v : fixture::Violations(run.before, run.after, run.calls, run.scope))
        (*problems)[v].push_back(what);
    for (const sim::Call &c : run.calls)
        if (!cleanActions.count(Action(c)) && !AllowedExtra(Action(c)))
            (*problems)["a call no clean run makes: " + Action(c)].push_back(what);
}

TEST(FaultInjection, NoSingleFailureOrFailingKindDoesHarm)
{
    const Outcome clean = UninstallConfirmed([] {});
    ASSERT_EQ(std::vector<std::string>(), fixture::Violations(clean.before, clean.after, clean.calls, clean.scope));
    const int positions = sim::FailableCallCount();
    std::set<std::string> cleanActions;
    for (const sim::Call &c : clean.calls) cleanActions.insert(Action(c));
    ASSERT_GT(positions, 50);

    Problems problems;
    int runs = 0;
    // ERROR_DISK_FULL makes a WriteFile write short; kSuccessPastTheBuffer
    // makes a RegQueryValueExA succeed with a count past the buffer.
    const LONG errors[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_MORE_DATA, ERROR_DISK_FULL,
                           sim::kSuccessPastTheBuffer};
    for (int position = 1; position <= positions; ++position)
        for (LONG error : errors) {
            Outcome run = UninstallConfirmed([&] { sim::FailCall(position, error); });
            ExpectHarmless(run, cleanActions, "call " + std::to_string(position) + " fails with " + std::to_string(error),
                           &problems);
            ++runs;
        }
    for (const char *const *kind = sim::kFailableCalls; *kind; ++kind)
        for (LONG error : errors) {
            Outcome run = UninstallConfirmed([&] { sim::FailEvery(*kind, error); });
            ExpectHarmless(run, cleanActions, std::string("every ") + *kind + " fails with " + std::to_string(error),
                           &problems);
            ++runs;
        }
    EXPECT_TRUE(problems.empty()) << Report(problems);
    const int kinds = static_cast<int>(sizeof errors / sizeof errors[0]);
    std::printf("fault-injection runs: %d (%d call positions and %d kinds, %d errors each)\n", runs,
                positions, runs / kinds - positions, kinds);
    RecordProperty("fault_injection_runs", runs);
}

// The power goes at each call of a silent run in turn, with what Windows 9x
// had not committed lost: the bytes of every file written since its last
// flush, and the registry's changes since 9x last wrote it out, at any call
// before the cut (sim::CutPowerAt), each state it passed through tried.
// Windows starts again: no RunOnce value may name a script that is not whole
// and readable as written. Then the user runs the uninstaller once more, and
// the machine must end as after one uninterrupted run.
TEST(FaultInjection, ARunCutShortAtAnyCallThenRunAgainEndsAsOneWholeRun)
{
    auto run = [] { return fixture::RunUninstaller("/M"); };
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
    Problems problems;
    int cuts = 0;
    for (int position = 1; position <= positions; ++position)
        for (const int committed : commits) {
            if (committed > position) break;
            const std::string what = "power cut at call " + std::to_string(position) +
                                     ", the registry as before call " + std::to_string(committed);
            fixture::InstallProduct();
            const fixture::Scope scope = fixture::ScopeNow();
            sim::CutPowerAt(position, committed);
            EXPECT_THROW(run(), sim::PowerCut) << what;
            Expect(&problems, what, "after the cut", fixture::ScheduleProblems(scope), {});
            sim::StartProcess();
            Expect(&problems, what, "exit code of the run again", run(), 0);
            Expect(&problems, what, "keys left open", sim::OpenKeyCount(), 0);
            Expect(&problems, what, "after the run again", fixture::ScheduleProblems(scope), {});
            Expect(&problems, what, "missing from one whole run's end", fixture::Removed(whole, sim::Dump()), {});
            Expect(&problems, what, "beyond one whole run's end", fixture::Added(whole, sim::Dump()), {});
            ++cuts;
        }
    EXPECT_TRUE(problems.empty()) << Report(problems);
    std::printf("power cuts: %d call positions, %d cuts with the registry as 9x may last have written it "
                "(%zu states), each then run again\n", positions, cuts, commits.size());
    RecordProperty("power_cuts", cuts);
}

// What the harm checker must see, and the double must make seen: a run with
// one harm each, and exactly the violations it must report.
struct Harm {
    const char *what;
    std::function<void()> setUp;   // the machine before the run, beyond the installed one
    const char *cutAt;             // the call at whose first the power goes, or none
    std::function<void()> harm;    // after the run
    std::function<std::vector<std::string>()> violations;
};

void PrintTo(const Harm &h, std::ostream *out) { *out << h.what; }

// The failable position of the first call of that name in a silent run.
int PositionOf(const std::string &name)
{
    fixture::InstallProduct();
    fixture::RunUninstaller("/M");
    int position = 0;
    for (const sim::Call &c : sim::Calls()) {
        for (const char *const *kind = sim::kFailableCalls; *kind; ++kind) position += c.name == *kind;
        if (c.name == name) return position;
    }
    return 0;
}

std::string opened;  // the key handle a harm opened, as the record names it

HKEY Open(const char *path)
{
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key);
    opened = "hkey" + std::to_string(reinterpret_cast<uintptr_t>(key));
    return key;
}

// "Path" names the folder: the run schedules its script or not, as it judges.
std::function<void()> InstalledIn(const std::string &folder)
{
    return [folder] {
        sim::SetText(fixture::kAppPathsKey, fixture::kPathValue, folder);
        sim::AddDirectory(folder);
    };
}

// The folder's script and value, scheduled as a product that judged nothing would.
std::function<void()> ScheduledAnyway(const std::string &folder)
{
    return [folder] {
        sim::AddFile(fixture::ScriptPath(folder), fixture::ScriptFor(folder));
        sim::SetText(fixture::kRunOnceKey, fixture::kRunOnceValue, fixture::RunOnceCommand(folder));
    };
}

std::function<std::vector<std::string>()> Misread(const std::string &why, const std::string &folder)
{
    return [=] {
        return std::vector<std::string>{"RunOnce value that COMMAND.COM would misread (" + why + "): " +
                                        fixture::RunOnceCommand(folder)};
    };
}

std::function<std::vector<std::string>()> WithoutScript(const std::string &holds)
{
    return [=] {
        return std::vector<std::string>{"RunOnce value without its whole script: " +
                                        fixture::RunOnceCommand(fixture::kInstallFolder) + " (the script: \"" +
                                        sim::Escape(holds) + "\")"};
    };
}

std::string Stale(size_t bytes)
{
    const std::string stale = sim::kStaleBytes;
    std::string out;
    while (out.size() < bytes) out += stale[out.size() % stale.size()];
    return out;
}

const std::string kLines = "C:\\" + std::string(fixture::LongestFolderForLines() - 2, 'a');  // one byte more
const std::string kTail = "C:\\" + std::string(fixture::LongestFolderForTail() - 2, 'a');
const std::function<void()> kNothing = [] {};

const std::vector<Harm> kHarms = {
    {"a file deleted outside the product's folders", [] { sim::AddFile("C:\\Other.txt", "x"); }, nullptr,
     [] { DeleteFileA("C:\\Other.txt"); },
     [] {
         return std::vector<std::string>{"removed: file C:\\Other.txt [1] \"x\"",
                                         "acted outside the product's folders: DeleteFileA(\"C:\\Other.txt\") = 1"};
     }},
    {"a neighbour's key deleted", [] { sim::SetText("Software\\Other", "v", "x"); }, nullptr,
     [] { RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Other"); },
     [] {
         return std::vector<std::string>{"removed: key Software\\Other",
                                         "removed: value Software\\Other : v = 1 \"x\\x00\" [2]"};
     }},
    {"a RunOnce value without its whole script", kNothing, nullptr,
     [] { sim::AddFile(fixture::ScriptPath(fixture::kInstallFolder), "@echo off\r\n"); },
     WithoutScript("@echo off\r\n")},
    // The double's power cut: the bytes not flushed are lost, and the file
    // holds what the disk held there before, here nothing but stale bytes.
    {"the value set after a power cut before the flush", kNothing, "FlushFileBuffers",
     [] { sim::SetText(fixture::kRunOnceKey, fixture::kRunOnceValue, fixture::RunOnceCommand(fixture::kInstallFolder)); },
     [] { return WithoutScript(Stale(fixture::ScriptFor(fixture::kInstallFolder).size()))(); }},
    {"a script line over the limit", InstalledIn(kLines), nullptr, ScheduledAnyway(kLines),
     Misread("a script line of " + std::to_string(fixture::kBatchLineBytes + 1) + " bytes", kLines)},
    {"a command tail over the limit", InstalledIn(kTail), nullptr, ScheduledAnyway(kTail),
     Misread("a command tail of " + std::to_string(fixture::kCommandTailBytes + 1) + " bytes", kTail)},
    {"a byte the OEM code page reads as another", InstalledIn("C:\\Caf\xE9"), nullptr, ScheduledAnyway("C:\\Caf\xE9"),
     [] { return Misread("a byte that code page " + std::to_string(GetOEMCP()) + " reads as another", "C:\\Caf\xE9")(); }},
    {"a slash in the folder", InstalledIn("C:/Prog"), nullptr, ScheduledAnyway("C:/Prog"),
     Misread("a switch character in the folder", "C:/Prog")},
    {"a key handle never closed", kNothing, nullptr, [] { Open(fixture::kRunOnceKey); },
     [] { return std::vector<std::string>{opened + " closed 0 times"}; }},
    {"a key handle closed twice", kNothing, nullptr,
     [] {
         HKEY key = Open(fixture::kRunOnceKey);
         RegCloseKey(key);
         RegCloseKey(key);
     },
     [] { return std::vector<std::string>{opened + " closed 2 times"}; }},
    // The double counts it: on Windows 9x the two handles would be one.
    {"a key opened twice", kNothing, nullptr,
     [] {
         HKEY first = Open(fixture::kRunOnceKey), second = Open(fixture::kRunOnceKey);
         RegCloseKey(second);
         RegCloseKey(first);
     },
     [] {
         return std::vector<std::string>{"1 opens of a key already open: on Windows 9x the handles would be one, "
                                         "and its first close would close both"};
     }},
};

class HarmChecker : public testing::TestWithParam<Harm> {};

TEST_P(HarmChecker, ReportsExactlyTheHarm)
{
    const Harm &h = GetParam();
    const int cut = h.cutAt ? PositionOf(h.cutAt) : 0;
    fixture::InstallProduct();
    h.setUp();
    const fixture::Scope scope = fixture::ScopeNow();
    const std::vector<std::string> before = sim::Dump();
    if (cut) {
        sim::CutPowerAt(cut);
        EXPECT_THROW(fixture::RunUninstaller("/M"), sim::PowerCut);
        sim::StartProcess();  // Windows again: the cut process's handles are gone
    } else {
        ASSERT_EQ(0, fixture::RunUninstaller("/M"));
    }
    h.harm();
    EXPECT_EQ(h.violations(), fixture::Violations(before, sim::Dump(), sim::Calls(), scope));
}

INSTANTIATE_TEST_SUITE_P(Harms, HarmChecker, testing::ValuesIn(kHarms),
                         [](const testing::TestParamInfo<Harm> &row) { return fixture::CaseName(row.param.what); });

}  // namespace
