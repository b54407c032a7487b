#include "services/service_rules.h"

std::string ServiceBinaryPath(const std::string& longPath, const std::string& shortPath)
{
    std::string path = shortPath.empty() ? longPath : shortPath;
    if (path.find(' ') != std::string::npos && path.front() != '"')
        return '"' + path + '"';
    return path;
}

std::string FirewallHelperCommandLine(const std::string& helperPath, const std::string& executablePath,
                                      const std::string& displayName)
{
    // The helper's own path is quoted when it holds a space, so that its argument parser
    // does not split the path into arguments.
    std::string program = helperPath.find(' ') != std::string::npos ? '"' + helperPath + '"' : helperPath;
    return program + " \"" + executablePath + "\" \"" + displayName + "\"";
}
