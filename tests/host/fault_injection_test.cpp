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

// The failable calls the last run made, each a position to fail or to cut the power at.
int Failable()
{
    size_t n = 0;
    for (const char *const *kind = sim::kFailableCalls; *kind; ++kind) n += sim::CallsNamed(*kind).size();
    return static_cast<int>(n);
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

template <typename T>
void Expect(Problems *problems, const std::string &run, const std::string &what, const T &seen, const T &wanted)
{
    if (seen != wanted)
        (*problems)[what + ": " + testing::PrintToString(seen) + "\n  expected " + testing::PrintToString(wanted)]
            .push_back(run);
}

std::string Report(const Problems &problems)
{
    std::string out;
    for (const auto &p : problems)
        out += p.first + "\n  in " + std::to_string(p.second.size()) + " runs: " + p.second.front() +
               (p.second.size() > 1 ? " ... " + p.second.back() : "") + "\n";
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
    ASSERT_EQ(Failable(), positions);

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
    ASSERT_EQ(Failable(), positions);
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

// What the harm checker must see, and the double must make seen: a silent run
// on the installed machine (beside a file and a key of no one's), then one harm
// done by hand, and exactly the violations it must bring.
using Lines = std::vector<std::string>;

struct Harm {
    const char *what;
    std::string folder;  // the one "Path" names, if not the described one
    std::function<Lines(const std::string &folder)> harm;  // does it; returns the violations
};

void PrintTo(const Harm &h, std::ostream *out) { *out << h.what; }

// The folder's script and value, left as a product that judged nothing would leave them.
Lines ScheduledAnyway(const std::string &folder, const std::string &why)
{
    sim::AddFile(fixture::ScriptPath(folder), fixture::ScriptFor(folder));
    sim::SetText(fixture::kRunOnceKey, fixture::kRunOnceValue, fixture::RunOnceCommand(folder));
    return {"RunOnce value that COMMAND.COM would misread (" + why + "): " + fixture::RunOnceCommand(folder)};
}

// Neighbours' keys named as a product key, and as the ESDI entry the ID names, and more.
const std::string kNeighbourKey = std::string(fixture::kAppPathsKey) + ".old";
const std::string kEsdiNeighbour = std::string("Enum\\ESDI\\") + fixture::kEsdiId + ".old";

HKEY Open()
{
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, fixture::kRunOnceKey, 0, KEY_READ, &key);
    return key;
}

std::string Handle(HKEY key) { return "hkey" + std::to_string(reinterpret_cast<uintptr_t>(key)); }

const std::vector<Harm> kHarms = {
    {"a file deleted outside the product's folders", "", [](const std::string &) {
         DeleteFileA("C:\\Other.txt");
         return Lines{"removed: file C:\\Other.txt [1] \"x\"",
                      "acted outside the product's folders: DeleteFileA(\"C:\\Other.txt\") = 1"};
     }},
    {"a neighbour's key deleted, its name a product key's and more", "", [](const std::string &) {
         RegDeleteKeyA(HKEY_LOCAL_MACHINE, kNeighbourKey.c_str());
         return Lines{"removed: key " + kNeighbourKey,
                      "removed: value " + kNeighbourKey + " : v = 1 \"x\\x00\" [2]"};
     }},
    {"a neighbour's ESDI key deleted, its name the named entry's and more", "", [](const std::string &) {
         RegDeleteKeyA(HKEY_LOCAL_MACHINE, kEsdiNeighbour.c_str());
         return Lines{"removed: key " + kEsdiNeighbour, "removed: value " + kEsdiNeighbour + " : v = 1 \"x\\x00\" [2]",
                      "an ESDI key other than the one named: " + sim::CallsNamed("RegDeleteKeyA").back()};
     }},
    {"a file and a RunOnce value added, each named as the product's and more", "", [](const std::string &folder) {
         const std::string path = fixture::ScriptPath(folder) + ".old";
         CloseHandle(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
         sim::SetText(fixture::kRunOnceKey, std::string(fixture::kRunOnceValue) + "2", "x");
         return Lines{"added: file " + path + " [0] \"\"", std::string("added: value ") + fixture::kRunOnceKey + " : " +
                                                              fixture::kRunOnceValue + "2 = 1 \"x\\x00\" [2]",
                      "acted outside the product's folders: " + sim::CallsNamed("CreateFileA").back()};
     }},
    {"a RunOnce value naming a script in another folder", "", [](const std::string &) {
         const std::string command = fixture::RunOnceCommand("C:\\Elsewhere");
         sim::SetText(fixture::kRunOnceKey, fixture::kRunOnceValue, command);
         return Lines{"RunOnce value naming a script outside the install folder: " + command};
     }},
    {"a RunOnce value of another form", "", [](const std::string &) {
         sim::SetText(fixture::kRunOnceKey, fixture::kRunOnceValue, "rundll32.exe");
         return Lines{"RunOnce value of another form: rundll32.exe"};
     }},
    {"a RunOnce value whose script is gone", "", [](const std::string &folder) {
         DeleteFileA(fixture::ScriptPath(folder).c_str());
         return Lines{"RunOnce value without its whole script: " + fixture::RunOnceCommand(folder) + " (the script: none)"};
     }},
    {"a RunOnce value without its whole script", "", [](const std::string &folder) {
         sim::AddFile(fixture::ScriptPath(folder), "@echo off\r\n");
         return Lines{"a script left not whole: file " + fixture::ScriptPath(folder) + " [11] \"@echo off\\r\\n\"",
                      "RunOnce value without its whole script: " + fixture::RunOnceCommand(folder) +
                          " (the script: \"@echo off\\r\\n\")"};
     }},
    {"a script line over its limit", "C:\\" + std::string(fixture::kLongestFolderForLines - 2, 'a'),
     [](const std::string &folder) {
         return ScheduledAnyway(folder, "a script line of " + std::to_string(fixture::kBatchLineBytes + 1) + " bytes");
     }},
    {"a command tail over its limit", "C:\\" + std::string(fixture::kLongestFolderForTail - 2, 'a'),
     [](const std::string &folder) {
         return ScheduledAnyway(folder, "a command tail of " + std::to_string(fixture::kCommandTailBytes + 1) + " bytes");
     }},
    {"a byte the OEM code page reads as another", "C:\\Caf\xE9", [](const std::string &folder) {
         return ScheduledAnyway(folder, "a byte that code page " + std::to_string(GetOEMCP()) + " reads as another");
     }},
    {"a slash in the folder", "C:/Prog",
     [](const std::string &folder) { return ScheduledAnyway(folder, "a switch character in the folder"); }},
    {"a percent sign in the folder", "C:\\100%",
     [](const std::string &folder) { return ScheduledAnyway(folder, "a percent sign in the folder"); }},
    // The double's power cut, each half: what was not committed is lost.
    {"a file closed unflushed, then the power cut", "", [](const std::string &) {
         HANDLE file = CreateFileA("C:\\Other.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
         DWORD written;
         WriteFile(file, "new", 3, &written, nullptr);
         CloseHandle(file);
         const std::string created = sim::CallsNamed("CreateFileA").back();
         sim::CutPowerAt(sim::FailableCallCount() + 1);
         EXPECT_THROW(RegCloseKey(nullptr), sim::PowerCut);
         // Its old byte, then what the disk held: nothing of "new".
         return Lines{"removed: file C:\\Other.txt [1] \"x\"",
                      "added: file C:\\Other.txt [3] \"x" + std::string(sim::kStaleBytes).substr(1, 2) + "\"",
                      "acted outside the product's folders: " + created};
     }},
    {"the script rewritten whole, closed unflushed", "", [](const std::string &folder) {
         HANDLE file = CreateFileA(fixture::ScriptPath(folder).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
         DWORD written;
         WriteFile(file, fixture::ScriptFor(folder).data(), fixture::ScriptFor(folder).size(), &written, nullptr);
         CloseHandle(file);
         return Lines{"RunOnce value without its whole script: " + fixture::RunOnceCommand(folder) + " (the script: \"" +
                      sim::Escape(fixture::ScriptFor(folder)) + "\", not yet on the disk)"};
     }},
    {"a value set since the registry was written out, then the power cut", "", [](const std::string &) {
         const int now = sim::FailableCallCount();
         sim::CutPowerAt(now + 3, now + 1);  // written out just before the create
         HKEY key = nullptr;
         RegCreateKeyExA(HKEY_LOCAL_MACHINE, fixture::kRunOnceKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
         RegSetValueExA(key, "w", 0, REG_SZ, reinterpret_cast<const BYTE *>("y"), 2);
         EXPECT_THROW(RegCloseKey(key), sim::PowerCut);
         return Lines{Handle(key) + " closed 0 times"};  // and no value "w" added
     }},
    {"a fault the double cannot inject, refused", "", [](const std::string &) {
         EXPECT_THROW(sim::CutPowerAt(0), sim::Misuse);
         EXPECT_THROW(sim::CutPowerAt(2, 3), sim::Misuse);
         return Lines{};
     }},
    {"an ESDI key other than the one the ID names", "", [](const std::string &) {
         RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\ESDI\\KOVRA");
         return Lines{"an ESDI key other than the one named: " + sim::CallsNamed("RegDeleteKeyA").back()};
     }},
    {"a key handle never closed", "",
     [](const std::string &) { return Lines{Handle(Open()) + " closed 0 times"}; }},
    {"a key handle closed but never opened", "", [](const std::string &) {
         const HKEY stray = reinterpret_cast<HKEY>(uintptr_t{99});
         RegCloseKey(stray);
         return Lines{Handle(stray) + " closed but never opened"};
     }},
    {"a key handle closed twice", "", [](const std::string &) {
         HKEY key = Open();
         RegCloseKey(key);
         RegCloseKey(key);
         return Lines{Handle(key) + " closed 2 times"};
     }},
    // The double counts it: on Windows 9x the two handles would be one.
    {"a key opened twice", "", [](const std::string &) {
         HKEY first = Open(), second = Open();
         RegCloseKey(second);
         RegCloseKey(first);
         return Lines{"1 opens of a key already open: on Windows 9x the handles would be one, and its first "
                      "close would close both"};
     }},
};

class HarmChecker : public testing::TestWithParam<Harm> {};

TEST_P(HarmChecker, ReportsExactlyTheHarm)
{
    const Harm &h = GetParam();
    fixture::InstallProduct();
    sim::AddFile("C:\\Other.txt", "x");
    sim::SetText(kNeighbourKey, "v", "x");
    sim::SetText(kEsdiNeighbour, "v", "x");
    if (!h.folder.empty()) {
        sim::SetText(fixture::kAppPathsKey, fixture::kPathValue, h.folder);
        sim::AddDirectory(h.folder);
    }
    const std::string folder = h.folder.empty() ? fixture::kInstallFolder : h.folder;
    const fixture::Scope scope = fixture::ScopeNow();
    const std::vector<std::string> before = sim::Dump();
    ASSERT_EQ(0, fixture::RunUninstaller("/M"));
    const Lines violations = h.harm(folder);
    EXPECT_EQ(violations, fixture::Violations(before, sim::Dump(), sim::Calls(), scope));
}

INSTANTIATE_TEST_SUITE_P(Harms, HarmChecker, testing::ValuesIn(kHarms),
                         [](const testing::TestParamInfo<Harm> &row) { return fixture::CaseName(row.param.what); });

}  // namespace
