// Received MMS content locations, from any header bytes to the decision how each object is
// opened: nothing that leaves the store, names a device or is not a
// picture, sound, video or text is ever opened.
#include <cstddef>
#include <cstdint>
#include <string>

#include "spool/mms_header.h"
#include "spool/viewers/message_rows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MmsHeader header;
    ParseMmsHeader(reinterpret_cast<const char*>(data), size, header);
    for (const MmsContentLocation& content : header.contents) {
        if (content.contentType.size() > kContentTypeLimit)
            __builtin_trap();
        ContentDecision decision = DecideContentOpening(ContentItemText(content));
        if (decision.opening == ContentOpening::Nothing || decision.location != content.path)
            __builtin_trap(); // every item carries its location after the tab
        bool opened = decision.opening == ContentOpening::Notepad || decision.opening == ContentOpening::Shell;
        if (opened && !IsContainedContentPath(decision.location))
            __builtin_trap();
        std::string name = content.path.substr(content.path.find_last_of('\\') + 1);
        if (decision.opening == ContentOpening::Shell && !IsViewableContent(name, content.contentType))
            __builtin_trap();
        std::string folder;
        if (ReceivedMmsFolderKey(content.path, folder) &&
            (folder.empty() || !IsContainedContentPath(folder) || folder.size() >= content.path.size()))
            __builtin_trap();
    }
    return 0;
}
