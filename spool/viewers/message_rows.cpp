#include "spool/viewers/message_rows.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "base/names.h"
#include "base/text.h"

const char kContentOutsideStore[] =
    "This content object was not opened: its location in the message header points outside the "
    "received MMS folder.";
const char kContentNotViewable[] =
    "This content object was not opened: only pictures, sound, video, plain text and SMIL "
    "presentations are opened from here, and by its file name or its content type this object is "
    "none of these. Use a program of your choice to look at the file.";

namespace {

constexpr size_t kMaxListedRecipients = 5;

// The file name extensions handed to the system's "open" action: pictures, sound, video and
// plain text. The shell picks the handler by the extension, so the extension decides.
const char* const kViewableExtensions[] = {
    "jpg", "jpeg", "jpe", "png", "gif", "bmp",  "wbmp", "tif", "tiff", "webp", "heic", "heif", // pictures
    "amr", "awb",  "mp3", "wav", "mid", "midi", "aac",  "m4a", "ogg",  "oga",  "imy",  "wma",  // sound
    "3gp", "3g2",  "mp4", "m4v", "avi", "mpg",  "mpeg", "wmv", "mov",  "webm",                 // video
    "txt",                                                                                     // text
};

// The content types those objects may declare, matched at the start of the type.
const char* const kViewableTypes[] = {"image/", "audio/", "video/", "text/plain"};

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

bool IsViewableContent(const std::string& fileName, const std::string& contentType)
{
    std::string name = TrimmedName(fileName);
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = name.substr(dot + 1);
    bool viewable = false;
    for (const char* allowed : kViewableExtensions)
        viewable = viewable || CompareNoCase(extension.c_str(), allowed) == 0;
    if (!viewable)
        return false;
    size_t first = contentType.find_first_not_of(" \t");
    if (first == std::string::npos)
        return true; // no type: the name decides
    std::string type = contentType.substr(first);
    for (const char* allowed : kViewableTypes) {
        if (StartsWithNoCase(type.c_str(), type.size(), allowed))
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
    if (!IsViewableContent(fileName, type)) {
        decision.opening = ContentOpening::Refused;
        decision.reason = kContentNotViewable;
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
    // Each component must reach exactly its own folder: "A." and "B " would reach "A" and "B".
    std::string folder = headerKey.substr(0, dot);
    size_t start = 0;
    for (size_t end; start <= folder.size(); start = end + 1) {
        end = folder.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = folder.size();
        if (CheckOutsideName(folder.substr(start, end - start)) != NameFault::None)
            return false;
    }
    folderKey = folder;
    return true;
}
