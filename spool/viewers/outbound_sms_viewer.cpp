// The outbound SMS queue viewer: the requests waiting in the queue and its sub-queues.
#include <memory>
#include <string>

#include "app/config_files.h"
#include "spool/viewers/queue_viewer.h"
#include "spool/spool_files.h"

namespace {

const ViewerColumn kColumns[] = {
    {"ID", 6}, {"Submit User", 6}, {"Recipient", 6}, {"Submit Time", 6}, {"Status", 1},
};

void QueueRoot(char* out)
{
    GetSMSQueueDirectory(out);
}

const ViewerDefinition kOutboundSmsViewer = {
    "Outbound SMS Queue",
    "Outbound SMS Message Queue:  ",
    "Empty",
    kColumns,
    5,
    4, // submit time, oldest first
    QueueRoot,
    ListOutboundSmsQueue,
    nullptr,
    nullptr,
};

ViewerState outboundSmsState(4);

} // namespace

// Every "*.REQ" in the queue and its sub-queues counts in the total; a row is made for
// each readable request with a recipient, up to the viewers' limit. Nothing is pruned:
// the queue's folders belong to the gateway.
void ListOutboundSmsQueue(ViewerRows& rows, RowCache& cache)
{
    rows.rows.clear();
    rows.total = 0;
    char root[MAX_PATH];
    GetSMSQueueDirectory(root);

    auto record = std::make_unique<SpoolRecord>();
    StoreWalker walker(PlatformStoreFileSystem(), Pruning::None);
    for (bool more = walker.First(root, "*.REQ"); more; more = walker.Next()) {
        ++rows.total;
        if (rows.Full())
            continue;
        FileStamp stamp = StampOf(walker.File());
        if (TakeCachedRow(cache, rows, walker.Key(), stamp))
            continue;
        if (!ReadSpoolRecord((root + walker.Key()).c_str(), *record) || !record->recipient[0])
            continue;
        char submitTime[kDisplayTimeSize];
        FormatDisplayTime(walker.File().creationTime, submitTime);
        ViewerRow row;
        row.texts = {walker.Key(),      walker.FileName(), record->submitUser,
                     record->recipient, submitTime,        RetryStatusText(record->retryCount, record->lastError)};
        AddRow(cache, rows, std::move(row), stamp);
    }
}

INT_PTR CALLBACK OutboundSmsQueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return QueueViewerProc(window, message, wParam, lParam, kOutboundSmsViewer, outboundSmsState);
}
