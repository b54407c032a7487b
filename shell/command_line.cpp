#include "shell/command_line.h"

#include <cctype>

namespace {

struct VerbSpelling {
    Verb verb;
    const char* spellings[4];
};

// In the order they are tested.
const VerbSpelling kVerbs[] = {
    {Verb::StopService, {"-STOPSERVICE", "/STOPSERVICE", nullptr, nullptr}},
    {Verb::StartService, {"-STARTSERVICE", "/STARTSERVICE", nullptr, nullptr}},
    {Verb::RestartService, {"-RESTARTSERVICE", "/RESTARTSERVICE", nullptr, nullptr}},
    {Verb::InstallService, {"-INSTALLSERVICE", "/INSTALLSERVICE", "/I", "-I"}},
    {Verb::RemoveService, {"-REMOVESERVICE", "/REMOVESERVICE", "/R", "-R"}},
    {Verb::DeleteDataDir, {"-DELETEDATADIR", "/DELETEDATADIR", nullptr, nullptr}},
    {Verb::ModemTest, {"-MODEMTEST", "/MODEMTEST", nullptr, nullptr}},
};

const char* const kQuiet[] = {"-QUIET", "/QUIET", "/Q", "-Q"};
const char* const kWizard[] = {"-WIZARD", "/WIZARD"};

template <size_t N>
bool HoldsAny(const std::string& upper, const char* const (&spellings)[N])
{
    for (const char* spelling : spellings) {
        if (spelling && upper.find(spelling) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

CommandLine ParseCommandLine(const std::string& text)
{
    std::string upper = text;
    for (char& c : upper)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));

    CommandLine result;
    result.quiet = HoldsAny(upper, kQuiet);
    result.wizard = HoldsAny(upper, kWizard);
    for (const VerbSpelling& entry : kVerbs) {
        if (HoldsAny(upper, entry.spellings)) {
            result.verb = entry.verb;
            break;
        }
    }
    return result;
}

const char* ElevationArgument(Verb verb)
{
    switch (verb) {
    case Verb::StopService: return "/STOPSERVICE";
    case Verb::StartService: return "/STARTSERVICE";
    case Verb::RestartService: return "/RESTARTSERVICE";
    case Verb::InstallService: return "/INSTALLSERVICE";
    case Verb::RemoveService: return "/REMOVESERVICE";
    case Verb::ModemTest: return "/MODEMTEST";
    case Verb::DeleteDataDir:
    case Verb::None: break;
    }
    return "";
}
