// The entry as a user meets it: confirmation, the sequence, success, exit code.
#include <gtest/gtest.h>

#include "app.h"
#include "installed_machine.h"

namespace {

const HINSTANCE kInstance = (HINSTANCE)(uintptr_t)0x400000;

struct FlowCase {
    const char *what;
    const char *tail;
    std::vector<int> answers;
    std::vector<std::string> boxes;  // each call, with the answer it got
    bool removes;
    bool writesScript;
};

void PrintTo(const FlowCase &c, std::ostream *out) { *out << c.what; }

const FlowCase kFlows[] = {
    {"Cancel", "", {IDCANCEL}, {fixture::ConfirmBox() + " = 2"}, false, false},
    {"the close button", "", {}, {fixture::ConfirmBox() + " = 2"}, false, false},
    {"a box that could not be shown", "", {0}, {fixture::ConfirmBox() + " = 0"}, false, false},
    {"OK", "", {IDOK, IDOK}, {fixture::ConfirmBox() + " = 1", fixture::SuccessBox() + " = 1"}, true, true},
    {"OK, keeping itself", "/D", {IDOK, IDOK},
     {fixture::ConfirmBox() + " = 1", fixture::SuccessBox() + " = 1"}, true, false},
    {"silent", "/M", {}, {}, true, true},
    {"silent, keeping itself", "/M /D", {}, {}, true, false},
    {"silent, keeping itself, lower case hyphens", "-d -m", {}, {}, true, false},
};

class Entry : public testing::TestWithParam<FlowCase> {};

TEST_P(Entry, ConfirmsRemovesReportsAndExitsWithZero)
{
    const FlowCase &c = GetParam();
    fixture::InstallProduct();
    sim::AnswerMessageBoxes(c.answers);
    EXPECT_EQ(0, fixture::RunUninstaller(c.tail));
    EXPECT_EQ(c.boxes, sim::CallsNamed("MessageBoxA"));
    for (const std::string &file : fixture::ProductFiles()) EXPECT_EQ(c.removes, !sim::FileExists(file)) << file;
    EXPECT_EQ(c.writesScript, sim::ValueExists(fixture::kRunOnceKey, fixture::kRunOnceValue));
    EXPECT_EQ(c.writesScript, sim::FileExists(fixture::ScriptPath(fixture::kInstallFolder)));
    // Whatever the answer, the quit message ends the loop at once, and its
    // code the process (docs/kept_on_purpose.md).
    const std::vector<std::string> calls = sim::CallLines();
    const std::vector<std::string> end(calls.end() - 3, calls.end());
    EXPECT_EQ((std::vector<std::string>{"PostQuitMessage(0)", "GetMessageA(NULL, 0, 0) = 0 0x12 wParam=0",
                                        "ExitProcess(0)"}),
              end);
}

INSTANTIATE_TEST_SUITE_P(Flows, Entry, testing::ValuesIn(kFlows),
                         [](const testing::TestParamInfo<FlowCase> &row) { return fixture::CaseName(row.param.what); });

TEST(Entry, RegistersMainDlgAndNothingMoreBeforeAsking)
{
    sim::Reset();
    char tail[] = "/M /D";
    WinMain(kInstance, NULL, tail, 10);
    const std::vector<std::string> calls = sim::CallLines();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ("LoadIconA(0x400000, \"MainDlg\") = 0x1C0", calls[0]);
    EXPECT_EQ("LoadCursorA(0x0, 0x7F00) = 0xC00", calls[1]);
    char expected[512];
    snprintf(expected, sizeof expected,
             "RegisterClassExA(cbSize=%u, style=0x3, lpfnWndProc=%#llx, cbClsExtra=0, cbWndExtra=0, "
             "hInstance=0x400000, hIcon=0x1C0, hCursor=0xC00, hbrBackground=6, "
             "lpszMenuName=\"MainDlg\", lpszClassName=\"MainDlg\", hIconSm=NULL) = 1",
             (unsigned)sizeof(WNDCLASSEXA), (unsigned long long)reinterpret_cast<uintptr_t>(MainWindowProc));
    EXPECT_EQ(expected, calls[2]);
}

TEST(Entry, DispatchesMessagesThatArriveBeforeTheQuitMessage)
{
    sim::Reset();
    sim::QueueMessage(WM_NULL);
    char tail[] = "/M";
    EXPECT_EQ(0, WinMain(kInstance, NULL, tail, 10));
    const std::vector<std::string> calls = sim::CallLines();
    const std::vector<std::string> tailCalls(calls.end() - 5, calls.end());
    EXPECT_EQ((std::vector<std::string>{"PostQuitMessage(0)", "GetMessageA(NULL, 0, 0) = 1 0x0",
                                        "TranslateMessage(0x0)", "DispatchMessageA(0x0)",
                                        "GetMessageA(NULL, 0, 0) = 0 0x12 wParam=0"}),
              tailCalls);
    EXPECT_EQ(0, MainWindowProc(NULL, WM_NULL, 1, 2));
}

}  // namespace
