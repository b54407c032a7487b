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
        VerbCase{"", Verb::None, false},
        VerbCase{"-STOPSERVICE", Verb::StopService, false},
        VerbCase{"/stopservice", Verb::StopService, false},
        VerbCase{"-StartService", Verb::StartService, false},
        VerbCase{"/STARTSERVICE", Verb::StartService, false},
        VerbCase{"-restartservice", Verb::RestartService, false},
        VerbCase{"/RESTARTSERVICE", Verb::RestartService, false},
        VerbCase{"-INSTALLSERVICE", Verb::InstallService, false},
        VerbCase{"/installservice", Verb::InstallService, false},
        VerbCase{"/i", Verb::InstallService, false},
        VerbCase{"-I", Verb::InstallService, false},
        VerbCase{"-REMOVESERVICE", Verb::RemoveService, false},
        VerbCase{"/removeservice", Verb::RemoveService, false},
        VerbCase{"/R", Verb::RemoveService, false},
        VerbCase{"-r", Verb::RemoveService, false},
        VerbCase{"-DELETEDATADIR", Verb::DeleteDataDir, false},
        VerbCase{"/deletedatadir", Verb::DeleteDataDir, false},
        VerbCase{"-MODEMTEST", Verb::ModemTest, false},
        VerbCase{"/modemtest", Verb::ModemTest, false},
        VerbCase{"-QUIET", Verb::None, true},
        VerbCase{"/quiet", Verb::None, true},
        VerbCase{"/q", Verb::None, true},
        VerbCase{"-Q", Verb::None, true},
        // Table order: stop before start, restart before remove ("-R" lies inside it).
        VerbCase{"-STARTSERVICE -STOPSERVICE", Verb::StopService, false},
        VerbCase{"-RESTARTSERVICE", Verb::RestartService, false},
        VerbCase{"/r /q", Verb::RemoveService, true},
        VerbCase{"-QUIET -INSTALLSERVICE", Verb::InstallService, true},
        // Found anywhere, even inside other words.
        VerbCase{"foo/INSTALLSERVICEbar", Verb::InstallService, false}));

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
    for (Verb verb : {Verb::StopService, Verb::StartService, Verb::RestartService, Verb::InstallService,
                      Verb::RemoveService, Verb::ModemTest}) {
        EXPECT_EQ(verb, ParseCommandLine(ElevationArgument(verb)).verb) << ElevationArgument(verb);
    }
}

} // namespace
