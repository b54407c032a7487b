#include "base/verbs.h"

const char* ElevationArgument(Verb verb)
{
    switch (verb) {
    case Verb::Stop:
        return "/STOPSERVICE";
    case Verb::Start:
        return "/STARTSERVICE";
    case Verb::Restart:
        return "/RESTARTSERVICE";
    case Verb::Install:
        return "/INSTALLSERVICE";
    case Verb::Remove:
        return "/REMOVESERVICE";
    case Verb::ModemTest:
        return "/MODEMTEST";
    case Verb::DeleteDataDir:
    case Verb::None:
        break;
    }
    return "";
}
