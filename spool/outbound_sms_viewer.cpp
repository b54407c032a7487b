// The outbound SMS queue viewer: the requests waiting in the queue and its sub-queues.
#include <memory>
#include <string>

#include "app/config_files.h"
#include "spool/queue_viewer.h"
#include "spool/spool_files.h"

namespace {

const ViewerColumn kColumns[] = {
    {"ID", 6},
    {"Submit User", 6},
    {"Recipient", 6},
    {"Submit Time", 6},
    {"Status", 1},
};

void QueueRoot(char* out)
{
    GetSMSQueueDirectory(out);
}

const ViewerDefinition kOutboundSmsViewer = {
    "Outbound SMS Queue",
    "Outbound SMS Message Queue:  ",
    kColumns,
    5,
    4,   // submit time, oldest first
    QueueRoot,
    ListOutboundSmsQueue,
};

ViewerState outboundSmsState(4);

// Adds the rows of one folder's "*.REQ" files; every file counts in the total.
void ListFolder(const std::string& folder, const std::string& subQueue, SpoolRecord& record, ViewerRows& rows)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.REQ").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        ++rows.total;
        if (rows.Full())
            continue;
        if (!ReadSpoolRecord((folder + found.cFileName).c_str(), record) || !record.recipient[0])
            continue;
        char submitTime[kDisplayTimeSize];
        FormatDisplayTime(found.ftCreationTime, submitTime);
        ViewerRow row;
        row.texts = {subQueue.empty() ? std::string(found.cFileName) : subQueue + '\\' + found.cFileName,
                     found.cFileName,
                     record.submitUser,
                     record.recipient,
                     submitTime,
                     RetryStatusText(record.retryCount, record.lastError)};
        rows.rows.push_back(std::move(row));
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

} // namespace

void ListOutboundSmsQueue(ViewerRows& rows)
{
    rows.rows.clear();
    rows.total = 0;
    char root[MAX_PATH];
    GetSMSQueueDirectory(root);

    auto record = std::make_unique<SpoolRecord>();
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(root) + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || lstrcmpA(found.cFileName, "..") == 0)
            continue;
        std::string subQueue = lstrcmpA(found.cFileName, ".") == 0 ? "" : found.cFileName;
        char folder[MAX_PATH];
        if (subQueue.empty())
            lstrcpynA(folder, root, MAX_PATH);
        else
            GetSMSQueueDirectory(folder, subQueue.c_str());
        ListFolder(folder, subQueue, *record, rows);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

INT_PTR CALLBACK OutboundSmsQueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return QueueViewerProc(window, message, wParam, lParam, kOutboundSmsViewer, outboundSmsState);
}
