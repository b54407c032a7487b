// Windows path texts compared as the file system would resolve them. Portable: no windows.h.
#include "base/paths.h"

#include "base/text.h"

namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// '/' read as '\' and ASCII letters in upper case: the spelling every comparison starts from.
std::string ComparableText(const std::string& path)
{
    std::string text = path;
    for (char& c : text) {
        if (c == '/')
            c = '\\';
        else if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The components between backslashes; runs of backslashes give no empty ones.
std::vector<std::string> SplitComponents(const std::string& text)
{
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\\', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            components.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

// Windows drops trailing dots and spaces from a name ("WINDOWS." opens "WINDOWS").
std::string TrimmedName(const std::string& name)
{
    size_t end = name.size();
    while (end > 0 && (name[end - 1] == '.' || name[end - 1] == ' '))
        --end;
    return name.substr(0, end);
}

// Splits a comparable text into its root ("C:" or "\\SERVER\SHARE") and the components
// below it. False when the text is not absolute.
bool SplitRoot(const std::string& text, std::string& root, std::vector<std::string>& below)
{
    if (text.size() >= 3 && IsAsciiLetter(text[0]) && text[1] == ':' && text[2] == '\\') {
        root = text.substr(0, 2);
        below = SplitComponents(text.substr(3));
        return true;
    }
    if (text.compare(0, 2, "\\\\") != 0)
        return false;
    std::string body = text.substr(2);
    // "\\?\C:\x", "\\.\C:\x" and "\\?\UNC\server\share\x" name what "C:\x" and
    // "\\server\share\x" name.
    if (body.size() >= 2 && (body[0] == '?' || body[0] == '.') && body[1] == '\\') {
        std::string inner = body.substr(2);
        if (inner.compare(0, 4, "UNC\\") == 0)
            return SplitRoot("\\\\" + inner.substr(4), root, below);
        return SplitRoot(inner, root, below);
    }
    std::vector<std::string> components = SplitComponents(body);
    if (components.size() < 2)
        return false;
    std::string server = TrimmedName(components[0]);
    std::string share = TrimmedName(components[1]);
    if (server.empty() || share.empty())
        return false;
    root = "\\\\" + server + "\\" + share;
    below.assign(components.begin() + 2, components.end());
    return true;
}

} // namespace

std::string NormalizeAbsolutePath(const std::string& path)
{
    std::string root;
    std::vector<std::string> below;
    if (!SplitRoot(ComparableText(path), root, below))
        return std::string();

    std::vector<std::string> kept;
    for (const std::string& component : below) {
        if (component == ".")
            continue;
        if (component == "..") {
            if (!kept.empty())
                kept.pop_back();
            continue;
        }
        std::string name = TrimmedName(component);
        if (!name.empty())
            kept.push_back(name);
    }

    std::string normal = root;
    if (kept.empty() && root.size() == 2)
        return normal + "\\"; // a drive root keeps its backslash
    for (const std::string& name : kept)
        normal += "\\" + name;
    return normal;
}

bool IsDriveRoot(const std::string& path)
{
    std::string normal = NormalizeAbsolutePath(path);
    if (normal.empty())
        return false;
    if (normal[1] == ':')
        return normal.size() == 3;
    // "\\SERVER\SHARE": one backslash after the two that open it.
    return normal.find('\\', 2) == normal.rfind('\\');
}

bool IsSameOrInside(const std::string& inner, const std::string& outer)
{
    std::string normalInner = NormalizeAbsolutePath(inner);
    std::string normalOuter = NormalizeAbsolutePath(outer);
    if (normalInner.empty() || normalOuter.empty())
        return false;
    if (normalInner == normalOuter)
        return true;
    if (normalOuter.back() != '\\')
        normalOuter += '\\';
    return normalInner.compare(0, normalOuter.size(), normalOuter) == 0;
}

bool IsSafeToDeleteFolder(const std::string& target, const std::vector<std::string>& protectedFolders)
{
    if (NormalizeAbsolutePath(target).empty() || IsDriveRoot(target))
        return false;
    for (const std::string& folder : protectedFolders) {
        if (IsSameOrInside(folder, target))
            return false;
    }
    return true;
}

bool IsDeviceName(const std::string& component)
{
    // The device is named by the part before the first dot, trailing blanks ignored.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (const char* device : {"CON", "NUL", "AUX", "PRN", "CONIN$", "CONOUT$", "CLOCK$"}) {
        if (CompareNoCase(base.c_str(), device) == 0)
            return true;
    }
    if (base.size() != 4 || !(StartsWithNoCase(base.c_str(), 4, "COM") || StartsWithNoCase(base.c_str(), 4, "LPT")))
        return false;
    // COM0 to COM9 and the superscript digits one to three of the ANSI code page.
    unsigned char digit = static_cast<unsigned char>(base[3]);
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}
