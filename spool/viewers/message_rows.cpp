#include "spool/viewers/message_rows.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/text.h"

const char kContentOutsideStore[] =
    "This content object was not opened: its location in the message header points outside the "
    "received MMS folder.";
const char kContentIsProgram[] =
    "This content object was not opened: it is a program or a script, and opening it would run it. "
    "Use Notepad or a program of your choice to look at the file.";

namespace {

constexpr size_t kMaxListedRecipients = 5;

const char* const kExecutableExtensions[] = {
    "exe",        "com",        "bat",     "cmd",
    "scr",        "pif",        "lnk",     "js",
    "jse",        "vbs",        "vbe",     "vb",
    "wsf",        "wsh",        "wsc",     "ws",
    "hta",        "msi",        "msp",     "mst",
    "cpl",        "reg",        "ps1",     "ps1xml",
    "ps2",        "ps2xml",     "psc1",    "psc2",
    "psm1",       "psd1",       "jar",     "dll",
    "sys",        "ocx",        "drv",     "scf",
    "url",        "inf",        "ins",     "isp",
    "sct",        "shb",        "shs",     "chm",
    "hlp",        "msc",        "gadget",  "application",
    "appref-ms",  "xbap",       "jnlp",    "settingcontent-ms",
    "library-ms", "search-ms",  "mad",     "maf",
    "mag",        "mam",        "maq",     "mar",
    "mas",        "mat",        "mau",     "mav",
    "maw",        "mda",        "mde",     "mdb",
    "mdt",        "mdw",        "mdz",     "ade",
    "adp",        "crt",        "cer",     "der",
    "diagcab",    "xll",        "pl",      "py",
    "pyw",        "rb",         "sh",      "bash",
    "tcl",        "cab",        "appx",    "appxbundle",
    "msix",       "msixbundle", "website",
};

// Content types whose "open" runs something, matched as the whole type or its start.
const char* const kExecutableTypes[] = {
    "application/x-msdownload",
    "application/x-msdos-program",
    "application/x-ms-installer",
    "application/x-msi",
    "application/x-dosexec",
    "application/x-executable",
    "application/vnd.microsoft.portable-executable",
    "application/hta",
    "application/javascript",
    "application/x-javascript",
    "application/ecmascript",
    "text/javascript",
    "text/ecmascript",
    "text/jscript",
    "text/vbscript",
    "text/vbs",
    "application/x-vbscript",
    "application/java-archive",
    "application/x-java-archive",
    "application/x-java-jnlp-file",
    "application/x-sh",
    "application/x-csh",
    "application/x-bat",
    "application/bat",
    "application/x-shellscript",
    "application/x-ms-shortcut",
    "application/x-internet-signup",
    "application/x-mswinurl",
    "application/x-powershell",
};

bool HasBlanksOnly(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

// The file name as Windows opens it: trailing dots and blanks dropped.
std::string TrimmedName(const std::string& name)
{
    size_t end = name.find_last_not_of(". ");
    return end == std::string::npos ? std::string() : name.substr(0, end + 1);
}

std::string FileNameOf(const std::string& location)
{
    size_t slash = location.find_last_of('\\');
    return slash == std::string::npos ? location : location.substr(slash + 1);
}

} // namespace

std::string MmsRecipientsText(const char* section, size_t length)
{
    std::string joined;
    unsigned count = 0;
    size_t start = 0;
    while (section && start < length && section[start]) {
        const char* line = section + start;
        size_t lineLength = strnlen(line, length - start);
        const char* equals = static_cast<const char*>(memchr(line, '=', lineLength));
        if (!equals)
            break;
        const char* address = equals + 1;
        size_t addressLength = lineLength - static_cast<size_t>(address - line);
        addressLength = FindNoCase(address, addressLength, "/TYPE=");
        if (++count <= kMaxListedRecipients) {
            if (count > 1)
                joined += ", ";
            joined.append(address, addressLength);
        }
        start += lineLength + 1;
    }
    if (count <= kMaxListedRecipients)
        return joined;
    char text[40];
    snprintf(text, sizeof text, "%u recipients", count);
    return text;
}

long LeadingCount(const char* text)
{
    long count = 0;
    for (; text && *text >= '0' && *text <= '9'; ++text) {
        int digit = *text - '0';
        if (count > (2147483647L - digit) / 10)
            return 2147483647L;
        count = count * 10 + digit;
    }
    return count;
}

std::string ContentItemText(const MmsContentLocation& content)
{
    std::string item = FileNameOf(content.path);
    if (!content.contentType.empty())
        item += " (" + content.contentType + ")";
    // The first tab starts the location: a tab in the shown part would move it.
    for (char& c : item) {
        if (c == '\t')
            c = ' ';
    }
    return item + "\t" + content.path;
}

bool IsExecutableContent(const std::string& fileName, const std::string& contentType)
{
    std::string name = TrimmedName(fileName);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos) {
        std::string extension = name.substr(dot + 1);
        // A class id as the extension ("x.{...}") makes the shell pick a handler by it.
        if (extension.find('{') != std::string::npos)
            return true;
        for (const char* executable : kExecutableExtensions) {
            if (CompareNoCase(extension.c_str(), executable) == 0)
                return true;
        }
    }
    size_t first = contentType.find_first_not_of(" \t");
    std::string type = first == std::string::npos ? std::string() : contentType.substr(first);
    for (const char* executable : kExecutableTypes) {
        if (StartsWithNoCase(type.c_str(), type.size(), executable))
            return true;
    }
    return false;
}

ContentDecision DecideContentOpening(const std::string& itemText)
{
    ContentDecision decision;
    size_t tab = itemText.find('\t');
    if (tab == std::string::npos)
        return decision;
    decision.location = itemText.substr(tab + 1);
    std::string fileName = FileNameOf(decision.location);
    if (!IsContainedContentPath(decision.location) || HasBlanksOnly(TrimmedName(fileName))) {
        decision.opening = ContentOpening::Refused;
        decision.reason = kContentOutsideStore;
        return decision;
    }
    std::string described = itemText.substr(0, tab);
    bool smil = FindNoCase(itemText.c_str(), itemText.size(), "application/smil") < itemText.size();
    bool text = decision.location.find('.') == std::string::npos && itemText.find("text/") != std::string::npos;
    if (smil || text) {
        decision.opening = ContentOpening::Notepad;
        return decision;
    }
    // The type is what the item shows between " (" and the closing ")".
    std::string type;
    size_t open = described.find(" (", fileName.size());
    if (open != std::string::npos && described.back() == ')')
        type = described.substr(open + 2, described.size() - open - 3);
    if (IsExecutableContent(fileName, type)) {
        decision.opening = ContentOpening::Refused;
        decision.reason = kContentIsProgram;
        return decision;
    }
    decision.opening = ContentOpening::Shell;
    return decision;
}

bool ReceivedMmsFolderKey(const std::string& headerKey, std::string& folderKey)
{
    folderKey.clear();
    size_t dot = headerKey.find_last_of('.');
    size_t slash = headerKey.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    std::string folder = headerKey.substr(0, dot);
    if (HasBlanksOnly(TrimmedName(FileNameOf(folder))) || !IsContainedContentPath(folder))
        return false;
    folderKey = folder;
    return true;
}
