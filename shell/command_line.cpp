#include "shell/command_line.h"

#include "base/text.h"

namespace {

struct VerbSpelling {
    Verb verb;
    const char* spellings[4];
};

// In the order they are tested.
const VerbSpelling kVerbs[] = {
    {Verb::Stop, {"-STOPSERVICE", "/STOPSERVICE", nullptr, nullptr}},
    {Verb::Start, {"-STARTSERVICE", "/STARTSERVICE", nullptr, nullptr}},
    {Verb::Restart, {"-RESTARTSERVICE", "/RESTARTSERVICE", nullptr, nullptr}},
    {Verb::Install, {"-INSTALLSERVICE", "/INSTALLSERVICE", "/I", "-I"}},
    {Verb::Remove, {"-REMOVESERVICE", "/REMOVESERVICE", "/R", "-R"}},
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
    std::string upper = AsciiUpper(text);

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
