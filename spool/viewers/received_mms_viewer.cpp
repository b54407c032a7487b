// The received MMS viewer: the messages in the received MMS store, one row per header file
// ("*.HDR"); viewing a row opens the MMS view dialog on it.
#include <memory>
#include <string>

#include "app/app_state.h"
#include "app/config_files.h"
#include "spool/spool_files.h"
#include "spool/viewers/message_rows.h"
#include "spool/viewers/mms_view_dialog.h"
#include "spool/viewers/queue_viewer.h"

namespace {

const ViewerColumn kColumns[] = {
    {"ID", 6}, {"Sender", 6}, {"Recipient", 6}, {"Receive Time", 6}, {"Subject", 1},
};

void ViewMessage(HWND window, const std::string& headerPath)
{
    DialogBoxParamA(appInstance, "DIALOG_MMSVIEW", window, MmsViewDialogProc,
                    reinterpret_cast<LPARAM>(headerPath.c_str()));
}

// The header file goes first; only once it is gone does its message folder follow, and only
// a named folder strictly inside the store.
void DeleteMessage(const std::string& headerPath)
{
    DeleteFileA(headerPath.c_str());
    if (PathExists(headerPath.c_str()))
        return;
    char store[MAX_PATH];
    GetMMSInDirectory(store);
    size_t storeLength = strlen(store);
    if (headerPath.compare(0, storeLength, store) != 0)
        return;
    std::string folderKey;
    if (ReceivedMmsFolderKey(headerPath.substr(storeLength), folderKey))
        DeleteTree((store + folderKey).c_str());
}

const ViewerDefinition kReceivedMmsViewer = {
    "Received MMS Messages",
    "Received MMS Messages:  ",
    "None",
    kColumns,
    5,
    -4, // receive time, newest first
    GetMMSInDirectory,
    ListReceivedMms,
    ViewMessage,
    DeleteMessage,
};

ViewerState receivedMmsState(-4);

} // namespace

// One walk of the store over the header files, pruning the sub-directories left empty.
void ListReceivedMms(ViewerRows& rows, RowCache& cache)
{
    rows.rows.clear();
    rows.total = 0;
    char store[MAX_PATH];
    GetMMSInDirectory(store);

    auto header = std::make_unique<MmsHeader>();
    StoreWalker walker(PlatformStoreFileSystem());
    for (bool more = walker.First(store, "*.HDR"); more; more = walker.Next()) {
        ++rows.total;
        if (rows.Full())
            continue;
        FileStamp stamp = StampOf(walker.File());
        if (TakeCachedRow(cache, rows, walker.Key(), stamp))
            continue;
        if (!ReadMmsHeader((store + walker.Key()).c_str(), *header))
            continue;
        char receiveTime[kDisplayTimeSize];
        FormatDisplayTime(walker.File().creationTime, receiveTime);
        ViewerRow row;
        row.texts = {walker.Key(), walker.FileName(), header->from, header->to, receiveTime, header->subject};
        AddRow(cache, rows, std::move(row), stamp);
    }
}

INT_PTR CALLBACK ReceivedMmsViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return QueueViewerProc(window, message, wParam, lParam, kReceivedMmsViewer, receivedMmsState);
}
