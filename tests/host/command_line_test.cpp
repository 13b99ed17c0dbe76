// The command tail and the switches read from it.
#include <gtest/gtest.h>

#include "installed_machine.h"
#include "switches.h"

namespace {

struct TailCase {
    const char *line;
    const char *tail;
};

// The tail starts after the program's name and the blanks (bytes up to 0x20).
const TailCase kTails[] = {
    {"zovovar.exe", ""},
    {"zovovar.exe /M", "/M"},
    {"zovovar.exe \t /d  /m", "/d  /m"},
    {"C:\\Prog\\zovovar.exe\x01\x1F/M", "/M"},
    {"\"C:\\Program Files\\zovovar.exe\" /M", "/M"},
    {"\"C:\\Program Files\\zovovar.exe\"/M", "/M"},      // a switch straight after the quote
    {"\"C:\\Program Files\\zovovar.exe /M", ""},         // an unclosed quote takes the whole line
    {"\"\" /D", "/D"},
    {"zov\"ovar.exe\" /M", "/M"},                        // quotes inside an unquoted name are name
    {"zov\xE4var.exe /M", "/M"},                         // bytes from 0x80 up are part of the name
    {"zovovar.exe \xA0/M", "\xA0/M"},                    // and are no blanks after it
    {"zovovar.exe \x7F/M", "\x7F/M"},
    {"", ""},
    {"   /M", "/M"},                                     // an empty name, then blanks
};

void PrintTo(const TailCase &c, std::ostream *out) { *out << c.line; }

class CommandTail : public testing::TestWithParam<TailCase> {};

TEST_P(CommandTail, SkipsTheProgramNameAndTheBlanksAfterIt)
{
    EXPECT_STREQ(GetParam().tail, ::CommandTail(GetParam().line));
}

INSTANTIATE_TEST_SUITE_P(Lines, CommandTail, testing::ValuesIn(kTails),
                         [](const testing::TestParamInfo<TailCase> &row) { return fixture::Spelled(row.param.line); });

struct SwitchCase {
    const char *tail;
    int silent;
    int keepSelf;
};

const SwitchCase kSwitches[] = {
    {"", 0, 0},        {"/m", 1, 0},        {"-M", 1, 0},       {"/d", 0, 1},
    {"-D", 0, 1},      {"/d /m", 1, 1},     {"-M -d", 1, 1},    {"/mute", 1, 0},
    {"/Dx", 0, 1},     {"x/m", 0, 0},       {"/x /d", 0, 1},    {"/d-m", 0, 1},
    {"/d\t/m", 0, 1},  {"a /m", 1, 0},      {"/", 0, 0},        {"-", 0, 0},
    {"/m /m /m", 1, 0},                      // repeats are harmless
    {"/ m", 0, 0},                           // the letter must follow at once
    {"/ /m", 1, 0},                          // a lone slash is a token of its own
    {"//m", 0, 0},                           // only the first character after it counts
    {"/M/D", 1, 0},                          // the rest of a token is ignored
    {"\"/m\"", 0, 0},                        // quotes are ordinary characters
    {"/\xCD /d", 0, 1},                      // a high byte after the slash is not consumed
    {"  -d", 0, 1},
    {"/m /", 1, 0},
    {"/D /x /M", 1, 1},
};

void PrintTo(const SwitchCase &c, std::ostream *out) { *out << c.tail; }

class ParseSwitches : public testing::TestWithParam<SwitchCase> {};

TEST_P(ParseSwitches, ReadsOnlyTheFirstCharacterAfterATokensSlashOrHyphen)
{
    const SwitchSet s = ::ParseSwitches(GetParam().tail);
    EXPECT_EQ(GetParam().silent, s.silent);
    EXPECT_EQ(GetParam().keepSelf, s.keepSelf);
}

INSTANTIATE_TEST_SUITE_P(Tails, ParseSwitches, testing::ValuesIn(kSwitches),
                         [](const testing::TestParamInfo<SwitchCase> &row) { return fixture::Spelled(row.param.tail); });

}  // namespace
