#include "shell/command_line.h"

#include <gtest/gtest.h>

namespace {

struct VerbCase {
    const char* text;
    Verb verb;
    bool quiet;
};

class CommandLineVerbs : public testing::TestWithParam<VerbCase> {};

TEST_P(CommandLineVerbs, MatchesEverySpellingInAnyCase)
{
    CommandLine command = ParseCommandLine(GetParam().text);
    EXPECT_EQ(GetParam().verb, command.verb) << GetParam().text;
    EXPECT_EQ(GetParam().quiet, command.quiet) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineVerbs,
    testing::Values(
        VerbCase{"", Verb::None, false}, VerbCase{"-STOPSERVICE", Verb::Stop, false},
        VerbCase{"/stopservice", Verb::Stop, false}, VerbCase{"-StartService", Verb::Start, false},
        VerbCase{"/STARTSERVICE", Verb::Start, false}, VerbCase{"-restartservice", Verb::Restart, false},
        VerbCase{"/RESTARTSERVICE", Verb::Restart, false}, VerbCase{"-INSTALLSERVICE", Verb::Install, false},
        VerbCase{"/installservice", Verb::Install, false}, VerbCase{"/i", Verb::Install, false},
        VerbCase{"-I", Verb::Install, false}, VerbCase{"-REMOVESERVICE", Verb::Remove, false},
        VerbCase{"/removeservice", Verb::Remove, false}, VerbCase{"/R", Verb::Remove, false},
        VerbCase{"-r", Verb::Remove, false}, VerbCase{"-DELETEDATADIR", Verb::DeleteDataDir, false},
        VerbCase{"/deletedatadir", Verb::DeleteDataDir, false}, VerbCase{"-MODEMTEST", Verb::ModemTest, false},
        VerbCase{"/modemtest", Verb::ModemTest, false}, VerbCase{"-QUIET", Verb::None, true},
        VerbCase{"/quiet", Verb::None, true}, VerbCase{"/q", Verb::None, true}, VerbCase{"-Q", Verb::None, true},
        // Table order: stop before start, restart before remove ("-R" lies inside it).
        VerbCase{"-STARTSERVICE -STOPSERVICE", Verb::Stop, false}, VerbCase{"-RESTARTSERVICE", Verb::Restart, false},
        VerbCase{"/r /q", Verb::Remove, true}, VerbCase{"-QUIET -INSTALLSERVICE", Verb::Install, true},
        // Found anywhere, even inside other words.
        VerbCase{"foo/INSTALLSERVICEbar", Verb::Install, false}));

TEST(CommandLine, WizardIsNotAVerb)
{
    CommandLine command = ParseCommandLine("-wizard");
    EXPECT_TRUE(command.wizard);
    EXPECT_EQ(Verb::None, command.verb);
    EXPECT_TRUE(ParseCommandLine("/WIZARD").wizard);
    EXPECT_FALSE(ParseCommandLine("-WIZ").wizard);
}

TEST(CommandLine, ElevationArgumentsAreTheSlashSpellings)
{
    for (Verb verb : {Verb::Stop, Verb::Start, Verb::Restart, Verb::Install, Verb::Remove, Verb::ModemTest}) {
        EXPECT_EQ(verb, ParseCommandLine(ElevationArgument(verb)).verb) << ElevationArgument(verb);
    }
}

} // namespace
