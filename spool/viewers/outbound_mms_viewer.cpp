// The outbound MMS queue viewer: the messages waiting in the outbound MMS queue and its
// sub-queues, one row per message file ("*.MMS") with its control file (".INI").
#include <map>
#include <string>
#include <vector>

#include "app/config_files.h"
#include "app/page_conventions.h"
#include "base/text.h"
#include "spool/spool_files.h"
#include "spool/viewers/message_rows.h"
#include "spool/viewers/mms_control_file.h"
#include "spool/viewers/queue_viewer.h"

namespace {

const ViewerColumn kColumns[] = {
    {"ID", 6}, {"Sender", 6}, {"Recipient", 6}, {"Submit Time", 6}, {"Status", 1},
};

// Control files are a few hundred bytes; no more than this is read of one.
constexpr size_t kControlFileLimit = 65536;

// The message file's path with everything from its last "." replaced by ".INI".
std::string ControlFilePath(const std::string& messagePath)
{
    size_t dot = messagePath.find_last_of('.');
    return (dot == std::string::npos ? messagePath : messagePath.substr(0, dot)) + ".INI";
}

bool EndsWithNoCase(const std::string& name, const char* suffix)
{
    size_t length = strlen(suffix);
    return name.size() >= length && CompareNoCase(name.c_str() + name.size() - length, suffix) == 0;
}

std::string UpperKey(const std::string& key)
{
    std::string upper = key;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    return upper;
}

// The row of one queue entry from its control file, opened once with read and write sharing
// and read to its end (at most kControlFileLimit bytes); false when it does not open.
bool ReadEntry(const std::string& controlPath, std::vector<std::string>& texts)
{
    HANDLE control = CreateFileA(controlPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE)
        return false;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (bytes.size() < kControlFileLimit && ReadFile(control, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(control);
    MmsControlFields fields;
    ParseMmsControlFile(bytes.data(), bytes.size() < kControlFileLimit ? bytes.size() : kControlFileLimit, fields);
    long retryCount = LeadingCount(fields.retryCount.c_str());
    texts = {fields.sender, MmsRecipientsText(fields.recipients.data(), fields.recipients.size()),
             RetryStatusText(retryCount, fields.lastError.c_str())};
    return true;
}

void DeleteEntry(const std::string& messagePath)
{
    DeleteOrLeaveToDeleter(messagePath);
    DeleteOrLeaveToDeleter(ControlFilePath(messagePath));
}

void ViewControlFile(HWND, const std::string& messagePath)
{
    OpenInNotepad(ControlFilePath(messagePath).c_str());
}

const ViewerDefinition kOutboundMmsViewer = {
    "Outbound MMS Queue",
    "Outbound MMS Message Queue:  ",
    "Empty",
    kColumns,
    5,
    4, // submit time, oldest first
    GetVASPQueueDirectory,
    ListOutboundMmsQueue,
    ViewControlFile,
    DeleteEntry,
};

ViewerState outboundMmsState(4);

struct Found {
    std::string key;
    DirectoryEntry entry;
};

} // namespace

// One listing of the queue and its immediate sub-queues gives both the message files and
// their control files, so that an unchanged entry is shown again without opening either.
// Nothing is pruned and nothing is created: the folders belong to the gateway.
void ListOutboundMmsQueue(ViewerRows& rows, RowCache& cache)
{
    rows.rows.clear();
    rows.total = 0;
    char queue[MAX_PATH];
    GetVASPQueueDirectory(queue);

    std::vector<Found> messages;
    std::map<std::string, DirectoryEntry> controls; // by upper-case key
    StoreWalker walker(PlatformStoreFileSystem(), Pruning::None);
    for (bool more = walker.First(queue, "*"); more; more = walker.Next()) {
        if (EndsWithNoCase(walker.FileName(), ".MMS"))
            messages.push_back({walker.Key(), walker.File()});
        else if (EndsWithNoCase(walker.Key(), ".INI"))
            controls[UpperKey(walker.Key())] = walker.File();
    }

    std::vector<std::string> texts;
    for (const Found& message : messages) {
        ++rows.total;
        if (rows.Full())
            continue;
        auto control = controls.find(UpperKey(ControlFilePath(message.key)));
        if (control == controls.end())
            continue; // no control file: counted, shown once it is there
        FileStamp messageStamp = StampOf(message.entry);
        FileStamp controlStamp = StampOf(control->second);
        if (TakeCachedRow(cache, rows, message.key, messageStamp, controlStamp))
            continue;
        if (!ReadEntry(queue + ControlFilePath(message.key), texts))
            continue;
        char submitTime[kDisplayTimeSize];
        FormatDisplayTime(message.entry.creationTime, submitTime);
        ViewerRow row;
        row.texts = {message.key, message.entry.name, texts[0], texts[1], submitTime, texts[2]};
        AddRow(cache, rows, std::move(row), messageStamp, controlStamp);
    }
}

INT_PTR CALLBACK OutboundMmsQueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return QueueViewerProc(window, message, wParam, lParam, kOutboundMmsViewer, outboundMmsState);
}
