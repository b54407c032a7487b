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
#include "spool/viewers/queue_viewer.h"

namespace {

const ViewerColumn kColumns[] = {
    {"ID", 6}, {"Sender", 6}, {"Recipient", 6}, {"Submit Time", 6}, {"Status", 1},
};

// The message file's path with everything from its last "." replaced by ".INI".
std::string ControlFilePath(const std::string& messagePath)
{
    size_t dot = messagePath.find_last_of('.');
    return (dot == std::string::npos ? messagePath : messagePath.substr(0, dot)) + ".INI";
}

// The row of one queue entry from its control file, read as the profile functions read it
// (the gateway writes it with them); false when it is not a regular file.
bool ReadEntry(const std::string& controlPath, std::vector<std::string>& texts)
{
    if (!IsRegularStoreFile(controlPath.c_str()))
        return false;
    MmsControlFields fields = ReadMmsControlFile(controlPath);
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

    MmsQueueFiles files = WalkMmsQueue(PlatformStoreFileSystem(), queue);
    std::vector<std::string> texts;
    for (const auto& message : files.messages) {
        const std::string& key = message.first;
        ++rows.total;
        if (rows.Full())
            continue;
        auto control = files.controls.find(ControlFileKey(key));
        if (control == files.controls.end())
            continue; // no control file: counted, shown once it is there
        FileStamp messageStamp = StampOf(message.second);
        FileStamp controlStamp = StampOf(control->second);
        if (TakeCachedRow(cache, rows, key, messageStamp, controlStamp))
            continue;
        if (!ReadEntry(queue + ControlFilePath(key), texts))
            continue;
        char submitTime[kDisplayTimeSize];
        FormatDisplayTime(message.second.creationTime, submitTime);
        ViewerRow row;
        row.texts = {key, message.second.name, texts[0], texts[1], submitTime, texts[2]};
        AddRow(cache, rows, std::move(row), messageStamp, controlStamp);
    }
}

INT_PTR CALLBACK OutboundMmsQueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return QueueViewerProc(window, message, wParam, lParam, kOutboundMmsViewer, outboundMmsState);
}
