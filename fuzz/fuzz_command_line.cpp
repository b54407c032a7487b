// The command line is whatever a shortcut, a script or a user typed. The grammar is blind to
// letter case, stop wins over every other verb, and the argument that starts an elevated copy
// of the program on a verb is read back as that verb whatever came before it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/text.h"
#include "base/verbs.h"
#include "shell/command_line.h"

namespace {

const Verb kVerbs[] = {Verb::Stop,   Verb::Start,         Verb::Restart,  Verb::Install,
                       Verb::Remove, Verb::DeleteDataDir, Verb::ModemTest};

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool Same(const CommandLine& a, const CommandLine& b)
{
    return a.verb == b.verb && a.quiet == b.quiet && a.wizard == b.wizard;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = AsciiLower(c);
    return text;
}

bool Holds(const std::string& text, const char* part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Every elevation argument reads back as its own verb.
    static const bool elevationChecked = [] {
        for (Verb verb : kVerbs) {
            const char* argument = ElevationArgument(verb);
            Check(!*argument || ParseCommandLine(argument).verb == verb);
        }
        return true;
    }();
    (void)elevationChecked;

    std::string text(reinterpret_cast<const char*>(data), size);
    CommandLine parsed = ParseCommandLine(text);
    Check(Same(parsed, ParseCommandLine(AsciiUpper(text))) && Same(parsed, ParseCommandLine(Lower(text))));

    std::string upper = AsciiUpper(text);
    Check(parsed.wizard == (Holds(upper, "-WIZARD") || Holds(upper, "/WIZARD")));
    // "-QUIET" and "/QUIET" begin with the short forms.
    Check(parsed.quiet == (Holds(upper, "-Q") || Holds(upper, "/Q")));

    // An appended verb never changes the switches; stop always wins; any other elevated verb
    // is taken when the text had none and otherwise leaves either verb.
    for (Verb verb : kVerbs) {
        const char* argument = ElevationArgument(verb);
        if (!*argument)
            continue;
        CommandLine more = ParseCommandLine(text + " " + argument);
        Check(more.quiet == parsed.quiet && more.wizard == parsed.wizard);
        if (verb == Verb::Stop)
            Check(more.verb == Verb::Stop);
        else if (parsed.verb == Verb::None)
            Check(more.verb == verb);
        else
            Check(more.verb == verb || more.verb == parsed.verb);
    }
    return 0;
}
